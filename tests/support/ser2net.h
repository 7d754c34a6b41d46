#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Debian's ser2net serving one serial device raw on 127.0.0.1, as a board
// behind a network serial server is reached. Stops the server when it goes.
class Ser2net
{
public:
    ~Ser2net();
    // Whether the ser2net program is installed; the reason when not.
    static bool installed(QString *why);
    // Starts serving `device` and waits until the TCP port takes
    // connections; false with the reason when it does not. Started again
    // after kill(), it serves on the same port.
    bool start(const QString &device, QString *why);
    // "socket://127.0.0.1:PORT".
    QString address() const;
    // Ends the server at once, as a crash or a pulled network cable would.
    void kill();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
