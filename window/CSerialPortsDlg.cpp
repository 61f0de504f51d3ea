#include "window/CSerialPortsDlg.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

CSerialPortsDlg::CSerialPortsDlg(QString dataFolder, QWidget* parent, Mode mode, PortSource source)
    : QDialog(parent), m_dataFolder(std::move(dataFolder)), m_source(std::move(source)),
      m_assignable(mode == Mode::Assignable) {
    const bool assignable = m_assignable;
    setWindowTitle(tr("Serial Ports"));
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(tr("Serial devices of this computer:"), this));
    m_systemTable = new QTableWidget(0, 5, this);
    m_systemTable->setObjectName(QStringLiteral("systemPorts"));
    m_systemTable->setHorizontalHeaderLabels({tr("Device"), tr("Description"), tr("Manufacturer"),
                                              tr("Serial number"), tr("Stable path")});
    m_systemTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_systemTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_systemTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_systemTable->verticalHeader()->hide();
    m_systemTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_systemTable->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_systemTable, 2);

    auto* deviceRow = new QHBoxLayout;
    auto* deviceLabel = new QLabel(tr("&Device to assign:"), this);
    m_device = new QLineEdit(this);
    m_device->setObjectName(QStringLiteral("device"));
    m_device->setPlaceholderText(
        tr("select a device above, or type the path of any serial device"));
    deviceLabel->setBuddy(m_device);
    deviceRow->addWidget(deviceLabel);
    deviceRow->addWidget(m_device, 1);
    layout->addLayout(deviceRow);

    const QString linkFolder = QDir(m_dataFolder).absoluteFilePath(ports::kLinkFolder);
    layout->addWidget(new QLabel(assignable
                                     ? tr("The terminal's ports (links in %1):").arg(linkFolder)
                                     : tr("The terminal's ports:"),
                                 this));
    m_portList = new QListWidget(this);
    m_portList->setObjectName(QStringLiteral("terminalPorts"));
    layout->addWidget(m_portList, 3);

    if (assignable) {
        auto* note = new QLabel(tr("A port with no link there opens no device. Only with no ports "
                                   "folder at all does COMn open /dev/ttyS{n-1}."),
                                this);
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    m_status->setStyleSheet(QStringLiteral("color: #b00000"));
    layout->addWidget(m_status);

    auto* buttons = new QHBoxLayout;
    m_assign = new QPushButton(tr("&Assign"), this);
    m_assign->setObjectName(QStringLiteral("assign"));
    m_assign->setToolTip(tr("Make the selected port open the device above"));
    m_remove = new QPushButton(tr("&Remove"), this);
    m_remove->setObjectName(QStringLiteral("remove"));
    m_remove->setToolTip(tr("Delete the selected port's link"));
    auto* refresh = new QPushButton(tr("Re&fresh"), this);
    auto* close = new QPushButton(tr("Close"), this);
    buttons->addWidget(m_assign);
    buttons->addWidget(m_remove);
    buttons->addStretch(1);
    buttons->addWidget(refresh);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    deviceLabel->setVisible(assignable);
    m_device->setVisible(assignable);
    m_assign->setVisible(assignable);
    m_remove->setVisible(assignable);
    // Enter in the path field must not close the dialog.
    m_assign->setAutoDefault(false);
    m_remove->setAutoDefault(false);
    refresh->setAutoDefault(false);
    close->setAutoDefault(false);

    connect(m_systemTable, &QTableWidget::itemSelectionChanged, this, [this] {
        const int row = m_systemTable->currentRow();
        if (row >= 0 && row < m_systemPorts.size() && !m_systemTable->selectedItems().isEmpty()) {
            const ports::SystemPort& port = m_systemPorts[row];
            m_device->setText(port.byIdPath.isEmpty() ? port.path : port.byIdPath);
        }
    });
    connect(m_device, &QLineEdit::textChanged, this, &CSerialPortsDlg::UpdateButtons);
    connect(m_portList, &QListWidget::itemSelectionChanged, this, &CSerialPortsDlg::UpdateButtons);
    connect(m_assign, &QPushButton::clicked, this, &CSerialPortsDlg::OnAssign);
    connect(m_remove, &QPushButton::clicked, this, &CSerialPortsDlg::OnRemove);
    connect(refresh, &QPushButton::clicked, this, [this] {
        m_status->clear();
        Refresh();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    resize(820, 600);
    Refresh();
}

void CSerialPortsDlg::Refresh() {
    m_systemPorts = m_source ? m_source() : QList<ports::SystemPort>();
    m_systemTable->clearContents();
    m_systemTable->setRowCount(static_cast<int>(m_systemPorts.size()));
    for (int row = 0; row < m_systemPorts.size(); ++row) {
        const ports::SystemPort& p = m_systemPorts[row];
        const QStringList cells{p.path, p.description, p.manufacturer, p.serialNumber, p.byIdPath};
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setToolTip(cells[column]);
            m_systemTable->setItem(row, column, item);
        }
    }

    const int selected = SelectedPort();
    m_portList->clear();
    for (int n = 1; n <= ports::kPortCount; ++n) {
        auto* item = new QListWidgetItem(ports::Describe(n, m_dataFolder), m_portList);
        const ports::Resolution r = ports::Resolve(n, m_dataFolder);
        item->setToolTip(r.problem.isEmpty() ? tr("Opens %1").arg(r.path) : r.problem);
    }
    if (selected > 0)
        m_portList->setCurrentRow(selected - 1);
    UpdateButtons();
}

int CSerialPortsDlg::SelectedPort() const {
    const QList<QListWidgetItem*> items = m_portList->selectedItems();
    return items.isEmpty() ? 0 : m_portList->row(items.first()) + 1;
}

void CSerialPortsDlg::UpdateButtons() {
    const int n = SelectedPort();
    m_assign->setEnabled(n > 0 && !m_device->text().trimmed().isEmpty());
    m_remove->setEnabled(n > 0 && QFileInfo(ports::LinkPath(n, m_dataFolder)).isSymLink());
}

void CSerialPortsDlg::OnAssign() {
    const int n = SelectedPort();
    if (m_assignable && n > 0)
        ShowResult(ports::Assign(n, m_device->text().trimmed(), m_dataFolder));
}

void CSerialPortsDlg::OnRemove() {
    const int n = SelectedPort();
    if (m_assignable && n > 0)
        ShowResult(ports::Remove(n, m_dataFolder));
}

void CSerialPortsDlg::ShowResult(const QString& problem) {
    m_status->setText(problem);
    Refresh();
}
