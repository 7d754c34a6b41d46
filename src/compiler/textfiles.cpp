#include "compiler/textfiles.h"

#include "settings/safesave.h"

#include <QFile>
#include <QFileInfo>

namespace pvelm::compiler {

namespace {
// Large enough that a script at the board's limits costs a handful of writes.
constexpr qsizetype kWriteChunk = 1 << 18;
} // namespace

QList<QByteArray> splitLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    forEachLine(text, [&lines](const QByteArray &line) {
        lines.append(QByteArray(line.constData(), line.size()));
        return true;
    });
    return lines;
}

QList<QByteArray> splitLinesInPlace(const QByteArray &text)
{
    QList<QByteArray> lines;
    forEachLine(text, [&lines](const QByteArray &line) {
        lines.append(line);
        return true;
    });
    return lines;
}

LineWriter::~LineWriter()
{
    close();
}

bool LineWriter::create(const QString &hostPath, QString *why, SaveFile::Sync sync)
{
    discard();
    auto file = std::make_unique<SaveFile>(hostPath, sync);
    if (QFileInfo(hostPath).isDir() || !file->open()) {
        if (why)
            *why = QStringLiteral("cannot create %1: %2")
                       .arg(hostPath,
                            QFileInfo(hostPath).isDir() ? QStringLiteral("it is a folder") : file->errorString());
        return false;
    }
    m_file = std::move(file);
    m_writeFailed = false;
    // Nothing reserved: the buffer grows as lines come, to about one chunk,
    // and keeps that allocation while the file is written, so a file of a
    // few lines costs no large allocation.
    return true;
}

void LineWriter::line(const QByteArray &text)
{
    lineParts({text});
}

void LineWriter::line(const QByteArray &first, char separator, const QByteArray &second)
{
    lineParts({first, QByteArrayView(&separator, 1), second});
}

void LineWriter::lineParts(std::initializer_list<QByteArrayView> parts)
{
    qsizetype length = 2;
    for (QByteArrayView part : parts)
        length += part.size();
    qsizetype at = m_buffer.size();
    m_buffer.resize(at + length);
    char *out = m_buffer.data();
    for (QByteArrayView part : parts) {
        if (!part.isEmpty())
            std::memcpy(out + at, part.data(), size_t(part.size()));
        at += part.size();
    }
    out[at] = '\r';
    out[at + 1] = '\n';
    if (m_file && m_buffer.size() >= kWriteChunk)
        flushBuffer();
}

bool LineWriter::flushBuffer()
{
    if (!m_file || m_buffer.isEmpty())
        return !m_writeFailed;
    if (!m_writeFailed && !m_file->write(m_buffer))
        m_writeFailed = true;
    m_buffer.resize(0); // keeps the allocation for the next chunk
    return !m_writeFailed;
}

bool LineWriter::close(QString *why)
{
    if (!m_file)
        return true;
    const bool ok = flushBuffer() && m_file->commit();
    if (!ok && why)
        *why = QStringLiteral("cannot write %1: %2").arg(m_file->target(), m_file->errorString());
    m_file.reset();
    return ok;
}

void LineWriter::discard()
{
    close();
    m_buffer.clear();
    m_writeFailed = false;
}

namespace {

enum class Bounded { Ok, CannotRead, TooLarge };

Bounded readBounded(const QString &hostPath, QByteArray *bytes, QString *why, qint64 limit, const char *tooLarge)
{
    bytes->clear();
    if (QFileInfo(hostPath).isDir()) {
        *why = QStringLiteral("cannot open %1: it is a folder").arg(hostPath);
        return Bounded::CannotRead;
    }
    QFile f(hostPath);
    if (!f.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot open %1: %2").arg(hostPath, f.errorString());
        return Bounded::CannotRead;
    }
    const auto refuse = [&] {
        *why = QString::fromLatin1(tooLarge).arg(hostPath).arg(limit);
        bytes->clear();
        bytes->squeeze();
        return Bounded::TooLarge;
    };
    if (limit >= 0 && !f.isSequential() && f.size() > limit)
        return refuse();
    if (!f.isSequential() && f.size() > 0)
        bytes->reserve(f.size());
    // Devices and pipes report no size, and a file may grow while it is
    // read: pieces until the end, or until one byte past the limit.
    constexpr qint64 kPiece = 1 << 16;
    for (;;) {
        const qint64 want = limit >= 0 ? qMin(kPiece, limit + 1 - bytes->size()) : kPiece;
        const qsizetype at = bytes->size();
        bytes->resize(at + want);
        const qint64 got = f.read(bytes->data() + at, want);
        bytes->resize(at + qMax<qint64>(got, 0));
        if (got < 0) {
            *why = QStringLiteral("cannot read %1: %2").arg(hostPath, f.errorString());
            return Bounded::CannotRead;
        }
        if (limit >= 0 && bytes->size() > limit)
            return refuse();
        if (got == 0)
            return Bounded::Ok;
    }
}

// What an 8-bit script must not be: the name of the encoding a byte-order
// mark or NUL bytes give away, or nothing.
QString wideEncoding(const QByteArray &bytes)
{
    if (bytes.startsWith(QByteArrayView("\xFF\xFE\0\0", 4)) || bytes.startsWith(QByteArrayView("\0\0\xFE\xFF", 4)))
        return QStringLiteral("UTF-32 text (it begins with a byte-order mark)");
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return QStringLiteral("UTF-16 text (it begins with a byte-order mark)");
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        return QStringLiteral("not 8-bit text: it holds NUL bytes (the first at byte %1), as UTF-16 or UTF-32 text "
                              "does")
            .arg(nul);
    return QString();
}

} // namespace

bool readWholeFile(const QString &hostPath, QByteArray *bytes, QString *why, qint64 limit, const char *tooLarge)
{
    return readBounded(hostPath, bytes, why, limit, tooLarge) == Bounded::Ok;
}

ScriptRead readScriptFile(const QString &hostPath, QByteArray *bytes, QString *why)
{
    switch (readBounded(hostPath, bytes, why, kMaxScriptBytes,
                        "%1 is larger than any program the board can hold (%2 bytes)")) {
    case Bounded::CannotRead:
        return ScriptRead::CannotOpen;
    case Bounded::TooLarge:
        return ScriptRead::Refused;
    case Bounded::Ok:
        break;
    }
    const QString wide = wideEncoding(*bytes);
    if (!wide.isEmpty()) {
        *why = QStringLiteral("%1 is %2; save it as 8-bit text (ANSI or UTF-8)").arg(hostPath, wide);
        bytes->clear();
        return ScriptRead::Refused;
    }
    // A UTF-8 byte-order mark is no part of the first statement.
    if (bytes->startsWith("\xEF\xBB\xBF"))
        bytes->remove(0, 3);
    return ScriptRead::Ok;
}

} // namespace pvelm::compiler
