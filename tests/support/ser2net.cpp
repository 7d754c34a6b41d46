#include "support/ser2net.h"

#include "support/testenv.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

QString Ser2net::program()
{
    return QStandardPaths::findExecutable(QStringLiteral("ser2net"), {"/usr/sbin", "/usr/local/sbin", "/sbin"});
}

bool Ser2net::start(const QString &device)
{
    if (m_port == 0) { // a port nobody listens on now
        QTcpServer free;
        free.listen(QHostAddress::LocalHost);
        m_port = free.serverPort();
    }
    // The line settings are the server's; the virtual board takes any, and
    // "local" ignores the modem lines a pseudo-terminal lacks.
    const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    writeAllBytes(config, QStringLiteral("connection: &board\n    accepter: tcp,127.0.0.1,%1\n"
                                         "    connector: serialdev,%2,9600n81,local\n")
                              .arg(m_port)
                              .arg(device)
                              .toLocal8Bit());
    m_process.start(program(), {"-n", "-c", config});
    QElapsedTimer waited;
    waited.start();
    while (m_process.waitForStarted() && waited.elapsed() < 5000) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    return false;
}

QString Ser2net::address() const
{
    return QStringLiteral("socket://127.0.0.1:%1").arg(m_port);
}

void Ser2net::kill()
{
    m_process.kill();
    m_process.waitForFinished();
}
