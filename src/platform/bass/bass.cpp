// The audio library: streams decoded with FFmpeg as they play, mixed into SDL2 or a null
// output, end-of-stream syncs on a thread of their own.
//
// Outputs. SDL's device pulls mixed samples on its own thread. The null output without a
// sound device pulls them on a thread of ours at real speed. On the program's virtual
// clock the null output mixes nothing: a stream's length is counted when it is created,
// its position follows the clock, and its end is an event on the clock.
//
// Streams. Each stream has a decoder and a ring of decoded frames (kRingFrames, under
// three quarters of a second). The decoder thread keeps the rings of all streams filled,
// one chunk at a time; the output takes frames out of the ring of each playing stream.
// A stream's position is the position of the first frame in its ring. Moving it elsewhere
// empties the ring and asks the decoder thread to seek; until it has, the stream is silent.
//
// Locks, always taken in this order and never held while user code runs:
//   apiMutex    - every entry point; streams, syncs, plug-ins, the in-flight callback.
//   mixMutex    - the voices the output mixes (held briefly by both sides).
//   decodeMutex - the decoder thread's list of voices; nothing else is taken under it but
//                 a ring.
//   ringMutex   - one voice's ring (held for a copy at a time).
//   queueMutex  - the sync thread's queue of ended streams.
//   nullMutex   - the null output's pacing.
// The output callbacks take mixMutex, ringMutex, queueMutex and (to wake the decoder)
// decodeMutex, each only for a list edit or a copy, so no entry point can stall them.
// The decoder thread never holds two of these at once, and never takes apiMutex.

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
#include <optional>
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
// Decoded frames a stream holds ahead of the output, and what the decoder adds at a time.
// A new stream has its ring full before its handle is returned: a bounded moment of work
// that gives the decoder thread three quarters of a second to be scheduled, and a short
// track all of its frames.
constexpr size_t kRingFrames = 32768;
constexpr size_t kChunkFrames = 4096;
constexpr size_t kStartFrames = kRingFrames;
// The null output's pace: about the period of a device that pulls kMixFrames at a time
// (23 ms at 44100 Hz). Each wake-up costs a thread switch whatever it mixes, and on a busy
// machine a switch costs many times what it does on a quiet one, so the output wakes no
// more often than a device would; a late tick takes all the frames that fell due.
constexpr auto kNullTick = std::chrono::milliseconds(20);

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
    api.schedule =
        reinterpret_cast<uint64_t (*)(int64_t, void (*)(void*), void*)>(dlsym(RTLD_DEFAULT, "lumetra_clock_schedule"));
    api.cancel = reinterpret_cast<int (*)(uint64_t)>(dlsym(RTLD_DEFAULT, "lumetra_clock_cancel"));
    api.sleepMs = reinterpret_cast<void (*)(uint32_t)>(dlsym(RTLD_DEFAULT, "lumetra_clock_sleep_ms"));
    api.markCallbackThread = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "lumetra_clock_mark_callback_thread"));
    if (!api.Present()) return ClockApi{};
    return api;
}

int64_t SteadyTicks() {
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                  .count();
    return ns / 100;
}

// A stream as the output and the decoder thread see it.
struct Voice {
    HSTREAM handle = 0;
    std::atomic<float> volume{1.0f};
    // Output side, under mixMutex.
    float applied = 1.0f;
    uint32_t gen = 0;

    // Decoded frames waiting for the output, under ringMutex.
    std::mutex ringMutex;
    std::vector<float> ring;  // kRingFrames stereo frames
    size_t head = 0;          // index of the first buffered frame
    size_t count = 0;         // buffered frames
    uint64_t pos = 0;         // stream position of the frame at head
    bool eof = false;         // the frame after the last buffered one is the end
    bool seekWanted = false;  // the decoder must move to pos before it adds frames
    uint64_t serial = 0;      // changes with every such move

    // The decoder thread's alone once the stream is published.
    std::unique_ptr<Decoder> decoder;
    std::atomic<bool> stop{false};  // the stream is gone: long work on it ends early

    // What a counting pass needs, and the length once known.
    std::shared_ptr<const SourceData> source;
    std::set<std::string> containers;
    std::mutex lengthMutex;  // the value
    std::mutex countMutex;   // one counting pass at a time
    std::optional<uint64_t> length;

    std::optional<uint64_t> KnownLength() {
        std::lock_guard lk(lengthMutex);
        return length;
    }
    void SetLength(uint64_t frames) {
        std::lock_guard lk(lengthMutex);
        length = frames;
    }

    // Ring operations, under ringMutex.
    size_t Room() const { return kRingFrames - count; }
    void Put(const float* src, size_t n) {
        size_t tail = (head + count) % kRingFrames;
        size_t first = std::min(n, kRingFrames - tail);
        std::memcpy(ring.data() + tail * 2, src, first * 2 * sizeof(float));
        std::memcpy(ring.data(), src + first * 2, (n - first) * 2 * sizeof(float));
        count += n;
    }
    // The next frame played is `target`: taken from the ring when it holds it, else the
    // decoder is sent there.
    void MoveTo(uint64_t target) {
        if (!seekWanted && target >= pos && target - pos <= count) {
            size_t drop = static_cast<size_t>(target - pos);
            head = (head + drop) % kRingFrames;
            count -= drop;
            pos = target;
            return;
        }
        head = 0;
        count = 0;
        pos = target;
        eof = false;
        seekWanted = true;
        ++serial;
    }
    bool NeedsDecoder() const { return seekWanted || (!eof && Room() >= kChunkFrames); }
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
    // Null output on the virtual clock: the position is basePos plus the clock's progress
    // since baseTicks, and `frames` is the stream's length.
    uint64_t frames = 0;
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
        outputPaused = true;
        uint64_t epoch;
        {
            std::lock_guard qk(queueMutex);
            active = true;
            epoch = ++syncEpoch;
        }
        syncThread = std::thread([this, epoch] { SyncLoop(epoch); });
        if (Mixed()) {
            {
                std::lock_guard dk(decodeMutex);
                decodeRunning = true;
            }
            decodeThread = std::thread([this] { DecodeLoop(); });
        }
        if (output == Output::Null && !virtualClock) {
            {
                std::lock_guard nk(nullMutex);
                nullRunning = true;
                nullPaused = true;
            }
            nullThread = std::thread([this] { NullLoop(); });
        }
        return kTRUE;
    }

    BOOL Free() {
        std::unique_lock lk(apiMutex);
        if (output == Output::None) return kFALSE;
        Output was = output;
        bool mixed = Mixed();

        // Streams go without firing their syncs.
        for (auto& [h, s] : streams) {
            StopStream(s);
            s.voice->stop = true;
        }
        output = Output::None;
        if (was == Output::Sdl) {
            SDL_CloseAudioDevice(sdlDevice);
            sdlDevice = 0;
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
        outputPaused = true;
        if (nullThread.joinable()) {
            {
                std::lock_guard nk(nullMutex);
                nullRunning = false;
            }
            nullCv.notify_all();
            nullThread.join();  // it takes no lock of ours but the output's
        }
        {
            std::lock_guard mk(mixMutex);
            voices.clear();
        }
        if (mixed) {
            {
                std::lock_guard dk(decodeMutex);
                decodeRunning = false;
                decodeList.clear();
            }
            decodeCv.notify_all();
            if (decodeThread.joinable()) decodeThread.join();  // it never takes apiMutex
        }
        {
            std::lock_guard qk(queueMutex);
            active = false;
            ++syncEpoch;
            queue.clear();
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
        std::set<std::string> containers;
        uint64_t gen;
        bool mixed;
        {
            std::lock_guard lk(apiMutex);
            if (output == Output::None) return 0;
            containers = BaseContainers();
            for (auto& [h, p] : plugins) AddNames(p.demuxers, containers);
            gen = initGen;
            mixed = Mixed();
        }
        // Opening takes a moment: other threads keep using the library meanwhile.
        std::shared_ptr<const SourceData> source =
            mem != 0 ? SourceData::CopyMemory(file, length)  // the offset applies to files only
                     : SourceData::OpenFile(static_cast<const char*>(file), offset, length);
        DecodeError error;
        std::unique_ptr<Decoder> decoder = Decoder::Open(source, containers, &error);
        if (!decoder) return 0;

        auto voice = std::make_shared<Voice>();
        voice->source = source;
        voice->containers = containers;
        if (auto stated = decoder->StatedLength()) voice->length = *stated;
        if (mixed) {
            // The first moments are ready before the stream is: playing starts at once.
            voice->ring.resize(kRingFrames * 2);
            std::vector<float> scratch(kChunkFrames * 2);
            while (voice->count < kStartFrames && !decoder->AtEnd()) {
                size_t n = decoder->Read(scratch.data(), std::min(kChunkFrames, kStartFrames - voice->count));
                voice->Put(scratch.data(), n);
            }
            voice->eof = decoder->AtEnd();
            if (voice->eof) voice->length = decoder->Position();
            voice->decoder = std::move(decoder);
        } else if (!voice->length) {
            // On the virtual clock the end is an event at a known time: count now.
            std::vector<float> scratch(kChunkFrames * 2);
            while (!decoder->AtEnd()) decoder->Read(scratch.data(), kChunkFrames);
            voice->length = decoder->Position();
        }

        std::lock_guard lk(apiMutex);
        if (output == Output::None || gen != initGen) return 0;
        HSTREAM h = NextHandle(nextStream);
        voice->handle = h;
        Stream s;
        s.handle = h;
        s.frames = voice->length.value_or(0);
        s.voice = voice;
        streams.emplace(h, std::move(s));
        if (mixed) {
            {
                std::lock_guard dk(decodeMutex);
                decodeList.push_back(voice);
            }
            decodeCv.notify_all();
        }
        return h;
    }

    BOOL StreamFree(HSTREAM handle) {
        std::unique_lock lk(apiMutex);
        WaitForCallbackOf(lk, handle);
        auto it = streams.find(handle);
        if (it == streams.end() || output == Output::None) return kFALSE;
        StopStream(it->second);
        Forget(it->second.voice);
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
        std::shared_ptr<Voice> voice = VoiceOf(handle);
        if (!voice || mode != BASS_POS_BYTE) return kFALSE;
        std::optional<uint64_t> length = LengthOf(*voice);
        uint64_t frame = pos / kBytesPerFrame;
        if (!length || frame > *length) return kFALSE;

        std::lock_guard lk(apiMutex);
        Stream* s = Find(handle);
        if (!s || s->voice != voice) return kFALSE;
        PlayState was = s->state;
        StopStream(*s);
        s->basePos = frame;
        if (Mixed()) {
            {
                std::lock_guard rk(voice->ringMutex);
                voice->MoveTo(frame);
            }
            WakeDecoder();
        }
        if (was == PlayState::Playing)
            StartStream(*s, frame);
        else
            s->state = was;
        return kTRUE;
    }

    QWORD GetLength(DWORD handle, DWORD mode) {
        std::shared_ptr<Voice> voice = VoiceOf(handle);
        if (!voice || mode != BASS_POS_BYTE) return static_cast<QWORD>(-1);
        std::optional<uint64_t> length = LengthOf(*voice);
        std::lock_guard lk(apiMutex);
        Stream* s = Find(handle);
        if (!length || !s || s->voice != voice) return static_cast<QWORD>(-1);
        return *length * kBytesPerFrame;
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

    // Whether an output takes samples out of the streams (a device, or the null output at
    // real speed), rather than following the virtual clock.
    bool Mixed() const { return output == Output::Sdl || (output == Output::Null && !virtualClock); }

    Stream* Find(DWORD handle) {
        if (output == Output::None) return nullptr;
        auto it = streams.find(handle);
        return it == streams.end() ? nullptr : &it->second;
    }

    std::shared_ptr<Voice> VoiceOf(DWORD handle) {
        std::lock_guard lk(apiMutex);
        Stream* s = Find(handle);
        return s ? s->voice : nullptr;
    }

    // The stream's length, counted when no cheaper answer is known. Runs without apiMutex.
    static std::optional<uint64_t> LengthOf(Voice& v) {
        if (auto known = v.KnownLength()) return known;
        std::lock_guard ck(v.countMutex);
        if (auto known = v.KnownLength()) return known;
        std::optional<uint64_t> counted = CountFrames(v.source, v.containers, &v.stop);
        if (counted) v.SetLength(*counted);
        return counted;
    }

    int64_t Now() const {
        if (virtualClock) return clock.now();
        return SteadyTicks();
    }

    uint64_t Position(const Stream& s) const {
        if (Mixed()) {
            std::lock_guard rk(s.voice->ringMutex);
            return s.voice->pos;
        }
        if (s.state != PlayState::Playing) return s.basePos;
        int64_t elapsed = std::max<int64_t>(0, Now() - s.baseTicks);
        uint64_t advanced = static_cast<uint64_t>(elapsed / kTicksPerSecond) * kOutputRate +
                            static_cast<uint64_t>((elapsed % kTicksPerSecond) * kOutputRate / kTicksPerSecond);
        return std::min(s.frames, s.basePos + advanced);
    }

    // Another thread's end callback of this stream must return before it may change.
    void WaitForCallbackOf(std::unique_lock<std::mutex>& lk, DWORD handle) {
        apiCv.wait(lk, [&] {
            return std::none_of(inflight.begin(), inflight.end(), [&](const auto& f) {
                return f.first == handle && f.second != std::this_thread::get_id();
            });
        });
    }

    // The decoder thread lets a freed stream go.
    void Forget(const std::shared_ptr<Voice>& voice) {
        voice->stop = true;
        if (!Mixed()) return;
        std::lock_guard dk(decodeMutex);
        decodeList.erase(std::remove(decodeList.begin(), decodeList.end(), voice), decodeList.end());
    }

    // Takes the stream off the output, keeping its position.
    void StopStream(Stream& s) {
        if (s.state == PlayState::Playing && !Mixed()) s.basePos = Position(s);
        ++s.gen;
        s.state = PlayState::Stopped;
        if (Mixed()) {
            std::lock_guard mk(mixMutex);
            voices.erase(std::remove(voices.begin(), voices.end(), s.voice), voices.end());
        }
        if (s.clockEvent) {
            clock.cancel(s.clockEvent);
            s.clockEvent = 0;
        }
    }

    void StartStream(Stream& s, uint64_t from) {
        s.state = PlayState::Playing;
        ++s.gen;
        s.basePos = from;
        if (Mixed()) {
            {
                std::lock_guard rk(s.voice->ringMutex);
                if (s.voice->pos != from) s.voice->MoveTo(from);
            }
            WakeDecoder();
            {
                std::lock_guard mk(mixMutex);
                s.voice->applied = s.voice->volume.load();
                s.voice->gen = s.gen;
                voices.push_back(s.voice);
            }
            ResumeOutput();
            return;
        }
        s.baseTicks = Now();
        uint64_t left = s.frames - std::min(from, s.frames);
        int64_t due = s.baseTicks + static_cast<int64_t>((left * kTicksPerSecond + kOutputRate - 1) / kOutputRate);
        uintptr_t token = (static_cast<uintptr_t>(s.handle) << 32) | s.gen;
        s.clockEvent = clock.schedule(due, &Library::ClockDue, reinterpret_cast<void*>(token));
    }

    void ResumeOutput() {
        if (!outputPaused) return;
        outputPaused = false;
        if (output == Output::Sdl) {
            SDL_PauseAudioDevice(sdlDevice, 0);
        } else if (output == Output::Null) {
            {
                std::lock_guard nk(nullMutex);
                nullPaused = false;
                nullStart = SteadyTicks();
                nullMixed = 0;
            }
            nullCv.notify_all();
        }
    }

    void PauseWhenIdle() {
        if (!Mixed() || outputPaused) return;
        bool idle;
        {
            std::lock_guard mk(mixMutex);
            idle = voices.empty();
        }
        if (!idle) return;
        outputPaused = true;
        if (output == Output::Sdl) {
            SDL_PauseAudioDevice(sdlDevice, 1);
        } else {
            std::lock_guard nk(nullMutex);
            nullPaused = true;
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
        return true;
    }

    static void SdlCallback(void* userdata, Uint8* stream, int len) {
        static_cast<Library*>(userdata)->Mix(reinterpret_cast<float*>(stream),
                                             len / static_cast<int>(sizeof(float) * 2));
    }

    // The null output at real speed: every tick it takes what the time since it started
    // asks for, as a device would.
    void NullLoop() {
        std::vector<float> scratch(static_cast<size_t>(kMixFrames) * 2);
        std::unique_lock nk(nullMutex);
        while (nullRunning) {
            if (nullPaused) {
                nullCv.wait(nk);
                continue;
            }
            int64_t elapsed = SteadyTicks() - nullStart;
            uint64_t due = static_cast<uint64_t>(elapsed / kTicksPerSecond) * kOutputRate +
                           static_cast<uint64_t>((elapsed % kTicksPerSecond) * kOutputRate / kTicksPerSecond);
            while (due > nullMixed && nullRunning && !nullPaused) {
                int n = static_cast<int>(std::min<uint64_t>(due - nullMixed, kMixFrames));
                nullMixed += static_cast<uint64_t>(n);
                nk.unlock();
                Mix(scratch.data(), n);
                nk.lock();
            }
            nullCv.wait_for(nk, kNullTick);
        }
    }

    // Runs on the output's thread: mixes, and hands ended streams to the sync thread.
    void Mix(float* out, int frames) {
        std::fill(out, out + static_cast<size_t>(frames) * 2, 0.0f);
        bool wake = false;
        std::lock_guard mk(mixMutex);
        for (auto it = voices.begin(); it != voices.end();) {
            Voice& v = **it;
            float target = v.volume.load();
            size_t n = 0;
            bool ended = false;
            {
                std::lock_guard rk(v.ringMutex);
                if (!v.seekWanted) {
                    n = std::min(static_cast<size_t>(frames), v.count);
                    for (size_t i = 0; i < n; ++i) {
                        const float* src = v.ring.data() + ((v.head + i) % kRingFrames) * 2;
                        float gain = target;
                        if (i < kRampFrames && v.applied != target)
                            gain = v.applied + (target - v.applied) * static_cast<float>(i + 1) / kRampFrames;
                        out[i * 2] += src[0] * gain;
                        out[i * 2 + 1] += src[1] * gain;
                    }
                    v.head = (v.head + n) % kRingFrames;
                    v.count -= n;
                    v.pos += n;
                    ended = v.count == 0 && v.eof;
                }
                wake = wake || v.NeedsDecoder();
            }
            if (n > 0) v.applied = target;
            if (ended) {
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
        if (wake) WakeDecoder();
    }

    void WakeDecoder() {
        { std::lock_guard dk(decodeMutex); }
        decodeCv.notify_all();
    }

    // The decoder thread: fills the rings of all streams, one chunk at a time, and moves a
    // decoder where its stream was sent.
    void DecodeLoop() {
        std::vector<float> scratch(kChunkFrames * 2);
        std::unique_lock dk(decodeMutex);
        size_t next = 0;
        while (decodeRunning) {
            std::shared_ptr<Voice> work;
            for (size_t i = 0; i < decodeList.size() && !work; ++i) {
                size_t k = (next + i) % decodeList.size();
                std::lock_guard rk(decodeList[k]->ringMutex);
                if (decodeList[k]->NeedsDecoder()) {
                    work = decodeList[k];
                    next = k + 1;
                }
            }
            if (!work) {
                decodeCv.wait(dk);
                continue;
            }
            dk.unlock();
            Decode(*work, scratch);
            work.reset();  // a stream freed meanwhile is destroyed here, without the lock
            dk.lock();
        }
    }

    static void Decode(Voice& v, std::vector<float>& scratch) {
        uint64_t serial;
        bool seek;
        uint64_t target;
        size_t want;
        {
            std::lock_guard rk(v.ringMutex);
            serial = v.serial;
            seek = v.seekWanted;
            target = v.pos;
            want = std::min(v.Room(), kChunkFrames);
        }
        if (seek) {
            bool ok = v.decoder->Seek(target, &v.stop);
            std::lock_guard rk(v.ringMutex);
            if (v.serial != serial) return;  // sent elsewhere meanwhile: seek again
            v.seekWanted = false;
            // A file that can no longer be read ends the stream where it is.
            v.eof = !ok || v.decoder->AtEnd() || v.decoder->Position() != target;
            return;
        }
        size_t n = v.decoder->Read(scratch.data(), want);
        bool atEnd = v.decoder->AtEnd();
        if (atEnd && v.decoder->PositionCounted() && !v.KnownLength()) v.SetLength(v.decoder->Position());
        std::lock_guard rk(v.ringMutex);
        if (v.serial != serial) return;  // the stream was sent elsewhere: these frames are stale
        v.Put(scratch.data(), n);
        v.eof = atEnd;
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
            if (queue.empty()) {
                queueCv.wait(qk);
                continue;
            }
            EndEvent ev = queue.front();
            queue.pop_front();
            qk.unlock();
            Ended(ev.handle, ev.gen);
            qk.lock();
            doneSeq = std::max(doneSeq, ev.seq);
            queueCv.notify_all();
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
            s->basePos = s->frames;
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
    bool outputPaused = true;
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

    std::mutex decodeMutex;
    std::condition_variable decodeCv;
    bool decodeRunning = false;
    std::vector<std::shared_ptr<Voice>> decodeList;
    std::thread decodeThread;

    std::mutex queueMutex;
    std::condition_variable queueCv;
    bool active = false;
    uint64_t syncEpoch = 0;
    std::thread::id syncThreadId;
    std::deque<EndEvent> queue;
    uint64_t queueSeq = 0;
    uint64_t doneSeq = 0;

    std::mutex nullMutex;
    std::condition_variable nullCv;
    bool nullRunning = false;
    bool nullPaused = true;
    int64_t nullStart = 0;
    uint64_t nullMixed = 0;
    std::thread nullThread;
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
