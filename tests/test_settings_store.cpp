// The settings file on disk: entries it must neither write through nor open,
// writes that fail part-way, links into another folder, stale temporaries.
#include "session/SettingsStore.h"

#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray Name(const QString& path) {
    return QFile::encodeName(path);
}
QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}
bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Each entry with its mode, inode, mtime, link target and content: equal
// snapshots mean nothing was written, replaced, removed or created.
QString Snapshot(const QStringList& folders) {
    QString text;
    for (const QString& folder : folders)
        for (const QFileInfo& i : QDir(folder).entryInfoList(QDir::AllEntries | QDir::System |
                                                             QDir::Hidden | QDir::NoDotAndDotDot)) {
            struct stat st {};
            lstat(Name(i.filePath()), &st);
            text +=
                QString::asprintf("%s %o %lu %ld %s %s\n", Name(i.filePath()).data(), st.st_mode,
                                  st.st_ino, st.st_mtim.tv_nsec, Name(i.symLinkTarget()).data(),
                                  S_ISREG(st.st_mode) ? Read(i.filePath()).data() : "");
        }
    return text;
}

} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT
    QTemporaryDir m_root;
    // The settings file in exe/, link targets in other/: both emptied for each case.
    const QString m_exe = m_root.filePath("exe"), m_other = m_root.filePath("other");
    const QString m_path = m_exe + "/Quarnel.ini";

private slots:
    void init() {
        for (const QString& folder : {m_exe, m_other})
            QVERIFY(QDir(folder).removeRecursively() && QDir().mkpath(folder));
    }

    // Each row makes an entry at the settings path; Load and Save report it
    // and leave both folders as they were. A FIFO must never be opened: a
    // watcher sees any reader, and lets a blocked one go.
    void refusesWhatIsNotARegularFile() {
        const QString target = m_other + "/Quarnel.ini";
        const bool root = geteuid() == 0;
        for (auto [name, make, what] :
             std::initializer_list<std::tuple<const char*, std::function<int()>, const char*>>{
                 {"FIFO", [&] { return mkfifo(Name(m_path), 0644); }, "(a FIFO)"},
                 {"directory", [&] { return mkdir(Name(m_path), 0755); }, "is a directory"},
                 {"device",
                  [&] { return root ? mknod(Name(m_path), S_IFCHR | 0666, makedev(1, 3)) : -1; },
                  "(a device)"},
                 {"link to a device", [&] { return symlink("/dev/null", Name(m_path)); },
                  "is a link to a device: it points to /dev/null"},
                 {"link to a FIFO",
                  [&] { return mkfifo(Name(target), 0644) | symlink(Name(target), Name(m_path)); },
                  "is a link to a FIFO"},
                 {"dangling link", [&] { return symlink(Name(target), Name(m_path)); },
                  "is a dangling link"},
                 {"link loop", [&] { return symlink(Name(m_path), Name(m_path)); },
                  "is a link loop"},
             }) {
            init();
            if (make() != 0) {
                qInfo("%s: cannot be made here, not tried", name);
                continue;
            }
            const QString before = Snapshot({m_exe, m_other});
            std::atomic<bool> done = false, opened = false;
            std::thread watcher([&] {
                struct stat st {};
                while (!done && stat(Name(m_path), &st) == 0 && S_ISFIFO(st.st_mode))
                    if (const int fd = open(Name(m_path), O_WRONLY | O_NONBLOCK); fd >= 0) {
                        opened = true;
                        close(fd);
                    }
            });
            settings::CSettingsStore store(m_path);
            const settings::LoadResult loaded = store.Load();
            const QString saved = store.Save("COM7");
            done = true;
            watcher.join();
            QVERIFY2(loaded.failure.contains(what) && saved.contains(what),
                     qPrintable(name + (" -> " + loaded.failure + " / " + saved)));
            QCOMPARE(loaded.port, "COM1");
            QVERIFY2(!opened, name);
            QCOMPARE(Snapshot({m_exe, m_other}), before);
        }
    }

    // Each row: whether the settings path is a link to other/Quarnel.ini, the
    // content before (nullptr: none), after how many bytes each write fails
    // (-1: never), then what follows: the port Load gives, what Save("COM7")
    // says, the content afterwards and how many writes were tried. A file
    // keeps its permissions; no temporary is left.
    void writesOnlyWhole() {
        for (auto [link, before, failAt, expected] :
             std::initializer_list<std::tuple<bool, const char*, int, const char*>>{
                 {false, nullptr, -1, "COM1, saved, COM=7;\r\n, 2 writes"},
                 {false, "", -1, "COM1, saved, COM=7;\r\n, 2 writes"},
                 {false, "COM=12", -1, "COM1 rewrite, saved, COM=7;\r\n, 1 writes"},
                 {false, "COM=7;\r\n", -1, "COM7, saved, COM=7;\r\n, 0 writes"},
                 {false, "COM=4;\r\n", 3, "COM4, cannot be written, COM=4;\r\n, 1 writes"},
                 {false, nullptr, 0, "COM1 failed, cannot be created, (none), 2 writes"},
                 {true, "COM=3;\r\n", -1, "COM3, saved, COM=7;\r\n, 1 writes"},
                 {true, "COM=3;\r\n", 5, "COM3, cannot be written, COM=3;\r\n, 1 writes"},
                 {true, "COM=7;\r\n", -1, "COM7, saved, COM=7;\r\n, 0 writes"},
             }) {
            init();
            const QString file = link ? m_other + "/Quarnel.ini" : m_path;
            QVERIFY(!link || QFile::link(file, m_path));
            QVERIFY(!before || (Write(file, before) && chmod(Name(file), 0604) == 0));
            settings::CSettingsStore store(m_path);
            int tried = 0;
            store.SetWriteHookForTests([&](QFileDevice& out, const char* data, qint64 size) {
                ++tried;
                return out.write(data, failAt < 0 ? size : failAt);
            });
            const settings::LoadResult loaded = store.Load();
            const QString unsaved = Snapshot({m_exe, m_other});
            const QString saved = store.Save("COM7");
            const QString row = QStringLiteral("%1%2: ").arg(before, link ? " via link" : "");
            QCOMPARE(row + QStringLiteral("%1%2%3, %4, %5, %6 writes")
                               .arg(loaded.port.c_str(), loaded.rewrite ? " rewrite" : "",
                                    loaded.failure.isEmpty() ? "" : " failed",
                                    saved.isEmpty() ? "saved"
                                                    : saved.section(": ", 0, 0).section(' ', -3),
                                    Read(file))
                               .arg(tried),
                     row + expected);
            QCOMPARE(QFileInfo(m_path).symLinkTarget(), link ? file : QString());
            struct stat st {};
            QVERIFY(!before || (stat(Name(file), &st) == 0 && (st.st_mode & 07777) == 0604));
            if (tried == 0) // not even touched: same inode, same mtime
                QCOMPARE(Snapshot({m_exe, m_other}), unsaved);
            QCOMPARE(Snapshot({m_exe, m_other}).count("saving-"), 0);
        }
    }

    // Temporaries that an interrupted write left beside the link and beside
    // its target go at Load; look-alikes, a folder and a link stay.
    void removesStaleTemporaries() {
        QVERIFY(Write(m_other + "/Quarnel.ini", "COM=3;\r\n") &&
                QFile::link(m_other + "/Quarnel.ini", m_path));
        const QStringList stale = {"exe/Quarnel.ini.saving-a1B2c3", "exe/Quarnel.ini.XlHVfe",
                                   "other/Quarnel.ini.saving-ZZZZZZ", "other/Quarnel.ini.AbCdEf"};
        const QStringList kept = {"exe/Quarnel.ini.backup",           "exe/Quarnel.ini.BACKUP",
                                  "exe/Quarnel.ini.Ab3dEf",           "exe/Quarnel.ini.saving-abc",
                                  "other/Quarnel.ini.saving-abcdefg", "other/Quarnel.ini~"};
        for (const QString& name : stale + kept)
            QVERIFY(Write(m_root.filePath(name), "COM="));
        QVERIFY(QDir().mkdir(m_exe + "/Quarnel.ini.AbCdEg") &&
                QFile::link(m_path, m_exe + "/Quarnel.ini.AbCdEh"));
        QCOMPARE(settings::CSettingsStore(m_path).Load().port, "COM3");
        for (const QString& name :
             stale + kept + QStringList{"exe/Quarnel.ini.AbCdEg", "exe/Quarnel.ini.AbCdEh"})
            QVERIFY2(QFileInfo::exists(m_root.filePath(name)) != stale.contains(name),
                     qPrintable(name));
    }

    // A real full disk: the old bytes stay, nothing half-written is left.
    void fullDiskKeepsTheOldFile() {
        if (geteuid() != 0)
            QSKIP("mounting a small tmpfs needs root");
        const QString mnt = m_exe + "/mnt";
        QVERIFY(QDir().mkdir(mnt));
        if (mount("tmpfs", Name(mnt), "tmpfs", 0, "size=64k") != 0)
            QSKIP("a tmpfs cannot be mounted here");
        const auto unmount = qScopeGuard([&] { umount(Name(mnt)); });
        const QString path = mnt + "/Quarnel.ini";
        QVERIFY(Write(path, "COM=1;\r\n"));
        QFile fill(mnt + "/fill");
        QVERIFY(fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (fill.write(QByteArray(4096, 'x')) > 0) {
        }
        const QString failure = settings::CSettingsStore(path).Save("COM12345");
        QVERIFY2(failure.contains("cannot be written: No space left on device"),
                 qPrintable(failure));
        QCOMPARE(Read(path), "COM=1;\r\n");
        QCOMPARE(QDir(mnt).entryList(QDir::Files), QStringList({"fill", "Quarnel.ini"}));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "test_settings_store.moc"
