// Encoding the image data of a PNG picture: each store row converted to PNG samples,
// filtered by the picture's row filters, deflated, and cut into IDAT chunks.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "png/pngpicture.h"
#include "png/pngpicture_rows.h"

namespace png {

namespace {

void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// How often an output repeats one of the two bytes before it (the filter choice's score).
int Score(const std::vector<uint8_t>& out, int64_t n) {
    int score = 0;
    for (int64_t j = 2; j < n; ++j)
        if (out[static_cast<size_t>(j)] == out[static_cast<size_t>(j - 1)] ||
            out[static_cast<size_t>(j)] == out[static_cast<size_t>(j - 2)])
            ++score;
    return score;
}

class Encoder {
public:
    Encoder(TPNGObject* owner, TChunkIHDR* header, cl::TStream* stream)
        : FOwner(owner), FHeader(header), FStream(stream), FFilters(owner->GetRowFilters()) {
        FOwner->RowGeometry(FRowBytes, FPixelBytes);
        const size_t n = static_cast<size_t>(FRowBytes);
        FCur.assign(n, 0);
        FPrev.assign(n, 0);
        for (int f = prfSub; f <= prfPaeth; ++f)
            if (FFilters & RowFilterBit(static_cast<TPNGRowFilter>(f))) FOut[f].assign(n, 0);
        FOutput.resize(owner->GetIdatSizeLimit());
        FOk = deflateInit(&FZ, std::min<int>(owner->GetDeflateLevel(), 9)) == Z_OK;
        FDeflating = FOk;
    }
    ~Encoder() {
        if (FDeflating) deflateEnd(&FZ);
    }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    bool Run() {
        if (!FOk) return false;
        StartOutput();
        if (FOwner->GetInterlacing() == 0)
            EncodeSequential();
        else if (FOwner->GetInterlacing() == 1)
            EncodeAdam7();
        else
            return true;
        if (FOk) FinishDeflate();
        return FOk;
    }

private:
    void StartOutput() {
        FZ.next_out = FOutput.data();
        FZ.avail_out = static_cast<uInt>(FOutput.size());
    }

    void WriteIDATChunk(const uint8_t* buffer, size_t count) {
        uint8_t head[8];
        Put32(head, static_cast<uint32_t>(count));
        std::memcpy(head + 4, "IDAT", 4);
        FStream->WriteBuffer(head, 8);
        FStream->WriteBuffer(buffer, static_cast<int64_t>(count));
        uint8_t crc[4];
        Put32(crc, PNGChunkCrc(head + 4, buffer, count));
        FStream->WriteBuffer(crc, 4);
    }

    // Feeds bytes to deflate, writing a chunk whenever the output buffer is full; a
    // deflate error ends the encoding.
    void DeflateRow(const uint8_t* buffer, size_t count) {
        FZ.next_in = const_cast<Bytef*>(buffer);
        FZ.avail_in = static_cast<uInt>(count);
        while (FZ.avail_in > 0) {
            const int r = deflate(&FZ, Z_NO_FLUSH);
            if (r < 0 && r != Z_BUF_ERROR) {
                FOk = false;
                return;
            }
            if (FZ.avail_out == 0) {
                WriteIDATChunk(FOutput.data(), FOutput.size());
                StartOutput();
            }
        }
    }

    void FinishDeflate() {
        for (;;) {
            const int r = deflate(&FZ, Z_FINISH);
            if (r < 0 && r != Z_BUF_ERROR) {
                FOk = false;
                return;
            }
            const size_t filled = FOutput.size() - FZ.avail_out;
            if (r == Z_STREAM_END) {
                if (filled) WriteIDATChunk(FOutput.data(), filled);
                return;
            }
            if (filled) WriteIDATChunk(FOutput.data(), filled);
            StartOutput();
        }
    }

    // Filters the current row every allowed way and picks the filter to write.
    int ChooseRowFilter(int64_t n) {
        const int64_t d = FPixelBytes;
        auto at = [](const std::vector<uint8_t>& v, int64_t i) -> int {
            return i >= 0 ? v[static_cast<size_t>(i)] : 0;
        };
        for (int64_t i = 0; i < n; ++i) {
            const size_t k = static_cast<size_t>(i);
            if (!FOut[prfSub].empty()) FOut[prfSub][k] = static_cast<uint8_t>(FCur[k] - at(FCur, i - d));
            if (!FOut[prfUp].empty()) FOut[prfUp][k] = static_cast<uint8_t>(FCur[k] - FPrev[k]);
            if (!FOut[prfAverage].empty())
                FOut[prfAverage][k] = static_cast<uint8_t>(FCur[k] - (at(FCur, i - d) + FPrev[k]) / 2);
            if (!FOut[prfPaeth].empty())
                FOut[prfPaeth][k] =
                    static_cast<uint8_t>(FCur[k] - PNGPaeth(static_cast<uint8_t>(at(FCur, i - d)), FPrev[k],
                                                            static_cast<uint8_t>(at(FPrev, i - d))));
        }
        std::copy(FCur.begin(), FCur.begin() + n, FPrev.begin());
        if (FFilters == 0 || FFilters == RowFilterBit(prfNone)) return prfNone;
        int choice = prfNone, best = 0;
        for (int k = prfNone; k <= prfPaeth; ++k) {
            if (!(FFilters & (1u << k))) continue;
            if (FFilters == (1u << k)) return k;
            const int score = Score(k == prfNone ? FPrev : FOut[k], n);
            if (score > best) {
                best = score;
                choice = k;
            }
        }
        return choice;
    }

    void EmitRow(int64_t n) {
        const int filter = ChooseRowFilter(n);
        const auto type = static_cast<uint8_t>(filter);
        DeflateRow(&type, 1);
        if (!FOk) return;
        const std::vector<uint8_t>& out = filter == prfNone ? FPrev : FOut[filter];
        DeflateRow(out.data(), static_cast<size_t>(n));
    }

    void EncodeSequential() {
        for (uint32_t y = 0; y < FHeader->Height && FOk; ++y) {
            LoadRow(*FOwner, FCur.data(), static_cast<int>(y), 0, 1, FHeader->Width);
            EmitRow(FRowBytes);
        }
    }

    void EncodeAdam7() {
        for (const Adam7Pass& p : kAdam7) {
            if (!FOk) return;
            const int64_t passWidth = (int64_t{FHeader->Width} - p.firstColumn + p.columnStep - 1) / p.columnStep;
            std::fill(FPrev.begin(), FPrev.end(), 0);
            if (passWidth <= 0) continue;
            const int64_t n = PNGRowBytes(passWidth, FHeader->ColorType, FHeader->BitDepth);
            if (n <= 0) continue;
            for (int64_t y = p.firstRow; y < FHeader->Height && FOk; y += p.rowStep) {
                LoadRow(*FOwner, FCur.data(), static_cast<int>(y), p.firstColumn, p.columnStep,
                        static_cast<uint32_t>(passWidth));
                EmitRow(n);
            }
        }
    }

    TPNGObject* FOwner;
    TChunkIHDR* FHeader;
    cl::TStream* FStream;
    TPNGRowFilters FFilters;
    int64_t FRowBytes = 0;
    int FPixelBytes = 0;
    std::vector<uint8_t> FCur, FPrev;
    std::vector<uint8_t> FOut[5];
    std::vector<uint8_t> FOutput;
    z_stream FZ{};
    bool FOk = false;
    bool FDeflating = false;
};

}  // namespace

bool TChunkIDAT::WriteTo(cl::TStream* stream) {
    TChunkIHDR* header = HeaderChunk();
    if (!header->GetImageData()) return false;
    if (header->BitDepth == 2) header->BitDepth = 4;  // the store holds 4 bits per pixel
    Encoder encoder(GetOwner(), header, stream);
    return encoder.Run();
}

}  // namespace png
