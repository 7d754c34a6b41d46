#include "sim/keptboard.h"

#include "settings/hostpaths.h"
#include "sim/virtualboard.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

namespace pvelm::sim {

KeptBoard::KeptBoard(VirtualBoard &board) : m_board(board) {}

KeptBoard::~KeptBoard() = default;

QString KeptBoard::statePath()
{
    return hostpaths::root() + QStringLiteral("/virtualboard.state");
}

bool KeptBoard::load(bool fresh, QString *error, QString *notice)
{
    const QString path = statePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    m_lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    // A lock left by a process that died is taken over (its process id is
    // checked); one held by a live process is never stale by age, however
    // long that run lasts.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        qint64 pid = 0;
        QString host;
        QString app;
        m_lock->getLockInfo(&pid, &host, &app);
        if (notice)
            *notice = QStringLiteral("the virtual board is in use by %1 (process %2): this run starts from its last "
                                     "saved state and its changes are not kept")
                          .arg(app.isEmpty() ? QStringLiteral("another program") : app)
                          .arg(pid);
        m_lock.reset();
    }
    if (fresh || !QFileInfo::exists(path))
        return true;
    QString why;
    if (!m_board.loadState(path, &why)) {
        if (error)
            *error = QStringLiteral("cannot load the virtual board's state %1: %2 (--fresh-board starts a clean one)")
                         .arg(path, why);
        m_lock.reset();
        return false;
    }
    m_loaded = true;
    return true;
}

bool KeptBoard::owned() const
{
    return m_lock != nullptr;
}

bool KeptBoard::save(QString *error)
{
    if (!owned())
        return true;
    QString why;
    if (m_board.saveState(statePath(), &why))
        return true;
    if (error)
        *error = QStringLiteral("cannot save the virtual board's state %1: %2").arg(statePath(), why);
    return false;
}

} // namespace pvelm::sim
