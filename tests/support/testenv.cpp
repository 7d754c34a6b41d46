#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

TestRoot::TestRoot()
{
    m_hadPrevious = qEnvironmentVariableIsSet("PVELM_ROOT");
    m_previous = qgetenv("PVELM_ROOT");
    qputenv("PVELM_ROOT", m_dir.path().toLocal8Bit());
}

TestRoot::~TestRoot()
{
    if (m_hadPrevious)
        qputenv("PVELM_ROOT", m_previous);
    else
        qunsetenv("PVELM_ROOT");
}

QByteArray readAllBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeAllBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

VelmRun runVelm(const QStringList &args, int afterMs, const std::function<void()> &meanwhile)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PVELM_SECOND_MS"), QStringLiteral("40"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(PVELM_BINARY_DIR "/velm"), args);
    bool finished = false;
    if (afterMs >= 0 && !(finished = p.waitForFinished(afterMs)))
        meanwhile();
    finished = finished || p.waitForFinished(60000);
    if (!finished || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        return {-1, {}, "velm did not run or did not finish"};
    }
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}
