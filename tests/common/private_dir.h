// A folder private to one test (mode 0700, made by mkdtemp under the temporary folder),
// removed with everything in it when the test ends.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace lumetra_test {

class PrivateDir {
public:
    explicit PrivateDir(const std::string& prefix = "lumetra_test") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "_XXXXXX")).string();
        if (char* made = mkdtemp(pattern.data())) path_ = made;
    }
    PrivateDir(const PrivateDir&) = delete;
    PrivateDir& operator=(const PrivateDir&) = delete;
    ~PrivateDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    bool Ok() const { return !path_.empty(); }
    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace lumetra_test
