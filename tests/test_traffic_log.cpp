// The traffic monitor: the bounded log, its filters and saved lines, and the
// window that takes the lines in once a frame; the saved traffic and the
// status log on a full disk.
#include "session/CDeviceSession.h"
#include "tests/FakeEnvironment.h"
#include "window/CTrafficDlg.h"
#include "window/StatusLog.h"

#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTableView>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace session;

static TrafficLine Line(const QByteArray& bytes, bool sent, Verdict verdict, double ms = 0) {
    return {0, ms, sent, verdict, bytes};
}

static QByteArray Flood(int from, int count) {
    QByteArray bytes;
    for (int i = from; i < from + count; ++i)
        bytes += "L" + QByteArray::number(i).rightJustified(5, '0') + "\r\n";
    return bytes;
}

// While it lives, no file grows past `bytes`: a write beyond fails with
// EFBIG as it would on a full disk, without root or a small file system.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_signal);
    }
    bool IsSet() const { return m_set; }

private:
    rlimit m_old{};
    void (*m_signal)(int) = SIG_DFL;
    bool m_set = false;
};

class TrafficLogTest : public QObject {
    Q_OBJECT

private slots:
    void keepsTheNewestLines() {
        CTrafficLog log;
        for (int i = 0; i < 25000; ++i)
            log.Append(Line(QByteArray::number(i), false, Verdict::Ok));
        QCOMPARE(log.Size(), 10000);
        QByteArray kept, newest;
        for (int i = 0; i < log.Size(); ++i) {
            kept += log.At(i).bytes + ',';
            newest += QByteArray::number(15000 + i) + ',';
        }
        QCOMPARE(kept, newest);
        log.Clear();
        QCOMPARE(log.Size(), 0);
        QCOMPARE(log.EndSequence(), 25000);
    }

    void filtersAndSavedText() {
        const QList<TrafficLine> lines = {
            Line("AT ID?\r\n", true, Verdict::Ok), Line("BRC %S2310BC\r\n", false, Verdict::Ok),
            Line("BRC %S2311BC\r\n", false, Verdict::BadChecksum),
            Line("ACK %\r\n", false, Verdict::Unexpected), Line("\x01zz", false, Verdict::Dropped)};
        const auto shown = [&](const TrafficFilter& filter) {
            QStringList texts;
            for (const TrafficLine& line : lines)
                if (filter.Accepts(line))
                    texts << QString::fromLatin1(VisibleText(line.bytes));
            return texts.join('|');
        };
        QCOMPARE(shown({}), "AT ID?|BRC %S2310BC|BRC %S2311BC|ACK %|\\x01zz");
        QCOMPARE(shown({.received = false}), "AT ID?");
        QCOMPARE(shown({.broadcastsOnly = true}), "BRC %S2310BC|BRC %S2311BC");
        QCOMPARE(shown({.problemsOnly = true}), "BRC %S2311BC|ACK %|\\x01zz");
        QCOMPARE(shown({.broadcastsOnly = true, .problemsOnly = true}), "BRC %S2311BC");
        QCOMPARE(FormatLine(Line("\x01\xFF%1\\\r\n", false, Verdict::Dropped, 1234.56)),
                 "     1.235 RX dropped      \\x01\\xFF%1\\x5C");
    }

    void windowTakesLinesOncePerFrame() {
        auto backend = std::make_unique<CFakeSerialBackend>();
        CFakeSerialBackend& serial = *backend;
        CFakeClock clock;
        CDeviceSession s({std::move(backend), &clock, {}, 3600 * 1000});
        CTrafficDlg dlg(s, nullptr);
        dlg.show();
        auto* view = dlg.findChild<QTableView*>("traffic");
        int batches = 0;
        connect(view->model(), &QAbstractItemModel::rowsInserted, this, [&] { ++batches; });
        s.Start();
        s.Connect(); // sends "AT ID?"
        serial.Receive(Flood(0, 999));
        QCOMPARE(dlg.WaitingLines(), 1000);
        QCOMPARE(view->model()->rowCount(), 0);
        QTRY_COMPARE(view->verticalHeader()->count(), 1000);
        QCOMPARE(batches, 1);

        dlg.SetFilter({.received = false});
        QCOMPARE(view->model()->index(0, 3).data().toString(), "AT ID?");
        QCOMPARE(view->model()->rowCount(), 1);

        // On a full disk a save says why and leaves the old file as it was,
        // whether the disk fills at the last flush (this one line) or while
        // the lines are written (all thousand).
        QTemporaryDir full;
        const QString old = full.filePath("t.txt");
        QVERIFY(WriteFile(old, "old\n"));
        for (const TrafficFilter& filter : {dlg.Filter(), TrafficFilter{}}) {
            dlg.SetFilter(filter);
            QString problem;
            {
                const FileSizeLimit limit(10);
                QVERIFY(limit.IsSet());
                problem = dlg.SaveTo(old);
            }
            QVERIFY2(problem.contains(strerror(EFBIG)), qPrintable(problem));
            QCOMPARE(ReadFile(old), "old\n");
        }
        QCOMPARE(QDir(full.path()).entryList(QDir::Files), QStringList{"t.txt"});

        // Only the newest 10,000 stay, filtered and saved as shown.
        dlg.SetFilter({.problemsOnly = true});
        serial.Receive(Flood(999, 10000));
        QTRY_COMPARE(view->model()->index(0, 3).data().toString(), "L00999");
        QCOMPARE(view->verticalHeader()->count(), 10000);
        QCOMPARE(batches, 2);
        QTemporaryDir dir;
        QCOMPARE(dlg.SaveTo(dir.filePath("t.txt")), QString());
        QFile saved(dir.filePath("t.txt"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readLine().endsWith(" RX unexpected   L00999\n"));
        QCOMPARE(saved.readAll().count('\n'), 9999);
        QVERIFY(!dlg.SaveTo(dir.filePath("none/t.txt")).isEmpty());

        // Scrolled up, the rows being read stay in sight as the oldest go.
        view->verticalScrollBar()->setValue(5000);
        serial.Receive(Flood(11000, 100));
        QTRY_COMPARE(view->model()->index(0, 3).data().toString(), "L01099");
        QCOMPARE(view->verticalScrollBar()->value(), 4900);

        // Paused, lines wait and come in on resuming; closed, none come.
        dlg.SetPaused(true);
        serial.Receive(Flood(20000, 5));
        const auto status = [&] { return dlg.findChild<QLabel*>("status")->text(); };
        QTRY_VERIFY2(
            dlg.WaitingLines() >= 5 &&
                status().contains(QString("paused with %1 waiting").arg(dlg.WaitingLines())),
            qPrintable(status()));
        QCOMPARE(view->model()->index(9999, 3).data().toString(), "L11099");
        const int waiting = dlg.WaitingLines();
        dlg.SetPaused(false);
        QCOMPARE(dlg.WaitingLines(), 0);
        QStringList newest;
        for (int row = 10000 - waiting; row < 10000; ++row)
            newest << view->model()->index(row, 3).data().toString();
        QVERIFY2(newest.contains("L20004"), qPrintable(newest.join(' ')));
        dlg.hide();
        serial.Receive(Flood(30000, 5));
        QCOMPARE(dlg.WaitingLines(), 0);
    }

    // The status log says once on stderr that it cannot be opened or written,
    // and stops there, rather than going on with lines missing.
    void statusLogOnAFullDisk_data() {
        QTest::addColumn<QString>("path"); // relative: in a fresh folder
        QTest::addColumn<int>("room");     // -1: no limit
        QTest::newRow("no such folder") << "missing/status.log" << -1;
        QTest::newRow("/dev/full") << "/dev/full" << -1;
        QTest::newRow("full after a line") << "status.log" << 40;
    }
    void statusLogOnAFullDisk() {
        QFETCH(QString, path);
        QFETCH(int, room);
        QTemporaryDir dir;
        path = QDir(dir.path()).absoluteFilePath(path);
        const QRegularExpression said("status log " + QRegularExpression::escape(path));
        QTest::ignoreMessage(QtWarningMsg, said);
        QTest::failOnWarning(said); // said once
        qputenv("BRENDLOW_STATUS_LOG", QFile::encodeName(path));
        std::unique_ptr<CStatusLog> log = CStatusLog::FromEnvironment();
        qunsetenv("BRENDLOW_STATUS_LOG");
        QCOMPARE(log != nullptr, !path.contains("missing"));
        if (!log)
            return;
        const FileSizeLimit full(room < 0 ? RLIM_INFINITY : static_cast<rlim_t>(room));
        QVERIFY(full.IsSet());
        log->Write("level", QStringLiteral("1"));
        for (int i = 0; i < 20; ++i)
            log->Hold("level", QString::number(i));
        log->Flush();
        log->Write("tick", QStringLiteral("watchdog"));
    }
};

QTEST_MAIN(TrafficLogTest)
#include "test_traffic_log.moc"
