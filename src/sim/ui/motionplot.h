#pragma once

#include <array>
#include <vector>

#include <QWidget>

class QPainter;

namespace pvelm {

// The eight servo positions over the last 30 seconds, one line a servo,
// from samples the "Virtual Board" window takes at its frame rate. The
// samples live in a fixed ring; painting reads the ring and never the board.
class MotionPlot : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ServoCount = 8;
    static constexpr int SpanMs = 30000;
    // 30 s at 30 frames a second.
    static constexpr int Capacity = 900;

    struct Sample
    {
        qint64 timeMs = 0;
        std::array<quint16, ServoCount> positions{};
        qint64 line = -1; // the program line; -1 while no program runs
    };

    explicit MotionPlot(QWidget *parent = nullptr);

    // Takes a sample unless paused; the oldest goes when the ring is full.
    void add(const Sample &sample);
    void clear();

    // A paused plot takes no samples and keeps showing what it had.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }

    int count() const { return m_count; }
    // Sample i, 0 the oldest.
    const Sample &at(int i) const { return m_ring[(m_first + i) % Capacity]; }

    // The samples as CSV, the recording's format: a header line
    // "time_ms,S1,...,S8,line", then one row a sample; LF line ends.
    QByteArray csv() const;

    // Draws the plot into `area` of any painter (the widget, a PNG export,
    // the benchmark).
    void paintPlot(QPainter &painter, const QRect &area) const;

    QSize sizeHint() const override { return {640, 260}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<Sample> m_ring;
    int m_first = 0;
    int m_count = 0;
    bool m_paused = false;
};

} // namespace pvelm
