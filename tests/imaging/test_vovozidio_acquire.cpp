// The component's side of acquisition and dialogs: the parameters dialog entry, the image
// acquisition and video glue made on first use, the mono-conversion and preview settings.
#include <gtest/gtest.h>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/io/ieds.h"
#include "imaging/io/iewia.h"
#include "vovozidio_fakeview.h"
#include "vovozidio_testcodec.h"

namespace ie::test {
namespace {

class AcquireTest : public IOUnitTest {
protected:
    void SetUp() override {
        IOUnitTest::SetUp();
        saved_ = IEIOExtensionHooks().DoPreviews;
    }
    void TearDown() override {
        IEIOExtensionHooks().DoPreviews = saved_;
        IOUnitTest::TearDown();
    }
    std::function<bool(TVovozIdIO*, uint16_t, TIEBitmap*)> saved_;
};

TEST_F(AcquireTest, AHandlerThatHandlesThePreviewsShowsNothing) {
    TVovozIdIO io(nullptr);
    int shown = 0;
    IEIOExtensionHooks().DoPreviews = [&](TVovozIdIO*, uint16_t, TIEBitmap*) { return ++shown, false; };
    io.OnDoPreviews = [](cl::TObject*, bool& Handled) { Handled = true; };
    EXPECT_TRUE(io.DoPreviews(ppJPEG));
    EXPECT_EQ(shown, 0);
}

TEST_F(AcquireTest, WithoutADialogThereIsNothingToConfirm) {
    TVovozIdIO io(nullptr);
    IEIOExtensionHooks().DoPreviews = nullptr;
    io.GetIEBitmap()->Allocate(4, 4, ie24RGB);
    EXPECT_FALSE(io.DoPreviews(ppJPEG));
}

// The dialog sees a 24-bit (or 1-bit) picture; the caller's picture keeps its format.
TEST_F(AcquireTest, TheDialogGetsAConvertedCopy) {
    struct Case {
        TIEPixelFormat Format;
        TIEPixelFormat Shown;
        bool Copy;
    };
    const Case cases[] = {{ie16g, ie24RGB, true},
                          {ie8g, ie24RGB, true},
                          {ie32RGB, ie24RGB, true},
                          {ie24RGB, ie24RGB, false},
                          {ie1g, ie1g, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Format));
        TVovozIdIO io(nullptr);
        io.GetIEBitmap()->Allocate(6, 3, c.Format);
        io.GetIEBitmap()->Fill(0);
        TIEBitmap* seen = nullptr;
        TIEPixelFormat seenFormat = ieNone;
        uint16_t pages = 0;
        IEIOExtensionHooks().DoPreviews = [&](TVovozIdIO* IO, uint16_t P, TIEBitmap* Shown) {
            EXPECT_EQ(IO, &io);
            seen = Shown;
            seenFormat = Shown->GetPixelFormat();
            EXPECT_EQ(Shown->GetWidth(), 6);
            EXPECT_EQ(Shown->GetHeight(), 3);
            pages = P;
            return true;
        };
        EXPECT_TRUE(io.DoPreviews(ppJPEG | ppPNG));
        EXPECT_EQ(pages, ppJPEG | ppPNG);
        EXPECT_EQ(seenFormat, c.Shown);
        EXPECT_EQ(seen == io.GetIEBitmap(), !c.Copy);
        EXPECT_EQ(io.GetIEBitmap()->GetPixelFormat(), c.Format);
    }
}

TEST_F(AcquireTest, TheDialogsAnswerIsTheResult) {
    TVovozIdIO io(nullptr);
    io.GetIEBitmap()->Allocate(2, 2, ie24RGB);
    IEIOExtensionHooks().DoPreviews = [](TVovozIdIO*, uint16_t, TIEBitmap*) { return false; };
    EXPECT_FALSE(io.DoPreviews(ppJPEG));
}

TEST_F(AcquireTest, MonoConversionGoesToTheBitmapToo) {
    TVovozIdIO io(nullptr);
    EXPECT_EQ(io.MonoConversion, 1);
    io.SetMonoConversion(0);
    EXPECT_EQ(io.MonoConversion, 0);
    EXPECT_EQ(io.GetIEBitmap()->MonoConversion, 0);
}

TEST_F(AcquireTest, PreviewSettingsAndPrintPreviewDefaults) {
    TVovozIdIO io(nullptr);
    io.SetPreviewsParams(ioppApplyButton);
    EXPECT_EQ(io.GetPreviewsParams(), ioppApplyButton);
    cl::TFont font;
    font.SetSize(17);
    io.SetPreviewFont(&font);
    EXPECT_NE(io.PreviewFont(), &font);  // copied, not taken over
    EXPECT_EQ(io.PreviewFont()->GetSize(), 17);
    const TIOPrintPreviewParams& p = io.PrintPreviewParams();
    EXPECT_EQ(p.MarginTop, 1.0);
    EXPECT_EQ(p.MarginLeft, 1.0);
    EXPECT_EQ(p.MarginRight, 1.0);
    EXPECT_EQ(p.MarginBottom, 1.0);
    EXPECT_EQ(p.Position, 4);
    EXPECT_EQ(p.Size, 1);
    EXPECT_EQ(p.Width, -1.0);
    EXPECT_EQ(p.Height, -1.0);
    EXPECT_EQ(p.Gamma, 1.0);
}

TEST_F(AcquireTest, VideoGlueWithoutAViewHasNoNotifyWindow) {
    TVovozIdIO io(nullptr);
    EXPECT_EQ(io.GetSpareDirectShow(), nullptr);
    io.ReleaseSpareDirectShow();  // nothing to release
    TIEDirectShow* ds = io.GetDirectShow();
    ASSERT_NE(ds, nullptr);
    EXPECT_EQ(io.GetDirectShow(), ds);
    EXPECT_EQ(ds->GetNotifyWindow(), nullptr);
    EXPECT_EQ(ds->GetNewFrameMessage(), 0u);
    io.UpdateDirectShowNotifyWindow();  // no view: nothing
    EXPECT_EQ(ds->GetNotifyWindow(), nullptr);
}

TEST_F(AcquireTest, VideoGlueReportsToTheViewsWindow) {
    FakeView view;
    view.Handle = reinterpret_cast<win::HWND>(0x1000);
    TVovozIdIO io(nullptr);
    io.SetAttachedVovozId(&view);
    TIEDirectShow* ds = io.GetDirectShow();
    EXPECT_EQ(ds->GetNotifyWindow(), view.Handle);
    EXPECT_EQ(ds->GetNewFrameMessage(), 8025u);
    EXPECT_EQ(ds->GetEventMessage(), 8026u);
    // The view made a new window: registered again.
    view.Handle = reinterpret_cast<win::HWND>(0x2000);
    io.UpdateDirectShowNotifyWindow();
    EXPECT_EQ(ds->GetNotifyWindow(), view.Handle);
    io.SetAttachedVovozId(nullptr);
}

}  // namespace
}  // namespace ie::test
