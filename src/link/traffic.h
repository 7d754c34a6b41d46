#pragma once

#include "link/link.h"

#include <deque>
#include <memory>

#include <QByteArray>
#include <QObject>
#include <QString>

class QFile;

namespace pvelm {

// One chunk of bytes as the link wrote it or took it from the port.
struct TrafficEntry
{
    qint64 atNs = 0; // monotonic clock
    LinkObserver::Direction direction = LinkObserver::Direction::Sent;
    const char *routine = "";
    QByteArray bytes;
};

// The bytes as text a reader can tell apart: printable characters as they
// are, backslash as "\\", CR LF TAB NUL as "\r" "\n" "\t" "\0", every other
// byte below 32 or above 126 as "\xHH". Nothing is lost: the text maps back
// to the bytes.
QString visibleText(const QByteArray &bytes);
// "26 3A 24": two upper-case hex digits a byte, one blank between.
QString hexText(const QByteArray &bytes);
// One line of the log, without its line end:
// "TIME DIR ROUTINE TEXT", where TIME is the milliseconds since `originNs`
// with three decimals, right-aligned in 10 columns; DIR is "TX" (sent) or
// "RX" (received); ROUTINE is left-aligned in 16 columns; TEXT is
// visibleText(). With `hex`, the hex form follows on a second line under
// TEXT.
QString trafficLine(const TrafficEntry &entry, qint64 originNs, bool hex = false);
// The comment line that opens a log file.
QString trafficHeader();
// Whether an entry holds `filter` (any case) in its direction ("TX", "RX"),
// its routine or its bytes as visibleText() shows them; every entry holds
// an empty filter. The time is left out: "12" finds bytes, not moments.
bool trafficMatches(const TrafficEntry &entry, const QString &filter);

// The last `capacity` entries. Times count from the first entry added since
// the ring was made or cleared.
class TrafficRing
{
public:
    static constexpr int kDefaultCapacity = 10000;

    int capacity() const { return m_capacity; }
    // At least 1. A smaller capacity drops the oldest entries at once.
    void setCapacity(int capacity);

    void add(TrafficEntry entry);
    void clear();

    int size() const { return int(m_entries.size()); }
    const TrafficEntry &at(int i) const { return m_entries[size_t(i)]; }
    // Entries added since the ring was made or cleared, kept or not; entry
    // at(i) is the (total() - size() + i)-th of them.
    qint64 total() const { return m_total; }
    qint64 dropped() const { return m_total - size(); }
    qint64 originNs() const { return m_originNs; }

    // Writes the header, a comment with the number of dropped entries if
    // any, and one line per entry, with CR LF line ends, through a
    // temporary file. False with `error` set when it cannot.
    bool save(const QString &path, QString *error) const;

private:
    std::deque<TrafficEntry> m_entries;
    int m_capacity = kDefaultCapacity;
    qint64 m_total = 0;
    qint64 m_originNs = 0;
};

// The link's traffic log: a ring for the "Traffic Log" window and a trace
// file for --trace, fed from the link's one observer hook. It observes the
// link only while one of them wants entries: the console keeps its ring on
// for the whole run, so the window shows what happened before it opened;
// velm has no ring, and without --trace pays one pointer test per chunk.
class TrafficLog : public QObject, public LinkObserver
{
    Q_OBJECT

public:
    explicit TrafficLog(QObject *parent = nullptr);
    ~TrafficLog() override;

    // The link to observe (may be set later, or changed); nullptr for none.
    void setLink(Link *link);

    TrafficRing &ring() { return m_ring; }
    const TrafficRing &ring() const { return m_ring; }
    // Fill the ring. Turning it off clears the ring, so a ring turned on
    // later does not hold a log with a hole in it.
    void setRingEnabled(bool enabled);
    bool ringEnabled() const { return m_ringEnabled; }
    // Paused: the ring takes nothing (the trace file goes on).
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }

    // Writes every entry from now on to `path` (created anew), one line
    // each, flushed as it is written so that a crash keeps what came
    // before it. False with `error` set when the file cannot be made.
    bool startTrace(const QString &path, QString *error);
    void stopTrace();
    bool isTracing() const { return bool(m_trace); }

    void linkTraffic(Direction direction, const char *routine, const QByteArray &bytes) override;

    static qint64 nowNs();

signals:
    // The ring took an entry. Fires for every chunk: listeners coalesce.
    void added();

private:
    void updateObserver();

    Link *m_link = nullptr;
    TrafficRing m_ring;
    bool m_ringEnabled = false;
    bool m_paused = false;
    std::unique_ptr<QFile> m_trace;
    qint64 m_traceOriginNs = -1;
};

} // namespace pvelm
