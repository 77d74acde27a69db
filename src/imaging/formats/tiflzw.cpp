// The TIFF LZW coder. The decoder keeps its strings as (prefix code, last byte, length)
// entries and spells a string backwards into the output, so that decoding allocates
// nothing per code; the bytes a code yields beyond the row wait for the next row. The
// encoder is a hashing coder of the classic Unix compress kind.
#include "imaging/formats/tiflzw.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace ie {

namespace {

constexpr int32_t kClear = 256;
constexpr int32_t kEnd = 257;
constexpr int32_t kFirstFree = 258;
constexpr int32_t kTableSize = 4096;  // codes 0 .. 4095 (12 bits)

struct TLZWEntry {
    int16_t Prefix = -1;  // the string without its last byte; -1 for the single bytes
    uint8_t First = 0;    // the string's first byte
    uint8_t Last = 0;     // its last byte
    int32_t Length = 0;
};

struct TLZWDecoder {
    const uint8_t* Data = nullptr;
    int64_t DataBits = 0;
    int64_t BitPos = 0;
    int32_t FillOrder = 1;
    int32_t RowLength = 0;
    std::vector<uint8_t> Buffer;  // the decoded bytes; Held of them are valid
    int32_t Held = 0;
    int32_t Width = 9;
    int32_t NextFree = kFirstFree;
    int32_t Previous = -1;
    bool TableFull = false;
    std::array<TLZWEntry, kTableSize> Table;

    TLZWDecoder() {
        for (int32_t i = 0; i < 256; ++i) Table[i] = {-1, uint8_t(i), uint8_t(i), 1};
    }

    uint8_t ByteAt(int64_t i) const {
        const uint8_t b = Data[i];
        if (FillOrder != 2) return b;
        uint8_t r = 0;
        for (int32_t k = 0; k < 8; ++k) r = uint8_t(r | (((b >> k) & 1) << (7 - k)));
        return r;
    }

    // The next code, or the end code when no whole code is left: the reads never pass the
    // strip's last byte.
    int32_t ReadCode() {
        if (BitPos + Width > DataBits) {
            BitPos = DataBits;
            return kEnd;
        }
        const int64_t byte = BitPos >> 3;
        uint32_t window = 0;
        for (int32_t k = 0; k < 3; ++k) {
            window <<= 8;
            if ((byte + k) * 8 < DataBits) window |= ByteAt(byte + k);
        }
        window <<= 8;
        window <<= (BitPos & 7);
        BitPos += Width;
        return int32_t(window >> (32 - Width));
    }

    void Reserve(int32_t More) {
        const size_t need = size_t(Held) + size_t(More);
        if (need > Buffer.size()) Buffer.resize((need + 1023) / 1024 * 1024);
    }

    void Append(int32_t Code) {
        const int32_t len = Table[Code].Length;
        Reserve(len);
        uint8_t* p = Buffer.data() + Held + len;
        for (int32_t c = Code; c >= 0; c = Table[c].Prefix) *--p = Table[c].Last;
        Held += len;
    }

    // Adds Prefix's string followed by Byte; false when the table is full.
    bool Add(int32_t Prefix, uint8_t Byte) {
        if (NextFree >= kTableSize) {
            TableFull = true;
            return false;
        }
        Table[NextFree] = {int16_t(Prefix), Table[Prefix].First, Byte, Table[Prefix].Length + 1};
        ++NextFree;
        if (NextFree == 511)
            Width = 10;
        else if (NextFree == 1023)
            Width = 11;
        else if (NextFree == 2047)
            Width = 12;
        return true;
    }

    uint8_t* Row() {
        // The bytes beyond the previous row move to the front.
        if (Held > RowLength) {
            std::memmove(Buffer.data(), Buffer.data() + RowLength, size_t(Held - RowLength));
            Held -= RowLength;
        } else {
            Held = 0;
        }
        while (Held < RowLength) {
            int32_t c = ReadCode();
            if (c == kClear) {
                // The strings above 257 are gone; so is the code before the Clear.
                Previous = -1;
                NextFree = kFirstFree;
                Width = 9;
                TableFull = false;
                int32_t d = ReadCode();
                while (d == kClear) d = ReadCode();  // repeated Clear codes
                if (d == kEnd) break;
                if (d >= NextFree) {
                    TableFull = true;
                    return nullptr;
                }
                Append(d);
                Previous = d;
                continue;
            }
            if (c == kEnd) break;
            if (Previous < 0 || Previous >= NextFree) Previous = c;
            if (c >= NextFree) {
                if (c != NextFree) break;
                // The special case: the previous string followed by its own first byte.
                if (Previous >= NextFree || !Add(Previous, Table[Previous].First)) return nullptr;
                Append(c);
            } else {
                Append(c);
                if (!Add(Previous, Table[c].First)) return nullptr;
            }
            Previous = c;
        }
        if (Held < RowLength) {
            // The data ended inside the row: the rest of it is zero.
            Reserve(RowLength - Held);
            std::memset(Buffer.data() + Held, 0, size_t(RowLength - Held));
            Held = RowLength;
        }
        return Buffer.data();
    }
};

constexpr int32_t kHashSize = 5003;
constexpr int32_t kHashShift = 4;
constexpr int32_t kOutBufferSize = 254;

struct TLZWEncoder {
    cl::TStream* Stream = nullptr;
    std::array<uint8_t, kOutBufferSize> Out{};
    int32_t OutCount = 0;
    uint32_t Acc = 0;
    int32_t AccBits = 0;
    int32_t Width = 9;
    int32_t MaxCode = 511;
    int32_t NextFree = kFirstFree;
    bool ClearPending = false;
    int32_t Ent = -1;
    std::array<int32_t, kHashSize> Keys;
    std::array<int16_t, kHashSize> Codes{};

    void ClearHash() { Keys.fill(-1); }

    void Flush() {
        if (OutCount > 0) Stream->WriteBuffer(Out.data(), OutCount);
        OutCount = 0;
    }

    void PutByte(uint8_t B) {
        Out[size_t(OutCount++)] = B;
        if (OutCount == kOutBufferSize) Flush();
    }

    void Put(int32_t Code) {
        Acc |= uint32_t(Code) << (32 - AccBits - Width);
        AccBits += Width;
        while (AccBits >= 8) {
            PutByte(uint8_t(Acc >> 24));
            Acc <<= 8;
            AccBits -= 8;
        }
        if (ClearPending) {
            Width = 9;
            MaxCode = 511;
            ClearPending = false;
        } else if (NextFree > MaxCode - 1 && Width < 12) {
            ++Width;
            MaxCode = (1 << Width) - 1;
        }
        if (Code == kEnd) {
            if (AccBits > 0) PutByte(uint8_t(Acc >> 24));
            Acc = 0;
            AccBits = 0;
            Flush();
        }
    }

    void Encode(const uint8_t* Data, int32_t Count) {
        int32_t i = 0;
        if (Ent < 0 && Count > 0) Ent = Data[i++];
        for (; i < Count; ++i) {
            const int32_t c = Data[i];
            const int32_t key = (c << 12) + Ent;
            int32_t index = (c << kHashShift) ^ Ent;
            bool found = false;
            if (Keys[size_t(index)] == key) {
                found = true;
            } else if (Keys[size_t(index)] >= 0) {
                const int32_t step = index == 0 ? 1 : kHashSize - index;
                do {
                    index -= step;
                    if (index < 0) index += kHashSize;
                    if (Keys[size_t(index)] == key) {
                        found = true;
                        break;
                    }
                } while (Keys[size_t(index)] >= 0);
            }
            if (found) {
                Ent = Codes[size_t(index)];
                continue;
            }
            Put(Ent);
            Ent = c;
            if (NextFree > 4093) {
                ClearHash();
                NextFree = kFirstFree;
                ClearPending = true;
                Put(kClear);
            } else {
                Keys[size_t(index)] = key;
                Codes[size_t(index)] = int16_t(NextFree++);
            }
        }
    }
};

}  // namespace

uint8_t* IETIFFLZWDecompress(uint8_t* Data, int32_t DataBytes, int32_t RowLength, void*& State, int32_t FillOrder) {
    if (Data == nullptr) {
        delete static_cast<TLZWDecoder*>(State);
        State = nullptr;
        return nullptr;
    }
    if (State == nullptr) {
        if (RowLength <= 0 || DataBytes < 0) return nullptr;
        auto d = std::make_unique<TLZWDecoder>();
        d->Data = Data;
        d->DataBits = int64_t(DataBytes) * 8;
        d->FillOrder = FillOrder;
        d->RowLength = RowLength;
        d->Buffer.resize(size_t(RowLength) + 1);
        State = d.release();
    }
    return static_cast<TLZWDecoder*>(State)->Row();
}

void IETIFFLZWCompress(const uint8_t* Data, int32_t Count, cl::TStream* Stream, void*& State) {
    if (Data == nullptr) {
        std::unique_ptr<TLZWEncoder> e(static_cast<TLZWEncoder*>(State));
        State = nullptr;
        if (!e) return;
        if (e->Ent >= 0) e->Put(e->Ent);
        e->Put(kEnd);
        return;
    }
    if (State == nullptr) {
        auto e = std::make_unique<TLZWEncoder>();
        e->Stream = Stream;
        e->ClearHash();
        State = e.release();
        static_cast<TLZWEncoder*>(State)->Put(kClear);
    }
    static_cast<TLZWEncoder*>(State)->Encode(Data, std::max(Count, 0));
}

}  // namespace ie
