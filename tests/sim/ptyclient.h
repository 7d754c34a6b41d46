#pragma once

// A bare console end for the virtual board's tests: the slave side opened
// with open() and raw termios, so the board is tested without the link.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

class PtyClient
{
public:
    explicit PtyClient(const QString &path)
    {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            return;
        termios tio{};
        ::tcgetattr(m_fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
    ~PtyClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    PtyClient(const PtyClient &) = delete;
    PtyClient &operator=(const PtyClient &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    bool failed() const { return m_failed; }

    bool send(const QByteArray &bytes) { return ::write(m_fd, bytes.constData(), bytes.size()) == bytes.size(); }

    // Reads until n bytes have arrived or timeoutMs has passed. Records the
    // time of the first and last byte (ms since the call) for pacing checks.
    QByteArray read(int n, int timeoutMs)
    {
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        firstByteMs = lastByteMs = -1;
        while (out.size() < n) {
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0)
                break;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, int(left)) <= 0)
                continue;
            if (p.revents & (POLLHUP | POLLERR) && !(p.revents & POLLIN)) {
                m_failed = true;
                break;
            }
            char buf[1024];
            const ssize_t got = ::read(m_fd, buf, size_t(std::min<qsizetype>(sizeof buf, n - out.size())));
            if (got <= 0) {
                if (got < 0 && errno == EAGAIN)
                    continue;
                m_failed = true; // EIO: the other side has gone
                break;
            }
            if (firstByteMs < 0)
                firstByteMs = clock.elapsed();
            lastByteMs = clock.elapsed();
            out.append(buf, got);
        }
        return out;
    }

    // Sends and reads the answer.
    QByteArray exchange(const QByteArray &bytes, int n, int timeoutMs = 2000)
    {
        if (!send(bytes))
            return {};
        return read(n, timeoutMs);
    }

    qint64 firstByteMs = -1;
    qint64 lastByteMs = -1;

private:
    int m_fd = -1;
    bool m_failed = false;
};

// Requests the tests send, as the console builds them.
inline QByteArray docomaxPacket(const QByteArray &code)
{
    return "OV0" + code + "000000xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~";
}

inline QByteArray versionReply()
{
    return "OV0R02Version 2.14 " + QByteArray(42, 'x') + "0H~";
}

// A page line: 5-digit page number, 16 elements of 32 hex digits, 16 "F".
inline QByteArray pageLine(int page, const QByteArray &elementHex)
{
    return QByteArray::number(page).rightJustified(5, '0') + elementHex.repeated(512 / elementHex.size()) +
           QByteArray(16, 'F');
}
