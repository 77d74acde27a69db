// Writing an image as text: a constant array for source code, hexadecimal bytes, base64,
// or a picture made of characters.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/hyieutils_streams.h"
#include "imaging/io/vovozidio.h"
#include "platform/codepage.h"

namespace ie {

namespace {

// The characters of the text picture, from dark to light.
constexpr char kRamp[] = "W@#*+:., ";
constexpr int32_t kRampLast = sizeof kRamp - 2;

// Lines of the text file, each ended by CR LF; a short write raises.
class TTextWriter {
public:
    explicit TTextWriter(cl::TStream& S) : FStream(S) {}
    void Line(const std::string& Text) {
        Put(Text);
        Put("\r\n");
    }
    void Put(const std::string& Text) {
        if (Text.empty()) return;
        if (FStream.Write(Text.data(), static_cast<int64_t>(Text.size())) != static_cast<int64_t>(Text.size()))
            throw cl::EInOutError("Cannot write the text file");
    }

private:
    cl::TStream& FStream;
};

// The identifier of the data: the file's base name, its first "." (and any other
// character an identifier cannot hold) made "_".
std::string IdentifierOf(const cl::WideString& FileName) {
    std::string name = win::Utf16ToUtf8(FileName);
    const size_t slash = name.find_last_of('/');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    for (char& c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) c = '_';
    }
    if (name.empty() || (name[0] >= '0' && name[0] <= '9')) name.insert(0, "_");
    return name;
}

std::string Hex2(uint8_t B) {
    char s[3];
    std::snprintf(s, sizeof s, "%02X", B);
    return s;
}

}  // namespace

void TVovozIdIO::SaveToText(const cl::WideString& FileName, int32_t Format, uint8_t Kind) {
    auto file = std::make_unique<TIEWideFileStream>(FileName, cl::fmCreate);
    TTextWriter out(*file);
    if (Kind <= 2) {
        const std::string name = IdentifierOf(FileName);
        const std::string sizeName = name + "_Size";
        cl::TMemoryStream data;
        SaveToStream(&data, Format);
        const int64_t size = data.GetSize();
        if (Aborting || size <= 0) {
            // No writer, or the writer failed: nothing to write out (the abort flag tells).
            Aborting = true;
            return;
        }
        data.SetPosition(0);
        const auto* bytes = static_cast<const uint8_t*>(data.GetMemory());
        std::string buffer;
        if (Kind == 0) {
            out.Line("const");
            out.Line("  " + sizeName + " = " + std::to_string(size) + ";");
            out.Line("  " + name + " : array [0.." + sizeName + "-1] of byte = (");
            for (int64_t i = 0; i + 1 < size; ++i) {
                buffer += "$" + Hex2(bytes[i]) + ",";
                if (buffer.size() > 70) {
                    out.Line("    " + buffer);
                    buffer.clear();
                }
            }
            out.Line("    " + buffer + "$" + Hex2(bytes[size - 1]) + ");");
        } else if (Kind == 1) {
            out.Line("\\\\ Size=" + std::to_string(size));
            for (int64_t i = 0; i + 1 < size; ++i) {
                buffer += "0x" + Hex2(bytes[i]) + ",";
                if (buffer.size() > 70) {
                    out.Line(buffer);
                    buffer.clear();
                }
            }
            out.Line(buffer + "0x" + Hex2(bytes[size - 1]));
        } else {
            IEWriteBase64Text(&data, file.get(), 76);
        }
    } else if (Kind == 3) {
        if (!MakeConsistentBitmap()) {
            Aborting = true;
            return;
        }
        Aborting = false;
        // The picture is read through a 24-bit copy; the component's own keeps its format.
        std::unique_ptr<TIEBitmap> copy;
        TIEBitmap* src = FIEBitmap;
        if (src->GetPixelFormat() != ie24RGB) {
            copy = std::make_unique<TIEBitmap>();
            copy->Assign(FIEBitmap);
            copy->SetPixelFormat(ie24RGB);
            src = copy.get();
        }
        const int32_t w = src->GetWidth(), h = src->GetHeight();
        std::string line;
        for (int32_t y = 0; y < h; ++y) {
            const auto* row = static_cast<const uint8_t*>(src->GetScanline(y));
            line.clear();
            for (int32_t x = 0; x < w; ++x) {
                const int32_t b = row[x * 3], g = row[x * 3 + 1], r = row[x * 3 + 2];
                const int32_t grey = (r * IEGrayWeightRed + g * IEGrayWeightGreen + b * IEGrayWeightBlue) / 100;
                // Ten levels over nine characters: the lightest greys take the last one.
                const int32_t level = static_cast<int32_t>(std::lround(grey / 255.0 * 9.0));
                line += kRamp[std::clamp(level, 0, kRampLast)];
            }
            out.Line(line);
        }
    }
    file.reset();
    FParams->FileName = FileName;
}

}  // namespace ie
