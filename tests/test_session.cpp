// The device session alone, over an in-memory port: the link's states, the
// watchdog's search, the operations waiting for the device, failures and
// what the traffic tap reports for each kind of received line.
#include "core/CommandLine.h"
#include "core/ReportLines.h"
#include "session/CDeviceSession.h"
#include "tests/FakeEnvironment.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

using session::CDeviceSession;
using session::LinkState;
using session::Mode;

// A session on fakes, with what it told its front ends.
struct SessionOnFakes {
    CFakeSerialBackend* serial;
    CFakeClock clock;
    std::unique_ptr<CDeviceSession> session;
    QStringList failures;
    QList<session::LevelStatus> levels;
    int resets = 0;

    explicit SessionOnFakes(const QString& settingsPath) {
        auto backend = std::make_unique<CFakeSerialBackend>();
        serial = backend.get();
        session::SessionEnvironment env;
        env.serial = std::move(backend);
        env.clock = &clock;
        env.settingsPath = settingsPath;
        session = std::make_unique<CDeviceSession>(std::move(env));
        QObject::connect(session.get(), &CDeviceSession::Failure,
                         [this](const QString& text, session::FailureKind) { failures << text; });
        QObject::connect(session.get(), &CDeviceSession::LevelReported,
                         [this](const session::LevelStatus& s) { levels << s; });
        QObject::connect(session.get(), &CDeviceSession::PanelReset, [this] { ++resets; });
        session->Start();
    }
};

} // namespace

class SessionTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<SessionOnFakes> m_f;

    CDeviceSession& S() { return *m_f->session; }
    CFakeSerialBackend& Serial() { return *m_f->serial; }
    void Identify(const QByteArray& report = kIdReport) {
        S().Tick();
        Serial().Receive(report);
        Serial().ClearWrites();
    }
    void Broadcast(uint8_t level, uint8_t modes) {
        Serial().Receive(Bytes(proto::BuildLevelBroadcastLine(level, modes)));
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_f = std::make_unique<SessionOnFakes>(m_dir.filePath("Quarnel.ini"));
        QCoreApplication::processEvents(); // the settings notice, if any
    }
    void cleanup() { m_f.reset(); }

    // Closed until the first tick; each tick without an answer opens the
    // port again and sends the query one byte per write.
    void searchingQueriesAtEveryTick() {
        QCOMPARE(S().State(), LinkState::Closed);
        QCOMPARE(Serial().opens, 0);
        for (int tick = 1; tick <= 2; ++tick) {
            S().Tick();
            QCOMPARE(S().State(), LinkState::Searching);
            QCOMPARE(Serial().opens, tick);
            QVERIFY(S().IsIdQueryPending());
        }
        QCOMPARE(Serial().openedPort, 1);
        QCOMPARE(Serial().writes.size(), size_t(16));
        QCOMPARE(Serial().Written(), kIdQuery + kIdQuery);
        QVERIFY(S().IsWatchdogRunning());
    }

    // The identification report: a known product is identified and its
    // port remembered; an unknown one ends the link; a bad checksum only
    // ends the wait.
    void identificationReports() {
        struct Row {
            QByteArray report;
            LinkState state;
            bool watchdog;
            bool portOpen;
            bool corrupt; // told as a device whose identification is corrupt
        };
        const Row rows[] = {
            {kIdReport, LinkState::Identified, true, true, false},
            {"ACK ID141000000000E3\r\n", LinkState::Closed, false, false, false}, // unknown product
            {"ACK ID931000000090E3\r\n", LinkState::Searching, true, true, true}, // bad checksum
        };
        for (const Row& row : rows) {
            init();
            QSignalSpy corrupt(&S(), &CDeviceSession::IdentificationCorrupt);
            Identify(row.report);
            QCOMPARE(corrupt.size(), row.corrupt ? 1 : 0);
            QCOMPARE(S().State(), row.state);
            QCOMPARE(S().IsWatchdogRunning(), row.watchdog);
            QCOMPARE(Serial().open, row.portOpen);
            QVERIFY(!S().IsIdQueryPending());
            QVERIFY(S().IsSettingsSavePending());
            QVERIFY(m_f->failures.isEmpty());
        }
        // Identified: a report nobody asked for changes nothing, and a tick
        // that saw traffic sends nothing and rewrites the settings.
        init();
        Identify(Bytes(proto::BuildIdReportLine('>', 16777216, 122)));
        QCOMPARE(S().Identity().firmware, QString("12.3A"));
        Serial().Receive(kIdReport);
        QCOMPARE(S().Identity().serialNumber, 16777216u);
        S().Tick();
        QVERIFY(Serial().writes.empty());
        QVERIFY(!S().IsSettingsSavePending());
        QVERIFY(QFile::exists(m_dir.filePath("Quarnel.ini")));
    }

    // A silent second drops an identified device and searches again in the
    // same tick; a hang-up mid-line is a lost device too, and the next
    // device's first answer is not spoilt by the leftovers.
    void aLostDeviceIsSearchedForAgain() {
        Identify();
        Broadcast(60, 0x01);
        S().Tick(); // traffic seen
        const int resets = m_f->resets;
        S().Tick(); // silent
        QCOMPARE(m_f->resets, resets + 1);
        QCOMPARE(S().State(), LinkState::Searching);
        QCOMPARE(Serial().Written(), kIdQuery);

        init();
        Identify();
        Serial().Receive("BRC %S");
        Serial().writeError = "Write to pts/3 failed: Input/output error";
        S().PressKey(session::Key::Menu);
        QCOMPARE(S().State(), LinkState::Closed);
        QVERIFY(S().IsWatchdogRunning());
        S().Tick(); // the query cannot go out either: still searching
        Serial().writeError.clear();
        S().Tick();
        QCOMPARE(Serial().Written(), kIdQuery);
        QCOMPARE(S().ReceiveWindow().Count(), 0);
        Serial().Receive(kIdReport);
        QCOMPARE(S().State(), LinkState::Identified);
        QVERIFY(m_f->failures.isEmpty());
    }

    void theOperatorsDisconnectStopsAndConnectStartsAgain() {
        Identify();
        S().Disconnect();
        QCOMPARE(S().State(), LinkState::Closed);
        QVERIFY(!S().IsWatchdogRunning() && !Serial().open);
        S().Connect();
        QVERIFY(S().IsWatchdogRunning());
        QCOMPARE(Serial().Written(), kIdQuery);
    }

    // Bytes on a port the session did not open are read and dropped.
    void bytesWhileClosedAreDropped() {
        Serial().open = true;
        Serial().Receive(kIdReport);
        QVERIFY(!S().IsTrafficSeen());
        QVERIFY(Serial().pending.isEmpty());
        QCOMPARE(S().ReceiveWindow().Count(), 0);
    }

    // The watchdog's failures come once; the operator's own Connect always
    // hears why it failed.
    void failuresAreReportedOnceUnlessAsked() {
        Serial().openError = "Cannot open COM1: No such file or directory";
        S().Tick();
        QCOMPARE(m_f->failures, QStringList{Serial().openError});
        QVERIFY(!S().IsWatchdogRunning());
        S().Connect();
        S().Connect();
        QCOMPARE(Serial().opens, 3);
        QCOMPARE(m_f->failures.size(), 3);

        init();
        S().Tick();
        Serial().stuckOpen = true;
        S().Tick();
        S().Tick();
        QCOMPARE(m_f->failures, QStringList{"Cannot Open the selected Serial Port!"});
        QVERIFY(!S().IsConnected());
        QCOMPARE(Serial().Written(), kIdQuery); // only the first attempt's query
    }

    // Any port text but COM1..COM30 opens port 1.
    void portNames() {
        const std::pair<const char*, int> rows[] = {
            {"COM7", 7}, {"com5", 1}, {"COM31", 1}, {"", 1}};
        for (const auto& [name, number] : rows) {
            S().SetPort(name);
            S().Connect();
            QCOMPARE(Serial().openedPort, number);
        }
    }

    // A mode change keeps the operator's state against broadcasts until its
    // key is acknowledged.
    void aPendingModeWaitsForItsAcknowledgement() {
        Identify();
        S().SetMode(Mode::Quiet, true);
        QVERIFY(S().IsModePending(Mode::Quiet) && !S().IsModePending(Mode::Dynamic));
        Broadcast(40, 0x01); // the device still says Quiet off
        QVERIFY(m_f->levels.last().modes.quiet);
        Serial().Receive("ACK KI\r\n");
        QVERIFY(!S().IsModePending(Mode::Quiet));
        Broadcast(40, 0x01);
        QVERIFY(!m_f->levels.last().modes.quiet);
    }

    // Broadcasts leave the slider alone while it is held or its level is on
    // its way; a lost acknowledgement releases it after two ticks, a held
    // slider never.
    void theSliderIsLeftAloneWhileBusy() {
        Identify();
        S().SendLevel(30);
        QCOMPARE(Serial().Written(), QByteArray(proto::BuildLevelCommand(30).View().data(), 10));
        for (int tick = 0; tick < 2; ++tick) {
            Broadcast(70, 0x01);
            QVERIFY(!m_f->levels.last().follows);
            S().Tick();
        }
        Broadcast(70, 0x01);
        QVERIFY(m_f->levels.last().follows);

        S().SendLevel(31);
        Serial().Receive("ACK %\r\n");
        QVERIFY(!S().IsSliderBusy());

        S().HoldLevel();
        for (int tick = 0; tick < 3; ++tick) {
            Broadcast(70, 0x01);
            S().Tick();
        }
        QVERIFY(!m_f->levels.last().follows);
        // A reset forgets what waited for the lost device.
        S().SetMode(Mode::Dynamic, true);
        S().Disconnect();
        QVERIFY(!S().IsSliderBusy() && !S().IsModePending(Mode::Dynamic));
    }

    void trafficVerdicts() {
        QStringList seen;
        connect(&S(), &CDeviceSession::Traffic, this, [&](const session::TrafficLine& l) {
            seen << QStringLiteral("%1 %2 %3")
                        .arg(l.sent ? "TX" : "RX", session::VerdictName(l.verdict),
                             QString::fromLatin1(session::VisibleText(l.bytes)));
        });
        S().Connect();
        const std::string id = proto::BuildIdReportLine('9', 1, 9);
        std::string badLevel = proto::BuildLevelBroadcastLine(50, 1);
        badLevel[9] = badLevel[9] == '0' ? '1' : '0';
        Serial().Receive(Bytes(proto::BuildLevelBroadcastLine(50, 1)) + // before id
                         Bytes(id) + Bytes(id) +                        // not asked for
                         QByteArray("\x01\xFFzz") + "ACK %\r\n" +       // noise, then a good line
                         QByteArray::fromStdString(badLevel) + "BRC " + QByteArray(60, 'x') +
                         "\r\n"); // overlong
        const QStringList expected = {
            "TX ok AT ID?",
            "RX unexpected BRC %S2310BC",
            "RX ok " + QString::fromStdString(id).trimmed(),
            "RX unexpected " + QString::fromStdString(id).trimmed(),
            "RX dropped \\x01\\xFFzz",
            "RX ok ACK %",
            "RX bad-checksum " + QString::fromStdString(badLevel).trimmed(),
            // An overlong line loses its head; the window's last 50 bytes
            // still end in CR LF, a line of no known kind.
            "RX dropped BRC " + QString(12, 'x'),
            "RX unexpected " + QString(48, 'x'),
        };
        QCOMPARE(seen.join("\n"), expected.join("\n"));
        QCOMPARE(S().ReceiveWindow().Count(), 0);
    }
};

QTEST_MAIN(SessionTest)
#include "test_session.moc"
