// The layers stream: its exact layout, round trips with raw, zlib and image-file codecs
// (the PNG images read by ImageMagick), older versions, damaged streams that raise and
// leave the view as it was, the content test, the engine's entry for the LYR file type, and
// the replay of the fuzz target's seeds.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "formats_testutil.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/view/vovozidview.h"
#include "imaging/view/vovozidview_stream.h"

namespace ie::test {
namespace {

using LayersStream = CodecIOTest;

int32_t I32(const std::vector<uint8_t>& B, size_t At) {
    int32_t v = 0;
    std::memcpy(&v, B.data() + At, 4);
    return v;
}
int64_t I64(const std::vector<uint8_t>& B, size_t At) {
    int64_t v = 0;
    std::memcpy(&v, B.data() + At, 8);
    return v;
}
void SetI32(std::vector<uint8_t>& B, size_t At, int32_t V) { std::memcpy(B.data() + At, &V, 4); }
void SetI64(std::vector<uint8_t>& B, size_t At, int64_t V) { std::memcpy(B.data() + At, &V, 8); }

void Paint(TIEBitmap* B, int32_t W, int32_t H, int Seed, bool Alpha) {
    B->Allocate(W, H, ie24RGB);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            B->SetPixel24(x, y,
                          TRGB{static_cast<uint8_t>(x * 40 + Seed), static_cast<uint8_t>(y * 30 + Seed * 3),
                               static_cast<uint8_t>((x ^ y) * 20 + Seed)});
    if (Alpha) {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) B->GetAlphaChannel()->SetPixel8(x, y, static_cast<uint8_t>(x * 50 + y));
        B->GetAlphaChannel()->Full = false;
    }
}

// A view with three layers whose settings all differ from the defaults.
std::unique_ptr<TVovozIdView> ThreeLayers() {
    auto view = std::make_unique<TVovozIdView>(nullptr);
    Paint(view->GetLayer(0)->GetBitmap(), 6, 5, 1, false);
    view->Update();
    view->LayersAdd();
    TIELayer* a = view->GetLayer(1);
    Paint(a->GetBitmap(), 4, 3, 2, true);
    a->PositionX = -3;
    a->PositionY = 2;
    a->Opacity = 140;
    a->BlendMode = boMultiply;
    a->ShownWidth = 8;
    a->ShownHeight = 6;
    a->Name = "Überschrift";
    const uint8_t user[] = {9, 8, 7, 6, 5};
    a->SetUserData(user, sizeof user);
    a->OwnFilter = rfLanczos3;
    a->UseOwnFilter = true;
    a->Magnifier.Magnifier = true;
    a->Magnifier.Zoom = 3.5;
    a->Magnifier.Shape = 1;
    a->Magnifier.Source = 0;
    a->ClipToImage = true;
    a->DimOthers = true;
    view->LayersAdd();
    TIELayer* m = view->GetLayer(2);
    m->GetBitmap()->Allocate(3, 3, ie8g);
    for (int i = 0; i < 9; ++i) m->GetBitmap()->SetPixel8(i % 3, i / 3, static_cast<uint8_t>(i * 30));
    m->MaskForBelow = true;
    m->Visible = false;
    m->ShowBox = false;
    m->Immovable = true;
    m->Pickable = false;
    return view;
}

void ExpectSameLayers(TVovozIdView& A, TVovozIdView& B) {
    ASSERT_EQ(A.GetLayerCount(), B.GetLayerCount());
    for (int32_t i = 0; i < A.GetLayerCount(); ++i) {
        SCOPED_TRACE(i);
        TIELayer *x = A.GetLayer(i), *y = B.GetLayer(i);
        EXPECT_EQ(x->Visible, y->Visible);
        EXPECT_EQ(x->ShowBox, y->ShowBox);
        EXPECT_EQ(x->Opacity, y->Opacity);
        EXPECT_EQ(x->PositionX, y->PositionX);
        EXPECT_EQ(x->PositionY, y->PositionY);
        EXPECT_EQ(x->ClipToImage, y->ClipToImage);
        EXPECT_EQ(x->Immovable, y->Immovable);
        EXPECT_EQ(x->Magnifier.Magnifier, y->Magnifier.Magnifier);
        EXPECT_EQ(x->Magnifier.Zoom, y->Magnifier.Zoom);
        EXPECT_EQ(x->Magnifier.Shape, y->Magnifier.Shape);
        EXPECT_EQ(x->Magnifier.Source, y->Magnifier.Source);
        EXPECT_EQ(x->BlendMode, y->BlendMode);
        EXPECT_EQ(x->ShownWidth, y->ShownWidth);
        EXPECT_EQ(x->ShownHeight, y->ShownHeight);
        EXPECT_EQ(x->OwnFilter, y->OwnFilter);
        EXPECT_EQ(x->UseOwnFilter, y->UseOwnFilter);
        EXPECT_EQ(x->Name, y->Name);
        ASSERT_EQ(x->GetUserDataSize(), y->GetUserDataSize());
        if (x->GetUserDataSize() > 0) {
            EXPECT_EQ(std::memcmp(x->GetUserData(), y->GetUserData(), static_cast<size_t>(x->GetUserDataSize())), 0);
        }
        EXPECT_EQ(x->MaskForBelow, y->MaskForBelow);
        EXPECT_EQ(x->Pickable, y->Pickable);
        EXPECT_EQ(x->DimOthers, y->DimOthers);
        TIEBitmap *p = x->GetBitmap(), *q = y->GetBitmap();
        ASSERT_EQ(p->GetWidth(), q->GetWidth());
        ASSERT_EQ(p->GetHeight(), q->GetHeight());
        ASSERT_EQ(p->HasAlphaChannel(), q->HasAlphaChannel());
        for (int yy = 0; yy < p->GetHeight(); ++yy)
            for (int xx = 0; xx < p->GetWidth(); ++xx) {
                ASSERT_EQ(p->GetPixelRGB(xx, yy), q->GetPixelRGB(xx, yy)) << xx << "," << yy;
                if (p->HasAlphaChannel()) {
                    ASSERT_EQ(p->GetAlpha(xx, yy), q->GetAlpha(xx, yy));
                }
            }
    }
}

std::vector<uint8_t> Save(TVovozIdView& View, int32_t Codec) {
    cl::TMemoryStream s;
    View.SaveLayersToStream(&s, Codec);
    return StreamBytes(s);
}

TEST_F(LayersStream, OneLayerRawHasTheDocumentedLayout) {
    TVovozIdView view(nullptr);
    Paint(view.GetLayer(0)->GetBitmap(), 3, 2, 5, false);
    view.Update();
    const std::vector<uint8_t> b = Save(view, -2);
    ASSERT_GT(b.size(), 86u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 13), "VOVOZIDLAYERS");
    EXPECT_EQ(I32(b, 13), 6);
    EXPECT_EQ(I32(b, 17), -2);
    EXPECT_EQ(I32(b, 21), 1);
    // A 57-byte record whose last 8 bytes point right behind it.
    EXPECT_EQ(I64(b, 25 + 49), 82);
    cl::TMemoryStream raw;
    view.GetIEBitmap()->SaveRawToStream(nullptr, 0, &raw);
    EXPECT_EQ(I32(b, 82), raw.GetSize());
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 86, b.end()), StreamBytes(raw));
}

TEST_F(LayersStream, RoundTripsWithEveryCodec) {
    for (int32_t codec : {-2, -1, 1}) {
        SCOPED_TRACE(codec);
        auto source = ThreeLayers();
        const std::vector<uint8_t> bytes = Save(*source, codec);
        EXPECT_EQ(I32(bytes, 17), codec == 1 ? ioPNG : codec);
        TVovozIdView loaded(nullptr);
        auto s = MemStream(bytes);
        ASSERT_TRUE(loaded.LoadLayersFromStream(s.get()));
        if (codec == 1) {
            // PNG keeps the pixels; the grey mask comes back grey in its own format.
            EXPECT_EQ(loaded.GetLayer(2)->GetBitmap()->GetPixelFormat(), ie8g);
        }
        ExpectSameLayers(*source, loaded);
        // The last layer read is not pickable: the one below it is current.
        EXPECT_EQ(loaded.GetCurrentLayer(), 1);
        EXPECT_EQ(loaded.GetIEBitmap(), loaded.GetLayer(1)->GetBitmap());
        // Layer 0 keeps its class-library bitmap.
        EXPECT_EQ(loaded.GetLayer(0)->GetBitmap()->GetLocation(), ieTBitmap);
        EXPECT_EQ(loaded.GetImageWidth(), 6);
    }
}

TEST_F(LayersStream, PNGImagesAreFilesThatImageMagickReads) {
    auto source = ThreeLayers();
    const std::vector<uint8_t> bytes = Save(*source, 8);
    // Each image runs from its offset to the next one (the last to the end).
    std::vector<int64_t> offsets;
    size_t at = 25;
    for (int i = 0; i < 3; ++i) {
        TIELayer* l = source->GetLayer(i);
        at += 38 + 4 + l->Name.size() + 4 + static_cast<size_t>(l->GetUserDataSize()) + 3;
        offsets.push_back(I64(bytes, at));
        at += 8;
    }
    offsets.push_back(static_cast<int64_t>(bytes.size()));
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const std::string file = Temp("layer" + std::to_string(i) + ".png");
        WriteBytes(file,
                   std::vector<uint8_t>(bytes.begin() + offsets[size_t(i)], bytes.begin() + offsets[size_t(i + 1)]));
        const RefImage ref = DecodeWithImageMagick(file);
        ExpectSameRGB(*source->GetLayer(i)->GetBitmap(), ref);
    }
}

TEST_F(LayersStream, FilesLoadThroughTheEngineWithAndWithoutAView) {
    auto source = ThreeLayers();
    const std::string file = Temp("three.lyr");
    source->SaveLayersToFile(cl::String(file), -1);
    EXPECT_EQ(IEFindFileFormat(cl::String(file), false), ioLYR);
    EXPECT_EQ(IEFileTypeOfExtension("lyr"), ioLYR);

    TVovozIdView view(nullptr);
    view.GetIO()->LoadFromFile(cl::String(file));
    EXPECT_FALSE(view.GetIO()->Aborting);
    EXPECT_EQ(view.GetIO()->Params().FileType, ioLYR);
    ExpectSameLayers(*source, view);
    EXPECT_EQ(view.GetIO()->Params().Width, 6);

    // Without a view the merged picture is the component's.
    TIEBitmap merged;
    source->RenderLayersTo(&merged);
    TIEBitmap target;
    std::unique_ptr<TVovozIdIO> io = TVovozIdIO::CreateFromBitmap(&target);
    io->LoadFromFile(cl::String(file));
    EXPECT_FALSE(io->Aborting);
    ASSERT_EQ(target.GetWidth(), merged.GetWidth());
    ASSERT_EQ(target.GetHeight(), merged.GetHeight());
    for (int y = 0; y < merged.GetHeight(); ++y)
        for (int x = 0; x < merged.GetWidth(); ++x) ASSERT_EQ(target.GetPixelRGB(x, y), merged.GetPixelRGB(x, y));
}

TEST_F(LayersStream, ContentTestRestoresThePosition) {
    auto source = ThreeLayers();
    std::vector<uint8_t> bytes = Save(*source, -2);
    auto s = MemStream(bytes);
    EXPECT_TRUE(IEIsLayersStream(s.get()));
    EXPECT_EQ(s->GetPosition(), 0);
    SetI32(bytes, 13, 0);
    s = MemStream(bytes);
    EXPECT_FALSE(IEIsLayersStream(s.get()));
    EXPECT_EQ(s->GetPosition(), 0);
    s = MemStream(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 20));
    EXPECT_FALSE(IEIsLayersStream(s.get()));
    EXPECT_EQ(s->GetPosition(), 0);
}

TEST_F(LayersStream, AVersionTwoStreamKeepsTheNewLayerValues) {
    // Header, then one record without fields 11 and 15 to 22 for layer 0 and one for layer 1.
    auto record = [](int32_t X, int64_t Offset) {
        std::vector<uint8_t> r = {0, 1};  // Visible False, ShowBox
        auto put = [&r](const void* p, size_t n) { r.insert(r.end(), (const uint8_t*)p, (const uint8_t*)p + n); };
        const int32_t opacity = 77, y = 4, shown = 0;
        const double zoom = 2.5;
        put(&opacity, 4);
        put(&X, 4);
        put(&y, 4);
        r.insert(r.end(), {0, 0, 0});
        put(&zoom, 8);
        r.push_back(1);  // shape
        r.push_back(3);  // blend
        put(&shown, 4);
        put(&shown, 4);
        put(&Offset, 8);
        return r;
    };
    TVovozIdView donor(nullptr);
    Paint(donor.GetIEBitmap(), 2, 2, 7, false);
    cl::TMemoryStream raw;
    donor.GetIEBitmap()->SaveRawToStream(nullptr, 0, &raw);
    const std::vector<uint8_t> image = StreamBytes(raw);
    std::vector<uint8_t> b(13);
    std::memcpy(b.data(), "VOVOZIDLAYERS", 13);
    for (int32_t v : {2, -2, 2}) b.insert(b.end(), (uint8_t*)&v, (uint8_t*)&v + 4);
    const int64_t first = 25 + 2 * 43;
    const int64_t second = first + 4 + static_cast<int64_t>(image.size());
    for (auto& r : {record(1, first), record(-5, second)}) b.insert(b.end(), r.begin(), r.end());
    for (int i = 0; i < 2; ++i) {
        const int32_t n = static_cast<int32_t>(image.size());
        b.insert(b.end(), (const uint8_t*)&n, (const uint8_t*)&n + 4);
        b.insert(b.end(), image.begin(), image.end());
    }
    TVovozIdView view(nullptr);
    view.GetLayer(0)->Name = "base";
    auto s = MemStream(b);
    ASSERT_TRUE(view.LoadLayersFromStream(s.get()));
    ASSERT_EQ(view.GetLayerCount(), 2);
    TIELayer* l0 = view.GetLayer(0);
    TIELayer* l1 = view.GetLayer(1);
    EXPECT_EQ(l0->PositionX, 1);
    EXPECT_EQ(l1->PositionX, -5);
    EXPECT_EQ(l1->Opacity, 77);
    EXPECT_FALSE(l1->Visible);
    EXPECT_EQ(l1->Magnifier.Zoom, 2.5);
    EXPECT_EQ(l1->BlendMode, 3);
    // Missing fields: layer 0 keeps its own, layer 1 those of a new layer.
    EXPECT_EQ(l0->Name, "base");
    EXPECT_TRUE(l1->Pickable);
    EXPECT_EQ(l1->Magnifier.Source, 1);
    EXPECT_FALSE(l1->MaskForBelow);
    EXPECT_EQ(l1->GetBitmap()->GetPixelRGB(1, 1), donor.GetIEBitmap()->GetPixelRGB(1, 1));
}

TEST_F(LayersStream, WrongSignatureAndVersionZeroChangeNothing) {
    auto source = ThreeLayers();
    std::vector<uint8_t> bytes = Save(*source, -2);
    auto view = ThreeLayers();
    view->GetLayer(1)->Name = "kept";
    std::vector<uint8_t> wrong = bytes;
    wrong[0] = 'X';
    auto s = MemStream(wrong);
    EXPECT_FALSE(view->LoadLayersFromStream(s.get()));
    EXPECT_EQ(s->GetPosition(), 25);
    SetI32(bytes, 13, 0);
    s = MemStream(bytes);
    EXPECT_FALSE(view->LoadLayersFromStream(s.get()));
    EXPECT_EQ(view->GetLayerCount(), 3);
    EXPECT_EQ(view->GetLayer(1)->Name, "kept");
}

// Each damage raises, and the view keeps its layers, their settings and pixels.
TEST_F(LayersStream, DamagedStreamsRaiseAndLeaveTheViewAsItWas) {
    auto source = ThreeLayers();
    const std::vector<uint8_t> good = Save(*source, -2);
    const std::vector<uint8_t> packed = Save(*source, -1);
    // Layer 1's record starts at 82 + 8 (layer 0's record is 57 bytes with its offset).
    const size_t rec1 = 25 + 57;
    const size_t name1 = rec1 + 38;
    const size_t nameLen = source->GetLayer(1)->Name.size();
    const size_t user1 = name1 + 4 + nameLen;
    const size_t offset0 = 25 + 49;
    const int64_t image0 = I64(good, offset0);
    struct Case {
        const char* What;
        std::vector<uint8_t> Bytes;
    };
    std::vector<Case> cases;
    auto with = [&](const char* What, const std::vector<uint8_t>& Base, auto Edit) {
        std::vector<uint8_t> b = Base;
        Edit(b);
        cases.push_back({What, b});
    };
    with("negative count", good, [](auto& b) { SetI32(b, 21, -1); });
    with("count beyond the bytes", good, [](auto& b) { SetI32(b, 21, 1000000); });
    with("negative name length", good, [&](auto& b) { SetI32(b, name1, -4); });
    with("name beyond the end", good, [&](auto& b) { SetI32(b, name1, 0x7FFFFF00); });
    with("negative user data size", good, [&](auto& b) { SetI32(b, user1, -1); });
    with("user data beyond the end", good, [&](auto& b) { SetI32(b, user1, 0x40000000); });
    with("offset beyond the end", good, [&](auto& b) { SetI64(b, offset0, int64_t{1} << 40); });
    with("negative offset", good, [&](auto& b) { SetI64(b, offset0, -8); });
    with("image length beyond the end", good, [&](auto& b) { SetI32(b, static_cast<size_t>(image0), 0x7FFFFFFF); });
    with("negative image length", good, [&](auto& b) { SetI32(b, static_cast<size_t>(image0), -1); });
    with("raw bitmap damaged", good, [&](auto& b) { b[static_cast<size_t>(image0) + 4] ^= 0xFF; });
    with("display range not a number", good, [&](auto& b) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        std::memcpy(b.data() + image0 + 4 + 34, &nan, 8);
    });
    with("zlib data damaged", packed, [&](auto& b) {
        for (size_t i = static_cast<size_t>(I64(b, offset0)) + 6; i < static_cast<size_t>(I64(b, offset0)) + 20; ++i)
            b[i] ^= 0x5A;
    });
    with("unknown codec", good, [](auto& b) { SetI32(b, 17, 999); });
    with("the view's own file type as codec", good, [](auto& b) { SetI32(b, 17, ioLYR); });
    with("negative displayed size", good, [&](auto& b) { SetI32(b, rec1 + 28, -3); });
    with("filter out of range", good, [&](auto& b) { b[rec1 + 36] = 200; });
    with("cut short", good, [](auto& b) { b.erase(b.end() - 5, b.end()); });

    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        auto view = ThreeLayers();
        auto before = ThreeLayers();
        auto s = MemStream(c.Bytes);
        EXPECT_THROW(view->LoadLayersFromStream(s.get()), std::exception);
        ExpectSameLayers(*before, *view);
        EXPECT_EQ(view->GetIEBitmap(), view->GetCurrentLayerObject()->GetBitmap());
    }
}

// Every prefix of a stream either loads, answers False or raises; none crashes.
TEST_F(LayersStream, EveryPrefixIsHandled) {
    auto source = ThreeLayers();
    for (int32_t codec : {-2, -1}) {
        const std::vector<uint8_t> bytes = Save(*source, codec);
        for (size_t n = 0; n < bytes.size(); n += 3) {
            TVovozIdView view(nullptr);
            auto s = MemStream(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(n)));
            bool ok = false;
            try {
                ok = view.LoadLayersFromStream(s.get());
            } catch (const std::exception&) {
                EXPECT_EQ(view.GetLayerCount(), 1);
            }
            EXPECT_FALSE(ok) << n;
        }
    }
}

TEST_F(LayersStream, AWriterThatFailsRaises) {
    auto source = ThreeLayers();
    cl::TMemoryStream s;
    // No writer stores a picture as a layers file of its own.
    EXPECT_THROW(source->SaveLayersToStream(&s, ioLYR), std::exception);
    EXPECT_THROW(source->SaveLayersToStream(&s, 12345), std::exception);
    // The current layer is the same after writing.
    source->SetCurrentLayer(1);
    (void)Save(*source, 8);
    EXPECT_EQ(source->GetCurrentLayer(), 1);
}

// The fuzz target's seeds, loaded the way the target does.
TEST_F(LayersStream, FuzzSeedsLoadOrFailCleanly) {
    const std::string folder = std::string(LUMETRA_TEST_DATA) + "/../../../fuzz/corpus/layers_stream";
    int loaded = 0, files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++files;
        TVovozIdView view(nullptr);
        auto s = MemStream(ReadBytes(entry.path().string()));
        try {
            if (view.LoadLayersFromStream(s.get())) ++loaded;
        } catch (const std::exception&) {
            EXPECT_EQ(view.GetLayerCount(), 1) << entry.path();
        }
    }
    EXPECT_GE(files, 5);
    // one_raw, two_zlib, mask_named, version2, png_codec and far_away are whole streams.
    EXPECT_EQ(loaded, 6);
}

// A layer placed two billion pixels away loads into a view, but the engine does not make
// the merged picture such a file asks for without one.
TEST_F(LayersStream, AFarAwayLayerIsNotMergedIntoAGiantPicture) {
    const std::string seed = std::string(LUMETRA_TEST_DATA) + "/../../../fuzz/corpus/layers_stream/far_away.lyr";
    TVovozIdView view(nullptr);
    view.GetIO()->LoadFromFile(cl::String(seed));
    EXPECT_FALSE(view.GetIO()->Aborting);
    ASSERT_EQ(view.GetLayerCount(), 2);
    EXPECT_EQ(view.GetLayer(1)->PositionX, 0x7FFFFF00);
    EXPECT_FALSE(IELayersMergeIsReasonable(&view));
    TIEBitmap target;
    std::unique_ptr<TVovozIdIO> io = TVovozIdIO::CreateFromBitmap(&target);
    io->LoadFromFile(cl::String(seed));
    EXPECT_TRUE(io->Aborting);
    EXPECT_LE(target.GetWidth(), 1);
}

// A view's layers saved as a Photoshop document: ImageMagick reads the merged picture, and
// a view that asks for the layers gets them back with their placement.
TEST_F(LayersStream, PhotoshopLayersGoOutOfAndIntoAView) {
    TVovozIdView source(nullptr);
    Paint(source.GetLayer(0)->GetBitmap(), 9, 7, 3, false);
    source.Update();
    source.LayersAdd();
    Paint(source.GetLayer(1)->GetBitmap(), 4, 3, 6, true);
    source.GetLayer(1)->PositionX = 2;
    source.GetLayer(1)->PositionY = 1;
    source.GetLayer(1)->Name = "card";
    const std::string file = Temp("layers.psd");
    source.GetIO()->SaveToFile(cl::String(file));
    ASSERT_FALSE(source.GetIO()->Aborting);
    TIEBitmap merged;
    source.RenderLayersTo(&merged);
    {
        SCOPED_TRACE("saved");
        ExpectSameRGB(merged, DecodeWithImageMagick(file + "[0]"));
    }

    TVovozIdView loaded(nullptr);
    loaded.GetIO()->Params().PSDLoadLayers = true;
    loaded.GetIO()->LoadFromFile(cl::String(file));
    ASSERT_FALSE(loaded.GetIO()->Aborting);
    ASSERT_EQ(loaded.GetLayerCount(), 2);
    TIELayer* l = loaded.GetLayer(1);
    EXPECT_EQ(l->PositionX, 2);
    EXPECT_EQ(l->PositionY, 1);
    EXPECT_EQ(l->Name, "card");
    TIEBitmap* b = l->GetBitmap();
    ASSERT_EQ(b->GetWidth(), 4);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(b->GetPixelRGB(x, y), source.GetLayer(1)->GetBitmap()->GetPixelRGB(x, y));
            EXPECT_EQ(b->GetAlpha(x, y), source.GetLayer(1)->GetBitmap()->GetAlpha(x, y));
        }
    TIEBitmap again;
    loaded.RenderLayersTo(&again);
    ExpectSameRGB(again, DecodeWithImageMagick(file + "[0]"));
}

}  // namespace
}  // namespace ie::test
