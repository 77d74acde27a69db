// The per-image parameters and the acquisition parameters.
#include "imaging/core/hyieutils_annot.h"
#include "imaging/core/hyieutils_lists.h"
#include "imaging/core/ieicc.h"
#include "imaging_fixture.h"
#include "vovozidio_testcodec.h"

namespace ie::test {
namespace {

using ParamsTest = IOUnitTest;

// A value read from the parameters with the value it must have after construction.
struct Expect {
    const char* name;
    std::function<double(TIOParamsVals&)> get;
    double value;
};

std::vector<Expect> DefaultTable() {
    return {
        {"BitsPerSample", [](auto& p) { return p.BitsPerSample; }, 8},
        {"SamplesPerPixel", [](auto& p) { return p.SamplesPerPixel; }, 3},
        {"FileType", [](auto& p) { return p.FileType; }, 0},
        {"TIFFSubIndex", [](auto& p) { return p.TIFFSubIndex; }, -1},
        {"TIFFPhotometric", [](auto& p) { return p.TIFFPhotometric; }, 2},
        {"TIFFPlanarConfig", [](auto& p) { return p.TIFFPlanarConfig; }, 1},
        {"TIFFGetTile", [](auto& p) { return p.TIFFGetTile; }, -1},
        {"TIFFPageNumber", [](auto& p) { return p.TIFFPageNumber; }, -1},
        {"TIFFPageCount", [](auto& p) { return p.TIFFPageCount; }, -1},
        {"TIFFOrientation", [](auto& p) { return p.TIFFOrientation; }, 1},
        {"EXIFOrientation", [](auto& p) { return p.EXIFOrientation; }, 0},
        {"TIFFJPEGQuality", [](auto& p) { return p.TIFFJPEGQuality; }, 80},
        {"TIFFJPEGColorSpace", [](auto& p) { return p.TIFFJPEGColorSpace; }, 2},
        {"TIFFZIPCompression", [](auto& p) { return p.TIFFZIPCompression; }, 1},
        {"TIFFFillOrder", [](auto& p) { return p.TIFFFillOrder; }, 1},
        {"TIFFByteOrder", [](auto& p) { return p.TIFFByteOrder; }, 1},
        {"GIFAction", [](auto& p) { return p.GIFAction; }, 2},
        {"JPEGColorSpace", [](auto& p) { return p.JPEGColorSpace; }, 2},
        {"JPEGQuality", [](auto& p) { return p.JPEGQuality; }, 80},
        {"JPEGChromaSubsampling", [](auto& p) { return p.JPEGChromaSubsampling; }, 1},
        {"JPEGScale", [](auto& p) { return p.JPEGScale; }, 1},
        {"JPEGScaleUsed", [](auto& p) { return p.JPEGScaleUsed; }, 1},
        {"J2000ColorSpace", [](auto& p) { return p.J2000ColorSpace; }, 1},
        {"J2000Rate", [](auto& p) { return p.J2000Rate; }, 1.0},
        {"PCXVersion", [](auto& p) { return p.PCXVersion; }, 5},
        {"PCXCompression", [](auto& p) { return p.PCXCompression; }, 1},
        {"BMPVersion", [](auto& p) { return p.BMPVersion; }, 1},
        {"ICOBackground", [](auto& p) { return p.ICOBackground.r + p.ICOBackground.g + p.ICOBackground.b; }, 765},
        {"CURBackground", [](auto& p) { return p.CURBackground.b; }, 255},
        {"PNGCompression", [](auto& p) { return p.PNGCompression; }, 5},
        {"TGACompressed", [](auto& p) { return p.TGACompressed; }, 1},
        {"TGAAspectRatio", [](auto& p) { return p.TGAAspectRatio; }, 1.0},
        {"TGAGamma", [](auto& p) { return p.TGAGamma; }, 2.2},
        {"TGADate is today", [](auto& p) { return p.TGADate == IEToday(); }, 1},
        {"EXIFXResolution", [](auto& p) { return p.EXIFXResolution; }, 0},
        {"EXIFBrightnessValue", [](auto& p) { return p.EXIFBrightnessValue; }, -1000},
        {"EXIFYCbCrPositioning", [](auto& p) { return p.EXIFYCbCrPositioning; }, -1},
        {"EXIFWhitePoint[1]", [](auto& p) { return p.EXIFWhitePoint[1]; }, -1},
        {"PSPaperWidth", [](auto& p) { return p.PSPaperWidth; }, 595},
        {"PSPaperHeight", [](auto& p) { return p.PSPaperHeight; }, 842},
        {"PSCompression", [](auto& p) { return p.PSCompression; }, 1},
        {"PSTitle", [](auto& p) { return p.PSTitle == "No Title"; }, 1},
        {"PDFCompression", [](auto& p) { return p.PDFCompression; }, 2},
        {"RAWGamma", [](auto& p) { return p.RAWGamma; }, 0.6},
        {"RAWAutoWB", [](auto& p) { return p.RAWAutoWB; }, 1},
        {"BMPRAWRowAlign", [](auto& p) { return p.BMPRAWRowAlign; }, 8},
        {"PSDReplaceLayers", [](auto& p) { return p.PSDReplaceLayers; }, 1},
        {"HDPhotoQuality", [](auto& p) { return p.HDPhotoQuality; }, 0.9},
        {"ICOSizes[0]", [](auto& p) { return p.ICOSizes[0][0] * 1000 + p.ICOSizes[0][1]; }, 64064},
        {"ICOSizes[1]", [](auto& p) { return p.ICOSizes[1][0]; }, 0},
        {"ICOBitCount", [](auto& p) { return p.ICOBitCount[0] * 100 + p.ICOBitCount[1]; }, 800},
        {"GIFVersion", [](auto& p) { return p.GIFVersion == "GIF89a"; }, 1},
        {"ColorMap", [](auto& p) { return p.GetColorMap() == nullptr && p.ColorMapCount == 0; }, 1},
        {"no carriers made", [](auto& p) { return !p.ImagingAnnot() && !p.InputICCProfile() && !p.GetEXIFThumbnail(); },
         1},
    };
}

TEST_F(ParamsTest, DefaultsWithAndWithoutOwner) {
    TIOParamsVals free(nullptr);
    TVovozIdIO io(nullptr);
    for (const Expect& e : DefaultTable()) {
        EXPECT_DOUBLE_EQ(e.get(free), e.value) << e.name;
        EXPECT_DOUBLE_EQ(e.get(io.Params()), e.value) << e.name;
    }
    // Free-standing params leave size and resolution at zero; an owner gives the default DPI.
    EXPECT_EQ(free.Width, 0);
    EXPECT_EQ(free.DpiX, 0);
    EXPECT_EQ(free.DpiY, 0);
    EXPECT_EQ(io.Params().DpiX, 300);
    EXPECT_EQ(io.Params().DpiY, 300);
    EXPECT_EQ(io.Params().EXIFXResolution, 0);  // ResetEXIF ran after the DPI
}

TEST_F(ParamsTest, ResolutionSetters) {
    TIOParamsVals p(nullptr);
    p.SetDpiX(72);
    EXPECT_EQ(p.DpiX, 72);
    EXPECT_DOUBLE_EQ(p.EXIFXResolution, 72.0);
    p.SetEXIFXResolution(71.6);
    EXPECT_EQ(p.DpiX, 72);
    EXPECT_DOUBLE_EQ(p.EXIFXResolution, 71.6);
    p.SetEXIFYResolution(150.5);  // halves go to the even neighbour
    EXPECT_EQ(p.DpiY, 150);
    p.SetEXIFYResolution(1e300);
    EXPECT_EQ(p.DpiY, INT32_MAX);
}

TEST_F(ParamsTest, EXIFPresenceFollowsTheAbsentValue) {
    TIOParamsVals p(nullptr);
    p.SetEXIFBrightnessValue(-1);
    EXPECT_TRUE(p.HasEXIFTag(37379));
    p.SetEXIFBrightnessValue(-1000);
    EXPECT_FALSE(p.HasEXIFTag(37379));
    p.SetEXIFCompressedBitsPerPixel(-1);
    EXPECT_TRUE(p.HasEXIFTag(37122));
    p.SetEXIFCompressedBitsPerPixel(0);
    EXPECT_FALSE(p.HasEXIFTag(37122));
    p.SetEXIFFlash(0);
    p.SetEXIFFlash(1);
    EXPECT_EQ(p.EXIFTags(), std::vector<int32_t>{37385});  // once only
    p.SetEXIFPixelXDimension(640);
    p.SetEXIFSceneType(-1);
    EXPECT_EQ(p.EXIFTags(), (std::vector<int32_t>{37385, 40962}));
    p.RemoveEXIFTag(99);
    EXPECT_EQ(p.EXIFTags().size(), 2u);
}

TEST_F(ParamsTest, ArrayAccessorsCheckTheirRange) {
    TIOParamsVals p(nullptr);
    p.SetEXIFPrimaryChromaticities(5, 0.3);
    EXPECT_DOUBLE_EQ(p.GetEXIFPrimaryChromaticities(5), 0.3);
    p.SetEXIFPrimaryChromaticities(6, 9);
    p.SetEXIFPrimaryChromaticities(-1, 9);
    EXPECT_DOUBLE_EQ(p.GetEXIFPrimaryChromaticities(6), -1.0);
    EXPECT_DOUBLE_EQ(p.GetEXIFWhitePoint(2), -1.0);
    EXPECT_EQ(p.GetEXIFISOSpeedRatings(2), 0);
    p.SetEXIFISOSpeedRatings(1, 400);
    EXPECT_EQ(p.GetEXIFISOSpeedRatings(1), 400);
    EXPECT_DOUBLE_EQ(p.GetEXIFYCbCrCoefficients(3), -1.0);
    EXPECT_DOUBLE_EQ(p.GetEXIFReferenceBlackWhite(-2), -1.0);
}

TEST_F(ParamsTest, LinkedGroups) {
    TIOParamsVals p(nullptr);
    p.SetImageIndex(4);
    for (int32_t v :
         {p.ImageIndex, p.TIFFImageIndex, p.DCXImageIndex, p.GIFImageIndex, p.ICOImageIndex, p.CURImageIndex})
        EXPECT_EQ(v, 4);
    p.SetImageCount(9);
    for (int32_t v : {p.ImageCount, p.TIFFImageCount, p.GIFImageCount, p.MediaFrameCount, p.ExtraImageCount})
        EXPECT_EQ(v, 9);
    p.SetEXIFOrientation(6);
    EXPECT_EQ(p.TIFFOrientation, 6);
    p.SetTIFFOrientation(3);
    EXPECT_EQ(p.EXIFOrientation, 3);
    p.SetGetThumbnail(true);
    EXPECT_TRUE(p.JPEGGetExifThumbnail);
}

TEST_F(ParamsTest, AssignCopiesDeepAndFollowsItsRules) {
    TIOParamsVals src(nullptr), dst(nullptr);
    src.TIFFImageIndex = 2;
    src.GIFImageIndex = 3;
    src.CURImageIndex = 0;
    src.JPEGQuality = 33;
    src.SetDpiX(96);
    src.SetEXIFXResolution(95.5);
    src.SetImageCount(7);
    src.AllocColorMap(4)[3] = TRGB{1, 2, 3};
    src.PNGTextKeys()->Add("Title");
    src.JPEGMarkers()->AddMarker(0xFE, "hi", 2);
    src.IPTC()->AddBufferItem(2, 5, 3, "abc");
    src.GetImagingAnnot();
    src.SetEXIFFlash(1);
    src.HasEXIFData = true;
    dst.GetInputICCProfile();
    dst.GetOrCreateEXIFThumbnail()->Allocate(2, 2, ie24RGB);
    dst.Assign(&src);
    for (int32_t v : {dst.ImageIndex, dst.TIFFImageIndex, dst.GIFImageIndex, dst.DCXImageIndex, dst.ICOImageIndex,
                      dst.CURImageIndex})
        EXPECT_EQ(v, 0);
    EXPECT_EQ(dst.JPEGQuality, 33);
    EXPECT_EQ(dst.DpiX, 96);
    EXPECT_DOUBLE_EQ(dst.EXIFXResolution, 95.5);
    EXPECT_EQ(dst.ExtraImageCount, 0);  // not copied
    EXPECT_EQ(dst.ImageCount, 7);
    ASSERT_EQ(dst.ColorMapCount, 4);
    EXPECT_NE(dst.GetColorMap(), src.GetColorMap());
    EXPECT_EQ(dst.GetColorMap()[3], (TRGB{1, 2, 3}));
    EXPECT_EQ(dst.PNGTextKeys()->Strings(0), "Title");
    EXPECT_EQ(dst.JPEGMarkers()->GetCount(), 1);
    EXPECT_EQ(dst.IPTC()->GetCount(), 1);
    EXPECT_NE(dst.ImagingAnnot(), nullptr);
    EXPECT_EQ(dst.InputICCProfile(), nullptr);   // the source has none: freed
    EXPECT_EQ(dst.GetEXIFThumbnail(), nullptr);  // the source has none: freed
    EXPECT_TRUE(dst.HasEXIFTag(37385));
    // Changing the copy leaves the source alone.
    dst.PNGTextKeys()->Clear();
    EXPECT_EQ(src.PNGTextKeys()->GetCount(), 1);
}

TEST_F(ParamsTest, ResetInfoKeepsWriteSettings) {
    TIOParamsVals p(nullptr);
    p.JPEGQuality = 12;
    p.PNGCompression = 9;
    p.JPEGMarkers()->AddMarker(0xE2, "x", 1);
    p.IPTC()->AddBufferItem(2, 5, 1, "t");
    p.HasEXIFData = true;
    p.EXIFMake = "Maker";
    p.GetInputICCProfile();
    p.GetImagingAnnot();
    p.XMPInfo = "<xmp/>";
    p.TIFFPageName = "page";
    p.ResetInfo();
    EXPECT_EQ(p.JPEGQuality, 12);
    EXPECT_EQ(p.PNGCompression, 9);
    EXPECT_EQ(p.JPEGMarkers()->GetCount(), 0);
    EXPECT_EQ(p.IPTC()->GetCount(), 0);
    EXPECT_FALSE(p.HasEXIFData);
    EXPECT_TRUE(p.EXIFMake.empty());
    EXPECT_EQ(p.InputICCProfile(), nullptr);
    EXPECT_EQ(p.ImagingAnnot(), nullptr);
    EXPECT_TRUE(p.XMPInfo.empty());
    EXPECT_TRUE(p.TIFFPageName.empty());
}

TEST_F(ParamsTest, ResetEXIFRemovesOnlyTheFirstEXIFMarker) {
    TIOParamsVals p(nullptr);
    const char exif[] = "Exif\0\0MM\0*";
    p.JPEGMarkers()->AddMarker(0xE1, "http://ns.adobe.com/xap/1.0/", 28);
    p.JPEGMarkers()->AddMarker(0xE1, exif, 10);
    p.JPEGMarkers()->AddMarker(0xE1, exif, 10);
    p.GetOrCreateEXIFThumbnail();
    p.SetEXIFFNumber(2.8);
    p.ResetEXIF();
    EXPECT_EQ(p.JPEGMarkers()->GetCount(), 2);
    EXPECT_EQ(p.JPEGMarkers()->GetMarkerLength(0), 28);
    EXPECT_EQ(p.GetEXIFThumbnail(), nullptr);
    EXPECT_DOUBLE_EQ(p.EXIFFNumber, -1);
    EXPECT_TRUE(p.EXIFTags().empty());
}

TEST_F(ParamsTest, DefaultProfileIsSRGB) {
    TIOParamsVals p(nullptr);
    EXPECT_TRUE(p.GetDefaultICCProfile()->IsValid());
    EXPECT_FALSE(p.GetFallbackICCProfile()->IsValid());
    EXPECT_EQ(p.GetFallbackICCProfile(), p.FallbackICCProfile());
}

TEST_F(ParamsTest, ColorMapIsBounded) {
    TIOParamsVals p(nullptr);
    EXPECT_EQ(p.AllocColorMap(0), nullptr);
    EXPECT_EQ(p.AllocColorMap(-3), nullptr);
    EXPECT_EQ(p.AllocColorMap(1 << 20), nullptr);
    EXPECT_NE(p.AllocColorMap(256), nullptr);
    EXPECT_EQ(p.ColorMapCount, 256);
    p.FreeColorMap();
    EXPECT_EQ(p.ColorMapCount, 0);
}

TEST_F(ParamsTest, AcquisitionDefaultsAndRelease) {
    static int releases = 0;
    auto saved = IETWReleaseAll;
    IETWReleaseAll = [](TIETWainShared& s, win::HWND) {
        ++releases;
        s.DSMLibrary = nullptr;
    };
    {
        TVovozIdIO io(nullptr);
        TIETWainParams& t = io.TWainParams();
        EXPECT_EQ(t.VisibleDialog, 1);
        EXPECT_DOUBLE_EQ(t.Gamma, 2.2);
        EXPECT_EQ(t.LastError, -2);
        EXPECT_EQ(t.Language, -1);
        EXPECT_EQ(t.Country, 1);
        EXPECT_DOUBLE_EQ(t.AcquireFrameLeft, -1.0);
        const double dpi = 300.0;
        const int32_t type = 2;
        t.XResolution->AddItem(&dpi);
        t.PixelType->AddItem(&type);
        t.Blocks.push_back(std::make_unique<uint8_t[]>(16));
        t.ProductName = "scanner";
        t.SetDefaultParams();
        EXPECT_EQ(t.XResolution->GetCount(), 0);
        EXPECT_EQ(t.PixelType->GetCount(), 0);
        EXPECT_TRUE(t.Blocks.empty());
        EXPECT_TRUE(t.ProductName.empty());
        EXPECT_EQ(releases, 0);
    }
    EXPECT_EQ(releases, 1);  // the component's end releases what is left
    IETWReleaseAll = saved;
}

}  // namespace
}  // namespace ie::test
