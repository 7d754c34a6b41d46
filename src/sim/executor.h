#pragma once

#include <array>
#include <vector>

#include <QByteArray>
#include <QDataStream>
#include <QString>

namespace pvelm::sim {

struct BoardState;

// What a program keeps besides its line, saved with the board's state.
struct ProgramState
{
    static constexpr int StackDepth = 16; // calls, and DO loops, each
    struct Loop
    {
        quint16 start = 0; // first line of the body
        quint16 left = 0;  // passes still to run, this one included
        bool operator==(const Loop &other) const = default;
    };

    std::vector<quint16> calls; // return lines, innermost last
    std::vector<Loop> loops;    // open DO loops, innermost last
    std::array<quint16, 3> dsr{};
    quint8 notification = 0;
    quint16 positionLine = 0; // position element of the last MOVE
    // Home and limit switches of servos 1-3 (X, Y, Z) as servo positions;
    // -1: the axis has no such switch.
    std::array<qint32, 3> home{-1, -1, -1};
    std::array<qint32, 3> limit{-1, -1, -1};

    bool operator==(const ProgramState &other) const = default;

    // In the state file: see docs/virtual-board.md.
    static constexpr int SerializedBytes = 1 + 2 * StackDepth + 1 + 4 * StackDepth + 6 + 1 + 2 + 12 + 12;
    void write(QDataStream &s) const;
    bool read(QDataStream &s); // false for counts or switches out of range
};

// Runs the program in a board's flash on the board's own clock. Time only
// moves when advance() is called; nothing here blocks or sleeps.
class Executor
{
public:
    static constexpr qint64 StepMs = 1;  // one element that does not wait
    static constexpr qint64 TickMs = 10; // servo travel; unit of WAIT and of the report rate
    // Speed elements: speed table t is the element at line SpeedTableLine + t,
    // t at most LastSpeedTable.
    static constexpr quint32 SpeedTableLine = 32000;
    static constexpr quint32 LastSpeedTable = 255;
    static constexpr int ReportLength = 24;

    // Notification codes the board raises.
    static constexpr quint8 HomeHit = 32;  // + axis
    static constexpr quint8 LimitHit = 40; // + axis
    static constexpr quint8 BadInstruction = 50;
    static constexpr quint8 StackFault = 99;

    // R05 with a line (fresh run), R05 0 while paused, R07, R00.
    void start(BoardState &s, quint32 line, qint64 nowMs);
    void resume(BoardState &s, qint64 nowMs);
    void pause(BoardState &s, qint64 nowMs);
    void stop(BoardState &s, qint64 nowMs);

    // Runs the program up to nowMs.
    void advance(BoardState &s, qint64 nowMs);
    // When advance() next has work, or -1.
    qint64 nextStep(const BoardState &s) const;

    // When a status report is next due (reports on and a program running or
    // paused, or the last report after it stopped), or -1.
    qint64 reportDue(const BoardState &s) const;
    // The report for now; schedules the next one.
    QByteArray takeReport(const BoardState &s, qint64 nowMs);
    // The 24 characters describing the board as it is.
    QByteArray statusReport(const BoardState &s) const;

private:
    void execute(BoardState &s, qint64 at);
    void tickMove(BoardState &s, qint64 nowMs);
    void finish(BoardState &s, quint8 notification);
    bool call(BoardState &s, quint32 target);
    bool moveRates(const BoardState &s, quint8 mode, quint16 value);

    bool m_clock = false; // the times below belong to the current run
    qint64 m_nextStepMs = 0;
    qint64 m_waitUntilMs = -1;
    qint64 m_pausedAtMs = -1;
    bool m_moving = false;
    std::array<qint32, 8> m_target{};
    std::array<quint32, 8> m_rate{}; // counts per tick, servo by servo
    qint64 m_lastTickMs = 0;
    qint64 m_nextReportMs = 0;
    bool m_finalReport = false;
};

// A line typed at velmsim (or sent by a test) that sets inputs and switches:
//   input N on|off      switch X|Y|Z home|limit POSITION|off
// Applies it and returns true, or returns false with the reason in *error.
bool applyBoardCommand(BoardState &s, const QString &line, QString *error);

} // namespace pvelm::sim
