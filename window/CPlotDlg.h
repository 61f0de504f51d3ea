#pragma once
// The plot: a window beside the terminal's that draws chosen read-outs over
// the last 1, 5 or 15 minutes from the terminal's history, each in its
// panel units, one y axis per unit. It pauses, zooms into a stretch of time
// (dragging across the chart; a right click zooms out), reads every plotted
// read-out at the time under the mouse, and saves what it shows as CSV or
// the chart as PNG.
//
// It redraws on a timer, four times a second at most and only while shown,
// never per broadcast: a flood costs the plot what one broadcast a second
// does.
#include "session/ReadoutHistory.h"
#include "window/PlotSeries.h"

#include <QDialog>
#include <QMap>
#include <QTimer>
#include <functional>
#include <vector>

class QChart;
class QChartView;
class QComboBox;
class QGraphicsLineItem;
class QLabel;
class QLineSeries;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QValueAxis;

class CPlotDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFrameMs = 250;
    static constexpr int kWindowMinutes[] = {1, 5, 15};

    // `nowMs` reads the clock the history is recorded with.
    CPlotDlg(const session::CReadoutHistory& history, std::function<int64_t()> nowMs,
             QWidget* parent = nullptr);
    ~CPlotDlg() override;

    // Read-outs by their place in panel order.
    void SetPlotted(int readout, bool plotted);
    bool IsPlotted(int readout) const;
    std::vector<int> Plotted() const;
    // 1, 5 or 15.
    void SetWindowMinutes(int minutes);
    void SetPaused(bool paused);
    bool IsPaused() const;
    // Shows `range` (zooming pauses the plot); Live follows the present again.
    void ZoomTo(const PlotRange& range);
    void Live();
    PlotRange Visible() const { return m_visible; }

    // Draws the series as the timer would now.
    void Redraw();
    // The series drawn for a read-out, or nullptr.
    QLineSeries* Series(int readout) const;
    // What the cursor shows for the time `ms`.
    QString CursorText(int64_t ms) const;
    // The visible stretch of the plotted read-outs as CSV (as brendlowctl
    // watch --csv writes it, times since the terminal started).
    QByteArray VisibleCsv() const;
    // Return why saving failed, or an empty text.
    QString SaveCsv(const QString& path) const;
    QString SavePng(const QString& path) const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildChooser();
    void OnChosen(QTreeWidgetItem* item);
    // Series and axes again, after the plotted read-outs changed.
    void Rebuild();
    void DrawRange(const PlotRange& range);
    void OnAxisRangeChanged();
    void MoveCursor(const QPointF& viewPosition);
    void OnSaveCsv();
    void OnSavePng();
    void AskAndSave(const QString& title, const QString& name, const QString& filter,
                    QString (CPlotDlg::*save)(const QString&) const, const QString& failed);
    int Columns() const;
    QString WallTime(int64_t ms, const char* format) const;

    const session::CReadoutHistory& m_history;
    std::function<int64_t()> m_nowMs;
    // The wall clock's milliseconds at the history's zero, for the times shown.
    int64_t m_wallOffset = 0;
    int m_windowMinutes = 1;
    bool m_bPaused = false;
    bool m_bDrawing = false; // axis changes of our own are no zoom
    PlotRange m_visible;
    int64_t m_drawnNewestMs = -1;
    std::vector<int> m_plotted;
    QMap<int, QLineSeries*> m_series;
    QMap<QString, QValueAxis*> m_unitAxes;
    QTimer m_frame;
    QTreeWidget* m_chooser = nullptr;
    QComboBox* m_window = nullptr;
    QPushButton* m_pause = nullptr;
    QChart* m_chart = nullptr;
    QChartView* m_view = nullptr;
    // Seconds before the visible stretch's end: while the plot is live its
    // range stays put, so its labels are not laid out again at every frame.
    QValueAxis* m_timeAxis = nullptr;
    QMap<QValueAxis*, std::pair<double, double>> m_extents; // as last set
    QGraphicsLineItem* m_cursor = nullptr;
    QLabel* m_reading = nullptr;
};
