#pragma once
// What /proc says about a running process: the CPU it has taken, its
// resident memory, whether it is stopped.
#include <sys/types.h>

namespace bench {

// utime + stime of all the process's threads, in seconds (whole clock
// ticks); -1 when it cannot be read.
double CpuSeconds(pid_t pid);

// The run time the scheduler accounted to each of the process's threads,
// summed: finer than the clock ticks of utime and stime.
double ScheduledSeconds(pid_t pid);

// VmRSS in kB, or -1.
long ResidentKb(pid_t pid);

// Whether the process is stopped by a signal (state T).
bool ProcessStopped(pid_t pid);

// The CPU a process took over a window of wall time.
struct CpuWindow {
    double wallSeconds = 0;
    double cpuSeconds = 0;       // utime + stime, whole clock ticks
    double scheduledSeconds = 0; // the scheduler's run time, finer
    // Judged on the scheduler's figure: 0.5 % of a core is 5 ms a second.
    double Percent() const { return wallSeconds > 0 ? scheduledSeconds / wallSeconds * 100 : 0; }
};

// The CPU a process takes over the next `seconds`.
CpuWindow MeasureCpu(pid_t pid, double seconds);

} // namespace bench
