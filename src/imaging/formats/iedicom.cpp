// DICOM files.
#include "imaging/formats/iedicom.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/hyieutils_budget.h"
#include "imaging/core/hyieutils_checked.h"
#include "imaging/core/hyieutils_dicomtags.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_streams.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/formats/iej2000.h"
#include "imaging/formats/jpegfilt.h"
#include "imaging/formats/ljpegdec.h"
#include "imaging/io/vovozidio.h"

namespace ie {

const char* IEDICOMLookupVR(uint16_t Group, uint16_t Element) {
    const uint32_t key = (static_cast<uint32_t>(Group) << 16) | Element;
    const TIEDICOMDictEntry* first = IEDICOMDictionary;
    const TIEDICOMDictEntry* last = IEDICOMDictionary + IEDICOMDictionaryCount;
    const TIEDICOMDictEntry* e = std::lower_bound(first, last, key, [](const TIEDICOMDictEntry& E, uint32_t K) {
        return ((static_cast<uint32_t>(E.Group) << 16) | E.Element) < K;
    });
    if (e != last && e->Group == Group && e->Element == Element) return e->VR;
    return "xs";
}

bool IEIsDICOMStream(cl::TStream* Stream) {
    // The file starts at the current position: several pictures may share one stream.
    const int64_t pos = Stream->GetPosition();
    bool result = false;
    if (Stream->Seek(pos + 128, cl::soBeginning) == pos + 128) {
        char sig[4];
        result = Stream->Read(sig, 4) == 4 && std::memcmp(sig, "DICM", 4) == 0;
    }
    Stream->SetPosition(pos);
    return result;
}

int64_t IEDecodePackBits(cl::TStream* Stream, uint8_t* Buffer, int64_t Count) {
    int64_t out = 0, read = 0;
    uint8_t chunk[128];
    while (out < Count) {
        int8_t n;
        if (Stream->Read(&n, 1) != 1) break;
        ++read;
        if (n >= 0) {
            const int64_t len = n + 1;
            const int64_t got = Stream->Read(chunk, len);
            if (got <= 0) break;
            read += got;
            const int64_t take = std::min(got, Count - out);
            std::memcpy(Buffer + out, chunk, static_cast<size_t>(take));
            out += take;
            if (got < len) break;
        } else if (n != -128) {
            uint8_t b;
            if (Stream->Read(&b, 1) != 1) break;
            ++read;
            const int64_t take = std::min<int64_t>(1 - n, Count - out);
            std::memset(Buffer + out, b, static_cast<size_t>(take));
            out += take;
        }
    }
    return read;
}

double DICOMParseDecimal(const cl::String& Text, double Default) {
    const size_t cut = Text.find('\\');
    return IEStrToFloatDef(IETrim(cut == cl::String::npos ? Text : Text.substr(0, cut)), Default);
}

namespace {

const char* const kImplicitLE = "1.2.840.10008.1.2";
const char* const kExplicitLE = "1.2.840.10008.1.2.1";
const char* const kExplicitBE = "1.2.840.10008.1.2.2";

uint16_t Swap16(uint16_t V) { return static_cast<uint16_t>((V >> 8) | (V << 8)); }
uint32_t Swap32(uint32_t V) { return (V >> 24) | ((V >> 8) & 0xFF00u) | ((V << 8) & 0xFF0000u) | (V << 24); }

bool LongLengthVR(const char* VR) {
    static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
    for (const char* v : kLong)
        if (VR[0] == v[0] && VR[1] == v[1]) return true;
    return false;
}

int32_t ValueSize(const char* VR) {
    const std::string v(VR, 2);
    if (v == "SS" || v == "US") return 2;
    if (v == "UL" || v == "SL" || v == "FL") return 4;
    if (v == "FD") return 8;
    return 1;
}

// The text of a value: up to its first zero, trailing spaces and zeros cut.
std::string ValueText(const uint8_t* Data, int32_t Length) {
    if (!Data || Length <= 0) return {};
    std::string s(reinterpret_cast<const char*>(Data), static_cast<size_t>(Length));
    const size_t z = s.find('\0');
    if (z != std::string::npos) s.resize(z);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

std::string Upper(const std::string& S) { return IEUpperCase(IETrim(S)); }

struct Context {
    TIOParamsVals* Params = nullptr;
    TIEBitmap* Target = nullptr;
    TProgressRec Progress;
    bool PreviewOnly = false;
    cl::TStream* Stream = nullptr;
    int64_t StreamSize = 0;
    bool NoPreamble = false, LittleEndian = true;
    std::string TransferSyntax;
    int32_t SamplesPerPixel = 1;
    std::string Photometric;
    int32_t PlanarConfiguration = 0;
    int32_t Frames = 1;
    int32_t PixelRepresentation = 0;
    int32_t Columns = 0, Rows = 0;
    int32_t BitsAllocated = 0, BitsStored = 0, BytesPerSample = 0;
    std::vector<uint16_t> Palette[3];
    bool HavePalette[3] = {false, false, false};
    double WindowCenter = -1, WindowWidth = -1, RescaleIntercept = 0, RescaleSlope = 1;
    int32_t LastPercent = -1;

    void Abort() { Progress.Abort(); }
    bool Aborting() const { return Progress.IsAborting(); }
    void ReportProgress(int64_t Done, int64_t Total) {
        if (Total <= 0) return;
        const auto p = static_cast<int32_t>(static_cast<double>(Done) / static_cast<double>(Total) * 100);
        if (p != LastPercent) {
            LastPercent = p;
            Progress.Report(p);
        }
    }
    bool IsPalette() const { return Upper(Photometric) == "PALETTE COLOR"; }
};

bool ReadExact(cl::TStream* S, void* Buffer, int64_t Count) {
    int64_t got = 0;
    auto* p = static_cast<uint8_t*>(Buffer);
    while (got < Count) {
        const int64_t n = S->Read(p + got, Count - got);
        if (n <= 0) return false;
        got += n;
    }
    return true;
}

bool ReadWord(cl::TStream* S, bool Swap, uint16_t& V) {
    uint8_t b[2];
    if (!ReadExact(S, b, 2)) return false;
    V = IEGetLE16(b);
    if (Swap) V = Swap16(V);
    return true;
}
bool ReadDWord(cl::TStream* S, bool Swap, uint32_t& V) {
    uint8_t b[4];
    if (!ReadExact(S, b, 4)) return false;
    V = IEGetLE32(b);
    if (Swap) V = Swap32(V);
    return true;
}

// ---------------------------------------------------------------------------------------
// Grey processing

// Rescale, window and stretch of grey samples of Bits (8 or 16) bits, in place over Count
// samples at Data. Negative values lift the whole image by the smallest value; the result
// spans 0 .. the full value (an image of one value keeps it, clamped).
template <typename T>
void WindowSamples(Context& C, T* Data, int64_t Count, int32_t Full) {
    const bool windowing = C.WindowCenter != -1 && C.WindowWidth != -1;
    const double c = C.WindowCenter, w = C.WindowWidth;
    const double lower = std::trunc(c - 0.5 - (w - 1) / 2), upper = std::trunc(c - 0.5 + (w - 1) / 2);
    const bool isSigned = C.PixelRepresentation == 1;
    auto value = [&](T S) {
        double s;
        if (isSigned)
            s = sizeof(T) == 1 ? static_cast<int8_t>(S) : static_cast<int16_t>(S);
        else
            s = S;
        double v = s * C.RescaleSlope + C.RescaleIntercept;
        if (windowing) {
            if (v <= lower)
                v = 0;
            else if (v < upper && w > 1)
                v = ((v - (c - 0.5)) / (w - 1) + 0.5) * Full;
            else
                v = Full;
        }
        return v;
    };
    if (Count <= 0) return;
    double vmin = value(Data[0]);
    for (int64_t i = 1; i < Count; ++i) vmin = std::min(vmin, value(Data[i]));
    const double offset = vmin < 0 ? -vmin : 0;
    int64_t smin = INT64_MAX, smax = INT64_MIN;
    for (int64_t i = 0; i < Count; ++i) {
        const auto s = static_cast<int64_t>(std::trunc(value(Data[i]) + offset));
        smin = std::min(smin, s);
        smax = std::max(smax, s);
    }
    for (int64_t i = 0; i < Count; ++i) {
        const auto s = static_cast<int64_t>(std::trunc(value(Data[i]) + offset));
        int64_t out;
        if (smax > smin)
            out = (s - smin) * Full / (smax - smin);
        else
            out = std::clamp<int64_t>(s, 0, Full);
        Data[i] = static_cast<T>(out);
    }
}

// The samples of a bitmap whose rows may lie anywhere: copied out, processed, copied back.
template <typename T>
void WindowBitmap(Context& C, TIEBitmap* B, int32_t SamplesPerRow, int32_t Full) {
    const int32_t h = B->GetHeight();
    std::vector<T> all(static_cast<size_t>(SamplesPerRow) * static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(all.data() + static_cast<size_t>(y) * SamplesPerRow, B->GetScanline(y),
                    static_cast<size_t>(SamplesPerRow) * sizeof(T));
    WindowSamples<T>(C, all.data(), static_cast<int64_t>(all.size()), Full);
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(B->GetScanline(y), all.data() + static_cast<size_t>(y) * SamplesPerRow,
                    static_cast<size_t>(SamplesPerRow) * sizeof(T));
}

int32_t BytesPerPixel(TIEBitmap* B) {
    switch (B->GetPixelFormat()) {
        case ie8g: return 1;
        case ie16g: return 2;
        case ie24RGB: return 3;
        case ieRGB48: return 6;
        default: return 0;
    }
}

void Window8(Context& C, TIEBitmap* B) { WindowBitmap<uint8_t>(C, B, B->GetWidth() * BytesPerPixel(B), 255); }
void Window16(Context& C, TIEBitmap* B) { WindowBitmap<uint16_t>(C, B, B->GetWidth(), 65535); }

void Invert(Context& C, TIEBitmap* B) {
    if (Upper(C.Photometric) != "MONOCHROME1") return;
    const int32_t bytes = B->GetWidth() * BytesPerPixel(B);
    for (int32_t y = 0; y < B->GetHeight(); ++y) {
        auto* p = static_cast<uint8_t*>(B->GetScanline(y));
        for (int32_t i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(~p[i]);
    }
}

// ---------------------------------------------------------------------------------------
// Pixel data

bool Allocate(Context& C, TIEPixelFormat Format) {
    if (C.Columns <= 0 || C.Rows <= 0 || !C.Target->Allocate(C.Columns, C.Rows, Format)) {
        C.Abort();
        return false;
    }
    return true;
}

uint16_t PaletteEntry(const Context& C, int K, uint32_t Index) {
    const std::vector<uint16_t>& t = C.Palette[K];
    return Index < t.size() ? t[Index] : 0;
}

// An 8-bit index image through the palette into ie24RGB.
void PaletteRow8(const Context& C, const uint8_t* Index, uint8_t* Row, int32_t Width, int32_t Shift) {
    for (int32_t x = 0; x < Width; ++x) {
        const uint32_t i = static_cast<uint32_t>(Index[x]) << Shift & 0xFF;
        Row[3 * x + 2] = static_cast<uint8_t>(PaletteEntry(C, 0, i) / 257);
        Row[3 * x + 1] = static_cast<uint8_t>(PaletteEntry(C, 1, i) / 257);
        Row[3 * x] = static_cast<uint8_t>(PaletteEntry(C, 2, i) / 257);
    }
}

void ReadNative(Context& C, cl::TStream* S, int64_t Length) {
    const auto need = IECheckedMul({C.Columns, C.Rows, C.SamplesPerPixel, C.BytesPerSample});
    const int64_t left = C.StreamSize - S->GetPosition();
    if (!need || *need <= 0 || *need > left || (Length > 0 && *need > Length)) {
        C.Abort();
        return;
    }
    const int32_t w = C.Columns, h = C.Rows;
    const int32_t shift = C.BitsStored < 8 ? 8 - C.BitsStored : 0;
    std::vector<uint8_t> row(static_cast<size_t>(w) * C.SamplesPerPixel * C.BytesPerSample);
    if (C.SamplesPerPixel == 1 && C.BytesPerSample == 1) {
        const bool palette = C.IsPalette();
        if (!Allocate(C, palette ? ie24RGB : ie8g)) return;
        for (int32_t y = 0; y < h; ++y) {
            if (!ReadExact(S, row.data(), w)) return C.Abort();
            auto* out = static_cast<uint8_t*>(C.Target->GetScanline(y));
            if (palette) {
                PaletteRow8(C, row.data(), out, w, shift);
            } else {
                for (int32_t x = 0; x < w; ++x) out[x] = static_cast<uint8_t>(row[static_cast<size_t>(x)] << shift);
            }
            C.ReportProgress(y + 1, h);
            if (C.Aborting()) return;
        }
        if (!palette) Invert(C, C.Target);
    } else if (C.SamplesPerPixel == 1 && C.BytesPerSample == 2) {
        const bool palette = C.IsPalette();
        if (!Allocate(C, palette ? ieRGB48 : ie16g)) return;
        for (int32_t y = 0; y < h; ++y) {
            if (!ReadExact(S, row.data(), 2 * static_cast<int64_t>(w))) return C.Abort();
            auto* out = static_cast<uint16_t*>(C.Target->GetScanline(y));
            for (int32_t x = 0; x < w; ++x) {
                uint16_t v = IEGetLE16(row.data() + 2 * x);
                if (!C.LittleEndian) v = Swap16(v);
                if (palette) {
                    out[3 * x] = PaletteEntry(C, 0, v);
                    out[3 * x + 1] = PaletteEntry(C, 1, v);
                    out[3 * x + 2] = PaletteEntry(C, 2, v);
                } else {
                    out[x] = v;
                }
            }
            C.ReportProgress(y + 1, h);
            if (C.Aborting()) return;
        }
        if (!palette) {
            Window16(C, C.Target);
            Invert(C, C.Target);
        }
    } else if (C.SamplesPerPixel == 3 && C.BytesPerSample == 1) {
        if (!Allocate(C, ie24RGB)) return;
        if (C.PlanarConfiguration == 1) {
            // The red plane, then the green plane, then the blue plane.
            for (int plane = 0; plane < 3; ++plane)
                for (int32_t y = 0; y < h; ++y) {
                    if (!ReadExact(S, row.data(), w)) return C.Abort();
                    auto* out = static_cast<uint8_t*>(C.Target->GetScanline(y));
                    for (int32_t x = 0; x < w; ++x)
                        out[3 * x + 2 - plane] = static_cast<uint8_t>(row[static_cast<size_t>(x)] << shift);
                    C.ReportProgress(static_cast<int64_t>(plane) * h + y + 1, 3 * static_cast<int64_t>(h));
                    if (C.Aborting()) return;
                }
        } else {
            for (int32_t y = 0; y < h; ++y) {
                if (!ReadExact(S, row.data(), 3 * static_cast<int64_t>(w))) return C.Abort();
                auto* out = static_cast<uint8_t*>(C.Target->GetScanline(y));
                for (int32_t x = 0; x < w; ++x) {
                    out[3 * x + 2] = static_cast<uint8_t>(row[3 * static_cast<size_t>(x)] << shift);
                    out[3 * x + 1] = static_cast<uint8_t>(row[3 * static_cast<size_t>(x) + 1] << shift);
                    out[3 * x] = static_cast<uint8_t>(row[3 * static_cast<size_t>(x) + 2] << shift);
                }
                C.ReportProgress(y + 1, h);
                if (C.Aborting()) return;
            }
        }
    } else {
        C.Abort();  // a layout this reader does not decode
    }
}

// RLE: a header of 16 32-bit numbers (the segment count, then the offsets of segments 1 to
// 15 from the header's start) and PackBits segments, one per byte plane.
void ReadRLE(Context& C, cl::TStream* S) {
    const int64_t header = S->GetPosition();
    uint32_t h[16];
    for (uint32_t& v : h)
        if (!ReadDWord(S, false, v)) return C.Abort();
    const uint32_t count = std::min<uint32_t>(h[0], 15);
    const int64_t pixels = static_cast<int64_t>(C.Columns) * C.Rows;
    const int64_t end = C.StreamSize;
    auto segment = [&](uint32_t K, std::vector<uint8_t>& Out) {
        // Segment K (from 1): its bytes up to the next segment or the end of the data.
        if (K > count || h[K] < 64) return false;
        const int64_t start = header + h[K];
        const int64_t stop = K < count && h[K + 1] > h[K] ? header + h[K + 1] : end;
        // PackBits makes at most 128 bytes of 2.
        if (start >= end || stop > end || pixels > (stop - start) * 64 || !IEReaderPixelsAllowed(C.Columns, C.Rows))
            return false;
        Out.assign(static_cast<size_t>(pixels), 0);
        S->SetPosition(start);
        const std::string part = [&] {
            std::string b(static_cast<size_t>(stop - start), '\0');
            return ReadExact(S, b.data(), stop - start) ? b : std::string();
        }();
        if (part.empty()) return false;
        cl::TStringStream seg(part);
        IEDecodePackBits(&seg, Out.data(), pixels);
        return true;
    };
    if (pixels <= 0) return C.Abort();
    const int32_t w = C.Columns, rows = C.Rows;
    std::vector<uint8_t> a, b, c;
    if (C.SamplesPerPixel == 1 && C.BytesPerSample == 1) {
        if (!segment(1, a)) return C.Abort();
        const bool palette = C.IsPalette();
        if (!Allocate(C, palette ? ie24RGB : ie8g)) return;
        for (int32_t y = 0; y < rows; ++y) {
            auto* out = static_cast<uint8_t*>(C.Target->GetScanline(y));
            const uint8_t* in = a.data() + static_cast<size_t>(y) * w;
            if (palette)
                PaletteRow8(C, in, out, w, 0);
            else
                std::memcpy(out, in, static_cast<size_t>(w));
            C.ReportProgress(y + 1, rows);
        }
        if (!palette) {
            Window8(C, C.Target);
            Invert(C, C.Target);
        }
    } else if (C.SamplesPerPixel == 1 && C.BytesPerSample == 2) {
        if (!segment(1, a) || !segment(2, b)) return C.Abort();
        if (!Allocate(C, ie16g)) return;
        for (int32_t y = 0; y < rows; ++y) {
            auto* out = static_cast<uint16_t*>(C.Target->GetScanline(y));
            const size_t base = static_cast<size_t>(y) * w;
            for (int32_t x = 0; x < w; ++x) out[x] = static_cast<uint16_t>((a[base + x] << 8) | b[base + x]);
            C.ReportProgress(y + 1, rows);
        }
        Window16(C, C.Target);
        Invert(C, C.Target);
    } else if (C.SamplesPerPixel == 3 && C.BytesPerSample == 1) {
        if (!segment(1, a) || !segment(2, b) || !segment(3, c)) return C.Abort();
        if (!Allocate(C, ie24RGB)) return;
        for (int32_t y = 0; y < rows; ++y) {
            auto* out = static_cast<uint8_t*>(C.Target->GetScanline(y));
            const size_t base = static_cast<size_t>(y) * w;
            for (int32_t x = 0; x < w; ++x) {
                out[3 * x + 2] = a[base + x];
                out[3 * x + 1] = b[base + x];
                out[3 * x] = c[base + x];
            }
            C.ReportProgress(y + 1, rows);
        }
    } else {
        C.Abort();
    }
}

void ReadLossless(Context& C, cl::TStream* S, int64_t Length) {
    const int32_t w = C.Columns, h = C.Rows;
    const bool wide = C.BitsStored > 8;
    if (w <= 0 || h <= 0 || (C.SamplesPerPixel != 1 && C.SamplesPerPixel != 3) || C.BitsStored > 16 ||
        (wide && C.SamplesPerPixel != 1)) {
        return C.Abort();
    }
    const auto samples = IECheckedMul({w, h, C.SamplesPerPixel});
    // Every sample takes one bit at least: a size the data cannot fill is refused before
    // anything is allocated for it.
    if (Length <= 0 || !samples || *samples / 8 > Length || !IEReaderPixelsAllowed(w, h)) return C.Abort();
    const int64_t n = *samples;
    std::vector<uint8_t> out8(wide ? 0 : static_cast<size_t>(n));
    std::vector<uint16_t> out16(wide ? static_cast<size_t>(n) : 0);
    TProgressRec progress = C.Progress;
    if (!IEDecodeLosslessJPEG(S, wide ? out16.data() : nullptr, wide ? nullptr : out8.data(), &progress, Length, w, h,
                              C.SamplesPerPixel)) {
        return C.Abort();
    }
    const TIEPixelFormat format = C.SamplesPerPixel == 3 ? ie24RGB : wide ? ie16g : ie8g;
    if (!Allocate(C, format)) return;
    for (int32_t y = 0; y < h; ++y) {
        void* row = C.Target->GetScanline(y);
        const size_t base = static_cast<size_t>(y) * w * C.SamplesPerPixel;
        if (wide) {
            std::memcpy(row, out16.data() + base, static_cast<size_t>(w) * 2);
        } else if (C.SamplesPerPixel == 1) {
            std::memcpy(row, out8.data() + base, static_cast<size_t>(w));
        } else {
            auto* p = static_cast<uint8_t*>(row);
            for (int32_t x = 0; x < w; ++x) {
                p[3 * x + 2] = out8[base + 3 * static_cast<size_t>(x)];
                p[3 * x + 1] = out8[base + 3 * static_cast<size_t>(x) + 1];
                p[3 * x] = out8[base + 3 * static_cast<size_t>(x) + 2];
            }
        }
    }
    if (C.SamplesPerPixel == 1) {
        if (wide)
            Window16(C, C.Target);
        else
            Window8(C, C.Target);
        Invert(C, C.Target);
    }
}

// JPEG baseline or JPEG 2000 data through their codecs, with parameters of their own.
void ReadThroughCodec(Context& C, cl::TStream* S, bool J2000) {
    TIOParamsVals params(C.Params->GetOwner());
    TProgressRec progress = C.Progress;
    try {
        if (J2000)
            IEReadJ2000Stream(S, C.Target, params, false, progress);
        else
            IEReadJPEGStream(S, nullptr, C.Target, true, -1, true, true, false, false, false, false, progress, params);
    } catch (const std::exception&) {
        C.Abort();
    }
    if (C.Aborting() || C.Target->GetWidth() <= 0) return C.Abort();
    if (C.SamplesPerPixel == 1) {
        Window8(C, C.Target);
        Invert(C, C.Target);
    }
}

enum TCoding { cdNative, cdJPEG, cdLossless, cdJ2000, cdRLE, cdUnknown };

TCoding CodingOf(const std::string& Syntax) {
    if (Syntax.empty() || Syntax == kImplicitLE || Syntax == kExplicitLE || Syntax == kExplicitBE) return cdNative;
    if (Syntax == "1.2.840.10008.1.2.4.50" || Syntax == "1.2.840.10008.1.2.4.51") return cdJPEG;
    if (Syntax == "1.2.840.10008.1.2.4.57" || Syntax == "1.2.840.10008.1.2.4.70") return cdLossless;
    if (Syntax == "1.2.840.10008.1.2.4.90" || Syntax == "1.2.840.10008.1.2.4.91") return cdJ2000;
    if (Syntax == "1.2.840.10008.1.2.5") return cdRLE;
    // Other native syntaxes (deflated data sets are inflated by nobody here) and every
    // encapsulated one that is not decoded (MPEG, JPEG-LS, ...).
    return cdUnknown;
}

// Collects the fragments of the wanted frame of encapsulated pixel data (positioned after the
// first item tag) into Out. False (and the abort flag) on a broken item structure.
bool CollectFrame(Context& C, cl::TStream* S, int32_t Index, cl::TMemoryStream& Out) {
    uint32_t tableLength;
    if (!ReadDWord(S, false, tableLength)) return false;
    const int64_t tableStart = S->GetPosition();
    if (tableLength > static_cast<uint64_t>(C.StreamSize - tableStart)) return false;
    std::vector<uint32_t> offsets;
    const uint32_t entries = std::min<uint32_t>(tableLength / 4, static_cast<uint32_t>(C.Frames));
    for (uint32_t i = 0; i < entries; ++i) {
        uint32_t v;
        if (!ReadDWord(S, false, v)) return false;
        offsets.push_back(v);
    }
    const int64_t firstItem = tableStart + tableLength;
    S->SetPosition(firstItem);

    auto readItem = [&](uint32_t& Length, bool& End) {
        // An item tag and its length; End at the sequence delimiter.
        uint16_t g, e;
        End = false;
        if (!ReadWord(S, false, g) || !ReadWord(S, false, e) || !ReadDWord(S, false, Length)) return false;
        if (g == 0xFFFE && e == 0xE0DD) {
            End = true;
            return true;
        }
        if (g != 0xFFFE || e != 0xE000 || Length > static_cast<uint64_t>(C.StreamSize - S->GetPosition())) return false;
        return true;
    };
    auto append = [&](uint32_t Length) {
        std::vector<uint8_t> buf(std::min<uint32_t>(Length, 1u << 20));
        for (uint32_t done = 0; done < Length;) {
            const uint32_t n = std::min<uint32_t>(Length - done, static_cast<uint32_t>(buf.size()));
            if (!ReadExact(S, buf.data(), n)) return false;
            Out.Write(buf.data(), n);
            done += n;
        }
        return true;
    };

    uint32_t length;
    bool end;
    if (Index < static_cast<int32_t>(offsets.size())) {
        // The frame's fragments: from its offset up to the next frame's (or the end).
        S->SetPosition(firstItem + offsets[static_cast<size_t>(Index)]);
        const int64_t stop = Index + 1 < static_cast<int32_t>(offsets.size())
                                 ? firstItem + offsets[static_cast<size_t>(Index) + 1]
                                 : C.StreamSize;
        while (S->GetPosition() < stop) {
            if (!readItem(length, end)) return false;
            if (end) break;
            if (!append(length)) return false;
        }
        return Out.GetSize() > 0;
    }
    // No offset (or too short a table): one fragment a frame, or all of them for one frame.
    for (int32_t i = 0; i < Index; ++i) {
        if (!readItem(length, end) || end) return false;
        S->Seek(length, cl::soCurrent);
    }
    if (!readItem(length, end) || end || !append(length)) return false;
    if (C.Frames == 1) {
        while (S->GetPosition() < C.StreamSize) {
            if (!readItem(length, end)) return false;
            if (end) break;
            if (!append(length)) return false;
        }
    }
    return true;
}

void ReadPixels(Context& C, int64_t Length) {
    cl::TStream* S = C.Stream;
    int32_t index = std::clamp(C.Params->ImageIndex, 0, std::max(C.Frames - 1, 0));
    C.Params->SetImageIndex(index);
    const int64_t start = S->GetPosition();
    uint16_t g = 0, e = 0;
    const bool haveTag = ReadWord(S, false, g) && ReadWord(S, false, e);
    const TCoding coding = CodingOf(C.TransferSyntax);
    if (haveTag && g == 0xFFFE && e == 0xE000) {
        if (coding == cdNative || coding == cdUnknown) return C.Abort();
        cl::TMemoryStream frame;
        if (!CollectFrame(C, S, index, frame)) return C.Abort();
        frame.SetPosition(0);
        switch (coding) {
            case cdJPEG: return ReadThroughCodec(C, &frame, false);
            case cdJ2000: return ReadThroughCodec(C, &frame, true);
            case cdLossless: return ReadLossless(C, &frame, frame.GetSize());
            case cdRLE: {
                C.StreamSize = frame.GetSize();
                return ReadRLE(C, &frame);
            }
            default: return C.Abort();
        }
    }
    S->SetPosition(start);
    // Data that are not encapsulated: a compressed stream as the value itself (or a bare
    // JPEG/JFIF stream whatever the syntax says), else native samples.
    uint8_t head[4] = {};
    const bool gotHead = ReadExact(S, head, 4);
    S->SetPosition(start);
    const bool bareJPEG = gotHead && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF && head[3] == 0xE0;
    if (coding == cdJPEG || bareJPEG) return ReadThroughCodec(C, S, false);
    if (coding == cdJ2000) return ReadThroughCodec(C, S, true);
    if (coding == cdLossless) return ReadLossless(C, S, Length > 0 ? Length : C.StreamSize - start);
    if (coding != cdNative) return C.Abort();
    if (C.BitsAllocated != 8 && C.BitsAllocated != 16) return C.Abort();
    // The frames before the chosen one must lie in the data; a size past the 64-bit range
    // does not.
    const auto frameBytes = IECheckedMul({C.Columns, C.Rows, C.SamplesPerPixel, C.BytesPerSample});
    const auto skipped = frameBytes ? IECheckedMul(*frameBytes, index) : std::nullopt;
    if (!skipped || *skipped > C.StreamSize - start) return C.Abort();
    if (index > 0) S->Seek(*skipped, cl::soCurrent);
    ReadNative(C, S, Length > 0 ? Length - *skipped : -1);
}

void ApplyHeader(Context& C, int64_t Length) {
    TIOParamsVals& p = *C.Params;
    p.BitsPerSample = C.BitsStored;
    p.SamplesPerPixel = C.SamplesPerPixel;
    p.Width = p.OriginalWidth = C.Columns;
    p.Height = p.OriginalHeight = C.Rows;
    p.SetImageCount(C.Frames);
    if (!C.PreviewOnly) ReadPixels(C, Length);
}

void SetBits(Context& C, int32_t Bits, bool Allocated) {
    if (Allocated) {
        C.BitsAllocated = Bits;
        if (C.BitsStored == 0) C.BitsStored = Bits;
    } else {
        C.BitsStored = Bits;
        if (C.BitsAllocated == 0) C.BitsAllocated = Bits;
    }
    // Bit counts beyond 64 are read as 8 bytes (no reader takes them); no sum overflows.
    C.BytesPerSample = std::max(C.BytesPerSample, static_cast<int32_t>(std::clamp<int64_t>((int64_t{Bits} + 7) / 8, 0, 8)));
}

// The walk over the data set.
void Walk(Context& C) {
    cl::TStream* S = C.Stream;
    int64_t fallback = -1, fallbackLength = -1;
    int32_t depth = 0;  // nesting in sequences of undefined length
    while (S->GetPosition() < C.StreamSize && !C.Aborting()) {
        uint16_t group, element;
        if (!ReadWord(S, false, group) || !ReadWord(S, false, element)) break;
        const bool swap = group != 2 && !C.LittleEndian;
        if (swap) {
            group = Swap16(group);
            element = Swap16(element);
        }
        char vr[3];
        std::memcpy(vr, IEDICOMLookupVR(group, element), 3);
        uint8_t two[2];
        if (!ReadExact(S, two, 2)) break;
        bool long32 = true;
        const bool upper = two[0] >= 'A' && two[0] <= 'Z' && two[1] >= 'A' && two[1] <= 'Z';
        if (std::strcmp(vr, "!!") == 0) {
            S->Seek(-2, cl::soCurrent);
        } else if (group == 2 || upper) {
            const char read[3] = {static_cast<char>(two[0]), static_cast<char>(two[1]), 0};
            if (std::strcmp(vr, "xs") == 0) std::memcpy(vr, read, 3);
            if (LongLengthVR(read)) {
                uint16_t reserved;
                if (!ReadWord(S, false, reserved)) break;
            } else {
                long32 = false;
            }
        } else {
            S->Seek(-2, cl::soCurrent);
        }
        int64_t length;
        if (long32) {
            uint32_t l;
            if (!ReadDWord(S, swap, l)) break;
            length = l == 0xFFFFFFFFu ? -1 : static_cast<int64_t>(l);
        } else {
            uint16_t l;
            if (!ReadWord(S, swap, l)) break;
            length = l;
        }
        const int32_t size = ValueSize(vr);
        const int64_t count = length > 0 ? length / size : 0;

        if (group == 0x7FE0 && element == 0x0010 && depth == 0) {
            uint8_t peek[4] = {};
            const bool got = ReadExact(S, peek, 4);
            S->Seek(got ? -4 : 0, cl::soCurrent);
            const bool bareJPEG = got && peek[0] == 0xFF && peek[1] == 0xD8 && peek[2] == 0xFF && peek[3] == 0xE0;
            if (!bareJPEG) {
                C.Params->DICOMTags()->AddTag(group, element,
                                              static_cast<int32_t>(std::min<int64_t>(length, INT32_MAX)), nullptr,
                                              cl::String(vr, 2));
                ApplyHeader(C, length);
                return;
            }
            fallback = S->GetPosition();
            fallbackLength = length;
        }

        std::unique_ptr<uint8_t[]> data;
        int64_t number = 0;
        bool haveNumber = false;
        if (length > C.StreamSize - S->GetPosition()) {
            C.Abort();  // the value runs past the end of the data
            break;
        }
        if (length > 0) {
            data = std::make_unique<uint8_t[]>(static_cast<size_t>(length) + 1);
            if (!ReadExact(S, data.get(), length)) {
                C.Abort();
                break;
            }
            data[static_cast<size_t>(std::min<int64_t>(size * count, length))] = 0;
            if (count == 1 && (size == 1 || size == 2 || size == 4)) {
                haveNumber = true;
                if (size == 1)
                    number = data[0];
                else if (size == 2)
                    number = swap ? Swap16(IEGetLE16(data.get())) : IEGetLE16(data.get());
                else
                    number = swap ? Swap32(IEGetLE32(data.get())) : IEGetLE32(data.get());
            }
        }
        const std::string text = ValueText(data.get(), static_cast<int32_t>(std::max<int64_t>(length, 0)));
        const uint8_t* raw = data.get();
        const int64_t rawLength = data ? length : 0;
        C.Params->DICOMTags()->AddTag(group, element, static_cast<int32_t>(std::min<int64_t>(length, INT32_MAX)),
                                      std::move(data), cl::String(vr, 2));

        // Sequences of undefined length are walked into; what lies inside them describes other
        // things (icons, references) and does not change the image.
        if (length < 0 && (std::strcmp(vr, "SQ") == 0 || (group == 0x7FE0 && element == 0x0010))) ++depth;
        if (group == 0xFFFE && element == 0xE0DD && depth > 0) --depth;
        if (depth > 0) continue;

        if (group == 2 && element == 0x10) {
            C.TransferSyntax = text;
            if (text == kExplicitBE) C.LittleEndian = false;
        } else if (group == 0x28) {
            const auto num = static_cast<int32_t>(haveNumber ? number : 0);
            switch (element) {
                case 0x0002: C.SamplesPerPixel = num; break;
                case 0x0004: C.Photometric = text; break;
                case 0x0006: C.PlanarConfiguration = num; break;
                case 0x0008: C.Frames = std::max(1, IEStrToIntDef(IETrim(text), 1)); break;
                case 0x0010: C.Rows = num; break;
                case 0x0011: C.Columns = num; break;
                case 0x0100: SetBits(C, num, true); break;
                case 0x0101: SetBits(C, num, false); break;
                case 0x0103: C.PixelRepresentation = num; break;
                case 0x1050: {
                    const double v = DICOMParseDecimal(text, -1);
                    C.WindowCenter = v == 0 ? -1 : v;
                    break;
                }
                case 0x1051: C.WindowWidth = DICOMParseDecimal(text, -1); break;
                case 0x1052: C.RescaleIntercept = DICOMParseDecimal(text, 0); break;
                case 0x1053: C.RescaleSlope = DICOMParseDecimal(text, 1); break;
                case 0x1201:
                case 0x1202:
                case 0x1203: {
                    // 2^bits allocated 16-bit entries; missing ones stay 0.
                    const int k = element - 0x1201;
                    const int32_t bits = std::clamp(C.BitsAllocated, 1, 16);
                    std::vector<uint16_t>& t = C.Palette[k];
                    t.assign(size_t{1} << bits, 0);
                    const int64_t have = std::min<int64_t>(rawLength / 2, static_cast<int64_t>(t.size()));
                    for (int64_t i = 0; i < have; ++i) {
                        const uint16_t v = IEGetLE16(raw + 2 * i);
                        t[static_cast<size_t>(i)] = C.LittleEndian ? v : Swap16(v);
                    }
                    C.HavePalette[k] = true;
                    break;
                }
                default: break;
            }
        }
    }
    if (fallback >= 0 && !C.Aborting()) {
        S->SetPosition(fallback);
        ApplyHeader(C, fallbackLength);
    } else if (fallback < 0) {
        C.Params->SetImageCount(C.Frames);
        C.Params->BitsPerSample = C.BitsStored;
        C.Params->SamplesPerPixel = C.SamplesPerPixel;
        C.Params->Width = C.Params->OriginalWidth = C.Columns;
        C.Params->Height = C.Params->OriginalHeight = C.Rows;
    }
}

}  // namespace

void IEReadDICOMStream(cl::TStream* Stream, TIOParamsVals& Params, TIEBitmap* Bitmap, bool PreviewOnly,
                       TProgressRec& Progress) {
    Context c;
    c.Params = &Params;
    c.Progress = Progress;
    c.PreviewOnly = PreviewOnly;
    std::unique_ptr<TIEBitmap> temporary;
    c.Target = Bitmap;
    if (Bitmap && Bitmap->GetLocation() == ieTBitmap) {
        temporary = std::make_unique<TIEBitmap>();
        c.Target = temporary.get();
    }
    if (!c.Target) c.PreviewOnly = true;
    TIEBufferedReadStream stream(Stream, 8192, IERelativeStreamPositions);
    c.Stream = &stream;
    c.StreamSize = stream.GetSize();
    try {
        // The file starts at the position the reader is given (0 for relative positions).
        const int64_t base = stream.GetPosition();
        char sig[4] = {};
        stream.SetPosition(base + 128);
        if (stream.GetPosition() != base + 128 || stream.Read(sig, 4) != 4 || std::memcmp(sig, "DICM", 4) != 0) {
            stream.SetPosition(base);
            c.NoPreamble = true;
        }
        Walk(c);
        // The pixel data may have been read through a frame of their own.
        if (temporary && temporary->GetWidth() > 0) {
            if (temporary->GetPixelFormat() != ie1g) temporary->SetPixelFormat(ie24RGB);
            Bitmap->Assign(temporary.get());
        }
    } catch (const std::exception&) {
        c.Abort();
    }
    Params.SetImageCount(c.Frames);
}

// ---------------------------------------------------------------------------------------
// The engine's entry

namespace {

void ReadDICOM(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
               TIEReadContext& Context) {
    IEReadDICOMStream(Stream, Params, Bitmap, Context.PreviewOnly, Progress);
    Context.ImageCount = Params.ImageCount;
}

}  // namespace

void IEDICOMRegisterFormat() {
    TIEFormatOps ops;
    ops.Probe = &IEIsDICOMStream;
    ops.Read = &ReadDICOM;
    IESetFormatOps(ioDICOM, ops);
}

}  // namespace ie
