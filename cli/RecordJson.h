#pragma once
// The JSON forms of what the device reports, as brendlowctl writes them.
#include "core/Reports.h"
#include "session/CDeviceSession.h"
#include "session/Traffic.h"

#include <QByteArray>
#include <QJsonObject>
#include <optional>

namespace cli {

QJsonObject IdentityJson(const session::DeviceIdentity& identity, const QString& port);

// One line of JSON Lines: the level, the modes, every read-out and text box
// as the panel shows them, the address claims and the instances (null
// until reported).
QByteArray LevelRecord(double time, const session::LevelStatus& status,
                       const std::optional<proto::AddressClaim>& claims,
                       const std::optional<proto::InstanceReport>& instances);

QJsonObject InstancesJson(const proto::InstanceReport& report);
// "engine=0 fuel=1 ... sid=5".
QByteArray InstancesText(const proto::InstanceReport& report);

QJsonObject TrafficJson(const session::TrafficLine& line);

} // namespace cli
