#pragma once

#include <QByteArray>

// Reading the fields of a packet, for every part of the engine.
namespace pvelm::sim {

// Columns are 1-based and inclusive, as everywhere in the protocol.
inline QByteArray columns(const QByteArray &packet, int first, int last)
{
    return packet.mid(first - 1, last - first + 1);
}

inline bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

inline bool isDecimalDigit(char c)
{
    return c >= '0' && c <= '9';
}

// True when every character passes `pred`; an empty text passes.
inline bool allOf(const QByteArray &text, bool (*pred)(char))
{
    for (char c : text) {
        if (!pred(c))
            return false;
    }
    return true;
}

// A field of hex digits (or decimal digits) with at least one of them.
inline bool allHex(const QByteArray &text)
{
    return !text.isEmpty() && allOf(text, isHexDigit);
}

inline bool allDecimal(const QByteArray &text)
{
    return !text.isEmpty() && allOf(text, isDecimalDigit);
}

} // namespace pvelm::sim
