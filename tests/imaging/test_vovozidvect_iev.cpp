// The object file of the vector view: every kind of object round-trips with its attributes,
// pictures are shared through the table, old versions get the default values of the fields
// they lack, and damaged blocks (lying counts, nested groups, references outside the tables,
// unknown extension classes, cuts anywhere) fail cleanly. Also the layers-with-objects
// container and the content tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "../common/private_dir.h"
#include "classlib/Classes.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_streams.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/formats/iezlib.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_registry.h"
#include "imaging/io/vovozidio_startup.h"
#include "imaging/view/ielibrary.h"
#include "imaging/view/vovozidvect.h"
#include "platform/codepage.h"

namespace ie::test {
namespace {

std::unique_ptr<TIEBitmap> Picture(int32_t W, int32_t H, uint8_t Seed) {
    auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
    for (int32_t y = 0; y < H; ++y) {
        auto* row = static_cast<uint8_t*>(b->GetScanline(y));
        for (int32_t x = 0; x < W * 3; ++x) row[x] = static_cast<uint8_t>(Seed + x * 7 + y * 13);
    }
    return b;
}

win::LOGFONTA Font(const char* Face, int32_t Height, uint8_t Charset = 0) {
    win::LOGFONTA lf;
    lf.lfHeight = Height;
    lf.lfWeight = 700;
    lf.lfItalic = 1;
    lf.lfCharSet = Charset;
    std::strncpy(lf.lfFaceName, Face, sizeof(lf.lfFaceName) - 1);
    return lf;
}

// A record with every common attribute off its default.
TIEVObjRecord Common(uint8_t Kind, int32_t Seed) {
    TIEVObjRecord r;
    r.Kind = Kind;
    r.X1 = 10 + Seed, r.Y1 = 20 + Seed, r.X2 = 110 + Seed, r.Y2 = 90 + Seed;
    r.KeepAspect = true;
    r.Shadow.Enabled = true;
    r.Shadow.Radius = 4.5;
    r.Shadow.OffsetX = -3;
    r.Shadow.OffsetY = 7;
    r.Shadow.Intensity = 55;
    r.Shadow.Color = TRGB{1, 2, 3};
    r.Name = "naïve €" + std::to_string(Seed);
    r.Reserved[0] = 9, r.Reserved[3] = 4;
    r.PenColor = 0x123456;
    r.PenStyle = cl::psDash;
    r.PenWidth = 3;
    r.BrushColor = 0x654321;
    r.BrushStyle = cl::bsSolid;
    r.Options = ievoSelectable | ievoVisible;
    r.Transparency = 128;
    r.Highlight = true;
    r.FontQuality = ievfqClearType;
    r.TextEditable = false;
    return r;
}

void ExpectSameCommon(const TIEVObjRecord& a, const TIEVObjRecord& b) {
    EXPECT_EQ(a.Kind, b.Kind);
    EXPECT_EQ(a.X1, b.X1);
    EXPECT_EQ(a.Y1, b.Y1);
    EXPECT_EQ(a.X2, b.X2);
    EXPECT_EQ(a.Y2, b.Y2);
    EXPECT_EQ(a.KeepAspect, b.KeepAspect);
    EXPECT_EQ(a.Shadow.Enabled, b.Shadow.Enabled);
    EXPECT_EQ(a.Shadow.Radius, b.Shadow.Radius);
    EXPECT_EQ(a.Shadow.OffsetX, b.Shadow.OffsetX);
    EXPECT_EQ(a.Shadow.OffsetY, b.Shadow.OffsetY);
    EXPECT_EQ(a.Shadow.Intensity, b.Shadow.Intensity);
    EXPECT_EQ(a.Shadow.Color.r, b.Shadow.Color.r);
    EXPECT_EQ(a.Shadow.Color.g, b.Shadow.Color.g);
    EXPECT_EQ(a.Shadow.Color.b, b.Shadow.Color.b);
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(0, std::memcmp(a.Reserved, b.Reserved, 4));
    EXPECT_EQ(a.PenColor, b.PenColor);
    EXPECT_EQ(a.PenStyle, b.PenStyle);
    EXPECT_EQ(a.PenWidth, b.PenWidth);
    EXPECT_EQ(a.BrushColor, b.BrushColor);
    EXPECT_EQ(a.BrushStyle, b.BrushStyle);
    EXPECT_EQ(a.Options, b.Options);
    EXPECT_EQ(a.Transparency, b.Transparency);
    EXPECT_EQ(a.Highlight, b.Highlight);
    EXPECT_EQ(a.FontQuality, b.FontQuality);
    EXPECT_EQ(a.TextEditable, b.TextEditable);
    EXPECT_EQ(a.Text, b.Text);
    EXPECT_EQ(a.Font.has_value(), b.Font.has_value());
    if (a.Font && b.Font) {
        EXPECT_EQ(a.Font->lfHeight, b.Font->lfHeight);
        EXPECT_EQ(a.Font->lfWeight, b.Font->lfWeight);
        EXPECT_EQ(a.Font->lfCharSet, b.Font->lfCharSet);
        EXPECT_STREQ(a.Font->lfFaceName, b.Font->lfFaceName);
    }
}

class TTestExt : public TIEVExtObject {
public:
    int32_t Value = 0;
    void SaveToStream(cl::TStream* Stream) override { Stream->WriteBuffer(&Value, 4); }
    void LoadFromStream(cl::TStream* Stream) override { Stream->ReadBuffer(&Value, 4); }
    std::unique_ptr<TIEVExtObject> Clone() const override {
        auto c = std::make_unique<TTestExt>();
        c->Value = Value;
        return c;
    }
    void Draw(cl::TBitmap*, int32_t, int32_t, int32_t, int32_t, bool, double, double) override {}
};

class VectIEV : public ::testing::Test {
protected:
    void SetUp() override {
        VovozIdIOStaticInit();
        IERegisterFormatsCodecs();
        IEViewRegisterFormats();
        if (!IECreateExtObject("TTestExt")) IERegisterExtClass<TTestExt>("TTestExt");
    }
    void TearDown() override { VovozIdIOStaticFinal(); }
    std::unique_ptr<TVovozIdVect> v = std::make_unique<TVovozIdVect>(nullptr);
    std::unique_ptr<TVovozIdVect> w = std::make_unique<TVovozIdVect>(nullptr);

    std::vector<uint8_t> Save(TVovozIdVect& View) {
        cl::TMemoryStream m;
        View.SaveObjectsToStream(&m);
        std::vector<uint8_t> out(static_cast<size_t>(m.GetSize()));
        std::memcpy(out.data(), m.GetMemory(), out.size());
        return out;
    }
    bool Load(TVovozIdVect& View, const std::vector<uint8_t>& Data) {
        TIEMemStream m(Data.data(), static_cast<int64_t>(Data.size()));
        return View.LoadObjectsFromStream(&m);
    }
};

// Every kind with its own fields off their defaults.
std::vector<TIEVObjRecord> EveryKind() {
    std::vector<TIEVObjRecord> out;
    for (uint8_t k : {ievkBOX, ievkELLIPSE}) out.push_back(Common(k, k));
    TIEVObjRecord line = Common(ievkLINE, 1);
    line.StartShape = 1, line.EndShape = 2, line.ShapeWidth = 12, line.ShapeLength = 25;
    out.push_back(line);
    TIEVObjRecord label = Common(ievkLINELABEL, 2);
    label.StartShape = 2, label.ShapeWidth = 5, label.ShapeLength = 6;
    label.LabelBrushColor = 0x0000FF, label.LabelBrushStyle = cl::bsClear, label.LabelPosition = 0;
    label.LabelBorder = 3, label.Text = "label", label.Font = Font("Arial", -14), label.TextAlign = 2;
    label.AutoSize = true;
    out.push_back(label);
    TIEVObjRecord arc = Common(ievkARC, 3);
    arc.ArcStart = 0.25, arc.ArcEnd = 2.5;
    out.push_back(arc);
    TIEVObjRecord text = Common(ievkTEXT, 4);
    text.Text = "Grüße", text.Font = Font("Times", 20), text.TextAlign = 3;
    text.CurvePoints = {{0.1, 0.2}, {0.5, 0.9}, {0.75, 0.25}};
    text.CurveCharAngle = 150;
    out.push_back(text);
    TIEVObjRecord greek = Common(ievkTEXT, 5);
    greek.Text = "αβγ", greek.Font = Font("Arial", 12, 161 /* Greek */);
    out.push_back(greek);
    TIEVObjRecord memo = Common(ievkMEMO, 6);
    memo.Text = "Aé b";
    memo.Font = Font("Courier", 11);
    memo.MemoStyles.resize(2);
    memo.MemoStyles[0].SetFontName("Arial");
    memo.MemoStyles[1].SetFontName("Courier");
    memo.MemoStyles[1].FontColor = 0xFF;
    memo.MemoCharStyles = {0, 1, 1, 0, 1};  // é is two bytes
    memo.MemoFixedFont = false, memo.AutoSize = true, memo.MemoLineSpacing = 3, memo.MemoBorderColor = 0x00FF00;
    memo.MemoBorderStyle = cl::psDot, memo.TextAlign = 1, memo.MemoLineHeight = 17;
    memo.MemoMargins[0] = 1.5, memo.MemoMargins[3] = 2.5, memo.MemoFillStyle = cl::bsClear;
    out.push_back(memo);
    TIEVObjRecord ruler = Common(ievkRULER, 7);
    ruler.RulerUnit = ieuCENTIMETERS, ruler.RulerType = 0, ruler.Font = Font("Arial", 9);
    out.push_back(ruler);
    TIEVObjRecord poly = Common(ievkPOLYLINE, 8);
    poly.Points = {{0, 0}, {500, 1000}, {1000, 0}};
    poly.PointsX1 = 1, poly.PointsY1 = 2, poly.PointsX2 = 30, poly.PointsY2 = 40, poly.Closed = true;
    out.push_back(poly);
    TIEVObjRecord angle = Common(ievkANGLE, 9);
    angle.AnglePoints[0] = {1, 2}, angle.AnglePoints[1] = {30, 40}, angle.AnglePoints[2] = {50, 6};
    angle.Font = Font("Arial", 10);
    out.push_back(angle);
    TIEVObjRecord ext = Common(ievkEXTENDED, 10);
    ext.Text = "ext";
    auto inst = std::make_unique<TTestExt>();
    inst->Value = 4242;
    ext.ExtObject.Reset(std::move(inst));
    out.push_back(ext);
    return out;
}

TEST_F(VectIEV, EveryKindRoundTripsWithItsAttributes) {
    const std::vector<TIEVObjRecord> kinds = EveryKind();
    for (const TIEVObjRecord& r : kinds) v->AddObjectCopy(r);
    v->SetObjUserDataLength(0, 0);
    const char user[] = "user block";
    v->GetObjRecord(1)->UserData.AssignBytes(user, sizeof(user));
    v->SetMeasureScale(2.75);
    const std::vector<uint8_t> file = Save(*v);
    ASSERT_TRUE(Load(*w, file));
    ASSERT_EQ(w->GetObjectsCount(), static_cast<int32_t>(kinds.size()));
    EXPECT_EQ(w->GetMeasureScale(), 2.75);
    for (int32_t h = 0; h < w->GetObjectsCount(); ++h) {
        SCOPED_TRACE(h);
        const TIEVObjRecord& a = *v->GetObjRecord(h);
        const TIEVObjRecord& b = *w->GetObjRecord(h);
        ExpectSameCommon(a, b);
        EXPECT_EQ(a.StartShape, b.StartShape);
        EXPECT_EQ(a.EndShape, b.EndShape);
        EXPECT_EQ(a.ShapeWidth, b.ShapeWidth);
        EXPECT_EQ(a.ShapeLength, b.ShapeLength);
        EXPECT_EQ(a.LabelBrushColor, b.LabelBrushColor);
        EXPECT_EQ(a.LabelBrushStyle, b.LabelBrushStyle);
        EXPECT_EQ(a.LabelPosition, b.LabelPosition);
        EXPECT_EQ(a.LabelBorder, b.LabelBorder);
        EXPECT_EQ(a.ArcStart, b.ArcStart);
        EXPECT_EQ(a.ArcEnd, b.ArcEnd);
        EXPECT_EQ(a.TextAlign, b.TextAlign);
        EXPECT_EQ(a.AutoSize, b.AutoSize);
        ASSERT_EQ(a.CurvePoints.size(), b.CurvePoints.size());
        for (size_t i = 0; i < a.CurvePoints.size(); ++i) {
            EXPECT_EQ(a.CurvePoints[i].X, b.CurvePoints[i].X);
            EXPECT_EQ(a.CurvePoints[i].Y, b.CurvePoints[i].Y);
        }
        EXPECT_EQ(a.CurveCharAngle, b.CurveCharAngle);
        EXPECT_EQ(a.MemoCharStyles, b.MemoCharStyles);
        ASSERT_EQ(a.MemoStyles.size(), b.MemoStyles.size());
        for (size_t i = 0; i < a.MemoStyles.size(); ++i) EXPECT_TRUE(a.MemoStyles[i].SameAs(b.MemoStyles[i]));
        EXPECT_EQ(a.MemoFixedFont, b.MemoFixedFont);
        EXPECT_EQ(a.MemoLineSpacing, b.MemoLineSpacing);
        EXPECT_EQ(a.MemoBorderColor, b.MemoBorderColor);
        EXPECT_EQ(a.MemoBorderStyle, b.MemoBorderStyle);
        EXPECT_EQ(a.MemoLineHeight, b.MemoLineHeight);
        EXPECT_EQ(0, std::memcmp(a.MemoMargins, b.MemoMargins, sizeof(a.MemoMargins)));
        EXPECT_EQ(a.MemoFillStyle, b.MemoFillStyle);
        EXPECT_EQ(a.RulerUnit, b.RulerUnit);
        EXPECT_EQ(a.RulerType, b.RulerType);
        ASSERT_EQ(a.Points.size(), b.Points.size());
        for (size_t i = 0; i < a.Points.size(); ++i) {
            EXPECT_EQ(a.Points[i].x, b.Points[i].x);
            EXPECT_EQ(a.Points[i].y, b.Points[i].y);
        }
        EXPECT_EQ(a.PointsX1, b.PointsX1);
        EXPECT_EQ(a.PointsY2, b.PointsY2);
        EXPECT_EQ(a.Closed, b.Closed);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(a.AnglePoints[i].x, b.AnglePoints[i].x);
            EXPECT_EQ(a.AnglePoints[i].y, b.AnglePoints[i].y);
        }
        EXPECT_EQ(a.UserData.GetLength(), b.UserData.GetLength());
        if (a.UserData.GetLength() > 0) {
            EXPECT_EQ(0, std::memcmp(a.UserData.Get(), b.UserData.Get(), static_cast<size_t>(a.UserData.GetLength())));
        }
        EXPECT_EQ(bool(a.ExtObject), bool(b.ExtObject));
        if (a.ExtObject) {
            EXPECT_EQ(static_cast<TTestExt*>(b.ExtObject.Get())->Value, 4242);
            EXPECT_EQ(b.ExtObject->Owner, w.get());
        }
    }
    // Saving what was loaded gives the same bytes.
    EXPECT_EQ(Save(*w), file);
}

TEST_F(VectIEV, PicturesAreSharedAndTheDefaultObjectKeepsItsOwn) {
    auto a = Picture(9, 5, 10), b = Picture(4, 6, 200), d = Picture(3, 3, 50);
    TIEVObjRecord bmp = Common(ievkBITMAP, 0);
    bmp.BitmapBorder = true;
    bmp.Text = "caption";
    const int32_t h0 = v->AddObjectCopy(bmp);
    const int32_t h1 = v->AddObjectCopy(bmp);
    const int32_t h2 = v->AddObjectCopy(bmp);
    v->SetObjBitmap(h0, a.get());
    v->SetObjBitmap(h1, a.get());  // shared with h0
    v->SetObjBitmap(h2, b.get());
    v->SetObjBitmap(IEV_DEFAULT_OBJECT, d.get());
    auto keep = Picture(3, 3, 99);
    w->SetObjBitmap(IEV_DEFAULT_OBJECT, keep.get());
    ASSERT_TRUE(Load(*w, Save(*v)));
    ASSERT_EQ(w->GetObjectsCount(), 3);
    EXPECT_EQ(w->GetObjRecord(0)->BitmapIndex, w->GetObjRecord(1)->BitmapIndex);
    EXPECT_NE(w->GetObjRecord(0)->BitmapIndex, w->GetObjRecord(2)->BitmapIndex);
    EXPECT_TRUE(w->GetObjRecord(0)->BitmapBorder);
    EXPECT_EQ(w->GetObjRecord(0)->Text, "caption");
    for (int32_t h : {0, 2}) {
        TIEBitmap* src = v->GetBitmapByIndex(v->GetObjRecord(h)->BitmapIndex);
        TIEBitmap* got = w->GetBitmapByIndex(w->GetObjRecord(h)->BitmapIndex);
        ASSERT_NE(got, nullptr);
        ASSERT_EQ(got->GetWidth(), src->GetWidth());
        ASSERT_EQ(got->GetHeight(), src->GetHeight());
        for (int32_t y = 0; y < src->GetHeight(); ++y)
            EXPECT_EQ(0,
                      std::memcmp(got->GetScanline(y), src->GetScanline(y), static_cast<size_t>(src->GetWidth()) * 3));
    }
    EXPECT_EQ(w->GetBitmapUseCount(w->GetObjRecord(0)->BitmapIndex), 2);
    // The loading view's default object keeps its own picture.
    TIEBitmap* def = w->GetBitmapByIndex(w->GetObjRecord(IEV_DEFAULT_OBJECT)->BitmapIndex);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(def->GetScanline(0))[0], 99);
}

TEST_F(VectIEV, EmptyViewWithDefaultPictureWritesOneEmptyEntry) {
    auto d = Picture(3, 3, 50);
    v->SetObjBitmap(IEV_DEFAULT_OBJECT, d.get());
    v->SetMeasureScale(1.0);
    const std::vector<uint8_t> f = Save(*v);
    ASSERT_GE(f.size(), 28u);
    EXPECT_EQ(0, std::memcmp(f.data(), "IEVQ", 4));
    int32_t size = 0, n = 0, uses = -1;
    std::memcpy(&size, &f[4], 4);
    std::memcpy(&n, &f[16], 4);
    std::memcpy(&uses, &f[20], 4);
    EXPECT_EQ(size, static_cast<int32_t>(f.size()));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(uses, 0);
    std::vector<uint8_t> data;
    int64_t len = 0;
    IEZDecompressBuffer(&f[24], static_cast<int64_t>(f.size() - 24), data, len, 0);
    ASSERT_EQ(len, 4);
    EXPECT_EQ(data[0] | data[1] | data[2] | data[3], 0);
}

TEST_F(VectIEV, MemoWithoutCharacterStylesKeepsNone) {
    TIEVObjRecord memo = Common(ievkMEMO, 0);
    memo.Text = "plain";
    v->AddObjectCopy(memo);
    ASSERT_TRUE(Load(*w, Save(*v)));
    EXPECT_TRUE(w->GetObjRecord(0)->MemoCharStyles.empty());
    EXPECT_EQ(w->GetObjRecord(0)->Text, "plain");
}

// ---------------------------------------------------------------------------------------
// Hand-made blocks

struct TBlock {
    std::vector<uint8_t> Bytes;
    template <typename T>
    TBlock& Put(T Value) {
        const auto* p = reinterpret_cast<const uint8_t*>(&Value);
        Bytes.insert(Bytes.end(), p, p + sizeof(T));
        return *this;
    }
    TBlock& Str(const std::string& S) {
        Put<int32_t>(static_cast<int32_t>(S.size()));
        Bytes.insert(Bytes.end(), S.begin(), S.end());
        return *this;
    }
};

// The fields of a record of version Version up to and including UserData (or FontQuality for
// versions before "I").
TBlock RecordHead(char Version, uint8_t Kind, int32_t Seed = 0) {
    TBlock b;
    if (Version >= '<') b.Put<int32_t>(0);
    b.Put<int32_t>(Seed).Put<int32_t>(2).Put<int32_t>(30).Put<int32_t>(40).Put<uint8_t>(Kind);
    if (Version >= 'M') b.Put<uint8_t>(0);
    if (Version >= '=') b.Put<uint8_t>(0).Put<double>(3.0).Put<int32_t>(2).Put<int32_t>(2);
    if (Version >= 'O') b.Put<int32_t>(100).Put<uint8_t>(0).Put<uint8_t>(0).Put<uint8_t>(0);
    b.Str("").Put<int32_t>(0).Put<int32_t>(0x11).Put<uint8_t>(0).Put<int32_t>(1).Put<int32_t>(0x22);
    b.Put<uint8_t>(0).Put<uint8_t>(15);
    if (Version >= '=') b.Put<int32_t>(255);
    if (Version >= '@') b.Put<uint8_t>(0);
    if (Version >= 'Q') b.Put<uint8_t>(0);
    if (Version >= 'I') b.Put<int32_t>(0);
    return b;
}

// A whole block: header, Bitmaps entries (already encoded) and the objects' data compressed.
std::vector<uint8_t> MakeBlock(char Version, const std::vector<uint8_t>& Objects, int32_t BitmapCount = 0,
                               const std::vector<uint8_t>& Bitmaps = {}) {
    TBlock b;
    b.Bytes = {'I', 'E', 'V', static_cast<uint8_t>(Version)};
    b.Put<int32_t>(0);
    if (Version == '1')
        b.Put<int32_t>(3);
    else
        b.Put<double>(3.0);
    b.Put<int32_t>(BitmapCount);
    b.Bytes.insert(b.Bytes.end(), Bitmaps.begin(), Bitmaps.end());
    cl::TMemoryStream m;
    {
        TZCompressionStream z(&m, zlevDefault);
        z.WriteBuffer(Objects.data(), static_cast<int64_t>(Objects.size()));
        z.Finish();
    }
    const auto* p = static_cast<const uint8_t*>(m.GetMemory());
    b.Bytes.insert(b.Bytes.end(), p, p + m.GetSize());
    return b.Bytes;
}

std::vector<uint8_t> Objects(int32_t Count, const std::vector<TBlock>& Records) {
    TBlock b;
    b.Put<int32_t>(Count);
    for (const TBlock& r : Records) b.Bytes.insert(b.Bytes.end(), r.Bytes.begin(), r.Bytes.end());
    return b.Bytes;
}

TEST_F(VectIEV, VersionOneBlockGetsDefaultsForMissingFields) {
    TBlock ruler = RecordHead('1', ievkRULER);
    TBlock angle = RecordHead('1', ievkANGLE);
    TBlock box = RecordHead('1', ievkBOX);
    for (TBlock* r : {&ruler, &angle, &box}) r->Put<uint8_t>(1);  // nothing: TextEditable only from "J"
    // Version "1" has no TextEditable byte: drop it again.
    for (TBlock* r : {&ruler, &angle, &box}) r->Bytes.pop_back();
    TIEVObjRecord* def = v->GetObjRecord(IEV_DEFAULT_OBJECT);
    def->LabelBorder = 2;
    def->RulerType = 1;
    def->AnglePoints[1] = {5, 6};
    ASSERT_TRUE(Load(*v, MakeBlock('1', Objects(3, {ruler, angle, box}))));
    ASSERT_EQ(v->GetObjectsCount(), 3);
    EXPECT_EQ(v->GetMeasureScale(), 3.0);
    const TIEVObjRecord& r = *v->GetObjRecord(0);
    EXPECT_EQ(r.RulerType, 1);
    ASSERT_TRUE(r.Font.has_value());
    EXPECT_EQ(r.Font->lfHeight, 12);
    EXPECT_STREQ(r.Font->lfFaceName, "Arial");
    const TIEVObjRecord& a = *v->GetObjRecord(1);
    EXPECT_EQ(a.AnglePoints[1].x, 5);
    EXPECT_EQ(a.Font->lfHeight, 10);
    const TIEVObjRecord& b = *v->GetObjRecord(2);
    EXPECT_EQ(b.Transparency, 255);
    EXPECT_FALSE(b.Shadow.Enabled);
    EXPECT_EQ(b.Shadow.Radius, 3.0);
    EXPECT_EQ(b.Shadow.OffsetX, 2);
    EXPECT_TRUE(b.TextEditable);
    EXPECT_EQ(b.PenColor, 0x11);
}

TEST_F(VectIEV, GroupRecordAddsItsNestedObjects) {
    TBlock group = RecordHead('Q', ievkNONE);
    group.Put<int32_t>(3).Put<uint8_t>(1);
    std::vector<TBlock> recs{group};
    for (int i = 0; i < 3; ++i) {
        TBlock r = RecordHead('Q', ievkBOX, i);
        r.Put<uint8_t>(1);
        recs.push_back(r);
    }
    ASSERT_TRUE(Load(*v, MakeBlock('Q', Objects(1, recs))));
    ASSERT_EQ(v->GetObjectsCount(), 3);
    EXPECT_EQ(v->GetObjRecord(2)->X1, 2);
}

// Blocks that must raise and leave no half-read object behind the failing one.
TEST_F(VectIEV, DamagedBlocksFailCleanly) {
    TBlock box = RecordHead('Q', ievkBOX);
    box.Put<uint8_t>(1);
    TBlock inner = RecordHead('Q', ievkNONE);
    inner.Put<int32_t>(1).Put<uint8_t>(1);
    TBlock outer = RecordHead('Q', ievkNONE);
    outer.Put<int32_t>(1).Put<uint8_t>(1);
    TBlock liar = RecordHead('Q', ievkNONE);
    liar.Put<int32_t>(0x7FFFFFFF).Put<uint8_t>(1);
    TBlock negName;
    negName.Put<int32_t>(0).Put<int32_t>(0).Put<int32_t>(0).Put<int32_t>(0).Put<int32_t>(0).Put<uint8_t>(ievkBOX);
    negName.Put<uint8_t>(0).Put<uint8_t>(0).Put<double>(3).Put<int32_t>(2).Put<int32_t>(2).Put<int32_t>(100);
    negName.Put<uint8_t>(0).Put<uint8_t>(0).Put<uint8_t>(0).Put<int32_t>(-5);
    TBlock memo = RecordHead('Q', ievkMEMO);
    memo.Str("ab").Put<uint8_t>(0).Put<uint8_t>(1).Put<int32_t>(0).Put<int32_t>(0).Put<int32_t>(0x7FFFFFF);
    TBlock unknownExt = RecordHead('Q', ievkEXTENDED);
    unknownExt.Put<uint8_t>(0).Put<uint8_t>(0).Str("").Put<uint8_t>(0).Put<int32_t>(0).Put<uint8_t>(1);
    unknownExt.Put<uint8_t>(1).Str("NoSuchClass").Put<int32_t>(7);
    TBlock curve = RecordHead('Q', ievkTEXT);
    curve.Put<uint8_t>(0).Put<uint8_t>(0).Str("").Put<uint8_t>(0).Put<int32_t>(0x10000000);
    TBlock kind = RecordHead('Q', 200);
    const struct {
        const char* Name;
        std::vector<uint8_t> Block;
    } cases[] = {
        {"object count beyond the data", MakeBlock('Q', Objects(1000000, {box}))},
        {"group inside a group", MakeBlock('Q', Objects(1, {outer, inner, box}))},
        {"group count beyond the data", MakeBlock('Q', Objects(1, {liar, box}))},
        {"negative name length", MakeBlock('Q', Objects(1, {negName}))},
        {"style count beyond the data", MakeBlock('Q', Objects(1, {memo}))},
        {"unknown extension class", MakeBlock('Q', Objects(1, {unknownExt}))},
        {"curve beyond the data", MakeBlock('Q', Objects(1, {curve}))},
        {"unknown kind", MakeBlock('Q', Objects(1, {kind}))},
        {"bitmap count beyond the data", MakeBlock('Q', Objects(0, {}), 0x40000000)},
        {"bad zlib data", {'I', 'E', 'V', 'Q', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_THROW(Load(*v, c.Block), std::exception);
    }
}

TEST_F(VectIEV, ReferencesOutsideTheTablesBecomeNothing) {
    TBlock bmp = RecordHead('Q', ievkBITMAP);
    bmp.Put<int32_t>(5).Put<uint8_t>(0).Str("").Put<uint8_t>(1);
    TBlock empty = RecordHead('Q', ievkBITMAP);  // the slot has a use count of 0
    empty.Put<int32_t>(0).Put<uint8_t>(0).Str("").Put<uint8_t>(1);
    TBlock memo = RecordHead('Q', ievkMEMO);
    memo.Str("ab").Put<uint8_t>(0).Put<uint8_t>(1).Put<int32_t>(7).Put<int32_t>(-3);
    TIECharStyle style;
    memo.Put<int32_t>(1);
    const auto* p = reinterpret_cast<const uint8_t*>(&style);
    memo.Bytes.insert(memo.Bytes.end(), p, p + sizeof(style));
    memo.Put<uint8_t>(1).Put<uint8_t>(0).Put<int32_t>(0).Put<int32_t>(0).Put<uint8_t>(0).Put<uint8_t>(0);
    memo.Put<int32_t>(0).Put<uint8_t>(1).Put<int32_t>(-9).Put<uint8_t>(0);
    for (int i = 0; i < 4; ++i) memo.Put<double>(0);
    memo.Put<uint8_t>(0).Put<uint8_t>(1);
    TBlock table;
    table.Put<int32_t>(0);
    ASSERT_TRUE(Load(*v, MakeBlock('Q', Objects(3, {bmp, empty, memo}), 1, table.Bytes)));
    ASSERT_EQ(v->GetObjectsCount(), 3);
    EXPECT_EQ(v->GetObjRecord(0)->BitmapIndex, -1);
    EXPECT_EQ(v->GetObjRecord(1)->BitmapIndex, -1);
    EXPECT_EQ(v->GetObjRecord(2)->BitmapIndex, -1);
    EXPECT_FALSE(v->GetObjRecord(2)->MemoHasBitmap);
    EXPECT_EQ(v->GetObjRecord(2)->MemoCharStyles, (std::vector<int32_t>{0, 0}));
}

// Versions "7" to "<" carry each picture's alpha channel after it, rows from the bottom up;
// versions "1" and "2" store pictures as BMP.
TEST_F(VectIEV, OldPictureEntries) {
    auto pic = Picture(5, 3, 40);
    const struct {
        char Version;
        bool Alpha;
    } cases[] = {{'7', true}, {'<', true}, {'2', false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Version);
        cl::TMemoryStream encoded;
        std::unique_ptr<TVovozIdIO> io = TVovozIdIO::CreateFromBitmap(pic.get());
        if (c.Version > '2')
            io->SaveToStreamPNG(&encoded);
        else
            io->SaveToStreamBMP(&encoded);
        TBlock table;
        table.Put<int32_t>(1);
        const auto* p = static_cast<const uint8_t*>(encoded.GetMemory());
        table.Bytes.insert(table.Bytes.end(), p, p + encoded.GetSize());
        if (c.Alpha) {
            std::vector<uint8_t> rows(8 * 3, 0);  // rows of 8 bytes: the width rounded up to 4
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x) rows[static_cast<size_t>(y * 8 + x)] = static_cast<uint8_t>(10 * y + x);
            cl::TMemoryStream z;
            {
                TZCompressionStream zs(&z, zlevDefault);
                zs.WriteBuffer(rows.data(), static_cast<int64_t>(rows.size()));
                zs.Finish();
            }
            table.Put<int32_t>(static_cast<int32_t>(z.GetSize()));
            const auto* q = static_cast<const uint8_t*>(z.GetMemory());
            table.Bytes.insert(table.Bytes.end(), q, q + z.GetSize());
        }
        TBlock rec = RecordHead(c.Version, ievkBITMAP);
        rec.Put<int32_t>(0);
        ASSERT_TRUE(Load(*w, MakeBlock(c.Version, Objects(1, {rec}), 1, table.Bytes)));
        ASSERT_EQ(w->GetObjectsCount(), 1);
        TIEBitmap* got = w->GetBitmapByIndex(w->GetObjRecord(0)->BitmapIndex);
        ASSERT_NE(got, nullptr);
        ASSERT_EQ(got->GetWidth(), 5);
        ASSERT_EQ(got->GetHeight(), 3);
        for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(0, std::memcmp(got->GetScanline(y), pic->GetScanline(y), 15));
        EXPECT_EQ(got->HasAlphaChannel(), c.Alpha);
        if (c.Alpha) {
            // The file's first row is the picture's last.
            EXPECT_EQ(static_cast<uint8_t*>(got->GetAlphaChannel()->GetScanline(2))[4], 4);
            EXPECT_EQ(static_cast<uint8_t*>(got->GetAlphaChannel()->GetScanline(0))[1], 21);
        }
    }
}

TEST_F(VectIEV, EveryCutOfAFileFailsCleanly) {
    for (const TIEVObjRecord& r : EveryKind()) v->AddObjectCopy(r);
    auto pic = Picture(5, 4, 1);
    TIEVObjRecord bmp = Common(ievkBITMAP, 0);
    v->SetObjBitmap(v->AddObjectCopy(bmp), pic.get());
    const std::vector<uint8_t> file = Save(*v);
    for (size_t cut = 0; cut < file.size(); ++cut) {
        const std::vector<uint8_t> part(file.begin(), file.begin() + static_cast<ptrdiff_t>(cut));
        try {
            EXPECT_FALSE(Load(*w, part) && w->GetObjectsCount() == v->GetObjectsCount()) << cut;
        } catch (const std::exception&) {
        }
    }
}

TEST_F(VectIEV, ContentTests) {
    const struct {
        const char* Bytes;
        bool IEV;
    } cases[] = {{"IEV1", true}, {"IEVQ", true}, {"IEV0", false}, {"IEVR", false}, {"IEX1", false}, {"IE", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Bytes);
        TIEMemStream m(c.Bytes, static_cast<int64_t>(std::strlen(c.Bytes)));
        EXPECT_EQ(IEIsIEVStream(&m), c.IEV);
        EXPECT_EQ(m.GetPosition(), 0);
    }
    // A header that does not match changes nothing but the position.
    v->AddObjectCopy(Common(ievkBOX, 0));
    TIEMemStream bad("IEVR....", 8);
    EXPECT_FALSE(v->LoadObjectsFromStream(&bad));
    EXPECT_EQ(bad.GetPosition(), 4);
    EXPECT_EQ(v->GetObjectsCount(), 1);
}

TEST_F(VectIEV, LayersAndObjectsContainerRoundTrips) {
    v->GetIEBitmap()->Allocate(8, 6, ie24RGB);
    v->AddObjectCopy(Common(ievkBOX, 1));
    v->AddObjectCopy(Common(ievkELLIPSE, 2));
    cl::TMemoryStream m;
    v->SaveLayersAndObjectsToStream(&m, -1);
    m.SetPosition(0);
    EXPECT_TRUE(IEIsLayersAndObjectsStream(&m));
    EXPECT_EQ(m.GetPosition(), 0);
    ASSERT_TRUE(w->LoadLayersAndObjectsFromStream(&m));
    ASSERT_EQ(w->GetObjectsCount(), 2);
    ExpectSameCommon(*v->GetObjRecord(1), *w->GetObjRecord(1));
    EXPECT_EQ(w->GetIEBitmap()->GetWidth(), 8);

    // An offset beyond the stream is not a container.
    int32_t big = static_cast<int32_t>(m.GetSize()) + 1;
    m.SetPosition(0);
    m.WriteBuffer(&big, 4);
    m.SetPosition(0);
    EXPECT_FALSE(IEIsLayersAndObjectsStream(&m));
    EXPECT_THROW(w->LoadLayersAndObjectsFromStream(&m), std::exception);
}

TEST_F(VectIEV, TheEngineRecognisesAndLoadsBothFiles) {
    v->GetIEBitmap()->Allocate(8, 6, ie24RGB);
    v->AddObjectCopy(Common(ievkBOX, 1));
    const struct { int32_t FileType; } cases[] = {{ioIEV}, {ioALL}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.FileType);
        cl::TMemoryStream m;
        if (c.FileType == ioIEV)
            v->SaveObjectsToStream(&m);
        else
            v->SaveLayersAndObjectsToStream(&m, -1);
        m.SetPosition(0);
        EXPECT_EQ(IEFindStreamFormat(&m), c.FileType);
        m.SetPosition(0);
        auto target = std::make_unique<TVovozIdVect>(nullptr);
        target->GetIO()->LoadFromStream(&m);
        EXPECT_FALSE(target->GetIO()->Aborting);
        EXPECT_EQ(target->GetObjectsCount(), 1);
    }
}

// A solid red box over (10, 5) .. (40, 30): the objects reach to 41 x 31.
TIEVObjRecord RedBox() {
    TIEVObjRecord r;
    r.Kind = ievkBOX;
    r.X1 = 10, r.Y1 = 5, r.X2 = 40, r.Y2 = 30;
    r.PenColor = 0x0000FF;
    r.BrushColor = 0x0000FF;
    r.BrushStyle = cl::bsSolid;
    return r;
}

void WriteFile(const std::string& Path, cl::TMemoryStream& M) {
    std::ofstream f(Path, std::ios::binary);
    f.write(static_cast<const char*>(M.GetMemory()), static_cast<std::streamsize>(M.GetSize()));
}

// The pixel within 2 of (R, G, B) in each channel (the objects are drawn with anti-aliasing).
bool IsRGB(TIEBitmap* B, int32_t X, int32_t Y, uint8_t R, uint8_t G, uint8_t Bl) {
    const TRGB p = B->GetPixelRGB(X, Y);
    return std::abs(p.r - R) <= 2 && std::abs(p.g - G) <= 2 && std::abs(p.b - Bl) <= 2;
}

// By file name the engine loads both files with or without a vector view: into the vector
// view, or as the picture of the objects (on white, or over the merged layers).
TEST_F(VectIEV, FilesLoadByNameWithAndWithoutAVectorView) {
    lumetra_test::PrivateDir dir("lumetra_iev");
    ASSERT_TRUE(dir.Ok());
    v->AddObjectCopy(RedBox());
    cl::TMemoryStream objects;
    v->SaveObjectsToStream(&objects);
    WriteFile(dir / "box.iev", objects);
    v->GetIEBitmap()->Allocate(60, 50, ie24RGB);
    for (int32_t y = 0; y < 50; ++y)
        for (int32_t x = 0; x < 60; ++x) v->GetIEBitmap()->SetPixel24(x, y, CreateRGB(0x40, 0x80, 0x20));
    v->Update();
    cl::TMemoryStream both;
    v->SaveLayersAndObjectsToStream(&both, -1);
    WriteFile(dir / "box.all", both);

    // No vector view: a plain view takes the picture.
    for (const bool byExtension : {true, false}) {
        SCOPED_TRACE(byExtension);
        TVovozIdView plain(nullptr);
        plain.GetIEBitmap()->Allocate(5, 5, ie24RGB);
        TVovozIdIO* io = plain.GetIO();
        if (byExtension)
            io->LoadFromFile(dir / "box.iev");
        else
            io->LoadFromFileAuto(win::Utf8ToUtf16(dir / "box.iev"));
        ASSERT_FALSE(io->Aborting);
        EXPECT_EQ(io->Params().FileType, ioIEV);
        TIEBitmap* b = plain.GetIEBitmap();
        EXPECT_EQ(b->GetWidth(), 41);
        EXPECT_EQ(b->GetHeight(), 31);
        EXPECT_TRUE(IsRGB(b, 25, 17, 255, 0, 0));
        EXPECT_TRUE(IsRGB(b, 3, 3, 255, 255, 255));
        EXPECT_TRUE(IsRGB(b, 5, 28, 255, 255, 255));

        TVovozIdView plain2(nullptr);
        io = plain2.GetIO();
        if (byExtension)
            io->LoadFromFile(dir / "box.all");
        else
            io->LoadFromFileAuto(win::Utf8ToUtf16(dir / "box.all"));
        ASSERT_FALSE(io->Aborting);
        EXPECT_EQ(io->Params().FileType, ioALL);
        b = plain2.GetIEBitmap();
        EXPECT_EQ(b->GetWidth(), 60);
        EXPECT_EQ(b->GetHeight(), 50);
        EXPECT_TRUE(IsRGB(b, 25, 17, 255, 0, 0));
        EXPECT_TRUE(IsRGB(b, 50, 40, 0x40, 0x80, 0x20));
    }

    // A vector view gets the objects; with the objects file alone its picture becomes the
    // white extent of the objects.
    w->GetIEBitmap()->Allocate(7, 7, ie24RGB);
    w->GetIO()->LoadFromFile(dir / "box.iev");
    ASSERT_FALSE(w->GetIO()->Aborting);
    EXPECT_EQ(w->GetObjectsCount(), 1);
    EXPECT_EQ(w->GetIEBitmap()->GetWidth(), 41);
    EXPECT_EQ(w->GetIEBitmap()->GetHeight(), 31);
    EXPECT_TRUE(IsRGB(w->GetIEBitmap(), 25, 17, 255, 255, 255));  // the object is not drawn into it
    auto x = std::make_unique<TVovozIdVect>(nullptr);
    x->GetIO()->LoadFromFile(dir / "box.all");
    ASSERT_FALSE(x->GetIO()->Aborting);
    EXPECT_EQ(x->GetObjectsCount(), 1);
    EXPECT_EQ(x->GetIEBitmap()->GetWidth(), 60);
    EXPECT_TRUE(IsRGB(x->GetIEBitmap(), 25, 17, 0x40, 0x80, 0x20));
}

TEST_F(VectIEV, FilesWhoseObjectsReachTooFarAndStreamsWithoutAVectorView) {
    lumetra_test::PrivateDir dir("lumetra_iev");
    ASSERT_TRUE(dir.Ok());
    TIEVObjRecord distant = RedBox();
    distant.X2 = 2000000000, distant.Y2 = 2000000000;
    v->AddObjectCopy(distant);
    cl::TMemoryStream m;
    v->SaveObjectsToStream(&m);
    WriteFile(dir / "far.iev", m);
    TVovozIdView plain(nullptr);
    plain.GetIEBitmap()->Allocate(5, 4, ie24RGB);
    plain.GetIO()->LoadFromFile(dir / "far.iev");
    EXPECT_TRUE(plain.GetIO()->Aborting);
    EXPECT_EQ(plain.GetIEBitmap()->GetWidth(), 5);
    EXPECT_EQ(plain.GetIEBitmap()->GetHeight(), 4);

    // From a stream only a vector view loads; the plain view keeps its picture.
    v->RemoveAllObjects();
    v->AddObjectCopy(RedBox());
    cl::TMemoryStream s;
    v->SaveObjectsToStream(&s);
    s.SetPosition(0);
    plain.GetIO()->LoadFromStreamFormat(&s, ioIEV);
    EXPECT_EQ(plain.GetIO()->Params().FileType, ioIEV);
    EXPECT_EQ(plain.GetIEBitmap()->GetWidth(), 5);
    EXPECT_EQ(plain.GetIEBitmap()->GetHeight(), 4);
}

// The engine learns the view's formats from the view's start-up: with the engine alone the
// three files are not recognised, after the view's start-up they are.
TEST(ViewFormats, TheViewsStartUpRegistersThemWithTheEngine) {
    VovozIdIOStaticInit();
    auto v = std::make_unique<TVovozIdVect>(nullptr);
    v->GetIEBitmap()->Allocate(4, 3, ie24RGB);
    v->AddObjectCopy(RedBox());
    cl::TMemoryStream iev, all, lyr;
    v->SaveObjectsToStream(&iev);
    v->SaveLayersAndObjectsToStream(&all, -1);
    v->SaveLayersToStream(&lyr, -1);
    const std::pair<cl::TMemoryStream*, int32_t> files[] = {{&iev, ioIEV}, {&all, ioALL}, {&lyr, ioLYR}};
    for (const auto& [m, type] : files) {
        m->SetPosition(0);
        EXPECT_NE(IEFindStreamFormat(m), type);
    }
    IEViewStartUp();
    for (const auto& [m, type] : files) {
        m->SetPosition(0);
        EXPECT_EQ(IEFindStreamFormat(m), type);
    }
    VovozIdIOStaticFinal();
}

}  // namespace
}  // namespace ie::test
