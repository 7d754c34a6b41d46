#pragma once

#include "compiler/sourcemap.h"

#include <optional>

#include <QString>

namespace pvelm::compiler {

// The source map of the last compile, kept beside the compiler's work files
// so that a later run (velm monitor) can name the statement behind the line
// the board reports.
inline constexpr char kSourceMapFile[] = "sourcemap.tmp";

struct SavedSourceMap
{
    QString source; // host path of the script the map belongs to
    SourceLineMap lines;
};

// The file: "source PATH", then one "PROGRAMLINE SOURCELINE" line (decimal)
// for every program line the compile wrote, lines ending in CR LF. Written
// whole or not at all; false with the system's reason in *why.
bool saveSourceMap(const QString &hostPath, const QString &sourceHostPath, const SourceLineMap &map,
                   QString *why = nullptr);

// Reads a map saved by saveSourceMap; nothing when there is none, or when
// the file is not one (a map is never half believed).
std::optional<SavedSourceMap> loadSourceMap(const QString &hostPath);

} // namespace pvelm::compiler
