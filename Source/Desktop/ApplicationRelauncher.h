#pragma once

#include <QString>
#include <QStringList>

namespace Corvalle::Desktop {

// The shell's arguments that wait a tenth of a second and then start the program again:
// "-c", "sleep 0.100000; exec \"$0\"" and the program's path. The path travels as the shell's
// $0, never inside the command text, so no character of it can be taken as shell syntax.
QStringList RelaunchArguments(const QString& programPath);

// Starts "/bin/sh" with RelaunchArguments(programPath) as a process that outlives this one.
// False when the shell could not be started.
bool RelaunchApplication(const QString& programPath);

// Ends the process at once, with the logs flushed, without waiting for the search threads and
// without running destructors that would wait for them or pull state from under them.
[[noreturn]] void TerminateApplication();

}  // namespace Corvalle::Desktop
