// The device session alone, over an in-memory port: what the traffic tap
// reports for each kind of received line.
#include "core/ReportLines.h"
#include "session/CDeviceSession.h"
#include "tests/FakeEnvironment.h"

#include <QtTest>

class SessionTest : public QObject {
    Q_OBJECT

private slots:
    void trafficVerdicts() {
        auto backend = std::make_unique<CFakeSerialBackend>();
        CFakeSerialBackend& serial = *backend;
        CFakeClock clock;
        session::SessionEnvironment env;
        env.serial = std::move(backend);
        env.clock = &clock;
        session::CDeviceSession s(std::move(env));
        QStringList seen;
        connect(&s, &session::CDeviceSession::Traffic, this, [&](const session::TrafficLine& l) {
            seen << QStringLiteral("%1 %2 %3")
                        .arg(l.sent ? "TX" : "RX", session::VerdictName(l.verdict),
                             QString::fromLatin1(session::VisibleText(l.bytes)));
        });
        s.Start();
        s.Connect();
        const std::string id = proto::BuildIdReportLine('9', 1, 9);
        std::string badLevel = proto::BuildLevelBroadcastLine(50, 1);
        badLevel[9] = badLevel[9] == '0' ? '1' : '0';
        serial.Receive(
            QByteArray::fromStdString(proto::BuildLevelBroadcastLine(50, 1)) + // before id
            QByteArray::fromStdString(id) + QByteArray::fromStdString(id) +    // not asked for
            QByteArray("\x01\xFFzz") + "ACK %\r\n" + // noise, then a good line
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
        QCOMPARE(s.ReceiveWindow().Count(), 0);
    }
};

QTEST_MAIN(SessionTest)
#include "test_session.moc"
