#include "window/TrafficRowDelegate.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTableView>

void CTrafficRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    // Every cell fills its own background, so the list is drawn opaque and
    // nothing behind it is drawn first.
    const QVariant background = index.data(Qt::BackgroundRole);
    if (selected)
        painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
    else if (background.isValid())
        painter->fillRect(option.rect, background.value<QColor>());
    else
        painter->fillRect(option.rect,
                          option.palette.brush(group, index.row() % 2 != 0 ? QPalette::AlternateBase
                                                                           : QPalette::Base));
    const QVariant foreground = index.data(Qt::ForegroundRole);
    painter->setPen(selected               ? option.palette.color(group, QPalette::HighlightedText)
                    : foreground.isValid() ? foreground.value<QColor>()
                                           : option.palette.color(group, QPalette::Text));
    const int margin = option.fontMetrics.horizontalAdvance(QLatin1Char(' ')) / 2 + 1;
    const int flags = index.data(Qt::TextAlignmentRole).toInt() | Qt::TextSingleLine;
    painter->drawText(option.rect.adjusted(margin, 0, -margin, 0), flags,
                      index.data(Qt::DisplayRole).toString());
}

void FillBelowRows(QTableView& view, const QPaintEvent& event) {
    const int rows = view.model()->rowCount();
    const int bottom =
        rows == 0 ? 0 : view.rowViewportPosition(rows - 1) + view.rowHeight(rows - 1);
    QWidget& viewport = *view.viewport();
    const QRect empty =
        event.rect().intersected(QRect(0, bottom, viewport.width(), viewport.height() - bottom));
    if (!empty.isEmpty())
        QPainter(&viewport).fillRect(empty, view.palette().brush(QPalette::Base));
}
