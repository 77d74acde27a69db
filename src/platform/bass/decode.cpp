#include "platform/bass/decode.h"

#include "platform/bass/bass.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace bass {
namespace {

constexpr int kIoBufferSize = 32 * 1024;

// The byte window the demuxer reads through.
struct Reader {
    const Source* source = nullptr;
    int fd = -1;
    uint64_t size = 0;  // bytes in the window
    uint64_t pos = 0;   // position inside the window

    ~Reader() {
        if (fd >= 0) ::close(fd);
    }

    bool Open(const Source& s) {
        source = &s;
        if (s.fromMemory) {
            if (s.memory == nullptr || s.length == 0) return false;
            size = s.length;
            return true;
        }
        fd = ::open(s.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        off_t end = ::lseek(fd, 0, SEEK_END);
        if (end < 0 || static_cast<uint64_t>(end) <= s.offset) return false;
        uint64_t avail = static_cast<uint64_t>(end) - s.offset;
        size = s.length == 0 ? avail : std::min(avail, s.length);
        return size > 0;
    }

    static int Read(void* opaque, uint8_t* buf, int n) {
        auto* r = static_cast<Reader*>(opaque);
        if (r->pos >= r->size) return AVERROR_EOF;
        uint64_t want = std::min<uint64_t>(static_cast<uint64_t>(n), r->size - r->pos);
        if (r->source->fromMemory) {
            std::memcpy(buf, r->source->memory + r->pos, want);
            r->pos += want;
            return static_cast<int>(want);
        }
        ssize_t got = ::pread(r->fd, buf, want, static_cast<off_t>(r->source->offset + r->pos));
        if (got < 0) return AVERROR(EIO);
        if (got == 0) return AVERROR_EOF;
        r->pos += static_cast<uint64_t>(got);
        return static_cast<int>(got);
    }

    static int64_t Seek(void* opaque, int64_t offset, int whence) {
        auto* r = static_cast<Reader*>(opaque);
        if (whence & AVSEEK_SIZE) return static_cast<int64_t>(r->size);
        int64_t base = 0;
        switch (whence & ~AVSEEK_FORCE) {
            case SEEK_SET: base = 0; break;
            case SEEK_CUR: base = static_cast<int64_t>(r->pos); break;
            case SEEK_END: base = static_cast<int64_t>(r->size); break;
            default: return -1;
        }
        int64_t target = base + offset;
        if (target < 0) return -1;
        r->pos = static_cast<uint64_t>(target);
        return target;
    }
};

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
    while (start <= all.size()) {
        size_t comma = all.find(',', start);
        std::string one = all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (allowed.count(one)) return true;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return false;
}

// Converts one decoded frame (or flushes the resampler when frame is null) and appends.
bool Append(SwrContext* swr, const AVFrame* frame, std::vector<int16_t>& out) {
    int inSamples = frame ? frame->nb_samples : 0;
    int room = swr_get_out_samples(swr, inSamples);
    if (room < 0) return false;
    if (room == 0) return true;
    size_t before = out.size();
    out.resize(before + static_cast<size_t>(room) * 2);
    uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(out.data() + before)};
    int got = swr_convert(swr, dst, room, frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                          inSamples);
    if (got < 0) {
        out.resize(before);
        return false;
    }
    out.resize(before + static_cast<size_t>(got) * 2);
    return true;
}

}  // namespace

Decoded DecodeAll(const Source& source, const std::set<std::string>& containers) {
    Decoded result;
    av_log_set_level(AV_LOG_QUIET);

    Reader reader;
    if (!reader.Open(source)) {
        result.error = DecodeError::Open;
        return result;
    }
    result.error = DecodeError::Format;

    auto* ioBuffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    if (!ioBuffer) return result;
    std::unique_ptr<AVIOContext, IoCloser> io(
        avio_alloc_context(ioBuffer, kIoBufferSize, 0, &reader, &Reader::Read, nullptr, &Reader::Seek));
    if (!io) {
        av_free(ioBuffer);
        return result;
    }

    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) return result;
    raw->pb = io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&raw, nullptr, nullptr, nullptr) < 0) return result;  // frees raw
    std::unique_ptr<AVFormatContext, FormatCloser> fmt(raw);

    if (!fmt->iformat || !ContainerAllowed(fmt->iformat->name, containers)) return result;
    if (avformat_find_stream_info(fmt.get(), nullptr) < 0) return result;

    const AVCodec* codec = nullptr;
    int index = av_find_best_stream(fmt.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index < 0 || !codec) return result;
    AVStream* stream = fmt->streams[index];
    for (unsigned i = 0; i < fmt->nb_streams; ++i)
        if (static_cast<int>(i) != index) fmt->streams[i]->discard = AVDISCARD_ALL;

    std::unique_ptr<AVCodecContext, CodecCloser> dec(avcodec_alloc_context3(codec));
    if (!dec) return result;
    if (avcodec_parameters_to_context(dec.get(), stream->codecpar) < 0) return result;
    if (avcodec_open2(dec.get(), codec, nullptr) < 0) return result;
    if (dec->sample_rate <= 0) return result;

    if (dec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || dec->ch_layout.nb_channels <= 0) {
        int channels = dec->ch_layout.nb_channels > 0 ? dec->ch_layout.nb_channels : 2;
        av_channel_layout_uninit(&dec->ch_layout);
        av_channel_layout_default(&dec->ch_layout, channels);
    }

    std::unique_ptr<SwrContext, SwrCloser> swr;
    AVChannelLayout swrLayout{};
    int swrRate = 0;
    AVSampleFormat swrFormat = AV_SAMPLE_FMT_NONE;
    auto ensureSwr = [&](const AVFrame* frame) -> bool {
        AVChannelLayout layout{};
        if (frame->ch_layout.nb_channels > 0 && frame->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_copy(&layout, &frame->ch_layout);
        else
            av_channel_layout_default(&layout, frame->ch_layout.nb_channels > 0 ? frame->ch_layout.nb_channels
                                                                               : dec->ch_layout.nb_channels);
        int rate = frame->sample_rate > 0 ? frame->sample_rate : dec->sample_rate;
        auto format = static_cast<AVSampleFormat>(frame->format);
        bool same = swr && rate == swrRate && format == swrFormat && av_channel_layout_compare(&layout, &swrLayout) == 0;
        if (same) {
            av_channel_layout_uninit(&layout);
            return true;
        }
        // Parameters changed mid-stream: drain the old converter first.
        if (swr && !Append(swr.get(), nullptr, result.samples)) {
            av_channel_layout_uninit(&layout);
            return false;
        }
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        SwrContext* s = nullptr;
        bool ok = swr_alloc_set_opts2(&s, &stereo, AV_SAMPLE_FMT_S16, static_cast<int>(kOutputRate), &layout, format,
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
    };

    std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
    if (!packet || !frame) return result;

    bool failed = false;
    auto drain = [&]() {
        while (!failed) {
            int r = avcodec_receive_frame(dec.get(), frame.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
            if (r < 0) {
                failed = true;
                return;
            }
            if (!ensureSwr(frame.get()) || !Append(swr.get(), frame.get(), result.samples)) failed = true;
            av_frame_unref(frame.get());
        }
    };

    while (!failed) {
        int r = av_read_frame(fmt.get(), packet.get());
        if (r < 0) break;  // end of file or a read error: keep what was decoded
        if (packet->stream_index == index) {
            int s = avcodec_send_packet(dec.get(), packet.get());
            // A damaged packet is skipped; the decoder goes on with the next one.
            if (s >= 0 || s == AVERROR_INVALIDDATA) drain();
        }
        av_packet_unref(packet.get());
    }
    if (!failed) {
        avcodec_send_packet(dec.get(), nullptr);
        drain();
    }
    if (swr) Append(swr.get(), nullptr, result.samples);
    av_channel_layout_uninit(&swrLayout);

    if (result.samples.empty()) return result;
    result.samples.shrink_to_fit();
    result.error = DecodeError::None;
    return result;
}

}  // namespace bass
