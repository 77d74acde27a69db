#include "audio/BassPlayer.h"

#include <algorithm>

#include "platform/kernel.h"

namespace audio {

namespace {

template <class T>
void Resolve(win::HMODULE module, T*& fn, const char* name) {
    fn = reinterpret_cast<T*>(win::GetProcAddress(module, name));
}

bool HandleUsable(win::HMODULE h) { return reinterpret_cast<uintptr_t>(h) >= 32; }

}  // namespace

bool TBassPlayer::EntryPoints::All() const {
    return BASS_Init && BASS_Free && BASS_PluginLoad && BASS_PluginFree && BASS_StreamCreateFile && BASS_StreamFree &&
           BASS_ChannelPlay && BASS_ChannelPause && BASS_ChannelStop && BASS_ChannelSetSync && BASS_ChannelRemoveSync &&
           BASS_ChannelGetPosition && BASS_ChannelSetPosition && BASS_ChannelGetLength && BASS_ChannelBytes2Seconds &&
           BASS_ChannelSeconds2Bytes && BASS_ChannelGetAttribute && BASS_ChannelSetAttribute;
}

TBassPlayer::TBassPlayer(cl::TComponent* AOwner) : cl::TComponent(AOwner) {}

TBassPlayer::~TBassPlayer() {
    // No exception leaves a destructor: a close that cannot reach the library is dropped.
    try {
        Close();
    } catch (...) {
    }
    UnloadBass();
}

cl::String TBassPlayer::GetFileName() const {
    std::lock_guard lk(FLock);
    return FFileName;
}

void TBassPlayer::SetFileName(const cl::String& name) {
    std::lock_guard lk(FLock);
    FFileName = name;
}

bass::HSTREAM TBassPlayer::Stream() const {
    std::lock_guard lk(FLock);
    return FStream;
}

bass::HSYNC TBassPlayer::Sync() const {
    std::lock_guard lk(FLock);
    return FSync;
}

uint8_t TBassPlayer::State() const {
    std::lock_guard lk(FLock);
    return FState;
}

win::HMODULE TBassPlayer::LibraryHandle() const {
    std::shared_lock lib(FLibLock);
    return FLibraryHandle;
}

void TBassPlayer::CheckLoaded() const {
    if (!FLoaded.load()) throw cl::Exception(kAudioNotFoundMessage);
}

bool TBassPlayer::LoadBass() {
    UnloadBass();
    bool result = false;
    bool all = false;
    bool pluginCalls = false;
    {
        std::unique_lock lib(FLibLock);
        if (cl::FileExists(BassLibrary)) {
            win::HMODULE h = win::LoadLibraryA(BassLibrary.c_str());
            if (HandleUsable(h)) {
                FLibraryHandle = h;
                EntryPoints& e = FEntry;
                Resolve(h, e.BASS_Init, "BASS_Init");
                Resolve(h, e.BASS_Free, "BASS_Free");
                Resolve(h, e.BASS_PluginLoad, "BASS_PluginLoad");
                Resolve(h, e.BASS_PluginFree, "BASS_PluginFree");
                Resolve(h, e.BASS_StreamCreateFile, "BASS_StreamCreateFile");
                Resolve(h, e.BASS_StreamFree, "BASS_StreamFree");
                Resolve(h, e.BASS_ChannelPlay, "BASS_ChannelPlay");
                Resolve(h, e.BASS_ChannelPause, "BASS_ChannelPause");
                Resolve(h, e.BASS_ChannelStop, "BASS_ChannelStop");
                Resolve(h, e.BASS_ChannelSetSync, "BASS_ChannelSetSync");
                Resolve(h, e.BASS_ChannelRemoveSync, "BASS_ChannelRemoveSync");
                Resolve(h, e.BASS_ChannelGetPosition, "BASS_ChannelGetPosition");
                Resolve(h, e.BASS_ChannelSetPosition, "BASS_ChannelSetPosition");
                Resolve(h, e.BASS_ChannelGetLength, "BASS_ChannelGetLength");
                Resolve(h, e.BASS_ChannelBytes2Seconds, "BASS_ChannelBytes2Seconds");
                Resolve(h, e.BASS_ChannelSeconds2Bytes, "BASS_ChannelSeconds2Bytes");
                Resolve(h, e.BASS_ChannelGetAttribute, "BASS_ChannelGetAttribute");
                Resolve(h, e.BASS_ChannelSetAttribute, "BASS_ChannelSetAttribute");
                // Device -1 (the default output), 44100 Hz.
                if (e.BASS_Init) result = e.BASS_Init(-1, 44100, 0, nullptr, nullptr) != 0;
            } else if (h) {
                win::FreeLibrary(h);
            }
        }
        all = HandleUsable(FLibraryHandle) && FEntry.All();
        pluginCalls = FEntry.BASS_PluginLoad && FEntry.BASS_PluginFree;
    }
    if (pluginCalls && cl::FileExists(BassWMALibrary))
        FPluginHandle = Call(&EntryPoints::BASS_PluginLoad, bass::HPLUGIN{0}, BassWMALibrary.c_str(), bass::DWORD{0});
    FLoaded = all;
    return result;
}

bool TBassPlayer::UnloadBass() {
    bool result = false;
    bool loaded;
    {
        std::shared_lock lib(FLibLock);
        loaded = FLibraryHandle != nullptr;
    }
    if (loaded) {
        // New calls now fail CheckLoaded; the library itself is stopped before the
        // module goes, so no end callback can run in it afterwards. Only entry points
        // that were found are called.
        FLoaded = false;
        bass::HPLUGIN plugin = FPluginHandle.exchange(0);
        Call(&EntryPoints::BASS_PluginFree, bass::BOOL{0}, plugin);
        result = Call(&EntryPoints::BASS_Free, bass::BOOL{0}) != 0;
        std::unique_lock lib(FLibLock);  // waits for calls still in progress
        if (FLibraryHandle) win::FreeLibrary(FLibraryHandle);
        FLibraryHandle = nullptr;
        FEntry = EntryPoints{};
    }
    FLoaded = false;
    return result;
}

TBassPlayer::Taken TBassPlayer::TakeStream() {
    Taken t{FStream, FSync, FState};
    FStream = 0;
    FSync = 0;
    FState = bsClosed;
    return t;
}

bool TBassPlayer::ReleaseStream(const Taken& t) {
    if (t.state == bsPlaying) Call(&EntryPoints::BASS_ChannelStop, bass::BOOL{0}, t.stream);
    Call(&EntryPoints::BASS_ChannelRemoveSync, bass::BOOL{0}, t.stream, t.sync);
    return Call(&EntryPoints::BASS_StreamFree, bass::BOOL{0}, t.stream) != 0;
}

bool TBassPlayer::Close() {
    Taken t;
    {
        std::lock_guard lk(FLock);
        if (FState == bsClosed) return false;
        CheckLoaded();
        t = TakeStream();
    }
    return ReleaseStream(t);
}

bass::HSTREAM TBassPlayer::Open() {
    CheckLoaded();
    Close();
    cl::String name = GetFileName();
    bass::HSTREAM stream = Call(&EntryPoints::BASS_StreamCreateFile, bass::HSTREAM{0}, bass::BOOL{0},
                                static_cast<const void*>(name.c_str()), bass::QWORD{0}, bass::QWORD{0}, bass::DWORD{0});
    bass::HSYNC sync = Call(&EntryPoints::BASS_ChannelSetSync, bass::HSYNC{0}, bass::DWORD{stream}, bass::BASS_SYNC_END,
                            bass::QWORD{0}, &TBassPlayer::BassEndSyncProc, static_cast<void*>(this));
    Taken previous;
    {
        std::lock_guard lk(FLock);
        // Another thread may have opened a stream meanwhile: it goes, never two at once.
        previous = TakeStream();
        FStream = stream;
        FSync = sync;
        FState = stream != 0 ? bsOpened : bsClosed;
    }
    if (previous.state != bsClosed) ReleaseStream(previous);
    SetVolume(FVolume.load());
    return stream;
}

bool TBassPlayer::Play() {
    CheckLoaded();
    bass::HSTREAM stream;
    {
        std::lock_guard lk(FLock);
        if (FState == bsClosed) return false;
        stream = FStream;
    }
    SetVolume(FVolume.load());
    if (!Call(&EntryPoints::BASS_ChannelPlay, bass::BOOL{0}, bass::DWORD{stream}, bass::BOOL{0})) return false;
    std::lock_guard lk(FLock);
    // A very short track may already have ended and been closed.
    if (FStream == stream && FState == bsOpened) FState = bsPlaying;
    return true;
}

void TBassPlayer::SetVolume(int V) {
    CheckLoaded();
    FVolume = V;
    bass::HSTREAM stream = Stream();
    if (stream == 0) return;
    float level = std::clamp(static_cast<float>(V) / 100.0f, 0.0f, 1.0f);
    // A stream freed meanwhile by another thread answers FALSE, harmlessly.
    Call(&EntryPoints::BASS_ChannelSetAttribute, bass::BOOL{0}, bass::DWORD{stream}, bass::BASS_ATTRIB_VOL, level);
}

void TBassPlayer::DoEndPlaying() {
    Close();
    if (OnEndPlaying) OnEndPlaying(this);
}

void TBassPlayer::EndOf(bass::DWORD channel) {
    Taken t;
    {
        std::lock_guard lk(FLock);
        if (FStream != channel || FState == bsClosed) return;
        CheckLoaded();
        t = TakeStream();
    }
    ReleaseStream(t);
    if (OnEndPlaying) OnEndPlaying(this);
}

void TBassPlayer::BassEndSyncProc(bass::HSYNC, bass::DWORD Channel, bass::DWORD, void* User) {
    if (!User) return;
    // Runs on the library's thread: nothing may escape into it.
    try {
        static_cast<TBassPlayer*>(User)->EndOf(Channel);
    } catch (...) {
    }
}

}  // namespace audio
