#pragma once

#include <array>

#include <QtGlobal>

namespace pvelm::sim {

// Servos on their way to a stored position set (the short command "T"). Each
// moving servo goes straight from where it was to its target at a fixed
// speed, all of them starting together. Nothing ticks: the positions are
// worked out from the clock whenever someone looks at them (advance()).
class ServoTravel
{
public:
    static constexpr int ServoCount = 8;
    static constexpr qint64 CountsPerSecond = 10000;
    // A target of 65535 ("no move") leaves that servo where it is.
    static constexpr int NoMove = 65535;

    // Starts a move from `positions` towards `targets` at nowMs.
    void begin(const std::array<quint16, ServoCount> &positions, const std::array<quint16, ServoCount> &targets,
               qint64 nowMs);
    // Writes where the moving servos are at nowMs; servos that arrived stop.
    void advance(std::array<quint16, ServoCount> &positions, qint64 nowMs);
    // Stops one servo where it is (call advance() first).
    void stop(int servo) { m_target[size_t(servo)] = -1; }
    bool isMoving() const;

private:
    std::array<qint32, ServoCount> m_from{};
    std::array<qint32, ServoCount> m_target{-1, -1, -1, -1, -1, -1, -1, -1}; // -1: not moving
    qint64 m_startMs = 0;
};

} // namespace pvelm::sim
