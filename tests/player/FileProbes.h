// Looks at files the way the player's tests check them: whole contents, permission bits,
// sorted folder listings, the colour of a point of a picture.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace player_test {

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The permission bits in octal ("700"), of the entry itself (a link is not followed), or
// "missing".
inline std::string ModeOf(const std::filesystem::path& p) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return "missing";
    char buf[8];
    std::snprintf(buf, sizeof buf, "%o", static_cast<unsigned>(st.st_mode & 07777));
    return buf;
}

// The names in a folder, sorted; none when it cannot be read.
inline std::vector<std::string> Names(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The colour of a point of a picture file (0xRRGGBB) as ImageMagick decodes it; -1 when
// the file cannot be read or the point lies outside.
inline int64_t PictureColour(const std::string& file, int x, int y) {
    const std::string cmd = "/usr/bin/convert '" + file + "' -crop 1x1+" + std::to_string(x) + "+" + std::to_string(y) +
                            " -depth 8 rgb:- 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    unsigned char rgb[4];
    const size_t n = std::fread(rgb, 1, sizeof rgb, p);
    pclose(p);
    if (n != 3) return -1;
    return (int64_t{rgb[0]} << 16) | (int64_t{rgb[1]} << 8) | rgb[2];
}

}  // namespace player_test
