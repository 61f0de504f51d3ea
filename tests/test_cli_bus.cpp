// brendlowctl bus against the emulator on a virtual CAN bus: a device that
// sends what the model says passes, one with a spoilt group fails naming it.
#include "core/Candump.h"

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

// A TCP port nobody listens on now, for a bus of this case's own.
int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    const bool ok = bind(s, reinterpret_cast<sockaddr*>(&a), size) == 0 &&
                    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) == 0;
    close(s);
    return ok ? ntohs(a.sin_port) : -1;
}

} // namespace

class TestCliBus : public QObject {
    Q_OBJECT
private slots:
    void check_data() {
        QTest::addColumn<QStringList>("emulatorArgs");
        QTest::addColumn<QStringList>("ctlArgs"); // BUS stands for the bus's interface
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says"); // on stdout, or on stderr for exit 2 and 64

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
        if (code == 2 || code == 64) {
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
