#include "window/CTrafficDlg.h"

#include "session/CDeviceSession.h"
#include "widgets/MessageSink.h"
#include "window/SaveWhole.h"
#include "window/TrafficModel.h"
#include "window/TrafficRowDelegate.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QShowEvent>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

using session::TrafficLine;

CTrafficDlg::CTrafficDlg(session::CDeviceSession& session, QWidget* parent)
    : QDialog(parent), m_session(session) {
    setWindowTitle(tr("Traffic"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);

    auto* filters = new QHBoxLayout;
    m_sent = new QCheckBox(tr("&Sent"), this);
    m_received = new QCheckBox(tr("&Received"), this);
    m_broadcasts = new QCheckBox(tr("&Broadcasts only"), this);
    m_problems = new QCheckBox(tr("&Problems only"), this);
    m_sent->setChecked(true);
    m_received->setChecked(true);
    for (QCheckBox* box : {m_sent, m_received, m_broadcasts, m_problems}) {
        filters->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &CTrafficDlg::OnFilterChanged);
    }
    filters->addStretch(1);
    layout->addLayout(filters);

    m_model = new CTrafficModel(m_log, this);
    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("traffic"));
    m_view->setModel(m_model);
    m_view->setItemDelegate(new CTrafficRowDelegate(m_view));
    m_view->viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    m_view->viewport()->installEventFilter(this);
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Row steps, so that rows leaving at the top can be made up for exactly.
    m_view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_view->setShowGrid(false);
    m_view->setWordWrap(false);
    const QFontMetrics metrics(m_view->font());
    // Fixed row heights and column widths: nothing is measured per line.
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(metrics.height() + 4);
    QHeaderView* columns = m_view->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(true);
    const int padding = 2 * metrics.horizontalAdvance(QLatin1Char('0'));
    columns->resizeSection(CTrafficModel::kTime,
                           metrics.horizontalAdvance(QStringLiteral("9999999.9")) + padding);
    // The direction and verdict columns fit their widest word, the header's
    // included.
    for (const CTrafficModel::Column column :
         {CTrafficModel::kDirection, CTrafficModel::kVerdict}) {
        int width = 0;
        for (const QString& word : CTrafficModel::Words(column))
            width = std::max(width, metrics.horizontalAdvance(word));
        columns->resizeSection(column, width + padding);
    }
    layout->addWidget(m_view, 1);

    auto* buttons = new QHBoxLayout;
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    // Of a fixed size, wide enough for any count: a label whose text changes
    // at every update would otherwise lay the whole window out again each time.
    const int most = m_log.Capacity();
    m_status->setText(StatusText(most, most, 10 * most, true));
    m_status->setFixedSize(m_status->sizeHint());
    buttons->addWidget(m_status);
    buttons->addStretch(1);
    m_pause = new QPushButton(tr("P&ause"), this);
    m_pause->setCheckable(true);
    auto* clear = new QPushButton(tr("&Clear"), this);
    auto* save = new QPushButton(tr("Sa&ve..."), this);
    auto* close = new QPushButton(tr("Close"), this);
    for (QPushButton* button : {m_pause, clear, save, close}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) { SetPaused(paused); });
    connect(clear, &QPushButton::clicked, this, &CTrafficDlg::Clear);
    connect(save, &QPushButton::clicked, this, &CTrafficDlg::OnSave);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    m_frame.setSingleShot(true);
    m_frame.setInterval(kFrameMs);
    connect(&m_frame, &QTimer::timeout, this, &CTrafficDlg::Flush);

    resize(760, 480);
    UpdateStatus();
}

CTrafficDlg::~CTrafficDlg() {
    disconnect(m_listening);
}

bool CTrafficDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view->viewport() && event->type() == QEvent::Paint)
        FillBelowRows(*m_view, *static_cast<QPaintEvent*>(event));
    return QDialog::eventFilter(watched, event);
}

void CTrafficDlg::showEvent(QShowEvent* event) {
    // A window restored from an icon shows again by itself; only an opening
    // starts listening.
    if (!event->spontaneous() && !m_listening)
        m_listening =
            connect(&m_session, &session::CDeviceSession::Traffic, this, &CTrafficDlg::OnTraffic);
    QDialog::showEvent(event);
}

void CTrafficDlg::hideEvent(QHideEvent* event) {
    // Minimized, the monitor keeps recording; closed, it stops listening so
    // that the session stops making lines for it.
    if (!event->spontaneous()) {
        disconnect(m_listening);
        m_listening = {};
    }
    QDialog::hideEvent(event);
}

void CTrafficDlg::OnTraffic(const TrafficLine& line) {
    // Called for every line at the full line rate: keep it to a copy.
    m_waiting.Append(line);
    if (!m_frame.isActive())
        m_frame.start();
}

void CTrafficDlg::Flush() {
    if (m_pause->isChecked() || m_waiting.IsEmpty()) {
        UpdateStatus();
        return;
    }
    QScrollBar* bar = m_view->verticalScrollBar();
    const bool atBottom = bar->value() == bar->maximum();
    // The rows of lines the log is about to let go leave first, while their
    // lines are still there to be read.
    const int64_t end = m_log.EndSequence() + m_waiting.Size();
    const int removed =
        m_model->DropBefore(std::max(m_log.DroppedFromFront(), end - m_log.Capacity()));
    const int64_t from = m_log.EndSequence();
    for (int i = 0; i < m_waiting.Size(); ++i)
        m_log.Append(m_waiting.At(i));
    m_waiting.Clear();
    m_model->AddFrom(from);
    if (atBottom)
        m_view->scrollToBottom();
    else if (removed > 0)
        bar->setValue(bar->value() - removed); // the rows being read stay in place
    UpdateStatus();
}

session::TrafficFilter CTrafficDlg::Filter() const {
    return m_model->Filter();
}

void CTrafficDlg::SetFilter(const session::TrafficFilter& filter) {
    const QSignalBlocker a(m_sent), b(m_received), c(m_broadcasts), d(m_problems);
    m_sent->setChecked(filter.sent);
    m_received->setChecked(filter.received);
    m_broadcasts->setChecked(filter.broadcastsOnly);
    m_problems->setChecked(filter.problemsOnly);
    m_model->Reset(filter);
    m_view->scrollToBottom();
    UpdateStatus();
}

void CTrafficDlg::OnFilterChanged() {
    session::TrafficFilter filter;
    filter.sent = m_sent->isChecked();
    filter.received = m_received->isChecked();
    filter.broadcastsOnly = m_broadcasts->isChecked();
    filter.problemsOnly = m_problems->isChecked();
    SetFilter(filter);
}

bool CTrafficDlg::IsPaused() const {
    return m_pause->isChecked();
}

void CTrafficDlg::SetPaused(bool paused) {
    m_pause->setChecked(paused);
    if (!paused)
        Flush();
    else
        UpdateStatus();
}

void CTrafficDlg::Clear() {
    m_model->RemoveAll();
    m_log.Clear();
    m_waiting.Clear();
    UpdateStatus();
}

QString CTrafficDlg::SaveTo(const QString& path) const {
    QByteArray text;
    for (int row = 0; row < m_model->rowCount(); ++row)
        text += session::FormatLine(m_model->Line(row)).toLatin1() + '\n';
    return SaveWhole(path, text, true);
}

void CTrafficDlg::OnSave() {
    const QString path =
        QFileDialog::getSaveFileName(this, tr("Save Traffic"), QStringLiteral("traffic.txt"),
                                     tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    const QString problem = SaveTo(path);
    if (!problem.isEmpty())
        CMessageBoxSink().Show(this,
                               tr("The traffic could not be saved to %1:\n%2").arg(path, problem),
                               MessageIcon::Stop);
}

QString CTrafficDlg::StatusText(int shown, int kept, int waiting, bool paused) {
    QString text = tr("%1 of %2 lines shown").arg(shown).arg(kept);
    if (paused)
        text += tr("; paused with %1 waiting").arg(waiting);
    return text;
}

void CTrafficDlg::UpdateStatus() {
    m_status->setText(
        StatusText(m_model->rowCount(), m_log.Size(), m_waiting.Size(), m_pause->isChecked()));
}
