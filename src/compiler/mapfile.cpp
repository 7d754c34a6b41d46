#include "compiler/mapfile.h"

#include "compiler/textfiles.h"
#include "settings/safesave.h"

#include <limits>

#include <QFile>

namespace pvelm::compiler {

namespace {

constexpr char kSourcePrefix[] = "source ";
// Every program line with a source line and the path: well under this.
constexpr qint64 kMaxMapBytes = 1 << 20;

} // namespace

bool saveSourceMap(const QString &hostPath, const QString &sourceHostPath, const SourceLineMap &map, QString *why)
{
    QByteArray text = kSourcePrefix + QFile::encodeName(sourceHostPath) + "\r\n";
    for (qint64 line = 0; line < SourceLineMap::kProgramLines; ++line) {
        if (const qint64 source = map.sourceLine(line))
            text += QByteArray::number(line) + ' ' + QByteArray::number(source) + "\r\n";
    }
    return saveFile(hostPath, text, why);
}

std::optional<SavedSourceMap> loadSourceMap(const QString &hostPath)
{
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.read(kMaxMapBytes + 1);
    if (text.size() > kMaxMapBytes || !text.startsWith(kSourcePrefix))
        return std::nullopt;
    SavedSourceMap saved;
    bool first = true;
    const bool whole = forEachLine(text, [&](const QByteArray &line) {
        if (first) {
            first = false;
            saved.source = QFile::decodeName(line.mid(qsizetype(sizeof kSourcePrefix) - 1));
            return !saved.source.isEmpty();
        }
        const QList<QByteArray> fields = line.split(' ');
        bool lineOk = false;
        bool sourceOk = false;
        const qint64 program = fields.value(0).toLongLong(&lineOk);
        const qint64 source = fields.value(1).toLongLong(&sourceOk);
        if (fields.size() != 2 || !lineOk || !sourceOk || program < 0 || program >= SourceLineMap::kProgramLines ||
            source <= 0 || source > std::numeric_limits<qint32>::max())
            return false;
        saved.lines.record(program, source, false);
        return true;
    });
    if (!whole)
        return std::nullopt;
    return saved;
}

} // namespace pvelm::compiler
