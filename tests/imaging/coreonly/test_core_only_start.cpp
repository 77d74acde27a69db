// A program that starts only the imaging core: the word tables are there in every
// language, no file format is registered, and every kind of load says so by an exception
// instead of leaving an empty picture.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_startup.h"
#include "imaging/core/iewords.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_registry.h"
#include "platform/codepage.h"

namespace ie {
namespace {

class CoreOnly : public ::testing::Test {
protected:
    void SetUp() override { IELibraryStaticInit(); }
    void TearDown() override { IELibraryStaticFinal(); }
};

TEST_F(CoreOnly, WordTablesAreFilled) {
    EXPECT_EQ(IEGetLocalizedWord(0, msEnglish), "Preview");
    EXPECT_EQ(IEGetLocalizedWord(37, msEnglish), "Parameters Preview");
    EXPECT_FALSE(IEGetLocalizedWord(37, msRussian).empty());
    EXPECT_NE(IEGetLocalizedWord(37, msRussian), IEGetLocalizedWord(37, msEnglish));
    EXPECT_EQ(IEGetLocalizedWord(0, msKorean), "미리보기");
}

TEST_F(CoreOnly, TheShutdownEmptiesTheWordTables) {
    IELibraryStaticFinal();
    EXPECT_EQ(IEGetLocalizedWord(0, msEnglish), "");
    IELibraryStaticInit();
    EXPECT_EQ(IEGetLocalizedWord(0, msEnglish), "Preview");
}

TEST_F(CoreOnly, LoadsWithoutRegisteredFormatsRaise) {
    ASSERT_EQ(IEFormatCount(), 0);
    std::ifstream in(std::string(LUMETRA_TEST_DATA) + "/ico/three.ico", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    const std::string file = std::string(LUMETRA_TEST_DATA) + "/ico/three.ico";
    const struct {
        const char* Name;
        void (*Load)(TVovozIdIO&, cl::TStream&, const std::string&);
    } loads[] = {
        {"stream, detected", [](TVovozIdIO& IO, cl::TStream& S, const std::string&) { IO.LoadFromStream(&S); }},
        {"stream, by type", [](TVovozIdIO& IO, cl::TStream& S, const std::string&) { IO.LoadFromStreamFormat(&S, ioICO); }},
        {"stream, the format's own", [](TVovozIdIO& IO, cl::TStream& S, const std::string&) { IO.LoadFromStreamICO(&S); }},
        {"file", [](TVovozIdIO& IO, cl::TStream&, const std::string& F) { IO.LoadFromFile(F); }},
        {"file, by type", [](TVovozIdIO& IO, cl::TStream&, const std::string& F) {
             IO.LoadFromFileFormat(win::Utf8ToUtf16(F), ioICO);
         }},
    };
    for (const auto& l : loads) {
        SCOPED_TRACE(l.Name);
        TVovozIdIO io(nullptr);
        cl::TStringStream s(bytes);
        try {
            l.Load(io, s, file);
            ADD_FAILURE() << "no exception; picture " << io.GetIEBitmap()->GetWidth() << " x "
                          << io.GetIEBitmap()->GetHeight();
        } catch (const cl::Exception& e) {
            EXPECT_NE(std::string(e.what()).find("No image file format is registered"), std::string::npos)
                << e.what();
        }
        EXPECT_TRUE(io.Aborting);
    }
}

}  // namespace
}  // namespace ie
