#pragma once
// Symbolic links that are replaced, never removed and remade: a program that
// opens the link meanwhile finds either the old device or the new one.
#include <filesystem>
#include <string>

namespace links {

// Makes `path` a symbolic link to `target`. The link is made under a
// temporary name beside `path` and renamed over the old one. Anything at
// `path` that is not a symbolic link is left as it is, and so is an old link
// when making the new one fails. The folder of `path` must exist. Returns
// an empty text when done, else why not (the system's words).
std::string LinkInPlace(const std::filesystem::path& target, const std::filesystem::path& path);

} // namespace links
