// The shell: opening a document or an address with the desktop's own handler.
#pragma once

#include "platform/windef.h"

namespace win {

// Opens `file` (a path or an address) with the verb "open" (or null): on a desktop through
// xdg-open, started without waiting for it; on the headless backend (or before any backend
// runs) the request is only recorded. Returns a value above 32 on success, SE_ERR_NOASSOC (31) for another verb,
// ERROR_FILE_NOT_FOUND (2) for an empty file and SE_ERR_OOM (8) when nothing could be
// started.
HINSTANCE ShellExecuteA(HWND hwnd, const char* operation, const char* file, const char* parameters,
                        const char* directory, int showCmd);

}  // namespace win
