// The chunk model: file layout, the load and save loops, the chunk registry, the header,
// palette, transparency, gamma, time and text chunks, and damaged files of every kind.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "png_testutil.h"

using namespace pngtest;
using png::TPNGObject;

namespace {

const std::string kGreyRows = std::string("\0\x10\x20\0\x30\x40", 6);  // 2 x 2, 8-bit grey

// A 2 x 2 grey file with `extra` chunks between IHDR and IDAT.
std::string GreyFile(const std::string& extra = "") { return MakePng(2, 2, 8, 0, kGreyRows, extra); }

// A 2 x 2 palette file with the given PLTE and extra chunks.
std::string PaletteFile(const std::string& plte, const std::string& extra = "") {
    return MakePng(2, 2, 8, 3, std::string("\0\x00\x01\0\x01\x00", 6), Chunk("PLTE", plte) + extra);
}

std::vector<std::string> Names(const TPNGObject& p) {
    std::vector<std::string> names;
    for (int i = 0; i < p.Chunks().GetCount(); ++i)
        names.push_back(p.Chunks().GetItem(i) ? p.Chunks().GetItem(i)->GetNameText() : std::string("(none)"));
    return names;
}

// Loads into `picture`; the class name of what was raised ("" when nothing was).
std::string LoadError(TPNGObject& picture, const std::string& bytes) {
    cl::TStringStream stream(bytes);
    try {
        picture.LoadFromStream(&stream);
    } catch (const cl::Exception& e) {
        return e.ClassName();
    }
    return "";
}

template <class T>
T* Find(TPNGObject& p) {
    return p.Chunks().Find<T>();
}

}  // namespace

TEST(PngChunks, CrcIsTheStandardCrc32) {
    const std::string data = "IHDR some chunk data \x01\x02\xFF";
    const uLong want = crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    EXPECT_EQ(png::PNGChunkCrc(reinterpret_cast<const uint8_t*>(data.data()),
                               reinterpret_cast<const uint8_t*>(data.data()) + 4, data.size() - 4),
              want);
    EXPECT_EQ(png::TChunk::NameFromClass(png::TChunkIHDR::StaticClass()), "IHDR");
    EXPECT_EQ(png::TChunk::NameFromClass(png::TChunkzTXt::StaticClass()), "zTXt");
    EXPECT_EQ(png::TChunk::NameFromClass(png::TChunk::StaticClass()), "");
}

TEST(PngChunks, SignatureMustMatchInEveryByte) {
    const std::string good = GreyFile();
    for (size_t i = 0; i < 8; ++i) {
        std::string bad = good;
        bad[i] = static_cast<char>(bad[i] ^ 0x20);
        TPNGObject picture;
        EXPECT_EQ(LoadError(picture, bad), "EPNGInvalidFileHeader") << i;
        EXPECT_EQ(picture.Chunks().GetCount(), 0);
    }
    TPNGObject picture;
    EXPECT_EQ(LoadError(picture, good.substr(0, 5)), "EPNGInvalidFileHeader");
    try {
        Load(good.substr(0, 5));
    } catch (const png::EPNGInvalidFileHeader& e) {
        EXPECT_STREQ(e.what(), png::EPNGInvalidFileHeaderText);
    }
}

TEST(PngChunks, LoadLoopKeepsFileOrderAndPassesOverChrmAndFurtherImageData) {
    // IHDR first is required.
    TPNGObject notFirst;
    EXPECT_EQ(LoadError(notFirst, kSignature + Chunk("gAMA", Be32(45455)) + Chunk("IHDR", IhdrData(2, 2, 8, 0)) +
                                      Chunk("IDAT", Deflate(kGreyRows)) + Chunk("IEND", "")),
              "EPNGIHDRNotFirst");
    EXPECT_EQ(notFirst.Chunks().GetCount(), 0);

    // Three IDAT chunks give one; cHRM is dropped; names come in file order.
    const std::string packed = Deflate(kGreyRows);
    const std::string three = kSignature + Chunk("IHDR", IhdrData(2, 2, 8, 0)) + Chunk("cHRM", std::string(32, '\1')) +
                              Chunk("IDAT", packed.substr(0, 3)) + Chunk("IDAT", packed.substr(3, 4)) +
                              Chunk("IDAT", packed.substr(7)) + Chunk("tEXt", std::string("k\0v", 3)) +
                              Chunk("IEND", "");
    auto picture = Load(three);
    EXPECT_EQ(Names(*picture), (std::vector<std::string>{"IHDR", "IDAT", "tEXt", "IEND"}));
    EXPECT_EQ(picture->GetPixels(1, 1), 0x404040);
    const std::string saved = Save(*picture);
    std::vector<std::string> savedNames;
    for (const ChunkInfo& c : SplitChunks(saved)) savedNames.push_back(c.name);
    EXPECT_EQ(savedNames, (std::vector<std::string>{"IHDR", "IDAT", "tEXt", "IEND"}));
    EXPECT_EQ(saved.substr(0, 8), kSignature);

    auto chrm = Load(ReadFile(kData + "chrm.png"));
    EXPECT_EQ(Save(*chrm).find("cHRM"), std::string::npos);
}

TEST(PngChunks, UnknownChunksAncillaryKeptCriticalRefused) {
    const std::string priv = Chunk("prVt", std::string("\0\1\2private\xFF", 12));
    auto picture = Load(GreyFile(priv));
    png::TChunk* c = picture->Chunks().GetItem(1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(&c->ClassType(), &png::TChunk::StaticClass());
    EXPECT_EQ(c->GetNameText(), "prVt");
    EXPECT_NE(Save(*picture).find(priv), std::string::npos) << "written back byte for byte, CRC included";

    TPNGObject critical;
    EXPECT_EQ(LoadError(critical, GreyFile(Chunk("ABCD", "xyz"))), "EPNGUnknownCriticalChunk");
    EXPECT_EQ(Names(critical), (std::vector<std::string>{"IHDR", "ABCD"}));
}

TEST(PngChunks, MissingEndAndMissingImageData) {
    const std::string good = GreyFile();
    TPNGObject cut;
    EXPECT_EQ(LoadError(cut, good.substr(0, good.size() - 12)), "EPngUnexpectedEnd");
    EXPECT_EQ(Names(cut), (std::vector<std::string>{"IHDR", "IDAT"}));
    EXPECT_EQ(cut.GetPixels(1, 1), 0x404040) << "what was decoded stays";
    TPNGObject noData;
    EXPECT_EQ(LoadError(noData, kSignature + Chunk("IHDR", IhdrData(2, 2, 8, 0)) + Chunk("IEND", "")),
              "EPNGNoImageData");
}

TEST(PngChunks, EveryCutOfAFileFailsWithTheClassesErrors) {
    for (const char* name : {"rgba8.png", "i_p4.png", "txt.png", "ztxt.png", "pt8.png"}) {
        const std::string file = ReadFile(kData + name);
        for (size_t n = 0; n < file.size(); ++n) {
            TPNGObject picture;
            const std::string error = LoadError(picture, file.substr(0, n));
            ASSERT_TRUE(error.rfind("EPNG", 0) == 0 || error.rfind("EPng", 0) == 0)
                << name << " cut at " << n << ": '" << error << "'";
            // Whatever stayed can be drawn and asked for pixels.
            cl::TBitmap target;
            target.SetPixelFormat(cl::pf32bit);
            target.SetSize(8, 8);
            picture.Draw(target.GetCanvas(), cl::Rect(0, 0, 8, 8));
            if (picture.HasHeader()) (void)picture.GetPixels(1, 1);
        }
    }
}

TEST(PngChunks, ChangedDataOfARegisteredChunkFailsItsCrc) {
    const std::string file = PaletteFile(std::string("\x10\x20\x30\x40\x50\x60", 6),
                                         Chunk("tRNS", std::string("\x80", 1)) + Chunk("gAMA", Be32(45455)) +
                                             Chunk("tIME", std::string("\x07\xDA\x01\x02\x03\x04\x05", 7)) +
                                             Chunk("tEXt", std::string("Title\0abc", 9)) +
                                             Chunk("zTXt", std::string("K\0\0", 3) + Deflate("t")));
    ASSERT_NO_THROW(Load(file));
    for (const ChunkInfo& c : SplitChunks(file)) {
        if (c.name == "IDAT") continue;  // see the decoding tests
        const size_t bytes = c.data.empty() ? 4 : c.data.size();
        for (size_t i = 0; i < bytes; ++i) {
            std::string bad = file;
            bad[c.offset + 8 + i] = static_cast<char>(bad[c.offset + 8 + i] ^ 1);  // data, or the CRC of IEND
            TPNGObject picture;
            EXPECT_EQ(LoadError(picture, bad), "EPngInvalidCRC") << c.name << " byte " << i;
        }
    }
}

TEST(PngChunks, HugeAndOverlongLengthsAreRefusedBeforeAllocation) {
    const std::string head = kSignature + Chunk("IHDR", IhdrData(2, 2, 8, 0));
    const std::string idat = Chunk("IDAT", Deflate(kGreyRows));
    for (uint32_t length : {0x80000000u, 0xFFFFFFF0u, 0x7FFFFFFFu, 1000u}) {
        SCOPED_TRACE(length);
        for (const char* name : {"tEXt", "IDAT", "PLTE", "cHRM", "zzzz"}) {
            TPNGObject picture;
            EXPECT_EQ(LoadError(picture, head + Be32(length) + name + std::string(20, 'x')), "EPngUnexpectedEnd")
                << name;
        }
        // An IDAT chunk that follows the first.
        const std::string packed = Deflate(kGreyRows);
        TPNGObject picture;
        EXPECT_EQ(LoadError(picture,
                            head + Chunk("IDAT", packed.substr(0, 4)) + Be32(length) + "IDAT" + std::string(20, 'x')),
                  "EPngUnexpectedEnd");
    }
    // A header whose pixels the rest of the file cannot hold: refused before its memory is made.
    for (auto [w, h] : {std::pair<uint32_t, uint32_t>{65535, 65535}, {65535, 20000}, {30000, 30000}}) {
        TPNGObject picture;
        EXPECT_EQ(LoadError(picture, kSignature + Chunk("IHDR", IhdrData(w, h, 16, 6)) + idat + Chunk("IEND", "")),
                  "EPngUnexpectedEnd");
    }
}

TEST(PngChunks, HeaderFieldsAreChecked) {
    struct Case {
        std::string ihdr;
        const char* error;
    };
    const Case cases[] = {
        {IhdrData(65536, 1, 1, 0), "EPNGSizeExceeds"},
        {IhdrData(1, 65536, 1, 0), "EPNGSizeExceeds"},
        {IhdrData(0xFFFFFFFF, 1, 1, 0), "EPNGSizeExceeds"},
        {IhdrData(2, 2, 8, 0).substr(0, 12), "EPngInvalidIHDR"},
        {IhdrData(2, 2, 8, 0) + "x", ""},
        {Be32(2) + Be32(2) + std::string("\x08\x00\x01\x00\x00", 5), "EPNGUnknownCompression"},
        {IhdrData(2, 2, 8, 0, 2), "EPNGUnknownInterlace"},
        {IhdrData(0, 2, 8, 0), "EPngInvalidIHDR"},
        {IhdrData(2, 0, 8, 0), "EPngInvalidIHDR"},
        {IhdrData(2, 2, 8, 5), "EPngInvalidIHDR"},
        {IhdrData(2, 2, 3, 0), "EPngInvalidIHDR"},
        {IhdrData(2, 2, 16, 3), "EPngInvalidIHDR"},
        {IhdrData(2, 2, 4, 2), "EPngInvalidIHDR"},
    };
    for (const Case& c : cases) {
        TPNGObject picture;
        EXPECT_EQ(LoadError(picture,
                            kSignature + Chunk("IHDR", c.ihdr) + Chunk("IDAT", Deflate(kGreyRows)) + Chunk("IEND", "")),
                  c.error)
            << c.error;
    }
    // 65535 is the largest size.
    std::string row(1 + 65535 / 8 + 1, '\0');
    auto wide = Load(MakePng(65535, 1, 1, 0, row));
    EXPECT_EQ(wide->GetWidth(), 65535);
}

TEST(PngChunks, PaletteSizes) {
    TPNGObject a, b;
    EXPECT_EQ(LoadError(a, PaletteFile(std::string(769, '\1'))), "EPNGInvalidPalette");
    EXPECT_EQ(LoadError(b, PaletteFile(std::string(771, '\1'))), "EPNGInvalidPalette");
    auto full = Load(PaletteFile(std::string(768, '\7')));
    EXPECT_EQ(Find<png::TChunkPLTE>(*full)->GetCount(), 256);
    auto two = Load(PaletteFile(std::string("\x10\x20\x30\x40\x50\x60", 6)));
    png::TChunkPLTE* plte = Find<png::TChunkPLTE>(*two);
    EXPECT_EQ(plte->GetCount(), 2);
    EXPECT_EQ(plte->EntryColor(1), 0x405060u);
    try {
        plte->EntryColor(2);
        ADD_FAILURE() << "no error";
    } catch (const png::EPngError& e) {
        EXPECT_STREQ(e.what(), png::EPNGUnknownPalEntryText);
    }
}

TEST(PngChunks, TransparencyChunkFlagsAndSizes) {
    struct Case {
        std::string alphas;
        bool single;
    };
    const Case cases[] = {{std::string("\xFF\x00\xFF", 3), true},
                          {std::string("\x80\xFF", 2), true},
                          {std::string("\x00\x00", 2), false},
                          {std::string("\xFF\xFF", 2), false}};
    for (const Case& c : cases) {
        auto picture = Load(PaletteFile(std::string(6, '\x22'), Chunk("tRNS", c.alphas)));
        png::TChunktRNS* trns = Find<png::TChunktRNS>(*picture);
        EXPECT_EQ(trns->GetSingleKey(), c.single) << c.alphas.size();
        EXPECT_EQ(trns->GetAlphaValues()[5], 255);
    }
    TPNGObject tooLong;
    EXPECT_EQ(LoadError(tooLong, PaletteFile(std::string(6, '\x22'), Chunk("tRNS", std::string(257, '\0')))),
              "EPNGInvalidPalette");

    // The colour key of grey pictures of every depth is the colour the key sample is drawn in.
    struct Grey {
        int depth;
        std::string rows, key;
        uint32_t colour;
    };
    const Grey greys[] = {{1, std::string("\0\x80", 2), std::string("\0\x01", 2), 0xFFFFFF},
                          {2, std::string("\0\x40", 2), std::string("\0\x01", 2), 0x555555},
                          {4, std::string("\0\x30", 2), std::string("\0\x03", 2), 0x333333},
                          {8, std::string("\0\x7F", 2), std::string("\0\x7F", 2), 0x7F7F7F},
                          {16, std::string("\0\x7F\x11", 3), std::string("\x7F\x11", 2), 0x7F7F7F}};
    for (const Grey& g : greys) {
        auto picture = Load(MakePng(1, 1, g.depth, 0, g.rows, Chunk("tRNS", g.key)));
        EXPECT_EQ(picture->TransparencyKind(), png::ptkColorKey);
        EXPECT_EQ(static_cast<uint32_t>(picture->ColorKey()), g.colour) << g.depth;
        EXPECT_EQ(static_cast<uint32_t>(picture->GetPixels(0, 0)), g.colour) << g.depth;
    }
    // A palette picture with tRNS but no PLTE answers black for its key.
    auto noPalette = Load(MakePng(1, 1, 8, 3, std::string("\0\0", 2), Chunk("tRNS", std::string("\0", 1))));
    EXPECT_EQ(noPalette->ColorKey(), 0);
}

TEST(PngChunks, SettingTheColourKey) {
    // Palette: the first entry of the colour is transparent, the entries before it opaque.
    auto picture = Load(PaletteFile(std::string("\x10\x20\x30\x40\x50\x60\x40\x50\x60", 9),
                                    Chunk("tRNS", std::string("\x80\x80\x80", 3))));
    png::TChunktRNS* trns = Find<png::TChunktRNS>(*picture);
    trns->SetColorKey(static_cast<cl::TColor>(win::RGB(0x40, 0x50, 0x60)));
    EXPECT_TRUE(trns->GetSingleKey());
    EXPECT_EQ(trns->GetDataSize(), 2);
    EXPECT_EQ(trns->GetAlphaValues()[0], 255);
    EXPECT_EQ(trns->GetAlphaValues()[1], 0);
    EXPECT_EQ(static_cast<uint32_t>(trns->ColorKey()), win::RGB(0x40, 0x50, 0x60));
    auto again = Load(Save(*picture));
    EXPECT_EQ(Find<png::TChunktRNS>(*again)->GetDataSize(), 2);
    EXPECT_EQ(again->TransparencyKind(), png::ptkColorKey);
    // A colour the palette lacks: index 0.
    trns->SetColorKey(0x123456);
    EXPECT_EQ(trns->GetDataSize(), 1);
    EXPECT_EQ(trns->GetAlphaValues()[0], 0);
    // Grey and RGB: the samples, 16 bits each.
    auto grey = Load(GreyFile(Chunk("tRNS", std::string("\0\x10", 2))));
    Find<png::TChunktRNS>(*grey)->SetColorKey(0x303030);
    EXPECT_EQ(Find<png::TChunktRNS>(*grey)->GetDataSize(), 2);
    EXPECT_EQ(static_cast<uint32_t>(grey->ColorKey()), 0x303030u);
    EXPECT_EQ(grey->GetPixels(0, 1), 0x303030) << "that grey is in the picture";
    auto rgb = Load(MakePng(1, 1, 8, 2, std::string("\0\1\2\3", 4), Chunk("tRNS", std::string(6, '\0'))));
    Find<png::TChunktRNS>(*rgb)->SetColorKey(static_cast<cl::TColor>(win::RGB(1, 2, 3)));
    const std::string saved = Save(*rgb);
    for (const ChunkInfo& c : SplitChunks(saved)) {
        if (c.name == "tRNS") {
            EXPECT_EQ(c.data, std::string("\0\1\0\2\0\3", 6));
        }
    }
    EXPECT_EQ(Load(saved)->ColorKey(), rgb->GetPixels(0, 0));
}

TEST(PngChunks, GammaChunk) {
    auto near = Load(GreyFile(Chunk("gAMA", Be32(45455))));
    EXPECT_EQ(Find<png::TChunkgAMA>(*near)->GetGammaValue(), 45455u);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(near->GammaTable[static_cast<size_t>(i)], i);
    auto zero = Load(GreyFile(Chunk("gAMA", Be32(0))));
    for (int i = 0; i < 256; ++i) EXPECT_EQ(zero->GammaTable[static_cast<size_t>(i)], i);
    // The value is unsigned: above 2^31 it is a (tiny-exponent) gamma, not a negative one.
    auto huge = Load(GreyFile(Chunk("gAMA", Be32(0xF0000000u))));
    EXPECT_EQ(Find<png::TChunkgAMA>(*huge)->GetGammaValue(), 0xF0000000u);
    EXPECT_EQ(huge->GammaTable[0], 0);
    EXPECT_EQ(huge->GammaTable[255], 255);
    EXPECT_GE(huge->GammaTable[128], 128);
    // Loading again starts from identity tables.
    auto linear = Load(GreyFile(Chunk("gAMA", Be32(100000))));
    EXPECT_EQ(linear->GammaTable[128], 186);
    cl::TStringStream plain(GreyFile());
    linear->LoadFromStream(&plain);
    EXPECT_EQ(linear->GammaTable[128], 128);
    // A new gAMA chunk holds 1.
    png::TChunkgAMA fresh(nullptr);
    EXPECT_EQ(fresh.GetGammaValue(), 1u);
}

TEST(PngChunks, TimeChunk) {
    auto picture = Load(GreyFile(Chunk("tIME", std::string("\x07\xDA\x0C\x1F\x17\x3B\x3A", 7))));
    png::TChunktIME* t = Find<png::TChunktIME>(*picture);
    EXPECT_EQ(t->Year, 2010);
    EXPECT_EQ(t->Month, 12);
    EXPECT_EQ(t->Day, 31);
    EXPECT_EQ(t->Second, 58);
    EXPECT_NE(Save(*picture).find(Chunk("tIME", std::string("\x07\xDA\x0C\x1F\x17\x3B\x3A", 7))), std::string::npos);
    auto odd = Load(GreyFile(Chunk("tIME", std::string("\x07\xDA", 2))));
    EXPECT_EQ(Find<png::TChunktIME>(*odd)->Year, 0);
}

TEST(PngChunks, TextChunks) {
    struct Case {
        const char* what;
        std::string chunk;
        std::string keyword, text;
    };
    const std::string long1000(1000, 'q');
    const Case cases[] = {
        {"tEXt", Chunk("tEXt", std::string("Title\0abc", 9)), "Title", "abc"},
        {"tEXt without text", Chunk("tEXt", std::string("Title\0", 6)), "Title", ""},
        {"tEXt without NUL", Chunk("tEXt", "Title"), "Title", ""},
        {"zTXt", Chunk("zTXt", std::string("Note\0\0", 6) + Deflate(long1000)), "Note", long1000},
        // Damaged zTXt: the text stays empty and nothing is raised.
        {"zTXt ending at its NUL", Chunk("zTXt", std::string("Note\0", 5)), "Note", ""},
        {"zTXt ending at its method byte", Chunk("zTXt", std::string("Note\0\0", 6)), "Note", ""},
        {"zTXt without NUL", Chunk("zTXt", "NoteNote"), "NoteNote", ""},
        {"zTXt of method 1", Chunk("zTXt", std::string("Note\0\1", 6) + Deflate("x")), "Note", ""},
        {"zTXt of bad data", Chunk("zTXt", std::string("Note\0\0garbage", 13)), "Note", ""},
        {"zTXt cut short", Chunk("zTXt", std::string("Note\0\0", 6) + Deflate(long1000).substr(0, 8)), "Note", ""},
        // Text that would inflate past the limit is none, and nothing near its size is made.
        {"zTXt at the limit", Chunk("zTXt", std::string("Note\0\0", 6) + Deflate(std::string(png::PNGMaxTextBytes, 'z'))),
         "Note", std::string(png::PNGMaxTextBytes, 'z')},
        {"zTXt one byte past the limit",
         Chunk("zTXt", std::string("Note\0\0", 6) + Deflate(std::string(png::PNGMaxTextBytes + 1, 'z'))), "Note", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto picture = Load(GreyFile(c.chunk));
        auto* t = Find<png::TChunktEXt>(*picture);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->Keyword, c.keyword);
        EXPECT_EQ(t->Text, c.text);
        // Written and read again.
        auto again = Load(Save(*picture));
        auto* u = Find<png::TChunktEXt>(*again);
        EXPECT_EQ(u->Keyword, c.keyword);
        EXPECT_EQ(u->Text, c.text.empty() && std::string(c.what).rfind("zTXt", 0) == 0 ? " " : c.text);
    }
}

TEST(PngChunks, ChunkCopiesNeedTheSameClass) {
    auto picture = Load(PaletteFile(std::string(6, '\x22'), Chunk("gAMA", Be32(45455))));
    png::TChunkIHDR header(picture.get());
    png::TChunkPLTE plte(picture.get());
    png::TChunkgAMA gamma(picture.get());
    png::TChunktEXt text(picture.get());
    const std::pair<png::TChunk*, png::TChunk*> wrong[] = {{&header, &plte}, {&plte, &gamma}, {&gamma, &text}};
    for (auto [target, source] : wrong) {
        try {
            target->CopyFrom(source);
            ADD_FAILURE() << "copied";
        } catch (const png::EPngError& e) {
            EXPECT_STREQ(e.what(), png::EPNGCannotAssignChunkText);
        }
    }
    gamma.CopyFrom(Find<png::TChunkgAMA>(*picture));
    EXPECT_EQ(gamma.GetGammaValue(), 45455u);
}

TEST(PngChunks, RegistryMapsNamesToClasses) {
    TPNGObject owner;
    const std::pair<const char*, const cl::TClass*> known[] = {
        {"IEND", &png::TChunkIEND::StaticClass()}, {"IHDR", &png::TChunkIHDR::StaticClass()},
        {"IDAT", &png::TChunkIDAT::StaticClass()}, {"PLTE", &png::TChunkPLTE::StaticClass()},
        {"gAMA", &png::TChunkgAMA::StaticClass()}, {"tRNS", &png::TChunktRNS::StaticClass()},
        {"tIME", &png::TChunktIME::StaticClass()}, {"tEXt", &png::TChunktEXt::StaticClass()},
        {"zTXt", &png::TChunkzTXt::StaticClass()}, {"iTXt", &png::TChunk::StaticClass()},
        {"ihdr", &png::TChunk::StaticClass()}};
    for (auto [name, cls] : known) {
        auto chunk = png::CreatePNGChunkByName(&owner, png::ChunkName(name));
        EXPECT_EQ(&chunk->ClassType(), cls) << name;
        EXPECT_EQ(chunk->GetNameText(), name);
        EXPECT_EQ(chunk->GetOwner(), &owner);
    }
}
