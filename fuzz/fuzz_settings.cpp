// Any bytes as the settings file's content, and as the executable's path.
#include "core/SettingsFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);

    const settings::ParsedSettings parsed = settings::ParseSettings(content);
    // "COM" and at least one character that is not one of C, O, M and "=".
    Check(parsed.port.rfind("COM", 0) == 0 && parsed.port.size() > 3);
    Check(std::string("COM=").find(parsed.port[3]) == std::string::npos);
    const std::string text = settings::SettingsText(parsed.port);
    Check(text.rfind("COM=", 0) == 0 && EndsWith(text, ";\r\n"));

    // What the terminal writes back reads as the same port, well-formed.
    const settings::ParsedSettings again = settings::ParseSettings(text);
    Check(again.port == parsed.port && !again.malformed);

    // The settings path keeps a prefix of the executable's path.
    const std::string path = settings::SettingsFilePath(content);
    const std::string name = settings::kFileName;
    Check(EndsWith(path, name));
    Check(content.compare(0, path.size() - name.size(), path, 0, path.size() - name.size()) == 0);
    return 0;
}
