// 5: start-up, from starting the terminal to its first paint.
#include "bench/RunFolder.h"
#include "bench/SystemRuns.h"

#include <cstdio>

namespace bench {

StartupResult RunStartups(const Programs& programs, const Durations& d) {
    StartupResult r;
    RunFolder folder;
    if (!MakeRunFolder(programs, "startup", folder, r.error))
        return r;
    // An emulator on COM1 as in real use; the window is painted before the
    // first connection attempt, a second after start.
    CChildProcess emulator;
    if (!StartEmulator(programs, folder, {}, emulator, r.error))
        return r;
    for (int i = 0; i < d.startups; ++i) {
        std::remove(folder.File("status.log").c_str());
        CChildProcess terminal;
        int64_t startNs = 0;
        if (!StartTerminal(folder, terminal, &startNs, r.error))
            return r;
        const int64_t paintedNs = WaitForStatus(folder.File("status.log"), "painted", 20, terminal);
        terminal.Stop();
        if (paintedNs < 0) {
            r.error =
                "the terminal did not paint its window" + Excerpt(folder.File("terminal.out"));
            return r;
        }
        r.ms.push_back(static_cast<double>(paintedNs - startNs) * 1e-6);
    }
    r.ok = true;
    return r;
}

} // namespace bench
