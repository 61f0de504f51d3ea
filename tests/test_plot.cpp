// The read-outs over time: the history's bound and its buckets, the points
// a plot draws from them, the plot window's series, cursor and exports, and
// brendlowctl watch --csv against the plot's export and against --json.
#include "core/ReportLines.h"
#include "session/ReadoutHistory.h"
#include "tests/EmulatorProcess.h"
#include "widgets/CiAnalogDisplayX.h"
#include "widgets/RepaintThrottle.h"
#include "window/CPlotDlg.h"
#include "window/PlotSeries.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineSeries>
#include <QTemporaryDir>

using session::CReadoutHistory;

namespace {

constexpr int kEngineSpeed = 0; // the first read-out in panel order

// The number a read-out's text shows: "2500.00 RPM" gives 2500.
double ShownNumber(const QString& text) {
    return text.section(QLatin1Char(' '), 0, 0).toDouble();
}

// brendlowctl's output; fails the test when it does not end with 0.
QByteArray CtlOut(const QStringList& arguments) {
    const CtlResult r = Ctl(arguments);
    if (r.code != 0)
        qWarning("brendlowctl %s: %s", qPrintable(arguments.join(' ')), r.err.constData());
    return r.code == 0 ? r.out : QByteArray("failed");
}

} // namespace

class PlotTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    // Whatever the rate and however long it runs, the history holds the
    // last hour and no more, in 50 ms buckets.
    void theHistoryKeepsTheLastHourInBuckets_data() {
        QTest::addColumn<int64_t>("everyMs");
        QTest::addColumn<int64_t>("forMs");
        QTest::addColumn<int>("buckets");
        QTest::addColumn<int>("perBucket");
        QTest::newRow("1 a second for 2 h") << int64_t(1000) << int64_t(7'200'000) << 3600 << 1;
        QTest::newRow("20 a second for 2 h") << int64_t(50) << int64_t(7'200'000) << 72'000 << 1;
        QTest::newRow("1000 a second for 10 min") << int64_t(1) << int64_t(600'000) << 12'000 << 50;
    }
    void theHistoryKeepsTheLastHourInBuckets() {
        QFETCH(int64_t, everyMs);
        QFETCH(int64_t, forMs);
        QFETCH(int, buckets);
        QFETCH(int, perBucket);
        CReadoutHistory history;
        for (int64_t t = 0; t < forMs; t += everyMs)
            history.Record(t, uint8_t(t / everyMs % 101), false);
        QCOMPARE(int(history.Buckets().size()), buckets);
        QVERIFY(history.Buckets().front().startMs > history.NewestMs() - CReadoutHistory::kSpanMs);
        for (const CReadoutHistory::Bucket& b : history.Buckets())
            QCOMPARE(int(b.count), perBucket);
        QVERIFY(history.MemoryBytes() < 20'000'000);
    }

    // A bucket of several broadcasts keeps each read-out's least and
    // greatest number; a plot column over it draws both, in the order they
    // came, and the cursor reads the span.
    void aBucketKeepsTheExtremesInOrder() {
        for (const auto& [levels, rising] : {std::pair{std::vector<uint8_t>{10, 90, 40}, true},
                                             std::pair{std::vector<uint8_t>{60, 5, 30}, false}}) {
            CReadoutHistory history;
            for (size_t i = 0; i < levels.size(); ++i)
                history.Record(int64_t(1000 + 10 * i), levels[i], false);
            QCOMPARE(history.Buckets().size(), size_t(1));
            const auto speed = [](uint8_t level) {
                return session::ReadoutNumbers(level, false)[kEngineSpeed];
            };
            const double low = std::min({speed(levels[0]), speed(levels[1]), speed(levels[2])});
            const double high = std::max({speed(levels[0]), speed(levels[1]), speed(levels[2])});
            QVERIFY(low < high);
            const QList<QPointF> points = PlotPoints(history, kEngineSpeed, {0, 60'000}, 100, 0);
            QCOMPARE(points.size(), 2);
            QCOMPARE(points[0].y(), rising ? low : high);
            QCOMPARE(points[1].y(), rising ? high : low);
            QCOMPARE(points[1].x(), 1.02);
            QCOMPARE(CursorReading(history, kEngineSpeed, 1030),
                     QStringLiteral("%1..%2 RPM").arg(low, 0, 'f', 2).arg(high, 0, 'f', 2));
        }
    }

    // The window keeps every broadcast from the start; the plot opened later
    // draws each one as the panel showed it, reads it under the cursor, and
    // zooming holds it still.
    void thePlotDrawsTheLevelsTheWindowWasSent() {
        FakeTerminal t(m_dir.filePath("Quarnel.ini"));
        t.dlg->Tick();
        t.serial->Receive(kIdReport);
        const std::vector<uint8_t> levels{0, 25, 50, 75, 100, 3};
        for (uint8_t level : levels) {
            t.historyMs += 1000; // the device's broadcast period
            t.serial->Receive(Bytes(proto::BuildLevelBroadcastLine(level, 0)));
        }
        CPlotDlg* plot = t.dlg->ShowPlot(kEngineSpeed);
        QVERIFY(plot->IsPlotted(kEngineSpeed));
        plot->Redraw();
        const QList<QPointF> points = plot->Series(kEngineSpeed)->points();
        QCOMPARE(points.size(), int(levels.size()));
        for (size_t i = 0; i < levels.size(); ++i) {
            t.dlg->ShowLevel(levels[i], false);
            QCOMPARE(points[int(i)].y(), ShownNumber(t.dlg->Readout(1035)->Text()));
            if (i > 0)
                QVERIFY(points[int(i)].x() > points[int(i) - 1].x());
        }
        const int64_t last = t.dlg->History().NewestMs();
        QVERIFY(plot->CursorText(last).endsWith("Engine Speed: " + t.dlg->Readout(1035)->Text()));

        const int64_t first = t.dlg->History().Buckets().front().lastMs;
        plot->ZoomTo({first - 1, first + 1});
        QVERIFY(plot->IsPaused());
        QCOMPARE(plot->Series(kEngineSpeed)->count(), 1);
        plot->Live();
        QVERIFY(!plot->IsPaused());
        plot->SetPlotted(kEngineSpeed, false);
        QVERIFY(plot->Series(kEngineSpeed) == nullptr);
    }

    void theChartIsSavedAsPngAndFailuresAreTold() {
        CReadoutHistory history;
        history.Record(0, 50, false);
        CPlotDlg plot(history, [] { return int64_t(1000); });
        plot.SetPlotted(kEngineSpeed, true);
        plot.show();
        const QString png = m_dir.filePath("plot.png");
        QCOMPARE(plot.SavePng(png), QString());
        QVERIFY(!QImage(png).isNull());
        QVERIFY(!plot.SaveCsv(m_dir.filePath("absent/plot.csv")).isEmpty());
    }

    void csvFieldsAreQuotedAsSpreadsheetsReadThem() {
        const std::pair<QString, QString> cases[] = {
            {"Engine Speed (RPM)", "Engine Speed (RPM)"},
            {"a,b", "\"a,b\""},
            {"say \"hi\"", "\"say \"\"hi\"\"\""},
            {"two\nlines", "\"two\nlines\""},
        };
        for (const auto& [field, written] : cases)
            QCOMPARE(session::CsvField(field), written);
    }

    // What the plot exports of a sweep is what brendlowctl watch --csv
    // wrote of it, byte for byte; and its numbers are --json's values.
    void theExportIsWhatWatchWrites() {
        EmulatorProcess emulator;
        // Broadcasts well apart, so that each has a bucket of its own.
        QVERIFY(emulator.Start(m_dir.path(), 1, {"--sweep", "--rate", "4"}));
        const QString port = m_dir.filePath("ports/COM1");
        const QByteArray watched = CtlOut({"--port", port, "watch", "--csv", "--count", "8"});
        QList<QByteArray> rows = watched.split('\n');
        QCOMPARE(rows.size(), 10); // the header, 8 rows, nothing after the last newline
        CReadoutHistory history;
        for (int i = 1; i <= 8; ++i) {
            const QList<QByteArray> cells = rows[i].split(',');
            QCOMPARE(cells.size(), 2 + panel::kReadoutCount);
            history.Record(int64_t(std::llround(cells[0].toDouble() * 1000)),
                           uint8_t(cells[1].toInt()), false);
        }
        CPlotDlg plot(history, [&history] { return history.NewestMs(); });
        for (int r = 0; r < panel::kReadoutCount; ++r)
            plot.SetPlotted(r, true);
        plot.ZoomTo({0, history.NewestMs()});
        QCOMPARE(plot.VisibleCsv(), watched);

        emulator.Stop();
        QVERIFY(emulator.Start(m_dir.path(), 1));
        QCOMPARE(CtlOut({"--port", port, "level", "77"}), QByteArray());
        const QByteArray csv = CtlOut({"--port", port, "watch", "--csv", "--count", "1"});
        const QJsonObject json =
            QJsonDocument::fromJson(CtlOut({"--port", port, "watch", "--json", "--count", "1"}))
                .object();
        const QList<QByteArray> header = csv.split('\n')[0].split(',');
        const QList<QByteArray> cells = csv.split('\n')[1].split(',');
        QCOMPARE(cells[1], QByteArray("77"));
        QCOMPARE(json["level"].toInt(), 77);
        const QJsonArray readouts = json["readouts"].toArray();
        for (int i = 0; i < panel::kReadoutCount; ++i) {
            const QJsonObject r = readouts[i].toObject();
            const QString unit = r["unit"].toString();
            QCOMPARE(QString::fromUtf8(header[2 + i]),
                     r["caption"].toString() + (unit.isEmpty() ? "" : " (" + unit + ")"));
            QCOMPARE(cells[2 + i].toDouble(), r["value"].toDouble());
        }
    }
};

QTEST_MAIN(PlotTest)
#include "test_plot.moc"
