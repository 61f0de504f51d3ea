#pragma once
// The instances command: the line the About box's Confirm would send, with
// some instances changed and the others as the device reports them.
#include "cli/ControlTool.h"
#include "core/Reports.h"

#include <QString>
#include <QStringList>
#include <array>

namespace cli {

// device::InstanceFromText for a command-line text: "0".."15" give their
// number, anything else 255 (leave the instance unchanged).
uint8_t InstanceFromText(const QString& text);

// The texts given by NAME=VALUE assignments, in line order; empty for an
// instance not named.
std::array<QString, 8> GivenInstances(const QStringList& assignments);

// The instance line: each named instance as given, each other one as the
// device reports it now, both by the About box's rule, so that a value the
// device reports above 15 goes out as 255 and stays as it is.
std::array<uint8_t, 8> InstanceLine(const proto::InstanceReport& current,
                                    const std::array<QString, 8>& given);

std::unique_ptr<CCommand> MakeInstances(CControlTool& tool);

} // namespace cli
