#include <gtest/gtest.h>

#include "classlib/Classes.h"
#include "platform/codepage.h"
#include "player/zb_SlideShow.h"

using namespace player;

namespace {

// Loads a UTF-8 document the way the player does (converted to the Cyrillic code page).
void Load(TSlideShow& show, const std::string& utf8, bool withPositions = true) {
    cl::TStringStream s(win::Utf8ToCodePage(1251, utf8));
    show.LoadFromStream(&s, withPositions);
}

std::string Doc(const std::string& body) { return "<LumetraProject>" + body + "</LumetraProject>"; }

}  // namespace

TEST(SlideShow, NewShowDefaults) {
    TSlideShow show;
    EXPECT_TRUE(show.AutoMode);
    EXPECT_EQ(show.CursorMode, 3000);
    EXPECT_EQ(show.DefaultEffectInterval, 1000);
    EXPECT_EQ(show.DefaultInterval, 4000);
    EXPECT_EQ(show.WindowWidth, 800);
    EXPECT_EQ(show.WindowHeight, 600);
    EXPECT_FALSE(show.FaderEnabled);
    EXPECT_EQ(show.FaderIn, 0);
    EXPECT_EQ(show.FaderOut, 0);
    EXPECT_EQ(show.FaderMode(), 0);
    EXPECT_EQ(show.GetSlide(0), nullptr);
    EXPECT_EQ(show.GetMusic(-1), nullptr);
    EXPECT_EQ(show.AddSlide(nullptr), -1);
}

TEST(SlideShow, SettingsElementDefaultsDifferFromANewShow) {
    TSlideShow show;
    Load(show, Doc("<Settings><WindowTitle>Отпуск 2026</WindowTitle></Settings>"));
    EXPECT_TRUE(show.FaderEnabled);
    EXPECT_EQ(show.FaderIn, 3000);
    EXPECT_EQ(show.FaderOut, 3000);
    EXPECT_EQ(show.WindowTitle, "Отпуск 2026");
    EXPECT_EQ(show.FaderMode(), 2);
}

TEST(SlideShow, SettingsTable) {
    TSlideShow show;
    Load(show, Doc("<Settings>"
                   "<AutoMode>0</AutoMode><RandomSlides>-1</RandomSlides><ShowPlayer>true</ShowPlayer>"
                   "<CursorMode>-7</CursorMode><EventEndShow>257</EventEndShow>"
                   "<DefaultEffectInterval>1500</DefaultEffectInterval><DefaultInterval>2500</DefaultInterval>"
                   "<FullScreen>False</FullScreen><WindowWidth>70000</WindowWidth><WindowHeight>-1</WindowHeight>"
                   "<BorderWidth>3</BorderWidth><BorderHeight>4</BorderHeight><IconName>i.ico</IconName>"
                   "<RandomMusic>5</RandomMusic><RepeatMusic>TRUE</RepeatMusic><BeginPlayMusic>1</BeginPlayMusic>"
                   "<FaderEnabled>yes</FaderEnabled><FaderIn>1200</FaderIn><FaderOut>x</FaderOut>"
                   "<Password>p</Password><EffectL>1</EffectL><EffectT>2</EffectT><EffectR>30</EffectR>"
                   "<EffectB>40</EffectB><ScreenProportion>1</ScreenProportion><settings/>"
                   "</Settings>"));
    EXPECT_FALSE(show.AutoMode);
    EXPECT_TRUE(show.RandomSlides);
    EXPECT_TRUE(show.ShowPlayer);
    EXPECT_EQ(show.CursorMode, -7);
    EXPECT_EQ(show.EventEndShow, 1);  // low byte of 257
    EXPECT_EQ(show.DefaultEffectInterval, 1500);
    EXPECT_EQ(show.DefaultInterval, 2500);
    EXPECT_FALSE(show.FullScreen);
    EXPECT_EQ(show.WindowWidth, 70000 & 0xFFFF);
    EXPECT_EQ(show.WindowHeight, 0xFFFF);
    EXPECT_EQ(show.BorderWidth, 3);
    EXPECT_EQ(show.BorderHeight, 4);
    EXPECT_EQ(show.IconName, "i.ico");
    EXPECT_TRUE(show.RandomMusic);
    EXPECT_TRUE(show.RepeatMusic);
    EXPECT_TRUE(show.BeginPlayMusic);
    EXPECT_TRUE(show.FaderEnabled);  // "yes" is no Boolean text: the default
    EXPECT_EQ(show.FaderIn, 1200);
    EXPECT_EQ(show.FaderOut, 3000);
    EXPECT_EQ(show.Password, "p");
    EXPECT_EQ(show.EffectL, 1);
    EXPECT_EQ(show.EffectT, 2);
    EXPECT_EQ(show.EffectR, 30);
    EXPECT_EQ(show.EffectB, 40);
}

TEST(SlideShow, BooleanTexts) {
    struct Case {
        const char* text;
        bool def;
        bool expected;
    } cases[] = {{"-1", false, true},   {"1", false, true},    {"5", false, true},     {"True", false, true},
                 {"true", false, true}, {"0", true, false},    {"False", true, false}, {"", true, true},
                 {"", false, false},    {"yes", false, false}, {"yes", true, true}};
    for (const auto& c : cases) {
        TSimploXML xml(nullptr);
        ASSERT_TRUE(xml.LoadFromString(std::string("<r><B>") + c.text + "</B><x/></r>"));
        EXPECT_EQ(ReadXMLBool(xml.DocumentElement(), "B", c.def), c.expected) << '"' << c.text << '"';
    }
}

TEST(SlideShow, LaterSettingsElementResetsEveryField) {
    TSlideShow show;
    Load(show, Doc("<Settings><DefaultInterval>100</DefaultInterval><RandomMusic>1</RandomMusic></Settings>"
                   "<Settings><RandomMusic>1</RandomMusic></Settings>"));
    EXPECT_EQ(show.DefaultInterval, 4000);
    EXPECT_TRUE(show.RandomMusic);
}

TEST(SlideShow, SparseSlideGetsTheReadDefaults) {
    cl::SetRandSeed(12345);
    TSlideShow show;
    Load(show, Doc("<Slide></Slide><Slide><x/></Slide>"));
    // The first <Slide> has no children but is still a slide.
    ASSERT_EQ(show.SlideCount(), 2);
    for (int i = 0; i < 2; ++i) {
        TSlide* s = show.GetSlide(i);
        EXPECT_EQ(s->TimeInterval, 4000);
        EXPECT_EQ(s->EffectInterval, 4000);
        EXPECT_EQ(s->StartPos, -1);
        EXPECT_EQ(s->EndPos, -1);
        EXPECT_EQ(s->MaskStartPos, -1);
        EXPECT_EQ(s->MaskEndPos, -1);
        EXPECT_EQ(s->EffectMask, -1);
        EXPECT_TRUE(s->Enabled);
        EXPECT_FALSE(s->TwoPasses);
        EXPECT_GE(s->Effect, 0);
        EXPECT_LE(s->Effect, 44);
    }
    // Two draws per slide (creation and reading), from the shared generator.
    cl::SetRandSeed(12345);
    cl::Random(45);
    int32_t first = cl::Random(45);
    cl::Random(45);
    int32_t second = cl::Random(45);
    EXPECT_EQ(show.GetSlide(0)->Effect, first);
    EXPECT_EQ(show.GetSlide(1)->Effect, second);
}

TEST(SlideShow, SlideFieldsAndPositions) {
    const std::string doc =
        Doc("<Slide><StartPos>100</StartPos><EndPos>5000000000</EndPos><MaskStartPos>7</MaskStartPos>"
            "<MaskEndPos>9</MaskEndPos><Name>Фото.jpg</Name><TimeInterval>-1</TimeInterval><Enabled>0</Enabled>"
            "<EffectMask>2</EffectMask><2Passes>-1</2Passes><Effect>-1</Effect><EffectInterval>-1</EffectInterval>"
            "</Slide>");
    TSlideShow show;
    Load(show, doc);
    TSlide* s = show.GetSlide(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->StartPos, 100);
    EXPECT_EQ(s->EndPos, 5000000000LL);
    EXPECT_EQ(s->MaskStartPos, 7);
    EXPECT_EQ(s->MaskEndPos, 9);
    EXPECT_EQ(s->Name, "Фото.jpg");
    EXPECT_EQ(s->TimeInterval, -1);
    EXPECT_FALSE(s->Enabled);
    EXPECT_EQ(s->EffectMask, 2);
    EXPECT_TRUE(s->TwoPasses);
    EXPECT_EQ(s->Effect, -1);
    EXPECT_EQ(s->EffectInterval, -1);

    // Without positions the new slide's values stay.
    TSlideShow noPos;
    Load(noPos, doc, false);
    TSlide* t = noPos.GetSlide(0);
    EXPECT_EQ(t->StartPos, -1);
    EXPECT_EQ(t->EndPos, -1);
    EXPECT_EQ(t->MaskStartPos, 0);
    EXPECT_EQ(t->MaskEndPos, 0);
}

TEST(SlideShow, MusicTracks) {
    TSlideShow show;
    Load(show, Doc("<MusicTrack><Type>3</Type><StartPos>10</StartPos><EndPos>20</EndPos>"
                   "<FileName>Песня.mp3</FileName><Duration>999</Duration></MusicTrack>"
                   "<MusicTrack><FileName>no type.mp3</FileName></MusicTrack>"
                   "<MusicTrack><Type>2</Type></MusicTrack>"
                   "<MusicTrack><Type>3</Type></MusicTrack>"));
    ASSERT_EQ(show.MusicCount(), 2);
    TSoundObject* m = show.GetMusic(0);
    EXPECT_EQ(m->StartPos, 10);
    EXPECT_EQ(m->EndPos, 20);
    EXPECT_EQ(m->FileName, "Песня.mp3");
    EXPECT_EQ(m->Duration, 999);
    TSoundObject* sparse = show.GetMusic(1);
    EXPECT_EQ(sparse->StartPos, 0);
    EXPECT_EQ(sparse->Duration, 0);
    EXPECT_EQ(sparse->FileName, "");

    TSoundObject fresh;
    EXPECT_EQ(fresh.Type, 3);
    EXPECT_EQ(fresh.Duration, -1);
    TElementDocXML node;
    fresh.WriteToXML(&node);
    ASSERT_EQ(node.Children.size(), 1u);
    EXPECT_EQ(node.Children[0]->Name, "Type");
    EXPECT_EQ(node.Children[0]->Value, "3");
}

TEST(SlideShow, BadRootsRaiseTheFormatException) {
    const char* bad[] = {"",
                         "no xml",
                         "<Other><Slide/></Other>",
                         "<LumetraProject></LumetraProject>",
                         "<lumetraproject><Slide/></lumetraproject>",
                         "<LumetraProject>text only</LumetraProject>"};
    for (const char* text : bad) {
        TSlideShow show;
        try {
            Load(show, text);
            FAIL() << "no exception for " << text;
        } catch (const cl::Exception& e) {
            EXPECT_STREQ(e.what(), "Файл проекта имеет неверный формат!");
            EXPECT_STREQ(e.ClassName(), "Exception");
        }
        EXPECT_EQ(show.SlideCount(), 0);
    }
    // A root whose children all have other names is an empty show; names are case-sensitive.
    TSlideShow show;
    Load(show, Doc("<settings><DefaultInterval>1</DefaultInterval></settings><slide/>"));
    EXPECT_EQ(show.SlideCount(), 0);
    EXPECT_EQ(show.DefaultInterval, 4000);
    EXPECT_FALSE(show.FaderEnabled);
}

TEST(SlideShow, TextEndsAtTheFirstZeroByteAndStartsAtThePosition) {
    std::string bytes = "JUNK" + Doc("<Slide><Effect>7</Effect></Slide>") + std::string("\0\x01<Slide/>", 10);
    cl::TStringStream s(bytes);
    s.SetPosition(4);
    TSlideShow show;
    show.LoadFromStream(&s, true);
    ASSERT_EQ(show.SlideCount(), 1);
    EXPECT_EQ(show.GetSlide(0)->Effect, 7);
}

TEST(SlideShow, FaderMode) {
    struct Case {
        bool enabled, autoMode;
        uint8_t eventEnd;
        bool beginPlay;
        int mode;
    } cases[] = {{false, true, 0, false, 0}, {true, false, 0, false, 1}, {true, true, 1, false, 1},
                 {true, true, 2, false, 1},  {true, true, 2, true, 2},   {true, true, 0, false, 2},
                 {true, true, 3, false, 2}};
    for (const auto& c : cases) {
        TSlideShow show;
        show.FaderEnabled = c.enabled;
        show.AutoMode = c.autoMode;
        show.EventEndShow = c.eventEnd;
        show.BeginPlayMusic = c.beginPlay;
        EXPECT_EQ(show.FaderMode(), c.mode);
    }
}

TEST(SlideShow, SlideObjects) {
    TSlide slide;
    slide.Objects.push_back(new TSoundObject());
    slide.Objects.push_back(new TSlideObject());
    EXPECT_FALSE(slide.DeleteObject(2));
    EXPECT_FALSE(slide.DeleteObject(-1));
    EXPECT_TRUE(slide.DeleteObject(0));
    ASSERT_EQ(slide.Objects.size(), 1u);
    slide.ClearObjects();
    EXPECT_TRUE(slide.Objects.empty());
}
