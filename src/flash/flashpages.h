#pragma once

#include <optional>

#include <QString>
#include <QStringList>

// Flash pages in text form: the page line of the temp hex and flash files,
// the page listing, the two page packets and the rules for typed page
// numbers. No I/O beyond reading a file of page lines.
namespace pvelm::flash {

inline constexpr int kPageCount = 2048; // pages 0-2047, program lines 0-32767
inline constexpr int kElementsPerPage = 16;
inline constexpr int kPageDigits = 528; // 16 elements of 32 hex digits and 16 spare digits
inline constexpr int kPageLineLength = 5 + kPageDigits;
inline constexpr int kListingRows = 32;

// The first five characters of a page line (or of the text typed as a page
// number): the rightmost five of "00000" followed by the text.
QString pageField(const QString &text);
// A page line: the five-digit page number, then the page text as it stands.
QString pageLine(int page, const QString &pageText);
// The 32-row listing of a page text: row i holds characters (i-1)*32+1 to
// i*32, each row ended by CR LF (rows past the text are empty).
QString pageListing(const QString &pageText);
// The page-read request for the page number as typed (R14, columns 7-11).
QString pageReadPacket(const QString &pageText);
// The erase request (R17; every other column keeps the template's letters).
QString erasePacket();

// A typed page number: a whole number of digits, blanks around it allowed.
// Empty, negative, fractional or other text gives nothing.
std::optional<int> parsePageNumber(const QString &text);
// A page of the utility's save range as typed: as above, but a sign is
// allowed, so that -1 reaches the range test and is out of range there. A
// number beyond the int range reads as the nearest bound.
std::optional<int> parseRangePage(const QString &text);
// The save range: 0 <= start <= end <= 2047.
bool rangeAccepted(int start, int end);

// The largest temp hex or flash file read: the board holds 2048 pages, and
// a page line is 533 characters and its line end; 1024 bytes a page leaves
// room to spare.
inline constexpr qint64 kMaxPageFileBytes = qint64(kPageCount) * 1024; // 2 MiB

// The lines of a temp hex or flash file, without their ends (CR LF, LF or
// CR). False, with the reason, when the file cannot be read or is larger
// than kMaxPageFileBytes.
bool readPageLines(const QString &hostPath, QStringList *lines, QString *why);

} // namespace pvelm::flash
