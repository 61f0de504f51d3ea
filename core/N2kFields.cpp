#include "core/N2kFields.h"

#include "core/InstanceManagement.h"

#include <cstring>
#include <string_view>

namespace n2k {

namespace {

// A device instance by its name in the device's instance list, so the list's
// order stays written in one place.
int32_t InstanceOf(std::string_view name) {
    for (size_t i = 0; i < device::kInstanceFields.size(); ++i)
        if (name == device::kInstanceFields[i].name)
            return static_cast<int32_t>(i);
    return -1;
}

constexpr Field U(const char* name, uint16_t offset, uint8_t width, Origin origin,
                  int32_t arg = 0) {
    return {name, offset, width, false, origin, arg};
}
constexpr Field S(const char* name, uint16_t offset, uint8_t width, Origin origin,
                  int32_t arg = 0) {
    return {name, offset, width, true, origin, arg};
}
// A field the panel shows: `id` is its control id.
constexpr Field PU(const char* name, uint16_t offset, uint8_t width, int id) {
    return U(name, offset, width, Origin::Panel, id);
}
constexpr Field PS(const char* name, uint16_t offset, uint8_t width, int id) {
    return S(name, offset, width, Origin::Panel, id);
}
constexpr Field Sid(uint16_t offset) {
    return U("sid", offset, 8, Origin::Sid);
}
constexpr Field Reserved(uint16_t offset, uint8_t width) {
    return U("reserved", offset, width, Origin::Reserved);
}
Field Instance(uint16_t offset, uint8_t width, std::string_view device) {
    return U("instance", offset, width, Origin::Instance, InstanceOf(device));
}

// The gearbox is named by the engine it sits on: 127493 carries the engine
// instance, as 127488 and 127489 do.
const Field kEngineRapid[] = {
    Instance(0, 8, "engine"),    PU("speed", 8, 16, 1035), PU("boostPressure", 24, 16, 1049),
    PS("tiltTrim", 40, 8, 1048), Reserved(48, 16),
};
const Field kEngineDynamic[] = {
    Instance(0, 8, "engine"),
    PU("oilPressure", 8, 16, 1037),
    PU("oilTemperature", 24, 16, 1046),
    PU("temperature", 40, 16, 1039),
    PS("alternatorPotential", 56, 16, 1040),
    PS("fuelRate", 72, 16, 1041),
    PU("totalEngineHours", 88, 32, 1042),
    PU("coolantPressure", 120, 16, 1047),
    PU("fuelPressure", 136, 16, 1043),
    Reserved(152, 8),
    PU("discreteStatus1", 160, 16, 1033),
    PU("discreteStatus2", 176, 16, 1036),
    PS("engineLoad", 192, 8, 1045),
    PS("engineTorque", 200, 8, 1050),
};
const Field kTransmission[] = {
    Instance(0, 8, "engine"),
    PU("transmissionGear", 8, 2, 1064),
    Reserved(10, 6),
    PU("oilPressure", 16, 16, 1065),
    PU("oilTemperature", 32, 16, 1066),
    PU("discreteStatus1", 48, 8, 1034),
    Reserved(56, 8),
};
// Tank types: 0 fuel, 2 waste (gray) water, 5 black water.
const Field kFuelTank[] = {
    Instance(0, 4, "fuel"),   U("type", 4, 4, Origin::Constant, 0),
    PS("level", 8, 16, 1055), PU("capacity", 24, 32, 1056),
    Reserved(56, 8),
};
const Field kWasteTank[] = {
    Instance(0, 4, "wwater"), U("type", 4, 4, Origin::Constant, 2),
    PS("level", 8, 16, 1067), PU("capacity", 24, 32, 1080),
    Reserved(56, 8),
};
const Field kBlackTank[] = {
    Instance(0, 4, "bwater"), U("type", 4, 4, Origin::Constant, 5),
    PS("level", 8, 16, 1063), PU("capacity", 24, 32, 1079),
    Reserved(56, 8),
};
const Field kBattery[] = {
    Instance(0, 8, "battery"),
    PS("voltage", 8, 16, 1053),
    PS("current", 24, 16, 1057),
    PU("temperature", 40, 16, 1062),
    Sid(56),
};
// Source 14: exhaust gas temperature.
const Field kExhaust[] = {
    Sid(0),
    Instance(8, 8, "exhaust"),
    U("source", 16, 8, Origin::Constant, 14),
    PU("temperature", 24, 24, 1054),
    U("setTemperature", 48, 16, Origin::NotAvailable),
};
const Field kSpeed[] = {
    Sid(0),
    PU("speedWaterReferenced", 8, 16, 1051),
    U("speedGroundReferenced", 24, 16, Origin::NotAvailable),
    PU("speedWaterReferencedType", 40, 8, 1044),
    PU("speedDirection", 48, 4, 1052),
    Reserved(52, 12),
};
const Field kDistanceLog[] = {
    PU("date", 0, 16, 1061),
    PU("time", 16, 32, 1060),
    PU("log", 48, 32, 1059),
    PU("tripLog", 80, 32, 1058),
};
const Field kRudder[] = {
    Instance(0, 8, "rudder"),       PU("directionOrder", 8, 3, 1038), Reserved(11, 5),
    PS("angleOrder", 16, 16, 1071), PS("position", 32, 16, 1070),     Reserved(48, 16),
};
const Field kSmallCraft[] = {
    PS("portTrimTab", 0, 8, 1068),
    PS("starboardTrimTab", 8, 8, 1069),
    Reserved(16, 48),
};
const Field kDepth[] = {
    Sid(0),
    PU("depth", 8, 32, 1076),
    PS("offset", 40, 16, 1075),
    PU("range", 56, 8, 1074),
};
const Field kCogSog[] = {
    Sid(0),
    PU("cogReference", 8, 2, 1083),
    Reserved(10, 6),
    PU("cog", 16, 16, 1081),
    PU("sog", 32, 16, 1082),
    Reserved(48, 16),
};
const Field kPosition[] = {
    PS("latitude", 0, 32, 1073),
    PS("longitude", 32, 32, 1078),
};

constexpr Field kNameFields[] = {
    U("uniqueNumber", 0, 21, Origin::Given),
    U("manufacturerCode", 21, 11, Origin::Given),
    U("deviceInstanceLower", 32, 3, Origin::Given),
    U("deviceInstanceUpper", 35, 5, Origin::Given),
    U("deviceFunction", 40, 8, Origin::Given),
    U("spare", 48, 1, Origin::Reserved),
    U("deviceClass", 49, 7, Origin::Given),
    U("systemInstance", 56, 4, Origin::Given),
    U("industryGroup", 60, 3, Origin::Given),
    U("arbitraryAddressCapable", 63, 1, Origin::Given),
};
constexpr Field kRequestFields[] = {U("pgn", 0, 24, Origin::Given)};

constexpr uint16_t kOnRequest = 0;

} // namespace

// Priorities and intervals are the public PGN database's defaults; it names
// no interval for 130316, where we send every two seconds.
const std::array<Group, kGroupCount> kGroups{{
    {127488, 2, 100, Node::Engine, 8, kEngineRapid},
    {127489, 2, 500, Node::Engine, 26, kEngineDynamic},
    {127493, 2, 100, Node::Transmission, 8, kTransmission},
    {127505, 6, 2500, Node::Engine, 8, kFuelTank},
    {127505, 6, 2500, Node::Engine, 8, kWasteTank},
    {127505, 6, 2500, Node::Engine, 8, kBlackTank},
    {127508, 6, 1500, Node::Engine, 8, kBattery},
    {130316, 5, 2000, Node::Engine, 8, kExhaust},
    {128259, 2, 1000, Node::Engine, 8, kSpeed},
    {128275, 6, 1000, Node::Engine, 14, kDistanceLog},
    {127245, 2, 100, Node::Engine, 8, kRudder},
    {130576, 2, 200, Node::Engine, 8, kSmallCraft},
    {128267, 3, 1000, Node::Engine, 8, kDepth},
    {129026, 2, 250, Node::Engine, 8, kCogSog},
    {129025, 2, 100, Node::Engine, 8, kPosition},
}};

// Either node sends these; `node` does not apply.
const Group kAddressClaim{60928, 6, kOnRequest, Node::Engine, 8, kNameFields};
const Group kIsoRequest{59904, 6, kOnRequest, Node::Engine, 3, kRequestFields};

int64_t NotAvailable(const Field& f) {
    const uint64_t ones = (uint64_t{1} << f.width) - 1;
    return static_cast<int64_t>(f.isSigned ? ones >> 1 : ones);
}

void PutField(uint8_t* payload, const Field& f, int64_t value) {
    const auto bits = static_cast<uint64_t>(value);
    for (int i = 0; i < f.width; ++i) {
        const int at = f.offset + i;
        const auto mask = static_cast<uint8_t>(1u << (at % 8));
        if ((bits >> i) & 1u)
            payload[at / 8] |= mask;
        else
            payload[at / 8] &= static_cast<uint8_t>(~mask);
    }
}

int64_t GetField(const uint8_t* payload, const Field& f) {
    uint64_t bits = 0;
    for (int i = 0; i < f.width; ++i) {
        const int at = f.offset + i;
        bits |= static_cast<uint64_t>((payload[at / 8] >> (at % 8)) & 1u) << i;
    }
    if (f.isSigned && ((bits >> (f.width - 1)) & 1u))
        bits |= ~uint64_t{0} << f.width;
    return static_cast<int64_t>(bits);
}

const Field* FindField(const Group& group, const char* name) {
    for (const Field& f : group.fields)
        if (std::strcmp(f.name, name) == 0)
            return &f;
    return nullptr;
}

} // namespace n2k
