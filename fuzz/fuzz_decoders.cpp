// One reply, as the link hands it over (single-byte text), through every
// decoder that reads what the board sends: the status report, the element
// editors' replies, the board tools' parameter block and memory byte, and
// the number reading of the board tools' text boxes. Where an encoder
// exists, what was decoded must encode back to the digits it came from.

#include "boardtools/memorybytes.h"
#include "boardtools/paramblock.h"
#include "boardtools/typednumber.h"
#include "editors/codecs.h"
#include "fuzzsupport.h"
#include "link/packets.h"
#include "run/runcontrol.h"

using namespace pvelm;

namespace {

void statusReport(const QString &raw)
{
    const auto r = decodeStatusReport(raw);
    if (!r)
        return;
    FUZZ_CHECK(raw.startsWith(QLatin1String("AB")) && raw.size() >= kStatusReportLength);
    FUZZ_CHECK(hexField(r->position.toUInt(), 4) == raw.mid(2, 4).toUpper());
    FUZZ_CHECK(hexField(r->stack.toUInt(), 4) == raw.mid(6, 4).toUpper());
    FUZZ_CHECK(hexField(r->loop.toUInt(), 4) == raw.mid(10, 4).toUpper());
    FUZZ_CHECK(hexField(quint64(r->statusBits), 2) == raw.mid(14, 2).toUpper());
    FUZZ_CHECK(hexField(quint64(r->notificationCode), 2) == raw.mid(16, 2).toUpper());
    FUZZ_CHECK(hexField(quint64(r->currentLine.toLongLong() + 1), 6) == raw.mid(18, 6).toUpper());
    FUZZ_CHECK(!r->mode.isEmpty());
    // The monitor decodes the first 24 characters of a read: the rest of a
    // read never changes what a report says.
    FUZZ_CHECK(decodeStatusReport(raw.left(kStatusReportLength))->currentLine == r->currentLine);
}

// Decoding an image and encoding its values gives back its digits: the
// fields cover every digit once. A reply's image always decodes.
void image(std::span<const editors::ImageField> fields, const QString &hex, int digits, bool mustDecode)
{
    const auto values = editors::decodeImage(fields, hex, digits);
    FUZZ_CHECK(values || !mustDecode);
    if (!values)
        return;
    FUZZ_CHECK(values->size() == qsizetype(fields.size()));
    FUZZ_CHECK(editors::encodeImage(fields, *values, digits) == hex.toUpper());
}

void editorReplies(const QString &reply)
{
    if (const auto element = editors::elementFromReply(reply))
        image(editors::elementFields(), *element, editors::kElementDigits, true);
    if (const auto packed = editors::packedFromReply(reply))
        image(editors::packedFields(), *packed, editors::kPackedDigits, true);
    image(editors::elementFields(), reply, editors::kElementDigits, false);

    if (const auto speeds = editors::speedFromReply(reply)) {
        FUZZ_CHECK(speeds->size() == 16 && speeds->join(QString()) == reply.mid(12, 48));
        // What the window shows goes back out as it came.
        const QString request = editors::speedPutRequest(0, speeds->mid(0, 8), speeds->mid(8, 8));
        FUZZ_CHECK(request.size() == kLongPacketLength && request.mid(12, 48) == reply.mid(12, 48));
    }
    if (const auto positions = editors::currentFromReply(reply)) {
        FUZZ_CHECK(positions->size() == 8);
        QString digits;
        for (int p : *positions)
            digits += hexField(quint64(p), 4);
        FUZZ_CHECK(digits == reply.mid(6, 32).toUpper());
    }
    if (const auto stored = editors::storedFromReply(reply)) {
        FUZZ_CHECK(stored->size() == 8 && stored->join(QString()) == reply.mid(12, 40));
        const QString request = editors::positionPutRequest(0, *stored);
        FUZZ_CHECK(request.size() == kLongPacketLength && request.mid(12, 40) == reply.mid(12, 40));
    }
    if (const auto nudge = editors::nudgeFromReply(reply)) {
        FUZZ_CHECK(hexField(quint64(nudge->position), 4) == reply.mid(2, 4).toUpper());
        FUZZ_CHECK(nudge->servoIndex >= -1 && nudge->servoIndex <= 7);
    }
}

void paramBlock(const QString &reply)
{
    using namespace boardtools;
    const ParamBlock read = blockFromReply(reply);
    FUZZ_CHECK(read.text().size() == kParamDigits);
    const ParamFields f = read.fields();

    // Storing what the window showed writes the same fields back (storage
    // mode 3 goes back as 2) and leaves every byte and bit it does not show
    // as the board sent it.
    ParamBlock stored = read;
    StoreInput in;
    in.minpulse = QString::number(f.minPulse);
    in.maxpulse = QString::number(f.maxPulse);
    in.reportrate = QString::number(f.reportRate);
    in.servos = f.servos;
    in.useLimits = f.useLimits;
    in.reportsOn = f.reportsOn;
    in.mode = modeForBits(f.modeBits);
    in.runOnHw = f.runOnHw;
    in.runOnPb = f.runOnPb;
    in.runOnPu = f.runOnPu;
    in.lcpInput = f.lcpInput;
    FUZZ_CHECK(applyStore(stored, in).isEmpty());
    ParamFields expected = f;
    if (expected.modeBits == 3)
        expected.modeBits = 2;
    FUZZ_CHECK(stored.fields() == expected);
    for (int n : {2, 3, 5, 6, 13, 14, 15})
        FUZZ_CHECK(stored.text().mid(2 * n, 2) == read.text().mid(2 * n, 2));
    FUZZ_CHECK((stored.byte(kFlagsByte) & 0xF0) == (read.byte(kFlagsByte) & 0xF0));
    FUZZ_CHECK((stored.byte(kRunByte) & 0xF8) == (read.byte(kRunByte) & 0xF8));
    FUZZ_CHECK((stored.byte(kIoByte) & 0xFE) == (read.byte(kIoByte) & 0xFE));
    const QString request = writeRequest(stored);
    FUZZ_CHECK(request.size() == kLongPacketLength && request.mid(11, kParamDigits) == stored.text());
}

void memoryByte(const QString &reply)
{
    const auto byte = boardtools::byteFromReply(reply);
    if (!byte)
        return;
    FUZZ_CHECK(reply.size() == kShortPacketLength);
    FUZZ_CHECK(hexField(quint64(*byte), 2) == reply.mid(6, 2).toUpper());
}

void typedNumbers(const QString &text)
{
    // The board tools and the editors read a typed number alike.
    const auto whole = parseNumber(text, false);
    const auto rounded = parseNumber(text, true);
    FUZZ_CHECK(!whole || rounded == whole);
    const boardtools::TypedNumber typed = boardtools::readTyped(text);
    if (rounded)
        FUZZ_CHECK(typed.found && typed.complete && !typed.overflow && typed.value == *rounded);
    FUZZ_CHECK(typed.found || typed.value == 0);
    if (const auto n32 = boardtools::leadingWhole32(text))
        FUZZ_CHECK(*n32 == typed.value);
    boardtools::hexText(typed.value);
    boardtools::addressOf(text);
    boardtools::dataTextTooBig(text);
    boardtools::refuseNumber(QStringLiteral("Address"), text, 65535);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString reply = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    statusReport(reply);
    editorReplies(reply);
    paramBlock(reply);
    memoryByte(reply);
    typedNumbers(reply);
    return 0;
}
