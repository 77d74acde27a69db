// Reference samples of the medical and JPEG 2000 codec tests: PGM/PPM files, binary or ASCII,
// of any maximum value (binary 16-bit samples big-endian, as the tools write them), comments
// allowed.
#pragma once

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "formats_testutil.h"

namespace ie::test {

struct Samples {
    int32_t Width = 0, Height = 0, Channels = 0, MaxVal = 0;
    std::vector<uint32_t> Values;  // in file order, channels interleaved
    uint32_t At(int32_t X, int32_t Y, int32_t C = 0) const {
        return Values[(static_cast<size_t>(Y) * Width + X) * Channels + C];
    }
    // The sample taken to 8 bits by its most significant bits (the precision of MaxVal).
    uint32_t Top8(int32_t X, int32_t Y, int32_t C = 0) const {
        int bits = 0;
        while ((1u << bits) <= static_cast<uint32_t>(MaxVal)) ++bits;
        const uint32_t v = At(X, Y, C);
        return bits > 8 ? v >> (bits - 8) : v << (8 - bits);
    }
};

inline Samples ParseSamples(const std::vector<uint8_t>& B) {
    Samples s;
    size_t i = 0;
    auto token = [&]() {
        std::string t;
        while (i < B.size()) {
            if (B[i] == '#') {
                while (i < B.size() && B[i] != '\n') ++i;
            } else if (std::isspace(B[i])) {
                ++i;
            } else {
                break;
            }
        }
        while (i < B.size() && !std::isspace(B[i])) t += static_cast<char>(B[i++]);
        return t;
    };
    const std::string magic = token();
    if (magic != "P5" && magic != "P6" && magic != "P2" && magic != "P3") return s;
    s.Channels = magic == "P6" || magic == "P3" ? 3 : 1;
    s.Width = std::stoi(token());
    s.Height = std::stoi(token());
    s.MaxVal = std::stoi(token());
    const size_t n = static_cast<size_t>(s.Width) * s.Height * s.Channels;
    if (magic == "P2" || magic == "P3") {
        for (size_t k = 0; k < n; ++k) {
            const std::string t = token();
            if (t.empty()) return Samples{};
            s.Values.push_back(static_cast<uint32_t>(std::stoul(t)));
        }
        return s;
    }
    ++i;
    const size_t bytes = s.MaxVal > 255 ? 2 : 1;
    if (B.size() < i + n * bytes) return Samples{};
    for (size_t k = 0; k < n; ++k, i += bytes) s.Values.push_back(bytes == 2 ? (B[i] << 8) | B[i + 1] : B[i]);
    return s;
}

inline Samples LoadSamples(const std::string& Path) { return ParseSamples(ReadBytes(Path)); }

}  // namespace ie::test
