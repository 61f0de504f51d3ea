// The remembered port (the settings file beside the executable) and the
// About box with its device-instance change, over an in-memory serial port.
#include "core/CommandLine.h"
#include "core/ReportLines.h"
#include "tests/FakeEnvironment.h"
#include "window/CAboutDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

// Runs `inspect` on the About box once it is open, then leaves it to
// `inspect` to close it.
void WhenAboutBoxOpens(const std::function<void(CAboutDlg&)>& inspect) {
    QTimer::singleShot(0, [inspect] {
        auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        if (about == nullptr) {
            QFAIL("no About box is open");
            return;
        }
        inspect(*about);
        if (about->isVisible())
            about->reject();
    });
}

} // namespace

class SettingsAboutTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FakeTerminal> m_t;

    QString SettingsPath() const { return m_dir.filePath("Quarnel.ini"); }
    CTerminalDlg& Dlg() { return *m_t->dlg; }
    QComboBox* Ports() { return Dlg().Controls().ItemAs<QComboBox>(ids::kPortList); }
    void Start(const QString& path) {
        m_t = std::make_unique<FakeTerminal>(path);
        QCoreApplication::processEvents(); // start-up messages are shown once the loop runs
    }
    void Identify(uint8_t firmwareByte = 9, uint32_t serial = 1) {
        Dlg().Tick();
        m_t->serial->Receive(Bytes(proto::BuildIdReportLine('9', serial, firmwareByte)));
        m_t->serial->ClearWrites();
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        QFile::remove(SettingsPath());
    }
    void cleanup() { m_t.reset(); }

    // Each row: the file's content, the port shown, its index in the list
    // (-1: not in it), whether the file is rewritten at the first tick.
    void theFileChoosesThePort() {
        for (auto [content, shown, index, rewritten] : {std::tuple{"com=7;\r\n", "COM7", 6, false},
                                                        {"COM=45;\r\n", "COM45", -1, false},
                                                        {"COM=12\r\n", "COM1", 0, true}}) {
            QVERIFY(WriteFile(SettingsPath(), content));
            Start(SettingsPath());
            QCOMPARE(Ports()->currentText(), shown);
            QCOMPARE(Ports()->currentIndex(), index);
            QCOMPARE(Dlg().Session().IsSettingsSavePending(), rewritten);
            QVERIFY(m_t->messages.texts.isEmpty());
            Dlg().Tick();
            QCOMPARE(m_t->serial->openedPort, index < 0 ? 1 : index + 1);
            QCOMPARE(ReadFile(SettingsPath()), QByteArray(rewritten ? "COM=1;\r\n" : content));
        }
    }

    void theAnsweringPortReplacesTheWholeFile() {
        // An older, longer content must not survive behind the new line.
        QVERIFY(WriteFile(SettingsPath(), ";x\r\nCOM=4;\r\n"));
        Start(SettingsPath());
        Ports()->setCurrentIndex(8); // COM9
        Identify();
        QVERIFY(Dlg().Session().IsSettingsSavePending());
        Dlg().Tick();
        QCOMPARE(ReadFile(SettingsPath()), QByteArray("COM=9;\r\n"));
        QVERIFY(!Dlg().Session().IsSettingsSavePending());
    }

    void aFileThatCannotBeWrittenIsReportedOnce() {
        const QString path = m_dir.filePath("no/such/folder/Quarnel.ini");
        Start(path);
        QCOMPARE(m_t->messages.texts.size(), 1);
        QVERIFY(m_t->messages.texts[0].contains(path));
        QCOMPARE(Ports()->currentText(), QString("COM1"));
        QVERIFY(Dlg().IsWatchdogRunning());
        // The rewrite after an identification fails too, silently this time.
        Identify();
        Dlg().Tick();
        QCoreApplication::processEvents();
        QCOMPARE(m_t->messages.texts.size(), 1);
        QVERIFY(Dlg().Controls().IsEnabled(ids::kDisconnect));
    }

    // Without a device nothing can be changed. No box opens over the About
    // box but its own; what failed meanwhile is told after.
    void theAboutBoxWithoutADevice() {
        Start(SettingsPath());
        m_t->serial->openError = "Cannot open COM1: no device is assigned";
        QStringList whileOpen;
        WhenAboutBoxOpens([&](CAboutDlg& about) {
            const CDialogControls& c = about.Controls();
            QCOMPARE(c.ItemAs<QLineEdit>(aboutids::kProductId)->text(), QString("Not Found Yet!"));
            for (int id : aboutids::kCombos) {
                QCOMPARE(c.ItemAs<QComboBox>(id)->currentText(), QString());
                QCOMPARE(c.ItemAs<QComboBox>(id)->count(), 16);
            }
            Dlg().Tick();
            Dlg().Tick();
            c.ItemAs<QAbstractButton>(aboutids::kProceed)->click();
            whileOpen = m_t->messages.texts;
            QVERIFY(!c.IsEnabled(aboutids::kConfirm));
            for (int id : aboutids::kCombos)
                QVERIFY(!c.IsEnabled(id));
        });
        Dlg().OnSysCommand(0x0010, 0);
        QCOMPARE(whileOpen.size(), 1);
        QVERIFY(whileOpen[0] != m_t->serial->openError);
        QCOMPARE(m_t->messages.texts, whileOpen + QStringList{m_t->serial->openError});
        QVERIFY(m_t->serial->writes.empty());
    }

    // The device's firmware, serial number and instances.
    void theAboutBoxShowsTheDevice() {
        Start(SettingsPath());
        Identify(255, 4294967295u);
        m_t->serial->Receive(
            Bytes(proto::BuildInstanceBroadcastLine({1, 9, 15, 200, 10, 0, 5, 6, 7})));
        QStringList texts;
        QList<int> indexes;
        WhenAboutBoxOpens([&](CAboutDlg& about) {
            texts << about.Controls().ItemAs<QLineEdit>(aboutids::kFirmwareVersion)->text()
                  << about.Controls().ItemAs<QLineEdit>(aboutids::kSerialNumber)->text();
            for (int id : aboutids::kCombos) {
                texts << about.Controls().ItemAs<QComboBox>(id)->currentText();
                indexes << about.Controls().ItemAs<QComboBox>(id)->currentIndex();
            }
            // OK after Proceed and a new choice sends nothing.
            about.Controls().ItemAs<QAbstractButton>(aboutids::kProceed)->click();
            about.Controls().ItemAs<QComboBox>(aboutids::kCombos[0])->setCurrentIndex(4);
            about.Controls().ItemAs<QAbstractButton>(aboutids::kOk)->click();
        });
        Dlg().OnSysCommand(0x0013, 0); // the low four bits do not matter
        // Engine 1, fuel 15, battery 200 (no item), exhaust 10, transmission 0, ...
        QCOMPARE(texts,
                 (QStringList{"25.6A", "4294967295", "1", "15", "200", "10", "0", "5", "6", "7"}));
        QCOMPARE(indexes, (QList<int>{1, 15, -1, 10, 0, 5, 6, 7}));
        QVERIFY(m_t->serial->writes.empty());
    }

    // Confirm sends the instance line; a port closed meanwhile (the device
    // went away) is reported instead.
    void confirmSendsTheInstanceLine() {
        for (bool closed : {false, true}) {
            init();
            Start(SettingsPath());
            Identify();
            m_t->serial->Receive(
                Bytes(proto::BuildInstanceBroadcastLine({3, 0, 0x21, 2, 3, 4, 5, 6, 7})));
            QList<bool> enabled;
            WhenAboutBoxOpens([&](CAboutDlg& about) {
                const CDialogControls& c = about.Controls();
                c.ItemAs<QAbstractButton>(aboutids::kProceed)->click();
                c.ItemAs<QAbstractButton>(aboutids::kProceed)->click(); // twice is once
                for (size_t i = 0; i < 8; ++i)
                    enabled << (c.IsEnabled(aboutids::kCombos[i]) &&
                                c.IsEnabled(aboutids::kBoxes[i]));
                enabled << c.IsEnabled(aboutids::kConfirm);
                c.ItemAs<QComboBox>(aboutids::kCombos[0])->setCurrentIndex(12);
                m_t->serial->open = !closed;
                c.ItemAs<QAbstractButton>(aboutids::kConfirm)->click();
            });
            Dlg().OnSysCommand(0x0010, 0);
            QCOMPARE(enabled, QList<bool>(9, true));
            if (closed) {
                QCOMPARE(m_t->messages.icons, QList<MessageIcon>{MessageIcon::Stop});
                QVERIFY(m_t->serial->writes.empty());
                continue;
            }
            QCOMPARE(
                m_t->serial->Written(),
                QByteArray(proto::BuildDeviceInstanceLine({12, 1, 2, 3, 4, 5, 6, 7}).View().data(),
                           proto::kDeviceInstanceLineLength));
            QCOMPARE(m_t->serial->writes.size(), size_t(25));
            QVERIFY(m_t->messages.texts.isEmpty());
        }
    }
};

QTEST_MAIN(SettingsAboutTest)
#include "test_settings_about.moc"
