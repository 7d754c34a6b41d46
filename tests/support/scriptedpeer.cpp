#include "support/scriptedpeer.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

ScriptedPeer::ScriptedPeer(QObject *parent) : QObject(parent) {}

ScriptedPeer::~ScriptedPeer()
{
    hangUp();
}

qint64 ScriptedPeer::nowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

bool ScriptedPeer::open(QString *error)
{
    auto fail = [&](const char *what) {
        if (error)
            *error = QString::fromLatin1(what) + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno));
        hangUp();
        return false;
    };
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail("posix_openpt");
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return fail("grantpt/unlockpt");
    const char *name = ptsname(m_master);
    if (!name)
        return fail("ptsname");
    m_devicePath = QString::fromLocal8Bit(name);
    // Our own slave descriptor: without one, the master reads EIO whenever
    // the port under test is closed.
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0)
        return fail("open slave");
    termios tio{};
    if (tcgetattr(m_slave, &tio) != 0)
        return fail("tcgetattr");
    cfmakeraw(&tio);
    if (tcsetattr(m_slave, TCSANOW, &tio) != 0)
        return fail("tcsetattr");
    const int flags = fcntl(m_master, F_GETFL);
    fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ScriptedPeer::readPending);
    return true;
}

bool ScriptedPeer::isOpen() const
{
    return m_master >= 0;
}

void ScriptedPeer::addRule(const Rule &rule)
{
    m_rules.append(rule);
}

void ScriptedPeer::answerByte(char byte, const QByteArray &answer, int delayMs, int times)
{
    Rule rule;
    rule.byte = byte;
    rule.reply = [answer](const QByteArray &) { return answer; };
    rule.delayMs = delayMs;
    rule.times = times;
    addRule(rule);
}

void ScriptedPeer::answerFrame(char prefix, int length, const QByteArray &reply, int delayMs, int times)
{
    answerFrame(
        prefix, length, [reply](const QByteArray &) { return reply; }, delayMs, times);
}

void ScriptedPeer::answerFrame(char prefix, int length, std::function<QByteArray(const QByteArray &)> reply,
                               int delayMs, int times)
{
    Rule rule;
    rule.trigger = Rule::Trigger::Frame;
    rule.byte = prefix;
    rule.length = length;
    rule.reply = std::move(reply);
    rule.delayMs = delayMs;
    rule.times = times;
    addRule(rule);
}

void ScriptedPeer::hangUpOnByte(char byte, int delayMs)
{
    Rule rule;
    rule.byte = byte;
    rule.hangUp = true;
    rule.delayMs = delayMs;
    addRule(rule);
}

void ScriptedPeer::hangUpOnFrame(char prefix, int length, int delayMs)
{
    Rule rule;
    rule.trigger = Rule::Trigger::Frame;
    rule.byte = prefix;
    rule.length = length;
    rule.hangUp = true;
    rule.delayMs = delayMs;
    addRule(rule);
}

void ScriptedPeer::clearRules()
{
    m_rules.clear();
    m_frameRule = -1;
    m_frame.clear();
}

void ScriptedPeer::send(const QByteArray &bytes)
{
    writeNow(bytes);
}

void ScriptedPeer::sendLater(int delayMs, const QByteArray &bytes)
{
    QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, bytes] { writeNow(bytes); });
}

void ScriptedPeer::hangUp()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = -1;
    m_slave = -1;
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

QList<qint64> ScriptedPeer::arrivalsOf(char byte)
{
    readPending();
    QList<qint64> times;
    for (int i = 0; i < m_received.size(); ++i) {
        if (m_received.at(i) == byte)
            times.append(m_times.at(i));
    }
    return times;
}

void ScriptedPeer::clearReceived()
{
    readPending();
    m_received.clear();
    m_times.clear();
}

bool ScriptedPeer::waitForReceived(int n, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (received().size() < n && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return m_received.size() >= n;
}

void ScriptedPeer::readPending()
{
    char buffer[1024];
    // A rule may hang up while bytes are handled: stop reading then.
    while (m_master >= 0) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        const qint64 now = nowUs();
        for (ssize_t i = 0; i < n && m_master >= 0; ++i) {
            m_received.append(buffer[i]);
            m_times.append(now);
            handleByte(buffer[i]);
        }
    }
}

ScriptedPeer::Rule *ScriptedPeer::findRule(Rule::Trigger trigger, char byte)
{
    for (Rule &rule : m_rules) {
        if (rule.trigger == trigger && rule.byte == byte && rule.times != 0)
            return &rule;
    }
    return nullptr;
}

void ScriptedPeer::handleByte(char byte)
{
    if (m_frameRule >= 0) {
        m_frame.append(byte);
        if (m_frame.size() == m_rules.at(m_frameRule).length + 1) {
            const int index = m_frameRule;
            const QByteArray frame = m_frame;
            m_frameRule = -1;
            m_frame.clear();
            fire(m_rules[index], frame);
        }
        emit byteReceived(byte);
        return;
    }
    if (Rule *rule = findRule(Rule::Trigger::Frame, byte)) {
        m_frameRule = int(rule - m_rules.data());
        m_frame = QByteArray(1, byte);
        if (rule->length == 0) {
            m_frameRule = -1;
            m_frame.clear();
            fire(*rule, QByteArray(1, byte));
        }
    } else if (Rule *rule = findRule(Rule::Trigger::Byte, byte)) {
        fire(*rule, QByteArray(1, byte));
    }
    emit byteReceived(byte);
}

void ScriptedPeer::fire(Rule &rule, const QByteArray &frame)
{
    if (rule.times > 0)
        --rule.times;
    const bool hang = rule.hangUp;
    const QByteArray reply = rule.reply ? rule.reply(frame) : QByteArray();
    if (rule.delayMs <= 0) {
        if (hang)
            hangUp();
        else
            writeNow(reply);
        return;
    }
    QTimer::singleShot(rule.delayMs, Qt::PreciseTimer, this, [this, hang, reply] {
        if (hang)
            hangUp();
        else
            writeNow(reply);
    });
}

void ScriptedPeer::writeNow(const QByteArray &bytes)
{
    qint64 done = 0;
    int stalls = 0;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            // The line's buffer is full: give the reader (another thread, or
            // nobody) up to a second, then drop the rest.
            if ((errno == EAGAIN || errno == EINTR) && ++stalls < 5000) {
                usleep(200);
                continue;
            }
            break;
        }
        done += n;
    }
    if (!bytes.isEmpty())
        m_lastSentUs = nowUs();
}
