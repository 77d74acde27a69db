// The parameters preview dialog on the headless screen: the JPEG preview against a separate
// save with the same parameters and ImageMagick's decoding of it, each page's controls
// against the parameters OK writes, OK, Apply and Cancel through DoPreviews with scripted
// keys, page switches, the TIFF compression list, the page set and the layouts.
#include <filesystem>
#include <string>

#include "../classlib/test_Controls_fixture.h"
#include "classlib/SysUtils.h"
#include "formats_testutil.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_draw.h"
#include "imaging/core/hyieutils_startup.h"
#include "imaging/core/iewords.h"
#include "imaging/io/iopreviews.h"
#include "imaging/io/vovozidio_registry.h"
#include "imaging/view/vovozidview.h"
#include "platform/user_testhooks.h"

namespace ie::test {
namespace {

// A picture with smooth and sharp parts, so that quality and colour count show in the file.
std::unique_ptr<TIEBitmap> Picture() {
    return Make24(64, 48, [](int x, int y) {
        if ((x / 8 + y / 8) % 5 == 0) return CreateRGB(250, 20, 30);
        return CreateRGB(static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 5), static_cast<uint8_t>(x * y % 256));
    });
}

class PreviewsTest : public cl::testing_controls::ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        VovozIdIOStaticInit();
        IERegisterFormatsCodecs();
        IEFillWordTables();
        char pattern[] = "/tmp/lumetra-previews-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
        io = std::make_unique<TVovozIdIO>(nullptr);
        io->GetIEBitmap()->Assign(Picture().get());
        io->Params().FileType = ioJPEG;
    }
    void TearDown() override {
        if (form) delete form;
        io.reset();
        VovozIdIOStaticFinal();
        ControlsTest::TearDown();
        RunCommand("rm -rf '" + folder_ + "'");
    }
    std::string Temp(const std::string& Name) const { return folder_ + "/" + Name; }

    // The dialog as DoPreviews prepares it, shown (not modal) and activated.
    TfIOPreviews* Open(uint16_t Pages, bool Simplified = false, bool Lock = false) {
        form = cl::NewForm<TfIOPreviews>(cl::Application);
        form->Params = &io->Params();
        form->Simplified = Simplified;
        form->DefaultLockPreview = Lock;
        if (Simplified) form->ApplySimplifiedSize();
        form->Localize(msEnglish);
        form->VovozId1->SetExternalBitmap(io->GetIEBitmap());
        form->VovozId1->Update();
        form->VovozId2->ResetToEmpty();
        EXPECT_TRUE(form->SetPages(Pages));
        form->Show();
        cl::Application->ProcessMessages();
        EXPECT_TRUE(form->GetActivated());
        return form;
    }
    // The size of the picture saved by another component with the same parameters.
    int64_t SeparateSave(const TIOParamsVals& Like, int32_t FileType, const std::string& File = "") {
        TVovozIdIO other(nullptr);
        other.GetIEBitmap()->Assign(io->GetIEBitmap());
        other.Params().Assign(&Like);
        cl::TMemoryStream s;
        other.SaveToStream(&s, FileType);
        EXPECT_FALSE(other.Aborting);
        if (!File.empty()) WriteBytes(File, StreamBytes(s));
        return s.GetSize();
    }

    std::unique_ptr<TVovozIdIO> io;
    TfIOPreviews* form = nullptr;
    std::string folder_;
};

TEST_F(PreviewsTest, JPEGPreviewIsTheFileTheChosenQualityMakes) {
    Open(ppJPEG);
    ASSERT_EQ(form->ActivePageKind(), ipJPEG1);
    // The activation ran one preview at the parameters' quality (80).
    const int64_t first = form->GetCompressedSize();
    EXPECT_GT(first, 0);
    // Typing 40 moves the track bar; the preview is not locked, so nothing runs until Preview.
    form->Edit22->SetText("40");
    EXPECT_EQ(form->TrackBar13->GetPosition(), 40);
    EXPECT_EQ(form->GetCompressedSize(), first);
    EXPECT_TRUE(form->Button4->GetEnabled());
    form->Button3->Click();
    TIOParamsVals like(nullptr);
    like.Assign(&io->Params());
    like.JPEGQuality = 40;
    const std::string file = Temp("q40.jpg");
    const int64_t size = SeparateSave(like, ioJPEG, file);
    EXPECT_EQ(form->GetCompressedSize(), size);
    EXPECT_LT(size, first);
    const cl::String caption = cl::IntToStr(size) + " bytes";
    EXPECT_EQ(form->SizeLabels(ipJPEG1).CompressedValue->GetCaption(), caption);
    EXPECT_EQ(form->SizeLabels(ipJPEG2).CompressedValue->GetCaption(), caption);
    EXPECT_EQ(form->SizeLabels(ipJPEG1).OriginalValue->GetCaption(), cl::IntToStr(64 * 3 * 48) + " bytes");
    // The file is a quality-40 JPEG, and the result view holds its decoding.
    EXPECT_EQ(RunCommand("/usr/bin/identify -format '%m %Q' '" + file + "'"), "JPEG 40");
    ExpectSameRGB(*form->VovozId2->GetIEBitmap(), DecodeWithImageMagick(file));
    // The parameters themselves are untouched until OK or Apply.
    EXPECT_EQ(io->Params().JPEGQuality, 80);
}

// Both views show a chessboard of 12-pixel squares, and the result view keeps the source
// view's zoom and view origin.
TEST_F(PreviewsTest, ResultViewFollowsTheSourceViewsZoomAndOrigin) {
    Open(ppJPEG);
    for (TVovozIdView* v : {form->VovozId1, form->VovozId2}) {
        EXPECT_EQ(v->GetBackgroundStyle(), iebsChessboard);
        EXPECT_EQ(v->GetChessboardSize(), 12);
    }
    form->VovozId1->SetZoom(1000);
    form->VovozId1->SetViewXY(30, 20);
    cl::Application->ProcessMessages();
    ASSERT_EQ(form->VovozId1->GetViewX(), 30);
    ASSERT_EQ(form->VovozId1->GetViewY(), 20);
    form->Button3->Click();
    EXPECT_EQ(form->VovozId2->GetZoom(), 1000);
    EXPECT_EQ(form->VovozId2->GetViewX(), 30);
    EXPECT_EQ(form->VovozId2->GetViewY(), 20);
}

TEST_F(PreviewsTest, LockedPreviewFollowsEachChange) {
    Open(ppJPEG, false, true);
    EXPECT_TRUE(form->chkLockPreview->GetChecked());
    EXPECT_FALSE(form->Button3->GetEnabled());
    form->TrackBar13->SetPosition(10);
    EXPECT_EQ(form->Edit22->GetText(), "10");
    TIOParamsVals like(nullptr);
    like.Assign(&io->Params());
    like.JPEGQuality = 10;
    EXPECT_EQ(form->GetCompressedSize(), SeparateSave(like, ioJPEG));
    form->ComboBox13->SelectAsUser(1);  // GrayScale
    like.JPEGColorSpace = 1;
    EXPECT_EQ(form->GetCompressedSize(), SeparateSave(like, ioJPEG));
    // Unlocking enables Preview; locking again previews at once.
    form->chkLockPreview->SetChecked(false);
    EXPECT_TRUE(form->Button3->GetEnabled());
    form->Edit22->SetText("90");
    EXPECT_EQ(form->GetCompressedSize(), SeparateSave(like, ioJPEG));
    form->chkLockPreview->SetChecked(true);
    like.JPEGQuality = 90;
    EXPECT_EQ(form->GetCompressedSize(), SeparateSave(like, ioJPEG));
    // An edit that is not a number counts as the default quality (50).
    form->Edit22->SetText("x");
    EXPECT_EQ(form->TrackBar13->GetPosition(), 50);
}

// Each page's controls and the parameters OK writes (with the page's file type).
TEST_F(PreviewsTest, EachPageWritesItsControlsIntoTheParameters) {
    struct Case {
        const char* Name;
        uint16_t Pages;
        bool Simplified;
        TIOPreviewPage Kind;
        std::function<void(TfIOPreviews&)> Set;
        std::function<void(const TIOParamsVals&)> Check;
        int32_t FileType;
    };
    const Case cases[] = {
        {"JPEG full", ppJPEG, false, ipJPEG1,
         [](TfIOPreviews& f) {
             f.Edit22->SetText("33");
             f.ComboBox13->SelectAsUser(3);
             f.ComboBox1->SelectAsUser(2);
             f.CheckBox2->SetChecked(true);
             f.UpDown11->Step(cl::btNext);
             f.UpDown11->Step(cl::btNext);
             f.CheckBox3->SetChecked(true);
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.JPEGQuality, 33);
             EXPECT_EQ(p.JPEGColorSpace, 3);
             EXPECT_EQ(p.JPEGDCTMethod, 2);
             EXPECT_TRUE(p.JPEGOptimalHuffman);
             EXPECT_EQ(p.JPEGSmooth, 2);
             EXPECT_TRUE(p.JPEGProgressive);
         },
         ioJPEG},
        {"JPEG simplified", ppJPEG, true, ipJPEG2, [](TfIOPreviews& f) { f.TrackBar2->SetPosition(61); },
         [](const TIOParamsVals& p) { EXPECT_EQ(p.JPEGQuality, 61); }, ioJPEG},
        {"TIFF full", ppTIFF, false, ipTIFF1,
         [](TfIOPreviews& f) {
             f.ComboBox2->SelectAsUser(8);  // ZIP with LZW listed
             f.UpDown1->Step(cl::btNext);
             f.ComboBox4->SelectAsUser(2);  // 256: RGB becomes RGBPALETTE
             f.Edit4->SetText("doc");
             f.Edit5->SetText("what");
             f.Edit6->SetText("page");
             f.Edit7->SetText("2");
             f.Edit8->SetText("5");
             f.Edit2->SetText("3");
             f.Edit3->SetText("4");
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.TIFFCompression, 9);
             EXPECT_EQ(p.TIFFImageIndex, 1);
             EXPECT_EQ(p.ImageIndex, 1);
             EXPECT_EQ(p.TIFFPhotometric, 3);
             EXPECT_EQ(p.SamplesPerPixel, 1);
             EXPECT_EQ(p.BitsPerSample, 8);
             EXPECT_EQ(p.TIFFDocumentName, "doc");
             EXPECT_EQ(p.TIFFImageDescription, "what");
             EXPECT_EQ(p.TIFFPageName, "page");
             EXPECT_EQ(p.TIFFPageNumber, 2);
             EXPECT_EQ(p.TIFFPageCount, 5);
             EXPECT_EQ(p.TIFFXPos, 3);
             EXPECT_EQ(p.TIFFYPos, 4);
         },
         ioTIFF},
        {"TIFF full CMYK", ppTIFF, false, ipTIFF1, [](TfIOPreviews& f) { f.ComboBox3->SelectAsUser(5); },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.TIFFPhotometric, 5);
             EXPECT_EQ(p.SamplesPerPixel, 4);
             EXPECT_EQ(p.BitsPerSample, 8);
         },
         ioTIFF},
        {"TIFF simplified fax", ppTIFF, true, ipTIFF2, [](TfIOPreviews& f) { f.ComboBox16->SelectAsUser(4); },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.TIFFCompression, 4);
             EXPECT_EQ(p.TIFFPhotometric, 1);
             EXPECT_EQ(p.SamplesPerPixel, 1);
             EXPECT_EQ(p.BitsPerSample, 1);
         },
         ioTIFF},
        {"TIFF simplified JPEG", ppTIFF, true, ipTIFF2, [](TfIOPreviews& f) { f.ComboBox16->SelectAsUser(6); },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.TIFFCompression, 7);
             EXPECT_EQ(p.TIFFPhotometric, 6);
             EXPECT_EQ(p.SamplesPerPixel, 3);
         },
         ioTIFF},
        {"GIF full", ppGIF, false, ipGIF1,
         [](TfIOPreviews& f) {
             f.Edit9->SetText("3");
             f.ComboBox5->SelectAsUser(3);  // 16 colours
             f.CheckBox4->SetChecked(true);
             f.CheckBox5->SetChecked(true);
             f.Edit12->SetText("25");
             f.Edit10->SetText("7");
             f.Edit11->SetText("9");
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.GIFImageIndex, 3);
             EXPECT_EQ(p.BitsPerSample, 4);
             EXPECT_EQ(p.SamplesPerPixel, 1);
             EXPECT_TRUE(p.GIFTransparent);
             EXPECT_TRUE(p.GIFInterlaced);
             EXPECT_EQ(p.GIFDelayTime, 25);
             EXPECT_EQ(p.GIFXPos, 7);
             EXPECT_EQ(p.GIFYPos, 9);
         },
         ioGIF},
        {"GIF simplified", ppGIF, true, ipGIF2, [](TfIOPreviews& f) { f.ComboBox18->SelectAsUser(0); },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.BitsPerSample, 1);
             EXPECT_EQ(p.SamplesPerPixel, 1);
         },
         ioGIF},
        {"BMP 16M (32bit)", ppBMP, false, ipBMP1,
         [](TfIOPreviews& f) {
             f.ComboBox6->SelectAsUser(1);
             f.ComboBox7->SelectAsUser(4);
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.BMPCompression, 1);
             EXPECT_EQ(p.BitsPerSample, 8);
             EXPECT_EQ(p.SamplesPerPixel, 3);
         },
         ioBMP},
        {"BMP 16", ppBMP, false, ipBMP1, [](TfIOPreviews& f) { f.ComboBox7->SelectAsUser(1); },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.BitsPerSample, 4);
             EXPECT_EQ(p.SamplesPerPixel, 1);
         },
         ioBMP},
        {"PCX", ppPCX, false, ipPCX1,
         [](TfIOPreviews& f) {
             f.ComboBox8->SelectAsUser(0);
             f.ComboBox9->SelectAsUser(2);
         },
         [](const TIOParamsVals& p) {
             EXPECT_FALSE(p.PCXCompression);
             EXPECT_EQ(p.BitsPerSample, 8);
             EXPECT_EQ(p.SamplesPerPixel, 1);
         },
         ioPCX},
        {"PNG", ppPNG, false, ipPNG1,
         [](TfIOPreviews& f) {
             f.ComboBox10->SelectAsUser(0);
             f.ComboBox11->SelectAsUser(2);
             f.CheckBox6->SetChecked(true);
             f.ComboBox12->SelectAsUser(9);
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.BitsPerSample, 1);
             EXPECT_EQ(p.SamplesPerPixel, 1);
             EXPECT_EQ(p.PNGFilter, 2);
             EXPECT_TRUE(p.PNGInterlaced);
             EXPECT_EQ(p.PNGCompression, 9);
         },
         ioPNG},
        {"TGA", ppTGA, false, ipTGA1,
         [](TfIOPreviews& f) {
             f.ComboBox14->SelectAsUser(1);
             f.CheckBox1->SetChecked(false);
             f.Edit13->SetText("name");
             f.Edit14->SetText("about");
         },
         [](const TIOParamsVals& p) {
             EXPECT_EQ(p.BitsPerSample, 8);
             EXPECT_EQ(p.SamplesPerPixel, 1);
             EXPECT_FALSE(p.TGACompressed);
             EXPECT_EQ(p.TGAImageName, "name");
             EXPECT_EQ(p.TGADescriptor, "about");
         },
         ioTGA},
        {"JPEG 2000", ppJ2000, false, ipJ20001,
         [](TfIOPreviews& f) {
             f.Edit15->SetText("250");
             f.ComboBox15->SelectAsUser(0);
         },
         [](const TIOParamsVals& p) {
             EXPECT_DOUBLE_EQ(p.J2000Rate, 0.25);
             EXPECT_EQ(p.J2000ColorSpace, 0);
             EXPECT_EQ(p.SamplesPerPixel, 1);
             EXPECT_EQ(p.BitsPerSample, 8);
         },
         ioJ2K},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        io = std::make_unique<TVovozIdIO>(nullptr);
        io->GetIEBitmap()->Assign(Picture().get());
        io->Params().FileType = ioJPEG;
        Open(c.Pages, c.Simplified);
        ASSERT_EQ(form->ActivePageKind(), c.Kind);
        // The activation's preview wrote the page's format and showed its result.
        EXPECT_GT(form->GetCompressedSize(), 0);
        EXPECT_EQ(form->GetCaption(), "Parameters Preview");
        EXPECT_EQ(form->VovozId2->GetIEBitmap()->GetWidth(), 64);
        c.Set(*form);
        form->Button1->Click();
        EXPECT_EQ(form->ModalResult, cl::mrOk);
        c.Check(io->Params());
        EXPECT_EQ(io->Params().FileType, c.FileType);
        delete form;
        form = nullptr;
    }
}

// OK, Apply and Cancel through the component's DoPreviews, the keys scripted.
TEST_F(PreviewsTest, OKAppliesCancelDoesNotApplyKeeps) {
    auto run = [&](uint8_t Settings, const std::function<void(TfIOPreviews&)>& Act, const char* Keys) {
        io->PreviewsParams = Settings;
        io->SimplifiedParamsDialogs = false;
        TfIOPreviews* seen = nullptr;
        io->OnIOPreview = [&](cl::TObject* Sender, cl::TComponent* Form) {
            EXPECT_EQ(Sender, io.get());
            seen = dynamic_cast<TfIOPreviews*>(Form);
            ASSERT_NE(seen, nullptr);
            EXPECT_EQ(seen->Button4->GetVisible(), (Settings & ioppApplyButton) != 0);
            const int64_t at = win::ClockNowTicks() / win::kTicksPerMs;
            win::test::ScheduleInput(at + 100, [&, seen] { Act(*seen); });
            ASSERT_TRUE(win::test::SetInputScript(std::to_string(at + 200) + " " + Keys));
        };
        win::ClockSetHorizon(win::ClockNowTicks() + 5000 * win::kTicksPerMs);
        const bool result = io->DoPreviews(ppJPEG);
        win::ClockSetHorizon(win::kNoDeadline);
        EXPECT_NE(seen, nullptr);
        return result;
    };
    // Escape: Cancel writes nothing.
    EXPECT_FALSE(run(
        0, [](TfIOPreviews& f) { f.Edit22->SetText("20"); }, "key 27"));
    EXPECT_EQ(io->Params().JPEGQuality, 80);
    // Enter: OK writes the quality.
    EXPECT_TRUE(run(
        0, [](TfIOPreviews& f) { f.Edit22->SetText("20"); }, "key 13"));
    EXPECT_EQ(io->Params().JPEGQuality, 20);
    // Apply writes at once (and disables itself); a later Cancel keeps what was applied.
    EXPECT_FALSE(run(
        ioppApplyButton,
        [](TfIOPreviews& f) {
            f.Edit22->SetText("70");
            EXPECT_TRUE(f.Button4->GetEnabled());
            f.Button4->Click();
            EXPECT_FALSE(f.Button4->GetEnabled());
            f.Edit22->SetText("5");
        },
        "key 27"));
    EXPECT_EQ(io->Params().JPEGQuality, 70);
    // The dialog is gone and the picture is the component's again.
    EXPECT_EQ(cl::Screen->GetFormCount(), 0);
    EXPECT_EQ(io->GetIEBitmap()->GetWidth(), 64);
}

TEST_F(PreviewsTest, AGreyPictureIsShownConvertedAndKeepsItsFormat) {
    io->GetIEBitmap()->Allocate(20, 10, ie16g);
    io->GetIEBitmap()->Fill(1000);
    io->PreviewsParams = ioppDefaultLockPreview;
    TIEPixelFormat shown = ieNone;
    io->OnIOPreview = [&](cl::TObject*, cl::TComponent* Form) {
        auto* f = static_cast<TfIOPreviews*>(Form);
        shown = f->VovozId1->GetIEBitmap()->GetPixelFormat();
        const int64_t at = win::ClockNowTicks() / win::kTicksPerMs;
        win::test::ScheduleInput(at + 100, [f] { EXPECT_GT(f->GetCompressedSize(), 0); });
        ASSERT_TRUE(win::test::SetInputScript(std::to_string(at + 200) + " key 13"));
    };
    win::ClockSetHorizon(win::ClockNowTicks() + 5000 * win::kTicksPerMs);
    EXPECT_TRUE(io->DoPreviews(ppJPEG));
    win::ClockSetHorizon(win::kNoDeadline);
    EXPECT_EQ(shown, ie24RGB);
    EXPECT_EQ(io->GetIEBitmap()->GetPixelFormat(), ie16g);
}

TEST_F(PreviewsTest, SwitchingPagesDropsWhatWasNotApplied) {
    Open(ppJPEG | ppTIFF);
    ASSERT_EQ(form->ActivePageKind(), ipJPEG1);
    form->Edit22->SetText("30");
    EXPECT_TRUE(form->Button4->GetEnabled());
    form->PageControl1->SelectNextPage(true);
    EXPECT_EQ(form->ActivePageKind(), ipTIFF1);
    EXPECT_FALSE(form->Button4->GetEnabled());
    form->PageControl1->SelectNextPage(false);
    EXPECT_EQ(form->ActivePageKind(), ipJPEG1);
    EXPECT_EQ(form->Edit22->GetText(), "80");
    EXPECT_EQ(form->TrackBar13->GetPosition(), 80);
}

TEST_F(PreviewsTest, TIFFPreviewCountsTheWritersBytesAndReducesTheResult) {
    io->Params().FileType = ioTIFF;
    Open(ppAuto);
    ASSERT_EQ(form->ActivePageKind(), ipTIFF1);
    form->ComboBox2->SelectAsUser(5);  // LZW
    form->ComboBox4->SelectAsUser(2);  // 256 colours, palette photometric
    EXPECT_EQ(form->ComboBox3->GetItemIndex(), 3);
    form->Button3->Click();
    TIOParamsVals like(nullptr);
    like.Assign(&io->Params());
    like.TIFFCompression = 5;
    like.TIFFPhotometric = 3;
    like.SamplesPerPixel = 1;
    like.BitsPerSample = 8;
    const std::string file = Temp("lzw.tif");
    const int64_t size = SeparateSave(like, ioTIFF, file);
    EXPECT_EQ(form->GetCompressedSize(), size);
    EXPECT_EQ(form->SizeLabels(ipTIFF1).CompressedValue->GetCaption(), cl::IntToStr(size) + " bytes");
    EXPECT_EQ(RunCommand("/usr/bin/identify -format '%m %[tiff:photometric] %C' '" + file + "'"), "TIFF palette LZW");
    // The result view shows the picture in the 256 colours of its palette.
    TIOParamsVals& rp = form->VovozId2->GetIO()->Params();
    ASSERT_NE(rp.GetColorMap(), nullptr);
    EXPECT_EQ(rp.ColorMapCount, 256);
    // Grey 8-bit: the result is grey, without a palette.
    form->ComboBox3->SelectAsUser(1);
    form->Button3->Click();
    EXPECT_EQ(rp.GetColorMap(), nullptr);
    const TRGB p = form->VovozId2->GetIEBitmap()->GetPixelRGB(10, 20);
    EXPECT_EQ(p.r, p.g);
    EXPECT_EQ(p.g, p.b);
    // OK writes the grey choice; the result picture saved with it is what ImageMagick reads as
    // grey.
    form->Button1->Click();
    EXPECT_EQ(io->Params().TIFFPhotometric, 1);
    EXPECT_EQ(io->Params().SamplesPerPixel, 1);
    EXPECT_EQ(io->Params().BitsPerSample, 8);
    TVovozIdIO out(nullptr);
    out.GetIEBitmap()->Assign(form->VovozId2->GetIEBitmap());
    out.Params().Assign(&io->Params());
    out.SaveToFile(cl::String(Temp("grey.tif")));
    EXPECT_EQ(RunCommand("/usr/bin/identify -format '%[tiff:photometric] %[type]' '" + Temp("grey.tif") + "'"),
              "min-is-black Grayscale");
}

TEST_F(PreviewsTest, TIFFCompressionListWithAndWithoutLZW) {
    io->Params().FileType = ioTIFF;
    io->Params().TIFFCompression = 5;
    Open(ppTIFF);
    EXPECT_TRUE(form->GetTIFFLZWListed());
    EXPECT_EQ(form->ComboBox2->GetSelectedText(), "LZW");
    delete form;
    form = nullptr;

    const auto saved = IEDefTIFFLZWCompress;
    IEDefTIFFLZWCompress = nullptr;
    Open(ppTIFF);
    EXPECT_FALSE(form->GetTIFFLZWListed());
    EXPECT_EQ(form->ComboBox2->GetItems()->GetCount(), 8);
    EXPECT_EQ(form->ComboBox2->GetSelectedText(), "PACKBITS");  // 5 without LZW
    // clang-format off
    const struct { int32_t Compression; const char* Item; } shown[] = {
        {0, "UNCOMPRESSED"}, {1, "CCITT1D"}, {4, "G4FAX"}, {7, "JPEG"}, {8, "PACKBITS"}, {9, "ZIP"}, {6, "UNCOMPRESSED"},
        {200, "UNCOMPRESSED"}};
    // clang-format on
    for (const auto& s : shown) {
        const int item = form->TIFFCompressionToItem(s.Compression);
        EXPECT_EQ(form->ComboBox2->GetItems()->Strings(item), s.Item) << s.Compression;
    }
    form->ComboBox2->SelectAsUser(5);
    EXPECT_EQ(form->ComboBox2->GetSelectedText(), "JPEG");
    form->Button1->Click();
    EXPECT_EQ(io->Params().TIFFCompression, 7);
    IEDefTIFFLZWCompress = saved;
}

TEST_F(PreviewsTest, TIFFColourChoicesFollowThePhotometric) {
    // clang-format off
    const struct { int32_t Samples, Bits, Photometric; const char* Colors; } cases[] = {
        {1, 1, 3, "16M"}, {1, 4, 3, "16"}, {1, 8, 3, "256"}, {1, 16, 3, "65536"}, {3, 8, 2, "16M"},
        {1, 8, 5, "16M"}, {1, 1, 0, "B/W"}, {1, 4, 1, "256"}, {3, 8, 1, "256"}, {1, 1, 6, "16M"}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Samples) + " " + std::to_string(c.Bits) + " " + std::to_string(c.Photometric));
        io->Params().FileType = ioTIFF;
        io->Params().SamplesPerPixel = c.Samples;
        io->Params().BitsPerSample = c.Bits;
        io->Params().TIFFPhotometric = static_cast<uint8_t>(c.Photometric);
        Open(ppTIFF);
        EXPECT_EQ(form->ComboBox4->GetSelectedText(), c.Colors);
        delete form;
        form = nullptr;
    }
    // The rules between the two lists of the full page.
    io->Params().SamplesPerPixel = 3;
    io->Params().BitsPerSample = 8;
    io->Params().TIFFPhotometric = 2;
    Open(ppTIFF);
    form->ComboBox4->SelectAsUser(0);  // B/W lowers RGB to BLACKISZERO
    EXPECT_EQ(form->ComboBox3->GetItemIndex(), 1);
    form->ComboBox4->SelectAsUser(1);  // 16 selects RGBPALETTE
    EXPECT_EQ(form->ComboBox3->GetItemIndex(), 3);
    form->ComboBox3->SelectAsUser(0);  // grey above B/W: 256
    EXPECT_EQ(form->ComboBox4->GetItemIndex(), 2);
    form->ComboBox3->SelectAsUser(6);  // YCbCr: 16M
    EXPECT_EQ(form->ComboBox4->GetItemIndex(), 4);
    // The simplified page: more than 2 colours with a fax compression resets it.
    delete form;
    form = nullptr;
    Open(ppTIFF, true);
    form->ComboBox16->SelectAsUser(2);  // G3FAX1D: 2 colours
    EXPECT_EQ(form->ComboBox17->GetItemIndex(), 0);
    form->ComboBox17->SelectAsUser(2);
    EXPECT_EQ(form->ComboBox16->GetSelectedText(), "UNCOMPRESSED");
    form->ComboBox16->SelectAsUser(6);  // JPEG: 16777216 colours
    EXPECT_EQ(form->ComboBox17->GetItemIndex(), 3);
    form->ComboBox17->SelectAsUser(1);
    EXPECT_EQ(form->ComboBox16->GetSelectedText(), "UNCOMPRESSED");
}

TEST_F(PreviewsTest, PaletteFormatsPreviewInTheChosenColours) {
    // clang-format off
    const struct { uint16_t Pages; TIOPreviewPage Kind; int Item; int32_t Colors; int32_t FileType; } cases[] = {
        {ppGIF, ipGIF1, 3, 16, ioGIF}, {ppPNG, ipPNG1, 0, 2, ioPNG}, {ppTGA, ipTGA1, 1, 256, ioTGA}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Colors);
        Open(c.Pages);
        cl::TComboBox* box = c.Kind == ipGIF1   ? form->ComboBox5
                             : c.Kind == ipPNG1 ? form->ComboBox10
                                                : form->ComboBox14;
        box->SelectAsUser(c.Item);
        form->Button3->Click();
        TIOParamsVals& rp = form->VovozId2->GetIO()->Params();
        EXPECT_EQ(rp.ColorMapCount, c.Colors);
        // Every pixel of the result is a colour of its palette.
        std::vector<TRGB> palette(rp.GetColorMap(), rp.GetColorMap() + rp.ColorMapCount);
        TIEBitmap* r = form->VovozId2->GetIEBitmap();
        int outside = 0;
        for (int y = 0; y < r->GetHeight(); ++y)
            for (int x = 0; x < r->GetWidth(); ++x)
                outside += std::find(palette.begin(), palette.end(), r->GetPixelRGB(x, y)) == palette.end();
        EXPECT_EQ(outside, 0);
        form->Button1->Click();
        EXPECT_EQ(io->Params().FileType, c.FileType);
        EXPECT_EQ(form->GetCompressedSize(), SeparateSave(io->Params(), c.FileType));
        delete form;
        form = nullptr;
        io->Params().FileType = ioJPEG;
    }
}

// The simplified GIF page writes the preview in the colour count it shows.
TEST_F(PreviewsTest, SimplifiedGIFPreviewCountsTheChosenColours) {
    Open(ppGIF, true);
    ASSERT_EQ(form->ActivePageKind(), ipGIF2);
    form->ComboBox18->SelectAsUser(3);  // 16 colours
    form->Button3->Click();
    EXPECT_EQ(form->VovozId2->GetIO()->Params().ColorMapCount, 16);
    TIOParamsVals like(nullptr);
    like.Assign(&io->Params());
    like.BitsPerSample = 4;
    like.SamplesPerPixel = 1;
    const std::string file = Temp("sixteen.gif");
    EXPECT_EQ(form->GetCompressedSize(), SeparateSave(like, ioGIF, file));
    EXPECT_EQ(RunCommand("/usr/bin/identify -format '%m %[colors]' '" + file + "'"), "GIF 16");
}

// A colour panel opens the palette dialog over the result's palette: a cell chosen with the
// mouse becomes the panel's colour and the parameter; Escape changes nothing.
TEST_F(PreviewsTest, ColourPanelChoosesFromTheResultsPalette) {
    io->Params().FileType = ioGIF;
    Open(ppGIF);
    form->Localize(msRussian);
    TIOParamsVals& rp = form->VovozId2->GetIO()->Params();
    ASSERT_NE(rp.GetColorMap(), nullptr);
    const TRGB chosen = rp.GetColorMap()[3];
    auto pick = [&](int64_t At, bool Escape) {
        win::test::ScheduleInput(At, [Escape] {
            auto* d = dynamic_cast<TVovozIdPaletteDialog*>(cl::Screen->GetActiveForm());
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(d->CancelButton()->GetCaption(), "&" + IEGetLocalizedWord(4, msRussian));
            if (Escape) {
                win::test::Key(win::VK_ESCAPE, true);
                win::test::Key(win::VK_ESCAPE, false);
                return;
            }
            const cl::TRect r = TVovozIdPaletteDialog::CellRect(3);
            const win::POINT p = d->ClientToScreen(win::POINT{r.left + 5, r.top + 5});
            win::test::MouseMove(p.x, p.y);
            win::test::MouseButton(win::test::Button::Left, true);
            win::test::MouseButton(win::test::Button::Left, false);
        });
    };
    win::ClockSetHorizon(win::ClockNowTicks() + 5000 * win::kTicksPerMs);
    const cl::TColor before = form->Panel4->GetColor();
    pick(win::ClockNowTicks() / win::kTicksPerMs + 100, true);
    form->Panel4->Click();
    EXPECT_EQ(form->Panel4->GetColor(), before);
    pick(win::ClockNowTicks() / win::kTicksPerMs + 100, false);
    form->Panel3->Click();
    win::ClockSetHorizon(win::kNoDeadline);
    EXPECT_EQ(form->Panel3->GetColor(), static_cast<cl::TColor>(chosen.r | (chosen.g << 8) | (chosen.b << 16)));
    EXPECT_TRUE(form->Button4->GetEnabled());
    form->Button1->Click();
    EXPECT_EQ(io->Params().GIFTranspColor, chosen);
    EXPECT_EQ(io->Params().GIFBackground, TRGB{});
}

// Without a palette in the result, the PNG and TGA background panels open the colour dialog
// with the panel's colour: OK takes the colour chosen there (and the saved PNG carries it as its
// background), Escape keeps the old one; the GIF panels have nothing to choose from.
TEST_F(PreviewsTest, BackgroundPanelsWithoutAPaletteOpenTheColourDialog) {
    io->Params().FileType = ioPNG;
    io->Params().PNGBackground = CreateRGB(1, 2, 3);
    Open(ppPNG | ppTGA);
    ASSERT_EQ(form->ActivePageKind(), ipPNG1);
    ASSERT_EQ(form->ComboBox10->GetSelectedText(), "16M");
    ASSERT_EQ(form->VovozId2->GetIO()->Params().GetColorMap(), nullptr);
    auto choose = [](const char* Red, const char* Green, const char* Blue, int Key, cl::TColor* Shown) {
        const int64_t at = win::ClockNowTicks() / win::kTicksPerMs + 100;
        win::ClockSetHorizon(win::ClockNowTicks() + 5000 * win::kTicksPerMs);
        win::test::ScheduleInput(at, [=] {
            auto* d = dynamic_cast<cl::TColorDialogForm*>(cl::Screen->GetActiveForm());
            ASSERT_NE(d, nullptr);
            *Shown = d->GetColor();
            d->RedEdit->SetText(Red);
            d->GreenEdit->SetText(Green);
            d->BlueEdit->SetText(Blue);
            win::test::Key(Key, true);
            win::test::Key(Key, false);
        });
    };
    cl::TColor shown = cl::clNone;
    choose("200", "100", "50", win::VK_RETURN, &shown);
    form->Panel1->Click();
    EXPECT_EQ(shown, static_cast<cl::TColor>(0x030201)) << "the dialog starts at the panel's colour";
    EXPECT_EQ(form->Panel1->GetColor(), static_cast<cl::TColor>(200 | (100 << 8) | (50 << 16)));
    EXPECT_TRUE(form->Button4->GetEnabled());
    choose("9", "9", "9", win::VK_ESCAPE, &shown);
    form->Panel1->Click();
    EXPECT_EQ(form->Panel1->GetColor(), static_cast<cl::TColor>(200 | (100 << 8) | (50 << 16)));
    win::ClockSetHorizon(win::kNoDeadline);
    form->Button1->Click();
    EXPECT_EQ(io->Params().PNGBackground, CreateRGB(200, 100, 50));
    const std::string file = Temp("background.png");
    io->SaveToFile(cl::String(file));
    EXPECT_NE(RunCommand("pngcheck -v '" + file + "'").find("chunk bKGD"), std::string::npos);
    EXPECT_NE(RunCommand("/usr/bin/identify -verbose '" + file + "'").find("Background color: srgb(200,100,50)"),
              std::string::npos);

    // The TGA page's panel, and the GIF panels which keep their colour without a palette.
    form->PageControl1->SelectNextPage(true);
    ASSERT_EQ(form->ActivePageKind(), ipTGA1);
    choose("0", "255", "0", win::VK_RETURN, &shown);
    form->Panel5->Click();
    win::ClockSetHorizon(win::kNoDeadline);
    form->Button1->Click();
    EXPECT_EQ(io->Params().TGABackground, CreateRGB(0, 255, 0));
}

// A choice of 8-bit grey levels for a TIFF is shown in grey and written into the parameters on
// OK only; the caller's picture keeps its colours either way, and the size the dialog gave is the
// size of the file the writer then makes of it.
TEST_F(PreviewsTest, AGreyTIFFChoiceKeepsThePicture) {
    io->Params().FileType = ioTIFF;
    io->PreviewsParams = 0;
    io->SimplifiedParamsDialogs = false;
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        io->GetIEBitmap()->Assign(Picture().get());
        TIEBitmap shown;
        int64_t size = -1;
        io->OnIOPreview = [&](cl::TObject*, cl::TComponent* Form) {
            auto* f = static_cast<TfIOPreviews*>(Form);
            const int64_t at = win::ClockNowTicks() / win::kTicksPerMs;
            win::test::ScheduleInput(at + 100, [&, f] {
                f->ComboBox3->SelectAsUser(1);  // BLACKISZERO/Gray: 256 grey levels
                EXPECT_EQ(f->ComboBox4->GetSelectedText(), "256");
                f->Button3->Click();
                shown.Assign(f->VovozId2->GetIEBitmap());
                size = f->GetCompressedSize();
            });
            ASSERT_TRUE(win::test::SetInputScript(std::to_string(at + 200) + (ok ? " key 13" : " key 27")));
        };
        win::ClockSetHorizon(win::ClockNowTicks() + 5000 * win::kTicksPerMs);
        EXPECT_EQ(io->DoPreviews(ppTIFF), ok);
        win::ClockSetHorizon(win::kNoDeadline);
        EXPECT_EQ(io->GetIEBitmap()->GetPixelFormat(), ie24RGB);
        // The result view showed grey levels.
        ASSERT_EQ(shown.GetPixelFormat(), ie24RGB);
        int coloured = 0;
        for (int32_t y = 0; y < shown.GetHeight(); ++y) {
            const auto* p = static_cast<const uint8_t*>(shown.GetScanline(y));
            for (int32_t x = 0; x < shown.GetWidth(); ++x, p += 3) coloured += p[0] != p[1] || p[1] != p[2];
        }
        EXPECT_EQ(coloured, 0);
        if (!ok) continue;
        EXPECT_EQ(io->Params().TIFFPhotometric, 1);
        EXPECT_EQ(io->Params().SamplesPerPixel, 1);
        EXPECT_EQ(io->Params().BitsPerSample, 8);
        const std::string file = Temp("grey.tif");
        io->SaveToFile(cl::String(file));
        EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(file)), size);
    }
}

TEST_F(PreviewsTest, PageSetAndActivePage) {
    // clang-format off
    const struct { uint16_t Pages; int32_t FileType; bool Shown; uint16_t Stored; } sets[] = {
        {ppAuto, ioJPEG, true, ppAuto | ppJPEG}, {ppAuto, ioJP2, true, ppAuto | ppJ2000},
        {ppAuto, ioTGA, true, ppAuto | ppTGA},   {ppAuto, ioPXM, false, ppAuto},
        {ppAll, ioPXM, true, ppAll},             {ppPNG, ioJPEG, true, ppPNG}};
    // clang-format on
    for (const auto& s : sets) {
        TfIOPreviews* f = cl::NewForm<TfIOPreviews>(cl::Application);
        f->Params = &io->Params();
        io->Params().FileType = s.FileType;
        EXPECT_EQ(f->SetPages(s.Pages), s.Shown) << s.Pages << " " << s.FileType;
        EXPECT_EQ(f->GetPages(), s.Stored);
        delete f;
    }
    // The component answers False and shows nothing for a type without a page.
    io->Params().FileType = ioPXM;
    EXPECT_FALSE(io->DoPreviews(ppAuto));
    EXPECT_EQ(cl::Screen->GetFormCount(), 0);

    // All pages of the full set, the current type's page active.
    io->Params().FileType = ioPNG;
    Open(ppAll);
    EXPECT_EQ(form->ActivePageKind(), ipPNG1);
    EXPECT_EQ(form->PageControl1->TabCount(), 8);
    for (TIOPreviewPage k : {ipJPEG2, ipTIFF2, ipGIF2}) EXPECT_FALSE(form->Page(k)->GetTabVisible());
    delete form;
    form = nullptr;
    Open(ppAll, true);
    EXPECT_EQ(form->PageControl1->TabCount(), 8);
    for (TIOPreviewPage k : {ipJPEG1, ipTIFF1, ipGIF1}) EXPECT_FALSE(form->Page(k)->GetTabVisible());
}

TEST_F(PreviewsTest, LayoutFullAndSimplified) {
    Open(ppPNG);
    EXPECT_EQ(form->GetCaption(), "Parameters Preview");
    EXPECT_EQ(form->GetClientWidth(), 527);
    EXPECT_EQ(form->GetClientHeight(), 425);
    EXPECT_EQ(form->GetBorderStyle(), cl::bsDialog);
    EXPECT_EQ(form->Position, cl::poScreenCenter);
    EXPECT_TRUE(form->GroupBoxPNGAdvanced->GetVisible());
    EXPECT_EQ(form->SizeLabels(ipPNG1).OriginalCaption->GetTop(), 130);
    EXPECT_TRUE(form->Button1->GetDefault());
    EXPECT_TRUE(form->Button2->Cancel);
    delete form;
    form = nullptr;
    Open(ppPNG, true);
    // Heights at 96 pixels per inch: 1.2708333 and 3.75 inches, 3.1458333 inches down.
    EXPECT_EQ(form->PageControl1->GetHeight(), 122);
    EXPECT_EQ(form->GetHeight(), 360);
    EXPECT_EQ(form->chkLockPreview->GetTop(), 302);
    EXPECT_FALSE(form->GroupBoxPNGAdvanced->GetVisible());
    EXPECT_FALSE(form->Panel1->GetVisible());
    EXPECT_EQ(form->SizeLabels(ipPNG1).OriginalCaption->GetTop(), 61);
    EXPECT_EQ(form->SizeLabels(ipPNG1).CompressedValue->GetTop(), 77);
}

// No group box's caption, in English or Russian, lies over a control inside the box or
// beside it.
TEST_F(PreviewsTest, GroupCaptionsCoverNoControl) {
    Open(ppAll);
    auto overlaps = [](const win::RECT& A, const win::RECT& B) {
        return A.left < B.right && B.left < A.right && A.top < B.bottom && B.top < A.bottom;
    };
    for (const TMsgLanguage language : {msEnglish, msRussian}) {
        form->Localize(language);
        int groups = 0;
        for (int i = 0; i < form->GetComponentCount(); ++i) {
            auto* g = dynamic_cast<cl::TGroupBox*>(form->Components(i));
            if (!g) continue;
            ++groups;
            SCOPED_TRACE(g->GetCaption());
            cl::TBitmap measure;
            measure.SetSize(8, 8);
            measure.GetCanvas()->GetFont()->Assign(g->GetFont());
            const cl::TSize text = measure.GetCanvas()->TextExtent(g->GetCaption());
            ASSERT_GT(text.cx, 0);
            // Where the box draws its caption, in its own coordinates.
            const win::RECT caption{8, 0, std::min(g->GetWidth(), 8 + text.cx), text.cy};
            for (int k = 0; k < g->GetControlCount(); ++k)
                EXPECT_FALSE(overlaps(caption, g->Controls(k)->GetBoundsRect()))
                    << "inside: " << g->Controls(k)->GetName() << " at " << g->Controls(k)->GetTop();
            cl::TWinControl* parent = g->GetParent();
            ASSERT_NE(parent, nullptr);
            const win::RECT onParent{caption.left + g->GetLeft(), caption.top + g->GetTop(),
                                     caption.right + g->GetLeft(), caption.bottom + g->GetTop()};
            for (int k = 0; k < parent->GetControlCount(); ++k) {
                cl::TControl* c = parent->Controls(k);
                if (c == g) continue;
                EXPECT_FALSE(overlaps(onParent, c->GetBoundsRect()))
                    << "beside: " << c->GetName() << " at " << c->GetLeft() << "," << c->GetTop();
            }
        }
        EXPECT_GT(groups, 0);
    }
}

// Every number edit keeps to its range: text above it becomes the top, below it the bottom,
// numbers inside and unfinished text stay; the quality and rate edits move their track bars.
TEST_F(PreviewsTest, NumberEditsAreClampedToTheirRanges) {
    Open(ppAll);
    const auto ranges = form->EditRanges();
    ASSERT_FALSE(ranges.empty());
    for (const TIOPreviewEditRange& r : ranges) {
        SCOPED_TRACE(r.Edit->GetName());
        const struct {
            std::string Typed, Shown;
        } cases[] = {
            {std::to_string(int64_t{r.Max} + 1), std::to_string(r.Max)},
            {"8030", std::to_string(std::min(8030, r.Max))},
            {"99999999999999999999", std::to_string(r.Max)},
            {std::to_string(int64_t{r.Min} - 1), std::to_string(r.Min)},
            {"-100000", std::to_string(r.Min)},
            {std::to_string(r.Min), std::to_string(r.Min)},
            {std::to_string(r.Max), std::to_string(r.Max)},
            {"", ""},
            {"-", "-"},
        };
        for (const auto& c : cases) {
            r.Edit->SetText(c.Typed);
            EXPECT_EQ(r.Edit->GetText(), c.Shown) << "typed " << c.Typed;
            if (!c.Shown.empty() && c.Shown != "-") {
                EXPECT_EQ(form->EditValue(r.Edit, 12345), std::stoll(c.Shown)) << "typed " << c.Typed;
            }
        }
    }
    form->Edit22->SetText("8030");
    EXPECT_EQ(form->TrackBar13->GetPosition(), 100);
    form->Edit16->SetText("-4");
    EXPECT_EQ(form->TrackBar2->GetPosition(), 0);
    form->Edit15->SetText("5000");
    EXPECT_EQ(form->TrackBar1->GetPosition(), 1000);
    EXPECT_EQ(form->Edit15->GetText(), "1000");
}

TEST_F(PreviewsTest, CaptionsFromTheWordTable) {
    Open(ppJPEG);
    // clang-format off
    const struct { cl::TControl* Control; const char* Caption; } english[] = {
        {form->Label1, "Original:"}, {form->Label2, "Result:"}, {form->Button1, "OK"}, {form->Button2, "Cancel"},
        {form->Button3, "Preview"}, {form->Button4, "Apply"}, {form->chkLockPreview, "Lock preview"},
        {form->Captions.JPEGQuality, "Quality:"}, {form->Captions.JPEGDCT, "DCT method:"},
        {form->CheckBox2, "Optimal Huffman"}, {form->CheckBox3, "Progressive"}, {form->CheckBox4, "Transparent:"},
        {form->CheckBox5, "Interlaced:"}, {form->CheckBox6, "Interlaced"}, {form->Captions.TIFFPageOf, "of"},
        {form->GroupBoxScanned, " Scanned document info "}, {form->GroupBoxJPEGAdvanced, " Advanced "},
        {form->Captions.J2000Rate, "Rate:"}, {form->SizeLabels(ipTGA1).CompressedCaption, "Compressed size:"}};
    // clang-format on
    for (const auto& e : english) EXPECT_EQ(e.Control->GetCaption(), e.Caption);
    EXPECT_EQ(form->PaletteCancelCaption, "&Cancel");
    form->Localize(msRussian);
    EXPECT_EQ(form->GetCaption(), IEGetLocalizedWord(37, msRussian));
    EXPECT_NE(form->GetCaption(), "Parameters Preview");
    EXPECT_EQ(form->Label1->GetCaption(), IEGetLocalizedWord(1, msRussian) + ":");
    EXPECT_EQ(form->PaletteCancelCaption, "&" + IEGetLocalizedWord(4, msRussian));
}

// The dialog's captions are there in a program that starts the library the usual way.
TEST(PreviewsWords, TheLibraryStartFillsTheWordTables) {
    if (IELibraryStarted()) GTEST_SKIP() << "the library was left started";
    IEFreeWordTables();
    EXPECT_EQ(IEGetLocalizedWord(37, msEnglish), "");
    VovozIdIORegisterHooks();
    IELibraryStaticInit();
    EXPECT_EQ(IEGetLocalizedWord(37, msEnglish), "Parameters Preview");
    IELibraryStaticFinal();
    EXPECT_EQ(IEGetLocalizedWord(37, msEnglish), "");
    IERegisterStaticHooks(iesuVovozIdIO, nullptr, nullptr);
    IEFillWordTables();
}

}  // namespace
}  // namespace ie::test
