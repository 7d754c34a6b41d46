#pragma once

#include <QString>

// What travels on the serial line: the request templates and the rule that
// fills a fixed-width field. Every packet the console sends is a copy of one
// template with some columns overwritten; columns are 1-based and inclusive.
namespace pvelm {

// Attention characters and their answers.
inline constexpr char kAttentionPacket = '&'; // before long and short packets
inline constexpr char kAnswerPacket = ':';
inline constexpr char kAttentionBlock = '#'; // before blocks to be written
inline constexpr char kAnswerBlock = '!';

// Frame prefixes (and the one suffix).
inline constexpr char kLongFrame = '$';      // long packet or a file line
inline constexpr char kShortFrame = '-';     // short packet
inline constexpr char kPackedFrame = '+';    // packed element block ...
inline constexpr char kPackedFrameEnd = '~'; // ... and its end

// Fixed lengths.
inline constexpr int kLongPacketLength = 64;
inline constexpr int kShortPacketLength = 9;
inline constexpr int kFlashBlockLength = 528; // reply to a page read
inline constexpr int kStatusReportLength = 24;
inline constexpr int kResultCodeColumn = 62; // board's result code in a long reply

// Long request templates (64 characters). Letters that no field overwrites
// travel as they stand.
// Every long request a window builds (run control, flash utility, editors,
// board parameters): fill columns 4-6 with the code, then the command's fields.
inline constexpr char kLongTemplate[] = "OV0iiiSSSSxxxxxDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDxxxxxxxxxxxxxx0H~";
// docomax's own template: code at 4-6, address at 7-11, parameters at 51-53,
// 55-57, 58-60, optional body at 7-47.
inline constexpr char kDocomaxTemplate[] = "OV0iii000000xxxDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDxxxxxxxxxxxxxx0H~";
// Element write: element number and element at 7-44.
inline constexpr char kR16Template[] = "OV0R16SSSSxxxxxDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDxxxxxxxxxxxxxx0H~";

// Short request templates (9 characters).
// Memory editor: column 2 becomes "E"/"R" (read) or "F"/"S" (write), 3-6 the
// address, 7-8 the data on writes. The "C" is never sent.
inline constexpr char kShortMemoryTemplate[] = "OCDDDDDDH";
inline constexpr char kShortRamReadTemplate[] = "ORDDDDDDH";   // quick read: 3-6 address
inline constexpr char kShortRamWriteTemplate[] = "OSDDDDDDH";  // quick write: 3-6 address, 7-8 data
inline constexpr char kShortMoveTemplate[] = "OTDDDDDDH";      // 3-8 element number
inline constexpr char kShortOutputOnTemplate[] = "OODD1DDDH";  // 3-4 output number
inline constexpr char kShortOutputOffTemplate[] = "OODD0DDDH"; // 3-4 output number
inline constexpr char kShortStepUpTemplate[] = "OUDDDDDDH";    // 3-6 step (decimal), 7-8 servo (decimal)
inline constexpr char kShortStepDownTemplate[] = "ODDDDDDDH";  // as step up
inline constexpr char kShortSenderTemplate[] = "OXDDDDDDH";    // starting text of the short command sender

// Overwrites columns column..column+width-1 of packet with value, in place.
// Like every overwrite in the protocol it never changes the packet's length:
// a value shorter than the field overwrites only its own length (the rest of
// the field keeps the template's letters), a longer one is cut to the width,
// and columns beyond the packet's end are not written.
void fillField(QString &packet, int column, int width, const QString &value);

// A value as a fixed-width field: its upper-case hex (or decimal) text,
// prefixed with "0" characters, rightmost `width` characters kept. Oversized
// values keep only their low digits; nothing is range-checked.
QString hexField(quint64 value, int width);
QString decField(qint64 value, int width);

// Any text fitted the same way: prefixed with `fill`, rightmost width kept.
QString fitField(const QString &text, int width, QChar fill = QLatin1Char('0'));

} // namespace pvelm
