#include "sim/ui/motionplot.h"

#include <algorithm>

#include <QPainter>
#include <QPolygonF>

namespace pvelm {

namespace {

// One colour a servo, told apart on a white ground and by most colour-blind
// eyes; the legend names them as well.
const QColor kServoColours[MotionPlot::ServoCount] = {
    QColor(0x00, 0x72, 0xb2), QColor(0xd5, 0x5e, 0x00), QColor(0x00, 0x9e, 0x73), QColor(0xcc, 0x79, 0xa7),
    QColor(0x56, 0xb4, 0xe9), QColor(0xe6, 0x9f, 0x00), QColor(0x00, 0x00, 0x00), QColor(0x99, 0x99, 0x99),
};

constexpr double kFullScale = 65535.0;

} // namespace

MotionPlot::MotionPlot(QWidget *parent) : QWidget(parent), m_ring(Capacity)
{
    setObjectName(QStringLiteral("motionPlot"));
    setAccessibleName(QStringLiteral("Servo positions over the last 30 seconds"));
    setMinimumSize(320, 160);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MotionPlot::add(const Sample &sample)
{
    if (m_paused)
        return;
    if (m_count < Capacity) {
        m_ring[(m_first + m_count) % Capacity] = sample;
        ++m_count;
    } else {
        m_ring[m_first] = sample;
        m_first = (m_first + 1) % Capacity;
    }
    update();
}

void MotionPlot::clear()
{
    m_first = 0;
    m_count = 0;
    update();
}

void MotionPlot::setPaused(bool paused)
{
    m_paused = paused;
}

QByteArray MotionPlot::csv() const
{
    QByteArray out = "time_ms,S1,S2,S3,S4,S5,S6,S7,S8,line\n";
    out.reserve(out.size() + m_count * 64);
    for (int i = 0; i < m_count; ++i) {
        const Sample &s = at(i);
        out += QByteArray::number(s.timeMs);
        for (quint16 p : s.positions)
            out += ',' + QByteArray::number(p);
        out += ',';
        if (s.line >= 0)
            out += QByteArray::number(s.line);
        out += '\n';
    }
    return out;
}

void MotionPlot::paintPlot(QPainter &painter, const QRect &area) const
{
    painter.fillRect(area, Qt::white);
    const QFontMetrics metrics = painter.fontMetrics();
    const int textHeight = metrics.height();
    const int left = area.left() + metrics.horizontalAdvance(QStringLiteral("65535")) + 8;
    const QRectF plot(left, area.top() + textHeight + 4, area.right() - left - 8, area.height() - 2 * textHeight - 12);
    if (plot.width() < 10 || plot.height() < 10)
        return;

    // Grid: positions in quarters of the range, time in 5 s steps back from now.
    painter.setPen(QColor(0xdd, 0xdd, 0xdd));
    for (int q = 0; q <= 4; ++q) {
        const double y = plot.bottom() - plot.height() * q / 4;
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    for (int s = 0; s <= SpanMs / 5000; ++s) {
        const double x = plot.right() - plot.width() * s * 5000 / SpanMs;
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    painter.setPen(Qt::black);
    for (int q = 0; q <= 4; ++q) {
        const double y = plot.bottom() - plot.height() * q / 4;
        const QString label = QString::number(q == 4 ? 65535 : q * 16384);
        painter.drawText(QRectF(area.left(), y - textHeight / 2.0, left - area.left() - 4, textHeight),
                         Qt::AlignRight | Qt::AlignVCenter, label);
    }
    for (int s = 0; s <= SpanMs / 5000; ++s) {
        // Centred under its line, but inside the area: "now" sits at its right edge.
        const double x = std::min(plot.right() - plot.width() * s * 5000 / SpanMs, area.right() - 30.0);
        painter.drawText(QRectF(x - 30, plot.bottom() + 4, 60, textHeight), Qt::AlignCenter,
                         s == 0 ? QStringLiteral("now") : QStringLiteral("-%1 s").arg(s * 5));
    }
    painter.drawRect(plot);

    // Legend along the top.
    double x = plot.left();
    for (int servo = 0; servo < ServoCount; ++servo) {
        const QString name = QStringLiteral("S%1").arg(servo + 1);
        painter.fillRect(QRectF(x, area.top() + 2 + textHeight / 2.0 - 2, 12, 4), kServoColours[servo]);
        painter.drawText(QPointF(x + 16, area.top() + 2 + metrics.ascent()), name);
        x += 24 + metrics.horizontalAdvance(name);
    }

    if (m_count == 0)
        return;
    const qint64 newest = at(m_count - 1).timeMs;
    const double xPerMs = plot.width() / SpanMs;
    const double yPerCount = plot.height() / kFullScale;
    painter.save();
    painter.setClipRect(plot);
    QPolygonF line(m_count);
    for (int servo = 0; servo < ServoCount; ++servo) {
        for (int i = 0; i < m_count; ++i) {
            const Sample &s = at(i);
            line[i] =
                QPointF(plot.right() - (newest - s.timeMs) * xPerMs, plot.bottom() - s.positions[servo] * yPerCount);
        }
        // A cosmetic pen: a wider one goes through the stroker, which cost
        // several times as much per frame (docs/performance.md).
        QPen pen(kServoColours[servo], 1);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.drawPolyline(line);
    }
    painter.restore();
}

void MotionPlot::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintPlot(painter, rect());
}

} // namespace pvelm
