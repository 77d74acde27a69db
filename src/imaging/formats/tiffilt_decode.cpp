// TIFF reader, image data decoding: the strip and tile walks, the row decoders of every
// compression, the predictor, sub-byte samples and the conversion of each row from its
// photometric interpretation and sample layout into the bitmap (and the alpha mask).
#include <algorithm>
#include <atomic>
#include <cstring>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/core/ieicc.h"
#include "imaging/core/vovozidio_colors.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/formats/iezlib.h"
#include "imaging/formats/jpegfilt.h"
#include "imaging/formats/tifccitt.h"
#include "imaging/formats/tiffilt_internal.h"
#include "imaging/io/vovozidio_startup.h"
#include "imaging/processing/vovozidproc_wand.h"

namespace ie {

namespace {

uint8_t ReverseBits(uint8_t B) {
    B = static_cast<uint8_t>((B & 0xF0) >> 4 | (B & 0x0F) << 4);
    B = static_cast<uint8_t>((B & 0xCC) >> 2 | (B & 0x33) << 2);
    return static_cast<uint8_t>((B & 0xAA) >> 1 | (B & 0x55) << 1);
}

void Convert(void* Src, uint8_t SrcFormat, void* Dst, TIOParamsVals* Params, int32_t Count) {
    if (IEConvertColorFunction)
        IEConvertColorFunction(Src, SrcFormat, Dst, Params, Count, iecdBGR);
    else
        IEConvertColorScanline(Src, SrcFormat, Dst, Params, Count, iecdBGR);
}

// The progress of the rows converted so far.
struct RowProgress {
    TProgressRec& Progress;
    int32_t Height;
    int32_t Done = 0;
    int32_t Last = -1;
    void Step() {
        ++Done;
        const int32_t pct = Height > 0 ? static_cast<int32_t>(static_cast<int64_t>(Done) * 100 / Height) : 100;
        if (pct != Last) {
            Last = pct;
            Progress.Report(pct);
        }
    }
};

// Decodes the rows of one strip, tile or plane of it, in order.
class RowDecoder {
public:
    RowDecoder(const TTIFFVars& V, std::vector<uint8_t>& Data, int64_t DataSize, int32_t Width, int32_t RowLength,
               int32_t Rows)
        : FV(V), FData(Data), FSize(DataSize), FWidth(Width), FRowLength(RowLength), FRows(Rows) {
        // The coders' 32-bit windows never reach past the data.
        FData.resize(static_cast<size_t>(FSize) + 8, 0);
    }
    ~RowDecoder() {
        if (FLZW && FV.LZWDecompress) FV.LZWDecompress(nullptr, 0, 0, FLZW, 1);
    }
    RowDecoder(const RowDecoder&) = delete;
    RowDecoder& operator=(const RowDecoder&) = delete;

    // The next row into Row (RowLength bytes; what the data lacks is zero). False when the
    // data is damaged beyond use.
    bool Decode(uint8_t* Row) {
        std::memset(Row, 0, static_cast<size_t>(FRowLength));
        const uint8_t* data = FData.data();
        switch (FV.Compression) {
            case 1: {
                const int64_t n = std::clamp<int64_t>(FSize - FPos, 0, FRowLength);
                std::memcpy(Row, data + FPos, static_cast<size_t>(n));
                FPos += FRowLength;
                if (FV.FillOrder == 2 && FV.BitsPerSample <= 8)
                    for (int64_t i = 0; i < n; ++i) Row[i] = ReverseBits(Row[i]);
                break;
            }
            case 2:
                if (FPos < FSize) FPos += IECCITTDecodeMHRow(Row, data + FPos, FSize - FPos, FV.FillOrder, FWidth);
                break;
            case 3:
                if (FV.T4Options & 1)
                    FBit = IECCITTDecode2DRow(Row, data, FSize, true, FV.FillOrder, FBit, Reference(), FWidth);
                else
                    FBit = IECCITTDecode1DRow(Row, data, FSize, FV.FillOrder, FBit, FWidth);
                break;
            case 4:
                FBit = IECCITTDecode2DRow(Row, data, FSize, (FV.T4Options & 4) != 0, FV.FillOrder, FBit, Reference(),
                                          FWidth);
                break;
            case 5: {
                uint8_t* r = FV.LZWDecompress(FData.data(), static_cast<int32_t>(std::min<int64_t>(FSize, INT32_MAX)),
                                              FRowLength, FLZW, FV.FillOrder);
                if (!r) return false;
                std::memcpy(Row, r, static_cast<size_t>(FRowLength));
                break;
            }
            case 8:
            case 32946: {
                if (!FInflated) {
                    FInflated = true;
                    try {
                        // The strip's rows are what it inflates to; more is refused.
                        const int64_t rows = static_cast<int64_t>(FRows) * FRowLength;
                        IEZDecompressBuffer(data, FSize, FOut, FOutSize, rows, rows + 4096);
                    } catch (const std::exception&) {
                        // Damaged data: what was inflated is lost; the rows stay zero.
                        FOutSize = 0;
                    }
                }
                const int64_t at = static_cast<int64_t>(FRow) * FRowLength;
                if (at < FOutSize)
                    std::memcpy(Row, FOut.data() + at,
                                static_cast<size_t>(std::min<int64_t>(FRowLength, FOutSize - at)));
                break;
            }
            case 32773: {
                int64_t filled = 0;
                while (filled < FRowLength && FPos < FSize) {
                    uint8_t c = data[FPos++];
                    if (FV.FillOrder == 2) c = ReverseBits(c);
                    const int8_t n = static_cast<int8_t>(c);
                    if (n >= 0) {
                        for (int i = 0; i <= n && FPos < FSize; ++i) {
                            uint8_t b = data[FPos++];
                            if (FV.FillOrder == 2) b = ReverseBits(b);
                            if (filled < FRowLength) Row[filled++] = b;
                        }
                    } else if (n != -128) {
                        if (FPos >= FSize) break;
                        uint8_t b = data[FPos++];
                        if (FV.FillOrder == 2) b = ReverseBits(b);
                        for (int i = 0; i < 1 - n; ++i)
                            if (filled < FRowLength) Row[filled++] = b;
                    }
                }
                break;
            }
            default: break;
        }
        ++FRow;
        return true;
    }

    // True when the data of the strip is used up (uncompressed rows past it read as zero).
    bool Exhausted() const { return FV.Compression == 1 && FPos >= FSize; }

private:
    uint8_t* Reference() {
        if (FRef.empty()) FRef.assign(static_cast<size_t>(FWidth + 7) / 8 + 1, 0xFF);
        return FRef.data();
    }

    const TTIFFVars& FV;
    std::vector<uint8_t>& FData;
    int64_t FSize;
    int32_t FWidth;
    int32_t FRowLength;
    int32_t FRows;
    int64_t FPos = 0;
    int64_t FBit = 0;
    int32_t FRow = 0;
    std::vector<uint8_t> FRef;
    void* FLZW = nullptr;
    bool FInflated = false;
    std::vector<uint8_t> FOut;
    int64_t FOutSize = 0;
};

// Bytes of one stored row of Width pixels holding Samples samples each.
int64_t StoredRowLength(const TTIFFVars& V, int32_t Width, int32_t Samples) {
    if (V.Photometric == 6 && V.Compression != 7 && V.SubsamplingH == 2 && V.SubsamplingV == 1 && Samples == 3)
        return (static_cast<int64_t>(Width) + 1) / 2 * 4;
    return (static_cast<int64_t>(Width) * Samples * V.BitsPerSample + 7) / 8;
}

// Undoes horizontal differencing over Pixels pixels of Stride samples.
void UndoPredictor(const TTIFFVars& V, uint8_t* Row, int32_t Pixels, int32_t Stride) {
    if (V.BitsPerSample == 8) {
        for (int64_t i = Stride; i < static_cast<int64_t>(Pixels) * Stride; ++i)
            Row[i] = static_cast<uint8_t>(Row[i] + Row[i - Stride]);
    } else if (V.BitsPerSample == 16) {
        for (int64_t i = Stride; i < static_cast<int64_t>(Pixels) * Stride; ++i) {
            uint16_t a, b;
            std::memcpy(&a, Row + 2 * i, 2);
            std::memcpy(&b, Row + 2 * (i - Stride), 2);
            a = static_cast<uint16_t>(a + b);
            std::memcpy(Row + 2 * i, &a, 2);
        }
    }
}

// After decoding: 16-bit samples into native order, the predictor undone, sub-byte samples
// spread one per byte (grey levels scaled). Row has room for Pixels x Samples x 2 bytes.
void PrepareRow(const TTIFFVars& V, uint8_t* Row, int32_t Pixels, int32_t Samples) {
    const int64_t count = static_cast<int64_t>(Pixels) * Samples;
    const int32_t bits = V.BitsPerSample;
    if (bits == 16 && !V.LittleEndian)
        for (int64_t i = 0; i < count; ++i) std::swap(Row[2 * i], Row[2 * i + 1]);
    if (V.Predictor == 2 && (V.Compression == 5 || V.Compression == 8 || V.Compression == 32946))
        UndoPredictor(V, Row, Pixels, Samples);
    const bool ccitt = V.Compression >= 2 && V.Compression <= 4;
    if (bits > 1 && bits < 8 && !ccitt) {
        // From the end, so that the packed bits are read before they are overwritten.
        for (int64_t i = count - 1; i >= 0; --i) {
            const int64_t bit = i * bits;
            uint32_t v = 0;
            for (int32_t k = 0; k < bits; ++k) {
                const int64_t b = bit + k;
                v = (v << 1) | ((Row[b >> 3] >> (7 - (b & 7))) & 1u);
            }
            Row[i] = static_cast<uint8_t>(v);
        }
        if (V.Photometric == 0 || V.Photometric == 1) {
            // 2 and 4 bits scale exactly (x 85, x 17), 7 bits doubles; 3, 5 and 6 bits are
            // stretched to the full range, rounded.
            const int32_t top = (1 << bits) - 1;
            for (int64_t i = 0; i < count; ++i)
                Row[i] =
                    bits == 7 ? static_cast<uint8_t>(Row[i] * 2) : static_cast<uint8_t>((Row[i] * 255 + top / 2) / top);
        }
    }
}

uint16_t Word(const uint8_t* P, int64_t I) {
    uint16_t w;
    std::memcpy(&w, P + 2 * I, 2);
    return w;
}

// Converts one prepared row of Width pixels (Samples samples each) into Out, laid out as the
// bitmap's format, and its alpha into Mask (may be null). Scratch has room for 8 bytes per
// pixel.
void ConvertRow(const TTIFFVars& V, TIEPixelFormat Fmt, uint8_t* Src, int32_t Width, int32_t Samples, uint8_t* Out,
                uint8_t* Mask, uint8_t* Scratch) {
    const int32_t P = V.Photometric, S = Samples, B = V.BitsPerSample;
    TIOParamsVals* params = V.Params;
    const bool alpha = Mask && !V.IgnoreAlpha;
    auto* rgb = reinterpret_cast<TRGB*>(Out);
    if (P == 2 && B == 8 && S >= 3) {
        const int32_t extras = std::min<int32_t>(static_cast<int32_t>(V.ExtraSamples.size()), S - 3);
        if (S == 3) {
            Convert(Src, iecsRGB, Out, params, Width);
        } else if (S == 4 && alpha && V.ExtraSample0 == 1) {
            // Associated alpha: the colours were multiplied by it.
            for (int32_t x = 0; x < Width; ++x) {
                const uint8_t* p = Src + 4 * x;
                const double f = std::max(p[3] / 255.0, 1.0 / 255.0);
                auto un = [f](uint8_t C) {
                    return static_cast<uint8_t>(std::min(255, static_cast<int32_t>(C / f + 0.5)));
                };
                rgb[x] = TRGB{un(p[2]), un(p[1]), un(p[0])};
                Mask[x] = p[3];
            }
        } else if (S == 4 && alpha) {
            for (int32_t x = 0; x < Width; ++x) {
                const uint8_t* p = Src + 4 * x;
                rgb[x] = TRGB{p[2], p[1], p[0]};
                Mask[x] = p[3];
            }
        } else if (S >= 5 && extras > 0 && alpha) {
            for (int32_t x = 0; x < Width; ++x) {
                const uint8_t* p = Src + static_cast<int64_t>(S) * x;
                int32_t c[3] = {p[0], p[1], p[2]};
                for (int32_t k = 0; k < extras; ++k) {
                    const int32_t a = p[3 + k];
                    if (V.ExtraSamples[static_cast<size_t>(k)] == 1) {
                        Mask[x] = static_cast<uint8_t>(a);
                        const double f = std::max(a / 255.0, 1.0 / 255.0);
                        for (int32_t& ch : c) ch = std::min(255, static_cast<int32_t>(ch / f));
                    } else if (V.ExtraSamples[static_cast<size_t>(k)] == 2) {
                        Mask[x] = static_cast<uint8_t>(a);
                    }
                }
                rgb[x] = TRGB{static_cast<uint8_t>(c[2]), static_cast<uint8_t>(c[1]), static_cast<uint8_t>(c[0])};
            }
        } else {
            for (int32_t x = 0; x < Width; ++x) std::memcpy(Scratch + 3 * x, Src + static_cast<int64_t>(S) * x, 3);
            Convert(Scratch, iecsRGB, Out, params, Width);
        }
        return;
    }
    if (P == 2 && B == 16 && (S == 3 || S == 4)) {
        if (S == 4) {
            for (int32_t x = 0; x < Width; ++x) std::memmove(Src + 6 * x, Src + 8 * x, 6);
        }
        if (Fmt == ieRGB48)
            std::memcpy(Out, Src, static_cast<size_t>(Width) * 6);
        else
            Convert(Src, iecsRGB48LE, Out, params, Width);
        return;
    }
    if (P == 2 && B == 16 && S == 1) {
        for (int32_t x = 0; x < Width; ++x) {
            const uint16_t w = Word(Src, x);
            rgb[x] = TRGB{static_cast<uint8_t>((w & 0x1F) << 3), static_cast<uint8_t>(((w >> 5) & 0x1F) << 3),
                          static_cast<uint8_t>(((w >> 10) & 0x1F) << 3)};
        }
        return;
    }
    if (P == 3) {
        const std::vector<TRGB>& map = V.ColorMap;
        auto entry = [&](uint32_t I) { return I < map.size() ? map[I] : TRGB{0, 0, 0}; };
        if (S == 1 && B == 1) {
            for (int32_t x = 0; x < Width; ++x) rgb[x] = entry((Src[x >> 3] >> (7 - (x & 7))) & 1u);
        } else if (S == 2 && B == 8) {
            for (int32_t x = 0; x < Width; ++x) {
                rgb[x] = entry(Src[2 * x]);
                if (alpha) Mask[x] = Src[2 * x + 1];
            }
        } else if (B <= 8) {
            if (Fmt == ie8p) {
                for (int32_t x = 0; x < Width; ++x) Out[x] = Src[static_cast<int64_t>(S) * x];
            } else {
                for (int32_t x = 0; x < Width; ++x) rgb[x] = entry(Src[static_cast<int64_t>(S) * x]);
            }
        } else if (B == 16) {
            for (int32_t x = 0; x < Width; ++x) rgb[x] = entry(Word(Src, static_cast<int64_t>(S) * x));
        }
        return;
    }
    if (P == 0 || P == 1) {
        const bool inv = P == 0;
        if (B == 1 && S == 1) {
            const bool ccitt = V.Compression >= 2 && V.Compression <= 4;
            const bool invert = ccitt ? !inv : inv;
            const int32_t n = (Width + 7) / 8;
            for (int32_t i = 0; i < n; ++i) Out[i] = invert ? static_cast<uint8_t>(~Src[i]) : Src[i];
            return;
        }
        if (B <= 8 && S == 1) {
            if (Fmt == ie8g) {
                for (int32_t x = 0; x < Width; ++x) Out[x] = inv ? static_cast<uint8_t>(255 - Src[x]) : Src[x];
            } else {
                for (int32_t x = 0; x < Width; ++x) {
                    const uint8_t g = inv ? static_cast<uint8_t>(255 - Src[x]) : Src[x];
                    rgb[x] = TRGB{g, g, g};
                }
            }
            return;
        }
        if (B == 8 && S >= 2) {
            TIEICC* icc = params ? params->InputICCProfile() : nullptr;
            const bool hook = !inv && icc && icc->IsValid() && IEICCConversionEnabled;
            for (int32_t x = 0; x < Width; ++x) {
                const uint8_t* p = Src + static_cast<int64_t>(S) * x;
                if (alpha) Mask[x] = p[1];
                Scratch[x] = inv ? static_cast<uint8_t>(255 - p[0]) : p[0];
            }
            if (hook) {
                Convert(Scratch, iecsICCOnly, Out, params, Width);
            } else {
                for (int32_t x = 0; x < Width; ++x) rgb[x] = TRGB{Scratch[x], Scratch[x], Scratch[x]};
            }
            return;
        }
        if (B == 16 && S >= 1) {
            const int shift = V.Software.compare(0, 15, "Look@Molli v1.1") == 0 ? 4 : 8;
            for (int32_t x = 0; x < Width; ++x) {
                uint16_t w = Word(Src, static_cast<int64_t>(S) * x);
                if (inv) w = static_cast<uint16_t>(65535 - w);
                if (S >= 2 && alpha) Mask[x] = static_cast<uint8_t>(Word(Src, static_cast<int64_t>(S) * x + 1) >> 8);
                if (Fmt == ie16g) {
                    std::memcpy(Out + 2 * x, &w, 2);
                } else {
                    const uint8_t g = static_cast<uint8_t>(std::min<int32_t>(255, w >> shift));
                    rgb[x] = TRGB{g, g, g};
                }
            }
            return;
        }
        return;
    }
    if (P == 5 && S >= 4 && (B == 8 || B == 16)) {
        uint8_t* dst = Fmt == ieCMYK ? Out : Scratch;
        for (int32_t x = 0; x < Width; ++x) {
            for (int32_t k = 0; k < 4; ++k) {
                const int64_t i = static_cast<int64_t>(S) * x + k;
                const uint8_t ink = B == 8 ? Src[i] : static_cast<uint8_t>(Word(Src, i) >> 8);
                dst[4 * x + k] = static_cast<uint8_t>(255 - ink);
            }
            if (S >= 5 && V.ExtraSample0 == 2 && alpha) {
                const int64_t i = static_cast<int64_t>(S) * x + 4;
                Mask[x] = B == 8 ? Src[i] : static_cast<uint8_t>(Word(Src, i) >> 8);
            }
        }
        if (Fmt != ieCMYK) Convert(Scratch, iecsCMYKInv, Out, params, Width);
        return;
    }
    if (P == 8 && S >= 3 && B == 8) {
        for (int32_t x = 0; x < Width; ++x) std::memcpy(Scratch + 3 * x, Src + static_cast<int64_t>(S) * x, 3);
        Convert(Scratch, iecsCIELab, Out, params, Width);
        return;
    }
    if (P == 6 && S == 3 && B == 8) {
        if (V.SubsamplingH == 2 && V.SubsamplingV == 1) {
            for (int32_t x = 0; x < Width; ++x) {
                const uint8_t* q = Src + 4 * (x / 2);
                Scratch[3 * x] = q[x & 1];
                Scratch[3 * x + 1] = q[2];
                Scratch[3 * x + 2] = q[3];
            }
            Convert(Scratch, iecsYCbCr, Out, params, Width);
        } else if (V.SubsamplingH == 1 && V.SubsamplingV == 1) {
            Convert(Src, iecsYCbCr, Out, params, Width);
        }
    }
}

// Puts Width converted pixels of Fmt (Pixels) at column Column of bitmap row Row, cut at the
// bitmap's right edge; the alpha likewise.
void PlaceRow(TIEBitmap* Bitmap, TIEPixelFormat Fmt, int32_t Row, int32_t Column, int32_t Width, const uint8_t* Pixels,
              TIEMask* Mask, const uint8_t* Alpha) {
    const int32_t bw = Bitmap->GetWidth();
    if (Row < 0 || Row >= Bitmap->GetHeight() || Column >= bw) return;
    const int32_t n = std::min(Width, bw - Column);
    auto* dst = static_cast<uint8_t*>(Bitmap->GetScanline(Row));
    if (Fmt == ie1g) {
        if ((Column & 7) == 0) {
            const int32_t full = n / 8;
            std::memcpy(dst + Column / 8, Pixels, static_cast<size_t>(full));
            for (int32_t x = full * 8; x < n; ++x) {
                const int32_t d = Column + x;
                const bool bit = (Pixels[x >> 3] >> (7 - (x & 7))) & 1;
                if (bit)
                    dst[d >> 3] = static_cast<uint8_t>(dst[d >> 3] | (0x80 >> (d & 7)));
                else
                    dst[d >> 3] = static_cast<uint8_t>(dst[d >> 3] & ~(0x80 >> (d & 7)));
            }
        } else {
            for (int32_t x = 0; x < n; ++x) {
                const int32_t d = Column + x;
                const bool bit = (Pixels[x >> 3] >> (7 - (x & 7))) & 1;
                if (bit)
                    dst[d >> 3] = static_cast<uint8_t>(dst[d >> 3] | (0x80 >> (d & 7)));
                else
                    dst[d >> 3] = static_cast<uint8_t>(dst[d >> 3] & ~(0x80 >> (d & 7)));
            }
        }
    } else {
        const int32_t bpp = IEPixelFormat2BitCount[Fmt] / 8;
        std::memcpy(dst + static_cast<int64_t>(Column) * bpp, Pixels, static_cast<size_t>(n) * bpp);
    }
    if (Mask && Alpha)
        if (auto* m = static_cast<uint8_t*>(Mask->GetScanline(Row)))
            std::memcpy(m + Column, Alpha, static_cast<size_t>(n));
}

// The bytes of one strip or tile: the count clamped to what the stream holds after the
// offset. False (abort) when the offset lies outside the stream.
bool ReadPiece(const TTIFFDirectory& D, int64_t Offset, int64_t Count, int64_t MinCount, std::vector<uint8_t>& Data,
               int64_t& Size) {
    const int64_t streamSize = D.Stream->GetSize();
    const int64_t at = D.Base + Offset;
    if (Offset < 0 || at >= streamSize) return false;
    if (Count <= 0) Count = streamSize - at;
    Count = std::max(Count, MinCount);
    Count = std::min(Count, streamSize - at);
    Data.resize(static_cast<size_t>(Count));
    Size = D.ReadAt(Offset, Data.data(), Count);
    return true;
}

// JPEG-compressed pieces (compression 7): each piece is a JPEG stream, with the shared
// tables of the file read first.
void ConvertJPEGPiece(const TTIFFVars& V, TIEBitmap* Bitmap, const std::vector<uint8_t>& Data, int64_t Size,
                      int32_t Column, int32_t Row, int32_t Width, int32_t Rows, bool Single, TProgressRec& Progress) {
    cl::TMemoryStream data, tables;
    data.Write(Data.data(), Size);
    data.Seek(0, cl::soBeginning);
    const bool haveTables = !V.JPEGTables.empty();
    if (haveTables) {
        tables.Write(V.JPEGTables.data(), static_cast<int64_t>(V.JPEGTables.size()));
        tables.Seek(0, cl::soBeginning);
    }
    TIEBitmap piece;
    if (!piece.Allocate(Width, Rows, ie24RGB)) {
        Progress.Abort();
        return;
    }
    std::atomic<bool> inner{false};
    TProgressRec rec;
    if (Single) rec = Progress;
    rec.Aborting = &inner;
    TIOParamsVals& P = *V.Params;
    const int32_t dpiX = P.DpiX, dpiY = P.DpiY, w = P.Width, h = P.Height, ow = P.OriginalWidth, oh = P.OriginalHeight;
    const double ex = P.EXIFXResolution, ey = P.EXIFYResolution;
    const bool keepYCbCr = V.Photometric == 2 && haveTables;
    try {
        IEReadJPEGStream(&data, haveTables ? &tables : nullptr, &piece, false, -1, true, false, true, false, keepYCbCr,
                         false, rec, P);
    } catch (const std::exception&) {
        inner = true;
    }
    P.SetDpiX(dpiX);
    P.SetDpiY(dpiY);
    P.EXIFXResolution = ex;
    P.EXIFYResolution = ey;
    P.Width = w;
    P.Height = h;
    P.OriginalWidth = ow;
    P.OriginalHeight = oh;
    if (inner) {
        Progress.Abort();
        return;
    }
    if (Progress.IsAborting()) return;
    if (piece.GetPixelFormat() != ie24RGB) piece.SetPixelFormat(ie24RGB);
    if (keepYCbCr)
        for (int32_t y = 0; y < piece.GetHeight(); ++y) IESwapRedBlue(piece.GetScanline(y), piece.GetWidth());
    const int32_t cw = std::min(piece.GetWidth(), Bitmap->GetWidth() - Column);
    const int32_t ch = std::min(piece.GetHeight(), Bitmap->GetHeight() - Row);
    if (cw > 0 && ch > 0) piece.CopyRectTo(Bitmap, 0, 0, Column, Row, cw, ch);
}

// Decodes and converts Rows rows of a chunky piece of Width pixels into the bitmap at
// (Column, FirstRow).
void ConvertPiece(const TTIFFVars& V, TIEBitmap* Bitmap, std::vector<uint8_t>& Data, int64_t Size, int32_t Column,
                  int32_t FirstRow, int32_t Width, int32_t Rows, RowProgress& Prog, bool CountRows = true) {
    TProgressRec& progress = Prog.Progress;
    const TIEPixelFormat fmt = Bitmap->GetPixelFormat();
    const int32_t S = V.SamplesPerPixel;
    const int64_t rowLen = StoredRowLength(V, Width, S);
    const int64_t work = std::max<int64_t>(rowLen, static_cast<int64_t>(Width) * S * 2) + 16;
    std::vector<uint8_t> row(static_cast<size_t>(work)), scratch(static_cast<size_t>(Width) * 8 + 16);
    std::vector<uint8_t> out(static_cast<size_t>(Width) * 8 + 16), alpha(static_cast<size_t>(Width) + 16);
    RowDecoder dec(V, Data, Size, Width, static_cast<int32_t>(rowLen), Rows);
    TIEMask* mask = V.IgnoreAlpha ? nullptr : V.AlphaMask;
    for (int32_t r = 0; r < Rows && !progress.IsAborting(); ++r) {
        const int32_t y = FirstRow + r;
        if (y >= Bitmap->GetHeight()) break;
        if (!dec.Decode(row.data())) {
            progress.Abort();
            return;
        }
        PrepareRow(V, row.data(), Width, S);
        std::fill(alpha.begin(), alpha.end(), 255);
        ConvertRow(V, fmt, row.data(), Width, S, out.data(), mask ? alpha.data() : nullptr, scratch.data());
        PlaceRow(Bitmap, fmt, y, Column, Width, out.data(), mask, mask ? alpha.data() : nullptr);
        if (CountRows) Prog.Step();
    }
}

}  // namespace

void IETIFFReadStrips(const TTIFFDirectory& Directory, TTIFFVars& V, TIEBitmap* Bitmap, TProgressRec& Progress) {
    RowProgress prog{Progress, V.ImageHeight};
    const int32_t height = V.ImageHeight, width = V.ImageWidth, S = V.SamplesPerPixel;
    const int32_t rps = std::max(1, std::min(V.RowsPerStrip, height));
    std::vector<uint8_t> data;
    int64_t size = 0;
    if (V.PlanarConfig == 1) {
        const int64_t rowLen = StoredRowLength(V, width, S);
        int32_t done = 0;
        for (size_t i = 0; i < V.StripOffsets.size() && done < height && !Progress.IsAborting(); ++i) {
            const int32_t rows = std::min(rps, height - done);
            const int64_t count = i < V.StripByteCounts.size() ? V.StripByteCounts[i] : 0;
            const int64_t minCount = V.Compression == 1 ? rowLen * rows : 0;
            if (!ReadPiece(Directory, V.StripOffsets[i], count, minCount, data, size)) {
                Progress.Abort();
                return;
            }
            if (V.Compression == 7)
                ConvertJPEGPiece(V, Bitmap, data, size, 0, done, width, rows, V.StripOffsets.size() == 1, Progress);
            else
                ConvertPiece(V, Bitmap, data, size, 0, done, width, rows, prog);
            done += rps;
        }
        return;
    }
    if (V.PlanarConfig != 2) return;
    // Separate planes: one strip per plane for each band of rows.
    if (S > IETIFFMaxPlanes || V.Compression == 7) {
        Progress.Abort();
        return;
    }
    const size_t perPlane = V.StripOffsets.size() / static_cast<size_t>(S);
    if (perPlane == 0 || V.StripByteCounts.size() < perPlane * S) {
        Progress.Abort();
        return;
    }
    const TIEPixelFormat fmt = Bitmap->GetPixelFormat();
    const int64_t planeLen = StoredRowLength(V, width, 1);
    const int64_t work = std::max<int64_t>(planeLen, static_cast<int64_t>(width) * 2) + 16;
    std::vector<std::vector<uint8_t>> planes(static_cast<size_t>(S));
    std::vector<int64_t> sizes(static_cast<size_t>(S));
    std::vector<uint8_t> row(static_cast<size_t>(work)), chunky(static_cast<size_t>(width) * S * 2 + 16);
    std::vector<uint8_t> scratch(static_cast<size_t>(width) * 8 + 16), out(static_cast<size_t>(width) * 8 + 16),
        alpha(static_cast<size_t>(width) + 16);
    TIEMask* mask = V.IgnoreAlpha ? nullptr : V.AlphaMask;
    const int32_t bytesPerSample = V.BitsPerSample > 8 ? 2 : 1;
    int32_t done = 0;
    for (size_t i = 0; i < perPlane && done < height && !Progress.IsAborting(); ++i) {
        const int32_t rows = std::min(rps, height - done);
        std::vector<std::unique_ptr<RowDecoder>> decs;
        for (int32_t p = 0; p < S; ++p) {
            const size_t k = static_cast<size_t>(p) * perPlane + i;
            const int64_t minCount = V.Compression == 1 ? planeLen * rows : 0;
            if (!ReadPiece(Directory, V.StripOffsets[k], V.StripByteCounts[k], minCount, planes[static_cast<size_t>(p)],
                           sizes[static_cast<size_t>(p)])) {
                Progress.Abort();
                return;
            }
            decs.push_back(std::make_unique<RowDecoder>(V, planes[static_cast<size_t>(p)],
                                                        sizes[static_cast<size_t>(p)], width,
                                                        static_cast<int32_t>(planeLen), rows));
        }
        for (int32_t r = 0; r < rows && !Progress.IsAborting(); ++r) {
            for (int32_t p = 0; p < S; ++p) {
                if (!decs[static_cast<size_t>(p)]->Decode(row.data())) {
                    Progress.Abort();
                    return;
                }
                PrepareRow(V, row.data(), width, 1);
                for (int32_t x = 0; x < width; ++x)
                    std::memcpy(chunky.data() + (static_cast<int64_t>(x) * S + p) * bytesPerSample,
                                row.data() + static_cast<int64_t>(x) * bytesPerSample,
                                static_cast<size_t>(bytesPerSample));
            }
            // The rows are whole samples now: convert them as chunky ones without a second
            // predictor pass.
            std::fill(alpha.begin(), alpha.end(), 255);
            if (V.BitsPerSample >= 2) {
                ConvertRow(V, fmt, chunky.data(), width, S, out.data(), mask ? alpha.data() : nullptr, scratch.data());
                PlaceRow(Bitmap, fmt, done + r, 0, width, out.data(), mask, mask ? alpha.data() : nullptr);
            }
            prog.Step();
        }
        done += rps;
    }
}

void IETIFFReadTiles(const TTIFFDirectory& Directory, TTIFFVars& V, TIEBitmap* Bitmap, TProgressRec& Progress) {
    if (V.PlanarConfig != 1) {
        Progress.Abort();
        return;
    }
    const TIEPixelFormat fmt = Bitmap->GetPixelFormat();
    if (fmt != ie24RGB && fmt != ie1g && fmt != ie8g && fmt != ie8p && fmt != ie16g && fmt != ieCMYK &&
        fmt != ieRGB48) {
        Progress.Abort();
        return;
    }
    RowProgress prog{Progress, V.ImageHeight};
    const int32_t tw = V.TileWidth, tl = V.TileLength;
    const int64_t across = (static_cast<int64_t>(V.ImageWidth) + tw - 1) / tw;
    const int64_t down = (static_cast<int64_t>(V.ImageHeight) + tl - 1) / tl;
    // Only the tiles that fit in the image are read.
    const int64_t count = std::min<int64_t>(static_cast<int64_t>(V.TileOffsets.size()), across * down);
    int64_t first = 0;
    const bool single = V.Params->TIFFGetTile != -1;
    if (single) {
        first = V.Params->TIFFGetTile;
        if (first < 0 || first >= static_cast<int64_t>(V.TileOffsets.size())) {
            Progress.Abort();
            return;
        }
    }
    const int64_t last = single ? first + 1 : count;
    std::vector<uint8_t> data;
    int64_t size = 0;
    for (int64_t t = first; t < last && !Progress.IsAborting(); ++t) {
        const int32_t column = single ? 0 : static_cast<int32_t>((t % across) * tw);
        const int32_t row = single ? 0 : static_cast<int32_t>((t / across) * tl);
        const int64_t bc =
            t < static_cast<int64_t>(V.TileByteCounts.size()) ? V.TileByteCounts[static_cast<size_t>(t)] : 0;
        const int64_t minCount = V.Compression == 1 ? StoredRowLength(V, tw, V.SamplesPerPixel) * tl : 0;
        if (!ReadPiece(Directory, V.TileOffsets[static_cast<size_t>(t)], bc, minCount, data, size)) {
            Progress.Abort();
            return;
        }
        if (V.Compression == 7)
            ConvertJPEGPiece(V, Bitmap, data, size, column, row, tw, tl, last - first == 1, Progress);
        else
            // Rows count once per band of tiles: with its first tile.
            ConvertPiece(V, Bitmap, data, size, column, row, tw, tl, prog, column == 0);
    }
}

void IETIFFReadOldJPEG(const TTIFFDirectory& Directory, TTIFFVars& V, TIEBitmap* Bitmap, TProgressRec& Progress) {
    cl::TStream* s = Directory.Stream;
    const int64_t streamSize = s->GetSize();
    TIOParamsVals jp(nullptr);
    if (!V.StripByteCounts.empty() && !V.StripOffsets.empty() && V.ImageWidth > 0 && V.ImageHeight > 0) {
        if (!Bitmap->Allocate(V.ImageWidth, V.ImageHeight, ie24RGB)) {
            Progress.Abort();
            return;
        }
        const size_t strips = V.StripOffsets.size();
        const int32_t rps = std::max(1, std::min(V.RowsPerStrip, V.ImageHeight));
        std::vector<uint8_t> header = V.JPEGIFOffset != 0 && V.JPEGIFLength > 0 && V.JPEGIFLength < streamSize
                                          ? Directory.ReadBlock(V.JPEGIFOffset, V.JPEGIFLength)
                                          : std::vector<uint8_t>();
        std::vector<uint8_t> first;
        for (size_t i = 0; i < strips && !Progress.IsAborting(); ++i) {
            const int32_t row0 = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(i) * rps, INT32_MAX));
            if (row0 >= V.ImageHeight) break;
            std::vector<uint8_t> piece;
            int64_t size = 0;
            const int64_t bc = i < V.StripByteCounts.size() ? V.StripByteCounts[i] : 0;
            if (!ReadPiece(Directory, V.StripOffsets[i], bc, 0, piece, size)) {
                Progress.Abort();
                return;
            }
            cl::TMemoryStream m;
            if (!header.empty()) m.Write(header.data(), static_cast<int64_t>(header.size()));
            if (i == 0) {
                first.assign(piece.begin(), piece.begin() + size);
            } else if (first.size() >= 4) {
                // The tables segment that opens strip 0 serves the later strips too.
                const int64_t len =
                    std::min<int64_t>((first[2] << 8 | first[3]) + 2, static_cast<int64_t>(first.size()));
                m.Write(first.data(), len);
            }
            m.Write(piece.data(), size);
            m.Seek(0, cl::soBeginning);
            TIEBitmap tmp;
            std::atomic<bool> inner{false};
            TProgressRec rec;
            if (strips == 1) rec = Progress;
            rec.Aborting = &inner;
            const int32_t rows = std::min(rps, V.ImageHeight - row0);
            int32_t got = 0;
            try {
                got =
                    IEReadJPEGStream(&m, nullptr, &tmp, false, rows, false, true, false, false, false, false, rec, jp);
            } catch (const std::exception&) {
                inner = true;
            }
            if (inner && got <= rows / 2) {
                Progress.Abort();
                return;
            }
            if (tmp.GetWidth() > 0 && tmp.GetHeight() > 0) {
                if (tmp.GetPixelFormat() != ie24RGB) tmp.SetPixelFormat(ie24RGB);
                const int32_t cw = std::min(tmp.GetWidth(), V.ImageWidth);
                const int32_t ch = std::min(std::min(tmp.GetHeight(), rows), V.ImageHeight - row0);
                if (cw > 0 && ch > 0) tmp.CopyRectTo(Bitmap, 0, 0, 0, row0, cw, ch);
            }
            Progress.Report(static_cast<int32_t>(static_cast<int64_t>(i) * 100 / static_cast<int64_t>(strips)));
        }
        return;
    }
    int64_t start = V.JPEGIFOffset;
    if (start == 0 && !V.StripOffsets.empty()) start = V.StripOffsets[0];
    const int64_t at = Directory.Base + start;
    if (start <= 0 || at >= streamSize) {
        Progress.Abort();
        return;
    }
    s->Seek(at, cl::soBeginning);
    const int64_t len = IEGetJPEGLength(s);
    if (len <= 0 || at + len > streamSize) {
        Progress.Abort();
        return;
    }
    std::vector<uint8_t> bytes = Directory.ReadBlock(start, len);
    cl::TMemoryStream m;
    m.Write(bytes.data(), len);
    m.Seek(0, cl::soBeginning);
    IEReadJPEGStream(&m, nullptr, Bitmap, false, -1, true, true, false, false, false, false, Progress, jp);
    if (Bitmap->GetPixelFormat() != ie24RGB && !Progress.IsAborting()) Bitmap->SetPixelFormat(ie24RGB);
}

}  // namespace ie
