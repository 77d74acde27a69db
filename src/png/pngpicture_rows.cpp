// Row conversion between PNG samples and the picture's store.
#include "png/pngpicture_rows.h"

#include <cstring>

namespace png {

void StoreRow(TPNGObject& owner, const uint8_t* data, int y, int first, int step, uint32_t count) {
    TChunkIHDR* h = owner.HeaderChunk();
    uint8_t* row = owner.RowPointer(y);
    uint8_t* alpha = h->GetImageAlpha() ? h->GetImageAlpha() + static_cast<size_t>(y) * h->Width : nullptr;
    const auto& g = owner.GammaTable;
    const int depth = h->BitDepth;
    const int storeBits = h->GetBitsPerPixel();
    auto col = [&](uint32_t i) {
        return static_cast<size_t>(first) + static_cast<size_t>(i) * static_cast<size_t>(step);
    };
    switch (h->ColorType) {
        case 0:
        case 3:
            if (depth == 16) {
                for (uint32_t i = 0; i < count; ++i) row[col(i)] = data[2 * i];
            } else if (depth == 8) {
                for (uint32_t i = 0; i < count; ++i) row[col(i)] = data[i];
            } else if (first == 0 && step == 1 && depth == storeBits) {
                std::memcpy(row, data, static_cast<size_t>(PNGRowBytes(count, h->ColorType, depth)));
            } else {
                // Packed samples, most significant bits first; 2-bit samples go into 4-bit
                // fields: palette indexes as they are, grey levels scaled to the 4-bit range.
                const unsigned mask = (1u << depth) - 1;
                for (uint32_t i = 0; i < count; ++i) {
                    const size_t bit = static_cast<size_t>(i) * depth;
                    unsigned v = (data[bit / 8] >> (8 - depth - bit % 8)) & mask;
                    if (depth == 2 && h->ColorType == 0) v *= 5;
                    const size_t storeBit = col(i) * storeBits;
                    row[storeBit / 8] |= static_cast<uint8_t>(v << (8 - storeBits - storeBit % 8));
                }
            }
            break;
        case 2:
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t* s = depth == 16 ? data + 6 * i : data + 3 * i;
                const int k = depth == 16 ? 2 : 1;
                uint8_t* d = row + 3 * col(i);
                d[0] = g[s[2 * k]];
                d[1] = g[s[k]];
                d[2] = g[s[0]];
            }
            break;
        case 4:
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t* s = depth == 16 ? data + 4 * i : data + 2 * i;
                row[col(i)] = s[0];
                if (alpha) alpha[col(i)] = depth == 16 ? s[2] : s[1];
            }
            break;
        case 6:
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t* s = depth == 16 ? data + 8 * i : data + 4 * i;
                const int k = depth == 16 ? 2 : 1;
                uint8_t* d = row + 3 * col(i);
                d[0] = g[s[2 * k]];
                d[1] = g[s[k]];
                d[2] = g[s[0]];
                if (alpha) alpha[col(i)] = s[3 * k];
            }
            break;
        default: break;
    }
}

void LoadRow(TPNGObject& owner, uint8_t* data, int y, int first, int step, uint32_t count) {
    TChunkIHDR* h = owner.HeaderChunk();
    const uint8_t* row = owner.RowPointer(y);
    const uint8_t* alpha = h->GetImageAlpha() ? h->GetImageAlpha() + static_cast<size_t>(y) * h->Width : nullptr;
    const auto& inv = owner.InverseGammaTable;
    const int depth = h->BitDepth;
    const int storeBits = h->GetBitsPerPixel();
    auto col = [&](uint32_t i) {
        return static_cast<size_t>(first) + static_cast<size_t>(i) * static_cast<size_t>(step);
    };
    auto put16 = [](uint8_t* p, uint8_t v) {
        p[0] = v;
        p[1] = 0;
    };
    switch (h->ColorType) {
        case 0:
        case 3:
            if (depth == 16) {
                for (uint32_t i = 0; i < count; ++i) put16(data + 2 * i, row[col(i)]);
            } else if (depth == 8) {
                for (uint32_t i = 0; i < count; ++i) data[i] = row[col(i)];
            } else {
                const size_t bytes = static_cast<size_t>(PNGRowBytes(count, h->ColorType, depth));
                if (first == 0 && step == 1 && depth == storeBits) {
                    std::memcpy(data, row, bytes);
                } else {
                    std::memset(data, 0, bytes);
                    const unsigned mask = (1u << storeBits) - 1;
                    for (uint32_t i = 0; i < count; ++i) {
                        const size_t storeBit = col(i) * storeBits;
                        const unsigned v = (row[storeBit / 8] >> (8 - storeBits - storeBit % 8)) & mask;
                        const size_t bit = static_cast<size_t>(i) * depth;
                        data[bit / 8] |= static_cast<uint8_t>((v & ((1u << depth) - 1)) << (8 - depth - bit % 8));
                    }
                }
            }
            break;
        case 2:
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t* s = row + 3 * col(i);
                if (depth == 16) {
                    put16(data + 6 * i, inv[s[2]]);
                    put16(data + 6 * i + 2, inv[s[1]]);
                    put16(data + 6 * i + 4, inv[s[0]]);
                } else {
                    data[3 * i] = inv[s[2]];
                    data[3 * i + 1] = inv[s[1]];
                    data[3 * i + 2] = inv[s[0]];
                }
            }
            break;
        case 4:
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t a = alpha ? alpha[col(i)] : 255;
                if (depth == 16) {
                    put16(data + 4 * i, row[col(i)]);
                    put16(data + 4 * i + 2, a);
                } else {
                    data[2 * i] = row[col(i)];
                    data[2 * i + 1] = a;
                }
            }
            break;
        case 6:
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t* s = row + 3 * col(i);
                const uint8_t a = alpha ? alpha[col(i)] : 255;
                if (depth == 16) {
                    put16(data + 8 * i, inv[s[2]]);
                    put16(data + 8 * i + 2, inv[s[1]]);
                    put16(data + 8 * i + 4, inv[s[0]]);
                    put16(data + 8 * i + 6, a);
                } else {
                    data[4 * i] = inv[s[2]];
                    data[4 * i + 1] = inv[s[1]];
                    data[4 * i + 2] = inv[s[0]];
                    data[4 * i + 3] = a;
                }
            }
            break;
        default: break;
    }
}

}  // namespace png
