// The real serial component over a pseudo-terminal: a stream is read whole
// while reads are spaced; a device that goes away: the terminal never falls
// back to another device while it searches, and does not spin. One device
// reached by two links is refused the second time in test_cli.
#include "session/CMSComm.h"
#include "session/SystemSerialBackend.h"
#include "tests/EmulatorProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <fcntl.h>
#include <functional>
#include <stdlib.h>
#include <unistd.h>

namespace {

// Counts the wake-ups the event loop delivers: timers and watched file
// descriptors. A terminal that spins (a port watched after its device went
// away, a timer restarted at once) wakes thousands of times a second; an idle
// one a few times. Counting them instead of timing the CPU keeps the check
// meaningful on a loaded machine or under the sanitizers.
class WakeCounter : public QObject {
public:
    int wakes = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Timer:
        case QEvent::ZeroTimerEvent:
        case QEvent::SockAct:
        case QEvent::SockClose:
        case QEvent::MetaCall:
            ++wakes;
            break;
        default:
            break;
        }
        return false;
    }
};

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
    // A device that streams is read in batches: the port is not watched for a
    // few milliseconds after each read. No byte may be lost or held back by
    // that, when the stream stops during such a pause, or when the port is
    // closed and opened again during one.
    void aStreamIsReadWholeAcrossPausesAndReopening() {
        const int device = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(device >= 0 && grantpt(device) == 0 && unlockpt(device) == 0);
        CMSComm comm(
            CreateSystemSerialBackend(m_dir.path(), QString::fromLocal8Bit(ptsname(device))));
        QByteArray received;
        int reads = 0;
        QObject::connect(&comm, &CMSComm::OnComm, [&] {
            received += comm.GetInput();
            ++reads;
        });
        comm.SetPortOpen(true);
        QByteArray sent;
        // Runs the event loop (QTest::qWait sleeps between its turns, which
        // would space the reads by itself) until `done` or for 3 s.
        const auto runUntil = [](const std::function<bool()>& done) {
            QEventLoop loop;
            QTimer check;
            QObject::connect(&check, &QTimer::timeout, [&] {
                if (done())
                    loop.quit();
            });
            check.start(1);
            QTimer::singleShot(3000, &loop, &QEventLoop::quit);
            loop.exec();
            return done();
        };
        // A line a millisecond, written while the event loop runs.
        const auto stream = [&](int lines) {
            for (int i = 0; i < lines; ++i) {
                runUntil([deadline = QDeadlineTimer(1)] { return deadline.hasExpired(); });
                const QByteArray line =
                    QByteArray::number(sent.size()).rightJustified(10, '0') + "\r\n";
                QCOMPARE(::write(device, line.constData(), size_t(line.size())), line.size());
                sent += line;
            }
        };
        const auto allRead = [&] { return received.size() == sent.size(); };
        stream(200);
        // The last lines came during a pause; they are read when it ends.
        QVERIFY(runUntil(allRead));
        QCOMPARE(received, sent);
        QVERIFY2(reads > 1 && reads < 100, qPrintable(QString("%1 reads").arg(reads)));
        // Closed and opened again in the middle of a stream (and perhaps of a
        // pause): what comes after the new open is read.
        stream(20);
        comm.SetPortOpen(false);
        comm.SetPortOpen(true);
        received.clear();
        sent.clear();
        stream(100); // after what the closed port had not read yet
        QVERIFY(runUntil([&] { return received.endsWith(sent); }));
        comm.SetPortOpen(false);
        ::close(device);
    }

    void aVanishedLinkOpensNothingElse() {
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 1));
        LiveTerminal t(m_dir.path(), m_dir.filePath("Quarnel.ini"));
        CTerminalDlg& d = *t.dlg;
        QTRY_VERIFY_WITH_TIMEOUT(d.Controls().IsEnabled(ids::kDisconnect), 10000);
        // The device goes once it is identified, taking its link with it. (A
        // device that ends by itself at a fixed time may be gone before a
        // terminal slowed by a busy machine first asks for it.)
        emulator.Stop();
        // Three seconds of searching: no device but the emulator's ever held
        // open, and hardly any CPU.
        WakeCounter counter;
        qApp->installEventFilter(&counter);
        QElapsedTimer wall;
        wall.start();
        // A running event loop, not QTest::qWait, which sleeps between its
        // turns and so would hide a terminal that spins.
        QStringList opened;
        QEventLoop loop;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            for (const QString& device : OpenDevices())
                if (!device.startsWith("/dev/pts/"))
                    opened << device;
        });
        look.start(50);
        QTimer end;
        end.setSingleShot(true);
        QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
        end.start(3000);
        loop.exec();
        QVERIFY2(opened.isEmpty(), qPrintable(opened.join(' ')));
        QVERIFY(d.Controls().IsEnabled(ids::kConnect));
        QCOMPARE(EditText(d, ids::kProductId), QString("Not Found Yet!"));
        QVERIFY(d.IsWatchdogRunning());
        qApp->removeEventFilter(&counter);
        qInfo("%d wake-ups in %lld ms", counter.wakes, wall.elapsed());
        QVERIFY2(counter.wakes < 1000, "the terminal spins while the device is away");
        QVERIFY(t.messages.texts.size() <= 1);
        EmulatorProcess back;
        QVERIFY(back.Start(m_dir.path(), 1));
        QTRY_VERIFY_WITH_TIMEOUT(d.Controls().IsEnabled(ids::kDisconnect), 10000);
    }
};

QTEST_MAIN(LinkRecoveryTest)
#include "test_link_recovery.moc"
