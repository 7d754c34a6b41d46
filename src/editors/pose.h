#pragma once

#include <array>
#include <bitset>

#include <QString>

namespace pvelm::editors {

// A taught pose as a script line: "POSITION S1=1500, S2=1800" with the
// servos whose bit is set in `used`, in servo order, each position as plain
// decimal (0 to 65535; 65535 is the board's "no move"). Empty when no servo
// is used: POSITION without a servo value is no statement.
QString poseStatement(const std::array<int, 8> &positions, std::bitset<8> used);

} // namespace pvelm::editors
