// The device emulator, a test tool: its output queue in-process, then the
// built program's options, link and trace. Its device model is exercised by
// the terminal's tests over a pty.
#include "emulator/OutputQueue.h"

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
    void badOptionsAndSetups() {
        for (const QString& bad :
             QStringList{"--product-code 256", "--serial -1", "--rate 0", "--rate",
                         "--pace-bytes nan", "--flood=1", "--bogus"}) {
            const auto [code, said] = RunToEnd(bad.split(' '));
            const QString option = bad.section(' ', 0, 0).section('=', 0, 0);
            QVERIFY2(code == 2 && said.contains(option.toLatin1()), qPrintable(bad));
        }
        QTemporaryFile plain; // not a link, so never replaced by one
        QVERIFY(plain.open());
        QCOMPARE(RunToEnd({"--link", plain.fileName()}).first, 1);
        QVERIFY(!QFileInfo(plain.fileName()).isSymLink());
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

    // A stale link is replaced and removed at SIGTERM; received lines end at
    // LF, overlong ones are dropped and "AT " starts a line afresh; the trace
    // has each line.
    void identifiesTracesAndRemovesItsLink() {
        QTemporaryDir dir;
        const QString trace = dir.filePath("trace"), link = dir.filePath("port");
        QVERIFY(QFile::link("/nonexistent", link));
        QProcess process;
        process.start(BRENDLOW_EMULATOR_PATH,
                      {"--product-code", "59", "--serial", "305419896", "--firmware", "0xC8",
                       "--trace", trace, "--link", link});
        for (int i = 0; i < kWaitMs / 100 && !process.canReadLine(); ++i)
            process.waitForReadyRead(100);
        QSerialPort port(QString::fromLatin1(process.readLine().trimmed()));
        QVERIFY(port.open(QIODevice::ReadWrite) && QFileInfo(link).exists());
        port.write(QByteArray(60, 'Z') + "\r\n" + QByteArray(60, 'Q') + "AT ID?\r\n");
        QByteArray answer;
        QElapsedTimer timer;
        for (timer.start(); timer.elapsed() < kWaitMs && answer.size() < 22;
             answer += port.readAll())
            port.waitForReadyRead(10);
        QCOMPARE(answer.left(22), QByteArray("ACK IDB3876543218C0F\r\n"));
        process.terminate();
        QVERIFY(process.waitForFinished(kWaitMs) && process.exitCode() == 0);
        QVERIFY(!QFileInfo(link).isSymLink());
        QFile file(trace);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(
            QString::fromLatin1(file.readAll()).split('\n').filter(QRegularExpression("^LINE ")),
            QStringList{"LINE AT ID?"});
    }
};

QTEST_GUILESS_MAIN(TestEmulator)
#include "test_emulator.moc"
