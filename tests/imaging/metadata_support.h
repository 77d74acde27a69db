// Shared helpers of the metadata tests: fixture files, running the independent tools
// (exiftool, tiffdump, identify, transicc, qpdf), a byte builder for hand-made blocks, and
// a JPEG taken apart into its application markers and the rest, so that tests can put
// markers built by the library into a real file.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "imaging/core/hyieutils_markers.h"

namespace ie::test {

using Bytes = std::vector<uint8_t>;

inline std::string MetadataFixture(const std::string& Name) {
    return std::string(LUMETRA_TEST_DATA) + "/metadata/" + Name;
}

inline Bytes ReadBytes(const std::string& Path) {
    std::ifstream f(Path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& Path, const Bytes& B) {
    std::ofstream f(Path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(B.data()), static_cast<std::streamsize>(B.size()));
}

// The text in single quotes for the shell.
inline std::string Quote(const std::string& S) {
    std::string q = "'";
    for (char c : S) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command; its standard output goes to Out. Returns the exit status.
inline int RunTool(const std::string& Command, std::string& Out) {
    Out.clear();
    FILE* p = ::popen(Command.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0) Out.append(buf, n);
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One value as exiftool prints it alone (-s3), without the line end.
inline std::string ExifTool(const std::string& Args, const std::string& File) {
    std::string out;
    RunTool("exiftool -s3 " + Args + " " + Quote(File) + " 2>/dev/null", out);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// A block built byte by byte in either byte order.
struct ByteWriter {
    explicit ByteWriter(bool BigEndian = false) : Big(BigEndian) {}
    ByteWriter& U8(uint32_t V) {
        B.push_back(static_cast<uint8_t>(V));
        return *this;
    }
    ByteWriter& U16(uint32_t V) {
        if (Big) return U8(V >> 8).U8(V);
        return U8(V).U8(V >> 8);
    }
    ByteWriter& U32(uint32_t V) {
        if (Big) return U16(V >> 16).U16(V);
        return U16(V).U16(V >> 16);
    }
    ByteWriter& Text(const std::string& S) {
        B.insert(B.end(), S.begin(), S.end());
        return *this;
    }
    ByteWriter& Raw(const Bytes& V) {
        B.insert(B.end(), V.begin(), V.end());
        return *this;
    }
    ByteWriter& Zeros(size_t N) {
        B.insert(B.end(), N, 0);
        return *this;
    }
    // Overwrites a 32-bit value at an earlier position.
    void PatchU32(size_t At, uint32_t V) {
        ByteWriter w(Big);
        w.U32(V);
        std::copy(w.B.begin(), w.B.end(), B.begin() + static_cast<std::ptrdiff_t>(At));
    }
    size_t Size() const { return B.size(); }
    bool Big;
    Bytes B;
};

// A JPEG file as its APPn and COM markers (code and payload, in file order) and the rest
// of the file from the first other marker on.
struct JpegParts {
    std::vector<std::pair<uint8_t, Bytes>> Markers;
    Bytes Rest;
};

inline bool SplitJpeg(const Bytes& B, JpegParts& Out) {
    Out = JpegParts();
    if (B.size() < 4 || B[0] != 0xFF || B[1] != 0xD8) return false;
    size_t pos = 2;
    while (pos + 4 <= B.size() && B[pos] == 0xFF) {
        const uint8_t code = B[pos + 1];
        const bool app = (code >= 0xE0 && code <= 0xEF) || code == 0xFE;
        if (!app) break;
        const size_t len = (static_cast<size_t>(B[pos + 2]) << 8) | B[pos + 3];
        if (len < 2 || pos + 2 + len > B.size()) return false;
        Out.Markers.emplace_back(code, Bytes(B.begin() + static_cast<std::ptrdiff_t>(pos + 4),
                                             B.begin() + static_cast<std::ptrdiff_t>(pos + 2 + len)));
        pos += 2 + len;
    }
    Out.Rest.assign(B.begin() + static_cast<std::ptrdiff_t>(pos), B.end());
    return true;
}

// SOI, the markers of the list in its order, then the rest.
inline Bytes JoinJpeg(const TIEMarkerList& Markers, const Bytes& Rest) {
    Bytes out = {0xFF, 0xD8};
    for (int32_t i = 0; i < Markers.GetCount(); ++i) {
        const int32_t n = Markers.GetMarkerLength(i) + 2;
        out.insert(out.end(), {0xFF, Markers.GetMarkerType(i), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
        const uint8_t* d = Markers.GetMarkerData(i);
        if (d) out.insert(out.end(), d, d + Markers.GetMarkerLength(i));
    }
    out.insert(out.end(), Rest.begin(), Rest.end());
    return out;
}

// The markers of a fixture JPEG in a marker list (in file order).
inline void LoadJpegMarkers(const std::string& Path, TIEMarkerList& Markers, Bytes& Rest) {
    JpegParts parts;
    ASSERT_TRUE(SplitJpeg(ReadBytes(Path), parts)) << Path;
    Markers.Clear();
    for (auto& [code, payload] : parts.Markers)
        ASSERT_GE(Markers.AddMarker(code, payload.data(), static_cast<int32_t>(payload.size())), 0);
    Rest = parts.Rest;
}

}  // namespace ie::test
