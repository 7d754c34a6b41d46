// The board's side of the element editors: program elements, packed images,
// speed elements and position sets in flash, the servos' current positions,
// moves to a stored set, nudges and outputs. docs/virtual-board.md describes
// every choice made here.

#include "sim/boardengine.h"
#include "sim/boardparams.h"
#include "sim/bytes.h"

#include <algorithm>

#include <QList>

namespace pvelm::sim {

namespace {

constexpr int ElementBytes = 16;
constexpr int ElementsPerPage = 16;
constexpr int LastLine = BoardState::FlashPages * ElementsPerPage - 1; // 32767

// The line in a six-hex-digit field, or -1 when it is not one of the board's.
int lineOf(const QByteArray &field, int lastLine = LastLine)
{
    if (field.size() != 6 || !allHex(field))
        return -1;
    const int line = field.toInt(nullptr, 16);
    return line <= lastLine ? line : -1;
}

qsizetype elementOffset(int line)
{
    return qsizetype(line / ElementsPerPage) * BoardState::PageBytes + (line % ElementsPerPage) * ElementBytes;
}

QByteArray hex(const QByteArray &bytes)
{
    return bytes.toHex().toUpper();
}

QByteArray digits(int value, int width, int base)
{
    return QByteArray::number(value, base).toUpper().rightJustified(width, '0');
}

// A servo's value in a position element: bytes 2k and 2k+1, high byte first.
quint16 servoWord(const QByteArray &element, int k)
{
    return quint16((quint8(element.at(2 * k)) << 8) | quint8(element.at(2 * k + 1)));
}

// Fixed-width decimal cells of a packet: their values, or nothing when one
// is not all digits or above `maximum`.
std::optional<QList<int>> decimalCells(const QByteArray &packet, int first, int count, int width, int maximum)
{
    QList<int> values;
    for (int k = 0; k < count; ++k) {
        const QByteArray cell = packet.mid(first - 1 + k * width, width);
        if (cell.size() != width || !allDecimal(cell) || cell.toInt() > maximum)
            return std::nullopt;
        values << cell.toInt();
    }
    return values;
}

} // namespace

// ---------------------------------------------------------------- program elements

std::optional<QByteArray> BoardEngine::cmdReadElement(const QByteArray &packet)
{
    const QByteArray field = columns(packet, 7, 12);
    const int line = lineOf(field);
    if (line < 0)
        return longReply("R15", field, '1');
    return longReply("R15", field + hex(m_state.flash.mid(elementOffset(line), ElementBytes)), '0');
}

std::optional<QByteArray> BoardEngine::cmdWriteElement(const QByteArray &packet)
{
    const QByteArray field = columns(packet, 7, 12);
    const QByteArray element = columns(packet, 13, 44);
    const int line = lineOf(field);
    if (line < 0 || element.size() != 2 * ElementBytes || !allHex(element))
        return longReply("R16", field, '1');
    m_state.flash.replace(elementOffset(line), ElementBytes, QByteArray::fromHex(element));
    return longReply("R16", field + element.toUpper(), '0');
}

// ---------------------------------------------------------------- packed images

std::optional<QByteArray> BoardEngine::cmdPackedOrReload(const QByteArray &packet)
{
    // The parameter reload is sent with docomax, whose packets carry its
    // three parameters ("000") at 51-53; every other long request has the
    // template's "x" there.
    if (columns(packet, 51, 53) == "000")
        return reloadParams(packet);
    // A packed image is two elements: line n and n + 1.
    const int line = lineOf(columns(packet, 7, 12), LastLine - 1);
    if (line < 0)
        return longReply("R1C", columns(packet, 7, 12), '1');
    return hex(m_state.flash.mid(elementOffset(line), ElementBytes)) +
           hex(m_state.flash.mid(elementOffset(line + 1), ElementBytes));
}

void BoardEngine::writePackedBlock(const QByteArray &block)
{
    const int line = lineOf(columns(block, 7, 12), LastLine - 1);
    const QByteArray image = columns(block, 13, 76);
    if (!block.startsWith("OV0R1D") || block.size() != 76 || line < 0 || !allHex(image))
        return;
    const QByteArray bytes = QByteArray::fromHex(image);
    m_state.flash.replace(elementOffset(line), ElementBytes, bytes.left(ElementBytes));
    m_state.flash.replace(elementOffset(line + 1), ElementBytes, bytes.mid(ElementBytes));
}

// ---------------------------------------------------------------- speed elements

std::optional<QByteArray> BoardEngine::cmdReadSpeed(const QByteArray &packet)
{
    const QByteArray field = columns(packet, 7, 12);
    const int line = lineOf(field);
    if (line < 0)
        return longReply("R1A", field, '1');
    QByteArray values;
    for (char byte : m_state.flash.mid(elementOffset(line), ElementBytes))
        values += digits(quint8(byte), 3, 10);
    return longReply("R1A", field + values, '0');
}

std::optional<QByteArray> BoardEngine::cmdWriteSpeed(const QByteArray &packet)
{
    const QByteArray field = columns(packet, 7, 12);
    const int line = lineOf(field);
    const auto values = decimalCells(packet, 13, ElementBytes, 3, 255);
    if (line < 0 || !values)
        return longReply("R1B", field, '1');
    QByteArray bytes;
    for (int v : *values)
        bytes += char(v);
    m_state.flash.replace(elementOffset(line), ElementBytes, bytes);
    return longReply("R1B", field + columns(packet, 13, 60), '0');
}

// ---------------------------------------------------------------- positions

std::optional<QByteArray> BoardEngine::cmdCurrentPositions(const QByteArray &)
{
    m_travel.advance(m_state.positions, m_lastByteMs);
    QByteArray values;
    for (quint16 p : m_state.positions)
        values += digits(p, 4, 16);
    return longReply("R01", values, '0');
}

std::optional<QByteArray> BoardEngine::cmdReadPositions(const QByteArray &packet)
{
    const QByteArray field = columns(packet, 7, 12);
    const int line = lineOf(field);
    if (line < 0)
        return longReply("R18", field, '1');
    const QByteArray element = m_state.flash.mid(elementOffset(line), ElementBytes);
    QByteArray values;
    for (int k = 0; k < BoardState::ServoCount; ++k)
        values += digits(servoWord(element, k), 5, 10);
    return longReply("R18", field + values, '0');
}

std::optional<QByteArray> BoardEngine::cmdWritePositions(const QByteArray &packet)
{
    const QByteArray field = columns(packet, 7, 12);
    const int line = lineOf(field);
    const auto values = decimalCells(packet, 13, BoardState::ServoCount, 5, 65535);
    if (line < 0 || !values)
        return longReply("R19", field, '1');
    QByteArray bytes;
    for (int v : *values)
        bytes += char(v >> 8) + QByteArray(1, char(v & 0xFF));
    m_state.flash.replace(elementOffset(line), ElementBytes, bytes);
    return longReply("R19", field + columns(packet, 13, 52), '0');
}

QByteArray BoardEngine::shortMove(const QByteArray &packet)
{
    const QByteArray echo = shortReply('T', columns(packet, 3, 8));
    const int line = lineOf(columns(packet, 3, 8));
    // A running or paused program owns the servos.
    if (line < 0 || m_state.runMode != RunMode::Stopped)
        return echo;
    const QByteArray element = m_state.flash.mid(elementOffset(line), ElementBytes);
    std::array<quint16, ServoTravel::ServoCount> targets{};
    for (int k = 0; k < ServoTravel::ServoCount; ++k)
        targets[size_t(k)] = boardparams::moveTarget(m_state, k, servoWord(element, k));
    m_travel.advance(m_state.positions, m_lastByteMs);
    m_travel.begin(m_state.positions, targets, m_lastByteMs);
    return echo;
}

QByteArray BoardEngine::shortNudge(const QByteArray &packet)
{
    const char letter = packet.at(1);
    const QByteArray step = columns(packet, 3, 6);
    const QByteArray servo = columns(packet, 7, 8);
    if (!allDecimal(step) || !allDecimal(servo) || servo.toInt() < 1 || servo.toInt() > BoardState::ServoCount)
        return shortReply(letter, columns(packet, 3, 8));
    const int k = servo.toInt() - 1;
    // A nudge takes a moving servo over where it is now.
    m_travel.advance(m_state.positions, m_lastByteMs);
    m_travel.stop(k);
    // Nudges never wrap. Up stops at 65534, so a position read back and
    // stored never becomes the "no move" value; a servo already above that
    // stays where it is.
    const int now = m_state.positions[size_t(k)];
    const int stepped =
        letter == 'U' ? std::max(now, std::min(now + step.toInt(), 65534)) : std::max(now - step.toInt(), 0);
    // An inactive servo stays put; an active one stays inside the limits.
    const int next = boardparams::servoActive(m_state, k) ? boardparams::limitNudge(m_state, stepped) : now;
    m_state.positions[size_t(k)] = quint16(next);
    return shortReply(letter, digits(next, 4, 16) + servo);
}

QByteArray BoardEngine::shortOutput(const QByteArray &packet)
{
    const QByteArray number = columns(packet, 3, 4);
    const char state = packet.at(4);
    if (allHex(number) && number.size() == 2 && (state == '0' || state == '1'))
        m_state.outputs[size_t(number.toInt(nullptr, 16))] = state == '1';
    return shortReply('O', columns(packet, 3, 8));
}

// ---------------------------------------------------------------- servo travel

void ServoTravel::begin(const std::array<quint16, ServoCount> &positions,
                        const std::array<quint16, ServoCount> &targets, qint64 nowMs)
{
    m_startMs = nowMs;
    for (size_t k = 0; k < size_t(ServoCount); ++k) {
        m_from[k] = positions[k];
        m_target[k] = targets[k] == NoMove || targets[k] == positions[k] ? -1 : targets[k];
    }
}

void ServoTravel::advance(std::array<quint16, ServoCount> &positions, qint64 nowMs)
{
    const qint64 travelled = std::max<qint64>(0, nowMs - m_startMs) * CountsPerSecond / 1000;
    for (size_t k = 0; k < size_t(ServoCount); ++k) {
        if (m_target[k] < 0)
            continue;
        const qint64 distance = qint64(m_target[k]) - m_from[k];
        if (travelled >= std::abs(distance)) {
            positions[k] = quint16(m_target[k]);
            m_target[k] = -1;
        } else {
            positions[k] = quint16(m_from[k] + (distance < 0 ? -travelled : travelled));
        }
    }
}

bool ServoTravel::isMoving() const
{
    return std::any_of(m_target.begin(), m_target.end(), [](qint32 t) { return t >= 0; });
}

} // namespace pvelm::sim
