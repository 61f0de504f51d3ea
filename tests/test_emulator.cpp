// The device emulator: option parsing, command framing and the device model
// in-process, then the built program over a real pseudo-terminal.
#include "CommandLine.h"
#include "EmulatedDevice.h"
#include "EmulatorOptions.h"
#include "HexPair.h"
#include "OutputQueue.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

namespace {

constexpr int kWaitMs = 3000;

std::string Text(const proto::CommandLine& line) {
    return std::string(line.View());
}

uint8_t PairAt(const std::string& line, size_t pos) {
    return proto::DecodeHexPair(static_cast<uint8_t>(line[pos]),
                                static_cast<uint8_t>(line[pos + 1]));
}

// A report line of the given length, CR LF included, with a checksum that adds up.
bool ValidReport(const std::string& line, size_t length) {
    return line.size() == length && line.compare(length - 2, 2, "\r\n") == 0 &&
           proto::ReportChecksumValid(reinterpret_cast<const uint8_t*>(line.data()),
                                      static_cast<int>(length) - 5);
}

// The built emulator, with the slave side of its pty opened as the terminal
// opens a serial port.
class Emulator {
public:
    explicit Emulator(const QStringList& args) {
        m_process.start(BRENDLOW_EMULATOR_PATH, args);
        QElapsedTimer timer;
        timer.start();
        while (!m_process.canReadLine() && timer.elapsed() < kWaitMs)
            m_process.waitForReadyRead(100);
        ptyPath = m_process.readLine().trimmed().toStdString();
        m_port.setPortName(QString::fromStdString(ptyPath));
        m_port.setBaudRate(115200);
        m_port.open(QIODevice::ReadWrite);
    }
    ~Emulator() {
        m_port.close();
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(kWaitMs))
                m_process.kill();
            m_process.waitForFinished(kWaitMs);
        }
    }
    bool Ok() const { return m_port.isOpen(); }
    QProcess& Process() { return m_process; }

    // Writes the bytes, one at a time `gapMs` apart when asked to.
    void Send(const std::string& bytes, int gapMs = 0) {
        const qsizetype step = gapMs > 0 ? 1 : static_cast<qsizetype>(bytes.size());
        for (qsizetype i = 0; i < static_cast<qsizetype>(bytes.size()); i += step) {
            m_port.write(bytes.data() + i, step);
            QVERIFY(m_port.waitForBytesWritten(kWaitMs));
            if (gapMs > 0)
                QTest::qSleep(gapMs);
        }
    }
    // Everything received within `ms`.
    std::string ReadFor(int ms) {
        Fill(ms, false);
        return std::exchange(m_buffer, {});
    }
    // The next LF-terminated line, or "" when none arrives within `timeoutMs`.
    std::string NextLine(int timeoutMs = kWaitMs) {
        Fill(timeoutMs, true);
        const size_t lf = m_buffer.find('\n');
        if (lf == std::string::npos)
            return {};
        std::string line = m_buffer.substr(0, lf + 1);
        m_buffer.erase(0, lf + 1);
        return line;
    }
    std::string WaitFor(const std::string& prefix, int timeoutMs = kWaitMs) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            const std::string line = NextLine(static_cast<int>(timeoutMs - timer.elapsed()));
            if (line.rfind(prefix, 0) == 0)
                return line;
        }
        return {};
    }

    std::string ptyPath;

private:
    void Fill(int ms, bool untilLine) {
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            const QByteArray chunk = m_port.readAll();
            m_buffer.append(chunk.constData(), static_cast<size_t>(chunk.size()));
            const qint64 left = ms - timer.elapsed();
            if (left <= 0 || (untilLine && m_buffer.find('\n') != std::string::npos))
                return;
            m_port.waitForReadyRead(static_cast<int>(left));
        }
    }

    QProcess m_process;
    QSerialPort m_port;
    std::string m_buffer;
};

emulator::ParseOutcome Parse(const QStringList& args, emulator::EmulatorOptions& options) {
    std::vector<std::string> list;
    for (const QString& arg : args)
        list.push_back(arg.toStdString());
    std::string error;
    const auto outcome = emulator::ParseOptions(list, options, error);
    if (outcome == emulator::ParseOutcome::Error && error.empty())
        return emulator::ParseOutcome::Run; // an error must say why
    return outcome;
}

} // namespace

class TestEmulator : public QObject {
    Q_OBJECT

private slots:
    void optionValues() {
        using emulator::ParseOutcome;
        emulator::EmulatorOptions o;
        QCOMPARE(Parse({"--product-code", "9", "--serial", "4294967295", "--rate=2.5", "--firmware",
                        "0xFF", "--exit-after", "0"},
                       o),
                 ParseOutcome::Run);
        QCOMPARE(o.device.productCode, uint8_t('9'));
        QCOMPARE(o.device.serialNumber, 4294967295u);
        QCOMPARE(o.device.firmwareByte, uint8_t(255));
        QCOMPARE(o.rate, 2.5);
        QCOMPARE(o.exitAfter, 0.0);
        QCOMPARE(Parse({"--product-code", "0x41"}, o), ParseOutcome::Run);
        QCOMPARE(o.device.productCode, uint8_t(0x41));
        QCOMPARE(Parse({"--product-code=62"}, o), ParseOutcome::Run);
        QCOMPARE(o.device.productCode, uint8_t('>'));
        QCOMPARE(Parse({"--flood", "--help"}, o), ParseOutcome::Help);

        const QList<QStringList> bad{{"--product-code", "256"},
                                     {"--product-code", ""},
                                     {"--serial", "4294967296"},
                                     {"--serial", "-1"},
                                     {"--rate", "0"},
                                     {"--rate", "abc"},
                                     {"--rate"},
                                     {"--pace-bytes", "nan"},
                                     {"--bad-checksum-every", "0"},
                                     {"--flood=1"},
                                     {"--silent-after", "-2"},
                                     {"--bogus"}};
        for (const QStringList& args : bad)
            QVERIFY2(Parse(args, o) == ParseOutcome::Error, qPrintable(args.join(' ')));
    }

    void framerFindsCommands() {
        const std::string stream = "xx\r\nAT ID?\r\njunkAT %006C\r\n" + std::string(60, 'Z') +
                                   "\r\n" + std::string(60, 'Q') + "AT KI1065\r\n";
        emulator::CCommandFramer framer;
        std::vector<std::string> lines;
        for (char c : stream)
            if (framer.Push(static_cast<uint8_t>(c)))
                lines.push_back(framer.Line());
        QCOMPARE(lines, (std::vector<std::string>{"xx", "AT ID?", "AT %006C", "AT KI1065"}));
    }

    void deviceCommandEdges() {
        emulator::CEmulatedDevice device({});
        auto handle = [&](const proto::CommandLine& c) {
            return device.HandleLine(Text(c).substr(0, static_cast<size_t>(c.length - 2)));
        };
        QCOMPARE(handle(proto::BuildLevelCommand(200)).replies.size(), size_t(1));
        QCOMPARE(device.Level(), uint8_t(100));
        handle(proto::BuildKeyCommand(proto::kKeyUp));
        QCOMPARE(device.Level(), uint8_t(100));
        handle(proto::BuildLevelCommand(3));
        handle(proto::BuildKeyCommand(proto::kKeyDown));
        QCOMPARE(device.Level(), uint8_t(0));
        const auto unknown = handle(proto::BuildKeyCommand(0x77));
        QCOMPARE(unknown.replies, std::vector<std::string>{"ACK KI\r\n"});
        QVERIFY(!unknown.levelOrModeChanged);
        QCOMPARE(device.ModeFlags(), uint8_t(0x01));
        QVERIFY(device.HandleLine("AT %006D").replies.empty()); // checksum off by one
        QVERIFY(device.HandleLine("AT %0:6C").replies.empty()); // not a hex digit
        QVERIFY(!device.Queried());

        std::string line;
        for (int i = 0; i < 254; ++i)
            line = device.NextInstanceBroadcast();
        QCOMPARE(PairAt(line, 8), uint8_t(0)); // SID 0..252, then 0 again
    }

    void sweepAndSpoiltChecksums() {
        emulator::CEmulatedDevice device({'9', 1, 9, true, 3});
        for (int i = 0; i < 103; ++i) {
            uint8_t shown = 0;
            const std::string line = device.NextLevelBroadcast(&shown);
            QCOMPARE(shown, uint8_t(i % 101));
            QCOMPARE(PairAt(line, 6), shown);
            QCOMPARE(ValidReport(line, 14), (i + 1) % 3 != 0);
        }
    }

    void queueReportsLevelsWhenTheirLastByteLeaves() {
        QTemporaryFile sink;
        QVERIFY(sink.open());
        emulator::COutputQueue queue(20);
        QVERIFY(queue.Append("BRC %S2310BC\r\n", 50));
        QVERIFY(queue.Append("BRC %S3310AC\r\n", 51));
        QVERIFY(!queue.Append("ACK %\r\n")); // over 20 bytes wait
        std::vector<int> sent;
        QCOMPARE(queue.WriteTo(sink.handle(), 13, sent), 13L);
        QVERIFY(sent.empty());
        QCOMPARE(queue.WriteTo(sink.handle(), 100, sent), 15L);
        QCOMPARE(sent, (std::vector<int>{50, 51}));

        emulator::CBytePacer pacer(1000); // 4-byte chunks, at most 8 bytes of credit
        pacer.Refill(0);
        pacer.Consume(pacer.Allowance());
        QCOMPARE(pacer.WhenAvailable(4), int64_t(4'000'000));
        pacer.Refill(3'000'000);
        QCOMPARE(pacer.Allowance(), size_t(3));
        pacer.Refill(1'000'000'000);
        QCOMPARE(pacer.Allowance(), size_t(8));
    }

    void identificationReport() {
        Emulator emu({"--serial", "1", "--rate", "50"});
        QVERIFY(emu.Ok());
        QCOMPARE(emu.ReadFor(300), std::string()); // silent until queried
        emu.Send(Text(proto::BuildIdQuery()));
        QCOMPARE(emu.NextLine(), std::string("ACK ID931000000090E2\r\n"));

        Emulator other({"--product-code", "0x3B", "--serial", "305419896", "--firmware", "200"});
        QVERIFY(other.Ok());
        other.Send("AT ID?\r\n");
        QCOMPARE(other.NextLine(), std::string("ACK IDB3876543218C0F\r\n"));
    }

    void broadcastsAfterQuery() {
        Emulator emu({"--rate", "20"});
        QVERIFY(emu.Ok());
        emu.Send("AT ID?\r\n");
        QVERIFY(!emu.WaitFor("ACK ID").empty());
        int levels = 0, claims = 0, instances = 0;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 1500) {
            const std::string line = emu.NextLine(500);
            if (line.rfind("BRC %S", 0) == 0) {
                QVERIFY(ValidReport(line, 14));
                QCOMPARE(line.substr(6, 4), std::string("2310")); // level 50, Quiet off
                ++levels;
            } else if (line.rfind("BRC ACS", 0) == 0) {
                QVERIFY(ValidReport(line, 17));
                ++claims;
            } else {
                QVERIFY2(ValidReport(line, 28), line.c_str());
                QCOMPARE(line.substr(6, 2) + line.substr(10, 14), std::string("0010203040506070"));
                ++instances;
            }
        }
        QVERIFY2(levels >= 15 && levels <= 45, qPrintable(QString::number(levels)));
        QVERIFY(claims >= 1 && claims <= 3);
        QVERIFY(instances >= 1 && instances <= 3);
    }

    void commandsChangeState() {
        Emulator emu({"--rate", "0.2"}); // any level broadcast soon after an ACK is the prompt one
        QVERIFY(emu.Ok());
        emu.Send("AT ID?\r\n");
        QVERIFY(!emu.WaitFor("ACK ID").empty());
        // Each accepted command is acknowledged and followed by a level broadcast.
        auto command = [&](const proto::CommandLine& c, const std::string& ack) {
            emu.Send(Text(c));
            if (emu.WaitFor("ACK") != ack + "\r\n")
                return -1;
            const std::string line = emu.NextLine();
            return line.rfind("BRC %S", 0) == 0 ? PairAt(line, 6) | PairAt(line, 8) << 8 : -1;
        };
        QCOMPARE(command(proto::BuildLevelCommand(70), "ACK %"), 70 | 0x01 << 8);
        QCOMPARE(command(proto::BuildKeyCommand(proto::kKeyUp), "ACK KI"), 75 | 0x01 << 8);
        QCOMPARE(command(proto::BuildKeyCommand(proto::kKeyDown), "ACK KI"), 70 | 0x01 << 8);
        QCOMPARE(command(proto::BuildKeyCommand(proto::kKeyDynamic), "ACK KI"), 70 | 0x03 << 8);
        QCOMPARE(command(proto::BuildKeyCommand(proto::kKeyQuiet), "ACK KI"), 70 | 0x02 << 8);
        QCOMPARE(command(proto::BuildKeyCommand(proto::kKeyWarnings), "ACK KI"), 70 | 0x06 << 8);

        emu.Send("AT %A8CB\r\n"); // 0x8A with a wrong checksum: no answer
        QCOMPARE(command(proto::BuildKeyCommand(proto::kKeyDown), "ACK KI"), 65 | 0x06 << 8);

        emu.Send("AT DIC0FFFFFFFFFFFFFF78\r\n"); // bad checksum
        emu.Send(
            Text(proto::BuildDeviceInstanceLine({12, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})));
        emu.Send("AT ID?\r\n"); // whatever follows its answer went out after the DI
        QVERIFY(!emu.WaitFor("ACK ID").empty());
        const std::string line = emu.WaitFor("BRC DS");
        QVERIFY(ValidReport(line, 28));
        QCOMPARE(line.substr(6, 2) + line.substr(10, 14), std::string("C010203040506070"));
    }

    void traceRecordsBytesAndLines() {
        QTemporaryDir dir;
        const QString tracePath = dir.filePath("trace.txt");
        Emulator emu({"--trace", tracePath});
        QVERIFY(emu.Ok());
        emu.Send("AT ID?\r\n", 5);
        QVERIFY(!emu.WaitFor("ACK ID").empty());

        QFile file(tracePath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromLatin1(file.readAll()).split('\n');
        QVERIFY2(lines.size() >= 9, qPrintable(lines.join('|')));
        const QStringList bytes{"41", "54", "20", "49", "44", "3F", "0D", "0A"};
        qint64 first = 0, last = 0;
        for (int i = 0; i < 8; ++i) {
            const QStringList fields = lines[i].split(' ');
            QCOMPARE(fields.size(), 2);
            QCOMPARE(fields[1], bytes[i]);
            const qint64 ns = fields[0].toLongLong();
            QVERIFY(ns >= last);
            first = i == 0 ? ns : first;
            last = ns;
        }
        QVERIFY2(last - first >= 15'000'000, qPrintable(QString::number(last - first)));
        QCOMPARE(lines[8], QString("LINE AT ID?"));
    }

    void linkFollowsLifetime() {
        QTemporaryDir dir;
        const QString linkPath = dir.filePath("a/b/port");
        {
            Emulator emu({"--link", linkPath});
            QVERIFY(emu.Ok());
            QCOMPARE(QFileInfo(linkPath).symLinkTarget(), QString::fromStdString(emu.ptyPath));
            emu.Process().terminate(); // SIGTERM
            QVERIFY(emu.Process().waitForFinished(kWaitMs));
            QCOMPARE(emu.Process().exitStatus(), QProcess::NormalExit);
            QCOMPARE(emu.Process().exitCode(), 0);
            QVERIFY(!QFileInfo(linkPath).isSymLink());
        }
        QVERIFY(QFile::link("/nonexistent", linkPath));
        Emulator emu({"--link", linkPath, "--exit-after", "0.3"});
        QVERIFY(emu.Ok());
        QCOMPARE(QFileInfo(linkPath).symLinkTarget(), QString::fromStdString(emu.ptyPath));
        QVERIFY(emu.Process().waitForFinished(kWaitMs));
        QCOMPARE(emu.Process().exitCode(), 0);
        QVERIFY(!QFileInfo(linkPath).isSymLink());

        QFile plain(linkPath); // not a link: left alone
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QProcess refused;
        refused.start(BRENDLOW_EMULATOR_PATH, {"--link", linkPath});
        QVERIFY(refused.waitForFinished(kWaitMs));
        QCOMPARE(refused.exitCode(), 1);
        QVERIFY(QFileInfo(linkPath).isFile() && !QFileInfo(linkPath).isSymLink());
    }

    void usageAndBadOptions() {
        QProcess help;
        help.start(BRENDLOW_EMULATOR_PATH, {"--help"});
        QVERIFY(help.waitForFinished(kWaitMs));
        QCOMPARE(help.exitCode(), 0);
        QVERIFY(help.readAllStandardOutput().contains("--pace-bytes N"));
        for (const QStringList& args : QList<QStringList>{{"--bogus"}, {"--rate", "abc"}}) {
            QProcess bad;
            bad.start(BRENDLOW_EMULATOR_PATH, args);
            QVERIFY(bad.waitForFinished(kWaitMs));
            QCOMPARE(bad.exitStatus(), QProcess::NormalExit);
            QCOMPARE(bad.exitCode(), 2);
            QVERIFY(bad.readAllStandardError().contains(args[0].toLatin1()));
        }
    }

    void pacedSweepingFlood() {
        QTemporaryDir dir;
        const QString logPath = dir.filePath("sent.txt");
        Emulator emu({"--flood", "--sweep", "--pace-bytes", "2800", "--send-log", logPath});
        QVERIFY(emu.Ok());
        emu.Send("AT ID?\r\n");
        QVERIFY(!emu.WaitFor("ACK ID").empty());
        emu.NextLine(); // the first broadcast fixes where the sweep stands
        const std::string burst = emu.ReadFor(1000);
        QVERIFY2(burst.size() >= 1800 && burst.size() <= 3800,
                 qPrintable(QString::number(burst.size())));
        int previous = -1, levels = 0;
        for (size_t pos = burst.find("BRC %S");
             pos != std::string::npos && pos + 14 <= burst.size();
             pos = burst.find("BRC %S", pos + 14)) {
            const std::string line = burst.substr(pos, 14);
            QVERIFY(ValidReport(line, 14));
            const int level = PairAt(line, 6);
            QVERIFY(previous < 0 || level == (previous + 1) % 101);
            previous = level;
            ++levels;
        }
        QVERIFY(levels > 100);
        emu.Process().terminate();
        QVERIFY(emu.Process().waitForFinished(kWaitMs));
        QFile log(logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> logged = log.readAll().trimmed().split('\n');
        QVERIFY(logged.size() >= levels);
        for (int i = 1; i < logged.size(); ++i)
            QCOMPARE(logged[i].split(' ')[1].toInt(),
                     (logged[i - 1].split(' ')[1].toInt() + 1) % 101);
    }

    void faultSwitches() {
        Emulator noisy({"--noise", "--flood", "--pace-bytes", "200000", "--seed", "7"});
        QVERIFY(noisy.Ok());
        noisy.Send("AT ID?\r\n");
        const std::string flood = noisy.ReadFor(300);
        int lines = 0;
        for (size_t begin = 0, lf; (lf = flood.find('\n', begin)) != std::string::npos;
             begin = lf + 1, ++lines) {
            // Noise has no CR, LF or space, so it never ends a line nor makes a marker.
            const std::string_view piece(flood.data() + begin, lf + 1 - begin);
            const size_t marker = std::min(piece.find("BRC "), piece.find("ACK "));
            QVERIFY(marker < piece.size() && piece.find(' ') == marker + 3);
            QCOMPARE(piece.find('\r'), piece.size() - 2);
            const std::string line(piece.substr(marker));
            QVERIFY2(ValidReport(line, line.size()), line.c_str());
        }
        QVERIFY2(lines > 2000, qPrintable(QString::number(lines)));

        Emulator garbage({"--garbage"});
        QVERIFY(garbage.Ok());
        garbage.Send("AT ID?\r\n");
        const std::string bytes = garbage.ReadFor(500);
        QVERIFY(bytes.size() > 200);
        QVERIFY(bytes.find(' ') == std::string::npos); // so never "ACK " or "BRC "

        Emulator silent({"--silent-after", "0.5", "--rate", "50"});
        QVERIFY(silent.Ok());
        silent.Send("AT ID?\r\n");
        QVERIFY(!silent.WaitFor("ACK ID").empty());
        QVERIFY(!silent.WaitFor("BRC %S").empty());
        QElapsedTimer timer;
        timer.start();
        while (!silent.NextLine(400).empty() && timer.elapsed() < kWaitMs) {
        }
        silent.Send("AT ID?\r\n");
        QCOMPARE(silent.ReadFor(400), std::string());
        QCOMPARE(silent.Process().state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestEmulator)
#include "test_emulator.moc"
