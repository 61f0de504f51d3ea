#include "window/CPlotDlg.h"

#include "session/PanelSnapshot.h"
#include "widgets/MessageSink.h"
#include "window/SaveWhole.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QGraphicsLineItem>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kReadoutRole = Qt::UserRole;

QString UnitTitle(int readout) {
    const QString unit = panel::UnitName(session::ReadoutEntry(readout));
    return unit.isEmpty() ? CPlotDlg::tr("no unit") : unit;
}

// A little room above and below the lines; a flat line sits in the middle.
std::pair<double, double> Padded(std::pair<double, double> extent) {
    const double span = extent.second - extent.first;
    const double pad = span > 0 ? span * 0.05 : std::max(1.0, std::abs(extent.first) * 0.05);
    return {extent.first - pad, extent.second + pad};
}

} // namespace

CPlotDlg::CPlotDlg(const session::CReadoutHistory& history, std::function<int64_t()> nowMs,
                   QWidget* parent)
    : QDialog(parent), m_history(history), m_nowMs(std::move(nowMs)) {
    setWindowTitle(tr("Plot"));
    setModal(false);
    resize(1100, 620);
    m_wallOffset = QDateTime::currentMSecsSinceEpoch() - m_nowMs();

    auto* layout = new QHBoxLayout(this);
    m_chooser = new QTreeWidget(this);
    m_chooser->setObjectName(QStringLiteral("readouts"));
    m_chooser->setHeaderHidden(true);
    m_chooser->setMaximumWidth(300);
    BuildChooser();
    layout->addWidget(m_chooser);

    auto* right = new QVBoxLayout;
    auto* tools = new QHBoxLayout;
    m_window = new QComboBox(this);
    for (int minutes : kWindowMinutes)
        m_window->addItem(minutes == 1 ? tr("1 minute") : tr("%1 minutes").arg(minutes), minutes);
    connect(m_window, &QComboBox::currentIndexChanged, this,
            [this](int index) { SetWindowMinutes(m_window->itemData(index).toInt()); });
    m_pause = new QPushButton(tr("&Pause"), this);
    m_pause->setCheckable(true);
    connect(m_pause, &QPushButton::toggled, this, &CPlotDlg::SetPaused);
    auto* live = new QPushButton(tr("&Live"), this);
    connect(live, &QPushButton::clicked, this, &CPlotDlg::Live);
    auto* csv = new QPushButton(tr("Save &CSV..."), this);
    connect(csv, &QPushButton::clicked, this, &CPlotDlg::OnSaveCsv);
    auto* png = new QPushButton(tr("Save P&NG..."), this);
    connect(png, &QPushButton::clicked, this, &CPlotDlg::OnSavePng);
    tools->addWidget(new QLabel(tr("&Window:"), this));
    static_cast<QLabel*>(tools->itemAt(0)->widget())->setBuddy(m_window);
    for (QWidget* w : std::initializer_list<QWidget*>{m_window, m_pause, live, csv, png})
        tools->addWidget(w);
    tools->addStretch(1);
    right->addLayout(tools);

    m_chart = new QChart;
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_timeAxis = new QValueAxis;
    m_timeAxis->setLabelFormat(QStringLiteral("%g"));
    m_timeAxis->setTickCount(7);
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    connect(m_timeAxis, &QValueAxis::rangeChanged, this, &CPlotDlg::OnAxisRangeChanged);
    m_view = new QChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("chart"));
    // Dragging zooms into a stretch of time; a right click zooms out.
    m_view->setRubberBand(QChartView::HorizontalRubberBand);
    m_view->viewport()->setMouseTracking(true);
    m_view->viewport()->installEventFilter(this);
    m_cursor = new QGraphicsLineItem(m_chart);
    m_cursor->setPen(QPen(Qt::darkGray, 0, Qt::DashLine));
    m_cursor->setZValue(10);
    m_cursor->hide();
    right->addWidget(m_view, 1);
    m_reading = new QLabel(this);
    m_reading->setObjectName(QStringLiteral("reading"));
    m_reading->setWordWrap(true);
    m_reading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    right->addWidget(m_reading);
    layout->addLayout(right, 1);

    m_frame.setInterval(kFrameMs);
    connect(&m_frame, &QTimer::timeout, this, &CPlotDlg::Redraw);
    Live();
}

CPlotDlg::~CPlotDlg() = default;

void CPlotDlg::BuildChooser() {
    // Grouped by parameter group, in panel order.
    QMap<long, QTreeWidgetItem*> groups;
    for (int r = 0; r < panel::kReadoutCount; ++r) {
        const panel::PanelEntry& e = session::ReadoutEntry(r);
        QTreeWidgetItem*& group = groups[e.source.pgn];
        if (group == nullptr) {
            group = new QTreeWidgetItem(
                m_chooser, {QStringLiteral("%1 %2")
                                .arg(e.source.pgn)
                                .arg(QString::fromLatin1(panel::PgnName(e.source.pgn)))});
            group->setFlags(Qt::ItemIsEnabled);
        }
        const QString unit = panel::UnitName(e);
        auto* item = new QTreeWidgetItem(
            group,
            {unit.isEmpty() ? QString::fromLatin1(e.caption)
                            : QStringLiteral("%1 (%2)").arg(QString::fromLatin1(e.caption), unit)});
        item->setData(0, kReadoutRole, r);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
    }
    m_chooser->expandAll();
    connect(m_chooser, &QTreeWidget::itemChanged, this, &CPlotDlg::OnChosen);
}

void CPlotDlg::OnChosen(QTreeWidgetItem* item) {
    const QVariant readout = item->data(0, kReadoutRole);
    if (readout.isValid())
        SetPlotted(readout.toInt(), item->checkState(0) == Qt::Checked);
}

void CPlotDlg::SetPlotted(int readout, bool plotted) {
    if (readout < 0 || readout >= panel::kReadoutCount || IsPlotted(readout) == plotted)
        return;
    if (plotted) {
        m_plotted.insert(std::lower_bound(m_plotted.begin(), m_plotted.end(), readout), readout);
    } else {
        m_plotted.erase(std::find(m_plotted.begin(), m_plotted.end(), readout));
    }
    // The list says the same, however the read-out was chosen.
    const QSignalBlocker quiet(m_chooser);
    for (QTreeWidgetItemIterator it(m_chooser); *it; ++it)
        if ((*it)->data(0, kReadoutRole) == readout)
            (*it)->setCheckState(0, plotted ? Qt::Checked : Qt::Unchecked);
    Rebuild();
}

bool CPlotDlg::IsPlotted(int readout) const {
    return std::find(m_plotted.begin(), m_plotted.end(), readout) != m_plotted.end();
}

std::vector<int> CPlotDlg::Plotted() const {
    return m_plotted;
}

void CPlotDlg::Rebuild() {
    m_chart->removeAllSeries();
    m_series.clear();
    for (QValueAxis* axis : std::as_const(m_unitAxes)) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    m_unitAxes.clear();
    m_extents.clear();
    for (int r : m_plotted) {
        auto* series = new QLineSeries;
        series->setName(QString::fromLatin1(session::ReadoutEntry(r).caption));
        m_chart->addSeries(series);
        const QString unit = UnitTitle(r);
        QValueAxis*& axis = m_unitAxes[unit];
        if (axis == nullptr) {
            // One axis per unit, left and right by turns; an axis takes the
            // colour of its first read-out.
            axis = new QValueAxis;
            axis->setTitleText(unit);
            axis->setLabelFormat(QStringLiteral("%g"));
            axis->setLinePenColor(series->color());
            axis->setLabelsColor(series->color());
            m_chart->addAxis(axis, m_unitAxes.size() % 2 == 1 ? Qt::AlignLeft : Qt::AlignRight);
        }
        series->attachAxis(m_timeAxis);
        series->attachAxis(axis);
        m_series.insert(r, series);
    }
    m_drawnNewestMs = -1;
    DrawRange(m_visible);
}

void CPlotDlg::SetWindowMinutes(int minutes) {
    const int index = m_window->findData(minutes);
    if (index < 0)
        return;
    m_windowMinutes = minutes;
    {
        const QSignalBlocker quiet(m_window);
        m_window->setCurrentIndex(index);
    }
    const int64_t span = int64_t(minutes) * 60'000;
    DrawRange(m_bPaused ? PlotRange{m_visible.toMs - span, m_visible.toMs}
                        : PlotRange{m_nowMs() - span, m_nowMs()});
}

void CPlotDlg::SetPaused(bool paused) {
    m_bPaused = paused;
    const QSignalBlocker quiet(m_pause);
    m_pause->setChecked(paused);
    if (!paused)
        Redraw();
    else
        DrawRange(m_visible); // the time axis says when it stopped
}

bool CPlotDlg::IsPaused() const {
    return m_bPaused;
}

void CPlotDlg::ZoomTo(const PlotRange& range) {
    SetPaused(true);
    DrawRange(range);
}

void CPlotDlg::Live() {
    SetPaused(false);
    m_drawnNewestMs = -1;
    Redraw();
}

int CPlotDlg::Columns() const {
    return std::max(100, int(m_chart->plotArea().width()));
}

void CPlotDlg::Redraw() {
    if (m_bPaused)
        return;
    const int64_t now = m_nowMs();
    const int64_t span = int64_t(m_windowMinutes) * 60'000;
    // Nothing new and the window has not moved by a column: the picture
    // would be the same.
    if (m_history.NewestMs() == m_drawnNewestMs && now - m_visible.toMs < span / Columns())
        return;
    DrawRange({now - span, now});
}

void CPlotDlg::DrawRange(const PlotRange& range) {
    m_bDrawing = true;
    m_visible = range;
    m_drawnNewestMs = m_history.NewestMs();
    const int columns = Columns();
    QMap<QValueAxis*, std::pair<double, double>> extents;
    for (auto it = m_series.constBegin(); it != m_series.constEnd(); ++it) {
        const QList<QPointF> points = PlotPoints(m_history, it.key(), range, columns, range.toMs);
        it.value()->replace(points);
        const auto extent = YExtent(points);
        if (!extent)
            continue;
        QValueAxis* axis = m_unitAxes.value(UnitTitle(it.key()));
        if (!extents.contains(axis)) {
            extents.insert(axis, *extent);
        } else {
            auto& e = extents[axis];
            e = {std::min(e.first, extent->first), std::max(e.second, extent->second)};
        }
    }
    // An axis is set only when its lines reach further: laying out its
    // labels again costs more than drawing all the lines.
    for (auto it = extents.constBegin(); it != extents.constEnd(); ++it) {
        if (m_extents.value(it.key()) == it.value())
            continue;
        m_extents.insert(it.key(), it.value());
        const auto [low, high] = Padded(it.value());
        it.key()->setRange(low, high);
        it.key()->applyNiceNumbers();
    }
    const QString title = m_bPaused
                              ? tr("seconds before %1").arg(WallTime(range.toMs, "hh:mm:ss.zzz"))
                              : tr("seconds before now");
    if (m_timeAxis->titleText() != title)
        m_timeAxis->setTitleText(title);
    m_timeAxis->setRange(double(range.fromMs - range.toMs) / 1000.0, 0);
    m_bDrawing = false;
}

void CPlotDlg::OnAxisRangeChanged() {
    if (m_bDrawing)
        return;
    // The operator zoomed: the plot holds still there, drawn in the detail
    // the new stretch allows, once the chart has finished zooming its axes.
    const int64_t end = m_visible.toMs;
    const PlotRange range{end + std::llround(m_timeAxis->min() * 1000),
                          end + std::llround(m_timeAxis->max() * 1000)};
    QMetaObject::invokeMethod(
        this, [this, range] { ZoomTo(range); }, Qt::QueuedConnection);
}

QLineSeries* CPlotDlg::Series(int readout) const {
    return m_series.value(readout, nullptr);
}

QString CPlotDlg::CursorText(int64_t ms) const {
    QStringList parts;
    for (int r : m_plotted) {
        const QString reading = CursorReading(m_history, r, ms);
        if (!reading.isEmpty())
            parts << QStringLiteral("%1: %2").arg(
                QString::fromLatin1(session::ReadoutEntry(r).caption), reading);
    }
    const QString time = WallTime(ms, "hh:mm:ss.zzz");
    if (parts.isEmpty())
        return tr("%1  no broadcast").arg(time);
    return time + QStringLiteral("  ") + parts.join(QStringLiteral("   "));
}

QString CPlotDlg::WallTime(int64_t ms, const char* format) const {
    return QDateTime::fromMSecsSinceEpoch(ms + m_wallOffset).toString(QLatin1String(format));
}

bool CPlotDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view->viewport()) {
        if (event->type() == QEvent::MouseMove)
            MoveCursor(static_cast<QMouseEvent*>(event)->position());
        else if (event->type() == QEvent::Leave)
            m_cursor->hide();
    }
    return QDialog::eventFilter(watched, event);
}

void CPlotDlg::MoveCursor(const QPointF& viewPosition) {
    const QPointF at = m_chart->mapFromScene(m_view->mapToScene(viewPosition.toPoint()));
    const QRectF area = m_chart->plotArea();
    if (!area.contains(at) || m_visible.toMs <= m_visible.fromMs) {
        m_cursor->hide();
        return;
    }
    const int64_t ms = m_visible.fromMs + int64_t(double(m_visible.toMs - m_visible.fromMs) *
                                                  (at.x() - area.left()) / area.width());
    m_cursor->setLine(at.x(), area.top(), at.x(), area.bottom());
    m_cursor->show();
    m_reading->setText(CursorText(ms));
}

QByteArray CPlotDlg::VisibleCsv() const {
    return m_history.Csv(m_visible.fromMs, m_visible.toMs, 0, m_plotted);
}

QString CPlotDlg::SaveCsv(const QString& path) const {
    return SaveWhole(path, VisibleCsv(), true);
}

QString CPlotDlg::SavePng(const QString& path) const {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!m_view->grab().save(&buffer, "PNG"))
        return tr("the chart could not be drawn as PNG");
    return SaveWhole(path, png, false);
}

// Asks where, saves there, and says why when it could not.
void CPlotDlg::AskAndSave(const QString& title, const QString& name, const QString& filter,
                          QString (CPlotDlg::*save)(const QString&) const, const QString& failed) {
    const QString path = QFileDialog::getSaveFileName(this, title, name, filter);
    if (path.isEmpty())
        return;
    if (const QString problem = (this->*save)(path); !problem.isEmpty())
        CMessageBoxSink().Show(this, failed.arg(path, problem), MessageIcon::Stop);
}

void CPlotDlg::OnSaveCsv() {
    AskAndSave(tr("Save CSV"), QStringLiteral("plot.csv"), tr("CSV files (*.csv);;All files (*)"),
               &CPlotDlg::SaveCsv, tr("The plot could not be saved to %1:\n%2"));
}

void CPlotDlg::OnSavePng() {
    AskAndSave(tr("Save PNG"), QStringLiteral("plot.png"), tr("PNG images (*.png);;All files (*)"),
               &CPlotDlg::SavePng, tr("The chart could not be saved to %1:\n%2"));
}

void CPlotDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_frame.start();
    m_drawnNewestMs = -1;
    Redraw();
}

void CPlotDlg::hideEvent(QHideEvent* event) {
    m_frame.stop();
    QDialog::hideEvent(event);
}
