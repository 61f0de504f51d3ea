#pragma once
// brendlowctl's command line: the options, read into a request.
#include "cli/CommandTable.h"
#include "cli/Request.h"

#include <QStringList>

namespace cli {

struct ParsedLine {
    Request request;
    const CommandSpec* command = nullptr;
    // The exit code when the run ends here (--help, bad arguments); -1 to go on.
    int exitCode = -1;
    QString port; // --port as given, empty without it
};

ParsedLine ParseCommandLine(const QStringList& arguments);

// Decides which port a device command opens: --port, else the port the
// terminal remembers in the data folder, else COM1. Returns the exit code
// for a bad --port, or -1.
int ChoosePort(ParsedLine& parsed, const QString& dataFolder);

} // namespace cli
