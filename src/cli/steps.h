#pragma once

// The steps that more than one velm command takes: `velm go` is a compile,
// a download, a run and a monitor, each as its own command does it.

#include <QString>

namespace pvelm::cli {

struct Invocation;

// Compiles `source` into the settings' temp hex file (or the --list, --hex
// and --premerged of `inv`) and prints every error and warning as
// FILE:LINE: KIND: TEXT, the failure messages and, with printReport, the
// report. Leaves the source map for velm monitor. Returns the number of
// errors the report counts, or -1 when the compile failed or was refused.
int compileStep(const Invocation &inv, const QString &source, bool printReport);

// Writes every page line of the file at `path` into flash, with progress on
// standard error under `label` ("download"); prints the outcome. An exit
// status.
int downloadStep(Invocation &inv, const QString &path, const char *failureText, const QString &label);

// Prints the status reports until they stop, as velm monitor does (with
// --changes only those that differ from the last printed). An exit status.
int monitorStep(Invocation &inv);

} // namespace pvelm::cli
