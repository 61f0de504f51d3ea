// A device that goes away over a real pseudo-terminal: the terminal never
// falls back to another device while it searches, and does not spin.
#include "EmulatorProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <sys/resource.h>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The devices this process holds open.
QStringList OpenDevices() {
    QStringList devices;
    const QDir fds("/proc/self/fd");
    for (const QString& fd : fds.entryList(QDir::NoDotAndDotDot | QDir::System)) {
        const QString target = QFileInfo(fds.filePath(fd)).symLinkTarget();
        if (target.startsWith("/dev/") && !target.startsWith("/dev/pts/ptmx") &&
            target != "/dev/null")
            devices << target;
    }
    return devices;
}

} // namespace

class LinkRecoveryTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void aVanishedLinkOpensNothingElse() {
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 1, {"--exit-after", "1.5"}));
        LiveTerminal t(m_dir.path(), m_dir.filePath("Quarnel.ini"));
        CTerminalDlg& d = *t.dlg;
        QTRY_VERIFY_WITH_TIMEOUT(d.Controls().IsEnabled(ids::kDisconnect), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!emulator.Running(), 4000);
        // Three seconds of searching: no device but the emulator's ever held
        // open, and hardly any CPU.
        const double cpu = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QStringList opened;
        while (wall.elapsed() < 3000) {
            for (const QString& device : OpenDevices())
                if (!device.startsWith("/dev/pts/"))
                    opened << device;
            QTest::qWait(10);
        }
        QVERIFY2(opened.isEmpty(), qPrintable(opened.join(' ')));
        QVERIFY(d.Controls().IsEnabled(ids::kConnect));
        QCOMPARE(EditText(d, ids::kProductId), QString("Not Found Yet!"));
        QVERIFY(d.IsWatchdogRunning());
        QVERIFY2(CpuSeconds() - cpu < 0.1 * double(wall.elapsed()) / 1000.0,
                 "the terminal spins while the device is away");
        QVERIFY(t.messages.texts.size() <= 1);
        EmulatorProcess back;
        QVERIFY(back.Start(m_dir.path(), 1));
        QTRY_VERIFY_WITH_TIMEOUT(d.Controls().IsEnabled(ids::kDisconnect), 3000);
    }
};

QTEST_MAIN(LinkRecoveryTest)
#include "test_link_recovery.moc"
