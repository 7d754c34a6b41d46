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

// The largest script the compiler reads. The board holds 32768 program
// lines (2048 pages of 16); even with 512 bytes of statement, comments,
// labels and blank lines for each of them a script stays below this.
inline constexpr qint64 kMaxScriptBytes = qint64(32768) * 512; // 16 MiB

// Reads a whole file in bounded pieces, so a device or a pipe that never
// ends costs at most `limit` + 1 bytes; false (with the reason) when it
// cannot be opened or read, or holds more than `limit` bytes (a regular
// file is refused from its size, before reading). A folder is not a file.
// `tooLarge` words the refusal: %1 the path, %2 the limit.
bool readWholeFile(const QString &hostPath, QByteArray *bytes, QString *why, qint64 limit = -1,
                   const char *tooLarge = "%1 is larger than %2 bytes");

enum class ScriptRead {
    Ok,
    CannotOpen, // missing, a folder, or a read error
    Refused,    // larger than kMaxScriptBytes, or not 8-bit text
};

// Reads a VelmScript file as the compiler, the script editor and velm take
// it: at most kMaxScriptBytes, a UTF-8 byte-order mark dropped, UTF-16 and
// UTF-32 (a byte-order mark or NUL bytes) refused with a message naming the
// file.
ScriptRead readScriptFile(const QString &hostPath, QByteArray *bytes, QString *why);

} // namespace pvelm::compiler
