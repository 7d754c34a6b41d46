#pragma once

#include <memory>

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

namespace pvelm::compiler {

// Splits single-byte text into lines ending at CR LF, LF or CR. A last line
// without an end still counts; an empty text has no lines.
QList<QByteArray> splitLines(const QByteArray &text);
// The same lines, pointing into `text` rather than copied: `text` must stay
// alive and unchanged while they are used.
QList<QByteArray> splitLinesInPlace(const QByteArray &text);

// Writes lines ended by CR LF. Without an open file the lines collect in
// memory (pending()), which is how the compiler's tests look at them.
class LineWriter
{
public:
    ~LineWriter();
    // Creates the file anew (replacing an old one); false when it cannot.
    bool create(const QString &hostPath, QString *why);
    void line(const QByteArray &text);
    // The same as line(first + separator + second), without the temporary.
    void line(const QByteArray &first, char separator, const QByteArray &second);
    // Writes what is buffered and closes; false when a write failed.
    bool close(QString *why = nullptr);
    void discard();
    bool isOpen() const { return m_file != nullptr; }
    const QByteArray &pending() const { return m_buffer; }

private:
    bool flushBuffer();

    std::unique_ptr<QFile> m_file;
    QByteArray m_buffer;
    bool m_writeFailed = false;
};

// Reads a whole file; false (with the reason) when it cannot be opened or
// read. A folder is not a file.
bool readWholeFile(const QString &hostPath, QByteArray *bytes, QString *why, qint64 limit = -1);

} // namespace pvelm::compiler
