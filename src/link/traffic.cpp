#include "link/traffic.h"

#include "settings/safesave.h"

#include <chrono>

#include <QFile>

namespace pvelm {

namespace {

constexpr int kRoutineWidth = 16;

const char kHexDigits[] = "0123456789ABCDEF";

void appendHexByte(QString &out, uchar byte)
{
    out += QLatin1Char(kHexDigits[byte >> 4]);
    out += QLatin1Char(kHexDigits[byte & 15]);
}

QByteArray fileBytes(const QString &line)
{
    return line.toLatin1() + "\r\n";
}

} // namespace

QString visibleText(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size() + 8);
    for (const char c : bytes) {
        const auto byte = uchar(c);
        switch (byte) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case 0:
            out += QLatin1String("\\0");
            break;
        default:
            if (byte < 0x20 || byte > 0x7e) {
                out += QLatin1String("\\x");
                appendHexByte(out, byte);
            } else {
                out += QLatin1Char(c);
            }
        }
    }
    return out;
}

QString hexText(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size() * 3);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i)
            out += QLatin1Char(' ');
        appendHexByte(out, uchar(bytes.at(i)));
    }
    return out;
}

QString trafficLine(const TrafficEntry &entry, qint64 originNs, bool hex)
{
    const double ms = double(entry.atNs - originNs) / 1e6;
    QString head =
        QStringLiteral("%1 %2 ")
            .arg(ms, 10, 'f', 3)
            .arg(entry.direction == LinkObserver::Direction::Sent ? QLatin1String("TX") : QLatin1String("RX"));
    head += QString::fromLatin1(entry.routine).leftJustified(kRoutineWidth) + QLatin1Char(' ');
    QString line = head + visibleText(entry.bytes);
    if (hex)
        line += QLatin1Char('\n') + QString(head.size(), QLatin1Char(' ')) + hexText(entry.bytes);
    return line;
}

QString trafficHeader()
{
    return QStringLiteral("# PVelm traffic log: milliseconds since the first entry, TX sent or RX received, "
                          "routine, bytes");
}

bool trafficMatches(const TrafficEntry &entry, const QString &filter)
{
    if (filter.isEmpty())
        return true;
    const QLatin1String direction(entry.direction == LinkObserver::Direction::Sent ? "TX" : "RX");
    return direction.contains(filter, Qt::CaseInsensitive) ||
           QLatin1String(entry.routine).contains(filter, Qt::CaseInsensitive) ||
           visibleText(entry.bytes).contains(filter, Qt::CaseInsensitive);
}

// ---------------------------------------------------------------------------

void TrafficRing::setCapacity(int capacity)
{
    m_capacity = std::max(1, capacity);
    while (int(m_entries.size()) > m_capacity)
        m_entries.pop_front();
}

void TrafficRing::add(TrafficEntry entry)
{
    if (m_total == 0)
        m_originNs = entry.atNs;
    if (int(m_entries.size()) >= m_capacity)
        m_entries.pop_front();
    m_entries.push_back(std::move(entry));
    ++m_total;
}

void TrafficRing::clear()
{
    m_entries.clear();
    m_total = 0;
    m_originNs = 0;
}

bool TrafficRing::save(const QString &path, QString *error) const
{
    QByteArray bytes = fileBytes(trafficHeader());
    if (dropped() > 0)
        bytes += fileBytes(QStringLiteral("# %1 earlier entries dropped").arg(dropped()));
    for (const TrafficEntry &entry : m_entries)
        bytes += fileBytes(trafficLine(entry, m_originNs));
    return saveFile(path, bytes, error);
}

// ---------------------------------------------------------------------------

TrafficLog::TrafficLog(QObject *parent) : QObject(parent) {}

TrafficLog::~TrafficLog()
{
    setLink(nullptr);
    stopTrace();
}

qint64 TrafficLog::nowNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

void TrafficLog::setLink(Link *link)
{
    if (m_link && m_link->observer() == this)
        m_link->setObserver(nullptr);
    m_link = link;
    updateObserver();
}

void TrafficLog::setRingEnabled(bool enabled)
{
    m_ringEnabled = enabled;
    if (!enabled)
        m_ring.clear();
    updateObserver();
}

void TrafficLog::setPaused(bool paused)
{
    m_paused = paused;
    updateObserver();
}

bool TrafficLog::startTrace(const QString &path, QString *error)
{
    stopTrace();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = file->errorString();
        return false;
    }
    file->write(fileBytes(trafficHeader()));
    file->flush();
    m_trace = std::move(file);
    m_traceOriginNs = -1;
    updateObserver();
    return true;
}

void TrafficLog::stopTrace()
{
    if (m_trace) {
        m_trace->close();
        m_trace.reset();
    }
    updateObserver();
}

void TrafficLog::updateObserver()
{
    if (!m_link)
        return;
    const bool wanted = m_trace || (m_ringEnabled && !m_paused);
    if (wanted)
        m_link->setObserver(this);
    else if (m_link->observer() == this)
        m_link->setObserver(nullptr);
}

void TrafficLog::linkTraffic(Direction direction, const char *routine, const QByteArray &bytes)
{
    TrafficEntry entry{nowNs(), direction, routine, bytes};
    if (m_trace) {
        if (m_traceOriginNs < 0)
            m_traceOriginNs = entry.atNs;
        m_trace->write(fileBytes(trafficLine(entry, m_traceOriginNs)));
        m_trace->flush();
    }
    if (m_ringEnabled && !m_paused) {
        m_ring.add(std::move(entry));
        emit added();
    }
}

} // namespace pvelm
