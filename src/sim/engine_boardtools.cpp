// The board's side of the board tools: the parameter block kept in EEPROM,
// its working copy, and single EEPROM and RAM bytes. docs/virtual-board.md
// describes every choice made here.

#include "sim/boardengine.h"
#include "sim/boardparams.h"
#include "sim/bytes.h"

#include <algorithm>

namespace pvelm::sim {

namespace {

int byteOf(const BoardState &s, int n)
{
    return quint8(s.params.at(n));
}

bool limitsInUse(const BoardState &s, int *low, int *high)
{
    *low = byteOf(s, 8) << 8 | byteOf(s, 9);
    *high = byteOf(s, 10) << 8 | byteOf(s, 11);
    // Limits the wrong way round would leave no position at all: the board
    // ignores them rather than pin the servos.
    return (byteOf(s, 0) & 0x08) && *low <= *high;
}

} // namespace

// ---------------------------------------------------------------- what the block does

namespace boardparams {

bool servoActive(const BoardState &s, int servo)
{
    return servo >= 0 && servo < BoardState::ServoCount && (byteOf(s, 12) >> servo) & 1;
}

quint16 moveTarget(const BoardState &s, int servo, quint16 stored)
{
    if (stored == 0xFFFF || !servoActive(s, servo))
        return 0xFFFF;
    return quint16(limitNudge(s, stored));
}

int limitNudge(const BoardState &s, int position)
{
    int low = 0;
    int high = 0;
    return limitsInUse(s, &low, &high) ? std::clamp(position, low, high) : position;
}

bool reportsOn(const BoardState &s)
{
    return byteOf(s, 0) & 0x04;
}

int reportTicks(const BoardState &s)
{
    return std::max(1, byteOf(s, 7));
}

} // namespace boardparams

// ---------------------------------------------------------------- parameter block

QByteArray BoardState::storedParams() const
{
    return eeprom.mid(boardparams::EepromAddress, ParamBytes);
}

void BoardState::writeEeprom(int address, const QByteArray &bytes)
{
    eeprom.replace(address, bytes.size(), bytes);
    eepromWrites += quint32(bytes.size());
}

std::optional<QByteArray> BoardEngine::cmdReadParams(const QByteArray &packet)
{
    return longReply("R1R", columns(packet, 7, 11) + m_state.storedParams().toHex().toUpper(), '0');
}

std::optional<QByteArray> BoardEngine::cmdWriteParams(const QByteArray &packet)
{
    // Only the EEPROM copy changes; the board acts on it after a reload.
    const QByteArray block = columns(packet, 12, 43);
    if (block.size() != 2 * BoardState::ParamBytes || !allHex(block))
        return longReply("R1W", columns(packet, 7, 11), '1');
    m_state.writeEeprom(boardparams::EepromAddress, QByteArray::fromHex(block));
    return longReply("R1W", columns(packet, 7, 43), '0');
}

std::optional<QByteArray> BoardEngine::reloadParams(const QByteArray &packet)
{
    m_state.params = m_state.storedParams();
    return longReply("R1C", columns(packet, 7, 11), '0');
}

// ---------------------------------------------------------------- memory bytes

QByteArray BoardEngine::shortMemory(const QByteArray &packet)
{
    const char letter = packet.at(1);
    const QByteArray address = columns(packet, 3, 6);
    const QByteArray data = columns(packet, 7, 8);
    const bool write = letter == 'F' || letter == 'S';
    const bool eeprom = letter == 'E' || letter == 'F';
    if (!allHex(address) || (write && !allHex(data)))
        return shortReply(letter, columns(packet, 3, 8)); // changes nothing
    const int at = address.toInt(nullptr, 16);
    if (write) {
        const QByteArray byte(1, char(data.toInt(nullptr, 16)));
        if (eeprom)
            m_state.writeEeprom(at, byte);
        else
            m_state.ram[at] = byte.at(0);
    }
    const char value = eeprom ? m_state.eeprom.at(at) : m_state.ram.at(at);
    return shortReply(letter, address.toUpper() + QByteArray(1, value).toHex().toUpper());
}

} // namespace pvelm::sim
