#pragma once
// Draws the traffic monitor's cells. Qt's own delegate lays every cell's text
// out with a full text layout and asks the style for each part of the cell,
// and the list's background is drawn before the cells over it; with the list
// scrolling at every update that was most of the cost of an open monitor. A
// cell here is its background (the model's colour, or the palette's, rows
// alternating) and one line of text, clipped. The list's viewport is opaque;
// `FillBelowRows` fills what no row covers.
#include <QStyledItemDelegate>

class CTrafficRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

class QPaintEvent;
class QTableView;
// To be called for the view's viewport's paint event, before the view paints.
void FillBelowRows(QTableView& view, const QPaintEvent& event);
