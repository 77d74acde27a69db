// The picture object: drawing by transparency (compared with ImageMagick's composition),
// bitmaps in and out, pixels, palette, copies, the clipboard and the picture registry.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/user.h"
#include "png_testutil.h"

using namespace pngtest;
using png::TPNGObject;

namespace {

constexpr cl::TColor kBack = 0xA06030;  // the background colour drawn over (0xBBGGRR)

// A 32-bit bitmap filled with `back`.
std::unique_ptr<cl::TBitmap> Target(int w, int h, cl::TColor back = kBack) {
    auto b = std::make_unique<cl::TBitmap>();
    b->SetPixelFormat(cl::pf32bit);
    b->SetSize(w, h);
    b->GetCanvas()->GetBrush()->SetColor(back);
    b->GetCanvas()->FillRect(cl::Rect(0, 0, w, h));
    return b;
}

uint32_t Px(cl::TBitmap& b, int x, int y) { return static_cast<uint32_t>(b.GetCanvas()->Pixels(x, y)) & 0xFFFFFF; }

int Channel(uint32_t c, int i) { return static_cast<int>((c >> (8 * i)) & 0xFF); }

// ImageMagick's picture of `file` over the background colour, as 0xBBGGRR per pixel (grey
// levels taken as they are, not converted from a linear grey).
std::vector<uint32_t> MagickOver(const std::string& file, int w, int h) {
    const std::string raw =
        RunOutput("/usr/bin/convert '" + file + "' -set colorspace sRGB -background '#3060A0' -flatten -depth 8 rgb:-");
    std::vector<uint32_t> out;
    if (raw.size() != static_cast<size_t>(w) * h * 3) return out;
    for (size_t i = 0; i < raw.size(); i += 3)
        out.push_back(uint32_t{static_cast<uint8_t>(raw[i])} | (uint32_t{static_cast<uint8_t>(raw[i + 1])} << 8) |
                      (uint32_t{static_cast<uint8_t>(raw[i + 2])} << 16));
    return out;
}

std::vector<std::string> Names(const TPNGObject& p) {
    std::vector<std::string> names;
    for (int i = 0; i < p.Chunks().GetCount(); ++i) names.push_back(p.Chunks().GetItem(i)->GetNameText());
    return names;
}

}  // namespace

TEST(PngPicture, EmptyPicture) {
    TPNGObject p;
    EXPECT_EQ(p.GetWidth(), 0);
    EXPECT_EQ(p.GetHeight(), 0);
    EXPECT_TRUE(p.GetEmpty());
    EXPECT_THROW(p.TransparencyKind(), png::EPNGHeaderNotPresent);
    EXPECT_THROW((void)p.GetTransparent(), png::EPNGHeaderNotPresent);
    EXPECT_THROW(p.GetPalette(), png::EPNGHeaderNotPresent);
    EXPECT_THROW(p.GetPixels(0, 0), png::EPNGHeaderNotPresent);
    auto target = Target(4, 4);
    EXPECT_NO_THROW(p.Draw(target->GetCanvas(), cl::Rect(0, 0, 4, 4)));
    EXPECT_EQ(Px(*target, 1, 1), static_cast<uint32_t>(kBack));
    try {
        p.SetWidth(10);
        ADD_FAILURE() << "resized";
    } catch (const png::EPngError& e) {
        EXPECT_STREQ(e.what(), png::EPNGCannotChangeSizeText);
    }
    auto loaded = Load(ReadFile(kData + "rgb8.png"));
    EXPECT_THROW(loaded->SetHeight(3), png::EPngError);
    EXPECT_EQ(loaded->GetHeight(), 23);
}

TEST(PngPicture, SinglePixels) {
    std::string rows;
    for (int y = 0; y < 300; ++y) {
        rows += '\0';
        for (int x = 0; x < 400; ++x)
            rows += std::string{static_cast<char>(x), static_cast<char>(y), static_cast<char>(x + y)};
    }
    auto p = Load(MakePng(400, 300, 8, 2, rows));
    EXPECT_EQ(static_cast<uint32_t>(p->GetPixels(300, 10)), win::RGB(300 & 0xFF, 10, 310 & 0xFF));
    EXPECT_EQ(p->GetPixels(400, 10), 0);
    EXPECT_EQ(p->GetPixels(-1, 10), 0);
    EXPECT_EQ(p->GetPixels(10, 300), 0);
    const std::string before = Save(*p);
    p->SetPixels(400, 10, cl::clRed);
    p->SetPixels(-1, -1, cl::clRed);
    EXPECT_EQ(Save(*p), before);
    p->SetPixels(5, 6, 0x123456);
    EXPECT_EQ(p->GetPixels(5, 6), 0x123456);

    // Palette pixels take the nearest entry a pixel of the depth can name.
    auto pal = Load(MakePng(4, 1, 2, 3, std::string("\0\x00", 2),
                            Chunk("PLTE", std::string("\x00\x00\x00\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF", 12))));
    pal->SetPixels(1, 0, 0x00F000);  // nearly green
    EXPECT_EQ(pal->GetPixels(1, 0), 0x00FF00);
    pal->SetPixels(3, 0, 0x0000F0);  // nearly red
    EXPECT_EQ(pal->GetPixels(3, 0), 0x0000FF);
    EXPECT_EQ(pal->GetPixels(0, 0), 0);
    // Grey with alpha: the grey byte.
    auto ga = Load(MakePng(1, 1, 8, 4, std::string("\0\x64\x20", 3)));
    EXPECT_EQ(static_cast<uint32_t>(ga->GetPixels(0, 0)), 0x646464u);
    ga->SetPixels(0, 0, 0x000033);
    EXPECT_EQ(static_cast<uint32_t>(ga->GetPixels(0, 0)), 0x333333u);
}

TEST(PngPicture, OpaquePicturesAreStretchedOverTheWholeRectangle) {
    for (const char* name : {"rgb8.png", "p4.png", "g2.png", "g16.png"}) {
        SCOPED_TRACE(name);
        auto p = Load(ReadFile(kData + name));
        EXPECT_EQ(p->TransparencyKind(), png::ptkNone);
        auto target = Target(2 * 37 + 4, 2 * 23 + 4);
        target->GetCanvas()->StretchDraw(cl::Rect(2, 2, 2 + 74, 2 + 46), p.get());
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 37; ++x) {
                ASSERT_EQ(Px(*target, 2 + 2 * x, 2 + 2 * y), static_cast<uint32_t>(p->GetPixels(x, y)))
                    << x << "," << y;
                ASSERT_EQ(Px(*target, 3 + 2 * x, 3 + 2 * y), static_cast<uint32_t>(p->GetPixels(x, y)))
                    << x << "," << y;
            }
        EXPECT_EQ(Px(*target, 1, 1), static_cast<uint32_t>(kBack));
        EXPECT_EQ(Px(*target, 76, 48), static_cast<uint32_t>(kBack));
    }
}

TEST(PngPicture, AlphaPicturesBlendAtTheirOwnSizeAsImageMagickComposes) {
    for (const char* name : {"rgba8.png", "rgba16.png", "ga8.png", "i_ga16.png", "pa2.png"}) {
        SCOPED_TRACE(name);
        auto p = Load(ReadFile(kData + name));
        ASSERT_EQ(p->TransparencyKind(), png::ptkAlpha);
        // ImageMagick composes 16-bit files in 16 bits; the picture blends their high bytes.
        const int tolerance = p->HeaderChunk()->BitDepth == 16 ? 2 : 1;
        const int w = p->GetWidth(), h = p->GetHeight();
        const std::vector<uint32_t> want = MagickOver(kData + name, w, h);
        ASSERT_EQ(want.size(), static_cast<size_t>(w * h));
        // Drawn into a rectangle twice its size: only its own size is covered.
        auto target = Target(2 * w + 3, 2 * h + 3);
        p->Draw(target->GetCanvas(), cl::Rect(3, 3, 3 + 2 * w, 3 + 2 * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t got = Px(*target, 3 + x, 3 + y), exp = want[static_cast<size_t>(y * w + x)];
                for (int c = 0; c < 3; ++c)
                    ASSERT_NEAR(Channel(got, c), Channel(exp, c), tolerance)
                        << x << "," << y << std::hex << " " << got << " " << exp;
            }
        EXPECT_EQ(Px(*target, 3 + w, 3 + h), static_cast<uint32_t>(kBack));
        EXPECT_EQ(Px(*target, 2 * w + 2, 3), static_cast<uint32_t>(kBack));
    }
}

TEST(PngPicture, AlphaZeroKeepsEveryBackgroundAndAlphaFullGivesTheImage) {
    for (int alpha : {0, 255}) {
        std::string rows(1, '\0');
        for (int x = 0; x < 256; ++x)
            rows += std::string{static_cast<char>(200), static_cast<char>(100), 7, static_cast<char>(alpha)};
        auto p = Load(MakePng(256, 1, 8, 6, rows));
        cl::TBitmap target;
        target.SetPixelFormat(cl::pf32bit);
        target.SetSize(256, 1);
        for (int x = 0; x < 256; ++x)
            target.GetCanvas()->SetPixels(x, 0, static_cast<cl::TColor>(win::RGB(x, 255 - x, x)));
        p->Draw(target.GetCanvas(), cl::Rect(0, 0, 256, 1));
        for (int x = 0; x < 256; ++x) {
            const uint32_t want = alpha ? win::RGB(200, 100, 7) : win::RGB(x, 255 - x, x);
            ASSERT_EQ(Px(target, x, 0), want) << "alpha " << alpha << " x " << x;
        }
    }
}

TEST(PngPicture, ColourKeyedPicturesAreStretchedWithTheKeyLeftOut) {
    for (const char* name : {"gt8.png", "rgbt8.png", "rgbt16.png", "pt8.png"}) {
        SCOPED_TRACE(name);
        auto p = Load(ReadFile(kData + name));
        ASSERT_EQ(p->TransparencyKind(), png::ptkColorKey);
        const int w = p->GetWidth(), h = p->GetHeight();
        const std::vector<uint32_t> want = MagickOver(kData + name, w, h);
        ASSERT_EQ(want.size(), static_cast<size_t>(w * h));
        auto target = Target(2 * w, 2 * h);
        p->Draw(target->GetCanvas(), cl::Rect(0, 0, 2 * w, 2 * h));
        int keyed = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t exp = want[static_cast<size_t>(y * w + x)];
                keyed += exp == static_cast<uint32_t>(kBack);
                // 16-bit files: ImageMagick rounds to 8 bits, the picture keeps the high byte.
                const int tolerance = p->HeaderChunk()->BitDepth == 16 ? 1 : 0;
                for (int c = 0; c < 3; ++c) {
                    ASSERT_NEAR(Channel(Px(*target, 2 * x, 2 * y), c), Channel(exp, c), tolerance) << x << "," << y;
                    ASSERT_NEAR(Channel(Px(*target, 2 * x + 1, 2 * y + 1), c), Channel(exp, c), tolerance);
                }
            }
        EXPECT_GT(keyed, 0);
    }
}

// A palette picture whose tRNS has one entry 0 goes the colour-key way, two entries below
// 255 the alpha way; neither raises without a PLTE chunk.
TEST(PngPicture, PaletteTransparencyWithoutPaletteChunkDrawsBlack) {
    for (const std::string& alphas : {std::string("\0", 1), std::string("\0\x80", 2)}) {
        auto p = Load(MakePng(2, 1, 8, 3, std::string("\0\x00\x01", 3), Chunk("tRNS", alphas)));
        EXPECT_EQ(p->TransparencyKind(), alphas.size() == 1 ? png::ptkColorKey : png::ptkAlpha);
        auto target = Target(2, 1, cl::clWhite);
        EXPECT_NO_THROW(p->Draw(target->GetCanvas(), cl::Rect(0, 0, 2, 1)));
        EXPECT_EQ(Px(*target, 0, 0), 0xFFFFFFu) << "index 0 is transparent";
        // Index 1 is black (beyond the palette): keyed out with the black key, or half
        // transparent over white.
        EXPECT_EQ(Px(*target, 1, 0), alphas.size() == 1 ? 0xFFFFFFu : 0x7F7F7Fu);
    }
}

TEST(PngPicture, BitmapsBecomePalettePicturesOrRgbPictures) {
    struct Case {
        cl::TPixelFormat format;
        int depth, type, entries;
    };
    const Case cases[] = {{cl::pf1bit, 1, 3, 2},
                          {cl::pf4bit, 4, 3, 16},
                          {cl::pf8bit, 8, 3, 256},
                          {cl::pf24bit, 8, 2, 0},
                          {cl::pf32bit, 8, 2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        cl::TBitmap b;
        b.SetPixelFormat(c.format);
        b.SetSize(9, 5);
        b.GetCanvas()->GetBrush()->SetColor(cl::clWhite);
        b.GetCanvas()->FillRect(cl::Rect(0, 0, 9, 5));
        b.GetCanvas()->GetBrush()->SetColor(cl::clBlack);
        b.GetCanvas()->FillRect(cl::Rect(2, 1, 6, 4));
        TPNGObject p;
        p.Assign(&b);
        png::TChunkIHDR* h = p.HeaderChunk();
        EXPECT_EQ(h->BitDepth, c.depth);
        EXPECT_EQ(h->ColorType, c.type);
        auto* plte = p.Chunks().Find<png::TChunkPLTE>();
        EXPECT_EQ(plte ? plte->GetCount() : 0, c.entries);
        EXPECT_EQ(p.Chunks().Find<png::TChunktRNS>(), nullptr);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 9; ++x) ASSERT_EQ(p.GetPixels(x, y), b.GetCanvas()->Pixels(x, y)) << x << "," << y;
        // And back into a bitmap of the store's format.
        cl::TBitmap back;
        back.Assign(&p);
        EXPECT_EQ(back.GetPixelFormat(), c.format == cl::pf32bit ? cl::pf24bit : c.format);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 9; ++x) ASSERT_EQ(back.GetCanvas()->Pixels(x, y), b.GetCanvas()->Pixels(x, y));
        // Written, it passes as a PNG file.
        auto again = Load(Save(p));
        EXPECT_EQ(again->GetPixels(3, 2), p.GetPixels(3, 2));
    }
    // A transparent bitmap gives a tRNS chunk keyed on its transparent colour.
    cl::TBitmap t;
    t.SetPixelFormat(cl::pf24bit);
    t.SetSize(4, 4);
    t.GetCanvas()->GetBrush()->SetColor(cl::clFuchsia);
    t.GetCanvas()->FillRect(cl::Rect(0, 0, 4, 4));
    t.GetCanvas()->SetPixels(1, 1, cl::clNavy);
    t.SetTransparentColor(cl::clFuchsia);
    t.SetTransparent(true);
    TPNGObject p;
    p.Assign(&t);
    ASSERT_NE(p.Chunks().Find<png::TChunktRNS>(), nullptr);
    EXPECT_EQ(p.TransparencyKind(), png::ptkColorKey);
    EXPECT_EQ(p.ColorKey(), cl::clFuchsia);
    cl::TBitmap back;
    back.Assign(&p);
    EXPECT_TRUE(back.GetTransparent());
    EXPECT_EQ(back.GetTransparentColor(), cl::clFuchsia);
}

TEST(PngPicture, PaletteHandleFollowsTheColourTable) {
    auto p = Load(ReadFile(kData + "p4.png"));
    win::HPALETTE first = p->GetPalette();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(p->GetPalette(), first) << "cached";
    win::PALETTEENTRY e[256];
    ASSERT_EQ(win::GetPaletteEntries(first, 0, 256, e), 256u);
    const auto c0 = static_cast<uint32_t>(p->Chunks().Find<png::TChunkPLTE>()->EntryColor(0));
    EXPECT_EQ((uint32_t{e[0].peRed} << 16) | (uint32_t{e[0].peGreen} << 8) | e[0].peBlue, c0);

    std::vector<uint8_t> block(sizeof(win::LOGPALETTE) + 3 * sizeof(win::PALETTEENTRY));
    auto* lp = reinterpret_cast<win::LOGPALETTE*>(block.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = 4;
    for (int i = 0; i < 4; ++i) lp->palPalEntry[i] = win::PALETTEENTRY{static_cast<uint8_t>(10 * i), 20, 30, 0};
    win::HPALETTE mine = win::CreatePalette(lp);
    p->SetPalette(mine);
    win::DeleteObject(mine);
    win::HPALETTE second = p->GetPalette();
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(win::GetPaletteEntries(second, 0, 256, e), 256u);
    EXPECT_EQ(e[3].peRed, 30);
    EXPECT_EQ(e[3].peBlue, 30);
    EXPECT_EQ(static_cast<uint32_t>(p->Chunks().Find<png::TChunkPLTE>()->EntryColor(3)), 0x1E141Eu);
    // RGB pictures have no palette.
    auto rgb = Load(ReadFile(kData + "rgb8.png"));
    EXPECT_EQ(rgb->GetPalette(), nullptr);
}

TEST(PngPicture, CopiesAreIndependentAndKeepIdentityGamma) {
    auto source = Load(ReadFile(kData + "gam10.png"));
    ASSERT_NE(source->GammaTable[128], 128);
    source->SetInterlacing(1);
    source->SetDeflateLevel(3);
    source->SetRowFilters(png::RowFilterBit(png::prfPaeth));
    TPNGObject copy;
    copy.Assign(source.get());
    for (int i = 0; i < 256; ++i) ASSERT_EQ(copy.GammaTable[static_cast<size_t>(i)], i);
    EXPECT_EQ(copy.GetInterlacing(), 1);
    EXPECT_EQ(copy.GetDeflateLevel(), 3);
    EXPECT_EQ(copy.GetRowFilters(), png::RowFilterBit(png::prfPaeth));
    EXPECT_EQ(Names(copy), Names(*source));
    EXPECT_EQ(copy.GetPixels(20, 10), source->GetPixels(20, 10));
    copy.SetPixels(20, 10, 0x010203);
    EXPECT_NE(source->GetPixels(20, 10), 0x010203);
    // Through the class library's picture: the same.
    cl::TPicture picture;
    picture.SetGraphic(source.get());
    ASSERT_NE(dynamic_cast<TPNGObject*>(picture.GetGraphic()), nullptr);
    EXPECT_EQ(static_cast<TPNGObject*>(picture.GetGraphic())->GetPixels(20, 10), source->GetPixels(20, 10));
}

TEST(PngPicture, PictureRegistryLoadsPngFiles) {
    cl::TPicture picture;
    picture.LoadFromFile(kData + "rgba8.png");
    auto* p = dynamic_cast<TPNGObject*>(picture.GetGraphic());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(picture.GetWidth(), 37);
    // A second start-up is counted: one shutdown leaves the class registered.
    png::StartupPngPicture();
    png::ShutdownPngPicture();
    cl::TPicture again;
    again.LoadFromFile(kData + "p8.png");
    EXPECT_NE(dynamic_cast<TPNGObject*>(again.GetGraphic()), nullptr);
    EXPECT_NE(cl::FindGraphicClass("png"), nullptr);
}

TEST(PngPicture, ClipboardGoesThroughAPackedDib) {
    auto p = Load(ReadFile(kData + "p8.png"));
    win::UINT format = 0;
    win::HANDLE data = nullptr;
    win::HPALETTE palette = nullptr;
    p->SaveToClipboardFormat(format, data, palette);
    ASSERT_EQ(format, win::CF_DIB);
    ASSERT_NE(data, nullptr);
    TPNGObject q;
    q.LoadFromClipboardFormat(format, data, palette);
    win::GlobalFree(data);
    EXPECT_EQ(q.HeaderChunk()->ColorType, 2);
    for (int y = 0; y < p->GetHeight(); ++y)
        for (int x = 0; x < p->GetWidth(); ++x) ASSERT_EQ(q.GetPixels(x, y), p->GetPixels(x, y));
}
