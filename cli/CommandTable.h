#pragma once
// brendlowctl's commands: their names, what arguments each takes, their
// help texts and which part of the tool runs each.
#include "cli/ControlTool.h"
#include "cli/Request.h"

#include <QString>

namespace cli {

struct CommandSpec {
    const char* name;
    const char* synopsis; // as --help lists it: "level N"
    const char* help;     // further lines go under the first
    // What is wrong with the request's arguments, or an empty text.
    QString (*problem)(const Request& request);
    // A command on the device, made when the session runs.
    CommandFactory make;
    // A command with no device: runs at once and returns the exit code.
    int (*runAlone)(const Request& request, const QString& dataFolder);
};

// The command of that name, or nullptr.
const CommandSpec* FindCommand(const QString& name);

// "identify, watch, ...".
QString CommandNames();

// The commands part of --help: a line per command, its synopsis in the
// first column.
QString CommandsHelp();

} // namespace cli
