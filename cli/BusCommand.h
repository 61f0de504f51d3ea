#pragma once
// bus: reads the device's NMEA 2000 output from a CAN adapter on its bus
// and checks every field against what the model computes for the level and
// modes the serial side reports.
#include "cli/ControlTool.h"

namespace cli {

std::unique_ptr<CCommand> MakeBus(CControlTool& tool);

// What is wrong with bus's --can and arguments, or an empty text.
QString BusProblem(const Request& request);

} // namespace cli
