#include "settings/settings.h"

#include "settings/hostpaths.h"

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
    SettingsLoad result;
    const QString folder = hostpaths::workingFolder();
    const QString file = hostpaths::settingsFile();

    if (!QFileInfo(folder).isDir()) {
        // One level, as on the original machine; the drive folder stands in
        // for the drive itself and is made with the root when missing.
        const QFileInfo fi(folder);
        if (!QDir().mkpath(fi.absolutePath()) || !QDir().mkdir(folder))
            return result;
    }

    if (!QFileInfo::exists(file)) {
        const QByteArray def = SettingsRecord::defaultRecord();
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return result;
        if (out.write(def) != def.size())
            return result;
        out.close();
        if (out.error() != QFileDevice::NoError)
            return result;
    }

    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
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

} // namespace pvelm
