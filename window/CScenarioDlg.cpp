#include "window/CScenarioDlg.h"

#include "window/ScenarioStepsModel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

constexpr int kClockMs = 250;
constexpr qsizetype kShownProblems = 100;

// "1:05" or "1:02:05".
QString Clock(qint64 ms) {
    const qint64 s = std::max<qint64>(ms, 0) / 1000;
    return s >= 3600 ? QStringLiteral("%1:%2:%3")
                           .arg(s / 3600)
                           .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                           .arg(s % 60, 2, 10, QLatin1Char('0'))
                     : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

CScenarioDlg::CScenarioDlg(session::CDeviceSession& session, QWidget* parent)
    : QDialog(parent), m_session(session), m_player(session),
      m_stepsModel(new CScenarioStepsModel(m_player, this)) {
    setWindowTitle(tr("Scenario"));
    m_open = new QPushButton(tr("&Open..."), this);
    m_file = new QLabel(tr("No scenario open."), this);
    auto* loop = new QCheckBox(tr("&Loop"), this);
    m_steps = new QListView(this);
    m_steps->setModel(m_stepsModel);
    m_steps->setUniformItemSizes(true);
    m_steps->setSelectionMode(QAbstractItemView::NoSelection);
    m_play = new QPushButton(tr("&Play"), this);
    m_pause = new QPushButton(tr("P&ause"), this);
    m_stop = new QPushButton(tr("&Stop"), this);
    m_progress = new QProgressBar(this);
    m_progress->setTextVisible(false);
    m_times = new QLabel(this);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_failures = new QListWidget(this);
    m_failures->setMaximumHeight(m_failures->fontMetrics().height() * 6);
    m_failures->hide();
    // Names for the tests, which drive the player through its buttons.
    m_steps->setObjectName(QStringLiteral("steps"));
    m_play->setObjectName(QStringLiteral("play"));
    m_pause->setObjectName(QStringLiteral("pause"));
    m_stop->setObjectName(QStringLiteral("stop"));
    m_times->setObjectName(QStringLiteral("times"));
    m_status->setObjectName(QStringLiteral("status"));
    m_failures->setObjectName(QStringLiteral("failures"));

    auto* file = new QHBoxLayout;
    file->addWidget(m_open);
    file->addWidget(m_file, 1);
    file->addWidget(loop);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_play);
    buttons->addWidget(m_pause);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_progress, 1);
    buttons->addWidget(m_times);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(file);
    layout->addWidget(m_steps, 1);
    layout->addLayout(buttons);
    layout->addWidget(m_status);
    layout->addWidget(m_failures);
    resize(560, 420);

    using session::CScenarioPlayer;
    connect(m_open, &QPushButton::clicked, this, &CScenarioDlg::Open);
    connect(m_play, &QPushButton::clicked, this, [this, loop] {
        if (!m_player.IsPlaying()) {
            m_player.SetLoop(loop->isChecked());
            m_failures->clear();
            m_failures->hide();
        }
        m_player.Play();
    });
    connect(m_pause, &QPushButton::clicked, this, [this] { m_player.Pause(); });
    connect(m_stop, &QPushButton::clicked, &m_player, &CScenarioPlayer::Stop);
    connect(&m_player, &CScenarioPlayer::StepStarted, this, &CScenarioDlg::OnStepStarted);
    connect(&m_player, &CScenarioPlayer::ExpectFailed, this, &CScenarioDlg::OnExpectFailed);
    connect(&m_player, &CScenarioPlayer::Paused, this, [this](const QString& reason) {
        SetStatus(reason.isEmpty() ? tr("Paused.") : tr("Paused: %1.").arg(reason));
        EnableButtons();
    });
    connect(&m_player, &CScenarioPlayer::Resumed, this, [this] {
        SetStatus(tr("Playing."));
        EnableButtons();
    });
    connect(&m_player, &CScenarioPlayer::Finished, this, &CScenarioDlg::OnFinished);
    // Play needs a device that answers.
    connect(&session, &session::CDeviceSession::Identified, this, &CScenarioDlg::EnableButtons);
    connect(&session, &session::CDeviceSession::PanelReset, this, &CScenarioDlg::EnableButtons);
    m_clock.setInterval(kClockMs);
    connect(&m_clock, &QTimer::timeout, this, &CScenarioDlg::ShowTimes);
    EnableButtons();
}

void CScenarioDlg::Open() {
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open Scenario"), m_path.isEmpty() ? QString() : QFileInfo(m_path).path(),
        tr("Scenarios (*.scn);;All files (*)"));
    if (!path.isEmpty())
        Load(path);
}

bool CScenarioDlg::Load(const QString& path) {
    m_player.Stop();
    session::ScenarioFile file = session::ReadScenarioFile(path);
    m_failures->clear();
    m_failures->hide();
    m_file->setText(QFileInfo(path).fileName());
    m_file->setToolTip(path);
    if (!file.plan) {
        m_path.clear();
        m_player.Load({}, false);
        m_stepsModel->Reset();
        SetStatus(tr("This file cannot play; nothing is sent until it is mended:"));
        // A file that is no scenario at all has an error on every line;
        // the first ones say what is wrong.
        m_failures->addItems(file.problems.mid(0, kShownProblems));
        if (file.problems.size() > kShownProblems)
            m_failures->addItem(
                tr("... and %n more.", "", int(file.problems.size() - kShownProblems)));
        m_failures->show();
        EnableButtons();
        ShowTimes();
        return false;
    }
    m_path = path;
    m_player.Load(std::move(*file.plan), false);
    m_stepsModel->Reset();
    SetStatus(tr("%n step(s), %1 long.", "", int(m_player.GetPlan().steps.size()))
                  .arg(Clock(m_player.PassMs())));
    EnableButtons();
    ShowTimes();
    return true;
}

void CScenarioDlg::OperatorActed(const QString& what) {
    if (m_player.IsPlaying() && !m_player.IsPaused())
        m_player.Pause(what);
}

void CScenarioDlg::closeEvent(QCloseEvent* event) {
    m_player.Stop();
    QDialog::closeEvent(event);
}

void CScenarioDlg::OnStepStarted(int step, qint64) {
    m_stepsModel->SetRunning(step);
    m_steps->scrollTo(m_stepsModel->index(step));
    if (!m_clock.isActive()) {
        SetStatus(tr("Playing."));
        m_clock.start();
        EnableButtons();
    }
}

void CScenarioDlg::OnExpectFailed(int step, const QString& expected, const QString& shown) {
    m_failures->addItem(tr("line %1: expected \"%2\", shown \"%3\"")
                            .arg(m_player.GetPlan().steps[size_t(step)].line)
                            .arg(expected, shown));
    m_failures->scrollToBottom();
    m_failures->show();
}

void CScenarioDlg::OnFinished(session::PlayOutcome outcome, const QString& message) {
    m_clock.stop();
    const int failed = m_player.FailedExpects();
    switch (outcome) {
    case session::PlayOutcome::Completed:
        SetStatus(failed == 0 ? tr("Done: every step ran and every expect held.")
                              : tr("Done: %n expect(s) failed, listed below.", "", failed));
        break;
    case session::PlayOutcome::Stopped:
        SetStatus(tr("Stopped."));
        break;
    case session::PlayOutcome::NoAcknowledgement:
        SetStatus(tr("Ended: %1").arg(message));
        break;
    }
    m_stepsModel->SetRunning(-1);
    ShowTimes();
    EnableButtons();
}

void CScenarioDlg::ShowTimes() {
    const qint64 total = m_player.PassMs();
    const qint64 elapsed = m_player.IsPlaying() ? std::min<qint64>(m_player.ElapsedMs(), total) : 0;
    // Tenths of a second, or seconds where an int would not hold the tenths.
    const qint64 scale = total / 100 > std::numeric_limits<int>::max() ? 1000 : 100;
    const auto bar = [scale](qint64 ms) {
        return int(std::min<qint64>(ms / scale, std::numeric_limits<int>::max()));
    };
    // A range of 0..0 would make the bar a busy indicator.
    m_progress->setRange(0, std::max(1, bar(total)));
    m_progress->setValue(bar(elapsed));
    m_times->setText(
        tr("%1 of %2, %3 to go").arg(Clock(elapsed), Clock(total), Clock(total - elapsed)));
}

void CScenarioDlg::EnableButtons() {
    const bool loaded = !m_path.isEmpty();
    const bool playing = m_player.IsPlaying();
    const bool paused = m_player.IsPaused();
    m_play->setEnabled(loaded && (!playing || paused) && m_session.IsDeviceIdentified());
    m_pause->setEnabled(playing && !paused);
    m_stop->setEnabled(playing);
    m_open->setEnabled(!playing || paused);
}

void CScenarioDlg::SetStatus(const QString& text) {
    m_status->setText(text);
}
