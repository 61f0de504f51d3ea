#include "bench/ProcReadings.h"

#include "core/PacedSender.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {

namespace {

std::string ProcFile(pid_t pid, const char* name) {
    return "/proc/" + std::to_string(pid) + "/" + name;
}

// The fields of /proc/<pid>/stat after the command name (which may hold
// spaces and parentheses): [0] is field 3, the state.
std::vector<std::string> StatFields(pid_t pid) {
    std::ifstream in(ProcFile(pid, "stat"));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> fields;
    const size_t paren = text.rfind(')');
    if (paren == std::string::npos)
        return fields;
    std::istringstream words(text.substr(paren + 1));
    for (std::string word; words >> word;)
        fields.push_back(word);
    return fields;
}

} // namespace

double CpuSeconds(pid_t pid) {
    const std::vector<std::string> f = StatFields(pid);
    if (f.size() < 13) // utime and stime are fields 14 and 15
        return -1;
    const auto ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (std::stod(f[11]) + std::stod(f[12])) / ticks;
}

double ScheduledSeconds(pid_t pid) {
    std::error_code ec;
    double total = 0;
    for (const auto& task : std::filesystem::directory_iterator(ProcFile(pid, "task"), ec)) {
        std::ifstream in(task.path() / "schedstat");
        double ns = 0;
        if (in >> ns)
            total += ns;
    }
    return total * 1e-9;
}

long ResidentKb(pid_t pid) {
    std::ifstream in(ProcFile(pid, "status"));
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

bool ProcessStopped(pid_t pid) {
    const std::vector<std::string> f = StatFields(pid);
    return !f.empty() && f[0] == "T";
}

CpuWindow MeasureCpu(pid_t pid, double seconds) {
    const int64_t t0 = proto::SteadyNs();
    const double cpu0 = CpuSeconds(pid);
    const double scheduled0 = ScheduledSeconds(pid);
    std::this_thread::sleep_for(std::chrono::nanoseconds(static_cast<int64_t>(seconds * 1e9)));
    CpuWindow w;
    w.cpuSeconds = CpuSeconds(pid) - cpu0;
    w.scheduledSeconds = ScheduledSeconds(pid) - scheduled0;
    w.wallSeconds = static_cast<double>(proto::SteadyNs() - t0) * 1e-9;
    return w;
}

} // namespace bench
