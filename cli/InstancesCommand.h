#pragma once
// The instances command: the line the About box's Confirm would send, with
// some instances changed and the others as the device reports them.
#include "cli/ControlTool.h"
#include "core/InstanceManagement.h"
#include "core/Reports.h"

#include <QString>
#include <QStringList>
#include <array>

namespace cli {

// device::InstanceFromText for a command-line text: "0".."15" give their
// number, anything else 255 (leave the instance unchanged).
uint8_t InstanceFromText(const QString& text);

// The values given by NAME=VALUE assignments, in line order, by the About
// box's rule; none for an instance not named.
device::GivenInstances GivenInstances(const QStringList& assignments);

std::unique_ptr<CCommand> MakeInstances(CControlTool& tool);

} // namespace cli
