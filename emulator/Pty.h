#pragma once
// The pseudo-terminal the emulator stands on: the master side is the
// device's end of the line, the slave side the port a terminal opens.
#include <string>

namespace emulator {

class CPty {
public:
    CPty() = default;
    ~CPty();
    CPty(const CPty&) = delete;
    CPty& operator=(const CPty&) = delete;

    // Opens a fresh pty, raw, 8N1 at 115200 baud. Returns an empty text when
    // done, else the step that failed and the system's words.
    std::string Open();

    int Master() const { return m_master; } // non-blocking
    const std::string& SlavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    int m_slave = -1; // held open, never read, so the master never sees a hang-up
    std::string m_slavePath;
};

// A symbolic link to the pty's slave (--link), its folders made as needed.
// It goes again with this object, unless someone has meanwhile pointed it
// elsewhere.
class CPtyLink {
public:
    CPtyLink() = default;
    ~CPtyLink();
    CPtyLink(const CPtyLink&) = delete;
    CPtyLink& operator=(const CPtyLink&) = delete;

    // Returns an empty text when done, else why not (the system's words).
    std::string Make(const std::string& path, const std::string& target);

private:
    std::string m_path;
    std::string m_target;
};

} // namespace emulator
