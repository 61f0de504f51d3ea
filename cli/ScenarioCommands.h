#pragma once
// play and record: scenario files against the device.
#include "cli/ControlTool.h"

namespace cli {

QString PlayProblem(const Request& request);
QString RecordProblem(const Request& request);
// Reads and checks the file before any port is opened: a file with any
// error sends nothing. With --check prints the plan; else -1, to play it.
int CheckScenario(const Request& request, const QString& dataFolder);
std::unique_ptr<CCommand> MakePlay(CControlTool& tool);
std::unique_ptr<CCommand> MakeRecord(CControlTool& tool);

} // namespace cli
