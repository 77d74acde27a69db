// Decoding the image data of a PNG picture: the zlib stream through every IDAT chunk,
// the row filters, Adam7 interlacing, and each row's conversion into the header's store.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "png/pngpicture.h"
#include "png/pngpicture_rows.h"

namespace png {

namespace {

constexpr uint32_t kInputBufferSize = 65535;

uint32_t Get32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// The texts of zlib's results from -6 to 2.
const char* ZlibResultText(int result) {
    static const char* const texts[] = {"incompatible version (-6)",
                                        "buffer error (-5)",
                                        "insufficient memory (-4)",
                                        "data error (-3)",
                                        "stream error (-2)",
                                        "file error (-1)",
                                        "(0)",
                                        "stream end (1)",
                                        "need dictionary (2)"};
    if (result < -6 || result > 2) return "";
    return texts[result + 6];
}

[[noreturn]] void RaiseZlib(int result) {
    RaisePNGError<EPNGZLIBError>(String(EPNGZLIBErrorText) + "\r\n Description: " + ZlibResultText(result));
}

[[noreturn]] void RaiseUnexpectedEnd() { RaisePNGError<EPngUnexpectedEnd>(EPngUnexpectedEndText); }

bool ReadExact(cl::TStream* stream, void* buffer, int64_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const int64_t n = stream->Read(p + done, count - done);
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

// The state of one decoding: the inflate record with its input, the running CRC of the
// IDAT chunk being read, and the two row buffers.
class Decoder {
public:
    Decoder(TPNGObject* owner, TChunkIHDR* header, cl::TStream* stream, const TChunkName& name, uint32_t length)
        : FOwner(owner), FHeader(header), FStream(stream), FInput(kInputBufferSize) {
        FCrc = PNGCrcUpdate(0xFFFFFFFFu, name.data(), 4);
        const int r = inflateInit(&FZ);
        if (r != Z_OK) RaiseZlib(r);
        FInflating = true;
        FChunkEnd = stream->GetPosition() + length;
        FWidth = header->Width;
        FHeight = header->Height;
    }
    ~Decoder() {
        if (FInflating) inflateEnd(&FZ);
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    void Run() {
        int64_t rowBytes = 0;
        FOwner->RowGeometry(rowBytes, FPixelBytes);
        const int64_t passMax = rowBytes + 1;
        FRows[0].assign(static_cast<size_t>(passMax), 0);
        FRows[1].assign(static_cast<size_t>(passMax), 0);
        FCurrent = 1;
        if (FOwner->GetInterlacing() == 0)
            DecodeSequential(rowBytes);
        else if (FOwner->GetInterlacing() == 1)
            DecodeAdam7();
    }

    // The rest of the current chunk's data joins the CRC (the last rows may have ended
    // before it), then the chunk's CRC is read and compared.
    bool Finish() {
        while (FStream->GetPosition() < FChunkEnd) {
            const int64_t n = std::min<int64_t>(FChunkEnd - FStream->GetPosition(), kInputBufferSize);
            if (!ReadExact(FStream, FInput.data(), n)) RaiseUnexpectedEnd();
            FCrc = PNGCrcUpdate(FCrc, FInput.data(), static_cast<size_t>(n));
        }
        uint8_t crc[4];
        if (!ReadExact(FStream, crc, 4)) RaiseUnexpectedEnd();
        if (Get32(crc) != ~FCrc) RaisePNGError<EPngInvalidCRC>(EPngInvalidCRCText);
        return true;
    }

private:
    // Count inflated bytes into buffer; fewer when the stream gives out.
    int64_t ReadInflated(uint8_t* buffer, int64_t count) {
        FZ.next_out = buffer;
        FZ.avail_out = static_cast<uInt>(count);
        while (FZ.avail_out > 0) {
            while (FZ.avail_in == 0 && FStream->GetPosition() >= FChunkEnd) NextChunk();
            if (FZ.avail_in == 0) {
                const int64_t n = std::min<int64_t>(FChunkEnd - FStream->GetPosition(), kInputBufferSize);
                const int64_t got = FStream->Read(FInput.data(), n);
                if (got <= 0) return count - FZ.avail_out;
                FCrc = PNGCrcUpdate(FCrc, FInput.data(), static_cast<size_t>(got));
                FZ.next_in = FInput.data();
                FZ.avail_in = static_cast<uInt>(got);
            }
            const int r = inflate(&FZ, Z_NO_FLUSH);
            if (r < 0 || r == Z_NEED_DICT) RaiseZlib(r);
            // The compressed stream ended before the picture was filled.
            if (r == Z_STREAM_END && FZ.avail_out > 0)
                RaisePNGError<EPNGMissingMultipleIDAT>(EPNGMissingMultipleIDATText);
        }
        return count;
    }

    // The data of the current IDAT chunk is used up: its CRC, then the next chunk, which
    // must be an IDAT chunk as well.
    void NextChunk() {
        uint8_t crc[4];
        if (!ReadExact(FStream, crc, 4)) RaiseUnexpectedEnd();
        if (Get32(crc) != ~FCrc) RaisePNGError<EPngInvalidCRC>(EPngInvalidCRCText);
        uint8_t head[8];
        if (!ReadExact(FStream, head, 8)) RaiseUnexpectedEnd();
        if (std::memcmp(head + 4, "IDAT", 4) != 0) RaisePNGError<EPNGMissingMultipleIDAT>(EPNGMissingMultipleIDATText);
        const uint32_t length = Get32(head);
        if (length > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) ||
            int64_t{length} + 4 > FStream->GetSize() - FStream->GetPosition())
            RaiseUnexpectedEnd();
        FCrc = PNGCrcUpdate(0xFFFFFFFFu, head + 4, 4);
        FChunkEnd = FStream->GetPosition() + length;
    }

    void UnfilterRow(int64_t rowBytes) {
        uint8_t* cur = FRows[FCurrent].data();
        const uint8_t* prev = FRows[1 - FCurrent].data();
        const int64_t d = FPixelBytes;
        switch (cur[0]) {
            case 1:
                for (int64_t x = d + 1; x <= rowBytes; ++x) cur[x] = static_cast<uint8_t>(cur[x] + cur[x - d]);
                break;
            case 2:
                for (int64_t x = 1; x <= rowBytes; ++x) cur[x] = static_cast<uint8_t>(cur[x] + prev[x]);
                break;
            case 3:
                for (int64_t x = 1; x <= rowBytes; ++x) {
                    const int left = x - d >= 1 ? cur[x - d] : 0;
                    cur[x] = static_cast<uint8_t>(cur[x] + (left + prev[x]) / 2);
                }
                break;
            case 4:
                for (int64_t x = 1; x <= rowBytes; ++x) {
                    const uint8_t left = x - d >= 1 ? cur[x - d] : 0;
                    const uint8_t upperLeft = x - d >= 1 ? prev[x - d] : 0;
                    cur[x] = static_cast<uint8_t>(cur[x] + PNGPaeth(left, prev[x], upperLeft));
                }
                break;
            default: break;  // None, and unknown filter types, leave the row as it is
        }
    }

    void DecodeSequential(int64_t rowBytes) {
        for (uint32_t y = 0; y < FHeight; ++y) {
            if (ReadInflated(FRows[FCurrent].data(), rowBytes + 1) == 0) break;
            UnfilterRow(rowBytes);
            StoreRow(*FOwner, FRows[FCurrent].data() + 1, static_cast<int>(y), 0, 1, FWidth);
            FCurrent = 1 - FCurrent;
        }
    }

    void DecodeAdam7() {
        for (const Adam7Pass& p : kAdam7) {
            const int64_t passWidth = (int64_t{FWidth} - p.firstColumn + p.columnStep - 1) / p.columnStep;
            std::fill(FRows[1 - FCurrent].begin(), FRows[1 - FCurrent].end(), 0);
            if (passWidth <= 0) continue;
            const int64_t rowBytes = PNGRowBytes(passWidth, FHeader->ColorType, FHeader->BitDepth);
            if (rowBytes <= 0) continue;
            for (int64_t y = p.firstRow; y < FHeight; y += p.rowStep) {
                if (ReadInflated(FRows[FCurrent].data(), rowBytes + 1) == 0) break;
                UnfilterRow(rowBytes);
                StoreRow(*FOwner, FRows[FCurrent].data() + 1, static_cast<int>(y), p.firstColumn, p.columnStep,
                         static_cast<uint32_t>(passWidth));
                FCurrent = 1 - FCurrent;
            }
        }
    }

    TPNGObject* FOwner;
    TChunkIHDR* FHeader;
    cl::TStream* FStream;
    z_stream FZ{};
    bool FInflating = false;
    std::vector<uint8_t> FInput;
    uint32_t FCrc = 0;
    int64_t FChunkEnd = 0;
    uint32_t FWidth = 0, FHeight = 0;
    int FPixelBytes = 0;
    std::vector<uint8_t> FRows[2];
    int FCurrent = 1;
};

// The grey colour table of grey pictures: N levels of the store's bits, through the gamma table.
void BuildGreyPalette(TPNGObject& owner, TChunkIHDR& header) {
    if (header.ColorType != 0 && header.ColorType != 4) return;
    const int bits = header.GetBitsPerPixel();
    const int n = 1 << bits;
    for (int i = 0; i < n; ++i) {
        const uint8_t v = owner.GammaTable[static_cast<size_t>((i * 255 + (n - 1) / 2) / (n - 1))];
        header.GetColorTable()[i] = win::RGBQUAD{v, v, v, 0};
    }
}

}  // namespace

bool TChunkIDAT::ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) {
    TChunkIHDR* header = HeaderChunk();
    if (length > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) ||
        int64_t{length} + 4 > stream->GetSize() - stream->GetPosition())
        RaiseUnexpectedEnd();
    if (header->GetHasPalette()) BuildGreyPalette(*GetOwner(), *header);
    Decoder decoder(GetOwner(), header, stream, name, length);
    decoder.Run();
    return decoder.Finish();
}

}  // namespace png
