// The show window's use of the byte positions in its program file, on any file contents:
// the input is a whole program file (image, data files, project document, trailer). The
// window is built on the headless screen and the virtual clock, reads the file, shows and
// prepares its first slide and works out the transition rectangle; then every slide is
// read and decoded from its range and every music track is copied out of the file into the
// run's folder. Checked: a track file holds exactly its range cut to the file and lies in
// the temporary folder, the rectangle stays inside the control (all of it when the document
// gives none), and nothing is left behind once the window is gone.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>

#include "audio/auStartup.h"
#include "classlib/Forms.h"
#include "classlib/SysUtils.h"
#include "pix32/Pix32_Image.h"
#include "pix32/Pix32_RangeBars.h"
#include "pix32/Pix32_Startup.h"
#include "platform/clock.h"
#include "platform/exit_cleanup.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"
#include "player/OstrelMain.h"
#include "transitions/teCore.h"

namespace fs = std::filesystem;

// Present when the program is built with a sanitizer: the sanitizer's report of a fault
// ends the program through this callback.
extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

namespace {

constexpr int kScreenW = 96;
constexpr int kScreenH = 64;
// Slides read per input, so that a document of thousands of slides does not make one input
// take seconds.
constexpr int kMaxSlides = 48;

std::string& Folder() {
    static std::string folder;
    return folder;
}

void RemoveFolder() {
    if (Folder().empty()) return;
    std::error_code ec;
    fs::remove_all(Folder(), ec);
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "showfile: %s\n", what.c_str());
    win::RunExitCleanups();
    std::abort();
}

// The run's private folder (0700), which is also the temporary folder the window sees. It
// goes at normal exit, at a sanitizer's report, and at SIGTERM, SIGINT and SIGHUP (taken by
// a thread of its own, so that no file work happens inside a signal handler).
void MakeFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/lumetra-showfile-XXXXXX";
    if (!::mkdtemp(pattern.data())) Fail("cannot create the private folder under " + pattern);
    Folder() = pattern + "/";
    win::AddExitCleanup(RemoveFolder);
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback([] { win::RunExitCleanups(); });
    static sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([] {
        int s = 0;
        if (sigwait(&signals, &s) != 0) return;
        win::RunExitCleanups();
        std::_Exit(128 + s);
    }).detach();
    setenv("TMPDIR", pattern.c_str(), 1);
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) Fail("cannot write " + path);
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) Fail("cannot write " + path);
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A range of the file as the window copies it: cut to the file, empty when it ends before
// it starts.
std::string Piece(const uint8_t* data, size_t size, int64_t start, int64_t end) {
    const int64_t n = static_cast<int64_t>(size);
    start = std::clamp<int64_t>(start, 0, n);
    end = std::clamp<int64_t>(end, start, n);
    return std::string(reinterpret_cast<const char*>(data) + start, static_cast<size_t>(end - start));
}

// The transition rectangle: the whole control when the document gives none, and never more
// than the control whatever numbers the document holds.
void CheckEffectRect(player::TOstrelForm* form) {
    const player::TSlideShow* show = form->Show();
    const win::RECT r = form->EffectRect();
    const int w = form->Image->GetClientWidth();
    const int h = form->Image->GetClientHeight();
    if (r.left < 0 || r.top < 0 || r.right > w || r.bottom > h || r.left > w || r.top > h || r.right < 0 ||
        r.bottom < 0)
        Fail("the transition rectangle reaches outside the control");
    if (static_cast<int64_t>(show->EffectR) - show->EffectL > 0) return;
    if (r.left != 0 || r.top != 0 || r.right != w || r.bottom != h)
        Fail("without a transition rectangle in the document the transition must cover the whole control");
}

// The current track, copied out of the file: its bytes are its range of the file.
void CheckTrack(player::TOstrelForm* form, const uint8_t* data, size_t size) {
    const int32_t index = form->MusicIndex();
    if (index < 0 || index >= static_cast<int32_t>(form->MusicOrder().size())) return;
    const player::TSoundObject* track = form->Show()->GetMusic(form->MusicOrder()[index]);
    if (!track || track->StartPos < 0 || track->EndPos < 0) return;
    try {
        form->ExtractCurrentTrack();
    } catch (const cl::EFCreateError&) {
        return;  // a track without a usable file name is skipped by the music sequencer
    } catch (const cl::Exception& e) {
        Fail(std::string("a track's range, cut to the file, could not be copied: ") + e.what());
    }
    const std::string path = form->BassPlayer->GetFileName();
    if (path.compare(0, Folder().size(), Folder()) != 0) Fail("track written outside the temporary folder: " + path);
    if (path.find("/../") != std::string::npos) Fail("track path leaves its folder: " + path);
    if (ReadFile(path) != Piece(data, size, track->StartPos, track->EndPos))
        Fail("track file does not hold its range of the program file: " + path);
}

// Shows and prepares every slide (up to kMaxSlides) as the first of the order, swapping it
// with the slide there for the time: its picture is read from its range and decoded, and
// its transition set up.
void ReadSlides(player::TOstrelForm* form) {
    player::TSlideShow* show = form->Show();
    if (form->SlideOrder().empty()) return;
    const int first = form->SlideOrder()[0];
    const int count = std::min(show->SlideCount(), kMaxSlides);
    for (int i = 0; i < count; ++i) {
        std::swap(show->Slides[first], show->Slides[i]);
        form->ShowCurrentSlide();
        form->PrepareCurrentSlide();
        std::swap(show->Slides[first], show->Slides[i]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("LUMETRA_DISPLAY", "headless", 1);
    MakeFolder();
    win::SetClockMode(win::ClockMode::Virtual);
    win::test::ResetUser(kScreenW, kScreenH);
    pix32::StartupPix32();
    pix32::StartupPix32RangeBars();
    pix32::StartupPix32Image();
    audio::StartupAudio();
    te::StartUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string file = Folder() + "show.scr";
    WriteFile(file, data, size);
    win::test::ResetUser(kScreenW, kScreenH);
    cl::ControlsStartUp();
    cl::Application->Initialize();
    player::TOstrelForm::ShowFile() = file;
    player::TOstrelForm* form = nullptr;
    cl::Application->CreateForm(form);
    if (form && form->Show()) {
        // Shown as the message loop shows the main window: maximised over the screen, and
        // activated (which shows the first slide and works out the transition rectangle).
        static_cast<cl::TForm*>(form)->Show();
        cl::Application->ProcessMessages();
        if (!form->Activated()) Fail("the show window was not activated when shown");
        CheckEffectRect(form);
        CheckTrack(form, data, size);
        ReadSlides(form);
        // The rest of the music order: each track is copied out in turn (the audio library
        // is not loaded here, so each one fails to play and the next is taken).
        form->PlayerNotify(form->BassPlayer);
    }
    cl::ControlsShutDown();
    player::TOstrelForm::ShowFile().clear();
    fs::remove(file);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(Folder(), ec))
        Fail("left behind after the window was destroyed: " + entry.path().string());
    return 0;
}
