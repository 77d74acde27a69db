#include "imaging/core/hyieutils_bitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "imaging/core/hyieutils_budget.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_filebuffer.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/hyieutils_startup.h"

namespace ie {

namespace {

constexpr int64_t kDefaultMinFileSize = 33554432;  // 32 MiB when the memory is not known
constexpr uint64_t kMinSegmentSize = 10485760;     // 10 MiB once more than four are used

// Resets what a bitmap format says about a TBitmap pixel format.
cl::TPixelFormat VclFormatOf(TIEPixelFormat f) {
    switch (f) {
        case ie1g: return cl::pf1bit;
        case ie8p:
        case ie8g: return cl::pf8bit;
        case ie24RGB: return cl::pf24bit;
        case ie32RGB: return cl::pf32bit;
        default: return cl::pfCustom;
    }
}

// The message of a format that a TBitmap cannot hold.
const char* VclRefusal(TIEPixelFormat f) {
    switch (f) {
        case ie32f:
            return "ie32f pixel format not allowed when Location=ieTBitmap Please set TVovozIdView.LegacyBitmap=false.";
        case ieCMYK:
            return "ieCMYK pixel format not allowed when Location=ieTBitmap. Please set "
                   "TVovozIdView.LegacyBitmap=false.";
        case ieRGB48:
            return "ieRGB48 pixel format not allowed when Location=ieTBitmap Please set "
                   "TVovozIdView.LegacyBitmap=false.";
        case ieCIELab:
            return "ieCIELab pixel format not allowed when Location=ieTBitmap Please set "
                   "TVovozIdView.LegacyBitmap=false.";
        default: return nullptr;
    }
}

// The colour a TColor stands for (system colours resolved), as blue, green, red.
TRGB ColorToTRGB(cl::TColor c) {
    const uint32_t v = static_cast<uint32_t>(cl::ColorToRGB(c));
    return TRGB{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

// Floor of n / d for d > 0.
inline int64_t FloorDiv(int64_t n, int64_t d) {
    int64_t q = n / d;
    if ((n % d != 0) && (n < 0)) --q;
    return q;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction

TIEBitmap::TIEBitmap() : FFileBuffer(std::make_unique<TIEFileBuffer>()) {
    if (IEDefaultMinFileSize != -1) {
        MinFileSize = IEDefaultMinFileSize;
    } else {
        const int64_t total = IEGetPhysicalMemory(false);
        MinFileSize = total == 0 ? kDefaultMinFileSize : static_cast<int64_t>(static_cast<double>(total) / 1.3);
    }
}

TIEBitmap::TIEBitmap(int32_t ImageWidth, int32_t ImageHeight, TIEPixelFormat ImagePixelFormat) : TIEBitmap() {
    Allocate(ImageWidth, ImageHeight, ImagePixelFormat);
}

TIEBitmap::~TIEBitmap() {
    try {
        FreeImage(true);
    } catch (...) {
        // A row that cannot be written back any more is lost with the bitmap.
    }
}

std::unique_ptr<TIEBitmap> TIEBitmap::CreateAsAlphaChannel(int32_t ImageWidth, int32_t ImageHeight,
                                                           TIELocation ImageLocation) {
    auto a = std::make_unique<TIEBitmap>();
    a->IsAlphaChannel = true;
    a->FLocation = ImageLocation == ieTBitmap ? ieMemory : ImageLocation;
    if (!a->Allocate(ImageWidth, ImageHeight, ie8g)) return a;
    // Fully opaque: every byte of every row 255.
    const TIEBitmapAccess saved = a->Access;
    a->Access = ieaWrite;
    for (int32_t r = 0; r < a->FHeight; ++r) std::memset(a->GetScanline(r), 255, static_cast<size_t>(a->FRowLen));
    a->Access = saved;
    a->ReleaseScanlineRow();
    a->Full = true;
    return a;
}

// ---------------------------------------------------------------------------------------
// Fields and format

void TIEBitmap::SetFormatFields(TIEPixelFormat Format) {
    FPixelFormat = Format;
    const int code = IEIsValidPixelFormat(Format) ? Format : 0;
    FBitCount = IEPixelFormat2BitCount[code];
    FChannelCount = IEPixelFormat2ChannelCount[code];
    const int32_t align = FLocation == ieTBitmap ? 32 : FRowAlign;
    const int64_t len = FWidth > 0 && FBitCount > 0 ? IEBitmapRowLen(FWidth, FBitCount, align) : 0;
    FRowLen = len > 0 && len <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(len) : 0;
}

int32_t TIEBitmap::GetBitCount() {
    SyncWithVclBitmap();
    return FBitCount;
}

int32_t TIEBitmap::GetHeight() {
    SyncWithVclBitmap();
    return FHeight;
}

int32_t TIEBitmap::GetWidth() {
    SyncWithVclBitmap();
    return FWidth;
}

TIEPixelFormat TIEBitmap::GetPixelFormat() {
    SyncWithVclBitmap();
    return FPixelFormat;
}

int32_t TIEBitmap::GetRowLen() {
    SyncWithVclBitmap();
    return FRowLen;
}

int32_t TIEBitmap::GetChannelCount() {
    SyncWithVclBitmap();
    return FChannelCount;
}

bool TIEBitmap::IsEmpty() {
    SyncWithVclBitmap();
    return FWidth == 0 || FHeight == 0 || FRowLen == 0 || FBitCount == 0;
}

// ---------------------------------------------------------------------------------------
// Palette

void TIEBitmap::GetPaletteEntry(int32_t Index, TRGB& Color) {
    if (FPalette && Index >= 0 && Index < FPaletteLength) Color = FPalette[Index];
}

void TIEBitmap::SetPaletteEntry(int32_t Index, const TRGB& Color) {
    if (!FPalette || Index < 0 || Index >= FPaletteLength) return;
    FPalette[Index] = Color;
    if (FLocation == ieTBitmap) SyncVclPalette();
}

void TIEBitmap::SyncVclPalette() {
    if (FLocation != ieTBitmap || !FVclBitmap || !FPalette || FPaletteLength <= 0) return;
    if (FVclBitmap->GetPixelFormat() != cl::pf8bit && FVclBitmap->GetPixelFormat() != cl::pf1bit) return;
    std::vector<win::RGBQUAD> table(static_cast<size_t>(FPaletteLength));
    for (int32_t i = 0; i < FPaletteLength; ++i)
        table[static_cast<size_t>(i)] = win::RGBQUAD{FPalette[i].b, FPalette[i].g, FPalette[i].r, 0};
    FVclBitmap->SetColorTable(table);
    BuildVclRows();
}

void TIEBitmap::CopyPaletteTo(cl::TObject* Dest) {
    auto* d = dynamic_cast<TIEBitmap*>(Dest);
    if (!d || d == this) return;
    d->FPalette.reset();
    d->FPaletteLength = 0;
    d->PaletteUsed = 256;
    if (FPalette && FPaletteLength > 0) {
        d->FPalette.reset(new TRGB[256]);
        std::copy(FPalette.get(), FPalette.get() + FPaletteLength, d->FPalette.get());
        d->FPaletteLength = FPaletteLength;
        d->PaletteUsed = PaletteUsed;
        d->SyncVclPalette();
    }
}

void TIEBitmap::CopyPaletteEntriesFrom(TIEBitmap* Source) {
    if (!Source->FPalette || Source->FPaletteLength <= 0) return;
    if (!FPalette) {
        FPalette.reset(new TRGB[256]);
        FPaletteLength = 256;
    }
    const int32_t n = std::min(Source->FPaletteLength, 256);
    std::copy(Source->FPalette.get(), Source->FPalette.get() + n, FPalette.get());
    FPaletteLength = n;
}

// ---------------------------------------------------------------------------------------
// Storage

bool TIEBitmap::Allocate(int32_t ImageWidth, int32_t ImageHeight, TIEPixelFormat ImagePixelFormat) {
    if (!FNeedsAllocate && ImageWidth == GetWidth() && ImageHeight == GetHeight() &&
        ImagePixelFormat == GetPixelFormat())
        return true;
    if (!Encapsulated) {
        FreeImage(true);
    } else {
        FAlphaChannel.reset();
        ReleaseMappedRows();
        FPalette.reset();
        FPaletteLength = 0;
    }
    FWidth = ImageWidth;
    FHeight = ImageHeight;
    FPixelFormat = ImagePixelFormat;
    const bool ok = AllocateStorage();
    if (!ok) ClearShape();
    FNeedsAllocate = false;
    return ok;
}

bool TIEBitmap::AllocateStorage() {
    if (FWidth < 1 || FHeight < 1 || FPixelFormat == ieNone || !IEIsValidPixelFormat(FPixelFormat)) return false;
    // A picture being read may not claim more pixels than the readers' budget.
    if (!IEReaderPixelsAllowed(FWidth, FHeight)) return false;
    if (FPixelFormat == ie8p) {
        FPalette.reset(new (std::nothrow) TRGB[256]);
        if (!FPalette) return false;
        FPaletteLength = 256;
    }
    SetFormatFields(FPixelFormat);
    if (FRowLen <= 0) return false;
    const uint64_t size = static_cast<uint64_t>(FRowLen) * static_cast<uint64_t>(FHeight);
    const int64_t ssize = static_cast<int64_t>(size);

    if (FLocation == ieFile && ssize < MinFileSize)
        FLocation = ieMemory;
    else if (FLocation == ieMemory && ssize > MinFileSize)
        FLocation = ieFile;

    bool ok = false;
    switch (FLocation) {
        case ieFile:
            if (AllocateFileStorage(size)) {
                ok = true;
                break;
            }
            FLocation = ieMemory;
            [[fallthrough]];
        case ieMemory:
            if (AllocateMemoryBlock(size) || (IESegmentedMemory && AllocateSegments())) {
                ok = true;
                break;
            }
            if (!IEMemoryToFileFallback) return false;
            FLocation = ieFile;
            ok = AllocateFileStorage(size);
            break;
        case ieTBitmap: ok = AllocateVclStorage(size); break;
    }
    if (!ok) return false;
    Full = false;
    return true;
}

bool TIEBitmap::AllocateFileStorage(uint64_t Size) {
    return FFileBuffer->AllocateFile("IMG", true, static_cast<int64_t>(Size));
}

bool TIEBitmap::AllocateMemoryBlock(uint64_t Size) {
    void* block = nullptr;
    try {
        block = IEAutoAlloc(Size + 128);
    } catch (const std::bad_alloc&) {
        block = nullptr;
    }
    if (!block) return false;
    FMemoryBlock = block;
    const uintptr_t p = reinterpret_cast<uintptr_t>(block);
    FMemoryBase = reinterpret_cast<uint8_t*>((p + 64) & ~uintptr_t{63});
    return true;
}

bool TIEBitmap::AllocateSegments() {
    const uint64_t rowLen = static_cast<uint64_t>(FRowLen);
    for (int64_t n = 4;; n *= 2) {
        const int64_t rowsPerSegment = (FHeight + n - 1) / n;
        const uint64_t segmentSize = static_cast<uint64_t>(rowsPerSegment) * rowLen;
        if (segmentSize < kMinSegmentSize && n > 4) return false;
        // Only the segments that rows fall into are needed.
        const int64_t count = (FHeight + rowsPerSegment - 1) / rowsPerSegment;
        std::vector<void*> segments;
        segments.reserve(static_cast<size_t>(count));
        bool failed = false;
        for (int64_t i = 0; i < count; ++i) {
            void* s = IEGlobalAllocZeroed(segmentSize);
            if (!s) {
                failed = true;
                break;
            }
            segments.push_back(s);
        }
        if (!failed) {
            FSegments = std::move(segments);
            FSegmentCount = static_cast<int32_t>(count);
            FRowsPerSegment = static_cast<int32_t>(rowsPerSegment);
            return true;
        }
        for (void*& s : segments) IEGlobalFreeAndNil(s);
        if (n * 2 >= FHeight) return false;
    }
}

bool TIEBitmap::AllocateVclStorage(uint64_t Size) {
    if (static_cast<int64_t>(Size) > IEGetPhysicalMemory(false)) return false;
    const bool created = FVclBitmap == nullptr;
    if (created) FVclBitmap = new cl::TBitmap();
    try {
        FVclBitmap->SetSize(1, 1);
        FVclBitmap->SetPixelFormat(cl::pfDevice);
        if (const char* refusal = VclRefusal(FPixelFormat)) throw cl::Exception(refusal);
        if (FPixelFormat == ie16g) SetFormatFields(ie8g);
        FVclBitmap->SetPixelFormat(VclFormatOf(FPixelFormat));
        FVclBitmap->SetSize(FWidth, FHeight);
        if (FPixelFormat == ie8g) IESetGrayPalette(FVclBitmap);
        if (FPixelFormat == ie8p && FPalette) {
            // The new entries are those of the bitmap's colour table.
            const auto& table = FVclBitmap->GetColorTable();
            for (size_t i = 0; i < table.size() && i < 256; ++i)
                FPalette[i] = TRGB{table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed};
        }
        SetFormatFields(FPixelFormat);
        BuildVclRows();
    } catch (const std::exception&) {
        if (created && !Encapsulated) {
            delete FVclBitmap;
            FVclBitmap = nullptr;
        }
        FVclRows.clear();
        return false;
    }
    return true;
}

void TIEBitmap::BuildVclRows() {
    FVclRows.clear();
    if (!FVclBitmap) return;
    const int h = FVclBitmap->GetHeight();
    if (FVclBitmap->GetWidth() <= 0 || h <= 0) return;
    FVclRows.resize(static_cast<size_t>(h));
    for (int r = 0; r < h; ++r) FVclRows[static_cast<size_t>(r)] = static_cast<uint8_t*>(FVclBitmap->ScanLine(r));
}

void TIEBitmap::ReleaseScanlineRow() {
    if (!FMappedRow) return;
    void* row = FMappedRow;
    FMappedRow = nullptr;
    FFileBuffer->Unmap(row);
}

void TIEBitmap::ReleaseMappedRows() {
    ReleaseScanlineRow();
    while (!FMappedBuffers.empty()) {
        void* b = FMappedBuffers.back();
        FMappedBuffers.pop_back();
        FMappedIndexes.pop_back();
        FFileBuffer->Unmap(b);
    }
}

void TIEBitmap::FreeStorage() {
    ReleaseMappedRows();
    FFileBuffer->FreeFile();
    if (FMemoryBlock) IEAutoFree(FMemoryBlock);
    FMemoryBase = nullptr;
    for (void*& s : FSegments) IEGlobalFreeAndNil(s);
    FSegments.clear();
    FSegmentCount = 0;
    FRowsPerSegment = 0;
    if (FVclBitmap && !Encapsulated) delete FVclBitmap;
    FVclBitmap = nullptr;
    FVclRows.clear();
}

void TIEBitmap::FreeImage(bool FreeAlpha) {
    if (FreeAlpha) FAlphaChannel.reset();
    FPalette.reset();
    FPaletteLength = 0;
    FreeStorage();
    ClearShape();
    Full = false;
    Encapsulated = false;
}

void TIEBitmap::ClearShape() {
    FWidth = 0;
    FHeight = 0;
    FBitCount = 0;
    FChannelCount = 0;
    FRowLen = 0;
}

// ---------------------------------------------------------------------------------------
// Rows

void* TIEBitmap::MapFileRow(int32_t Row) {
    return FFileBuffer->Map(Access, FRowLen, static_cast<int64_t>(Row) * FRowLen);
}

void* TIEBitmap::GetScanline(int32_t Row) {
    switch (FLocation) {
        case ieMemory:
            if (Row < 0 || Row >= FHeight) return nullptr;
            if (FSegmentCount > 0)
                return static_cast<uint8_t*>(FSegments[static_cast<size_t>(Row / FRowsPerSegment)]) +
                       static_cast<size_t>(Row % FRowsPerSegment) * static_cast<size_t>(FRowLen);
            if (!FMemoryBase) return nullptr;
            return FMemoryBase + static_cast<size_t>(FHeight - 1 - Row) * static_cast<size_t>(FRowLen);
        case ieFile:
            ReleaseScanlineRow();
            if (Row < 0 || Row >= FHeight || !FFileBuffer->IsAllocated()) return nullptr;
            FMappedRow = MapFileRow(Row);
            return FMappedRow;
        case ieTBitmap:
            if (VclChanged()) SyncWithVclBitmap();
            if (Row < 0 || static_cast<size_t>(Row) >= FVclRows.size()) return nullptr;
            return FVclRows[static_cast<size_t>(Row)];
    }
    return nullptr;
}

void* TIEBitmap::MapRow(int32_t Row) {
    if (FLocation != ieFile) return GetScanline(Row);
    ReleaseScanlineRow();
    if (Row < 0 || Row >= FHeight || !FFileBuffer->IsAllocated()) return nullptr;
    void* b = MapFileRow(Row);
    if (!b) return nullptr;
    FMappedBuffers.push_back(b);
    FMappedIndexes.push_back(Row);
    return b;
}

void TIEBitmap::UnmapRow(void* Row) {
    if (FLocation != ieFile || !Row) return;
    auto it = std::find(FMappedBuffers.begin(), FMappedBuffers.end(), Row);
    if (it == FMappedBuffers.end()) return;
    const auto i = it - FMappedBuffers.begin();
    FMappedBuffers.erase(it);
    FMappedIndexes.erase(FMappedIndexes.begin() + i);
    FFileBuffer->Unmap(Row);
}

// ---------------------------------------------------------------------------------------
// The TBitmap location

bool TIEBitmap::VclChanged() {
    // A TBitmap resized or reformatted by its other users has new rows.
    if (!FVclBitmap) return !FVclRows.empty();
    const int h = FVclBitmap->GetHeight();
    if (FVclBitmap->GetWidth() != FWidth || h != FHeight || static_cast<size_t>(h) != FVclRows.size()) return true;
    const cl::TPixelFormat vf = FVclBitmap->GetPixelFormat();
    if (vf != VclFormatOf(FPixelFormat)) return true;
    return h > 0 && FVclRows[0] != static_cast<uint8_t*>(FVclBitmap->ScanLine(0));
}

void TIEBitmap::SyncWithVclBitmap() {
    if (FLocation != ieTBitmap || !FVclBitmap) return;
    cl::TBitmap* b = FVclBitmap;
    cl::TPixelFormat vf = b->GetPixelFormat();
    // Only the formats below can be read row by row as image pixels; a device bitmap has
    // the 32-bit layout, anything else is widened to 24 bits first.
    if (vf == cl::pfDevice) {
        b->SetPixelFormat(cl::pf32bit);
        vf = cl::pf32bit;
    } else if (vf != cl::pf1bit && vf != cl::pf8bit && vf != cl::pf24bit && vf != cl::pf32bit) {
        b->SetPixelFormat(cl::pf24bit);
        vf = cl::pf24bit;
    }
    TIEPixelFormat f = ie24RGB;
    switch (vf) {
        case cl::pf1bit: f = ie1g; break;
        case cl::pf8bit: f = (IsAlphaChannel || IEIsGrayPalette(b)) ? ie8g : ie8p; break;
        case cl::pf32bit: f = ie32RGB; break;
        default: f = ie24RGB; break;
    }
    const int32_t w = b->GetWidth();
    const int32_t h = b->GetHeight();
    if (w != FWidth || h != FHeight || f != FPixelFormat) {
        FWidth = w;
        FHeight = h;
        SetFormatFields(f);
        if (FAlphaChannel && (FAlphaChannel->FWidth != w || FAlphaChannel->FHeight != h)) ResizeAlphaChannel();
        BuildVclRows();
    }
    if (FHeight > 0 && FWidth > 0 && (FVclRows.empty() || FVclRows[0] != static_cast<uint8_t*>(b->ScanLine(0))))
        BuildVclRows();
    if (FPixelFormat == ie8p) {
        // The colour table of the TBitmap is the palette.
        if (!FPalette) {
            FPalette.reset(new TRGB[256]);
            FPaletteLength = 256;
        }
        const auto& table = b->GetColorTable();
        for (size_t i = 0; i < table.size() && i < static_cast<size_t>(FPaletteLength); ++i)
            FPalette[i] = TRGB{table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed};
    }
}

void TIEBitmap::ResetCanvasTransform() {
    if (!FVclBitmap) return;
    win::HDC dc = FVclBitmap->GetCanvas()->GetHandle();
    if (dc && win::GetGraphicsMode(dc) == win::GM_ADVANCED) win::ModifyWorldTransform(dc, nullptr, win::MWT_IDENTITY);
}

cl::TBitmap* TIEBitmap::GetVclBitmap() {
    SetLocation(ieTBitmap);
    ResetCanvasTransform();
    return FVclBitmap;
}

cl::TCanvas* TIEBitmap::GetCanvas() {
    if (FLocation != ieTBitmap) SetLocation(ieTBitmap);
    if (!FVclBitmap) return nullptr;
    ResetCanvasTransform();
    return FVclBitmap->GetCanvas();
}

void TIEBitmap::EncapsulateTBitmap(cl::TBitmap* Bitmap, bool FreeFirst) {
    if (FreeFirst) FreeImage(true);
    if (!Bitmap) return;
    const cl::TPixelFormat vf = Bitmap->GetPixelFormat();
    TIEPixelFormat mapped = FPixelFormat;
    if (vf == cl::pf1bit)
        mapped = ie1g;
    else if (vf == cl::pf24bit)
        mapped = ie24RGB;
    else if (vf == cl::pf32bit)
        mapped = ie32RGB;
    if (Bitmap == FVclBitmap && Bitmap->GetWidth() == FWidth && Bitmap->GetHeight() == FHeight &&
        mapped == FPixelFormat)
        return;
    // The storage held so far is released (a TBitmap of our own with it).
    if (FVclBitmap != Bitmap) FreeStorage();
    FWidth = Bitmap->GetWidth();
    FHeight = Bitmap->GetHeight();
    FLocation = ieTBitmap;
    Encapsulated = true;
    FVclBitmap = Bitmap;
    SetFormatFields(mapped);
    BuildVclRows();
    FNeedsAllocate = false;
    // Formats other than the three above are read from the bitmap on the next access.
    SyncWithVclBitmap();
}

// ---------------------------------------------------------------------------------------
// Moving the storage

void TIEBitmap::MoveStorageTo(TIEBitmap* Dest) {
    if (Dest == this) return;
    Dest->FreeImage(true);
    Dest->FWidth = FWidth;
    Dest->FHeight = FHeight;
    Dest->FBitCount = FBitCount;
    Dest->FChannelCount = FChannelCount;
    Dest->FRowLen = FRowLen;
    Dest->FPixelFormat = FPixelFormat;
    Dest->FPalette = std::move(FPalette);
    Dest->FPaletteLength = FPaletteLength;
    Dest->FAlphaChannel = std::move(FAlphaChannel);
    Dest->IsAlphaChannel = IsAlphaChannel;
    Dest->FMemoryBlock = FMemoryBlock;
    Dest->FMemoryBase = FMemoryBase;
    Dest->FSegments = std::move(FSegments);
    Dest->FSegmentCount = FSegmentCount;
    Dest->FRowsPerSegment = FRowsPerSegment;
    Dest->FVclBitmap = FVclBitmap;
    Dest->FVclRows = std::move(FVclRows);
    Dest->Encapsulated = Encapsulated;
    Dest->FLocation = FLocation;
    Dest->Full = Full;
    Dest->FFileBuffer = std::move(FFileBuffer);
    Dest->FMappedRow = FMappedRow;
    Dest->FMappedBuffers = std::move(FMappedBuffers);
    Dest->FMappedIndexes = std::move(FMappedIndexes);
    Dest->MonoConversion = MonoConversion;
    Dest->FRowAlign = FRowAlign;
    Dest->FNeedsAllocate = false;

    FPaletteLength = 0;
    FMemoryBlock = nullptr;
    FMemoryBase = nullptr;
    FSegments.clear();
    FSegmentCount = 0;
    FRowsPerSegment = 0;
    FVclBitmap = nullptr;
    FVclRows.clear();
    Encapsulated = false;
    FFileBuffer = std::make_unique<TIEFileBuffer>();
    FMappedRow = nullptr;
    FMappedBuffers.clear();
    FMappedIndexes.clear();
    ClearShape();
    Full = false;
    FNeedsAllocate = true;
}

void TIEBitmap::CopyRowsFrom(TIEBitmap* Source) {
    const int32_t h = std::min(FHeight, Source->GetHeight());
    const int32_t len = std::min(FRowLen, Source->GetRowLen());
    if (h <= 0 || len <= 0) return;
    const TIEBitmapAccess sa = Source->Access;
    const TIEBitmapAccess da = Access;
    Source->Access = ieaRead;
    Access = ieaWrite;
    try {
        if (FLocation == ieFile && Source->FLocation == ieFile && FRowLen == Source->FRowLen) {
            Source->ReleaseMappedRows();
            ReleaseMappedRows();
            Source->FFileBuffer->CopyTo(FFileBuffer.get(), static_cast<int64_t>(FRowLen) * h, 0);
        } else {
            for (int32_t r = 0; r < h; ++r) {
                void* s = Source->MapRow(r);
                void* d = GetScanline(r);
                if (s && d) std::memcpy(d, s, static_cast<size_t>(len));
                Source->UnmapRow(s);
            }
            ReleaseScanlineRow();
        }
    } catch (...) {
        Source->Access = sa;
        Access = da;
        throw;
    }
    Source->Access = sa;
    Access = da;
}

void TIEBitmap::CopyGray16RowsFrom(TIEBitmap* Source) {
    // A TBitmap holds 16-bit grey as 8-bit grey: the high byte of every sample.
    const int32_t h = std::min(FHeight, Source->GetHeight());
    const int32_t w = std::min(FWidth, Source->GetWidth());
    const TIEBitmapAccess sa = Source->Access;
    Source->Access = ieaRead;
    for (int32_t r = 0; r < h; ++r) {
        auto* s = static_cast<const uint8_t*>(Source->MapRow(r));
        auto* d = static_cast<uint8_t*>(GetScanline(r));
        if (s && d)
            for (int32_t x = 0; x < w; ++x) d[x] = s[2 * x + 1];
        Source->UnmapRow(const_cast<uint8_t*>(s));
    }
    Source->Access = sa;
}

void TIEBitmap::SetLocation(TIELocation Value) {
    if (Value == FLocation) return;
    if (Value != ieMemory && Value != ieFile && Value != ieTBitmap) return;
    FNeedsAllocate = true;
    auto temp = std::make_unique<TIEBitmap>();
    MoveStorageTo(temp.get());
    const TIELocation old = temp->FLocation;
    FLocation = Value;
    const int32_t w = temp->GetWidth();
    const int32_t h = temp->GetHeight();
    const TIEPixelFormat f = temp->GetPixelFormat();
    if (w > 0 && h > 0 && f != ieNone) {
        if (!Allocate(w, h, f)) {
            // The image stays where it was.
            temp->MoveStorageTo(this);
            FLocation = old;
            return;
        }
        if (f == ie16g && FPixelFormat == ie8g)
            CopyGray16RowsFrom(temp.get());
        else
            CopyRowsFrom(temp.get());
        CopyPaletteEntriesFrom(temp.get());
        SyncVclPalette();
        Full = temp->Full;
    }
    IsAlphaChannel = temp->IsAlphaChannel;
    FAlphaChannel = std::move(temp->FAlphaChannel);
}

// ---------------------------------------------------------------------------------------
// Pixel format

bool TIEBitmap::SetPixelFormat(TIEPixelFormat Value) {
    if (!IEIsValidPixelFormat(Value)) return false;
    if (Value == GetPixelFormat()) return true;
    return ConvertPixelFormat(Value);
}

bool TIEBitmap::ConvertPixelFormat(TIEPixelFormat Value) {
    if (FLocation == ieTBitmap) return ConvertVclPixelFormat(Value);
    auto temp = std::make_unique<TIEBitmap>();
    const int32_t w = FWidth;
    const int32_t h = FHeight;
    const TIEPixelFormat old = FPixelFormat;
    const TIELocation oldLocation = FLocation;
    MoveStorageTo(temp.get());
    FWidth = w;
    FHeight = h;
    FPixelFormat = Value;
    if (w == 0 || h == 0) {
        // Nothing to convert: the empty bitmap only changes its format.
        SetFormatFields(Value);
        FRowLen = 0;
        FAlphaChannel = std::move(temp->FAlphaChannel);
        IsAlphaChannel = temp->IsAlphaChannel;
        return true;
    }
    if (!AllocateStorage()) {
        FreeImage(true);
        FLocation = oldLocation;
        temp->MoveStorageTo(this);
        return false;
    }
    FNeedsAllocate = false;
    IsAlphaChannel = temp->IsAlphaChannel;
    if (old != ieNone) {
        try {
            CopyAndConvertFormat(temp.get());
        } catch (...) {
            // A conversion that raises leaves the image as it was.
            FreeImage(true);
            FLocation = oldLocation;
            temp->MoveStorageTo(this);
            throw;
        }
    }
    // The alpha channel stays with the image (CopyAndConvertFormat gave us a copy when the
    // source had one).
    if (temp->FAlphaChannel) FAlphaChannel = std::move(temp->FAlphaChannel);
    return true;
}

bool TIEBitmap::ConvertVclPixelFormat(TIEPixelFormat Value) {
    if (VclFormatOf(Value) == cl::pfCustom) {
        // ie16g is kept as ie8g; the formats a TBitmap cannot hold are refused.
        if (Value != ie16g) return false;
        Value = ie8g;
        if (Value == GetPixelFormat()) return true;
    }
    if (!FVclBitmap || FWidth == 0 || FHeight == 0) {
        if (!FVclBitmap) return false;
        FVclBitmap->SetPixelFormat(VclFormatOf(Value));
        if (Value == ie8g) IESetGrayPalette(FVclBitmap);
        SetFormatFields(Value);
        BuildVclRows();
        return true;
    }
    // The pixels go through a memory bitmap, where every pair converts; the result comes
    // back into the TBitmap. When the conversion fails the image stays as it was.
    auto work = std::make_unique<TIEBitmap>();
    work->FLocation = ieMemory;
    work->MinFileSize = std::numeric_limits<int64_t>::max();
    work->MonoConversion = MonoConversion;
    work->PaletteUsed = PaletteUsed;
    work->DisplayMin = DisplayMin;
    work->DisplayMax = DisplayMax;
    work->AssignImage(this);
    if (work->GetWidth() != FWidth || work->GetHeight() != FHeight) return false;
    if (!work->SetPixelFormat(Value) || work->GetPixelFormat() != Value) return false;
    FNeedsAllocate = true;
    AssignImage(work.get());
    return GetPixelFormat() == Value;
}

// ---------------------------------------------------------------------------------------
// Assignment

bool TIEBitmap::KeepsStorageFor(int32_t w, int32_t h, TIEPixelFormat f, int32_t rowAlign) {
    // Storage of exactly the shape a copy needs, in the place the rules would choose again,
    // is written over instead of being made anew.
    if (w <= 0 || h <= 0 || w != FWidth || h != FHeight || f != FPixelFormat || rowAlign != FRowAlign) return false;
    const int64_t size = static_cast<int64_t>(FRowLen) * FHeight;
    if (FLocation == ieMemory) return FMemoryBase && FSegmentCount == 0 && size <= MinFileSize;
    if (FLocation == ieFile) return FFileBuffer->IsAllocated() && size >= MinFileSize;
    return false;
}

bool TIEBitmap::AllocateLike(TIEBitmap* Source, bool FreeAlpha) {
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    const TIEPixelFormat f = Source->GetPixelFormat();
    const int32_t align = Source->FRowAlign;
    FNeedsAllocate = true;
    bool ok;
    if (FLocation == ieTBitmap && VclFormatOf(f) != cl::pfCustom) {
        FRowAlign = align;
        FWidth = w;
        FHeight = h;
        FPixelFormat = f;
        ok = AllocateVclStorage(static_cast<uint64_t>(Source->FRowLen) * static_cast<uint64_t>(h));
    } else {
        // A format a TBitmap cannot hold is copied into memory instead.
        if (FLocation == ieTBitmap) {
            FreeImage(FreeAlpha);
            FLocation = ieMemory;
        }
        if (KeepsStorageFor(w, h, f, align)) {
            ReleaseMappedRows();
            ok = true;
        } else {
            FreeImage(FreeAlpha);
            FWidth = w;
            FHeight = h;
            FPixelFormat = f;
            FRowAlign = align;
            ok = w > 0 && h > 0 && AllocateStorage();
        }
    }
    FNeedsAllocate = false;
    if (!ok) ClearShape();
    return ok;
}

void TIEBitmap::Assign(cl::TObject* Source) {
    if (!Source || Source == this) return;
    if (auto* vcl = dynamic_cast<cl::TBitmap*>(Source)) {
        CopyFromTBitmap(vcl);
        return;
    }
    auto* src = dynamic_cast<TIEBitmap*>(Source);
    if (!src) return;
    if (FLocation == ieTBitmap && src->IsEmpty()) return;
    if (AllocateLike(src, true)) {
        Full = src->Full;
        CopyRowsFrom(src);
    }
    if (!IsAlphaChannel) {
        if (src->FAlphaChannel) {
            TIEBitmap* a = GetAlphaChannel();
            if (a) a->Assign(src->FAlphaChannel.get());
        } else {
            RemoveAlphaChannel(false, cl::clWhite);
        }
    }
    src->CopyPaletteTo(this);
    MonoConversion = src->MonoConversion;
}

void TIEBitmap::AssignImage(TIEBitmap* Source) {
    if (!Source || Source == this || Source->IsEmpty()) return;
    if (!AllocateLike(Source, false)) return;
    // A TBitmap takes the source's full flag; other places start without it.
    Full = FLocation == ieTBitmap && Source->Full;
    CopyRowsFrom(Source);
    Source->CopyPaletteTo(this);
    // The alpha channel keeps the size of its image.
    if (FAlphaChannel && (FAlphaChannel->FWidth != FWidth || FAlphaChannel->FHeight != FHeight)) ResizeAlphaChannel();
}

void TIEBitmap::ResizeAlphaChannel() {
    // A new, fully opaque channel of the image's size.
    const TIELocation where = FAlphaChannel->FLocation;
    FAlphaChannel = CreateAsAlphaChannel(FWidth, FHeight, where);
}

// ---------------------------------------------------------------------------------------
// The alpha channel

TIEBitmap* TIEBitmap::GetAlphaChannel() {
    if (IsAlphaChannel) return nullptr;
    if (!FAlphaChannel) FAlphaChannel = CreateAsAlphaChannel(GetWidth(), GetHeight(), FLocation);
    return FAlphaChannel.get();
}

bool TIEBitmap::AttachAlphaChannel(std::unique_ptr<TIEBitmap>& Alpha) {
    if (IsAlphaChannel || !Alpha || Alpha.get() == this) return false;
    if (Alpha->GetPixelFormat() != ie8g || Alpha->GetWidth() != GetWidth() || Alpha->GetHeight() != GetHeight())
        return false;
    Alpha->IsAlphaChannel = true;
    Alpha->FAlphaChannel.reset();
    FAlphaChannel = std::move(Alpha);
    return true;
}

void TIEBitmap::RemoveAlphaChannel(bool Merge, cl::TColor Background) {
    if (IsAlphaChannel || !FAlphaChannel) return;
    if (Merge && GetPixelFormat() == ie24RGB) {
        const TRGB bg = ColorToTRGB(Background);
        TIEBitmap* alpha = FAlphaChannel.get();
        const int32_t w = std::min(FWidth, alpha->GetWidth());
        const int32_t h = std::min(FHeight, alpha->GetHeight());
        const TIEBitmapAccess saved = alpha->Access;
        alpha->Access = ieaRead;
        for (int32_t y = 0; y < h; ++y) {
            auto* a = static_cast<const uint8_t*>(alpha->MapRow(y));
            auto* p = static_cast<uint8_t*>(MapRow(y));
            if (a && p) {
                for (int32_t x = 0; x < w; ++x) {
                    const int64_t av = a[x];
                    uint8_t* px = p + static_cast<size_t>(x) * 3;
                    const uint8_t bgc[3] = {bg.b, bg.g, bg.r};
                    for (int c = 0; c < 3; ++c)
                        px[c] = static_cast<uint8_t>(bgc[c] + FloorDiv((px[c] - bgc[c]) * av * 1024, 262144));
                }
            }
            UnmapRow(p);
            alpha->UnmapRow(const_cast<uint8_t*>(a));
        }
        alpha->Access = saved;
    }
    FAlphaChannel.reset();
}

}  // namespace ie
