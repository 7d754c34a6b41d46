#include "editors/codecs.h"

#include "link/packets.h"

#include <array>

#include <QRegularExpression>

namespace pvelm::editors {

namespace {

constexpr std::array<ImageField, 12> kElementFields{{
    {"instruction", "Instruction", 1, 2},
    {"Speedref", "Speed / data", 3, 2},
    {"Toposition", "Value", 5, 4},
    {"specify(0)", "Specify 1", 9, 2},
    {"datax(0)", "Data 1", 11, 4},
    {"specify(1)", "Specify 2", 15, 2},
    {"datax(1)", "Data 2", 17, 4},
    {"specify(2)", "Specify 3", 21, 2},
    {"datax(2)", "Data 3", 23, 4},
    {"data5(0)", "Data 4", 27, 2},
    {"data5(1)", "Data 5", 29, 2},
    {"data5(2)", "Data 6", 31, 2},
}};

constexpr std::array<ImageField, 21> kPackedFields{{
    {"instruction", "Instruction", 1, 2}, {"Speedref", "Spd refrence", 3, 2}, {"Toposition", "Data 7", 5, 4},
    {"specify(0)", "Specify 1", 9, 1},    {"datax(0)", "Data 1", 10, 3},      {"specify(1)", "Specify 2", 13, 1},
    {"datax(1)", "Data 2", 14, 3},        {"specify(2)", "Specify 3", 17, 1}, {"datax(2)", "Data 3", 18, 3},
    {"specify(3)", "Specify 4", 21, 1},   {"datax(3)", "Data 4", 22, 3},      {"data5(0)", "Data 5", 25, 4},
    {"data5(1)", "Data 6", 29, 4},        {"S1edat", "Servo 1", 33, 4},       {"S2edat", "Servo 2", 37, 4},
    {"s3edat", "Servo 3", 41, 4},         {"S4edat", "Servo 4", 45, 4},       {"S5edat", "Servo 5", 49, 4},
    {"S6edat", "Servo 6", 53, 4},         {"S7edat", "Servo 7", 57, 4},       {"S8edat", "Servo 8", 61, 4},
}};

bool isHex(const QString &text)
{
    for (QChar c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f')))
            return false;
    }
    return true;
}

bool isDigits(const QString &text)
{
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return !text.isEmpty();
}

QString refuse(QString caption, const QString &text, const QString &wanted)
{
    // Captions such as "Output#:" and "Speed:" bring their own colon.
    if (!caption.endsWith(QLatin1Char(':')))
        caption += QLatin1Char(':');
    if (text.trimmed().isEmpty())
        return QStringLiteral("%1 nothing typed; enter %2").arg(caption, wanted);
    return QStringLiteral("%1 \"%2\" refused; enter %3").arg(caption, text, wanted);
}

// The texts of a packet's three- or five-character slots.
QStringList cells(const QString &reply, int first, int count, int width)
{
    QStringList out;
    for (int k = 0; k < count; ++k)
        out << reply.mid(first - 1 + k * width, width);
    return out;
}

} // namespace

std::span<const ImageField> elementFields()
{
    return kElementFields;
}

std::span<const ImageField> packedFields()
{
    return kPackedFields;
}

std::optional<QList<qint64>> decodeImage(std::span<const ImageField> fields, const QString &hex, int digits)
{
    if (hex.size() != digits || !isHex(hex))
        return std::nullopt;
    QList<qint64> values;
    for (const ImageField &f : fields)
        values << hex.mid(f.digit - 1, f.width).toLongLong(nullptr, 16);
    return values;
}

QString encodeImage(std::span<const ImageField> fields, const QList<qint64> &values, int digits)
{
    QString image(digits, QLatin1Char('F'));
    for (size_t k = 0; k < fields.size() && k < size_t(values.size()); ++k) {
        const ImageField &f = fields[k];
        // The two's complement of a negative value gives its low bits.
        fillField(image, f.digit, f.width, hexField(quint64(values[qsizetype(k)]), f.width));
    }
    return image;
}

Checked checkNumber(const QString &caption, const QString &text, qint64 minimum, qint64 maximum, bool allowFraction,
                    const QString &note)
{
    Checked out;
    const std::optional<qint64> value = parseNumber(text, allowFraction);
    if (value && *value >= minimum && *value <= maximum) {
        out.value = *value;
        return out;
    }
    const QString wanted = QStringLiteral("a whole number from %1 to %2%3").arg(minimum).arg(maximum).arg(note);
    out.refusal = refuse(caption, text, wanted);
    return out;
}

Checked checkLine(const QString &caption, const QString &text, bool allowFraction)
{
    return checkNumber(caption, text, 0, kLineMaximum, allowFraction);
}

Checked typedAsHex(const QString &caption, const QString &text, int digits)
{
    Checked out = checkNumber(caption, text, kValueMinimum, kValueMaximum, true);
    if (!out.ok())
        return out;
    const QString sent = hexField(quint64(out.value), digits);
    const QString typed = text.trimmed();
    const bool cut = out.value < 0 || out.value > (qint64(1) << (4 * digits)) - 1;
    // A fraction of zeros ("12.00") is the number typed; leading zeros too.
    static const QRegularExpression fraction(QStringLiteral("\\.[0-9]*[1-9]"));
    if (cut || typed.contains(fraction)) {
        static const char *const words[] = {"", "one", "two", "three", "four", "five", "six"};
        const QString why = cut ? QStringLiteral("the board takes %1 hex digits")
                                      .arg(digits < 7 ? QLatin1String(words[digits]) : QString::number(digits))
                                : QStringLiteral("the board takes whole numbers");
        out.note = QStringLiteral("%1 %2 sent as %3: %4").arg(caption, typed, sent, why);
    }
    return out;
}

Checked checkElementValue(const ImageField &field, const QString &text)
{
    const QString note = QStringLiteral(" (its low %1 bits are written)").arg(4 * field.width);
    return checkNumber(QString::fromLatin1(field.caption), text, kValueMinimum, kValueMaximum, true, note);
}

Checked checkOutput(const QString &text)
{
    return checkNumber(QStringLiteral("Output#:"), text, 0, kOutputMaximum, false);
}

QString refusePositionText(const QString &caption, const QString &text)
{
    if (isDigits(text))
        return {};
    return refuse(caption, text, QStringLiteral("a position of decimal digits only (the last five are sent)"));
}

QString refuseSpeedText(const QString &caption, const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return refuse(caption, text, QStringLiteral("printable characters only (three are sent)"));
    }
    return {};
}

QString lineRequest(const char *code, qint64 line)
{
    QString packet = QString::fromLatin1(kLongTemplate);
    fillField(packet, 4, 3, QString::fromLatin1(code));
    fillField(packet, 7, 6, hexField(quint64(line), 6));
    return packet;
}

QString elementPutRequest(qint64 line, const QString &element)
{
    QString packet = QString::fromLatin1(kR16Template);
    fillField(packet, 7, 38, hexField(quint64(line), 6) + element);
    return packet;
}

QString packedPutBlock(qint64 line, const QString &image)
{
    return QStringLiteral("OV0R1D") + hexField(quint64(line), 6) + image;
}

QString speedPutRequest(qint64 location, const QStringList &speeds, const QStringList &controls)
{
    QString packet = lineRequest("R1B", location);
    for (int n = 0; n < 8; ++n) {
        fillField(packet, 13 + 3 * n, 3, fitField(speeds.value(n), 3));
        fillField(packet, 37 + 3 * n, 3, fitField(controls.value(n), 3));
    }
    return packet;
}

QString positionPutRequest(qint64 line, const QStringList &positions)
{
    QString packet = lineRequest("R19", line);
    for (int k = 0; k < 8; ++k)
        fillField(packet, 13 + 5 * k, 5, fitField(positions.value(k), 5));
    return packet;
}

QString nudgePacket(NudgeFamily family, int servoIndex)
{
    const bool up = family == NudgeFamily::PosUp || family == NudgeFamily::BigUp;
    const bool big = family == NudgeFamily::BigUp || family == NudgeFamily::BigDown;
    QString packet = QString::fromLatin1(up ? kShortStepUpTemplate : kShortStepDownTemplate);
    fillField(packet, 3, 4, QLatin1String(big ? "0010" : "0001"));
    fillField(packet, 7, 2, decField(servoIndex + 1, 2));
    return packet;
}

QString movePacket(qint64 line)
{
    QString packet = QString::fromLatin1(kShortMoveTemplate);
    fillField(packet, 3, 6, hexField(quint64(line), 6));
    return packet;
}

QString outputPacket(qint64 number, bool on)
{
    QString packet = QString::fromLatin1(on ? kShortOutputOnTemplate : kShortOutputOffTemplate);
    fillField(packet, 3, 2, hexField(quint64(number), 2));
    return packet;
}

std::optional<QString> elementFromReply(const QString &reply)
{
    const QString element = reply.mid(12, kElementDigits);
    if (element.size() != kElementDigits || !isHex(element))
        return std::nullopt;
    return element;
}

std::optional<QString> packedFromReply(const QString &reply)
{
    if (reply.size() != kPackedDigits || !isHex(reply))
        return std::nullopt;
    return reply;
}

std::optional<QStringList> speedFromReply(const QString &reply)
{
    if (reply.size() < 60)
        return std::nullopt;
    return cells(reply, 13, 16, 3);
}

std::optional<QList<int>> currentFromReply(const QString &reply)
{
    const QString field = reply.mid(6, 32);
    if (field.size() != 32 || !isHex(field))
        return std::nullopt;
    QList<int> positions;
    for (const QString &p : cells(reply, 7, 8, 4))
        positions << p.toInt(nullptr, 16);
    return positions;
}

std::optional<QStringList> storedFromReply(const QString &reply)
{
    if (reply.size() < 52)
        return std::nullopt;
    return cells(reply, 13, 8, 5);
}

std::optional<NudgeReply> nudgeFromReply(const QString &reply)
{
    const QString position = reply.mid(2, 4);
    if (reply.size() != 9 || !isHex(position))
        return std::nullopt;
    NudgeReply out;
    out.position = position.toInt(nullptr, 16);
    const QString servo = reply.mid(6, 2);
    if (isDigits(servo) && servo.toInt() >= 1 && servo.toInt() <= 8)
        out.servoIndex = servo.toInt() - 1;
    return out;
}

} // namespace pvelm::editors
