#pragma once
// The ports command: assigning or removing port links as the Serial Ports
// dialog does, then what each COMn opens and the system's serial ports.
#include "cli/Request.h"

namespace cli {

int RunPorts(const Request& request, const QString& dataFolder);

} // namespace cli
