#pragma once

#include "settings/safesave.h"

#include <cstring>
#include <initializer_list>
#include <memory>

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace pvelm::compiler {

// Calls `fn(line)` for each line of single-byte text, ending at CR LF, LF
// or CR, until it returns false; the lines point into `text` and are not
// copied. A last line without an end still counts; an empty text has none.
// False when `fn` stopped early.
template <typename Fn> bool forEachLine(const QByteArray &text, Fn &&fn)
{
    const char *data = text.constData();
    const qsizetype size = text.size();
    // The next CR and the next LF at or after `start`, each found with
    // memchr and kept until `start` passes it, so every byte is searched
    // at most twice whatever the line ends are.
    auto next = [data, size](char c, qsizetype from) {
        const void *at = std::memchr(data + from, c, size_t(size - from));
        return at ? static_cast<const char *>(at) - data : size;
    };
    qsizetype nextCr = -1;
    qsizetype nextLf = -1;
    qsizetype start = 0;
    while (start < size) {
        if (nextCr < start)
            nextCr = next('\r', start);
        if (nextLf < start)
            nextLf = next('\n', start);
        qsizetype end = nextCr < nextLf ? nextCr : nextLf;
        if (!fn(QByteArray::fromRawData(data + start, end - start)))
            return false;
        if (end + 1 < size && data[end] == '\r' && data[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return true;
}

// Splits single-byte text into lines ending at CR LF, LF or CR. A last line
// without an end still counts; an empty text has no lines.
QList<QByteArray> splitLines(const QByteArray &text);
// The same lines, pointing into `text` rather than copied: `text` must stay
// alive and unchanged while they are used.
QList<QByteArray> splitLinesInPlace(const QByteArray &text);

// Writes lines ended by CR LF. Without an open file the lines collect in
// memory (pending()), which is how the compiler's tests look at them. The
// file is written through a temporary file beside it (SaveFile) and takes
// its place at close(), only when every byte was written.
class LineWriter
{
public:
    ~LineWriter();
    // Starts the file anew (the old one stays until close()); false when it
    // cannot.
    bool create(const QString &hostPath, QString *why, SaveFile::Sync sync = SaveFile::Sync::Durable);
    void line(const QByteArray &text);
    // The same as line(first + separator + second), without the temporary.
    void line(const QByteArray &first, char separator, const QByteArray &second);
    // One line made of the pieces in order, none of which may point into
    // this writer's buffer.
    void lineParts(std::initializer_list<QByteArrayView> parts);
    // Writes what is buffered and puts the file in place; false, with the
    // old file as it was, when a write failed.
    bool close(QString *why = nullptr);
    void discard();
    bool isOpen() const { return m_file != nullptr; }
    const QByteArray &pending() const { return m_buffer; }

private:
    bool flushBuffer();

    std::unique_ptr<SaveFile> m_file;
    QByteArray m_buffer;
    bool m_writeFailed = false;
};

// Reads a whole file; false (with the reason) when it cannot be opened or
// read. A folder is not a file.
bool readWholeFile(const QString &hostPath, QByteArray *bytes, QString *why, qint64 limit = -1);

} // namespace pvelm::compiler
