#pragma once
// What one run of brendlowctl was asked to do, and the exit codes it ends
// with: scripts branch on them, so each stays what the help promises.
#include <QString>
#include <QStringList>

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitCannotOpen = 2;
inline constexpr int kExitNoAnswer = 3;
inline constexpr int kExitNoAcknowledgement = 4;
inline constexpr int kExitUnknownProduct = 5;
inline constexpr int kExitHungUp = 6;
// bus: a group was wrong, late or missing.
inline constexpr int kExitBusFaults = 7;
// play: an expect found the panel showing something else.
inline constexpr int kExitExpectFailed = 7;
inline constexpr int kExitUsage = 64;
// As sysexits.h has it beside 64: stdout could not take the data.
inline constexpr int kExitOutput = 74;
// play: Ctrl+C ended the run before its end, as a shell counts SIGINT.
inline constexpr int kExitInterrupted = 130;

// The longest wait any option asks for: Qt's timers count int milliseconds,
// and a rig that needs more than eleven days runs brendlowctl again.
inline constexpr double kMaxSeconds = 1000000;

// Seconds the options allow, as Qt's timers take them.
inline int Milliseconds(double seconds) {
    return static_cast<int>(seconds * 1000);
}

struct Request {
    QString command; // identify, watch, ..., bus, play, record
    QStringList arguments;
    QString portName;   // "COM3", or empty when portPath is set
    QString portPath;   // a device path, opened whatever the port name
    QString portShown;  // how messages name the port
    double timeout = 5; // seconds for an answer or an acknowledgement
    bool json = false;
    bool csv = false;    // watch: a CSV header and one row per broadcast
    long count = -1;     // watch: records to print; -1 for no limit
    double seconds = -1; // watch, traffic, bus: how long; -1 for no limit (bus: 10)
    int step = 1;        // sweep
    double every = 1;    // sweep: seconds between steps
    QStringList assign;  // ports: COMn=PATH
    QStringList remove;  // ports: COMn
    QString can;         // bus: PLUGIN:INTERFACE
    QString candump;     // bus: the frames seen, as a candump log; or empty
    bool loop = false;   // play: again from the top at the end
    bool check = false;  // play: print the plan, send nothing
};

} // namespace cli
