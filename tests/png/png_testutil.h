// Helpers of the PNG picture tests: files built chunk by chunk (CRCs and deflate by zlib
// itself, not by the code under test), loading and saving through memory streams, and
// ImageMagick's decoding of a file as the truth to compare with.
#pragma once

#include <zlib.h>

#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "png/pngpicture.h"

namespace pngtest {

inline const std::string kData = std::string(LUMETRA_TEST_DATA) + "/";

inline std::string ReadFile(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string TempName(const std::string& suffix) {
    static int n = 0;
    return std::string(LUMETRA_BINARY_DIR) + "/png_test_" + std::to_string(getpid()) + "_" + std::to_string(++n) +
           suffix;
}

inline std::string Be32(uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
}

inline const std::string kSignature("\x89PNG\r\n\x1a\n", 8);

// A framed chunk with zlib's CRC-32.
inline std::string Chunk(const std::string& name, const std::string& data) {
    std::string body = name + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return Be32(static_cast<uint32_t>(data.size())) + body + Be32(static_cast<uint32_t>(crc));
}

inline std::string IhdrData(uint32_t w, uint32_t h, int depth, int type, int interlace = 0) {
    return Be32(w) + Be32(h) +
           std::string{static_cast<char>(depth), static_cast<char>(type), 0, 0, static_cast<char>(interlace)};
}

inline std::string Deflate(const std::string& raw, int level = 6) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), level);
    out.resize(size);
    return out;
}

inline std::string Inflate(const std::string& packed) {
    z_stream z{};
    inflateInit(&z);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    std::string out;
    char buf[4096];
    int r;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        r = inflate(&z, Z_NO_FLUSH);
        out.append(buf, sizeof buf - z.avail_out);
    } while (r == Z_OK);
    inflateEnd(&z);
    return out;
}

// A whole file: IHDR, the chunks of `before`, the raw rows (filter bytes included) in one
// IDAT chunk, IEND.
inline std::string MakePng(uint32_t w, uint32_t h, int depth, int type, const std::string& rows,
                           const std::string& before = "", int interlace = 0) {
    return kSignature + Chunk("IHDR", IhdrData(w, h, depth, type, interlace)) + before + Chunk("IDAT", Deflate(rows)) +
           Chunk("IEND", "");
}

// The chunks of a file: name, data, and offset of the chunk's length field.
struct ChunkInfo {
    std::string name, data;
    size_t offset;
};
inline std::vector<ChunkInfo> SplitChunks(const std::string& file) {
    std::vector<ChunkInfo> out;
    size_t p = 8;
    while (p + 12 <= file.size()) {
        const auto* u = reinterpret_cast<const uint8_t*>(file.data() + p);
        const uint32_t len = (uint32_t{u[0]} << 24) | (uint32_t{u[1]} << 16) | (uint32_t{u[2]} << 8) | u[3];
        if (p + 12 + len > file.size()) break;
        out.push_back({file.substr(p + 4, 4), file.substr(p + 8, len), p});
        p += 12 + len;
    }
    return out;
}

inline std::unique_ptr<png::TPNGObject> Load(const std::string& bytes) {
    auto picture = std::make_unique<png::TPNGObject>();
    cl::TStringStream stream(bytes);
    picture->LoadFromStream(&stream);
    return picture;
}

inline std::string Save(png::TPNGObject& picture) {
    cl::TStringStream stream;
    picture.SaveToStream(&stream);
    return stream.GetDataString();
}

inline std::string RunOutput(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

inline bool HaveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// ImageMagick's decoding of a file: 16-bit red, green, blue and alpha per pixel.
struct Truth {
    int width = 0, height = 0;
    std::vector<uint16_t> rgba;
    uint16_t At(int x, int y, int channel) const { return rgba[(static_cast<size_t>(y) * width + x) * 4 + channel]; }
};

inline bool MagickDecode(const std::string& file, Truth& t) {
    const std::string size = RunOutput("/usr/bin/identify -format '%w %h' '" + file + "' 2>/dev/null");
    if (std::sscanf(size.c_str(), "%d %d", &t.width, &t.height) != 2) return false;
    const std::string raw = RunOutput("/usr/bin/convert '" + file + "' -depth 16 -endian MSB rgba:- 2>/dev/null");
    const size_t count = static_cast<size_t>(t.width) * t.height * 4;
    if (raw.size() != count * 2) return false;
    t.rgba.resize(count);
    for (size_t i = 0; i < count; ++i)
        t.rgba[i] =
            static_cast<uint16_t>((static_cast<uint8_t>(raw[2 * i]) << 8) | static_cast<uint8_t>(raw[2 * i + 1]));
    return true;
}

// A 16-bit sample as the picture keeps it: the high byte of 16-bit files, the 8-bit level of others.
inline int Level(uint16_t sample, int depth) { return depth == 16 ? sample >> 8 : sample / 257; }

}  // namespace pngtest
