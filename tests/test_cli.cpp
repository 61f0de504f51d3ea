// brendlowctl against the device emulator over a pseudo-terminal, as a
// script would run it; its records are checked against the window's panel.
#include "core/CommandLine.h"
#include "tests/EmulatorProcess.h"
#include "widgets/CiAnalogDisplayX.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

struct Result {
    int code = -1;
    QByteArray out, err;
};

Result Ctl(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral(BRENDLOW_CTL_PATH), arguments);
    Result r;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QList<QJsonObject> JsonLines(const QByteArray& out) {
    QList<QJsonObject> objects;
    for (const QByteArray& line : out.split('\n'))
        if (!line.isEmpty())
            objects << QJsonDocument::fromJson(line).object();
    return objects;
}

} // namespace

class CliTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString Port() const { return m_dir.filePath("ports/COM1"); }
    Result Run(QStringList arguments) { return Ctl(QStringList{"--port", Port()} + arguments); }

private slots:
    // Every record shows what the window's panel shows for its level.
    void watchRecordsMatchThePanel() {
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 1, {"--rate", "100"}));
        FakeTerminal window(m_dir.filePath("Quarnel.ini"));
        for (int level : {1, 77}) {
            QCOMPARE(Run({"level", QString::number(level)}).code, 0);
            const Result r = Run({"watch", "--json", "--count", "3"});
            QCOMPARE(r.code, 0);
            const QList<QJsonObject> records = JsonLines(r.out);
            QCOMPARE(records.size(), 3);
            const QJsonObject& last = records.last();
            QCOMPARE(last["level"].toInt(), level);
            window.dlg->ShowLevel(static_cast<uint8_t>(level));
            const QJsonArray readouts = last["readouts"].toArray();
            QCOMPARE(readouts.size(), 44);
            int alternates = 0;
            for (const QJsonValue& v : readouts) {
                const QJsonObject e = v.toObject();
                const int id = e["id"].toInt();
                const bool alternate = e["alternate"].toBool();
                alternates += alternate;
                const QString shown =
                    alternate ? EditText(*window.dlg,
                                         id == 1074 ? ids::kMaxDepthText : ids::kRudderAngleText)
                              : window.dlg->Readout(id)->Text();
                QCOMPARE(e["text"].toString(), shown);
            }
            QCOMPARE(alternates, level < 3 ? 2 : 0);
            for (const QJsonValue& v : last["texts"].toArray())
                QCOMPARE(v["text"].toString(), EditText(*window.dlg, v["id"].toInt()));
            QVERIFY(last.contains("instances") && last.contains("claims"));
        }
    }

    // The query goes out and nothing else; each line reads TIME DIR VERDICT TEXT.
    void trafficShowsEveryLine() {
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 1, {"--bad-checksum-every", "3", "--rate", "50"}));
        const Result r = Run({"traffic", "--seconds", "0.8"});
        QCOMPARE(r.code, 0);
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        QVERIFY(lines.size() > 10);
        QCOMPARE(lines[0].mid(5), QByteArray(" TX ok AT ID?"));
        const QRegularExpression form(
            R"(^\d+\.\d{3} (TX|RX) (ok|bad-checksum|unexpected|dropped) \S.*$)");
        for (const QByteArray& line : lines) {
            QVERIFY2(form.match(QString::fromLatin1(line)).hasMatch(), line.constData());
            QVERIFY(!line.contains(" TX ") || line.endsWith("AT ID?"));
        }
        QVERIFY(r.out.contains(" RX bad-checksum "));
    }

    void identifiesAndCommands() {
        EmulatorProcess emulator;
        const QString trace = m_dir.filePath("trace.txt");
        QVERIFY(emulator.Start(m_dir.path(), 1,
                               {"--serial", "4000000000", "--firmware", "122", "--trace", trace}));
        Result r = Run({"identify"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out,
                 QByteArray("product: Brendlow T-100\nfirmware: 12.3A\nserial: 4000000000\n"));
        r = Run({"identify", "--json"});
        QCOMPARE(QJsonDocument::fromJson(r.out).object()["serial"].toDouble(), 4000000000.0);
        QVERIFY(r.err.isEmpty());
        QCOMPARE(Run({"key", "dynamic"}).code, 0);
        const Result sweep = Run({"sweep", "20", "26", "--step", "3", "--every", "0"});
        QCOMPARE(sweep.code, 0);
        QCOMPARE(sweep.out, QByteArray("20\n23\n26\n"));
        const Result inst = Run({"instances", "engine=7", "bwater=12", "--json"});
        QCOMPARE(inst.code, 0);
        const QJsonObject o = QJsonDocument::fromJson(inst.out).object();
        QCOMPARE(o["engine"].toInt(), 7);
        QCOMPARE(o["bwater"].toInt(), 12);
        const QStringList lines = ReadLines(trace);
        QVERIFY(lines.contains("LINE AT KI2505"));
        const proto::CommandLine level20 = proto::BuildLevelCommand(20);
        QVERIFY(lines.contains("LINE " + QString::fromLatin1(level20.View().data(), 8)));
    }

    void failuresHaveTheirExitCodes() {
        QCOMPARE(Ctl({"level", "101"}).code, 64);
        QCOMPARE(Ctl({"bogus"}).code, 64);
        QCOMPARE(Ctl({"instances", "keel=3"}).code, 64);
        const Result absent = Run({"identify"});
        QCOMPARE(absent.code, 2);
        QVERIFY(absent.err.contains(Port().toUtf8()));
        QVERIFY(absent.out.isEmpty());
        EmulatorProcess garbage;
        QVERIFY(garbage.Start(m_dir.path(), 1, {"--garbage"}));
        const Result silent = Run({"--timeout", "1.5", "identify"});
        QCOMPARE(silent.code, 3);
        QCOMPARE(silent.err.count('\n'), 1);
    }
};

QTEST_MAIN(CliTest)
#include "test_cli.moc"
