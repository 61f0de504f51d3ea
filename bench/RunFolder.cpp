#include "bench/RunFolder.h"

#include "core/PacedSender.h"

#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace bench {

namespace fs = std::filesystem;

void SleepSeconds(double seconds) {
    if (seconds > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(static_cast<int64_t>(seconds * 1e9)));
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

std::string Excerpt(const std::string& path) {
    const auto lines = ReadLines(path);
    std::string text;
    for (size_t i = lines.size() > 5 ? lines.size() - 5 : 0; i < lines.size(); ++i)
        text += " | " + lines[i];
    return text;
}

std::vector<StatusLine> ReadStatusLog(const std::string& path) {
    std::vector<StatusLine> result;
    for (const std::string& line : ReadLines(path)) {
        const size_t first = line.find(' ');
        const size_t last = line.rfind(' ');
        if (first == std::string::npos || last == first)
            continue; // a line still being written
        StatusLine s;
        s.what = line.substr(0, first);
        s.detail = line.substr(first + 1, last - first - 1);
        s.ns = std::strtoll(line.c_str() + last + 1, nullptr, 10);
        result.push_back(s);
    }
    return result;
}

bool MakeRunFolder(const Programs& programs, const std::string& name, RunFolder& folder,
                   std::string& error) {
    folder.path = programs.workFolder + "/" + name;
    std::error_code ec;
    fs::remove_all(folder.path, ec);
    fs::create_directories(folder.path, ec);
    if (ec) {
        error = "cannot make " + folder.path + ": " + ec.message();
        return false;
    }
    folder.terminal = folder.File("BrendlowTerminal");
    folder.link = folder.File("ports/COM1");
    fs::copy_file(programs.terminal, folder.terminal, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        error = "cannot copy " + programs.terminal + ": " + ec.message();
        return false;
    }
    std::ofstream(folder.File("Quarnel.ini")) << "COM=1;\r\n";
    // The copy and the removed folder's files are written back now, not by
    // the kernel's write-back in the middle of a measurement (where it
    // delays the pseudo-terminal's delivery and the terminal's own writes).
    ::sync();
    return true;
}

bool StartEmulator(const Programs& programs, const RunFolder& folder,
                   const std::vector<std::string>& options, CChildProcess& emulator,
                   std::string& error, int realtimePriority) {
    QStringList arguments{QStringLiteral("--link"), QString::fromStdString(folder.link)};
    for (const std::string& option : options)
        arguments << QString::fromStdString(option);
    const CChildProcess::Options how{
        {}, QString::fromStdString(folder.File("emulator.out")), realtimePriority};
    if (!emulator.Start(QString::fromStdString(programs.emulator), arguments, how)) {
        error = "cannot start " + programs.emulator;
        return false;
    }
    for (int i = 0; i < 500; ++i) {
        std::error_code ec;
        if (fs::exists(fs::symlink_status(folder.link, ec)))
            return true;
        if (!emulator.Running())
            break;
        SleepSeconds(0.01);
    }
    error = "the emulator did not make " + folder.link;
    return false;
}

bool StartTerminal(const RunFolder& folder, CChildProcess& terminal, int64_t* startNs,
                   std::string& error, const QStringList& environment) {
    CChildProcess::Options how;
    how.environment = QStringList{QStringLiteral("QT_QPA_PLATFORM=offscreen"),
                                  QStringLiteral("BRENDLOW_STATUS_LOG=") +
                                      QString::fromStdString(folder.File("status.log"))} +
                      environment;
    how.outputPath = QString::fromStdString(folder.File("terminal.out"));
    if (!terminal.Start(QString::fromStdString(folder.terminal), {}, how, startNs)) {
        error = "cannot start " + folder.terminal;
        return false;
    }
    return true;
}

int64_t WaitForStatus(const std::string& path, const std::string& what, double timeoutSeconds,
                      CChildProcess& terminal) {
    const int64_t end = proto::SteadyNs() + static_cast<int64_t>(timeoutSeconds * 1e9);
    while (proto::SteadyNs() < end && terminal.Running()) {
        for (const StatusLine& s : ReadStatusLog(path))
            if (s.what == what)
                return s.ns;
        SleepSeconds(0.005);
    }
    return -1;
}

int64_t StartConnected(const Programs& programs, const RunFolder& folder,
                       const std::vector<std::string>& emulatorOptions, CChildProcess& emulator,
                       CChildProcess& terminal, std::string& error,
                       const QStringList& terminalEnvironment) {
    if (!StartEmulator(programs, folder, emulatorOptions, emulator, error) ||
        !StartTerminal(folder, terminal, nullptr, error, terminalEnvironment))
        return -1;
    const int64_t identifiedNs =
        WaitForStatus(folder.File("status.log"), "identified", 20, terminal);
    if (identifiedNs < 0)
        error = "the terminal did not identify the device" + Excerpt(folder.File("terminal.out"));
    return identifiedNs;
}

} // namespace bench
