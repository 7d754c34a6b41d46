#include "support/scriptedpeer.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

qint64 ScriptedPeer::nowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

bool ScriptedPeer::open()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    const char *name = m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0 ? ptsname(m_master) : nullptr;
    m_slave = name ? ::open(name, O_RDWR | O_NOCTTY) : -1;
    termios tio{};
    if (m_slave < 0 || tcgetattr(m_slave, &tio) != 0) {
        hangUp();
        return false;
    }
    cfmakeraw(&tio);
    tcsetattr(m_slave, TCSANOW, &tio);
    m_devicePath = QString::fromLocal8Bit(name);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ScriptedPeer::readPending);
    return true;
}

void ScriptedPeer::send(const QByteArray &bytes)
{
    qint64 done = 0;
    int stalls = 0;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n >= 0)
            done += n;
        else if ((errno == EAGAIN || errno == EINTR) && ++stalls < 5000)
            usleep(200); // the line's buffer is full: give the reader up to a second
        else
            break;
    }
}

void ScriptedPeer::sendLater(int delayMs, const QByteArray &bytes)
{
    QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, bytes] { send(bytes); });
}

void ScriptedPeer::hangUp()
{
    delete m_notifier;
    m_notifier = nullptr;
    for (int *fd : {&m_master, &m_slave}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

QByteArray ScriptedPeer::received()
{
    readPending();
    return m_received;
}

QList<qint64> ScriptedPeer::receivedTimes()
{
    readPending();
    return m_times;
}

void ScriptedPeer::readPending()
{
    char buffer[1024];
    ssize_t n;
    // A rule may hang up while bytes are handled: stop reading then.
    while (m_master >= 0 && (n = ::read(m_master, buffer, sizeof buffer)) > 0) {
        const qint64 now = nowUs();
        for (ssize_t i = 0; i < n && m_master >= 0; ++i) {
            m_received.append(buffer[i]);
            m_times.append(now);
            if (m_frameLeft > 0) {
                if (--m_frameLeft == 0)
                    fire(m_rules.at(m_frameRule));
                continue;
            }
            for (int r = 0; r < m_rules.size(); ++r) {
                if (m_rules.at(r).byte == buffer[i]) {
                    m_frameRule = r;
                    m_frameLeft = m_rules.at(r).length;
                    if (m_frameLeft == 0)
                        fire(m_rules.at(r));
                    break;
                }
            }
        }
    }
}

void ScriptedPeer::fire(const Rule &rule)
{
    QTimer::singleShot(rule.delayMs, Qt::PreciseTimer, this, [this, rule] {
        if (rule.hangUp)
            hangUp();
        else
            send(rule.reply);
    });
}
