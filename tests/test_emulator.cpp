// The device emulator, a test tool: its options, its link, its output queue
// and its loop in-process on a real pty, then the built program's exit
// statuses and link. Its device model is exercised by the terminal's tests.
#include "core/LinkInPlace.h"
#include "emulator/EmulatorLoop.h"
#include "emulator/EmulatorOptions.h"
#include "emulator/OutputQueue.h"
#include "emulator/Pty.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 3000;

// Runs the program to its end: the exit code (-1 if it did not end by
// itself) and what it wrote on stdout and stderr.
std::pair<int, QByteArray> RunToEnd(const QStringList& args) {
    QProcess p;
    p.start(BRENDLOW_EMULATOR_PATH, args);
    const bool ended = p.waitForFinished(kWaitMs) && p.exitStatus() == QProcess::NormalExit;
    return {ended ? p.exitCode() : -1, p.readAllStandardOutput() + p.readAllStandardError()};
}

} // namespace

class TestEmulator : public QObject {
    Q_OBJECT

private slots:
    void optionsAreReadOrRefusedByName() {
        emulator::EmulatorOptions options;
        QString text;
        QCOMPARE(emulator::ParseOptions({"emu", "--product-code", "A", "--serial", "0x12345678",
                                         "--firmware=200", "--rate", "2.5", "--noise", "--can",
                                         "virtualcan:tcp://127.0.0.1:9/can0"},
                                        options, text),
                 emulator::ParseOutcome::Run);
        QVERIFY(options.device.productCode == 'A' && options.device.serialNumber == 0x12345678 &&
                options.device.firmwareByte == 200 && options.rate == 2.5 && options.noise &&
                !options.flood && !options.seedGiven && options.can &&
                options.can->plugin == "virtualcan" &&
                options.can->interface == "tcp://127.0.0.1:9/can0");
        for (const QString& good : QStringList{"--rate 0.001", "--rate 1000", "--pace-bytes 0.001"})
            QVERIFY2(emulator::ParseOptions(QStringList{"emu"} + good.split(' '), options, text) ==
                         emulator::ParseOutcome::Run,
                     qPrintable(good + ": " + text));
        // A rate or pace too small for a timer, not a number, out of range,
        // or a fraction where a count is meant.
        for (const QString& bad :
             QString("--product-code 256|--serial -1|--serial 4294967296|--serial 1.5|"
                     "--firmware 1x|--rate 0|--rate 1e-300|--rate 0.0009|--rate -1|--rate nan|"
                     "--rate inf|--rate 1001|--rate|--pace-bytes nan|--pace-bytes 1e-300|"
                     "--pace-bytes 1e9|--silent-after -1|--silent-after nan|--exit-after inf|"
                     "--exit-after 1e300|--bad-checksum-every 0|--bad-checksum-every 2.5|"
                     "--seed -1|--seed 18446744073709551616|--flood=1|--bogus|--can can0|"
                     "--can :can0|--can socketcan:|--candump")
                 .split('|')) {
            const QString option = bad.section(' ', 0, 0).section('=', 0, 0).mid(2);
            QVERIFY2(emulator::ParseOptions(QStringList{"emu"} + bad.split(' '), options, text) ==
                             emulator::ParseOutcome::Error &&
                         text.contains(option),
                     qPrintable(bad + ": " + text));
        }
        QCOMPARE(emulator::ParseOptions({"emu", "--rate", "5", "stray"}, options, text),
                 emulator::ParseOutcome::Error);
    }

    // Replaced, never removed and remade; a failure leaves the old link and
    // no temporary behind.
    void linksAreReplacedInPlace() {
        QTemporaryDir dir;
        const QString linkName = dir.filePath("port");
        const std::filesystem::path link = linkName.toStdString();
        for (const char* target : {"/dev/old", "/dev/new"})
            QCOMPARE(QString::fromStdString(links::LinkInPlace(target, link)), QString());
        QCOMPARE(QFile::symLinkTarget(linkName), QString("/dev/new"));
        QVERIFY(!links::LinkInPlace("", link).empty()); // the system refuses an empty target
        QCOMPARE(QFile::symLinkTarget(linkName), QString("/dev/new"));
        QVERIFY(
            !links::LinkInPlace("/dev/new", dir.filePath("missing/port").toStdString()).empty());
        QFile plain(dir.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        QVERIFY(!links::LinkInPlace("/dev/new", plain.fileName().toStdString()).empty());
        QVERIFY(!QFileInfo(plain.fileName()).isSymLink());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 (QStringList{"plain", "port"}));
    }

    // A level is logged as sent once its last byte is: the flood test
    // compares the terminal with that log.
    void theOutputQueue() {
        QTemporaryFile sink;
        QVERIFY(sink.open());
        emulator::COutputQueue queue(20);
        QVERIFY(queue.Append("BRC %S2310BC\r\n", 50) && queue.Append("BRC %S3310AC\r\n", 51));
        QVERIFY(!queue.Append("ACK %\r\n")); // over 20 bytes wait
        std::vector<int> sent;
        QCOMPARE(queue.WriteTo(sink.handle(), 13, sent), 13L);
        QVERIFY(sent.empty());
        QCOMPARE(queue.WriteTo(sink.handle(), 100, sent), 15L);
        QCOMPARE(sent, (std::vector<int>{50, 51}));
    }

    // On a clock of the test's: received lines end at LF, overlong ones are
    // dropped and "AT " starts a line afresh; the query is answered and
    // starts the level broadcasts, due one period of the clock later; the
    // trace has each byte at the clock's time and each line.
    void theLoopAnswersAndBroadcastsOnItsClock() {
        emulator::CPty pty;
        QCOMPARE(QString::fromStdString(pty.Open()), QString());
        const int port = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(port >= 0);
        emulator::EmulatorOptions options;
        options.device = {59, 305419896, 0xC8};
        options.rate = 4;
        int64_t now = 7'000'000'000;
        QTemporaryFile traceFile;
        QVERIFY(traceFile.open());
        FILE* trace = fdopen(dup(traceFile.handle()), "w");
        emulator::CEmulatorLoop loop(options, pty.Master(), -1, {trace, nullptr},
                                     [&] { return now; });

        const QByteArray query = QByteArray(60, 'Z') + "\r\n" + QByteArray(60, 'Q') + "AT ID?\r\n";
        QCOMPARE(::write(port, query.data(), query.size()), query.size());
        QByteArray received;
        const auto lines = [&] {
            char buffer[256];
            for (ssize_t n; (n = ::read(port, buffer, sizeof buffer)) > 0;)
                received.append(buffer, n);
            return received.count("\r\n");
        };
        QVERIFY(loop.RunUntil([&] { return lines() >= 1; }, 20));
        QCOMPARE(received, QByteArray("ACK IDB3876543218C0F\r\n"));
        now += 250'000'000;
        QVERIFY(loop.RunUntil([&] { return lines() >= 2; }, 20));
        QCOMPARE(received, QByteArray("ACK IDB3876543218C0F\r\nBRC %S2310BC\r\n"));
        ::close(port);

        std::fclose(trace);
        QVERIFY(traceFile.seek(0));
        const QStringList traceLines =
            QString::fromLatin1(traceFile.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(traceLines.filter(QRegularExpression("^LINE ")), QStringList{"LINE AT ID?"});
        QCOMPARE(traceLines.filter(QRegularExpression("^7000000000 [0-9A-F]{2}$")).size(),
                 query.size());
    }

    // Bad arguments exit 64; a file in the link's place is left as it is.
    // A stale link in the working folder is replaced, and removed at SIGTERM.
    void theProgramsExitStatusesAndLink() {
        const auto [code, said] = RunToEnd({"--rate", "0"});
        QVERIFY2(code == 64 && said.contains("--rate"), said.constData());
        QTemporaryFile plain;
        QVERIFY(plain.open());
        QCOMPARE(RunToEnd({"--link", plain.fileName()}).first, 1);
        QVERIFY(!QFileInfo(plain.fileName()).isSymLink());

        QTemporaryDir dir;
        const QString link = dir.filePath("COM1");
        QVERIFY(QFile::link("/nonexistent", link));
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(BRENDLOW_EMULATOR_PATH, {"--link", "COM1"});
        for (int i = 0; i < kWaitMs / 100 && !process.canReadLine(); ++i)
            process.waitForReadyRead(100);
        QCOMPARE(QFileInfo(link).symLinkTarget(),
                 QString::fromLatin1(process.readLine().trimmed()));
        process.terminate();
        QVERIFY(process.waitForFinished(kWaitMs) && process.exitCode() == 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    // A log that cannot be written ends the run with status 1 and a message
    // naming it, rather than a clean exit with the log missing; one that
    // would block the start (a FIFO nobody reads) is refused at once.
    void logFilesThatCannotBeWritten_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("path"); // relative: in a fresh folder
        for (const char* option : {"--trace", "--send-log", "--candump"}) {
            QTest::addRow("%s on a full disk", option) << option << "/dev/full";
            QTest::addRow("%s into a FIFO", option) << option << "fifo";
        }
    }
    void logFilesThatCannotBeWritten() {
        QFETCH(QString, option);
        QFETCH(QString, path);
        QTemporaryDir dir;
        path = QDir(dir.path()).absoluteFilePath(path);
        QVERIFY(QFileInfo::exists(path) || mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        QProcess process;
        process.start(BRENDLOW_EMULATOR_PATH, {option, path, "--exit-after", "1"});
        // Once it runs, a query starts the broadcasts and puts a line in the
        // trace.
        while (!process.canReadLine() && process.waitForReadyRead(kWaitMs)) {
        }
        int port = -1;
        if (process.canReadLine()) {
            port = ::open(process.readLine().trimmed().constData(), O_RDWR | O_NOCTTY);
            QVERIFY(port >= 0);
            QCOMPARE(::write(port, "AT ID?\r\n", 8), 8);
        }
        const bool ended =
            process.state() == QProcess::NotRunning || process.waitForFinished(kWaitMs);
        if (port >= 0)
            ::close(port);
        QVERIFY(ended);
        const QByteArray said = process.readAllStandardError();
        QVERIFY2(process.exitCode() == 1 && said.contains(QFile::encodeName(path)),
                 said.constData());
    }
};

QTEST_GUILESS_MAIN(TestEmulator)
#include "test_emulator.moc"
