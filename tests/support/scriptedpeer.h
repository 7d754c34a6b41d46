#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QSocketNotifier;

// A scripted stand-in for the board over a real pseudo-terminal. The code
// under test opens devicePath() with QSerialPort like any port. The peer
// answers from the test's own thread through a socket notifier, so it runs
// inside the link's nested waits and its timestamps follow them exactly.
//
// A rule fires on one byte (length 0) or on a frame: a prefix byte and the
// `length` bytes after it; bytes inside a frame never trigger rules. The
// first rule added for a byte wins.
class ScriptedPeer : public QObject
{
public:
    ~ScriptedPeer() override { hangUp(); }

    bool open();
    QString devicePath() const { return m_devicePath; }

    // Sends `reply` (possibly nothing) delayMs after the byte or frame.
    void answer(char byte, const QByteArray &reply, int length = 0, int delayMs = 0)
    {
        m_rules.append({byte, length, reply, delayMs, false});
    }
    // Closes the line when the byte or frame has arrived.
    void hangUpOn(char byte, int length = 0) { m_rules.append({byte, length, {}, 0, true}); }

    void send(const QByteArray &bytes);
    void sendLater(int delayMs, const QByteArray &bytes);

    // Everything received so far, and when each byte arrived (nowUs).
    QByteArray received();
    QList<qint64> receivedTimes();

    static qint64 nowUs();

private:
    struct Rule
    {
        char byte;
        int length;
        QByteArray reply;
        int delayMs;
        bool hangUp;
    };
    void readPending();
    void fire(const Rule &rule);
    void hangUp();

    int m_master = -1;
    int m_slave = -1; // held open: without it the master reads EIO while the port under test is closed
    QString m_devicePath;
    QSocketNotifier *m_notifier = nullptr;
    QList<Rule> m_rules;
    QByteArray m_received;
    QList<qint64> m_times;
    int m_frameRule = -1;
    int m_frameLeft = 0; // bytes still to come in the frame being collected
};
