// The terminal and the device emulator on the two ends of a pseudo-terminal:
// identification, the live panel and remote control. Losing the device is in
// test_link_recovery, faults in test_fault_injection.
#include "core/CommandLine.h"
#include "tests/EmulatorProcess.h"
#include "widgets/CiAnalogDisplayX.h"
#include "widgets/CiSliderX.h"
#include "window/CScenarioDlg.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

class EndToEndTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString Trace() const { return m_dir.filePath("trace.txt"); }

    // The command lines the emulator received, in order.
    QStringList ReceivedLines() const {
        QStringList lines;
        for (const QString& l : ReadLines(Trace()))
            if (l.startsWith("LINE "))
                lines << l.mid(5);
        return lines;
    }

private slots:
    void identifiesAndMirrorsTheDevice() {
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 1,
                               {"--product-code", ";", "--serial", "305419896", "--firmware", "122",
                                "--trace", Trace()}));
        LiveTerminal t(m_dir.path(), m_dir.filePath("Quarnel.ini"));
        CTerminalDlg& d = *t.dlg;
        QTRY_COMPARE_WITH_TIMEOUT(EditText(d, ids::kProductId),
                                  QString::fromStdString(proto::ProductName(';')), 3000);
        QCOMPARE(EditText(d, ids::kFirmwareVersion), QString("12.3A"));
        QCOMPARE(EditText(d, ids::kSerialNumber), QString("305419896"));
        QVERIFY(d.Controls().IsEnabled(ids::kDisconnect));
        // The emulator's level broadcasts (level 50, modes 0x01) reach the panel.
        QTRY_COMPARE_WITH_TIMEOUT(d.Readout(1035)->Text(), QString("5000.00 RPM"), 2000);
        QCOMPARE(d.Slider()->GetPosition(), 50.0);
        QTRY_COMPARE_WITH_TIMEOUT(EditText(d, ids::kEngineSa).left(3), QString("SA="), 4000);
        QTRY_VERIFY_WITH_TIMEOUT(EditText(d, ids::kBlackWaterInstance) != "N/A", 4000);

        // Every button reaches the device as its command line.
        const struct {
            int id;
            const char* line;
        } keys[] = {{ids::kDown, "AT KI1065"},  {ids::kUp, "AT KI2055"},
                    {ids::kMenu, "AT KI0165"},  {ids::kDynamic, "AT KI2505"},
                    {ids::kQuiet, "AT KI3405"}, {ids::kWarnings, "AT KI0165"}};
        for (const auto& k : keys) {
            d.Controls().ItemAs<QAbstractButton>(k.id)->click();
            QTRY_COMPARE_WITH_TIMEOUT(ReceivedLines().last(), QString(k.line), 2000);
        }
        // Menu and Warnings share a key code: the device turned Warnings on and
        // off again, Dynamic and Quiet once. Once the key acknowledgements are
        // in, the boxes follow the device.
        auto checked = [&](int id) { return d.Controls().ItemAs<QCheckBox>(id)->isChecked(); };
        QTRY_VERIFY_WITH_TIMEOUT(!d.Session().IsModePending(session::Mode::Warnings) &&
                                     !checked(ids::kWarnings) && checked(ids::kDynamic) &&
                                     checked(ids::kQuiet),
                                 3000);

        // The slider: a release sends the level, and the device's broadcast follows.
        emit d.Slider()->MouseDown(1, 0, 5, 5);
        d.Slider()->SetPosition(81);
        emit d.Slider()->MouseUp(1, 0, 5, 5);
        QTRY_COMPARE_WITH_TIMEOUT(ReceivedLines().last(), QString("AT %150C"), 2000); // level 81
        QTRY_COMPARE_WITH_TIMEOUT(d.Readout(1035)->Text(), QString("8419.00 RPM"), 3000);
        QVERIFY(!d.Session().IsSliderBusy());

        // The bytes of each line arrived one by one, 2 ms apart. The receiving
        // side may see a few bytes at once when it is scheduled late, so the
        // typical gap is what is checked.
        QList<qint64> stamps;
        QList<qint64> gaps;
        for (const QString& l : ReadLines(Trace())) {
            if (l.startsWith("LINE ")) {
                for (int i = 1; i < stamps.size(); ++i)
                    gaps << stamps[i] - stamps[i - 1];
                stamps.clear();
            } else {
                stamps << l.section(' ', 0, 0).toLongLong();
            }
        }
        QVERIFY(gaps.size() > 50);
        std::sort(gaps.begin(), gaps.end());
        QVERIFY2(gaps[gaps.size() / 2] >= 1'900'000,
                 qPrintable(QString::number(gaps[gaps.size() / 2])));
        QVERIFY(t.messages.texts.isEmpty());
    }

    // The scenario player, driven through its buttons as a person drives it:
    // it plays, lists the expect that fails, marks the running step, and
    // pauses when the person takes the slider.
    void aScenarioPlaysFromTheWindow() {
        EmulatorProcess emulator;
        QVERIFY(emulator.Start(m_dir.path(), 1, {"--rate", "20", "--trace", Trace()}));
        LiveTerminal t(m_dir.path(), m_dir.filePath("Quarnel.ini"));
        CTerminalDlg& d = *t.dlg;
        QTRY_VERIFY_WITH_TIMEOUT(d.Session().IsDeviceIdentified(), 3000);
        const QString file = m_dir.filePath("run.scn");
        QVERIFY(WriteFile(file, "level 20\nexpect \"Engine Speed\" \"1.00 RPM\"\nwait 0.2\n"
                                "level 25\nwait 30\nlevel 30\n"));
        CScenarioDlg& player = d.Scenario();
        player.show();
        QVERIFY(player.Load(file));
        const QAbstractItemModel& steps = *player.findChild<QListView*>("steps")->model();
        // The running step is the one marked.
        const auto running = [&steps] {
            for (int row = 0; row < steps.rowCount(); ++row)
                if (steps.index(row, 0).data(Qt::BackgroundRole).isValid())
                    return row;
            return -1;
        };
        auto* failures = player.findChild<QListWidget*>("failures");
        auto* status = player.findChild<QLabel*>("status");
        auto button = [&](const char* name) { return player.findChild<QPushButton*>(name); };
        QCOMPARE(steps.rowCount(), 6);
        QCOMPARE(steps.index(4, 0).data().toString(), QString("0.200  line 5: wait 30"));
        QVERIFY(!button("pause")->isEnabled());

        button("play")->click();
        QTRY_COMPARE_WITH_TIMEOUT(running(), 4, 3000); // wait 30
        QCOMPARE(d.Readout(1035)->Text(), QString("2500.00 RPM"));
        QCOMPARE(failures->count(), 1);
        QVERIFY2(failures->item(0)->text().contains("line 2") &&
                     failures->item(0)->text().contains("\"1.00 RPM\"") &&
                     failures->item(0)->text().contains("\"2000.00 RPM\""),
                 qPrintable(failures->item(0)->text()));
        QVERIFY(button("pause")->isEnabled() && !button("play")->isEnabled());

        emit d.Slider()->MouseDown(1, 0, 5, 5);
        QVERIFY2(status->text().contains("slider"), qPrintable(status->text()));
        QVERIFY(player.Player().IsPaused() && button("play")->isEnabled());
        d.Slider()->SetPosition(60);
        emit d.Slider()->MouseUp(1, 0, 5, 5);
        QTRY_COMPARE_WITH_TIMEOUT(d.Readout(1035)->Text(), QString("6000.00 RPM"), 3000);

        button("stop")->click();
        QVERIFY(!player.Player().IsPlaying() && !button("stop")->isEnabled());
        // Level 30, the step after the pause, never went out.
        const auto levelLine = [](uint8_t level) {
            return QString::fromLatin1(proto::BuildLevelCommand(level).View()).trimmed();
        };
        QVERIFY(ReceivedLines().contains(levelLine(25)));
        QVERIFY(!ReceivedLines().contains(levelLine(30)));
    }
};

QTEST_MAIN(EndToEndTest)
#include "test_end_to_end.moc"
