#pragma once

#include <QStatusBar>

namespace pvelm {

// The main window's status bar. A message too long for the room left of the
// permanent widgets (the port state, Reconnect) ends in "…" there instead of
// running under them; the whole text stays the current message, and is the
// bar's tooltip and accessible description while it shows.
class MessageBar : public QStatusBar
{
    Q_OBJECT

public:
    explicit MessageBar(QWidget *parent = nullptr);

    // Where the message is drawn: from the left margin to a character's
    // width before the first visible permanent widget (or the size grip).
    QRect messageArea() const;
    // The current message as drawn: whole, or cut short with "…".
    QString shownMessage() const;

    // A note stays until the next operation succeeds (clearNote) or for
    // noteTimeout() ms, so an old failure is never read as news.
    static constexpr int kNoteTimeoutMs = 15000;
    void showNote(const QString &text);
    // Clears the message when it is still the last note.
    void clearNote();
    void setNoteTimeout(int ms) { m_noteTimeoutMs = ms; }
    int noteTimeout() const { return m_noteTimeoutMs; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Where QStatusBar's own message room ends.
    int roomEnd() const;

    QString m_note;
    int m_noteTimeoutMs = kNoteTimeoutMs;
};

} // namespace pvelm
