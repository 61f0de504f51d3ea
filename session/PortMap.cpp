#include "session/PortMap.h"

#include "core/LinkInPlace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include <filesystem>
#include <system_error>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace ports {

namespace {

// The per-user folder has a fixed name, so that the terminal and brendlowctl
// find the same links whatever each program calls itself.
constexpr const char* kUserFolderName = "BrendlowTerminal";

QString Tr(const char* text) {
    return QCoreApplication::translate("ports", text);
}

QString PortName(int n) {
    return QStringLiteral("COM%1").arg(n);
}

std::filesystem::path Native(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// A serial device is a character device. A link may lead to anything else (a
// file, a folder, a pipe, the ports folder itself); none of those is a port.
bool IsCharacterDevice(const QString& path) {
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return true;
#else
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
#endif
}

// A name whose bytes are not text in the system's encoding cannot be carried
// as a QString and opened again: it would name another file.
bool NameIsText(const QByteArray& bytes) {
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
}

// What is at ports/COMn, before deciding what that means.
struct Entry {
    enum State {
        NoDataFolder,
        NoLinkFolder,
        NotAFolder,
        Missing,
        Dangling,
        NotADevice,
        NameNotText,
        Present
    } state = NoLinkFolder;
    QString entryPath; // the folder's or ports/COMn's absolute path
    QString target;    // where the link points, when it is one
    QString device;    // the path to open, for Present
};

Entry Look(int n, const QString& dataFolder) {
    Entry e;
    if (!QFileInfo(dataFolder).isDir()) {
        e.state = Entry::NoDataFolder;
        e.entryPath = dataFolder;
        return e;
    }
    const QFileInfo folder(QDir(dataFolder).absoluteFilePath(QLatin1String(kLinkFolder)));
    e.entryPath = folder.absoluteFilePath();
    if (!folder.exists() && !folder.isSymLink())
        return e;
    if (!folder.isDir()) {
        e.state = Entry::NotAFolder;
        return e;
    }
    const QFileInfo entry(QDir(folder.absoluteFilePath()).absoluteFilePath(PortName(n)));
    e.entryPath = entry.absoluteFilePath();
    e.target = entry.isSymLink() ? entry.symLinkTarget() : QString();
    if (!entry.exists()) {
        e.state = entry.isSymLink() ? Entry::Dangling : Entry::Missing;
        return e;
    }
    std::error_code error;
    const std::filesystem::path device = std::filesystem::canonical(Native(e.entryPath), error);
    if (!error && !NameIsText(QByteArray::fromStdString(device.string()))) {
        e.state = Entry::NameNotText;
        return e;
    }
    // Open the device itself, so that its lock is the device's.
    e.device = entry.canonicalFilePath();
    e.state = IsCharacterDevice(e.device) ? Entry::Present : Entry::NotADevice;
    return e;
}

// The operator who meets an absent port learns in the same line how to
// assign it, from the window or from a script.
QString HowToAssign(int n) {
    return Tr("assign one with \"Serial Ports...\" (right-click the window) or "
              "brendlowctl ports --assign %1=PATH")
        .arg(PortName(n));
}

bool Exists(const QFileInfo& info) {
    return info.exists() || info.isSymLink();
}

// A build tree is known by the CMakeCache.txt that CMake writes at its top
// and that no install step copies. It is looked for in the executable's
// folder and every folder above it, not only the first: the benchmarks and
// the soak run start copies of the terminal in run folders a few levels
// down, and those keep their settings and links in their own folder as the
// build's programs do. An installed copy (/usr/bin, /usr/local/bin, a
// temporary prefix) has no cache above it, so it never writes beside itself,
// not even as root, who can write there; a prefix chosen inside a build tree
// is taken as part of that tree.
bool InBuildTree(const QString& executableFolder) {
    for (QDir folder(QFileInfo(executableFolder).absoluteFilePath());;) {
        if (QFileInfo(folder.filePath(QStringLiteral("CMakeCache.txt"))).isFile())
            return true;
        if (!folder.cdUp())
            return false;
    }
}

} // namespace

QStringList PortNames() {
    QStringList names;
    for (int n = 1; n <= kPortCount; ++n)
        names << PortName(n);
    return names;
}

int PortNumberFromName(const QString& name) {
    const int n = static_cast<int>(PortNames().indexOf(name)) + 1;
    return n > 0 ? n : 1;
}

QString DataFolder(const QString& executableFolder) {
    const QFileInfo folder(executableFolder);
    if (folder.isDir() && folder.isWritable() && InBuildTree(executableFolder))
        return executableFolder;
#ifdef Q_OS_WIN
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#else
    // A relative XDG_CONFIG_HOME is to be ignored, as the XDG rules say: it
    // would put the links wherever the program happens to be started.
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString base =
        QDir::isAbsolutePath(xdg) ? xdg : QDir::home().absoluteFilePath(QStringLiteral(".config"));
#endif
    const QString user = QDir(base).absoluteFilePath(QLatin1String(kUserFolderName));
    QDir().mkpath(user);
    return user;
}

Resolution Resolve(int n, const QString& dataFolder) {
#ifdef Q_OS_WIN
    Q_UNUSED(dataFolder);
    return {PortName(n), {}};
#else
    const Entry e = Look(n, dataFolder);
    switch (e.state) {
    case Entry::NoDataFolder:
        // Not the built-in ports: the links that would say otherwise cannot
        // be read.
        return {{},
                Tr("the data folder %1 does not exist and cannot be made, so the port links "
                   "cannot be read")
                    .arg(e.entryPath)};
    case Entry::NoLinkFolder:
        return {QStringLiteral("/dev/ttyS%1").arg(n - 1), {}};
    case Entry::NotAFolder:
        return {{}, Tr("%1 is not a folder").arg(e.entryPath)};
    case Entry::Missing:
        return {
            {},
            Tr("no device is assigned (there is no link %1); %2").arg(e.entryPath, HowToAssign(n))};
    case Entry::Dangling:
        return {{},
                Tr("no device is assigned (%1 leads to %2, which does not exist); %3")
                    .arg(e.entryPath, e.target, HowToAssign(n))};
    case Entry::NotADevice:
        return {{},
                Tr("no device is assigned (%1 leads to %2, which is not a serial device); %3")
                    .arg(e.entryPath, e.device, HowToAssign(n))};
    case Entry::NameNotText:
        return {{},
                Tr("%1 leads to a device whose name is not valid text and cannot be opened by "
                   "it; %2")
                    .arg(e.entryPath, HowToAssign(n))};
    case Entry::Present:
        break;
    }
    return {e.device, {}};
#endif
}

QString Describe(int n, const QString& dataFolder) {
#ifdef Q_OS_WIN
    Q_UNUSED(dataFolder);
    return PortName(n);
#else
    const Entry e = Look(n, dataFolder);
    const QString port = PortName(n);
    switch (e.state) {
    case Entry::NoDataFolder:
        return Tr("%1: not assigned (no data folder %2)").arg(port, e.entryPath);
    case Entry::NoLinkFolder:
        return Tr("%1 → /dev/ttyS%2").arg(port).arg(n - 1);
    case Entry::NotAFolder:
        return Tr("%1: not assigned (ports is not a folder)").arg(port);
    case Entry::Missing:
        return Tr("%1: not assigned (no ports/%1)").arg(port);
    case Entry::Dangling:
        return Tr("%1: not assigned (ports/%1 → %2, which is missing)").arg(port, e.target);
    case Entry::NotADevice:
        return Tr("%1: not assigned (ports/%1 → %2, which is not a device)").arg(port, e.device);
    case Entry::NameNotText:
        return Tr("%1: not assigned (ports/%1 leads to a name that is not valid text)").arg(port);
    case Entry::Present:
        break;
    }
    const QString shown = e.target.isEmpty() ? e.entryPath : e.target;
    if (shown == e.device)
        return Tr("%1 → %2").arg(port, shown);
    return Tr("%1 → %2 (%3)").arg(port, shown, e.device);
#endif
}

QString StablePath(const QString& devicePath, const QString& byIdFolder) {
    const QFileInfo device(devicePath);
    const QString canonical = device.canonicalFilePath();
    if (canonical.isEmpty())
        return {};
    const QDir folder(byIdFolder);
    if (device.absolutePath() == folder.absolutePath())
        return device.absoluteFilePath();
    const QFileInfoList entries =
        folder.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries)
        if (entry.canonicalFilePath() == canonical)
            return entry.absoluteFilePath();
    return {};
}

QList<SystemPort> SystemPorts() {
    QList<SystemPort> list;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        list.append({info.portName(), info.systemLocation(), info.description(),
                     info.manufacturer(), info.serialNumber(), StablePath(info.systemLocation())});
    return list;
}

QString Assign(int n, const QString& devicePath, const QString& dataFolder,
               const QString& byIdFolder) {
#ifdef Q_OS_WIN
    Q_UNUSED(n);
    Q_UNUSED(devicePath);
    Q_UNUSED(dataFolder);
    Q_UNUSED(byIdFolder);
    return Tr("On Windows each COM port is the Windows port of that name; there is nothing to "
              "assign.");
#else
    if (n < 1 || n > kPortCount)
        return Tr("There is no port COM%1.").arg(n);
    const QFileInfo device(devicePath);
    if (devicePath.isEmpty() || !device.exists())
        return Tr("%1 does not exist.").arg(devicePath);
    if (!IsCharacterDevice(devicePath))
        return Tr("%1 is not a serial device (a character device such as /dev/ttyUSB0).")
            .arg(devicePath);
    const QDir data(dataFolder);
    if (!data.mkpath(QLatin1String(kLinkFolder)))
        return Tr("Cannot create the folder %1.").arg(data.absoluteFilePath(kLinkFolder));
    const QDir links(data.absoluteFilePath(QLatin1String(kLinkFolder)));
    // A link to another of our own links would change when that one is
    // reassigned: lead to the device itself.
    QString target = StablePath(devicePath, byIdFolder);
    if (target.isEmpty())
        target = device.absolutePath() == links.absolutePath() ? device.canonicalFilePath()
                                                               : device.absoluteFilePath();
    const QString entry = links.absoluteFilePath(PortName(n));
    const QFileInfo existing(entry);
    if (Exists(existing) && !existing.isSymLink())
        return Tr("%1 exists and is not a link; it is left as it is.").arg(entry);
    // Replaced in place, so that COMn never goes missing in between.
    const std::string error = links::LinkInPlace(Native(target), Native(entry));
    if (!error.empty())
        return Tr("Cannot make the link %1: %2").arg(entry, QString::fromLocal8Bit(error.c_str()));
    return {};
#endif
}

QString LinkPath(int n, const QString& dataFolder) {
    return QDir(dataFolder).absoluteFilePath(QLatin1String(kLinkFolder) + '/' + PortName(n));
}

QString Remove(int n, const QString& dataFolder) {
    const QString entry = LinkPath(n, dataFolder);
    const QFileInfo info(entry);
    if (!info.isSymLink())
        return Exists(info) ? Tr("%1 is not a link; it is left as it is.").arg(entry)
                            : Tr("COM%1 has no link to remove.").arg(n);
    std::error_code error;
    if (!std::filesystem::remove(Native(entry), error) || error)
        return Tr("Cannot remove %1: %2")
            .arg(entry, QString::fromLocal8Bit(error.message().c_str()));
    return {};
}

QString PortLabel(int n, const QString& path) {
    if (path.isEmpty())
        return QStringLiteral("COM%1").arg(n);
    return n <= 0 ? path : QStringLiteral("COM%1 (%2)").arg(n).arg(path);
}

QString OpenFailureText(int n, const QString& path, QSerialPort::SerialPortError error,
                        const QString& errorString) {
    QString text = Tr("Cannot open %1: %2").arg(PortLabel(n, path), errorString);
#ifndef Q_OS_WIN
    if (error == QSerialPort::PermissionError) {
        // The same error stands for a device another program holds: only a
        // device we may not use at all calls for the group.
        const QFileInfo device(path);
        if (device.isReadable() && device.isWritable())
            text += Tr("\n\nThe device may be in use by another program.");
        else
            text += Tr("\n\nUsing a serial device needs membership of the dialout group: run\n"
                       "    sudo usermod -aG dialout $USER\n"
                       "then log out and in again.");
    }
#else
    Q_UNUSED(error);
#endif
    return text;
}

} // namespace ports
