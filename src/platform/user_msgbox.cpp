// Message boxes: answered by a queued test answer, else by the backend, else by the default
// button; every box is recorded.
#include <algorithm>
#include <vector>

#include "platform/display.h"
#include "platform/user_state_internal.h"
#include "platform/user_testhooks.h"

namespace win::user {

namespace {

std::vector<int> ButtonsFor(UINT type) {
    switch (type & 0x0F) {
        case MB_OKCANCEL: return {IDOK, IDCANCEL};
        case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
        case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
        case MB_YESNO: return {IDYES, IDNO};
        case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
        default: return {IDOK};
    }
}

}  // namespace

}  // namespace win::user

namespace win {

using namespace user;

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    State& s = S();
    test::MessageBoxRecord rec;
    rec.owner = owner;
    rec.text = text ? text : "";
    rec.caption = caption ? caption : "";
    rec.type = type;
    rec.time = GetTickCount();
    std::vector<int> buttons = ButtonsFor(type);
    int answer = 0;
    if (!s.boxAnswers.empty()) {
        answer = s.boxAnswers.front();
        s.boxAnswers.pop_front();
    } else if (auto* b = display::CurrentBackend()) {
        answer = b->ShowMessageBox(owner, rec.text, rec.caption, type);
    }
    if (answer == 0) {
        size_t def = (type >> 8) & 0x0F;
        answer = buttons[std::min(def, buttons.size() - 1)];
    }
    rec.answer = answer;
    s.boxes.push_back(rec);
    return answer;
}

namespace test {

std::vector<MessageBoxRecord> MessageBoxes() { return S().boxes; }

void QueueMessageBoxAnswer(int answer) { S().boxAnswers.push_back(answer); }

}  // namespace test

}  // namespace win
