// The effect component, directions, settings strings, the list and the class registry.
#include <gtest/gtest.h>

#include "classlib/TypInfo.h"
#include "te_test_device.h"
#include "transitions/teCore.h"
#include "transitions/teTimed.h"

using namespace te;
using namespace tetest;

namespace {

class CoreTest : public VirtualClockTest {};

// An effect that publishes no Direction.
class TPlainEffect : public TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TPlainEffect, TTimedTransitionEffect)
public:
    explicit TPlainEffect(cl::TComponent* o) : TTimedTransitionEffect(o) {}
    void ExecuteFrame(TTETransitionData*, int32_t, int32_t, int32_t) override {}
};

}  // namespace

TEST_F(CoreTest, DirectionNamesByValueAndBack) {
    const char* names[] = {
        "",   "Right", "Left",  "Down", "Up", "Down and right", "Down and left", "Up and right", "Up and left",
        "In", "Out",   "Random"};
    for (int v = 0; v <= 11; ++v) {
        EXPECT_EQ(DirectionName(static_cast<uint8_t>(v)), names[v]);
        EXPECT_EQ(DirectionName(static_cast<uint8_t>(v | 0x80)), names[v]) << "bit 7 is ignored";
        if (v) {
            EXPECT_EQ(DirectionFromName(names[v]), v);
        }
    }
    EXPECT_EQ(DirectionName(12), "");
    EXPECT_EQ(DirectionName(0x7F), "");
    EXPECT_EQ(DirectionFromName("right"), tedNone) << "letter case counts";
    EXPECT_EQ(DirectionFromName("Sideways"), tedNone);
}

TEST_F(CoreTest, ReversedDirectionSwapsPairsAndKeepsNoneAndRandom) {
    struct Case {
        TTEEffectDirection d, r;
    } cases[] = {{tedNone, tedNone},        {tedRight, tedLeft},       {tedLeft, tedRight},
                 {tedDown, tedUp},          {tedUp, tedDown},          {tedDownRight, tedUpLeft},
                 {tedUpLeft, tedDownRight}, {tedDownLeft, tedUpRight}, {tedUpRight, tedDownLeft},
                 {tedIn, tedOut},           {tedOut, tedIn},           {tedRandom, tedRandom}};
    TTestEffect e(nullptr);
    e.AllowedDirections = 0x0FFF;
    for (const Case& c : cases) {
        e.SetDirection(c.d);
        EXPECT_EQ(e.ReversedDirection(), c.r) << int(c.d);
        e.Reversed = true;
        EXPECT_EQ(e.EffectiveDirection(), c.r);
        e.Reversed = false;
        EXPECT_EQ(e.EffectiveDirection(), c.d);
    }
}

TEST_F(CoreTest, TheDirectionSetterAcceptsOnlyAllowedValues) {
    TTestEffect e(nullptr);  // allows None, Right, Left, Down, Random
    e.SetDirection(tedLeft);
    EXPECT_EQ(e.GetDirection(), tedLeft);
    e.SetDirection(tedUp);
    EXPECT_EQ(e.GetDirection(), tedLeft);
    e.AllowedDirections = DirectionBit(tedRight);
    e.SetDirection(tedNone);
    EXPECT_EQ(e.GetDirection(), tedLeft) << "tedNone refused when not allowed";
    e.AllowedDirections = 0xFFFF;
    e.SetDirection(static_cast<TTEEffectDirection>(16));
    EXPECT_EQ(e.GetDirection(), tedLeft);
}

TEST_F(CoreTest, SettingsStringsRoundTrip) {
    TTestEffect a(nullptr);
    a.SetDirection(tedDown);
    a.Milliseconds = 1500;
    cl::TStringList s;
    a.SaveToStrings(&s, false, "E1.");
    EXPECT_EQ(s.Values("E1.Transition"), "TTestEffect");
    EXPECT_EQ(s.Values("E1.Direction"), "Down");
    EXPECT_EQ(s.Values("E1.Milliseconds"), "1500");
    TTestEffect b(nullptr);
    b.LoadFromStrings(&s, "E1.");
    EXPECT_EQ(b.GetDirection(), tedDown);
    EXPECT_EQ(b.Milliseconds, 1500);
    // Another prefix in the same list stays apart.
    TTestEffect c(nullptr);
    c.SetDirection(tedLeft);
    c.SaveToStrings(&s, false, "E2.");
    b.LoadFromStrings(&s, "E2.");
    EXPECT_EQ(b.GetDirection(), tedLeft);
    EXPECT_EQ(b.Milliseconds, 0);
}

TEST_F(CoreTest, OmitDefaultsWritesOnlyWhatDiffers) {
    TTestEffect e(nullptr);  // published Direction default: Right
    cl::TStringList s;
    e.SaveToStrings(&s, true, "");
    EXPECT_EQ(s.GetText(), "Transition=TTestEffect\r\n");
    e.SetDirection(tedLeft);
    e.Milliseconds = 10;
    cl::TStringList t;
    e.SaveToStrings(&t, true, "");
    EXPECT_EQ(t.Values("Direction"), "Left");
    EXPECT_EQ(t.Values("Milliseconds"), "10");
    cl::TStringList u;
    e.SetDirection(tedRight);
    e.Milliseconds = 0;
    e.SaveToStrings(&u, false, "");
    EXPECT_EQ(u.GetCount(), 3);
}

TEST_F(CoreTest, AClassWithoutPublishedDirectionWritesNoDirection) {
    TPlainEffect e(nullptr);
    cl::TStringList s;
    e.SaveToStrings(&s, false, "");
    EXPECT_EQ(s.IndexOfName("Direction"), -1);
    EXPECT_EQ(s.Values("Milliseconds"), "0");
}

TEST_F(CoreTest, LoadingKeepsFieldsForEmptyValuesAndRejectsBadNumbers) {
    TTestEffect e(nullptr);
    e.SetDirection(tedDown);
    e.Milliseconds = 700;
    cl::TStringList s;
    s.SetText("Direction=\r\nMilliseconds=\r\n");
    e.LoadFromStrings(&s, "");
    EXPECT_EQ(e.GetDirection(), tedDown);
    EXPECT_EQ(e.Milliseconds, 700);
    s.SetText("Direction=Sideways\r\n");
    e.LoadFromStrings(&s, "");
    EXPECT_EQ(e.GetDirection(), tedNone) << "an unknown name gives tedNone, which this class allows";
    s.SetText("Milliseconds=fast\r\n");
    EXPECT_THROW(e.LoadFromStrings(&s, ""), cl::EConvertError);
}

TEST_F(CoreTest, PublishedPropertiesAndVersion) {
    TTestEffect e(nullptr);
    for (const char* name : {"AbortOnClick", "AbortOnEscape", "Enabled", "FlickerFreeWhenDisabled", "Version",
                             "OnAbortQuery", "OnAfterTransition", "OnBeforeTransition", "OnEndTransition",
                             "OnStartTransition", "Milliseconds", "Direction"})
        EXPECT_NE(cl::GetPropInfo(&e, name), nullptr) << name;
    EXPECT_EQ(cl::GetPropInfo(&e, "Direction")->Default, tedRight);
    EXPECT_EQ(cl::GetPropInfo(TTimedTransitionEffect::StaticClass(), "Direction"), nullptr);
    EXPECT_EQ(cl::GetStrProp(&e, "Version"), "Version 4.3 beta 2");
    cl::SetStrProp(&e, "Version", "something else");
    EXPECT_EQ(cl::GetStrProp(&e, "Version"), "Version 4.3 beta 2");
    cl::SetOrdProp(&e, "Enabled", 0);
    EXPECT_FALSE(e.GetEnabled());
}

TEST_F(CoreTest, AssignCopiesTheSettings) {
    TTestEffect a(nullptr);
    a.Milliseconds = 321;
    a.AbortCheckInterval = 50;
    a.GetPass2Options()->DistributedTime = true;
    a.GetPass2Options()->SolidColor = cl::clRed;
    a.PassSetting = tePaletteDependent;
    a.SetEnabled(false);
    a.FlickerFreeWhenDisabled = true;
    a.SetDirection(tedDown);
    a.Reversed = true;
    a.AbortOnClick = true;
    a.AbortOnEscape = true;
    a.RectInClientCoords = false;
    TPlainEffect b(nullptr);  // allows only tedNone
    b.Assign(&a);
    EXPECT_EQ(b.Milliseconds, 321);
    EXPECT_EQ(b.AbortCheckInterval, 50);
    EXPECT_TRUE(b.GetPass2Options()->DistributedTime);
    EXPECT_EQ(b.GetPass2Options()->SolidColor, cl::clRed);
    EXPECT_NE(b.GetPass2Options(), a.GetPass2Options());
    EXPECT_EQ(b.PassSetting, tePaletteDependent);
    EXPECT_FALSE(b.GetEnabled());
    EXPECT_TRUE(b.FlickerFreeWhenDisabled);
    EXPECT_EQ(b.GetDirection(), tedNone) << "a direction the class does not allow is not copied";
    EXPECT_TRUE(b.Reversed);
    EXPECT_TRUE(b.AbortOnClick);
    EXPECT_TRUE(b.AbortOnEscape);
    EXPECT_FALSE(b.RectInClientCoords);
    cl::TStringList notAnEffect;
    EXPECT_THROW(b.Assign(&notAnEffect), cl::EConvertError);
}

TEST_F(CoreTest, PassCountFollowsTheSettingTheFlagsAndTheDisplay) {
    struct Case {
        TTEPassSettingType setting;
        uint16_t info;
        bool palette;
        bool deviceTwoPasses;
        int expected;
        // clang-format off
    } cases[] = {
        {teOnePass, tetiTwoPassesCapable, false, true, 1},          {teTwoPasses, tetiTwoPassesCapable, false, true, 2},
        {teTwoPasses, 0, false, true, 1},                           {teTwoPasses, tetiTwoPassesCapable, false, false, 1},
        {tePaletteDependent, tetiTwoPassesCapable, true, true, 2},  {tePaletteDependent, tetiTwoPassesCapable, false, true, 1},
    };
    // clang-format on
    for (const Case& c : cases) {
        TTestEffect e(nullptr);
        e.PassSetting = c.setting;
        e.Info = c.info;
        TTestDevice d;
        d.PaletteDisplay = c.palette;
        d.TwoPasses = c.deviceTwoPasses;
        EXPECT_EQ(e.GetPassCount(&d), c.expected) << int(c.setting) << " " << c.info;
    }
}

TEST_F(CoreTest, TheListOwnsItsEffectsAndEffectsLeaveItWhenFreed) {
    cl::TComponent owner(nullptr);
    auto* list = new TTransitionList(&owner);
    auto* a = new TTestEffect(&owner);
    auto* b = new TTestEffect(&owner);
    auto* c = new TPlainEffect(&owner);
    a->SetTransitionList(list);
    b->SetTransitionList(list);
    c->SetParentComponent(list);
    ASSERT_EQ(list->GetTransitionCount(), 3);
    EXPECT_EQ(c->GetTransitionList(), list);
    EXPECT_TRUE(c->HasParent());
    EXPECT_EQ(c->GetParentComponent(), list);
    std::vector<cl::TComponent*> children;
    list->GetChildren([&](cl::TComponent* x) { children.push_back(x); }, nullptr);
    EXPECT_EQ(children, (std::vector<cl::TComponent*>{a, b, c}));

    delete b;
    ASSERT_EQ(list->GetTransitionCount(), 2);
    EXPECT_EQ(list->GetTransition(1), c) << "later effects move up";
    EXPECT_THROW(list->GetTransition(2), cl::EListError);
    EXPECT_THROW(list->GetTransition(-1), cl::EListError);

    // Moving to another list detaches from the first.
    auto* other = new TTransitionList(&owner);
    a->SetTransitionList(other);
    EXPECT_EQ(list->GetTransitionCount(), 1);
    EXPECT_EQ(other->GetTransition(0), a);

    // A list frees its effects; the owner does not free them again.
    int before = owner.GetComponentCount();
    delete list;
    EXPECT_EQ(owner.GetComponentCount(), before - 2);
    EXPECT_EQ(other->GetTransitionCount(), 1);
}

TEST_F(CoreTest, AssigningAListCopiesEachEffect) {
    cl::TComponent owner(nullptr);
    TTransitionList src(nullptr);
    auto* a = new TTestEffect(&owner);
    a->Milliseconds = 77;
    a->SetTransitionList(&src);
    auto* b = new TFlickerFreeTransition(&owner);
    b->SetTransitionList(&src);
    TTransitionList dst(nullptr);
    auto* stale = new TPlainEffect(&owner);
    stale->SetTransitionList(&dst);
    dst.Assign(&src);
    ASSERT_EQ(dst.GetTransitionCount(), 2);
    EXPECT_STREQ(dst.GetTransition(0)->ClassName(), "TTestEffect");
    EXPECT_EQ(dst.GetTransition(0)->Milliseconds, 77);
    EXPECT_NE(dst.GetTransition(0), a);
    EXPECT_EQ(dst.GetTransition(0)->GetOwner(), &dst);
    EXPECT_STREQ(dst.GetTransition(1)->ClassName(), "TFlickerFreeTransition");
    dst.Clear();
    EXPECT_EQ(dst.GetTransitionCount(), 0);
    EXPECT_EQ(dst.GetComponentCount(), 0);
}

TEST_F(CoreTest, RegisteredClassesAreFoundByNameOnce) {
    RegisterTransitionClass(TTestEffect::StaticClass());
    RegisterTransitionClass(TTestEffect::StaticClass());
    int n = 0;
    for (const cl::TClass* c : TransitionClasses()) n += c == &TTestEffect::StaticClass();
    EXPECT_EQ(n, 1);
    EXPECT_EQ(&cl::FindClass("TFlickerFreeTransition"), &TFlickerFreeTransition::StaticClass());
    cl::TComponent* made = cl::CreateComponent("ttesteffect", nullptr);
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->Is<TTestEffect>());
    delete made;
}

TEST_F(CoreTest, TheCutDescribesItselfAndCopiesItsFlag) {
    TFlickerFreeTransition a(nullptr), b(nullptr);
    EXPECT_EQ(a.Description(), "Flicker free cut");
    EXPECT_EQ(TTestEffect(nullptr).Description(), "TTestEffect");
    EXPECT_EQ(a.EditorClassName(), "TTransitionEffectEditor");
    a.InternalCutFlag = true;
    b.Assign(&a);
    EXPECT_TRUE(b.InternalCutFlag);
    TTestDevice d;
    TTestEffect base(nullptr);
    EXPECT_EQ(base.TTransitionEffect::GetInfo(&d), 0x20A);
}

TEST(DirtyRects, ClippingDropsEmptyPartsAndKeepsCopies) {
    TTEDirtyRects r;
    r.AddRect(MakeRect(5, 5, 50, 50));
    r.Clip = true;
    r.ClipRect = MakeRect(0, 0, 20, 20);
    r.AddRect(MakeRect(10, 10, 30, 30));
    r.AddRect(MakeRect(25, 25, 30, 30));
    ASSERT_EQ(r.Count(), 2);
    EXPECT_EQ(r.Rects[0].right, 50);
    EXPECT_EQ(r.Rects[1].left, 10);
    EXPECT_EQ(r.Rects[1].right, 20);
    EXPECT_EQ(r.Rects[1].bottom, 20);
    EXPECT_TRUE(r.AutoClear);
    r.Clear();
    EXPECT_EQ(r.Count(), 0);
}

TEST(RectHelpers, UniteRectWidensToHoldBothAndIgnoresEmptyRectangles) {
    struct Case {
        win::RECT dest, add, want;
        // clang-format off
    } cases[] = {
        {MakeRect(2, 3, 5, 7), MakeRect(4, 1, 9, 6), MakeRect(2, 1, 9, 7)},      // overlapping
        {MakeRect(2, 3, 5, 7), MakeRect(10, 10, 12, 11), MakeRect(2, 3, 12, 11)}, // apart
        {MakeRect(2, 3, 5, 7), MakeRect(3, 4, 4, 5), MakeRect(2, 3, 5, 7)},       // inside
        {MakeRect(0, 0, 0, 0), MakeRect(3, 4, 6, 8), MakeRect(3, 4, 6, 8)},       // empty destination
        {MakeRect(9, 9, 1, 1), MakeRect(3, 4, 6, 8), MakeRect(3, 4, 6, 8)},       // inverted destination
        {MakeRect(2, 3, 5, 7), MakeRect(40, 40, 40, 50), MakeRect(2, 3, 5, 7)},   // zero-wide addition
        {MakeRect(2, 3, 5, 7), MakeRect(-9, -9, -20, 0), MakeRect(2, 3, 5, 7)},   // inverted addition
    };
    // clang-format on
    for (const Case& c : cases) {
        win::RECT r = c.dest;
        UniteRect(r, c.add);
        EXPECT_TRUE(r.left == c.want.left && r.top == c.want.top && r.right == c.want.right &&
                    r.bottom == c.want.bottom)
            << "(" << c.dest.left << "," << c.dest.top << "," << c.dest.right << "," << c.dest.bottom << ") + ("
            << c.add.left << "," << c.add.top << "," << c.add.right << "," << c.add.bottom << ") gave (" << r.left
            << "," << r.top << "," << r.right << "," << r.bottom << ")";
    }
}
