#include "settings/portchoice.h"

#include "settings/hostpaths.h"

#include <QRegularExpression>

namespace pvelm {

std::optional<QString> secondMsFromEnvironment()
{
    if (!qEnvironmentVariableIsSet(kSecondMsVariable))
        return std::nullopt;
    return qEnvironmentVariable(kSecondMsVariable);
}

QString portDeviceFor(const QString &argument)
{
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]{0,2})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto m = comName.match(argument);
    if (m.hasMatch())
        return hostpaths::portDevice(m.captured(1).toInt());
    // Network addresses (socket://HOST:PORT) will be told apart here; until
    // then everything else is a device path.
    return argument;
}

PortChoice choosePort(const PortOptions &options)
{
    PortChoice out;
    const auto refuse = [](const QString &why) {
        PortChoice refused;
        refused.error = why;
        return refused;
    };
    if (options.port && options.simulate)
        return refuse(QStringLiteral("--port and --simulate cannot be used together"));
    if (options.port && options.port->isEmpty())
        return refuse(QStringLiteral("option '--port' needs a device"));
    if (options.simFault && !options.simulate)
        return refuse(QStringLiteral("--sim-fault needs --simulate"));
    if (options.freshBoard && !options.simulate)
        return refuse(QStringLiteral("--fresh-board needs --simulate"));
    if (options.trace && options.trace->isEmpty())
        return refuse(QStringLiteral("option '--trace' needs a file"));

    if (options.port)
        out.device = portDeviceFor(*options.port);
    out.startBoard = options.simulate;
    out.freshBoard = options.freshBoard;
    if (options.simFault)
        out.boardFault = *options.simFault;
    if (options.trace)
        out.traceFile = hostpaths::toHost(*options.trace);
    if (options.secondMs) {
        bool ok = false;
        const int ms = options.secondMs->toInt(&ok);
        if (ok && ms > 0)
            out.secondMs = ms;
        else
            out.warning = QStringLiteral("%1=%2 ignored: not a positive whole number")
                              .arg(QLatin1String(kSecondMsVariable), *options.secondMs);
    }
    return out;
}

} // namespace pvelm
