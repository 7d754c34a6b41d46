#pragma once

#include "link/exchange.h"

#include <optional>

#include <QString>

namespace pvelm {
class Link;
}

// The board's 16-byte parameter block as the "Board Parameters" window and
// `velm params` see it: 32 hex characters, byte n at characters 2n+1 and
// 2n+2, high nibble first. The fields the window shows are decoded from it;
// a store writes only those fields back, so every other byte and bit goes
// back to the board exactly as it was read.
namespace pvelm::boardtools {

inline constexpr int kParamDigits = 32;

// Bits and bytes of the block that the window owns.
inline constexpr int kFlagsByte = 0;         // bit 3 limits, bit 2 reports, bits 1-0 storage mode
inline constexpr int kRunByte = 1;           // bit 2 hardware, bit 1 push button, bit 0 power-up
inline constexpr int kIoByte = 4;            // bit 0: LCP (I/O 4) is an input
inline constexpr int kReportRateByte = 7;    // 0-255
inline constexpr int kMinPulseByte = 8;      // 16 bits, high byte first
inline constexpr int kMaxPulseByte = 10;     // 16 bits, high byte first
inline constexpr int kActiveServosByte = 12; // bit k: servo k+1

enum class StorageMode { Seperate = 0, Common = 1, Other = 2, None = -1 };

// What the controls of the window show.
struct ParamFields
{
    bool useLimits = false;
    bool reportsOn = false;
    int modeBits = 0; // bits 1-0 as read, 0-3 (3 shows as "Other")
    bool runOnHw = false;
    bool runOnPb = false;
    bool runOnPu = false;
    bool lcpInput = false;
    int reportRate = 0;
    int minPulse = 0;
    int maxPulse = 0;
    quint8 servos = 0;

    bool operator==(const ParamFields &) const = default;
};

// The option a storage mode read from the block selects.
StorageMode modeForBits(int bits);

// The working copy: the 32 characters of the last block read, kept as they
// came (a pair that is not hex reads as 0 but is carried through unchanged).
class ParamBlock
{
public:
    ParamBlock() : m_text(kParamDigits, QLatin1Char('0')) {}
    // The first 32 characters of `text`, padded with "0" when shorter.
    explicit ParamBlock(const QString &text);

    QString text() const { return m_text; }
    int byte(int n) const;          // 0 for a pair that is not hex
    void setByte(int n, int value); // two upper-case hex digits of the low 8 bits

    ParamFields fields() const;

private:
    QString m_text;
};

// What the window's controls hold when Store Parameters is pressed: the
// three number boxes as typed, the rest as ticked or selected.
struct StoreInput
{
    QString minpulse;
    QString maxpulse;
    QString reportrate;
    quint8 servos = 0;
    bool useLimits = false;
    bool reportsOn = false;
    StorageMode mode = StorageMode::None;
    bool runOnHw = false;
    bool runOnPb = false;
    bool runOnPu = false;
    bool lcpInput = false;
};

// Writes the window's fields into the block in the window's order: minimum
// and maximum pulse width (low 16 bits of the rounded leading number),
// report rate (low 8 bits), active servos, then the bits of bytes 0, 1 and 4
// over the bits the window does not show. A number box outside the signed
// 32-bit range stops the store there: the name of that box is returned and
// the fields before it stay written. Empty when every field went in.
QString applyStore(ParamBlock &block, const StoreInput &in);

// ---- exchanges ---------------------------------------------------------------

// "R1R" through docomax; a successful reply carries the block at 12-43.
LinkResult readParameters(Link &link);
// "R1C" through docomax: the board reloads its working parameters from EEPROM.
LinkResult reloadParameters(Link &link);
// "R1W" through rawsender with the block at 12-43.
LinkResult writeParameters(Link &link, const ParamBlock &block);
QString writeRequest(const ParamBlock &block);
// The block of a successful R1R reply (characters 12-43).
ParamBlock blockFromReply(const QString &reply);

// Texts of the window.
inline constexpr char kStoreFailedText[] = "Error - No Data Written";
inline constexpr char kNoWorkingCopyText[] = "No parameters have been read yet: nothing was written";

} // namespace pvelm::boardtools
