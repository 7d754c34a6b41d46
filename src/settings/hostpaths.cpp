#include "settings/hostpaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace pvelm::hostpaths {

QString root()
{
    const QString env = qEnvironmentVariable("PVELM_ROOT");
    if (!env.isEmpty())
        return QDir::cleanPath(QDir(env).absolutePath());
    return QDir::homePath() + QStringLiteral("/.pvelm");
}

namespace {

// The name of `component` as it exists in `dir`, matching case-insensitively
// when there is no exact match; the component itself when nothing matches.
QString existingName(const QString &dir, const QString &component)
{
    if (component.isEmpty() || component == QLatin1String(".") || component == QLatin1String(".."))
        return component;
    if (QFileInfo::exists(dir + QLatin1Char('/') + component))
        return component;
    const QDir d(dir);
    if (!d.exists())
        return component;
    QStringList entries =
        d.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &e : entries) {
        if (e.compare(component, Qt::CaseInsensitive) == 0)
            return e;
    }
    return component;
}

} // namespace

QString toHost(const QString &path)
{
#ifdef Q_OS_WIN
    return path;
#else
    static const QRegularExpression drive(QStringLiteral("^([A-Za-z]):(.*)$"));
    const auto m = drive.match(path);
    if (!m.hasMatch())
        return path;
    QString current = root() + QStringLiteral("/drive_") + m.captured(1).toLower();
    const QStringList parts = m.captured(2).split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts);
    for (const QString &part : parts)
        current += QLatin1Char('/') + existingName(current, part);
    return current;
#endif
}

bool sameFile(const QString &a, const QString &b)
{
    const QString hostA = toHost(a);
    const QString hostB = toHost(b);
    if (hostA.isEmpty() || hostB.isEmpty())
        return false;
#ifdef Q_OS_WIN
    auto identity = [](const QString &path, BY_HANDLE_FILE_INFORMATION *info) {
        const HANDLE h = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        const bool ok = GetFileInformationByHandle(h, info) != 0;
        CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return identity(hostA, &ia) && identity(hostB, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
#else
    struct stat sa, sb;
    return ::stat(QFile::encodeName(hostA).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(hostB).constData(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#endif
}

QString workingFolder()
{
    return toHost(QStringLiteral("c:\\Corvane"));
}

QString settingsFile()
{
    return toHost(QStringLiteral("c:\\Corvane\\parameters.ovh"));
}

QString workFile(const QString &name)
{
    return toHost(QStringLiteral("c:\\Corvane\\") + name);
}

QString dosDeviceLink(int n)
{
    return root() + QStringLiteral("/dosdevices/com") + QString::number(n);
}

QString portDevice(int n)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM") + QString::number(n);
#else
    const QFileInfo link(dosDeviceLink(n));
    if (link.isSymLink())
        return link.symLinkTarget();
    if (link.exists())
        return link.absoluteFilePath();
    return QStringLiteral("/dev/ttyS") + QString::number(n - 1);
#endif
}

} // namespace pvelm::hostpaths
