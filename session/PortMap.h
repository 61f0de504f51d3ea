#pragma once
// Which device each of the terminal's ports COM1..COM30 opens, where the
// remembered port and the port links live, and the texts that tell the
// operator about it. The window, the Serial Ports dialog and brendlowctl all
// ask here, so they never disagree.
#include <QList>
#include <QSerialPort>
#include <QString>
#include <QStringList>

namespace ports {

inline constexpr int kPortCount = 30;
// Where udev keeps names that stay the same when a USB adapter is plugged
// into another socket.
inline constexpr const char* kByIdFolder = "/dev/serial/by-id";
// The folder of port links inside the data folder.
inline constexpr const char* kLinkFolder = "ports";

// "COM1".."COM30".
QStringList PortNames();
// "COM1".."COM30" give 1..30; anything else 1.
int PortNumberFromName(const QString& name);

// The folder that holds the settings file and the ports/ links: the
// executable's folder for a copy in a build tree the user can write, else
// the per-user configuration folder (created when missing), so that an
// installed copy never writes beside itself.
QString DataFolder(const QString& executableFolder);

// What opening COMn means: the device path to open, or why there is none.
struct Resolution {
    QString path;    // empty when the port is absent
    QString problem; // why it is absent; empty when path is set
};

// Linux: with no ports/ folder, COMn is /dev/ttyS{n-1}. With one, COMn is
// what ports/COMn points to, and absent when that entry is missing or leads
// nowhere: never some other device. Windows: "COMn".
Resolution Resolve(int n, const QString& dataFolder);

// One line on what COMn opens now, for tooltips and listings.
QString Describe(int n, const QString& dataFolder);

// A serial device the system reports.
struct SystemPort {
    QString name;         // ttyUSB0
    QString path;         // /dev/ttyUSB0
    QString description;  // from the device
    QString manufacturer; // from the device
    QString serialNumber; // from the device
    QString byIdPath;     // the stable name leading to the same device, or empty
};
QList<SystemPort> SystemPorts();

// The entry of byIdFolder that leads to the same device as devicePath, or
// empty when there is none.
QString StablePath(const QString& devicePath, const QString& byIdFolder = kByIdFolder);

// The path of the link ports/COMn in the data folder.
QString LinkPath(int n, const QString& dataFolder);

// Makes ports/COMn a symbolic link to devicePath (to its stable name when it
// has one), replacing an existing link. Returns empty, or the reason.
QString Assign(int n, const QString& devicePath, const QString& dataFolder,
               const QString& byIdFolder = kByIdFolder);
// Deletes the link ports/COMn. Returns empty, or the reason.
QString Remove(int n, const QString& dataFolder);

// How a message names a port: "COM3 (/dev/ttyUSB0)", "COM3" with no path,
// the path alone with n of 0 (a device named by its path).
QString PortLabel(int n, const QString& path);

// The message for a port that would not open. With an empty path,
// errorString is the reason the port is absent; with n of 0, the device
// was named by its path alone (no COM number stands for it).
QString OpenFailureText(int n, const QString& path, QSerialPort::SerialPortError error,
                        const QString& errorString);

} // namespace ports
