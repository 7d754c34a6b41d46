#pragma once

#include <cstdio>
#include <cstdlib>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A broken invariant is a finding like a crash: say which one and abort, so
// libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace fuzzsupport {

// A fresh PVELM_ROOT for this process, as the tests' TestRoot makes one, on
// the memory file system where there is one: the targets write files for
// every input. Removed when the fuzzer exits normally.
inline QString makeRoot()
{
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static QTemporaryDir dir(base + QStringLiteral("/pvelm-fuzz-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a folder in %s\n", qPrintable(base));
        std::exit(1);
    }
    qputenv("PVELM_ROOT", dir.path().toLocal8Bit());
    return dir.path();
}

inline bool writeBytes(const QString &path, const char *data, size_t size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data, qint64(size)) == qint64(size);
}

// The file's bytes; *exists tells a missing file from an empty one.
inline QByteArray readBytes(const QString &path, bool *exists = nullptr)
{
    QFile f(path);
    const bool open = f.open(QIODevice::ReadOnly);
    if (exists)
        *exists = open;
    return open ? f.readAll() : QByteArray();
}

} // namespace fuzzsupport
