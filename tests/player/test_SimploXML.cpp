#include <gtest/gtest.h>

#include "player/SimploXML.h"

using namespace player;

namespace {

struct Loaded {
    TSimploXML xml{nullptr};
    bool ok = false;
    int errors = 0;
    explicit Loaded(const std::string& text) {
        xml.OnXMLError = [this](cl::TObject* sender) {
            EXPECT_EQ(sender, &xml);
            ++errors;
        };
        ok = xml.LoadFromString(text);
    }
    TElementDocXML* doc() const { return xml.DocumentElement(); }
};

}  // namespace

TEST(SplitTags, TokensAndControlCharacters) {
    TTagList t;
    SplitTags(t, "<?xml version=\"1.0\"?>\r\n<a>\n\t<b>x\ny</b>  \n<c> s </c></a>trailing<unclosed");
    std::vector<std::pair<bool, std::string>> expected = {{true, "a"},  {true, "b"},  {false, "xy"},
                                                          {true, "/b"}, {true, "c"},  {false, " s "},
                                                          {true, "/c"}, {true, "/a"}, {false, "trailing"}};
    ASSERT_EQ(t.size(), expected.size());
    for (size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(t[i].IsTag, expected[i].first) << i;
        EXPECT_EQ(t[i].Text, expected[i].second) << i;
    }
}

TEST(SplitTags, CharacterDataSections) {
    struct Case {
        const char* text;
        const char* value;
    } cases[] = {
        {"<v>a<![CDATA[<b>\n]]>c</v>", "a<b>\nc"},
        {"<v>a<![cdata[<b>]]>c</v>", "a<b>c"},
        // Without an end the rest of the section is ordinary text after "<!".
        {"<v>a<![CDATA[xy</v>", "a[CDATA[xy"},
    };
    for (const auto& c : cases) {
        Loaded l(c.text);
        ASSERT_TRUE(l.ok);
        ASSERT_NE(l.doc(), nullptr) << c.text;
        EXPECT_EQ(l.doc()->Value, c.value) << c.text;
    }
}

TEST(SimploXML, BuildsTheTreeInDocumentOrder) {
    Loaded l("<a><b>1</b><b>2</b><c/></a>");
    ASSERT_TRUE(l.ok);
    TElementDocXML* a = l.doc();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Name, "a");
    EXPECT_EQ(a->Value, "");
    ASSERT_EQ(a->Children.size(), 3u);
    TBlockDocXML list{a};  // emptied first by FindElements
    FindElements(a, "b", list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->Value, "1");
    EXPECT_EQ(list[1]->Value, "2");
    FindElements(a, "B", list);
    EXPECT_TRUE(list.empty());
    // An empty-element tag is an element whose name ends with "/".
    EXPECT_EQ(a->Children[2]->Name, "c/");
    EXPECT_EQ(a->FirstChild(), a->Children[0]);
}

TEST(SimploXML, TextRules) {
    struct Case {
        const char* text;
        const char* name;
        const char* value;
    } cases[] = {
        {"<v>a\nb</v>", "v", "ab"},
        {"<v> a </v>", "v", " a "},
        {"<v>&lt;</v>", "v", "&lt;"},
        {"<v>one<b>x</b>two</v>", "v", "two"},  // a later text token replaces an earlier one
        {"<v a=\"1\">t</v>", "v a=\"1\"", "t"},
        {"junk before<v>t</v>after<w>ignored</w>", "v", "t"},
    };
    for (const auto& c : cases) {
        Loaded l(c.text);
        ASSERT_NE(l.doc(), nullptr) << c.text;
        EXPECT_EQ(l.doc()->Name, c.name) << c.text;
        EXPECT_EQ(l.doc()->Value, c.value) << c.text;
        EXPECT_EQ(l.xml.Root()->Children.size(), 1u) << c.text;
    }
}

TEST(SimploXML, AttributesAndMismatchedEndTags) {
    // An end tag that does not match the open element starts a child named "/x".
    Loaded l("<a><b>1</x></b></a>");
    ASSERT_NE(l.doc(), nullptr);
    TElementDocXML* b = l.doc()->FirstChild();
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->Children.size(), 1u);
    EXPECT_EQ(b->Children[0]->Name, "/x");
}

TEST(SimploXML, EmptyAndTaglessTexts) {
    Loaded empty("");
    EXPECT_FALSE(empty.ok);
    EXPECT_EQ(empty.errors, 1);
    EXPECT_EQ(empty.doc(), nullptr);

    Loaded plain("no tags at all");
    EXPECT_TRUE(plain.ok);
    EXPECT_EQ(plain.errors, 0);
    EXPECT_EQ(plain.doc(), nullptr);
}

TEST(SimploXML, TruncatedDocumentsNeverReadPastTheTokens) {
    const std::string full = "<LumetraProject><Slide><Effect>3</Effect></Slide></LumetraProject>";
    for (size_t n = 1; n < full.size(); ++n) {
        Loaded l(full.substr(0, n));
        EXPECT_TRUE(l.ok) << n;
        if (l.doc()) {
            EXPECT_EQ(l.doc()->Name, "LumetraProject");
        }
    }
    // Open elements close where the tokens end.
    Loaded l("<a><b>x</b>");
    ASSERT_NE(l.doc(), nullptr);
    ASSERT_EQ(l.doc()->Children.size(), 1u);
    EXPECT_EQ(l.doc()->Children[0]->Value, "x");
}

TEST(SimploXML, TooDeepDocumentsLoadAsNoDocument) {
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<e>";
    Loaded l(deep);
    EXPECT_FALSE(l.ok);
    EXPECT_EQ(l.errors, 1);
    EXPECT_EQ(l.doc(), nullptr);

    std::string ok;
    for (int i = 0; i < kMaxXMLDepth - 1; ++i) ok += "<e>";
    Loaded l2(ok);
    EXPECT_TRUE(l2.ok);
    EXPECT_NE(l2.doc(), nullptr);
}

TEST(SimploXML, ReloadReplacesTheTree) {
    TSimploXML xml(nullptr);
    ASSERT_TRUE(xml.LoadFromString("<a><b/></a>"));
    ASSERT_TRUE(xml.LoadFromString("<c/>"));
    ASSERT_NE(xml.DocumentElement(), nullptr);
    EXPECT_EQ(xml.DocumentElement()->Name, "c/");
    EXPECT_EQ(xml.Root()->Children.size(), 1u);
    xml.Clear();
    EXPECT_EQ(xml.DocumentElement(), nullptr);
}
