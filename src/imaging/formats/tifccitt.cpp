// The fax coder. Each colour has 128 codes: 0 .. 63 the terminating runs, 64 .. 103 the
// make-up runs (64 .. 1728 and the extended 1792 .. 2560), 104 the EOL, 105 .. 107 three
// codes that are skipped, 108 .. 127 the EOL after 1 to 20 extra zero bits. The decoders
// walk a binary tree per colour built from these codes.
#include "imaging/formats/tifccitt.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace ie {

namespace {

const char* const kWhiteTerm[64] = {
    "00110101", "000111",   "0111",     "1000",     "1011",     "1100",     "1110",     "1111",
    "10011",    "10100",    "00111",    "01000",    "001000",   "000011",   "110100",   "110101",
    "101010",   "101011",   "0100111",  "0001100",  "0001000",  "0010111",  "0000011",  "0000100",
    "0101000",  "0101011",  "0010011",  "0100100",  "0011000",  "00000010", "00000011", "00011010",
    "00011011", "00010010", "00010011", "00010100", "00010101", "00010110", "00010111", "00101000",
    "00101001", "00101010", "00101011", "00101100", "00101101", "00000100", "00000101", "00001010",
    "00001011", "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000",
    "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011", "00110100"};
const char* const kWhiteMakeUp[27] = {"11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",
                                      "01100100",  "01100101",  "01101000",  "01100111",  "011001100", "011001101",
                                      "011010010", "011010011", "011010100", "011010101", "011010110", "011010111",
                                      "011011000", "011011001", "011011010", "011011011", "010011000", "010011001",
                                      "010011010", "011000",    "010011011"};
const char* const kBlackTerm[64] = {
    "0000110111",   "010",          "11",           "10",           "011",          "0011",         "0010",
    "00011",        "000101",       "000100",       "0000100",      "0000101",      "0000111",      "00000100",
    "00000111",     "000011000",    "0000010111",   "0000011000",   "0000001000",   "00001100111",  "00001101000",
    "00001101100",  "00000110111",  "00000101000",  "00000010111",  "00000011000",  "000011001010", "000011001011",
    "000011001100", "000011001101", "000001101000", "000001101001", "000001101010", "000001101011", "000011010010",
    "000011010011", "000011010100", "000011010101", "000011010110", "000011010111", "000001101100", "000001101101",
    "000011011010", "000011011011", "000001010100", "000001010101", "000001010110", "000001010111", "000001100100",
    "000001100101", "000001010010", "000001010011", "000000100100", "000000110111", "000000111000", "000000100111",
    "000000101000", "000001011000", "000001011001", "000000101011", "000000101100", "000001011010", "000001100110",
    "000001100111"};
const char* const kBlackMakeUp[27] = {
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",  "000000110100",
    "000000110101",  "0000001101100", "0000001101101", "0000001001010", "0000001001011", "0000001001100",
    "0000001001101", "0000001110010", "0000001110011", "0000001110100", "0000001110101", "0000001110110",
    "0000001110111", "0000001010010", "0000001010011", "0000001010100", "0000001010101", "0000001011010",
    "0000001011011", "0000001100100", "0000001100101"};
const char* const kExtMakeUp[13] = {"00000001000",  "00000001100",  "00000001101",  "000000010010", "000000010011",
                                    "000000010100", "000000010101", "000000010110", "000000010111", "000000011100",
                                    "000000011101", "000000011110", "000000011111"};

constexpr int32_t kRunEOL = -3;
constexpr int32_t kRunSkip = -1;
constexpr uint8_t kInner = 128;

struct TCode {
    int32_t Length = 0;
    uint32_t Bits = 0;
    int32_t Run = 0;
};

struct TNode {
    int16_t Child[2] = {-1, -1};
    uint8_t Value = kInner;  // the entry number at a leaf
};

struct TCoder {
    std::array<std::array<TCode, 128>, 2> Codes;  // [0] white, [1] black
    std::array<std::vector<TNode>, 2> Trees;
};

TCode FromString(const std::string& S, int32_t Run) {
    TCode c;
    c.Length = int32_t(S.size());
    for (char ch : S) c.Bits = (c.Bits << 1) | uint32_t(ch == '1');
    c.Run = Run;
    return c;
}

std::unique_ptr<TCoder> BuildCoder() {
    auto built = std::make_unique<TCoder>();
    TCoder& coder = *built;
    for (int32_t colour = 0; colour < 2; ++colour) {
        auto& t = coder.Codes[size_t(colour)];
        const char* const* term = colour ? kBlackTerm : kWhiteTerm;
        const char* const* makeUp = colour ? kBlackMakeUp : kWhiteMakeUp;
        for (int32_t i = 0; i < 64; ++i) t[size_t(i)] = FromString(term[i], i);
        for (int32_t i = 0; i < 27; ++i) t[size_t(64 + i)] = FromString(makeUp[i], 64 * (i + 1));
        for (int32_t i = 0; i < 13; ++i) t[size_t(91 + i)] = FromString(kExtMakeUp[i], 1792 + 64 * i);
        t[104] = FromString("000000000001", kRunEOL);
        t[105] = FromString("000000001", kRunSkip);
        t[106] = FromString("0000000001", kRunSkip);
        t[107] = FromString("00000000001", kRunSkip);
        for (int32_t i = 1; i <= 20; ++i)
            t[size_t(107 + i)] = FromString(std::string(size_t(11 + i), '0') + "1", kRunEOL);
        auto& tree = coder.Trees[size_t(colour)];
        tree.assign(1, TNode{});
        for (int32_t e = 0; e < 128; ++e) {
            size_t node = 0;
            for (int32_t b = t[size_t(e)].Length - 1; b >= 0; --b) {
                const int32_t bit = int32_t((t[size_t(e)].Bits >> b) & 1);
                if (tree[node].Child[bit] < 0) {
                    tree[node].Child[bit] = int16_t(tree.size());
                    tree.push_back(TNode{});
                }
                node = size_t(tree[node].Child[bit]);
            }
            tree[node].Value = uint8_t(e);
        }
    }
    return built;
}

// The tables and trees, from the unit's start hook (or the first coder that needs them) to
// its final hook. Readers take the pointer without a lock; building and freeing hold it.
std::atomic<TCoder*> gCoder{nullptr};
std::mutex gCoderLock;

const TCoder& Coder() {
    if (const TCoder* c = gCoder.load(std::memory_order_acquire)) return *c;
    std::lock_guard<std::mutex> guard(gCoderLock);
    if (!gCoder.load(std::memory_order_relaxed)) gCoder.store(BuildCoder().release(), std::memory_order_release);
    return *gCoder.load(std::memory_order_relaxed);
}

uint8_t Reverse(uint8_t B) {
    uint8_t r = 0;
    for (int32_t k = 0; k < 8; ++k) r = uint8_t(r | (((B >> k) & 1) << (7 - k)));
    return r;
}

// The compressed bits: a 32-bit window at a bit position, zero past the end.
struct TBits {
    const uint8_t* Data;
    int64_t Bytes;
    int32_t FillOrder;
    int64_t Bits() const { return Bytes * 8; }
    uint32_t Window(int64_t Pos) const {
        uint32_t w = 0;
        const int64_t byte = Pos >> 3;
        for (int32_t k = 0; k < 5; ++k) {
            uint8_t b = 0;
            if (byte + k >= 0 && byte + k < Bytes) b = FillOrder == 2 ? Reverse(Data[byte + k]) : Data[byte + k];
            if (k < 4)
                w = (w << 8) | b;
            else if ((Pos & 7) != 0)
                return (w << (Pos & 7)) | uint32_t(b >> (8 - (Pos & 7)));
        }
        return w;
    }
    int32_t Bit(int64_t Pos) const { return int32_t(Window(Pos) >> 31); }
};

// Decoded rows: 1 white, 0 black.
void PaintBlack(uint8_t* Row, int32_t From, int32_t To) {
    for (int32_t x = std::max(From, 0); x < To; ++x) Row[x >> 3] = uint8_t(Row[x >> 3] & ~(0x80 >> (x & 7)));
}

// The entry of the code at Pos for a colour, or -1 when no code ends within 32 bits.
int32_t DecodeEntry(const TBits& In, int64_t Pos, int32_t Colour, int32_t& Length) {
    if (Pos >= In.Bits()) {
        Length = Coder().Codes[size_t(Colour)][127].Length;
        return 127;
    }
    const auto& tree = Coder().Trees[size_t(Colour)];
    const uint32_t w = In.Window(Pos);
    size_t node = 0;
    for (int32_t i = 0; i < 32; ++i) {
        const int16_t next = tree[node].Child[(w >> (31 - i)) & 1];
        if (next < 0) return -1;
        node = size_t(next);
        if (tree[node].Value != kInner) {
            Length = i + 1;
            return tree[node].Value;
        }
    }
    return -1;
}

// A run of one colour: make-up codes ended by a terminating code. -1 when the data gives
// an EOL or no code instead (Pos then stands before it).
int32_t DecodeRun(const TBits& In, int64_t& Pos, int32_t Colour) {
    int32_t total = 0;
    for (;;) {
        int32_t len = 0;
        const int32_t e = DecodeEntry(In, Pos, Colour, len);
        if (e < 0) return -1;
        const int32_t run = Coder().Codes[size_t(Colour)][size_t(e)].Run;
        if (run == kRunEOL) return -1;
        Pos += len;
        if (run == kRunSkip) continue;
        total = std::min(total + run, 1 << 24);
        if (e < 64) return total;
        if (Pos >= In.Bits()) return total;
    }
}

bool RefWhite(const uint8_t* Ref, int32_t X) { return X < 0 || ((Ref[X >> 3] >> (7 - (X & 7))) & 1) != 0; }

// b1: the first changing element of the reference row after A0 whose colour is not
// White; b2 the next changing element after it.
void FindB(const uint8_t* Ref, int32_t Width, int32_t A0, bool White, int32_t& B1, int32_t& B2) {
    int32_t p = std::max(A0 + 1, 0);
    while (p < Width && !(RefWhite(Ref, p) != White && RefWhite(Ref, p - 1) == White)) ++p;
    B1 = p;
    if (p < Width) ++p;
    while (p < Width && RefWhite(Ref, p) != White) ++p;
    B2 = p;
}

}  // namespace

void TifCcittStaticInit() { (void)Coder(); }

void TifCcittStaticFinal() {
    std::lock_guard<std::mutex> guard(gCoderLock);
    delete gCoder.exchange(nullptr, std::memory_order_acq_rel);
}

bool TifCcittTreesBuilt() { return gCoder.load(std::memory_order_acquire) != nullptr; }

int64_t IECCITTDecode1DRow(uint8_t* Row, const uint8_t* Data, int64_t DataBytes, int32_t FillOrder, int64_t BitPosition,
                           int32_t Width) {
    if (Width <= 0) return BitPosition;
    std::memset(Row, 0xFF, size_t((Width + 7) / 8));
    const TBits in{Data, std::max<int64_t>(DataBytes, 0), FillOrder};
    int64_t pos = BitPosition, start = BitPosition;
    int32_t x = 0, colour = 0;
    bool makeUp = false;
    while (x < Width || makeUp) {
        int32_t len = 0;
        const int32_t e = DecodeEntry(in, pos, colour, len);
        if (e < 0) {
            // No code: a bit of noise is skipped.
            ++pos;
            ++start;
            continue;
        }
        const int32_t run = Coder().Codes[size_t(colour)][size_t(e)].Run;
        if (run == kRunEOL) {
            if (pos == start && pos < in.Bits()) {
                pos += len;
                continue;
            }
            // An EOL inside the row ends it and stays for the next row to see.
            if (colour == 1) PaintBlack(Row, x, Width);
            break;
        }
        pos += len;
        if (run == kRunSkip) continue;
        const int32_t end = int32_t(std::min<int64_t>(int64_t(x) + run, Width));
        if (colour == 1) PaintBlack(Row, x, end);
        x = end;
        makeUp = e >= 64;
        if (!makeUp) colour ^= 1;
        if (makeUp && pos >= in.Bits()) break;
    }
    return pos;
}

int64_t IECCITTDecodeMHRow(uint8_t* Row, const uint8_t* Data, int64_t DataBytes, int32_t FillOrder, int32_t Width) {
    const int64_t bits = IECCITTDecode1DRow(Row, Data, DataBytes, FillOrder, 0, Width);
    return std::min((bits + 7) / 8, std::max<int64_t>(DataBytes, 0));
}

int64_t IECCITTDecode2DRow(uint8_t* Row, const uint8_t* Data, int64_t DataBytes, bool EOLMode, int32_t FillOrder,
                           int64_t BitPosition, uint8_t* ReferenceRow, int32_t Width) {
    if (Width <= 0) return BitPosition;
    const size_t rowBytes = size_t((Width + 7) / 8);
    std::memset(Row, 0xFF, rowBytes);
    const TBits in{Data, std::max<int64_t>(DataBytes, 0), FillOrder};
    int64_t pos = BitPosition;
    const int64_t start = BitPosition;
    int32_t a0 = -1;
    bool white = true;
    while (a0 < Width && pos < in.Bits()) {
        const uint32_t w = in.Window(pos);
        auto is = [&](const char* Code) {
            const int32_t n = int32_t(std::strlen(Code));
            uint32_t v = 0;
            for (int32_t i = 0; i < n; ++i) v = (v << 1) | uint32_t(Code[i] == '1');
            return (w >> (32 - n)) == v ? n : 0;
        };
        int32_t n = 0;
        int32_t mode = 0;
        static const char* const kModes[13] = {
            "000000000000", "0001",   "001",     "0000010",    "000010",       "010",         "1",
            "011",          "000011", "0000011", "0000001111", "000000001111", "000000000001"};
        for (int32_t m = 0; m < 13; ++m) {
            if ((n = is(kModes[m])) != 0) {
                mode = m;
                break;
            }
        }
        if (n == 0) {
            mode = 0;
            n = 12;
        }
        if (mode == 0 && EOLMode) {
            // Zero bits up to and including the next 1 make an EOL.
            int64_t p = pos;
            while (p < in.Bits() && in.Bit(p) == 0) ++p;
            n = int32_t(std::min<int64_t>(p + 1 - pos, int64_t(1) << 30));
            mode = 12;
        }
        if (mode == 0) {
            pos += n;
            continue;
        }
        if (mode == 12) {
            if (pos == start) {
                pos += n;
                const int32_t tag = in.Bit(pos);
                ++pos;
                if (tag == 1) {
                    pos = IECCITTDecode1DRow(Row, Data, DataBytes, FillOrder, pos, Width);
                    break;
                }
                continue;
            }
            if (!white) PaintBlack(Row, a0, Width);
            break;
        }
        pos += n;
        int32_t b1 = 0, b2 = 0;
        FindB(ReferenceRow, Width, a0, white, b1, b2);
        if (mode == 1) {
            if (!white) PaintBlack(Row, a0, b2);
            a0 = b2;
        } else if (mode == 2) {
            const int32_t colour = white ? 0 : 1;
            const int32_t r1 = DecodeRun(in, pos, colour);
            const int32_t r2 = r1 < 0 ? -1 : DecodeRun(in, pos, colour ^ 1);
            if (r1 < 0 || r2 < 0) {
                // An EOL or no code inside the horizontal mode: the row ends there.
                if (!white) PaintBlack(Row, a0, Width);
                break;
            }
            const int32_t x = std::max(a0, 0);
            const int32_t a1 = int32_t(std::min<int64_t>(int64_t(x) + r1, Width));
            const int32_t a2 = int32_t(std::min<int64_t>(int64_t(a1) + r2, Width));
            if (white)
                PaintBlack(Row, a1, a2);
            else
                PaintBlack(Row, x, a1);
            a0 = a2;
        } else if (mode >= 3 && mode <= 9) {
            const int32_t a1 = std::min(b1 + (mode - 6), Width);
            if (a1 < 0 || a1 < a0) break;  // corrupt: the row ends here
            if (!white) PaintBlack(Row, a0, a1);
            white = !white;
            a0 = a1;
        } else {
            // Uncompressed mode: count the codes that follow until an exit code.
            bool ended = false;
            while (!ended && pos < in.Bits() && a0 < Width) {
                int32_t count = 1;
                while (count <= 11 && in.Bit(pos + count - 1) == 0) ++count;
                if (count > 11) {
                    ended = true;
                    break;
                }
                pos += count;
                const int32_t x = std::max(a0, 0);
                if (count <= 5) {
                    a0 = std::min(x + count, Width);
                } else if (count == 6) {
                    a0 = std::min(x + 5, Width);
                } else {
                    white = in.Bit(pos) == 1;
                    ++pos;
                    a0 = std::min(x + count - 7, Width);
                    break;
                }
            }
            if (ended) break;
        }
    }
    std::memcpy(ReferenceRow, Row, rowBytes);
    return pos;
}

namespace {

// Encoder output: codes gathered most significant bit first; whole bytes are written.
struct TBitOut {
    std::vector<uint8_t> Bytes;
    int32_t Bits = 0;
    uint8_t Byte = 0;
    int32_t FillOrder = 1;
    void Put(uint32_t Code, int32_t Length) {
        for (int32_t b = Length - 1; b >= 0; --b) {
            Byte = uint8_t(Byte | (((Code >> b) & 1) << (7 - Bits)));
            if (++Bits == 8) {
                Bytes.push_back(FillOrder == 2 ? Reverse(Byte) : Byte);
                Bits = 0;
                Byte = 0;
            }
        }
    }
    void Put(const TCode& C) { Put(C.Bits, C.Length); }
    void Align() {
        if (Bits > 0) Put(0, 8 - Bits);
    }
    void Run(int32_t Colour, int32_t Length) {
        const auto& t = Coder().Codes[size_t(Colour)];
        while (Length > 2560) {
            Put(t[103]);
            Length -= 2560;
        }
        if (Length >= 64) {
            Put(t[size_t(63 + Length / 64)]);
            Length %= 64;
        }
        Put(t[size_t(Length)]);
    }
    void Write(cl::TStream* Stream, bool& Error) {
        if (Bytes.empty()) return;
        if (Stream->Write(Bytes.data(), int64_t(Bytes.size())) != int64_t(Bytes.size())) Error = true;
        Bytes.clear();
    }
};

// Rows given to the encoders: 0 white, 1 black.
bool Black(const uint8_t* Row, int32_t X) { return X >= 0 && ((Row[X >> 3] >> (7 - (X & 7))) & 1) != 0; }

// The first pixel at or after X that is not of colour IsBlack.
int32_t NextChange(const uint8_t* Row, int32_t Width, int32_t X, bool IsBlack) {
    X = std::max(X, 0);
    while (X < Width && Black(Row, X) == IsBlack) ++X;
    return X;
}

void Encode1D(TBitOut& Out, const uint8_t* Row, int32_t Width) {
    int32_t x = 0;
    bool black = false;
    while (x < Width) {
        const int32_t end = NextChange(Row, Width, x, black);
        Out.Run(black ? 1 : 0, end - x);
        x = end;
        black = !black;
    }
    if (Width <= 0) Out.Run(0, 0);
}

void Encode2D(TBitOut& Out, const uint8_t* Row, const uint8_t* Ref, int32_t Width) {
    int32_t a0 = -1;
    bool black = false;
    while (a0 < Width) {
        const int32_t a1 = NextChange(Row, Width, a0 + 1, black);
        // b1: the first changing element of the reference after a0 of the other colour.
        int32_t b1 = std::max(a0 + 1, 0);
        while (b1 < Width && !(Black(Ref, b1) != black && Black(Ref, b1 - 1) == black)) ++b1;
        const int32_t b2 = b1 < Width ? NextChange(Ref, Width, b1 + 1, !black) : Width;
        if (b2 < a1) {
            Out.Put(0x1, 4);  // pass
            a0 = b2;
        } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
            static const uint32_t kV[7][2] = {{0x02, 7}, {0x02, 6}, {0x2, 3}, {0x1, 1}, {0x3, 3}, {0x03, 6}, {0x03, 7}};
            Out.Put(kV[a1 - b1 + 3][0], int32_t(kV[a1 - b1 + 3][1]));
            a0 = a1;
            black = !black;
        } else {
            const int32_t a2 = a1 < Width ? NextChange(Row, Width, a1 + 1, !black) : Width;
            Out.Put(0x1, 3);  // horizontal
            Out.Run(black ? 1 : 0, a1 - std::max(a0, 0));
            Out.Run(black ? 0 : 1, a2 - a1);
            a0 = a2;
        }
    }
}

constexpr uint32_t kEOL = 0x001;  // 000000000001

TBitOut Resume(int32_t FillOrder, int32_t PendingBits, uint8_t PendingByte) {
    TBitOut out;
    out.FillOrder = FillOrder;
    out.Bits = std::clamp(PendingBits, 0, 7);
    out.Byte = out.Bits ? uint8_t(PendingByte & (0xFF00 >> out.Bits)) : 0;
    return out;
}

void Suspend(TBitOut& Out, cl::TStream* Stream, bool& Error, int32_t& PendingBits, uint8_t& PendingByte) {
    Out.Write(Stream, Error);
    PendingBits = Out.Bits;
    PendingByte = Out.Byte;
}

void EndStrip(TBitOut& Out, cl::TStream* Stream, bool& Error, int32_t& PendingBits, uint8_t& PendingByte) {
    Out.Align();
    Out.Write(Stream, Error);
    PendingBits = 0;
    PendingByte = 0;
}

}  // namespace

void IECCITTEncodeMHRow(const uint8_t* Row, int32_t Width, cl::TStream* Stream, int32_t FillOrder, bool& Error) {
    if (!Row) return;
    TBitOut out;
    out.FillOrder = FillOrder;
    Encode1D(out, Row, Width);
    out.Align();
    out.Write(Stream, Error);
}

void IECCITTEncode1DRow(const uint8_t* Row, int32_t Width, cl::TStream* Stream, int32_t FillOrder, bool& Error,
                        int32_t& PendingBits, uint8_t& PendingByte) {
    TBitOut out = Resume(FillOrder, PendingBits, PendingByte);
    if (!Row) return EndStrip(out, Stream, Error, PendingBits, PendingByte);
    Encode1D(out, Row, Width);
    Suspend(out, Stream, Error, PendingBits, PendingByte);
}

void IECCITTEncodeG3Row(const uint8_t* Row, int32_t Width, cl::TStream* Stream, int32_t FillOrder, bool& Error,
                        std::vector<uint8_t>& ReferenceRow, int32_t& PendingBits, uint8_t& PendingByte) {
    TBitOut out = Resume(FillOrder, PendingBits, PendingByte);
    if (!Row) {
        out.Put(kEOL, 12);
        ReferenceRow.clear();
        ReferenceRow.shrink_to_fit();
        return EndStrip(out, Stream, Error, PendingBits, PendingByte);
    }
    const size_t bytes = size_t((std::max(Width, 0) + 31) / 32 * 4);
    out.Put(kEOL, 12);
    if (ReferenceRow.size() < bytes) {
        out.Put(1, 1);
        Encode1D(out, Row, Width);
    } else {
        out.Put(0, 1);
        Encode2D(out, Row, ReferenceRow.data(), Width);
    }
    ReferenceRow.assign(bytes, 0);
    std::memcpy(ReferenceRow.data(), Row, size_t((std::max(Width, 0) + 7) / 8));
    Suspend(out, Stream, Error, PendingBits, PendingByte);
}

void IECCITTEncodeG4Row(const uint8_t* Row, int32_t Width, cl::TStream* Stream, int32_t FillOrder, bool& Error,
                        std::vector<uint8_t>& ReferenceRow, int32_t& PendingBits, uint8_t& PendingByte) {
    TBitOut out = Resume(FillOrder, PendingBits, PendingByte);
    if (!Row) {
        out.Put(kEOL, 12);
        out.Put(kEOL, 12);
        ReferenceRow.clear();
        ReferenceRow.shrink_to_fit();
        return EndStrip(out, Stream, Error, PendingBits, PendingByte);
    }
    const size_t bytes = size_t((std::max(Width, 0) + 31) / 32 * 4);
    if (ReferenceRow.size() < bytes) ReferenceRow.assign(bytes, 0);
    Encode2D(out, Row, ReferenceRow.data(), Width);
    ReferenceRow.assign(bytes, 0);
    std::memcpy(ReferenceRow.data(), Row, size_t((std::max(Width, 0) + 7) / 8));
    Suspend(out, Stream, Error, PendingBits, PendingByte);
}

}  // namespace ie
