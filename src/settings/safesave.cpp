#include "settings/safesave.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace pvelm {

namespace {

// The mode a new file gets: 0666 less the process's umask, read without
// changing it (umask() would race other threads that create files).
mode_t newFileMode()
{
    static const mode_t mode = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
                if (line.startsWith("Umask:")) {
                    bool ok = false;
                    const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                    if (ok)
                        return mode_t(0666 & ~mask);
                }
            }
        }
        return mode_t(0644);
    }();
    return mode;
}

} // namespace

SaveFile::SaveFile(const QString &target, Sync sync) : m_target(target), m_sync(sync) {}

SaveFile::~SaveFile()
{
    cancel();
}

bool SaveFile::fail(int error)
{
    if (!m_failed)
        m_error = qt_error_string(error);
    m_failed = true;
    cancel();
    return false;
}

bool SaveFile::open()
{
    cancel();
    m_failed = false;
    m_error.clear();
    // A link is followed, so the file it names is replaced, not the link.
    const QFileInfo info(m_target);
    m_final = !info.isSymLink() ? m_target : info.exists() ? info.canonicalFilePath() : info.symLinkTarget();
    if (QFileInfo(m_final).isDir())
        return fail(EISDIR);
    QByteArray name = QFile::encodeName(m_final) + ".XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    m_fd = fd;
    m_temporary = QFile::decodeName(name);
    // Held until the rename: a start-up sweep leaves a locked file alone.
    ::flock(fd, LOCK_EX | LOCK_NB);
    struct stat old;
    const mode_t mode =
        ::stat(QFile::encodeName(m_final).constData(), &old) == 0 ? (old.st_mode & 07777) : newFileMode();
    if (::fchmod(fd, mode) != 0)
        return fail(errno);
    return true;
}

bool SaveFile::write(QByteArrayView bytes)
{
    if (m_failed)
        return false;
    if (m_fd < 0)
        return fail(EBADF);
    const char *at = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, at, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(errno);
        if (n == 0)
            return fail(ENOSPC);
        at += n;
        left -= n;
    }
    return true;
}

bool SaveFile::commit(const QString &as)
{
    if (m_failed)
        return false;
    if (m_fd < 0)
        return fail(EBADF);
    if (m_sync == Sync::Durable && ::fsync(m_fd) != 0)
        return fail(errno);
    // Renamed while still open, so its lock keeps a start-up sweep off it.
    const QString destination = as.isEmpty() ? m_final : as;
    if (::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(destination).constData()) != 0)
        return fail(errno);
    m_temporary.clear();
    ::close(m_fd); // the bytes are written (and synced); nothing is left to report
    m_fd = -1;
    if (m_sync == Sync::WorkFile)
        return true;
    // The rename is durable once the folder is synced; a file system that
    // cannot sync a folder has done what it can, and the new file is in place.
    const int dir = ::open(QFile::encodeName(QFileInfo(destination).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void SaveFile::cancel()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.isEmpty()) {
        ::unlink(QFile::encodeName(m_temporary).constData());
        m_temporary.clear();
    }
}

bool saveFile(const QString &target, QByteArrayView bytes, QString *why)
{
    SaveFile file(target);
    if (file.open() && file.write(bytes) && file.commit())
        return true;
    if (why)
        *why = file.errorString();
    return false;
}

QStringList removeStaleTemporaries(const QStringList &targets)
{
    QStringList removed;
    for (const QString &target : targets) {
        const QFileInfo info(target);
        const QRegularExpression temporary(
            QStringLiteral("^%1\\.[A-Za-z0-9]{6}$").arg(QRegularExpression::escape(info.fileName())));
        const QDir folder = info.absoluteDir();
        for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks)) {
            if (!temporary.match(name).hasMatch())
                continue;
            const QByteArray path = QFile::encodeName(folder.filePath(name));
            const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                continue;
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.constData()) == 0)
                removed << folder.filePath(name);
            ::close(fd);
        }
    }
    return removed;
}

} // namespace pvelm
