#include "support/ser2net.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

QString program()
{
    return QStandardPaths::findExecutable(QStringLiteral("ser2net"), {"/usr/sbin", "/usr/local/sbin", "/sbin"});
}

} // namespace

Ser2net::~Ser2net()
{
    kill();
}

bool Ser2net::installed(QString *why)
{
    if (!program().isEmpty())
        return true;
    *why = QStringLiteral("ser2net is not installed (scripts/install-deps.sh installs it)");
    return false;
}

bool Ser2net::start(const QString &device, QString *why)
{
    if (!installed(why))
        return false;
    if (m_port == 0) {
        // A port nobody listens on now; ser2net takes it a moment later.
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost)) {
            *why = probe.errorString();
            return false;
        }
        m_port = probe.serverPort();
    }
    // The board's line settings are the server's to set; the virtual board
    // takes any, and "local" ignores the modem lines a pseudo-terminal lacks.
    const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(QStringLiteral("connection: &board\n"
                                                                      "    accepter: tcp,127.0.0.1,%1\n"
                                                                      "    connector: serialdev,%2,9600n81,local\n")
                                                           .arg(m_port)
                                                           .arg(device)
                                                           .toLocal8Bit()) < 0) {
        *why = file.errorString();
        return false;
    }
    file.close();
    m_process.start(program(), {"-n", "-c", config});
    if (!m_process.waitForStarted(5000)) {
        *why = m_process.errorString();
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000 && m_process.state() == QProcess::Running) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    *why = QStringLiteral("ser2net did not take connections on port %1").arg(m_port);
    kill();
    return false;
}

QString Ser2net::address() const
{
    return QStringLiteral("socket://127.0.0.1:%1").arg(m_port);
}

void Ser2net::kill()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}
