#include "platform/bass/decode.h"

#include "platform/bass/bass.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace bass {

// ---------------------------------------------------------------------------------------
// SourceData

std::shared_ptr<const SourceData> SourceData::OpenFile(const std::string& path, uint64_t offset, uint64_t length) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    std::shared_ptr<SourceData> s(new SourceData());
    s->fd_ = fd;
    off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0 || static_cast<uint64_t>(end) <= offset) return nullptr;
    uint64_t avail = static_cast<uint64_t>(end) - offset;
    s->offset_ = offset;
    s->size_ = length == 0 ? avail : std::min(avail, length);
    return s;
}

std::shared_ptr<const SourceData> SourceData::CopyMemory(const void* data, uint64_t length) {
    if (!data || length == 0) return nullptr;
    std::shared_ptr<SourceData> s(new SourceData());
    const auto* bytes = static_cast<const uint8_t*>(data);
    s->memory_.assign(bytes, bytes + length);
    s->size_ = length;
    return s;
}

SourceData::~SourceData() {
    if (fd_ >= 0) ::close(fd_);
}

int64_t SourceData::ReadAt(uint64_t pos, uint8_t* buffer, size_t n) const {
    if (pos >= size_) return 0;
    uint64_t want = std::min<uint64_t>(n, size_ - pos);
    if (fd_ < 0) {
        std::memcpy(buffer, memory_.data() + pos, want);
        return static_cast<int64_t>(want);
    }
    for (;;) {
        ssize_t got = ::pread(fd_, buffer, want, static_cast<off_t>(offset_ + pos));
        if (got >= 0) return got;
        if (errno != EINTR) return -1;
    }
}

const std::set<std::string>& BaseContainers() {
    static const std::set<std::string> names{"mp3", "ogg", "wav", "flac", "aiff"};
    return names;
}

// ---------------------------------------------------------------------------------------
// Decoder

namespace {

constexpr int kIoBufferSize = 32 * 1024;
// Sample rates outside this range are not music; they are refused rather than resampled
// into an unreasonable number of frames.
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;
// Steps (a packet read, a frame received, a slice converted) one Read may take.
constexpr int kStepsPerRead = 256;
// A seek this close ahead decodes and drops instead of asking the container.
constexpr uint64_t kDropAhead = 5 * kOutputRate;
// A seek through the container lands this far before the frame asked for, so that the
// decoder has settled by then.
constexpr uint64_t kSeekPreroll = kOutputRate / 2;

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct IoCloser {
    void operator()(AVIOContext* c) const {
        if (c) av_freep(&c->buffer);
        avio_context_free(&c);
    }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct SwrCloser {
    void operator()(SwrContext* c) const { swr_free(&c); }
};
struct PacketCloser {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameCloser {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

bool ContainerAllowed(const char* names, const std::set<std::string>& allowed) {
    // A demuxer's name may list several names separated by commas.
    std::string all = names ? names : "";
    size_t start = 0;
    for (;;) {
        size_t comma = all.find(',', start);
        if (allowed.count(all.substr(start, comma == std::string::npos ? std::string::npos : comma - start)))
            return true;
        if (comma == std::string::npos) return false;
        start = comma + 1;
    }
}

int RefuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

bool IsPcm(AVCodecID id) { return id >= AV_CODEC_ID_FIRST_AUDIO && id < AV_CODEC_ID_ADPCM_IMA_QT; }

}  // namespace

struct Decoder::Impl {
    std::shared_ptr<const SourceData> source;
    std::set<std::string> containers;
    uint64_t readerPos = 0;

    std::unique_ptr<AVIOContext, IoCloser> io;
    std::unique_ptr<AVFormatContext, FormatCloser> fmt;
    std::unique_ptr<AVCodecContext, CodecCloser> dec;
    std::unique_ptr<SwrContext, SwrCloser> swr;
    AVChannelLayout swrLayout{};
    int swrRate = 0;
    AVSampleFormat swrFormat = AV_SAMPLE_FMT_NONE;
    std::unique_ptr<AVPacket, PacketCloser> packet;
    std::unique_ptr<AVFrame, FrameCloser> frame;
    int streamIndex = -1;

    bool frameHeld = false;  // `frame` has samples not yet converted, from frameOffset on
    int frameOffset = 0;
    std::vector<float> pending;  // converted samples not yet delivered, from pendingPos on
    size_t pendingPos = 0;
    bool demuxEnded = false;
    bool swrFlushed = false;
    bool ended = false;   // nothing more comes out of the file
    bool failed = false;  // the file can no longer be read
    uint64_t position = 0;
    std::optional<uint64_t> stated;
    // After a seek through the container: the next frame's timestamp sets the position.
    bool anchorPending = false;
    bool anchorFailed = false;
    bool counted = true;

    ~Impl() { av_channel_layout_uninit(&swrLayout); }

    static int ReadPacket(void* opaque, uint8_t* buf, int n) {
        auto* d = static_cast<Impl*>(opaque);
        int64_t got = d->source->ReadAt(d->readerPos, buf, static_cast<size_t>(n));
        if (got < 0) return AVERROR(EIO);
        if (got == 0) return AVERROR_EOF;
        d->readerPos += static_cast<uint64_t>(got);
        return static_cast<int>(got);
    }

    static int64_t SeekPacket(void* opaque, int64_t offset, int whence) {
        auto* d = static_cast<Impl*>(opaque);
        int64_t size = static_cast<int64_t>(d->source->Size());
        if (whence & AVSEEK_SIZE) return size;
        int64_t base = 0;
        switch (whence & ~AVSEEK_FORCE) {
            case SEEK_SET: base = 0; break;
            case SEEK_CUR: base = static_cast<int64_t>(d->readerPos); break;
            case SEEK_END: base = size; break;
            default: return -1;
        }
        if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
        d->readerPos = static_cast<uint64_t>(base + offset);
        return base + offset;
    }

    void ResetConversion() {
        swr.reset();
        av_channel_layout_uninit(&swrLayout);
        swrRate = 0;
        swrFormat = AV_SAMPLE_FMT_NONE;
        if (frame) av_frame_unref(frame.get());
        frameHeld = false;
        frameOffset = 0;
        pending.clear();
        pendingPos = 0;
        demuxEnded = false;
        swrFlushed = false;
        ended = false;
    }

    // Opens the container from its first byte; the position starts at 0.
    DecodeError OpenContainer() {
        ResetConversion();
        dec.reset();
        fmt.reset();
        io.reset();
        readerPos = 0;
        position = 0;
        counted = true;
        stated.reset();

        auto* ioBuffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
        if (!ioBuffer) return DecodeError::Format;
        io.reset(avio_alloc_context(ioBuffer, kIoBufferSize, 0, this, &ReadPacket, nullptr, &SeekPacket));
        if (!io) {
            av_free(ioBuffer);
            return DecodeError::Format;
        }
        AVFormatContext* raw = avformat_alloc_context();
        if (!raw) return DecodeError::Format;
        raw->pb = io.get();
        raw->flags |= AVFMT_FLAG_CUSTOM_IO;
        // Only the allowed containers are even opened, and none may open anything beside
        // our bytes: a playlist that names other files or addresses is not followed.
        std::string whitelist;
        for (const std::string& c : containers) whitelist += (whitelist.empty() ? "" : ",") + c;
        raw->format_whitelist = av_strdup(whitelist.c_str());
        raw->io_open = &RefuseNestedOpen;
        if (!raw->format_whitelist) {
            avformat_free_context(raw);
            return DecodeError::Format;
        }
        if (avformat_open_input(&raw, nullptr, nullptr, nullptr) < 0) return DecodeError::Format;  // frees raw
        fmt.reset(raw);
        if (!fmt->iformat || !ContainerAllowed(fmt->iformat->name, containers)) return DecodeError::Format;
        // Uncompressed data starts where the header ends.
        int64_t dataStart = avio_tell(io.get());
        if (avformat_find_stream_info(fmt.get(), nullptr) < 0) return DecodeError::Format;

        const AVCodec* codec = nullptr;
        streamIndex = av_find_best_stream(fmt.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (streamIndex < 0 || !codec) return DecodeError::Format;
        AVStream* stream = fmt->streams[streamIndex];
        for (unsigned i = 0; i < fmt->nb_streams; ++i)
            if (static_cast<int>(i) != streamIndex) fmt->streams[i]->discard = AVDISCARD_ALL;

        dec.reset(avcodec_alloc_context3(codec));
        if (!dec) return DecodeError::Format;
        if (avcodec_parameters_to_context(dec.get(), stream->codecpar) < 0) return DecodeError::Format;
        if (avcodec_open2(dec.get(), codec, nullptr) < 0) return DecodeError::Format;
        if (dec->sample_rate < kMinRate || dec->sample_rate > kMaxRate) return DecodeError::Format;
        if (dec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || dec->ch_layout.nb_channels <= 0) {
            int channels = dec->ch_layout.nb_channels > 0 ? dec->ch_layout.nb_channels : 2;
            av_channel_layout_uninit(&dec->ch_layout);
            av_channel_layout_default(&dec->ch_layout, channels);
        }

        // Uncompressed samples at the output rate: the header's count is the length, when
        // that much data is really there.
        const AVCodecParameters* par = stream->codecpar;
        if (IsPcm(par->codec_id) && par->sample_rate == static_cast<int>(kOutputRate) && par->block_align > 0 &&
            stream->duration > 0 && stream->duration != AV_NOPTS_VALUE && dataStart >= 0) {
            int64_t frames = av_rescale_q(stream->duration, stream->time_base, AVRational{1, par->sample_rate});
            uint64_t bytes = static_cast<uint64_t>(frames) * static_cast<uint64_t>(par->block_align);
            if (frames > 0 && bytes / static_cast<uint64_t>(par->block_align) == static_cast<uint64_t>(frames) &&
                static_cast<uint64_t>(dataStart) + bytes <= source->Size())
                stated = static_cast<uint64_t>(frames);
        }

        if (!packet) packet.reset(av_packet_alloc());
        if (!frame) frame.reset(av_frame_alloc());
        if (!packet || !frame) return DecodeError::Format;
        return DecodeError::None;
    }

    // Converts `inSamples` samples of the held frame from frameOffset on (none: drains the
    // resampler) and appends them to pending.
    bool Convert(int inSamples) {
        int room = swr_get_out_samples(swr.get(), inSamples);
        if (room < 0) return false;
        if (room == 0) return true;
        std::vector<const uint8_t*> planes;
        if (inSamples > 0) {
            auto format = static_cast<AVSampleFormat>(frame->format);
            int channels = swrLayout.nb_channels;
            size_t bps = static_cast<size_t>(av_get_bytes_per_sample(format));
            bool planar = av_sample_fmt_is_planar(format) != 0;
            size_t skip = static_cast<size_t>(frameOffset) * bps * (planar ? 1u : static_cast<size_t>(channels));
            for (int p = 0; p < (planar ? channels : 1); ++p) planes.push_back(frame->extended_data[p] + skip);
        }
        size_t before = pending.size();
        pending.resize(before + static_cast<size_t>(room) * 2);
        uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(pending.data() + before)};
        int got = swr_convert(swr.get(), dst, room, inSamples > 0 ? planes.data() : nullptr, inSamples);
        if (got < 0) {
            pending.resize(before);
            return false;
        }
        pending.resize(before + static_cast<size_t>(got) * 2);
        return true;
    }

    // A resampler for the held frame's format; one for another format is drained first.
    bool EnsureSwr() {
        AVChannelLayout layout{};
        if (frame->ch_layout.nb_channels > 0 && frame->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_copy(&layout, &frame->ch_layout);
        else
            av_channel_layout_default(
                &layout, frame->ch_layout.nb_channels > 0 ? frame->ch_layout.nb_channels : dec->ch_layout.nb_channels);
        int rate = frame->sample_rate > 0 ? frame->sample_rate : dec->sample_rate;
        auto format = static_cast<AVSampleFormat>(frame->format);
        if (swr && rate == swrRate && format == swrFormat && av_channel_layout_compare(&layout, &swrLayout) == 0) {
            av_channel_layout_uninit(&layout);
            return true;
        }
        bool ok = rate >= kMinRate && rate <= kMaxRate && layout.nb_channels > 0 &&
                  layout.nb_channels == frame->ch_layout.nb_channels;
        // Parameters changed mid-stream: what the old resampler holds comes first.
        if (ok && swr) ok = Convert(0);
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        SwrContext* s = nullptr;
        ok = ok && swr_alloc_set_opts2(&s, &stereo, AV_SAMPLE_FMT_FLT, static_cast<int>(kOutputRate), &layout, format,
                                       rate, 0, nullptr) >= 0;
        // A mono track plays at its full level on both sides.
        if (ok && layout.nb_channels == 1) {
            const double both[2] = {1.0, 1.0};
            ok = swr_set_matrix(s, both, 1) >= 0;
        }
        if (!ok || swr_init(s) < 0) {
            swr_free(&s);
            av_channel_layout_uninit(&layout);
            return false;
        }
        swr.reset(s);
        av_channel_layout_uninit(&swrLayout);
        swrLayout = layout;
        swrRate = rate;
        swrFormat = format;
        return true;
    }

    // No more samples: the resampler gives what it holds, once.
    void Finish() {
        if (swr && !swrFlushed) Convert(0);
        swrFlushed = true;
        ended = true;
        if (frame) av_frame_unref(frame.get());
        frameHeld = false;
    }

    // One step of work: converts a slice of the held frame, takes the next decoded frame,
    // or feeds the decoder the next packet. Called only when pending is used up.
    void Step() {
        if (ended) return;
        pending.clear();
        pendingPos = 0;
        if (frameHeld) {
            int left = frame->nb_samples - frameOffset;
            int slice =
                std::max(1, static_cast<int>(Decoder::kSliceFrames * static_cast<uint64_t>(swrRate) / kOutputRate));
            int n = std::min(left, slice);
            if (!Convert(n)) {
                Finish();
                return;
            }
            frameOffset += n;
            if (frameOffset >= frame->nb_samples) {
                av_frame_unref(frame.get());
                frameHeld = false;
            }
            return;
        }
        int r = avcodec_receive_frame(dec.get(), frame.get());
        if (r == 0) {
            if (anchorPending) Anchor();
            if (frame->nb_samples <= 0) {
                av_frame_unref(frame.get());
                return;
            }
            if (!EnsureSwr()) {
                Finish();
                return;
            }
            frameHeld = true;
            frameOffset = 0;
            return;
        }
        if (r != AVERROR(EAGAIN) || demuxEnded) {
            // The end of the decoded stream, or a decoder that cannot go on: keep what came.
            Finish();
            return;
        }
        r = av_read_frame(fmt.get(), packet.get());
        if (r < 0) {
            // The end of the file, or a read error: the decoder gives what it holds.
            demuxEnded = true;
            avcodec_send_packet(dec.get(), nullptr);
            return;
        }
        // A damaged packet is skipped; the decoder goes on with the next one.
        if (packet->stream_index == streamIndex) avcodec_send_packet(dec.get(), packet.get());
        av_packet_unref(packet.get());
    }

    // The first frame after a seek through the container: its timestamp is its position.
    void Anchor() {
        anchorPending = false;
        int64_t ts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
        if (ts == AV_NOPTS_VALUE) {
            anchorFailed = true;
            return;
        }
        AVStream* stream = fmt->streams[streamIndex];
        int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        int64_t at = av_rescale_q_rnd(ts - start, stream->time_base, AVRational{1, static_cast<int>(kOutputRate)},
                                      static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
        position = at > 0 ? static_cast<uint64_t>(at) : 0;
    }

    size_t Deliver(float* out, size_t frames) {
        size_t avail = (pending.size() - pendingPos) / 2;
        size_t n = std::min(avail, frames);
        if (out) std::memcpy(out, pending.data() + pendingPos, n * 2 * sizeof(float));
        pendingPos += n * 2;
        position += n;
        return n;
    }

    bool Drained() const { return pendingPos >= pending.size(); }

    // Drops frames up to `target` (or the end).
    bool DropTo(uint64_t target, const std::atomic<bool>* cancel) {
        while (position < target) {
            if (cancel && cancel->load(std::memory_order_relaxed)) return false;
            if (!Drained()) {
                Deliver(nullptr, target - position);
                continue;
            }
            if (ended) return true;
            Step();
        }
        return true;
    }

    bool SeekThroughContainer(uint64_t target, const std::atomic<bool>* cancel) {
        AVStream* stream = fmt->streams[streamIndex];
        if (!(io->seekable & AVIO_SEEKABLE_NORMAL)) return false;
        int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        uint64_t from = target > kSeekPreroll ? target - kSeekPreroll : 0;
        int64_t ts = start + av_rescale_q(static_cast<int64_t>(from), AVRational{1, static_cast<int>(kOutputRate)},
                                          stream->time_base);
        if (av_seek_frame(fmt.get(), streamIndex, ts, AVSEEK_FLAG_BACKWARD) < 0) return false;
        avcodec_flush_buffers(dec.get());
        ResetConversion();
        anchorPending = true;
        anchorFailed = false;
        while (anchorPending && !ended) {
            if (cancel && cancel->load(std::memory_order_relaxed)) return false;
            Step();
        }
        anchorPending = false;
        // No timestamp, nothing left, or a landing behind the frame asked for: not usable.
        if (anchorFailed || ended || position > target) return false;
        counted = false;
        return DropTo(target, cancel);
    }
};

Decoder::Decoder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Decoder::~Decoder() = default;

std::unique_ptr<Decoder> Decoder::Open(std::shared_ptr<const SourceData> source,
                                       const std::set<std::string>& containers, DecodeError* error) {
    av_log_set_level(AV_LOG_QUIET);
    auto fail = [&](DecodeError e) {
        if (error) *error = e;
        return nullptr;
    };
    if (!source || source->Size() == 0) return fail(DecodeError::Open);
    auto impl = std::make_unique<Impl>();
    impl->source = std::move(source);
    impl->containers = containers;
    DecodeError e = impl->OpenContainer();
    if (e != DecodeError::None) return fail(e);
    // The first samples: a file that gives none is not music.
    while (impl->Drained() && !impl->ended) impl->Step();
    if (impl->Drained()) return fail(DecodeError::Format);
    if (error) *error = DecodeError::None;
    return std::unique_ptr<Decoder>(new Decoder(std::move(impl)));
}

size_t Decoder::Read(float* out, size_t frames) {
    size_t done = 0;
    int steps = 0;
    while (done < frames) {
        if (!impl_->Drained()) {
            done += impl_->Deliver(out + done * 2, frames - done);
            continue;
        }
        if (impl_->ended || ++steps > kStepsPerRead) break;
        impl_->Step();
    }
    return done;
}

bool Decoder::AtEnd() const { return impl_->ended && impl_->Drained(); }

uint64_t Decoder::Position() const { return impl_->position; }

std::optional<uint64_t> Decoder::StatedLength() const { return impl_->stated; }

bool Decoder::PositionCounted() const { return impl_->counted; }

bool Decoder::Seek(uint64_t frame, const std::atomic<bool>* cancel) {
    Impl& d = *impl_;
    if (d.failed) return false;
    if (frame == d.position) return true;
    if (frame > d.position && frame - d.position <= kDropAhead) return d.DropTo(frame, cancel);
    if (d.SeekThroughContainer(frame, cancel)) return true;
    if (cancel && cancel->load(std::memory_order_relaxed)) return true;
    // From the start again.
    std::optional<uint64_t> stated = d.stated;
    if (d.OpenContainer() != DecodeError::None) {
        d.failed = true;
        d.ended = true;
        d.pending.clear();
        d.pendingPos = 0;
        return false;
    }
    d.stated = stated;
    return d.DropTo(frame, cancel);
}

std::optional<uint64_t> CountFrames(std::shared_ptr<const SourceData> source, const std::set<std::string>& containers,
                                    const std::atomic<bool>* cancel) {
    DecodeError error;
    std::unique_ptr<Decoder> d = Decoder::Open(std::move(source), containers, &error);
    if (!d) return std::nullopt;
    std::vector<float> scratch(Decoder::kSliceFrames * 2);
    while (!d->AtEnd()) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return std::nullopt;
        d->Read(scratch.data(), Decoder::kSliceFrames);
    }
    return d->Position();
}

}  // namespace bass
