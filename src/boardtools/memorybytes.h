#pragma once

#include "link/exchange.h"

#include <optional>

#include <QString>

namespace pvelm {
class Link;
}

// Single RAM and EEPROM bytes: the short packets of the "Memory Editor"
// window and `velm mem`, and the byte a reply carries.
namespace pvelm::boardtools {

enum class Area { Eeprom, Ram };

inline constexpr int kAddressMaximum = 65535;

// "OCDDDDDDH" with "E"/"R" at column 2 and the address (four hex digits,
// the last four of a larger value) at 3-6.
QString readPacket(Area area, qint64 address);
// "F"/"S" at column 2, the address at 3-6 and the byte at 7-8 (the last two
// hex digits of the value; a negative value gives its two's complement).
QString writePacket(Area area, qint64 address, qint64 value);
// The quick rows always address RAM: "ORDDDDDDH" and "OSDDDDDDH".
QString quickReadPacket(qint64 address);
QString quickWritePacket(qint64 address, qint64 value);

// The byte at columns 7-8 of a nine-character reply; nothing when the reply
// has another length or those columns are not two hex digits.
std::optional<int> byteFromReply(const QString &reply);

// One memory exchange through smallcomax, and the byte its reply carries.
struct MemoryOutcome : LinkResult
{
    std::optional<int> byte; // set only when the exchange succeeded and the reply carries a byte

    bool usable() const { return byte.has_value(); }
};
MemoryOutcome exchangeMemory(Link &link, const QString &packet);

// What the address box holds after the operator typed `text`: a number 0 to
// 65535 as typed (65535.4 is above), anything else becomes "0".
QString fitAddressText(const QString &text);
// The address the box means (its rounded number).
int addressOf(const QString &text);

// The write data box: a number above 255 or below 0 as typed empties it.
bool dataTextTooBig(const QString &text);

// Why a box that must hold a number is refused, or empty when it is usable.
// `maximum` < 0: no upper bound beyond what the packet keeps.
QString refuseNumber(const QString &caption, const QString &text, qint64 maximum = -1);

// Texts of the window.
inline constexpr char kMemoryErrorText[] = "Error";

} // namespace pvelm::boardtools
