#pragma once

#include <memory>

#include <QString>

class QLockFile;

namespace pvelm::sim {

class VirtualBoard;

// The virtual board that `velm --simulate` and `pvelm --simulate` keep
// under $PVELM_ROOT from one run to the next: flash, EEPROM, RAM,
// positions, outputs and the program's state. One process at a time owns
// it (a lock file beside the state); another one started meanwhile gets a
// copy of the last saved board and its changes are not kept.
class KeptBoard
{
public:
    explicit KeptBoard(VirtualBoard &board);
    ~KeptBoard(); // gives the lock back; does not save

    KeptBoard(const KeptBoard &) = delete;
    KeptBoard &operator=(const KeptBoard &) = delete;

    // $PVELM_ROOT/virtualboard.state
    static QString statePath();

    // Takes the lock and loads the kept state into the board (before it
    // starts); with `fresh` the board starts clean and the old state is
    // replaced at save. False, with the reason, when the state file is
    // there but cannot be read. *notice says so when another process owns
    // the board.
    bool load(bool fresh, QString *error, QString *notice);
    // Whether a kept state was loaded: false on the first run and with fresh.
    bool loadedKept() const { return m_loaded; }
    // Whether this process owns the board and saves it.
    bool owned() const;
    // Saves the board's state when this process owns it; true otherwise.
    bool save(QString *error);

private:
    VirtualBoard &m_board;
    std::unique_ptr<QLockFile> m_lock;
    bool m_loaded = false;
};

} // namespace pvelm::sim
