#include "widgets/DialogTemplate.h"

#include "widgets/CachedGroupBox.h"
#include "widgets/CiAnalogDisplayX.h"
#include "widgets/CiSliderX.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

QFont DialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    if (QFontInfo(font).family() != QLatin1String("MS Sans Serif")) {
        font = QFont(QStringLiteral("Sans Serif"));
        font.setStyleHint(QFont::SansSerif);
        font.setPointSize(8);
    }
    return font;
}

int CDialogControls::DluX(int x) const {
    return (x * m_baseX + 2) / 4;
}
int CDialogControls::DluY(int y) const {
    return (y * m_baseY + 4) / 8;
}

QRect CDialogControls::ToPixels(const DluRect& r) const {
    const int left = DluX(r.x);
    const int top = DluY(r.y);
    return QRect(left, top, DluX(r.x + r.w) - left, DluY(r.y + r.h) - top);
}

void CDialogControls::Build(QDialog* dialog, const DialogTemplate& t) {
    const QFont font = DialogFont();
    dialog->setFont(font);
    const QFontMetrics metrics(font);
    // The average character width is that of the alphabet, as dialog units
    // have always been measured.
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = std::max(1, (alphabet / 26 + 1) / 2);
    m_baseY = std::max(1, metrics.height());
    dialog->setWindowTitle(t.caption);
    dialog->setFixedSize(DluX(t.width), DluY(t.height));
    for (const CtlSpec& ctl : t.controls) {
        QWidget* widget = Create(dialog, ctl);
        if (widget == nullptr)
            continue;
        QRect geometry = ToPixels(ctl.rect);
        if (ctl.kind == CtlKind::EditCombo) // the rectangle includes the drop-down list
            geometry.setHeight(std::min(geometry.height(), widget->sizeHint().height()));
        widget->setGeometry(geometry);
        widget->setEnabled(!(ctl.style & kStyleDisabled));
        if (ctl.style & kStyleHidden)
            widget->hide();
        if (ctl.id != kStaticId)
            m_items[ctl.id] = widget;
        m_all.emplace_back(ctl, widget);
    }
}

QWidget* CDialogControls::Create(QDialog* dialog, const CtlSpec& ctl) {
    switch (ctl.kind) {
    case CtlKind::Label: {
        auto* label = new QLabel(dialog);
        label->setTextFormat(Qt::PlainText);
        label->setText(ctl.caption);
        return label;
    }
    case CtlKind::GroupBox: {
        auto* box = new CCachedGroupBox(ctl.caption, dialog);
        if (ctl.style & kStyleCentered)
            box->setAlignment(Qt::AlignHCenter);
        return box;
    }
    case CtlKind::PushButton:
    case CtlKind::DefPushButton: {
        auto* button = new QPushButton(ctl.caption, dialog);
        // A focused button takes Enter; otherwise the default button does.
        button->setAutoDefault(true);
        button->setDefault(ctl.kind == CtlKind::DefPushButton);
        return button;
    }
    case CtlKind::CheckBox:
        return new QCheckBox(ctl.caption, dialog);
    case CtlKind::EditCombo: {
        auto* combo = new QComboBox(dialog);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert); // typed text never becomes an item
        combo->addItems(ctl.items);
        combo->setCurrentIndex(-1);
        return combo;
    }
    case CtlKind::ReadOnlyEdit: {
        auto* edit = new QLineEdit(dialog);
        edit->setReadOnly(true);
        edit->setAlignment(Qt::AlignHCenter);
        edit->setFocusPolicy(Qt::TabFocus);
        return edit;
    }
    case CtlKind::Slider:
        return new CiSliderX(dialog);
    case CtlKind::Readout:
        return new CiAnalogDisplayX(dialog);
    case CtlKind::Icon: {
        auto* label = new QLabel(dialog);
        label->setPixmap(dialog->windowIcon().pixmap(32, 32));
        return label;
    }
    case CtlKind::Component:
        return nullptr;
    }
    return nullptr;
}

QWidget* CDialogControls::Item(int id) const {
    const auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

void CDialogControls::Enable(int id, bool enable) const {
    if (QWidget* w = Item(id))
        w->setEnabled(enable);
}

bool CDialogControls::IsEnabled(int id) const {
    const QWidget* w = Item(id);
    return w != nullptr && w->isEnabled();
}

void CDialogControls::Show(int id, bool show) const {
    if (QWidget* w = Item(id))
        w->setVisible(show);
}

bool CDialogControls::IsShown(int id) const {
    const QWidget* w = Item(id);
    return w != nullptr && !w->isHidden();
}
