// brendlowctl bus against the emulator on a virtual CAN bus: a device that
// sends what the model says passes, one with a spoilt group fails naming it.
#include "cli/BusJudge.h"
#include "core/Candump.h"
#include "core/N2kMessages.h"
#include "core/ParameterModel.h"
#include "tests/FreePort.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Engine Parameters, Rapid Update (every 100 ms) as the model sends it at
// `level`, from the engine node at address 0.
n2k::Decoded Rapid(uint8_t level) {
    n2k::DeviceState state;
    state.level = level;
    state.instances = {0, 1, 2, 3, 4, 5, 6, 7};
    const n2k::Message m = n2k::BuildMessage(n2k::kGroups[0], state, n2k::RawValuesOf(state), 0);
    return *n2k::Decode(m);
}

const cli::BusRow& RapidRow(const std::vector<cli::BusRow>& rows) {
    return *std::find_if(rows.begin(), rows.end(), [](const cli::BusRow& r) {
        return r.group == &n2k::kGroups[0] && r.source == 0;
    });
}

} // namespace

class TestCliBus : public QObject {
    Q_OBJECT
private slots:
    // The serial side broadcasts level 10 every 100 ms, 50 from 200 ms on:
    // within one broadcast period of the change either level passes.
    void aroundALevelChange_data() {
        QTest::addColumn<int>("ms");
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("ok");
        QTest::newRow("new level a period early") << 100 << 50 << true;
        QTest::newRow("new level more than a period early") << 90 << 50 << false;
        QTest::newRow("old level a period late") << 300 << 10 << true;
        QTest::newRow("old level more than a period late") << 310 << 10 << false;
        QTest::newRow("neither level") << 200 << 30 << false;
    }
    void aroundALevelChange() {
        QFETCH(int, ms);
        QFETCH(int, level);
        QFETCH(bool, ok);
        cli::CBusJudge judge;
        judge.SetInstances({0, 1, 2, 3, 4, 5, 6, 7});
        judge.Seen(ms, 0, Rapid(uint8_t(level)));
        for (int t = 0; t <= 1000; t += 100)
            judge.Level(t, t < 200 ? 10 : 50, false);
        const cli::BusRow row = RapidRow(judge.End(1000, std::nullopt));
        QCOMPARE(row.seen, 1);
        QCOMPARE(row.ok, ok ? 1 : 0);
        QCOMPARE(row.first.has_value(), !ok);
        if (!ok)
            QVERIFY(row.first->expected != row.first->seen);
    }

    // A gap over twice the interval is late; none for twice the interval
    // at the end is missing, and so is a group never seen from the
    // address its node holds. Other nodes' messages are not the device's.
    void lateAndMissing() {
        cli::CBusJudge judge;
        judge.Level(0, 0, false);
        for (int t : {0, 100, 450, 550})
            judge.Seen(t, 0, Rapid(0));
        const auto rows = judge.End(760, std::pair<uint8_t, uint8_t>{0, 3});
        QCOMPARE(RapidRow(rows).late, 1);
        QVERIFY(RapidRow(rows).missing);
        QCOMPARE(RapidRow(rows).ok, 4); // instances not reported: not compared
        QCOMPARE(long(rows.size()), long(n2k::kGroups.size()));
        QVERIFY(std::all_of(rows.begin() + 1, rows.end(),
                            [](const cli::BusRow& r) { return r.missing && !r.Good(); }));

        // A second engine on the bus, at another address, with its own
        // values: not the device's, so not judged.
        cli::CBusJudge onTime;
        onTime.SetAddresses(0, 3);
        onTime.Level(0, 0, false);
        onTime.Seen(0, 0, Rapid(0));
        onTime.Seen(100, 9, Rapid(90));
        onTime.Seen(200, 0, Rapid(0));
        const auto both = onTime.End(400, std::nullopt);
        QVERIFY(RapidRow(both).Good());
        QVERIFY(std::none_of(both.begin(), both.end(),
                             [](const cli::BusRow& r) { return r.source == 9; }));
    }

    void check_data() {
        QTest::addColumn<QStringList>("emulatorArgs");
        QTest::addColumn<QStringList>("ctlArgs"); // BUS stands for the bus's interface
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says"); // on stdout, or on stderr for exit 2, 64 and 74

        QTest::newRow("all ok") << QStringList{} << QStringList{"--can", "virtualcan:BUS"} << 0
                                << QString();
        QTest::newRow("spoilt group")
            << QStringList{"--corrupt-pgn", "127489"} << QStringList{"--can", "virtualcan:BUS"} << 7
            << QString("127489 Engine Parameters, Dynamic");
        QTest::newRow("no such plugin")
            << QStringList{} << QStringList{"--can", "nosuch:can0"} << 2 << QString("available: ");
        QTest::newRow("no such interface")
            << QStringList{} << QStringList{"--can", "socketcan:nosuchcan7"} << 2
            << QString("cannot open the CAN interface socketcan:nosuchcan7");
        QTest::newRow("a full disk")
            << QStringList{} << QStringList{"--can", "virtualcan:BUS", "--candump", "/dev/full"}
            << 74 << QString("cannot write /dev/full");
        QTest::newRow("no interface") << QStringList{} << QStringList{"--can", "virtualcan:"} << 64
                                      << QString("--can: expected PLUGIN:INTERFACE");
    }

    void check() {
        QFETCH(QStringList, emulatorArgs);
        QFETCH(QStringList, ctlArgs);
        QFETCH(int, code);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString link = dir.filePath("device");
        const QString bus = QString("tcp://127.0.0.1:%1/can0").arg(FreePort());
        QProcess emulator;
        emulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        emulator.start(BRENDLOW_EMULATOR_PATH,
                       QStringList{"--link", link, "--can", "virtualcan:" + bus} + emulatorArgs);
        QVERIFY(emulator.waitForStarted());
        QVERIFY(emulator.waitForReadyRead(10000));
        ctlArgs.replaceInStrings("BUS", bus);
        const QString candump = dir.filePath("seen.log");
        QProcess ctl;
        ctl.start(BRENDLOW_CTL_PATH, QStringList{"--port", link, "bus", "--seconds", "3", "--json",
                                                 "--candump", candump} +
                                         ctlArgs);
        QVERIFY(ctl.waitForFinished(30000));
        emulator.terminate();
        emulator.waitForFinished();
        const QByteArray out = ctl.readAllStandardOutput();
        const QByteArray err = ctl.readAllStandardError();
        QVERIFY2(ctl.exitCode() == code, (out + err).constData());
        if (code == 2 || code == 64 || code == 74) {
            QVERIFY2(err.contains(says.toUtf8()), err.constData());
            QVERIFY(out.isEmpty());
            return;
        }
        // One object per group and source; each group the device sends is
        // there, every one but the spoilt one ok.
        QSet<QString> groups;
        for (const QByteArray& line : out.split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            const QString row = QString("%1 %2").arg(o["pgn"].toInt()).arg(o["name"].toString());
            groups << row;
            const bool spoilt = !says.isEmpty() && row == says;
            QCOMPARE(o["result"].toString(), spoilt ? "failed" : "ok");
            QVERIFY2(o["seen"].toInt() > 0, line.constData());
            QVERIFY(!o["missing"].toBool());
            if (spoilt) {
                QCOMPARE(o["mismatches"].toInt(), o["seen"].toInt());
                // Byte 1 of 127489 is the low byte of the oil pressure.
                QCOMPARE(o["firstMismatch"]["field"].toString(), "oilPressure");
                QCOMPARE(o["firstMismatch"]["expected"].toInt() ^
                             o["firstMismatch"]["seen"].toInt(),
                         0xFF);
            }
        }
        QCOMPARE(groups.size(), 15);
        if (!says.isEmpty())
            QVERIFY(groups.contains(says));
        // The frames seen are kept as candump lines.
        QFile log(candump);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().split('\n');
        QVERIFY(lines.size() > 100);
        for (const QByteArray& line : lines.mid(0, lines.size() - 1))
            QVERIFY2(n2k::ParseCandumpLine(line.toStdString()), line.constData());
    }
};

QTEST_GUILESS_MAIN(TestCliBus)
#include "test_cli_bus.moc"
