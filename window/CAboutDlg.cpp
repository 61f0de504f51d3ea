#include "window/CAboutDlg.h"

#include "core/InstanceManagement.h"
#include "widgets/DialogData.h"
#include "widgets/MessageSink.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

DialogTemplate CAboutDlg::Template() {
    using namespace aboutids;
    DialogTemplate t{100, QStringLiteral("About Quarnel"), 304, 230, {}};
    auto& c = t.controls;
    c.push_back({kStaticId, CtlKind::Icon, "", {261, 36, 20, 20}});
    c.push_back({kStaticId,
                 CtlKind::Label,
                 "Tessaly Brendlow Remote Terminal Version 1.00A",
                 {12, 11, 220, 8},
                 kStyleNoPrefix});
    c.push_back({kStaticId,
                 CtlKind::Label,
                 "Remote terminal for the Tessaly Brendlow NMEA 2000 simulator.",
                 {12, 25, 230, 8},
                 kStyleNoPrefix});
    c.push_back({kStaticId,
                 CtlKind::Label,
                 "Published by the Tessaly Brendlow team.",
                 {12, 39, 230, 8},
                 kStyleNoPrefix});
    c.push_back({kStaticId,
                 CtlKind::Label,
                 "Support: see /usr/share/doc/brendlow-terminal/README.md.",
                 {12, 53, 230, 8},
                 kStyleNoPrefix});
    c.push_back({kOk, CtlKind::DefPushButton, "OK", {247, 17, 50, 14}});

    c.push_back(
        {kStaticId, CtlKind::GroupBox, "Product Information", {7, 67, 290, 40}, kStyleCentered});
    c.push_back({kStaticId, CtlKind::GroupBox, "Product ID", {11, 76, 92, 27}, kStyleCentered});
    c.push_back({kProductId, CtlKind::ReadOnlyEdit, "", {15, 86, 83, 15}});
    c.push_back(
        {kStaticId, CtlKind::GroupBox, "Firmware Version", {106, 76, 92, 27}, kStyleCentered});
    c.push_back({kFirmwareVersion, CtlKind::ReadOnlyEdit, "", {110, 86, 83, 15}});
    c.push_back(
        {kStaticId, CtlKind::GroupBox, "Product Serial Number", {201, 76, 92, 27}, kStyleCentered});
    c.push_back({kSerialNumber, CtlKind::ReadOnlyEdit, "", {205, 86, 83, 15}});

    c.push_back({kStaticId,
                 CtlKind::GroupBox,
                 "NMEA 2000 Device Instance Management",
                 {7, 114, 290, 110},
                 kStyleCentered});
    c.push_back(
        {kProceed, CtlKind::PushButton, "Proceed to &Change Device Instance", {88, 125, 127, 16}});
    QStringList items;
    for (int i = 0; i <= 15; ++i)
        items << QString::number(i);
    const int boxX[2][4] = {{15, 86, 158, 226}, {14, 86, 158, 226}};
    const int comboX[2][4] = {{19, 90, 162, 230}, {18, 90, 162, 230}};
    for (int i = 0; i < 8; ++i) {
        const int row = i / 4;
        const int col = i % 4;
        c.push_back({kBoxes[i],
                     CtlKind::GroupBox,
                     device::kInstanceFields[i].caption,
                     {boxX[row][col], 143 + 27 * row, 64, 27},
                     kStyleDisabled | kStyleCentered});
        CtlSpec combo{kCombos[i],
                      CtlKind::EditCombo,
                      "",
                      {comboX[row][col], 154 + 27 * row, 56, 38},
                      kStyleDisabled};
        combo.items = items;
        c.push_back(combo);
    }
    c.push_back({kConfirm,
                 CtlKind::PushButton,
                 "C&onfirm Update Device Instance",
                 {88, 203, 127, 16},
                 kStyleDisabled});
    return t;
}

CAboutDlg::CAboutDlg(CMessageSink* messages, const QIcon& icon, QWidget* parent)
    : QDialog(parent), m_messages(messages) {
    setWindowIcon(icon);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    m_controls.Build(this, Template());
    auto click = [this](int id, void (CAboutDlg::*handler)()) {
        connect(qobject_cast<QAbstractButton*>(m_controls.Item(id)), &QAbstractButton::clicked,
                this, [this, handler] { (this->*handler)(); });
    };
    click(aboutids::kOk, &CAboutDlg::OnOK);
    click(aboutids::kProceed, &CAboutDlg::OnProceedChangeInstance);
    click(aboutids::kConfirm, &CAboutDlg::OnConfirmUpdateInstance);
    for (int id : {aboutids::kProductId, aboutids::kFirmwareVersion, aboutids::kSerialNumber})
        if (auto* edit = m_controls.ItemAs<QLineEdit>(id))
            edit->setFrame(true);
}

void CAboutDlg::DoDataExchange(bool take) {
    ExchangeText(m_controls.ItemAs<QLineEdit>(aboutids::kFirmwareVersion), m_strFirmwareVersion,
                 take);
    ExchangeText(m_controls.ItemAs<QLineEdit>(aboutids::kProductId), m_strProductId, take);
    ExchangeUnsigned(m_controls.ItemAs<QLineEdit>(aboutids::kSerialNumber), m_dwSerialNumber, take);
    for (size_t i = 0; i < m_strInstances.size(); ++i)
        ExchangeComboText(m_controls.ItemAs<QComboBox>(aboutids::kCombos[i]), m_strInstances[i],
                          take);
}

int CAboutDlg::DoModal() {
    DoDataExchange(false);
    return exec() == QDialog::Accepted ? kResultOk : kResultCancel;
}

void CAboutDlg::OnProceedChangeInstance() {
    if (m_strInstances[0].isEmpty()) {
        if (m_messages != nullptr)
            m_messages->Show(this,
                             QStringLiteral("A simulator device must be connected to this computer "
                                            "before its device instances can be changed."),
                             MessageIcon::Exclamation);
        return;
    }
    for (size_t i = 0; i < m_strInstances.size(); ++i) {
        if (m_strInstances[i].isEmpty())
            continue;
        m_controls.Enable(aboutids::kBoxes[i], true);
        m_controls.Enable(aboutids::kCombos[i], true);
    }
    m_controls.Enable(aboutids::kConfirm, true);
}

void CAboutDlg::OnConfirmUpdateInstance() {
    m_bConfirmUpdate = 1;
    OnOK();
}

void CAboutDlg::OnOK() {
    DoDataExchange(true);
    accept();
}
