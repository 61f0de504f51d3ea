// brendlowctl against the device emulator over a pseudo-terminal, as a
// script would run it; its records are checked against the window's panel.
#include "core/CommandLine.h"
#include "core/InstanceManagement.h"
#include "tests/EmulatorProcess.h"
#include "widgets/CiAnalogDisplayX.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using Result = CtlResult;

QList<QJsonObject> JsonLines(const QByteArray& out) {
    QList<QJsonObject> objects;
    for (const QByteArray& line : out.split('\n'))
        if (!line.isEmpty())
            objects << QJsonDocument::fromJson(line).object();
    return objects;
}

// How a read-out's text writes its number as JSON: "5000.00 RPM" as
// 5000, "-0.0970 V" as -0.097.
QByteArray WrittenNumber(const QString& text, const QString& unit) {
    QString number = text.chopped(unit.isEmpty() ? 0 : unit.size() + 1);
    if (number.contains('.')) {
        while (number.endsWith('0'))
            number.chop(1);
        if (number.endsWith('.'))
            number.chop(1);
    }
    return number.toLatin1();
}

// What brendlowctl writes to a terminal `columns` wide, with the terminal's
// CR LF line ends made LF again.
Result CtlOnTerminal(const QStringList& arguments, unsigned short columns) {
    Result r;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return r;
    const auto closeMaster = qScopeGuard([master] { ::close(master); });
    const winsize size{40, columns, 0, 0};
    ::ioctl(master, TIOCSWINSZ, &size);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    QProcess p;
    p.setStandardOutputFile(QString::fromLatin1(::ptsname(master)));
    p.start(BRENDLOW_CTL_PATH, arguments);
    auto drain = [&] {
        char buffer[4096];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
            r.out.append(buffer, n);
    };
    QDeadlineTimer limit(20000);
    while (!p.waitForFinished(20) && !limit.hasExpired())
        drain();
    drain();
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = p.readAllStandardError();
    r.out.replace("\r\n", "\n");
    return r;
}

// A copy of brendlowctl in a fresh folder, whose ports/ it then uses: the
// build's own ports/ stays as it is. Only a copy inside a build tree keeps
// its data beside itself, so the folder is made there.
struct CopiedTool {
    QTemporaryDir data{QFileInfo(QStringLiteral(BRENDLOW_CTL_PATH)).absolutePath() + "/cli-XXXXXX"};
    QString tool = data.isValid() && QFile::copy(BRENDLOW_CTL_PATH, data.filePath("brendlowctl"))
                       ? data.filePath("brendlowctl")
                       : QString();
    Result Run(const QStringList& arguments) const { return Ctl(arguments, tool); }
};

} // namespace

class CliTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString Port() const { return m_dir.filePath("ports/COM1"); }
    Result Run(QStringList arguments) { return Ctl(QStringList{"--port", Port()} + arguments); }

private slots:
    // Every record shows what the window's panel shows for its level, each
    // value with the digits its text shows; the first record already has
    // the claims and instances, which the device sends after a level.
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
            const QJsonObject& first = records.first();
            QVERIFY(first["claims"]["engine"].toString().startsWith("SA="));
            QVERIFY(first["claims"]["transmission"].toString().startsWith("SA="));
            QCOMPARE(first["instances"].toObject().size(), int(device::kInstanceFields.size()) + 1);
            const QByteArray firstLine = r.out.left(r.out.indexOf('\n'));
            QVERIFY2(QRegularExpression(R"("time":\d+(\.\d{1,3})?[,}])")
                         .match(QString::fromLatin1(firstLine))
                         .hasMatch(),
                     firstLine.constData());
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
                if (!alternate) {
                    // Keys are written in sorted order.
                    const QByteArray written = QJsonDocument(QJsonObject{{"unit", e["unit"]}})
                                                   .toJson(QJsonDocument::Compact);
                    const QByteArray expected =
                        written.chopped(1) +
                        ",\"value\":" + WrittenNumber(e["text"].toString(), e["unit"].toString()) +
                        '}';
                    QVERIFY2(r.out.split('\n').at(2).contains(expected.mid(1)),
                             expected.constData());
                }
            }
            QCOMPARE(alternates, level < 3 ? 2 : 0);
            for (const QJsonValue& v : last["texts"].toArray())
                QCOMPARE(v["text"].toString(), EditText(*window.dlg, v["id"].toInt()));
        }
    }

    // On a terminal one table is redrawn in place, with the claims and
    // instances; into a pipe each broadcast is one line.
    void watchOnATerminalRedrawsOneTable() {
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 1, {"--rate", "20"}));
        const Result piped = Run({"watch", "--count", "2"});
        QCOMPARE(piped.code, 0);
        const QRegularExpression line(
            R"(^\d+\.\d{3} level=\d+ dynamic=[01] quiet=[01] warnings=[01]$)");
        const QList<QByteArray> lines = piped.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        for (const QByteArray& l : lines)
            QVERIFY2(line.match(QString::fromLatin1(l)).hasMatch(), l.constData());

        for (unsigned short columns : {80, 160}) {
            const Result r =
                CtlOnTerminal({"--port", Port(), "watch", "--seconds", "1.5"}, columns);
            QCOMPARE(r.code, 0);
            QVERIFY2(!r.out.contains("\x1b[2J") && r.out.count("\x1b[H") > 1, r.out.constData());
            const QByteArray last = r.out.mid(r.out.lastIndexOf("\x1b[H") + 3);
            QVERIFY(last.endsWith("\x1b[J"));
            const QList<QByteArray> rows = last.chopped(3).split('\n');
            QVERIFY(line.match(QString::fromLatin1(rows[0].chopped(3))).hasMatch());
            for (const QByteArray& row : rows)
                QVERIFY2(row.size() <= columns + 3, row.constData());
            QVERIFY(last.contains("Fuel Level") && last.contains("Engine Speed"));
            QVERIFY(last.contains("SA=") && last.contains("engine="));
            // 49 entries and the record's line, the claims and instances
            // below: a wide terminal takes the entries in columns.
            QVERIFY(columns == 80 ? rows.size() > 49 : rows.size() < 40);
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
        for (const auto& [from, to, step, levels] :
             {std::tuple{"20", "26", "3", "20\n23\n26\n"}, {"30", "26", "100", "30\n26\n"}}) {
            const Result sweep = Run({"sweep", from, to, "--step", step, "--every", "0"});
            QCOMPARE(sweep.code, 0);
            QCOMPARE(sweep.out, QByteArray(levels));
        }
        const QStringList lines = ReadLines(trace);
        QVERIFY(lines.contains("LINE AT KI2505"));
        const proto::CommandLine level20 = proto::BuildLevelCommand(20);
        QVERIFY(lines.contains("LINE " + QString::fromLatin1(level20.View().data(), 8)));
    }

    // A value the device reports above 15 goes out as 255, as the About
    // box's Confirm sends it, and stays; 255 given asks for no change.
    void instancesAboveFifteenAreLeftAsTheyAre() {
        EmulatorProcess emulator;
        const QString trace = m_dir.filePath("instances-trace.txt");
        QVERIFY(emulator.Start(m_dir.path(), 1, {"--trace", trace}));
        // Only another program on the line can give the device such values.
        const proto::CommandLine odd =
            proto::BuildDeviceInstanceLine({32, 5, 16, 200, 1, 15, 9, 4});
        QFile port(Port());
        QVERIFY(port.open(QIODevice::WriteOnly));
        port.write(odd.View().data(), odd.length);
        port.close();
        QCOMPARE(Run({"instances", "engine=255"}).code, 0);
        const Result r = Run({"instances", "--json", "fuel=3", "bwater=255"});
        QCOMPARE(r.code, 0);
        const QJsonObject o = QJsonDocument::fromJson(r.out).object();
        QList<int> now;
        for (const device::InstanceField& f : device::kInstanceFields)
            now << o[f.name].toInt();
        QCOMPARE(now, QList<int>({32, 3, 16, 200, 1, 15, 9, 4}));
        const proto::CommandLine sent =
            proto::BuildDeviceInstanceLine({255, 3, 255, 255, 1, 15, 9, 255});
        QVERIFY(ReadLines(trace).contains(
            "LINE " + QString::fromLatin1(sent.View().data(), sent.length - 2)));
    }

    // Every option and argument, with values a script or a typo may give:
    // each is refused with a message that names the option or argument at
    // fault and what it got (a name not known comes with the valid ones),
    // or taken as documented, which here means the run goes on to open its
    // port, absent, and ends with 2; never a hang, a crash or a wrong effect.
    void everyArgumentIsCheckedOnce_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("fault"); // the message starts with it; empty: accepted
        QTest::addColumn<QByteArray>("got");   // and has it after; or the accepted run's message
        auto row = [](const char* name, const QStringList& arguments, const QByteArray& fault,
                      const QByteArray& got) { QTest::newRow(name) << arguments << fault << got; };
        QByteArray instanceNames;
        for (const device::InstanceField& f : device::kInstanceFields)
            instanceNames += QByteArray(instanceNames.isEmpty() ? "" : " ") + f.name;
        const QString longNumber(5000, '9');
        row("no command", {}, "no command given", "identify, watch");
        row("unknown command", {"bogus"}, "unknown command", "\"bogus\"");
        row("level above 100", {"level", "101"}, "level N:", "\"101\"");
        row("level a fraction", {"level", "2.5"}, "level N:", "\"2.5\"");
        row("level full-width digit", {"level", "５"}, "level N:", "\"５\"");
        row("level very long", {"level", longNumber}, "level N:", longNumber.toLatin1());
        row("unknown key", {"key", "enter"}, "key:", "\"enter\"; valid names: menu down up");
        row("sweep without TO", {"sweep", "10"}, "sweep:", "\"10\"");
        row("sweep TO not a number", {"sweep", "10", "x"}, "sweep TO:", "\"x\"");
        // A step past the int range once wrapped and sent 0 and 255.
        row("step overflowing", {"sweep", "1", "100", "--step", "2147483647"},
            "--step: expected a whole number 1..100", "\"2147483647\"");
        row("step a fraction", {"sweep", "1", "100", "--step", "2.5"}, "--step:", "\"2.5\"");
        row("every inf", {"sweep", "1", "2", "--every", "inf"}, "--every:", "\"inf\"");
        row("unknown instance", {"instances", "keel=3"},
            "instances:", "\"keel\"; valid names: " + instanceNames);
        row("instance without =", {"instances", "engine"},
            "instances:", "NAME=VALUE, got \"engine\"");
        // The About box would send these as 255, not as the number meant.
        row("instance 16", {"instances", "engine=16"}, "instances engine:", "\"16\"");
        row("instance 05", {"instances", "engine=05"}, "instances engine:", "\"05\"");
        row("instance empty", {"instances", "engine="}, "instances engine:", "\"\"");
        row("instance Arabic digit", {"instances", "engine=٣"}, "instances engine:", "\"٣\"");
        row("negative timeout", {"--timeout", "-1", "identify"}, "--timeout:", "\"-1\"");
        row("empty timeout", {"--timeout", "", "identify"}, "--timeout:", "\"\"");
        // Qt's timers take int milliseconds: more would wrap.
        row("timeout 1e7", {"--timeout", "1e7", "identify"},
            "--timeout: expected a number of seconds 0.001..1000000", "\"1e7\"");
        row("count not a number", {"watch", "--count", "x"}, "--count:", "\"x\"");
        row("count a fraction", {"watch", "--count", "2.5"}, "--count:", "\"2.5\"");
        row("count past 64 bits", {"watch", "--count", "99999999999999999999"},
            "--count:", "\"99999999999999999999\"");
        row("seconds nan", {"traffic", "--seconds", "nan"}, "--seconds:", "\"nan\"");
        row("port COM31", {"--port", "COM31", "identify"}, "--port:", "\"COM31\"");
        row("port empty", {"--port", "", "identify"}, "--port:", "\"\"");
        row("assign COM31", {"ports", "--assign", "COM31=/dev/null"},
            "--assign:", "\"COM31=/dev/null\"");
        row("assign no path", {"ports", "--assign", "COM1="}, "--assign:", "\"COM1=\"");
        row("assign lower case", {"ports", "--assign", "com1=/dev/null"},
            "--assign:", "\"com1=/dev/null\"");
        row("remove COM0", {"ports", "--remove", "COM0"}, "--remove:", "\"COM0\"");
        row("limits taken",
            {"sweep", "0", "100", "--step", "100", "--every", "1e6", "--timeout", "1000000"}, "",
            "Cannot open");
        row("count limit taken", {"watch", "--count", "1000000000", "--seconds", "0"}, "",
            "Cannot open");
        row("path kept as written", {"--port", "absent/é😀", "identify"}, "",
            "absent/é😀: No such file");
        row("very long path", {"--port", "absent/" + longNumber, "traffic"}, "", "Cannot open");
    }
    void everyArgumentIsCheckedOnce() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, fault);
        QFETCH(QByteArray, got);
        // A port given in the row comes later and wins.
        const Result r = Ctl(QStringList{"--port", m_dir.filePath("absent/tty")} + arguments);
        QVERIFY(r.out.isEmpty());
        if (fault.isEmpty()) {
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(got), r.err.constData());
            return;
        }
        QCOMPARE(r.code, 64);
        const QList<QByteArray> lines = r.err.split('\n');
        QVERIFY2(lines.size() == 3 && lines[1].startsWith("Usage: brendlowctl"), r.err.constData());
        QVERIFY2(lines[0].startsWith("brendlowctl: " + fault), lines[0].constData());
        QVERIFY2(lines[0].indexOf(got) > fault.size(), lines[0].constData());
    }

    // Each way a device run fails ends with its own code and says why on
    // stderr.
    void deviceFailuresHaveTheirExitCodes_data() {
        QTest::addColumn<QStringList>("emulator"); // empty: no device on the port
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out");    // what stdout starts with
        QTest::addColumn<QByteArray>("reason"); // in the last line on stderr
        auto row = [](const char* name, const QStringList& emulator, const QStringList& arguments,
                      int code, const QByteArray& out, const QByteArray& reason) {
            QTest::newRow(name) << emulator << arguments << code << out << reason;
        };
        const QStringList silent{"--silent-after", "1.5"}, hangUp{"--exit-after", "1.5"};
        row("port absent", {}, {"identify"}, 2, {}, "ports/COM1");
        row("no answer", {"--garbage"}, {"--timeout", "1.5", "identify"}, 3, {},
            "no device answered");
        // A device that answers but never identifies itself is no more use
        // than none; the message tells them apart.
        row("corrupt identification", {"--bad-checksum-every", "1"},
            {"--timeout", "1.5", "identify"}, 3, {}, "answers, but its identification is corrupt");
        // Silent for the timeout once identified: an unattended run ends.
        row("silent while watched", silent, {"--timeout", "1", "watch"}, 3, "0",
            "no device answered");
        row("silent in traffic", silent, {"--timeout", "1", "traffic"}, 3, "0.000 TX ok AT ID?",
            "no device answered");
        // Identified and acknowledging, then silent: the sweep's next step
        // goes unacknowledged.
        row("no acknowledgement", {"--silent-after", "3"},
            {"--timeout", "1", "sweep", "0", "100", "--every", "0.5"}, 4, "0\n",
            "did not acknowledge level");
        row("unknown product", {"--product-code", "0x41"}, {"identify"}, 5, {},
            "unknown product code 65");
        // A hang-up ends every command with one code, bounded or not.
        row("hang-up while searching", {"--garbage", "--exit-after", "1"}, {"identify"}, 6, {},
            "hung up");
        row("hang-up while watched", hangUp, {"watch", "--json"}, 6, "{", "hung up");
        row("hang-up in a sweep", hangUp, {"sweep", "0", "100", "--every", "0.3"}, 6, "0\n",
            "hung up");
        row("hang-up in traffic", hangUp, {"traffic", "--seconds", "30"}, 6, "0.000 TX", "hung up");
    }
    void deviceFailuresHaveTheirExitCodes() {
        QFETCH(QStringList, emulator);
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, reason);
        EmulatorProcess device;
        if (!emulator.isEmpty())
            QVERIFY(device.Start(m_dir.path(), 1, emulator));
        const Result r = Run(arguments);
        QCOMPARE(r.code, code);
        QVERIFY2(r.out.startsWith(out), r.out.constData());
        if (out.isEmpty())
            QVERIFY(r.out.isEmpty() && r.err.count('\n') == 1);
        const QList<QByteArray> messages = r.err.trimmed().split('\n');
        QVERIFY2(messages.last().contains(reason), r.err.constData());
    }

    // Data that stdout does not take is a failure, told on stderr: a full
    // disk, a closed stdout (whose number no port may take over), a pipe
    // whose reader left. With SIGPIPE at its default the signal ends the
    // run, as for any filter.
    void failedOutputIsAFailure_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output"); // full, closed, left pipe, left pipe with SIGPIPE
        QTest::addColumn<int>("code");       // -1: ended by a signal
        auto row = [](const char* name, const QStringList& a, const char* out, int code) {
            QTest::newRow(name) << a << QString::fromLatin1(out) << code;
        };
        row("identify, disk full", {"identify"}, "full", 74);
        row("identify, stdout closed", {"identify", "--json"}, "closed", 74);
        row("level prints nothing", {"level", "5"}, "closed", 0);
        row("help, disk full", {"--help"}, "full", 74);
        row("ports, disk full", {"ports", "--json"}, "full", 74);
        row("watch, reader left", {"watch"}, "left pipe", 74);
        row("traffic, reader left", {"traffic"}, "left pipe", 74);
        row("watch, reader left, SIGPIPE", {"watch", "--json"}, "left pipe with SIGPIPE", -1);
    }
    void failedOutputIsAFailure() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QFETCH(int, code);
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 1));
        int pipeEnds[2];
        QVERIFY(::pipe(pipeEnds) == 0);
        ::close(pipeEnds[0]);
        const auto closeWriteEnd = qScopeGuard([&] { ::close(pipeEnds[1]); });
        const Result r =
            Ctl(QStringList{"--port", Port()} + arguments, BRENDLOW_CTL_PATH, [&](QProcess& p) {
                if (output == "full")
                    p.setStandardOutputFile("/dev/full");
                const int pipe = output.startsWith("left") ? pipeEnds[1] : -1;
                const bool sigpipe = output.endsWith("SIGPIPE");
                const bool closed = output == "closed";
                p.setChildProcessModifier([=] {
                    ::signal(SIGPIPE, sigpipe ? SIG_DFL : SIG_IGN);
                    if (pipe >= 0)
                        ::dup2(pipe, STDOUT_FILENO);
                    if (closed)
                        ::close(STDOUT_FILENO);
                });
            });
        QCOMPARE(r.code, code);
        if (code > 0)
            QVERIFY2(r.err.startsWith("brendlowctl: cannot write to stdout: ") &&
                         r.err.count('\n') == 1,
                     r.err.constData());
    }

    // A path is the device behind it: relative to the current folder, and
    // opened by its own name, so that a second program on another link to
    // the device finds it in use. Names outside ASCII come back unchanged.
    void portPathsOpenTheDeviceItself() {
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 1));
        const QString device = QFileInfo(Port()).symLinkTarget();
        QVERIFY(QDir(m_dir.path()).mkpath("sub"));
        QVERIFY(QFile::link(device, m_dir.filePath("sub/emu")));
        QVERIFY(QFile::link(device, m_dir.filePath("emoji😀")));
        auto inFolder = [&](QProcess& p) { p.setWorkingDirectory(m_dir.path()); };
        const Result r =
            Ctl({"--port", "./emoji😀", "identify", "--json"}, BRENDLOW_CTL_PATH, inFolder);
        QCOMPARE(r.code, 0);
        QCOMPARE(QJsonDocument::fromJson(r.out).object()["port"].toString(),
                 QStringLiteral("./emoji😀"));
        QProcess first;
        inFolder(first);
        first.start(BRENDLOW_CTL_PATH, {"--port", "sub/emu", "watch", "--seconds", "3"});
        QVERIFY(first.waitForReadyRead(5000));
        const Result second = Ctl({"--port", "./emoji😀", "identify"}, BRENDLOW_CTL_PATH, inFolder);
        QCOMPARE(second.code, 2);
        QVERIFY2(second.err.contains("in use"), second.err.constData());
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitCode(), 0);
    }

    // A remembered port that no COMn names is told and COM1 opened, as the
    // terminal opens it; its text never becomes a path.
    void rememberedPortThatIsNoPort_data() {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QByteArray>("told");
        QTest::newRow("COM99") << QByteArray("COM=99;\r\n") << QByteArray("\"COM99\"");
        QTest::newRow("a path") << QByteArray("COM=/dev/x;\r\n") << QByteArray("\"COM/DEV/X\"");
        QTest::newRow("no number") << QByteArray("COM=;\r\n") << QByteArray("not COM=n;");
    }
    void rememberedPortThatIsNoPort() {
        QFETCH(QByteArray, settings);
        QFETCH(QByteArray, told);
        const CopiedTool copy;
        QVERIFY(!copy.tool.isEmpty() && QDir().mkpath(copy.data.filePath("ports")));
        QVERIFY(WriteFile(copy.data.filePath("Quarnel.ini"), settings));
        const Result r = copy.Run({"identify"});
        QCOMPARE(r.code, 2);
        const QList<QByteArray> messages = r.err.trimmed().split('\n');
        QCOMPARE(messages.size(), 2);
        QVERIFY2(messages[0].contains("Quarnel.ini") && messages[0].contains(told) &&
                     messages[0].endsWith("opening COM1"),
                 messages[0].constData());
        QVERIFY2(messages[1].startsWith("brendlowctl: Cannot open COM1:"), messages[1].constData());
    }

    // What ports refuses, with its exit code; a refused change leaves the
    // ports/ folder as it was.
    void portChangesRefused_data() {
        QTest::addColumn<QStringList>("files"); // made in the data folder first
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("missing device")
            << QStringList{"ports/"} << QStringList{"--assign", "COM3=/nonexistent/tty"}
            << QByteArray("/nonexistent/tty does not exist");
        QTest::newRow("COMn a file")
            << QStringList{"ports/", "ports/COM4"} << QStringList{"--assign", "COM4=/dev/null"}
            << QByteArray("ports/COM4 exists and is not a link");
        QTest::newRow("ports a file")
            << QStringList{"ports"} << QStringList{"--assign", "COM3=/dev/null"}
            << QByteArray("Cannot create the folder");
        QTest::newRow("remove no link") << QStringList{"ports/"} << QStringList{"--remove", "COM5"}
                                        << QByteArray("COM5 has no link to remove");
        QTest::newRow("remove a file")
            << QStringList{"ports/", "ports/COM4"} << QStringList{"--remove", "COM4"}
            << QByteArray("ports/COM4 is not a link");
    }
    void portChangesRefused() {
        QFETCH(QStringList, files);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, reason);
        const CopiedTool copy;
        const QTemporaryDir& data = copy.data;
        QVERIFY(!copy.tool.isEmpty());
        for (const QString& f : files) {
            const QString path = data.filePath(f);
            QVERIFY(f.endsWith('/') ? QDir().mkpath(path) : QFile(path).open(QIODevice::WriteOnly));
        }
        const QStringList before =
            QDir(data.filePath("ports"))
                .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
        const Result r = copy.Run(QStringList{"ports"} + arguments);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains(reason), r.err.constData());
        QCOMPARE(QDir(data.filePath("ports"))
                     .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System),
                 before);
    }

    // Plain, each part comes under its heading. With --json, quotes,
    // backslashes and control characters in a path come back as they were,
    // and every line stays valid JSON; a link to a name that is not UTF-8 is
    // not listed as assigned (nothing could open it by that name).
    void portsShowsBothPartsAndAnyPath() {
        const CopiedTool copy;
        const QTemporaryDir& data = copy.data;
        QVERIFY(!copy.tool.isEmpty() && QDir().mkpath(data.filePath("ports")));
        const Result plain = copy.Run({"ports"});
        QCOMPARE(plain.code, 0);
        const QList<QByteArray> rows = plain.out.split('\n');
        QVERIFY(rows.size() > 34);
        QVERIFY(rows[0].endsWith(':') && rows[0].contains("COM1..COM30"));
        for (int n = 1; n <= 30; ++n)
            QVERIFY2(rows[n].startsWith("COM" + QByteArray::number(n) + ':'), rows[n].constData());
        QVERIFY(rows[31].isEmpty() && rows[32].endsWith("):"));

        const int pty = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(pty >= 0 && grantpt(pty) == 0 && unlockpt(pty) == 0);
        const auto closePty = qScopeGuard([&] { ::close(pty); });
        const QString device = QString::fromLocal8Bit(ptsname(pty));
        const QString odd = data.filePath("q\"b\\s\n\t\x01é😀");
        QVERIFY(QFile::link(device, odd));
        QVERIFY(QFile::link(odd, data.filePath("ports/COM2")));
        const QByteArray notText = QFile::encodeName(data.path()) + "/\xff";
        QVERIFY(::close(::creat(notText.constData(), 0600)) == 0);
        // QTemporaryDir cannot name it to remove it.
        const auto removeFile = qScopeGuard([&] { ::unlink(notText.constData()); });
        QVERIFY(::symlink(notText.constData(),
                          QFile::encodeName(data.filePath("ports/COM3")).constData()) == 0);
        const Result r = copy.Run({"ports", "--json"});
        QCOMPARE(r.code, 0);
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        QVERIFY(lines.size() >= 30);
        for (const QByteArray& line : lines) {
            QJsonParseError error;
            QJsonDocument::fromJson(line, &error);
            QVERIFY2(error.error == QJsonParseError::NoError, line.constData());
        }
        const QJsonObject com2 = QJsonDocument::fromJson(lines[1]).object();
        QCOMPARE(com2["opens"].toString(), device);
        QCOMPARE(com2["description"].toString(), QString("COM2 → %1 (%2)").arg(odd, device));
        const QJsonObject com3 = QJsonDocument::fromJson(lines[2]).object();
        QCOMPARE(com3["opens"], QJsonValue(QJsonValue::Null));
        QVERIFY2(com3["description"].toString().contains("not valid text"), lines[2].constData());
        QCOMPARE(QJsonDocument::fromJson(lines[0]).object()["opens"], QJsonValue(QJsonValue::Null));
    }
};

QTEST_MAIN(CliTest)
#include "test_cli.moc"
