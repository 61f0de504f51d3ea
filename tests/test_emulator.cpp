// The device emulator: its device model and output queue in-process, then the
// built program: its options and exit codes, and its behaviour over a real
// pseudo-terminal. What a terminal makes of it is tested end to end elsewhere.
#include "EmulatedDevice.h"
#include "HexPair.h"
#include "OutputQueue.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

namespace {

constexpr int kWaitMs = 3000;

uint8_t PairAt(const std::string& line, size_t pos) {
    return proto::DecodeHexPair(static_cast<uint8_t>(line[pos]),
                                static_cast<uint8_t>(line[pos + 1]));
}

// A report line ending in CR LF whose checksum adds up.
bool ValidReport(const std::string& line) {
    return line.size() > 5 && line.ends_with("\r\n") &&
           proto::ReportChecksumValid(reinterpret_cast<const uint8_t*>(line.data()),
                                      static_cast<int>(line.size()) - 5);
}

QString ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

// Runs the program to its end: the exit code (-1 if it did not end by
// itself) and what it wrote on stdout and stderr.
std::pair<int, QByteArray> RunToEnd(const QStringList& args) {
    QProcess p;
    p.start(BRENDLOW_EMULATOR_PATH, args);
    const bool ended = p.waitForFinished(kWaitMs) && p.exitStatus() == QProcess::NormalExit;
    return {ended ? p.exitCode() : -1, p.readAllStandardOutput() + p.readAllStandardError()};
}

// The running program, with the slave side of its pty opened as the
// terminal opens a serial port.
struct Emulator {
    QProcess process; // the tests stop it
    QSerialPort port;

    explicit Emulator(const QStringList& args) {
        process.start(BRENDLOW_EMULATOR_PATH, args);
        for (int i = 0; i < kWaitMs / 100 && !process.canReadLine(); ++i)
            process.waitForReadyRead(100);
        port.setPortName(QString::fromLatin1(process.readLine().trimmed()));
        port.open(QIODevice::ReadWrite);
    }
    // Sends `bytes`, then returns everything received within `ms`, or as
    // soon as `enough` bytes are in; `tookMs` says how long it took.
    std::string Exchange(const char* bytes, int ms, qsizetype enough = -1,
                         qint64* tookMs = nullptr) {
        port.write(bytes);
        port.waitForBytesWritten(kWaitMs);
        QByteArray received;
        QElapsedTimer timer;
        for (timer.start(); timer.elapsed() < ms && (enough < 0 || received.size() < enough);
             received += port.readAll())
            port.waitForReadyRead(10);
        if (tookMs != nullptr)
            *tookMs = timer.elapsed();
        return received.toStdString();
    }
};

} // namespace

class TestEmulator : public QObject {
    Q_OBJECT

private slots:
    void badOptionsAndSetups() {
        for (const QString& bad :
             QStringList{"--product-code 256", "--product-code=", "--serial 4294967296",
                         "--serial -1", "--rate 0", "--rate abc", "--rate", "--pace-bytes nan",
                         "--bad-checksum-every 0", "--flood=1", "--silent-after -2", "--bogus"}) {
            const auto [code, said] = RunToEnd(bad.split(' '));
            const QString option = bad.section(' ', 0, 0).section('=', 0, 0);
            QVERIFY2(code == 2 && said.contains(option.toLatin1()), qPrintable(bad));
        }
        const auto [helpCode, help] = RunToEnd({"--flood", "--help"});
        QVERIFY(helpCode == 0 && help.contains("--pace-bytes N"));
        QTemporaryFile plain; // not a link, so never replaced by one
        QVERIFY(plain.open());
        QCOMPARE(RunToEnd({"--link", plain.fileName()}).first, 1);
        QVERIFY(!QFileInfo(plain.fileName()).isSymLink());
    }

    void theDeviceAndItsOutputQueue() {
        emulator::CEmulatedDevice device({});
        const std::tuple<const char*, const char*, uint8_t, uint8_t> steps[] = {
            {"AT %8CBA", "ACK %", 100, 0x01},  {"AT KI2055", "ACK KI", 100, 0x01}, // 200 sets 100
            {"AT KI1065", "ACK KI", 95, 0x01}, {"AT KI7794", "ACK KI", 95, 0x01},  // unknown key
            {"AT %303C", "ACK %", 3, 0x01},    {"AT KI1065", "ACK KI", 0, 0x01},
            {"AT KI0165", "ACK KI", 0, 0x05},
        };
        for (const auto& [line, ack, level, modes] : steps) {
            QCOMPARE(device.HandleLine(line).replies,
                     std::vector<std::string>{ack + std::string("\r\n")});
            QCOMPARE(std::pair(device.Level(), device.ModeFlags()), std::pair(level, modes));
        }
        // A wrong checksum or a digit that is not hex: ignored. FF leaves an instance as it is.
        for (const char* ignored : {"AT %006D", "AT %0:CB", "AT DIC0FFFFFFFFFFFFFF78"})
            QVERIFY(device.HandleLine(ignored).replies.empty());
        QCOMPARE(device.Instances(), (std::array<uint8_t, 8>{0, 1, 2, 3, 4, 5, 6, 7}));
        device.HandleLine("AT DIC0FFFFFFFFFFFFFF77");
        std::string broadcast;
        for (int i = 0; i < 254; ++i)
            broadcast = device.NextInstanceBroadcast();
        QCOMPARE(PairAt(broadcast, 8), uint8_t(0)); // SID 0..252, then 0 again
        QCOMPARE(broadcast.substr(6, 2) + broadcast.substr(10, 14), "C010203040506070");

        QTemporaryFile sink;
        QVERIFY(sink.open());
        emulator::COutputQueue queue(20);
        QVERIFY(queue.Append("BRC %S2310BC\r\n", 50) && queue.Append("BRC %S3310AC\r\n", 51));
        QVERIFY(!queue.Append("ACK %\r\n")); // over 20 bytes wait
        std::vector<int> sent;
        QCOMPARE(queue.WriteTo(sink.handle(), 13, sent), 13L);
        QVERIFY(sent.empty()); // a level is sent once its last byte is
        QCOMPARE(queue.WriteTo(sink.handle(), 100, sent), 15L);
        QCOMPARE(sent, (std::vector<int>{50, 51}));
    }

    // Received lines end at LF, overlong ones are dropped, and "AT " starts a
    // line afresh; the trace shows each byte and each line.
    void identifiesTracesAndRemovesItsLink() {
        QTemporaryDir dir;
        const QString trace = dir.filePath("trace"), link = dir.filePath("port");
        QVERIFY(QFile::link("/nonexistent", link)); // a stale link is replaced
        Emulator emu({"--product-code", "59", "--serial", "305419896", "--firmware", "0xC8",
                      "--rate=20.5", "--trace", trace, "--link", link});
        QVERIFY(emu.port.isOpen() && QFileInfo(link).exists());
        QCOMPARE(emu.Exchange("xx\r\n", 300), ""); // silent until queried
        const std::string query =
            std::string(60, 'Z') + "\r\n" + std::string(60, 'Q') + "AT ID?\r\n";
        const std::string answer = emu.Exchange(query.c_str(), 1000);
        QVERIFY2(answer.starts_with("ACK IDB3876543218C0F\r\nBRC"), answer.c_str());
        // Broadcasts at 20.5 a second: never more in the second (fewer
        // when the machine is busy is for the benchmarks to judge).
        const qsizetype levels = QByteArray::fromStdString(answer).count("BRC %S");
        QVERIFY2(levels >= 2 && levels <= 30, qPrintable(QString::number(levels)));
        emu.process.terminate(); // SIGTERM
        QVERIFY(emu.process.waitForFinished(kWaitMs));
        QVERIFY(emu.process.exitStatus() == QProcess::NormalExit && emu.process.exitCode() == 0);
        QVERIFY(!QFileInfo(link).isSymLink());

        QByteArray bytes;
        QStringList lines;
        for (const QString& entry : ReadAll(trace).split('\n', Qt::SkipEmptyParts)) {
            if (entry.startsWith("LINE "))
                lines << entry.mid(5);
            else if (QRegularExpression("^[1-9]\\d* [0-9A-F]{2}$").match(entry).hasMatch())
                bytes += QByteArray::fromHex(entry.section(' ', 1).toLatin1());
        }
        QCOMPARE(bytes.toStdString(), "xx\r\n" + query);
        QCOMPARE(lines, (QStringList{"xx", "AT ID?"}));
    }

    // Every third checksummed line is spoilt, whatever its kind, and the send
    // log says which level broadcasts were.
    void pacedSweepingFloodAndItsSendLog() {
        QTemporaryDir dir;
        const QString log = dir.filePath("sent");
        Emulator emu({"--flood", "--sweep", "--pace-bytes", "2800", "--bad-checksum-every", "3",
                      "--send-log", log});
        QVERIFY(emu.port.isOpen());
        // Enough for the sweep to come round; paced, never faster than 2800
        // bytes a second.
        qint64 tookMs = 0;
        const std::string stream = emu.Exchange("AT ID?\r\n", 10 * kWaitMs, 2000, &tookMs);
        QVERIFY2(stream.size() >= 2000 && double(stream.size()) <= 2800.0 * tookMs / 1000 + 200,
                 qPrintable(QString("%1 bytes in %2 ms").arg(stream.size()).arg(tookMs)));
        QStringList expected; // "# <level>" or "# <level> bad", # for the time it was sent
        size_t index = 0;
        for (size_t begin = 0, lf; (lf = stream.find('\n', begin)) != std::string::npos;
             begin = lf + 1, ++index) {
            const std::string line = stream.substr(begin, lf + 1 - begin);
            QVERIFY2(ValidReport(line) == (index % 3 != 2), line.c_str());
            if (line.starts_with("BRC %S")) {
                QCOMPARE(PairAt(line, 6), uint8_t(expected.size() % 101));
                expected << "# " + QString::number(PairAt(line, 6)) +
                                (index % 3 == 2 ? " bad" : "");
            }
        }
        QVERIFY(expected.size() > 101);
        emu.process.terminate();
        QVERIFY(emu.process.waitForFinished(kWaitMs));
        QStringList logged = ReadAll(log).split('\n');
        for (QString& entry : logged)
            entry.replace(QRegularExpression("^[1-9]\\d* "), "# ");
        QCOMPARE(logged.mid(0, expected.size()), expected);
    }
};

QTEST_GUILESS_MAIN(TestEmulator)
#include "test_emulator.moc"
