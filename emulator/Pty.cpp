#include "emulator/Pty.h"

#include "core/LinkInPlace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace emulator {

namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

CPty::~CPty() {
    if (m_slave >= 0)
        close(m_slave);
    if (m_master >= 0)
        close(m_master);
}

std::string CPty::Open() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0)
        return SystemError("posix_openpt");
    char name[256];
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        ptsname_r(m_master, name, sizeof name) != 0)
        return SystemError("cannot unlock the pty");
    m_slavePath = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        return SystemError("cannot open " + m_slavePath);
    // Raw, 8N1: without this the line discipline would echo what we write
    // straight back to us and mangle CR LF.
    termios tio{};
    if (tcgetattr(m_slave, &tio) != 0)
        return SystemError("tcgetattr");
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    if (tcsetattr(m_slave, TCSANOW, &tio) != 0)
        return SystemError("tcsetattr");
    return {};
}

CPtyLink::~CPtyLink() {
    if (m_path.empty())
        return;
    std::error_code error;
    if (std::filesystem::read_symlink(m_path, error) == m_target && !error)
        std::filesystem::remove(m_path, error);
}

std::string CPtyLink::Make(const std::string& path, const std::string& target) {
    // A link in the working folder has no folder to make.
    if (const auto folder = std::filesystem::path(path).parent_path(); !folder.empty()) {
        std::error_code failed;
        std::filesystem::create_directories(folder, failed);
        if (failed)
            return failed.message();
    }
    if (const std::string error = links::LinkInPlace(target, path); !error.empty())
        return error;
    m_path = path;
    m_target = target;
    return {};
}

} // namespace emulator
