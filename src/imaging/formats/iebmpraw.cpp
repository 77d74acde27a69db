// Headerless pixel data.
#include "imaging/formats/iebmpraw.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "classlib/SysUtils.h"
#include "imaging/formats/iefmtcommon.h"

namespace ie {

namespace {

enum SampleType { stByte, stWord, stFloat };

// One number of text data: decimal (digits) or hexadecimal (digits and A..F). The whole
// run is consumed; integers keep their low bits, floats the value of the first 34 digits.
class TextScanner {
public:
    TextScanner(cl::TStream* S, bool Hex) : FReader(S), FHex(Hex) {}
    // False when the data ends before a number starts.
    bool Next(uint64_t& Value, double& Real) {
        int c;
        do {
            c = Get();
            if (c < 0) return false;
        } while (!Belongs(c));
        Value = 0;
        std::string digits;
        while (c >= 0 && Belongs(c)) {
            Value = Value * (FHex ? 16 : 10) + static_cast<uint64_t>(Digit(c));
            if (digits.size() < 34) digits += static_cast<char>(c);
            c = Get();
        }
        Real = FHex ? static_cast<double>(Value) : std::strtod(digits.c_str(), nullptr);
        return true;
    }

private:
    bool Belongs(int c) const { return (c >= '0' && c <= '9') || (FHex && c >= 'A' && c <= 'F'); }
    static int Digit(int c) { return c <= '9' ? c - '0' : c - 'A' + 10; }
    int Get() { return FReader.Get(); }
    TIEByteReader FReader;
    bool FHex;
};

void StoreSample(uint8_t* Row, int64_t Index, SampleType Type, bool Bits, uint64_t Value, double Real) {
    if (Bits) {
        if (Value & 1)
            Row[Index >> 3] |= static_cast<uint8_t>(0x80 >> (Index & 7));
        else
            Row[Index >> 3] &= static_cast<uint8_t>(~(0x80 >> (Index & 7)));
    } else if (Type == stByte) {
        Row[Index] = static_cast<uint8_t>(Value);
    } else if (Type == stWord) {
        const uint16_t v = static_cast<uint16_t>(Value);
        std::memcpy(Row + 2 * Index, &v, 2);
    } else {
        const float v = static_cast<float>(Real);
        std::memcpy(Row + 4 * Index, &v, 4);
    }
}

bool ReadAll(cl::TStream* S, void* Buffer, int64_t Count) {
    auto* p = static_cast<uint8_t*>(Buffer);
    int64_t done = 0;
    while (done < Count) {
        const int64_t n = S->Read(p + done, Count - done);
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

struct Reporter {
    TProgressRec& Progress;
    int32_t Last = -1;
    void operator()(int32_t Percent) {
        if (Percent == Last) return;
        Last = Percent;
        Progress.Report(Percent);
    }
};

}  // namespace

void IEReadRawBitmapStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (h <= 0 || w <= 0) return;
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    const uint8_t planes = Params.BMPRAWPlanes, order = Params.BMPRAWChannelOrder, data = Params.BMPRAWDataFormat;
    const int32_t align = Params.BMPRAWRowAlign;
    const bool planarFormat = format == ie24RGB || format == ieCMYK || format == ieRGB48;
    if (planes > 1 || order > 1 || data > 2 || align < 8 || Params.BMPRAWHeaderSize < 0 || format == ieNone ||
        format == ieCIELab || format == ie32RGB || !IEIsValidPixelFormat(format) || (planes == 1 && !planarFormat)) {
        Progress.Abort();
        return;
    }
    const SampleType type = format == ie16g || format == ieRGB48 ? stWord : format == ie32f ? stFloat : stByte;
    if (data == 2 && type == stFloat) {
        Progress.Abort();
        throw cl::Exception("Format unsupported");
    }
    const int32_t samples = IEPixelFormat2ChannelCount[format];
    const int32_t bpp = IEPixelFormat2BitCount[format];
    const bool bits = format == ie1g;

    TIEBufferedReadStream in(Stream, 8192, true);
    Reporter report{Progress};
    Progress.Per = 100.0 / h;
    if (in.Seek(Params.BMPRAWHeaderSize, cl::soBeginning) != Params.BMPRAWHeaderSize) {
        Progress.Abort();
        return;
    }
    TextScanner text(&in, data == 2);
    auto number = [&](uint64_t& V, double& R) {
        if (text.Next(V, R)) return true;
        Progress.Abort();
        return false;
    };

    if (planes == 0) {
        const int64_t fileRow = IEBitmapRowLen(w, bpp, align);
        const int64_t rowLen = Bitmap->GetRowLen();
        for (int32_t r = 0; r < h; ++r) {
            auto* row = static_cast<uint8_t*>(Bitmap->GetScanline(r));
            if (data == 0) {
                if (!ReadAll(&in, row, std::min(rowLen, fileRow))) {
                    Progress.Abort();
                    return;
                }
                if (fileRow > rowLen) in.Seek(fileRow - rowLen, cl::soCurrent);
            } else {
                const int64_t n = int64_t{w} * samples;
                for (int64_t i = 0; i < n; ++i) {
                    uint64_t v;
                    double real;
                    if (!number(v, real)) return;
                    StoreSample(row, i, type, bits, v, real);
                }
            }
            report(static_cast<int32_t>(Progress.Per * r));
        }
    } else {
        const int32_t n = samples;  // 3 or 4 planes
        const int32_t sampleBits = type == stWord ? 16 : 8;
        const int64_t planeRow = IEBitmapRowLen(w, sampleBits, align);
        std::vector<uint8_t> buffer(static_cast<size_t>(std::max<int64_t>(planeRow, int64_t{w} * sampleBits / 8)));
        const int32_t step = n == 3 ? 33 : 25;
        for (int32_t k = 0; k < n; ++k) {
            report(k * step);
            for (int32_t r = 0; r < h; ++r) {
                if (data == 0) {
                    if (!ReadAll(&in, buffer.data(), planeRow)) {
                        Progress.Abort();
                        return;
                    }
                } else {
                    for (int32_t j = 0; j < w; ++j) {
                        uint64_t v;
                        double real;
                        if (!number(v, real)) return;
                        StoreSample(buffer.data(), j, type, false, v, real);
                    }
                }
                auto* row = static_cast<uint8_t*>(Bitmap->GetScanline(r));
                const int32_t size = sampleBits / 8;
                for (int32_t j = 0; j < w; ++j)
                    std::memcpy(row + (static_cast<int64_t>(j) * n + k) * size,
                                buffer.data() + static_cast<int64_t>(j) * size, static_cast<size_t>(size));
            }
        }
        report(100);
    }
    // The data held red first: the bitmap keeps blue first.
    if (order == 0 && (format == ie24RGB || format == ieRGB48)) {
        for (int32_t r = 0; r < h; ++r) {
            auto* row = static_cast<uint8_t*>(Bitmap->GetScanline(r));
            if (format == ie24RGB) {
                for (int32_t x = 0; x < w; ++x) std::swap(row[3 * x], row[3 * x + 2]);
            } else {
                auto* words = reinterpret_cast<uint16_t*>(row);
                for (int32_t x = 0; x < w; ++x) std::swap(words[3 * x], words[3 * x + 2]);
            }
        }
    }
}

namespace {

void ReadBMPRAW(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                TIEReadContext& Context) {
    if (!Context.PreviewOnly) IEReadRawBitmapStream(Stream, Bitmap, Params, Progress);
    Context.ImageCount = 1;
}

}  // namespace

void IEBMPRAWRegisterFormat() {
    TIEFormatOps ops;
    ops.Read = &ReadBMPRAW;
    IESetFormatOps(ioBMPRAW, ops);
}

}  // namespace ie
