#include "core/SettingsFile.h"

#include <cstring>

namespace settings {

std::string SettingsFilePath(const std::string& executablePath) {
    static const char kExpectedName[] = "BrendlowTerminal.exe";
    std::string path = executablePath;
    while (!path.empty() && std::strchr(kExpectedName, path.back()) != nullptr &&
           path.back() != '\0')
        path.pop_back();
    return path + kFileName;
}

ParsedSettings ParseSettings(const std::string& content) {
    ParsedSettings result;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        end = end == std::string::npos ? content.size() : end + 1;
        std::string line = content.substr(start, end - start);
        start = end;

        const char first = line[0];
        if (first == ';' || first == '/' || first == '\r' || first == '\n')
            continue;
        for (char& c : line)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        if (line.compare(0, 3, "COM") != 0)
            continue;
        const size_t rest = line.find_first_not_of("COM=");
        const size_t semicolon = line.find(';', rest == std::string::npos ? line.size() : rest);
        if (rest == std::string::npos || semicolon == std::string::npos || semicolon == rest) {
            result.port = kDefaultPort;
            result.malformed = true;
        } else {
            result.port = "COM" + line.substr(rest, semicolon - rest);
        }
    }
    return result;
}

std::string SettingsText(const std::string& port) {
    const size_t rest = port.find_first_not_of("COM");
    return "COM=" + (rest == std::string::npos ? std::string() : port.substr(rest)) + ";\r\n";
}

} // namespace settings
