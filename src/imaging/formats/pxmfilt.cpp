// Portable anymap files.
#include "imaging/formats/pxmfilt.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "imaging/core/hyieutils_budget.h"
#include "imaging/core/hyieutils_checked.h"
#include "imaging/core/vovozidproc_helpers.h"
#include "imaging/formats/iefmtcommon.h"

namespace ie {

namespace {

bool IsWord(int c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The next token: letters and digits, or "#" and the comment's trimmed text; "" at the end.
std::string NextToken(TIEByteReader& R) {
    int c;
    do {
        c = R.Get();
        if (c < 0) return {};
    } while (!IsWord(c) && c != '#');
    std::string t;
    if (c == '#') {
        // A comment runs to the end of the line; its text is kept up to 4 KB.
        while ((c = R.Get()) >= 0 && c != '\r' && c != '\n')
            if (t.size() < 4096) t += static_cast<char>(c);
        size_t a = 0, b = t.size();
        while (a < b && static_cast<unsigned char>(t[a]) <= ' ') ++a;
        while (b > a && static_cast<unsigned char>(t[b - 1]) <= ' ') --b;
        return "#" + t.substr(a, b - a);
    }
    // Longer runs than any number are read to their end but not kept.
    while (c >= 0 && IsWord(c)) {
        if (t.size() < 64) t += static_cast<char>(c);
        c = R.Get();
    }
    return t;
}

// The token as a non-negative integer; -1 when it is not one (or does not fit 32 bits).
int64_t TokenInt(const std::string& T) {
    if (T.empty() || T.size() > 10) return -1;
    int64_t v = 0;
    for (char c : T) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v <= INT_MAX ? v : -1;
}

struct Header {
    std::string Magic;
    int64_t Width = -1, Height = -1, MaxVal = -1;
};

bool ReadHeader(TIEByteReader& R, Header& H, cl::TStringList* Comments, int TokenLimit) {
    int field = 0;
    for (int n = 0; n < TokenLimit; ++n) {
        const std::string t = NextToken(R);
        if (t.empty()) return false;
        if (t[0] == '#') {
            if (Comments) Comments->Add(t.substr(1));
            continue;
        }
        if (field == 0) {
            H.Magic = t;
            if (t.size() != 2 || t[0] != 'P' || t[1] < '1' || t[1] > '6') return false;
            if (t[1] == '1' || t[1] == '4') H.MaxVal = 1;
        } else if (field == 1) {
            H.Width = TokenInt(t);
        } else if (field == 2) {
            H.Height = TokenInt(t);
            if (H.MaxVal == 1) return true;
        } else {
            H.MaxVal = TokenInt(t);
            return true;
        }
        ++field;
    }
    return false;
}

// value x Scale / MaxVal with value limited to MaxVal.
inline uint32_t Scale(int64_t V, int64_t MaxVal, uint32_t Full) {
    if (V < 0) V = 0;
    if (V > MaxVal) V = MaxVal;
    return static_cast<uint32_t>(V * Full / MaxVal);
}

}  // namespace

bool IEIsPXMStream(cl::TStream* Stream) {
    const int64_t p = Stream->GetPosition();
    bool ok = false;
    {
        TIEByteReader r(Stream);
        Header h;
        // The probe reads at most 501 tokens; the maxval is not examined.
        int field = 0;
        for (int n = 0; n < 501; ++n) {
            const std::string t = NextToken(r);
            if (t.empty()) break;
            if (t[0] == '#') continue;
            if (field == 0) {
                if (t.size() != 2 || t[0] != 'P' || t[1] < '1' || t[1] > '6') break;
            } else if (field == 1) {
                h.Width = TokenInt(t);
            } else if (field == 2) {
                h.Height = TokenInt(t);
                ok = h.Width > 0 && h.Height > 0;
                break;
            }
            ++field;
        }
    }
    Stream->Seek(p, cl::soBeginning);
    return ok;
}

void IEReadPXMStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool PreviewOnly,
                     TProgressRec& Progress) {
    TIEByteReader r(Stream);
    cl::TStringList* comments = Params.PXMComments();
    if (comments) comments->Clear();
    Header h;
    if (!ReadHeader(r, h, comments, 100000) || h.Width <= 0 || h.Height <= 0 || h.MaxVal < 1 || h.MaxVal > 65535) {
        r.Sync();
        Progress.Abort();
        return;
    }
    const int32_t w = static_cast<int32_t>(h.Width), ht = static_cast<int32_t>(h.Height);
    const char kind = h.Magic[1];
    const bool wide = h.MaxVal > 255;
    Params.FreeColorMap();
    Params.Width = Params.OriginalWidth = w;
    Params.Height = Params.OriginalHeight = ht;
    Params.SetDpiX(IEDefaultDpiX);
    Params.SetDpiY(IEDefaultDpiY);
    Progress.Per = 100.0 / ht;
    Progress.Val = 0;
    const int32_t samples = kind == '3' || kind == '6' ? 3 : 1;
    Params.BitsPerSample = kind == '1' || kind == '4' ? 1 : (kind == '5' || kind == '6') && wide ? 16 : 8;
    Params.SamplesPerPixel = samples;
    if (PreviewOnly) {
        r.Sync();
        return;
    }

    // The data must be able to fill the picture before it is allocated: binary rows
    // exactly, text at least one byte per sample.
    // Sizes past the 64-bit range are as short of data as any other.
    std::optional<int64_t> need;
    switch (kind) {
        case '1': need = IECheckedMul(w, ht); break;
        case '4': need = IECheckedImageBytes(w, ht, 1); break;
        case '2':
        case '3': need = IECheckedMul({w, ht, samples}); break;
        default: need = IECheckedMul({w, ht, samples, wide ? 2 : 1}); break;
    }
    if (!need || *need > r.Left() || !IEReaderPixelsAllowed(w, ht)) {
        r.Sync();
        Progress.Abort();
        return;
    }

    TIEPixelFormat format = ie24RGB;
    if (kind == '1' || kind == '4')
        format = ie1g;
    else if (kind == '5' && wide && Params.NativePixelFormat)
        format = ie16g;
    else if (kind == '6' && wide && Params.NativePixelFormat)
        format = ieRGB48;
    if (!Bitmap->Allocate(w, ht, format)) {
        r.Sync();
        Progress.Abort();
        return;
    }

    const int64_t maxval = h.MaxVal;
    const int64_t rowBytes = kind == '4' ? (int64_t{w} + 7) / 8 : int64_t{w} * samples * (wide ? 2 : 1);
    std::vector<uint8_t> raw(static_cast<size_t>(rowBytes));
    auto readRaw = [&]() {
        for (int64_t i = 0; i < rowBytes; ++i) {
            const int c = r.Get();
            if (c < 0) return false;
            raw[static_cast<size_t>(i)] = static_cast<uint8_t>(c);
        }
        return true;
    };
    auto textValue = [&](int64_t& V) {
        for (;;) {
            const std::string t = NextToken(r);
            if (t.empty()) return false;
            if (t[0] == '#') continue;  // comments between the samples
            V = std::max<int64_t>(TokenInt(t), 0);
            return true;
        }
    };

    for (int32_t y = 0; y < ht && !Progress.IsAborting(); ++y) {
        auto* row = static_cast<uint8_t*>(Bitmap->GetScanline(y));
        bool ok = true;
        switch (kind) {
            case '1': {
                std::memset(row, 0, static_cast<size_t>((int64_t{w} + 7) / 8));
                for (int32_t x = 0; x < w && ok;) {
                    const int c = r.Get();
                    if (c < 0)
                        ok = false;
                    else if (c == '0' || c == '1') {
                        if (c == '0') row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
                        ++x;
                    }
                }
                break;
            }
            case '4':
                ok = readRaw();
                if (ok)
                    for (int64_t i = 0; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(~raw[static_cast<size_t>(i)]);
                break;
            case '2':
            case '3':
                for (int32_t x = 0; x < w && ok; ++x) {
                    int64_t v[3] = {0, 0, 0};
                    for (int s = 0; s < samples && ok; ++s) ok = textValue(v[s]);
                    if (!ok) break;
                    const uint8_t red = static_cast<uint8_t>(Scale(v[0], maxval, 255));
                    row[3 * x + 2] = red;
                    row[3 * x + 1] = samples == 3 ? static_cast<uint8_t>(Scale(v[1], maxval, 255)) : red;
                    row[3 * x] = samples == 3 ? static_cast<uint8_t>(Scale(v[2], maxval, 255)) : red;
                }
                break;
            default: {
                ok = readRaw();
                if (!ok) break;
                const int32_t n = w * samples;
                auto sample = [&](int32_t i) -> int64_t {
                    return wide ? (raw[static_cast<size_t>(2 * i)] << 8) | raw[static_cast<size_t>(2 * i + 1)]
                                : raw[static_cast<size_t>(i)];
                };
                if (format == ie16g || format == ieRGB48) {
                    auto* out = reinterpret_cast<uint16_t*>(row);
                    for (int32_t i = 0; i < n; ++i) out[i] = static_cast<uint16_t>(Scale(sample(i), maxval, 65535));
                } else {
                    for (int32_t x = 0; x < w; ++x) {
                        const uint8_t red = static_cast<uint8_t>(Scale(sample(x * samples), maxval, 255));
                        row[3 * x + 2] = red;
                        row[3 * x + 1] =
                            samples == 3 ? static_cast<uint8_t>(Scale(sample(x * 3 + 1), maxval, 255)) : red;
                        row[3 * x] = samples == 3 ? static_cast<uint8_t>(Scale(sample(x * 3 + 2), maxval, 255)) : red;
                    }
                }
                break;
            }
        }
        if (!ok) {
            Progress.Abort();
            break;
        }
        ++Progress.Val;
        Progress.ReportRows(Progress.Val);
    }
    r.Sync();
}

void IEWritePXMStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (w <= 0 || h <= 0) {
        Progress.Abort();
        return;
    }
    Progress.Per = 100.0 / h;
    Progress.Val = 0;
    std::string comments;
    if (cl::TStringList* list = Params.PXMComments())
        for (int i = 0; i < list->GetCount(); ++i) comments += "\n# " + list->Strings(i) + "\n";
    const std::string size = std::to_string(w) + " " + std::to_string(h);
    const TIEPixelFormat f = Bitmap->GetPixelFormat();

    enum { Bits, Grey, Rgb16, Rgb48, Rgb8 } kind;
    std::string header;
    if ((Params.BitsPerSample == 1 && Params.SamplesPerPixel == 1) || f == ie1g) {
        kind = Bits;
        header = "P4 " + comments + size + "\n";
    } else if (Params.BitsPerSample == 8 && Params.SamplesPerPixel == 1) {
        kind = Grey;
        header = "P5 " + comments + size + " 255\n";
    } else if (Params.BitsPerSample == 16 && Params.SamplesPerPixel == 3 && f == ie24RGB) {
        kind = Rgb16;
        header = "P6 " + comments + size + " 65535\n";
    } else if (f == ieRGB48) {
        kind = Rgb48;
        header = "P6 " + comments + size + " 65535\n";
    } else {
        // 8-bit colour, and every other combination: colour through 24 bits.
        kind = Rgb8;
        header = "P6 " + comments + size + " 255\n";
    }
    std::unique_ptr<TIEBitmap> holder;
    TIEBitmap* src = kind == Bits    ? IEBlackAndWhiteCopy(Bitmap, holder)
                     : kind == Rgb48 ? Bitmap
                                     : IEWorkingCopy(Bitmap, ie24RGB, holder);
    if (!src) {
        Progress.Abort();
        return;
    }
    IEWriteChecked(Stream, Progress, header.data(), static_cast<int64_t>(header.size()));
    const int64_t rowBytes = kind == Bits   ? (w + 7) / 8
                             : kind == Grey ? w
                             : kind == Rgb8 ? int64_t{w} * 3
                                            : int64_t{w} * 6;
    std::vector<uint8_t> out(static_cast<size_t>(rowBytes));
    for (int32_t y = 0; y < h && !Progress.IsAborting(); ++y) {
        const auto* row = static_cast<const uint8_t*>(src->GetScanline(y));
        switch (kind) {
            case Bits:
                for (int64_t i = 0; i < rowBytes; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(~row[i]);
                break;
            case Grey:
                for (int32_t x = 0; x < w; ++x)
                    out[static_cast<size_t>(x)] =
                        static_cast<uint8_t>(IERGBToGray(reinterpret_cast<const TRGB*>(row)[x]));
                break;
            case Rgb16:
                for (int32_t x = 0; x < w; ++x)
                    for (int c = 0; c < 3; ++c) {
                        const uint32_t v = row[3 * x + 2 - c] * 257u;
                        out[static_cast<size_t>(6 * x + 2 * c)] = static_cast<uint8_t>(v >> 8);
                        out[static_cast<size_t>(6 * x + 2 * c + 1)] = static_cast<uint8_t>(v);
                    }
                break;
            case Rgb48: {
                const auto* s = reinterpret_cast<const uint16_t*>(row);
                for (int32_t i = 0; i < w * 3; ++i) {
                    out[static_cast<size_t>(2 * i)] = static_cast<uint8_t>(s[i] >> 8);
                    out[static_cast<size_t>(2 * i + 1)] = static_cast<uint8_t>(s[i]);
                }
                break;
            }
            case Rgb8:
                for (int32_t x = 0; x < w; ++x) {
                    out[static_cast<size_t>(3 * x)] = row[3 * x + 2];
                    out[static_cast<size_t>(3 * x + 1)] = row[3 * x + 1];
                    out[static_cast<size_t>(3 * x + 2)] = row[3 * x];
                }
                break;
        }
        IEWriteChecked(Stream, Progress, out.data(), rowBytes);
        ++Progress.Val;
        Progress.ReportRows(Progress.Val);
    }
}

namespace {

void ReadPXM(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
             TIEReadContext& Context) {
    IEReadPXMStream(Stream, Bitmap, Params, Context.PreviewOnly, Progress);
    Context.ImageCount = 1;
}

void WritePXM(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, TIEWriteContext&) {
    IEWritePXMStream(Stream, Bitmap, Params, Progress);
}

}  // namespace

void IEPXMRegisterFormat() {
    TIEFormatOps ops;
    ops.Probe = &IEIsPXMStream;
    ops.Read = &ReadPXM;
    ops.Write = &WritePXM;
    IESetFormatOps(ioPXM, ops);
}

}  // namespace ie
