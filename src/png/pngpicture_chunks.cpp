// The chunk model of the PNG picture: CRC, the chunk base class, the registry of chunk
// classes, the chunk list, the load and save loops, and the header, palette,
// transparency, gamma, time and text chunks.
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

#include "png/pngpicture.h"

namespace png {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
// deflate never packs more than 1032 bytes into one.
constexpr int64_t kMaxInflateRatio = 1032;
// The largest pixel store made: row offsets and sizes stay within 32-bit signed values.
constexpr int64_t kMaxStoreBytes = std::numeric_limits<int32_t>::max();

uint32_t Get32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// Reads exactly `count` bytes (false on a short read).
bool ReadExact(cl::TStream* stream, void* buffer, int64_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        const int64_t n = stream->Read(p + done, count - done);
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

// A chunk's data and CRC must lie in the stream, and no chunk is longer than 2^31 - 1
// bytes: checked before anything is allocated for it.
void CheckChunkLength(cl::TStream* stream, uint32_t length) {
    const int64_t rest = stream->GetSize() - stream->GetPosition();
    if (length > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) || int64_t{length} + 4 > rest)
        RaisePNGError<EPngUnexpectedEnd>(EPngUnexpectedEndText);
}

struct ChunkRegistry {
    std::mutex mutex;
    std::vector<TChunkClass> classes;
};

ChunkRegistry& Registry() {
    static ChunkRegistry* r = new ChunkRegistry();  // lives to the end of the process
    return *r;
}

}  // namespace

TChunkName ChunkName(const char* text) {
    TChunkName n{};
    for (size_t i = 0; i < 4 && text[i]; ++i) n[i] = static_cast<uint8_t>(text[i]);
    return n;
}

String ChunkNameText(const TChunkName& name) {
    String s;
    for (uint8_t c : name) {
        if (!c) break;
        s += static_cast<char>(c);
    }
    return s;
}

// ---------------------------------------------------------------------------------------
// CRC.

namespace {

const uint32_t* CrcTable() {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table.data();
}

}  // namespace

uint32_t PNGCrcUpdate(uint32_t crc, const uint8_t* buffer, size_t count) {
    const uint32_t* t = CrcTable();
    for (size_t i = 0; i < count; ++i) crc = t[(crc ^ buffer[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint32_t PNGChunkCrc(const uint8_t* name, const uint8_t* data, size_t count) {
    uint32_t crc = PNGCrcUpdate(0xFFFFFFFFu, name, 4);
    if (count) crc = PNGCrcUpdate(crc, data, count);
    return ~crc;
}

uint8_t PNGPaeth(uint8_t left, uint8_t above, uint8_t upperLeft) {
    const int p = int{left} + above - upperLeft;
    const int pa = std::abs(p - left), pb = std::abs(p - above), pc = std::abs(p - upperLeft);
    if (pa <= pb && pa <= pc) return left;
    if (pb <= pc) return above;
    return upperLeft;
}

double PNGPower(double x, double e) {
    if (e == 0) return 1;
    if (x == 0) return 0;
    return std::exp2(static_cast<long double>(e) * std::log2(static_cast<long double>(x)));
}

int64_t PNGRowBytes(int64_t width, int colorType, int bitDepth) {
    const int64_t n = width * bitDepth;
    switch (colorType) {
        case 0:
        case 3: return (n + 7) / 8;
        case 2: return 3 * n / 8;
        case 4: return 2 * n / 8;
        case 6: return 4 * n / 8;
        default: return 0;
    }
}

// ---------------------------------------------------------------------------------------
// zlib coding of compressed text.

namespace {

String ZlibMessage(const z_stream& z, int result) {
    if (z.msg) return z.msg;
    return zError(result);
}

}  // namespace

bool PNGInflateText(const uint8_t* input, size_t count, std::vector<uint8_t>& output, String& errorText,
                    size_t maxOutput) {
    output.clear();
    z_stream z{};
    int r = inflateInit(&z);
    if (r != Z_OK) {
        errorText = ZlibMessage(z, r);
        return false;
    }
    z.next_in = const_cast<Bytef*>(input);
    z.avail_in = static_cast<uInt>(count);
    uint8_t work[256];
    bool ok = true;
    try {
        do {
            z.next_out = work;
            z.avail_out = sizeof work;
            r = inflate(&z, Z_NO_FLUSH);
            if (r < 0 || r == Z_NEED_DICT) {
                errorText = ZlibMessage(z, r == Z_NEED_DICT ? Z_DATA_ERROR : r);
                ok = false;
                break;
            }
            const size_t made = sizeof work - z.avail_out;
            if (made > maxOutput - output.size()) {
                errorText = zError(Z_MEM_ERROR);
                ok = false;
                break;
            }
            output.insert(output.end(), work, work + made);
            // Input exhausted without the end of the stream: the text is cut off.
            if (r != Z_STREAM_END && z.avail_in == 0 && z.avail_out != 0) {
                errorText = zError(Z_BUF_ERROR);
                ok = false;
                break;
            }
        } while (r != Z_STREAM_END);
    } catch (const std::bad_alloc&) {
        errorText = zError(Z_MEM_ERROR);
        ok = false;
    }
    inflateEnd(&z);
    return ok;
}

bool PNGDeflateText(const uint8_t* input, size_t count, int level, std::vector<uint8_t>& output, String& errorText) {
    output.clear();
    z_stream z{};
    int r = deflateInit(&z, std::clamp(level, 0, 9));
    if (r != Z_OK) {
        errorText = ZlibMessage(z, r);
        return false;
    }
    z.next_in = const_cast<Bytef*>(input);
    z.avail_in = static_cast<uInt>(count);
    uint8_t work[256];
    bool ok = true;
    try {
        do {
            z.next_out = work;
            z.avail_out = sizeof work;
            r = deflate(&z, Z_FINISH);
            if (r < 0 && r != Z_BUF_ERROR) {
                errorText = ZlibMessage(z, r);
                ok = false;
                break;
            }
            output.insert(output.end(), work, work + (sizeof work - z.avail_out));
        } while (r != Z_STREAM_END);
    } catch (const std::bad_alloc&) {
        errorText = zError(Z_MEM_ERROR);
        ok = false;
    }
    deflateEnd(&z);
    return ok;
}

// ---------------------------------------------------------------------------------------
// TChunk.

TChunk::TChunk(TPNGObject* owner) : FData(1, 0), FOwner(owner) {}

std::unique_ptr<TChunk> TChunk::NewInstance(TPNGObject* owner) const { return std::make_unique<TChunk>(owner); }

String TChunk::NameFromClass(const cl::TClass& cls) {
    String n = cls.Name;
    return n.size() > 6 ? n.substr(6) : String();
}

void TChunk::TakeClassName() {
    const String name = NameFromClass(ClassType());
    if (name.size() == 4) FName = ChunkName(name.c_str());
}

void TChunk::SetDataSize(int32_t size) {
    if (size < 0) size = 0;
    FData.assign(static_cast<size_t>(size) + 1, 0);
    FDataSize = size;
}

void TChunk::CopyFrom(TChunk* source) {
    FName = source->FName;
    FData = source->FData;
    FDataSize = source->FDataSize;
}

TChunkIHDR* TChunk::HeaderChunk() const {
    TChunk* first = FOwner ? FOwner->Chunks().GetItem(0) : nullptr;
    if (!first || !first->Is<TChunkIHDR>()) throw cl::EInvalidCast("Invalid class typecast");
    return static_cast<TChunkIHDR*>(first);
}

bool TChunk::ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) {
    CheckChunkLength(stream, length);
    SetDataSize(static_cast<int32_t>(length));
    if (length > 0 && !ReadExact(stream, FData.data(), length)) RaisePNGError<EPngUnexpectedEnd>(EPngUnexpectedEndText);
    uint8_t crcBytes[4];
    if (!ReadExact(stream, crcBytes, 4)) RaisePNGError<EPngUnexpectedEnd>(EPngUnexpectedEndText);
    if (PNGChunkCrc(name.data(), FData.data(), length) != Get32(crcBytes))
        RaisePNGError<EPngInvalidCRC>(EPngInvalidCRCText);
    return true;
}

bool TChunk::WriteFramed(cl::TStream* stream) {
    uint8_t head[8];
    Put32(head, static_cast<uint32_t>(FDataSize));
    std::memcpy(head + 4, FName.data(), 4);
    stream->WriteBuffer(head, 8);
    if (FDataSize) stream->WriteBuffer(FData.data(), FDataSize);
    uint8_t crc[4];
    Put32(crc, PNGChunkCrc(FName.data(), FData.data(), static_cast<size_t>(FDataSize)));
    stream->WriteBuffer(crc, 4);
    return true;
}

bool TChunk::WriteTo(cl::TStream* stream) { return WriteFramed(stream); }

// ---------------------------------------------------------------------------------------
// Registry and list.

void RegisterPNGChunkClass(const TChunkClass& chunkClass) {
    ChunkRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.classes.push_back(chunkClass);
}

void RegisterStandardPNGChunks() {
    RegisterPNGChunkClass(ChunkClassOf<TChunkIEND>());
    RegisterPNGChunkClass(ChunkClassOf<TChunkIHDR>());
    RegisterPNGChunkClass(ChunkClassOf<TChunkIDAT>());
    RegisterPNGChunkClass(ChunkClassOf<TChunkPLTE>());
    RegisterPNGChunkClass(ChunkClassOf<TChunkgAMA>());
    RegisterPNGChunkClass(ChunkClassOf<TChunktRNS>());
    RegisterPNGChunkClass(ChunkClassOf<TChunktIME>());
    RegisterPNGChunkClass(ChunkClassOf<TChunktEXt>());
    RegisterPNGChunkClass(ChunkClassOf<TChunkzTXt>());
}

void FreePNGChunkClasses() {
    ChunkRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.classes.clear();
}

std::unique_ptr<TChunk> CreatePNGChunkByName(TPNGObject* owner, const TChunkName& name) {
    const String text = ChunkNameText(name);
    std::unique_ptr<TChunk> chunk;
    {
        ChunkRegistry& r = Registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        for (const TChunkClass& c : r.classes)
            if (TChunk::NameFromClass(*c.Class) == text) {
                chunk = c.Create(owner);
                break;
            }
    }
    if (!chunk) chunk = std::make_unique<TChunk>(owner);
    chunk->SetName(name);
    return chunk;
}

void TPNGList::SetCount(int32_t count) { FItems.resize(static_cast<size_t>(std::max(count, 0))); }

TChunk* TPNGList::GetItem(int32_t index) const {
    if (index < 0 || index >= GetCount()) return nullptr;
    return FItems[static_cast<size_t>(index)].get();
}

void TPNGList::SetItem(int32_t index, std::unique_ptr<TChunk> chunk) {
    if (index < 0 || index >= GetCount()) return;
    FItems[static_cast<size_t>(index)] = std::move(chunk);
}

void TPNGList::Add(std::unique_ptr<TChunk> chunk) { FItems.push_back(std::move(chunk)); }

std::unique_ptr<TChunk> TPNGList::Remove(TChunk* chunk) {
    for (size_t i = FItems.size(); i-- > 0;)
        if (FItems[i].get() == chunk) {
            std::unique_ptr<TChunk> item = std::move(FItems[i]);
            FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(i));
            return item;
        }
    return nullptr;
}

TChunk* TPNGList::FindByClass(const cl::TClass& cls) const {
    for (const auto& c : FItems)
        if (c && c->InheritsFrom(cls)) return c.get();
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// Load and save.

void TPNGObject::LoadFromStream(cl::TStream* stream) {
    DropChunks();
    uint8_t signature[8];
    if (!ReadExact(stream, signature, 8) || std::memcmp(signature, kSignature, 8) != 0)
        RaisePNGError<EPNGInvalidFileHeader>(EPNGInvalidFileHeaderText);

    FChunks.SetCount(10);
    int32_t counter = 0;
    bool hasImageData = false;
    TChunkName name{};
    do {
        ++counter;
        if (counter > FChunks.GetCount()) FChunks.SetCount(FChunks.GetCount() + 10);
        uint8_t lengthBytes[4];
        if (!ReadExact(stream, lengthBytes, 4)) {
            FChunks.SetCount(counter - 1);
            RaisePNGError<EPngUnexpectedEnd>(EPngUnexpectedEndText);
        }
        const uint32_t length = Get32(lengthBytes);
        if (!ReadExact(stream, name.data(), 4)) {
            FChunks.SetCount(counter - 1);
            RaisePNGError<EPngUnexpectedEnd>(EPngUnexpectedEndText);
        }
        const String text = ChunkNameText(name);
        if (counter == 1 && text != "IHDR") {
            FChunks.SetCount(0);
            RaisePNGError<EPNGIHDRNotFirst>(EPNGIHDRNotFirstText);
        }
        try {
            CheckChunkLength(stream, length);
        } catch (...) {
            FChunks.SetCount(counter - 1);
            throw;
        }
        if ((text == "IDAT" && hasImageData) || text == "cHRM") {
            // Image data after the first run, and chromaticities, are passed over.
            --counter;
            stream->Seek(int64_t{length} + 4, cl::soCurrent);
            continue;
        }
        if (text == "IDAT") hasImageData = true;
        std::unique_ptr<TChunk> created = CreatePNGChunkByName(this, name);
        TChunk* chunk = created.get();
        FChunks.SetItem(counter - 1, std::move(created));
        if (&chunk->ClassType() == &TChunk::StaticClass() && !text.empty() && !(name[0] & 0x20)) {
            FChunks.SetCount(counter);
            RaisePNGError<EPNGUnknownCriticalChunk>(EPNGUnknownCriticalChunkText);
        }
        bool go = false;
        try {
            go = chunk->ReadFrom(stream, name, length);
        } catch (...) {
            FChunks.SetCount(counter);
            throw;
        }
        if (!go) break;
    } while (ChunkNameText(name) != "IEND");
    FChunks.SetCount(counter);
    if (!hasImageData) RaisePNGError<EPNGNoImageData>(EPNGNoImageDataText);
    Changed();
}

void TPNGObject::SaveToStream(cl::TStream* stream) {
    stream->WriteBuffer(kSignature, 8);
    for (int32_t i = 0; i < FChunks.GetCount(); ++i)
        if (TChunk* c = FChunks.GetItem(i)) c->WriteTo(stream);
}

// ---------------------------------------------------------------------------------------
// Header.

TChunkIHDR::TChunkIHDR(TPNGObject* owner) : TChunk(owner) {}

TChunkIHDR::~TChunkIHDR() { ReleasePixels(); }

namespace {

// Whether the PNG format knows this combination of colour type and bit depth.
bool KnownFormat(int colorType, int bitDepth) {
    switch (colorType) {
        case 0: return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
        case 3: return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
        case 2:
        case 4:
        case 6: return bitDepth == 8 || bitDepth == 16;
        default: return false;
    }
}

int StoreBits(int colorType, int bitDepth) {
    if (colorType == 2 || colorType == 6) return 24;
    if (bitDepth == 2) return 4;
    if (bitDepth == 16) return 8;
    return bitDepth;
}

}  // namespace

void TChunkIHDR::ReleasePixels() {
    FPixels.clear();
    FPixels.shrink_to_fit();
    FAlpha.clear();
    FAlpha.shrink_to_fit();
}

void TChunkIHDR::AllocatePixels() {
    FBitmapInfo = TPNGBitmapInfo{};
    ReleasePixels();
    FHasPalette = ColorType == 0 || ColorType == 3 || ColorType == 4;
    const int bits = StoreBits(ColorType, BitDepth);
    win::BITMAPINFOHEADER& h = FBitmapInfo.bmiHeader;
    h.biSize = sizeof(win::BITMAPINFOHEADER);
    h.biWidth = static_cast<win::LONG>(Width);
    h.biHeight = static_cast<win::LONG>(Height);
    h.biPlanes = 1;
    h.biBitCount = static_cast<win::WORD>(bits);
    h.biCompression = win::BI_RGB;
    FRowLength = ((int64_t{bits} * Width + 31) / 32) * 4;
    const int64_t storeBytes = FRowLength * Height;
    const int64_t alphaBytes = (ColorType == 4 || ColorType == 6) ? int64_t{Width} * Height : 0;
    if (storeBytes > kMaxStoreBytes || alphaBytes > kMaxStoreBytes) RaisePNGError<EPNGOutMemory>(EPNGOutMemoryText);
    try {
        FAlpha.assign(static_cast<size_t>(alphaBytes), 0);
        FPixels.assign(static_cast<size_t>(storeBytes), 0);
    } catch (const std::bad_alloc&) {
        ReleasePixels();
        RaisePNGError<EPNGOutMemory>(EPNGOutMemoryText);
    }
    if (GetOwner()) GetOwner()->FreePaletteHandle();
}

bool TChunkIHDR::ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) {
    TChunk::ReadFrom(stream, name, length);
    if (GetDataSize() < 13) RaisePNGError<EPngInvalidIHDR>(EPngInvalidIHDRText);
    const uint8_t* d = GetData();
    Width = Get32(d);
    Height = Get32(d + 4);
    BitDepth = d[8];
    ColorType = d[9];
    CompressionMethod = d[10];
    FilterMethod = d[11];
    InterlaceMethod = d[12];
    if (Width > 65535 || Height > 65535) RaisePNGError<EPNGSizeExceeds>(EPNGSizeExceedsText);
    if (CompressionMethod != 0) RaisePNGError<EPNGUnknownCompression>(EPNGUnknownCompressionText);
    if (InterlaceMethod > 1) RaisePNGError<EPNGUnknownInterlace>(EPNGUnknownInterlaceText);
    // An empty picture, or a colour type and depth the format does not have, has no store.
    if (Width == 0 || Height == 0 || !KnownFormat(ColorType, BitDepth))
        RaisePNGError<EPngInvalidIHDR>(EPngInvalidIHDRText);
    // The rest of the stream must be able to hold the compressed rows before their memory
    // is made: deflate packs at most 1032 bytes into one.
    const int64_t rest = stream->GetSize() - stream->GetPosition();
    const int64_t rawBytes = (PNGRowBytes(Width, ColorType, BitDepth) + 1) * Height;
    if (rawBytes > rest * kMaxInflateRatio + 65536) RaisePNGError<EPngUnexpectedEnd>(EPngUnexpectedEndText);
    if (GetOwner()) GetOwner()->SetInterlacing(InterlaceMethod);
    AllocatePixels();
    return true;
}

bool TChunkIHDR::WriteTo(cl::TStream* stream) {
    if (BitDepth == 2) BitDepth = 4;  // the store holds 4 bits per pixel
    SetDataSize(13);
    uint8_t* d = GetData();
    Put32(d, Width);
    Put32(d + 4, Height);
    d[8] = BitDepth;
    d[9] = ColorType;
    d[10] = CompressionMethod;
    d[11] = FilterMethod;
    d[12] = GetOwner() ? GetOwner()->GetInterlacing() : InterlaceMethod;
    return WriteFramed(stream);
}

void TChunkIHDR::CopyFrom(TChunk* source) {
    if (!source->Is<TChunkIHDR>()) RaisePNGError<EPngError>(EPNGCannotAssignChunkText);
    auto* s = static_cast<TChunkIHDR*>(source);
    Width = s->Width;
    Height = s->Height;
    BitDepth = s->BitDepth;
    ColorType = s->ColorType;
    CompressionMethod = s->CompressionMethod;
    FilterMethod = s->FilterMethod;
    InterlaceMethod = s->InterlaceMethod;
    AllocatePixels();
    if (FPixels.size() == s->FPixels.size()) FPixels = s->FPixels;
    if (FAlpha.size() == s->FAlpha.size()) FAlpha = s->FAlpha;
    std::copy(std::begin(s->FBitmapInfo.bmiColors), std::end(s->FBitmapInfo.bmiColors), FBitmapInfo.bmiColors);
}

// ---------------------------------------------------------------------------------------
// Palette.

bool TChunkPLTE::ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) {
    TChunk::ReadFrom(stream, name, length);
    if (length % 3 != 0 || length / 3 > 256) RaisePNGError<EPNGInvalidPalette>(EPNGInvalidPaletteText);
    FCount = static_cast<int32_t>(length / 3);
    TChunkIHDR* header = HeaderChunk();
    const auto& g = GetOwner()->GammaTable;
    const uint8_t* d = GetData();
    for (int32_t i = 0; i < FCount; ++i) {
        win::RGBQUAD& e = header->GetColorTable()[i];
        e.rgbRed = g[d[3 * i]];
        e.rgbGreen = g[d[3 * i + 1]];
        e.rgbBlue = g[d[3 * i + 2]];
        e.rgbReserved = 0;
    }
    return true;
}

bool TChunkPLTE::WriteTo(cl::TStream* stream) {
    const int32_t n = std::clamp(FCount, 0, 256);
    SetDataSize(n * 3);
    TChunkIHDR* header = HeaderChunk();
    const auto& inv = GetOwner()->InverseGammaTable;
    uint8_t* d = GetData();
    for (int32_t i = 0; i < n; ++i) {
        const win::RGBQUAD& e = header->GetColorTable()[i];
        d[3 * i] = inv[e.rgbRed];
        d[3 * i + 1] = inv[e.rgbGreen];
        d[3 * i + 2] = inv[e.rgbBlue];
    }
    return WriteFramed(stream);
}

void TChunkPLTE::CopyFrom(TChunk* source) {
    if (!source->Is<TChunkPLTE>()) RaisePNGError<EPngError>(EPNGCannotAssignChunkText);
    FCount = static_cast<TChunkPLTE*>(source)->FCount;
}

uint32_t TChunkPLTE::EntryColor(int32_t index) const {
    if (index < 0 || index >= FCount || index > 255) RaisePNGError<EPngError>(EPNGUnknownPalEntryText);
    const win::RGBQUAD& e = HeaderChunk()->GetColorTable()[index];
    return uint32_t{e.rgbBlue} | (uint32_t{e.rgbGreen} << 8) | (uint32_t{e.rgbRed} << 16);
}

// ---------------------------------------------------------------------------------------
// Transparency.

bool TChunktRNS::ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) {
    TChunk::ReadFrom(stream, name, length);
    if (length > 256) RaisePNGError<EPNGInvalidPalette>(EPNGInvalidPaletteText);
    FAlphaValues.fill(255);
    std::memcpy(FAlphaValues.data(), GetData(), length);
    const int colorType = HeaderChunk()->ColorType;
    if (colorType == 0 || colorType == 2) {
        FSingleKey = true;
    } else if (colorType == 3) {
        int below = 0;
        for (uint32_t i = 0; i < length; ++i)
            if (FAlphaValues[i] != 255) ++below;
        FSingleKey = below == 1;
    }
    return true;
}

bool TChunktRNS::WriteTo(cl::TStream* stream) {
    if (GetDataSize() <= 256) {
        const int32_t n = GetDataSize();
        SetDataSize(n);
        std::memcpy(GetData(), FAlphaValues.data(), static_cast<size_t>(n));
        // 16-bit pictures are written from their high bytes (low bytes 0): so is their
        // colour key, or the key would no longer match the pixels that had it.
        TChunk* first = GetOwner() ? GetOwner()->Chunks().GetItem(0) : nullptr;
        if (first && first->Is<TChunkIHDR>()) {
            const auto* h = static_cast<TChunkIHDR*>(first);
            if (h->BitDepth == 16 && (h->ColorType == 0 || h->ColorType == 2))
                for (int32_t i = 1; i < n; i += 2) GetData()[i] = 0;
        }
    }
    return WriteFramed(stream);
}

void TChunktRNS::CopyFrom(TChunk* source) {
    if (source->Is<TChunktRNS>()) {
        auto* s = static_cast<TChunktRNS*>(source);
        FAlphaValues = s->FAlphaValues;
        FSingleKey = s->FSingleKey;
    }
    TChunk::CopyFrom(source);
}

cl::TColor TChunktRNS::ColorKey() const {
    TChunkIHDR* header = HeaderChunk();
    switch (header->ColorType) {
        case 0: {
            // The colour the key sample is drawn in: the grey colour-table entry of its
            // store value (16-bit samples keep their high byte, 2-bit ones are stored x 5).
            const uint16_t sample = Get16(FAlphaValues.data());
            const int depth = header->BitDepth;
            int index = depth == 16 ? sample >> 8 : sample & ((1 << std::min(depth, 8)) - 1);
            if (depth == 2) index *= 5;
            const win::RGBQUAD& e = header->GetColorTable()[index];
            return static_cast<cl::TColor>(win::RGB(e.rgbRed, e.rgbGreen, e.rgbBlue));
        }
        case 2: {
            // The stored colour of the key: the samples (high bytes of 16-bit ones) through the gamma table.
            const auto& g = GetOwner()->GammaTable;
            const int k = header->BitDepth == 16 ? 0 : 1;
            return static_cast<cl::TColor>(
                win::RGB(g[FAlphaValues[k]], g[FAlphaValues[2 + k]], g[FAlphaValues[4 + k]]));
        }
        case 3:
            // The colour-table entry of the first fully transparent index (entries beyond the
            // palette are black), so that a picture without PLTE still answers.
            for (int i = 0; i < 256; ++i)
                if (FAlphaValues[static_cast<size_t>(i)] == 0) {
                    const win::RGBQUAD& e = header->GetColorTable()[i];
                    return static_cast<cl::TColor>(win::RGB(e.rgbRed, e.rgbGreen, e.rgbBlue));
                }
            return 0;
        default: return 0;
    }
}

void TChunktRNS::SetColorKey(cl::TColor color) {
    FAlphaValues.fill(0);
    FSingleKey = true;
    const auto c = static_cast<uint32_t>(color);
    const uint8_t r = static_cast<uint8_t>(c), g = static_cast<uint8_t>(c >> 8), b = static_cast<uint8_t>(c >> 16);
    TChunkIHDR* header = HeaderChunk();
    switch (header->ColorType) {
        case 0:
            SetDataSize(2);
            Put16(FAlphaValues.data(), r);
            break;
        case 2:
            SetDataSize(6);
            Put16(FAlphaValues.data(), r);
            Put16(FAlphaValues.data() + 2, g);
            Put16(FAlphaValues.data() + 4, b);
            break;
        case 3: {
            int found = 0;
            for (int i = 0; i < 256; ++i) {
                const win::RGBQUAD& e = header->GetColorTable()[i];
                if (e.rgbBlue == b && e.rgbGreen == g && e.rgbRed == r) {
                    found = i;
                    break;
                }
            }
            for (int i = 0; i < found; ++i) FAlphaValues[static_cast<size_t>(i)] = 255;
            SetDataSize(found + 1);
            break;
        }
        default: break;
    }
}

// ---------------------------------------------------------------------------------------
// Gamma.

TChunkgAMA::TChunkgAMA(TPNGObject* owner) : TChunk(owner) { SetGammaValue(1); }

uint32_t TChunkgAMA::GetGammaValue() {
    if (GetDataSize() == 4) return Get32(GetData());
    SetDataSize(4);
    return 1;
}

void TChunkgAMA::SetGammaValue(uint32_t value) {
    if (GetDataSize() != 4) SetDataSize(4);
    Put32(GetData(), value);
}

bool TChunkgAMA::ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) {
    TChunk::ReadFrom(stream, name, length);
    const uint32_t value = GetGammaValue();
    if (value != 0 && GetOwner()) {
        TPNGObject* o = GetOwner();
        const double exponent = 1.0 / (static_cast<double>(value) / 100000.0 * 2.2);
        for (int i = 0; i < 256; ++i) {
            const double v = PNGPower(i / 255.0, exponent) * 255.0;
            const int g = static_cast<int>(std::clamp(std::nearbyint(v), 0.0, 255.0));
            o->GammaTable[static_cast<size_t>(i)] = static_cast<uint8_t>(g);
            o->InverseGammaTable[static_cast<size_t>(g)] = static_cast<uint8_t>(i);
        }
    }
    return true;
}

void TChunkgAMA::CopyFrom(TChunk* source) {
    if (!source->Is<TChunkgAMA>()) RaisePNGError<EPngError>(EPNGCannotAssignChunkText);
    SetGammaValue(static_cast<TChunkgAMA*>(source)->GetGammaValue());
}

// ---------------------------------------------------------------------------------------
// Time.

bool TChunktIME::ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) {
    TChunk::ReadFrom(stream, name, length);
    if (length == 7) {
        const uint8_t* d = GetData();
        Year = Get16(d);
        Month = d[2];
        Day = d[3];
        Hour = d[4];
        Minute = d[5];
        Second = d[6];
    }
    return true;
}

bool TChunktIME::WriteTo(cl::TStream* stream) {
    SetDataSize(7);
    uint8_t* d = GetData();
    Put16(d, Year);
    d[2] = Month;
    d[3] = Day;
    d[4] = Hour;
    d[5] = Minute;
    d[6] = Second;
    return WriteFramed(stream);
}

void TChunktIME::CopyFrom(TChunk* source) {
    TChunk::CopyFrom(source);
    if (source->Is<TChunktIME>()) {
        auto* s = static_cast<TChunktIME*>(source);
        Year = s->Year;
        Month = s->Month;
        Day = s->Day;
        Hour = s->Hour;
        Minute = s->Minute;
        Second = s->Second;
    }
}

// ---------------------------------------------------------------------------------------
// Text.

bool TChunktEXt::ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) {
    TChunk::ReadFrom(stream, name, length);
    if (length > 2) {
        const auto* d = reinterpret_cast<const char*>(GetData());
        const void* nul = std::memchr(d, 0, length);
        const size_t keyLength = nul ? static_cast<size_t>(static_cast<const char*>(nul) - d) : length;
        Keyword.assign(d, keyLength);
        Text = keyLength + 1 < length ? String(d + keyLength + 1, length - keyLength - 1) : String();
    }
    return true;
}

bool TChunktEXt::WriteTo(cl::TStream* stream) {
    const size_t size = Keyword.size() + 1 + Text.size();
    if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
    SetDataSize(static_cast<int32_t>(size));
    uint8_t* d = GetData();
    std::memcpy(d, Keyword.data(), Keyword.size());
    d[Keyword.size()] = 0;
    std::memcpy(d + Keyword.size() + 1, Text.data(), Text.size());
    return WriteFramed(stream);
}

void TChunktEXt::CopyFrom(TChunk* source) {
    TChunk::CopyFrom(source);
    if (source->Is<TChunktEXt>()) {
        Keyword = static_cast<TChunktEXt*>(source)->Keyword;
        Text = static_cast<TChunktEXt*>(source)->Text;
    }
}

bool TChunkzTXt::ReadFrom(cl::TStream* stream, const TChunkName& name, uint32_t length) {
    if (!TChunktEXt::ReadFrom(stream, name, length)) return false;
    if (length < 4) return true;
    const uint8_t* d = GetData();
    const void* nul = std::memchr(d, 0, length);
    const size_t keyLength = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - d) : length;
    Keyword.assign(reinterpret_cast<const char*>(d), keyLength);
    Text.clear();
    // The keyword's NUL must leave room for the method byte.
    if (keyLength + 1 >= length) return true;
    const uint8_t method = d[keyLength + 1];
    if (method != 0) return true;
    std::vector<uint8_t> text;
    String error;
    if (PNGInflateText(d + keyLength + 2, length - keyLength - 2, text, error))
        Text.assign(reinterpret_cast<const char*>(text.data()), text.size());
    return true;
}

bool TChunkzTXt::WriteTo(cl::TStream* stream) {
    if (Text.empty()) Text = " ";
    std::vector<uint8_t> packed;
    String error;
    const int level = GetOwner() ? GetOwner()->GetDeflateLevel() : 7;
    if (!PNGDeflateText(reinterpret_cast<const uint8_t*>(Text.data()), Text.size(), level, packed, error)) return false;
    const size_t size = Keyword.size() + 2 + packed.size();
    if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
    SetDataSize(static_cast<int32_t>(size));
    uint8_t* d = GetData();
    std::memcpy(d, Keyword.data(), Keyword.size());
    d[Keyword.size()] = 0;
    d[Keyword.size() + 1] = 0;
    std::memcpy(d + Keyword.size() + 2, packed.data(), packed.size());
    return WriteFramed(stream);
}

}  // namespace png
