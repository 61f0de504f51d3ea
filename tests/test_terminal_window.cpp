// The main window over an in-memory serial port: its controls, the
// disconnected panel, the watchdog, identification, report handling and the
// remote-control commands.
#include "core/CommandLine.h"
#include "core/ReportLines.h"
#include "session/PanelSnapshot.h"
#include "tests/FakeEnvironment.h"
#include "widgets/CachedGroupBox.h"
#include "widgets/CiAnalogDisplayX.h"
#include "widgets/CiSliderX.h"
#include "widgets/RepaintThrottle.h"

#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

class TerminalWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FakeTerminal> m_t;

    CTerminalDlg& Dlg() { return *m_t->dlg; }
    CFakeSerialBackend& Serial() { return *m_t->serial; }
    QString Text(int id) { return Dlg().Controls().ItemAs<QLineEdit>(id)->text(); }
    QString ReadoutText(int id) { return Dlg().Readout(id)->Text(); }
    bool Enabled(int id) { return Dlg().Controls().IsEnabled(id); }
    bool Checked(int id) { return Dlg().Controls().ItemAs<QCheckBox>(id)->isChecked(); }
    void Click(int id) { Dlg().Controls().ItemAs<QAbstractButton>(id)->click(); }

    // A level broadcast arrives and the frame it waits for passes.
    void Broadcast(uint8_t level, uint8_t modes) {
        Serial().Receive(Bytes(proto::BuildLevelBroadcastLine(level, modes)));
        CFrameClock::Shared().EndFrame();
    }

    // First tick opens the port and queries; the device answers.
    void Identify(const QByteArray& report = kIdReport) {
        Dlg().Tick();
        Serial().Receive(report);
        Serial().ClearWrites();
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_t = std::make_unique<FakeTerminal>(m_dir.filePath("Quarnel.ini"));
    }
    void cleanup() { m_t.reset(); }

    // What the operator can use before a device answers, the rest waiting,
    // and the disconnected panel.
    void theWindowStartsDisconnectedAndReadyToConnect() {
        const CDialogControls& c = Dlg().Controls();
        QVERIFY(c.ItemAs<QPushButton>(ids::kExit)->isDefault());
        for (int id : {ids::kConnect, ids::kExit, ids::kEngineInstance, ids::kEngineSa})
            QVERIFY(Enabled(id));
        for (int id : {ids::kDisconnect, ids::kMenu, ids::kDown, ids::kUp, ids::kDynamic,
                       ids::kQuiet, ids::kWarnings, ids::kSid, ids::kFuelLevelInstance,
                       ids::kBlackWaterBox, ids::kTransmissionSa, ids::kSlider})
            QVERIFY(!Enabled(id));
        auto* ports = c.ItemAs<QComboBox>(ids::kPortList);
        QCOMPARE(ports->insertPolicy(), QComboBox::NoInsert); // a typed name is not kept
        QCOMPARE(ports->currentText(), QString("COM1"));
        QCOMPARE(Text(ids::kProductId), QString("Not Found Yet!"));
        QCOMPARE(Text(ids::kFirmwareVersion), QString("Not Found Yet!"));
        QCOMPARE(Text(ids::kSerialNumber), QString("0"));
        QCOMPARE(ReadoutText(1035), QString("0.00 RPM"));
        QCOMPARE(ReadoutText(1073), QString("0.0000000"));
        for (int id :
             {ids::kDiscreteStatus1, ids::kDiscreteStatus2, ids::kTransWarning,
              ids::kRudderDirOrder, ids::kCogReference, ids::kEngineSa, ids::kTransmissionSa})
            QCOMPARE(Text(id), QString("Not Applicable"));
        for (int id : {ids::kEngineInstance, ids::kSid, ids::kBlackWaterInstance})
            QCOMPARE(Text(id), QString("N/A"));
        QCOMPARE(Dlg().Slider()->GetPosition(), 0.0);
        QVERIFY(!c.IsShown(ids::kMaxDepthText) && !c.IsShown(ids::kRudderAngleText));
        QVERIFY(c.IsShown(ids::kMaxDepthRange));
        QVERIFY(Dlg().IsWatchdogRunning());
        QCOMPARE(Serial().opens, 0); // the first attempt waits for the first tick
    }

    void anIdentificationReportConnects() {
        Identify(Bytes(proto::BuildIdReportLine('>', 16777216, 122)));
        QCOMPARE(Text(ids::kFirmwareVersion), QString("12.3A"));
        QCOMPARE(Text(ids::kSerialNumber), QString("16777216"));
        QCOMPARE(Text(ids::kProductId), QString::fromStdString(proto::ProductName('>')));
        QVERIFY(Enabled(ids::kDisconnect));
        QVERIFY(!Enabled(ids::kConnect));
        for (int id : {ids::kSlider, ids::kMenu, ids::kDown, ids::kUp, ids::kDynamic, ids::kQuiet,
                       ids::kWarnings, ids::kSid, ids::kSidBox, ids::kBlackWaterInstance,
                       ids::kTransmissionSa, ids::kTransmissionSaBox})
            QVERIFY(Enabled(id));
        // An unknown product is never shown.
        init();
        Identify(QByteArray("ACK ID141000000000E3\r\n"));
        QCOMPARE(Text(ids::kProductId), QString("Not Found Yet!"));
        QVERIFY(Enabled(ids::kConnect));
    }

    // The session's failures become message boxes, an error with the stop
    // icon, a notice with the exclamation mark.
    // A typed name that is no COMn opens port 1 and stays as typed.
    void failuresBecomeMessageBoxes() {
        auto* ports = Dlg().Controls().ItemAs<QComboBox>(ids::kPortList);
        ports->setEditText("com5");
        Serial().openError = "Cannot open COM1: No such file or directory";
        Click(ids::kConnect);
        Serial().openError.clear();
        Click(ids::kConnect);
        QCOMPARE(Serial().openedPort, 1);
        QCOMPARE(ports->currentText(), QString("com5"));
        Serial().stuckOpen = true;
        Dlg().Tick();
        QCOMPARE(m_t->messages.texts, (QStringList{"Cannot open COM1: No such file or directory",
                                                   "Cannot Open the selected Serial Port!"}));
        QCOMPARE(m_t->messages.icons,
                 (QList<MessageIcon>{MessageIcon::Stop, MessageIcon::Exclamation}));
    }

    void levelBroadcastsMoveTheWholePanel() {
        Identify();
        Broadcast(50, 0x07);
        QCOMPARE(Dlg().Slider()->GetPosition(), 50.0);
        QVERIFY(!Checked(ids::kQuiet));
        QVERIFY(Checked(ids::kDynamic));
        QVERIFY(Checked(ids::kWarnings));
        QCOMPARE(ReadoutText(1035), QString("5000.00 RPM"));
        QCOMPARE(ReadoutText(1074), QString("1220 m"));
        QCOMPARE(Text(ids::kDiscreteStatus2), QString("0B1111111111111111"));

        Broadcast(1, 0x00);
        QVERIFY(Checked(ids::kQuiet));
        QVERIFY(!Checked(ids::kDynamic));
        QVERIFY(!Dlg().Controls().IsShown(ids::kMaxDepthRange));
        QVERIFY(Dlg().Controls().IsShown(ids::kMaxDepthText));
        QCOMPARE(Text(ids::kMaxDepthText), QString("Error"));
        QCOMPARE(Text(ids::kRudderAngleText), QString("0x7FFF"));
        QCOMPARE(ReadoutText(1074), QString("1220 m")); // hidden, keeps its value

        // A disconnect brings the read-outs back, showing 0.
        Click(ids::kDisconnect);
        QVERIFY(Dlg().Controls().IsShown(ids::kMaxDepthRange));
        QVERIFY(!Dlg().Controls().IsShown(ids::kMaxDepthText));
        QCOMPARE(ReadoutText(1074), QString("0 m"));

        // Levels above 100 show as 100.
        Identify();
        Broadcast(200, 0x01);
        QCOMPARE(ReadoutText(1035), QString("16383.00 RPM"));
        QCOMPARE(Dlg().Slider()->GetPosition(), 100.0);
    }

    void statusBroadcastsFillTheirTexts() {
        Identify();
        Serial().Receive(Bytes(proto::BuildAddressClaimLine(0x0A, 254, 255)));
        QCOMPARE(Text(ids::kEngineSa), QString("SA=254; NOT claimed; CANNOT claim."));
        QCOMPARE(Text(ids::kTransmissionSa), QString("SA=255; NOT claimed; CANNOT claim."));
        Serial().Receive(
            Bytes(proto::BuildInstanceBroadcastLine({12, 0, 0x23, 3, 4, 5, 0x23, 7, 200})));
        QCOMPARE(Text(ids::kEngineInstance), QString("12"));
        QCOMPARE(Text(ids::kWasteWaterInstance), QString("35"));
        QCOMPARE(Text(ids::kBlackWaterInstance), QString("200"));
        Click(ids::kDisconnect);
        QCOMPARE(Text(ids::kEngineSa), QString("Not Applicable"));
        QCOMPARE(Text(ids::kBlackWaterInstance), QString("N/A"));
    }

    // A burst of broadcasts in one read: the panel and the slider show the
    // first at once and the last at the frame's end.
    void aBurstIsShownOnceAFrame() {
        Identify();
        QByteArray batch;
        for (int i = 0; i < 300; ++i) // 4200 bytes in one event
            batch += Bytes(proto::BuildLevelBroadcastLine(static_cast<uint8_t>(i % 101), 0x01));
        std::vector<int> shown;
        Dlg().SetLevelShownHook([&](uint8_t level) { shown.push_back(level); });
        Serial().Receive(batch);
        // The first level at once. (A run slowed down enough, the sanitizers'
        // say, sees a frame or two end while it reads the burst, each showing
        // the level it has reached: the frames are real time.)
        QVERIFY(!shown.empty() && shown.front() == 0);
        QCOMPARE(Dlg().Slider()->GetPosition(), double(shown.back()));
        const size_t inBurst = shown.size();
        CFrameClock::Shared().EndFrame();
        QVERIFY(shown.size() <= inBurst + 1); // the last, unless its own frame showed it
        QVERIFY2(shown.size() < 10, qPrintable(QString::number(shown.size())));
        QCOMPARE(Dlg().Slider()->GetPosition(), double(299 % 101));
        QCOMPARE(shown.back(), 299 % 101);
        QCOMPARE(ReadoutText(1035), panel::SnapshotAt(299 % 101, false).readouts[0].text);
        // A reset in between leaves nothing waiting to be shown.
        Serial().Receive(batch.left(28));
        const size_t before = shown.size();
        Click(ids::kDisconnect);
        CFrameClock::Shared().EndFrame();
        QCOMPARE(shown.size(), before);
        QCOMPARE(ReadoutText(1035), QString("0.00 RPM"));
    }

    void theSliderSendsItsLevelOnRelease() {
        Identify();
        CiSliderX* slider = Dlg().Slider();
        emit slider->MouseDown(1, 0, 10, 10);
        QVERIFY(Dlg().Session().IsSliderBusy());
        slider->SetPosition(37.9);
        // Broadcasts move the check boxes but not the slider while busy.
        Broadcast(90, 0x03);
        QCOMPARE(slider->GetPosition(), 37.0);
        QVERIFY(Checked(ids::kDynamic));
        QCOMPARE(ReadoutText(1035), QString("0.00 RPM"));
        emit slider->MouseUp(1, 0, 10, 10);
        QCOMPARE(Serial().Written(), QByteArray(proto::BuildLevelCommand(37).View().data(), 10));
        Serial().Receive(QByteArray("ACK %\r\n"));
        QVERIFY(!Dlg().Session().IsSliderBusy());
        Broadcast(37, 0x01);
        QCOMPARE(ReadoutText(1035), QString("3700.00 RPM"));

        // Another button alone does not make it busy; its release still sends.
        Serial().ClearWrites();
        emit slider->MouseDown(2, 0, 10, 10);
        QVERIFY(!Dlg().Session().IsSliderBusy());
        slider->SetPosition(100);
        emit slider->MouseUp(2, 0, 10, 10);
        QCOMPARE(Serial().Written(), QByteArray("AT %46CB\r\n"));
        // Keys: press makes busy, release sends.
        Serial().Receive(QByteArray("ACK %\r\n"));
        Serial().ClearWrites();
        QTest::keyClick(slider->Slider(), Qt::Key_Home);
        QCOMPARE(Serial().Written(), QByteArray("AT %006C\r\n"));
        Serial().Receive(QByteArray("ACK %\r\n"));

        // The device's level brings the slider back even where the panel
        // shows that level already.
        Broadcast(37, 0x01);
        QCOMPARE(slider->GetPosition(), 37.0);
        // A slider taken hold of before the frame ends stays where it is.
        Broadcast(38, 0x01);
        Serial().Receive(Bytes(proto::BuildLevelBroadcastLine(39, 0x01))); // waits for the frame
        emit slider->MouseDown(1, 0, 10, 10);
        CFrameClock::Shared().EndFrame();
        QCOMPARE(slider->GetPosition(), 38.0);
    }

    // Ctrl+C copies the panel as it stands, whichever control has the focus; assistive technology
    // reads each control's caption and what it shows.
    void thePanelCanBeCopiedAndRead() {
        Identify();
        Broadcast(1, 0x05); // warnings on
        Dlg().show();
        QVERIFY(QTest::qWaitForWindowActive(&Dlg()));
        QGuiApplication::clipboard()->clear();
        // The key goes where a person's goes: to the port box, which has the
        // focus from the start and would copy its own text.
        QWidget* focused = QApplication::focusWidget();
        QCOMPARE(focused, Dlg().Controls().Item(ids::kPortList));
        QTest::keyClick(focused, Qt::Key_C, Qt::ControlModifier);
        const QStringList lines =
            QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1 + 44 + 5);
        QCOMPARE(lines[0], QString("Caption\tShown\tValue\tUnit\tPGN\tRaw"));
        QMap<QString, QStringList> rows;
        for (const QString& line : lines.mid(1))
            rows[line.section('\t', 0, 0)] = line.split('\t');
        QCOMPARE(rows["Engine Speed"].mid(1, 4),
                 (QStringList{ReadoutText(1035), "100.00", "RPM", "127488"}));
        QCOMPARE(rows["Engine Speed"][5].toDouble() * 0.25, 100.0);
        QCOMPARE(rows["Max. Depth Range"][1], QString("Error"));
        QCOMPARE(rows["Rudder Angle Order"][1], QString("0x7FFF"));
        QCOMPARE(rows["Rudder Angle Order"][5], QString("32767"));
        QCOMPARE(rows["Trans. Warning"], (QStringList{"Trans. Warning", Text(ids::kTransWarning)}));

        const std::pair<QWidget*, QStringList> readable[] = {
            {Dlg().Readout(1035), {"Engine Speed", ReadoutText(1035)}},
            {Dlg().Readout(1081), {"Course Over Gound", ReadoutText(1081)}},
            {Dlg().Controls().Item(ids::kProductId), {"Product ID", Text(ids::kProductId)}},
            {Dlg().Controls().Item(ids::kDiscreteStatus1),
             {"Engine Discrete Status 1", Text(ids::kDiscreteStatus1)}},
        };
        for (const auto& [widget, expected] : readable) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(a != nullptr);
            QCOMPARE((QStringList{a->text(QAccessible::Name), a->text(QAccessible::Value)}),
                     expected);
        }
    }

    // Enter in the port list exits, Escape ends the window; neither sends anything.
    void enterInThePortListAndEscapeEnd() {
        for (auto [key, result] :
             {std::pair{Qt::Key_Return, QDialog::Accepted}, {Qt::Key_Escape, QDialog::Rejected}}) {
            init();
            Identify();
            Dlg().show();
            QLineEdit* edit = Dlg().Controls().ItemAs<QComboBox>(ids::kPortList)->lineEdit();
            edit->setFocus();
            QTest::keyClick(edit, key);
            QCOMPARE(Dlg().result(), int(result));
            QVERIFY(!Dlg().isVisible() && Serial().writes.empty());
            if (key == Qt::Key_Return) // as Exit: the port is closed
                QVERIFY(!Serial().open && !Dlg().IsWatchdogRunning());
        }
    }

    void enterOnAFocusedButtonPressesThatButton() {
        Dlg().show();
        auto* connect = Dlg().Controls().ItemAs<QPushButton>(ids::kConnect);
        connect->setFocus();
        QTest::keyClick(connect, Qt::Key_Return);
        QVERIFY(Dlg().isVisible());
        QCOMPARE(Serial().opens, 1); // Connect ran, Exit did not
    }

    void aDoubleClickHoldsTheSliderLikeAPress() {
        Identify();
        QSlider* slider = Dlg().Slider()->Slider();
        // A double click's second press arrives as a double-click event alone.
        const QPointF at(slider->width() / 2.0, slider->height() / 2.0);
        QMouseEvent second(QEvent::MouseButtonDblClick, at, slider->mapToGlobal(at), Qt::LeftButton,
                           Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(slider, &second);
        QVERIFY(Dlg().Session().IsSliderBusy());
        Broadcast(3, 0x01);
        QVERIFY(Dlg().Slider()->GetPosition() > 20.0); // the pointer stays where it was put
    }

    // A group box repainted again and again draws a picture of itself; the
    // picture must look as the box drawn by Qt, and follow the box's state.
    void aGroupBoxDrawnFromItsPictureLooksTheSame() {
        QWidget window;
        window.setFont(DialogFont());
        auto* plain = new QGroupBox(QStringLiteral("Transmission SA"), &window);
        auto* cached = new CCachedGroupBox(QStringLiteral("Transmission SA"), &window);
        plain->setGeometry(0, 0, 160, 50);
        cached->setGeometry(0, 60, 160, 50);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto looksTheSame = [&] {
            for (int i = 0; i < 3; ++i) { // painted twice, then the picture is made
                cached->repaint();
                QCoreApplication::processEvents();
            }
            return cached->IsCached() && cached->grab().toImage() == plain->grab().toImage();
        };
        QVERIFY(looksTheSame());
        const std::function<void(QGroupBox*)> changes[] = {
            [](QGroupBox* box) { box->setEnabled(false); }, // a greyed title
            [](QGroupBox* box) { box->setTitle(QStringLiteral("Engine SA")); },
            [](QGroupBox* box) { box->resize(200, 70); },
        };
        for (const auto& change : changes) {
            change(plain);
            change(cached);
            QVERIFY(looksTheSame());
        }
    }
};

QTEST_MAIN(TerminalWindowTest)
#include "test_terminal_window.moc"
