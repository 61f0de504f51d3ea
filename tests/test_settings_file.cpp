// The settings file: its path beside the executable, reading, writing.
#include "SettingsFile.h"

#include <QtTest>

using Bytes = QByteArray;

class TestSettingsFile : public QObject {
    Q_OBJECT

private slots:
    void settingsFilePath_data() {
        QTest::addColumn<Bytes>("executable");
        QTest::addColumn<Bytes>("expected");
        QTest::newRow("whole name")
            << Bytes("/opt/x/BrendlowTerminal") << Bytes("/opt/x/Quarnel.ini");
        QTest::newRow("its letters") << Bytes("/opt/x/Term.exe") << Bytes("/opt/x/Quarnel.ini");
        QTest::newRow("digit stops")
            << Bytes("/opt/x/Terminal2.exe") << Bytes("/opt/x/Terminal2Quarnel.ini");
        QTest::newRow("digit last")
            << Bytes("/opt/x/Terminal2") << Bytes("/opt/x/Terminal2Quarnel.ini");
        QTest::newRow("case counts") << Bytes("/opt/x/TERM") << Bytes("/opt/x/TERMQuarnel.ini");
        QTest::newRow("all stripped") << Bytes("Brendlow") << Bytes("Quarnel.ini");
    }
    void settingsFilePath() {
        QFETCH(Bytes, executable);
        QFETCH(Bytes, expected);
        QCOMPARE(Bytes::fromStdString(settings::SettingsFilePath(executable.toStdString())),
                 expected);
    }

    void parseSettings_data() {
        QTest::addColumn<Bytes>("content");
        QTest::addColumn<Bytes>("port");
        QTest::addColumn<bool>("malformed");
        QTest::newRow("empty") << Bytes() << Bytes("COM1") << false;
        QTest::newRow("lower case") << Bytes("com=7;\r\n") << Bytes("COM7") << false;
        QTest::newRow("comments") << Bytes(";c\r\n/COM=8;\nCOM=4;\n;COM=6;") << Bytes("COM4")
                                  << false;
        QTest::newRow("last line decides")
            << Bytes("COM=4;\r\nCOM=9;\r\n") << Bytes("COM9") << false;
        QTest::newRow("other lines")
            << Bytes("\r\n\nX=1;\r\n COM=3;\r\nCOM=2;x\r\n") << Bytes("COM2") << false;
        QTest::newRow("no semicolon") << Bytes("COM=12") << Bytes("COM1") << true;
        QTest::newRow("semicolon first") << Bytes("COM=;\r\n") << Bytes("COM1") << true;
        QTest::newRow("nothing after COM") << Bytes("COM\r\n") << Bytes("COM1") << true;
        QTest::newRow("good then malformed")
            << Bytes("COM=5;\r\nCOM=12\r\n") << Bytes("COM1") << true;
        QTest::newRow("no line end") << Bytes("COM=45;") << Bytes("COM45") << false;
        QTest::newRow("zero taken unchanged") << Bytes("COM=0;") << Bytes("COM0") << false;
        QTest::newRow("run of C O M =") << Bytes("COMM==O3;\r\n") << Bytes("COM3") << false;
        QTest::newRow("text upper-cased") << Bytes("com=usb0;\r\n") << Bytes("COMUSB0") << false;
    }
    void parseSettings() {
        QFETCH(Bytes, content);
        QFETCH(Bytes, port);
        QFETCH(bool, malformed);
        const settings::ParsedSettings parsed = settings::ParseSettings(content.toStdString());
        QCOMPARE(Bytes::fromStdString(parsed.port), port);
        QCOMPARE(parsed.malformed, malformed);
    }

    void settingsText_data() {
        QTest::addColumn<Bytes>("port");
        QTest::addColumn<Bytes>("expected");
        QTest::newRow("COM12") << Bytes("COM12") << Bytes("COM=12;\r\n");
        QTest::newRow("lower case kept") << Bytes("com3") << Bytes("COM=com3;\r\n");
        QTest::newRow("run of C O M") << Bytes("COMMOC7M") << Bytes("COM=7M;\r\n");
        QTest::newRow("no prefix") << Bytes("7") << Bytes("COM=7;\r\n");
    }
    void settingsText() {
        QFETCH(Bytes, port);
        QFETCH(Bytes, expected);
        QCOMPARE(Bytes::fromStdString(settings::SettingsText(port.toStdString())), expected);
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settings_file.moc"
