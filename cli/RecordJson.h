#pragma once
// The JSON forms of what the device reports, as brendlowctl writes them.
#include "core/Reports.h"
#include "session/CDeviceSession.h"
#include "session/Traffic.h"

#include <QByteArray>
#include <QJsonObject>
#include <optional>

namespace cli {

// A number as a text shows it, as a JSON number with no more digits than
// the text: "21.99" gives 21.99, "600000" gives 600000.
QJsonValue NumberJson(const QString& shown);

// What a record holds for the address claims or the instances while the
// device has not reported them.
inline constexpr char kNotReported[] = "not reported yet";

QJsonObject IdentityJson(const session::DeviceIdentity& identity, const QString& port);

// One line of JSON Lines: the level, the modes, every read-out and text box
// as the panel shows them, the address claims and the instances
// (kNotReported until reported). Times and values are written with the
// digits the texts show.
QByteArray LevelRecord(double time, const session::LevelStatus& status,
                       const std::optional<proto::AddressClaim>& claims,
                       const std::optional<proto::InstanceReport>& instances);

QJsonObject InstancesJson(const proto::InstanceReport& report);
// "engine=0 fuel=1 ... sid=5".
QByteArray InstancesText(const proto::InstanceReport& report);

QJsonObject TrafficJson(const session::TrafficLine& line);

} // namespace cli
