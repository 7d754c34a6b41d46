#include "sim/virtualboard.h"

#include "settings/safesave.h"
#include "sim/boardengine.h"
#include "sim/boardparams.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include <QFile>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace pvelm::sim {

namespace {

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// poll() with a timeout in nanoseconds (-1: none), so pacing is not rounded
// to whole milliseconds.
int waitFor(pollfd *fds, nfds_t count, qint64 timeoutNs)
{
#if defined(__linux__) || defined(__FreeBSD__)
    if (timeoutNs < 0)
        return ::ppoll(fds, count, nullptr, nullptr);
    const timespec ts{time_t(timeoutNs / 1000000000), long(timeoutNs % 1000000000)};
    return ::ppoll(fds, count, &ts, nullptr);
#else
    if (timeoutNs < 0)
        return ::poll(fds, count, -1);
    // Whole milliseconds in poll(), the rest slept off when nothing came.
    const qint64 until = nowNs() + timeoutNs;
    const int r = ::poll(fds, count, int(timeoutNs / 1000000));
    if (r == 0 && until > nowNs())
        std::this_thread::sleep_for(std::chrono::nanoseconds(until - nowNs()));
    return r;
#endif
}

void setFlags(int fd, bool nonBlocking)
{
    if (nonBlocking)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

QString errnoText(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// Intermediate characters of an answer leave in batches up to this far
// apart, so neither side wakes for every character; the last character of
// every answer leaves exactly when it has gone over the wire.
constexpr qint64 BatchNs = 1000000;

// A change from the outside world, queued for the board's thread.
struct Change
{
    enum Kind { Input, Home, Limit, Reset } kind;
    int index;
    int value;
};

// The recording: one row per tick, built into a buffer that is written out
// in large pieces.
struct Recorder
{
    static constexpr qsizetype FlushBytes = 64 * 1024;

    QFile file;
    QByteArray buffer;
    QString error;
    qint64 originNs = -1; // time 0: the board's start (the first, when it starts again)

    void add(qint64 ms, const BoardState &s)
    {
        // Appended in place: the buffer keeps its capacity from row to row.
        auto number = [this](qint64 v) {
            char digits[24];
            buffer.append(digits, std::to_chars(digits, digits + sizeof digits, v).ptr - digits);
        };
        number(ms);
        for (quint16 v : s.positions) {
            buffer.append(',');
            number(v);
        }
        buffer.append(',');
        if (s.runMode != RunMode::Stopped)
            number(s.runLine);
        buffer.append('\n');
        if (buffer.size() >= FlushBytes)
            flush();
    }

    void flush()
    {
        if (!buffer.isEmpty() && error.isEmpty() && file.write(buffer) != buffer.size())
            error = file.errorString();
        buffer.clear(); // keeps its capacity
    }
};

} // namespace

struct VirtualBoard::Private
{
    // Guards the engine (board state) and the received bytes, which the
    // owner's thread reads while the board thread works.
    mutable std::mutex mutex;
    BoardEngine engine;
    QByteArray received;

    std::atomic<int> baud{0};
    std::atomic<Fault> fault{Fault::None};
    std::atomic<int> lateReplyMs{1500};
    std::atomic<bool> running{false};
    std::atomic<bool> stopRequested{false};
    qint64 startNs = 0; // when the board started

    // Changes waiting for the board's thread; a lock of their own, so that
    // a view never waits for the board's work to queue one.
    std::mutex changesMutex;
    std::vector<Change> changes;
    std::vector<Change> applying; // board thread only

    std::unique_ptr<Recorder> recorder; // under mutex

    void applyChange(const Change &c, qint64 nowNs)
    {
        BoardState &s = engine.state();
        switch (c.kind) {
        case Change::Input:
            s.inputs[size_t(c.index)] = c.value != 0;
            break;
        case Change::Home:
            s.program.home[size_t(c.index)] = c.value;
            break;
        case Change::Limit:
            s.program.limit[size_t(c.index)] = c.value;
            break;
        case Change::Reset:
            engine.reset(nowNs / 1000000);
            pending.clear(); // what was leaving is cut off
            break;
        }
    }

    void queueChange(const Change &c)
    {
        if (!running.load()) {
            std::lock_guard lock(mutex);
            applyChange(c, nowNs());
            return;
        }
        {
            std::lock_guard lock(changesMutex);
            changes.push_back(c);
        }
        wake();
    }

    void observeTicks(qint64 fromNs)
    {
        if (!recorder) {
            engine.setTickObserver(nullptr, 0, 0);
            return;
        }
        if (recorder->originNs < 0)
            recorder->originNs = startNs;
        engine.setTickObserver([r = recorder.get()](qint64 ms, const BoardState &s) { r->add(ms, s); },
                               recorder->originNs / 1000000, fromNs / 1000000);
    }

    int masterFd = -1;
    int slaveFd = -1; // held open so the master never sees EIO when the console closes
    int wakeRead = -1;
    int wakeWrite = -1;
    QString device;
    std::thread thread;

    // Board thread only: output waiting to leave, keyed by the earliest
    // time (steady clock, ns) it may leave. Equal keys keep their order.
    std::multimap<qint64, QByteArray> pending;
    qint64 txFreeNs = 0; // when the line has finished sending the last character
    qint64 rxLastNs = 0; // when the last received character is taken to have arrived
    quint32 noiseState = 0x2545F491u;

    qint64 charNs() const
    {
        const int b = baud.load();
        return b > 0 ? qint64(10) * 1000000000 / b : 0; // start bit, 8 data bits, stop bit
    }

    void wake()
    {
        if (wakeWrite >= 0) {
            const char c = 0;
            [[maybe_unused]] auto n = ::write(wakeWrite, &c, 1);
        }
    }

    QByteArray noise(qsizetype size)
    {
        // Printable noise that never contains a handshake answer, so a
        // console cannot mistake it for one.
        QByteArray out;
        out.reserve(size);
        while (out.size() < size) {
            noiseState ^= noiseState << 13;
            noiseState ^= noiseState >> 17;
            noiseState ^= noiseState << 5;
            const char c = char(0x20 + noiseState % 95);
            if (c != ':' && c != '!')
                out += c;
        }
        return out;
    }

    void enqueue(const BoardEngine::Outputs &outputs, qint64 atNs)
    {
        const Fault f = fault.load();
        for (const BoardEngine::Output &o : outputs) {
            QByteArray bytes = o.bytes;
            qint64 when = atNs + o.delayMs * 1000000;
            const bool isReply = o.kind == BoardEngine::OutputKind::Reply;
            switch (f) {
            case Fault::WrongAnswer:
                if (o.kind == BoardEngine::OutputKind::Handshake)
                    bytes = "?";
                break;
            case Fault::LateReply:
                if (isReply)
                    when += qint64(lateReplyMs.load()) * 1000000;
                break;
            case Fault::ShortReply:
                if (isReply)
                    bytes.truncate(bytes.size() / 2);
                break;
            case Fault::Garbage:
                bytes = noise(bytes.size());
                break;
            default:
                break;
            }
            if (o.kind == BoardEngine::OutputKind::Report && charNs() > 0) {
                // At line speed a reply may still be leaving: the report
                // waits until the line has been quiet a moment after it.
                qint64 lineFree = std::max(txFreeNs, atNs);
                for (const auto &[at, queued] : pending)
                    lineFree = std::max(lineFree, at) + queued.size() * charNs();
                when = std::max(when, lineFree + BoardEngine::ReportQuietMs * 1000000);
            }
            if (!bytes.isEmpty())
                pending.emplace(when, bytes);
        }
    }

    // Returns false when the line is gone.
    bool readMaster(qint64 now)
    {
        char buf[4096];
        const ssize_t n = ::read(masterFd, buf, sizeof buf);
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
        if (n == 0)
            return false;
        const QByteArray chunk(buf, n);
        std::lock_guard lock(mutex);
        received += chunk;
        const Fault f = fault.load();
        if (f == Fault::HangUp)
            return false;
        if (f == Fault::NoAnswer)
            return true;
        const qint64 step = charNs();
        for (char c : chunk) {
            // With pacing, a character is in one character time after it
            // was written or after the one before it is in, whichever is
            // later: a burst arrives one character time apart.
            const qint64 at = step > 0 ? std::max(now, rxLastNs) + step : now;
            rxLastNs = at;
            enqueue(engine.feed(c, at / 1000000), at);
        }
        return true;
    }

    // Writes what is due. Returns when it next wants to write (ns), or -1.
    // *blocked is set when the pseudo-terminal would not take more.
    qint64 flushOutput(qint64 now, bool *blocked)
    {
        *blocked = false;
        const qint64 step = charNs();
        while (!pending.empty()) {
            auto it = pending.begin();
            QByteArray &bytes = it->second;
            qsizetype count = bytes.size();
            qint64 start = 0;
            if (step > 0) {
                // Each character leaves when the line has finished sending it.
                start = std::max(txFreeNs, it->first);
                const qint64 due = now < start ? 0 : (now - start) / step;
                if (due <= 0) {
                    const qint64 last = start + count * step;
                    return std::min(last, std::max(start + step, now + BatchNs));
                }
                count = std::min<qint64>(count, due);
            } else if (it->first > now) {
                return it->first;
            }
            const ssize_t n = ::write(masterFd, bytes.constData(), size_t(count));
            if (n < 0) {
                if (errno == EAGAIN) {
                    // Nobody has read the line for a long while (the console
                    // closed its side): drop what waits there, as a line with
                    // no listener would.
                    ::tcflush(slaveFd, TCIFLUSH);
                    *blocked = true;
                    return -1;
                }
                if (errno == EINTR)
                    continue;
                pending.clear();
                return -1;
            }
            if (step > 0)
                txFreeNs = start + n * step;
            bytes.remove(0, n);
            if (bytes.isEmpty())
                pending.erase(it);
        }
        return -1;
    }

    void run()
    {
#ifdef __linux__
        // Wake-ups a character time apart need the kernel to keep the
        // time asked for, not round it up by the default 50 us.
        ::prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
#endif
        bool lineUp = true;
        while (lineUp && !stopRequested.load()) {
            qint64 now = nowNs();
            qint64 engineDeadlineNs = -1;
            {
                std::lock_guard changesLock(changesMutex);
                applying.swap(changes);
            }
            {
                std::lock_guard lock(mutex);
                if (fault.load() != Fault::NoAnswer)
                    enqueue(engine.poll(now / 1000000), now);
                for (const Change &c : applying)
                    applyChange(c, now);
                applying.clear();
                const qint64 d = engine.nextDeadline();
                engineDeadlineNs = d < 0 ? -1 : d * 1000000;
            }
            bool blocked = false;
            const qint64 outputAt = flushOutput(now, &blocked);

            qint64 wakeAt = -1;
            for (qint64 t : {outputAt, engineDeadlineNs}) {
                if (t >= 0 && (wakeAt < 0 || t < wakeAt))
                    wakeAt = t;
            }
            qint64 timeoutNs = -1;
            if (blocked)
                timeoutNs = 10000000;
            else if (wakeAt >= 0)
                timeoutNs = std::clamp<qint64>(wakeAt - nowNs(), 0, qint64(60) * 1000000000);

            pollfd fds[2] = {{masterFd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
            if (blocked)
                fds[0].events |= POLLOUT;
            const int r = waitFor(fds, 2, timeoutNs);
            if (r < 0 && errno != EINTR)
                break;
            if (r <= 0)
                continue;
            if (fds[1].revents & POLLIN) {
                char drain[64];
                while (::read(wakeRead, drain, sizeof drain) > 0) {
                }
            }
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR))
                lineUp = readMaster(nowNs());
        }
        if (!lineUp) {
            // Hang-up (or the line failed): closing the master is what the
            // console sees as its port failing.
            closeFd(masterFd);
            closeFd(slaveFd);
            pending.clear();
        }
        running = false;
    }

    void closeAll()
    {
        closeFd(masterFd);
        closeFd(slaveFd);
        closeFd(wakeRead);
        closeFd(wakeWrite);
    }
};

VirtualBoard::VirtualBoard() : d(std::make_unique<Private>()) {}

VirtualBoard::~VirtualBoard()
{
    stop();
    stopRecording();
}

bool VirtualBoard::start(QString *error)
{
    auto fail = [&](const QString &why) {
        d->closeAll();
        if (error)
            *error = why;
        return false;
    };
    stop();
    d->masterFd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (d->masterFd < 0)
        return fail(errnoText("posix_openpt"));
    setFlags(d->masterFd, true);
    if (::grantpt(d->masterFd) != 0)
        return fail(errnoText("grantpt"));
    if (::unlockpt(d->masterFd) != 0)
        return fail(errnoText("unlockpt"));
#ifdef __linux__
    char name[128];
    if (::ptsname_r(d->masterFd, name, sizeof name) != 0)
        return fail(errnoText("ptsname"));
#else
    const char *name = ::ptsname(d->masterFd);
    if (!name)
        return fail(errnoText("ptsname"));
#endif
    d->device = QString::fromLocal8Bit(name);

    // Raw before anyone opens it, so nothing the console sends is echoed or
    // translated even before the console sets its own line settings.
    d->slaveFd = ::open(name, O_RDWR | O_NOCTTY);
    if (d->slaveFd < 0)
        return fail(errnoText("open slave"));
    setFlags(d->slaveFd, false);
    termios tio{};
    if (::tcgetattr(d->slaveFd, &tio) != 0)
        return fail(errnoText("tcgetattr"));
    ::cfmakeraw(&tio);
    if (::tcsetattr(d->slaveFd, TCSANOW, &tio) != 0)
        return fail(errnoText("tcsetattr"));

    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return fail(errnoText("pipe"));
    d->wakeRead = pipeFds[0];
    d->wakeWrite = pipeFds[1];
    setFlags(d->wakeRead, true);
    setFlags(d->wakeWrite, true);

    d->startNs = nowNs();
    {
        std::lock_guard lock(d->mutex);
        d->received.clear();
        d->engine.dropFrame(); // a frame cut off by an earlier hang-up is gone with its line
        d->observeTicks(d->startNs);
    }
    d->pending.clear();
    d->txFreeNs = 0;
    d->rxLastNs = 0;
    d->stopRequested = false;
    d->running = true;
    d->thread = std::thread([this] { d->run(); });
    return true;
}

void VirtualBoard::stop()
{
    if (d->thread.joinable()) {
        d->stopRequested = true;
        d->wake();
        d->thread.join();
    }
    d->running = false;
    d->closeAll();
    std::lock_guard changesLock(d->changesMutex);
    std::lock_guard lock(d->mutex);
    for (const Change &c : d->changes) // queued while the board was stopping
        d->applyChange(c, nowNs());
    d->changes.clear();
    if (d->recorder)
        d->recorder->flush(); // the recording goes on when the board starts again
}

bool VirtualBoard::isRunning() const
{
    return d->running.load();
}

QString VirtualBoard::devicePath() const
{
    return d->device;
}

void VirtualBoard::setBaud(int baud)
{
    d->baud = std::max(0, baud);
    d->wake();
}

int VirtualBoard::baud() const
{
    return d->baud.load();
}

void VirtualBoard::setFault(Fault fault)
{
    d->fault = fault;
    d->wake();
}

Fault VirtualBoard::fault() const
{
    return d->fault.load();
}

void VirtualBoard::setLateReplyMs(int ms)
{
    d->lateReplyMs = std::max(0, ms);
}

int VirtualBoard::lateReplyMs() const
{
    return d->lateReplyMs.load();
}

void VirtualBoard::setPageProgramMs(int ms)
{
    std::lock_guard lock(d->mutex);
    d->engine.setPageProgramMs(std::max(0, ms));
}

void VirtualBoard::setSilentFromPage(int page)
{
    std::lock_guard lock(d->mutex);
    d->engine.setSilentFromPage(page);
}

bool VirtualBoard::saveState(const QString &path, QString *error) const
{
    QByteArray bytes;
    {
        std::lock_guard lock(d->mutex);
        bytes = d->engine.state().serialize();
    }
    // Through a temporary file renamed over the old one: a crash or a full
    // disk never leaves half a state.
    return saveFile(path, bytes, error);
}

bool VirtualBoard::loadState(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    BoardState next;
    if (!next.deserialize(file.readAll(), error))
        return false;
    std::lock_guard lock(d->mutex);
    d->engine.state() = std::move(next);
    return true;
}

BoardState VirtualBoard::state() const
{
    std::lock_guard lock(d->mutex);
    return d->engine.state();
}

void VirtualBoard::updateState(const std::function<void(BoardState &)> &change)
{
    {
        std::lock_guard lock(d->mutex);
        change(d->engine.state());
    }
    d->wake(); // a program may have work now (an input set, reports switched on)
}

BoardSnapshot VirtualBoard::snapshot() const
{
    BoardSnapshot snap;
    snap.fault = d->fault.load();
    snap.running = d->running.load();
    const qint64 nowMs = nowNs() / 1000000;
    std::lock_guard lock(d->mutex);
    const BoardState &s = d->engine.state();
    snap.positions = d->engine.positionsAt(nowMs);
    snap.inputs = s.inputs;
    snap.outputs = s.outputs;
    snap.home = s.program.home;
    snap.limit = s.program.limit;
    snap.runMode = s.runMode;
    snap.runLine = s.runLine;
    snap.notification = s.program.notification;
    snap.reportsOn = boardparams::reportsOn(s);
    snap.reportTicks = boardparams::reportTicks(s);
    return snap;
}

void VirtualBoard::setInput(int input, bool on)
{
    if (input >= 0 && input < BoardState::IoCount)
        d->queueChange({Change::Input, input, on ? 1 : 0});
}

void VirtualBoard::setSwitch(int axis, SwitchKind kind, int position)
{
    if (axis >= 0 && axis < 3 && position >= -1 && position <= 65535)
        d->queueChange({kind == SwitchKind::Home ? Change::Home : Change::Limit, axis, position});
}

void VirtualBoard::resetBoard()
{
    d->queueChange({Change::Reset, 0, 0});
}

bool VirtualBoard::startRecording(const QString &path, QString *error)
{
    stopRecording();
    auto recorder = std::make_unique<Recorder>();
    recorder->file.setFileName(path);
    if (!recorder->file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = recorder->file.errorString();
        return false;
    }
    recorder->buffer.reserve(Recorder::FlushBytes + 256);
    recorder->buffer.append("time_ms,S1,S2,S3,S4,S5,S6,S7,S8,line\n");
    {
        std::lock_guard lock(d->mutex);
        d->recorder = std::move(recorder);
        if (d->running.load())
            d->observeTicks(nowNs());
    }
    d->wake();
    return true;
}

bool VirtualBoard::stopRecording(QString *error)
{
    std::unique_ptr<Recorder> recorder;
    {
        std::lock_guard lock(d->mutex);
        recorder = std::move(d->recorder);
        d->observeTicks(0);
    }
    if (!recorder)
        return true;
    recorder->flush();
    if (recorder->error.isEmpty() && !recorder->file.flush())
        recorder->error = recorder->file.errorString();
    recorder->file.close();
    if (!recorder->error.isEmpty() && error)
        *error = recorder->error;
    return recorder->error.isEmpty();
}

QByteArray VirtualBoard::received() const
{
    std::lock_guard lock(d->mutex);
    return d->received;
}

void VirtualBoard::clearReceived()
{
    std::lock_guard lock(d->mutex);
    d->received.clear();
}

QString VirtualBoard::versionText()
{
    return QString::fromLatin1(BoardEngine::versionText());
}

bool parseFault(const QString &name, Fault *fault)
{
    static const struct
    {
        const char *name;
        Fault fault;
    } names[] = {
        {"none", Fault::None},
        {"no-answer", Fault::NoAnswer},
        {"wrong-answer", Fault::WrongAnswer},
        {"late-reply", Fault::LateReply},
        {"short-reply", Fault::ShortReply},
        {"garbage", Fault::Garbage},
        {"hang-up", Fault::HangUp},
    };
    for (const auto &n : names) {
        if (name.compare(QLatin1String(n.name), Qt::CaseInsensitive) == 0) {
            if (fault)
                *fault = n.fault;
            return true;
        }
    }
    return false;
}

} // namespace pvelm::sim
