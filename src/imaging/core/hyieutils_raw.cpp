// The raw stream format of TIEBitmap: the in-memory layout written out, little-endian,
// uncompressed.
//
//   "TIEBITMAPRAW", version (0), N, N palette entries (blue, green, red), width, height,
//   pixel format, full, palette used, display min and max, four channel offsets, offsets
//   enabled, contrast, row alignment (bits), height rows of the stored row length, the
//   alpha flag, and with it the alpha rows (8-bit rows aligned to 32 bits) and the alpha
//   channel's full flag.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_filebuffer.h"

namespace ie {

namespace {

constexpr char kMagic[12] = {'T', 'I', 'E', 'B', 'I', 'T', 'M', 'A', 'P', 'R', 'A', 'W'};
constexpr int64_t kFixedSize = 75;  // everything before the rows, without the palette

// A stream over a caller's block of memory of known length: reads stop at its end, writes
// beyond it are refused.
class TMemoryView : public cl::TStream {
public:
    TMemoryView(const void* data, void* writable, int64_t size)
        : data_(static_cast<const uint8_t*>(data)), writable_(static_cast<uint8_t*>(writable)), size_(size) {}
    int64_t Read(void* buffer, int64_t count) override {
        const int64_t n = std::clamp<int64_t>(size_ - pos_, 0, std::max<int64_t>(count, 0));
        if (n > 0) std::memcpy(buffer, data_ + pos_, static_cast<size_t>(n));
        pos_ += n;
        return n;
    }
    int64_t Write(const void* buffer, int64_t count) override {
        if (!writable_) return 0;
        const int64_t n = std::clamp<int64_t>(size_ - pos_, 0, std::max<int64_t>(count, 0));
        if (n > 0) std::memcpy(writable_ + pos_, buffer, static_cast<size_t>(n));
        pos_ += n;
        return n;
    }
    int64_t Seek(int64_t offset, cl::TSeekOrigin origin) override {
        const int64_t base = origin == cl::soCurrent ? pos_ : origin == cl::soEnd ? size_ : 0;
        pos_ = std::max<int64_t>(0, base + offset);
        return pos_;
    }
    int64_t GetSize() override { return size_; }

private:
    const uint8_t* data_;
    uint8_t* writable_;
    int64_t size_;
    int64_t pos_ = 0;
};

// Reads of the loader: false on a short read.
class Reader {
public:
    explicit Reader(cl::TStream* s) : s_(s) {}
    bool Bytes(void* p, int64_t n) { return n <= 0 || s_->Read(p, n) == n; }
    template <class T>
    bool Value(T& v) {
        return Bytes(&v, sizeof v);
    }
    // What is left from here to the end, or -1 when the stream cannot tell.
    int64_t Left() {
        const int64_t pos = s_->GetPosition();
        const int64_t size = s_->GetSize();
        return size >= pos ? size - pos : -1;
    }

private:
    cl::TStream* s_;
};

// The alpha rows are 8-bit rows aligned to 32 bits whatever the channel's own alignment.
int64_t AlphaRowLen(int32_t width) { return IEBitmapRowLen(width, 8, 32); }

bool ValidRowAlign(int32_t a) { return a >= 8 && a <= 4096 && a % 8 == 0; }

}  // namespace

int64_t TIEBitmap::RawStreamSize() {
    const int64_t rows = static_cast<int64_t>(GetRowLen()) * GetHeight();
    int64_t size = kFixedSize + 3 * static_cast<int64_t>(FPaletteLength) + rows + 1;
    if (FAlphaChannel) size += AlphaRowLen(GetWidth()) * GetHeight() + 1;
    return size;
}

bool TIEBitmap::SaveRawToStream(void* Buffer, int64_t BufferLength, cl::TStream* Stream) {
    std::unique_ptr<TMemoryView> view;
    if (Buffer) {
        if (BufferLength < RawStreamSize()) return false;
        view = std::make_unique<TMemoryView>(Buffer, Buffer, BufferLength);
        Stream = view.get();
    }
    if (!Stream) return false;

    const int32_t w = GetWidth(), h = GetHeight();
    const int32_t rowLen = GetRowLen();
    const int32_t align = FLocation == ieTBitmap ? 32 : FRowAlign;
    const int32_t n = FPalette ? FPaletteLength : 0;
    std::vector<uint8_t> head;
    auto put = [&head](const void* p, size_t len) {
        head.insert(head.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + len);
    };
    auto put32 = [&put](int32_t v) { put(&v, 4); };
    put(kMagic, 12);
    put32(0);
    put32(n);
    if (n > 0) put(FPalette.get(), static_cast<size_t>(n) * 3);
    put32(w);
    put32(h);
    const uint8_t format = FPixelFormat, full = Full ? 1 : 0;
    put(&format, 1);
    put(&full, 1);
    put32(PaletteUsed);
    put(&DisplayMin, 8);
    put(&DisplayMax, 8);
    for (int32_t o : ChannelOffset) put32(o);
    put(&ChannelOffsetEnabled, 1);
    put32(Contrast);
    put32(align);
    Stream->WriteBuffer(head.data(), static_cast<int64_t>(head.size()));

    const int64_t rows = static_cast<int64_t>(rowLen) * h;
    if (!view && rows > 0) {
        // A stream written at its end is grown once for all the rows.
        try {
            const int64_t pos = Stream->GetPosition();
            if (pos == Stream->GetSize() && pos + rows < IEGetPhysicalMemory(true)) {
                Stream->SetSize(pos + rows);
                Stream->Seek(pos, cl::soBeginning);
            }
        } catch (const std::exception&) {
        }
    }
    const TIEBitmapAccess saved = Access;
    Access = ieaRead;
    try {
        for (int32_t r = 0; r < h; ++r) {
            const void* row = GetScanline(r);
            if (!row) throw cl::EWriteError("Stream write error");
            Stream->WriteBuffer(row, rowLen);
        }
        ReleaseScanlineRow();
    } catch (...) {
        Access = saved;
        throw;
    }
    Access = saved;

    const uint8_t flag = FAlphaChannel ? 1 : 0;
    Stream->WriteBuffer(&flag, 1);
    if (FAlphaChannel) {
        TIEBitmap* a = FAlphaChannel.get();
        const int64_t alen = AlphaRowLen(w);
        std::vector<uint8_t> row(static_cast<size_t>(alen), 0);
        const int32_t ah = std::min(h, a->GetHeight());
        const int64_t copy = std::min<int64_t>(alen, a->GetRowLen());
        const TIEBitmapAccess asaved = a->Access;
        a->Access = ieaRead;
        for (int32_t r = 0; r < h; ++r) {
            std::fill(row.begin(), row.end(), 0);
            if (r < ah) {
                if (const void* s = a->GetScanline(r)) std::memcpy(row.data(), s, static_cast<size_t>(copy));
            }
            Stream->WriteBuffer(row.data(), alen);
        }
        a->ReleaseScanlineRow();
        a->Access = asaved;
        const uint8_t afull = a->Full ? 1 : 0;
        Stream->WriteBuffer(&afull, 1);
    }
    return true;
}

bool TIEBitmap::LoadRawFromStream(const void* Buffer, int64_t BufferLength, cl::TStream* Stream) {
    std::unique_ptr<TMemoryView> view;
    if (Buffer) {
        if (BufferLength < 0) return false;
        view = std::make_unique<TMemoryView>(Buffer, nullptr, BufferLength);
        Stream = view.get();
    }
    if (!Stream) return false;
    Reader in(Stream);

    char magic[12];
    if (!in.Bytes(magic, 12) || std::memcmp(magic, kMagic, 12) != 0) return false;
    int32_t version = 0, n = 0;
    if (!in.Value(version) || version < 0) return false;
    if (!in.Value(n) || n < 0 || n > 256) return false;
    TRGB palette[256];
    if (!in.Bytes(palette, 3 * static_cast<int64_t>(n))) return false;
    int32_t w = 0, h = 0, paletteUsed = 0, contrast = 0, align = 0;
    uint8_t format = 0, full = 0, offsetsEnabled = 0;
    double dmin = 0, dmax = 0;
    int32_t offsets[4] = {};
    if (!in.Value(w) || !in.Value(h) || !in.Value(format) || !in.Value(full) || !in.Value(paletteUsed) ||
        !in.Value(dmin) || !in.Value(dmax) || !in.Bytes(offsets, sizeof offsets) || !in.Value(offsetsEnabled) ||
        !in.Value(contrast) || !in.Value(align))
        return false;
    if (!IEIsValidPixelFormat(format) || w < 0 || h < 0 || !ValidRowAlign(align)) return false;
    // A display range that is not a number cannot be drawn.
    if (!std::isfinite(dmin) || !std::isfinite(dmax)) return false;
    const auto f = static_cast<TIEPixelFormat>(format);

    // The rows as stored; the bytes must be there before any storage is made for them.
    const bool hasPixels = w > 0 && h > 0 && f != ieNone;
    const int64_t storedLen = hasPixels ? IEBitmapRowLen(w, IEPixelFormat2BitCount[f], align) : 0;
    if (hasPixels && (storedLen <= 0 || storedLen > std::numeric_limits<int32_t>::max())) return false;
    const int64_t left = in.Left();
    if (left >= 0 && storedLen * h + 1 > left) return false;

    // From here on a failure leaves the bitmap empty.
    auto fail = [this] {
        FreeImage(true);
        return false;
    };
    if (FLocation == ieMemory && align != FRowAlign) {
        FRowAlign = align;
        FNeedsAllocate = true;
    }
    if (hasPixels) {
        if (!Allocate(w, h, f)) return fail();
    } else {
        FreeImage(false);
        FPixelFormat = f;
    }
    if (n > 0) {
        FPalette.reset(new TRGB[256]);
        std::copy(palette, palette + n, FPalette.get());
    } else {
        FPalette.reset();
    }
    FPaletteLength = n;
    SyncVclPalette();
    Full = full != 0;
    PaletteUsed = paletteUsed;
    DisplayMin = dmin;
    DisplayMax = dmax;
    std::copy(offsets, offsets + 4, ChannelOffset);
    ChannelOffsetEnabled = offsetsEnabled;
    Contrast = contrast;

    if (hasPixels) {
        std::vector<uint8_t> row(static_cast<size_t>(storedLen));
        // A TBitmap holds 16-bit grey as 8-bit grey.
        const bool narrowed = f == ie16g && GetPixelFormat() == ie8g;
        const int64_t copy = std::min<int64_t>(storedLen, GetRowLen());
        const TIEBitmapAccess saved = Access;
        Access = ieaWrite;
        bool ok = true;
        for (int32_t r = 0; r < h && ok; ++r) {
            ok = in.Bytes(row.data(), storedLen);
            auto* d = static_cast<uint8_t*>(GetScanline(r));
            if (!ok || !d) {
                ok = false;
                break;
            }
            if (narrowed) {
                for (int32_t x = 0; x < w; ++x) d[x] = row[static_cast<size_t>(2 * x + 1)];
            } else {
                std::memcpy(d, row.data(), static_cast<size_t>(copy));
                if (GetRowLen() > copy) std::memset(d + copy, 0, static_cast<size_t>(GetRowLen() - copy));
            }
        }
        ReleaseScanlineRow();
        Access = saved;
        if (!ok) return fail();
    }

    uint8_t flag = 0;
    if (!in.Value(flag) || flag > 1) return fail();
    if (flag == 0) {
        RemoveAlphaChannel(false, cl::clWhite);
        return true;
    }
    // Alpha rows exist only for an image with rows; their bytes must be there first.
    const int64_t alen = w > 0 && h > 0 ? AlphaRowLen(w) : 0;
    if (alen > 0 && left >= 0 && alen * h + 1 > in.Left()) return fail();
    TIEBitmap* a = IsAlphaChannel ? nullptr : GetAlphaChannel();
    if (!IsAlphaChannel && hasPixels && (!a || a->GetWidth() != w || a->GetHeight() != h)) return fail();
    std::vector<uint8_t> row(static_cast<size_t>(std::max<int64_t>(alen, 0)));
    const int64_t copy = a ? std::min<int64_t>(alen, a->GetRowLen()) : 0;
    const TIEBitmapAccess asaved = a ? a->Access : 0;
    if (a) a->Access = ieaWrite;
    bool ok = true;
    for (int32_t r = 0; r < h && ok && alen > 0; ++r) {
        ok = in.Bytes(row.data(), alen);
        if (ok && a && hasPixels) {
            auto* d = static_cast<uint8_t*>(a->GetScanline(r));
            if (d) std::memcpy(d, row.data(), static_cast<size_t>(copy));
        }
    }
    if (a) {
        a->ReleaseScanlineRow();
        a->Access = asaved;
    }
    uint8_t afull = 0;
    if (!ok || !in.Value(afull)) return fail();
    if (a) a->Full = afull != 0;
    return true;
}

}  // namespace ie
