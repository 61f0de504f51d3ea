// Which device each COM port opens, the links that say so, the Serial Ports
// dialog that makes them, where the data folder is, and the open-failure text.
// The port a typed name opens is in test_terminal_window.
#include "session/PortMap.h"
#include "window/CSerialPortsDlg.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A link at ports/COMn is what the operator's "ln -s" or Assign leaves.
void Link(const QString& target, const QString& link) {
    QDir().mkpath(QFileInfo(link).absolutePath());
    QVERIFY(QFile::link(target, link));
}

void Touch(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

// A pseudo-terminal: a character device, as a serial port is.
class Pty {
public:
    Pty() : m_fd(posix_openpt(O_RDWR | O_NOCTTY)) {
        if (m_fd >= 0 && grantpt(m_fd) == 0 && unlockpt(m_fd) == 0)
            m_path = QString::fromLocal8Bit(ptsname(m_fd));
    }
    ~Pty() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    const QString& Path() const { return m_path; }

private:
    int m_fd;
    QString m_path;
};

} // namespace

class PortMapTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString Data() const { return m_dir->path(); }
    QString Path(const QString& name) const { return m_dir->filePath(name); }
    QString LinkTarget(int n) const {
        return QFileInfo(ports::LinkPath(n, Data())).symLinkTarget();
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // Each row: what is in its data folder d, the port, the path it opens
    // (empty: absent) and what Describe says.
    void resolution() {
        const Pty pty, other;
        QVERIFY(!pty.Path().isEmpty() && !other.Path().isEmpty());
        const QString ptyPath = pty.Path(), device = other.Path();
        const QString file = Path("file"), byId = Path("by-id/usb-X-if00");
        // A file whose name is not UTF-8: no QString names it.
        const QByteArray notText = QFile::encodeName(Path("")) + "\xff\xfe";
        const int made = ::open(notText.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(made >= 0);
        ::close(made);
        const struct {
            std::function<void(const QString& d)> setUp;
            int n;
            QString opens, describes;
            bool assignable = false; // absent, and the message tells how to assign it
        } rows[] = {
            {[](auto&) {}, 5, "/dev/ttyS4", "COM5 → /dev/ttyS4"},
            {[](auto& d) { QDir(d).mkpath("ports"); }, 4, "", "COM4: not assigned (no ports/COM4)",
             true},
            {[](auto& d) { Link("/nonexistent/ttyUSB3", d + "/ports/COM6"); }, 6, "",
             "COM6: not assigned (ports/COM6 → /nonexistent/ttyUSB3, which is missing)", true},
            {[&](auto& d) { Link(ptyPath, d + "/ports/COM1"); }, 1, ptyPath, "COM1 → " + ptyPath},
            {[&](auto& d) {
                 Link(device, byId);
                 Link(byId, d + "/ports/COM7");
             },
             7, device, QString("COM7 → %1 (%2)").arg(byId, device)},
            {[](auto& d) { Touch(d + "/ports"); }, 2, "",
             "COM2: not assigned (ports is not a folder)"},
            // What is not a character device is no port, whatever leads to it.
            {[&](auto& d) {
                 Touch(file);
                 Link(file, d + "/ports/COM8");
             },
             8, "",
             QString("COM8: not assigned (ports/COM8 → %1, which is not a device)").arg(file),
             true},
            {[](auto& d) { Link(d + "/ports", d + "/ports/COM9"); }, 9, "",
             "COM9: not assigned (ports/COM9 → " + Path("8/ports") + ", which is not a device)",
             true},
            {[&](auto& d) {
                 QDir().mkpath(d + "/ports");
                 QVERIFY(::symlink(notText.constData(),
                                   QFile::encodeName(d + "/ports/COM10").constData()) == 0);
             },
             10, "", "COM10: not assigned (ports/COM10 leads to a name that is not valid text)",
             true},
            // With no data folder the links cannot be read: no built-in port
            // stands in for them.
            {[](auto& d) { QDir(d).removeRecursively(); }, 3, "",
             "COM3: not assigned (no data folder " + Path("10") + ")"},
        };
        int i = 0;
        for (const auto& row : rows) {
            const QString d = Path(QString::number(++i));
            QDir().mkpath(d);
            row.setUp(d);
            const ports::Resolution r = ports::Resolve(row.n, d);
            QCOMPARE(r.path, row.opens);
            QCOMPARE(r.problem.isEmpty(), !row.opens.isEmpty());
            // One line, for the status log and brendlowctl's stderr.
            QVERIFY2(!r.problem.contains('\n'), qPrintable(r.problem));
            const QString how = QString("brendlowctl ports --assign COM%1=PATH").arg(row.n);
            QCOMPARE(r.problem.contains("Serial Ports") && r.problem.contains(how), row.assignable);
            QCOMPARE(ports::Describe(row.n, d), row.describes);
        }
    }

    void assignAndRemoveMakeAndDeleteLinks() {
        const Pty ptyA, ptyB;
        const QString data = Data(), a = ptyA.Path(), b = ptyB.Path();
        Link(b, Path("by-id/usb-B"));
        QCOMPARE(ports::Assign(2, a, data, Path("by-id")), QString());
        QCOMPARE(LinkTarget(2), a);
        QCOMPARE(ports::Assign(2, b, data, Path("by-id")), QString()); // replaced, stable name
        QCOMPARE(LinkTarget(2), Path("by-id/usb-B"));
        QCOMPARE(ports::Resolve(2, data).path, b);
        Touch(Path("ports/COM5"));
        // Only a character device is assigned: not a file, a folder, a pipe
        // or the ports folder itself.
        Touch(Path("file"));
        QVERIFY(::mkfifo(QFile::encodeName(Path("fifo")).constData(), 0600) == 0);
        for (auto [n, device] : {std::pair{5, a},
                                 {31, a},
                                 {4, Path("missing")},
                                 {4, Path("file")},
                                 {4, Path("fifo")},
                                 {4, Path("ports")},
                                 {4, Data()}})
            QVERIFY2(!ports::Assign(n, device, data, Path("by-id")).isEmpty(), qPrintable(device));
        QVERIFY(!QFileInfo(Path("ports/COM4")).isSymLink());
        QCOMPARE(ports::Remove(2, data), QString());
        QVERIFY(!QFileInfo::exists(Path("ports/COM2")) &&
                !QFileInfo(Path("ports/COM2")).isSymLink());
        QVERIFY(!ports::Remove(2, data).isEmpty()); // nothing left to remove
        QVERIFY(!ports::Remove(5, data).isEmpty()); // not a link: left alone
        QVERIFY(QFileInfo::exists(Path("ports/COM5")));
    }

    void dialogAssignsAndRemoves() {
        const Pty pty;
        const QString device = pty.Path();
        ports::SystemPort fake;
        fake.path = device;
        CSerialPortsDlg dlg(Data(), nullptr, CSerialPortsDlg::Mode::Assignable,
                            [&] { return QList{fake}; });
        auto* system = dlg.findChild<QTableWidget*>("systemPorts");
        auto* list = dlg.findChild<QListWidget*>("terminalPorts");
        auto* assign = dlg.findChild<QPushButton*>("assign");
        auto* remove = dlg.findChild<QPushButton*>("remove");
        QVERIFY(!assign->isEnabled() && !remove->isEnabled());
        system->selectRow(0);
        QCOMPARE(dlg.findChild<QLineEdit*>("device")->text(), device);
        list->setCurrentRow(2);
        QVERIFY(assign->isEnabled() && !remove->isEnabled());
        assign->click();
        QCOMPARE(LinkTarget(3), device);
        QCOMPARE(list->item(2)->text(), "COM3 → " + device);
        QVERIFY(remove->isEnabled());
        remove->click();
        QVERIFY(!QFileInfo(Path("ports/COM3")).isSymLink());
        QCOMPARE(list->item(2)->text(), "COM3: not assigned (no ports/COM3)");
        QVERIFY(!remove->isEnabled());

        CSerialPortsDlg readOnly(Data(), nullptr, CSerialPortsDlg::Mode::ReadOnly);
        QVERIFY(readOnly.findChild<QPushButton*>("assign")->isHidden());
        QVERIFY(readOnly.findChild<QPushButton*>("remove")->isHidden());
    }

    // Only a copy in a build tree keeps its data beside itself; any other
    // copy, even one whose folder the user (root, say) can write, uses the
    // per-user folder.
    void dataFolder() {
        for (QDir d(Data());;)
            if (QFileInfo(d.filePath("CMakeCache.txt")).exists())
                QSKIP("the temporary folder lies in a build tree");
            else if (!d.cdUp())
                break;
        qputenv("XDG_CONFIG_HOME", Path("config").toLocal8Bit());
        const QString perUser = Path("config/BrendlowTerminal");
        QDir().mkpath(Path("build/bench/runs/flood"));
        Touch(Path("build/CMakeCache.txt"));
        QDir().mkpath(Path("prefix/bin"));
        QDir().mkpath(Path("cache-folder/CMakeCache.txt"));
        QVERIFY(!QFileInfo::exists(perUser));
        const struct {
            QString program, data;
        } rows[] = {
            {Path("build"), Path("build")},
            {Path("build/bench/runs/flood"), Path("build/bench/runs/flood")},
            {Path("prefix/bin"), perUser},
            {Path("not-there"), perUser},
            {Path("cache-folder"), perUser}, // a folder of that name is no build's cache
        };
        for (const auto& row : rows)
            QCOMPARE(ports::DataFolder(row.program), row.data);
        QVERIFY(QFileInfo(perUser).isDir());
        // A relative XDG_CONFIG_HOME is ignored, as the XDG rules say.
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", Path("home").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", "config");
        const QString relative = ports::DataFolder(Path("prefix/bin"));
        qputenv("HOME", home);
        QCOMPARE(relative, Path("home/.config/BrendlowTerminal"));
        if (geteuid() == 0)
            QSKIP("root can write any folder; the read-only build tree needs another user");
        QFile::setPermissions(Path("build"), QFile::ReadOwner | QFile::ExeOwner);
        const QString readOnly = ports::DataFolder(Path("build"));
        QFile::setPermissions(Path("build"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(readOnly, perUser);
    }

    // A device we may not use calls for the dialout group; one we may use is
    // held by another program; other errors are told as they are.
    void openFailureText() {
        const QString held = Path("held");
        Touch(held);
        const QString denied =
            ports::OpenFailureText(3, "/nonexistent/tty", QSerialPort::PermissionError, "why");
        QVERIFY2(denied.startsWith("Cannot open COM3 (/nonexistent/tty): why\n\n") &&
                     denied.contains("sudo usermod -aG dialout $USER"),
                 qPrintable(denied));
        const QString inUse = ports::OpenFailureText(3, held, QSerialPort::PermissionError, "why");
        QVERIFY2(inUse.contains("in use by another program") && !inUse.contains("dialout"),
                 qPrintable(inUse));
        QCOMPARE(ports::OpenFailureText(5, "", QSerialPort::DeviceNotFoundError, "why"),
                 QString("Cannot open COM5: why"));
        // A device named by its path (brendlowctl --port PATH) has no COM number.
        QCOMPARE(ports::OpenFailureText(0, "/dev/ttyUSB9", QSerialPort::DeviceNotFoundError, "why"),
                 QString("Cannot open /dev/ttyUSB9: why"));
    }
};

QTEST_MAIN(PortMapTest)
#include "test_port_map.moc"
