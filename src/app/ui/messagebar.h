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

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Where QStatusBar's own message room ends.
    int roomEnd() const;
};

} // namespace pvelm
