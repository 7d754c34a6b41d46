#pragma once

#include <functional>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QSocketNotifier;

// A scripted stand-in for the board, for tests that need exact control of
// what comes back and when.
//
// It owns the master side of a real pseudo-terminal; the code under test
// opens devicePath() (the slave side) with QSerialPort exactly as it opens a
// real port. The peer runs on the thread that calls open() through a
// QSocketNotifier, so on a test's own thread it is driven by whatever event
// loop runs there (typically the link's nested wait), and its replies and
// timestamps follow the link's waits exactly. It keeps a slave descriptor of
// its own open, so the master never sees a hang-up while the port under test
// is closed or reopened.
//
// Every received byte is recorded with a monotonic timestamp (nowUs()).
// Replies follow rules:
//
//   ScriptedPeer peer;
//   QVERIFY(peer.open());
//   peer.answerByte('&', ":");                     // handshake
//   peer.answerFrame('$', 64, QByteArray(64, 'r')); // reply to a long packet
//   link.setPortOverride(peer.devicePath());
//
// A rule fires on a trigger: one byte (`answerByte`), or a frame, i.e. a
// prefix byte and the `length` bytes that follow it (`answerFrame`). Bytes
// inside a frame never trigger byte rules. Rules are tried in the order they
// were added; a rule given a count fires that many times and then no longer
// matches, so "answer wrongly twice, then right" is two rules. A rule may
// reply late (delayMs), with anything (a wrong character, a short or
// partial reply, garbage), with nothing (silence), or hang up.
class ScriptedPeer : public QObject
{
    Q_OBJECT

public:
    struct Rule
    {
        enum class Trigger { Byte, Frame };
        Trigger trigger = Trigger::Byte;
        char byte = 0;  // the byte, or the frame's prefix
        int length = 0; // frame: bytes after the prefix
        // The reply to the byte or the whole frame (prefix included); an
        // empty reply sends nothing.
        std::function<QByteArray(const QByteArray &frame)> reply;
        int delayMs = 0;     // reply (or hang up) this much later
        int times = -1;      // how often the rule fires; -1: always
        bool hangUp = false; // close the line instead of replying
    };

    explicit ScriptedPeer(QObject *parent = nullptr);
    ~ScriptedPeer() override;

    // Creates the pseudo-terminal (raw mode) on the calling thread.
    bool open(QString *error = nullptr);
    bool isOpen() const;
    // The slave side, e.g. /dev/pts/7.
    QString devicePath() const { return m_devicePath; }

    // ---- rules -------------------------------------------------------------
    void addRule(const Rule &rule);
    void answerByte(char byte, const QByteArray &answer, int delayMs = 0, int times = -1);
    void answerFrame(char prefix, int length, const QByteArray &reply, int delayMs = 0, int times = -1);
    void answerFrame(char prefix, int length, std::function<QByteArray(const QByteArray &frame)> reply, int delayMs = 0,
                     int times = -1);
    void hangUpOnByte(char byte, int delayMs = 0);
    void hangUpOnFrame(char prefix, int length, int delayMs = 0);
    void clearRules();

    // ---- acting now --------------------------------------------------------
    void send(const QByteArray &bytes);
    void sendLater(int delayMs, const QByteArray &bytes);
    // Closes the master side: the port under test sees the device go away.
    void hangUp();

    // ---- what arrived ------------------------------------------------------
    // Everything received since open() or clearReceived(); reads what is
    // pending on the line first.
    QByteArray received();
    // Timestamp (nowUs) of each received byte, parallel to received().
    QList<qint64> receivedTimes();
    // Timestamps of every arrival of one byte value.
    QList<qint64> arrivalsOf(char byte);
    void clearReceived();
    // Time the last reply byte was written to the line (nowUs), 0 if none.
    qint64 lastSentUs() const { return m_lastSentUs; }
    // Pumps events until at least n bytes arrived or timeoutMs passed.
    bool waitForReceived(int n, int timeoutMs = 2000);

    // Monotonic microseconds, the clock of every timestamp above.
    static qint64 nowUs();

signals:
    // After every byte recorded (tests may react to the wire).
    void byteReceived(char byte);

private:
    void readPending();
    void handleByte(char byte);
    void fire(Rule &rule, const QByteArray &frame);
    void writeNow(const QByteArray &bytes);
    Rule *findRule(Rule::Trigger trigger, char byte);

    int m_master = -1;
    int m_slave = -1;
    QString m_devicePath;
    QSocketNotifier *m_notifier = nullptr;
    QList<Rule> m_rules;
    QByteArray m_received;
    QList<qint64> m_times;
    // The frame being collected, and the rule that will answer it.
    int m_frameRule = -1;
    QByteArray m_frame;
    qint64 m_lastSentUs = 0;
};
