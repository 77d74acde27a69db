// Single frames of AVI videos: the file is opened with its first video stream and that
// stream's decoder; a frame is found by its number, decoded from the key frame before it,
// and converted to 24-bit (1-bit pictures stay 1-bit).
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstring>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_startup.h"
#include "platform/codepage.h"

namespace ie {

struct TIEAVIState {
    AVFormatContext* File = nullptr;
    int StreamIndex = -1;
    AVCodecContext* Decoder = nullptr;
    // The stream's frame rate as Rate / Scale frames per second, and its frame count.
    uint32_t Rate = 0, Scale = 0, Length = 0;
    int BitCount = 24;
    // The palette of palette videos: it comes with the first packet only, which a seek
    // can skip, so it is kept and given with every packet.
    std::vector<uint8_t> Palette;

    ~TIEAVIState() {
        avcodec_free_context(&Decoder);
        avformat_close_input(&File);
    }
};

void TIEAVIStateDeleter::operator()(TIEAVIState* State) const { delete State; }

int32_t IEAVIFrameDelay(uint32_t Rate, uint32_t Scale) {
    if (Rate == 0 || Scale == 0) return 0;
    return static_cast<int32_t>(std::lround(1000.0 / (static_cast<double>(Rate) / Scale)));
}

namespace {

struct FramePtr {
    AVFrame* F = av_frame_alloc();
    ~FramePtr() { av_frame_free(&F); }
};
struct PacketPtr {
    AVPacket* P = av_packet_alloc();
    ~PacketPtr() { av_packet_free(&P); }
};

// The frame number of a decoded frame (its time stamp counts frames in the stream's time
// base of Scale / Rate seconds).
int64_t FrameNumber(const AVFrame* F, const AVStream* S) {
    int64_t ts = F->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE) ts = F->pts;
    if (ts == AV_NOPTS_VALUE) return -1;
    if (S->start_time != AV_NOPTS_VALUE) ts -= S->start_time;
    return ts;
}

// Decodes the stream from its current place until the frame numbered Index; Out gets
// the last frame at or before it. False when none came.
bool DecodeUpTo(TIEAVIState& A, int64_t Index, AVFrame* Out) {
    AVStream* stream = A.File->streams[A.StreamIndex];
    PacketPtr packet;
    FramePtr frame;
    bool have = false, draining = false;
    for (;;) {
        if (!draining) {
            const int r = av_read_frame(A.File, packet.P);
            if (r < 0) {
                draining = true;
                avcodec_send_packet(A.Decoder, nullptr);
            } else {
                if (packet.P->stream_index == A.StreamIndex) {
                    size_t size = 0;
                    if (!A.Palette.empty() && !av_packet_get_side_data(packet.P, AV_PKT_DATA_PALETTE, &size))
                        if (uint8_t* pal = av_packet_new_side_data(packet.P, AV_PKT_DATA_PALETTE, A.Palette.size()))
                            std::memcpy(pal, A.Palette.data(), A.Palette.size());
                    avcodec_send_packet(A.Decoder, packet.P);
                }
                av_packet_unref(packet.P);
            }
        }
        for (;;) {
            const int r = avcodec_receive_frame(A.Decoder, frame.F);
            if (r == AVERROR(EAGAIN)) break;
            if (r < 0) return have;  // the end, or a decoding error
            const int64_t n = FrameNumber(frame.F, stream);
            if (n > Index && have) {
                av_frame_unref(frame.F);
                return true;
            }
            av_frame_unref(Out);
            av_frame_move_ref(Out, frame.F);
            have = true;
            if (n >= Index) return true;
        }
    }
}

}  // namespace

int32_t TVovozIdIO::OpenAVIFile(const cl::WideString& FileName) {
    Aborting = false;
    if (FAVI) CloseAVIFile();
    FParams->MediaFrameCount = 0;
    FParams->FileName = FileName;
    FParams->FileType = 0;
    IEAVIInitialised = true;
    auto a = std::unique_ptr<TIEAVIState, TIEAVIStateDeleter>(new TIEAVIState());
    const std::string path = win::Utf16ToUtf8(FileName);
    const AVInputFormat* avi = av_find_input_format("avi");
    if (!avi || avformat_open_input(&a->File, path.c_str(), avi, nullptr) < 0 ||
        avformat_find_stream_info(a->File, nullptr) < 0) {
        Aborting = true;
        return 0;
    }
    // The first video stream.
    for (unsigned i = 0; i < a->File->nb_streams; ++i)
        if (a->File->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            a->StreamIndex = static_cast<int>(i);
            break;
        }
    if (a->StreamIndex < 0) {
        Aborting = true;
        return 0;
    }
    AVStream* stream = a->File->streams[a->StreamIndex];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    a->Decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!a->Decoder || avcodec_parameters_to_context(a->Decoder, stream->codecpar) < 0 ||
        avcodec_open2(a->Decoder, codec, nullptr) < 0 || stream->codecpar->width <= 0 ||
        stream->codecpar->height <= 0) {
        Aborting = true;
        return 0;
    }
    a->Scale = static_cast<uint32_t>(std::max(0, stream->time_base.num));
    a->Rate = static_cast<uint32_t>(std::max(0, stream->time_base.den));
    a->Length = static_cast<uint32_t>(std::max<int64_t>(0, stream->nb_frames));
    a->BitCount = stream->codecpar->bits_per_coded_sample;
    // The palette, when the first packet of the stream brings one (read from where the
    // stream's probing left it: a seek would drop the packets it kept).
    {
        PacketPtr packet;
        while (av_read_frame(a->File, packet.P) >= 0) {
            const bool ours = packet.P->stream_index == a->StreamIndex;
            size_t size = 0;
            if (ours)
                if (const uint8_t* pal = av_packet_get_side_data(packet.P, AV_PKT_DATA_PALETTE, &size))
                    a->Palette.assign(pal, pal + size);
            av_packet_unref(packet.P);
            if (ours) break;
        }
    }
    FAVI = std::move(a);
    FParams->MediaFrameCount = static_cast<int32_t>(FAVI->Length);
    FParams->MediaFrameDelay = IEAVIFrameDelay(FAVI->Rate, FAVI->Scale);
    return FParams->MediaFrameCount;
}

void TVovozIdIO::LoadAVIFrame(int32_t Index) {
    Aborting = false;
    struct Finish {
        TVovozIdIO* IO;
        ~Finish() {
            try {
                IO->DoFinishWork();
            } catch (...) {
            }
        }
    } finish{this};
    if (!MakeConsistentBitmap() || !FAVI || static_cast<uint32_t>(Index) >= FAVI->Length) return;
    TIEAVIState& a = *FAVI;
    AVStream* stream = a.File->streams[a.StreamIndex];
    FParams->MediaFrameCount = static_cast<int32_t>(a.Length);
    FParams->MediaFrameDelay = IEAVIFrameDelay(a.Rate, a.Scale);
    // From the key frame at or before the frame.
    const int64_t target = Index + (stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0);
    if (av_seek_frame(a.File, a.StreamIndex, target, AVSEEK_FLAG_BACKWARD) < 0) {
        Aborting = true;
        return;
    }
    avcodec_flush_buffers(a.Decoder);
    FramePtr frame;
    if (!DecodeUpTo(a, Index, frame.F) || frame.F->width <= 0 || frame.F->height <= 0) {
        Aborting = true;
        return;
    }
    const int32_t w = frame.F->width, h = frame.F->height;
    const auto src = static_cast<AVPixelFormat>(frame.F->format);
    const bool mono = src == AV_PIX_FMT_MONOBLACK || src == AV_PIX_FMT_MONOWHITE;
    const AVPixelFormat dst = mono ? AV_PIX_FMT_MONOBLACK : AV_PIX_FMT_BGR24;
    SwsContext* sws = sws_getContext(w, h, src, w, h, dst, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                     nullptr, nullptr);
    if (!sws || !FIEBitmap->Allocate(w, h, mono ? ie1g : ie24RGB)) {
        sws_freeContext(sws);
        Aborting = true;
        return;
    }
    // Row by row into the bitmap (which may keep its rows anywhere).
    const int rowBytes = av_image_get_linesize(dst, w, 0);
    std::vector<uint8_t> buffer(static_cast<size_t>(rowBytes) * h);
    uint8_t* planes[4] = {buffer.data(), nullptr, nullptr, nullptr};
    int strides[4] = {rowBytes, 0, 0, 0};
    sws_scale(sws, frame.F->data, frame.F->linesize, 0, h, planes, strides);
    sws_freeContext(sws);
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(FIEBitmap->GetScanline(y), buffer.data() + static_cast<size_t>(y) * rowBytes,
                    static_cast<size_t>(rowBytes));
    FIEBitmap->RemoveAlphaChannel(false, 0);
    const int bits = mono ? 1 : a.BitCount;
    switch (bits) {
        case 1: FParams->BitsPerSample = 1, FParams->SamplesPerPixel = 1; break;
        case 4: FParams->BitsPerSample = 4, FParams->SamplesPerPixel = 1; break;
        case 8: FParams->BitsPerSample = 8, FParams->SamplesPerPixel = 1; break;
        case 15: FParams->BitsPerSample = 5, FParams->SamplesPerPixel = 3; break;
        default: FParams->BitsPerSample = 8, FParams->SamplesPerPixel = 3; break;
    }
    FParams->SetDpiX(IEDefaultDpiX);
    FParams->SetDpiY(IEDefaultDpiY);
    FParams->Width = FParams->OriginalWidth = w;
    FParams->Height = FParams->OriginalHeight = h;
    FParams->FreeColorMap();
    Update();
}

void TVovozIdIO::CloseAVIFile() { FAVI.reset(); }

}  // namespace ie
