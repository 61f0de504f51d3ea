// Faults a bench terminal meets over hours: a flood of broadcasts mixed with
// noise and bad checksums, a line of garbage, ports that cannot be opened.
// Each runs against the device emulator over a pseudo-terminal; the device
// unplugged is in test_link_recovery.
#include "tests/EmulatorProcess.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// Memory figures mean nothing under AddressSanitizer, which holds freed
// memory back on purpose.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryIsMeasured = false;
#else
constexpr bool kMemoryIsMeasured = true;
#endif

// The resident memory of a process, this one by default.
long ResidentKb(const QString& process = "self") {
    QFile status("/proc/" + process + "/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

int OpenDescriptors() {
    return static_cast<int>(
        QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

// Runs the event loop for `ms` milliseconds, as the application's own loop
// runs: every event is handled the moment it arrives.
void Spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` holds or `ms` milliseconds have passed.
template <class Condition> bool SpinUntil(Condition done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        Spin(20);
    return done();
}

} // namespace

class FaultInjectionTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString Settings() const { return m_dir.filePath("Quarnel.ini"); }
    static void Choose(CTerminalDlg& d, int port) {
        d.Controls().ItemAs<QComboBox>(ids::kPortList)->setCurrentIndex(port - 1);
    }

private slots:
    // The terminal runs as its own process here, as on a bench, and reports
    // through its status log.
    void aFloodIsFollowedToItsLastValidLevel() {
        // Inside the build tree, as a bench's copy is, so that the copy keeps
        // its settings and links in its own folder.
        const QTemporaryDir run(QFileInfo(QStringLiteral(BRENDLOW_TERMINAL_PATH)).absolutePath() +
                                "/flood-XXXXXX");
        QVERIFY(run.isValid());
        const QString folder = run.path();
        const QString terminal = QDir(folder).filePath("BrendlowTerminal");
        QVERIFY(QFile::copy(QStringLiteral(BRENDLOW_TERMINAL_PATH), terminal));
        const QString log = QDir(folder).filePath("sent.txt");
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(folder, 1,
                               {"--flood", "--sweep", "--noise", "--bad-checksum-every", "7",
                                "--send-log", log, "--silent-after", "8"}));
        const QString status = QDir(folder).filePath("status.txt");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("BRENDLOW_STATUS_LOG", status);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.start(terminal, {});
        QVERIFY(process.waitForStarted(5000));
        const QString pid = QString::number(process.processId());
        QVERIFY(
            SpinUntil([&] { return ReadLines(status).filter("identified").size() == 1; }, 10000));
        const long rssEarly = ResidentKb(pid);
        // The emulator falls silent after 8 s; a silent second later the
        // terminal drops it.
        QVERIFY(SpinUntil(
            [&] {
                return ReadLines(status).filter("identified").size() == 1 &&
                       ReadLines(status).last().startsWith("tick") &&
                       ReadLines(status).filter("tick").size() >= 9;
            },
            15000));
        const long rssLate = ResidentKb(pid);
        process.terminate();
        QVERIFY(process.waitForFinished(5000));

        QStringList levels;
        QList<qint64> ticks;
        qint64 identifiedAt = 0;
        for (const QString& line : ReadLines(status)) {
            if (line.startsWith("level "))
                levels << line.section(' ', 1, 1);
            else if (line.startsWith("tick "))
                ticks << line.section(' ', 2, 2).toLongLong();
            else if (line.startsWith("identified "))
                identifiedAt = line.section(' ', -1).toLongLong();
        }
        // A flood, not a trickle (at full speed it is tens of thousands).
        QVERIFY2(levels.size() > 1000, qPrintable(QString::number(levels.size())));
        QStringList goodSent;
        int good = 0; // sent after the identification
        for (const QString& line : ReadLines(log)) {
            if (line.endsWith(" bad"))
                continue;
            goodSent << line.section(' ', 1, 1);
            good += line.section(' ', 0, 0).toLongLong() > identifiedAt;
        }
        // The levels shown are the last valid broadcasts the emulator wrote,
        // in order: none lost, repeated or shuffled, the last one on show.
        // The sweep makes neighbours differ, so a slip shows.
        QVERIFY(levels.size() <= goodSent.size());
        QCOMPARE(goodSent.mid(goodSent.size() - levels.size()), levels);
        // And they began no later than the identification (a broadcast
        // before it only counts as a sign of life). The emulator stamps a
        // line before writing it, so a line stamped after the identification
        // came after the report that made it.
        QVERIFY2(levels.size() >= good,
                 qPrintable(QString("%1 shown, %2 good sent").arg(levels.size()).arg(good)));
        // The flood did not starve the watchdog (its period is a second;
        // how closely it keeps it is for the benchmarks), and memory stayed
        // put.
        for (int i = 1; i < ticks.size(); ++i)
            QVERIFY2(ticks[i] - ticks[i - 1] < 3'000'000'000LL,
                     qPrintable(QString::number(ticks[i] - ticks[i - 1])));
        if (kMemoryIsMeasured)
            QVERIFY2(rssLate - rssEarly < 8 * 1024,
                     qPrintable(QString("%1 -> %2 kB").arg(rssEarly).arg(rssLate)));
    }

    void garbageIsDroppedAndRetriedWithoutGrowth() {
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 1, {"--garbage"}));
        LiveTerminal t(m_dir.path(), Settings());
        CTerminalDlg& d = *t.dlg;
        Spin(2500);
        const int fds = OpenDescriptors();
        const long rss = ResidentKb();
        Spin(4000);
        QCOMPARE(OpenDescriptors(), fds);
        if (kMemoryIsMeasured)
            QVERIFY2(ResidentKb() - rss < 4 * 1024, "memory grows");
        QVERIFY(d.Controls().IsEnabled(ids::kConnect));
        QVERIFY(d.IsWatchdogRunning());
        QCOMPARE(EditText(d, ids::kProductId), QString("Not Found Yet!"));
        QVERIFY(t.messages.texts.isEmpty());
    }

    void portsThatCannotBeOpenedAreReported() {
        QVERIFY(QDir(m_dir.path()).mkpath("ports"));
        // Not a serial port at all, and a port that does not exist.
        QVERIFY(QFile::link("/dev/null", m_dir.filePath("ports/COM22")));
        LiveTerminal t(m_dir.path(), Settings());
        CTerminalDlg& d = *t.dlg;
        Choose(d, 21);
        QTRY_VERIFY_WITH_TIMEOUT(!d.IsWatchdogRunning(), 2500);
        QCOMPARE(t.messages.texts.size(), 1);
        // How often a failure is told is test_session's.
        auto* connect = d.Controls().ItemAs<QAbstractButton>(ids::kConnect);
        Choose(d, 22);
        connect->click();
        QCOMPARE(t.messages.texts.size(), 2);
        QVERIFY(t.messages.texts[1] != t.messages.texts[0]);
        // Connect works once a device is there.
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 21));
        Choose(d, 21);
        connect->click();
        QTRY_VERIFY_WITH_TIMEOUT(d.Controls().IsEnabled(ids::kDisconnect), 2500);
        QCOMPARE(t.messages.texts.size(), 2);
    }
};

QTEST_MAIN(FaultInjectionTest)
#include "test_fault_injection.moc"
