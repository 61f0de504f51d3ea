// 4c: the emulator with its NMEA 2000 bus side on a virtual CAN bus, sending
// every group at its interval while the terminal follows its serial side.
#include "bench/ProcReadings.h"
#include "bench/RunFolder.h"
#include "bench/SystemRuns.h"

#include <unistd.h>

namespace bench {

IdleResult RunBusSide(const Programs& programs, const Durations& d) {
    IdleResult r;
    RunFolder folder;
    if (!MakeRunFolder(programs, "bus-side", folder, r.error))
        return r;
    // A port of its own, so that the emulator hosts its own bus.
    const std::string bus =
        "virtualcan:tcp://127.0.0.1:" + std::to_string(36000 + getpid() % 20000) + "/can0";
    CChildProcess emulator, terminal;
    if (StartConnected(programs, folder, {"--can", bus}, emulator, terminal, r.error) < 0)
        return r;
    r.cpu = MeasureCpu(emulator.Pid(), d.idleSeconds);
    r.ok = emulator.Running();
    if (!r.ok)
        r.error = "the emulator ended during the run";
    return r;
}

} // namespace bench
