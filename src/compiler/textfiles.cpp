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

bool readWholeFile(const QString &hostPath, QByteArray *bytes, QString *why, qint64 limit)
{
    const QFileInfo info(hostPath);
    if (info.isDir()) {
        *why = QStringLiteral("cannot open %1: it is a folder").arg(hostPath);
        return false;
    }
    QFile f(hostPath);
    if (!f.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot open %1: %2").arg(hostPath, f.errorString());
        return false;
    }
    if (limit >= 0 && f.size() > limit) {
        *why = QStringLiteral("%1 is too large (%2 bytes)").arg(hostPath).arg(f.size());
        return false;
    }
    *bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        *why = QStringLiteral("cannot read %1: %2").arg(hostPath, f.errorString());
        return false;
    }
    return true;
}

} // namespace pvelm::compiler
