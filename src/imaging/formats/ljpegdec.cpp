// Lossless JPEG decoding.
#include "imaging/formats/ljpegdec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace ie {

namespace {

constexpr int kMaxTables = 4;

// One Huffman table of difference categories (0 to 16).
struct HuffTable {
    bool Defined = false;
    uint8_t Counts[17] = {};  // codes of each length 1..16
    uint8_t Symbols[256] = {};
    int32_t MaxCode[18] = {};  // the largest code of each length, -1 when there is none
    int32_t ValPtr[17] = {};   // index of the first symbol of each length
    int32_t MinCode[17] = {};
    uint8_t LookSymbol[256] = {};  // symbol of the code the next 8 bits start with
    uint8_t LookLength[256] = {};  // its length, 0 for codes longer than 8 bits
};

// Canonical codes of the counts; False when the counts do not make a prefix code.
bool BuildTable(HuffTable& T) {
    int32_t code = 0;
    int32_t k = 0;
    std::memset(T.LookLength, 0, sizeof T.LookLength);
    for (int len = 1; len <= 16; ++len) {
        const int32_t n = T.Counts[len];
        if (n == 0) {
            T.MaxCode[len] = -1;
        } else {
            T.ValPtr[len] = k;
            T.MinCode[len] = code;
            for (int32_t i = 0; i < n; ++i, ++k, ++code) {
                if (code >= (1 << len)) return false;  // more codes than the length has room for
                if (len <= 8) {
                    const int32_t first = code << (8 - len);
                    for (int32_t j = 0; j < (1 << (8 - len)); ++j) {
                        T.LookSymbol[first + j] = T.Symbols[k];
                        T.LookLength[first + j] = static_cast<uint8_t>(len);
                    }
                }
            }
            T.MaxCode[len] = code - 1;
        }
        if (code > (1 << len)) return false;
        code <<= 1;
    }
    T.MaxCode[17] = 0x7FFFFFFF;
    T.Defined = true;
    return true;
}

// The entropy-coded data of the scan without byte stuffing, cut at the restart markers.
struct ScanData {
    std::vector<uint8_t> Bytes;
    std::vector<size_t> SegmentStart;  // offset in Bytes of each interval, the first at 0
};

void Unstuff(const uint8_t* P, size_t Count, ScanData& Out) {
    Out.Bytes.reserve(Count);
    Out.SegmentStart.push_back(0);
    size_t i = 0;
    while (i < Count) {
        const uint8_t b = P[i++];
        if (b != 0xFF) {
            Out.Bytes.push_back(b);
            continue;
        }
        while (i < Count && P[i] == 0xFF) ++i;  // fill bytes
        if (i >= Count) break;
        const uint8_t m = P[i++];
        if (m == 0x00) {
            Out.Bytes.push_back(0xFF);
        } else if (m >= 0xD0 && m <= 0xD7) {
            Out.SegmentStart.push_back(Out.Bytes.size());
        } else {
            break;  // EOI or any other marker ends the scan
        }
    }
}

// Reads bits of one restart interval, most significant first; bits past its end read as 0
// and are counted, so a short interval is noticed.
class BitReader {
public:
    void Start(const uint8_t* Data, size_t Begin, size_t End) {
        FData = Data;
        FPos = Begin * 8;
        FEnd = End * 8;
    }
    bool Overrun() const { return FPos > FEnd; }
    // The next 8 bits without consuming them.
    uint32_t Peek8() const {
        uint32_t v = 0;
        for (int i = 0; i < 16; i += 8) {
            const size_t byte = FPos / 8 + i / 8;
            v = (v << 8) | (byte * 8 < FEnd ? FData[byte] : 0u);
        }
        return (v >> (8 - FPos % 8)) & 0xFF;
    }
    void Skip(int Count) { FPos += static_cast<size_t>(Count); }
    uint32_t Bit() {
        uint32_t b = 0;
        if (FPos < FEnd) b = (FData[FPos / 8] >> (7 - FPos % 8)) & 1u;
        ++FPos;
        return b;
    }
    uint32_t Bits(int Count) {
        uint32_t v = 0;
        for (int i = 0; i < Count; ++i) v = (v << 1) | Bit();
        return v;
    }

private:
    const uint8_t* FData = nullptr;
    size_t FPos = 0, FEnd = 0;
};

// One difference; False for a bit string that matches no code.
bool DecodeDiff(BitReader& R, const HuffTable& T, int32_t& Diff) {
    const uint32_t look = R.Peek8();
    int32_t s;
    if (T.LookLength[look] != 0) {
        R.Skip(T.LookLength[look]);
        s = T.LookSymbol[look];
    } else {
        R.Skip(8);
        int32_t code = static_cast<int32_t>(look);
        int len = 8;
        do {
            code = (code << 1) | static_cast<int32_t>(R.Bit());
            ++len;
        } while (len < 17 && code > T.MaxCode[len]);
        if (len > 16) return false;
        s = T.Symbols[T.ValPtr[len] + code - T.MinCode[len]];
    }
    if (s == 0) {
        Diff = 0;
    } else if (s >= 16) {
        Diff = 32768;
    } else {
        const int32_t v = static_cast<int32_t>(R.Bits(s));
        Diff = v >= (1 << (s - 1)) ? v : v - ((1 << s) - 1);
    }
    return true;
}

struct Frame {
    bool Lossless = false, HaveFrame = false, HaveScan = false;
    int32_t Precision = 0, Lines = 0, Samples = 0, Components = 0;
    int32_t ComponentId[4] = {};
    bool UnitSampling = true;
    int32_t ScanTable[4] = {};  // table of each component, in frame order
    int32_t Predictor = 0, PointTransform = 0, RestartInterval = 0;
    size_t ScanOffset = 0;  // first byte of the entropy-coded data
};

uint16_t Get16(const uint8_t* P) { return static_cast<uint16_t>((P[0] << 8) | P[1]); }

// Walks the markers up to the first scan. False for everything the decoder refuses.
bool ParseMarkers(const uint8_t* D, size_t Size, Frame& F, std::array<HuffTable, kMaxTables>& Tables) {
    size_t pos = 2;  // after SOI
    while (pos < Size) {
        if (D[pos++] != 0xFF) return false;
        if (pos >= Size) return false;
        const uint8_t code = D[pos++];
        if (code == 0x00 || code == 0x01 || code == 0xFF || (code >= 0xD0 && code <= 0xD7)) {
            if (code == 0xFF) --pos;  // a fill byte before the marker code
            continue;
        }
        if (code == 0xD8) continue;
        if (code == 0xD9) return false;  // image ends before a scan
        if (pos + 2 > Size) return false;
        const size_t len = Get16(D + pos);
        if (len < 2 || pos + len > Size) return false;
        const uint8_t* seg = D + pos + 2;
        const size_t segLen = len - 2;
        pos += len;
        if ((code >= 0xC0 && code <= 0xC3) || (code >= 0xC5 && code <= 0xC7) || (code >= 0xC9 && code <= 0xCB) ||
            (code >= 0xCD && code <= 0xCF) || code == 0xC8) {
            if (code == 0xC8) continue;  // reserved for extensions
            if (segLen < 6) return false;
            F.HaveFrame = true;
            F.Lossless = code == 0xC3;
            F.Precision = seg[0];
            F.Lines = Get16(seg + 1);
            F.Samples = Get16(seg + 3);
            F.Components = seg[5];
            if (F.Components < 1 || F.Components > 4 || segLen < 6 + 3 * static_cast<size_t>(F.Components))
                return false;
            for (int32_t c = 0; c < F.Components; ++c) {
                F.ComponentId[c] = seg[6 + 3 * c];
                if (seg[7 + 3 * c] != 0x11) F.UnitSampling = false;
            }
        } else if (code == 0xC4) {
            size_t p = 0;
            int defined = 0;
            while (p < segLen) {
                if (++defined > kMaxTables || p + 17 > segLen) return false;
                const int id = seg[p] & 0x0F;
                if (id >= kMaxTables) return false;
                HuffTable t;
                int total = 0;
                for (int i = 1; i <= 16; ++i) {
                    t.Counts[i] = seg[p + i];
                    total += t.Counts[i];
                }
                p += 17;
                if (total > 17 || p + static_cast<size_t>(total) > segLen) return false;
                for (int i = 0; i < total; ++i) {
                    t.Symbols[i] = seg[p + i];
                    if (t.Symbols[i] > 16) return false;
                }
                p += static_cast<size_t>(total);
                if (!BuildTable(t)) return false;
                Tables[id] = t;
            }
        } else if (code == 0xDA) {
            if (F.HaveScan) return false;
            F.HaveScan = true;
            if (!F.HaveFrame || !F.Lossless || segLen < 1) return false;
            const int ns = seg[0];
            if (ns != F.Components || segLen < 1 + 2 * static_cast<size_t>(ns) + 3) return false;
            for (int i = 0; i < ns; ++i) {
                const int id = seg[1 + 2 * i];
                const int table = seg[2 + 2 * i] >> 4;
                int c = 0;
                while (c < F.Components && F.ComponentId[c] != id) ++c;
                if (c == F.Components) c = i;  // an unknown id: take the scan order
                F.ScanTable[c] = table;
            }
            F.Predictor = seg[1 + 2 * ns];
            F.PointTransform = seg[3 + 2 * ns] & 0x0F;
            F.ScanOffset = pos;
            return true;
        } else if (code == 0xDD) {
            if (segLen < 2) return false;
            F.RestartInterval = Get16(seg);
        }
    }
    return false;
}

}  // namespace

bool IEDecodeLosslessJPEG(cl::TStream* Stream, uint16_t* Out16, uint8_t* Out8, const TProgressRec* Progress,
                          int64_t Size, int32_t Width, int32_t Height, int32_t Components) {
    if (Size <= 31 || !Stream) return false;
    const int64_t left = Stream->GetSize() - Stream->GetPosition();
    if (left < Size) return false;
    std::vector<uint8_t> data(static_cast<size_t>(Size));
    int64_t got = 0;
    while (got < Size) {
        const int64_t n = Stream->Read(data.data() + got, Size - got);
        if (n <= 0) return false;
        got += n;
    }

    Frame f;
    std::array<HuffTable, kMaxTables> tables;
    if (!ParseMarkers(data.data(), data.size(), f, tables)) return false;
    if (f.Samples != Width || f.Lines != Height || f.Components != Components || Width <= 0 || Height <= 0)
        return false;
    if (f.Precision < 2 || f.Precision > 16 || f.Predictor < 1 || f.Predictor > 7 || f.PointTransform >= f.Precision)
        return false;
    const bool wide = f.Precision > 8;
    if (wide ? (Components != 1 || !Out16) : ((Components != 1 && Components != 3) || !Out8)) return false;
    if (Components > 1 && !f.UnitSampling) return false;

    // Components whose table is missing take the first table there is.
    int first = -1;
    for (int i = 0; i < kMaxTables; ++i)
        if (tables[i].Defined && first < 0) first = i;
    if (first < 0) return false;
    const HuffTable* use[4];
    for (int32_t c = 0; c < Components; ++c) {
        const int t = f.ScanTable[c];
        use[c] = &tables[t < kMaxTables && tables[t].Defined ? t : first];
    }

    ScanData scan;
    Unstuff(data.data() + f.ScanOffset, data.size() - f.ScanOffset, scan);
    data.clear();
    data.shrink_to_fit();

    const int32_t nc = Components;
    const int64_t rowSamples = static_cast<int64_t>(Width) * nc;
    const int32_t pt = f.PointTransform;
    const int32_t initial = 1 << (f.Precision - pt - 1);
    const uint32_t mask = wide ? 0xFFFFu : 0xFFu;
    if (wide) std::fill(Out16, Out16 + rowSamples * Height, uint16_t{0});

    std::vector<int32_t> prev(static_cast<size_t>(rowSamples)), cur(static_cast<size_t>(rowSamples));
    BitReader reader;
    size_t segment = 0;
    auto segmentEnd = [&](size_t s) {
        return s + 1 < scan.SegmentStart.size() ? scan.SegmentStart[s + 1] : scan.Bytes.size();
    };
    reader.Start(scan.Bytes.data(), 0, segmentEnd(0));
    const int64_t interval = f.RestartInterval;
    int64_t untilRestart = interval;
    // A restart makes the next sample start afresh (the initial prediction) and the rest of
    // its line predicted from the left, as on the first line.
    bool freshLine = true;
    int64_t freshFrom = 0;
    int32_t lastPercent = -1;

    for (int32_t y = 0; y < Height; ++y) {
        for (int32_t x = 0; x < Width; ++x) {
            if (interval > 0 && untilRestart == 0) {
                if (++segment >= scan.SegmentStart.size()) return false;
                reader.Start(scan.Bytes.data(), scan.SegmentStart[segment], segmentEnd(segment));
                untilRestart = interval;
                freshLine = true;
                freshFrom = x;
            }
            for (int32_t c = 0; c < nc; ++c) {
                int32_t diff;
                if (!DecodeDiff(reader, *use[c], diff) || reader.Overrun()) return false;
                const size_t i = static_cast<size_t>(x) * nc + c;
                int32_t pred;
                if (freshLine) {
                    pred = x == freshFrom ? initial : cur[i - nc];
                } else if (x == 0) {
                    pred = prev[i];
                } else {
                    const int32_t ra = cur[i - nc], rb = prev[i], rc = prev[i - nc];
                    switch (f.Predictor) {
                        case 1: pred = ra; break;
                        case 2: pred = rb; break;
                        case 3: pred = rc; break;
                        case 4: pred = ra + rb - rc; break;
                        case 5: pred = ra + ((rb - rc) >> 1); break;
                        case 6: pred = rb + ((ra - rc) >> 1); break;
                        default: pred = (ra + rb) >> 1; break;
                    }
                }
                cur[i] = static_cast<int32_t>(static_cast<uint32_t>(pred + diff) & mask);
            }
            if (interval > 0) --untilRestart;
        }
        const size_t base = static_cast<size_t>(y) * static_cast<size_t>(rowSamples);
        if (wide) {
            for (int64_t i = 0; i < rowSamples; ++i)
                Out16[base + static_cast<size_t>(i)] = static_cast<uint16_t>(cur[static_cast<size_t>(i)] << pt);
        } else {
            for (int64_t i = 0; i < rowSamples; ++i)
                Out8[base + static_cast<size_t>(i)] = static_cast<uint8_t>(cur[static_cast<size_t>(i)] << pt);
        }
        std::swap(prev, cur);
        freshLine = false;
        if (Progress) {
            const auto percent = static_cast<int32_t>(static_cast<double>(y + 1) / Height * 100);
            if (percent != lastPercent) {
                lastPercent = percent;
                Progress->Report(percent);
            }
        }
    }
    return true;
}

}  // namespace ie
