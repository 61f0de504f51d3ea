// The panel's cost per level: CTerminalDlg::ShowLevel sets every read-out and
// text box of the panel for one level. The window is shown (offscreen), so
// that changed controls really schedule their repaint; the levels cycle
// through 0..100 so that the values change at every call.
//
//   BM_ShowLevel          the call alone; repaints stay pending, as they do
//                         while several broadcasts arrive in one read
//   BM_ShowLevelPainted   the call and the repaint it asked for, at once
#include "CTerminalDlg.h"
#include "FakeEnvironment.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>

namespace {

struct ShownTerminal {
    QTemporaryDir folder;
    std::unique_ptr<FakeTerminal> terminal;

    ShownTerminal() {
        terminal = std::make_unique<FakeTerminal>(folder.filePath(QStringLiteral("Quarnel.ini")));
        terminal->dlg->show();
        QCoreApplication::processEvents();
    }
};

ShownTerminal& Terminal() {
    static ShownTerminal shown;
    return shown;
}

void BM_ShowLevel(benchmark::State& state) {
    CTerminalDlg& dlg = *Terminal().terminal->dlg;
    int level = 0;
    for (auto _ : state) {
        dlg.ShowLevel(static_cast<uint8_t>(level));
        level = level == 100 ? 0 : level + 1;
    }
    QCoreApplication::processEvents();
    state.SetItemsProcessed(state.iterations());
}

void BM_ShowLevelPainted(benchmark::State& state) {
    CTerminalDlg& dlg = *Terminal().terminal->dlg;
    int level = 0;
    for (auto _ : state) {
        dlg.ShowLevel(static_cast<uint8_t>(level));
        QCoreApplication::processEvents();
        level = level == 100 ? 0 : level + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_ShowLevel)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShowLevelPainted)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    Terminal().terminal.reset();
    benchmark::Shutdown();
    return 0;
}
