#include "cli/RecordJson.h"

#include "cli/Output.h"
#include "core/InstanceManagement.h"
#include "session/PanelSnapshot.h"
#include "session/TrafficLog.h"

#include <QJsonArray>
#include <array>
#include <cmath>

namespace cli {

namespace {

QJsonObject EntryJson(const panel::SnapshotEntry& e) {
    return {{"id", e.entry->controlId},
            {"caption", QString::fromLatin1(e.entry->caption)},
            {"text", e.text}};
}

// The read-outs and text boxes depend on the level and the Warnings mode
// alone, and a flood brings hundreds of records a second: they are written
// once for each.
const QByteArray& PanelJson(uint8_t level, bool warnings) {
    static std::array<std::array<QByteArray, 101>, 2> cache;
    const uint8_t shown = level > 100 ? 100 : level;
    QByteArray& json = cache[warnings ? 1 : 0][shown];
    if (!json.isEmpty())
        return json;
    const panel::PanelSnapshot snapshot = panel::SnapshotAt(shown, warnings);
    QJsonArray readouts, texts;
    for (const panel::SnapshotEntry& r : snapshot.readouts) {
        QJsonObject o = EntryJson(r);
        o.insert("value", NumberJson(panel::ReadoutNumber(r.value, r.entry->decimals)));
        o.insert("unit", panel::UnitName(*r.entry));
        o.insert("pgn", qint64(r.entry->source.pgn));
        o.insert("raw", qint64(r.raw));
        if (r.alternate)
            o.insert("alternate", true);
        readouts.append(o);
    }
    for (const panel::SnapshotEntry& t : snapshot.texts)
        texts.append(EntryJson(t));
    json = CompactJson({{"readouts", readouts}, {"texts", texts}});
    return json;
}

QJsonValue ClaimsJson(const std::optional<proto::AddressClaim>& claims) {
    if (!claims)
        return QLatin1String(kNotReported);
    return QJsonObject{
        {"engine", QString::fromStdString(proto::EngineSaText(*claims))},
        {"transmission", QString::fromStdString(proto::TransmissionSaText(*claims))}};
}

} // namespace

QJsonValue NumberJson(const QString& shown) {
    const double value = shown.toDouble();
    // Whole numbers as integers, so that however a JSON writer treats
    // doubles, 600000 never comes out as 6e+05 or 600000.0.
    if (value == std::floor(value) && std::abs(value) < 1e15)
        return qint64(value);
    return value;
}

QJsonObject IdentityJson(const session::DeviceIdentity& identity, const QString& port) {
    return {{"product", identity.product},
            {"productCode", identity.productCode},
            {"firmware", identity.firmware.trimmed()},
            {"serial", qint64(identity.serialNumber)},
            {"port", port}};
}

QByteArray LevelRecord(double time, const session::LevelStatus& status,
                       const std::optional<proto::AddressClaim>& claims,
                       const std::optional<proto::InstanceReport>& instances) {
    const QJsonObject record{{"time", NumberJson(session::FormatSeconds(time))},
                             {"level", status.level},
                             {"modes", QJsonObject{{"dynamic", status.modes.dynamic},
                                                   {"quiet", status.modes.quiet},
                                                   {"warnings", status.modes.warnings}}},
                             {"claims", ClaimsJson(claims)},
                             {"instances", instances ? QJsonValue(InstancesJson(*instances))
                                                     : QJsonValue(QLatin1String(kNotReported))}};
    return JsonLine(record, PanelJson(status.level, status.modes.warnings));
}

QJsonObject InstancesJson(const proto::InstanceReport& report) {
    QJsonObject o;
    const std::array<uint8_t, 8> values = device::InstancesInLineOrder(report);
    for (size_t i = 0; i < values.size(); ++i)
        o.insert(QLatin1String(device::kInstanceFields[i].name), values[i]);
    o.insert("sid", report.sid);
    return o;
}

QByteArray InstancesText(const proto::InstanceReport& report) {
    QByteArray text;
    const std::array<uint8_t, 8> values = device::InstancesInLineOrder(report);
    for (size_t i = 0; i < values.size(); ++i)
        text +=
            QByteArray(device::kInstanceFields[i].name) + '=' + QByteArray::number(values[i]) + ' ';
    return text + "sid=" + QByteArray::number(report.sid);
}

QJsonObject TrafficJson(const session::TrafficLine& line) {
    return {{"time", NumberJson(session::FormatTime(line))},
            {"dir", line.sent ? "TX" : "RX"},
            {"verdict", session::VerdictName(line.verdict)},
            {"text", QString::fromLatin1(session::VisibleText(line.bytes))}};
}

} // namespace cli
