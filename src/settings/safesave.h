#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// The one way the programs write a file. The bytes go into a temporary
// file beside the target (TARGET.XXXXXX), every write is checked, the file
// is synced, and only then is it renamed over the target and the folder
// synced. Whatever fails on the way (a full disk, a file-size limit, a kill)
// leaves the old file whole and removes the temporary file; the reason is
// the system's own ("No space left on device", "File too large").
namespace pvelm {

class SaveFile
{
public:
    // A work file (rewritten by every run, never kept) skips the syncs: it
    // is still replaced whole or not at all, but a power loss may lose it.
    enum class Sync { Durable, WorkFile };

    explicit SaveFile(const QString &target, Sync sync = Sync::Durable);
    ~SaveFile(); // removes the temporary file unless it was committed
    SaveFile(const SaveFile &) = delete;
    SaveFile &operator=(const SaveFile &) = delete;

    // Makes the temporary file; false (see errorString) when it cannot.
    bool open();
    // Writes every byte or fails; after a failure every later write fails
    // too and commit() refuses, so a caller may check only at the end.
    bool write(QByteArrayView bytes);
    // Syncs the temporary file and renames it over the target (or over
    // `as`, a file in the same folder); false, with the target untouched
    // and the temporary file removed, when any step failed.
    bool commit(const QString &as = QString());
    // Removes the temporary file; the target stays as it was.
    void cancel();

    bool isOpen() const { return m_fd >= 0; }
    // The target named, and the file the bytes will replace (a symbolic
    // link's target).
    const QString &target() const { return m_target; }
    // The system's reason for the first failure.
    const QString &errorString() const { return m_error; }

private:
    bool fail(int error);

    QString m_target;
    QString m_final; // the target with links resolved
    QString m_temporary;
    QString m_error;
    int m_fd = -1;
    bool m_failed = false;
    Sync m_sync = Sync::Durable;
};

// Saves `bytes` as the whole content of `target`; on failure `why` gets the
// system's reason and the old file is as it was.
bool saveFile(const QString &target, QByteArrayView bytes, QString *why = nullptr);

// Removes the temporary files a killed save of one of `targets` left
// (TARGET.XXXXXX beside it). A temporary file that a running save still
// writes is locked by it and stays. Returns the files removed.
QStringList removeStaleTemporaries(const QStringList &targets);

} // namespace pvelm
