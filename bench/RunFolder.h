#pragma once
// What the runs share: a scratch folder with its own copy of the terminal,
// starting the emulator and the terminal in it, and reading their logs.
#include "bench/Process.h"
#include "bench/SystemRuns.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

void SleepSeconds(double seconds);

// The non-empty lines of a file another process appends to.
std::vector<std::string> ReadLines(const std::string& path);
// The last few lines of a program's output, for an error message.
std::string Excerpt(const std::string& path);

// One line of the terminal's status log: "<what> <detail> <steady_ns>".
struct StatusLine {
    std::string what;
    std::string detail;
    int64_t ns = 0;
};
std::vector<StatusLine> ReadStatusLog(const std::string& path);

struct RunFolder {
    std::string path;
    std::string terminal; // the copy, with Quarnel.ini naming COM1 beside it
    std::string link;     // ports/COM1, made by the emulator

    std::string File(const std::string& name) const { return path + "/" + name; }
};

// Makes <work folder>/<name> afresh with a copy of the terminal, and writes
// it to disk.
bool MakeRunFolder(const Programs& programs, const std::string& name, RunFolder& folder,
                   std::string& error);

// Starts the emulator on the folder's link and waits for the link.
bool StartEmulator(const Programs& programs, const RunFolder& folder,
                   const std::vector<std::string>& options, CChildProcess& emulator,
                   std::string& error, int realtimePriority = 0);

// Starts the folder's terminal offscreen, writing its status log.
bool StartTerminal(const RunFolder& folder, CChildProcess& terminal, int64_t* startNs,
                   std::string& error, const QStringList& environment = {});

// Polls the status log until a line `what` appears; returns its time, or -1
// when the terminal ended or `timeoutSeconds` passed first.
int64_t WaitForStatus(const std::string& path, const std::string& what, double timeoutSeconds,
                      CChildProcess& terminal);

// Starts the emulator with `emulatorOptions` and the terminal, and waits
// until the terminal has identified the device. Returns when that was, or -1.
int64_t StartConnected(const Programs& programs, const RunFolder& folder,
                       const std::vector<std::string>& emulatorOptions, CChildProcess& emulator,
                       CChildProcess& terminal, std::string& error,
                       const QStringList& terminalEnvironment = {});

} // namespace bench
