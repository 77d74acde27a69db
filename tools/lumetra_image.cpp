// lumetra-image: information about an image and conversion between formats, through the
// imaging library's format registry.
#include "lumetra_image.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "imaging/core/hyieutils.h"
#include "imaging/core/ieicc.h"
#include "imaging/io/vovozidio.h"
#include "platform/codepage.h"
#include "platform/exit_cleanup.h"

namespace lumetra_image {
namespace {

using namespace ie;

const char* PixelFormatName(TIEPixelFormat f) {
    static const char* names[] = {"ieNone", "ie1g",   "ie8p",    "ie8g",     "ie16g",  "ie24RGB",
                                  "ie32f",  "ieCMYK", "ieRGB48", "ieCIELab", "ie32RGB"};
    return f < IEPixelFormatCount ? names[f] : "unknown";
}

bool IsURL(const std::string& s) { return IEGetURLTypeA(s) != 0; }

struct Options {
    int Page = 0;
    int Quality = -1;
    std::string Type;
};

// A number from text, or false.
bool ParseInt(const std::string& s, int Min, int Max, int& Value) {
    if (s.empty() || s.size() > 9) return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < Min || v > Max) return false;
    Value = v;
    return true;
}

// The message of the component's failure.
std::string Reason(TVovozIdIO& io, const char* what) {
    TIEFileFormatInfo* e = IEFindFormatInfo(io.Params().FileType);
    std::string r = what;
    if (e) r += std::string(" (") + e->FullName + ")";
    return r;
}

// Loads Name (a file by its content, or a URL) into io; an empty string or the reason.
std::string Load(TVovozIdIO& io, const std::string& Name, int Page) {
    io.Params().SetImageIndex(Page);
    const cl::WideString wide = win::Utf8ToUtf16(Name);
    if (IsURL(Name)) {
        io.LoadFromURL(wide);
        return io.Aborting ? "cannot download or decode the image" : "";
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(Name, ec)) return "no such file";
    const int32_t type = IEFindFileFormat(wide, false);
    if (type == ioUnknown) return "unrecognised image format";
    TIEFileFormatInfo* e = IEFindFormatInfo(type);
    const bool readable = e && (e->InternalFormat ? e->Ops.Read != nullptr : e->ReadFunction != nullptr);
    if (!readable) return std::string("no reader for ") + (e ? e->FullName : "this format") + " in this program";
    try {
        io.LoadFromFileFormat(wide, type);
    } catch (const std::exception& x) {
        return x.what();
    }
    if (io.Aborting) return Reason(io, "the image data is damaged or unsupported");
    return "";
}

int Info(const std::string& Name, std::ostream& Out, std::ostream& Err) {
    TVovozIdIO io(nullptr);
    const std::string error = Load(io, Name, 0);
    if (!error.empty()) {
        Err << "lumetra-image: " << Name << ": " << error << "\n";
        return 1;
    }
    TIOParamsVals& p = io.Params();
    TIEBitmap* b = io.GetIEBitmap();
    TIEFileFormatInfo* e = IEFindFormatInfo(p.FileType);
    Out << "format: " << (e ? e->FullName : "unknown") << "\n";
    Out << "file type: " << p.FileType << "\n";
    Out << "width: " << b->GetWidth() << "\n";
    Out << "height: " << b->GetHeight() << "\n";
    Out << "pixel format: " << PixelFormatName(b->GetPixelFormat()) << "\n";
    Out << "bits per sample: " << p.BitsPerSample << "\n";
    Out << "samples per pixel: " << p.SamplesPerPixel << "\n";
    Out << "dpi: " << p.DpiX << " x " << p.DpiY << "\n";
    Out << "pages: " << std::max(1, p.ImageCount) << "\n";
    Out << "alpha: " << (b->HasAlphaChannel() ? "yes" : "no") << "\n";
    std::string meta;
    auto add = [&](const char* m) { meta += meta.empty() ? m : std::string(", ") + m; };
    if (p.HasEXIFData) add("EXIF");
    if (p.IPTC()->GetCount() > 0) add("IPTC");
    if (!p.XMPInfo.empty()) add("XMP");
    if (p.InputICCProfile() && p.InputICCProfile()->IsValid()) add("ICC");
    if (p.JPEGMarkers()->GetCount() > 0) add("JPEG markers");
    if (p.GIFComments()->GetCount() + p.PXMComments()->GetCount() > 0) add("comments");
    if (p.PNGTextKeys()->GetCount() > 0) add("text");
    Out << "metadata: " << (meta.empty() ? "none" : meta) << "\n";
    return 0;
}

// True when some pixel of B is not grey (a palette entry counts by what it shows).
bool HasColour(TIEBitmap* B) {
    const int32_t w = B->GetWidth(), h = B->GetHeight();
    switch (B->GetPixelFormat()) {
        case ie8p: {
            TRGB* pal = B->GetPalette();
            for (int32_t y = 0; y < h; ++y) {
                const uint8_t* row = static_cast<const uint8_t*>(B->GetScanline(y));
                for (int32_t x = 0; x < w; ++x) {
                    if (row[x] >= B->GetPaletteLength()) continue;
                    const TRGB& c = pal[row[x]];
                    if (c.r != c.g || c.g != c.b) return true;
                }
            }
            return false;
        }
        case ie24RGB:
            for (int32_t y = 0; y < h; ++y) {
                const TRGB* row = static_cast<const TRGB*>(B->GetScanline(y));
                for (int32_t x = 0; x < w; ++x)
                    if (row[x].r != row[x].g || row[x].g != row[x].b) return true;
            }
            return false;
        default: return false;
    }
}

int Convert(const std::string& In, const std::string& OutName, const Options& O, std::ostream& Err) {
    // The output format: --type, else OUT's extension.
    std::string ext = O.Type.empty() ? std::filesystem::path(OutName).extension().string() : O.Type;
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    const int32_t type = IEFileTypeOfExtension(ext);
    TIEFileFormatInfo* e = IEFindFormatInfo(type);
    const bool writable = e && (e->InternalFormat ? e->Ops.Write != nullptr : e->WriteFunction != nullptr);
    if (!writable) {
        Err << "lumetra-image: " << OutName << ": no writer for "
            << (ext.empty() ? std::string("a name without extension") : "\"" + ext + "\"") << " in this program\n";
        return 2;
    }
    TVovozIdIO io(nullptr);
    const std::string error = Load(io, In, O.Page);
    if (!error.empty()) {
        Err << "lumetra-image: " << In << ": " << error << "\n";
        return 1;
    }
    // The parameters still describe the file read, and a writer takes them as the layout wanted: a colour
    // picture stored as palette indexes (one sample) would be written as grey.
    TIOParamsVals& params = io.Params();
    if (params.SamplesPerPixel == 1 && params.BitsPerSample > 1 && HasColour(io.GetIEBitmap())) {
        params.SamplesPerPixel = 3;
        params.BitsPerSample = 8;
    }
    if (O.Quality >= 0) {
        io.Params().JPEGQuality = O.Quality;
        io.Params().TIFFJPEGQuality = O.Quality;
        io.Params().J2000Rate = O.Quality / 100.0;
        io.Params().HDPhotoQuality = O.Quality / 100.0;
    }
    // Written beside OUT under a private name, renamed when whole.
    const std::filesystem::path out(OutName);
    const std::filesystem::path dir = out.has_parent_path() ? out.parent_path() : std::filesystem::path(".");
    std::string temp = (dir / ".lumetra-image-XXXXXX").string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        Err << "lumetra-image: " << OutName << ": cannot write in " << dir.string() << "\n";
        return 1;
    }
    ::close(fd);
    const win::ExitCleanupId cleanup = win::AddExitCleanup([temp] { std::remove(temp.c_str()); });
    std::string failure;
    try {
        io.SaveToFileOf(win::Utf8ToUtf16(temp), type);
        if (io.Aborting) failure = "the image cannot be written in this format";
    } catch (const std::exception& x) {
        failure = x.what();
    }
    std::error_code ec;
    if (failure.empty()) {
        std::filesystem::rename(temp, out, ec);
        if (ec) failure = ec.message();
    }
    if (!failure.empty()) std::remove(temp.c_str());
    win::RemoveExitCleanup(cleanup);
    if (!failure.empty()) {
        Err << "lumetra-image: " << OutName << ": " << failure << "\n";
        return 1;
    }
    return 0;
}

const char* kUsage =
    "usage: lumetra-image info FILE\n"
    "       lumetra-image convert IN OUT [--page N] [--quality Q] [--type EXT]\n";

}  // namespace

int Run(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
    if (Args.size() == 2 && Args[0] == "info") return Info(Args[1], Out, Err);
    if (Args.size() >= 3 && Args[0] == "convert") {
        Options o;
        for (size_t i = 3; i < Args.size(); ++i) {
            const std::string& a = Args[i];
            const bool hasValue = i + 1 < Args.size();
            if (a == "--page" && hasValue && ParseInt(Args[i + 1], 0, 1 << 20, o.Page)) {
                ++i;
            } else if (a == "--quality" && hasValue && ParseInt(Args[i + 1], 0, 100, o.Quality)) {
                ++i;
            } else if (a == "--type" && hasValue && !Args[i + 1].empty()) {
                o.Type = Args[++i];
            } else {
                Err << "lumetra-image: bad option \"" << a << "\"\n" << kUsage;
                return 2;
            }
        }
        return Convert(Args[1], Args[2], o, Err);
    }
    Err << kUsage;
    return 2;
}

}  // namespace lumetra_image
