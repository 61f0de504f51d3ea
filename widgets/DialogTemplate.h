#pragma once
// Dialog templates as data: every control with its id, kind, caption,
// rectangle in dialog units and style, built into widgets on a fixed-size
// dialog. Dialog units come from the dialog font: a horizontal unit is a
// quarter of the average character width, a vertical unit an eighth of the
// character height.
#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>
#include <unordered_map>
#include <vector>

class QDialog;
class QWidget;

enum class CtlKind {
    Label,    // static text
    GroupBox, // caption frame
    PushButton,
    DefPushButton, // the dialog's default button (Enter)
    CheckBox,      // toggles itself
    EditCombo,     // drop-down combo box with an editable field
    ReadOnlyEdit,  // read-only, bordered, centred text
    Slider,        // CiSliderX
    Readout,       // CiAnalogDisplayX
    Icon,          // the application icon
    Component,     // a component with no window of its own (the serial port)
};

enum CtlStyle : unsigned {
    kStyleNone = 0,
    kStyleDisabled = 1u << 0, // disabled at creation
    kStyleHidden = 1u << 1,   // hidden at creation
    kStyleCentered = 1u << 2, // centred caption (group boxes)
    kStyleNoPrefix = 1u << 3, // "&" is shown as it stands
};

struct DluRect {
    int x, y, w, h;
};

inline constexpr int kStaticId = -1;

struct CtlSpec {
    CtlSpec(int id_, CtlKind kind_, QString caption_, DluRect rect_, unsigned style_ = 0)
        : id(id_), kind(kind_), caption(std::move(caption_)), rect(rect_), style(style_) {}

    int id; // kStaticId for controls the program never addresses
    CtlKind kind;
    QString caption;
    DluRect rect;
    unsigned style = kStyleNone;
    QStringList items; // combo boxes: the list, in order
};

struct DialogTemplate {
    int resourceId;
    QString caption;
    int width, height; // dialog units
    std::vector<CtlSpec> controls;
};

// The dialog font: "MS Sans Serif" 8 pt, or the platform's sans-serif 8 pt.
QFont DialogFont();

class CDialogControls {
public:
    // Creates every control of the template on `dialog`, sizes the dialog.
    void Build(QDialog* dialog, const DialogTemplate& dialogTemplate);

    QWidget* Item(int id) const; // nullptr for an unknown id
    template <class T> T* ItemAs(int id) const { return qobject_cast<T*>(Item(id)); }
    void Enable(int id, bool enable) const;
    bool IsEnabled(int id) const;
    void Show(int id, bool show) const;
    bool IsShown(int id) const;

    QRect ToPixels(const DluRect& rect) const;
    int DluX(int x) const;
    int DluY(int y) const;

    // The controls in template order, with their specs.
    const std::vector<std::pair<CtlSpec, QWidget*>>& All() const { return m_all; }

private:
    QWidget* Create(QDialog* dialog, const CtlSpec& ctl);

    int m_baseX = 6;
    int m_baseY = 13;
    std::unordered_map<int, QWidget*> m_items;
    std::vector<std::pair<CtlSpec, QWidget*>> m_all;
};
