#pragma once

#include <QObject>
#include <QString>

namespace pvelm::compiler {

// The program line the running board reported last. The status monitor
// reports every line it shows; the script editor follows it. One per
// process, like the link state it comes from.
class RunningLine : public QObject
{
    Q_OBJECT

public:
    static RunningLine &instance();

    // The current line as the monitor shows it (decimal text). Text that
    // is not a line number (a report of line 0 reads -1) reports -1.
    void report(const QString &currentLine);
    void report(qint64 line);
    // A whole status report: the line as above, with the board's mode
    // ("Running", "Paused", "Stopped") and its notification text (empty:
    // the last one still stands).
    void reportStatus(const QString &currentLine, const QString &mode, const QString &notification);

    // The last line reported, or -1 before the first report.
    qint64 line() const { return m_line; }
    // From the last whole report; empty before the first.
    const QString &mode() const { return m_mode; }
    const QString &notification() const { return m_notification; }

signals:
    // Every report, also of the same line again: a window opened since the
    // last change still gets the next one.
    void lineReported(qint64 line);

private:
    qint64 m_line = -1;
    QString m_mode;
    QString m_notification;
};

} // namespace pvelm::compiler
