// The LZW coder of GIF image data.
//
// The decoder gathers the whole code stream first, so that its bit reader works on one
// contiguous buffer; the encoder finds strings through an open-addressing hash of 5,003
// entries and writes its codes in packets of 254 bytes.
#include "imaging/formats/giflzw.h"

#include <array>
#include <memory>
#include <vector>

namespace ie {

namespace {

constexpr int32_t kMaxCodes = 4096;  // codes of at most 12 bits
constexpr int32_t kMaxBits = 12;

// ---------------------------------------------------------------------------------------
// Decoding

// Puts decoded indexes in place: rows from the top, or the four passes of an interlaced
// picture (rows 0, 8, 16, ...; 4, 12, ...; 2, 6, 10, ...; 1, 3, 5, ...).
class TIndexWriter {
public:
    TIndexWriter(uint8_t* Buffer, int32_t Width, int32_t Height, bool Interlaced)
        : FBuffer(Buffer), FWidth(Width), FHeight(Height), FInterlaced(Interlaced),
          FLeft(static_cast<int64_t>(Width) * Height) {}

    // False once every pixel has its index: data beyond the picture is not used.
    bool Put(uint8_t Index) {
        FBuffer[static_cast<size_t>(FY) * FWidth + FX] = Index;
        if (--FLeft == 0) return false;
        if (++FX == FWidth) NextRow();
        return true;
    }
    bool Done() const { return FLeft == 0; }

private:
    void NextRow() {
        FX = 0;
        if (!FInterlaced) {
            ++FY;
            return;
        }
        FY += FStep;
        while (FY >= FHeight) {
            if (FPass > 0) FStep /= 2;
            ++FPass;
            FY = FStep / 2;
        }
    }

    uint8_t* FBuffer;
    int32_t FWidth, FHeight;
    bool FInterlaced;
    int64_t FLeft;
    int32_t FX = 0, FY = 0, FPass = 0, FStep = 8;
};

// Codes of Width bits, least significant bit first. Bits past the end of the data read
// as 0.
class TCodeReader {
public:
    explicit TCodeReader(const std::vector<uint8_t>& Data)
        : FData(Data), FTotalBits(static_cast<int64_t>(Data.size()) * 8) {}

    int32_t Read(int32_t Width) {
        while (FHeld < Width) {
            const uint32_t b = FNext < FData.size() ? FData[FNext] : 0;
            ++FNext;
            FAcc |= b << FHeld;
            FHeld += 8;
        }
        const auto code = static_cast<int32_t>(FAcc & ((1u << Width) - 1));
        FAcc >>= Width;
        FHeld -= Width;
        FUsedBits += Width;
        return code;
    }
    bool AllConsumed() const { return FUsedBits >= FTotalBits; }
    // The data bytes that codes have reached so far.
    int64_t BytesConsumed() const { return (FUsedBits + 7) / 8; }
    int64_t Size() const { return static_cast<int64_t>(FData.size()); }

private:
    const std::vector<uint8_t>& FData;
    int64_t FTotalBits;
    size_t FNext = 0;
    uint32_t FAcc = 0;
    int32_t FHeld = 0;
    int64_t FUsedBits = 0;
};

// Decodes the gathered code stream; False when the stream must be refused (the caller
// restores the position).
bool DecodeCodes(const std::vector<uint8_t>& Data, int32_t MinCodeSize, TIndexWriter& Out) {
    std::array<uint16_t, kMaxCodes> prefix{};
    std::array<uint8_t, kMaxCodes> suffix{};
    std::array<uint8_t, kMaxCodes + 1> stack{};
    const int32_t clear = 1 << MinCodeSize;
    const int32_t end = clear + 1;
    int32_t width = MinCodeSize + 1;
    int32_t slot = end + 1;
    int32_t top = 1 << width;
    int32_t previous = -1;  // none yet
    TCodeReader codes(Data);

    // The string of Code onto the stack (last character first); its first character.
    int32_t sp = 0;
    auto pushString = [&](int32_t Code) -> int32_t {
        while (Code >= clear) {
            stack[static_cast<size_t>(sp++)] = suffix[static_cast<size_t>(Code)];
            Code = prefix[static_cast<size_t>(Code)];
        }
        stack[static_cast<size_t>(sp++)] = static_cast<uint8_t>(Code);
        return Code;
    };
    auto rootOf = [&](int32_t Code) {
        while (Code >= clear) Code = prefix[static_cast<size_t>(Code)];
        return Code;
    };
    // A new table entry; the code width grows when the next free code needs another bit.
    // Once the table is full (4,096 codes) nothing more is added: a stream may go on with
    // the full table until its next clear code.
    auto addEntry = [&](int32_t Root) {
        if (previous < 0 || slot >= kMaxCodes) return;
        suffix[static_cast<size_t>(slot)] = static_cast<uint8_t>(Root);
        prefix[static_cast<size_t>(slot)] = static_cast<uint16_t>(previous);
        ++slot;
        if (slot >= top && width < kMaxBits) {
            top *= 2;
            ++width;
        }
    };
    // False when the picture is complete.
    auto flush = [&]() {
        while (sp > 0)
            if (!Out.Put(stack[static_cast<size_t>(--sp)])) return false;
        return true;
    };

    int32_t code = codes.Read(width);
    while (code != end) {
        if (code == clear) {
            width = MinCodeSize + 1;
            slot = end + 1;
            top = 1 << width;
            do {
                if (codes.AllConsumed()) return true;
                code = codes.Read(width);
            } while (code == clear);
            // An end code right after a clear code with data still to come is refused.
            if (code == end) return codes.BytesConsumed() >= codes.Size();
            if (code >= slot) code = 0;
            previous = code;
            if (!Out.Put(static_cast<uint8_t>(code))) return true;
        } else if (code < slot) {
            const int32_t root = pushString(code);
            addEntry(root);
            previous = code;
            if (!flush()) return true;
        } else if (code == slot && previous >= 0) {
            addEntry(rootOf(previous));
            if (code >= slot) return false;  // the table could take no entry
            pushString(code);
            previous = code;
            if (!flush()) return true;
        } else {
            return false;
        }
        if (codes.AllConsumed()) return true;
        code = codes.Read(width);
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Encoding

constexpr int32_t kHashSize = 5003;  // a prime above 4,096 x 1.2
constexpr int32_t kHashShift = 4;    // 8 minus the doublings that take 5,003 past 65,535
constexpr int32_t kPacketSize = 254;

class TLZWEncoder {
public:
    TLZWEncoder(cl::TStream* Stream, int32_t CodeSize) : FStream(Stream), FInitBits(CodeSize + 1) {
        FBits = FInitBits;
        FMaxCode = (1 << FBits) - 1;
        FClear = 1 << CodeSize;
        FEnd = FClear + 1;
        FFree = FClear + 2;
        FHash.fill(-1);
        FOut.reserve(kFlushSize + 512);
    }

    void ClearHash() { FHash.fill(-1); }

    // Adds Code to the bit accumulator, moves whole bytes into the packet, and widens (or
    // after a clear resets) the code width for the codes that follow.
    void Output(int32_t Code) {
        FAcc |= static_cast<uint32_t>(Code) << FHeld;
        FHeld += FBits;
        while (FHeld >= 8) {
            AddByte(static_cast<uint8_t>(FAcc));
            FAcc >>= 8;
            FHeld -= 8;
        }
        if (FFree > FMaxCode || FClearFlag) {
            if (FClearFlag) {
                FBits = FInitBits;
                FMaxCode = (1 << FBits) - 1;
                FClearFlag = false;
            } else {
                ++FBits;
                FMaxCode = FBits == kMaxBits ? kMaxCodes : (1 << FBits) - 1;
            }
        }
    }

    // The last bits, the last packet and the zero-length block.
    void Finish() {
        while (FHeld > 0) {
            AddByte(static_cast<uint8_t>(FAcc));
            FAcc >>= 8;
            FHeld = FHeld > 8 ? FHeld - 8 : 0;
        }
        FlushPacket();
        FOut.push_back(0);
        WriteOut();
    }

    void Encode(int32_t First, auto&& NextPixel) {
        int32_t ent = First;
        ClearHash();
        Output(FClear);
        int32_t k;
        while (NextPixel(k)) {
            const int32_t key = (k << kMaxBits) + ent;
            int32_t i = (k << kHashShift) ^ ent;
            if (FHash[static_cast<size_t>(i)] == key) {
                ent = FCodes[static_cast<size_t>(i)];
                continue;
            }
            bool found = false;
            if (FHash[static_cast<size_t>(i)] >= 0) {
                const int32_t d = i == 0 ? 1 : kHashSize - i;
                do {
                    i -= d;
                    if (i < 0) i += kHashSize;
                    if (FHash[static_cast<size_t>(i)] == key) {
                        ent = FCodes[static_cast<size_t>(i)];
                        found = true;
                        break;
                    }
                } while (FHash[static_cast<size_t>(i)] > 0);
            }
            if (found) continue;
            Output(ent);
            if (FFree < kMaxCodes) {
                FCodes[static_cast<size_t>(i)] = static_cast<uint16_t>(FFree++);
                FHash[static_cast<size_t>(i)] = key;
            } else {
                ClearHash();
                FFree = FClear + 2;
                FClearFlag = true;
                Output(FClear);
            }
            ent = k;
        }
        Output(ent);
        Output(FEnd);
        Finish();
    }

private:
    static constexpr size_t kFlushSize = 65536;

    void AddByte(uint8_t B) {
        FPacket[static_cast<size_t>(FPacketLen++)] = B;
        if (FPacketLen >= kPacketSize) FlushPacket();
    }
    void FlushPacket() {
        if (FPacketLen == 0) return;
        FOut.push_back(static_cast<uint8_t>(FPacketLen));
        FOut.insert(FOut.end(), FPacket.begin(), FPacket.begin() + FPacketLen);
        FPacketLen = 0;
        if (FOut.size() >= kFlushSize) WriteOut();
    }
    void WriteOut() {
        if (!FOut.empty()) FStream->Write(FOut.data(), static_cast<int64_t>(FOut.size()));
        FOut.clear();
    }

    cl::TStream* FStream;
    int32_t FInitBits, FBits, FMaxCode, FClear, FEnd, FFree;
    bool FClearFlag = false;
    uint32_t FAcc = 0;
    int32_t FHeld = 0;
    std::array<int32_t, kHashSize> FHash{};
    std::array<uint16_t, kHashSize> FCodes{};
    std::array<uint8_t, kPacketSize> FPacket{};
    int32_t FPacketLen = 0;
    std::vector<uint8_t> FOut;
};

// Reads the pixels in file order: rows from the top, or the interlaced passes (a pass
// whose first row lies outside the picture is skipped).
class TPixelReader {
public:
    TPixelReader(const uint8_t* Buffer, int32_t Width, int32_t Height, bool Interlaced, uint8_t Mask)
        : FBuffer(Buffer), FWidth(Width), FHeight(Height), FInterlaced(Interlaced), FMask(Mask),
          FLeft(static_cast<int64_t>(Width) * Height) {}

    bool Next(int32_t& Pixel) {
        if (FLeft == 0) return false;
        --FLeft;
        Pixel = FBuffer[static_cast<size_t>(FY) * FWidth + FX] & FMask;
        if (++FX == FWidth && FLeft > 0) NextRow();
        return true;
    }

private:
    void NextRow() {
        static constexpr int32_t kStart[4] = {0, 4, 2, 1};
        static constexpr int32_t kStep[4] = {8, 8, 4, 2};
        FX = 0;
        if (!FInterlaced) {
            ++FY;
            return;
        }
        FY += kStep[FPass];
        while (FY >= FHeight && FPass < 3) {
            ++FPass;
            FY = kStart[FPass];
        }
    }

    const uint8_t* FBuffer;
    int32_t FWidth, FHeight;
    bool FInterlaced;
    uint8_t FMask;
    int64_t FLeft;
    int32_t FX = 0, FY = 0, FPass = 0;
};

}  // namespace

void IEGIFLZWDecompress(cl::TStream* Stream, int32_t Height, int32_t Width, uint8_t* Buffer, bool Interlaced) {
    if (!Stream || !Buffer || Height < 1 || Width < 1) return;
    const int64_t start = Stream->GetPosition();
    uint8_t minCodeSize = 0;
    if (Stream->Read(&minCodeSize, 1) != 1 || minCodeSize < 2 || minCodeSize > 9) {
        Stream->Seek(start, cl::soBeginning);
        return;
    }
    // The sub-blocks up to the zero-length block (or the end of the stream).
    std::vector<uint8_t> data;
    for (;;) {
        uint8_t length = 0;
        if (Stream->Read(&length, 1) != 1 || length == 0) break;
        const size_t old = data.size();
        data.resize(old + length);
        int64_t got = 0;
        while (got < length) {
            const int64_t n = Stream->Read(data.data() + old + got, length - got);
            if (n <= 0) break;
            got += n;
        }
        data.resize(old + static_cast<size_t>(got));
        if (got < length) break;
    }
    if (data.empty()) return;
    TIndexWriter out(Buffer, Width, Height, Interlaced);
    if (!DecodeCodes(data, minCodeSize, out)) Stream->Seek(start, cl::soBeginning);
}

void IEGIFLZWCompress(cl::TStream* Stream, int32_t Height, int32_t Width, int32_t Bits, const uint8_t* Buffer,
                      bool Interlaced) {
    if (!Stream) return;
    const int32_t codeSize = Bits <= 1 ? 2 : Bits > 8 ? 8 : Bits;
    const uint8_t size = static_cast<uint8_t>(codeSize);
    Stream->Write(&size, 1);
    auto encoder = std::make_unique<TLZWEncoder>(Stream, codeSize);
    if (!Buffer || Width < 1 || Height < 1) {
        // No pixels: a clear code and the end code.
        encoder->Output(1 << codeSize);
        encoder->Output((1 << codeSize) + 1);
        encoder->Finish();
        return;
    }
    TPixelReader pixels(Buffer, Width, Height, Interlaced, static_cast<uint8_t>((1 << codeSize) - 1));
    int32_t first = 0;
    pixels.Next(first);
    encoder->Encode(first, [&](int32_t& K) { return pixels.Next(K); });
}

}  // namespace ie
