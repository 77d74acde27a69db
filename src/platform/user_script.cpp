// Scripted input: events the message loop delivers when the clock reaches their time, from a
// script (LUMETRA_INPUT or a test) or from a test's own injection.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/display.h"
#include "platform/user_state_internal.h"
#include "platform/user_testhooks.h"

namespace win::user {

namespace {

constexpr long long kMaxScriptMs = 100'000'000'000LL;  // about three years of clock time

bool ParseScript(const std::string& script, std::vector<ScriptedInput>* out) {
    std::stringstream all(script);
    std::string item;
    while (std::getline(all, item, ';')) {
        std::istringstream in(item);
        std::string kind;
        long long ms;
        if (!(in >> ms)) {
            bool blank = std::all_of(item.begin(), item.end(), [](unsigned char c) { return std::isspace(c); });
            if (blank) continue;
            return false;
        }
        if (!(in >> kind) || ms < 0 || ms > kMaxScriptMs) return false;
        for (char& c : kind) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        ScriptedInput ev;
        ev.due = display::TicksAtMs(ms);
        std::string a, b;
        if (kind == "key") {
            if (!(in >> a)) return false;
            char* end = nullptr;
            long vk = std::strtol(a.c_str(), &end, 0);
            if (*end || vk <= 0 || vk > 255) return false;
            ev.kind = InputKind::Key;
            ev.a = static_cast<int>(vk);
        } else if (kind == "move" || kind == "click" || kind == "dblclick") {
            long long x, y;
            if (!(in >> x >> y) || x < -32768 || x > 32767 || y < -32768 || y > 32767) return false;
            ev.kind = kind == "move" ? InputKind::Move : kind == "click" ? InputKind::Click : InputKind::DblClick;
            ev.a = static_cast<int>(x);
            ev.b = static_cast<int>(y);
        } else if (kind == "keydown" || kind == "keyup") {
            if (!(in >> a)) return false;
            char* end = nullptr;
            long vk = std::strtol(a.c_str(), &end, 0);
            if (*end || vk <= 0 || vk > 255) return false;
            const bool down = kind == "keydown";
            ev.kind = InputKind::Custom;
            ev.custom = [vk, down] { test::Key(static_cast<int>(vk), down); };
        } else if (kind == "down" || kind == "up" || kind == "rdown" || kind == "rup") {
            // A button pressed or released at a point (drags are a down, moves and an up).
            long long x, y;
            if (!(in >> x >> y) || x < -32768 || x > 32767 || y < -32768 || y > 32767) return false;
            const bool down = kind == "down" || kind == "rdown";
            const test::Button button = kind[0] == 'r' ? test::Button::Right : test::Button::Left;
            ev.kind = InputKind::Custom;
            ev.custom = [x, y, down, button] {
                test::MouseMove(static_cast<int>(x), static_cast<int>(y));
                test::MouseButton(button, down);
            };
        } else if (kind == "wheel") {
            long long delta;
            if (!(in >> delta) || delta < -32768 || delta > 32767) return false;
            ev.kind = InputKind::Wheel;
            ev.a = static_cast<int>(delta);
        } else {
            return false;
        }
        std::string rest;
        if (in >> rest) return false;
        out->push_back(ev);
    }
    return true;
}

}  // namespace

}  // namespace win::user

namespace win {

using namespace user;

namespace test {

void ScheduleInput(int64_t ms, std::function<void()> inject) {
    ScriptedInput ev;
    ev.due = display::TicksAtMs(ms);
    ev.kind = InputKind::Custom;
    ev.custom = std::move(inject);
    State& s = S();
    ev.seq = ++s.scriptSeq;
    auto at =
        std::upper_bound(s.script.begin(), s.script.end(), ev, [](const ScriptedInput& a, const ScriptedInput& b) {
            return a.due < b.due || (a.due == b.due && a.seq < b.seq);
        });
    s.script.insert(at, std::move(ev));
}

bool SetInputScript(const std::string& script) {
    std::vector<ScriptedInput> events;
    if (!ParseScript(script, &events)) return false;
    State& s = S();
    for (ScriptedInput& e : events) {
        e.seq = ++s.scriptSeq;
        s.script.push_back(e);
    }
    std::stable_sort(s.script.begin(), s.script.end(), [](const ScriptedInput& a, const ScriptedInput& b) {
        return a.due < b.due || (a.due == b.due && a.seq < b.seq);
    });
    ClockNotify();
    return true;
}

}  // namespace test

}  // namespace win
