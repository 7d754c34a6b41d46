#pragma once

#include "sim/executor.h"
#include "sim/servotravel.h"

#include <array>
#include <bitset>
#include <functional>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>

namespace pvelm::sim {

enum class RunMode : quint8 { Stopped = 0, Running = 1, Paused = 2 };

// Everything the board remembers. Memories are kept as raw bytes; the flash
// holds its pages back to back (page p starts at p * PageBytes).
struct BoardState
{
    static constexpr int FlashPages = 2048;
    static constexpr int PageBytes = 264;
    static constexpr int MemoryBytes = 65536;
    static constexpr int ParamBytes = 16;
    static constexpr int ServoCount = 8;
    static constexpr int IoCount = 256; // inputs and outputs are numbered 0-255 (two hex digits)

    BoardState();

    QByteArray flash;  // FlashPages * PageBytes, erased to FF
    QByteArray eeprom; // MemoryBytes
    QByteArray ram;    // MemoryBytes
    // The working copy of the parameter block, which the board acts on. The
    // block itself is kept in EEPROM (boardparams.h); a reload copies it here.
    QByteArray params; // ParamBytes
    std::array<quint16, ServoCount> positions{};
    std::bitset<IoCount> inputs;
    std::bitset<IoCount> outputs;
    RunMode runMode = RunMode::Stopped;
    quint32 runLine = 0;
    ProgramState program; // stack, loops, registers, notification, switches
    // EEPROM bytes written since the board was new: a real EEPROM wears out.
    quint32 eepromWrites = 0;

    // The parameter block as kept in EEPROM, and an EEPROM write that counts.
    QByteArray storedParams() const;
    void writeEeprom(int address, const QByteArray &bytes);

    QByteArray page(int page) const { return flash.mid(page * PageBytes, PageBytes); }
    // A page line as a download sends it ("PPPPP" and the page's digits):
    // the page's bytes go into flash and its spare bytes are erased, as the
    // board programs a page. False, with nothing stored, when the page
    // number is not one of the board's.
    bool storePageLine(const QByteArray &line);

    // The state file: see docs/virtual-board.md for the layout.
    QByteArray serialize() const;
    bool deserialize(const QByteArray &bytes, QString *error = nullptr);

    bool operator==(const BoardState &other) const = default;
};

// The board's side of the protocol, free of any I/O: bytes go in with the
// time they arrived, reply bytes come out. The transport decides when and
// how the output actually leaves (pacing, faults).
class BoardEngine
{
public:
    // Handshake answers and replies are told apart so that a transport can
    // treat them differently (a late reply still answers its handshake).
    // Status reports come unasked while a program runs.
    enum class OutputKind { Handshake, Reply, Report };
    struct Output
    {
        OutputKind kind;
        QByteArray bytes;
        qint64 delayMs = 0; // the board's own work before the output may leave (page programming)
        bool operator==(const Output &other) const = default;
    };
    using Outputs = std::vector<Output>;

    // A frame that stops arriving in the middle is dropped after this much
    // quiet, so a console that gave up does not leave the board deaf.
    static constexpr qint64 FrameGapMs = 1000;
    // A program or flash file line ends at its 533rd character or after this
    // much quiet, whichever comes first.
    static constexpr qint64 LineGapMs = 200;
    static constexpr int LongLength = 64;
    static constexpr int ShortLength = 9;
    static constexpr int PageLineLength = 533;
    // Status reports wait until no frame is open and the line has been quiet
    // this long after an answer, so they never land inside a reply that the
    // console is counting.
    static constexpr qint64 ReportQuietMs = 30;
    // A "+" block longer than this without its "~" is taken as noise.
    static constexpr int MaxBlockLength = 1024;

    BoardEngine() = default;

    // Feeds bytes that arrived at nowMs (any monotonic millisecond clock).
    Outputs feed(char byte, qint64 nowMs);
    Outputs feed(const QByteArray &bytes, qint64 nowMs);
    // Lets the engine act on quiet gaps; call it at nextDeadline().
    Outputs poll(qint64 nowMs);
    // When poll() next has something to do, or -1 when it never will.
    qint64 nextDeadline() const;
    // False while the engine is between a handshake and the end of a frame.
    bool isIdle() const { return m_phase == Phase::Idle; }
    // Forgets a half-received frame, as when the line goes away.
    void dropFrame() { begin(Phase::Idle, m_lastByteMs); }

    BoardState &state() { return m_state; }
    const BoardState &state() const { return m_state; }

    // The last "+" block the board accepted (without its frame characters).
    QByteArray lastBlock() const { return m_lastBlock; }

    // Flash: how long programming one page takes before its reply leaves
    // (default 0), and a fault for tests: from the first page line for page
    // `page` or above on, the board answers nothing at all until the switch
    // is set again (-1: off).
    void setPageProgramMs(int ms) { m_pageProgramMs = ms; }
    int pageProgramMs() const { return m_pageProgramMs; }
    void setSilentFromPage(int page)
    {
        m_silentFromPage = page;
        m_silent = false;
    }
    int silentFromPage() const { return m_silentFromPage; }
    bool isSilent() const { return m_silent; }

    // The board's ticks, Executor::TickMs apart from originMs: while an
    // observer is set, it is called once for every tick from the first one
    // at or after fromMs, in order, with the time since originMs and the
    // board as it is at that tick (the program advanced to it, a "T" travel
    // worked out), and nextDeadline() includes the next tick.
    using TickObserver = std::function<void(qint64 sinceOriginMs, const BoardState &state)>;
    void setTickObserver(TickObserver observer, qint64 originMs, qint64 fromMs);

    // A power cycle: the flash, the EEPROM and its write counter, and the
    // outside world (inputs, switches) stay; everything else is as on a new
    // board, with the working parameters loaded from the EEPROM.
    void reset(qint64 nowMs);

    // The servo positions at nowMs, a "T" travel in progress included,
    // without changing anything.
    std::array<quint16, BoardState::ServoCount> positionsAt(qint64 nowMs) const;

    // Columns 7-19 of the reply to "R02".
    static QByteArray versionText();

    // Reply builders, shared by the command handlers.
    // "OV0" + code (3) + data padded with "x" to column 61 + result + "H~".
    static QByteArray longReply(const QByteArray &code, const QByteArray &data, char result);
    // "O" + letter + six data characters + "H".
    static QByteArray shortReply(char letter, const QByteArray &data);

private:
    enum class Phase {
        Idle,
        AfterColon,  // answered "&" with ":", expecting "$" or "-"
        AfterBang,   // answered "#" with "!", expecting "$" or "+"
        LongPacket,  // collecting 64 characters
        ShortPacket, // collecting 9 characters
        PageLine,    // collecting a program or flash file line
        Block,       // collecting a "+" block up to "~"
    };

    // A handler gets the whole frame and returns the reply, or nothing for
    // commands that the console sends without waiting for an answer.
    using LongHandler = std::optional<QByteArray> (BoardEngine::*)(const QByteArray &packet);
    using ShortHandler = QByteArray (BoardEngine::*)(const QByteArray &packet);
    // The dispatch tables: one row and one function per command.
    static LongHandler longHandler(const QByteArray &code);
    static ShortHandler shortHandler(char letter);

    void begin(Phase phase, qint64 nowMs);
    Outputs finishFrame();

    std::optional<QByteArray> handleLong(const QByteArray &packet);
    QByteArray handleShort(const QByteArray &packet);
    QByteArray handlePageLine(const QByteArray &line);
    void handleBlock(const QByteArray &block);

    // Long commands.
    std::optional<QByteArray> cmdStop(const QByteArray &packet);
    std::optional<QByteArray> cmdVersion(const QByteArray &packet);
    std::optional<QByteArray> cmdRun(const QByteArray &packet);
    std::optional<QByteArray> cmdPause(const QByteArray &packet);
    std::optional<QByteArray> cmdReadPage(const QByteArray &packet);
    std::optional<QByteArray> cmdEraseFlash(const QByteArray &packet);

    // The element editors' commands (engine_editors.cpp).
    std::optional<QByteArray> cmdReadElement(const QByteArray &packet);
    std::optional<QByteArray> cmdWriteElement(const QByteArray &packet);
    std::optional<QByteArray> cmdCurrentPositions(const QByteArray &packet);
    std::optional<QByteArray> cmdReadPositions(const QByteArray &packet);
    std::optional<QByteArray> cmdWritePositions(const QByteArray &packet);
    std::optional<QByteArray> cmdReadSpeed(const QByteArray &packet);
    std::optional<QByteArray> cmdWriteSpeed(const QByteArray &packet);
    std::optional<QByteArray> cmdPackedOrReload(const QByteArray &packet);
    void writePackedBlock(const QByteArray &block);
    QByteArray shortMove(const QByteArray &packet);
    QByteArray shortNudge(const QByteArray &packet);
    QByteArray shortOutput(const QByteArray &packet);
    ServoTravel m_travel; // servos on their way to a set after "T"

    // The board tools' commands (engine_boardtools.cpp).
    std::optional<QByteArray> cmdReadParams(const QByteArray &packet);
    std::optional<QByteArray> cmdWriteParams(const QByteArray &packet);
    std::optional<QByteArray> reloadParams(const QByteArray &packet);
    QByteArray shortMemory(const QByteArray &packet);

    BoardState m_state;
    Phase m_phase = Phase::Idle;
    QByteArray m_frame;
    qint64 m_lastByteMs = 0;
    QByteArray m_lastBlock;
    int m_pageProgramMs = 0;
    int m_silentFromPage = -1;
    bool m_silent = false;

    // The program in flash (executor.cpp).
    void runProgram(qint64 nowMs, Outputs &out);
    Outputs pollFrame(qint64 nowMs);
    qint64 frameDeadline() const;
    qint64 programDeadline() const;
    Executor m_executor;
    qint64 m_nowMs = 0;
    qint64 m_reportQuietUntilMs = 0;
    void runTicks(qint64 nowMs);
    TickObserver m_tickObserver;
    qint64 m_tickOriginMs = 0;
    qint64 m_nextTickMs = 0;
};

} // namespace pvelm::sim
