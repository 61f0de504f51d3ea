// The parameter model (raw values and their scaling) and the panel layout
// table.
#include "PanelTable.h"
#include "ParameterModel.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

using namespace panel;

namespace {

double Shown(const PanelValues& v, int controlId) {
    for (const ReadoutSetting& r : v.readouts)
        if (r.controlId == controlId)
            return r.value;
    return std::numeric_limits<double>::quiet_NaN();
}

PanelValues At(int level, bool warnings = false) {
    return ScaleRawValues(ComputeRawValues(static_cast<uint8_t>(level), warnings));
}

// Every raw field, the range it may ever hold, and the level from which it
// never falls again up to level 100 (-1: no such order).
struct Field {
    const char* name;
    int64_t (*get)(const RawValues&);
    int64_t lo, hi;
    int risesFrom;
};

constexpr int64_t U16 = 0xFFFC, S16 = 0x7FFC, U24 = 0xFFFFFC, U32 = 0xFFFFFFFC, S8 = 0x7C;

// A raw field read as a 64-bit value, and with its name.
#define GET(member) [](const RawValues& r) -> int64_t { return r.member; }
#define FIELD(member) #member, GET(member)

const Field kFields[] = {
    {FIELD(engineSpeed), 0, U16, 0},
    {FIELD(boostPressure), 0, U16, 0},
    {FIELD(tiltTrim), 0, 100, 0},
    {FIELD(oilPressure), 0, U16, 0},
    {FIELD(oilTemperature), 0, U16, 0},
    {FIELD(engineTemperature), 0, U16, 0},
    {FIELD(alternatorPotential), -S16, S16, 0},
    {FIELD(fuelRate), -S16, S16, 0},
    {FIELD(totalEngineHours), 0, U32, 0},
    {FIELD(coolantPressure), 0, U16, 0},
    {FIELD(fuelPressure), 0, U16, 0},
    {FIELD(discreteStatus1), 0, 0xFFFF, -1},
    {FIELD(discreteStatus2), 0, 0xFFFF, -1},
    {FIELD(engineLoad), 0, S8, 0},
    {FIELD(engineTorque), 0, S8, 0},
    {FIELD(transmissionGearByte), 0xFC, 0xFF, -1},
    {FIELD(transOilPressure), 0, U16, 0},
    {FIELD(transOilTemperature), 0, U16, 0},
    {FIELD(transWarning), 0, 0xFF, -1},
    {FIELD(fuelLevel), -S16, S16, 0},
    {FIELD(fuelCapacity), 0, U32, 0},
    {FIELD(wasteWaterLevel), -S16, S16, 0},
    {FIELD(wasteWaterCapacity), 0, U32, 0},
    {FIELD(blackWaterLevel), -S16, S16, 0},
    {FIELD(blackWaterCapacity), 0, U32, 0},
    {FIELD(batteryVoltage), -S16, S16, 0},
    {FIELD(batteryCurrent), -S16, S16, 0},
    {FIELD(batteryCaseTemperature), 0, U16, 0},
    {FIELD(exhaustGasTemperature), 0, U24, 0},
    {FIELD(speedWaterRef), 0, U16, 0},
    {FIELD(speedRefType), 0, 0xFF, -1},
    {FIELD(speedDirectionByte), 0xF0, 0xFF, -1},
    {FIELD(measurementDate), 0, U16, 0},
    {FIELD(measurementTime), 0, U32, 0},
    {FIELD(totalDistance), 0, U32, 0},
    {FIELD(tripDistance), 0, U32, 0},
    {FIELD(rudderDirOrderByte), 0xF8, 0xFF, -1},
    {FIELD(rudderAngleOrder), -S16, 0x7FFF, 3}, // 0x7FFF only below level 3, checked apart
    {FIELD(rudderPosition), -S16, S16, 0},
    {FIELD(portTrimTab), 0, 100, 0},
    {FIELD(starboardTrimTab), 0, 100, -1},
    {FIELD(waterDepth), 0, U32, 0},
    {FIELD(waterDepthOffset), -S16, S16, 0},
    {FIELD(maxDepthRange), 0, 0xFF, 3},
    {FIELD(cogReferenceByte), 0xFC, 0xFF, -1},
    {FIELD(courseOverGround), 0, U16, 0},
    {FIELD(speedOverGround), 0, U16, 0},
    {FIELD(latitude), -900000000, 900000000, 0},    // +-90 degrees
    {FIELD(longitude), -1800000000, 1800000000, 0}, // +-180 degrees
};

// A copy and the parameter it copies, with the counts it lies below it.
struct Pair {
    const char* name;
    int64_t (*source)(const RawValues&);
    int64_t (*copy)(const RawValues&);
    int64_t offset;
};

const Pair kPairs[] = {
    {"transOilPressure", GET(oilPressure), GET(transOilPressure), 1},
    {"transOilTemperature", GET(oilTemperature), GET(transOilTemperature), 1},
    {"wasteWaterLevel", GET(fuelLevel), GET(wasteWaterLevel), 1},
    {"blackWaterLevel", GET(fuelLevel), GET(blackWaterLevel), 2},
    {"wasteWaterCapacity", GET(fuelCapacity), GET(wasteWaterCapacity), 1},
    {"blackWaterCapacity", GET(fuelCapacity), GET(blackWaterCapacity), 2},
    {"batteryVoltage", GET(alternatorPotential), GET(batteryVoltage), 1},
    {"batteryCaseTemperature", GET(engineTemperature), GET(batteryCaseTemperature), 1},
    {"tripDistance", GET(totalDistance), GET(tripDistance), 1},
    {"speedOverGround", GET(speedWaterRef), GET(speedOverGround), 1},
};

bool Inside(const DluRect& inner, const DluRect& outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w &&
           inner.y + inner.h <= outer.y + outer.h;
}

bool Overlap(const DluRect& a, const DluRect& b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

bool Same(const DluRect& a, const DluRect& b) {
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

} // namespace

class TestParameterModel : public QObject {
    Q_OBJECT

private slots:
    void readoutValues_data();
    void readoutValues();
    void warningBits_data();
    void warningBits();
    void belowLevelThree_data();
    void belowLevelThree();
    void rawFieldsStayInRangeAndRise();
    void pairedCopiesSitBelowTheirSource();
    void levelsAbove100AreLevel100();
    void readoutsMatchThePanel();
    void panelEntriesAreComplete();
    void panelLayoutNests();
};

void TestParameterModel::readoutValues_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("controlId");
    QTest::addColumn<double>("expected");

    auto row = [](int level, const char* what, int id, double expected) {
        QTest::addRow("L%d %s", level, what) << level << id << expected;
    };

    row(0, "Engine Speed", 1035, 0);
    row(0, "Alternator Potential", 1040, -327.64);
    row(0, "Battery Voltage", 1053, -327.64);
    row(0, "Fuel Rate", 1041, -3.2764);
    row(0, "Battery Current", 1057, -3276.4);
    row(0, "Water Depth Offset", 1075, -32.764);
    row(0, "Rudder Position", 1070, -3.1416);
    row(0, "Latitude", 1073, -90);
    row(0, "Longitude", 1078, -180);
    row(0, "Starboard Trim Tab", 1069, 100);
    row(0, "Transmission Gear", 1064, 2);
    row(0, "Speed Direction", 1052, 1);
    row(0, "Speed Ref. Type", 1044, 0);
    row(0, "Total Distance", 1059, 0);
    row(0, "Distance S. Reset", 1058, 0);

    row(1, "Alternator Potential", 1040, -262.12);
    row(1, "Battery Voltage", 1053, -262.13);
    row(1, "Transmission Gear", 1064, 3);
    row(2, "Transmission Gear", 1064, 1);
    row(3, "Max. Depth Range", 1074, 0);
    row(3, "Rudder Angle Order", 1071, -3.1416);
    row(3, "Transmission Gear", 1064, 0);

    // Where the steep start meets the working range
    row(5, "Battery Voltage", 1053, -0.01);
    row(6, "Battery Voltage", 1053, 0.39);
    row(7, "Battery Voltage", 1053, 0.79);
    row(5, "Battery Current", 1057, -80.0);
    row(6, "Battery Current", 1057, -69.0);
    row(7, "Battery Current", 1057, -58.0);
    row(5, "Speed Direction", 1052, 1);
    row(6, "Speed Direction", 1052, 15);
    row(7, "Speed Direction", 1052, 0);

    const int refTypes[] = {0, 2, 3, 4, 129, 252, 253, 254, 255, 1, 1};
    for (int level = 40; level <= 50; ++level)
        row(level, "Speed Ref. Type", 1044, refTypes[level - 40]);

    // Mid range: every read-out
    row(50, "Engine Speed", 1035, 5000);
    row(50, "Boost Pressure", 1049, 250000);
    row(50, "Engine Tilt/Trim", 1048, 50);
    row(50, "Engine Oil Pressure", 1037, 500000);
    row(50, "Engine Oil Temp.", 1046, 335.0);
    row(50, "Engine Temp.", 1039, 312.5);
    row(50, "Alternator Potential", 1040, 18.0);
    row(50, "Fuel Rate", 1041, 0.18);
    row(50, "Total Engine Hours", 1042, 2250000);
    row(50, "Coolant Pressure", 1047, 200000);
    row(50, "Fuel Pressure", 1043, 500);
    row(50, "% Engine Load", 1045, 62);
    row(50, "% Engine Torque", 1050, 62);
    row(50, "Transmission Gear", 1064, 0);
    row(50, "Trans. Oil Pressure", 1065, 499900);
    row(50, "Trans. Oil Temp.", 1066, 334.9);
    row(50, "Fuel Level", 1055, 50.0);
    row(50, "F-tank Cap.", 1056, 0.5);
    row(50, "Waste Water Level", 1067, 49.996);
    row(50, "WW-tank Cap.", 1080, 0.4999);
    row(50, "Black Water Level", 1063, 49.992);
    row(50, "BW-tank Cap.", 1079, 0.4998);
    row(50, "Battery Voltage", 1053, 17.99);
    row(50, "Battery Current", 1057, 415.0);
    row(50, "Battery Case Temp.", 1062, 312.49);
    row(50, "Exhaust Gas Temp.", 1054, 875.0);
    row(50, "Speed Water Ref.", 1051, 40.0);
    row(50, "Speed Ref. Type", 1044, 1);
    row(50, "Speed Direction", 1052, 0);
    row(50, "Measurement Date", 1061, 32766);
    row(50, "Measurement Time", 1060, 43200.5);
    row(50, "Total Distance", 1059, 625000);
    row(50, "Distance S. Reset", 1058, 624999);
    row(50, "Rudder Angle Order", 1071, -0.0972);
    row(50, "Rudder Position", 1070, 0.0);
    row(50, "Port Trim Tab", 1068, 50);
    row(50, "Starboard Trim Tab", 1069, 50);
    row(50, "Water Depth", 1076, 125.0);
    row(50, "Water Depth Offset", 1075, 0.0);
    row(50, "Max. Depth Range", 1074, 1220);
    row(50, "Course Over Gound", 1081, 3.1416);
    row(50, "Speed Over Ground", 1082, 39.99);
    row(50, "Latitude", 1073, 0.0);
    row(50, "Longitude", 1078, 0.0);

    // Into the top ramps
    row(80, "Engine Speed", 1035, 8000);
    row(81, "Engine Speed", 1035, 8419);
    row(80, "Total Engine Hours", 1042, 3600000);
    row(81, "Total Engine Hours", 1042, 218168364);
    row(85, "Engine Temp.", 1039, 400.0);
    row(86, "Engine Temp.", 1039, 417.02);
    row(85, "Exhaust Gas Temp.", 1054, 1400.0);
    row(86, "Exhaust Gas Temp.", 1054, 2425.147);

    row(100, "Engine Speed", 1035, 16383);
    row(100, "Engine Oil Pressure", 1037, 6553200);
    row(100, "Total Engine Hours", 1042, 4294967292.0);
    row(100, "Battery Voltage", 1053, 327.64);
    row(100, "Exhaust Gas Temp.", 1054, 16777.212);
    row(100, "Fuel Level", 1055, 100);
    row(100, "Measurement Date", 1061, 65532);
    row(100, "Measurement Time", 1060, 86401);
    row(100, "Course Over Gound", 1081, 6.2832);
    row(100, "Max. Depth Range", 1074, 2520);
    row(100, "Latitude", 1073, 90);
    row(100, "Longitude", 1078, 180);
    row(100, "Starboard Trim Tab", 1069, 0);
    row(100, "Total Distance", 1059, 4294967292.0);
    row(100, "Distance S. Reset", 1058, 4294967292.0);
}

void TestParameterModel::readoutValues() {
    QFETCH(int, level);
    QFETCH(int, controlId);
    QFETCH(double, expected);
    // Far tighter than any read-out's resolution (0.25 rpm would hide inside
    // half a unit of the shown decimals), so a raw value one count off fails.
    for (bool warnings : {false, true}) {
        const double shown = Shown(At(level, warnings), controlId);
        QVERIFY2(std::abs(shown - expected) <= 1e-9 * std::max(1.0, std::abs(expected)),
                 qPrintable(QStringLiteral("shown %1, expected %2 (warnings %3)")
                                .arg(shown, 0, 'g', 17)
                                .arg(expected, 0, 'g', 17)
                                .arg(warnings)));
    }
}

void TestParameterModel::warningBits_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("warnings");
    QTest::addColumn<QString>("status1");
    QTest::addColumn<QString>("status2");
    QTest::addColumn<QString>("transWarning");

    const QString zero16 = "0B0000000000000000", ones16 = "0B1111111111111111";
    for (int level : {0, 7, 15, 16, 31, 32, 100, 255})
        QTest::addRow("off L%d", level) << level << false << zero16 << zero16 << "0B00000000";

    QTest::newRow("on L0") << 0 << true << "0B0000000000000001" << zero16 << "0B00000001";
    QTest::newRow("on L7") << 7 << true << "0B0000000010000000" << zero16 << "0B10000000";
    QTest::newRow("on L8") << 8 << true << "0B0000000100000000" << zero16 << "0B11111111";
    QTest::newRow("on L15") << 15 << true << "0B1000000000000000" << zero16 << "0B11111111";
    QTest::newRow("on L16") << 16 << true << zero16 << "0B0000000000000001"
                            << "0B11111111";
    QTest::newRow("on L31") << 31 << true << zero16 << "0B1000000000000000"
                            << "0B11111111";
    QTest::newRow("on L32") << 32 << true << ones16 << ones16 << "0B11111111";
    QTest::newRow("on L100") << 100 << true << ones16 << ones16 << "0B11111111";
    QTest::newRow("on L255") << 255 << true << ones16 << ones16 << "0B11111111";
}

void TestParameterModel::warningBits() {
    QFETCH(int, level);
    QFETCH(bool, warnings);
    QFETCH(QString, status1);
    QFETCH(QString, status2);
    QFETCH(QString, transWarning);
    const PanelValues v = At(level, warnings);
    QCOMPARE(QString::fromStdString(v.discreteStatus1), status1);
    QCOMPARE(QString::fromStdString(v.discreteStatus2), status2);
    QCOMPARE(QString::fromStdString(v.transWarning), transWarning);
}

void TestParameterModel::belowLevelThree_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("rudderDirOrder");
    QTest::addColumn<QString>("cogReference");
    QTest::addColumn<QString>("depthText"); // empty: the read-out shows
    QTest::addColumn<QString>("rudderText");

    QTest::newRow("L0") << 0 << "0B000"
                        << "0B11"
                        << "Data not available"
                        << "0x7FFF";
    QTest::newRow("L1") << 1 << "0B001"
                        << "0B10"
                        << "Error"
                        << "0x7FFF";
    QTest::newRow("L2") << 2 << "0B010"
                        << "0B00"
                        << "> 2520 meters"
                        << "0x7FFF";
    QTest::newRow("L3") << 3 << "0B111"
                        << "0B00"
                        << ""
                        << "";
    QTest::newRow("L50") << 50 << "0B111"
                         << "0B00"
                         << ""
                         << "";
    QTest::newRow("L51") << 51 << "0B111"
                         << "0B01"
                         << ""
                         << "";
    QTest::newRow("L100") << 100 << "0B111"
                          << "0B01"
                          << ""
                          << "";
}

void TestParameterModel::belowLevelThree() {
    QFETCH(int, level);
    QFETCH(QString, rudderDirOrder);
    QFETCH(QString, cogReference);
    QFETCH(QString, depthText);
    QFETCH(QString, rudderText);
    const PanelValues v = At(level);
    QCOMPARE(QString::fromStdString(v.rudderDirOrder), rudderDirOrder);
    QCOMPARE(QString::fromStdString(v.cogReference), cogReference);
    QCOMPARE(v.depthRangeAlternate, !depthText.isEmpty());
    QCOMPARE(v.rudderAngleAlternate, !rudderText.isEmpty());
    if (v.depthRangeAlternate)
        QCOMPARE(QString::fromStdString(v.depthRangeText), depthText);
    if (v.rudderAngleAlternate)
        QCOMPARE(QString::fromStdString(v.rudderAngleText), rudderText);
}

// Catches 32-bit overflow in the top ramps and wrapping narrowings: either
// leaves the field's range or breaks the rise towards level 100.
void TestParameterModel::rawFieldsStayInRangeAndRise() {
    for (bool warnings : {false, true}) {
        RawValues previous{};
        for (int level = 0; level <= 255; ++level) {
            const RawValues r = ComputeRawValues(static_cast<uint8_t>(level), warnings);
            for (const Field& f : kFields) {
                const int64_t value = f.get(r);
                QVERIFY2(
                    value >= f.lo && value <= f.hi,
                    qPrintable(
                        QStringLiteral("%1 = %2 at level %3").arg(f.name).arg(value).arg(level)));
                if (f.risesFrom >= 0 && level > f.risesFrom && level <= 100)
                    QVERIFY2(value >= f.get(previous),
                             qPrintable(QStringLiteral("%1 falls from %2 to %3 at level %4")
                                            .arg(f.name)
                                            .arg(f.get(previous))
                                            .arg(value)
                                            .arg(level)));
            }
            // The not-available codes belong to levels 0..2 only.
            if (level >= 3) {
                QVERIFY2(r.rudderAngleOrder <= S16, qPrintable(QString::number(level)));
                QVERIFY2(r.maxDepthRange <= 0xFC, qPrintable(QString::number(level)));
            }
            previous = r;
        }
    }
    // The ramps end exactly on the top values.
    const RawValues top = ComputeRawValues(100, false);
    QCOMPARE(top.totalEngineHours, uint32_t(U32));
    QCOMPARE(top.exhaustGasTemperature, uint32_t(U24));
    QCOMPARE(top.engineSpeed, uint16_t(U16));
    QCOMPARE(top.batteryCurrent, int16_t(S16));
}

void TestParameterModel::pairedCopiesSitBelowTheirSource() {
    for (int level = 0; level <= 100; ++level) {
        const RawValues r = ComputeRawValues(static_cast<uint8_t>(level), true);
        const int64_t offsetApplies = (level == 0 || level == 100) ? 0 : 1;
        for (const Pair& p : kPairs)
            QVERIFY2(p.copy(r) == p.source(r) - p.offset * offsetApplies,
                     qPrintable(QStringLiteral("%1 = %2, source %3 at level %4")
                                    .arg(p.name)
                                    .arg(p.copy(r))
                                    .arg(p.source(r))
                                    .arg(level)));
        QCOMPARE(r.fuelRate, r.alternatorPotential);
        QCOMPARE(r.engineTorque, r.engineLoad);
    }
}

void TestParameterModel::levelsAbove100AreLevel100() {
    for (bool warnings : {false, true}) {
        const RawValues top = ComputeRawValues(100, warnings);
        for (int level = 101; level <= 255; ++level) {
            const RawValues r = ComputeRawValues(static_cast<uint8_t>(level), warnings);
            for (const Field& f : kFields)
                QVERIFY2(f.get(r) == f.get(top),
                         qPrintable(QStringLiteral("%1 at level %2").arg(f.name).arg(level)));
        }
    }
}

void TestParameterModel::readoutsMatchThePanel() {
    std::multiset<int> panelIds;
    for (const PanelEntry& e : kPanelEntries)
        if (e.kind == PanelKind::Readout)
            panelIds.insert(e.controlId);
    for (int level : {0, 50, 100}) {
        const PanelValues v = At(level);
        std::multiset<int> ids;
        for (const ReadoutSetting& r : v.readouts)
            ids.insert(r.controlId);
        QVERIFY(ids == panelIds);
        QCOMPARE(std::set<int>(ids.begin(), ids.end()).size(), ids.size());
    }
}

void TestParameterModel::panelEntriesAreComplete() {
    std::set<int> ids;
    int readouts = 0, statusTexts = 0, alternates = 0;
    for (const PanelEntry& e : kPanelEntries) {
        QVERIFY2(ids.insert(e.controlId).second, e.caption);
        readouts += e.kind == PanelKind::Readout;
        statusTexts += e.kind == PanelKind::StatusText;
        alternates += e.kind == PanelKind::AlternateText;
        QCOMPARE(FindPanelEntry(e.controlId), &e);
        if (e.kind == PanelKind::Readout)
            QVERIFY2(e.unit != nullptr && e.decimals >= 0 && e.decimals <= 7, e.caption);
    }
    QCOMPARE(readouts, kReadoutCount);
    QCOMPARE(statusTexts, 5);
    QCOMPARE(alternates, 2);
    QCOMPARE(FindPanelEntry(0), nullptr);
    QCOMPARE(FindPanelEntry(1032), nullptr);
    QCOMPARE(FindPanelEntry(1084), nullptr);
}

void TestParameterModel::panelLayoutNests() {
    for (size_t i = 0; i < kPanelGroups.size(); ++i)
        for (size_t j = i + 1; j < kPanelGroups.size(); ++j)
            QVERIFY(!Overlap(kPanelGroups[i].box, kPanelGroups[j].box));

    for (const PanelEntry& e : kPanelEntries) {
        QVERIFY2(Inside(e.control, e.captionBox), e.caption);
        QVERIFY2(std::any_of(kPanelGroups.begin(), kPanelGroups.end(),
                             [&](const PanelGroup& g) { return Inside(e.captionBox, g.box); }),
                 e.caption);

        // An alternate text lies exactly on its read-out; nothing else may
        // overlap.
        if (e.kind == PanelKind::AlternateText) {
            const bool onReadout =
                std::any_of(kPanelEntries.begin(), kPanelEntries.end(), [&](const PanelEntry& o) {
                    return o.kind == PanelKind::Readout && QByteArray(o.caption) == e.caption &&
                           Same(o.captionBox, e.captionBox) && Same(o.control, e.control);
                });
            QVERIFY2(onReadout, e.caption);
            continue;
        }
        for (const PanelEntry& o : kPanelEntries) {
            if (&o == &e || o.kind == PanelKind::AlternateText)
                continue;
            QVERIFY2(!Overlap(e.captionBox, o.captionBox),
                     qPrintable(QStringLiteral("%1 / %2").arg(e.caption, o.caption)));
        }
    }
}

QTEST_APPLESS_MAIN(TestParameterModel)
#include "test_parameter_model.moc"
