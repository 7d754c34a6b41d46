#include "boardtools/paramblock.h"

#include "boardtools/commandsender.h"
#include "boardtools/typednumber.h"
#include "link/exchange.h"
#include "link/link.h"
#include "link/packets.h"

namespace pvelm::boardtools {

namespace {

void setBit(ParamBlock &block, int byte, int bit, bool on)
{
    const int mask = 1 << bit;
    block.setByte(byte, on ? (block.byte(byte) | mask) : (block.byte(byte) & ~mask));
}

LinkResult docomaxCommand(Link &link, const char *code)
{
    // The long sender's fill of the docomax fields, address "00000".
    return sendLongCommand(link, QString::fromLatin1(code), QStringLiteral("00000"));
}

} // namespace

StorageMode modeForBits(int bits)
{
    switch (bits & 3) {
    case 0:
        return StorageMode::Seperate;
    case 1:
        return StorageMode::Common;
    default:
        return StorageMode::Other; // 2, and 3 which is written back as 2
    }
}

ParamBlock::ParamBlock(const QString &text) : m_text(text.left(kParamDigits))
{
    if (m_text.size() < kParamDigits)
        m_text += QString(kParamDigits - m_text.size(), QLatin1Char('0'));
}

int ParamBlock::byte(int n) const
{
    const QString pair = m_text.mid(2 * n, 2);
    const auto isHex = [](QChar c) { return (c >= u'0' && c <= u'9') || (c.toUpper() >= u'A' && c.toUpper() <= u'F'); };
    if (pair.size() != 2 || !isHex(pair.at(0)) || !isHex(pair.at(1)))
        return 0;
    return pair.toInt(nullptr, 16);
}

void ParamBlock::setByte(int n, int value)
{
    fillField(m_text, 2 * n + 1, 2, hexField(quint64(value) & 0xFF, 2));
}

ParamFields ParamBlock::fields() const
{
    ParamFields f;
    const int flags = byte(kFlagsByte);
    const int run = byte(kRunByte);
    f.minPulse = byte(kMinPulseByte) * 256 + byte(kMinPulseByte + 1);
    f.maxPulse = byte(kMaxPulseByte) * 256 + byte(kMaxPulseByte + 1);
    f.reportRate = byte(kReportRateByte);
    f.servos = quint8(byte(kActiveServosByte));
    f.useLimits = flags & 0x08;
    f.reportsOn = flags & 0x04;
    f.modeBits = flags & 0x03;
    f.runOnHw = run & 0x04;
    f.runOnPb = run & 0x02;
    f.runOnPu = run & 0x01;
    f.lcpInput = byte(kIoByte) & 0x01;
    return f;
}

QString applyStore(ParamBlock &block, const StoreInput &in)
{
    struct Word
    {
        const char *name;
        const QString &text;
        int byte;
        int bytes;
    };
    const Word words[] = {
        {"minpulse", in.minpulse, kMinPulseByte, 2},
        {"maxpulse", in.maxpulse, kMaxPulseByte, 2},
        {"reportrate", in.reportrate, kReportRateByte, 1},
    };
    for (const Word &w : words) {
        const std::optional<qint32> value = leadingWhole32(w.text);
        if (!value)
            return QString::fromLatin1(w.name);
        // Two's complement keeps the low bits of a negative value: -1 is FFFF.
        const quint32 bits = quint32(*value);
        if (w.bytes == 2) {
            block.setByte(w.byte, int(bits >> 8));
            block.setByte(w.byte + 1, int(bits));
        } else {
            block.setByte(w.byte, int(bits));
        }
    }
    block.setByte(kActiveServosByte, in.servos);
    setBit(block, kFlagsByte, 3, in.useLimits);
    setBit(block, kFlagsByte, 2, in.reportsOn);
    const int mode = in.mode == StorageMode::None ? 0 : int(in.mode);
    block.setByte(kFlagsByte, (block.byte(kFlagsByte) & ~0x03) | mode);
    setBit(block, kRunByte, 2, in.runOnHw);
    setBit(block, kRunByte, 1, in.runOnPb);
    setBit(block, kRunByte, 0, in.runOnPu);
    setBit(block, kIoByte, 0, in.lcpInput);
    return QString();
}

LinkResult readParameters(Link &link)
{
    return docomaxCommand(link, "R1R");
}

LinkResult reloadParameters(Link &link)
{
    return docomaxCommand(link, "R1C");
}

QString writeRequest(const ParamBlock &block)
{
    QString packet = QString::fromLatin1(kLongTemplate);
    fillField(packet, 4, 3, QStringLiteral("R1W"));
    fillField(packet, 7, 5, QStringLiteral("00000"));
    fillField(packet, 12, kParamDigits, block.text());
    return packet;
}

LinkResult writeParameters(Link &link, const ParamBlock &block)
{
    return exchange(link, &Link::rawsender, writeRequest(block));
}

ParamBlock blockFromReply(const QString &reply)
{
    return ParamBlock(reply.mid(11, kParamDigits));
}

} // namespace pvelm::boardtools
