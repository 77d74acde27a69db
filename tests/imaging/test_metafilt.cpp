// The metafile probes: enhanced metafiles written by fig2dev and pstoedit, a Windows
// metafile with and without its placeable header, headers of other types, short streams,
// and the stream position after each answer.
#include <gtest/gtest.h>

#include <string>

#include "formats_testutil.h"
#include "imaging/formats/metafilt.h"

namespace ie::test {
namespace {

struct Probed {
    bool EMF, WMF;
};

// Both probes on Bytes behind Lead bytes of something else, the stream standing after the
// lead; each must leave it there.
Probed Probe(const std::vector<uint8_t>& Bytes, size_t Lead = 0) {
    std::vector<uint8_t> all(Lead, 0xEE);
    all.insert(all.end(), Bytes.begin(), Bytes.end());
    auto s = MemStream(all);
    s->Seek(static_cast<int64_t>(Lead), cl::soBeginning);
    Probed r{};
    r.EMF = IEIsEMFStream(s.get());
    EXPECT_EQ(s->GetPosition(), static_cast<int64_t>(Lead));
    r.WMF = IEIsWMFStream(s.get());
    EXPECT_EQ(s->GetPosition(), static_cast<int64_t>(Lead));
    return r;
}

TEST(MetafileProbe, RealHeaders) {
    struct Case {
        const char* File;
        bool EMF, WMF;
    } cases[] = {
        {"line.emf", true, false},  {"stroke.emf", true, false}, {"placeable.wmf", false, true},
        {"plain.wmf", false, true}, {"disk.wmf", false, false},  // a header of type 2
    };
    for (const Case& c : cases)
        for (size_t lead : {size_t{0}, size_t{5}}) {
            SCOPED_TRACE(std::string(c.File) + " after " + std::to_string(lead));
            auto bytes = ReadBytes(FixturePath("metafile", c.File));
            const Probed r = Probe(bytes, lead);
            EXPECT_EQ(r.EMF, c.EMF);
            EXPECT_EQ(r.WMF, c.WMF);
        }
    // Other formats' files are no metafiles.
    for (const auto& [area, file] : {std::pair{"png", "grey8.png"}, std::pair{"bmp", "pal4.bmp"}}) {
        const Probed r = Probe(ReadBytes(FixturePath(area, file)));
        EXPECT_FALSE(r.EMF || r.WMF) << file;
    }
}

TEST(MetafileProbe, FieldsThatDecide) {
    const auto emf = ReadBytes(FixturePath("metafile", "line.emf"));
    const auto wmf = ReadBytes(FixturePath("metafile", "placeable.wmf"));
    struct Case {
        const char* Name;
        bool Emf;       // change the EMF, else the placeable WMF
        size_t Offset;  // the byte changed
        bool Still;     // still recognised
        // clang-format off
    } cases[] = {
        {"EMF record type", true, 0, false},  {"EMF signature", true, 41, false},
        {"EMF header size", true, 4, true},   {"placeable key", false, 0, false},
        {"WMF type", false, 22, false},       {"WMF header size", false, 24, false},
        {"WMF version", false, 26, true},     {"WMF parameter count", false, 38, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        auto bytes = c.Emf ? emf : wmf;
        bytes[c.Offset] ^= 0x10;
        const Probed r = Probe(bytes);
        EXPECT_EQ(c.Emf ? r.EMF : r.WMF, c.Still);
    }
}

TEST(MetafileProbe, ShortStreamsAreNoMetafiles) {
    // Cut before the end of the bytes a probe reads: 100 for enhanced metafiles, 20 and the
    // 18 of the metafile header (behind 22 placeable bytes) for Windows metafiles.
    const auto emf = ReadBytes(FixturePath("metafile", "stroke.emf"));
    const auto placeable = ReadBytes(FixturePath("metafile", "placeable.wmf"));
    const auto plain = ReadBytes(FixturePath("metafile", "plain.wmf"));
    for (size_t n = 0; n < 100; ++n) EXPECT_FALSE(Probe({emf.begin(), emf.begin() + static_cast<long>(n)}).EMF) << n;
    EXPECT_TRUE(Probe({emf.begin(), emf.begin() + 100}).EMF);
    for (size_t n = 0; n < 40; ++n)
        EXPECT_FALSE(Probe({placeable.begin(), placeable.begin() + static_cast<long>(n)}).WMF) << n;
    EXPECT_TRUE(Probe({placeable.begin(), placeable.begin() + 40}).WMF);
    for (size_t n = 0; n < 20; ++n) EXPECT_FALSE(Probe({plain.begin(), plain.begin() + static_cast<long>(n)}).WMF) << n;
    EXPECT_TRUE(Probe({plain.begin(), plain.begin() + 20}).WMF);
}

TEST(MetafileProbe, FormatDetectionFindsThem) {
    VovozIdIOStaticInit();
    IERegisterFormatsCodecs();
    for (const auto& [file, type] : {std::pair{"line.emf", ioEMF}, std::pair{"stroke.emf", ioEMF},
                                     std::pair{"placeable.wmf", ioWMF}, std::pair{"plain.wmf", ioWMF}}) {
        auto s = MemStream(ReadBytes(FixturePath("metafile", file)));
        EXPECT_EQ(IEFindStreamFormat(s.get()), type) << file;
        EXPECT_EQ(s->GetPosition(), 0);
    }
    auto s = MemStream(ReadBytes(FixturePath("metafile", "disk.wmf")));
    EXPECT_NE(IEFindStreamFormat(s.get()), ioWMF);
    VovozIdIOStaticFinal();
}

}  // namespace
}  // namespace ie::test
