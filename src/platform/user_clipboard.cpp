// The clipboard: registered formats (thread-safe) and the data of one open owner at a time.
#include <cctype>
#include <map>
#include <mutex>
#include <string>

#include "platform/user_state_internal.h"

namespace win::user {

namespace {

struct FormatRegistry {
    std::mutex mutex;
    std::map<std::string, UINT> ids;
    UINT next = 0xC000;
};
FormatRegistry& Formats() {
    static FormatRegistry r;
    return r;
}

}  // namespace

void FreeClipboardData() {
    State& s = S();
    for (auto& [fmt, h] : s.clipboard) GdiFreeGlobal(h);
    s.clipboard.clear();
}

}  // namespace win::user

namespace win {

using namespace user;

UINT RegisterClipboardFormatA(LPCSTR name) {
    if (!name || !*name) {
        SetError(87);
        return 0;
    }
    std::string key(name);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto& r = Formats();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.ids.find(key);
    if (it != r.ids.end()) return it->second;
    if (r.next > 0xFFFF) return 0;
    UINT id = r.next++;
    r.ids[key] = id;
    return id;
}

BOOL OpenClipboard(HWND owner) {
    State& s = S();
    if (s.clipboardOpen && s.clipboardOwner != owner) return FALSE;
    s.clipboardOpen = true;
    s.clipboardOwner = owner;
    return TRUE;
}

BOOL CloseClipboard() {
    State& s = S();
    if (!s.clipboardOpen) return FALSE;
    s.clipboardOpen = false;
    s.clipboardOwner = nullptr;
    return TRUE;
}

BOOL EmptyClipboard() {
    State& s = S();
    if (!s.clipboardOpen) return FALSE;
    FreeClipboardData();
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
    State& s = S();
    if (!s.clipboardOpen || format == 0) return nullptr;
    auto it = s.clipboard.find(format);
    if (it != s.clipboard.end() && it->second != data) GdiFreeGlobal(it->second);
    s.clipboard[format] = data;
    return data;
}

HANDLE GetClipboardData(UINT format) {
    State& s = S();
    if (!s.clipboardOpen) return nullptr;
    auto it = s.clipboard.find(format);
    return it == s.clipboard.end() ? nullptr : it->second;
}

BOOL IsClipboardFormatAvailable(UINT format) { return S().clipboard.count(format) ? TRUE : FALSE; }

HWND GetOpenClipboardWindow() { return S().clipboardOpen ? S().clipboardOwner : nullptr; }

}  // namespace win
