#include "sim/executor.h"

#include "sim/boardengine.h"
#include "sim/boardparams.h"

#include <algorithm>

#include <QStringList>

namespace pvelm::sim {

namespace {

// Opcodes of the program element (byte 0).
enum Opcode : quint8 {
    OpMove = 0x00,
    OpGoto = 0x0A,
    OpCall = 0x14,
    OpReturn = 0x16,
    OpDo = 0x1E,
    OpLoop = 0x20,
    OpWait = 0x28,
    OpIfInput = 0x32,
    OpOutputOn = 0x40,
    OpOutputOff = 0x41,
    OpSet = 0x50,
    OpAdd = 0x52,
    OpSubtract = 0x54,
    OpStop = 0x80,
    OpNop = 0xFE, // NOP and MARKER
};

// MOVE speed modes (byte 4).
enum SpeedMode : quint8 {
    SpeedRate = 0x00,  // bytes 5-6: the rate
    SpeedTable = 0x01, // bytes 5-6: the speed table
    SpeedDsr1 = 0x02,  // 02-04: the rate in DSR1-3
    SpeedDsr2 = 0x03,
    SpeedDsr3 = 0x04,
    SpeedRateElement = 0x05, // bytes 5-6: the line of a rate element
};

// IFINPUT actions (byte 4).
enum Action : quint8 { ActGoto = 0x0A, ActCall = 0x14, ActStop = 0x80, ActNone = 0xFF };

constexpr quint32 LastLine = 32767;
constexpr quint16 NoValue = 0xFFFF;

// Status bits beyond the two the console reads: the board's own.
constexpr int BitMoving = 0x01;
constexpr int BitWaiting = 0x02;
constexpr int BitRunning = 0x10;
constexpr int BitPaused = 0x20;

QByteArray element(const BoardState &s, quint32 line)
{
    const qsizetype at = qsizetype(line / 16) * BoardState::PageBytes + qsizetype(line % 16) * 16;
    return s.flash.mid(at, 16);
}

quint8 byteAt(const QByteArray &e, int i)
{
    return quint8(e.at(i));
}

quint16 wordAtByte(const QByteArray &e, int i)
{
    return quint16(byteAt(e, i) << 8 | byteAt(e, i + 1));
}

qint64 reportPeriodMs(const BoardState &s)
{
    return boardparams::reportTicks(s) * Executor::TickMs;
}

} // namespace

// ---------------------------------------------------------------- control

void Executor::start(BoardState &s, quint32 line, qint64 nowMs)
{
    s.runMode = RunMode::Running;
    s.runLine = line;
    s.program.calls.clear();
    s.program.loops.clear();
    s.program.notification = 0;
    m_clock = true;
    m_nextStepMs = nowMs;
    m_waitUntilMs = -1;
    m_pausedAtMs = -1;
    m_moving = false;
    m_nextReportMs = nowMs;
    m_finalReport = false;
}

void Executor::resume(BoardState &s, qint64 nowMs)
{
    if (s.runMode != RunMode::Paused)
        return;
    s.runMode = RunMode::Running;
    if (m_clock && m_pausedAtMs >= 0) {
        // Time stood still while paused: a wait or a move goes on where it was.
        const qint64 paused = nowMs - m_pausedAtMs;
        m_nextStepMs += paused;
        m_lastTickMs += paused;
        if (m_waitUntilMs >= 0)
            m_waitUntilMs += paused;
    }
    m_pausedAtMs = -1;
    m_nextReportMs = nowMs;
}

void Executor::pause(BoardState &s, qint64 nowMs)
{
    if (s.runMode != RunMode::Running)
        return;
    s.runMode = RunMode::Paused;
    m_pausedAtMs = nowMs;
    m_nextReportMs = nowMs;
}

void Executor::stop(BoardState &s, qint64 nowMs)
{
    if (s.runMode == RunMode::Stopped)
        return;
    finish(s, 0);
    m_nextReportMs = nowMs;
}

void Executor::finish(BoardState &s, quint8 notification)
{
    s.runMode = RunMode::Stopped;
    if (notification)
        s.program.notification = notification;
    m_moving = false;
    m_waitUntilMs = -1;
    m_pausedAtMs = -1;
    m_finalReport = true;
}

// ---------------------------------------------------------------- running

void Executor::advance(BoardState &s, qint64 nowMs)
{
    if (s.runMode != RunMode::Running)
        return;
    if (!m_clock) {
        // A state loaded while its program ran: go on from its line.
        m_clock = true;
        m_nextStepMs = nowMs;
        m_nextReportMs = nowMs;
    }
    // A bound on the work of one call, so that the board keeps answering
    // whatever the program does; the rest follows on the next call.
    for (int budget = 10000; budget > 0 && s.runMode == RunMode::Running; --budget) {
        if (m_moving) {
            tickMove(s, nowMs);
            if (m_moving)
                return;
            continue;
        }
        if (m_waitUntilMs >= 0) {
            if (nowMs < m_waitUntilMs)
                return;
            m_nextStepMs = m_waitUntilMs;
            m_waitUntilMs = -1;
            ++s.runLine;
            continue;
        }
        if (m_nextStepMs > nowMs)
            return;
        const qint64 at = m_nextStepMs;
        m_nextStepMs += StepMs;
        execute(s, at);
    }
    // A program that stopped by itself tells so at once, not a period later.
    if (s.runMode == RunMode::Stopped && m_finalReport)
        m_nextReportMs = std::min(m_nextReportMs, nowMs);
}

qint64 Executor::nextStep(const BoardState &s) const
{
    if (s.runMode != RunMode::Running)
        return -1;
    if (!m_clock)
        return 0;
    if (m_moving)
        return m_lastTickMs + TickMs;
    return m_waitUntilMs >= 0 ? m_waitUntilMs : m_nextStepMs;
}

bool Executor::call(BoardState &s, quint32 target)
{
    if (s.program.calls.size() >= size_t(ProgramState::StackDepth)) {
        finish(s, StackFault);
        return false;
    }
    s.program.calls.push_back(quint16(s.runLine + 1));
    s.runLine = target;
    return true;
}

// The rate of each servo for a MOVE, in counts per tick, from its speed mode
// (byte 4) and bytes 5-6; false for a mode or element the board cannot use.
bool Executor::moveRates(const BoardState &s, quint8 mode, quint16 value)
{
    const quint32 dsr1 = s.program.dsr[0];
    switch (mode) {
    case SpeedRate:
        m_rate.fill(value);
        return true;
    case SpeedTable: {
        // The speed element as the speed editor writes it: the speeds of
        // servos 1-8 in bytes 0-7 (the control values in 8-15 are not used
        // here). One never written (all FF) gives every servo DSR1's rate,
        // as a MOVE that names no speed.
        if (value > LastSpeedTable)
            return false;
        const QByteArray speeds = element(s, SpeedTableLine + value);
        const bool erased = speeds.count(char(0xFF)) == speeds.size();
        for (int k = 0; k < BoardState::ServoCount; ++k)
            m_rate[k] = erased ? dsr1 : byteAt(speeds, k);
        return true;
    }
    case SpeedRateElement: {
        // A rate element (RATE): eight 16-bit rates; a servo without one
        // (FFFF) takes DSR1's rate.
        if (value > LastLine)
            return false;
        const QByteArray rates = element(s, value);
        for (int k = 0; k < BoardState::ServoCount; ++k) {
            const quint16 rate = wordAtByte(rates, 2 * k);
            m_rate[k] = rate == NoValue ? dsr1 : rate;
        }
        return true;
    }
    case SpeedDsr1:
    case SpeedDsr2:
    case SpeedDsr3:
        m_rate.fill(s.program.dsr[mode - SpeedDsr1]);
        return true;
    default:
        return false;
    }
}

void Executor::execute(BoardState &s, qint64 at)
{
    if (s.runLine > LastLine)
        return finish(s, BadInstruction);
    const QByteArray e = element(s, s.runLine);
    ProgramState &p = s.program;
    const quint16 operand = wordAtByte(e, 2);

    switch (byteAt(e, 0)) {
    case OpMove: {
        if (operand > LastLine || !moveRates(s, byteAt(e, 4), wordAtByte(e, 5)))
            return finish(s, BadInstruction);
        const QByteArray position = element(s, operand);
        for (int k = 0; k < BoardState::ServoCount; ++k) {
            // Inactive servos and the pulse-width limits: see boardparams.h.
            const quint16 v = boardparams::moveTarget(s, k, wordAtByte(position, 2 * k));
            m_target[k] = v == NoValue ? -1 : v;
        }
        p.positionLine = operand;
        m_moving = true;
        m_lastTickMs = at;
        return; // the line moves on when the servos have arrived
    }
    case OpGoto:
        s.runLine = operand;
        return;
    case OpCall:
        call(s, operand);
        return;
    case OpReturn:
        if (p.calls.empty())
            return finish(s, StackFault);
        s.runLine = p.calls.back();
        p.calls.pop_back();
        return;
    case OpDo:
        if (p.loops.size() >= size_t(ProgramState::StackDepth))
            return finish(s, StackFault);
        // DO 0 runs its body once, like DO 1.
        p.loops.push_back({quint16(s.runLine + 1), std::max<quint16>(operand, 1)});
        ++s.runLine;
        return;
    case OpLoop:
        if (p.loops.empty())
            return finish(s, StackFault);
        if (--p.loops.back().left > 0) {
            s.runLine = p.loops.back().start;
        } else {
            p.loops.pop_back();
            ++s.runLine;
        }
        return;
    case OpWait:
        m_waitUntilMs = at + qint64(operand) * TickMs;
        return;
    case OpIfInput: {
        const bool on = s.inputs[byteAt(e, 1)];
        // No value given: the input is on. A value: 0 off, anything else on.
        const bool holds = operand == NoValue ? on : on == (operand != 0);
        const quint8 action = byteAt(e, 4);
        const quint16 target = wordAtByte(e, 5);
        if (!holds || action == ActNone) {
            ++s.runLine;
            return;
        }
        switch (action) {
        case ActGoto:
            s.runLine = target;
            return;
        case ActCall:
            call(s, target);
            return;
        case ActStop:
            return finish(s, 0);
        default:
            return finish(s, BadInstruction);
        }
    }
    case OpOutputOn:
    case OpOutputOff:
        s.outputs[operand % BoardState::IoCount] = byteAt(e, 0) == OpOutputOn;
        ++s.runLine;
        return;
    case OpSet:
    case OpAdd:
    case OpSubtract: {
        const quint8 reg = byteAt(e, 1);
        quint16 *target = reg >= 1 && reg <= 8         ? &s.positions[reg - 1]
                          : reg >= 0x20 && reg <= 0x22 ? &p.dsr[reg - 0x20]
                                                       : nullptr;
        if (!target)
            return finish(s, BadInstruction);
        // Servo registers jump at once (no travel, no switch check); values
        // wrap at 16 bits.
        const quint8 op = byteAt(e, 0);
        *target = op == OpSet ? operand : op == OpAdd ? quint16(*target + operand) : quint16(*target - operand);
        ++s.runLine;
        return;
    }
    case OpStop:
        return finish(s, 0);
    case OpNop:
        ++s.runLine;
        return;
    default:
        // Erased flash (FF) included: running into it is an error.
        return finish(s, BadInstruction);
    }
}

void Executor::tickMove(BoardState &s, qint64 nowMs)
{
    const ProgramState &p = s.program;
    while (m_moving && m_lastTickMs + TickMs <= nowMs) {
        m_lastTickMs += TickMs;
        bool arrived = true;
        for (int k = 0; k < BoardState::ServoCount; ++k) {
            const qint32 target = m_target[k];
            const qint32 from = s.positions[k];
            if (target < 0 || target == from)
                continue;
            // Rate 0 goes all the way in one tick.
            const qint32 step = m_rate[k] == 0 ? std::abs(target - from) : qint32(std::min<quint32>(m_rate[k], 65535));
            const qint32 to = target > from ? std::min(target, from + step) : std::max(target, from - step);
            if (k < 3) {
                if (to < from && p.home[k] >= 0 && to <= p.home[k]) {
                    s.positions[k] = quint16(std::min(from, p.home[k]));
                    return finish(s, quint8(HomeHit + k));
                }
                if (to > from && p.limit[k] >= 0 && to >= p.limit[k]) {
                    s.positions[k] = quint16(std::max(from, p.limit[k]));
                    return finish(s, quint8(LimitHit + k));
                }
            }
            s.positions[k] = quint16(to);
            arrived = arrived && to == target;
        }
        if (arrived) {
            m_moving = false;
            m_nextStepMs = m_lastTickMs;
            ++s.runLine;
        }
    }
}

// ---------------------------------------------------------------- reports

qint64 Executor::reportDue(const BoardState &s) const
{
    if (!boardparams::reportsOn(s))
        return -1;
    if (s.runMode == RunMode::Stopped && !m_finalReport)
        return -1;
    return m_nextReportMs;
}

QByteArray Executor::takeReport(const BoardState &s, qint64 nowMs)
{
    if (s.runMode == RunMode::Stopped)
        m_finalReport = false;
    else
        m_nextReportMs = std::max(m_nextReportMs + reportPeriodMs(s), nowMs);
    return statusReport(s);
}

QByteArray Executor::statusReport(const BoardState &s) const
{
    int bits = 0;
    if (s.runMode != RunMode::Stopped) {
        bits = BitRunning;
        if (s.runMode == RunMode::Paused)
            bits |= BitPaused;
        if (m_moving)
            bits |= BitMoving;
        if (m_waitUntilMs >= 0)
            bits |= BitWaiting;
    }
    const ProgramState &p = s.program;
    const quint16 loop = p.loops.empty() ? 0 : p.loops.back().left;
    const QString text = QStringLiteral("AB%1%2%3%4%5%6")
                             .arg(p.positionLine, 4, 16, QLatin1Char('0'))
                             .arg(qulonglong(p.calls.size()), 4, 16, QLatin1Char('0'))
                             .arg(loop, 4, 16, QLatin1Char('0'))
                             .arg(bits, 2, 16, QLatin1Char('0'))
                             .arg(p.notification, 2, 16, QLatin1Char('0'))
                             .arg((s.runLine + 1) & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    return text.toUpper().toLatin1();
}

// ---------------------------------------------------------------- commands

bool applyBoardCommand(BoardState &s, const QString &line, QString *error)
{
    const QStringList w = line.simplified().toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    bool ok = false;
    if (w.size() == 3 && w[0] == QLatin1String("input")) {
        const int n = w[1].toInt(&ok);
        if (!ok || n < 0 || n >= BoardState::IoCount)
            return fail(QStringLiteral("input number %1 is not 0 to 255").arg(w[1]));
        if (w[2] != QLatin1String("on") && w[2] != QLatin1String("off"))
            return fail(QStringLiteral("input state %1 is not on or off").arg(w[2]));
        s.inputs[n] = w[2] == QLatin1String("on");
        return true;
    }
    if (w.size() == 4 && w[0] == QLatin1String("switch")) {
        const int axis = QStringLiteral("xyz").indexOf(w[1]);
        if (w[1].size() != 1 || axis < 0)
            return fail(QStringLiteral("axis %1 is not x, y or z").arg(w[1]));
        std::array<qint32, 3> *which = w[2] == QLatin1String("home")    ? &s.program.home
                                       : w[2] == QLatin1String("limit") ? &s.program.limit
                                                                        : nullptr;
        if (!which)
            return fail(QStringLiteral("switch %1 is not home or limit").arg(w[2]));
        const int position = w[3] == QLatin1String("off") ? -1 : w[3].toInt(&ok);
        if (w[3] != QLatin1String("off") && (!ok || position < 0 || position > 65535))
            return fail(QStringLiteral("switch position %1 is not 0 to 65535 or off").arg(w[3]));
        (*which)[axis] = position;
        return true;
    }
    return fail(QStringLiteral("unknown command: %1 (input N on|off, switch X|Y|Z home|limit POSITION|off)")
                    .arg(line.simplified()));
}

} // namespace pvelm::sim

namespace pvelm::sim {

void ProgramState::write(QDataStream &s) const
{
    s << quint8(calls.size());
    for (int i = 0; i < StackDepth; ++i)
        s << (i < int(calls.size()) ? calls[i] : quint16(0));
    s << quint8(loops.size());
    for (int i = 0; i < StackDepth; ++i) {
        const Loop l = i < int(loops.size()) ? loops[i] : Loop{};
        s << l.start << l.left;
    }
    for (quint16 r : dsr)
        s << r;
    s << notification << positionLine;
    for (const auto *sw : {&home, &limit}) {
        for (qint32 v : *sw)
            s << v;
    }
}

bool ProgramState::read(QDataStream &s)
{
    quint8 count = 0;
    quint16 word = 0;
    s >> count;
    if (count > StackDepth)
        return false;
    calls.clear();
    for (int i = 0; i < StackDepth; ++i) {
        s >> word;
        if (i < count)
            calls.push_back(word);
    }
    s >> count;
    if (count > StackDepth)
        return false;
    loops.clear();
    for (int i = 0; i < StackDepth; ++i) {
        Loop l;
        s >> l.start >> l.left;
        if (i < count)
            loops.push_back(l);
    }
    for (quint16 &r : dsr)
        s >> r;
    s >> notification >> positionLine;
    for (auto *sw : {&home, &limit}) {
        for (qint32 &v : *sw) {
            s >> v;
            if (v < -1 || v > 65535)
                return false;
        }
    }
    return true;
}

} // namespace pvelm::sim

// ---------------------------------------------------------------- the engine's side

namespace pvelm::sim {

void BoardEngine::runProgram(qint64 nowMs, Outputs &out)
{
    m_nowMs = nowMs;
    for (const Output &o : out) {
        if (o.kind != OutputKind::Report)
            m_reportQuietUntilMs = std::max(m_reportQuietUntilMs, nowMs + o.delayMs + ReportQuietMs);
    }
    runTicks(nowMs);
    m_executor.advance(m_state, nowMs);
    if (m_silent || !isIdle() || nowMs < m_reportQuietUntilMs)
        return;
    const qint64 due = m_executor.reportDue(m_state);
    if (due >= 0 && nowMs >= due)
        out.push_back({OutputKind::Report, m_executor.takeReport(m_state, nowMs)});
}

void BoardEngine::runTicks(qint64 nowMs)
{
    // The program is advanced tick by tick, so each observed tick shows the
    // board as it was then, however late the caller comes.
    for (; m_tickObserver && m_nextTickMs <= nowMs; m_nextTickMs += Executor::TickMs) {
        m_executor.advance(m_state, m_nextTickMs);
        m_travel.advance(m_state.positions, m_nextTickMs);
        m_tickObserver(m_nextTickMs - m_tickOriginMs, m_state);
    }
}

void BoardEngine::setTickObserver(TickObserver observer, qint64 originMs, qint64 fromMs)
{
    m_tickObserver = std::move(observer);
    m_tickOriginMs = originMs;
    const qint64 ticks = std::max<qint64>(0, fromMs - originMs + Executor::TickMs - 1) / Executor::TickMs;
    m_nextTickMs = originMs + ticks * Executor::TickMs;
}

void BoardEngine::reset(qint64 nowMs)
{
    BoardState fresh;
    fresh.flash = std::move(m_state.flash);
    fresh.eeprom = std::move(m_state.eeprom);
    fresh.eepromWrites = m_state.eepromWrites;
    fresh.params = fresh.storedParams();
    fresh.inputs = m_state.inputs;
    fresh.program.home = m_state.program.home;
    fresh.program.limit = m_state.program.limit;
    m_state = std::move(fresh);
    m_executor = Executor();
    m_travel = ServoTravel();
    m_silent = false;
    m_reportQuietUntilMs = 0;
    begin(Phase::Idle, nowMs);
}

std::array<quint16, BoardState::ServoCount> BoardEngine::positionsAt(qint64 nowMs) const
{
    std::array<quint16, BoardState::ServoCount> positions = m_state.positions;
    ServoTravel travel = m_travel;
    travel.advance(positions, std::max(nowMs, m_lastByteMs));
    return positions;
}

qint64 BoardEngine::programDeadline() const
{
    qint64 next = m_executor.nextStep(m_state);
    // While a frame is open its own end brings the report.
    qint64 report = m_silent || !isIdle() ? -1 : m_executor.reportDue(m_state);
    if (report >= 0)
        report = std::max(report, m_reportQuietUntilMs);
    for (qint64 t : {report, m_tickObserver ? m_nextTickMs : qint64(-1)}) {
        if (t >= 0 && (next < 0 || t < next))
            next = t;
    }
    return next;
}

} // namespace pvelm::sim
