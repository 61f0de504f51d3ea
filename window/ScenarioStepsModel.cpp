#include "window/ScenarioStepsModel.h"

#include <QApplication>
#include <QPalette>

CScenarioStepsModel::CScenarioStepsModel(const session::CScenarioPlayer& player, QObject* parent)
    : QAbstractListModel(parent), m_player(player) {}

void CScenarioStepsModel::Reset() {
    beginResetModel();
    m_running = -1;
    endResetModel();
}

void CScenarioStepsModel::SetRunning(int step) {
    const int before = m_running;
    m_running = step;
    for (const int row : {before, step})
        if (row >= 0 && row < rowCount())
            emit dataChanged(index(row), index(row), {Qt::BackgroundRole, Qt::ForegroundRole});
}

int CScenarioStepsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_player.GetPlan().steps.size());
}

QVariant CScenarioStepsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const bool running = index.row() == m_running;
    switch (role) {
    case Qt::DisplayRole: {
        const scenario::Step& step = m_player.GetPlan().steps[size_t(index.row())];
        return tr("%1  line %2: %3")
            .arg(QString::number(double(m_player.StepStartMs(index.row())) / 1000.0, 'f', 3))
            .arg(step.line)
            .arg(QString::fromStdString(step.text));
    }
    case Qt::BackgroundRole:
        return running ? QApplication::palette().highlight() : QVariant();
    case Qt::ForegroundRole:
        return running ? QApplication::palette().highlightedText() : QVariant();
    default:
        return {};
    }
}
