#pragma once

// A bare console end for the virtual board's tests: the slave side opened
// with open() and raw termios, so the board is tested without the link.

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

class PtyClient
{
    Q_DISABLE_COPY(PtyClient)

public:
    explicit PtyClient(const QString &path)
        : m_fd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
        termios tio{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~PtyClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool send(const QByteArray &bytes) { return ::write(m_fd, bytes.constData(), bytes.size()) == bytes.size(); }

    // Reads until n bytes have arrived, the time is up or the line fails
    // (failed is set). Notes when the last byte came, in ms.
    QByteArray read(int n, int timeoutMs)
    {
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        lastByteMs = -1;
        for (qint64 left = timeoutMs; out.size() < n && left > 0 && !failed; left = timeoutMs - clock.elapsed()) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, int(left)) <= 0)
                continue;
            char buf[1024];
            const ssize_t got = ::read(m_fd, buf, size_t(std::min<qsizetype>(sizeof buf, n - out.size())));
            failed = got == 0 || (got < 0 && errno != EAGAIN); // EIO: the other side has gone
            if (got > 0) {
                lastByteMs = clock.elapsed();
                out.append(buf, got);
            }
        }
        return out;
    }
    QByteArray exchange(const QByteArray &bytes, int n, int timeoutMs = 2000)
    {
        return send(bytes) ? read(n, timeoutMs) : QByteArray();
    }

    qint64 lastByteMs = -1;
    bool failed = false;

private:
    int m_fd;
};

// A long request as the console builds it: code, columns 7-12, then filler.
inline QByteArray longPacket(const QByteArray &code, const QByteArray &cols7to12 = "000000")
{
    return "OV0" + code + cols7to12 + "xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~";
}

// The answer to a page line: accepted ("OK", result 0) or not ("ER", 1).
inline QByteArray pageReply(const QByteArray &page, bool ok)
{
    return (ok ? "OV0OKW" : "OV0ERW") + page + QByteArray(50, 'x') + (ok ? "0H~" : "1H~");
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
