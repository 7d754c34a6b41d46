#pragma once

#include "sim/keptboard.h"
#include "sim/virtualboard.h"

#include <memory>

#include <QString>

namespace pvelm {

// The virtual board `pvelm --simulate` starts in its own process: the one
// kept under $PVELM_ROOT from the last run, or, met for the first time (or
// with --fresh-board), a new one whose flash holds the demo program, so that
// "Run / Resume" shows the board at work at once.
class SimulatedBoard
{
public:
    // Loads the kept board (unless fresh) and starts it. False, with the
    // reason, when the kept state cannot be read or the board cannot start.
    bool start(bool fresh, QString *error);
    // What to tell the operator: the demo put into flash, or the board
    // being another process's.
    QString note() const { return m_note; }
    sim::VirtualBoard &board() { return m_board; }
    // Stops the board and keeps its state for the next run.
    bool stopAndSave(QString *error);

private:
    sim::VirtualBoard m_board;
    sim::KeptBoard m_kept{m_board};
    QString m_note;
};

} // namespace pvelm
