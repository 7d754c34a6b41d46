#pragma once

#include <bitset>

#include <QList>
#include <QString>

namespace pvelm::editors {

// The script statement that stores the servos' positions as they stand:
// "POSITION S1=32768, S2=32768" for the servos set in `used`, in servo
// order (S1 first), each with its position in decimal. Positions missing
// from the list count as 65535, the value that leaves a servo where it is.
// Empty when no servo is used: a POSITION without a servo is ignored by
// the compiler.
QString poseStatement(const QList<int> &positions, std::bitset<8> used = std::bitset<8>().set());

} // namespace pvelm::editors
