// lumetra-image: information about an image, conversion between formats and the list of
// formats, through the imaging library's format registry.
#include "lumetra_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>

#include "imaging/core/hyieutils.h"
#include "imaging/core/ieicc.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_url.h"
#include "platform/codepage.h"
#include "platform/exit_cleanup.h"

namespace lumetra_image {
namespace {

using namespace ie;
namespace fs = std::filesystem;

const char* kUsage =
    "usage: lumetra-image info FILE [--page N]\n"
    "       lumetra-image convert IN OUT [--page N] [--quality Q] [--compression C] [--type EXT]\n"
    "       lumetra-image formats\n"
    "       lumetra-image --help\n";

const char* kHelp =
    "lumetra-image: reads and writes pictures through the imaging library.\n"
    "\n"
    "Commands:\n"
    "  info FILE            the file's format and pages (size and pixels of each), then the\n"
    "                       details of one page: size, pixel format, bits, resolution,\n"
    "                       alpha and metadata\n"
    "  convert IN OUT       reads one page of IN and writes it to OUT in the format OUT's\n"
    "                       extension names; .pgm is written as grey (P5), .pbm as black and\n"
    "                       white (P4), .ppm as colour (P6), .eps as Encapsulated PostScript\n"
    "                       the size of the picture (one pixel a point); 16-bit samples are\n"
    "                       kept where the writer keeps them (TIFF, 16-bit colour .ppm)\n"
    "  formats              every format: its extensions, whether it is read, written and\n"
    "                       holds several pages\n"
    "\n"
    "Options (anywhere on the line, as --name VALUE or --name=VALUE):\n"
    "  --page N             the page (frame) to read, counted from 0 (default 0)\n"
    "  --quality Q          0 to 100: JPEG, JPEG 2000, HD Photo and JPEG-compressed TIFF output\n"
    "  --compression C      TIFF output: none, lzw, deflate, packbits, jpeg, g3 or g4 (g3 and\n"
    "                       g4 for black-and-white pictures); PNG output: the level, 0 to 9;\n"
    "                       without it TIFF output keeps a TIFF input's compression\n"
    "  --type EXT           write OUT in the format of extension EXT whatever its name\n"
    "  -h, --help           this text\n"
    "\n"
    "IN is detected by its content, else by its extension, and may be an http, https or ftp\n"
    "address. OUT is written under a temporary name beside it and renamed when complete; a\n"
    "new OUT gets the mode the umask allows, an existing OUT keeps its mode.\n"
    "Exit status: 0 done, 1 a file cannot be read or written, 2 a usage error.\n";

struct Options {
    int32_t Page = 0;
    bool HasPage = false;
    int32_t Quality = -1;
    std::string Compression;
    std::string Type;
};

// A number from text, or false.
bool ParseInt(const std::string& s, int32_t Min, int32_t Max, int32_t& Value) {
    if (s.empty() || s.size() > 9) return false;
    int32_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < Min || v > Max) return false;
    Value = v;
    return true;
}

// The system's message for an error number, as the tool's messages write it.
std::string SystemReason(int Error) {
    std::string r = std::strerror(Error);
    if (!r.empty() && r[0] >= 'A' && r[0] <= 'Z' && !(r.size() > 1 && r[1] >= 'A' && r[1] <= 'Z'))
        r[0] = static_cast<char>(r[0] - 'A' + 'a');
    return r;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string ExtensionOf(const std::string& Name) {
    std::string ext = fs::path(Name).extension().string();
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    return Lower(ext);
}

// The formats the component serves through its extension parts rather than a codec entry.
bool IsHookedRead(int32_t Type) {
    const TIEIOExtensionHooks& h = IEIOExtensionHooks();
    switch (Type) {
        case ioGIF: return bool(h.LoadGIFStream);
        case ioPSD: return bool(h.LoadPSDStream);
        case ioWMF:
        case ioEMF: return bool(h.LoadMetafileStream);
        case ioIEV:
        case ioLYR:
        case ioALL: return bool(h.LoadVectorialStream);
        default: return false;
    }
}

bool Readable(const TIEFileFormatInfo* E) {
    if (!E) return false;
    if (!E->InternalFormat) return E->ReadFunction != nullptr;
    return E->Ops.Read != nullptr || IsHookedRead(E->FileType);
}

bool Writable(const TIEFileFormatInfo* E) {
    if (!E) return false;
    if (!E->InternalFormat) return E->WriteFunction != nullptr;
    const TIEIOExtensionHooks& h = IEIOExtensionHooks();
    return E->Ops.Write != nullptr || (E->FileType == ioGIF && h.SaveGIFStream) ||
           (E->FileType == ioPSD && h.SavePSDStream);
}

bool AVIReadable() {
    const TIEIOExtensionHooks& h = IEIOExtensionHooks();
    return h.OpenAVIFile && h.LoadAVIFrame && h.CloseAVIFile;
}

// Formats whose files hold several pictures the page option chooses between.
bool IsMultiPage(int32_t Type) {
    return Type == ioTIFF || Type == ioGIF || Type == ioDCX || Type == ioICO || Type == ioCUR || Type == ioDICOM ||
           Type == ioAVI;
}

std::string FormatName(int32_t Type) {
    if (Type == ioAVI) return "AVI video";
    const TIEFileFormatInfo* e = IEFindFormatInfo(Type);
    return e ? e->FullName : "unknown";
}

const char* PixelFormatName(TIEPixelFormat f) {
    static const char* names[] = {"ieNone", "ie1g",   "ie8p",    "ie8g",     "ie16g",  "ie24RGB",
                                  "ie32f",  "ieCMYK", "ieRGB48", "ieCIELab", "ie32RGB"};
    return f < IEPixelFormatCount ? names[f] : "unknown";
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
        case ieCMYK:
        case ieRGB48:
        case ieCIELab:
        case ie32RGB: return true;
        default: return false;
    }
}

std::string Bits(int32_t n) { return std::to_string(n) + (n == 1 ? " bit" : " bits"); }

// The pixels of a page as a person reads them: "RGB, 8 bits", "palette, 256 colours",
// "grey, 16 bits", each with ", with alpha" when the page has an alpha channel.
std::string DescribePixels(TIEBitmap* B, TIOParamsVals& P) {
    std::string s;
    const int32_t bps = P.BitsPerSample >= 1 && P.BitsPerSample <= 32 ? P.BitsPerSample : 8;
    switch (B->GetPixelFormat()) {
        case ie1g: s = "black and white, 1 bit"; break;
        case ie8p: s = "palette, " + std::to_string(B->GetPaletteLength()) + " colours"; break;
        case ie8g: s = "grey, 8 bits"; break;
        case ie16g: s = "grey, 16 bits"; break;
        case ie32f: s = "grey, 32-bit floating point"; break;
        case ieCMYK: s = "CMYK, 8 bits"; break;
        case ieRGB48: s = "RGB, 16 bits"; break;
        case ieCIELab: s = "CIELab, 8 bits"; break;
        case ie32RGB: s = "RGB, 8 bits"; break;
        case ie24RGB:
            if (P.SamplesPerPixel == 1 && !HasColour(B)) {
                s = "grey, " + Bits(bps);
            } else if (P.SamplesPerPixel == 1 && bps <= 8) {
                const int32_t colours = P.ColorMapCount > 0 ? P.ColorMapCount : 1 << bps;
                s = "palette, " + std::to_string(colours) + " colours";
            } else if (P.SamplesPerPixel == 4 && !B->HasAlphaChannel()) {
                s = "CMYK, " + Bits(bps);
            } else {
                s = "RGB, " + Bits(bps);
            }
            break;
        default: s = PixelFormatName(B->GetPixelFormat()); break;
    }
    if (B->HasAlphaChannel()) s += ", with alpha";
    return s;
}

// The number of pictures in the directory of an icon or cursor file; -1 when the file is
// no such directory (a bitmap stored as an icon holds one).
int32_t IconCount(const std::string& Name) {
    std::ifstream in(Name, std::ios::binary);
    uint8_t h[6] = {};
    if (!in.read(reinterpret_cast<char*>(h), 6)) return -1;
    if (h[0] == 'B' && h[1] == 'M') return 1;
    if (h[0] != 0 || h[1] != 0 || (h[2] != 1 && h[2] != 2) || h[3] != 0) return -1;
    return h[4] | (h[5] << 8);
}

std::string PagesText(int32_t n) { return std::to_string(n) + (n == 1 ? " page" : " pages"); }

// What an input is: its file type (ioAVI for video) or the reason it cannot be read.
struct Input {
    int32_t Type = ioUnknown;
    bool URL = false;
    std::string Error;
};

Input Examine(const std::string& Name) {
    Input r;
    if (IEGetURLTypeA(Name) != 0) {
        r.URL = true;
        return r;
    }
    struct stat st {};
    if (::stat(Name.c_str(), &st) != 0) {
        r.Error = SystemReason(errno);
        return r;
    }
    if (S_ISDIR(st.st_mode)) {
        r.Error = SystemReason(EISDIR);
        return r;
    }
    if (!S_ISREG(st.st_mode)) {
        r.Error = "not a regular file";
        return r;
    }
    const int fd = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        r.Error = SystemReason(errno);
        return r;
    }
    ::close(fd);
    // The content decides; a format without a content test (WBMP) goes by the extension.
    const cl::WideString wide = win::Utf8ToUtf16(Name);
    r.Type = IEFindFileFormat(wide, false);
    const std::string ext = ExtensionOf(Name);
    if (r.Type == ioUnknown) r.Type = ext == "avi" ? ioAVI : IEFileTypeOfExtension(ext);
    if (r.Type == ioUnknown) {
        r.Error = "unrecognised image format";
        return r;
    }
    if (r.Type == ioAVI) {
        if (!AVIReadable()) r.Error = "no reader for AVI video in this program";
        return r;
    }
    const TIEFileFormatInfo* e = IEFindFormatInfo(r.Type);
    if (!Readable(e)) r.Error = std::string("no reader for ") + (e ? e->FullName : "this format") + " in this program";
    return r;
}

// The result of reading one page: the reason it failed, or the number of pages of the
// file (a page at or past that number was not read).
struct Loaded {
    std::string Error;
    int32_t Pages = 1;
};

std::string Damaged(int32_t Type) { return "the image data is damaged or unsupported (" + FormatName(Type) + ")"; }

Loaded LoadPage(TVovozIdIO& io, const std::string& Name, const Input& In, int32_t Page) {
    Loaded r;
    const cl::WideString wide = win::Utf8ToUtf16(Name);
    io.Params().SetImageIndex(Page);
    if (In.URL) {
        io.LoadFromURL(wide);
        if (io.Aborting) {
            // The download's own reason when it failed; otherwise the body arrived and the
            // picture in it could not be read.
            const cl::String why = IEURLLastError();
            r.Error = why.empty() ? "cannot decode the downloaded image" : "cannot download the image: " + why;
        }
        r.Pages = std::max({1, io.Params().ImageCount, Page + 1});
        return r;
    }
    if (In.Type == ioAVI) {
        const int32_t frames = io.OpenAVIFile(wide);
        if (io.Aborting || frames <= 0) {
            io.CloseAVIFile();
            r.Error = Damaged(ioAVI);
            return r;
        }
        r.Pages = frames;
        if (Page < frames) io.LoadAVIFrame(Page);
        io.CloseAVIFile();
        if (Page < frames && io.Aborting) r.Error = Damaged(ioAVI);
        return r;
    }
    const int32_t icons = In.Type == ioICO || In.Type == ioCUR ? IconCount(Name) : -1;
    if (icons >= 0 && Page >= icons) {
        r.Pages = icons;
        return r;
    }
    const TIEFileFormatInfo* e = IEFindFormatInfo(In.Type);
    const bool byStream = In.Type == ioWMF || In.Type == ioEMF || In.Type == ioIEV || In.Type == ioLYR ||
                          In.Type == ioALL || !e->InternalFormat;
    int32_t count = -1;
    try {
        if (byStream)
            io.LoadFromFileFormat(wide, In.Type);
        else
            count = io.LoadFromFileOf(wide, In.Type);
    } catch (const std::exception& x) {
        r.Error = x.what();
        return r;
    }
    r.Pages = icons >= 0 ? icons : std::max({1, count, io.Params().ImageCount});
    if (Page < r.Pages && io.Aborting) r.Error = Damaged(In.Type);
    return r;
}

// Reads page Page of Name into a new component (with the pixel format the file has when
// Native, else the library's usual 8-bit layouts); the error text names the file.
std::unique_ptr<TVovozIdIO> Read(const std::string& Name, const Input& In, int32_t Page, bool Native,
                                 Loaded& Result) {
    auto io = std::make_unique<TVovozIdIO>(nullptr);
    io->Params().NativePixelFormat = Native;
    Result = LoadPage(*io, Name, In, Page);
    if (Result.Error.empty() && Page >= Result.Pages) Result.Error = "has " + PagesText(Result.Pages);
    if (!Result.Error.empty()) return nullptr;
    return io;
}

void Fail(std::ostream& Err, const std::string& Name, const std::string& Error) {
    // "IN has K pages" reads as a sentence about the file; every other reason follows a colon.
    Err << "lumetra-image: " << Name << (Error.rfind("has ", 0) == 0 ? " " : ": ") << Error << "\n";
}

int Info(const std::string& Name, const Options& O, std::ostream& Out, std::ostream& Err) {
    const Input in = Examine(Name);
    if (!in.Error.empty()) {
        Fail(Err, Name, in.Error);
        return 1;
    }
    Loaded first;
    std::unique_ptr<TVovozIdIO> io = Read(Name, in, 0, true, first);
    if (!io) {
        Fail(Err, Name, first.Error);
        return 1;
    }
    const int32_t type = in.URL ? io->Params().FileType : in.Type;
    // Every page, each read on its own.
    std::vector<std::string> pages;
    auto line = [](TVovozIdIO& p) {
        TIEBitmap* b = p.GetIEBitmap();
        return std::to_string(b->GetWidth()) + " x " + std::to_string(b->GetHeight()) + ", " +
               DescribePixels(b, p.Params());
    };
    pages.push_back(line(*io));
    if (type == ioAVI) {
        // The frames of a video stream share its size and pixel layout.
    } else {
        for (int32_t i = 1; i < first.Pages; ++i) {
            Loaded other;
            std::unique_ptr<TVovozIdIO> page = Read(Name, in, i, true, other);
            if (!page) {
                Fail(Err, Name, "page " + std::to_string(i) + ": " + other.Error);
                return 1;
            }
            pages.push_back(line(*page));
        }
    }
    if (O.Page > 0) {
        if (O.Page >= first.Pages) {
            Fail(Err, Name, "has " + PagesText(first.Pages));
            return 1;
        }
        Loaded chosen;
        io = Read(Name, in, O.Page, true, chosen);
        if (!io) {
            Fail(Err, Name, chosen.Error);
            return 1;
        }
    }
    TIOParamsVals& p = io->Params();
    TIEBitmap* b = io->GetIEBitmap();
    Out << "format: " << FormatName(type) << "\n";
    Out << "file type: " << type << "\n";
    Out << "pages: " << first.Pages << "\n";
    if (type == ioAVI)
        Out << "pages 0-" << first.Pages - 1 << ": " << pages[0] << "\n";
    else
        for (size_t i = 0; i < pages.size(); ++i) Out << "page " << i << ": " << pages[i] << "\n";
    Out << "page: " << O.Page << "\n";
    Out << "width: " << b->GetWidth() << "\n";
    Out << "height: " << b->GetHeight() << "\n";
    Out << "pixels: " << DescribePixels(b, p) << "\n";
    Out << "pixel format: " << PixelFormatName(b->GetPixelFormat()) << "\n";
    Out << "bits per sample: " << p.BitsPerSample << "\n";
    Out << "samples per pixel: " << p.SamplesPerPixel << "\n";
    Out << "dpi: " << p.DpiX << " x " << p.DpiY << "\n";
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

int Formats(std::ostream& Out) {
    struct Row {
        std::string Name, Extensions, Read, Write, Pages;
    };
    std::vector<Row> rows;
    auto pages = [](int32_t type) { return IsMultiPage(type) ? "many" : "one"; };
    for (int32_t i = 0; i < IEFormatCount(); ++i) {
        const TIEFileFormatInfo* e = IEFormatAt(i);
        std::string ext = Lower(e->Extensions);
        std::replace(ext.begin(), ext.end(), ';', ' ');
        rows.push_back({e->FullName, ext.empty() ? "-" : ext, Readable(e) ? "yes" : "no", Writable(e) ? "yes" : "no",
                        pages(e->FileType)});
    }
    rows.push_back({FormatName(ioAVI), "avi", AVIReadable() ? "yes" : "no", "no", pages(ioAVI)});
    size_t nameWidth = 6, extWidth = 10;
    for (const Row& r : rows) {
        nameWidth = std::max(nameWidth, r.Name.size());
        extWidth = std::max(extWidth, r.Extensions.size());
    }
    auto pad = [](const std::string& s, size_t w) { return s + std::string(w > s.size() ? w - s.size() : 0, ' '); };
    Out << pad("format", nameWidth) << "  " << pad("extensions", extWidth) << "  read  write  pages\n";
    for (const Row& r : rows)
        Out << pad(r.Name, nameWidth) << "  " << pad(r.Extensions, extWidth) << "  " << pad(r.Read, 4) << "  "
            << pad(r.Write, 5) << "  " << r.Pages << "\n";
    return 0;
}

// Makes a new file beside OUT under a name of its own, with the mode the umask gives new
// files (0666 masked); -1 and errno when the folder takes no new file.
int MakeTemporary(const fs::path& Dir, std::string& Path) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device device;
    std::mt19937 pick(device());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = ".lumetra-image-";
        for (int i = 0; i < 8; ++i) name += letters[pick() % (sizeof letters - 1)];
        Path = (Dir / name).string();
        const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// An Encapsulated PostScript file from the one-page document the PostScript writer made
// on a paper the size of the picture: the header says so and the bounding box is the
// picture's.
std::string ToEPS(std::string Doc, int32_t Width, int32_t Height) {
    const std::string head = "%!PS-Adobe-3.0\r\n";
    if (Doc.rfind(head, 0) != 0) return {};
    Doc.replace(0, head.size(), "%!PS-Adobe-3.0 EPSF-3.0\r\n");
    const std::string key = "%%BoundingBox: ";
    const size_t at = Doc.find(key);
    if (at == std::string::npos) return {};
    const size_t end = Doc.find("\r\n", at);
    if (end == std::string::npos) return {};
    Doc.replace(at, end - at, key + "0 0 " + std::to_string(Width) + " " + std::to_string(Height));
    return Doc;
}

// The TIFF compression codes of --compression.
bool TIFFCompressionOf(const std::string& Name, uint8_t& Code) {
    static const struct {
        const char* Name;
        uint8_t Code;
    } kNames[] = {{"none", 0}, {"lzw", 5}, {"deflate", 9}, {"packbits", 8}, {"jpeg", 7}, {"g3", 2}, {"g4", 4}};
    for (const auto& n : kNames)
        if (Lower(Name) == n.Name) {
            Code = n.Code;
            return true;
        }
    return false;
}

// The pixel formats a writer stores as they are, beyond 24-bit colour and black and white.
bool KeepsNative(int32_t Type, TIEPixelFormat F) {
    switch (Type) {
        case ioTIFF:
            return F == ie1g || F == ie8g || F == ie16g || F == ie8p || F == ie24RGB || F == ieRGB48 || F == ieCMYK;
        case ioPXM: return F == ie1g || F == ie24RGB || F == ieRGB48;
        default: return false;
    }
}

int Convert(const std::string& In, const std::string& OutName, const Options& O, std::ostream& Err) {
    // OUT itself: an existing folder, a file this user may not write or something other than
    // a file are refused before anything is read.
    struct stat outStat {};
    const bool exists = ::stat(OutName.c_str(), &outStat) == 0;
    if (exists && S_ISDIR(outStat.st_mode)) {
        Fail(Err, OutName, SystemReason(EISDIR));
        return 1;
    }
    if (exists && !S_ISREG(outStat.st_mode)) {
        Fail(Err, OutName, "not a regular file");
        return 1;
    }
    if (exists && ::access(OutName.c_str(), W_OK) != 0) {
        Fail(Err, OutName, SystemReason(errno));
        return 1;
    }

    // The output format: --type, else OUT's extension.
    std::string ext = O.Type.empty() ? ExtensionOf(OutName) : Lower(O.Type);
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    const int32_t type = IEFileTypeOfExtension(ext);
    if (!Writable(IEFindFormatInfo(type))) {
        Err << "lumetra-image: " << OutName << ": no writer for "
            << (ext.empty() ? std::string("a name without extension") : "\"" + ext + "\"") << " in this program\n";
        return 2;
    }
    uint8_t tiffCompression = 0;
    int32_t pngLevel = -1;
    if (!O.Compression.empty()) {
        const bool ok = type == ioTIFF   ? TIFFCompressionOf(O.Compression, tiffCompression)
                        : type == ioPNG ? ParseInt(O.Compression, 0, 9, pngLevel)
                                        : false;
        if (!ok) {
            Err << "lumetra-image: bad value for --compression: \"" << O.Compression << "\" ("
                << (type == ioTIFF  ? "TIFF: none, lzw, deflate, packbits, jpeg, g3 or g4"
                    : type == ioPNG ? "PNG: a level from 0 to 9"
                                    : "only TIFF and PNG output take one")
                << ")\n";
            return 2;
        }
    }
    const Input input = Examine(In);
    if (!input.Error.empty()) {
        Fail(Err, In, input.Error);
        return 1;
    }
    // The file's own pixel format where the writer keeps it (16-bit samples, palettes, CMYK
    // in TIFF), else the library's usual layouts.
    Loaded loaded;
    const bool native = type == ioTIFF || type == ioPXM;
    std::unique_ptr<TVovozIdIO> io = Read(In, input, O.Page, native, loaded);
    if (io && native && !KeepsNative(type, io->GetIEBitmap()->GetPixelFormat()))
        io = Read(In, input, O.Page, false, loaded);
    if (!io) {
        Fail(Err, In, loaded.Error);
        return 1;
    }
    TIEBitmap* bitmap = io->GetIEBitmap();
    // The parameters still describe the file read, and a writer takes them as the layout wanted: a colour
    // picture stored as palette indexes (one sample) would be written as grey.
    TIOParamsVals& params = io->Params();
    if (params.SamplesPerPixel == 1 && params.BitsPerSample > 1 && HasColour(bitmap)) {
        params.SamplesPerPixel = 3;
        params.BitsPerSample = 8;
    }
    if (type == ioPXM) {
        // The anymap kind the extension names; .pxm the one the picture needs. The writer
        // stores a black-and-white bitmap as a bitmap whatever the parameters say.
        const TIEPixelFormat f = bitmap->GetPixelFormat();
        std::string kind = ext;
        if (kind == "pxm") kind = f == ie1g ? "pbm" : !HasColour(bitmap) && f != ieRGB48 ? "pgm" : "ppm";
        if (kind != "pbm" && f == ie1g) bitmap->SetPixelFormat(ie24RGB);
        params.SamplesPerPixel = kind == "ppm" ? 3 : 1;
        params.BitsPerSample = kind == "pbm" ? 1 : kind == "ppm" && f == ieRGB48 ? 16 : 8;
    }
    if (type == ioICO) {
        // One icon of the picture's size, in full colour (with its alpha channel if it has one).
        if (bitmap->GetWidth() > 256 || bitmap->GetHeight() > 256) {
            Fail(Err, In,
                 "an icon is at most 256 x 256 pixels; this picture is " + std::to_string(bitmap->GetWidth()) + " x " +
                     std::to_string(bitmap->GetHeight()));
            return 1;
        }
        params.ICOSizes.fill({0, 0});
        params.ICOBitCount.fill(0);
        params.ICOSizes[0] = {bitmap->GetWidth(), bitmap->GetHeight()};
        params.ICOBitCount[0] = bitmap->HasAlphaChannel() ? 32 : 24;
    }
    const bool eps = type == ioPS && ext == "eps";
    if (eps) {
        // One pixel a point.
        params.PSPaperWidth = bitmap->GetWidth();
        params.PSPaperHeight = bitmap->GetHeight();
    }
    if (O.Quality >= 0) {
        params.JPEGQuality = O.Quality;
        params.TIFFJPEGQuality = O.Quality;
        params.J2000Rate = O.Quality / 100.0;
        params.HDPhotoQuality = O.Quality / 100.0;
    }
    if (type == ioTIFF && !O.Compression.empty()) {
        if ((tiffCompression == 2 || tiffCompression == 4) && bitmap->GetPixelFormat() != ie1g) {
            Fail(Err, In, "g3 and g4 compression are for black-and-white pictures; this one is " +
                              DescribePixels(bitmap, params));
            return 1;
        }
        params.TIFFCompression = tiffCompression;
    }
    if (pngLevel >= 0) params.PNGCompression = pngLevel;

    // Written beside OUT under a name of its own, renamed when whole.
    const fs::path out(OutName);
    const fs::path dir = out.has_parent_path() ? out.parent_path() : fs::path(".");
    std::string temp;
    const int fd = MakeTemporary(dir, temp);
    if (fd < 0) {
        Fail(Err, OutName, "cannot write in " + dir.string() + ": " + SystemReason(errno));
        return 1;
    }
    const bool modeSet = !exists || ::fchmod(fd, outStat.st_mode & 07777) == 0;
    const int modeError = errno;
    ::close(fd);
    const win::ExitCleanupId cleanup = win::AddExitCleanup([temp] { std::remove(temp.c_str()); });
    std::string failure;
    if (!modeSet) failure = "cannot keep the mode of the file: " + SystemReason(modeError);
    if (failure.empty()) {
        try {
            io->SaveToFileOf(win::Utf8ToUtf16(temp), type);
            if (io->Aborting) failure = "the image cannot be written in this format";
        } catch (const std::exception& x) {
            failure = x.what();
        }
    }
    if (failure.empty() && eps) {
        std::ifstream in(temp, std::ios::binary);
        const std::string doc = ToEPS({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()},
                                      bitmap->GetWidth(), bitmap->GetHeight());
        in.close();
        std::ofstream rewrite(temp, std::ios::binary | std::ios::trunc);
        if (doc.empty() || !rewrite.write(doc.data(), static_cast<std::streamsize>(doc.size())) || !rewrite.flush())
            failure = "cannot write the Encapsulated PostScript file";
    }
    if (failure.empty() && std::rename(temp.c_str(), OutName.c_str()) != 0) failure = SystemReason(errno);
    if (!failure.empty()) std::remove(temp.c_str());
    win::RemoveExitCleanup(cleanup);
    if (!failure.empty()) {
        Fail(Err, OutName, failure);
        return 1;
    }
    return 0;
}

}  // namespace

int Run(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err) {
    Options o;
    std::vector<std::string> words;
    bool help = false, onlyWords = false;
    std::vector<std::string> given;  // the options named, for the check of what a command takes
    for (size_t i = 0; i < Args.size(); ++i) {
        const std::string& a = Args[i];
        if (onlyWords || a == "-" || a.empty() || a[0] != '-') {
            words.push_back(a);
            continue;
        }
        if (a == "--") {
            onlyWords = true;
            continue;
        }
        if (a == "-h" || a == "--help") {
            help = true;
            continue;
        }
        std::string name = a, value;
        bool hasValue = false;
        if (const size_t eq = a.find('='); eq != std::string::npos && a.rfind("--", 0) == 0) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            hasValue = true;
        }
        if (name != "--page" && name != "--quality" && name != "--compression" && name != "--type") {
            Err << "lumetra-image: unknown option \"" << a << "\"\n" << kUsage;
            return 2;
        }
        if (!hasValue) {
            if (i + 1 >= Args.size()) {
                Err << "lumetra-image: option " << name << " needs a value\n" << kUsage;
                return 2;
            }
            value = Args[++i];
        }
        bool ok = true;
        if (name == "--page") {
            ok = ParseInt(value, 0, 1 << 20, o.Page);
            o.HasPage = true;
        } else if (name == "--quality") {
            ok = ParseInt(value, 0, 100, o.Quality);
        } else if (name == "--compression") {
            ok = !value.empty();
            o.Compression = value;
        } else {
            ok = !value.empty();
            o.Type = value;
        }
        if (!ok) {
            Err << "lumetra-image: bad value for " << name << ": \"" << value << "\"\n" << kUsage;
            return 2;
        }
        given.push_back(name);
    }
    if (help || (words.size() == 1 && words[0] == "help")) {
        Out << kUsage << "\n" << kHelp;
        return 0;
    }
    if (words.empty()) {
        Err << kUsage;
        return 2;
    }
    const std::string& command = words[0];
    struct Command {
        const char* Name;
        size_t Words;
        std::vector<std::string> Takes;
    };
    static const Command kCommands[] = {
        {"info", 2, {"--page"}},
        {"convert", 3, {"--page", "--quality", "--compression", "--type"}},
        {"formats", 1, {}},
    };
    for (const Command& c : kCommands) {
        if (command != c.Name) continue;
        if (words.size() != c.Words) {
            Err << "lumetra-image: " << command << " takes " << (c.Words == 1 ? "no file" : c.Words == 2 ? "one file" : "IN and OUT")
                << "\n"
                << kUsage;
            return 2;
        }
        for (const std::string& g : given)
            if (std::find(c.Takes.begin(), c.Takes.end(), g) == c.Takes.end()) {
                Err << "lumetra-image: " << command << " takes no " << g << " option\n" << kUsage;
                return 2;
            }
        if (command == "info") return Info(words[1], o, Out, Err);
        if (command == "formats") return Formats(Out);
        return Convert(words[1], words[2], o, Err);
    }
    Err << "lumetra-image: unknown command \"" << command << "\"\n" << kUsage;
    return 2;
}

}  // namespace lumetra_image
