// The HD Photo coder: the only file that includes the HD Photo library's headers.
#include "platform/wic_jxr_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>

#include <JXRGlue.h>
// The library's header defines these as macros.
#undef min
#undef max

namespace win::jxr {

namespace {

// Container tags.
constexpr uint16_t kTagPixelFormat = 0xBC01;
constexpr uint16_t kTagWidth = 0xBC80;
constexpr uint16_t kTagHeight = 0xBC81;
constexpr uint16_t kTagImageOffset = 0xBCC0;
constexpr uint16_t kTagImageByteCount = 0xBCC1;
constexpr uint16_t kTagAlphaOffset = 0xBCC2;
constexpr uint16_t kTagAlphaByteCount = 0xBCC3;
constexpr uint32_t kMaxEntries = 4096;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t TypeSize(uint16_t Type) {
    switch (Type) {
        case 1:
        case 2:
        case 6:
        case 7: return 1;
        case 3:
        case 8: return 2;
        case 4:
        case 9:
        case 11: return 4;
        case 5:
        case 10:
        case 12: return 8;
        default: return 0;
    }
}

// What the container's first directory says.
struct TContainer {
    uint32_t Width = 0, Height = 0;
    uint64_t ImageOffset = 0, ImageBytes = 0;
    bool HasImage = false, HasImageBytes = false;
    uint8_t CodedFormat = 0;  // the coded stream's output colour format (high nibble) and bit depth
};

// The first directory: every entry and every out-of-line value inside the data, the image
// inside the data and starting with the coded stream's signature, the size positive.
bool CheckContainer(const uint8_t* Data, size_t Size, TContainer& C) {
    if (Size < 16 || Data[0] != 'I' || Data[1] != 'I' || Data[2] != 0xBC) return false;
    const uint64_t ifd = Get32(Data + 4);
    if (ifd < 8 || ifd + 2 > Size) return false;
    const uint32_t count = Get16(Data + ifd);
    if (count == 0 || count > kMaxEntries || ifd + 2 + 12ull * count + 4 > Size) return false;
    bool hasW = false, hasH = false, hasPF = false, hasAlpha = false, hasAlphaBytes = false;
    uint64_t alphaOffset = 0, alphaBytes = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = Data + ifd + 2 + 12ull * i;
        const uint16_t tag = Get16(e), type = Get16(e + 2);
        const uint32_t n = Get32(e + 4);
        const uint64_t len = static_cast<uint64_t>(n) * TypeSize(type);
        if (TypeSize(type) == 0) return false;
        if (len > 4 && Get32(e + 8) + len > Size) return false;
        // One value of SHORT or LONG.
        auto value = [&]() -> uint64_t { return type == 3 ? Get16(e + 8) : Get32(e + 8); };
        const bool integer = n == 1 && (type == 3 || type == 4);
        switch (tag) {
            case kTagPixelFormat: hasPF = type == 1 && n == 16; break;
            case kTagWidth:
                if (!integer) return false;
                C.Width = static_cast<uint32_t>(value());
                hasW = true;
                break;
            case kTagHeight:
                if (!integer) return false;
                C.Height = static_cast<uint32_t>(value());
                hasH = true;
                break;
            case kTagImageOffset:
                if (!integer) return false;
                C.ImageOffset = value();
                C.HasImage = true;
                break;
            case kTagImageByteCount:
                if (!integer) return false;
                C.ImageBytes = value();
                C.HasImageBytes = true;
                break;
            case kTagAlphaOffset:
                if (!integer) return false;
                alphaOffset = value();
                hasAlpha = true;
                break;
            case kTagAlphaByteCount:
                if (!integer) return false;
                alphaBytes = value();
                hasAlphaBytes = true;
                break;
            default: break;
        }
    }
    if (!hasW || !hasH || !hasPF || !C.HasImage || !C.HasImageBytes) return false;
    if (C.Width == 0 || C.Height == 0) return false;
    if (C.ImageBytes < 16 || C.ImageOffset + C.ImageBytes > Size) return false;
    if (std::memcmp(Data + C.ImageOffset, "WMPHOTO", 8) != 0) return false;
    C.CodedFormat = Data[C.ImageOffset + 11];
    if (hasAlpha != hasAlphaBytes) return false;
    if (hasAlpha &&
        (alphaBytes < 16 || alphaOffset + alphaBytes > Size || std::memcmp(Data + alphaOffset, "WMPHOTO", 8) != 0))
        return false;
    return true;
}

// The largest picture a file of Size bytes may announce: coded pictures of a flat colour
// take about a byte per 500 pixels.
uint64_t PixelLimit(size_t Size) { return std::min<uint64_t>(MaxPixels, std::max<uint64_t>(1u << 20, Size * 4096ull)); }

// The coded stream must produce what the container's pixel format announces: the library
// stops the program on combinations it has no output for.
bool CodedFormatFits(TPixelKind Kind, uint8_t Coded) {
    const int colour = Coded >> 4, depth = Coded & 15;
    enum { kYOnly = 0, kCMYK = 4, kRGB = 7, kBD1White = 0, kBD8 = 1, kBD16 = 2, kBD1Black = 15 };
    switch (Kind) {
        case TPixelKind::BlackWhite: return colour == kYOnly && (depth == kBD1White || depth == kBD1Black);
        case TPixelKind::Gray8: return colour == kYOnly && depth == kBD8;
        case TPixelKind::Gray16: return colour == kYOnly && depth == kBD16;
        case TPixelKind::BGR24:
        case TPixelKind::RGB24:
        case TPixelKind::BGR32:
        case TPixelKind::BGRA32: return colour == kRGB && depth == kBD8;
        case TPixelKind::RGB48: return colour == kRGB && depth == kBD16;
        case TPixelKind::CMYK32: return colour == kCMYK && depth == kBD8;
        default: return false;
    }
}

TPixelKind KindOf(const PKPixelFormatGUID& G) {
    if (IsEqualGUID(G, GUID_PKPixelFormatBlackWhite)) return TPixelKind::BlackWhite;
    if (IsEqualGUID(G, GUID_PKPixelFormat8bppGray)) return TPixelKind::Gray8;
    if (IsEqualGUID(G, GUID_PKPixelFormat16bppGray)) return TPixelKind::Gray16;
    if (IsEqualGUID(G, GUID_PKPixelFormat24bppBGR)) return TPixelKind::BGR24;
    if (IsEqualGUID(G, GUID_PKPixelFormat24bppRGB)) return TPixelKind::RGB24;
    if (IsEqualGUID(G, GUID_PKPixelFormat32bppBGR)) return TPixelKind::BGR32;
    if (IsEqualGUID(G, GUID_PKPixelFormat32bppBGRA)) return TPixelKind::BGRA32;
    if (IsEqualGUID(G, GUID_PKPixelFormat48bppRGB)) return TPixelKind::RGB48;
    if (IsEqualGUID(G, GUID_PKPixelFormat32bppCMYK)) return TPixelKind::CMYK32;
    return TPixelKind::Unsupported;
}

const PKPixelFormatGUID* GuidOf(TPixelKind Kind) {
    switch (Kind) {
        case TPixelKind::BlackWhite: return &GUID_PKPixelFormatBlackWhite;
        case TPixelKind::Gray8: return &GUID_PKPixelFormat8bppGray;
        case TPixelKind::Gray16: return &GUID_PKPixelFormat16bppGray;
        case TPixelKind::BGR24: return &GUID_PKPixelFormat24bppBGR;
        case TPixelKind::RGB24: return &GUID_PKPixelFormat24bppRGB;
        case TPixelKind::BGR32: return &GUID_PKPixelFormat32bppBGR;
        case TPixelKind::BGRA32: return &GUID_PKPixelFormat32bppBGRA;
        case TPixelKind::RGB48: return &GUID_PKPixelFormat48bppRGB;
        case TPixelKind::CMYK32: return &GUID_PKPixelFormat32bppCMYK;
        default: return nullptr;
    }
}

// The decoder of one buffer, released with its memory stream.
struct TDecoder {
    WMPStream* Stream = nullptr;
    PKImageDecode* Decoder = nullptr;
    ~TDecoder() {
        if (Decoder) Decoder->Release(&Decoder);
        if (Stream) CloseWS_Memory(&Stream);
    }
    bool Open(const uint8_t* Data, size_t Size) {
        if (Failed(CreateWS_Memory(&Stream, const_cast<uint8_t*>(Data), Size))) return false;
        if (Failed(PKImageDecode_Create_WMP(&Decoder))) return false;
        return !Failed(Decoder->Initialize(Decoder, Stream));
    }
};

// A growing output buffer as a library stream: the encoder writes, seeks back and
// rewrites the directory.
struct TOutBuffer {
    std::vector<uint8_t>* Data;
    size_t Pos = 0;
    size_t Limit;
};

TOutBuffer* OutOf(WMPStream* S) { return static_cast<TOutBuffer*>(S->state.pvObj); }

ERR OutClose(WMPStream** S) {
    // The stream record belongs to Encode.
    *S = nullptr;
    return WMP_errSuccess;
}
Bool OutEOS(WMPStream* S) { return OutOf(S)->Pos >= OutOf(S)->Data->size(); }
ERR OutRead(WMPStream* S, void* P, size_t N) {
    TOutBuffer* b = OutOf(S);
    if (N > b->Data->size() || b->Pos > b->Data->size() - N) return WMP_errFileIO;
    std::memcpy(P, b->Data->data() + b->Pos, N);
    b->Pos += N;
    return WMP_errSuccess;
}
ERR OutWrite(WMPStream* S, const void* P, size_t N) {
    TOutBuffer* b = OutOf(S);
    if (N > b->Limit || b->Pos > b->Limit - N) return WMP_errBufferOverflow;
    try {
        if (b->Pos + N > b->Data->size()) b->Data->resize(b->Pos + N);
    } catch (const std::bad_alloc&) {
        return WMP_errOutOfMemory;
    }
    if (N) std::memcpy(b->Data->data() + b->Pos, P, N);
    b->Pos += N;
    return WMP_errSuccess;
}
ERR OutSetPos(WMPStream* S, size_t Pos) {
    if (Pos > OutOf(S)->Limit) return WMP_errFileIO;
    OutOf(S)->Pos = Pos;
    return WMP_errSuccess;
}
ERR OutGetPos(WMPStream* S, size_t* Pos) {
    *Pos = OutOf(S)->Pos;
    return WMP_errSuccess;
}

// The quantizer of a quality in 0 .. 1: 1 is lossless, lower qualities quantize more.
uint8_t QuantizerOf(float Quality) {
    const double q = std::clamp(static_cast<double>(Quality), 0.0, 1.0);
    return static_cast<uint8_t>(std::clamp(std::lround(1.0 + std::pow(1.0 - q, 1.5) * 160.0), 1L, 255L));
}

// Macroblocks of each of Slices + 1 equal parts of Count macroblocks.
U32 SplitTiles(uint32_t Slices, uint32_t Count, U32* Sizes) {
    const uint32_t parts = std::min<uint32_t>({Slices + 1, Count, MAX_TILES});
    for (uint32_t i = 0; i < parts; ++i) Sizes[i] = Count * (i + 1) / parts - Count * i / parts;
    return parts - 1;
}

}  // namespace

uint32_t BitsPerPixel(TPixelKind Kind) {
    switch (Kind) {
        case TPixelKind::BlackWhite: return 1;
        case TPixelKind::Gray8: return 8;
        case TPixelKind::Gray16: return 16;
        case TPixelKind::BGR24:
        case TPixelKind::RGB24: return 24;
        case TPixelKind::BGR32:
        case TPixelKind::BGRA32:
        case TPixelKind::CMYK32: return 32;
        case TPixelKind::RGB48: return 48;
        default: return 0;
    }
}

size_t RowBytes(TPixelKind Kind, uint32_t Width) {
    return static_cast<size_t>((static_cast<uint64_t>(Width) * BitsPerPixel(Kind) + 7) / 8);
}

namespace {

// What the library reads of the picture's header (in the process that runs it).
bool ReadInfoHere(const uint8_t* Data, size_t Size, const TContainer& c, TImageInfo& Info) {
    TDecoder d;
    if (!d.Open(Data, Size)) return false;
    I32 w = 0, h = 0;
    PKPixelFormatGUID pf;
    Float rx = 0, ry = 0;
    if (Failed(d.Decoder->GetSize(d.Decoder, &w, &h)) || Failed(d.Decoder->GetPixelFormat(d.Decoder, &pf)) ||
        Failed(d.Decoder->GetResolution(d.Decoder, &rx, &ry)))
        return false;
    // The coded stream must describe the picture the container announces.
    if (w <= 0 || h <= 0 || static_cast<uint32_t>(w) != c.Width || static_cast<uint32_t>(h) != c.Height) return false;
    if (d.Decoder->WMP.wmiI.cWidth != static_cast<size_t>(w) || d.Decoder->WMP.wmiI.cHeight != static_cast<size_t>(h))
        return false;
    if (d.Decoder->WMP.wmiSCP.cNumOfSliceMinus1V >= MAX_TILES || d.Decoder->WMP.wmiSCP.cNumOfSliceMinus1H >= MAX_TILES)
        return false;
    Info.Width = static_cast<uint32_t>(w);
    Info.Height = static_cast<uint32_t>(h);
    Info.DpiX = std::isfinite(rx) ? rx : 0;
    Info.DpiY = std::isfinite(ry) ? ry : 0;
    Info.Kind = KindOf(pf);
    // Pictures of other formats are described but never decoded.
    if (Info.Kind != TPixelKind::Unsupported && !CodedFormatFits(Info.Kind, c.CodedFormat)) return false;
    return true;
}

// Decodes into Out, rows of RowBytes (in the process that runs it).
bool DecodeHere(const uint8_t* Data, size_t Size, const TImageInfo& Info, uint8_t* Out) {
    TDecoder d;
    if (!d.Open(Data, Size)) return false;
    // The library works in whole macroblocks of 16 x 16 pixels: the buffer it fills has
    // room for them, and the rows asked for are copied out.
    const uint32_t w16 = (Info.Width + 15) & ~15u, h16 = (Info.Height + 15) & ~15u;
    const size_t stride = (RowBytes(Info.Kind, w16) + 127) & ~static_cast<size_t>(127);
    std::vector<uint8_t> work;
    try {
        work.assign(stride * (h16 + 16), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    PKRect rect{0, 0, static_cast<I32>(Info.Width), static_cast<I32>(Info.Height)};
    if (Failed(d.Decoder->Copy(d.Decoder, &rect, work.data(), static_cast<U32>(stride)))) {
        // The library ends its coder only after the last row: a failed decoding leaves it
        // (and its buffers) behind.
        if (d.Decoder->WMP.ctxSC) ImageStrDecTerm(d.Decoder->WMP.ctxSC);
        if (d.Decoder->WMP.ctxSC_Alpha) ImageStrDecTerm(d.Decoder->WMP.ctxSC_Alpha);
        d.Decoder->WMP.ctxSC = d.Decoder->WMP.ctxSC_Alpha = nullptr;
        return false;
    }
    const size_t row = RowBytes(Info.Kind, Info.Width);
    for (uint32_t y = 0; y < Info.Height; ++y) std::memcpy(Out + row * y, work.data() + stride * y, row);
    return true;
}

// Runs Work in a child process that hands its result back through Bytes bytes of shared
// memory: the library's coder reads damaged data out of bounds, and whatever it does
// then stays in the child. The child's output is discarded (the library prints about
// tags it does not know), and it is stopped after Seconds. True when Work succeeded; then
// Result holds the bytes.
template <class F>
bool RunIsolated(size_t Bytes, unsigned Seconds, F&& Work, std::vector<uint8_t>& Result) {
    void* shared = mmap(nullptr, std::max<size_t>(Bytes, 1), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) return false;
    const pid_t pid = fork();
    if (pid == 0) {
        struct sigaction quiet {};
        quiet.sa_handler = SIG_DFL;
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(sig, &quiet, nullptr);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        alarm(Seconds);
        bool ok = false;
        try {
            ok = Work(static_cast<uint8_t*>(shared));
        } catch (...) {
            ok = false;
        }
        _exit(ok ? 0 : 1);
    }
    bool ok = false;
    if (pid > 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    if (ok) {
        try {
            const auto* p = static_cast<const uint8_t*>(shared);
            Result.assign(p, p + Bytes);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    munmap(shared, std::max<size_t>(Bytes, 1));
    return ok;
}

}  // namespace

bool ReadInfo(const uint8_t* Data, size_t Size, TImageInfo& Info) {
    Info = {};
    TContainer c;
    if (!Data || !CheckContainer(Data, Size, c)) return false;
    if (static_cast<uint64_t>(c.Width) * c.Height > PixelLimit(Size)) return false;
    std::vector<uint8_t> result;
    if (!RunIsolated(
            sizeof(TImageInfo), 60,
            [&](uint8_t* Out) {
                TImageInfo info;
                if (!ReadInfoHere(Data, Size, c, info)) return false;
                std::memcpy(Out, &info, sizeof info);
                return true;
            },
            result))
        return false;
    std::memcpy(&Info, result.data(), sizeof Info);
    return true;
}

bool Decode(const uint8_t* Data, size_t Size, const TImageInfo& Info, std::vector<uint8_t>& Pixels) {
    if (Info.Kind == TPixelKind::Unsupported || Info.Width == 0 || Info.Height == 0) return false;
    const uint64_t bytes = static_cast<uint64_t>(RowBytes(Info.Kind, Info.Width)) * Info.Height;
    // A minute, and a second more for every million pixels.
    const unsigned seconds = static_cast<unsigned>(60 + static_cast<uint64_t>(Info.Width) * Info.Height / 1000000);
    return RunIsolated(
        static_cast<size_t>(bytes), seconds, [&](uint8_t* Out) { return DecodeHere(Data, Size, Info, Out); }, Pixels);
}

bool Encode(const TEncodeOptions& Options, TPixelKind Kind, uint32_t Width, uint32_t Height, float DpiX, float DpiY,
            const uint8_t* Pixels, size_t Stride, std::vector<uint8_t>& Out) {
    Out.clear();
    const PKPixelFormatGUID* guid = GuidOf(Kind);
    if (!guid || !Pixels || Width == 0 || Height == 0 || static_cast<uint64_t>(Width) * Height > MaxPixels ||
        Stride < RowBytes(Kind, Width))
        return false;
    const bool grey = Kind == TPixelKind::BlackWhite || Kind == TPixelKind::Gray8 || Kind == TPixelKind::Gray16;

    CWMIStrCodecParam scp;
    std::memset(&scp, 0, sizeof scp);
    scp.bVerbose = FALSE;
    scp.bdBitDepth = BD_LONG;
    scp.bfBitstreamFormat = Options.FrequencyOrder ? FREQUENCY : SPATIAL;
    scp.bProgressiveMode = TRUE;
    scp.sbSubband = SB_ALL;
    scp.uAlphaMode = 0;
    scp.cfColorFormat = YUV_444;
    scp.olOverlap = OL_ONE;
    uint8_t qp = 1;
    const bool lossless = Options.Lossless || Options.ImageQuality >= 1.0f;
    if (Options.UseCodecOptions) {
        qp = std::max<uint8_t>(1, Options.Quality);
        scp.olOverlap = static_cast<OVERLAP>(std::min<uint8_t>(Options.Overlap, 2));
        static constexpr COLORFORMAT kSub[] = {Y_ONLY, YUV_420, YUV_422, YUV_444};
        scp.cfColorFormat = kSub[std::min<uint8_t>(Options.Subsampling, 3)];
    } else if (!lossless && Options.ImageQuality >= 0) {
        qp = QuantizerOf(Options.ImageQuality);
        if (Options.ImageQuality < 0.5f) {
            scp.cfColorFormat = YUV_420;
            scp.olOverlap = OL_TWO;
        }
    }
    if (lossless) {
        qp = 1;
        scp.cfColorFormat = YUV_444;
        scp.olOverlap = OL_ONE;
    }
    if (grey) scp.cfColorFormat = Y_ONLY;
    if (Kind == TPixelKind::CMYK32) scp.cfColorFormat = CMYK;
    // Chroma subsampling needs whole pairs of pixels; small pictures keep 4:4:4.
    if ((scp.cfColorFormat == YUV_420 || scp.cfColorFormat == YUV_422) && (Width < 2 || Height < 2))
        scp.cfColorFormat = YUV_444;
    scp.uiDefaultQPIndex = qp;
    const uint32_t mbX = (Width + 15) / 16, mbY = (Height + 15) / 16;
    scp.cNumOfSliceMinus1V = SplitTiles(Options.VerticalTileSlices, mbX, scp.uiTileX);
    scp.cNumOfSliceMinus1H = SplitTiles(Options.HorizontalTileSlices, mbY, scp.uiTileY);
    if (scp.cNumOfSliceMinus1V == 0) scp.uiTileX[0] = 0;
    if (scp.cNumOfSliceMinus1H == 0) scp.uiTileY[0] = 0;

    // The rows in a buffer of whole macroblocks (the last row and column repeated), so
    // the library never reads beyond what it was given.
    const uint32_t w16 = mbX * 16, h16 = mbY * 16;
    const size_t row = RowBytes(Kind, Width);
    const size_t stride = (RowBytes(Kind, w16) + 127) & ~static_cast<size_t>(127);
    std::vector<uint8_t> padded;
    try {
        padded.assign(stride * (h16 + 16), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const size_t px = BitsPerPixel(Kind) / 8;
    for (uint32_t y = 0; y < h16; ++y) {
        uint8_t* dst = padded.data() + stride * y;
        std::memcpy(dst, Pixels + Stride * std::min(y, Height - 1), row);
        if (px)
            for (uint32_t x = Width; x < w16; ++x) std::memcpy(dst + x * px, dst + (Width - 1) * px, px);
    }

    TOutBuffer buffer{&Out, 0, static_cast<size_t>(MaxPixels) * 8 + (1u << 20)};
    WMPStream stream;
    std::memset(&stream, 0, sizeof stream);
    stream.state.pvObj = &buffer;
    stream.Close = &OutClose;
    stream.EOS = &OutEOS;
    stream.Read = &OutRead;
    stream.Write = &OutWrite;
    stream.SetPos = &OutSetPos;
    stream.GetPos = &OutGetPos;

    PKImageEncode* enc = nullptr;
    if (Failed(PKImageEncode_Create_WMP(&enc))) return false;
    ERR err = enc->Initialize(enc, &stream, &scp, sizeof scp);
    if (!Failed(err)) err = enc->SetPixelFormat(enc, *guid);
    if (!Failed(err)) err = enc->SetSize(enc, static_cast<I32>(Width), static_cast<I32>(Height));
    if (!Failed(err)) err = enc->SetResolution(enc, DpiX, DpiY);
    if (!Failed(err)) err = enc->WritePixels(enc, Height, padded.data(), static_cast<U32>(stride));
    const ERR released = enc->Release(&enc);
    if (Failed(err) || Failed(released)) {
        Out.clear();
        return false;
    }
    return !Out.empty();
}

}  // namespace win::jxr
