#pragma once

#include <QByteArray>
#include <QString>

namespace pvelm::compiler {

// A small pick-and-place program that compiles without errors: what a
// newcomer finds in the source file on the virtual board.
QByteArray demoProgram();

// Writes the demo program (CR LF line ends) to `path` (a Windows or host
// path) when no file of that name exists yet. True when it was written;
// false when a file was there already or it could not be written (`why`).
bool installDemoProgram(const QString &path, QString *why = nullptr);

} // namespace pvelm::compiler
