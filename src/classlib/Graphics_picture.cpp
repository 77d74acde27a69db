// TGraphic, TPicture with the picture-format registry, and TIcon.
#include <algorithm>
#include <cstring>

#include "classlib/Graphics.h"
#include "classlib/Jpeg.h"
#include "platform/kernel.h"

namespace cl {

// ---------------------------------------------------------------------------------------

void TGraphic::SetModified(bool v) {
    if (v)
        Changed();
    else
        FModified = false;
}

void TGraphic::Changed() {
    FModified = true;
    if (OnChange) OnChange(this);
}

void TGraphic::SetTransparent(bool v) {
    if (v == FTransparent) return;
    FTransparent = v;
    Changed();
}

void TGraphic::LoadFromFile(const String& fileName) {
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&stream);
}

void TGraphic::SaveToFile(const String& fileName) {
    TFileStream stream(fileName, fmCreate);
    SaveToStream(&stream);
}

void TGraphic::AssignTo(TPersistent* Dest) {
    auto* bmp = dynamic_cast<TBitmap*>(Dest);
    if (!bmp) {
        TPersistent::AssignTo(Dest);
        return;
    }
    bmp->SetSize(GetWidth(), GetHeight());
    if (bmp->GetEmpty()) return;
    TCanvas* c = bmp->GetCanvas();
    c->Lock();
    try {
        c->GetBrush()->SetColor(clWhite);
        c->GetBrush()->SetStyle(bsSolid);
        c->FillRect(Rect(0, 0, GetWidth(), GetHeight()));
        Draw(c, Rect(0, 0, GetWidth(), GetHeight()));
    } catch (...) {
        c->Unlock();
        throw;
    }
    c->Unlock();
}

// ---------------------------------------------------------------------------------------
// The registry.

namespace {

struct FileFormat {
    String extension;  // lower case, no dot
    String description;
    const TClass* cls;
    TGraphicClass create;
};

struct Registry {
    std::mutex mutex;
    std::vector<FileFormat> formats;
};

TGraphic* CreateBitmapGraphic() { return new TBitmap(); }
TGraphic* CreateIconGraphic() { return new TIcon(); }

Registry& Formats() {
    static Registry* r = [] {
        auto* reg = new Registry();
        reg->formats.push_back({"bmp", "Bitmaps", &TBitmap::StaticClass(), &CreateBitmapGraphic});
        reg->formats.push_back({"ico", "Icons", &TIcon::StaticClass(), &CreateIconGraphic});
        reg->formats.push_back({"jpg", "JPEG Image File", &TJPEGImage::StaticClass(), &TJPEGImage::Create});
        reg->formats.push_back({"jpeg", "JPEG Image File", &TJPEGImage::StaticClass(), &TJPEGImage::Create});
        return reg;
    }();
    return *r;
}

String NormalExt(const String& ext) {
    String e = LowerCase(ext);
    if (!e.empty() && e[0] == '.') e.erase(0, 1);
    return e;
}

}  // namespace

void RegisterFileFormat(const String& extension, const String& description, const TClass& Class, TGraphicClass create) {
    Registry& r = Formats();
    std::lock_guard<std::mutex> lock(r.mutex);
    String ext = NormalExt(extension);
    // The latest registration of an extension wins.
    r.formats.insert(r.formats.begin(), FileFormat{ext, description, &Class, create});
}

void UnregisterGraphicClass(const TClass& Class) {
    Registry& r = Formats();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::erase_if(r.formats, [&](const FileFormat& f) { return f.cls == &Class; });
}

TGraphicClass FindGraphicClass(const String& extension) {
    Registry& r = Formats();
    std::lock_guard<std::mutex> lock(r.mutex);
    String ext = NormalExt(extension);
    for (const auto& f : r.formats)
        if (f.extension == ext) return f.create;
    return nullptr;
}

// ---------------------------------------------------------------------------------------

TPicture::~TPicture() = default;

void TPicture::Changed(TObject*) {
    if (OnChange) OnChange(this);
}

void TPicture::Take(std::unique_ptr<TGraphic> g) {
    // The new graphic is in place before the old one goes, so nothing sees a freed graphic.
    std::unique_ptr<TGraphic> old = std::move(FGraphic);
    FGraphic = std::move(g);
    if (FGraphic) FGraphic->OnChange = [this](TObject* s) { Changed(s); };
    old.reset();
    Changed(this);
}

void TPicture::SetGraphic(TGraphic* g) {
    if (g == FGraphic.get()) return;
    if (!g) {
        Take(nullptr);
        return;
    }
    std::unique_ptr<TGraphic> copy(g->NewInstance());
    copy->Assign(g);
    Take(std::move(copy));
}

TBitmap* TPicture::GetBitmap() {
    if (!dynamic_cast<TBitmap*>(FGraphic.get())) Take(std::make_unique<TBitmap>());
    return static_cast<TBitmap*>(FGraphic.get());
}

TIcon* TPicture::GetIcon() {
    if (!dynamic_cast<TIcon*>(FGraphic.get())) Take(std::make_unique<TIcon>());
    return static_cast<TIcon*>(FGraphic.get());
}

void TPicture::LoadFromFile(const String& fileName) {
    String ext = NormalExt(ExtractFileExt(fileName));
    TGraphicClass create = FindGraphicClass(ext);
    if (!create) throw EInvalidGraphic(Format("Unknown picture file extension (.%s)", ext));
    std::unique_ptr<TGraphic> g(create());
    g->LoadFromFile(fileName);
    Take(std::move(g));
}

void TPicture::SaveToFile(const String& fileName) {
    if (FGraphic) FGraphic->SaveToFile(fileName);
}

void TPicture::Assign(TPersistent* Source) {
    if (!Source) {
        SetGraphic(nullptr);
    } else if (auto* p = dynamic_cast<TPicture*>(Source)) {
        SetGraphic(p->FGraphic.get());
    } else if (auto* g = dynamic_cast<TGraphic*>(Source)) {
        SetGraphic(g);
    } else {
        TPersistent::Assign(Source);
    }
}

void TPicture::AssignTo(TPersistent* Dest) {
    if (FGraphic && dynamic_cast<TGraphic*>(Dest) && Dest->ClassType().InheritsFrom(FGraphic->ClassType())) {
        Dest->Assign(FGraphic.get());
        return;
    }
    TPersistent::AssignTo(Dest);
}

// ---------------------------------------------------------------------------------------
// Icons.

namespace {

[[noreturn]] void InvalidIcon() { throw EInvalidGraphic("Icon image is not valid"); }

uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

struct IconEntry {
    int width, height, bits;
    const uint8_t* data;
    size_t size;
};

// Decodes one icon image (a BITMAPINFOHEADER with twice the height, the colour rows and
// the 1-bit AND mask) into a colour bitmap and a mask bitmap.
void DecodeIconImage(const IconEntry& e, std::unique_ptr<TBitmap>& image, std::unique_ptr<TBitmap>& mask) {
    if (e.size < 40 || U32(e.data) != 40) InvalidIcon();
    int64_t w = static_cast<int32_t>(U32(e.data + 4));
    int64_t h2 = static_cast<int32_t>(U32(e.data + 8));
    int bpp = U16(e.data + 14);
    uint32_t compression = U32(e.data + 16);
    uint32_t clrUsed = U32(e.data + 32);
    if (w <= 0 || w > 1024 || h2 <= 0 || h2 > 2048 || compression != win::BI_RGB) InvalidIcon();
    int64_t h = h2 / 2;
    if (h <= 0) InvalidIcon();
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) InvalidIcon();
    size_t p = 40;
    std::vector<win::RGBQUAD> table;
    if (bpp <= 8) {
        uint32_t n = clrUsed ? clrUsed : (1u << bpp);
        if (n > (1u << bpp) || p + n * 4 > e.size) InvalidIcon();
        for (uint32_t i = 0; i < n; ++i)
            table.push_back(win::RGBQUAD{e.data[p + 4 * i], e.data[p + 4 * i + 1], e.data[p + 4 * i + 2], 0});
        p += n * 4;
    }
    int64_t stride = ((w * bpp + 31) / 32) * 4;
    int64_t mstride = ((w + 31) / 32) * 4;
    bool hasMask = p + static_cast<size_t>(stride * h + mstride * h) <= e.size;
    if (p + static_cast<size_t>(stride * h) > e.size) InvalidIcon();
    const uint8_t* xorBits = e.data + p;
    const uint8_t* andBits = hasMask ? xorBits + stride * h : nullptr;

    auto img = std::make_unique<TBitmap>();
    img->SetPixelFormat(pf32bit);
    img->SetSize(static_cast<int>(w), static_cast<int>(h));
    auto msk = std::make_unique<TBitmap>();
    msk->SetMonochrome(true);
    msk->SetSize(static_cast<int>(w), static_cast<int>(h));
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t* src = xorBits + (h - 1 - y) * stride;  // rows bottom-up
        auto* dst = static_cast<uint8_t*>(img->ScanLine(static_cast<int>(y)));
        auto* mdst = static_cast<uint8_t*>(msk->ScanLine(static_cast<int>(y)));
        for (int64_t x = 0; x < w; ++x) {
            uint8_t b = 0, g = 0, r = 0;
            bool transparent = false;
            if (bpp <= 8) {
                int idx = bpp == 8   ? src[x]
                          : bpp == 4 ? ((x & 1) ? (src[x / 2] & 15) : (src[x / 2] >> 4))
                                     : ((src[x / 8] >> (7 - (x & 7))) & 1);
                if (static_cast<size_t>(idx) < table.size()) {
                    b = table[idx].rgbBlue;
                    g = table[idx].rgbGreen;
                    r = table[idx].rgbRed;
                }
            } else {
                int n = bpp / 8;
                b = src[x * n];
                g = src[x * n + 1];
                r = src[x * n + 2];
                if (bpp == 32 && !andBits) transparent = src[x * n + 3] < 128;
            }
            if (andBits) {
                const uint8_t* m = andBits + (h - 1 - y) * mstride;
                transparent = (m[x / 8] >> (7 - (x & 7))) & 1;
            }
            dst[4 * x] = b;
            dst[4 * x + 1] = g;
            dst[4 * x + 2] = r;
            dst[4 * x + 3] = 0;
            uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            mdst[x / 8] = static_cast<uint8_t>(transparent ? (mdst[x / 8] | bit) : (mdst[x / 8] & ~bit));
        }
    }
    image = std::move(img);
    mask = std::move(msk);
}

// Decodes the best entry that can be decoded: the largest, then the deepest. Entries
// stored as PNG (large icons of newer files) are passed over for the others.
void DecodeBest(std::vector<IconEntry> entries, std::unique_ptr<TBitmap>& image, std::unique_ptr<TBitmap>& mask) {
    std::stable_sort(entries.begin(), entries.end(), [](const IconEntry& a, const IconEntry& b) {
        if (a.width * a.height != b.width * b.height) return a.width * a.height > b.width * b.height;
        return a.bits > b.bits;
    });
    for (const auto& e : entries) {
        if (e.size >= 4 && e.data[0] == 0x89 && e.data[1] == 'P' && e.data[2] == 'N' && e.data[3] == 'G') continue;
        DecodeIconImage(e, image, mask);
        return;
    }
    InvalidIcon();
}

}  // namespace

TIcon::~TIcon() = default;

void TIcon::LoadFromBytes(const uint8_t* data, size_t size) {
    if (size < 6 || U16(data) != 0 || U16(data + 2) != 1) InvalidIcon();
    size_t count = U16(data + 4);
    if (count == 0 || 6 + count * 16 > size) InvalidIcon();
    std::vector<IconEntry> entries;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* d = data + 6 + i * 16;
        uint32_t bytes = U32(d + 8), offset = U32(d + 12);
        if (offset > size || bytes > size - offset) InvalidIcon();
        entries.push_back({d[0] ? d[0] : 256, d[1] ? d[1] : 256, U16(d + 6), data + offset, bytes});
    }
    std::unique_ptr<TBitmap> image, mask;
    DecodeBest(std::move(entries), image, mask);
    FImage = std::move(image);
    FMask = std::move(mask);
    FData.assign(data, data + size);
    Changed();
}

void TIcon::LoadFromStream(TStream* stream) {
    int64_t n = stream->GetSize() - stream->GetPosition();
    if (n <= 0 || n > (int64_t{1} << 26)) InvalidIcon();
    std::vector<uint8_t> buf(static_cast<size_t>(n));
    if (stream->Read(buf.data(), n) != n) InvalidIcon();
    LoadFromBytes(buf.data(), buf.size());
}

void TIcon::SaveToStream(TStream* stream) {
    if (!FData.empty()) stream->WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
}

void TIcon::LoadFromResourceName(win::HINSTANCE instance, const String& name) {
    LoadFromResource(instance, name.c_str(), name);
}

void TIcon::LoadFromResourceID(win::HINSTANCE instance, int id) {
    LoadFromResource(instance, win::MAKEINTRESOURCEA(static_cast<win::WORD>(id)), Format("#%d", id));
}

void TIcon::LoadFromResource(win::HINSTANCE instance, const char* resource, const String& name) {
    auto bytesOf = [&](const char* resName, const char* type, size_t& size) -> const uint8_t* {
        win::HRSRC res = win::FindResourceA(instance, resName, type);
        if (!res) return nullptr;
        win::HGLOBAL g = win::LoadResource(instance, res);
        size = win::SizeofResource(instance, res);
        return static_cast<const uint8_t*>(win::LockResource(g));
    };
    size_t size = 0;
    const uint8_t* data = bytesOf(resource, win::RT_GROUP_ICON, size);
    if (!data) throw EResNotFound(Format("Resource %s not found", name));
    // An icon file stored whole, or a group directory whose entries name RT_ICON resources.
    try {
        LoadFromBytes(data, size);
        return;
    } catch (const EInvalidGraphic&) {
    }
    if (size < 6 || U16(data) != 0 || U16(data + 2) != 1) InvalidIcon();
    size_t count = U16(data + 4);
    if (count == 0 || 6 + count * 14 > size) InvalidIcon();
    std::vector<IconEntry> entries;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* d = data + 6 + i * 14;
        size_t n = 0;
        const uint8_t* img = bytesOf(win::MAKEINTRESOURCEA(U16(d + 12)), win::RT_ICON, n);
        if (img) entries.push_back({d[0] ? d[0] : 256, d[1] ? d[1] : 256, U16(d + 6), img, n});
    }
    if (entries.empty()) InvalidIcon();
    std::unique_ptr<TBitmap> image, mask;
    DecodeBest(std::move(entries), image, mask);
    FImage = std::move(image);
    FMask = std::move(mask);
    FData.clear();
    Changed();
}

void TIcon::SetWidth(int) { throw EInvalidGraphicOperation("Cannot change the size of an icon"); }
void TIcon::SetHeight(int) { throw EInvalidGraphicOperation("Cannot change the size of an icon"); }

void TIcon::Assign(TPersistent* Source) {
    if (!Source) {
        FImage.reset();
        FMask.reset();
        FData.clear();
        Changed();
        return;
    }
    if (auto* i = dynamic_cast<TIcon*>(Source)) {
        if (i == this) return;
        FImage.reset();
        FMask.reset();
        if (i->FImage) {
            FImage = std::make_unique<TBitmap>();
            FImage->Assign(i->FImage.get());
            FMask = std::make_unique<TBitmap>();
            FMask->Assign(i->FMask.get());
        }
        FData = i->FData;
        Changed();
        return;
    }
    TGraphic::Assign(Source);
}

// The image goes through its mask: mask pixels that are set keep the destination.
void TIcon::Draw(TCanvas* canvas, const TRect& rect) {
    if (!canvas || !FImage) return;
    // A transparent copy of the image whose transparent colour no opaque pixel has.
    TBitmap composite;
    composite.Assign(FImage.get());
    int w = composite.GetWidth(), h = composite.GetHeight();
    // A key colour that no opaque pixel has.
    std::vector<bool> used(size_t{1} << 24, false);
    for (int y = 0; y < h; ++y) {
        auto* row = static_cast<uint8_t*>(composite.ScanLine(y));
        auto* m = static_cast<uint8_t*>(FMask->ScanLine(y));
        for (int x = 0; x < w; ++x)
            if (!((m[x / 8] >> (7 - (x & 7))) & 1))
                used[(size_t{row[4 * x + 2]} << 16) | (size_t{row[4 * x + 1]} << 8) | row[4 * x]] = true;
    }
    size_t key = 0;
    while (used[key]) ++key;  // an icon has fewer than 2^24 pixels
    uint8_t kr = static_cast<uint8_t>(key >> 16), kg = static_cast<uint8_t>(key >> 8), kb = static_cast<uint8_t>(key);
    for (int y = 0; y < h; ++y) {
        auto* row = static_cast<uint8_t*>(composite.ScanLine(y));
        auto* m = static_cast<uint8_t*>(FMask->ScanLine(y));
        for (int x = 0; x < w; ++x)
            if ((m[x / 8] >> (7 - (x & 7))) & 1) {
                row[4 * x] = kb;
                row[4 * x + 1] = kg;
                row[4 * x + 2] = kr;
            }
    }
    composite.SetTransparentColor(win::RGB(kr, kg, kb));
    composite.SetTransparent(true);
    composite.Draw(canvas, rect);
}

}  // namespace cl
