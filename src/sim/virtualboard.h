#pragma once

#include "sim/boardengine.h"

#include <array>
#include <bitset>
#include <functional>
#include <memory>

#include <QByteArray>
#include <QString>

namespace pvelm::sim {

// Faults the virtual board can be told to show, for tests and for trying the
// console's error handling by hand.
enum class Fault {
    None,
    NoAnswer,    // ignores everything
    WrongAnswer, // answers a handshake with the wrong character
    LateReply,   // answers handshakes, sends replies after lateReplyMs
    ShortReply,  // sends replies cut short
    Garbage,     // answers everything with noise
    HangUp,      // closes its side of the line
};

// The board as a view shows it, copied at one moment (VirtualBoard::snapshot).
struct BoardSnapshot
{
    std::array<quint16, BoardState::ServoCount> positions{};
    std::bitset<BoardState::IoCount> inputs;
    std::bitset<BoardState::IoCount> outputs;
    // Switches of servos 1-3 (X, Y, Z) as servo positions; -1: none.
    std::array<qint32, 3> home{-1, -1, -1};
    std::array<qint32, 3> limit{-1, -1, -1};
    RunMode runMode = RunMode::Stopped;
    quint32 runLine = 0;
    quint8 notification = 0;
    bool reportsOn = false;
    int reportTicks = 1; // a report every so many ticks of 10 ms
    Fault fault = Fault::None;
    bool running = false; // false before start() and after a hang-up
};

enum class SwitchKind { Home, Limit };

// A board that answers the protocol as the hardware would, on the master
// side of a pseudo-terminal. The console opens devicePath() with QSerialPort
// exactly as it opens a real port. The board runs on its own thread.
class VirtualBoard
{
public:
    VirtualBoard();
    ~VirtualBoard(); // stops the board

    VirtualBoard(const VirtualBoard &) = delete;
    VirtualBoard &operator=(const VirtualBoard &) = delete;

    // Opens the pseudo-terminal and starts the board's thread. On failure
    // returns false and says why in *error.
    bool start(QString *error = nullptr);
    void stop();
    bool isRunning() const;

    // The slave side, e.g. /dev/pts/5.
    QString devicePath() const;

    // Pace replies and reception to a line speed (0: no pacing).
    void setBaud(int baud);
    int baud() const;

    void setFault(Fault fault);
    Fault fault() const;
    void setLateReplyMs(int ms);
    int lateReplyMs() const; // default 1500

    // Flash page programming time: the reply to a page line leaves this
    // much later (default 0).
    void setPageProgramMs(int ms);
    // Fault for download tests: from the first line for page `page` or above
    // on, the board answers nothing until this is called again (-1: off).
    void setSilentFromPage(int page);

    // Persistent board state (flash, EEPROM, RAM, parameters, positions).
    bool saveState(const QString &path, QString *error = nullptr) const;
    bool loadState(const QString &path, QString *error = nullptr);

    // A copy of the board's state, and a way to change it (for tests that
    // prepare or inspect the board). Safe while the board runs.
    BoardState state() const;
    void updateState(const std::function<void(BoardState &)> &change);

    // The board as it is now: a plain copy, no allocation, safe from any
    // thread and cheap enough for a view to call 30 times a second.
    BoardSnapshot snapshot() const;

    // The outside world, as a view or a script changes it. The changes are
    // queued and applied in order on the board's thread at its next turn
    // (at once while the board is not running), so they never land in the
    // middle of the board's own work.
    void setInput(int input, bool on);                       // 0-255
    void setSwitch(int axis, SwitchKind kind, int position); // axis 0-2 (X-Z); position 0-65535, -1: none
    void resetBoard();                                       // a power cycle: BoardEngine::reset

    // Writes one CSV row per board tick (10 ms) to path until
    // stopRecording() (stop() writes out what is buffered; a board started
    // again goes on recording): see docs/virtual-board.md. The times count
    // from the board's start. False, with the reason, when the file cannot
    // be created.
    bool startRecording(const QString &path, QString *error = nullptr);
    // Writes out what is buffered and closes the file; false, with the
    // reason, when some of the recording could not be written.
    bool stopRecording(QString *error = nullptr);

    // Every byte the board has received since start or the last clear, for
    // tests that check the wire.
    QByteArray received() const;
    void clearReceived();

    // The firmware version text the board reports for "R02".
    static QString versionText();

    struct Private;

private:
    std::unique_ptr<Private> d;
};

// Parses a fault name as velmsim and --sim-fault take it ("none",
// "no-answer", "wrong-answer", "late-reply", "short-reply", "garbage",
// "hang-up"); returns false for an unknown name.
bool parseFault(const QString &name, Fault *fault);

} // namespace pvelm::sim
