// Releasing the acquisition state: the proxy window and the source-manager library go when
// a component's acquisition settings go, each step logged in two lines when a log is set;
// the video extensions of the library's start-up.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <string>

#include "imaging/io/ietwain.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_startup.h"
#include "platform/kernel.h"
#include "platform/user.h"
#include "platform/user_testhooks.h"
#include "vovozidio_testcodec.h"

namespace ie::test {
namespace {

class TWainReleaseTest : public IOUnitTest {
protected:
    void SetUp() override {
        IOUnitTest::SetUp();
        win::test::ResetUser(320, 240);
        win::WNDCLASSA wc{};
        wc.lpfnWndProc = win::DefWindowProcA;
        wc.lpszClassName = "TWainProxyTest";
        win::RegisterClassA(&wc);
        log_ = folder_ + "/twain.log";
    }
    void TearDown() override {
        IETWCloseLog();
        win::test::ResetUser(320, 240);
        IOUnitTest::TearDown();
    }
    static win::HWND MakeWindow() {
        return win::CreateWindowExA(0, "TWainProxyTest", "", win::WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                    nullptr);
    }
    // A library loaded from its file (the compression library this program links).
    static win::HMODULE LoadAFileLibrary() {
        Dl_info info{};
        if (!dladdr(reinterpret_cast<void*>(&zlibVersion), &info) || !info.dli_fname) return nullptr;
        return win::LoadLibraryA(info.dli_fname);
    }
    std::vector<std::string> LogLines() {
        std::ifstream in(log_);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) {
            if (!l.empty() && l.back() == '\r') l.pop_back();
            // "date time : message"
            const size_t at = l.find(" : ");
            lines.push_back(at == std::string::npos ? l : l.substr(at + 3));
        }
        return lines;
    }
    std::string log_;
};

TEST_F(TWainReleaseTest, NothingAcquiredNothingReleasedNothingLogged) {
    IETWainLogName = log_;
    {
        TVovozIdIO io(nullptr);
        EXPECT_EQ(io.TWainParams().Shared.DSMLibrary, nullptr);
    }
    EXPECT_FALSE(std::ifstream(log_).good());
    IETWainLogName.clear();
}

TEST_F(TWainReleaseTest, TheComponentsEndReleasesWindowAndLibrary) {
    IETWainLogName = log_;
    win::HWND proxy = MakeWindow();
    ASSERT_NE(proxy, nullptr);
    win::HMODULE lib = LoadAFileLibrary();
    ASSERT_NE(lib, nullptr);
    {
        TVovozIdIO io(nullptr);
        TIETWainShared& s = io.TWainParams().Shared;
        s.ProxyWindow = proxy;
        s.DSMLibrary = lib;
        s.DSMEntry = reinterpret_cast<void*>(win::GetProcAddress(lib, "zlibVersion"));
        ASSERT_NE(s.DSMEntry, nullptr);
    }
    EXPECT_FALSE(win::IsWindow(proxy));
    // The only reference went: the handle is stale.
    EXPECT_EQ(win::GetProcAddress(lib, "zlibVersion"), nullptr);
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{"DestroyProxyWindow", "  DestroyProxyWindow : destroyed",
                                        "IETW_UnloadSourceManager", "  IETW_UnloadSourceManager : Unload OK"}));
    IETWainLogName.clear();
}

TEST_F(TWainReleaseTest, AWindowThatIsGoneIsForgotten) {
    win::HWND proxy = MakeWindow();
    win::DestroyWindow(proxy);
    TIETWainShared s;
    s.ProxyWindow = proxy;
    IETWReleaseAllOf(s, nullptr);
    EXPECT_EQ(s.ProxyWindow, nullptr);
}

TEST_F(TWainReleaseTest, StepsWithoutForce) {
    IETWainLogName = log_;
    TIETWainShared s;
    win::HWND proxy = MakeWindow();
    s.ProxyWindow = proxy;
    s.DSMLibrary = reinterpret_cast<void*>(0x1234);  // never freed without force
    TIETWReleaseRec rec = IETWMakeReleaseRec(s, proxy);
    EXPECT_EQ(rec.State, 2);
    EXPECT_EQ(rec.ParentWindow, proxy);
    IETWDestroyProxyWindow(rec, false);
    EXPECT_TRUE(win::IsWindow(proxy));
    EXPECT_EQ(s.ProxyWindow, proxy);
    EXPECT_TRUE(IETWUnloadSourceManager(rec, false));
    EXPECT_EQ(rec.State, 1);
    EXPECT_EQ(s.DSMLibrary, reinterpret_cast<void*>(0x1234));  // kept for a later session
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "DestroyProxyWindow", "  DestroyProxyWindow : not destroyed, for future uses",
                              "IETW_UnloadSourceManager", "  IETW_UnloadSourceManager not Unloaded, for future uses"}));
    win::DestroyWindow(proxy);
    IETWainLogName.clear();
}

TEST_F(TWainReleaseTest, TheIdentityOfARelease) {
    TIETWainShared s;
    const TIETWReleaseRec rec = IETWMakeReleaseRec(s, nullptr);
    EXPECT_EQ(rec.State, 1);
    EXPECT_EQ(rec.Shared, &s);
    const TIETWIdentity& id = rec.Identity;
    EXPECT_EQ(id.Id, 0u);
    EXPECT_EQ(id.MajorNum, 1);
    EXPECT_EQ(id.MinorNum, 0);
    EXPECT_EQ(id.Language, 0xFFFF);
    EXPECT_EQ(id.Country, 1);
    EXPECT_EQ(id.ProtocolMajor, 1);
    EXPECT_EQ(id.ProtocolMinor, 9);
    EXPECT_EQ(id.SupportedGroups, 3u);
    for (const char* f : {id.Info, id.Manufacturer, id.ProductFamily, id.ProductName}) {
        EXPECT_EQ(f[0], ' ');
        for (int i = 1; i < 34; ++i) EXPECT_EQ(f[i], 0);
    }
}

TEST_F(TWainReleaseTest, WithoutALogNameNothingIsWritten) {
    IETWainLogName.clear();
    IETWLog("x");
    EXPECT_FALSE(std::ifstream(log_).good());
    // A log that cannot be opened is ignored.
    IETWainLogName = folder_ + "/no/such/folder/log";
    IETWLog("x");
    IETWainLogName.clear();
}

TEST_F(TWainReleaseTest, VideoExtensionsLiveWithTheUnit) {
    EXPECT_EQ(IEVideoExtensions, "mpg,mpeg,wmv,avi");
    VovozIdIOStaticFinal();
    EXPECT_TRUE(IEVideoExtensions.empty());
    VovozIdIOStaticInit();
    EXPECT_EQ(IEVideoExtensions, "mpg,mpeg,wmv,avi");
}

}  // namespace
}  // namespace ie::test
