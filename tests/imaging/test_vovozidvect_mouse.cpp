// Mouse interaction with the vector objects on the headless screen, driven by scripted input:
// objects of every kind created by drag and by click, angles by three clicks, polylines by
// clicks and freehand, moving and resizing by grips (with the aspect kept), angle points and
// polyline points dragged, deleted and inserted, rubber-band selection, the drag-length
// measure, the events, the cursors over grips, extension objects' mouse, and object undo of
// both kinds around each interaction.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "../classlib/test_Controls_fixture.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/processing/vovozidproc.h"
#include "imaging/view/vovozidvect.h"
#include "platform/user_testhooks.h"
#include "view_testutil.h"

namespace ie {
namespace {

using cl::testing_controls::ControlsTest;

// One object as the tables show it: its kind and its box.
struct KB {
    int Kind;
    int X1, Y1, X2, Y2;
    bool operator==(const KB&) const = default;
};
std::ostream& operator<<(std::ostream& Out, const KB& O) {
    return Out << "{kind " << O.Kind << ": " << O.X1 << "," << O.Y1 << " - " << O.X2 << "," << O.Y2 << "}";
}

constexpr int kCtrl = 17, kShift = 16, kAlt = 18;

// A 100 x 80 picture centred in a 200 x 150 vector view at the screen's origin.
class VectMouse : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = cl::NewForm<cl::TForm>(cl::Application);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(0, 0, 200, 150);
        v = new TVovozIdVect(form);  // owned by the form
        v->SetBorderStyle(cl::bsNone);
        v->SetParent(form);
        v->SetBounds(0, 0, 200, 150);
        v->GetIEBitmap()->Allocate(100, 80, ie24RGB);
        v->GetIEBitmap()->Fill(0xFFFFFF);
        v->Update();
        v->EditOnCreate = false;
        form->Show();
        cl::Application->ProcessMessages();
    }
    void TearDown() override {
        // The handlers see the tests' locals: none may run while the view goes.
        v->OnNewObject = nullptr;
        v->OnVectorialChanged = nullptr;
        v->OnObjectMoveResize = nullptr;
        v->OnObjectDblClick = nullptr;
        v->OnObjectClick = nullptr;
        v->OnObjectOver = nullptr;
        v->OnUserSelectObject = nullptr;
        v->OnDragLenEnd = nullptr;
        delete form;
        ControlsTest::TearDown();
    }
    // Screen (= client) position of a bitmap point.
    int SX(int BX) { return v->BitmapToClientX(BX); }
    int SY(int BY) { return v->BitmapToClientY(BY); }
    std::string B(int BX, int BY) { return std::to_string(SX(BX)) + " " + std::to_string(SY(BY)); }
    // Runs an input script ("ms word args; ...") from now on.
    void Play(const std::string& Script) {
        long long last = 0;
        const std::string timed = ie::test::TimedInputScript(Script, win::ClockNowTicks() / win::kTicksPerMs, last);
        ASSERT_TRUE(win::test::SetInputScript(timed)) << timed;
        RunFor(static_cast<int>(last) + 600);  // past the double-click time
    }
    // A drag in bitmap coordinates through a middle point.
    void Drag(int X1, int Y1, int X2, int Y2) {
        Play("0 down " + B(X1, Y1) + "; 20 move " + B((X1 + X2) / 2, (Y1 + Y2) / 2) + "; 40 move " + B(X2, Y2) +
             "; 60 up " + B(X2, Y2));
    }
    void Click(int X, int Y) { Play("0 click " + B(X, Y)); }
    std::vector<KB> Objects() {
        std::vector<KB> out;
        for (int h = 0; h < v->GetObjectsCount(); ++h) {
            const TIEVObjRecord* o = v->GetObjRecord(h);
            out.push_back({o->Kind, o->X1, o->Y1, o->X2, o->Y2});
        }
        return out;
    }
    std::vector<int32_t> Selection() {
        std::vector<int32_t> out;
        for (int i = 0; i < v->GetSelObjectsCount(); ++i) out.push_back(v->GetSelObjects(i));
        return out;
    }
    int32_t Add(TIEVObjKind Kind, int X1, int Y1, int X2, int Y2) {
        TIEVObjRecord r;
        r.Kind = Kind;
        r.X1 = X1, r.Y1 = Y1, r.X2 = X2, r.Y2 = Y2;
        const int32_t h = v->AddObjectCopy(r);
        v->Update();
        cl::Application->ProcessMessages();
        return h;
    }
    // A polyline through the points (recorded at the box's own scale), drawn once so that its
    // drawing points are known.
    int32_t AddPolyline(const std::vector<win::POINT>& Points) {
        TIEVObjRecord r;
        r.Kind = ievkPOLYLINE;
        const int32_t h = v->AddObjectCopy(r);
        v->GetObjRecord(h)->Points.clear();
        for (const win::POINT& p : Points) v->AddPolylinePoint(h, p.x, p.y);
        v->Update();
        cl::Application->ProcessMessages();
        return h;
    }
    void SelectOnly(int32_t h) {
        v->UnselectAll();
        v->SelectObject(h);
        v->Update();
        cl::Application->ProcessMessages();
    }
    cl::TForm* form = nullptr;
    TVovozIdVect* v = nullptr;
};

TEST_F(VectMouse, EveryKindIsCreatedByADrag) {
    struct Case {
        TIEVMouseInteractItem Mode;
        std::string Keys;  // a key held during the drag
        KB Want;
    };
    const Case cases[] = {
        {mivPutLine, "", {ievkLINE, 40, 30, 10, 10}},  // a line keeps its ends as drawn
        {mivPutLineLabel, "", {ievkLINELABEL, 40, 30, 10, 10}},
        {mivPutRuler, "", {ievkRULER, 40, 30, 10, 10}},
        {mivPutBox, "", {ievkBOX, 10, 10, 40, 30}},  // a box is ordered
        {mivPutEllipse, "", {ievkELLIPSE, 10, 10, 40, 30}},
        {mivPutBitmap, "", {ievkBITMAP, 10, 10, 40, 30}},
        {mivPutText, "", {ievkTEXT, 10, 10, 40, 30}},
        {mivPutMemo, "", {ievkMEMO, 10, 10, 40, 30}},
        {mivPutExtended, "", {ievkEXTENDED, 10, 10, 40, 30}},
        {mivPutBox, "17", {ievkBOX, 10, 0, 40, 30}},        // Ctrl: a square on the longer side
        {mivPutLine, "17", {ievkLINE, 40, 30, 20, 10}},     // Ctrl: snapped to 45 degrees
        {mivPutBitmap, "18", {ievkBITMAP, 10, 0, 40, 30}},  // Alt: the picture's aspect (square)
    };
    std::vector<int32_t> created;
    int changed = 0;
    v->OnNewObject = [&](cl::TObject*, int32_t h) { created.push_back(h); };
    v->OnVectorialChanged = [&](cl::TObject*) { ++changed; };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.Mode));
        SCOPED_TRACE(c.Keys);
        v->RemoveAllObjects();
        v->MouseInteractVect = IEVMouseOpt(c.Mode);
        created.clear();
        changed = 0;
        const std::string down = c.Keys.empty() ? "" : "0 keydown " + c.Keys + "; ";
        const std::string up = c.Keys.empty() ? "" : "; 80 keyup " + c.Keys;
        Play(down + "10 down " + B(40, 30) + "; 30 move " + B(25, 22) + "; 50 move " + B(10, 10) + "; 70 up " +
             B(10, 10) + up);
        EXPECT_EQ(Objects(), std::vector<KB>{c.Want});
        EXPECT_EQ(created, std::vector<int32_t>{0});
        EXPECT_EQ(Selection(), std::vector<int32_t>{0});
        EXPECT_GE(changed, 1);
        EXPECT_EQ(v->GetCreatingKind(), 0);
        EXPECT_FALSE(v->GetDragging());
    }
}

TEST_F(VectMouse, AClickCreatesTheTemplateSize) {
    v->MouseInteractVect = IEVMouseOpt(mivPutBox);
    Click(20, 10);
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkBOX, 20, 10, 83, 73}}));
    v->CenterOnClick = true;
    Click(50, 40);
    EXPECT_EQ(Objects().back(), (KB{ievkBOX, 19, 9, 82, 72}));

    // Refused clicks create nothing and leave no creation pending; a drag still creates.
    v->RemoveAllObjects();
    v->MouseInteractVect = IEVMouseOpt(mivPutBox) | IEVMouseOpt(mivNoClickCreate);
    Click(20, 10);
    EXPECT_EQ(v->GetObjectsCount(), 0);
    EXPECT_EQ(v->GetCreatingKind(), 0);
    Drag(10, 10, 30, 20);
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkBOX, 10, 10, 30, 20}}));

    // A template that cannot be resized is placed at the release with its own size.
    v->RemoveAllObjects();
    v->MouseInteractVect = IEVMouseOpt(mivPutEllipse);
    v->CenterOnClick = false;
    TIEVObjRecord* d = v->GetObjRecord(IEV_DEFAULT_OBJECT);
    d->X1 = d->Y1 = 0, d->X2 = d->Y2 = 9;
    d->Options = IEVAllObjOptions & ~ievoResizable;
    Drag(10, 10, 30, 20);
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkELLIPSE, 30, 20, 39, 29}}));
}

// An angle or a polyline left unfinished by a change of mode is given up at the next press,
// which takes its own undo snapshot; the template keeps its size meanwhile.
TEST_F(VectMouse, AnUnfinishedAngleOrPolylineGivesWayToTheNextMode) {
    v->SetObjAutoUndo(true);
    v->SetObjUndoLimit(5);
    for (TIEVMouseInteractItem mode : {mivPutAngle, mivPutPolyline}) {
        SCOPED_TRACE(int(mode));
        v->RemoveAllObjects();
        v->ClearObjUndo();
        v->MouseInteractVect = IEVMouseOpt(mode);
        Click(50, 10);
        EXPECT_NE(v->GetCreatingKind(), 0);
        v->MouseInteractVect = IEVMouseOpt(mivPutBox);
        Click(20, 10);
        EXPECT_EQ(v->GetCreatingKind(), 0);
        EXPECT_EQ(Objects().back(), (KB{ievkBOX, 20, 10, 83, 73}));
        EXPECT_EQ(v->GetObjUndoCount(), 2);
    }
}

TEST_F(VectMouse, ATextCreatedIsEditedInPlace) {
    v->EditOnCreate = true;
    v->MouseInteractVect = IEVMouseOpt(mivPutText);
    Drag(10, 10, 40, 20);
    EXPECT_EQ(v->GetEditing(), 0);
    // The next press ends the editing.
    v->MouseInteractVect = IEVMouseOpt(mivSelectObjects);
    Click(90, 70);
    EXPECT_EQ(v->GetEditing(), -1);
    // A double click on the text edits it again.
    int dbl = -1;
    v->OnObjectDblClick = [&](cl::TObject*, int32_t h) { dbl = h; };
    Add(ievkBOX, 60, 50, 80, 70);
    SelectOnly(1);
    Play("0 dblclick " + B(20, 15));
    EXPECT_EQ(dbl, 0);
    EXPECT_EQ(v->GetEditing(), 0);
    EXPECT_EQ(Selection(), std::vector<int32_t>{0});
}

TEST_F(VectMouse, AnAngleTakesThreeClicksAndADoubleClickAddsOnePoint) {
    v->MouseInteractVect = IEVMouseOpt(mivPutAngle);
    int created = 0;
    v->OnNewObject = [&](cl::TObject*, int32_t) { ++created; };
    Play("0 click " + B(50, 10) + "; 600 click " + B(30, 30));
    EXPECT_EQ(v->GetCreatingKind(), ievkANGLE);
    EXPECT_EQ(created, 0);
    Play("0 click " + B(50, 60));
    ASSERT_EQ(v->GetObjectsCount(), 1);
    const TIEVObjRecord* a = v->GetObjRecord(0);
    EXPECT_EQ(a->Kind, ievkANGLE);
    EXPECT_EQ(a->AnglePoints[0].x, 50);
    EXPECT_EQ(a->AnglePoints[1].y, 30);
    EXPECT_EQ(a->AnglePoints[2].y, 60);
    // The box holds both legs around the vertex.
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkANGLE, 10, 0, 50, 60}}));
    EXPECT_EQ(created, 1);
    EXPECT_EQ(v->GetCreatingKind(), 0);
    EXPECT_EQ(Selection(), std::vector<int32_t>{0});

    // The second press of a double click adds no point: a third click is still needed.
    Play("0 click " + B(10, 10) + "; 600 dblclick " + B(40, 10));
    ASSERT_EQ(v->GetObjectsCount(), 2);
    EXPECT_EQ(v->GetObjRecord(1)->AnglePoints[2].x, IEVUnsetPoint);
    EXPECT_EQ(v->GetCreatingKind(), ievkANGLE);
    Play("0 click " + B(40, 40));
    EXPECT_EQ(v->GetObjRecord(1)->AnglePoints[2].y, 40);
    EXPECT_EQ(v->GetCreatingKind(), 0);
    EXPECT_EQ(created, 2);
}

TEST_F(VectMouse, PolylinesByClicksAndFreehand) {
    v->MouseInteractVect = IEVMouseOpt(mivPutPolyline);
    Play("0 click " + B(10, 10) + "; 600 click " + B(40, 10) + "; 1200 dblclick " + B(40, 40));
    ASSERT_EQ(v->GetObjectsCount(), 1);
    const TIEVObjRecord* p = v->GetObjRecord(0);
    ASSERT_EQ(p->GetPointCount(), 3);  // the double click's second press repeats the point
    EXPECT_EQ(p->Points[2].x, 40);
    EXPECT_EQ(p->Points[2].y, 40);
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkPOLYLINE, 10, 10, 40, 40}}));
    EXPECT_EQ(v->GetCreatingKind(), 0);
    EXPECT_EQ(Selection(), std::vector<int32_t>{0});

    // Ctrl snaps a click to the previous point's horizontal.
    Play("0 click " + B(10, 50) + "; 20 keydown 17; 600 click " + B(50, 53) + "; 620 keyup 17; 1200 dblclick " +
         B(50, 70));
    ASSERT_EQ(v->GetObjectsCount(), 2);
    EXPECT_EQ(v->GetObjRecord(1)->Points[1].y, 50);

    // With end mode 2 a freehand drag makes the polyline and the release ends it.
    v->PolylineEndMode = 2;
    Play("0 down " + B(60, 10) + "; 20 move " + B(70, 15) + "; 40 move " + B(80, 30) + "; 60 up " + B(80, 30));
    ASSERT_EQ(v->GetObjectsCount(), 3);
    EXPECT_EQ(v->GetObjRecord(2)->GetPointCount(), 3);
    EXPECT_EQ(Objects().back(), (KB{ievkPOLYLINE, 60, 10, 80, 30}));
    EXPECT_EQ(v->GetCreatingKind(), 0);
}

TEST_F(VectMouse, GripsResizeAndTheBodyMoves) {
    struct Case {
        const char* Name;
        int GX, GY;  // the grip (bitmap)
        int DX, DY;
        bool Keep;
        KB Want;
    };
    // A 30 x 20 box at (10, 10).
    const Case cases[] = {
        {"top-left", 10, 10, 5, 4, false, {ievkBOX, 15, 14, 40, 30}},
        {"bottom-right", 40, 30, 5, 4, false, {ievkBOX, 10, 10, 45, 34}},
        {"top-right", 40, 10, 5, 4, false, {ievkBOX, 10, 14, 45, 30}},
        {"bottom-left", 10, 30, 5, 4, false, {ievkBOX, 15, 10, 40, 34}},
        {"left", 10, 20, -5, 4, false, {ievkBOX, 5, 10, 40, 30}},
        {"right", 40, 20, 6, 4, false, {ievkBOX, 10, 10, 46, 30}},
        {"top", 25, 10, 4, -5, false, {ievkBOX, 10, 5, 40, 30}},
        {"bottom", 25, 30, 4, 6, false, {ievkBOX, 10, 10, 40, 36}},
        {"body", 18, 10, 7, 3, false, {ievkBOX, 17, 13, 47, 33}},
        // The aspect kept: the bottom-middle grip widens, keeping the left edge.
        {"bottom, aspect", 25, 30, 0, 6, true, {ievkBOX, 10, 10, 49, 36}},
        {"right, aspect", 40, 20, 6, 0, true, {ievkBOX, 10, 10, 46, 34}},
        {"top-left, aspect", 10, 10, -6, 0, true, {ievkBOX, 4, 6, 40, 30}},
        {"top-right, aspect", 40, 10, 3, 0, true, {ievkBOX, 10, 8, 43, 30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        v->RemoveAllObjects();
        v->MouseInteractVect = IEVMouseOpt(mivSelectObjects);
        const int32_t h = Add(ievkBOX, 10, 10, 40, 30);
        v->GetObjRecord(h)->KeepAspect = c.Keep;
        SelectOnly(h);
        int events = 0;
        v->OnObjectMoveResize = [&](cl::TObject*, int32_t, int32_t, int32_t&, int32_t&) { ++events; };
        Drag(c.GX, c.GY, c.GX + c.DX, c.GY + c.DY);
        v->OnObjectMoveResize = nullptr;
        EXPECT_EQ(Objects(), std::vector<KB>{c.Want});
        EXPECT_GE(events, 1);
        EXPECT_EQ(v->GetDraggedGrip(), 0);
    }
}

// Zoomed, a drag moves by whole bitmap pixels: the client distance over the zoom, truncated.
TEST_F(VectMouse, ZoomedDragsMoveByBitmapPixels) {
    v->SetZoom(200);
    v->SetViewXY(0, 0);
    v->MouseInteractVect = IEVMouseOpt(mivSelectObjects);
    SelectOnly(Add(ievkBOX, 10, 10, 40, 30));
    const int x = SX(40), y = SY(30);
    auto at = [](int X, int Y) { return std::to_string(X) + " " + std::to_string(Y); };
    Play("0 down " + at(x, y) + "; 20 move " + at(x + 5, y + 3) + "; 40 move " + at(x + 11, y + 7) + "; 60 up " +
         at(x + 11, y + 7));
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkBOX, 10, 10, 45, 33}}));
}

// Without a picture the mouse makes nothing.
TEST_F(VectMouse, NothingHappensWithoutAPicture) {
    v->GetIEBitmap()->Allocate(1, 1, ie24RGB);
    v->Update();
    v->MouseInteractVect = IEVMouseOpt(mivPutBox);
    v->SetObjAutoUndo(true);
    Play("0 down 20 20; 20 move 60 50; 40 up 60 50; 100 click 30 30");
    EXPECT_EQ(v->GetObjectsCount(), 0);
    EXPECT_EQ(v->GetCreatingKind(), 0);
    EXPECT_EQ(v->GetObjUndoCount(), 0);
}

TEST_F(VectMouse, AspectCorrectionRoundsHalfToEvenAndKeepsAltAndTheViewsFlag) {
    // A 20 x 10 box: the width 21 gives a height of 10.5, rounded to the even 10.
    const int32_t h = Add(ievkBOX, 10, 10, 30, 20);
    TIEVObjRecord* o = v->GetObjRecord(h);
    o->DragX1 = 10, o->DragY1 = 10, o->DragX2 = 30, o->DragY2 = 20;
    v->ResizeObjectByGrip(h, 0, 0, 1, 0, true, 7);
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkBOX, 10, 10, 31, 20}}));
    v->ResizeObjectByGrip(h, 0, 0, 2, 0, true, 7);  // 23 wide: 11.5 becomes 12
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkBOX, 10, 10, 33, 22}}));
    // Huge boxes do not overflow the product.
    o->DragX1 = 0, o->DragY1 = 0, o->DragX2 = 2000000, o->DragY2 = 1000000;
    o->X1 = 0, o->Y1 = 0, o->X2 = 2000000, o->Y2 = 1000000;
    v->ResizeObjectByGrip(h, 0, 0, 0, 0, true, 2);
    EXPECT_EQ(o->Y2, 1000000);
    // A zero drag-start size leaves the box alone.
    o->DragX2 = 0;
    v->ResizeObjectByGrip(h, 0, 0, 10, 0, true, 2);
    EXPECT_EQ(o->Y2, 1000000);

    // Alt, and the view's flag, keep the aspect of an object that does not ask for it.
    v->MouseInteractVect = IEVMouseOpt(mivSelectObjects);
    for (bool flag : {false, true}) {
        SCOPED_TRACE(flag);
        v->RemoveAllObjects();
        const int32_t b = Add(ievkBOX, 10, 10, 40, 30);
        SelectOnly(b);
        v->KeepObjectsAspect = flag;
        const std::string alt = flag ? "" : "0 keydown 18; ";
        Play(alt + "10 down " + B(40, 20) + "; 30 move " + B(43, 20) + "; 50 move " + B(46, 20) + "; 70 up " +
             B(46, 20) + "; 90 keyup 18");
        EXPECT_EQ(Objects(), (std::vector<KB>{{ievkBOX, 10, 10, 46, 34}}));
    }
    v->KeepObjectsAspect = false;
}

TEST_F(VectMouse, MovingRespectsTheObjectAndTheImage) {
    v->MouseInteractVect = IEVMouseOpt(mivSelectObjects);
    const int32_t h = Add(ievkBOX, 10, 10, 40, 30);
    // Not movable: the body drag changes nothing.
    v->GetObjRecord(h)->Options = IEVAllObjOptions & ~ievoMovable;
    SelectOnly(h);
    Drag(18, 10, 28, 15);  // by the top edge, away from the grips
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkBOX, 10, 10, 40, 30}}));
    // Kept inside the picture: moves inside work, a move across the edge does not.
    v->GetObjRecord(h)->Options = IEVAllObjOptions;
    v->MoveOutsideImage = false;
    Drag(18, 10, 28, 15);
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkBOX, 20, 15, 50, 35}}));
    Drag(27, 15, 19, 15);
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkBOX, 12, 15, 42, 35}}));
    v->MoveObject(h, -12, 0);
    Drag(7, 15, 2, 15);
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkBOX, 0, 15, 30, 35}}));
    v->MoveObject(h, 60, 0);  // right edge at 90: the first 7 pixels fit, the next 8 do not
    Drag(67, 15, 82, 15);
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkBOX, 67, 15, 97, 35}}));
    // A handler may hold one axis.
    v->MoveOutsideImage = true;
    v->OnObjectMoveResize = [](cl::TObject*, int32_t, int32_t Grip, int32_t&, int32_t& DY) {
        if (Grip == 3) DY = 0;
    };
    Drag(74, 15, 64, 25);
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkBOX, 57, 15, 87, 35}}));
}

TEST_F(VectMouse, AnglePointsAndLineEndsFollowTheirGrips) {
    v->MouseInteractVect = IEVMouseOpt(mivPutAngle);
    Play("0 click " + B(50, 10) + "; 600 click " + B(30, 30) + "; 1200 click " + B(50, 50));
    ASSERT_EQ(v->GetObjectsCount(), 1);
    v->MouseInteractVect = IEVMouseOpt(mivSelectObjects);
    Drag(50, 10, 60, 5);  // the first leg's end
    const TIEVObjRecord* a = v->GetObjRecord(0);
    EXPECT_EQ(a->AnglePoints[0].x, 60);
    EXPECT_EQ(a->AnglePoints[0].y, 5);
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkANGLE, 0, 5, 60, 55}}));
    Drag(30, 30, 32, 30);  // the vertex
    EXPECT_EQ(a->AnglePoints[1].x, 32);

    // Ctrl snaps a line's dragged end to the other end's horizontal.
    v->RemoveAllObjects();
    const int32_t h = Add(ievkLINE, 10, 40, 40, 40);
    SelectOnly(h);
    Play("0 keydown 17; 10 down " + B(40, 40) + "; 30 move " + B(50, 44) + "; 50 move " + B(60, 43) + "; 70 up " +
         B(60, 43) + "; 90 keyup 17");
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkLINE, 10, 40, 60, 40}}));
}

TEST_F(VectMouse, PolylinePointsMoveDeleteAndInsert) {
    v->MouseInteractVect = IEVMouseOpt(mivEditPolyline) | IEVMouseOpt(mivSelectObjects);
    const int32_t h = AddPolyline({{10, 10}, {40, 10}, {40, 40}});
    SelectOnly(h);
    int changed = 0;
    v->OnVectorialChanged = [&](cl::TObject*) { ++changed; };
    // A point dragged.
    Drag(40, 40, 50, 45);
    const TIEVObjRecord* p = v->GetObjRecord(h);
    ASSERT_EQ(p->GetPointCount(), 3);
    EXPECT_EQ(p->Points[2].x, 50);
    EXPECT_EQ(p->Points[2].y, 45);
    EXPECT_EQ(Objects(), (std::vector<KB>{{ievkPOLYLINE, 10, 10, 50, 45}}));
    EXPECT_GE(changed, 1);
    cl::Application->ProcessMessages();
    // A click on a segment inserts a point there.
    Click(25, 10);
    ASSERT_EQ(p->GetPointCount(), 4);
    EXPECT_EQ(p->Points[1].x, 25);
    EXPECT_EQ(p->Points[1].y, 10);
    cl::Application->ProcessMessages();
    // Ctrl with a click on a point deletes it, down to two points.
    Play("0 keydown 17; 10 click " + B(25, 10) + "; 30 keyup 17");
    EXPECT_EQ(p->GetPointCount(), 3);
    cl::Application->ProcessMessages();
    Play("0 keydown 17; 10 click " + B(40, 10) + "; 30 keyup 17");
    EXPECT_EQ(p->GetPointCount(), 2);
    cl::Application->ProcessMessages();
    Play("0 keydown 17; 10 click " + B(10, 10) + "; 30 keyup 17");
    EXPECT_EQ(p->GetPointCount(), 2);  // refused
    // The cursors over a point, a point with Ctrl and a segment.
    Play("0 move " + B(11, 10));
    EXPECT_EQ(v->GetShownCursor(), 1790);
    Play("0 keydown 17; 10 move " + B(10, 11) + "; 30 keyup 17");
    EXPECT_EQ(v->GetShownCursor(), 1792);
    Play("0 move " + B(30, 27));
    EXPECT_EQ(v->GetShownCursor(), 1791);
}

TEST_F(VectMouse, ClicksAndTheRubberBandSelect) {
    v->MouseInteractVect = IEVMouseOpt(mivSelectObjects);
    v->MaxSelectionDistance = 1;
    Add(ievkBOX, 5, 5, 35, 35);
    Add(ievkBOX, 50, 5, 80, 35);
    Add(ievkBOX, 5, 45, 35, 75);
    std::vector<int32_t> userSelected, clicked;
    v->OnUserSelectObject = [&](cl::TObject*, int32_t h) { userSelected.push_back(h); };
    v->OnObjectClick = [&](cl::TObject*, int32_t h) { clicked.push_back(h); };
    // Clicks on the edges, away from the grips.
    Click(12, 5);
    EXPECT_EQ(Selection(), std::vector<int32_t>{0});
    Play("0 keydown 16; 10 click " + B(57, 5) + "; 30 keyup 16");
    EXPECT_EQ(Selection(), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(userSelected, (std::vector<int32_t>{0, 1}));
    // A click on one of the selected objects keeps it alone (decided at the release).
    Click(57, 5);
    EXPECT_EQ(Selection(), std::vector<int32_t>{1});
    // Shift takes a selected object out.
    Play("0 keydown 16; 10 click " + B(57, 5) + "; 30 keyup 16");
    EXPECT_TRUE(Selection().empty());
    EXPECT_EQ(clicked, (std::vector<int32_t>{0, 1, 1, 1}));
    // The rubber band selects what lies wholly inside it.
    Drag(1, 1, 90, 40);
    EXPECT_EQ(Selection(), (std::vector<int32_t>{0, 1}));
    Drag(1, 42, 40, 78);
    EXPECT_EQ(Selection(), std::vector<int32_t>{2});
    Play("0 keydown 16; 10 down " + B(45, 2) + "; 30 move " + B(60, 20) + "; 50 move " + B(85, 38) + "; 70 up " +
         B(85, 38) + "; 90 keyup 16");
    EXPECT_EQ(Selection(), (std::vector<int32_t>{2, 1}));
    EXPECT_EQ(Objects()[0], (KB{ievkBOX, 5, 5, 35, 35}));  // nothing moved
}

TEST_F(VectMouse, CursorsByGrip) {
    v->MouseInteractVect = IEVMouseOpt(mivSelectObjects);
    SelectOnly(Add(ievkBOX, 10, 10, 40, 30));
    struct Case {
        int X, Y;
        cl::TCursor Want;
    };
    for (Case c : {Case{10, 10, 1786},
                   {40, 30, 1786},
                   {40, 10, 1788},
                   {10, 30, 1788},
                   {10, 20, 1789},
                   {40, 20, 1789},
                   {25, 10, 1787},
                   {25, 30, 1787},
                   {18, 10, 1790},
                   {70, 60, IEDefaultViewCursor}}) {
        Play("0 move " + B(c.X, c.Y));
        EXPECT_EQ(v->GetShownCursor(), c.Want) << c.X << "," << c.Y;
    }
}

// The rubber bands on the headless screen: the inverting pen turns the white picture black
// and drawing again gives it back; any other pen draws in its colour and the back buffer
// repaints what it covered.
TEST_F(VectMouse, RubberBandsShowWhileDraggingAndGoAway) {
    auto px = [&](int X, int Y) { return win::test::ScreenComposite().At(SX(X), SY(Y)) & 0xFFFFFF; };
    auto dark = [&](int X, int Y) {
        const uint32_t p = px(X, Y);
        return (p >> 16) < 0x60 && ((p >> 8) & 255) < 0x60 && (p & 255) < 0x60;
    };
    v->MouseInteractVect = IEVMouseOpt(mivPutBox);
    Play("0 down " + B(10, 10) + "; 20 move " + B(40, 30));
    EXPECT_TRUE(v->GetDragging());
    EXPECT_EQ(px(25, 10), 0u);
    EXPECT_EQ(px(40, 20), 0u);
    EXPECT_EQ(px(10, 10), 0u);  // the corner is inverted once
    EXPECT_EQ(px(25, 20), 0xFFFFFFu);
    Play("0 move " + B(30, 40));
    EXPECT_EQ(px(35, 10), 0xFFFFFFu);  // the first band went
    EXPECT_EQ(px(40, 20), 0xFFFFFFu);
    EXPECT_EQ(px(20, 40), 0u);
    EXPECT_EQ(px(10, 10), 0u);
    Play("0 up " + B(30, 40));
    EXPECT_FALSE(v->GetDragging());
    EXPECT_EQ(px(35, 10), 0xFFFFFFu);
    EXPECT_EQ(px(10, 50), 0xFFFFFFu);

    // A pen that does not invert: drawn red, taken away from the back buffer.
    v->RemoveAllObjects();
    v->GetInsertionPen()->SetMode(cl::pmCopy);
    v->GetInsertionPen()->SetColor(cl::clRed);
    v->MouseInteractVect = IEVMouseOpt(mivPutEllipse);
    Play("0 down " + B(10, 10) + "; 20 move " + B(50, 50));
    EXPECT_EQ(px(30, 10), 0xFF0000u);  // the top of the ellipse
    Play("0 move " + B(30, 30));
    EXPECT_EQ(px(30, 10), 0xFFFFFFu);
    EXPECT_EQ(px(20, 10), 0xFF0000u);
    Play("0 up " + B(30, 30));
    v->GetInsertionPen()->SetMode(cl::pmNot);

    // A ruler and an angle are drawn over a fresh repaint at every move.
    v->RemoveAllObjects();
    v->MouseInteractVect = IEVMouseOpt(mivPutRuler);
    Play("0 down " + B(10, 40) + "; 20 move " + B(60, 40));
    EXPECT_TRUE(dark(35, 40));
    Play("0 move " + B(10, 70));
    EXPECT_FALSE(dark(35, 40));
    EXPECT_TRUE(dark(10, 55));
    Play("0 up " + B(10, 70));
    v->RemoveAllObjects();
    v->MouseInteractVect = IEVMouseOpt(mivPutAngle);
    Play("0 click " + B(50, 10) + "; 20 move " + B(30, 30));
    EXPECT_TRUE(dark(40, 20));
    Play("0 move " + B(70, 30));
    EXPECT_FALSE(dark(40, 20));
    EXPECT_TRUE(dark(60, 20));
}

// An extension object that counts the mouse it receives.
struct TCountingExt : public TIEVExtObject {
    std::unique_ptr<TIEVExtObject> Clone() const override { return std::make_unique<TCountingExt>(); }
    void Draw(cl::TBitmap*, int32_t, int32_t, int32_t, int32_t, bool, double, double) override {}
    void MouseDown(cl::TMouseButton, cl::TShiftState, int32_t, int32_t) override { ++Downs; }
    void MouseUp(cl::TMouseButton, cl::TShiftState, int32_t, int32_t) override { ++Ups; }
    void MouseMove(cl::TShiftState, int32_t, int32_t) override { ++Moves; }
    void MouseEnter() override { ++Enters; }
    void MouseLeave() override { ++Leaves; }
    int Downs = 0, Ups = 0, Moves = 0, Enters = 0, Leaves = 0;
};

TEST_F(VectMouse, ExtensionObjectsReceiveTheirMouse) {
    v->MouseInteractVect = IEVMouseOpt(mivSelectObjects);
    TIEVObjRecord r;
    r.Kind = ievkEXTENDED;
    r.X1 = 20, r.Y1 = 20, r.X2 = 50, r.Y2 = 40;
    r.ExtObject.Reset(std::make_unique<TCountingExt>());
    const int32_t h = v->AddObjectCopy(r);
    auto* ext = static_cast<TCountingExt*>(v->GetObjRecord(h)->ExtObject.Get());
    v->Update();
    Play("0 move " + B(5, 5) + "; 20 move " + B(30, 30) + "; 40 move " + B(32, 30));
    EXPECT_EQ(ext->Enters, 1);
    EXPECT_EQ(ext->Moves, 2);
    Play("0 move " + B(80, 70));
    EXPECT_EQ(ext->Leaves, 1);
    Click(35, 30);
    EXPECT_EQ(ext->Downs, 1);
    EXPECT_EQ(ext->Ups, 1);
}

TEST_F(VectMouse, DragLengthMeasuresAndCreatesNothing) {
    v->MouseInteractVect = IEVMouseOpt(mivDragLength);
    v->SetObjAutoUndo(true);
    double measured = -1;
    v->OnDragLenEnd = [&](cl::TObject*, double Value) { measured = Value; };
    Drag(10, 10, 40, 50);
    EXPECT_EQ(v->GetObjectsCount(), 0);
    EXPECT_NEAR(measured, 51.4, 0.05);  // (31, 41) pixels, the end pixel included
    EXPECT_FALSE(v->GetMeasureHintActive());
    EXPECT_EQ(v->GetObjUndoCount(), 0);
}

TEST_F(VectMouse, OverAndClickEventsNameTheObject) {
    v->MouseInteractVect = IEVMouseOpt(mivSelectObjects);
    Add(ievkBOX, 10, 10, 30, 30);
    Add(ievkELLIPSE, 50, 10, 70, 30);
    std::vector<int32_t> over;
    v->OnObjectOver = [&](cl::TObject*, int32_t h) { over.push_back(h); };
    Play("0 move " + B(10, 20) + "; 20 move " + B(60, 10));
    ASSERT_GE(over.size(), 2u);
    EXPECT_EQ(std::vector<int32_t>(over.end() - 2, over.end()), (std::vector<int32_t>{0, 1}));
}

// Each step of a session and the objects after it; undone at the end by the separated and by
// the shared undo.
TEST_F(VectMouse, ASessionStepByStepWithUndo) {
    for (TIEVUndoMode mode : {ieumSeparated, ieumShared}) {
        SCOPED_TRACE(int(mode));
        v->RemoveAllObjects();
        v->SetObjUndoMode(mode);
        v->SetObjUndoLimit(10);
        v->SetObjAutoUndo(true);
        v->MaxSelectionDistance = 3;
        v->ClearObjUndo();
        v->GetProc()->ClearAllUndo();
        v->GetProc()->UndoLimit = 10;
        auto undoCount = [&] { return mode == ieumSeparated ? v->GetObjUndoCount() : v->GetProc()->GetUndoCount(); };
        struct Step {
            const char* Name;
            TIEVMouseInteract Mode;
            std::string Script;
            std::vector<KB> Want;
            int UndoCount;
        };
        const TIEVMouseInteract sel = IEVMouseOpt(mivSelectObjects);
        const std::vector<Step> steps = {
            {"box",
             IEVMouseOpt(mivPutBox),
             "0 down " + B(10, 10) + "; 20 move " + B(40, 30) + "; 40 up " + B(40, 30),
             {{ievkBOX, 10, 10, 40, 30}},
             1},
            {"ellipse",
             IEVMouseOpt(mivPutEllipse),
             "0 down " + B(50, 10) + "; 20 move " + B(70, 30) + "; 40 up " + B(70, 30),
             {{ievkBOX, 10, 10, 40, 30}, {ievkELLIPSE, 50, 10, 70, 30}},
             2},
            {"click on empty space",
             sel,
             "0 click " + B(90, 75),
             {{ievkBOX, 10, 10, 40, 30}, {ievkELLIPSE, 50, 10, 70, 30}},
             2},
            {"move the box",
             sel,
             "0 down " + B(18, 10) + "; 20 move " + B(20, 12) + "; 40 move " + B(23, 15) + "; 60 up " + B(23, 15),
             {{ievkBOX, 15, 15, 45, 35}, {ievkELLIPSE, 50, 10, 70, 30}},
             3},
            {"resize it",
             sel,
             "0 down " + B(45, 35) + "; 20 move " + B(50, 38) + "; 40 move " + B(55, 40) + "; 60 up " + B(55, 40),
             {{ievkBOX, 15, 15, 55, 40}, {ievkELLIPSE, 50, 10, 70, 30}},
             4},
            {"select both by rectangle",
             sel,
             "0 down " + B(2, 2) + "; 20 move " + B(50, 30) + "; 40 move " + B(90, 50) + "; 60 up " + B(90, 50),
             {{ievkBOX, 15, 15, 55, 40}, {ievkELLIPSE, 50, 10, 70, 30}},
             4},
            {"move both",
             sel,
             "0 down " + B(24, 15) + "; 20 move " + B(22, 15) + "; 40 move " + B(19, 16) + "; 60 up " + B(19, 16),
             {{ievkBOX, 10, 16, 50, 41}, {ievkELLIPSE, 45, 11, 65, 31}},
             5},
        };
        std::vector<std::vector<KB>> history;
        for (const Step& s : steps) {
            SCOPED_TRACE(s.Name);
            history.push_back(Objects());
            v->MouseInteractVect = s.Mode;
            Play(s.Script);
            EXPECT_EQ(Objects(), s.Want);
            EXPECT_EQ(undoCount(), s.UndoCount);
        }
        // Undoing walks the history back; the rubber band took no snapshot.
        history.erase(history.begin() + 5);
        history.erase(history.begin() + 2);
        for (size_t i = history.size(); i-- > 0;) {
            SCOPED_TRACE(i);
            if (mode == ieumSeparated)
                ASSERT_TRUE(v->UndoObjects());
            else
                v->GetProc()->Undo(false), v->GetProc()->ClearUndoAt(0);  // the entry stays until cleared
            EXPECT_EQ(Objects(), history[i]);
        }
        EXPECT_EQ(undoCount(), 0);
    }
}

}  // namespace
}  // namespace ie
