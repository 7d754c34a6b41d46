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
    return argument;
}

QString NetworkAddress::text() const
{
    const QString shown = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shown + QLatin1Char(':') + QString::number(port);
}

bool isNetworkName(const QString &device)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(device).hasMatch();
}

std::optional<NetworkAddress> networkAddress(const QString &device, QString *why)
{
    const auto refuse = [&](const QString &reason) -> std::optional<NetworkAddress> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (!device.startsWith(QLatin1String(kSocketScheme), Qt::CaseInsensitive)) {
        if (device.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive))
            return refuse(QStringLiteral("%1: rfc2217:// is not supported; serve the port raw and use "
                                         "socket://HOST:PORT, with the baud rate set on the server")
                              .arg(device));
        return refuse(QStringLiteral("%1: the only network ports are socket://HOST:PORT").arg(device));
    }
    static const QRegularExpression form(QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([A-Za-z0-9._-]+)):([0-9]{1,5})$"));
    const auto m = form.match(device.mid(int(qstrlen(kSocketScheme))));
    const int port = m.hasMatch() ? m.captured(3).toInt() : 0;
    if (port < 1 || port > 65535)
        return refuse(QStringLiteral("%1: a network port is socket://HOST:PORT, PORT from 1 to 65535").arg(device));
    NetworkAddress address;
    address.host = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
    address.port = quint16(port);
    return address;
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

    if (options.port) {
        QString why;
        if (isNetworkName(*options.port) && !networkAddress(*options.port, &why))
            return refuse(why);
        out.device = portDeviceFor(*options.port);
    }
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
