// The audio library: streams decoded with FFmpeg, played through SDL2 or a null output
// that runs in step with the program's clock, end-of-stream syncs on a thread of its own.
//
// Locks, always taken in this order and never held while user code runs:
//   apiMutex   - every entry point; streams, syncs, plug-ins, the in-flight callback.
//   mixMutex   - the voices the SDL callback mixes (held briefly by both sides).
//   queueMutex - the sync thread's queue of ended streams and its timers.
// The SDL callback takes only mixMutex and queueMutex, so no entry point can stall it for
// longer than a list edit.

#include "platform/bass/bass.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/bass/decode.h"

#define BASS_EXPORT extern "C" __attribute__((visibility("default")))

namespace bass {
namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;  // the program's clock counts 100 ns ticks
constexpr int kMixFrames = 1024;
constexpr int kRampFrames = 64;

// The program's clock, when the executable exports it.
struct ClockApi {
    int64_t (*now)() = nullptr;
    int (*isVirtual)() = nullptr;
    uint64_t (*schedule)(int64_t, void (*)(void*), void*) = nullptr;
    int (*cancel)(uint64_t) = nullptr;
    void (*sleepMs)(uint32_t) = nullptr;
    void (*markCallbackThread)() = nullptr;  // optional

    bool Present() const { return now && isVirtual && schedule && cancel && sleepMs; }
};

ClockApi LookupClock() {
    ClockApi api;
    api.now = reinterpret_cast<int64_t (*)()>(dlsym(RTLD_DEFAULT, "lumetra_clock_now_ticks"));
    api.isVirtual = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "lumetra_clock_is_virtual"));
    api.schedule = reinterpret_cast<uint64_t (*)(int64_t, void (*)(void*), void*)>(
        dlsym(RTLD_DEFAULT, "lumetra_clock_schedule"));
    api.cancel = reinterpret_cast<int (*)(uint64_t)>(dlsym(RTLD_DEFAULT, "lumetra_clock_cancel"));
    api.sleepMs = reinterpret_cast<void (*)(uint32_t)>(dlsym(RTLD_DEFAULT, "lumetra_clock_sleep_ms"));
    api.markCallbackThread =
        reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "lumetra_clock_mark_callback_thread"));
    if (!api.Present()) return ClockApi{};
    return api;
}

int64_t SteadyTicks() {
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                  std::chrono::steady_clock::now().time_since_epoch())
                  .count();
    return ns / 100;
}

// What the mixer sees of a stream.
struct Voice {
    std::shared_ptr<const std::vector<int16_t>> pcm;
    uint64_t frames = 0;
    std::atomic<uint64_t> pos{0};
    std::atomic<float> volume{1.0f};
    // Mixer side, under mixMutex.
    float applied = 1.0f;
    HSTREAM handle = 0;
    uint32_t gen = 0;
};

struct SyncEntry {
    HSYNC handle;
    DWORD type;
    SYNCPROC* proc;
    void* user;
};

enum class PlayState { Stopped, Playing, Paused };

struct Stream {
    HSTREAM handle = 0;
    std::shared_ptr<Voice> voice;
    PlayState state = PlayState::Stopped;
    uint32_t gen = 0;  // changes with every start, stop and seek; stale end reports are dropped
    std::vector<SyncEntry> syncs;
    // Null output: the position is basePos plus the clock's progress since baseTicks.
    int64_t baseTicks = 0;
    uint64_t basePos = 0;
    uint64_t clockEvent = 0;  // the program's clock event of the end, 0 when none
};

struct Plugin {
    void* module = nullptr;
    std::string demuxers;
};

enum class Output { None, Sdl, Null };

// An ended stream reported to the sync thread; seq lets a clock event wait for its turn.
struct EndEvent {
    HSTREAM handle;
    uint32_t gen;
    uint64_t seq;
};

struct Timer {
    int64_t due;
    HSTREAM handle;
    uint32_t gen;
};

class Library {
  public:
    ~Library() {
        Free();
        std::unique_lock lk(apiMutex);
        JoinOrphan(lk);
        for (auto& [h, p] : plugins) dlclose(p.module);
        plugins.clear();
    }

    BOOL Init(int device, DWORD /*freq: output is always 44100 Hz*/) {
        std::unique_lock lk(apiMutex);
        if (output != Output::None) return kFALSE;
        if (device < -1 || device > 1) return kFALSE;
        JoinOrphan(lk);

        clock = LookupClock();
        virtualClock = clock.Present() && clock.isVirtual() != 0;

        Output chosen = Output::Null;
        if (device != 0 && !virtualClock) {
            const char* mode = std::getenv("LUMETRA_AUDIO");
            std::string m = mode ? mode : "";
            if (m != "null") {
                if (m == "disk") SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "disk", SDL_HINT_OVERRIDE);
                if (OpenSdl()) {
                    chosen = Output::Sdl;
                } else if (m == "sdl" || m == "disk") {
                    return kFALSE;  // an output was asked for by name and none opened
                }
            }
        }
        output = chosen;
        ++initGen;
        uint64_t epoch;
        {
            std::lock_guard qk(queueMutex);
            active = true;
            epoch = ++syncEpoch;
        }
        syncThread = std::thread([this, epoch] { SyncLoop(epoch); });
        return kTRUE;
    }

    BOOL Free() {
        std::unique_lock lk(apiMutex);
        if (output == Output::None) return kFALSE;
        Output was = output;
        output = Output::None;

        // Streams go without firing their syncs.
        for (auto& [h, s] : streams) StopStream(s);
        if (was == Output::Sdl) {
            SDL_CloseAudioDevice(sdlDevice);
            sdlDevice = 0;
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            sdlPaused = true;
        }
        {
            std::lock_guard mk(mixMutex);
            voices.clear();
        }
        {
            std::lock_guard qk(queueMutex);
            active = false;
            ++syncEpoch;
            queue.clear();
            timers.clear();
        }
        queueCv.notify_all();
        std::thread t = std::move(syncThread);
        streams.clear();
        if (t.joinable()) {
            if (t.get_id() == std::this_thread::get_id()) {
                // Called from inside an end callback: the thread ends after it returns.
                orphan = std::move(t);
            } else {
                lk.unlock();
                t.join();
                lk.lock();
            }
        }
        return kTRUE;
    }

    HPLUGIN PluginLoad(const char* file, DWORD flags) {
        if (!file || (flags & BASS_UNICODE)) return 0;
        void* module = dlopen(file, RTLD_NOW | RTLD_LOCAL);
        if (!module) return 0;
        using InfoFn = const PluginInfo*();
        auto* info = reinterpret_cast<InfoFn*>(dlsym(module, kPluginInfoSymbol));
        const PluginInfo* pi = info ? info() : nullptr;
        if (!pi || pi->magic != kPluginMagic || !pi->demuxers) {
            dlclose(module);
            return 0;
        }
        std::lock_guard lk(apiMutex);
        for (auto& [h, p] : plugins) {
            if (p.module == module) {  // already loaded: the same handle
                dlclose(module);
                return h;
            }
        }
        HPLUGIN h = NextHandle(nextPlugin);
        plugins[h] = Plugin{module, pi->demuxers};
        return h;
    }

    BOOL PluginFree(HPLUGIN handle) {
        std::lock_guard lk(apiMutex);
        if (handle == 0) {
            for (auto& [h, p] : plugins) dlclose(p.module);
            plugins.clear();
            return kTRUE;
        }
        auto it = plugins.find(handle);
        if (it == plugins.end()) return kFALSE;
        dlclose(it->second.module);
        plugins.erase(it);
        return kTRUE;
    }

    HSTREAM StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
        if (!file || (flags & BASS_UNICODE)) return 0;
        Source source;
        source.fromMemory = mem != 0;
        if (source.fromMemory) {  // the offset applies to files only
            source.memory = static_cast<const uint8_t*>(file);
            source.length = length;
        } else {
            source.path = static_cast<const char*>(file);
            source.offset = offset;
            source.length = length;
        }
        std::set<std::string> containers;
        uint64_t gen;
        {
            std::lock_guard lk(apiMutex);
            if (output == Output::None) return 0;
            containers = {"mp3", "ogg", "wav", "flac", "aiff"};
            for (auto& [h, p] : plugins) AddNames(p.demuxers, containers);
            gen = initGen;
        }
        // Decoding takes a while: other threads keep using the library meanwhile.
        Decoded decoded = DecodeAll(source, containers);
        if (decoded.error != DecodeError::None) return 0;

        std::lock_guard lk(apiMutex);
        if (output == Output::None || gen != initGen) return 0;
        auto voice = std::make_shared<Voice>();
        voice->frames = decoded.Frames();
        voice->pcm = std::make_shared<const std::vector<int16_t>>(std::move(decoded.samples));
        HSTREAM h = NextHandle(nextStream);
        voice->handle = h;
        Stream s;
        s.handle = h;
        s.voice = std::move(voice);
        streams.emplace(h, std::move(s));
        return h;
    }

    BOOL StreamFree(HSTREAM handle) {
        std::unique_lock lk(apiMutex);
        WaitForCallbackOf(lk, handle);
        auto it = streams.find(handle);
        if (it == streams.end()) return kFALSE;
        StopStream(it->second);
        streams.erase(it);
        PauseWhenIdle();
        return kTRUE;
    }

    BOOL Play(DWORD handle, BOOL restart) {
        std::lock_guard lk(apiMutex);
        Stream* s = Find(handle);
        if (!s) return kFALSE;
        if (s->state == PlayState::Playing && !restart) return kTRUE;
        uint64_t from = restart ? 0 : Position(*s);
        StopStream(*s);
        StartStream(*s, from);
        return kTRUE;
    }

    BOOL Pause(DWORD handle) {
        std::lock_guard lk(apiMutex);
        Stream* s = Find(handle);
        if (!s || s->state != PlayState::Playing) return kFALSE;
        StopStream(*s);
        s->state = PlayState::Paused;
        PauseWhenIdle();
        return kTRUE;
    }

    BOOL Stop(DWORD handle) {
        std::lock_guard lk(apiMutex);
        Stream* s = Find(handle);
        if (!s) return kFALSE;
        StopStream(*s);
        PauseWhenIdle();
        return kTRUE;
    }

    HSYNC SetSync(DWORD handle, DWORD type, QWORD /*param*/, SYNCPROC* proc, void* user) {
        std::lock_guard lk(apiMutex);
        Stream* s = Find(handle);
        if (!s || !proc) return 0;
        if ((type & 0x00FFFFFFu) != BASS_SYNC_END) return 0;  // the end is the one event reported
        HSYNC h = NextHandle(nextSync);
        s->syncs.push_back(SyncEntry{h, type, proc, user});
        return h;
    }

    BOOL RemoveSync(DWORD handle, HSYNC sync) {
        std::unique_lock lk(apiMutex);
        WaitForCallbackOf(lk, handle);
        Stream* s = Find(handle);
        if (!s) return kFALSE;
        auto it = std::find_if(s->syncs.begin(), s->syncs.end(), [&](const SyncEntry& e) { return e.handle == sync; });
        if (it == s->syncs.end()) return kFALSE;
        s->syncs.erase(it);
        return kTRUE;
    }

    QWORD GetPosition(DWORD handle, DWORD mode) {
        std::lock_guard lk(apiMutex);
        Stream* s = Find(handle);
        if (!s || mode != BASS_POS_BYTE) return static_cast<QWORD>(-1);
        return Position(*s) * kBytesPerFrame;
    }

    BOOL SetPosition(DWORD handle, QWORD pos, DWORD mode) {
        std::lock_guard lk(apiMutex);
        Stream* s = Find(handle);
        if (!s || mode != BASS_POS_BYTE) return kFALSE;
        uint64_t frame = pos / kBytesPerFrame;
        if (frame > s->voice->frames) return kFALSE;
        PlayState was = s->state;
        StopStream(*s);
        s->voice->pos = frame;
        s->basePos = frame;
        if (was == PlayState::Playing)
            StartStream(*s, frame);
        else
            s->state = was;
        return kTRUE;
    }

    QWORD GetLength(DWORD handle, DWORD mode) {
        std::lock_guard lk(apiMutex);
        Stream* s = Find(handle);
        if (!s || mode != BASS_POS_BYTE) return static_cast<QWORD>(-1);
        return s->voice->frames * kBytesPerFrame;
    }

    bool Valid(DWORD handle) {
        std::lock_guard lk(apiMutex);
        return Find(handle) != nullptr;
    }

    BOOL GetAttribute(DWORD handle, DWORD attrib, float* value) {
        std::lock_guard lk(apiMutex);
        Stream* s = Find(handle);
        if (!s || attrib != BASS_ATTRIB_VOL || !value) return kFALSE;
        *value = s->voice->volume.load();
        return kTRUE;
    }

    BOOL SetAttribute(DWORD handle, DWORD attrib, float value) {
        std::lock_guard lk(apiMutex);
        Stream* s = Find(handle);
        if (!s || attrib != BASS_ATTRIB_VOL) return kFALSE;
        if (!(value >= 0.0f)) value = 0.0f;  // also NaN
        if (value > 1.0f) value = 1.0f;
        s->voice->volume.store(value);
        return kTRUE;
    }

  private:
    template <typename T>
    static T NextHandle(T& counter) {
        if (++counter == 0) ++counter;
        return counter;
    }

    static void AddNames(const std::string& list, std::set<std::string>& out) {
        size_t start = 0;
        while (start < list.size()) {
            size_t comma = list.find(',', start);
            if (comma == std::string::npos) comma = list.size();
            if (comma > start) out.insert(list.substr(start, comma - start));
            start = comma + 1;
        }
    }

    Stream* Find(DWORD handle) {
        if (output == Output::None) return nullptr;
        auto it = streams.find(handle);
        return it == streams.end() ? nullptr : &it->second;
    }

    int64_t Now() const {
        if (virtualClock) return clock.now();
        return SteadyTicks();
    }

    uint64_t Position(const Stream& s) const {
        if (output == Output::Sdl) return s.voice->pos.load();
        if (s.state != PlayState::Playing) return s.basePos;
        int64_t elapsed = std::max<int64_t>(0, Now() - s.baseTicks);
        uint64_t advanced = static_cast<uint64_t>(elapsed / kTicksPerSecond) * kOutputRate +
                            static_cast<uint64_t>((elapsed % kTicksPerSecond) * kOutputRate / kTicksPerSecond);
        return std::min(s.voice->frames, s.basePos + advanced);
    }

    // Another thread's end callback of this stream must return before it may change.
    void WaitForCallbackOf(std::unique_lock<std::mutex>& lk, DWORD handle) {
        apiCv.wait(lk, [&] {
            return std::none_of(inflight.begin(), inflight.end(), [&](const auto& f) {
                return f.first == handle && f.second != std::this_thread::get_id();
            });
        });
    }

    // Takes the stream off the output, keeping its position.
    void StopStream(Stream& s) {
        if (s.state == PlayState::Playing) {
            s.basePos = Position(s);
            s.voice->pos = s.basePos;
        }
        ++s.gen;
        s.state = PlayState::Stopped;
        if (output == Output::Sdl) {
            std::lock_guard mk(mixMutex);
            voices.erase(std::remove(voices.begin(), voices.end(), s.voice), voices.end());
        }
        if (s.clockEvent) {
            clock.cancel(s.clockEvent);
            s.clockEvent = 0;
        }
        std::lock_guard qk(queueMutex);
        timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.handle == s.handle; }),
                     timers.end());
    }

    void StartStream(Stream& s, uint64_t from) {
        s.state = PlayState::Playing;
        ++s.gen;
        s.voice->pos = from;
        s.basePos = from;
        if (output == Output::Sdl) {
            {
                std::lock_guard mk(mixMutex);
                s.voice->applied = s.voice->volume.load();
                s.voice->gen = s.gen;
                voices.push_back(s.voice);
            }
            if (sdlPaused) {
                SDL_PauseAudioDevice(sdlDevice, 0);
                sdlPaused = false;
            }
            return;
        }
        s.baseTicks = Now();
        uint64_t left = s.voice->frames - from;
        int64_t due = s.baseTicks + static_cast<int64_t>((left * kTicksPerSecond + kOutputRate - 1) / kOutputRate);
        if (virtualClock) {
            uintptr_t token = (static_cast<uintptr_t>(s.handle) << 32) | s.gen;
            s.clockEvent = clock.schedule(due, &Library::ClockDue, reinterpret_cast<void*>(token));
        } else {
            std::lock_guard qk(queueMutex);
            timers.push_back(Timer{due, s.handle, s.gen});
            queueCv.notify_all();
        }
    }

    void PauseWhenIdle() {
        if (output != Output::Sdl || sdlPaused) return;
        bool idle;
        {
            std::lock_guard mk(mixMutex);
            idle = voices.empty();
        }
        if (idle) {
            SDL_PauseAudioDevice(sdlDevice, 1);
            sdlPaused = true;
        }
    }

    bool OpenSdl() {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(kOutputRate);
        want.format = AUDIO_F32SYS;
        want.channels = 2;
        want.samples = kMixFrames;
        want.callback = &Library::SdlCallback;
        want.userdata = this;
        SDL_AudioSpec have{};
        sdlDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (sdlDevice == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        sdlPaused = true;
        return true;
    }

    static void SdlCallback(void* userdata, Uint8* stream, int len) {
        static_cast<Library*>(userdata)->Mix(reinterpret_cast<float*>(stream),
                                             len / static_cast<int>(sizeof(float) * 2));
    }

    // Runs on SDL's audio thread: mixes, and hands ended streams to the sync thread.
    void Mix(float* out, int frames) {
        std::fill(out, out + static_cast<size_t>(frames) * 2, 0.0f);
        std::lock_guard mk(mixMutex);
        for (auto it = voices.begin(); it != voices.end();) {
            Voice& v = **it;
            uint64_t pos = v.pos.load();
            uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(frames), v.frames - std::min(pos, v.frames));
            float target = v.volume.load();
            const int16_t* src = v.pcm->data() + pos * 2;
            for (uint64_t i = 0; i < n; ++i) {
                float gain = target;
                if (i < kRampFrames && v.applied != target)
                    gain = v.applied + (target - v.applied) * static_cast<float>(i + 1) / kRampFrames;
                out[i * 2] += src[i * 2] * gain / 32768.0f;
                out[i * 2 + 1] += src[i * 2 + 1] * gain / 32768.0f;
            }
            if (n > 0) v.applied = target;
            v.pos.store(pos + n);
            if (pos + n >= v.frames) {
                {
                    std::lock_guard qk(queueMutex);
                    queue.push_back(EndEvent{v.handle, v.gen, ++queueSeq});
                }
                queueCv.notify_all();
                it = voices.erase(it);
            } else {
                ++it;
            }
        }
    }

    // The program's clock calls this on the thread that moves time; the end is handed to
    // the sync thread, and this returns when its callbacks have returned.
    static void ClockDue(void* ctx);

    void PostAndWait(HSTREAM handle, uint32_t gen) {
        std::unique_lock qk(queueMutex);
        if (!active) return;
        if (syncThreadId == std::this_thread::get_id()) {
            // Time moved inside one of our own callbacks (it slept): run the end here.
            qk.unlock();
            Ended(handle, gen);
            return;
        }
        uint64_t epoch = syncEpoch;
        uint64_t seq = ++queueSeq;
        queue.push_back(EndEvent{handle, gen, seq});
        queueCv.notify_all();
        queueCv.wait(qk, [&] { return !active || syncEpoch != epoch || doneSeq >= seq; });
    }

    void SyncLoop(uint64_t epoch) {
        // Our callbacks may wait on the program's clock while it runs one of our ends.
        if (virtualClock && clock.markCallbackThread) clock.markCallbackThread();
        std::unique_lock qk(queueMutex);
        syncThreadId = std::this_thread::get_id();
        while (syncEpoch == epoch) {
            if (!queue.empty()) {
                EndEvent ev = queue.front();
                queue.pop_front();
                qk.unlock();
                Ended(ev.handle, ev.gen);
                qk.lock();
                doneSeq = std::max(doneSeq, ev.seq);
                queueCv.notify_all();
                continue;
            }
            if (!timers.empty()) {
                auto first = std::min_element(timers.begin(), timers.end(),
                                              [](const Timer& a, const Timer& b) { return a.due < b.due; });
                int64_t wait = first->due - SteadyTicks();
                if (wait <= 0) {
                    Timer t = *first;
                    timers.erase(first);
                    qk.unlock();
                    Ended(t.handle, t.gen);
                    qk.lock();
                    continue;
                }
                queueCv.wait_for(qk, std::chrono::nanoseconds(wait * 100));
                continue;
            }
            queueCv.wait(qk);
        }
        // Let clock events that still wait for their turn go.
        if (syncThreadId == std::this_thread::get_id()) syncThreadId = std::thread::id();
        doneSeq = queueSeq;
        queueCv.notify_all();
    }

    // A stream played to its end: mark it stopped and run its end syncs, once.
    void Ended(HSTREAM handle, uint32_t gen) {
        std::vector<SyncEntry> syncs;
        {
            std::lock_guard lk(apiMutex);
            Stream* s = Find(handle);
            if (!s || s->gen != gen || s->state != PlayState::Playing) return;
            s->clockEvent = 0;
            s->basePos = s->voice->frames;
            s->voice->pos = s->voice->frames;
            s->state = PlayState::Stopped;
            ++s->gen;
            syncs = s->syncs;
            inflight.emplace_back(handle, std::this_thread::get_id());
        }
        for (const SyncEntry& e : syncs) {
            bool still;
            {
                std::lock_guard lk(apiMutex);
                Stream* s = Find(handle);
                still = s && std::any_of(s->syncs.begin(), s->syncs.end(),
                                         [&](const SyncEntry& x) { return x.handle == e.handle; });
                if (still && (e.type & 0x80000000u))  // one-time sync: gone once it fired
                    s->syncs.erase(std::remove_if(s->syncs.begin(), s->syncs.end(),
                                                  [&](const SyncEntry& x) { return x.handle == e.handle; }),
                                   s->syncs.end());
            }
            if (!still) continue;
            try {
                e.proc(e.handle, handle, 0, e.user);
            } catch (...) {
                // A callback's failure stays with the callback.
            }
        }
        std::lock_guard lk(apiMutex);
        auto mine = std::find(inflight.begin(), inflight.end(), std::make_pair(handle, std::this_thread::get_id()));
        if (mine != inflight.end()) inflight.erase(mine);
        apiCv.notify_all();
        PauseWhenIdle();
    }

    void JoinOrphan(std::unique_lock<std::mutex>& lk) {
        if (!orphan.joinable()) return;
        std::thread t = std::move(orphan);
        if (t.get_id() == std::this_thread::get_id()) {
            t.detach();  // only when the library is unloaded from inside its own callback
            return;
        }
        lk.unlock();
        t.join();
        lk.lock();
    }

    std::mutex apiMutex;
    std::condition_variable apiCv;
    Output output = Output::None;
    uint64_t initGen = 0;
    ClockApi clock;
    bool virtualClock = false;
    SDL_AudioDeviceID sdlDevice = 0;
    bool sdlPaused = true;
    std::map<HSTREAM, Stream> streams;
    std::map<HPLUGIN, Plugin> plugins;
    HSTREAM nextStream = 0x10000;
    HSYNC nextSync = 0x20000;
    HPLUGIN nextPlugin = 0x30000;
    std::vector<std::pair<HSTREAM, std::thread::id>> inflight;  // end callbacks running now
    std::thread syncThread;
    std::thread orphan;

    std::mutex mixMutex;
    std::vector<std::shared_ptr<Voice>> voices;

    std::mutex queueMutex;
    std::condition_variable queueCv;
    bool active = false;
    uint64_t syncEpoch = 0;
    std::thread::id syncThreadId;
    std::deque<EndEvent> queue;
    std::vector<Timer> timers;
    uint64_t queueSeq = 0;
    uint64_t doneSeq = 0;
};

Library& Lib() {
    static Library library;
    return library;
}

void Library::ClockDue(void* ctx) {
    auto token = reinterpret_cast<uintptr_t>(ctx);
    Lib().PostAndWait(static_cast<HSTREAM>(token >> 32), static_cast<uint32_t>(token & 0xFFFFFFFFu));
}

}  // namespace
}  // namespace bass

using namespace bass;

BASS_EXPORT BOOL BASS_Init(int device, DWORD freq, DWORD /*flags*/, void* /*win*/, const void* /*clsid*/) {
    return Lib().Init(device, freq);
}
BASS_EXPORT BOOL BASS_Free() { return Lib().Free(); }
BASS_EXPORT HPLUGIN BASS_PluginLoad(const char* file, DWORD flags) { return Lib().PluginLoad(file, flags); }
BASS_EXPORT BOOL BASS_PluginFree(HPLUGIN handle) { return Lib().PluginFree(handle); }
BASS_EXPORT HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
    return Lib().StreamCreateFile(mem, file, offset, length, flags);
}
BASS_EXPORT BOOL BASS_StreamFree(HSTREAM handle) { return Lib().StreamFree(handle); }
BASS_EXPORT BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) { return Lib().Play(handle, restart); }
BASS_EXPORT BOOL BASS_ChannelPause(DWORD handle) { return Lib().Pause(handle); }
BASS_EXPORT BOOL BASS_ChannelStop(DWORD handle) { return Lib().Stop(handle); }
BASS_EXPORT HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC* proc, void* user) {
    return Lib().SetSync(handle, type, param, proc, user);
}
BASS_EXPORT BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync) { return Lib().RemoveSync(handle, sync); }
BASS_EXPORT QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) { return Lib().GetPosition(handle, mode); }
BASS_EXPORT BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    return Lib().SetPosition(handle, pos, mode);
}
BASS_EXPORT QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) { return Lib().GetLength(handle, mode); }
BASS_EXPORT double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    if (!Lib().Valid(handle) || pos == static_cast<QWORD>(-1)) return -1.0;
    return static_cast<double>(pos) / (kOutputRate * kBytesPerFrame);
}
BASS_EXPORT QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
    if (!Lib().Valid(handle) || !(pos >= 0.0)) return static_cast<QWORD>(-1);
    return static_cast<QWORD>(pos * kOutputRate) * kBytesPerFrame;
}
BASS_EXPORT BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
    return Lib().GetAttribute(handle, attrib, value);
}
BASS_EXPORT BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
    return Lib().SetAttribute(handle, attrib, value);
}
