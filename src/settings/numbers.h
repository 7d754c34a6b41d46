#pragma once

#include <optional>

#include <QString>

namespace pvelm {

// A number as typed: blanks around it, an optional sign, decimal digits and,
// where allowed, a fraction that is rounded to the nearest whole number with
// halves going to the even neighbour. Nothing when the text is not such a
// number or lies beyond 64 bits. The editors and the board tools read their
// boxes with it, and the command line its arguments.
std::optional<qint64> parseNumber(const QString &text, bool allowFraction);

} // namespace pvelm
