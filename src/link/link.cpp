#include "link/link.h"

#include "link/exchange.h"
#include "link/packets.h"
#include "settings/hostpaths.h"
#include "settings/portchoice.h"
#include "settings/settings.h"

#include <chrono>
#include <functional>
#include <limits>
#include <sys/stat.h>

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTimer>

namespace pvelm {

namespace {

// Monotonic milliseconds; only differences and whole link-seconds matter.
qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The numeric value of a text as the old console read it: leading blanks
// skipped, then the leading run of digits; 0 when there is none.
qint64 leadingNumber(const QString &text)
{
    qint64 value = 0;
    int i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    for (; i < text.size() && text.at(i).isDigit() && value < 100000000; ++i)
        value = value * 10 + text.at(i).digitValue();
    return value;
}

// What tells one serial device from another that later takes its name.
struct DeviceIdentity
{
    bool exists = false;
    dev_t rdev = 0;
    qint64 madeNs = 0;
    QString byId; // the /dev/serial/by-id name leading to it, if any

    static DeviceIdentity of(const QString &path)
    {
        DeviceIdentity id;
        struct stat st = {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0)
            return id;
        id.exists = true;
        id.rdev = st.st_rdev;
        id.madeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
        const QString target = QFileInfo(path).canonicalFilePath();
        const QDir byIdDir(QStringLiteral("/dev/serial/by-id"));
        for (const QFileInfo &link : byIdDir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
            if (link.canonicalFilePath() == target) {
                id.byId = link.fileName();
                break;
            }
        }
        return id;
    }

    bool sameAs(const DeviceIdentity &other) const
    {
        if (!exists || !other.exists || rdev != other.rdev)
            return false;
        if (!byId.isEmpty() || !other.byId.isEmpty())
            return byId == other.byId;
        return madeNs == other.madeNs;
    }
};

} // namespace

// ---------------------------------------------------------------------------

struct Link::Private
{
    enum class WaitEnd { Reached, TimedOut, PortFailed, Stopped };

    // One nested event loop per active wait. Waits nest when a window starts
    // an exchange while the status monitor waits, so each has its own loop
    // and every wake-up reaches all of them: each looks at its own condition.
    struct WaitFrame
    {
        QEventLoop loop;
        bool woken = false;
    };

    // Outcome of one attention attempt.
    struct Attempt
    {
        bool answered = false;
        bool timedOut = false;
        bool portFailed = false;
        bool stopped = false;
    };

    explicit Private(Link *link) : q(link), port(new QSerialPort(link)), socket(new QTcpSocket(link)), io(port) {}

    Link *q;
    // The line runs over the serial port or, for a board behind a network
    // serial server, over the socket; `io` is the one in use. Baud, framing
    // and the serial error signals belong to the serial port only.
    QSerialPort *port;
    QTcpSocket *socket;
    QIODevice *io;
    QTcpSocket *probe = nullptr; // asks a lost server whether it is back
    bool connecting = false;     // the socket's connect is being waited for
    bool closing = false;        // the link closes the socket itself
    const SettingsRecord *settings = nullptr;
    QString portOverride;
    QString openError;
    QString settingsText;
    QString device;
    int commPort = 0;
    int rThreshold = 0;
    int secondMs = 1000;
    bool busy = false;
    bool held = false;          // a LinkHold is taken
    bool holderCalling = false; // ... and its owner is calling a routine through it
    bool stopped = false;
    bool failed = false; // read, write or device error since the exchange began
    bool broken = false; // the device failed: close the port when safe
    QString lostReason;  // what the system said when it failed
    Link::PortState state = Link::PortState::Closed;
    DeviceIdentity opened; // the device as it was when the port opened
    QList<WaitFrame *> frames;
    LinkObserver *observer = nullptr;
    const char *routine = ""; // the routine whose traffic moves now

    void wake(WaitFrame *frame)
    {
        // quit() once per sleep: an outer loop asked to quit again and again
        // while an inner one runs would keep interrupting the inner one.
        if (!frame->woken) {
            frame->woken = true;
            frame->loop.quit();
        }
    }

    void wakeAll()
    {
        for (WaitFrame *frame : std::as_const(frames))
            wake(frame);
    }

    void onPortError(QSerialPort::SerialPortError error)
    {
        switch (error) {
        // A line that hangs up shows as a read error as often as a resource
        // error (read() returns nothing although the port signalled data):
        // either way the device is gone for this run.
        case QSerialPort::ResourceError:
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
            markLost(port->errorString());
            break;
        default:
            break; // timeouts of the zero-length reads, "not open" on close
        }
    }

    bool onSocket() const { return io == socket; }

    // The socket's counterpart of onPortError: a server that closes the
    // connection, or a connection that fails, is a lost port.
    void onSocketError(QAbstractSocket::SocketError error)
    {
        // Timeouts come from the zero-length polls, and must not wake the
        // wait that polls; a failed connect is reported by openPort, which
        // waits for it.
        if (error == QAbstractSocket::SocketTimeoutError)
            return;
        if (connecting) {
            wakeAll();
            return;
        }
        socketLost(error == QAbstractSocket::RemoteHostClosedError ? QString() : socket->errorString());
    }

    void socketLost(const QString &reason)
    {
        if (closing || !onSocket() || state != Link::PortState::Open)
            return;
        if (!reason.isEmpty()) {
            markLost(reason);
            return;
        }
        const auto address = networkAddress(device);
        markLost(QStringLiteral("%1 closed the connection").arg(address ? address->text() : device));
    }

    // The port or the connection is gone for this run: every wait ends, and
    // the first reason is the one the operator sees.
    void markLost(const QString &reason)
    {
        if (!broken)
            lostReason = reason;
        failed = true;
        broken = true;
        wakeAll();
        // With no wait running nobody else would close it, and a dead
        // device left open keeps signalling errors: the idle console
        // would spin. Close it once control is back in the event loop.
        if (frames.isEmpty())
            QMetaObject::invokeMethod(
                q, [this] { closeIfBroken(); }, Qt::QueuedConnection);
    }

    void closeIo()
    {
        closing = true;
        if (onSocket())
            socket->abort(); // nothing left to send is worth waiting for
        else
            port->close();
        closing = false;
    }

    bool portUsable() const { return io->isOpen() && !failed; }

    // A port whose device went away stays "open" in Qt; close it once no
    // wait is using it so that later exchanges fail at once, and say so. A
    // socket may have closed itself already: it is lost all the same.
    void closeIfBroken()
    {
        if (broken && frames.isEmpty()) {
            broken = false;
            const bool wasOpen = io->isOpen() || (onSocket() && state == Link::PortState::Open);
            if (io->isOpen())
                closeIo();
            if (wasOpen) {
                state = Link::PortState::Lost;
                if (lostReason.isEmpty())
                    lostReason = QStringLiteral("device error");
                openError = lostReason;
                emit q->portLost(lostReason);
            }
            lostReason.clear();
        }
    }

    // Whatever the OS has received but Qt has not read yet goes into the
    // port's buffer, so that counts and discards see it.
    void pullIn()
    {
        if (!io->isOpen())
            return;
        while (io->isOpen() && io->waitForReadyRead(0)) {
        }
        if (!onSocket() && port->error() == QSerialPort::TimeoutError)
            port->clearError();
    }

    qint64 waiting()
    {
        pullIn();
        return io->isOpen() ? io->bytesAvailable() : 0;
    }

    QString takeAll()
    {
        pullIn();
        if (!io->isOpen())
            return QString();
        const QByteArray bytes = io->readAll();
        if (observer && !bytes.isEmpty())
            observer->linkTraffic(LinkObserver::Direction::Received, routine, bytes);
        return QString::fromLatin1(bytes);
    }

    // Discard input: what is dropped is kept in linkRawInput until the next
    // read overwrites it.
    bool discardInput()
    {
        if (!portUsable())
            return false;
        q->linkRawInput = takeAll();
        return portUsable();
    }

    // Waits until the output queue is empty. Does not pump events and has no
    // deadline; only a port error ends it early.
    bool drain()
    {
        while (io->isOpen() && io->bytesToWrite() > 0) {
            if (failed)
                return false;
            if (onSocket()) {
                if (!socket->waitForBytesWritten(1000) && socket->state() != QAbstractSocket::ConnectedState) {
                    failed = broken = true;
                    return false;
                }
                continue;
            }
            port->clearError();
            if (!port->waitForBytesWritten(1000)) {
                const auto error = port->error();
                if (error != QSerialPort::TimeoutError && error != QSerialPort::NoError) {
                    failed = broken = true;
                    return false;
                }
            }
        }
        return portUsable();
    }

    bool send(const QString &text)
    {
        if (!portUsable())
            return false;
        const QByteArray bytes = text.toLatin1();
        if (io->write(bytes) != bytes.size()) {
            failed = broken = true;
            return false;
        }
        if (observer)
            observer->linkTraffic(LinkObserver::Direction::Sent, routine, bytes);
        return drain();
    }

    // The one timed wait. Lasts until `reached` holds, or until the whole
    // link-second clock is later than now + seconds (so between `seconds`
    // and `seconds` + 1 link-seconds), pumping events meanwhile. `reached`
    // is looked at on every wake-up: arriving characters, the deadline timer,
    // a port error, stopAll. `idleCheck`, when given, is a cheap test for
    // conditions no signal announces (a flag another window clears); it is
    // looked at whenever the event loop is about to sleep.
    WaitEnd wait(int seconds, const std::function<bool()> &reached, bool needsPort,
                 const std::function<bool()> &idleCheck = {})
    {
        const qint64 second = secondMs;
        const qint64 deadline = nowMs() / second + seconds;

        WaitFrame frame;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &frame.loop, [this, &frame] { wake(&frame); });
        if (idleCheck) {
            if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance()) {
                QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &frame.loop,
                                 [this, &frame, &idleCheck] {
                                     if (idleCheck())
                                         wake(&frame);
                                 });
            }
        }
        frames.append(&frame);

        WaitEnd end;
        for (;;) {
            frame.woken = false;
            if (stopped) {
                end = WaitEnd::Stopped;
                break;
            }
            if (needsPort && !portUsable()) {
                end = WaitEnd::PortFailed;
                break;
            }
            const qint64 now = nowMs();
            if (now / second > deadline) {
                end = WaitEnd::TimedOut;
                break;
            }
            if (reached() || (idleCheck && idleCheck())) {
                end = WaitEnd::Reached;
                break;
            }
            // Something may have happened while looking (characters pulled
            // in, a port error); a quit() outside exec() would be lost.
            if (frame.woken)
                continue;
            // The timer only wakes the loop: it may fire a little early, and
            // the clock check above decides whether the wait has run out.
            timer.start(int(std::max<qint64>(1, (deadline + 1) * second - now)));
            // exec() returns at once, without waiting, while the application
            // is quitting: that ends every wait for good, like stopAll().
            if (frame.loop.exec() < 0)
                stopped = true;
        }
        timer.stop();
        frames.removeOne(&frame);
        // An outer wait may be waiting for what this one changed.
        wakeAll();
        return end;
    }

    // Timed wait for n characters. `eachPoll` runs on every look.
    WaitEnd waitChars(int n, int seconds, const std::function<void()> &eachPoll = {})
    {
        return wait(
            seconds,
            [this, n, &eachPoll] {
                if (eachPoll)
                    eachPoll();
                return waiting() >= n;
            },
            true);
    }

    // Send the attention character, wait for one character, take all that
    // waits into linkRawInput; answered when it starts with `answer`.
    Attempt attempt(char attention, char answer, int seconds)
    {
        Attempt result;
        if (!send(QString(QLatin1Char(attention)))) {
            result.portFailed = true;
            return result;
        }
        const WaitEnd end = waitChars(1, seconds);
        if (end == WaitEnd::PortFailed) {
            result.portFailed = true;
            return result;
        }
        result.stopped = end == WaitEnd::Stopped;
        result.timedOut = end != WaitEnd::Reached;
        q->linkRawInput = takeAll();
        if (!portUsable()) {
            result.portFailed = true;
            return result;
        }
        result.answered = q->linkRawInput.startsWith(QLatin1Char(answer));
        return result;
    }

    // Counts a failed attempt: true when another one is allowed.
    static bool retry(int &counter, int limit)
    {
        if (counter < limit) {
            ++counter;
            return true;
        }
        return false;
    }

    enum class Handshake { Answered, NoAnswer, PortFailed };

    // The attention handshake with its retries: before every attempt run
    // `prepare` (if any) and discard the waiting input `discards` times.
    // `noteTimeout` marks linkTimedOut when an attempt's wait runs out.
    Handshake handshake(char attention, char answer, int seconds, int retries, int discards,
                        const std::function<void()> &prepare = {}, bool noteTimeout = false)
    {
        int counter = 0;
        for (;;) {
            if (prepare)
                prepare();
            for (int i = 0; i < discards; ++i) {
                if (!discardInput())
                    return Handshake::PortFailed;
            }
            const Attempt a = attempt(attention, answer, seconds);
            if (a.portFailed)
                return Handshake::PortFailed;
            if (noteTimeout && a.timedOut)
                q->linkTimedOut = true;
            if (a.answered && !a.stopped)
                return Handshake::Answered;
            if (a.stopped || !retry(counter, retries))
                return Handshake::NoAnswer;
        }
    }

    // Waits for a reply of n characters. Running out makes the code "Z";
    // otherwise `target` takes all that waits. False when the port failed.
    bool awaitReply(int n, int seconds, QString &target, bool clearPacketWhileWaiting)
    {
        const WaitEnd end =
            clearPacketWhileWaiting ? waitChars(n, seconds, [this] { q->linkPacket.clear(); }) : waitChars(n, seconds);
        if (end == WaitEnd::PortFailed)
            return false;
        if (end != WaitEnd::Reached)
            q->linkErrorCode = kCodeNoAnswer;
        else
            target = takeAll();
        return true;
    }

    // Sends linkPacket behind a frame prefix, leaving the framed text in it.
    bool sendFramed(char prefix)
    {
        q->linkPacket = QLatin1Char(prefix) + q->linkPacket;
        return send(q->linkPacket);
    }

    // ---- the routines, without the one-exchange guard ------------------

    void receiveBlock(int replyLength)
    {
        q->linkErrorCode = kCodeOk;
        // One attempt only.
        const Handshake h = handshake(kAttentionPacket, kAnswerPacket, 6, 0, 1);
        if (h == Handshake::PortFailed)
            return portFailure(true);
        if (h == Handshake::NoAnswer) {
            q->linkErrorCode = kCodeNoAnswer;
        } else {
            const bool sent = sendFramed(kLongFrame);
            q->linkPacket.clear();
            if (!sent || !awaitReply(replyLength, 6, q->linkBlock, true))
                return portFailure(true);
        }
        q->describeLinkError();
    }

    void binsender()
    {
        q->linkErrorCode = kCodeOk;
        const Handshake h = handshake(kAttentionBlock, kAnswerBlock, 2, 3, 1, {}, true);
        if (h == Handshake::PortFailed)
            return portFailure(true);
        if (h == Handshake::NoAnswer) {
            q->linkErrorCode = kCodeNoAnswer;
        } else if (!q->linkTimedOut) {
            // linkBlock itself is not changed.
            const bool sent = send(QLatin1Char(kLongFrame) + q->linkBlock);
            q->linkPacket.clear();
            if (!sent || !awaitReply(kLongPacketLength, 8, q->linkPacket, true))
                return portFailure(true);
        }
        q->describeLinkError();
    }

    // No message text: describeLinkError is not called.
    void packwriter()
    {
        q->linkErrorCode = kCodeOk;
        const Handshake h = handshake(kAttentionBlock, kAnswerBlock, 2, 3, 1);
        if (h == Handshake::PortFailed)
            return portFailure(false);
        if (h == Handshake::NoAnswer) {
            q->linkErrorCode = kCodeNoAnswer;
            return;
        }
        q->linkBlock = QLatin1Char(kPackedFrame) + q->linkBlock + QLatin1Char(kPackedFrameEnd);
        if (!send(q->linkBlock))
            portFailure(false);
    }

    void rawsender()
    {
        q->linkErrorCode = kCodeOk;
        const Handshake h = handshake(kAttentionPacket, kAnswerPacket, 2, 3, 1);
        if (h == Handshake::PortFailed)
            return portFailure(true);
        if (h == Handshake::NoAnswer) {
            q->linkErrorCode = kCodeNoAnswer;
        } else {
            const bool sent = sendFramed(kLongFrame);
            q->linkPacket.clear();
            if (!sent || !awaitReply(kLongPacketLength, 10, q->linkPacket, true))
                return portFailure(true);
        }
        q->describeLinkError();
    }

    // Unlike the others, sendonly does not reset the code to "0" first: a
    // success leaves the code of the exchange before it. Its callers never
    // look at it. Input is discarded once, not before every attempt.
    void sendonly()
    {
        if (!discardInput())
            return portFailure(true);
        const Handshake h = handshake(kAttentionPacket, kAnswerPacket, 2, 3, 0);
        if (h == Handshake::PortFailed)
            return portFailure(true);
        if (h == Handshake::NoAnswer)
            q->linkErrorCode = kCodeNoAnswer;
        else if (!sendFramed(kLongFrame))
            return portFailure(true);
        q->describeLinkError();
    }

    void smallcomax()
    {
        q->linkErrorCode = kCodeOk;
        const Handshake h = handshake(kAttentionPacket, kAnswerPacket, 2, 3, 2);
        if (h == Handshake::PortFailed)
            return portFailure(true);
        if (h == Handshake::NoAnswer) {
            q->linkErrorCode = kCodeNoAnswer;
        } else {
            // The sent text stays in linkPacket while the reply is awaited.
            if (!sendFramed(kShortFrame) || !awaitReply(kShortPacketLength, 6, q->linkPacket, false))
                return portFailure(true);
        }
        q->describeLinkError();
    }

    void docomax()
    {
        q->linkErrorCode = kCodeOk;
        // The packet is built again for every attempt; the body is used once.
        const auto buildPacket = [this] {
            QString packet = QString::fromLatin1(kDocomaxTemplate);
            fillField(packet, 4, 3, q->cmdCode);
            fillField(packet, 51, 3, q->cmdParam1);
            fillField(packet, 55, 3, q->cmdParam2);
            fillField(packet, 58, 3, q->cmdParam3);
            fillField(packet, 7, 5, q->cmdAddress);
            if (q->cmdData.size() > 40)
                fillField(packet, 7, 41, q->cmdData.left(41));
            q->cmdData.clear();
            q->linkPacket = QLatin1Char(kLongFrame) + packet;
        };
        const Handshake h = handshake(kAttentionPacket, kAnswerPacket, 1, 2, 2, buildPacket);
        if (h == Handshake::PortFailed)
            return portFailure(true);
        if (h == Handshake::NoAnswer) {
            q->linkErrorCode = kCodeNoAnswer;
            q->describeLinkError();
            return;
        }
        if (!send(q->linkPacket))
            return portFailure(true);
        // Running out sets nothing: what has arrived is decoded.
        if (waitChars(kLongPacketLength, 6) == WaitEnd::PortFailed)
            return portFailure(true);
        q->linkPacket = takeAll();
        q->linkErrorCode =
            q->linkPacket.size() >= kResultCodeColumn ? QString(q->linkPacket.at(kResultCodeColumn - 1)) : QString();
        q->describeLinkError();
    }

    void sendLineAndWait()
    {
        binsender();
        // A port that failed did not deliver the line either: the download
        // must stop at this page.
        if (q->linkErrorCode == kCodePortFailed)
            q->linkTimedOut = true;
        if (q->linkTimedOut || !q->linkPacket.isEmpty())
            return;
        // A reply that is late but on its way needs the port: one lost
        // meanwhile ends the wait at once, as a port failure.
        const WaitEnd end = wait(
            30, [this] { return !q->linkPacket.isEmpty(); }, true, [this] { return !q->linkPacket.isEmpty(); });
        if (end == WaitEnd::PortFailed)
            portFailure(true);
        if (end != WaitEnd::Reached)
            q->linkTimedOut = true;
    }

    void portFailure(bool describe)
    {
        q->linkErrorCode = kCodePortFailed;
        if (describe)
            q->describeLinkError();
    }

    // ---- opening the port ------------------------------------------------

    bool openPort()
    {
        static const SettingsRecord defaults;
        const SettingsRecord &record = settings ? *settings : defaults;
        const QString portText = record.field(SettingsRecord::kPortColumn, 1);
        const QString baudText = record.field(SettingsRecord::kBaudColumn, SettingsRecord::kBaudWidth);
        const QString parityText = record.field(SettingsRecord::kParityColumn, 1);
        const QString dataText = record.field(SettingsRecord::kDataBitsColumn, 1);
        const QString stopText = record.field(SettingsRecord::kStopBitsColumn, 1);

        const qint64 baud = leadingNumber(baudText);
        settingsText = QString::number(baud) + QLatin1Char(',') + parityText + QLatin1Char(',') + dataText +
                       QLatin1Char(',') + stopText;
        commPort = int(leadingNumber(portText));
        device = portOverride.isEmpty() ? hostpaths::portDevice(commPort) : portOverride;
        rThreshold = 0;
        if (isNetworkName(device))
            return openSocket();
        io = port;

        if (portOverride.isEmpty() && (portText.size() != 1 || !portText.at(0).isDigit() || commPort == 0))
            return refuse(QStringLiteral("the port number \"%1\" in the settings is not 1 to 9").arg(portText));
        if (baud <= 0 || baud > std::numeric_limits<qint32>::max())
            return refuse(QStringLiteral("the baud rate \"%1\" in the settings is not usable").arg(baudText));

        QSerialPort::Parity parity;
        switch (parityText.isEmpty() ? '?' : parityText.at(0).toLower().toLatin1()) {
        case 'n':
            parity = QSerialPort::NoParity;
            break;
        case 'e':
            parity = QSerialPort::EvenParity;
            break;
        case 'o':
            parity = QSerialPort::OddParity;
            break;
        case 'm':
            parity = QSerialPort::MarkParity;
            break;
        case 's':
            parity = QSerialPort::SpaceParity;
            break;
        default:
            return refuse(QStringLiteral("the parity \"%1\" in the settings is not n, e, o, m or s").arg(parityText));
        }
        const int dataBits = dataText.size() == 1 && dataText.at(0).isDigit() ? dataText.at(0).digitValue() : 0;
        if (dataBits < 5 || dataBits > 8)
            return refuse(QStringLiteral("the data bits \"%1\" in the settings are not 5 to 8").arg(dataText));
        QSerialPort::StopBits stopBits;
        if (stopText == QLatin1String("1"))
            stopBits = QSerialPort::OneStop;
        else if (stopText == QLatin1String("2"))
            stopBits = QSerialPort::TwoStop;
        else
            return refuse(QStringLiteral("the stop bits \"%1\" in the settings are not 1 or 2").arg(stopText));

        port->setPortName(device);
        port->setBaudRate(qint32(baud));
        port->setParity(parity);
        port->setDataBits(QSerialPort::DataBits(dataBits));
        port->setStopBits(stopBits);
        port->setFlowControl(QSerialPort::NoFlowControl);
        failed = false;
        broken = false;
        if (!port->open(QIODevice::ReadWrite)) {
            QString reason = device + QStringLiteral(": ") + port->errorString();
            if (port->error() == QSerialPort::PermissionError) {
                // The same error stands for a device we may not open and for
                // one whose lock file another program holds, or left behind
                // when it was killed (kept for 30 s when it left it empty).
                const QFileInfo info(device);
                reason += info.isReadable() && info.isWritable()
                              ? QStringLiteral(" (another program has it open, or one that ended abruptly left its "
                                               "lock; such a lock is cleared after 30 seconds)")
                              : QStringLiteral(" (to use serial ports, join the dialout group: "
                                               "sudo usermod -aG dialout $USER, then log in again)");
            }
            port->clearError();
            return refuse(reason);
        }
        rThreshold = 60;
        opened = DeviceIdentity::of(device);
        openError.clear();
        state = Link::PortState::Open;
        return true;
    }

    // How long a network serial server may take to accept the connection.
    static constexpr int kConnectSeconds = 5;

    // The line through a network serial server: the server owns the serial
    // settings, so the record's are not used. Events are pumped while the
    // connection is made.
    bool openSocket()
    {
        settingsText = QStringLiteral("raw TCP");
        io = socket;
        QString why;
        const auto address = networkAddress(device, &why);
        if (!address)
            return refuse(why);
        failed = false;
        broken = false;
        connecting = true;
        socket->connectToHost(address->host, address->port);
        const WaitEnd end = wait(
            kConnectSeconds,
            [this] {
                const auto now = socket->state();
                return now == QAbstractSocket::ConnectedState || now == QAbstractSocket::UnconnectedState;
            },
            false);
        connecting = false;
        if (socket->state() != QAbstractSocket::ConnectedState) {
            QString reason;
            if (socket->state() == QAbstractSocket::UnconnectedState)
                reason = QStringLiteral("cannot connect to %1: %2").arg(address->text(), socket->errorString());
            else if (end == WaitEnd::Stopped)
                reason = QStringLiteral("connecting to %1 was stopped").arg(address->text());
            else
                reason = QStringLiteral("%1 did not answer within %2 s").arg(address->text()).arg(kConnectSeconds);
            closeIo();
            return refuse(device + QStringLiteral(": ") + reason);
        }
        // The exchanges are a few characters each way: send them at once.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        rThreshold = 60;
        opened = DeviceIdentity();
        openError.clear();
        state = Link::PortState::Open;
        return true;
    }

    bool refuse(const QString &reason)
    {
        openError = reason;
        state = Link::PortState::OpenFailed;
        return false;
    }

    // One exchange at a time: a call made while another exchange runs is refused
    // before it touches anything.
    class Exchange
    {
    public:
        Exchange(Link *link, Private *d) : m_link(link), m_d(d)
        {
            if (m_link->isBusy())
                return;
            m_entered = true;
            m_d->busy = true;
            m_d->closeIfBroken();
            m_d->failed = false;
            emit m_link->busyChanged(true);
        }
        ~Exchange()
        {
            if (!m_entered)
                return;
            m_d->busy = false;
            m_d->closeIfBroken();
            emit m_link->busyChanged(false);
        }
        bool entered() const { return m_entered; }

    private:
        Link *m_link;
        Private *m_d;
        bool m_entered = false;
    };
};

// ---------------------------------------------------------------------------

Link::Link(QObject *parent) : QObject(parent), d(std::make_unique<Private>(this))
{
    connect(d->port, &QSerialPort::readyRead, this, [this] { d->wakeAll(); });
    connect(d->port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { d->onPortError(error); });
    connect(d->socket, &QTcpSocket::readyRead, this, [this] { d->wakeAll(); });
    connect(d->socket, &QTcpSocket::stateChanged, this, [this] { d->wakeAll(); });
    connect(d->socket, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) { d->onSocketError(error); });
    connect(d->socket, &QTcpSocket::disconnected, this, [this] { d->socketLost(QString()); });
}

Link::~Link()
{
    d->stopped = true;
    d->wakeAll();
    if (d->io->isOpen())
        d->closeIo();
}

void Link::setSettings(const SettingsRecord *record)
{
    d->settings = record;
}

void Link::setPortOverride(const QString &device)
{
    d->portOverride = device;
}

QString Link::portOverride() const
{
    return d->portOverride;
}

bool Link::opencomport()
{
    Private::Exchange scope(this, d.get());
    if (!scope.entered())
        return false;
    closePort();
    d->openPort();
    return true;
}

void Link::closePort()
{
    if (d->io->isOpen()) {
        d->closeIo();
        d->state = PortState::Closed;
    }
    d->broken = false;
    d->rThreshold = 0;
    d->wakeAll(); // a wait on the port ends as a port failure
}

Link::DeviceReturn Link::lostDeviceReturn() const
{
    // A server is back when it takes a connection again. The probe runs in
    // the background: one call starts it, a later one sees it connected.
    if (const auto address = networkAddress(configuredDevice())) {
        if (!d->probe)
            d->probe = new QTcpSocket(const_cast<Link *>(this));
        if (d->probe->state() == QAbstractSocket::ConnectedState) {
            d->probe->abort();
            return DeviceReturn::Same;
        }
        if (d->probe->state() == QAbstractSocket::UnconnectedState)
            d->probe->connectToHost(address->host, address->port);
        return DeviceReturn::Gone;
    }
    const DeviceIdentity now = DeviceIdentity::of(configuredDevice());
    if (!now.exists)
        return DeviceReturn::Gone;
    return now.sameAs(d->opened) ? DeviceReturn::Same : DeviceReturn::Other;
}

bool Link::isPortOpen() const
{
    return d->io->isOpen();
}

QString Link::portOpenError() const
{
    return d->openError;
}

Link::PortState Link::portState() const
{
    return d->state;
}

QString Link::portStateText() const
{
    const QString where = d->device + QStringLiteral("  ") + d->settingsText + QStringLiteral("  ");
    switch (d->state) {
    case PortState::Open:
        return where + QStringLiteral("open");
    case PortState::OpenFailed: {
        // The system's reason names the device already.
        QString reason = d->openError;
        if (reason.startsWith(d->device + QStringLiteral(": ")))
            reason.remove(0, d->device.size() + 2);
        return where + QStringLiteral("cannot open: ") + reason;
    }
    case PortState::Lost:
        return where + QStringLiteral("lost: ") + d->openError;
    case PortState::Closed:
        break;
    }
    return d->device.isEmpty() ? QStringLiteral("port closed") : where + QStringLiteral("closed");
}

QString Link::portSettingsText() const
{
    return d->settingsText;
}

int Link::commPort() const
{
    return d->commPort;
}

QString Link::configuredDevice() const
{
    return d->portOverride.isEmpty() ? hostpaths::portDevice(d->commPort) : d->portOverride;
}

QString Link::portDevice() const
{
    return d->device;
}

int Link::rThreshold() const
{
    return d->rThreshold;
}

bool Link::runExchange(const char *name, const std::function<void()> &routine)
{
    Private::Exchange scope(this, d.get());
    if (scope.entered()) {
        // An exchange may start inside the monitor's wait: give the label
        // back when it ends.
        const char *outer = d->routine;
        d->routine = name;
        routine();
        d->routine = outer;
    }
    return scope.entered();
}

bool Link::binreceiver()
{
    return runExchange("binreceiver", [this] { d->receiveBlock(kFlashBlockLength); });
}

bool Link::packreceiver()
{
    return runExchange("packreceiver", [this] { d->receiveBlock(kLongPacketLength); });
}

bool Link::binsender()
{
    return runExchange("binsender", [this] { d->binsender(); });
}

bool Link::packwriter()
{
    return runExchange("packwriter", [this] { d->packwriter(); });
}

bool Link::rawsender()
{
    return runExchange("rawsender", [this] { d->rawsender(); });
}

bool Link::sendonly()
{
    return runExchange("sendonly", [this] { d->sendonly(); });
}

bool Link::smallcomax()
{
    return runExchange("smallcomax", [this] { d->smallcomax(); });
}

bool Link::docomax()
{
    return runExchange("docomax", [this] { d->docomax(); });
}

bool Link::sendLineAndWait()
{
    return runExchange("binsender", [this] { d->sendLineAndWait(); });
}

void Link::readMonitorReply()
{
    // The characters on the line belong to an exchange while one runs, or
    // to a long operation while it holds the link (the monitor was started
    // from inside their waits): counting or taking them would steal a reply.
    // Such a read brings nothing, so the monitor ends and the exchange goes
    // on with its reply intact.
    const auto lineTaken = [this] { return d->busy || d->held; };
    if (lineTaken()) {
        linkRawInput.clear();
        return;
    }
    d->wait(
        6, [&] { return lineTaken() || !monitoring || d->waiting() >= kStatusReportLength; }, true,
        [this] { return !monitoring; });
    if (lineTaken()) {
        linkRawInput.clear();
    } else {
        const char *outer = d->routine;
        d->routine = "readMonitorReply";
        linkRawInput = d->takeAll();
        d->routine = outer;
    }
    d->closeIfBroken();
}

void Link::discardMonitorInput()
{
    if (d->busy || d->held || !d->io->isOpen())
        return;
    const char *outer = d->routine;
    d->routine = "readMonitorReply";
    d->takeAll();
    d->routine = outer;
    d->closeIfBroken();
}

void Link::describeLinkError()
{
    if (!linkErrorCode.isEmpty())
        linkErrorText = describe(linkErrorCode);
}

QString Link::describe(const QString &code)
{
    if (code.isEmpty())
        return QString();
    if (code == QLatin1String("0"))
        return QStringLiteral("No errors");
    if (code == QLatin1String("1"))
        return QStringLiteral("System received invalid packet");
    if (code == QLatin1String("2"))
        return QStringLiteral("No responce from device/module on buss");
    if (code == QLatin1String("X"))
        return QStringLiteral("Invalid Instruction sent");
    if (code == QLatin1String("Z"))
        return QStringLiteral("Unable to connect");
    if (code == QLatin1String("7"))
        return QStringLiteral("Serial port not open");
    return QStringLiteral("Undefined error");
}

bool Link::isBusy() const
{
    return d->busy || (d->held && !d->holderCalling);
}

bool Link::isHeld() const
{
    return d->held;
}

LinkHold::LinkHold(Link &link) : m_link(link)
{
    if (m_link.isBusy() || m_link.d->held)
        return;
    m_link.d->held = true;
    m_acquired = true;
}

LinkHold::~LinkHold()
{
    if (m_acquired)
        m_link.d->held = false;
}

bool LinkHold::operator()(bool (Link::*routine)())
{
    if (!m_acquired || m_link.d->busy)
        return false;
    m_link.d->holderCalling = true;
    const bool ran = (m_link.*routine)();
    m_link.d->holderCalling = false;
    return ran;
}

void Link::setSecondMs(int ms)
{
    d->secondMs = std::max(1, ms);
}

int Link::secondMs() const
{
    return d->secondMs;
}

void Link::stopAll()
{
    d->stopped = true;
    d->wakeAll();
}

bool Link::isStopped() const
{
    return d->stopped;
}

QSerialPort *Link::port() const
{
    return d->port;
}

QIODevice *Link::io() const
{
    return d->io;
}

void Link::setObserver(LinkObserver *observer)
{
    d->observer = observer;
}

LinkObserver *Link::observer() const
{
    return d->observer;
}

} // namespace pvelm
