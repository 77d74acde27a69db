// Imaging annotations of TIFF pages: blocks built by hand read into marks, marks saved and
// read again (lines, texts with the font rescale, embedded pictures), and damaged blocks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/hyieutils_annot.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_bytes.h"
#include "imaging_fixture.h"
#include "metadata_support.h"

namespace ie::test {
namespace {

// A block in the 32-bit layout (or the 16-bit one, whose lengths take 8 bytes).
struct AnnotBlock {
    ByteWriter w{false};
    bool layout32;
    explicit AnnotBlock(bool Layout32 = true) : layout32(Layout32) { w.U32(0).U32(Layout32 ? 1 : 0); }
    AnnotBlock& Named(uint32_t Type, const std::string& Name, const Bytes& Data) {
        w.U32(Type).U32(12);
        std::string n = Name;
        n.resize(8, '\0');
        w.Text(n).U32(static_cast<uint32_t>(Data.size()));
        if (!layout32) w.U32(0);
        w.Raw(Data);
        return *this;
    }
    AnnotBlock& Mark(int32_t Type, int32_t FontHeight = 0) {
        Bytes a(IEAnnotAttributesSize, 0x5A);
        IEPutU32LE(a.data(), static_cast<uint32_t>(Type));
        IEPutU32LE(a.data() + 48, static_cast<uint32_t>(FontHeight));
        w.U32(5).U32(IEAnnotAttributesSize).Raw(a);
        return *this;
    }
    static Bytes Points(const std::vector<std::pair<int32_t, int32_t>>& P) {
        ByteWriter d(false);
        d.U32(static_cast<uint32_t>(P.size())).U32(static_cast<uint32_t>(P.size()));
        for (auto [x, y] : P) d.U32(static_cast<uint32_t>(x)).U32(static_cast<uint32_t>(y));
        return d.B;
    }
    static Bytes AnText(const std::string& T, int32_t Scale) {
        ByteWriter d(false);
        d.U32(0).U32(1000).U32(static_cast<uint32_t>(Scale)).U32(static_cast<uint32_t>(T.size())).Text(T).U8(0);
        return d.B;
    }
    static Bytes Str(const std::string& T) {
        Bytes b(T.begin(), T.end());
        b.push_back(0);
        return b;
    }
};

Bytes Saved(const TIEImagingAnnot& A) {
    void* b = nullptr;
    int32_t n = -1;
    A.SaveToBuffer(b, n);
    Bytes out;
    if (b) out.assign(static_cast<uint8_t*>(b), static_cast<uint8_t*>(b) + n);
    std::free(b);
    return out;
}

void Load(TIEImagingAnnot& A, const Bytes& B) {
    A.LoadFromBuffer(B.empty() ? nullptr : B.data(), static_cast<int32_t>(B.size()));
}

std::vector<std::pair<int32_t, int32_t>> PointsOf(const TIEImagingObject& O) {
    std::vector<std::pair<int32_t, int32_t>> out;
    for (const auto& p : O.Points) out.emplace_back(p.x, p.y);
    return out;
}

TEST(ImagingAnnot, LineMarkLoadsAndSavesBackTheSame) {
    for (bool layout32 : {true, false}) {
        AnnotBlock b(layout32);
        b.Named(2, "OiGroup", AnnotBlock::Str("0")).Named(2, "OiIndex", AnnotBlock::Str("1"));
        b.Mark(IEAnnotStraightLine).Named(6, "OiAnoDat", AnnotBlock::Points({{1, 2}, {-30, 40}, {500, 600}}));
        b.Named(6, "OiGroup", AnnotBlock::Str("0")).Named(6, "OiIndex", AnnotBlock::Str("0"));
        TIEImagingAnnot a;
        a.Changed = true;
        Load(a, b.w.B);
        EXPECT_FALSE(a.Changed);
        ASSERT_EQ(a.GetObjectsCount(), 1) << layout32;
        const TIEImagingObject& o = *a.GetObject(0);
        EXPECT_EQ(o.GetMarkType(), IEAnnotStraightLine);
        EXPECT_EQ(PointsOf(o), (std::vector<std::pair<int32_t, int32_t>>{{1, 2}, {-30, 40}, {500, 600}}));
        const Bytes saved = Saved(a);
        ASSERT_GE(saved.size(), 8u);
        EXPECT_EQ(IEGetU32LE(saved.data() + 4), 1u);  // always the 32-bit layout
        TIEImagingAnnot back;
        Load(back, saved);
        ASSERT_EQ(back.GetObjectsCount(), 1);
        EXPECT_EQ(std::memcmp(back.GetObject(0)->Attributes, o.Attributes, IEAnnotAttributesSize), 0);
        EXPECT_EQ(PointsOf(*back.GetObject(0)), PointsOf(o));
    }
}

TEST(ImagingAnnot, TextMarksKeepTheTextAndRescaleTheFont) {
    struct Case {
        int32_t height, scale, loaded;
    };
    // t := Trunc(height x 1000 / scale); height := -Trunc(-t x 7500 / 1000).
    const Case cases[] = {{80, 7500, 75}, {80, 0, 75}, {-80, 7500, -75}, {100, 10000, 75}, {7, 7500, 0}};
    for (const auto& c : cases) {
        AnnotBlock b;
        b.Mark(IEAnnotTypedText, c.height).Named(6, "OiAnText", AnnotBlock::AnText("Привет", c.scale));
        TIEImagingAnnot a;
        Load(a, b.w.B);
        ASSERT_EQ(a.GetObjectsCount(), 1);
        EXPECT_EQ(a.GetObject(0)->Text, "Привет");
        EXPECT_EQ(a.GetObject(0)->GetFontHeight(), c.loaded) << c.height << " " << c.scale;
    }
    TIEImagingAnnot a;
    auto o = std::make_unique<TIEImagingObject>();
    o->SetMarkType(IEAnnotTextStamp);
    o->SetFontHeight(80);
    o->Text = "stamp";
    a.Objects.push_back(std::move(o));
    TIEImagingAnnot back;
    Load(back, Saved(a));
    ASSERT_EQ(back.GetObjectsCount(), 1);
    EXPECT_EQ(back.GetObject(0)->Text, "stamp");
    EXPECT_EQ(back.GetObject(0)->GetFontHeight(), 75);
}

TEST(ImagingAnnot, EmbeddedPicturesTravelAsPackedDIBs) {
    for (TIEPixelFormat f : {ie24RGB, ie1g, ie8g}) {
        TIEImagingAnnot a;
        auto o = std::make_unique<TIEImagingObject>();
        o->SetMarkType(IEAnnotImageEmbedded);
        o->Image = std::make_unique<TIEBitmap>();
        ASSERT_TRUE(o->Image->Allocate(13, 5, f));
        FillPattern(*o->Image);
        a.Objects.push_back(std::move(o));
        TIEImagingAnnot back;
        Load(back, Saved(a));
        ASSERT_EQ(back.GetObjectsCount(), 1);
        TIEBitmap* img = back.GetObject(0)->Image.get();
        ASSERT_NE(img, nullptr);
        ASSERT_EQ(img->GetWidth(), 13);
        ASSERT_EQ(img->GetHeight(), 5);
        if (f == ie8g) {
            // Saved as 24 bits: every grey comes back as itself in three channels.
            ASSERT_EQ(img->GetPixelFormat(), ie24RGB);
            for (int32_t y = 0; y < 5; ++y)
                for (int32_t x = 0; x < 13; ++x) {
                    const auto* p = static_cast<const uint8_t*>(img->GetScanline(y)) + x * 3;
                    const uint8_t g = static_cast<const uint8_t*>(a.GetObject(0)->Image->GetScanline(y))[x];
                    ASSERT_EQ(p[0], g);
                    ASSERT_EQ(p[2], g);
                }
        } else {
            ASSERT_EQ(img->GetPixelFormat(), f);
            EXPECT_TRUE(HasPattern(*img));
        }
    }
}

TEST(ImagingAnnot, UnknownRecordsAndTypelessMarks) {
    AnnotBlock b;
    b.w.U32(9).U32(0);  // a record the reader does not know: type and size only
    b.Mark(0).Named(6, "OiAnText", AnnotBlock::AnText("ignored", 0));
    b.w.U32(77).U32(1234);
    b.Mark(IEAnnotHollowRect).Named(6, "OiGroup", AnnotBlock::Str("0"));
    TIEImagingAnnot a;
    Load(a, b.w.B);
    ASSERT_EQ(a.GetObjectsCount(), 1);
    EXPECT_EQ(a.GetObject(0)->GetMarkType(), IEAnnotHollowRect);
    // Assign copies deep; Clear empties.
    TIEImagingAnnot copy;
    copy.Assign(&a);
    a.Clear();
    EXPECT_EQ(a.GetObjectsCount(), 0);
    ASSERT_EQ(copy.GetObjectsCount(), 1);
    EXPECT_EQ(copy.GetObject(0)->GetMarkType(), IEAnnotHollowRect);
    EXPECT_THROW(copy.GetObject(1), cl::EListError);
    EXPECT_TRUE(Saved(a).empty());
}

TEST(ImagingAnnot, DamagedBlocksStopAtTheFirstInconsistency) {
    AnnotBlock good;
    good.Named(2, "OiGroup", AnnotBlock::Str("0"));
    good.Mark(IEAnnotFreehandLine).Named(6, "OiAnoDat", AnnotBlock::Points({{1, 1}, {2, 2}}));
    good.Mark(IEAnnotTypedText, 80).Named(6, "OiAnText", AnnotBlock::AnText("text", 7500));
    const Bytes whole = good.w.B;
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        TIEImagingAnnot a;
        Load(a, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
        ASSERT_LE(a.GetObjectsCount(), 2) << cut;
        for (const auto& o : a.Objects) {
            EXPECT_LE(o->GetPointCount(), 2) << cut;
            EXPECT_LE(o->Text.size(), 4u) << cut;
        }
    }
    struct Case {
        const char* name;
        Bytes block;
        int32_t objects;
        int32_t points;
    };
    AnnotBlock longBlock, manyPoints, textTooLong, badDIB, hugeDIB;
    longBlock.Mark(IEAnnotStraightLine);
    longBlock.w.U32(6).U32(12).Text(std::string("OiAnoDat", 8)).U32(0x7FFFFFFF).U32(1);
    manyPoints.Mark(IEAnnotStraightLine);
    {
        ByteWriter d(false);
        d.U32(0).U32(0x20000000).U32(1).U32(2);
        manyPoints.Named(6, "OiAnoDat", d.B);
    }
    textTooLong.Mark(IEAnnotTypedText, 80);
    {
        ByteWriter d(false);
        d.U32(0).U32(1000).U32(7500).U32(0xFFFFFFFF).Text("abc");  // no terminator, length beyond
        textTooLong.Named(6, "OiAnText", d.B);
    }
    badDIB.Mark(IEAnnotImageEmbedded);
    {
        ByteWriter d(false);
        d.U32(40).U32(100).U32(100).U16(1).U16(24).U32(0).Zeros(20);  // no pixels behind it
        badDIB.Named(6, "OiDIB", d.B);
    }
    hugeDIB.Mark(IEAnnotImageEmbedded);
    {
        ByteWriter d(false);
        d.U32(40).U32(0x7FFFFFF).U32(0x7FFFFFF).U16(1).U16(1).U32(0).Zeros(28);
        hugeDIB.Named(6, "OiDIB", d.B);
    }
    const Case cases[] = {
        {"named block longer than the data", longBlock.w.B, 1, 0},
        {"point count beyond the block", manyPoints.w.B, 1, 0},
        {"text length beyond the block", textTooLong.w.B, 1, 0},
        {"picture without its pixels", badDIB.w.B, 1, 0},
        {"picture far larger than its data", hugeDIB.w.B, 1, 0},
    };
    for (const auto& c : cases) {
        TIEImagingAnnot a;
        Load(a, c.block);
        ASSERT_EQ(a.GetObjectsCount(), c.objects) << c.name;
        EXPECT_EQ(a.GetObject(0)->GetPointCount(), c.points) << c.name;
        EXPECT_EQ(a.GetObject(0)->Image, nullptr) << c.name;
    }
    TIEImagingAnnot t;
    Load(t, textTooLong.w.B);
    EXPECT_EQ(t.GetObject(0)->Text, "abc");
}

}  // namespace
}  // namespace ie::test
