// EXIF helpers: recognising EXIF blocks, finding a TIFF header in a camera file, and the
// maker-note keeper reading notes of each layout and writing them back in it, with
// damaged notes failing cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/hyieutils_bytes.h"
#include "imaging/core/hyieutils_exif.h"
#include "metadata_support.h"

namespace ie::test {
namespace {

TEST(EXIFBlock, RecognisedByItsHeaderWithinItsLength) {
    const struct {
        const char* name;
        std::string bytes;
        int32_t length;
        bool exif;
    } cases[] = {
        {"header and structure", std::string("Exif\0\0MM\0*", 10), 10, true},
        {"header alone", std::string("Exif\0\0", 6), 6, true},
        {"header cut by the length", std::string("Exif\0\0", 6), 5, false},
        {"text goes on", std::string("Exifx\0", 6), 6, false},
        {"other text", std::string("http:/", 6), 6, false},
    };
    for (const auto& c : cases) EXPECT_EQ(IEIsEXIFBlock(c.bytes.data(), c.length), c.exif) << c.name;
    EXPECT_FALSE(IEIsEXIFBlock(nullptr, 10));
}

TEST(EXIFBlock, FindTIFFHeaderSkipsHeadersWhoseDirectoryLiesBeyond) {
    ByteWriter w(true);
    w.Text("junk junk junk !");            // 16 bytes
    w.Text("MM").U16(42).U32(0x00100000);  // at 16: directory beyond the stream
    w.Text("II").U16(43).U32(8);           // at 24: not a version we know
    w.Text("xxxx");
    w.Text("MM").U16(42).U32(8);  // at 36: the one
    w.Zeros(20);
    cl::TStringStream s(std::string(w.B.begin(), w.B.end()));
    s.SetPosition(0);
    EXPECT_EQ(IEFindTIFFHeader(&s), 36);
    EXPECT_EQ(s.GetPosition(), 0);
    // Relative to the position it starts from.
    s.SetPosition(30);
    EXPECT_EQ(IEFindTIFFHeader(&s), 6);
    EXPECT_EQ(s.GetPosition(), 30);
    // The other signatures of camera files.
    ByteWriter r(false);
    r.Text("..").Text("II").U16(0x4F52).U32(8).Zeros(8);
    cl::TStringStream rs(std::string(r.B.begin(), r.B.end()));
    EXPECT_EQ(IEFindTIFFHeader(&rs), 2);
    cl::TStringStream none(std::string(4000, 'M'));
    none.SetPosition(7);
    EXPECT_EQ(IEFindTIFFHeader(&none), -1);
    EXPECT_EQ(none.GetPosition(), 7);
    cl::TStringStream empty{std::string()};
    EXPECT_EQ(IEFindTIFFHeader(&empty), -1);
}

// ---------------------------------------------------------------------------------------
// Maker notes

// The entries of a handler as tag, type, count and their value bytes (native order).
struct Seen {
    uint16_t tag, type;
    uint32_t count;
    Bytes data;
    bool operator==(const Seen&) const = default;
};
std::vector<Seen> Look(const TIETagsHandler& H) {
    std::vector<Seen> out;
    for (int32_t i = 0; i < H.GetEntryCount(); ++i) {
        const auto& e = H.GetEntry(i);
        out.push_back({e.Tag, e.Type, e.Count, H.GetEntryData(i)});
    }
    return out;
}

Bytes LE(std::initializer_list<uint32_t> Words32) {
    Bytes b;
    for (uint32_t v : Words32)
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return b;
}

// A stream holding Prefix bytes, then the note.
void ReadNote(TIETagsHandler& H, const Bytes& Note, size_t Prefix, bool LittleEndian) {
    std::string s(Prefix, '\0');
    s.append(Note.begin(), Note.end());
    cl::TStringStream st(s);
    st.SetPosition(static_cast<int64_t>(Prefix));
    H.ReadFromStream(&st, static_cast<int32_t>(Note.size()), LittleEndian);
}

Bytes Written(TIETagsHandler& H, size_t Prefix, int32_t* Result = nullptr) {
    cl::TMemoryStream m;
    const Bytes pad(Prefix, 0);
    if (Prefix) m.WriteBuffer(pad.data(), static_cast<int64_t>(Prefix));
    const int32_t n = H.WriteToStream(&m);
    if (Result) *Result = n;
    const auto* p = static_cast<const uint8_t*>(m.GetMemory());
    return Bytes(p + Prefix, p + m.GetSize());
}

// A Nikon type-3 note: signature, "MM" header, entries big-endian, offsets from the header.
Bytes NikonNote() {
    ByteWriter w(true);
    w.Text(std::string("Nikon\0\x02\x10\0\0", 10));
    w.Text("MM").U16(42).U32(8);
    w.U16(3);
    w.U16(0x0001).U16(7).U32(4).Text("0210");
    w.U16(0x0002).U16(3).U32(2).U16(0).U16(200);
    w.U16(0x0084).U16(5).U32(2).U32(8 + 2 + 36 + 4);  // two rationals behind the IFD
    w.U32(0);
    w.U32(180).U32(10).U32(550).U32(10);
    return w.B;
}

TEST(MakerNote, NikonNoteIsReadBigEndianAndWrittenBackWithHeaderOffset8) {
    TIETagsHandler h;
    ReadNote(h, NikonNote(), 300, true);
    ASSERT_EQ(h.DeviceInfo.HeaderKind, 1);
    ASSERT_EQ(h.GetEntryCount(), 3);
    const std::vector<Seen> expected = {
        {1, 7, 4, Bytes{'0', '2', '1', '0'}},
        {2, 3, 2, Bytes{0, 0, 200, 0}},
        {0x84, 5, 2, LE({180, 10, 550, 10})},
    };
    EXPECT_EQ(Look(h), expected);
    EXPECT_EQ(h.GetRawSize(), static_cast<int32_t>(NikonNote().size()));
    int32_t n = 0;
    const Bytes out = Written(h, 1000, &n);
    ASSERT_EQ(n, static_cast<int32_t>(out.size()));
    ASSERT_GE(out.size(), 18u);
    EXPECT_EQ(std::memcmp(out.data(), "Nikon\0\x02\x10\0\0MM", 12), 0);
    EXPECT_EQ(IEGetU32BE(out.data() + 14), 8u);
    // Read again at another place: the same entries.
    TIETagsHandler again;
    ReadNote(again, out, 7, false);
    EXPECT_EQ(Look(again), expected);
}

TEST(MakerNote, FujifilmNoteTakesItsDirectoryFromTheOffsetAfterTheSignature) {
    ByteWriter w(false);
    w.Text("FUJIFILM").U32(12);
    w.U16(2);
    w.U16(0x0000).U16(7).U32(4).Text("0130");
    w.U16(0x1000).U16(2).U32(8).U32(12 + 2 + 24 + 4);
    w.U32(0);
    w.Text("NORMAL ").U8(0);
    const std::vector<Seen> expected = {{0, 7, 4, Bytes{'0', '1', '3', '0'}},
                                        {0x1000, 2, 8, Bytes{'N', 'O', 'R', 'M', 'A', 'L', ' ', 0}}};
    for (bool fileLittle : {true, false}) {
        TIETagsHandler h;
        ReadNote(h, w.B, 64, fileLittle);
        EXPECT_EQ(Look(h), expected) << fileLittle;
        TIETagsHandler again;
        ReadNote(again, Written(h, 5), 3, !fileLittle);
        EXPECT_EQ(Look(again), expected) << fileLittle;
    }
}

TEST(MakerNote, BigEndianMakersAreWrittenBigEndian) {
    // A QVC note reads big-endian whatever the file's order, and is written so.
    ByteWriter w(true);
    w.Text(std::string("QVC\0\0\0", 6)).U16(2);
    w.U16(1).U16(3).U32(1).U16(0x1234).U16(0);
    w.U16(2).U16(4).U32(2).U32(6 + 2 + 24 + 4);
    w.U32(0).U32(0xDEADBEEF).U32(7);
    TIETagsHandler h;
    ReadNote(h, w.B, 0, true);
    const std::vector<Seen> expected = {{1, 3, 1, Bytes{0x34, 0x12}}, {2, 4, 2, LE({0xDEADBEEF, 7})}};
    ASSERT_EQ(Look(h), expected);
    const Bytes out = Written(h, 0);
    ASSERT_GE(out.size(), 8u);
    EXPECT_EQ(IEGetU16BE(out.data() + 6), 2);
    TIETagsHandler again;
    ReadNote(again, out, 0, true);
    EXPECT_EQ(Look(again), expected);
}

TEST(MakerNote, UnknownMakersUseAbsoluteOffsetsAndTheFilesOrder) {
    // No signature: the IFD at the note's start, offsets counted in the enclosing data.
    const size_t at = 40;
    for (bool little : {true, false}) {
        ByteWriter w(!little);
        w.U16(2);
        w.U16(0x0010).U16(12).U32(1).U32(static_cast<uint32_t>(at + 2 + 24 + 4));  // one DOUBLE, out of line
        w.U16(0x0011).U16(4).U32(1).U32(0xA1B2C3D4);
        w.U32(0);
        double d = 2.5;
        uint64_t u;
        std::memcpy(&u, &d, 8);
        if (little)
            w.U32(static_cast<uint32_t>(u)).U32(static_cast<uint32_t>(u >> 32));
        else
            w.U32(static_cast<uint32_t>(u >> 32)).U32(static_cast<uint32_t>(u));
        TIETagsHandler h;
        ReadNote(h, w.B, at, little);
        ASSERT_EQ(h.GetEntryCount(), 2) << little;
        const Bytes v = h.GetEntryData(0);
        ASSERT_EQ(v.size(), 8u);
        double back;
        std::memcpy(&back, v.data(), 8);
        EXPECT_EQ(back, 2.5);
        EXPECT_EQ(IEGetU32LE(h.GetEntryData(1).data()), 0xA1B2C3D4u);
        // Written at 100: the DOUBLE stands out of line at an absolute offset.
        const Bytes out = Written(h, 100);
        ASSERT_GE(out.size(), 2u + 24 + 4 + 8);
        const uint32_t off = IEGetU32LE(out.data() + 2 + 8);
        ASSERT_GE(off, 100u);
        ASSERT_LE(off - 100 + 8, out.size());
        double written;
        std::memcpy(&written, out.data() + (off - 100), 8);
        EXPECT_EQ(written, 2.5);
    }
}

TEST(MakerNote, DamagedNotesFailCleanly) {
    struct Case {
        const char* name;
        Bytes note;
        int32_t entries;  // -1: cleared
    };
    ByteWriter tooMany(false), countBeyondSize(false), outside(false), hugeFujiOffset(false), shortNote(false);
    tooMany.U16(257).Zeros(257 * 12 + 4);
    countBeyondSize.U16(20).Zeros(40);
    outside.U16(1).U16(1).U16(2).U32(100).U32(0x7FFFFFFF).U32(0);
    hugeFujiOffset.Text("FUJIFILM").U32(0xFFFFFFF0).Zeros(30);
    shortNote.U8(1);
    const Case cases[] = {
        {"more than 256 entries", tooMany.B, -1},
        {"more entries than the size holds", countBeyondSize.B, -1},
        {"data outside the note", outside.B, 1},
        {"directory offset beyond the note", hugeFujiOffset.B, -1},
        {"one byte", shortNote.B, -1},
    };
    for (const auto& c : cases) {
        TIETagsHandler h;
        ReadNote(h, c.note, 0, true);
        if (c.entries < 0) {
            EXPECT_EQ(h.GetEntryCount(), 0) << c.name;
            EXPECT_EQ(h.GetRawSize(), 0) << c.name;
        } else {
            ASSERT_EQ(h.GetEntryCount(), c.entries) << c.name;
            EXPECT_EQ(h.GetEntry(0).Count, 0u) << c.name;
            EXPECT_EQ(h.GetEntry(0).Value, 0u) << c.name;
        }
    }
    // Every cut of a good note: cleared, or entries that are a part of the whole.
    const Bytes whole = NikonNote();
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        TIETagsHandler h;
        ReadNote(h, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)), 3, true);
        EXPECT_LE(h.GetEntryCount(), 3) << cut;
        Written(h, 0);
    }
    // A size beyond what the stream holds reads what is there.
    TIETagsHandler h;
    cl::TStringStream st(std::string(whole.begin(), whole.end()));
    h.ReadFromStream(&st, 0x7FFFFFFF, true);
    EXPECT_EQ(h.GetEntryCount(), 3);
}

TEST(MakerNote, NotesOf65001BytesOrMoreAreNotWritten) {
    // An unknown maker's note holding one long UNDEFINED value.
    ByteWriter w(false);
    const uint32_t len = 65100;
    w.U16(1).U16(0x0100).U16(7).U32(len).U32(2 + 12 + 4).U32(0).Zeros(len);
    TIETagsHandler h;
    ReadNote(h, w.B, 0, true);
    ASSERT_EQ(h.GetEntryCount(), 1);
    cl::TMemoryStream m;
    m.WriteBuffer("abc", 3);
    EXPECT_EQ(h.WriteToStream(&m), 0);
    EXPECT_EQ(m.GetPosition(), 3);
    EXPECT_EQ(m.GetSize(), 3);
}

TEST(MakerNote, AssignCopiesAndClearForgets) {
    TIETagsHandler h;
    ReadNote(h, NikonNote(), 0, true);
    TIETagsHandler copy;
    copy.Assign(&h);
    EXPECT_EQ(Look(copy), Look(h));
    EXPECT_EQ(copy.DeviceInfo.HeaderKind, 1);
    EXPECT_EQ(copy.GetRawSize(), h.GetRawSize());
    h.Clear();
    EXPECT_EQ(h.GetEntryCount(), 0);
    EXPECT_EQ(h.GetIFD()->GetSize(), 0);
    EXPECT_EQ(h.DeviceInfo.Signature.size(), 0u);
    EXPECT_EQ(copy.GetEntryCount(), 3);
    EXPECT_EQ(copy.IndexOfTag(0x84), 2);
    EXPECT_EQ(copy.IndexOfTag(0x99), -1);
}

}  // namespace
}  // namespace ie::test
