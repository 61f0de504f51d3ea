// Hex pairs, line checksums, and the parameter model's raw values.
//
// The input is a line's covered bytes; its first byte is also a level and the
// low bit of its second byte the Warnings mode.
#include "core/HexPair.h"
#include "core/ParameterModel.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

bool IsDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

void CheckPairs(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const proto::HexPair pair = proto::EncodeHexPair(data[i]);
        Check(IsDigit(pair.first) && IsDigit(pair.second));
        Check(proto::DecodeHexPair(static_cast<uint8_t>(pair.first),
                                   static_cast<uint8_t>(pair.second)) == data[i]);
    }
    // Any two characters decode by the rule, digits or not.
    for (size_t i = 0; i + 1 < size; ++i) {
        const uint8_t c1 = data[i];
        const uint8_t c2 = data[i + 1];
        const unsigned high = c2 >= 'A' ? (c2 + 9u) * 16u : c2 * 16u;
        const unsigned low = c1 >= 'A' ? c1 - 0x37u : c1 - 0x30u;
        Check(proto::DecodeHexPair(c1, c2) == static_cast<uint8_t>(high + low));
    }
}

void CheckChecksum(const uint8_t* data, size_t size) {
    if (size == 0 || size > 1000)
        return;
    std::vector<uint8_t> line(data, data + size);
    const proto::HexPair pair = proto::EncodeHexPair(proto::LineChecksum(data, size));
    line.push_back(static_cast<uint8_t>(pair.first));
    line.push_back(static_cast<uint8_t>(pair.second));
    const int k = static_cast<int>(size) - 1;
    Check(proto::ReportChecksumValid(line.data(), k));
    // Any change to one covered byte changes the sum.
    line[size / 2] = static_cast<uint8_t>(line[size / 2] + 1 + data[0] % 255);
    Check(!proto::ReportChecksumValid(line.data(), k));
}

template <auto... Fields> bool Same(const panel::RawValues& a, const panel::RawValues& b) {
    return ((a.*Fields == b.*Fields) && ...);
}

// Every field of the raw values.
bool SameValues(const panel::RawValues& a, const panel::RawValues& b) {
    using R = panel::RawValues;
    return Same<&R::engineSpeed, &R::boostPressure, &R::tiltTrim, &R::oilPressure,
                &R::oilTemperature, &R::engineTemperature, &R::alternatorPotential, &R::fuelRate,
                &R::totalEngineHours, &R::coolantPressure, &R::fuelPressure, &R::discreteStatus1,
                &R::discreteStatus2, &R::engineLoad, &R::engineTorque, &R::transmissionGearByte,
                &R::transOilPressure, &R::transOilTemperature, &R::transWarning, &R::fuelLevel,
                &R::fuelCapacity, &R::wasteWaterLevel, &R::wasteWaterCapacity, &R::blackWaterLevel,
                &R::blackWaterCapacity, &R::batteryVoltage, &R::batteryCurrent,
                &R::batteryCaseTemperature, &R::exhaustGasTemperature, &R::speedWaterRef,
                &R::speedRefType, &R::speedDirectionByte, &R::measurementDate, &R::measurementTime,
                &R::totalDistance, &R::tripDistance, &R::rudderDirOrderByte, &R::rudderAngleOrder,
                &R::rudderPosition, &R::portTrimTab, &R::starboardTrimTab, &R::waterDepth,
                &R::waterDepthOffset, &R::maxDepthRange, &R::cogReferenceByte, &R::courseOverGround,
                &R::speedOverGround, &R::latitude, &R::longitude>(a, b);
}

constexpr int64_t kTopU16 = 0xFFFC;
constexpr int64_t kTopS16 = 0x7FFC;
constexpr int64_t kTopU24 = 0xFFFFFC;
constexpr int64_t kTopU32 = 0xFFFFFFFC;
constexpr int64_t kTopS8 = 0x7C;

void InRange(int64_t value, int64_t low, int64_t high) {
    Check(value >= low && value <= high);
}

void CheckRawValues(uint8_t level, bool warnings) {
    const panel::RawValues r = panel::ComputeRawValues(level, warnings);

    for (int64_t v : {r.engineSpeed, r.boostPressure, r.oilPressure, r.oilTemperature,
                      r.engineTemperature, r.coolantPressure, r.fuelPressure, r.transOilPressure,
                      r.transOilTemperature, r.batteryCaseTemperature, r.speedWaterRef,
                      r.measurementDate, r.courseOverGround, r.speedOverGround})
        InRange(v, 0, kTopU16);
    for (int64_t v :
         {r.alternatorPotential, r.fuelRate, r.fuelLevel, r.wasteWaterLevel, r.blackWaterLevel,
          r.batteryVoltage, r.batteryCurrent, r.rudderPosition, r.waterDepthOffset})
        InRange(v, -kTopS16, kTopS16);
    for (int64_t v : {r.tiltTrim, r.engineLoad, r.engineTorque, r.portTrimTab, r.starboardTrimTab})
        InRange(v, -kTopS8, kTopS8);
    for (int64_t v :
         {r.totalEngineHours, r.fuelCapacity, r.wasteWaterCapacity, r.blackWaterCapacity,
          r.measurementTime, r.totalDistance, r.tripDistance, r.waterDepth})
        InRange(v, 0, kTopU32);
    InRange(r.exhaustGasTemperature, 0, kTopU24);
    InRange(r.measurementTime, 0, 864010000); // up to 86401 s, a leap second included
    InRange(r.latitude, -900000000, 900000000);
    InRange(r.longitude, -1800000000, 1800000000);

    // Below level 3 two fields carry "not available" codes instead.
    if (level < 3) {
        Check(r.rudderAngleOrder == 0x7FFF);
        Check(r.maxDepthRange >= 0xFD);
    } else {
        InRange(r.rudderAngleOrder, -kTopS16, kTopS16);
        InRange(r.maxDepthRange, 0, 252);
    }
    if (!warnings)
        Check(r.discreteStatus1 == 0 && r.discreteStatus2 == 0 && r.transWarning == 0);
    if (level > 100)
        Check(SameValues(r, panel::ComputeRawValues(100, warnings)));

    const panel::PanelValues shown = panel::ScaleRawValues(r);
    std::set<int> ids;
    for (const panel::ReadoutSetting& readout : shown.readouts)
        ids.insert(readout.controlId);
    Check(ids.size() == shown.readouts.size());
}

// Every byte and every level once, before the inputs vary them further.
bool CheckAll() {
    uint8_t all[256];
    for (int v = 0; v < 256; ++v)
        all[v] = static_cast<uint8_t>(v);
    CheckPairs(all, sizeof all);
    for (int level = 0; level < 256; ++level) {
        CheckRawValues(static_cast<uint8_t>(level), false);
        CheckRawValues(static_cast<uint8_t>(level), true);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool checkedAll = CheckAll();
    Check(checkedAll);
    CheckPairs(data, size);
    CheckChecksum(data, size);
    if (size >= 1)
        CheckRawValues(data[0], size >= 2 && (data[1] & 1) != 0);
    return 0;
}
