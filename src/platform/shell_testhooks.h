// Test seams of the shell (ours): the record of every request. Only tests, benchmarks, fuzz
// targets and the platform's own sources include this header.
#pragma once

#include <string>
#include <vector>

#include "platform/shell.h"

namespace win::test {

struct ShellExecuteRecord {
    std::string operation;
    std::string file;
    std::string parameters;
    std::string directory;
    int showCmd = 0;
};
// Every request made so far (headless and desktop alike).
std::vector<ShellExecuteRecord> ShellExecutes();
void ClearShellExecutes();

}  // namespace win::test
