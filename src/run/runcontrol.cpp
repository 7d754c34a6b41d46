#include "run/runcontrol.h"

#include "link/link.h"
#include "link/packets.h"

namespace pvelm {

namespace {

QString longRequest(const char *code)
{
    QString packet = QString::fromLatin1(kLongTemplate);
    fillField(packet, 4, 3, QString::fromLatin1(code));
    return packet;
}

// A numeric field of a report: columns first..first+width-1, hex digits only.
std::optional<quint32> hexColumns(const QString &raw, int first, int width)
{
    const QString digits = raw.mid(first - 1, width);
    quint32 value = 0;
    for (QChar c : digits) {
        const int digit = c.isDigit()                                        ? c.digitValue()
                          : (c >= QLatin1Char('A') && c <= QLatin1Char('F')) ? c.unicode() - 'A' + 10
                          : (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ? c.unicode() - 'a' + 10
                                                                             : -1;
        // isDigit() is true for other scripts' digits too; the wire is ASCII.
        if (digit < 0 || c.unicode() > 0x7f)
            return std::nullopt;
        value = value * 16 + quint32(digit);
    }
    return value;
}

} // namespace

QString runPacket(quint32 line)
{
    QString packet = longRequest("R05");
    fillField(packet, 7, 6, hexField(line, 6));
    return packet;
}

QString pausePacket()
{
    return longRequest("R07");
}

QString stopPacket()
{
    return longRequest("R00");
}

std::optional<quint32> parseLineToRun(const QString &text, QString *why)
{
    const QString t = text.trimmed();
    bool digitsOnly = !t.isEmpty() && t.size() <= 9;
    for (QChar c : t)
        digitsOnly = digitsOnly && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (!digitsOnly || t.toUInt() > quint32(kLastProgramLine)) {
        if (why)
            *why = QStringLiteral("Line number \"%1\" refused: type a whole number from 0 to %2")
                       .arg(text)
                       .arg(kLastProgramLine);
        return std::nullopt;
    }
    return t.toUInt();
}

LinkResult sendRunCommand(Link &link, const QString &packet)
{
    return exchange(link, &Link::sendonly, packet);
}

QString notificationText(int code)
{
    const char *text = nullptr;
    switch (code) {
    case 0:
        return QString::fromLatin1(kNoNotification);
    case 32:
        text = "  X Home Switch hit";
        break;
    case 33:
        text = "  Y Home Switch hit";
        break;
    case 34:
        text = "  Z Home Switch hit";
        break;
    case 40:
        text = "  X Limit Switch hit";
        break;
    case 41:
        text = "  Y Limit Switch hit";
        break;
    case 42:
        text = "  Z Limit Switch hit";
        break;
    case 50:
        text = "  Invalid Instruction / Code";
        break;
    case 99:
        text = "  Stack Over/Under Flow";
        break;
    default:
        return QString();
    }
    return QString::number(code) + QLatin1String(text);
}

std::optional<StatusReport> decodeStatusReport(const QString &raw)
{
    if (raw.size() < kStatusReportLength || !raw.startsWith(QLatin1String("AB")))
        return std::nullopt;
    const auto position = hexColumns(raw, 3, 4);
    const auto stack = hexColumns(raw, 7, 4);
    const auto loop = hexColumns(raw, 11, 4);
    const auto status = hexColumns(raw, 15, 2);
    const auto code = hexColumns(raw, 17, 2);
    const auto line = hexColumns(raw, 19, 6);
    if (!position || !stack || !loop || !status || !code || !line)
        return std::nullopt;

    StatusReport r;
    r.position = QString::number(*position);
    r.stack = QString::number(*stack);
    r.loop = QString::number(*loop);
    r.currentLine = QString::number(qint64(*line) - 1);
    r.statusBits = int(*status);
    // Bit 4: a program runs; bits 4 and 5: it is paused. The rest are the
    // board's own.
    const bool running = r.statusBits & 0x10;
    const bool paused = running && (r.statusBits & 0x20);
    r.mode = QString::fromLatin1(paused ? kModePaused : running ? kModeRunning : kModeStopped);
    r.notificationCode = int(*code);
    r.notification = notificationText(r.notificationCode);
    return r;
}

int runStatusMonitor(Link &link, const std::function<void(const StatusReport &)> &show)
{
    int shown = 0;
    while (link.monitoring) {
        link.readMonitorReply();
        if (link.linkRawInput.size() < kStatusReportLength || !link.monitoring)
            break;
        // Several reports piled up are dropped with the first; a read that
        // began inside a report fails the "AB" test and is dropped whole.
        if (const auto report = decodeStatusReport(link.linkRawInput.left(kStatusReportLength))) {
            show(*report);
            ++shown;
        }
    }
    return shown;
}

} // namespace pvelm
