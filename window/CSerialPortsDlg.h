#pragma once
// The Serial Ports dialog: the serial devices this computer has, what each of
// the terminal's ports COM1..COM30 opens now, and (on Linux) assigning a
// device to a port or taking the assignment away.
#include "session/PortMap.h"

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

class CSerialPortsDlg : public QDialog {
    Q_OBJECT

public:
    enum class Mode {
        Assignable, // Assign and Remove change the links in the data folder
        ReadOnly,   // only shows; where ports cannot be assigned
    };
#ifdef Q_OS_WIN
    static constexpr Mode kDefaultMode = Mode::ReadOnly;
#else
    static constexpr Mode kDefaultMode = Mode::Assignable;
#endif
    // Where the system's serial devices come from; tests give their own.
    using PortSource = std::function<QList<ports::SystemPort>()>;

    explicit CSerialPortsDlg(QString dataFolder, QWidget* parent = nullptr,
                             Mode mode = kDefaultMode, PortSource source = ports::SystemPorts);

    // Reads the system's devices and the port links again.
    void Refresh();

private:
    int SelectedPort() const; // 1..30, or 0 when none is selected
    void UpdateButtons();
    void OnAssign();
    void OnRemove();
    void ShowResult(const QString& problem);

    QString m_dataFolder;
    PortSource m_source;
    bool m_assignable;
    QList<ports::SystemPort> m_systemPorts;
    QTableWidget* m_systemTable = nullptr;
    QListWidget* m_portList = nullptr;
    QLineEdit* m_device = nullptr;
    QPushButton* m_assign = nullptr;
    QPushButton* m_remove = nullptr;
    QLabel* m_status = nullptr;
};
