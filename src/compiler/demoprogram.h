#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pvelm::compiler {

// A small pick-and-place program that compiles without errors: what a
// newcomer finds in the source file on the virtual board.
QByteArray demoProgram();

// Writes the demo program (CR LF line ends) to `path` (a Windows or host
// path) when no file of that name exists yet. True when it was written;
// false when a file was there already or it could not be written (`why`).
bool installDemoProgram(const QString &path, QString *why = nullptr);

// Compiles the demo program in a folder of its own (the operator's work
// files stay as they are) and gives the page lines of its temp hex file,
// as a download sends them. False, with the reason, when it did not compile.
bool compileDemoProgram(QList<QByteArray> *pageLines, QString *why = nullptr);

} // namespace pvelm::compiler
