// velm ports: the machine's serial ports, and which COMn of the settings
// reaches each through the dosdevices links.

#include "cli/cli.h"
#include "settings/hostpaths.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QSerialPortInfo>

namespace pvelm::cli {

namespace {

struct PortRow
{
    QString name, location, description, manufacturer, serialNumber, byId;
    QStringList com;
    bool present = true; // the device is there
    bool listed = true;  // the system lists it as a serial port
};

// A device path as the file it finally names, so that a link and its
// target compare equal; a path that names nothing stays as written.
QString canonical(const QString &path)
{
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? path : c;
}

// /dev/serial/by-id names by the device they lead to.
QHash<QString, QString> byIdNames()
{
    QHash<QString, QString> names;
    const QDir dir(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &fi : dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name))
        names.insert(canonical(fi.absoluteFilePath()), fi.absoluteFilePath());
    return names;
}

// Port numbers with a dosdevices link, and the device each leads to.
QMap<int, QString> comLinks()
{
    QMap<int, QString> links;
    static const QRegularExpression comName(QStringLiteral("^com([1-9][0-9]{0,2})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QDir dir(QFileInfo(hostpaths::dosDeviceLink(1)).absolutePath());
    for (const QString &entry : dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const auto m = comName.match(entry);
        if (m.hasMatch())
            links.insert(m.captured(1).toInt(), hostpaths::portDevice(m.captured(1).toInt()));
    }
    return links;
}

QList<PortRow> listPorts()
{
    const QHash<QString, QString> byId = byIdNames();
    const QMap<int, QString> links = comLinks();
    QMap<int, QString> unmatched = links;
    static const QRegularExpression ttyS(QStringLiteral("^/dev/ttyS([0-9]{1,3})$"));

    QList<PortRow> rows;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        PortRow row{info.portName(),
                    info.systemLocation(),
                    info.description(),
                    info.manufacturer(),
                    info.serialNumber(),
                    byId.value(canonical(info.systemLocation())),
                    {},
                    true,
                    true};
        const QString device = canonical(row.location);
        for (auto it = links.begin(); it != links.end(); ++it) {
            if (canonical(it.value()) == device) {
                row.com << QStringLiteral("COM%1").arg(it.key());
                unmatched.remove(it.key());
            }
        }
        // Without a link of its own, port n is /dev/ttyS(n-1).
        const auto m = ttyS.match(row.location);
        const int n = m.hasMatch() ? m.captured(1).toInt() + 1 : 0;
        if (n >= 1 && n <= 999 && !links.contains(n))
            row.com << QStringLiteral("COM%1").arg(n);
        rows << row;
    }
    // Links to a device the system does not list as a serial port (gone, a
    // pseudo-terminal, a virtual board): shown so a stale link is seen.
    for (auto it = unmatched.begin(); it != unmatched.end(); ++it) {
        const auto same = std::find_if(rows.begin(), rows.end(), [&](const PortRow &r) {
            return !r.listed && canonical(r.location) == canonical(it.value());
        });
        if (same != rows.end()) {
            same->com << QStringLiteral("COM%1").arg(it.key());
            continue;
        }
        const QFileInfo target(it.value());
        rows << PortRow{target.fileName(),
                        it.value(),
                        {},
                        {},
                        {},
                        byId.value(canonical(it.value())),
                        {QStringLiteral("COM%1").arg(it.key())},
                        target.exists(),
                        false};
    }
    return rows;
}

QString orDash(const QString &s)
{
    return s.isEmpty() ? QStringLiteral("-") : s;
}

int portsCommand(Invocation &inv)
{
    const QList<PortRow> rows = listPorts();
    if (inv.has(QStringLiteral("--json"))) {
        QJsonArray array;
        for (const PortRow &r : rows) {
            array.append(QJsonObject{
                {QStringLiteral("name"), r.name},
                {QStringLiteral("location"), r.location},
                {QStringLiteral("description"), r.description},
                {QStringLiteral("manufacturer"), r.manufacturer},
                {QStringLiteral("serialNumber"), r.serialNumber},
                {QStringLiteral("byId"), r.byId},
                {QStringLiteral("com"), QJsonArray::fromStringList(r.com)},
                {QStringLiteral("present"), r.present},
            });
        }
        const QByteArray bytes = QJsonDocument(array).toJson(QJsonDocument::Indented);
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        return kExitSuccess;
    }
    if (rows.isEmpty()) {
        printError(QStringLiteral("no serial ports found"));
        return kExitSuccess;
    }
    QList<QStringList> table{{QStringLiteral("DEVICE"), QStringLiteral("COM"), QStringLiteral("DESCRIPTION"),
                              QStringLiteral("MAKER"), QStringLiteral("SERIAL"), QStringLiteral("BY-ID")}};
    for (const PortRow &r : rows) {
        const QString location = r.present ? r.location : r.location + QStringLiteral(" (missing)");
        table << QStringList{location,
                             orDash(r.com.join(QLatin1Char(','))),
                             orDash(r.description),
                             orDash(r.manufacturer),
                             orDash(r.serialNumber),
                             orDash(QFileInfo(r.byId).fileName())};
    }
    QList<qsizetype> widths(table.constFirst().size(), 0);
    for (const QStringList &cells : table) {
        for (qsizetype c = 0; c < cells.size(); ++c)
            widths[c] = std::max(widths[c], cells.at(c).size());
    }
    for (const QStringList &cells : table) {
        QString line;
        for (qsizetype c = 0; c + 1 < cells.size(); ++c)
            line += cells.at(c).leftJustified(widths[c] + 2);
        printLine(line + cells.constLast());
    }
    return kExitSuccess;
}

} // namespace

void addPortCommands(std::vector<Command> &table)
{
    table.push_back(Command{
        .name = QStringLiteral("ports"),
        .arguments = QString(),
        .minArgs = 0,
        .maxArgs = 0,
        .options = {Option{QStringLiteral("--json"), QString(), QStringLiteral("print a JSON array instead")}},
        .summary = QStringLiteral("list the machine's serial ports and their COMn"),
        .help = QStringLiteral("Lists the serial ports the system knows: device, the COMn that reaches it (through\n"
                               "$PVELM_ROOT/dosdevices/comn, or /dev/ttyS(n-1) for a port n without a link),\n"
                               "description, maker, serial number and its /dev/serial/by-id name. A dosdevices link\n"
                               "to a device that is not listed is shown too, marked \"(missing)\" when nothing is\n"
                               "there. With --json: one object per port with name, location, description,\n"
                               "manufacturer, serialNumber, byId, com (a list) and present."),
        .usesBoard = false,
        .handler = portsCommand,
    });
}

} // namespace pvelm::cli
