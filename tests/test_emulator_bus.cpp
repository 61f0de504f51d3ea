// The emulator's NMEA 2000 side: its two nodes and the serial side's hold on
// them on a clock of the test's, then the program on a virtual CAN bus the
// test hosts, and its candump log without one.
#include "core/Candump.h"
#include "core/CommandLine.h"
#include "core/PanelFields.h"
#include "core/ParameterModel.h"
#include "core/ReportLines.h"
#include "emulator/BusModel.h"
#include "emulator/EmulatorLoop.h"
#include "emulator/Pty.h"
#include "tests/FreePort.h"

#include <QCanBus>
#include <QCanBusDevice>
#include <QDateTime>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

using namespace n2k;

namespace {

constexpr int kWaitMs = 5000;
constexpr uint32_t kSerial = 1234567;
constexpr uint32_t kClaimPgn = 60928;

CanFrame ClaimFrame(uint8_t source, const NameFields& name) {
    const uint64_t value = EncodeName(name);
    CanFrame f{MakeId(6, kClaimPgn, source, kGlobal), 8, {}};
    for (size_t i = 0; i < 8; ++i)
        f.data[i] = static_cast<uint8_t>(value >> (8 * i));
    return f;
}

// Frames as candump shows them, to compare.
QStringList Lines(const std::vector<CanFrame>& frames) {
    QStringList lines;
    for (const CanFrame& f : frames)
        lines << QString::fromStdString(FormatCandumpLine(0, "can0", f));
    return lines;
}

// The panel's raw value in every panel field of a message of ours.
bool ShowsLevel(const Message& m, int level, bool warnings = false) {
    const auto d = Decode(m);
    const panel::RawValues raw = panel::ComputeRawValues(static_cast<uint8_t>(level), warnings);
    if (!d)
        return false;
    for (size_t i = 0; i < d->group->fields.size(); ++i) {
        const Field& f = d->group->fields[i];
        if (f.origin == Origin::Panel &&
            d->values[i] != panel::FindPanelEntry(f.arg)->source.raw(raw))
            return false;
    }
    return true;
}

std::string Text(const proto::CommandLine& line) {
    return std::string(line.View());
}

// Whole messages from frames, in the order they completed.
struct Messages {
    CReassembler reassembler;
    std::vector<Message> all;

    explicit Messages(const std::vector<CanFrame>& frames = {}) {
        for (const CanFrame& f : frames)
            Push(f);
    }
    void Push(const CanFrame& f) {
        if (auto m = reassembler.Push(f))
            all.push_back(*m);
    }
    const Message* Last(uint32_t pgn) const {
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (it->pgn == pgn)
                return &*it;
        return nullptr;
    }
    // How many of our groups came.
    size_t Groups() const {
        std::set<const Group*> seen;
        for (const Message& m : all)
            if (const auto d = Decode(m))
                seen.insert(d->group);
        return seen.size();
    }
};

// The terminal's end of a pty.
struct PtyPeer {
    int port = -1;
    QByteArray received;

    void Send(const std::string& line) {
        QCOMPARE(::write(port, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    }
    bool Said(const std::string& line) {
        char buffer[256];
        for (ssize_t n; (n = ::read(port, buffer, sizeof buffer)) > 0;)
            received.append(buffer, n);
        return received.contains(line.c_str());
    }
    ~PtyPeer() {
        if (port >= 0)
            ::close(port);
    }
};

// The program, with its pty open on this side.
struct Emulator : PtyPeer {
    QProcess process;

    bool Start(const QStringList& args) {
        process.start(BRENDLOW_EMULATOR_PATH, args);
        while (!process.canReadLine() && process.waitForReadyRead(kWaitMs)) {
        }
        port = ::open(process.readLine().trimmed().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return port >= 0;
    }
    QByteArray Stop() {
        process.terminate();
        process.waitForFinished(kWaitMs);
        return process.readAllStandardError();
    }
    ~Emulator() { Stop(); }
};

} // namespace

class TestEmulatorBus : public QObject {
    Q_OBJECT

private slots:
    // Both claim at start and send nothing else for the contention time.
    // An engine node that loses its address then passes over those others
    // hold and its sibling's; the transmission node keeps sending meanwhile,
    // and defends its own address against a higher NAME.
    void claimsAndContention() {
        emulator::CBusModel model({});
        std::vector<CanFrame> out;
        model.Start(0, out);
        DeviceState state;
        model.Tick(CNode::kContentionMs - 1, state, out);
        QCOMPARE(Lines(out), Lines({ClaimFrame(0, DeviceName(Node::Engine, kSerial)),
                                    ClaimFrame(3, DeviceName(Node::Transmission, kSerial))}));
        QCOMPARE(model.Claims().claimFlags, 0);
        model.Tick(CNode::kContentionMs, state, out);
        QCOMPARE(model.Claims().claimFlags, 0x05);
        out.clear();
        for (uint8_t taken : {1, 2})
            model.Receive(ClaimFrame(taken, DeviceName(Node::Transmission, taken)), 300, out);
        QVERIFY(out.empty());
        model.Receive(ClaimFrame(0, DeviceName(Node::Engine, kSerial - 1)), 300, out);
        QCOMPARE(Lines(out), Lines({ClaimFrame(4, DeviceName(Node::Engine, kSerial))}));
        QCOMPARE(model.Claims().claimFlags, 0x04);
        QCOMPARE(model.Claims().engineAddress, 4);
        out.clear();
        model.Tick(400, state, out); // the 100 ms groups
        QVERIFY(!out.empty());
        for (const CanFrame& f : out)
            QCOMPARE(SplitId(f.id).pgn, 127493u);
        out.clear();
        model.Receive(ClaimFrame(3, DeviceName(Node::Transmission, kSerial + 1)), 450, out);
        QCOMPARE(Lines(out), Lines({ClaimFrame(3, DeviceName(Node::Transmission, kSerial))}));
        model.Tick(300 + CNode::kContentionMs, state, out);
        QCOMPARE(model.Claims().claimFlags, 0x05);
    }

    // A command line reaches the bus side's next tick; the claim broadcast
    // reports what the bus side left in the exchange.
    void theSerialSideDrivesTheBusSide() {
        emulator::CPty pty;
        QCOMPARE(QString::fromStdString(pty.Open()), QString());
        PtyPeer peer;
        peer.port = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(peer.port >= 0);
        emulator::EmulatorOptions options;
        emulator::CBusExchange exchange;
        int64_t now = 0;
        emulator::CEmulatorLoop loop(
            options, pty.Master(), -1, {}, [&] { return now; }, &exchange);
        QCOMPARE(exchange.State().level, 50);
        peer.Send(Text(proto::BuildIdQuery()) + Text(proto::BuildLevelCommand(20)) +
                  Text(proto::BuildKeyCommand(proto::kKeyWarnings)));
        QVERIFY(loop.RunUntil([&] { return peer.Said(proto::BuildKeyAckLine()); }, 20));
        emulator::CBusModel model({});
        std::vector<CanFrame> out;
        model.Start(0, out);
        model.Tick(CNode::kContentionMs, exchange.State(), out);
        const Messages got(out);
        QVERIFY(got.Last(127488) && ShowsLevel(*got.Last(127488), 20, true));

        exchange.SetClaims({0x04, 7, 3});
        now += 500'000'000;
        QVERIFY(
            loop.RunUntil([&] { return peer.Said(proto::BuildAddressClaimLine(0x04, 7, 3)); }, 20));
    }

    // The program on a bus the test hosts: the claims, every group, a level
    // command in the next engine messages, a lost address in the claim
    // broadcast, product information on request; and its gateway passing on
    // the whole bus, the test's frames among the emulator's, in order.
    void onAVirtualBus() {
        const QString bus = QString("tcp://127.0.0.1:%1/can0").arg(FreePort());
        QString error;
        std::unique_ptr<QCanBusDevice> can(
            QCanBus::instance()->createDevice("virtualcan", bus, &error));
        QVERIFY2(can && can->connectDevice(), qPrintable(error));
        QVERIFY(QTest::qWaitFor([&] { return can->state() == QCanBusDevice::ConnectedState; }));
        std::vector<CanFrame> frames;
        Messages got;
        connect(can.get(), &QCanBusDevice::framesReceived, this, [&] {
            for (const QCanBusFrame& qt : can->readAllFrames()) {
                const QByteArray payload = qt.payload();
                CanFrame f{qt.frameId(), static_cast<uint8_t>(payload.size()), {}};
                std::copy(payload.begin(), payload.end(), f.data.begin());
                frames.push_back(f);
                got.Push(f);
            }
        });
        const auto send = [&](const CanFrame& f) {
            QCanBusFrame qt(f.id,
                            QByteArray(reinterpret_cast<const char*>(f.data.data()), f.length));
            qt.setExtendedFrameFormat(true);
            QVERIFY(can->writeFrame(qt));
        };

        const int gatewayPort = FreePort();
        Emulator emulator;
        QVERIFY(emulator.Start(
            {"--can", "virtualcan:" + bus, "--gateway", QString::number(gatewayPort)}));
        QTcpSocket gateway;
        gateway.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(gatewayPort));
        QVERIFY(gateway.waitForConnected(kWaitMs));
        QStringList passedOn; // frames as Lines() shows them
        connect(&gateway, &QTcpSocket::readyRead, this, [&] {
            while (gateway.canReadLine()) {
                const auto record = ParseCandumpLine(gateway.readLine().toStdString());
                QVERIFY(record);
                passedOn << Lines({record->frame});
            }
        });
        QVERIFY(QTest::qWaitFor([&] { return got.Groups() == kGroups.size(); }, kWaitMs));
        QCOMPARE(Lines(frames).mid(0, 2),
                 Lines({ClaimFrame(0, DeviceName(Node::Engine, kSerial)),
                        ClaimFrame(3, DeviceName(Node::Transmission, kSerial))}));
        QCOMPARE(got.Last(127493)->source, 3);
        QCOMPARE(got.Last(127488)->source, 0);

        emulator.Send(Text(proto::BuildIdQuery()) + Text(proto::BuildLevelCommand(20)));
        QVERIFY(
            QTest::qWaitFor([&] { return emulator.Said(proto::BuildLevelAckLine()); }, kWaitMs));
        QVERIFY(QTest::qWaitFor([&] { return ShowsLevel(*got.Last(127488), 20); }, kWaitMs));
        const size_t changed = got.all.size();

        // A NAME below the engine node's takes its address; 1 is the next.
        send(ClaimFrame(0, DeviceName(Node::Engine, kSerial - 1)));
        const QString moved = Lines({ClaimFrame(1, DeviceName(Node::Engine, kSerial))})[0];
        QVERIFY(QTest::qWaitFor([&] { return Lines(frames).contains(moved); }, kWaitMs));
        QVERIFY(QTest::qWaitFor(
            [&] { return emulator.Said(proto::BuildAddressClaimLine(0x05, 1, 3)); }, 2 * kWaitMs));
        // What went out before the move came from 0; the next comes from 1.
        QVERIFY(QTest::qWaitFor([&] { return got.Last(127488)->source == 1; }, kWaitMs));
        for (size_t i = changed; i < got.all.size(); ++i)
            if (got.all[i].pgn == 127488)
                QVERIFY(ShowsLevel(got.all[i], 20));

        send({MakeId(6, 59904, 0x30, 1), 3, {0x14, 0xF0, 0x01}}); // a request for 126996
        QVERIFY(QTest::qWaitFor([&] { return got.Last(126996) != nullptr; }, kWaitMs));
        QCOMPARE(got.Last(126996)->source, 1);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(got.Last(126996)->data.data()) + 4, 32),
                 QByteArray::fromStdString(proto::ProductName('9')).leftJustified(32, '\xFF'));

        // The gateway connected after the claims; from the first frame it
        // passed on, it shows the bus as the test saw it, plus the test's own.
        const QStringList seen = Lines(frames);
        QVERIFY(QTest::qWaitFor([&] { return passedOn.contains(seen.constLast()); }, kWaitMs));
        const QString request = Lines({{MakeId(6, 59904, 0x30, 1), 3, {0x14, 0xF0, 0x01}}})[0];
        const QString taker = Lines({ClaimFrame(0, DeviceName(Node::Engine, kSerial - 1))})[0];
        QVERIFY(passedOn.contains(request) && passedOn.contains(taker));
        QStringList emulators = passedOn;
        emulators.removeAll(request);
        emulators.removeAll(taker);
        const qsizetype first = seen.indexOf(emulators.constFirst());
        QVERIFY(first >= 0);
        QCOMPARE(emulators.mid(0, seen.size() - first), seen.mid(first));
        emulator.Stop();
    }

    // Without a CAN interface: every line a candump line with the wall
    // clock's time, the messages the panel's raw values of the level.
    void candumpWithoutABus() {
        QTemporaryDir dir;
        QFile file(dir.filePath("bus.log"));
        const auto before = static_cast<uint64_t>(QDateTime::currentMSecsSinceEpoch());
        Emulator emulator;
        QVERIFY(emulator.Start({"--candump", file.fileName()}));
        QVERIFY(QTest::qWaitFor([&] { return file.size() > 2000; }, kWaitMs));
        QCOMPARE(emulator.Stop(), QByteArray());
        const auto after = static_cast<uint64_t>(QDateTime::currentMSecsSinceEpoch());
        QVERIFY(file.open(QIODevice::ReadOnly));
        Messages got;
        uint64_t last = 0;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            const auto record = ParseCandumpLine(line.toStdString());
            QVERIFY2(record && record->interface == "can0", line.constData());
            QVERIFY(record->microseconds >= last && record->microseconds / 1000 >= before &&
                    record->microseconds / 1000 <= after);
            last = record->microseconds;
            got.Push(record->frame);
        }
        QCOMPARE(got.Groups(), kGroups.size());
        for (const Message& m : got.all)
            QVERIFY(m.pgn == kClaimPgn || ShowsLevel(m, 50));
    }

    // An interface that cannot be opened, or a plugin that does not exist,
    // turns the bus side off: the serial side answers and reports no claims.
    void aBusThatCannotBeOpened_data() {
        QTest::addColumn<QString>("can");
        QTest::addColumn<QString>("said");
        QTest::newRow("no such interface")
            << QString("socketcan:nosuch0") << QString("socketcan:nosuch0");
        QTest::newRow("no such plugin") << QString("nosuch:can0") << QString("virtualcan");
    }
    void aBusThatCannotBeOpened() {
        QFETCH(QString, can);
        QFETCH(QString, said);
        Emulator emulator;
        QVERIFY(emulator.Start({"--can", can}));
        emulator.Send(Text(proto::BuildIdQuery()));
        QVERIFY(QTest::qWaitFor(
            [&] { return emulator.Said(proto::BuildAddressClaimLine(0, 0, 3)); }, kWaitMs));
        const QByteArray stderrText = emulator.Stop();
        QVERIFY2(emulator.process.exitCode() == 0 && stderrText.contains("bus side is off") &&
                     stderrText.contains(said.toLatin1()),
                 stderrText.constData());
    }
};

QTEST_GUILESS_MAIN(TestEmulatorBus)
#include "test_emulator_bus.moc"
