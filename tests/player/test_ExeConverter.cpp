#include <gtest/gtest.h>

#include "classlib/Classes.h"
#include "player/zb_ExeConverter.h"

using namespace player;

namespace {

std::string Trailer(int64_t offset) {
    std::string t(8, '\0');
    for (int i = 0; i < 8; ++i) t[i] = static_cast<char>((static_cast<uint64_t>(offset) >> (8 * i)) & 0xFF);
    return t;
}

}  // namespace

TEST(ReadShowFromExe, FindsTheDocumentThroughTheTrailer) {
    std::string image = "MZ executable image bytes";
    std::string data = "JPEGDATA";
    std::string doc = "<LumetraProject><Slide><StartPos>25</StartPos><EndPos>33</EndPos></Slide></LumetraProject>";
    std::string file = image + data + doc + Trailer(static_cast<int64_t>(image.size() + data.size()));
    cl::TStringStream s(file);
    TSlideShow show;
    std::string error = "untouched";
    ReadShowFromExe(&show, &s, error);
    EXPECT_EQ(error, "untouched");
    ASSERT_EQ(show.SlideCount(), 1);
    EXPECT_EQ(file.substr(show.GetSlide(0)->StartPos, show.GetSlide(0)->EndPos - show.GetSlide(0)->StartPos), data);
}

TEST(ReadShowFromExe, OffsetsOutsideTheFileGiveTheSizeMessage) {
    const std::string body(100, 'x');
    struct Case {
        int64_t offset;
        const char* tail;
    } cases[] = {{0, "(0)"}, {-5, "(-5)"}, {108, "(108)"}, {1000, "(1000)"}, {INT64_MIN, "(-9223372036854775808)"}};
    for (const auto& c : cases) {
        cl::TStringStream s(body + Trailer(c.offset));
        TSlideShow show;
        std::string error;
        ReadShowFromExe(&show, &s, error);
        EXPECT_EQ(error, std::string("Неверный размер слайд-шоу!\r") + c.tail);
    }
}

TEST(ReadShowFromExe, ShortStreamsReadAsOffsetZero) {
    for (size_t n = 0; n < 8; ++n) {
        cl::TStringStream s(std::string(n, '\x05'));
        TSlideShow show;
        std::string error;
        ReadShowFromExe(&show, &s, error);
        EXPECT_EQ(error, "Неверный размер слайд-шоу!\r(0)") << n;
    }
}

TEST(ReadShowFromExe, MissingArguments) {
    cl::TStringStream s("x");
    TSlideShow show;
    std::string error;
    ReadShowFromExe(nullptr, &s, error);
    EXPECT_EQ(error, "Невозможно прочитать, неверные параметры");
    error.clear();
    ReadShowFromExe(&show, nullptr, error);
    EXPECT_EQ(error, "Невозможно прочитать, неверные параметры");
}

TEST(ReadShowFromExe, OffsetIntoTheTrailerRaisesTheFormatException) {
    // The offset points at the last byte before the trailer: the document text is that
    // byte and the trailer's bytes up to the first zero byte.
    std::string body(50, 'x');
    cl::TStringStream s(body + Trailer(49));
    TSlideShow show;
    std::string error;
    EXPECT_THROW(ReadShowFromExe(&show, &s, error), cl::Exception);
    EXPECT_TRUE(error.empty());
}
