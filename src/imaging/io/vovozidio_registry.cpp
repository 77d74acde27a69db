// The format registry and content detection.
#include "imaging/io/vovozidio_registry.h"

#include <cstring>
#include <vector>

#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_streams.h"
#include "imaging/formats/iewic.h"
#include "platform/codepage.h"

namespace ie {

bool (*IEWICAvailable)() = &IEWICAvailableOnce;

namespace {

std::vector<std::unique_ptr<TIEFileFormatInfo>>& Registry() {
    static std::vector<std::unique_ptr<TIEFileFormatInfo>> list;
    return list;
}

// The built-in entries' placeholders: reading and writing do nothing, the content test
// answers False. Only added formats are found by step 27 of the detection.
void ReadPlaceholder(cl::TStream*, TIEBitmap*, TIOParamsVals&, bool, TProgressRec&) {}
void WritePlaceholder(cl::TStream*, TIEBitmap*, TIOParamsVals&, TProgressRec&) {}
bool TryPlaceholder(cl::TStream*, int32_t) { return false; }

struct BuiltIn {
    int32_t Type;
    const char* Name;
    const char* Extensions;
    bool Read, Write;
    uint16_t Page;
};

// In registry order.
constexpr BuiltIn kBuiltIns[] = {
    {ioTIFF, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", true, true, ppTIFF},
    {ioGIF, "CompuServe Bitmap", "GIF", true, true, ppGIF},
    {ioJPEG, "JPEG Bitmap", "JPG;JPEG;JPE;JIF", true, true, ppJPEG},
    {ioPCX, "PaintBrush", "PCX", true, true, ppPCX},
    {ioBMP, "Windows Bitmap", "BMP;DIB;RLE", true, true, ppBMP},
    {ioBMPRAW, "Raw Bitmap", "", true, true, 0},
    {ioICO, "Windows Icon", "ICO", true, true, 0},
    {ioCUR, "Windows Cursor", "CUR", true, false, 0},
    {ioPNG, "Portable Network Graphics", "PNG", true, true, ppPNG},
    {ioDICOM, "DICOM Bitmap", "DCM;DIC;DICOM", true, false, 0},
    {ioWMF, "Windows Metafile", "WMF", true, false, 0},
    {ioEMF, "Enhanced Windows Metafile", "EMF", true, false, 0},
    {ioTGA, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", true, true, ppTGA},
    {ioPXM, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", true, true, 0},
    {ioWBMP, "Wireless Bitmap", "WBMP", true, true, 0},
    {ioJP2, "JPEG2000", "JP2", true, true, ppJ2000},
    {ioJ2K, "JPEG2000 Code Stream", "J2K;JPC;J2C", true, true, ppJ2000},
    {ioPS, "PostScript Level 2", "PS;EPS", false, true, 0},
    {ioPDF, "Adobe PDF", "PDF", false, true, 0},
    {ioDCX, "Multipage PCX", "DCX", true, true, 0},
    {ioRAW, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", true, false, 0},
    {ioPSD, "Photoshop PSD", "PSD", true, true, 0},
    {ioIEV, "Vectorial objects", "IEV", true, true, 0},
    {ioLYR, "Layers", "LYR", true, true, 0},
    {ioALL, "Layers and objects", "ALL", true, true, 0},
    {ioHDP, "Microsoft HD Photo", "WDP;HDP;JXR", true, true, 0},
};

// Item Index of a ";"-separated list.
cl::String ListItem(const cl::String& List, int32_t Index) {
    if (Index < 0) return {};
    size_t start = 0;
    for (int32_t i = 0;; ++i) {
        size_t end = List.find(';', start);
        if (i == Index) return List.substr(start, end == cl::String::npos ? cl::String::npos : end - start);
        if (end == cl::String::npos) return {};
        start = end + 1;
    }
}

// Reads up to Count bytes from Start into a zero-filled buffer; the number read.
int64_t ReadHead(cl::TStream* Stream, int64_t Start, uint8_t* Buffer, int64_t Count) {
    std::memset(Buffer, 0, static_cast<size_t>(Count));
    Stream->Seek(Start, cl::soBeginning);
    return IEReadUpTo(Stream, Buffer, Count);
}

// The first 5 bytes as a zero-terminated text equal Tag (4 characters or fewer).
bool TagIs(const uint8_t* Head, const char* Tag) {
    const size_t len = std::strlen(Tag);
    if (std::memcmp(Head, Tag, len) != 0) return false;
    return Head[len] == 0;
}

bool ProbeOf(int32_t Type, cl::TStream* Stream) {
    TIEFileFormatInfo* e = IEFindFormatInfo(Type);
    return e && e->Ops.Probe && e->Ops.Probe(Stream);
}

}  // namespace

void IEBuildFormatRegistry() {
    IEFreeFormatRegistry();
    for (const BuiltIn& b : kBuiltIns) {
        if (b.Type == ioHDP && !(IEWICAvailable && IEWICAvailable())) continue;
        auto e = std::make_unique<TIEFileFormatInfo>();
        e->FileType = b.Type;
        e->FullName = b.Name;
        e->Extensions = b.Extensions;
        e->InternalFormat = true;
        e->DialogPage = b.Page;
        e->ReadFunction = b.Read ? &ReadPlaceholder : nullptr;
        e->WriteFunction = b.Write ? &WritePlaceholder : nullptr;
        e->TryFunction = &TryPlaceholder;
        IERegisterFormat(std::move(e));
    }
}

void IEFreeFormatRegistry() { Registry().clear(); }

void IERegisterFormat(std::unique_ptr<TIEFileFormatInfo> Info) {
    if (Info) Registry().push_back(std::move(Info));
}

void IEUnregisterFormat(int32_t FileType) {
    auto& list = Registry();
    for (auto it = list.begin(); it != list.end(); ++it)
        if ((*it)->FileType == FileType) {
            list.erase(it);
            return;
        }
}

bool IESetFormatOps(int32_t FileType, const TIEFormatOps& Ops) {
    TIEFileFormatInfo* e = IEFindFormatInfo(FileType);
    if (!e || !e->InternalFormat) return false;
    e->Ops = Ops;
    return true;
}

int32_t IEFormatCount() { return static_cast<int32_t>(Registry().size()); }

TIEFileFormatInfo* IEFormatAt(int32_t Index) {
    if (Index < 0 || Index >= IEFormatCount()) return nullptr;
    return Registry()[static_cast<size_t>(Index)].get();
}

TIEFileFormatInfo* IEFindFormatInfo(int32_t FileType) {
    for (auto& e : Registry())
        if (e->FileType == FileType) return e.get();
    return nullptr;
}

void IEGetFormatExtension(int32_t FileType, int32_t Index, cl::String& Ext) {
    TIEFileFormatInfo* e = IEFindFormatInfo(FileType);
    Ext = e ? ListItem(e->Extensions, Index) : cl::String();
}

cl::String IEGetFormatExtension(int32_t FileType, int32_t Index) {
    cl::String ext;
    IEGetFormatExtension(FileType, Index, ext);
    return ext;
}

int32_t IEGetFormatExtensionCount(int32_t FileType) {
    int32_t n = 0;
    while (!IEGetFormatExtension(FileType, n).empty()) ++n;
    return n;
}

TIEFileFormatInfo* IEFindFormatInfoByExtension(const cl::String& Ext) {
    cl::String ext = cl::LowerCase(Ext);
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    if (ext.empty()) return nullptr;
    for (auto& e : Registry()) {
        const cl::String list = cl::LowerCase(e->Extensions);
        for (int32_t i = 0;; ++i) {
            cl::String item = ListItem(list, i);
            if (item.empty()) break;
            if (item == ext) return e.get();
        }
    }
    return nullptr;
}

int32_t IEFileTypeOfExtension(const cl::String& Ext) {
    TIEFileFormatInfo* e = IEFindFormatInfoByExtension(Ext);
    return e ? e->FileType : ioUnknown;
}

int64_t IEReadUpTo(cl::TStream* Stream, void* Buffer, int64_t Count) {
    auto* p = static_cast<uint8_t*>(Buffer);
    int64_t done = 0;
    while (done < Count) {
        const int64_t n = Stream->Read(p + done, Count - done);
        if (n <= 0) break;
        done += n;
    }
    return done;
}

bool IEIsAVIStream(cl::TStream* Stream) {
    const int64_t p = Stream->GetPosition();
    uint8_t head[12];
    const int64_t n = ReadHead(Stream, p, head, 12);
    Stream->Seek(p, cl::soBeginning);
    return n == 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0;
}

int32_t IEFindStreamFormat(cl::TStream* Stream) {
    if (!Stream) return ioUnknown;
    int32_t result = ioUnknown;
    int64_t p = 0;
    try {
        p = Stream->GetPosition();
        // The bytes left after the start position decide what the header tests can read.
        const int64_t left = Stream->GetSize() - p;
        uint8_t head[128];
        auto back = [&] { Stream->Seek(p, cl::soBeginning); };
        auto test = [&](int64_t need, auto&& check) -> bool {
            if (left <= need) return false;
            const bool ok = ReadHead(Stream, p, head, need) == need && check();
            back();
            return ok;
        };
        auto probe = [&](auto&& check) -> bool {
            back();
            const bool ok = check();
            back();
            return ok;
        };
        if (test(12, [&] { return TagIs(head, "JFIF"); }))
            result = ioJPEG;
        else if (test(13, [&] { return std::memcmp(head, "GIF", 3) == 0; }))
            result = ioGIF;
        else if (test(12, [&] { return TagIs(head, "PCX2"); }))
            result = ioPCX;
        else if (test(4, [&] { return TagIs(head, "PCX"); }))
            result = ioPCX;
        else if (test(14, [&] { return head[0] == 'B' && head[1] == 'M'; }))
            result = ioBMP;
        else if (test(128, [&] { return head[0] == 10 && head[1] <= 5; }))
            result = ioPCX;
        else if (test(12, [&] { return TagIs(head, "TIFF"); }))
            result = ioTIFF;
        else if (probe([&] { return ProbeOf(ioHDP, Stream); }))
            result = ioHDP;
        else if (probe([&] {
                     if (!ProbeOf(ioTIFF, Stream)) return false;
                     back();
                     TIEFileFormatInfo* raw = IEFindFormatInfo(ioRAW);
                     return !(raw && raw->Ops.TIFFBasedProbe && raw->Ops.TIFFBasedProbe(Stream));
                 }))
            result = ioTIFF;
        else if (left > 8 && probe([&] { return ProbeOf(ioPNG, Stream); }))
            result = ioPNG;
        else {
            static constexpr int32_t kProbed[] = {ioDICOM, ioICO, ioCUR, ioTGA, ioPXM, ioJP2, ioJ2K, ioAVI,
                                                  ioDCX,   ioWMF, ioEMF, ioPSD, ioIEV, ioLYR, ioALL, ioJPEG};
            for (int32_t type : kProbed) {
                const bool hit = type == ioAVI ? probe([&] { return IEIsAVIStream(Stream); })
                                               : probe([&] { return ProbeOf(type, Stream); });
                if (hit) {
                    result = type;
                    break;
                }
            }
        }
        if (result == ioUnknown) {
            // Added formats, by their content tests, in registry order.
            for (int32_t i = 0; i < IEFormatCount() && result == ioUnknown; ++i) {
                TIEFileFormatInfo* e = IEFormatAt(i);
                if (!e->TryFunction) continue;
                back();
                if (e->TryFunction(Stream, e->FileType)) result = e->FileType;
            }
            back();
            if (result == ioUnknown && ProbeOf(ioRAW, Stream)) result = ioRAW;
        }
    } catch (...) {
        // A test that raised ends the detection with what was found so far.
    }
    try {
        Stream->Seek(p, cl::soBeginning);
    } catch (...) {
    }
    return result;
}

int32_t IEFindFileFormat(const cl::WideString& FileName, bool CheckExtension) {
    if (FileName.empty() || !IEFileExistsW(FileName)) return ioUnknown;
    int32_t result = ioUnknown;
    try {
        TIEWideFileStream file(FileName, cl::fmOpenRead | cl::fmShareDenyWrite);
        result = IEFindStreamFormat(&file);
    } catch (...) {
        result = ioUnknown;
    }
    const cl::String ext = win::Utf16ToUtf8(IEExtractFileExtW(FileName, false));
    TIEFileFormatInfo* e = IEFindFormatInfoByExtension(ext);
    if (e && e->FileType == ioRAW && result == ioTIFF) result = ioRAW;
    if (e && !e->InternalFormat) return e->FileType;
    if (CheckExtension && result != ioUnknown) {
        if (!e)
            result = ioUnknown;
        else if (result == ioICO || result == ioCUR)
            result = e->FileType;
        else if (result != e->FileType)
            result = ioUnknown;
    }
    return result;
}

int32_t IEFindFileFormat(const cl::String& FileName, bool CheckExtension) {
    return IEFindFileFormat(win::Utf8ToUtf16(FileName), CheckExtension);
}

}  // namespace ie
