// The temporary files of the imaging library under a test's folder, including those that
// have lost their name: a file-located image's file is unnamed as soon as it is open, and
// only this process's open descriptors still lead to it.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace ie::test {

// The files this process holds open that were made under Folder and have no name any
// more: {the name they were made with, the path of the open descriptor}.
inline std::vector<std::pair<std::string, std::string>> UnnamedTempFiles(const std::string& Folder) {
    static const std::string deleted = " (deleted)";
    std::vector<std::pair<std::string, std::string>> out;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
         it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code linkError;
        const std::string target = std::filesystem::read_symlink(it->path(), linkError).string();
        if (linkError || target.rfind(Folder + "/", 0) != 0 || target.size() <= deleted.size() ||
            target.compare(target.size() - deleted.size(), deleted.size(), deleted) != 0)
            continue;
        out.emplace_back(target.substr(0, target.size() - deleted.size()), it->path().string());
    }
    return out;
}

// The files with a name under Folder and the unnamed ones this process holds open (listed
// under the name they were made with).
inline std::vector<std::string> AllTempFiles(const std::string& Folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(Folder, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file()) out.push_back(it->path().string());
    for (const auto& [name, fd] : UnnamedTempFiles(Folder)) out.push_back(name);
    return out;
}

}  // namespace ie::test
