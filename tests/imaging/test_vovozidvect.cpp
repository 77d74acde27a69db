// The vector view's object model: handles and special handles, adding copies that own their
// data, removing everything, the drawing order, the selection, the shared picture table and
// its use counts, the default object as template, and the extension class registry.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/view/vovozidvect.h"
#include "platform/user.h"

namespace ie::test {
namespace {

// A solid ie24RGB picture.
std::unique_ptr<TIEBitmap> Picture(int32_t W, int32_t H, uint8_t Value) {
    auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
    for (int32_t y = 0; y < H; ++y) std::memset(b->GetScanline(y), Value, static_cast<size_t>(W) * 3);
    return b;
}

TIEVObjRecord Box(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    TIEVObjRecord r;
    r.Kind = ievkBOX;
    r.X1 = X1, r.Y1 = Y1, r.X2 = X2, r.Y2 = Y2;
    return r;
}

class VectModel : public ::testing::Test {
protected:
    std::unique_ptr<TVovozIdVect> v = std::make_unique<TVovozIdVect>(nullptr);
};

TEST_F(VectModel, ConstructionDefaults) {
    EXPECT_EQ(v->GetMUnit(), ieuPIXELS);
    EXPECT_EQ(v->GetFloatDigits(), 2);
    EXPECT_EQ(v->GetFloatPrecision(), 15);
    EXPECT_TRUE(v->GetShareBitmaps());
    EXPECT_EQ(v->GetObjUndoLimit(), 1);
    EXPECT_EQ(v->GetObjectsCount(), 0);
    EXPECT_EQ(v->GripSize, 5);
    EXPECT_EQ(v->GripShape, 1);
    EXPECT_EQ(v->GetGripBrush()->GetColor(), 0xBAFFFF);
    EXPECT_EQ(v->GetMeasureHintBrush()->GetColor(), 0x60FFFF);
    EXPECT_EQ(v->GetInsertionPen()->GetMode(), cl::pmNot);
    // The default object: box 0,0-63,63, all options, its own picture in slot 0.
    TIEVObjRecord* d = v->GetObjRecord(IEV_DEFAULT_OBJECT);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->X2, 63);
    EXPECT_EQ(d->Y2, 63);
    EXPECT_EQ(d->Options, IEVAllObjOptions);
    EXPECT_EQ(d->Transparency, 255);
    EXPECT_EQ(d->BrushStyle, cl::bsClear);
    EXPECT_DOUBLE_EQ(d->ArcEnd, 6.283185307179586);
    EXPECT_EQ(d->BitmapIndex, 0);
    ASSERT_NE(v->GetBitmapByIndex(0), nullptr);
    EXPECT_EQ(v->GetBitmapByIndex(0)->GetWidth(), 64);
    EXPECT_EQ(v->GetBitmapUseCount(0), 1);
    ASSERT_TRUE(d->Font.has_value());
    EXPECT_STREQ(d->Font->lfFaceName, "Arial");
    EXPECT_FALSE(d->Shadow.Enabled);
    EXPECT_DOUBLE_EQ(d->Shadow.Radius, 3.0);
    EXPECT_EQ(d->Shadow.Intensity, 100);
}

TEST_F(VectModel, SpecialHandles) {
    EXPECT_EQ(v->GetObjRecord(IEV_LAST_OBJECT), nullptr);  // no objects yet
    const int32_t a = v->AddObjectCopy(Box(1, 1, 5, 5));
    const int32_t b = v->AddObjectCopy(Box(2, 2, 6, 6));
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(v->GetObjRecord(IEV_LAST_OBJECT), v->GetObjRecord(b));
    EXPECT_EQ(v->GetObjRecord(IEV_ALL_OBJECTS), nullptr);
    EXPECT_EQ(v->GetObjRecord(IEV_NO_OBJECT), nullptr);
    EXPECT_EQ(v->GetObjRecord(2), nullptr);
    EXPECT_EQ(v->GetObjRecord(IEV_DEFAULT_OBJECT)->Kind, ievkNONE);
    // A record stays where it is while the table grows.
    TIEVObjRecord* first = v->GetObjRecord(a);
    for (int i = 0; i < 600; ++i) v->AddObjectCopy(Box(0, 0, 1, 1));
    EXPECT_EQ(v->GetObjRecord(a), first);
    EXPECT_EQ(v->GetDrawOrderCount(), 602);
}

TEST_F(VectModel, AddObjectCopyOwnsItsDataAndNeverCopiesUserData) {
    TIEVObjRecord t;
    t.Kind = ievkMEMO;
    t.X1 = 50, t.Y1 = 40, t.X2 = 10, t.Y2 = 5;  // unordered box
    t.Text = "abc";
    t.Name = "memo";
    t.MemoCharStyles = {0, 1};  // shorter than the text
    t.MemoStyles.resize(2);
    t.MemoStyles[1].SetFontName("Courier");
    uint8_t data[4] = {1, 2, 3, 4};
    t.UserData.AssignBytes(data, 4);
    t.Shadow.Enabled = true;
    t.Shadow.OffsetX = 7;
    t.Points = {{1, 1}, {2, 2}};
    t.KeepAspect = true;
    const int32_t h = v->AddObjectCopy(t);
    TIEVObjRecord* o = v->GetObjRecord(h);
    EXPECT_EQ(o->UserData.Get(), nullptr);
    EXPECT_EQ(o->UserData.GetLength(), 0);
    EXPECT_EQ(o->Text, "abc");
    EXPECT_EQ(o->Name, "memo");
    EXPECT_EQ(o->MemoCharStyles, (std::vector<int32_t>{0, 1, 0}));  // one index per character
    ASSERT_EQ(o->MemoStyles.size(), 2u);
    EXPECT_EQ(o->MemoStyles[1].GetFontName(), "Courier");
    EXPECT_TRUE(o->Shadow.Enabled);
    EXPECT_EQ(o->Shadow.OffsetX, 7);
    EXPECT_TRUE(o->KeepAspect);
    EXPECT_TRUE(o->Points.empty());  // only polylines keep points
    EXPECT_EQ((std::vector<int32_t>{o->X1, o->Y1, o->X2, o->Y2}), (std::vector<int32_t>{10, 5, 50, 40}));
    // The copy is independent of the template.
    t.Text = "changed";
    t.MemoStyles[1].SetFontName("Other");
    EXPECT_EQ(o->Text, "abc");
    EXPECT_EQ(o->MemoStyles[1].GetFontName(), "Courier");
    EXPECT_EQ(t.UserData.GetLength(), 4);
}

TEST_F(VectModel, BoxOrderingAndKindDataByKind) {
    struct Case {
        TIEVObjKind Kind;
        bool Ordered, KeepsText, KeepsFont;
    };
    const Case cases[] = {
        {ievkLINE, false, false, false},     {ievkBOX, true, false, false},    {ievkELLIPSE, true, false, false},
        {ievkARC, true, false, false},       {ievkTEXT, true, true, true},     {ievkRULER, false, false, true},
        {ievkPOLYLINE, false, false, false}, {ievkANGLE, true, false, true},   {ievkMEMO, true, true, true},
        {ievkLINELABEL, false, true, true},  {ievkEXTENDED, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Kind));
        TIEVObjRecord t = *v->GetObjRecord(IEV_DEFAULT_OBJECT);
        t.Kind = c.Kind;
        t.X1 = 30, t.Y1 = 20, t.X2 = 3, t.Y2 = 2;
        t.Text = "t";
        TIEVObjRecord* o = v->GetObjRecord(v->AddObjectCopy(t));
        EXPECT_EQ(o->X1 == 3 && o->Y1 == 2 && o->X2 == 30 && o->Y2 == 20, c.Ordered);
        EXPECT_EQ(o->Text == "t", c.KeepsText);
        EXPECT_EQ(o->Font.has_value(), c.KeepsFont);
        EXPECT_EQ(o->BitmapIndex, -1);  // not a picture kind
    }
}

TEST_F(VectModel, PolylinePoints) {
    TIEVObjRecord t;
    t.Kind = ievkPOLYLINE;
    t.X1 = t.Y1 = 1000000;
    t.X2 = t.Y2 = -1000000;
    const int32_t h = v->AddObjectCopy(t);
    v->AddPolylinePoint(h, 10, 20);
    v->AddPolylinePoint(h, 10, 20);  // equal to the last: ignored
    v->AddPolylinePoint(h, 30, 5);
    v->AddPolylinePoint(h, 0, 40);
    TIEVObjRecord* o = v->GetObjRecord(h);
    EXPECT_EQ(o->GetPointCount(), 3);
    EXPECT_EQ((std::vector<int32_t>{o->X1, o->Y1, o->X2, o->Y2}), (std::vector<int32_t>{0, 5, 30, 40}));
    EXPECT_EQ((std::vector<int32_t>{o->PointsX1, o->PointsY1, o->PointsX2, o->PointsY2}),
              (std::vector<int32_t>{0, 5, 30, 40}));
    // A copy of a polyline has exactly its points.
    TIEVObjRecord* c = v->GetObjRecord(v->AddObjectCopy(*o));
    EXPECT_EQ(c->GetPointCount(), 3);
    EXPECT_EQ(c->Points[2].x, 0);
}

TEST_F(VectModel, RemoveAllObjectsKeepsTheDefaultPicture) {
    auto pic = Picture(8, 8, 0x40);
    TIEVObjRecord t = Box(0, 0, 9, 9);
    t.Kind = ievkBITMAP;
    const int32_t h = v->AddObjectCopy(t);
    v->SetObjBitmap(h, pic.get());
    v->SelectObject(h);
    int changed = 0;
    v->OnVectorialChanged = [&](cl::TObject*) { ++changed; };
    v->RemoveAllObjects();
    EXPECT_EQ(v->GetObjectsCount(), 0);
    EXPECT_EQ(v->GetDrawOrderCount(), 0);
    EXPECT_EQ(v->GetSelObjectsCount(), 0);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(v->GetBitmapSlotCount(), 1);
    EXPECT_EQ(v->GetObjRecord(IEV_DEFAULT_OBJECT)->BitmapIndex, 0);
    EXPECT_EQ(v->GetBitmapByIndex(0)->GetWidth(), 64);
    EXPECT_EQ(v->GetBitmapUseCount(0), 1);
    cl::TRect r{1, 1, 1, 1};
    v->GetObjectsBounds(r);
    EXPECT_EQ((std::vector<int32_t>{r.left, r.top, r.right, r.bottom}), (std::vector<int32_t>{0, 0, 0, 0}));
}

TEST_F(VectModel, ObjectsBounds) {
    v->AddObjectCopy(Box(5, 5, 20, 30));
    TIEVObjRecord line;
    line.Kind = ievkLINE;
    line.X1 = 70, line.Y1 = 2, line.X2 = 10, line.Y2 = 3;
    v->AddObjectCopy(line);
    cl::TRect r{};
    v->GetObjectsBounds(r);
    EXPECT_EQ((std::vector<int32_t>{r.left, r.top, r.right, r.bottom}), (std::vector<int32_t>{0, 0, 71, 31}));
}

TEST_F(VectModel, DrawingOrderChanges) {
    for (int i = 0; i < 4; ++i) v->AddObjectCopy(Box(i, i, i + 5, i + 5));
    auto order = [&] {
        std::vector<int32_t> o;
        for (int32_t p = 0; p < v->GetDrawOrderCount(); ++p) o.push_back(v->GetObjAtDrawPos(p));
        return o;
    };
    EXPECT_EQ(order(), (std::vector<int32_t>{0, 1, 2, 3}));
    v->BringObjectToFront(1);
    EXPECT_EQ(order(), (std::vector<int32_t>{0, 2, 3, 1}));
    v->SendObjectToBack(3);
    EXPECT_EQ(order(), (std::vector<int32_t>{3, 0, 2, 1}));
    v->SetObjDrawPos(1, 1);
    EXPECT_EQ(order(), (std::vector<int32_t>{3, 1, 0, 2}));
    v->SetObjDrawPos(IEV_LAST_OBJECT, 99);  // clamped to the top
    EXPECT_EQ(order(), (std::vector<int32_t>{1, 0, 2, 3}));
    EXPECT_EQ(v->GetObjDrawPos(2), 2);
    EXPECT_EQ(v->GetObjAtDrawPos(4), IEV_NO_OBJECT);
    // Handles do not change with the order.
    EXPECT_EQ(v->GetObjRecord(3)->X1, 3);
}

TEST_F(VectModel, Selection) {
    for (int i = 0; i < 3; ++i) v->AddObjectCopy(Box(10 * i, 10 * i, 10 * i + 5, 10 * i + 5));
    v->GetObjRecord(1)->Options &= static_cast<TIEVObjOptions>(~ievoSelectable);
    int events = 0;
    v->OnSelectObject = [&](cl::TObject*) { ++events; };
    v->SelectObject(0);
    v->SelectObject(1);  // not selectable: not added, the event fires all the same
    v->AddSelected(IEV_LAST_OBJECT);
    v->AddSelected(0);  // appended again
    EXPECT_EQ(events, 2);
    EXPECT_EQ(v->GetSelObjectsCount(), 3);
    EXPECT_TRUE(v->IsSelected(0));
    EXPECT_FALSE(v->IsSelected(1));
    EXPECT_TRUE(v->IsSelected(IEV_LAST_OBJECT));
    v->UnselectObject(0);  // the first occurrence
    EXPECT_EQ(events, 3);
    EXPECT_EQ(v->GetSelObjects(0), 2);
    EXPECT_EQ(v->GetSelObjects(1), 0);
    v->UnselectObject(1);  // not there: no event
    EXPECT_EQ(events, 3);
    v->UnselectAll();
    EXPECT_EQ(events, 4);
    EXPECT_EQ(v->GetSelObjectsCount(), 0);
    // In a rectangle: whole boxes only, each once.
    v->SelectObject(0);
    v->SelectObjectsInRect(IEV_ALL_OBJECTS, 0, 0, 24, 25);
    EXPECT_EQ(v->GetSelObjectsCount(), 1);  // 0 already there, 1 not selectable, 2 sticks out
    v->SelectObjectsInRect(IEV_ALL_OBJECTS, 0, 0, 25, 25);
    EXPECT_EQ(v->GetSelObjectsCount(), 2);
    v->SelectObjectsInRect(2, 20, 20, 25, 25);  // already selected
    EXPECT_EQ(v->GetSelObjectsCount(), 2);
    // Selection bounds start from the picture and widen.
    v->GetIEBitmap()->Allocate(12, 12, ie24RGB);
    cl::TRect r{};
    v->GetSelectionBounds(r);
    EXPECT_EQ((std::vector<int32_t>{r.left, r.top, r.right, r.bottom}), (std::vector<int32_t>{0, 0, 25, 25}));
}

// Shared pictures: identical pictures share one slot; the use count follows the objects.
TEST_F(VectModel, SharedPicturesCountTheirUses) {
    auto red = Picture(4, 4, 0x20), same = Picture(4, 4, 0x20), other = Picture(4, 4, 0x80);
    TIEVObjRecord t = Box(0, 0, 3, 3);
    t.Kind = ievkBITMAP;
    const int32_t a = v->AddObjectCopy(t), b = v->AddObjectCopy(t);
    v->SetObjBitmap(a, red.get());
    v->SetObjBitmap(b, same.get());
    const int32_t slot = v->GetObjRecord(a)->BitmapIndex;
    EXPECT_EQ(v->GetObjRecord(b)->BitmapIndex, slot);
    EXPECT_EQ(v->GetBitmapUseCount(slot), 2);
    // A copy of a picture object takes another use.
    const int32_t c = v->AddObjectCopy(*v->GetObjRecord(a));
    EXPECT_EQ(v->GetObjRecord(c)->BitmapIndex, slot);
    EXPECT_EQ(v->GetBitmapUseCount(slot), 3);
    // Giving an object the picture it has, by picture or by index, changes nothing.
    v->SetObjBitmap(a, v->GetBitmapByIndex(slot));
    v->SetObjBitmap(a, same.get());
    v->SetObjBitmapIndex(a, slot);
    EXPECT_EQ(v->GetBitmapUseCount(slot), 3);
    // Another picture: a new slot; the old one loses a use.
    v->SetObjBitmap(c, other.get());
    EXPECT_NE(v->GetObjRecord(c)->BitmapIndex, slot);
    EXPECT_EQ(v->GetBitmapUseCount(slot), 2);
    // Releasing the last uses frees the slot, and the next picture reuses it.
    v->SetObjBitmap(a, nullptr);
    v->SetObjBitmapIndex(b, -1);
    EXPECT_EQ(v->GetBitmapByIndex(slot), nullptr);
    EXPECT_EQ(v->GetBitmapUseCount(slot), 0);
    const int32_t slots = v->GetBitmapSlotCount();
    v->SetObjBitmap(a, red.get());
    EXPECT_EQ(v->GetObjRecord(a)->BitmapIndex, slot);
    EXPECT_EQ(v->GetBitmapSlotCount(), slots);
    // An index with no picture leaves the object without one, and its old use is released.
    v->SetObjBitmapIndex(a, 99);
    EXPECT_EQ(v->GetObjRecord(a)->BitmapIndex, -1);
    EXPECT_EQ(v->GetBitmapByIndex(slot), nullptr);
}

TEST_F(VectModel, WithoutSharingEveryObjectHasItsOwnSlot) {
    v->SetShareBitmaps(false);
    auto pic = Picture(4, 4, 0x20);
    TIEVObjRecord t = Box(0, 0, 3, 3);
    t.Kind = ievkBITMAP;
    const int32_t a = v->AddObjectCopy(t), b = v->AddObjectCopy(t);
    v->SetObjBitmap(a, pic.get());
    v->SetObjBitmap(b, pic.get());
    EXPECT_NE(v->GetObjRecord(a)->BitmapIndex, v->GetObjRecord(b)->BitmapIndex);
    EXPECT_EQ(v->GetBitmapUseCount(v->GetObjRecord(a)->BitmapIndex), 1);
    EXPECT_EQ(v->GetBitmapUseCount(v->GetObjRecord(b)->BitmapIndex), 1);
    v->SetObjBitmapIndex(b, v->GetObjRecord(a)->BitmapIndex);
    EXPECT_NE(v->GetObjRecord(b)->BitmapIndex, v->GetObjRecord(a)->BitmapIndex);
}

// Moving an object from its only use of a picture to that same picture's slot, or giving it
// its own picture back, keeps the picture alive (the new reference is taken first).
TEST_F(VectModel, PictureUsedOnceSurvivesBeingGivenAgain) {
    for (bool share : {true, false}) {
        SCOPED_TRACE(share);
        auto view = std::make_unique<TVovozIdVect>(nullptr);
        view->SetShareBitmaps(share);
        auto pic = Picture(5, 3, 0x33);
        TIEVObjRecord t = Box(0, 0, 3, 3);
        t.Kind = ievkBITMAP;
        const int32_t a = view->AddObjectCopy(t);
        view->SetObjBitmap(a, pic.get());
        const int32_t slot = view->GetObjRecord(a)->BitmapIndex;
        TIEBitmap* own = view->GetBitmapByIndex(slot);
        view->SetObjBitmap(a, own);  // its own picture: nothing changes
        EXPECT_EQ(view->GetObjRecord(a)->BitmapIndex, slot);
        EXPECT_EQ(view->GetBitmapByIndex(slot), own);
        EXPECT_EQ(view->GetBitmapUseCount(slot), 1);
        // Another object shares nothing yet; re-pointing object a through a second slot and back.
        const int32_t b = view->AddObjectCopy(t);
        view->SetObjBitmapIndex(b, slot);
        view->SetObjBitmap(a, nullptr);
        ASSERT_NE(view->GetBitmapByIndex(view->GetObjRecord(b)->BitmapIndex), nullptr);
        EXPECT_EQ(view->GetBitmapByIndex(view->GetObjRecord(b)->BitmapIndex)->GetWidth(), 5);
    }
}

TEST_F(VectModel, PackBitmapsRenumbersEveryReference) {
    auto p1 = Picture(2, 2, 1), p2 = Picture(2, 2, 2), p3 = Picture(2, 2, 3);
    TIEVObjRecord t = Box(0, 0, 3, 3);
    t.Kind = ievkBITMAP;
    const int32_t a = v->AddObjectCopy(t), b = v->AddObjectCopy(t), c = v->AddObjectCopy(t);
    v->SetObjBitmap(a, p1.get());  // slot 1 (slot 0 is the default object's)
    v->SetObjBitmap(b, p2.get());  // slot 2
    v->SetObjBitmap(c, p3.get());  // slot 3
    v->SetObjBitmap(b, nullptr);   // slot 2 free
    v->PackBitmaps();
    EXPECT_EQ(v->GetBitmapSlotCount(), 3);
    EXPECT_EQ(v->GetObjRecord(IEV_DEFAULT_OBJECT)->BitmapIndex, 0);
    EXPECT_EQ(v->GetObjRecord(a)->BitmapIndex, 1);
    EXPECT_EQ(v->GetObjRecord(c)->BitmapIndex, 2);
    EXPECT_EQ(static_cast<uint8_t*>(v->GetBitmapByIndex(2)->GetScanline(0))[0], 3);
}

TEST_F(VectModel, DefaultObjectIsTheTemplate) {
    TIEVObjRecord* d = v->GetObjRecord(IEV_DEFAULT_OBJECT);
    d->Kind = ievkBITMAP;
    d->PenColor = 0x123456;
    const int32_t h = v->AddObjectCopy(*d);
    TIEVObjRecord* o = v->GetObjRecord(h);
    EXPECT_EQ(o->PenColor, 0x123456);
    EXPECT_EQ(o->BitmapIndex, d->BitmapIndex);  // shares the default picture
    EXPECT_EQ(v->GetBitmapUseCount(d->BitmapIndex), 2);
    // Setters through -1 change the template only.
    cl::TFont font;
    font.SetName("Courier");
    font.SetStyle(cl::FontStyleBit(cl::fsBold) | cl::FontStyleBit(cl::fsItalic));
    v->SetObjFont(IEV_DEFAULT_OBJECT, &font);
    EXPECT_EQ(v->GetObjFontStyles(IEV_DEFAULT_OBJECT), cl::FontStyleBit(cl::fsBold) | cl::FontStyleBit(cl::fsItalic));
    EXPECT_EQ(v->GetObjFontStyles(h), 0);
    v->SetMUnit(ieuCENTIMETERS);
    EXPECT_EQ(d->RulerUnit, ieuCENTIMETERS);
}

TEST_F(VectModel, UserDataOwnedOnlyWithALength) {
    const int32_t h = v->AddObjectCopy(Box(0, 0, 1, 1));
    char caller[] = "hello";
    v->SetObjUserData(h, caller);
    EXPECT_EQ(v->GetObjRecord(h)->UserData.Get(), caller);
    EXPECT_EQ(v->GetObjRecord(h)->UserData.GetLength(), 0);
    v->SetObjUserDataLength(h, 6);
    const TIEVUserData& u = v->GetObjRecord(h)->UserData;
    EXPECT_NE(u.Get(), caller);  // an owned copy
    EXPECT_EQ(u.GetLength(), 6);
    EXPECT_STREQ(static_cast<const char*>(u.Get()), "hello");
    TIEVUserData copy = u;
    EXPECT_NE(copy.Get(), u.Get());
    EXPECT_STREQ(static_cast<const char*>(copy.Get()), "hello");
}

TEST_F(VectModel, AssignAndCopyObjectsGiveTheDestinationItsOwnPictures) {
    auto pic = Picture(6, 6, 0x55);
    TIEVObjRecord t = Box(0, 0, 5, 5);
    t.Kind = ievkBITMAP;
    const int32_t a = v->AddObjectCopy(t), b = v->AddObjectCopy(t);
    v->SetObjBitmap(a, pic.get());
    v->SetObjBitmap(b, pic.get());
    v->AddObjectCopy(Box(1, 2, 3, 4));
    v->BringObjectToFront(0);
    v->SetMeasureScale(2.5);
    auto dest = std::make_unique<TVovozIdVect>(nullptr);
    dest->AddObjectCopy(Box(9, 9, 9, 9));
    dest->Assign(v.get());
    ASSERT_EQ(dest->GetObjectsCount(), 3);
    EXPECT_DOUBLE_EQ(dest->GetMeasureScale(), 2.5);
    // In the source's drawing order: b, the box, a.
    EXPECT_EQ(dest->GetObjRecord(1)->Kind, ievkBOX);
    const int32_t s0 = dest->GetObjRecord(0)->BitmapIndex, s2 = dest->GetObjRecord(2)->BitmapIndex;
    EXPECT_NE(s0, s2);
    EXPECT_EQ(dest->GetBitmapUseCount(s0), 1);
    EXPECT_EQ(dest->GetBitmapUseCount(s2), 1);
    EXPECT_EQ(dest->GetBitmapUseCount(dest->GetObjRecord(IEV_DEFAULT_OBJECT)->BitmapIndex), 1);
    EXPECT_NE(dest->GetBitmapByIndex(s0), v->GetBitmapByIndex(v->GetObjRecord(a)->BitmapIndex));
    // Nil empties the layer.
    dest->Assign(nullptr);
    EXPECT_EQ(dest->GetObjectsCount(), 0);
}

TEST_F(VectModel, VectorialChangedOnceFiresOncePerChange) {
    int fired = 0;
    v->OnVectorialChanged = [&](cl::TObject*) { ++fired; };
    v->DoVectorialChangedOnce();
    v->DoVectorialChangedOnce();
    EXPECT_EQ(fired, 1);
    v->DoVectorialChanged();
    EXPECT_EQ(fired, 2);
    EXPECT_TRUE(v->GetObjectsChanged());
    v->DoVectorialChangedOnce();
    v->DoVectorialChangedOnce();
    EXPECT_EQ(fired, 3);
    int grip = -1;
    v->OnObjectMoveResize = [&](cl::TObject*, int32_t, int32_t G, int32_t&, int32_t&) { grip = G; };
    int32_t dx = 0, dy = 0;
    v->DoObjectMoveResize(0, 0x83, dx, dy);
    EXPECT_EQ(grip, 3);  // the low seven bits
}

TEST_F(VectModel, ViewInteractionClearsCreationModes) {
    v->MouseInteractVect = IEVMouseOpt(mivMeasureArea) | IEVMouseOpt(mivPutBox) | IEVMouseOpt(mivNoClickCreate) |
                           IEVMouseOpt(mivPutExtended);
    v->SetMouseInteract(0);
    EXPECT_EQ(v->MouseInteractVect, IEVMouseOpt(mivMeasureArea) | IEVMouseOpt(mivPutBox) |
                                        IEVMouseOpt(mivNoClickCreate) | IEVMouseOpt(mivPutExtended));
    v->SetMouseInteract(IEMouseOpt(miZoom));
    EXPECT_EQ(v->MouseInteractVect, IEVMouseOpt(mivMeasureArea) | IEVMouseOpt(mivNoClickCreate));
}

// ---------------------------------------------------------------------------------------
// Extension objects

class TTestExt : public TIEVExtObject {
public:
    std::unique_ptr<TIEVExtObject> Clone() const override {
        auto c = std::make_unique<TTestExt>();
        c->Value = Value;
        return c;
    }
    void Draw(cl::TBitmap*, int32_t, int32_t, int32_t, int32_t, bool, double, double) override {}
    int Value = 0;
};
class TOtherExt : public TTestExt {};

class VectExtRegistry : public ::testing::Test {
protected:
    void SetUp() override { IEFreeExtClassRegistry(); }
    void TearDown() override { IEFreeExtClassRegistry(); }
};

TEST_F(VectExtRegistry, EmptyRegistryFindsNothing) {
    IEVectClipboardFormat = 0;
    IEVectRegisterStaticHooks();
    IEVectStaticInit();
    EXPECT_EQ(IEVectClipboardFormat, win::RegisterClipboardFormatA("vovozid vect"));
    EXPECT_GE(IEVectClipboardFormat, 0xC000u);
    EXPECT_EQ(IEExtClassCount(), 0);
    EXPECT_EQ(IECreateExtObject("TTestExt"), nullptr);
    EXPECT_EQ(IECreateExtObject(""), nullptr);
    EXPECT_EQ(IEGetExtClassName(typeid(TTestExt)), "");
    IEVectStaticFinal();
    EXPECT_EQ(IEExtClassCount(), 0);
}

TEST_F(VectExtRegistry, FindByExactNameFirstRegisteredWins) {
    IERegisterExtClass<TTestExt>("Stamp");
    IERegisterExtClass<TOtherExt>("Stamp");
    IERegisterExtClass<TOtherExt>("Other");
    EXPECT_EQ(IEExtClassCount(), 3);
    std::unique_ptr<TIEVExtObject> o = IECreateExtObject("Stamp");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(typeid(*o), typeid(TTestExt));
    EXPECT_EQ(o->Index, -1);
    EXPECT_EQ(o->Owner, nullptr);
    EXPECT_EQ(IECreateExtObject("stamp"), nullptr);  // case-sensitive
    EXPECT_EQ(IECreateExtObject("Stam"), nullptr);
    EXPECT_EQ(IEGetExtClassName(typeid(TOtherExt)), "Stamp");  // its first entry
    EXPECT_EQ(IEGetExtClassName(typeid(TTestExt)), "Stamp");
}

TEST_F(VectExtRegistry, AddObjectCopyClonesTheInstance) {
    TVovozIdVect view(nullptr);
    TIEVObjRecord t;
    t.Kind = ievkEXTENDED;
    auto ext = std::make_unique<TTestExt>();
    ext->Value = 42;
    TIEVExtObject* original = ext.get();
    t.ExtObject.Reset(std::move(ext));
    view.AddObjectCopy(Box(0, 0, 1, 1));
    const int32_t h = view.AddObjectCopy(t);
    TIEVObjRecord* o = view.GetObjRecord(h);
    ASSERT_TRUE(o->ExtObject);
    EXPECT_NE(o->ExtObject.Get(), original);
    EXPECT_EQ(static_cast<TTestExt*>(o->ExtObject.Get())->Value, 42);
    EXPECT_EQ(o->ExtObject->Index, h);
    EXPECT_EQ(o->ExtObject->Rec, o);
    EXPECT_EQ(o->ExtObject->Owner, &view);
    // A kind other than extended drops an instance it was given.
    t.Kind = ievkBOX;
    EXPECT_FALSE(view.GetObjRecord(view.AddObjectCopy(t))->ExtObject);
}

}  // namespace
}  // namespace ie::test
