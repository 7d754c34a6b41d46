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
    // The number as typed, before rounding: its sign, its whole part (up to
    // 64 bits) and whether its fraction is more than zeros.
    bool minus = false;
    qint64 whole = 0;
    bool fraction = false;

    // Found and within 64 bits.
    bool usable() const { return found && !overflow; }
    // The number typed lies below 0 or above `maximum`, before any rounding:
    // 65535.4 is above 65535, -0.4 below 0.
    bool outside(qint64 maximum) const
    {
        if (minus)
            return whole > 0 || fraction;
        return overflow || whole > maximum || (whole == maximum && fraction);
    }
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
