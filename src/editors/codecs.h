#pragma once

#include "settings/numbers.h"

#include <optional>
#include <span>

#include <QList>
#include <QString>
#include <QStringList>

// What the element editors put into packets and take out of replies: the
// field layout of a program element and of a packed image, the conversions
// between typed text, field values and hex digits, and the packets of the
// four editor windows. Columns are 1-based and inclusive, as in the protocol.
namespace pvelm::editors {

// One field of an element or packed image: the control that shows it, the
// caption of its frame, its first hex digit (1-based) and its width in hex
// digits (1 nibble, 2 byte, 3 twelve bits, 4 word).
struct ImageField
{
    const char *name;
    const char *caption;
    int digit;
    int width;

    qint64 maximum() const { return (qint64(1) << (4 * width)) - 1; }
};

// The twelve fields of a program element (32 hex digits) and the 21 of a
// packed image (64 hex digits), in the order the windows fill them.
std::span<const ImageField> elementFields();
std::span<const ImageField> packedFields();
inline constexpr int kElementDigits = 32;
inline constexpr int kPackedDigits = 64;

// The values of an image's fields, or nothing when `hex` is not exactly
// `digits` hex digits.
std::optional<QList<qint64>> decodeImage(std::span<const ImageField> fields, const QString &hex, int digits);
// The image made from field values over `digits` "F" digits: each value keeps
// only its field's low bits (256 in a byte writes 00, -1 writes FF).
QString encodeImage(std::span<const ImageField> fields, const QList<qint64> &values, int digits);

// ---- typed text --------------------------------------------------------------

// Numbers as typed are read by parseNumber (settings/numbers.h).

// A typed value checked against the range its field takes: the value, or the
// one-line message that refuses it (naming the field and its range).
struct Checked
{
    qint64 value = 0;
    QString refusal; // empty when the text is accepted
    QString note;    // set when what goes out is not the number typed (see typedAsHex)

    bool ok() const { return refusal.isEmpty(); }
};
Checked checkNumber(const QString &caption, const QString &text, qint64 minimum, qint64 maximum, bool allowFraction,
                    const QString &note = QString());

// The ranges typed values are checked against. A line or location travels as
// six hex digits, an output number as two; element fields take any 32-bit
// value and keep their low bits.
inline constexpr qint64 kLineMaximum = 0xFFFFFF;
inline constexpr qint64 kOutputMaximum = 0xFF;
inline constexpr qint64 kValueMinimum = -2147483648LL;
inline constexpr qint64 kValueMaximum = 2147483647LL;
// The highest line the scroll bars of the element and position windows reach.
inline constexpr int kScrollLineMaximum = 32000;

Checked checkLine(const QString &caption, const QString &text, bool allowFraction);
// What the windows do with a line, location or output number: the text read
// as a decimal number (sign and fraction allowed, halves to even), any whole
// number in 32 bits, turned into hex of which only the rightmost `digits`
// go out (-1 sends FFFFFF, 256 in two digits sends 00). The value is the
// number read; the packet builders cut it. Refused only when the text is
// not a number or lies beyond 32 bits. When what goes out is not the number
// typed, `note` says so in one line: "Output 256 sent as 00: the board takes
// two hex digits". `velm` keeps to checkLine and checkOutput instead.
Checked typedAsHex(const QString &caption, const QString &text, int digits);
Checked checkElementValue(const ImageField &field, const QString &text);
Checked checkOutput(const QString &text);
// `velm` only: a position travels as its own text, so it must be decimal
// digits (the windows send the box's text unchecked).
QString refusePositionText(const QString &caption, const QString &text);
// A speed or control value travels as its own text: printable ASCII only.
QString refuseSpeedText(const QString &caption, const QString &text);

// ---- requests ----------------------------------------------------------------

// The long request template with `code` at 4-6 and the line, six hex
// digits, at 7-12 (R15, R18, R1A, R1C, R01).
QString lineRequest(const char *code, qint64 line);
// "R16": line and element at 7-44 of the element write template.
QString elementPutRequest(qint64 line, const QString &element);
// The packed image block: "OV0R1D", line, image (76 characters).
QString packedPutBlock(qint64 line, const QString &image);
// "R1B": eight speed values at 13, 16, ..., eight control values at 37, ...;
// each the rightmost three characters of "000" and the text.
QString speedPutRequest(qint64 location, const QStringList &speeds, const QStringList &controls);
// "R19": eight five-character positions at 13, 18, ..., 48.
QString positionPutRequest(qint64 line, const QStringList &positions);

enum class NudgeFamily { PosUp, PosDown, BigUp, BigDown };
inline constexpr int kNudgeFamilies = 4;
// "OU" or "OD", the step (0001 or 0010), the servo "01".."08", "H".
QString nudgePacket(NudgeFamily family, int servoIndex);
QString movePacket(qint64 line);
QString outputPacket(qint64 number, bool on);

// ---- replies -----------------------------------------------------------------

// An R15 reply's element (columns 13-44), when they are 32 hex digits.
std::optional<QString> elementFromReply(const QString &reply);
// A packed image reply, when it is 64 hex digits.
std::optional<QString> packedFromReply(const QString &reply);
// An R1A reply's sixteen three-character values, speeds of servos 1-8 then
// controls; nothing when the reply is shorter than 60 characters.
std::optional<QStringList> speedFromReply(const QString &reply);
// An R01 reply's eight positions (columns 7-38, four hex digits each).
std::optional<QList<int>> currentFromReply(const QString &reply);
// An R18 reply's eight five-character positions (columns 13-52), unchanged.
std::optional<QStringList> storedFromReply(const QString &reply);

// A nudge reply: the servo (index 0-7, or -1 for any other servo number) and
// its new position. Nothing when the reply is not exactly nine characters or
// its position is not four hex digits.
struct NudgeReply
{
    int servoIndex = -1;
    int position = 0;
};
std::optional<NudgeReply> nudgeFromReply(const QString &reply);

} // namespace pvelm::editors
