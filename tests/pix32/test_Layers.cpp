// Layers: the collection's list notifications and update counting, the notification chain of a
// layer change, order changes, and mouse routing with capture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/SysUtils.h"
#include "pix32/Pix32_Layers.h"

namespace pix32 {
namespace {

// A layer that passes its hit test inside a rectangle and records its mouse input.
class BoxLayer : public TCustomLayer {
public:
    explicit BoxLayer(TLayerCollection* c) : TCustomLayer(c) {}
    TRect Box{0, 0, 0, 0};
    std::vector<std::string>* Log = nullptr;
    std::string Name;
    void Record(const std::string& what) {
        if (Log) Log->push_back(Name + " " + what);
    }

protected:
    bool DoHitTest(int32_t X, int32_t Y) override {
        return X >= Box.left && X < Box.right && Y >= Box.top && Y < Box.bottom;
    }
    void Notification(TCustomLayer*) override { Record("notified"); }

public:
    void MouseDown(cl::TMouseButton b, cl::TShiftState s, int32_t x, int32_t y) override {
        Record("down " + std::to_string(b));
        TCustomLayer::MouseDown(b, s, x, y);
    }
    void MouseMove(cl::TShiftState s, int32_t x, int32_t y) override {
        Record("move");
        TCustomLayer::MouseMove(s, x, y);
    }
    void MouseUp(cl::TMouseButton b, cl::TShiftState s, int32_t x, int32_t y) override {
        Record("up " + std::to_string(b));
        TCustomLayer::MouseUp(b, s, x, y);
    }
};

class LayersTest : public ::testing::Test {
protected:
    LayersTest() : layers(nullptr) {
        layers.OnListNotify = [this](TLayerCollection*, TLayerListAction a, TCustomLayer* l, int32_t i) {
            static const char* names[] = {"added", "inserted", "deleted", "cleared"};
            log.push_back(std::string(names[a]) + " " + std::to_string(i) + (l ? "" : " nil"));
        };
        layers.OnChange = [this](cl::TObject*) { log.push_back("change"); };
        layers.OnChanging = [this](cl::TObject*) { log.push_back("changing"); };
        layers.OnLayerUpdated = [this](cl::TObject*, TCustomLayer*) { log.push_back("layer updated"); };
    }

    BoxLayer* AddBox(const std::string& name, TRect box, uint32_t options = loVisible | loMouseEvents) {
        auto* l = layers.Add<BoxLayer>();
        l->Name = name;
        l->Box = box;
        l->Log = &log;
        l->SetLayerOptions(options);
        return l;
    }

    std::vector<std::string> log;  // outlives the collection, whose clearing still reports
    TLayerCollection layers;
};

TEST_F(LayersTest, AddReportsTheLayerAndClearReportsOnce) {
    auto* a = layers.Add<TCustomLayer>();
    EXPECT_EQ(1, layers.Count());
    EXPECT_EQ(a, layers.Items(0));
    EXPECT_EQ(loVisible, a->LayerOptions());
    EXPECT_EQ((std::vector<std::string>{"changing", "added 0", "change", "added 0"}), log);
    layers.Add<TCustomLayer>();
    layers.Add<TCustomLayer>();
    log.clear();
    int destroyed = 0;
    for (int i = 0; i < 3; ++i) layers.Items(i)->OnDestroy = [&](cl::TObject*) { ++destroyed; };
    layers.Clear();
    EXPECT_EQ(3, destroyed);
    EXPECT_EQ(0, layers.Count());
    EXPECT_EQ((std::vector<std::string>{"changing", "deleted 2", "deleted 1", "deleted 0", "cleared 0 nil", "change"}),
              log);
    EXPECT_THROW(layers.Items(0), cl::EListError);
}

TEST_F(LayersTest, UnpairedEndUpdateFails) {
    layers.BeginUpdate();
    layers.EndUpdate();
    EXPECT_THROW(layers.EndUpdate(), cl::EAssertionFailed);
    EXPECT_EQ(-1, layers.UpdateCount());
}

TEST_F(LayersTest, ChangeOfALayerRunsTheNotificationChain) {
    auto* l = layers.Add<TCustomLayer>();
    int own = 0;
    l->OnChange = [&](cl::TObject*) { ++own; };
    log.clear();
    l->Changed();
    EXPECT_EQ((std::vector<std::string>{"layer updated", "change", "change"}), log);
    EXPECT_EQ(1, own);

    // Invisible: no update and no repaint, but a GDI-overlay layer asks for a GDI update.
    int gdi = 0;
    layers.OnGDIUpdate = [&](cl::TObject*) { ++gdi; };
    l->SetLayerOptions(0);
    log.clear();
    l->Changed();
    EXPECT_TRUE(log.empty());
    l->SetLayerOptions(loGdiOverlay);
    EXPECT_EQ(1, gdi);
    log.clear();
    l->SetLayerOptions(loForceUpdate);  // reported to the collection although invisible
    EXPECT_EQ((std::vector<std::string>{"layer updated", "change"}), log);

    // loNoUpdate and the layer's own update count silence it.
    l->SetLayerOptions(loVisible | loNoUpdate);
    log.clear();
    l->Changed();
    EXPECT_TRUE(log.empty());
    l->SetLayerOptions(loVisible);
    l->BeginUpdate();
    log.clear();
    l->Changed();
    EXPECT_TRUE(log.empty());
    l->EndUpdate();

    // A layer without collection reports nothing.
    TCustomLayer loose(nullptr);
    loose.OnChange = [&](cl::TObject*) { ++own; };
    const int before = own;
    loose.Changed();
    EXPECT_EQ(before, own);
}

TEST_F(LayersTest, SetIndexClampsAndMoves) {
    std::vector<TCustomLayer*> l;
    for (int i = 0; i < 5; ++i) l.push_back(layers.Add<TCustomLayer>());
    l[2]->SetIndex(-5);
    EXPECT_EQ(0, l[2]->Index());
    EXPECT_EQ(l[2], layers.Items(0));
    EXPECT_EQ(1, l[0]->Index());
    l[2]->SetIndex(99);
    EXPECT_EQ(4, l[2]->Index());
    EXPECT_EQ(l[4], layers.Items(3));
    TCustomLayer loose(nullptr);
    EXPECT_EQ(-1, loose.Index());
    loose.SetIndex(3);
    EXPECT_EQ(-1, loose.Index());
}

TEST_F(LayersTest, LayerMovesBetweenCollections) {
    TLayerCollection other(nullptr);
    auto* l = layers.Add<TCustomLayer>();
    l->SetLayerCollection(&other);
    EXPECT_EQ(0, layers.Count());
    EXPECT_EQ(1, other.Count());
    EXPECT_EQ(&other, l->LayerCollection());
    delete l;
    EXPECT_EQ(0, other.Count());
}

TEST_F(LayersTest, DestroyedLayerTellsTheLayersThatAsked) {
    auto* a = AddBox("a", {0, 0, 1, 1});
    auto* b = AddBox("b", {0, 0, 1, 1});
    auto* c = AddBox("c", {0, 0, 1, 1});
    a->AddNotification(b);
    a->AddNotification(c);
    log.clear();
    delete a;
    EXPECT_EQ("c notified", log.at(0));
    EXPECT_EQ("b notified", log.at(1));
}

TEST_F(LayersTest, PressOverAnOverlapGoesToTheTopmostLayer) {
    auto* lower = AddBox("lower", {0, 0, 50, 50});
    auto* upper = AddBox("upper", {25, 25, 75, 75});
    log.clear();
    EXPECT_EQ(upper, layers.MouseDown(cl::mbLeft, 0, 30, 30));
    EXPECT_EQ(upper, layers.MouseListener());
    EXPECT_EQ(lsMouseLeft, upper->LayerStates());
    // While captured, input goes to the listener wherever the mouse is.
    EXPECT_EQ(upper, layers.MouseMove(0, 5, 5));
    EXPECT_EQ(upper, layers.MouseUp(cl::mbLeft, 0, 5, 5));
    EXPECT_EQ(nullptr, layers.MouseListener());
    EXPECT_EQ(0u, upper->LayerStates());
    EXPECT_EQ((std::vector<std::string>{"upper down 0", "upper move", "upper up 0"}), log);
    // Without capture the layer under the mouse gets the move.
    EXPECT_EQ(lower, layers.MouseMove(0, 5, 5));
    EXPECT_EQ(nullptr, layers.MouseMove(0, 90, 90));
    // A layer without mouse events is passed over.
    upper->SetLayerOptions(loVisible);
    EXPECT_EQ(lower, layers.LayerAt(30, 30, loMouseEvents));
    EXPECT_EQ(upper, layers.LayerAt(30, 30));
}

TEST_F(LayersTest, ReleasingTheLastHeldButtonEndsTheCapture) {
    auto* l = AddBox("l", {0, 0, 50, 50});
    layers.MouseDown(cl::mbLeft, 0, 10, 10);
    layers.MouseDown(cl::mbRight, 0, 60, 60);  // outside: still the listener's
    EXPECT_EQ(lsMouseLeft | lsMouseRight, l->LayerStates());
    layers.MouseUp(cl::mbLeft, 0, 60, 60);
    EXPECT_EQ(l, layers.MouseListener());
    EXPECT_EQ(lsMouseRight, l->LayerStates());
    layers.MouseUp(cl::mbRight, 0, 60, 60);
    EXPECT_EQ(nullptr, layers.MouseListener());
}

TEST_F(LayersTest, NoCaptureLayerIsReturnedButGetsNoPress) {
    auto* l = AddBox("l", {0, 0, 50, 50}, loVisible | loMouseEvents | loNoCapture);
    log.clear();
    EXPECT_EQ(l, layers.MouseDown(cl::mbLeft, 0, 10, 10));
    EXPECT_EQ(nullptr, layers.MouseListener());
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(0u, l->LayerStates());
}

TEST_F(LayersTest, ListenerLeavingTheCollectionEndsTheCapture) {
    auto* l = AddBox("l", {0, 0, 50, 50});
    layers.MouseDown(cl::mbLeft, 0, 10, 10);
    EXPECT_EQ(l, layers.MouseListener());
    delete l;
    EXPECT_EQ(nullptr, layers.MouseListener());
    EXPECT_EQ(nullptr, layers.MouseUp(cl::mbLeft, 0, 10, 10));
}

TEST_F(LayersTest, HitTestEventMayOverrule) {
    auto* l = AddBox("l", {0, 0, 50, 50});
    l->OnHitTest = [](cl::TObject*, int32_t X, int32_t, bool& Passed) { Passed = Passed && X < 20; };
    EXPECT_TRUE(l->HitTest(10, 10));
    EXPECT_FALSE(l->HitTest(30, 10));
    EXPECT_EQ(nullptr, layers.LayerAt(30, 10, loMouseEvents));
}

TEST_F(LayersTest, AssignCopiesTheLayers) {
    AddBox("a", {0, 0, 1, 1}, loVisible | loMouseEvents);
    AddBox("b", {0, 0, 1, 1}, loGdiOverlay);
    TLayerCollection copy(nullptr);
    copy.Add<TCustomLayer>();
    copy.Assign(&layers);
    ASSERT_EQ(2, copy.Count());
    EXPECT_NE(nullptr, dynamic_cast<BoxLayer*>(copy.Items(0)));
    EXPECT_EQ(loVisible | loMouseEvents, copy.Items(0)->LayerOptions());
    EXPECT_EQ(loGdiOverlay, copy.Items(1)->LayerOptions());
}

TEST_F(LayersTest, ViewportDefaultsAndHandlers) {
    float sx = 5, sy = 5;
    layers.GetViewportScale(sx, sy);
    EXPECT_EQ(1.0f, sx);
    EXPECT_EQ(1.0f, sy);
    layers.GetViewportShift(sx, sy);
    EXPECT_EQ(0.0f, sx);
    layers.OnGetViewportScale = [](cl::TObject*, float& x, float& y) {
        x = 2;
        y = 3;
    };
    layers.GetViewportScale(sx, sy);
    EXPECT_EQ(2.0f, sx);
    EXPECT_EQ(3.0f, sy);
}

}  // namespace
}  // namespace pix32
