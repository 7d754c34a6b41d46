#pragma once

#include <functional>

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Every test runs against its own PVELM_ROOT in a temporary folder, never
// the user's home. Create one TestRoot per test case (or per test object).
class TestRoot
{
public:
    TestRoot();
    ~TestRoot();
    QString path() const { return m_dir.path(); }
    // Host path of a file below the root, e.g. "drive_c/Corvane/parameters.ovh".
    QString file(const QString &relative) const { return m_dir.path() + QLatin1Char('/') + relative; }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};

// Reads a whole file as bytes ("" when missing).
QByteArray readAllBytes(const QString &path);
// Writes bytes to a file, creating folders as needed.
bool writeAllBytes(const QString &path, const QByteArray &bytes);

// What one run of velm left: its exit status (-1 when it did not finish)
// and everything it wrote.
struct VelmRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the velm of this build with PVELM_ROOT from the current TestRoot and
// short link seconds (40 ms), as a user's shell would; calls `meanwhile`
// afterMs into the run (to pull the port out from under it, say).
VelmRun runVelm(const QStringList &args, int afterMs = -1, const std::function<void()> &meanwhile = {});
