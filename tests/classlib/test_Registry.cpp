#include <gtest/gtest.h>

#include "classlib/Classes.h"
#include "classlib/TypInfo.h"

using namespace cl;

namespace {

enum TShade { shLight, shMedium, shDark };

class TBaseWidget : public TComponent {
    CL_DECLARE_COMPONENT(TBaseWidget, TComponent)
public:
    explicit TBaseWidget(TComponent* owner) : TComponent(owner) {}
    int Size() const { return size_; }
    void SetSize(int v) {
        size_ = v;
        ++sets;
    }
    int size_ = 10;
    int sets = 0;
    double Ratio = 1.5;
    TShade Shade = shMedium;
    String caption = "c";
    String Caption() const { return caption; }
    void SetCaption(const String& s) { caption = s; }
    std::vector<std::string> seen;
};

class TFancyWidget : public TBaseWidget {
    CL_DECLARE_COMPONENT(TFancyWidget, TBaseWidget)
public:
    explicit TFancyWidget(TComponent* owner) : TBaseWidget(owner) {}
    int Extra = 0;
};

class TAbstractThing : public TComponent {
    CL_DECLARE_CLASS(TAbstractThing, TComponent)
public:
    using TComponent::TComponent;
};

double GetRatio(const TObject* o) { return static_cast<const TBaseWidget*>(o)->Ratio; }

void DeclareWidgets() {
    static bool done = false;
    if (done) return;
    done = true;
    TPropInfo ratio;
    ratio.Name = "Ratio";
    ratio.Kind = tkFloat;
    ratio.TypeName = "Double";
    ratio.GetFloat = GetRatio;
    ratio.SetFloat = [](TObject* o, double v) { static_cast<TBaseWidget*>(o)->Ratio = v; };
    TPropInfo shade = OrdField("Shade", tkEnumeration, "TShade", &TBaseWidget::Shade, shMedium);
    shade.EnumNames = {"shLight", "shMedium", "shDark"};
    DeclarePublished(TBaseWidget::StaticClass(),
                     {OrdProp("Size", tkInteger, "Integer", &TBaseWidget::Size, &TBaseWidget::SetSize, 10), ratio,
                      shade, StrProp("Caption", &TBaseWidget::Caption, &TBaseWidget::SetCaption)});
    DeclarePublished(TFancyWidget::StaticClass(), {OrdField("Extra", tkInteger, "Integer", &TFancyWidget::Extra)});
    RegisterMessageHandler(TBaseWidget::StaticClass(), 0x0200, [](TObject* self, TMessage& m) {
        static_cast<TBaseWidget*>(self)->seen.push_back("base");
        m.Result = 1;
    });
    RegisterMessageHandler(TFancyWidget::StaticClass(), 0x0200, [](TObject* self, TMessage& m) {
        static_cast<TBaseWidget*>(self)->seen.push_back("fancy");
        InheritedDispatch(TFancyWidget::StaticClass(), self, m);
    });
    RegisterMessageHandler(TFancyWidget::StaticClass(), 0x0020, [](TObject* self, TMessage& m) {
        static_cast<TBaseWidget*>(self)->seen.push_back("cursor");
        InheritedDispatch(TFancyWidget::StaticClass(), self, m);  // no ancestor handles it
    });
    RegisterMessageHandler(TBaseWidget::StaticClass(), 0xC001, [](TObject*, TMessage&) {});
}

}  // namespace

TEST(Registry, FindAndCreateByName) {
    RegisterClasses({&TBaseWidget::StaticClass(), &TFancyWidget::StaticClass()});
    RegisterClass(TBaseWidget::StaticClass());  // twice is a no-op
    EXPECT_EQ(&FindClass("tfancywidget"), &TFancyWidget::StaticClass());
    EXPECT_EQ(GetClass("TNothing"), nullptr);
    try {
        FindClass("TNothing");
        FAIL();
    } catch (const EClassNotFound& e) {
        EXPECT_STREQ(e.what(), "Class TNothing not found");
    }
    TComponent owner(nullptr);
    TComponent* c = CreateComponent("TFancyWidget", &owner);
    EXPECT_STREQ(c->ClassName(), "TFancyWidget");
    EXPECT_EQ(c->GetOwner(), &owner);
    // The abstract class cannot be created by name.
    RegisterClass(TAbstractThing::StaticClass());
    EXPECT_THROW(CreateComponent("TAbstractThing", &owner), EClassNotFound);
    UnRegisterClass(TAbstractThing::StaticClass());
    EXPECT_EQ(GetClass("TAbstractThing"), nullptr);
}

TEST(Registry, SameNameOtherClassIsRefused) {
    struct TBaseWidgetImpostor {
        static const TClass& StaticClass() {
            static const TClass info{"TBaseWidget", &TComponent::StaticClass()};
            return info;
        }
    };
    RegisterClass(TBaseWidget::StaticClass());
    try {
        RegisterClass(TBaseWidgetImpostor::StaticClass());
        FAIL();
    } catch (const EFilerError& e) {
        EXPECT_STREQ(e.what(), "A class named TBaseWidget already exists");
    }
}

TEST(Registry, MessageDispatchNearestFirstWithInherited) {
    DeclareWidgets();
    TFancyWidget w(nullptr);
    TMessage m{0x0200, 0, 0, 0};
    w.Dispatch(m);
    EXPECT_EQ(w.seen, (std::vector<std::string>{"fancy", "base"}));
    EXPECT_EQ(m.Result, 1);
    // Inherited with no ancestor handler reaches DefaultHandler (which does nothing here).
    w.seen.clear();
    TMessage c{0x0020, 0, 0, 0};
    w.Dispatch(c);
    EXPECT_EQ(w.seen, std::vector<std::string>{"cursor"});
    EXPECT_EQ(FindMessageHandlerClass(TFancyWidget::StaticClass(), 0x0200), &TFancyWidget::StaticClass());
    EXPECT_EQ(FindMessageHandlerClass(TBaseWidget::StaticClass(), 0x0020), nullptr);
    // Numbers 0 and from 0xC000 on never have handlers.
    EXPECT_EQ(FindMessageHandlerClass(TBaseWidget::StaticClass(), 0xC001), nullptr);
    EXPECT_EQ(FindMessageHandlerClass(TBaseWidget::StaticClass(), 0), nullptr);
}

TEST(Registry, PublishedProperties) {
    DeclareWidgets();
    TFancyWidget w(nullptr);
    PPropInfo size = GetPropInfo(&w, "size");
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->Kind, tkInteger);
    EXPECT_EQ(size->Default, 10);
    EXPECT_EQ(GetPropInfo(TBaseWidget::StaticClass(), "Extra"), nullptr);
    EXPECT_EQ(GetPropInfo(&w, "Direction"), nullptr);
    EXPECT_EQ(GetPropInfo(static_cast<TObject*>(nullptr), "Size"), nullptr);

    SetOrdProp(&w, "Size", 42);
    EXPECT_EQ(w.size_, 42);
    EXPECT_EQ(w.sets, 1);  // through the setter
    EXPECT_EQ(GetOrdProp(&w, "SIZE"), 42);
    SetFloatProp(&w, "Ratio", 0.25);
    EXPECT_DOUBLE_EQ(w.Ratio, 0.25);
    SetEnumProp(&w, "Shade", "shDark");
    EXPECT_EQ(w.Shade, shDark);
    EXPECT_EQ(GetEnumProp(&w, "Shade"), "shDark");
    EXPECT_THROW(SetEnumProp(&w, "Shade", "shNone"), EPropertyError);
    SetStrProp(&w, "Caption", "Ок");
    EXPECT_EQ(w.caption, "Ок");
    EXPECT_THROW(GetStrProp(&w, "Size"), EPropertyError);
    EXPECT_THROW(SetOrdProp(&w, "Missing", 1), EPropertyError);

    auto all = GetPropList(TFancyWidget::StaticClass());
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all.front()->Name, "Size");
    EXPECT_EQ(all.back()->Name, "Extra");
    EXPECT_EQ(GetPropList(TFancyWidget::StaticClass(), KindBit(tkFloat)).size(), 1u);
}

TEST(Registry, CopyPublishedProperties) {
    DeclareWidgets();
    TFancyWidget a(nullptr), b(nullptr);
    a.SetSize(7);
    a.Ratio = 3;
    a.Shade = shLight;
    a.caption = "x";
    a.Extra = 9;
    CopyPublishedProperties(&a, &b);
    EXPECT_EQ(b.size_, 7);
    EXPECT_DOUBLE_EQ(b.Ratio, 3);
    EXPECT_EQ(b.Shade, shLight);
    EXPECT_EQ(b.caption, "x");
    EXPECT_EQ(b.Extra, 9);
    // Into a base-class object only what it publishes.
    TBaseWidget base(nullptr);
    CopyPublishedProperties(&a, &base);
    EXPECT_EQ(base.size_, 7);
}
