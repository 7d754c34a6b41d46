#include "sim/boardengine.h"

#include "sim/bytes.h"

#include <QDataStream>
#include <QIODevice>

namespace pvelm::sim {

namespace {

constexpr char StateMagic[] = "PVELMSIM";
constexpr quint32 StateVersion = 3; // 2: the program state; 3: the EEPROM write counter

} // namespace

// ---------------------------------------------------------------- state

BoardState::BoardState()
    : flash(FlashPages * PageBytes, char(0xFF)), eeprom(MemoryBytes, char(0xFF)), ram(MemoryBytes, char(0)),
      params(ParamBytes, char(0))
{
    // Servos start centred so that a nudge works in both directions.
    positions.fill(0x8000);
    // Status reports on (byte 0 bit 2), one every 10 ticks of 10 ms (byte
    // 7), so that a fresh board shows a running program at once; every servo
    // active (byte 12), pulse-width limits 0-65535 and not in use.
    params[0] = 0x04;
    params[7] = 10;
    params[10] = char(0xFF);
    params[11] = char(0xFF);
    params[12] = char(0xFF);
    eeprom.replace(0, ParamBytes, params); // the block's home (boardparams.h)
}

QByteArray BoardState::serialize() const
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::BigEndian);
    s.writeRawData(StateMagic, 8);
    s << StateVersion;
    s.writeRawData(flash.constData(), flash.size());
    s.writeRawData(eeprom.constData(), eeprom.size());
    s.writeRawData(ram.constData(), ram.size());
    s.writeRawData(params.constData(), params.size());
    s << eepromWrites;
    for (quint16 p : positions)
        s << p;
    for (const auto *bits : {&inputs, &outputs}) {
        for (int byte = 0; byte < IoCount / 8; ++byte) {
            quint8 v = 0;
            for (int bit = 0; bit < 8; ++bit) {
                if ((*bits)[byte * 8 + bit])
                    v |= quint8(1u << bit);
            }
            s << v;
        }
    }
    program.write(s);
    s << quint8(runMode) << runLine;
    return out;
}

bool BoardState::storePageLine(const QByteArray &line)
{
    bool number = false;
    const int at = line.left(5).toInt(&number);
    if (!number || at < 0 || at >= FlashPages)
        return false;
    QByteArray bytes = QByteArray::fromHex(line.mid(5, 512));
    bytes += QByteArray(PageBytes - bytes.size(), char(0xFF)); // the spare bytes stay erased
    flash.replace(at * PageBytes, PageBytes, bytes);
    return true;
}

bool BoardState::deserialize(const QByteArray &bytes, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const qsizetype expected = 8 + 4 + qsizetype(FlashPages) * PageBytes + 2 * MemoryBytes + ParamBytes +
                               2 * ServoCount + 2 * (IoCount / 8) + ProgramState::SerializedBytes + 1 + 4 + 4;
    if (!bytes.startsWith(QByteArray(StateMagic, 8)))
        return fail(QStringLiteral("not a virtual board state file"));
    QDataStream s(bytes);
    s.setByteOrder(QDataStream::BigEndian);
    s.skipRawData(8);
    quint32 version = 0;
    s >> version;
    if (version != StateVersion)
        return fail(QStringLiteral("unsupported state file version %1").arg(version));
    if (bytes.size() != expected)
        return fail(QStringLiteral("state file has %1 bytes, expected %2").arg(bytes.size()).arg(expected));

    BoardState next;
    s.readRawData(next.flash.data(), next.flash.size());
    s.readRawData(next.eeprom.data(), next.eeprom.size());
    s.readRawData(next.ram.data(), next.ram.size());
    s.readRawData(next.params.data(), next.params.size());
    s >> next.eepromWrites;
    for (quint16 &p : next.positions)
        s >> p;
    for (auto *bits : {&next.inputs, &next.outputs}) {
        for (int byte = 0; byte < IoCount / 8; ++byte) {
            quint8 v = 0;
            s >> v;
            for (int bit = 0; bit < 8; ++bit)
                (*bits)[byte * 8 + bit] = (v >> bit) & 1u;
        }
    }
    quint8 mode = 0;
    if (!next.program.read(s))
        return fail(QStringLiteral("bad program state in state file"));
    s >> mode >> next.runLine;
    if (mode > quint8(RunMode::Paused))
        return fail(QStringLiteral("bad run mode %1 in state file").arg(mode));
    next.runMode = RunMode(mode);
    if (s.status() != QDataStream::Ok)
        return fail(QStringLiteral("state file is truncated"));
    *this = std::move(next);
    return true;
}

// ---------------------------------------------------------------- framing

QByteArray BoardEngine::versionText()
{
    return QByteArrayLiteral("Version 2.14 ");
}

QByteArray BoardEngine::longReply(const QByteArray &code, const QByteArray &data, char result)
{
    QByteArray reply = QByteArrayLiteral("OV0") + code.left(3).leftJustified(3, 'x') + data.left(55);
    reply = reply.leftJustified(61, 'x');
    reply += result;
    reply += "H~";
    return reply;
}

QByteArray BoardEngine::shortReply(char letter, const QByteArray &data)
{
    return QByteArray(1, 'O') + letter + data.left(6).leftJustified(6, 'D') + 'H';
}

void BoardEngine::begin(Phase phase, qint64 nowMs)
{
    m_phase = phase;
    m_frame.clear();
    m_lastByteMs = nowMs;
}

BoardEngine::Outputs BoardEngine::feed(const QByteArray &bytes, qint64 nowMs)
{
    Outputs out;
    for (char c : bytes) {
        Outputs more = feed(c, nowMs);
        out.insert(out.end(), more.begin(), more.end());
    }
    return out;
}

BoardEngine::Outputs BoardEngine::feed(char c, qint64 nowMs)
{
    if (m_silent)
        return {};
    // A frame left hanging by a console that gave up ends before this byte
    // is looked at, so the byte can start the next exchange. No report goes
    // out before the byte is handled: it would stand before the answer.
    Outputs out = pollFrame(nowMs);
    m_lastByteMs = nowMs;
    bool complete = false;

    switch (m_phase) {
    case Phase::Idle:
    case Phase::AfterColon:
    case Phase::AfterBang:
        // A repeated attention character is answered again: the console
        // retries when our first answer came too late for it.
        if (c == '&') {
            out.push_back({OutputKind::Handshake, QByteArrayLiteral(":")});
            begin(Phase::AfterColon, nowMs);
        } else if (c == '#') {
            out.push_back({OutputKind::Handshake, QByteArrayLiteral("!")});
            begin(Phase::AfterBang, nowMs);
        } else if (m_phase == Phase::AfterColon && c == '$') {
            begin(Phase::LongPacket, nowMs);
        } else if (m_phase == Phase::AfterColon && c == '-') {
            begin(Phase::ShortPacket, nowMs);
        } else if (m_phase == Phase::AfterBang && c == '$') {
            begin(Phase::PageLine, nowMs);
        } else if (m_phase == Phase::AfterBang && c == '+') {
            begin(Phase::Block, nowMs);
        }
        // Anything else is line noise and is ignored.
        break;
    case Phase::LongPacket:
    case Phase::ShortPacket:
    case Phase::PageLine: {
        m_frame += c;
        const int length = m_phase == Phase::LongPacket    ? LongLength
                           : m_phase == Phase::ShortPacket ? ShortLength
                                                           : PageLineLength;
        complete = m_frame.size() == length;
        break;
    }
    case Phase::Block:
        if (c == '~') {
            complete = true;
        } else {
            m_frame += c;
            if (m_frame.size() > MaxBlockLength)
                begin(Phase::Idle, nowMs);
        }
        break;
    }
    if (complete) {
        const Outputs done = finishFrame();
        out.insert(out.end(), done.begin(), done.end());
    }
    runProgram(nowMs, out);
    return out;
}

BoardEngine::Outputs BoardEngine::poll(qint64 nowMs)
{
    Outputs out = pollFrame(nowMs);
    runProgram(nowMs, out);
    return out;
}

BoardEngine::Outputs BoardEngine::pollFrame(qint64 nowMs)
{
    const qint64 deadline = frameDeadline();
    if (deadline < 0 || nowMs < deadline)
        return {};
    if (m_phase == Phase::PageLine)
        return finishFrame(); // a short line is still a line: it gets its (error) reply
    begin(Phase::Idle, nowMs);
    return {};
}

qint64 BoardEngine::nextDeadline() const
{
    const qint64 frame = frameDeadline();
    const qint64 program = programDeadline();
    return frame < 0 || program < 0 ? std::max(frame, program) : std::min(frame, program);
}

qint64 BoardEngine::frameDeadline() const
{
    switch (m_phase) {
    case Phase::Idle:
        return -1;
    case Phase::PageLine:
        return m_lastByteMs + LineGapMs;
    default:
        return m_lastByteMs + FrameGapMs;
    }
}

BoardEngine::Outputs BoardEngine::finishFrame()
{
    const Phase phase = m_phase;
    const QByteArray frame = m_frame;
    m_phase = Phase::Idle;
    m_frame.clear();

    std::optional<QByteArray> reply;
    switch (phase) {
    case Phase::LongPacket:
        reply = handleLong(frame);
        break;
    case Phase::ShortPacket:
        reply = handleShort(frame);
        break;
    case Phase::PageLine:
        reply = handlePageLine(frame);
        break;
    case Phase::Block:
        handleBlock(frame);
        break;
    default:
        break;
    }
    if (!reply || m_silent)
        return {};
    const qint64 delay = phase == Phase::PageLine ? m_pageProgramMs : 0;
    return {{OutputKind::Reply, *reply, delay}};
}

// ---------------------------------------------------------------- dispatch

BoardEngine::LongHandler BoardEngine::longHandler(const QByteArray &code)
{
    struct Row
    {
        const char *code;
        LongHandler handler;
    };
    static const Row table[] = {
        // clang-format off
        {"R00", &BoardEngine::cmdStop},
        {"R02", &BoardEngine::cmdVersion},
        {"R05", &BoardEngine::cmdRun},
        {"R07", &BoardEngine::cmdPause},
        {"R14", &BoardEngine::cmdReadPage},
        {"R17", &BoardEngine::cmdEraseFlash},
        {"R15", &BoardEngine::cmdReadElement},
        {"R16", &BoardEngine::cmdWriteElement},
        {"R01", &BoardEngine::cmdCurrentPositions},
        {"R18", &BoardEngine::cmdReadPositions},
        {"R19", &BoardEngine::cmdWritePositions},
        {"R1A", &BoardEngine::cmdReadSpeed},
        {"R1B", &BoardEngine::cmdWriteSpeed},
        {"R1C", &BoardEngine::cmdPackedOrReload},
        {"R1R", &BoardEngine::cmdReadParams},
        {"R1W", &BoardEngine::cmdWriteParams},
        // clang-format on
    };
    for (const Row &row : table) {
        if (code == row.code)
            return row.handler;
    }
    return nullptr;
}

BoardEngine::ShortHandler BoardEngine::shortHandler(char letter)
{
    struct Row
    {
        char letter;
        ShortHandler handler;
    };
    static const Row table[] = {
        // clang-format off
        {'T', &BoardEngine::shortMove},
        {'U', &BoardEngine::shortNudge},
        {'D', &BoardEngine::shortNudge},
        {'O', &BoardEngine::shortOutput},
        {'E', &BoardEngine::shortMemory},
        {'R', &BoardEngine::shortMemory},
        {'F', &BoardEngine::shortMemory},
        {'S', &BoardEngine::shortMemory},
        // clang-format on
    };
    for (const Row &row : table) {
        if (letter == row.letter)
            return row.handler;
    }
    return nullptr;
}

std::optional<QByteArray> BoardEngine::handleLong(const QByteArray &packet)
{
    if (!packet.startsWith("OV0") || !packet.endsWith("H~"))
        return longReply(columns(packet, 4, 6), columns(packet, 7, 61), '1');
    if (const LongHandler handler = longHandler(columns(packet, 4, 6)))
        return (this->*handler)(packet);
    // Unknown instruction: echo the request so the operator sees what the
    // board did not understand.
    return packet.left(61) + 'X' + "H~";
}

QByteArray BoardEngine::handleShort(const QByteArray &packet)
{
    const char letter = packet.at(1);
    if (packet.at(0) == 'O' && packet.at(8) == 'H') {
        if (const ShortHandler handler = shortHandler(letter))
            return (this->*handler)(packet);
    }
    // Unknown letters (and badly framed packets) are echoed in a well-framed reply.
    return shortReply(letter, columns(packet, 3, 8));
}

QByteArray BoardEngine::handlePageLine(const QByteArray &line)
{
    const QByteArray pageField = line.left(5);
    const QByteArray elements = columns(line, 6, 517);
    const QByteArray filler = columns(line, 518, 533);
    bool ok = line.size() == PageLineLength && allOf(pageField, isDecimalDigit) && allOf(elements, isHexDigit) &&
              filler == QByteArray(16, 'F');
    const int page = ok ? pageField.toInt() : -1;
    if (m_silentFromPage >= 0 && page >= m_silentFromPage) {
        m_silent = true;
        return {};
    }
    ok = ok && page < BoardState::FlashPages;
    if (!ok) {
        const QByteArray echo = pageField.size() == 5 && allOf(pageField, isDecimalDigit) ? pageField : "xxxxx";
        return longReply("ERW", echo, '1');
    }
    m_state.storePageLine(line);
    return longReply("OKW", pageField, '0');
}

void BoardEngine::handleBlock(const QByteArray &block)
{
    // The packed element writer expects no answer; the block is kept for
    // tests and written when it is a packed image.
    m_lastBlock = block;
    writePackedBlock(block);
}

// ---------------------------------------------------------------- long commands

std::optional<QByteArray> BoardEngine::cmdStop(const QByteArray &)
{
    m_executor.stop(m_state, m_nowMs);
    return std::nullopt;
}

std::optional<QByteArray> BoardEngine::cmdVersion(const QByteArray &)
{
    return longReply("R02", versionText(), '0');
}

std::optional<QByteArray> BoardEngine::cmdRun(const QByteArray &packet)
{
    const QByteArray field = columns(packet, 7, 12);
    if (!allOf(field, isHexDigit))
        return std::nullopt; // nothing sensible to run
    const quint32 line = field.toUInt(nullptr, 16);
    // "Run / Resume" sends line 0: a paused program goes on where it stopped.
    if (m_state.runMode == RunMode::Paused && line == 0)
        m_executor.resume(m_state, m_nowMs);
    else
        m_executor.start(m_state, line, m_nowMs);
    return std::nullopt;
}

std::optional<QByteArray> BoardEngine::cmdPause(const QByteArray &)
{
    m_executor.pause(m_state, m_nowMs);
    return std::nullopt;
}

// ---------------------------------------------------------------- flash

std::optional<QByteArray> BoardEngine::cmdReadPage(const QByteArray &packet)
{
    // The console waits for 528 characters: a refused page number gets a
    // long reply instead, which the console takes as a failed read.
    const QByteArray field = columns(packet, 7, 11);
    const int page = allOf(field, isDecimalDigit) ? field.toInt() : -1;
    if (page < 0 || page >= BoardState::FlashPages)
        return longReply("R14", field, '1');
    return m_state.page(page).toHex().toUpper();
}

std::optional<QByteArray> BoardEngine::cmdEraseFlash(const QByteArray &)
{
    m_state.flash.fill(char(0xFF));
    return longReply("R17", "FLASH ERASED", '0');
}

} // namespace pvelm::sim
