#pragma once
// brendlowctl's commands: their names, what arguments each takes, their
// help texts and which part of the tool runs each.
#include "cli/ControlTool.h"
#include "cli/Request.h"

#include <QString>
#include <QStringList>

namespace cli {

struct CommandSpec {
    const char* name;
    const char* synopsis; // as --help lists it: "level N"
    const char* help;     // further lines go under the first
    // The names its NAME argument takes, listed under the help; or nullptr.
    const QStringList& (*names)();
    // What is wrong with the request's arguments, or an empty text.
    QString (*problem)(const Request& request);
    // A command on the device, made when the session runs.
    CommandFactory make;
    // A command with no device: runs at once and returns the exit code;
    // with `make` too, -1 goes on to the device.
    int (*runAlone)(const Request& request, const QString& dataFolder);
};

// What every message about an argument says: `--count: expected a whole
// number, got "x"`; `what` names the option or argument at fault.
QString Expected(const QString& what, const QString& expected, const QString& got);

// The command of that name, or nullptr.
const CommandSpec* FindCommand(const QString& name);

// "identify, watch, ...".
QString CommandNames();

// The commands part of --help: a line per command, its synopsis in the
// first column.
QString CommandsHelp();

} // namespace cli
