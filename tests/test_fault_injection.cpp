// Faults a bench terminal meets over hours: the device unplugged, a flood of
// broadcasts mixed with noise and bad checksums, a line of garbage, ports
// that cannot be opened. Each runs against the device emulator over a
// pseudo-terminal.
#include "CiAnalogDisplayX.h"
#include "CiSliderX.h"
#include "EmulatorProcess.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/resource.h>

namespace {

// CPU seconds this process has used.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ResidentKb() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

int OpenDescriptors() { return static_cast<int>(QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::System).size()); }

// Runs the event loop for `ms` milliseconds.
void Spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QTest::qWait(std::min<qint64>(50, ms - timer.elapsed() + 1));
}

} // namespace

class FaultInjectionTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString Settings() const { return m_dir.filePath("Quarnel.ini"); }
    QString Log() const { return m_dir.filePath("sent.txt"); }
    static QString Text(CTerminalDlg& d, int id) { return d.Controls().ItemAs<QLineEdit>(id)->text(); }
    static void Choose(CTerminalDlg& d, int port) {
        d.Controls().ItemAs<QComboBox>(ids::kPortList)->setCurrentIndex(port - 1);
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        QFile::remove(Settings());
        QFile::remove(Log());
    }

    // Ports above COM4 have no /dev/ttyS fallback on a usual machine, so a
    // vanished link leaves a port that cannot be opened: the unplugged case.
    void anUnpluggedDeviceIsFoundAgainWhenItReturns() {
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 20, {"--exit-after", "2.5"}));
        LiveTerminal t(m_dir.path(), Settings());
        CTerminalDlg& d = *t.dlg;
        Choose(d, 20);
        QTRY_VERIFY_WITH_TIMEOUT(d.Controls().IsEnabled(ids::kDisconnect), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!emulator.Running(), 4000);
        // The panel resets within two ticks, without busy looping meanwhile.
        const double cpu = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTRY_VERIFY_WITH_TIMEOUT(d.Controls().IsEnabled(ids::kConnect), 2500);
        QCOMPARE(Text(d, ids::kProductId), QString("Not Found Yet!"));
        Spin(2000);
        QVERIFY2(CpuSeconds() - cpu < 0.5 * static_cast<double>(wall.elapsed()) / 1000.0,
                 "the terminal spins while the device is away");
        QVERIFY(t.messages.texts.size() <= 1);
        // Back at the same port: found with no click.
        EmulatorProcess back;
        QVERIFY(back.Start(m_dir.path(), 20));
        QTRY_VERIFY_WITH_TIMEOUT(d.Controls().IsEnabled(ids::kDisconnect), 4000);
        QVERIFY2(t.messages.texts.size() <= 1, qPrintable(t.messages.texts.join(" | ")));
    }

    void aFloodIsFollowedToItsLastValidLevel() {
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 1,
                               {"--flood", "--sweep", "--noise", "--bad-checksum-every", "7",
                                "--send-log", Log(), "--exit-after", "8"}));
        LiveTerminal t(m_dir.path(), Settings());
        CTerminalDlg& d = *t.dlg;
        int lastShown = -1;
        int shownCount = 0;
        d.SetLevelShownHook([&](uint8_t level) {
            lastShown = level;
            ++shownCount;
        });
        QTRY_VERIFY_WITH_TIMEOUT(d.Controls().IsEnabled(ids::kDisconnect), 3000);
        // The event loop keeps turning: a 100 ms timer is never held up long.
        QElapsedTimer gap;
        gap.start();
        qint64 longestGap = 0;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, gap.restart());
        });
        probe.start(100);
        Spin(1500);
        const long rssEarly = ResidentKb();
        QTRY_VERIFY_WITH_TIMEOUT(!emulator.Running(), 10000);
        Spin(300); // what is still in the pipe
        const long rssLate = ResidentKb();
        probe.stop();
        QVERIFY2(longestGap < 900, qPrintable(QString::number(longestGap)));
        QVERIFY2(rssLate - rssEarly < 8 * 1024, qPrintable(QString("%1 -> %2 kB").arg(rssEarly).arg(rssLate)));
        QVERIFY(shownCount > 1000);
        // The last good broadcast the emulator wrote is the level on show.
        const QStringList sent = ReadLines(Log());
        QVERIFY(!sent.isEmpty());
        QString lastGood;
        for (auto it = sent.crbegin(); it != sent.crend() && lastGood.isEmpty(); ++it)
            if (!it->endsWith(" bad"))
                lastGood = it->section(' ', 1, 1);
        QCOMPARE(QString::number(lastShown), lastGood);
        QCOMPARE(d.Slider()->GetPosition(), lastGood.toDouble());
        QVERIFY(t.messages.texts.isEmpty());
    }

    void garbageIsDroppedAndRetriedWithoutGrowth() {
        EmulatorProcess emulator;
        const QString trace = m_dir.filePath("trace.txt");
        QVERIFY(emulator.Start(m_dir.path(), 1, {"--garbage", "--trace", trace}));
        LiveTerminal t(m_dir.path(), Settings());
        CTerminalDlg& d = *t.dlg;
        Spin(2500);
        const int fds = OpenDescriptors();
        const long rss = ResidentKb();
        Spin(4000);
        QCOMPARE(OpenDescriptors(), fds);
        QVERIFY2(ResidentKb() - rss < 4 * 1024, "memory grows");
        QVERIFY(d.Controls().IsEnabled(ids::kConnect));
        QVERIFY(d.IsWatchdogRunning());
        QCOMPARE(Text(d, ids::kProductId), QString("Not Found Yet!"));
        int queries = 0;
        for (const QString& line : ReadLines(trace))
            queries += line == "LINE AT ID?";
        QVERIFY2(queries >= 5, qPrintable(QString::number(queries)));
        QVERIFY(t.messages.texts.isEmpty());
    }

    void portsThatCannotBeOpenedAreReportedOnce() {
        QVERIFY(QDir(m_dir.path()).mkpath("ports"));
        // Not a serial port at all, and a port that does not exist.
        QVERIFY(QFile::link("/dev/null", m_dir.filePath("ports/COM22")));
        LiveTerminal t(m_dir.path(), Settings());
        CTerminalDlg& d = *t.dlg;
        Choose(d, 21);
        QTRY_VERIFY_WITH_TIMEOUT(!d.IsWatchdogRunning(), 2500);
        QCOMPARE(t.messages.texts.size(), 1);
        auto* connect = d.Controls().ItemAs<QAbstractButton>(ids::kConnect);
        for (int i = 0; i < 60; ++i) // a minute of the operator pressing Connect
            connect->click();
        QCOMPARE(t.messages.texts.size(), 1);
        Choose(d, 22);
        connect->click();
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

    void badReportsChangeNothingButTheWait() {
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 1, {"--bad-checksum-every", "1"}));
        LiveTerminal t(m_dir.path(), Settings());
        CTerminalDlg& d = *t.dlg;
        Spin(3300);
        QVERIFY(d.Controls().IsEnabled(ids::kConnect));
        QCOMPARE(Text(d, ids::kProductId), QString("Not Found Yet!"));
        QCOMPARE(d.Readout(1035)->Text(), QString("0.00 RPM"));
        // A report, even a bad one, means the port answered: it is remembered.
        QFile file(Settings());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("COM=1;\r\n"));
        QVERIFY(t.messages.texts.isEmpty());
    }
};

QTEST_MAIN(FaultInjectionTest)
#include "test_fault_injection.moc"
