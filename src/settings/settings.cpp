#include "settings/settings.h"

#include "settings/hostpaths.h"
#include "settings/safesave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pvelm {

SettingsRecord::SettingsRecord() : m_record(defaultRecord()) {}

SettingsRecord::SettingsRecord(QByteArray raw) : m_record(std::move(raw)) {}

QByteArray SettingsRecord::defaultRecord()
{
    SettingsRecord r{QByteArray(kLength, '0')};
    r.setField(100, 1, "1");
    r.setField(101, 6, "057600");
    r.setField(107, 1, "n");
    r.setField(108, 1, "8");
    r.setField(109, 1, "1");
    r.setField(110, 16, "0000000000000000");
    r.setField(50, 5, "00200");
    r.setField(55, 5, "00200");
    r.setField(60, 5, "00200");
    r.setField(65, 5, "00100");
    r.setField(70, 5, "00200");
    r.setField(75, 5, "00200");
    r.setField(80, 5, "00200");
    r.setField(85, 1, "1");
    r.setField(kHeaderColumn, kHeaderWidth, fitRight("Corvane Ver 1.0", kHeaderWidth, ' '));
    r.setPath(kTempHexPathColumn, "c:\\Corvane\\flash.tmp");
    r.setPath(kScriptPathColumn, "c:\\Corvane\\velm.txt");
    r.setPath(kListPathColumn, "c:\\Corvane\\list.txt");
    r.setPath(kFlashFilePathColumn, "c:\\Corvane\\Flashda.fla");
    return r.m_record;
}

QString SettingsRecord::field(int column, int width) const
{
    const qsizetype start = column - 1;
    if (start < 0 || width <= 0 || start >= m_record.size())
        return {};
    return QString::fromLatin1(m_record.mid(start, width));
}

QString SettingsRecord::path(int column) const
{
    QString p = field(column, kPathWidth);
    p.remove(QLatin1Char(' '));
    return p;
}

void SettingsRecord::setField(int column, int width, const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    for (int i = 0; i < width && i < bytes.size(); ++i) {
        const qsizetype at = column - 1 + i;
        if (at >= 0 && at < m_record.size())
            m_record[at] = bytes[i];
    }
}

void SettingsRecord::setPath(int column, const QString &text)
{
    setField(column, kPathWidth, fitRight(text, kPathWidth, ' '));
}

QString SettingsRecord::fitRight(const QString &text, int width, QChar fill)
{
    return (QString(width, fill) + text).right(width);
}

SettingsLoad loadSettings(SettingsRecord &record)
{
    const QString folder = hostpaths::workingFolder();
    const QString file = hostpaths::settingsFile();

    if (!QFileInfo(folder).isDir()) {
        // One level, as on the original machine; the drive folder stands in
        // for the drive itself and is made with the root when missing.
        const QFileInfo fi(folder);
        if (!QDir().mkpath(fi.absolutePath()) || !QDir().mkdir(folder))
            return {};
    }
    // What a save killed half-way left beside the record and the compiler's
    // work files; the files themselves are whole, old or new.
    removeStaleTemporaries(
        {file, hostpaths::workFile(QStringLiteral("premerged.tmp")), hostpaths::workFile(QStringLiteral("fixup.tmp")),
         hostpaths::workFile(QStringLiteral("fixup1.tmp")), hostpaths::workFile(QStringLiteral("sourcemap.tmp"))});
    SettingsLoad made;
    if (!QFileInfo::exists(file) && !saveFile(file, SettingsRecord::defaultRecord(), &made.error))
        return made;
    return readSettingsFile(record);
}

SettingsLoad readSettingsFile(SettingsRecord &record)
{
    SettingsLoad result;
    const QString file = hostpaths::settingsFile();
    QFile in(file);
    if (!QFileInfo(file).isFile() || !in.open(QIODevice::ReadOnly))
        return result;
    // Only the first line counts; a line ends at CR or LF. Read in bounded
    // pieces so a huge file without line ends cannot take all memory.
    QByteArray line;
    constexpr qint64 kMaxLine = 1 << 20;
    while (!in.atEnd() && line.size() < kMaxLine) {
        const QByteArray chunk = in.read(4096);
        if (chunk.isEmpty())
            break;
        const qsizetype cut = [&] {
            const qsizetype cr = chunk.indexOf('\r'), lf = chunk.indexOf('\n');
            if (cr < 0)
                return lf;
            if (lf < 0)
                return cr;
            return std::min(cr, lf);
        }();
        if (cut >= 0) {
            line += chunk.left(cut);
            break;
        }
        line += chunk;
    }
    if (in.error() != QFileDevice::NoError)
        return result;

    if (line.size() < SettingsRecord::kLength) {
        const QByteArray def = SettingsRecord::defaultRecord();
        result.notice = QStringLiteral("Settings record is %1 characters long; columns %2-512 were taken from the "
                                       "default record")
                            .arg(line.size())
                            .arg(line.size() + 1);
        line += def.mid(line.size());
    } else if (line.size() > SettingsRecord::kLength) {
        result.notice =
            QStringLiteral("Settings record is longer than 512 characters; the rest of the line is ignored");
        line.truncate(SettingsRecord::kLength);
    }
    record = SettingsRecord(line);
    result.ok = true;
    return result;
}

bool writeSettingsFile(const SettingsRecord &record, QString *why)
{
    const QString file = hostpaths::settingsFile();
    if (!QFileInfo(file).isFile()) {
        if (why)
            *why = QStringLiteral("%1 does not exist").arg(file);
        return false;
    }
    return saveFile(file, record.bytes(), why);
}

// ---- the setup window's fields ------------------------------------------------

namespace {

struct SetupColumn
{
    QString SetupFields::*field;
    const char *name;
    int column;
    int width;
    const char *fill; // serial fields; nullptr for paths
};

const SetupColumn kSetupColumns[] = {
    {&SetupFields::comport, "comport", SettingsRecord::kPortColumn, 1, "1"},
    {&SetupFields::combaud, "combaud", SettingsRecord::kBaudColumn, SettingsRecord::kBaudWidth, "038400"},
    {&SetupFields::comparity, "comparity", SettingsRecord::kParityColumn, 1, "n"},
    {&SetupFields::combits, "combits", SettingsRecord::kDataBitsColumn, 1, "8"},
    {&SetupFields::comstopbits, "comstopbits", SettingsRecord::kStopBitsColumn, 1, "1"},
    {&SetupFields::comother, "comother", SettingsRecord::kOtherColumn, SettingsRecord::kOtherWidth, "0000000000000000"},
    // Paths are stored in this order.
    {&SetupFields::gfilebox, "gfilebox", SettingsRecord::kScriptPathColumn, SettingsRecord::kPathWidth, nullptr},
    {&SetupFields::flashfileloc, "flashfileloc", SettingsRecord::kTempHexPathColumn, SettingsRecord::kPathWidth,
     nullptr},
    {&SetupFields::listfileloc, "listfileloc", SettingsRecord::kListPathColumn, SettingsRecord::kPathWidth, nullptr},
    {&SetupFields::flashmemfileloc, "flashmemfileloc", SettingsRecord::kFlashFilePathColumn, SettingsRecord::kPathWidth,
     nullptr},
};

} // namespace

const QStringList &SetupFields::names()
{
    static const QStringList list = [] {
        QStringList l;
        for (const SetupColumn &c : kSetupColumns)
            l << QString::fromLatin1(c.name);
        return l;
    }();
    return list;
}

QString *SetupFields::byName(const QString &name)
{
    for (const SetupColumn &c : kSetupColumns) {
        if (name == QLatin1String(c.name))
            return &(this->*c.field);
    }
    return nullptr;
}

SetupFields showSettings(const SettingsRecord &record)
{
    SetupFields f;
    for (const SetupColumn &c : kSetupColumns)
        f.*c.field = record.field(c.column, c.width);
    return f;
}

void storeSettings(SettingsRecord &record, const SetupFields &fields)
{
    for (const SetupColumn &c : kSetupColumns) {
        const QString &text = fields.*c.field;
        if (c.fill)
            record.setField(c.column, c.width, (QString::fromLatin1(c.fill) + text).right(c.width));
        else
            record.setPath(c.column, text);
    }
}

} // namespace pvelm
