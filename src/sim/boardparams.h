#pragma once

#include <QtGlobal>

namespace pvelm::sim {

struct BoardState;

// The board's parameter block: where it is kept and what of it the board
// acts on besides the status reports (docs/virtual-board.md).
namespace boardparams {

// The block lives in EEPROM at addresses 0-15; BoardState::params is the
// working copy the board acts on, loaded from there at power-up and by the
// reload command.
inline constexpr int EepromAddress = 0;

// Bit k of byte 12: servo k+1 takes moves and nudges.
bool servoActive(const BoardState &s, int servo);
// A target of a move to a stored set for servo `servo`: 65535 ("no move")
// for an inactive servo or a stored 65535, otherwise the stored value held
// inside the pulse-width limits when they are in use.
quint16 moveTarget(const BoardState &s, int servo, quint16 stored);
// A position a nudge arrives at, held inside the pulse-width limits when
// they are in use.
int limitNudge(const BoardState &s, int position);
// Status reports: on while bit 2 of byte 0 is set, one every byte 7 ticks
// (0 is taken as 1, the fastest).
bool reportsOn(const BoardState &s);
int reportTicks(const BoardState &s);

} // namespace boardparams

} // namespace pvelm::sim
