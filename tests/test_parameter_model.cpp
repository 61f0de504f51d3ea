// The parameter model (raw values and their scaling) and the panel layout
// table. Ranges per field type and levels above 100 are left to the
// fuzz_hexpair target, which walks every level.
#include "core/PanelFields.h"
#include "core/ParameterModel.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <utility>
#include <vector>

using namespace panel;

namespace {

PanelValues At(int level, bool warnings = false) {
    return ScaleRawValues(ComputeRawValues(static_cast<uint8_t>(level), warnings));
}

double Shown(const PanelValues& v, int controlId) {
    for (const ReadoutSetting& r : v.readouts)
        if (r.controlId == controlId)
            return r.value;
    return std::numeric_limits<double>::quiet_NaN();
}

// A status text box's text, by control id.
QString StatusText(const PanelValues& v, int controlId) {
    size_t i = 0;
    for (const PanelEntry& e : kPanelEntries)
        if (e.kind == PanelKind::StatusText) {
            if (e.controlId == controlId)
                return QString::fromStdString(v.statusTexts.at(i));
            ++i;
        }
    return QStringLiteral("no such status text");
}

// The alternate text shown over a read-out, "" where it shows its number.
QString Alternate(const PanelValues& v, int controlId) {
    for (const ReadoutSetting& r : v.readouts)
        if (r.controlId == controlId)
            return QString::fromLatin1(r.alternate ? r.alternate : "");
    return QStringLiteral("no such read-out");
}

QString Where(int level, int controlId) {
    const PanelEntry* e = FindPanelEntry(controlId);
    return QStringLiteral("level %1, %2 (%3)").arg(level).arg(e ? e->caption : "?").arg(controlId);
}

// Read-outs shown at one level: control id and value.
struct Readouts {
    int level;
    std::vector<std::pair<int, double>> shown;
};

// clang-format off
const Readouts kReadouts[] = {
    {0, {{1035, 0}, {1040, -327.64}, {1053, -327.64}, {1041, -3.2764}, {1057, -3276.4},
         {1075, -32.764}, {1070, -3.1416}, {1073, -90}, {1078, -180}, {1069, 100}, {1064, 2},
         {1052, 1}, {1044, 0}, {1059, 0}, {1058, 0}}},
    {1, {{1040, -262.12}, {1053, -262.13}, {1064, 3}}},
    {2, {{1064, 1}}},
    {3, {{1074, 0}, {1071, -3.1416}, {1064, 0}}},
    // Where the steep start meets the working range
    {5, {{1053, -0.01}, {1057, -80.0}, {1052, 1}}},
    {6, {{1053, 0.39}, {1057, -69.0}, {1052, 15}}},
    {7, {{1053, 0.79}, {1057, -58.0}, {1052, 0}}},
    // The speed reference type sweeps its codes
    {40, {{1044, 0}}}, {41, {{1044, 2}}}, {42, {{1044, 3}}}, {43, {{1044, 4}}},
    {44, {{1044, 129}}}, {45, {{1044, 252}}}, {46, {{1044, 253}}}, {47, {{1044, 254}}},
    {48, {{1044, 255}}}, {49, {{1044, 1}}},
    // Mid range: every read-out
    {50, {{1035, 5000}, {1049, 250000}, {1048, 50}, {1037, 500000}, {1046, 335.0},
          {1039, 312.5}, {1040, 18.0}, {1041, 0.18}, {1042, 2250000}, {1047, 200000},
          {1043, 500}, {1045, 62}, {1050, 62}, {1064, 0}, {1065, 499900}, {1066, 334.9},
          {1055, 50.0}, {1056, 0.5}, {1067, 49.996}, {1080, 0.4999}, {1063, 49.992},
          {1079, 0.4998}, {1053, 17.99}, {1057, 415.0}, {1062, 312.49}, {1054, 875.0},
          {1051, 40.0}, {1044, 1}, {1052, 0}, {1061, 32766}, {1060, 43200.5}, {1059, 625000},
          {1058, 624999}, {1071, -0.0972}, {1070, 0.0}, {1068, 50}, {1069, 50}, {1076, 125.0},
          {1075, 0.0}, {1074, 1220}, {1081, 3.1416}, {1082, 39.99}, {1073, 0.0}, {1078, 0.0}}},
    // Into the top ramps
    {80, {{1035, 8000}, {1042, 3600000}}},
    {81, {{1035, 8419}, {1042, 218168364}}},
    {85, {{1039, 400.0}, {1054, 1400.0}}},
    {86, {{1039, 417.02}, {1054, 2425.147}}},
    {100, {{1035, 16383}, {1037, 6553200}, {1042, 4294967292.0}, {1053, 327.64},
           {1057, 3276.4}, {1054, 16777.212}, {1055, 100}, {1061, 65532}, {1060, 86401},
           {1081, 6.2832}, {1074, 2520}, {1073, 90}, {1078, 180}, {1069, 0},
           {1059, 4294967292.0}, {1058, 4294967292.0}}},
};
// clang-format on

} // namespace

class TestParameterModel : public QObject {
    Q_OBJECT

private slots:
    void readoutValues() {
        // Far tighter than any read-out's resolution, so a raw value one
        // count off fails.
        for (const Readouts& row : kReadouts)
            for (bool warnings : {false, true})
                for (auto [id, expected] : row.shown) {
                    const double shown = Shown(At(row.level, warnings), id);
                    QVERIFY2(std::abs(shown - expected) <= 1e-9 * std::max(1.0, std::abs(expected)),
                             qPrintable(Where(row.level, id) + QStringLiteral(": shown %1, not %2")
                                                                   .arg(shown, 0, 'g', 17)
                                                                   .arg(expected, 0, 'g', 17)));
                }
    }

    // Catches a wrong slope or an overflow between the worked examples.
    void readoutsNeverFallUpToLevel100() {
        const std::set<int> notOrdered = {1044, 1052, 1064, 1069};
        for (int level = 1; level <= 100; ++level) {
            const PanelValues before = At(level - 1), now = At(level);
            for (const ReadoutSetting& r : now.readouts)
                if (!notOrdered.count(r.controlId) &&
                    (level > 3 || (r.controlId != 1071 && r.controlId != 1074)))
                    QVERIFY2(r.value >= Shown(before, r.controlId),
                             qPrintable(Where(level, r.controlId)));
        }
    }

    void warningBits() {
        const char *zero16 = "0B0000000000000000", *ones16 = "0B1111111111111111";
        struct Row {
            int level;
            bool warnings;
            const char *status1, *status2, *transWarning;
        };
        const Row rows[] = {
            {32, false, zero16, zero16, "0B00000000"},
            {0, true, "0B0000000000000001", zero16, "0B00000001"},
            {8, true, "0B0000000100000000", zero16, "0B11111111"},
            {15, true, "0B1000000000000000", zero16, "0B11111111"},
            {16, true, zero16, "0B0000000000000001", "0B11111111"},
            {32, true, ones16, ones16, "0B11111111"},
            {255, true, ones16, ones16, "0B11111111"},
        };
        for (const Row& row : rows) {
            const PanelValues v = At(row.level, row.warnings);
            QCOMPARE(QStringLiteral("%1 %2 %3")
                         .arg(StatusText(v, 1033), StatusText(v, 1036), StatusText(v, 1034)),
                     QStringLiteral("%1 %2 %3").arg(row.status1, row.status2, row.transWarning));
        }
    }

    void belowLevelThree() {
        struct Row {
            int level;
            const char *rudderDirOrder, *cogReference, *depthText, *rudderText; // "": read-out
        };
        const Row rows[] = {
            {0, "0B000", "0B11", "Data not available", "0x7FFF"},
            {1, "0B001", "0B10", "Error", "0x7FFF"},
            {2, "0B010", "0B00", "> 2520 meters", "0x7FFF"},
            {3, "0B111", "0B00", "", ""},
            {50, "0B111", "0B00", "", ""},
            {51, "0B111", "0B01", "", ""},
        };
        for (const Row& row : rows) {
            const PanelValues v = At(row.level);
            QCOMPARE(StatusText(v, 1038), row.rudderDirOrder);
            QCOMPARE(StatusText(v, 1083), row.cogReference);
            QCOMPARE(Alternate(v, 1074), row.depthText);
            QCOMPARE(Alternate(v, 1071), row.rudderText);
        }
    }
};

QTEST_APPLESS_MAIN(TestParameterModel)
#include "test_parameter_model.moc"
