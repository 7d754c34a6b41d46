#pragma once

#include <optional>

#include <QString>

// How the board tools read a number typed into a text box: the number at the
// start of the text (blanks, an optional sign, decimal digits and an
// optional fraction), rounded to the nearest whole number with halves going
// to the even neighbour. "12abc" reads 12, "1500.5" reads 1500, "1501.5"
// reads 1502; "abc" and "" hold no number at all.
namespace pvelm::boardtools {

struct TypedNumber
{
    bool found = false;    // the text starts with a number
    bool complete = false; // ... and holds nothing else but blanks
    bool overflow = false; // the number lies beyond 64 bits
    qint64 value = 0;      // rounded; 0 when nothing was found

    // Found and within 64 bits.
    bool usable() const { return found && !overflow; }
};

TypedNumber readTyped(const QString &text);

// The rounded leading number, 0 when the text does not start with one.
// Nothing when it lies outside the signed 32-bit range (such a field cannot
// be converted).
std::optional<qint32> leadingWhole32(const QString &text);

// A value in upper-case hex without leading zeros; a negative one shows its
// 32-bit two's complement, as the board's own tools print it.
QString hexText(qint64 value);

} // namespace pvelm::boardtools
