// TBassPlayer: a non-visual component that plays one music file at a time through the
// audio library, which it loads at run time from the paths it is given (BassLibrary and
// its WMA add-on BassWMALibrary). It opens, plays, stops and closes a stream, sets its
// volume, and reports the end of a track through OnEndPlaying, fired on the audio
// library's own thread.
//
// Threads. The component is called from the main thread (load, open, play, close,
// unload), from a multimedia-timer thread (SetVolume) and from the library's sync thread
// (the end of a track, and whatever the OnEndPlaying handler does there). Its state is
// kept under a lock that is never held while the library is called, since the library
// waits for an end callback in flight, which itself takes the lock. The stream handle is
// taken out of the component under the lock before it is freed, so only one thread ever
// frees a given stream. The entry points are held under a reader-writer lock: unloading
// first stops the library (no callback runs afterwards), then waits for calls in progress
// before it frees the module.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>

#include "classlib/Classes.h"
#include "classlib/SysUtils.h"
#include "platform/bass/bass.h"
#include "platform/windef.h"

namespace audio {

// The message of CheckLoaded.
inline constexpr const char* kAudioNotFoundMessage = "Не найден компонент для воспроизведения аудио.";

// The component's state: 0 opened, 1 playing, 3 closed.
enum : uint8_t { bsOpened = 0, bsPlaying = 1, bsClosed = 3 };

class TBassPlayer : public cl::TComponent {
    CL_DECLARE_COMPONENT(TBassPlayer, cl::TComponent)
public:
    explicit TBassPlayer(cl::TComponent* AOwner);
    ~TBassPlayer() override;

    // Loads the library (unloading a previous one first) and initialises it; the result
    // is BASS_Init's. Loaded tells whether the module and all 18 entry points were found.
    bool LoadBass();
    // Frees the add-on and the library; the result is BASS_Free's.
    bool UnloadBass();

    // Opens FileName: the new stream handle, 0 when the library cannot open the file.
    bass::HSTREAM Open();
    bool Play();
    // BASS_StreamFree's result; False when nothing was open.
    bool Close();
    // Volume in percent (any value is stored; the stream gets it limited to 0 … 100 %).
    void SetVolume(int V);
    // Raises cl::Exception(kAudioNotFoundMessage) unless Loaded.
    void CheckLoaded() const;
    // Closes the stream, then fires OnEndPlaying with this component as sender.
    void DoEndPlaying();

    // Published properties.
    cl::String GetFileName() const;
    void SetFileName(const cl::String& name);
    cl::TNotifyEvent OnEndPlaying;
    cl::String BassLibrary = "bass.dll";
    cl::String BassWMALibrary = "basswma.dll";

    // Read-only state.
    bass::HSTREAM Stream() const;
    bass::HSYNC Sync() const;
    uint8_t State() const;
    int Volume() const { return FVolume.load(); }
    bool Loaded() const { return FLoaded.load(); }
    win::HMODULE LibraryHandle() const;
    bass::HPLUGIN PluginHandle() const { return FPluginHandle.load(); }

    // The end-of-stream callback in the form of the library's sync procedure; User is the
    // component. Only the end of the stream the component holds right now is reported:
    // the end of one it has already closed or replaced is dropped.
    static void BassEndSyncProc(bass::HSYNC Handle, bass::DWORD Channel, bass::DWORD Data, void* User);

private:
    // The entry points, in the library's order.
    struct EntryPoints {
        bass::BASS_Init_PROC* BASS_Init = nullptr;
        bass::BASS_Free_PROC* BASS_Free = nullptr;
        bass::BASS_PluginLoad_PROC* BASS_PluginLoad = nullptr;
        bass::BASS_PluginFree_PROC* BASS_PluginFree = nullptr;
        bass::BASS_StreamCreateFile_PROC* BASS_StreamCreateFile = nullptr;
        bass::BASS_StreamFree_PROC* BASS_StreamFree = nullptr;
        bass::BASS_ChannelPlay_PROC* BASS_ChannelPlay = nullptr;
        bass::BASS_ChannelPause_PROC* BASS_ChannelPause = nullptr;
        bass::BASS_ChannelStop_PROC* BASS_ChannelStop = nullptr;
        bass::BASS_ChannelSetSync_PROC* BASS_ChannelSetSync = nullptr;
        bass::BASS_ChannelRemoveSync_PROC* BASS_ChannelRemoveSync = nullptr;
        bass::BASS_ChannelGetPosition_PROC* BASS_ChannelGetPosition = nullptr;
        bass::BASS_ChannelSetPosition_PROC* BASS_ChannelSetPosition = nullptr;
        bass::BASS_ChannelGetLength_PROC* BASS_ChannelGetLength = nullptr;
        bass::BASS_ChannelBytes2Seconds_PROC* BASS_ChannelBytes2Seconds = nullptr;
        bass::BASS_ChannelSeconds2Bytes_PROC* BASS_ChannelSeconds2Bytes = nullptr;
        bass::BASS_ChannelGetAttribute_PROC* BASS_ChannelGetAttribute = nullptr;
        bass::BASS_ChannelSetAttribute_PROC* BASS_ChannelSetAttribute = nullptr;
        bool All() const;
    };

    // A stream taken out of the component, to be stopped and freed by the taker alone.
    struct Taken {
        bass::HSTREAM stream = 0;
        bass::HSYNC sync = 0;
        uint8_t state = bsClosed;
    };
    Taken TakeStream();                  // caller holds FLock
    bool ReleaseStream(const Taken& t);  // stops, removes the sync, frees; no lock held
    void EndOf(bass::DWORD channel);

    // Calls an entry point under the shared library lock; `fallback` when it is missing.
    template <class Fn, class R, class... Args>
    R Call(Fn* EntryPoints::*fn, R fallback, Args... args) const {
        std::shared_lock lib(FLibLock);
        Fn* f = FEntry.*fn;
        return f ? static_cast<R>(f(args...)) : fallback;
    }

    mutable std::mutex FLock;  // Stream, Sync, State, FileName
    bass::HSTREAM FStream = 0;
    bass::HSYNC FSync = 0;
    uint8_t FState = bsClosed;
    cl::String FFileName;
    std::atomic<int> FVolume{100};
    std::atomic<bool> FLoaded{false};
    std::atomic<bass::HPLUGIN> FPluginHandle{0};

    mutable std::shared_mutex FLibLock;  // the module and its entry points
    win::HMODULE FLibraryHandle = nullptr;
    EntryPoints FEntry;
};

}  // namespace audio
