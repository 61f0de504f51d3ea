#pragma once
// The commands that drive the device as the window's controls do: level,
// key, sweep. Each waits for the device's acknowledgement.
#include "cli/ControlTool.h"

namespace cli {

std::unique_ptr<CCommand> MakeLevel(CControlTool& tool);
std::unique_ptr<CCommand> MakeKey(CControlTool& tool);
std::unique_ptr<CCommand> MakeSweep(CControlTool& tool);

} // namespace cli
