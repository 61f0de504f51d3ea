#pragma once
// The commands that print what the device reports: identify, watch, traffic.
#include "cli/ControlTool.h"

namespace cli {

std::unique_ptr<CCommand> MakeIdentify(CControlTool& tool);
std::unique_ptr<CCommand> MakeWatch(CControlTool& tool);
std::unique_ptr<CCommand> MakeTraffic(CControlTool& tool);

} // namespace cli
