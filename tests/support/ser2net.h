#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Debian's ser2net serving one serial device raw on 127.0.0.1, as a board
// behind a network serial server is reached. Killed when it goes.
class Ser2net
{
public:
    ~Ser2net() { kill(); }
    static QString program(); // "" when ser2net is not installed
    // Serves `device` and waits until the port takes connections. Started
    // again after kill(), it serves on the same port.
    bool start(const QString &device);
    QString address() const; // "socket://127.0.0.1:PORT"
    void kill();             // at once, as a crash or a pulled cable would

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
