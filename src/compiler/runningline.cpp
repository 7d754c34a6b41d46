#include "compiler/runningline.h"

namespace pvelm::compiler {

RunningLine &RunningLine::instance()
{
    static RunningLine line;
    return line;
}

void RunningLine::report(const QString &currentLine)
{
    bool ok = false;
    const qint64 line = currentLine.toLongLong(&ok);
    report(ok && line >= 0 ? line : -1);
}

void RunningLine::reportStatus(const QString &currentLine, const QString &mode, const QString &notification)
{
    m_mode = mode;
    if (!notification.isEmpty())
        m_notification = notification;
    report(currentLine);
}

void RunningLine::report(qint64 line)
{
    m_line = line;
    emit lineReported(line);
}

} // namespace pvelm::compiler
