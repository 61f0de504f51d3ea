// The panel's cost per level: CTerminalDlg::ShowLevel sets every read-out and
// text box of the panel for one level. The window is shown (offscreen), so
// that changed controls really schedule their repaint; the levels cycle
// through 0..100 so that the values change at every call.
//
//   BM_ShowLevel          the call alone; repaints stay pending, as they do
//                         while several broadcasts arrive in one read
//   BM_ShowLevelPainted   the call and the repaint it asked for, at once
//
// Before measuring, the program checks that every read-out looks exactly as
// it did when it drew its text with QPainter::drawText, and exits with 1
// naming the first difference when one does not.
#include "tests/FakeEnvironment.h"
#include "widgets/CiAnalogDisplayX.h"
#include "window/CTerminalDlg.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

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

// A read-out drawn the plain way: its text through QPainter::drawText.
QImage PlainReadout(const CiAnalogDisplayX& readout) {
    const qreal ratio = readout.devicePixelRatioF();
    QPixmap pixmap(readout.size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    QPainter painter(&pixmap);
    painter.setFont(readout.font());
    painter.fillRect(readout.rect(), Qt::black);
    painter.setPen(readout.isEnabled() ? QColor(0, 255, 0) : QColor(0, 128, 0));
    painter.drawText(readout.rect().adjusted(2, 0, -2, 0), Qt::AlignCenter, readout.Text());
    painter.end();
    return pixmap.toImage();
}

// Every read-out at every level.
bool ReadoutsLookAsDrawnPlainly(CTerminalDlg& dlg, std::string& difference) {
    const QList<CiAnalogDisplayX*> readouts = dlg.findChildren<CiAnalogDisplayX*>();
    if (readouts.isEmpty()) {
        difference = "no read-outs in the window";
        return false;
    }
    for (int level = 0; level <= 100; ++level) {
        dlg.ShowLevel(static_cast<uint8_t>(level));
        for (CiAnalogDisplayX* readout : readouts)
            if (readout->isVisible() && readout->grab().toImage() != PlainReadout(*readout)) {
                difference = "read-out showing \"" + readout->Text().toStdString() +
                             "\" differs from drawText at level " + std::to_string(level);
                return false;
            }
    }
    return true;
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
    std::string difference;
    if (!ReadoutsLookAsDrawnPlainly(*Terminal().terminal->dlg, difference)) {
        std::fprintf(stderr, "the read-outs differ from their plain drawing: %s\n",
                     difference.c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    Terminal().terminal.reset();
    benchmark::Shutdown();
    return 0;
}
