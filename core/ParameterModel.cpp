#include "core/ParameterModel.h"

#include "core/PanelFields.h"

#include <algorithm>

namespace panel {

namespace {

// The highest value each field type carries; the few codes above it mean
// "not available" and the like.
constexpr int64_t kTopU16 = 0xFFFC;
constexpr int64_t kTopS16 = 0x7FFC;
constexpr int64_t kTopU24 = 0xFFFFFC;
constexpr int64_t kTopU32 = 0xFFFFFFFC;

// Rises from `start` at level `fromLevel` to `top` at level 100. Everything is
// 64-bit: (level - fromLevel) * (top - start) exceeds 32 bits for the 32-bit
// fields.
int64_t TopRamp(int64_t level, int64_t fromLevel, int64_t start, int64_t top) {
    return start + (level - fromLevel) * (top - start) / (100 - fromLevel);
}

// k per level up to level 80, then the top ramp.
int64_t Linear(int64_t level, int64_t k, int64_t top) {
    if (level <= 80)
        return k * level;
    return TopRamp(level, 80, k * 80, top);
}

// The temperature, potential and current shapes: a steep rise from level 0 to
// level 5, a straight working range from 5 to 85, then the top ramp.
struct Curve {
    int64_t atZero;
    int64_t atFive;
    int64_t slope; // per level, from 5 to 85
    int64_t top;
};

constexpr Curve kOilTemperature{0, 2000, 30, kTopU16};
constexpr Curve kTemperature{0, 20000, 250, kTopU16};
constexpr Curve kPotential{-kTopS16, 0, 40, kTopS16};
constexpr Curve kCurrent{-kTopS16, -800, 110, kTopS16};
constexpr Curve kExhaustTemperature{0, 200000, 15000, kTopU24};

int64_t Evaluate(const Curve& c, int64_t level) {
    if (level <= 5)
        return c.atZero + (c.atFive - c.atZero) * level / 5;
    if (level <= 85)
        return c.atFive + c.slope * (level - 5);
    return TopRamp(level, 85, c.atFive + c.slope * 80, c.top);
}

uint8_t SpeedRefType(int64_t level) {
    static constexpr uint8_t kSweep[] = {2, 3, 4, 129, 252, 253, 254, 255}; // levels 41..48
    if (level <= 40)
        return 0;
    if (level <= 48)
        return kSweep[level - 41];
    return 1;
}

// Levels 0, 1 and 2 carry one of three special byte values, level 3 and up
// the fourth.
uint8_t BelowThree(int64_t level, uint8_t at0, uint8_t at1, uint8_t at2, uint8_t rest) {
    switch (level) {
    case 0:
        return at0;
    case 1:
        return at1;
    case 2:
        return at2;
    default:
        return rest;
    }
}

constexpr int16_t kRudderAngleNotAvailable = 0x7FFF;
constexpr uint8_t kDepthRangeNotAvailable = 0xFF;
constexpr uint8_t kDepthRangeError = 0xFE;
constexpr uint8_t kDepthRangeBeyond = 0xFD;

} // namespace

RawValues ComputeRawValues(uint8_t levelIn, bool warnings) {
    const int64_t L = std::min<int64_t>(levelIn, 100);
    RawValues r{};

    r.engineSpeed = static_cast<uint16_t>(Linear(L, 400, kTopU16));
    r.boostPressure = static_cast<uint16_t>(Linear(L, 50, kTopU16));
    r.tiltTrim = static_cast<int8_t>(L);
    r.oilPressure = static_cast<uint16_t>(Linear(L, 100, kTopU16));
    r.oilTemperature = static_cast<uint16_t>(Evaluate(kOilTemperature, L));
    r.engineTemperature = static_cast<uint16_t>(Evaluate(kTemperature, L));
    r.alternatorPotential = static_cast<int16_t>(Evaluate(kPotential, L));
    r.fuelRate = r.alternatorPotential;
    r.totalEngineHours = static_cast<uint32_t>(Linear(L, 45000, kTopU32));
    r.coolantPressure = static_cast<uint16_t>(Linear(L, 40, kTopU16));
    r.fuelPressure = static_cast<uint16_t>(Linear(L, 10, kTopU16));
    r.engineLoad = static_cast<int8_t>(124 * L / 100);
    r.engineTorque = r.engineLoad;
    r.fuelLevel = static_cast<int16_t>(250 * L);
    r.fuelCapacity = static_cast<uint32_t>(Linear(L, 100, kTopU32));
    r.batteryCurrent = static_cast<int16_t>(Evaluate(kCurrent, L));
    r.exhaustGasTemperature = static_cast<uint32_t>(Evaluate(kExhaustTemperature, L));
    r.speedWaterRef = static_cast<uint16_t>(Linear(L, 80, kTopU16));
    r.measurementDate = static_cast<uint16_t>(kTopU16 * L / 100);
    r.measurementTime = static_cast<uint32_t>(8640100 * L);
    r.totalDistance = static_cast<uint32_t>(Linear(L, 12500, kTopU32));
    r.courseOverGround = static_cast<uint16_t>(62832 * L / 100);
    r.rudderPosition = static_cast<int16_t>(r.courseOverGround - 31416);
    r.portTrimTab = static_cast<int8_t>(L);
    r.starboardTrimTab = static_cast<int8_t>(100 - L);
    r.waterDepth = static_cast<uint32_t>(Linear(L, 250, kTopU32));
    r.waterDepthOffset = static_cast<int16_t>(-kTopS16 + 2 * kTopS16 * L / 100);
    r.latitude = static_cast<int32_t>((L - 50) * 18000000);
    r.longitude = static_cast<int32_t>((L - 50) * 36000000);

    // The warnings word walks one bit up per level and fills up from level 32
    // (the transmission byte from level 8).
    const uint32_t word = !warnings ? 0u : L < 32 ? 1u << L : 0xFFFFFFFFu;
    r.discreteStatus1 = static_cast<uint16_t>(word & 0xFFFF);
    r.discreteStatus2 = static_cast<uint16_t>(word >> 16);
    r.transWarning = static_cast<uint8_t>(!warnings ? 0u : L < 8 ? 1u << L : 0xFFu);

    // The paired parameters copy their partner, one or two counts lower so
    // the two are told apart, except at both ends of the range.
    const int64_t offset = (L == 0 || L == 100) ? 0 : 1;
    r.transOilPressure = static_cast<uint16_t>(r.oilPressure - offset);
    r.transOilTemperature = static_cast<uint16_t>(r.oilTemperature - offset);
    r.wasteWaterLevel = static_cast<int16_t>(r.fuelLevel - offset);
    r.wasteWaterCapacity = static_cast<uint32_t>(r.fuelCapacity - offset);
    r.blackWaterLevel = static_cast<int16_t>(r.fuelLevel - 2 * offset);
    r.blackWaterCapacity = static_cast<uint32_t>(r.fuelCapacity - 2 * offset);
    r.batteryVoltage = static_cast<int16_t>(r.alternatorPotential - offset);
    r.batteryCaseTemperature = static_cast<uint16_t>(r.engineTemperature - offset);
    r.tripDistance = static_cast<uint32_t>(r.totalDistance - offset);
    r.speedOverGround = static_cast<uint16_t>(r.speedWaterRef - offset);

    // Bytes whose low bits encode a state; the upper bits are always set.
    r.transmissionGearByte = BelowThree(L, 0xFE, 0xFF, 0xFD, 0xFC);
    r.speedRefType = SpeedRefType(L);
    r.speedDirectionByte = L <= 5 ? 0xF1 : L == 6 ? 0xFF : 0xF0;
    r.rudderDirOrderByte = BelowThree(L, 0xF8, 0xF9, 0xFA, 0xFF);
    r.cogReferenceByte = BelowThree(L, 0xFF, 0xFE, 0xFC, L <= 50 ? 0xFC : 0xFD);
    r.maxDepthRange = BelowThree(L, kDepthRangeNotAvailable, kDepthRangeError, kDepthRangeBeyond,
                                 static_cast<uint8_t>(L < 3 ? 0 : 252 * (L - 3) / 97));
    r.rudderAngleOrder =
        L < 3 ? kRudderAngleNotAvailable : static_cast<int16_t>(-31416 + 62832 * (L - 3) / 97);
    return r;
}

PanelValues ScaleRawValues(const RawValues& raw) {
    PanelValues v{};
    size_t readout = 0;
    size_t status = 0;
    for (const PanelEntry& e : kPanelEntries) {
        const int64_t field = e.source.raw(raw);
        if (e.kind == PanelKind::Readout)
            v.readouts.at(readout++) = {e.controlId,
                                        static_cast<double>(field) * e.source.resolution,
                                        AlternateText(e, raw)};
        else if (e.kind == PanelKind::StatusText)
            v.statusTexts.at(status++) = BitString(static_cast<uint32_t>(field), e.bits);
    }
    return v;
}

const char* DepthRangeCodeText(int64_t raw) {
    switch (raw) {
    case kDepthRangeNotAvailable:
        return "Data not available";
    case kDepthRangeError:
        return "Error";
    case kDepthRangeBeyond:
        return "> 2520 meters";
    default:
        return nullptr;
    }
}

const char* RudderAngleCodeText(int64_t raw) {
    return raw == kRudderAngleNotAvailable ? "0x7FFF" : nullptr;
}

const char* AlternateText(const PanelEntry& readout, const RawValues& raw) {
    const PanelEntry* alternate = AlternateOf(readout);
    return alternate ? alternate->codeText(readout.source.raw(raw)) : nullptr;
}

std::string BitString(uint32_t value, int width) {
    std::string s = "0B";
    for (int bit = width - 1; bit >= 0; --bit)
        s += ((value >> bit) & 1u) ? '1' : '0';
    return s;
}

} // namespace panel
