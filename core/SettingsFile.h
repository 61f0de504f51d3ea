#pragma once
// The settings file: one line "COM=" + port number + ";" CR LF, read at
// start-up and rewritten after a device answered. Plain C++: parsing and
// formatting only; the window does the file access.
#include <cstddef>
#include <string>

namespace settings {

inline constexpr const char* kFileName = "Quarnel.ini";
inline constexpr const char* kDefaultContent = "COM=1;\r\n";
inline constexpr const char* kDefaultPort = "COM1";
// Bytes read from a settings file at most; anything beyond is ignored.
inline constexpr size_t kReadLimit = 4 * 1024 * 1024;

// From the executable's full path: every trailing character that occurs in
// "BrendlowTerminal.exe" is removed (a set of characters, not a suffix), then
// the file name is appended.
std::string SettingsFilePath(const std::string& executablePath);

struct ParsedSettings {
    std::string port = kDefaultPort;
    bool malformed = false; // a port line without a usable ";": rewrite the file
};

// Lines end after an LF; each is upper-cased. ";" or "/" first: comment; CR
// or LF first: empty; "COM...": a port line, the last one decides.
ParsedSettings ParseSettings(const std::string& content);

// The file's whole content for a port name: "COM=" + the name without its
// leading run of C, O and M + ";" CR LF.
std::string SettingsText(const std::string& port);

} // namespace settings
