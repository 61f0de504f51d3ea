#include "core/LinkInPlace.h"

#include <random>
#include <system_error>

namespace links {

std::string LinkInPlace(const std::filesystem::path& target, const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status existing = fs::symlink_status(path, error);
    if (fs::exists(existing) && !fs::is_symlink(existing))
        return "it exists and is not a symbolic link";
    // A temporary name of its own, so that two programs linking the same
    // path at once do not remove each other's half-made link.
    fs::path temporary = path;
    temporary += ".new" + std::to_string(std::random_device{}());
    fs::remove(temporary, error);
    fs::create_symlink(target, temporary, error);
    if (!error)
        fs::rename(temporary, path, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return error.message();
    }
    return {};
}

} // namespace links
