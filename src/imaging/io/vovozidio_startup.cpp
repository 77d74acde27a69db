// Start-up and shutdown of the input/output unit: its library-wide settings and
// resources, the colour-conversion hook and the debug log.
#include "imaging/io/vovozidio_startup.h"

#include <cstdio>
#include <ctime>
#include <mutex>

#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_exif.h"
#include "imaging/core/hyieutils_filebuffer.h"
#include "imaging/core/hyieutils_startup.h"
#include "imaging/core/ieicc.h"
#include "imaging/core/neurquant.h"
#include "imaging/core/vovozidio_colors.h"
#include "imaging/formats/iej2000.h"
#include "imaging/formats/tifccitt.h"
#include "imaging/io/iepresetim.h"
#include "imaging/io/ietwain.h"
#include "imaging/io/iopreviews.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_codecs.h"
#include "imaging/io/vovozidio_url.h"

namespace ie {

bool IEAVIInitialised = false;
cl::String IETWainLogName;
cl::String IEVideoExtensions;
std::vector<TIEIOPlugin> IEIOPlugins;
int32_t IEMetafileRasterLimit = 8000;
cl::String IEDebugLogName;
TIELZWCoders IEBuiltInLZWCoders;

const char IEEXIFUserCommentUnicode[8] = {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0};
const char IEEXIFUserCommentASCII[8] = {'A', 'S', 'C', 'I', 'I', 0, 0, 0};
const char IEEXIFUserCommentJIS[8] = {'J', 'I', 'S', 0, 0, 0, 0, 0};
const char IEEXIFUserCommentUndefined[8] = {0, 0, 0, 0, 0, 0, 0, 0};

namespace {

std::mutex gLogLock;
std::FILE* gLogFile = nullptr;
// The CMYK switch as the first start-up found it, put back by the shutdown.
bool gStarted = false;
bool gCMYKProfileBefore = false;

}  // namespace

void IEConvertColorScanline(void* Src, uint8_t SrcFormat, void* Dst, TIOParamsVals* Params, int32_t Count,
                            uint8_t DstKind) {
    TIEICC* input = nullptr;
    TIEICC* target = nullptr;
    if (IEICCConversionEnabled && Params) {
        TIEICC* in = Params->InputICCProfile();
        if (!(in && in->IsValid())) in = Params->FallbackICCProfile();
        if (in && in->IsValid() && !in->Applied) {
            input = in;
            target = Params->GetDefaultICCProfile();
        }
    }
    IEConvertColorScanlineWith(Src, SrcFormat, Dst, input, target, Count, DstKind);
}

void VovozIdIOStaticInit() {
    IEUseVclFileExists = false;
    IEDefGIFLZWDecompress = IEBuiltInLZWCoders.GIFDecompress;
    IEDefGIFLZWCompress = IEBuiltInLZWCoders.GIFCompress;
    IEDefTIFFLZWDecompress = IEBuiltInLZWCoders.TIFFDecompress;
    IEDefTIFFLZWCompress = IEBuiltInLZWCoders.TIFFCompress;
    IETempFolder.clear();
    IEBuildFormatRegistry();
    IEBindBuiltInCodecs();
    IEAVIInitialised = false;
    IETWainLogName.clear();
    IELoadInternet();
    IEConvertColorFunction = &IEConvertColorScanline;
    // JPEG markers get their EXIF block from the parameters.
    IEInstallEXIFBlockBuilder();
    IEICCConversionEnabled = false;
    IEIOPlugins.clear();
    IEQuantizerAlgorithm = -1;
    IEQuantizerQuality = -1;
    IERelativeStreamPositions = false;
    if (!gStarted) gCMYKProfileBefore = IECMYKProfileEnabled;
    gStarted = true;
    IECMYKProfileEnabled = true;
    IEFreeCMYKProfiles();
    IEMetafileRasterLimit = 8000;
    IEVideoExtensions = "mpg,mpeg,wmv,avi";
    // The loads by extension reach the video frames through the component.
    TIEIOExtensionHooks& hooks = IEIOExtensionHooks();
    hooks.OpenAVIFile = [](TVovozIdIO* IO, const cl::WideString& FileName) { IO->OpenAVIFile(FileName); };
    hooks.LoadAVIFrame = [](TVovozIdIO* IO, int32_t Frame) { IO->LoadAVIFrame(Frame); };
    hooks.CloseAVIFile = [](TVovozIdIO* IO) { IO->CloseAVIFile(); };
    hooks.LoadMetafileStream = [](TVovozIdIO* IO, cl::TStream* Stream, int32_t Width, bool WithAlpha, int32_t Height) {
        IO->LoadFromStreamMetafile(Stream, Width, WithAlpha, Height);
    };
    hooks.ReadMetafileParams = [](TVovozIdIO* IO, cl::TStream* Stream) { IO->ReadMetafileParams(Stream); };
    // The parameters preview dialog of DoPreviews.
    hooks.DoPreviews = &IEShowIOPreviews;
}

void VovozIdIOStaticFinal() {
    IEFreeCMYKProfiles();
    if (gStarted) IECMYKProfileEnabled = gCMYKProfileBefore;
    gStarted = false;
    // The plug-ins: their formats leave the registry, their libraries are released.
    for (TIEIOPlugin& plugin : IEIOPlugins) {
        IEUnregisterFormat(plugin.FileType);
        if (plugin.Release) plugin.Release(plugin);
    }
    IEIOPlugins.clear();
    IEFreeFormatRegistry();
    IEAVIInitialised = false;
    IEFreeInternet();
    IEVideoExtensions.clear();
    IETWCloseLog();
    std::lock_guard<std::mutex> lock(gLogLock);
    if (gLogFile) {
        std::fclose(gLogFile);
        gLogFile = nullptr;
    }
}

void VovozIdIORegisterHooks() {
    IERegisterStaticHooks(iesuVovozIdIO, &VovozIdIOStaticInit, &VovozIdIOStaticFinal);
    // The acquisition side's preset frame pictures start and stop with the library too.
    IEPresetImRegisterHooks();
    // So do the codecs' tables: the JPEG 2000 colour tables and the fax decode trees.
    IERegisterStaticHooks(iesuJ2000, &IEJ2000StaticInit, &IEJ2000StaticFinal);
    IERegisterStaticHooks(iesuTifCcitt, &TifCcittStaticInit, &TifCcittStaticFinal);
}

void IEDebugLog(const cl::String& Msg) {
    std::lock_guard<std::mutex> lock(gLogLock);
    if (IEDebugLogName.empty()) return;
    if (gLogFile) {
        std::fclose(gLogFile);
        gLogFile = nullptr;
    }
    // The log must exist: it is opened for appending, never created.
    if (IEFileExists(IEDebugLogName)) gLogFile = std::fopen(IEDebugLogName.c_str(), "ab");
    if (!gLogFile) throw cl::EInOutError(cl::Format("Cannot open the debug log \"%s\"", IEDebugLogName));
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%x %X", &local);
    if (std::fprintf(gLogFile, "%s : %s\r\n", stamp, Msg.c_str()) < 0 || std::fflush(gLogFile) != 0)
        throw cl::EInOutError(cl::Format("Cannot write the debug log \"%s\"", IEDebugLogName));
}

}  // namespace ie
