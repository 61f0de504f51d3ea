#include "window/PanelAccessibility.h"

#include "widgets/CiAnalogDisplayX.h"
#include "widgets/CiSliderX.h"
#include "widgets/DialogTemplate.h"

#include <QAccessibleWidget>
#include <QSlider>

namespace {

class CReadoutAccessible final : public QAccessibleWidget {
public:
    explicit CReadoutAccessible(CiAnalogDisplayX* readout)
        : QAccessibleWidget(readout, QAccessible::Indicator) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return static_cast<const CiAnalogDisplayX*>(widget())->Text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* ReadoutFactory(const QString&, QObject* object) {
    if (auto* readout = qobject_cast<CiAnalogDisplayX*>(object))
        return new CReadoutAccessible(readout);
    return nullptr;
}

bool Inside(const DluRect& in, const DluRect& out) {
    return in.x >= out.x && in.y >= out.y && in.x + in.w <= out.x + out.w &&
           in.y + in.h <= out.y + out.h;
}

} // namespace

void MakePanelAccessible(const CDialogControls& controls) {
    static const bool installed = [] {
        QAccessible::installFactory(ReadoutFactory);
        return true;
    }();
    Q_UNUSED(installed);
    // A control's caption is that of the smallest group box around it.
    const auto& all = controls.All();
    for (const auto& [control, widget] : all) {
        if (control.kind != CtlKind::Readout && control.kind != CtlKind::ReadOnlyEdit)
            continue;
        const CtlSpec* box = nullptr;
        for (const auto& [other, w] : all)
            if (other.kind == CtlKind::GroupBox && Inside(control.rect, other.rect) &&
                (box == nullptr || other.rect.w * other.rect.h < box->rect.w * box->rect.h))
                box = &other;
        if (box != nullptr)
            widget->setAccessibleName(QString(box->caption).replace(QLatin1String("&&"), "&"));
    }
    for (const auto& [control, widget] : all)
        if (auto* slider = qobject_cast<CiSliderX*>(widget))
            slider->Slider()->setAccessibleName(QObject::tr("Level"));
}
