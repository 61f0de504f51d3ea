// The settings file: its path beside the executable, reading, writing. Round
// trips and arbitrary bytes are left to the fuzz_settings target.
#include "core/SettingsFile.h"

#include <QtTest>

#include <utility>

using Bytes = QByteArray;

class TestSettingsFile : public QObject {
    Q_OBJECT

private slots:
    void settingsFilePath() {
        for (auto [executable, expected] : {
                 std::pair{"/opt/x/BrendlowTerminal", "/opt/x/Quarnel.ini"},
                 {"/opt/x/Term.exe", "/opt/x/Quarnel.ini"},               // its letters
                 {"/opt/x/Terminal2.exe", "/opt/x/Terminal2Quarnel.ini"}, // a digit stops
                 {"/opt/x/Terminal2", "/opt/x/Terminal2Quarnel.ini"},
                 {"/opt/x/TERM", "/opt/x/TERMQuarnel.ini"}, // case counts
                 {"Brendlow", "Quarnel.ini"},
             })
            QCOMPARE(Bytes::fromStdString(settings::SettingsFilePath(executable)), expected);
    }

    // Each row: the file's content, the port read and whether it is malformed.
    // The plain cases are in test_settings_about, through the window.
    void parseSettings() {
        for (auto [content, expected] : {
                 std::pair{"", "COM1"},
                 {";c\r\n/COM=8;\nCOM=4;\n;COM=6;", "COM4"},       // comments
                 {"COM=4;\r\nCOM=9;\r\n", "COM9"},                 // the last line decides
                 {"\r\n\nX=1;\r\n COM=3;\r\nCOM=2;x\r\n", "COM2"}, // other lines
                 {"COM=;\r\n", "COM1 malformed"},
                 {"COM=5;\r\nCOM=12\r\n", "COM1 malformed"},
                 {"COM=;\r\nCOM=5;\r\n", "COM5 malformed"},
                 {"COMM==O3;\r\n", "COM3"},
                 {"com=usb0;\r\n", "COMUSB0"},
             }) {
            const settings::ParsedSettings parsed = settings::ParseSettings(content);
            QCOMPARE(Bytes(content) + " -> " + parsed.port.c_str() +
                         (parsed.malformed ? " malformed" : ""),
                     Bytes(content) + " -> " + expected);
        }
    }

    void settingsText() {
        for (auto [port, expected] : {std::pair{"COM12", "COM=12;\r\n"},
                                      {"com3", "COM=com3;\r\n"}, // lower case kept
                                      {"COMMOC7M", "COM=7M;\r\n"},
                                      {"7", "COM=7;\r\n"}})
            QCOMPARE(Bytes::fromStdString(settings::SettingsText(port)), expected);
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settings_file.moc"
