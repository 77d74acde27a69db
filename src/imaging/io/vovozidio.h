// The input/output component of the imaging library, TVovozIdIO: it loads an image into a
// bitmap and saves a bitmap to a file, a stream, a memory block or from a URL, in any
// format of the format registry, choosing the format by the caller's file type, by the
// file name's extension or by the content.
//
// Every load and save follows one dispatch pattern: background check, abort flag, the
// progress record, the bracket that runs DoFinishWork exactly once, a consistent bitmap,
// the codec, the finishing steps. Aborting is the one truth of success: every failure
// sets it, and a caller reads it after the operation.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "imaging/core/hyiedefs.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"
#include "imaging/io/vovozidio_twainparams.h"
#include "platform/windef.h"

namespace cl {
class TImage;
}

namespace ie {

class TIEBitmap;
class TIEMask;
class TVovozIdIO;
class TIEIOThread;
class TIEIOThreadRunner;
class TIEWideFileStream;
class TIEWia;
class TIEDirectShow;
class TIEMetafile;
struct TIEAVIState;
struct TIEAVIStateDeleter {
    void operator()(TIEAVIState* State) const;
};
// The time per frame in milliseconds of a video stream of Rate / Scale frames per second
// (0 when either is 0).
int32_t IEAVIFrameDelay(uint32_t Rate, uint32_t Scale);

// The relative-position switch of the buffered reads of the codecs and parameter reads.
extern bool IERelativeStreamPositions;
// Builds the EXIF block of the parameters for a JPEG APP1 marker (a new block the caller
// frees with std::free); installed by the metadata part. Null: the markers keep the EXIF
// block they have.
extern bool (*IEBuildEXIFBlock)(TIOParamsVals& Params, void*& Buffer, int32_t& Length);

// Messages posted to a view's window by the component's background threads.
constexpr unsigned int IEM_UPDATE = 8024;
constexpr unsigned int IEM_PROGRESS = 8027;  // wParam the percentage
constexpr unsigned int IEM_FINISHWORK = 8028;

// What the component needs of an attached image view. The base view control implements
// it; the component keeps no other knowledge of the view.
class TIEIOViewLink {
public:
    using TBitmapChangeEvent = std::function<void(cl::TObject* Sender, bool Destroying)>;
    virtual ~TIEIOViewLink() = default;
    // The view as a component (for free notification).
    virtual cl::TComponent* ViewComponent() = 0;
    // The view's class-library bitmap and its TIEBitmap (either may be null).
    virtual cl::TBitmap* GetBitmap() = 0;
    virtual TIEBitmap* GetIEBitmap() = 0;
    // Registers Event, called when the view's bitmap changes or the view is destroyed;
    // the handle goes back to RemoveBitmapChangeEvent.
    virtual void* RegisterBitmapChangeEvent(TBitmapChangeEvent Event) = 0;
    virtual void RemoveBitmapChangeEvent(void* Handle) = 0;
    virtual void Update() = 0;
    virtual void ImageChange() = 0;
    virtual int32_t GetDpiX() = 0;
    virtual int32_t GetDpiY() = 0;
    virtual void SetDpi(int32_t DpiX, int32_t DpiY) = 0;
    virtual void SetDpiX(int32_t Value) = 0;
    virtual void SetDpiY(int32_t Value) = 0;
    virtual cl::TColor GetBackground() = 0;
    // True when the view has a parent control (a window can exist).
    virtual bool HasParentControl() = 0;
    // Makes the view's window when it does not exist yet (on the component's own thread).
    virtual void MakeViewHandle() = 0;
    // The view's window as it is (any thread).
    virtual win::HWND ViewHandle() = 0;
    // The full image view (TVovozIdView) holds its updates while its resolution changes.
    virtual bool IsFullView() { return false; }
    virtual void HoldUpdate() {}
    virtual void ReleaseUpdateHold() {}
};

// The operations of the formats whose loading and saving are built elsewhere in the unit
// (GIF frames, metafiles, AVI, PSD layers, vector and layer files, dialogs). Each is null
// until the part that provides it registers it; a load or save that needs a missing one
// sets the abort flag and finishes the work.
struct TIEIOExtensionHooks {
    // Loads a GIF stream with its frame composition; answers the frame count.
    std::function<int32_t(TVovozIdIO* IO, cl::TStream* Stream)> LoadGIFStream;
    std::function<void(TVovozIdIO* IO, cl::TStream* Stream)> SaveGIFStream;
    // Loads a metafile stream rastered to Width x Height (-1: its own size).
    std::function<void(TVovozIdIO* IO, cl::TStream* Stream, int32_t Width, bool WithAlpha, int32_t Height)>
        LoadMetafileStream;
    std::function<void(TVovozIdIO* IO, cl::TStream* Stream)> ReadMetafileParams;
    std::function<void(TVovozIdIO* IO, cl::TStream* Stream)> LoadPSDStream;
    std::function<void(TVovozIdIO* IO, cl::TStream* Stream)> SavePSDStream;
    std::function<void(TVovozIdIO* IO, cl::TStream* Stream, int32_t FileType)> LoadVectorialStream;
    // Loads an objects file or a layers-with-objects file by name: without a view that can
    // hold them the file's picture is made in a scratch view and becomes the component's.
    std::function<void(TVovozIdIO* IO, const cl::WideString& FileName, int32_t FileType)> LoadVectorialFile;
    // AVI frames, by file name.
    std::function<void(TVovozIdIO* IO, const cl::WideString& FileName)> OpenAVIFile;
    std::function<void(TVovozIdIO* IO, int32_t Frame)> LoadAVIFrame;
    std::function<void(TVovozIdIO* IO)> CloseAVIFile;
    // The parameters preview dialog over Shown (the component's picture, converted for the
    // dialog): True when the user confirmed.
    std::function<bool(TVovozIdIO* IO, uint16_t Pages, TIEBitmap* Shown)> DoPreviews;
};
TIEIOExtensionHooks& IEIOExtensionHooks();

enum TIOPreviewsParamsItems : uint8_t { ioppDefaultLockPreview = 1, ioppApplyButton = 2 };
using TIOPreviewsParams = uint8_t;
enum TIEDialogsMeasureUnit : uint8_t { ieduInches, ieduCm, ieduSelectableDefInches, ieduSelectableDefCm };

// The view's messages of the video glue: a new frame, a graph event (lParam the object).
constexpr unsigned int IEM_NEWFRAME = 8025;
constexpr unsigned int IEM_EVENT = 8026;

// Print-preview settings the component keeps for a print dialog.
class TIOPrintPreviewParams : public cl::TObject {
    CL_DECLARE_CLASS(TIOPrintPreviewParams, cl::TObject)
public:
    double MarginTop = 1.0, MarginLeft = 1.0, MarginRight = 1.0, MarginBottom = 1.0;
    int32_t Position = 4;
    int32_t Size = 1;
    double Width = -1.0, Height = -1.0;
    double Gamma = 1.0;
};

using TIEDoPreviewsEvent = std::function<void(cl::TObject* Sender, bool& Handled)>;
using TIEIOPreviewEvent = std::function<void(cl::TObject* Sender, cl::TComponent* PreviewForm)>;
using TIEAcquireBitmapEvent = std::function<void(cl::TObject* Sender, TIEBitmap* ABitmap, bool& Handled)>;

// Finishing steps after a reader (each per-format load has its own subset).
enum : uint16_t {
    iefsFixDpi = 1,      // D: FixMissingDPI
    iefsAlphaMask = 2,   // M: the reader's alpha mask into the alpha channel
    iefsAdjustDpi = 4,   // J: AdjustDPI when AutoAdjustDPI
    iefsSyncView = 8,    // S: SyncViewDPI
    iefsFileType = 16,   // T: Params.FileType
    iefsUpdate = 32,     // U: Update
    iefsResetInfo = 64,  // R: Params.ResetInfo before the reader
    iefsNoAlpha = 128,   // A: the alpha channel removed before the reader
};

class TVovozIdIO : public cl::TComponent {
    CL_DECLARE_COMPONENT(TVovozIdIO, cl::TComponent)
public:
    explicit TVovozIdIO(cl::TComponent* AOwner);
    // A component working on Bitmap (not owned).
    static std::unique_ptr<TVovozIdIO> CreateFromBitmap(TIEBitmap* Bitmap);
    ~TVovozIdIO() override;

    // --- The bitmap and the attachments.
    TIEBitmap* GetIEBitmap() const { return FIEBitmap; }
    bool GetOwnsBitmap() const { return FOwnsBitmap; }
    void SetIEBitmap(TIEBitmap* Bitmap);
    void SetAttachedIEBitmap(TIEBitmap* Bitmap);
    TIEIOViewLink* GetAttachedVovozId() const { return FAttachedVovozId; }
    void SetAttachedVovozId(TIEIOViewLink* View);
    cl::TImage* GetAttachedTImage() const { return FAttachedTImage; }
    void SetAttachedTImage(cl::TImage* Image);
    virtual cl::TBitmap* GetVclBitmap();
    cl::TColor GetBackground();
    void SetBackground(cl::TColor Value);

    // --- Settings.
    TIOParamsVals& Params() { return *FParams; }
    TIETWainParams& TWainParams() { return *FTWainParams; }
    TMsgLanguage MsgLanguage = msSystem;
    TIOPreviewsParams PreviewsParams = 0;
    bool SimplifiedParamsDialogs = true;
    bool StreamHeaders = false;
    cl::TFont* PreviewFont() const { return FPreviewFont.get(); }
    TIEDialogsMeasureUnit DialogsMeasureUnit = ieduInches;
    bool AutoAdjustDPI = false;
    bool FilteredAdjustDPI = false;
    bool AsyncMode = false;  // loads and saves run on a background thread (when not owning the bitmap)
    uint32_t StateWord = 0;
    cl::WideString ProxyAddress, ProxyUser, ProxyPassword;
    uint8_t MonoConversion = 1;
    // Sets the bitmap's MonoConversion (when there is a bitmap) and the component's.
    void SetMonoConversion(uint8_t Value);
    TIOPreviewsParams GetPreviewsParams() const { return PreviewsParams; }
    void SetPreviewsParams(TIOPreviewsParams Value) { PreviewsParams = Value; }
    // Copies Value's settings into the preview font.
    void SetPreviewFont(cl::TFont* Value);
    TIOPrintPreviewParams& PrintPreviewParams() { return *FPrintPreviewParams; }
    bool GetNativePixelFormat() const { return FParams && FParams->NativePixelFormat; }
    void SetNativePixelFormat(bool Value) {
        if (FParams) FParams->NativePixelFormat = Value;
    }

    // --- Events.
    TIEProgressEvent OnProgress;
    cl::TNotifyEvent OnFinishWork;
    TIEAcquireBitmapEvent OnAcquireBitmap;
    TIEDoPreviewsEvent OnDoPreviews;
    TIEIOPreviewEvent OnIOPreview;
    // The progress method every progress record carries (the component's DoProgress).
    TIEProgressFnc ProgressHookFnc = nullptr;
    void* ProgressHookData = nullptr;

    // The abort flag of the current or last operation.
    std::atomic<bool> Aborting{false};

    // --- Detection and dispatch (streams and memory).
    virtual void LoadFromStream(cl::TStream* Stream);
    virtual void LoadFromStreamFormat(cl::TStream* Stream, int32_t FileType);
    virtual void LoadFromBuffer(const void* Buffer, int64_t Size, int32_t FileType = ioUnknown);
    virtual void ReadParamsFromBuffer(const void* Buffer, int64_t Size, int32_t FileType = ioUnknown);
    virtual void ReadParamsFromStream(cl::TStream* Stream);
    virtual void ReadParamsFromStreamFormat(cl::TStream* Stream, int32_t FileType);
    virtual void SaveToStream(cl::TStream* Stream, int32_t FileType);

    // --- Files.
    virtual void LoadFromFile(const cl::WideString& FileName);
    virtual void LoadFromFileAuto(const cl::WideString& FileName);
    virtual void LoadFromFileFormat(const cl::WideString& FileName, int32_t FileType);
    virtual void SaveToFile(const cl::WideString& FileName);
    virtual void ReadParamsFromFile(const cl::WideString& FileName);
    virtual void ReadParamsFromFileFormat(const cl::WideString& FileName, int32_t FileType);
    void LoadFromFile(const cl::String& FileName);
    void SaveToFile(const cl::String& FileName);

    // --- The per-format family: one stream and one file member per direction, by type
    // (SaveToFileOf also serves added formats).
    // Loads answer the image count the reader reports (-1 when it tells none or when the
    // load went to the background).
    int32_t LoadFromStreamOf(cl::TStream* Stream, int32_t FileType);
    int32_t LoadFromFileOf(const cl::WideString& FileName, int32_t FileType);
    void SaveToStreamOf(cl::TStream* Stream, int32_t FileType);
    void SaveToFileOf(const cl::WideString& FileName, int32_t FileType);

#define IE_IO_FORMAT_MEMBERS(Name, Type)                                                                  \
    int32_t LoadFromStream##Name(cl::TStream* Stream) { return LoadFromStreamOf(Stream, Type); }          \
    int32_t LoadFromFile##Name(const cl::WideString& FileName) { return LoadFromFileOf(FileName, Type); } \
    void SaveToStream##Name(cl::TStream* Stream) { SaveToStreamOf(Stream, Type); }                        \
    void SaveToFile##Name(const cl::WideString& FileName) { SaveToFileOf(FileName, Type); }
    IE_IO_FORMAT_MEMBERS(TIFF, ioTIFF)
    IE_IO_FORMAT_MEMBERS(GIF, ioGIF)
    IE_IO_FORMAT_MEMBERS(JPEG, ioJPEG)
    IE_IO_FORMAT_MEMBERS(PCX, ioPCX)
    IE_IO_FORMAT_MEMBERS(BMP, ioBMP)
    IE_IO_FORMAT_MEMBERS(ICO, ioICO)
    IE_IO_FORMAT_MEMBERS(CUR, ioCUR)
    IE_IO_FORMAT_MEMBERS(PNG, ioPNG)
    IE_IO_FORMAT_MEMBERS(TGA, ioTGA)
    IE_IO_FORMAT_MEMBERS(PXM, ioPXM)
    IE_IO_FORMAT_MEMBERS(JP2, ioJP2)
    IE_IO_FORMAT_MEMBERS(J2K, ioJ2K)
    IE_IO_FORMAT_MEMBERS(WBMP, ioWBMP)
    IE_IO_FORMAT_MEMBERS(PS, ioPS)
    IE_IO_FORMAT_MEMBERS(PDF, ioPDF)
    IE_IO_FORMAT_MEMBERS(DCX, ioDCX)
    IE_IO_FORMAT_MEMBERS(RAW, ioRAW)
    IE_IO_FORMAT_MEMBERS(RawBitmap, ioBMPRAW)
    IE_IO_FORMAT_MEMBERS(PSD, ioPSD)
    IE_IO_FORMAT_MEMBERS(DICOM, ioDICOM)
    IE_IO_FORMAT_MEMBERS(HDP, ioHDP)
#undef IE_IO_FORMAT_MEMBERS

    // The metadata step before every JPEG write, and its Photoshop resolution part.
    void PrepareJPEGMarkers();
    void UpdatePhotoshopResolution();

    // --- Metafiles. The picture is rastered to Width x Height (one of them -1: kept in
    // proportion; both -1: its own size; the longer side at most the raster limit), drawn
    // over the background colour; WithAlpha makes what it does not paint transparent. An
    // empty picture, a size of 0 or data that is no metafile set the abort flag.
    void ImportMetafile(TIEMetafile& Meta, int32_t Width, bool WithAlpha, int32_t Height);
    void LoadFromStreamMetafile(cl::TStream* Stream, int32_t Width, bool WithAlpha, int32_t Height);
    void LoadFromFileMetafile(const cl::WideString& FileName, int32_t Width, bool WithAlpha, int32_t Height);
    // The parameters of a metafile without drawing it.
    void ReadMetafileParams(cl::TStream* Stream);

    // --- Video frames. OpenAVIFile answers the frame count (0 and the abort flag on
    // failure); LoadAVIFrame decodes frame Index (counted from 0) into the bitmap (an index
    // at or past the count decodes nothing); CloseAVIFile lets go of the file.
    int32_t OpenAVIFile(const cl::WideString& FileName);
    void LoadAVIFrame(int32_t Index);
    void CloseAVIFile();
    bool IsAVIOpen() const { return bool(FAVI); }

    // --- Text. Writes the image as text into FileName: Kind 0 a constant array of its
    // bytes in format Format, 1 the bytes as hexadecimal, 2 as base64, 3 a picture of
    // characters (one line per row, dark to light "W@#*+:., "). A format without a writer
    // (or a picture that cannot be had) leaves the file empty and sets the abort flag;
    // file errors raise.
    void SaveToText(const cl::WideString& FileName, int32_t Format, uint8_t Kind);

    // --- URLs.
    virtual void LoadFromURL(const cl::WideString& URL);

    // --- Steps of the dispatch pattern.
    bool MakeConsistentBitmap(std::initializer_list<TIEPixelFormat> AllowedFormats = {});
    bool IsIOThread();
    // Waits for the background threads; with SetAborting they are asked to stop first.
    // On the thread that made the component it keeps running the work the threads hand
    // to it meanwhile.
    void WaitThreads(bool SetAborting);
    void Update();
    void FixMissingDPI();
    void AdjustDPI();
    virtual void SyncViewDPI();
    virtual void DoProgress(cl::TObject* Sender, int32_t Percent);
    virtual void DoFinishWork();
    void AllocateViewHandle();
    virtual void ClearStateWord() { StateWord = 0; }
    // A progress record for the component: the abort flag, the progress hook, the sender.
    TProgressRec MakeProgressRec();

    // --- Acquisition (sources hand over an image here).
    virtual void ReceiveAcquiredBitmap(TIEBitmap* Bitmap, TIOParamsVals*& OutParams);
    virtual void DoAcquireBitmap(TIEBitmap* ABitmap, bool& Handled);
    // The parameters dialog for the format pages of Pages (ppJPEG...): True when the user
    // confirmed. The dialog shows a copy of the picture converted to 24 bits (1-bit pictures
    // as they are); the component's picture keeps its format.
    virtual bool DoPreviews(uint16_t Pages);
    // The image acquisition glue, made on first use (its progress goes to WIAProgress).
    virtual TIEWia* GetWIA();
    // Reports Percent as progress of the component; False once the operation is aborted.
    bool WIAProgress(int32_t Percent);
    // The video glue, made on first use; the attached view's window receives its messages.
    virtual TIEDirectShow* GetDirectShow();
    // Registers the view's window with the video glue again when it changed.
    void UpdateDirectShowNotifyWindow();
    // The second video glue slot (nothing fills it here): disconnected and freed when set.
    TIEDirectShow* GetSpareDirectShow() const { return FSpareDirectShow.get(); }
    void ReleaseSpareDirectShow();

    // --- Background work.
    // Runs Fn on the thread that made the component and waits for it (from a background
    // thread); on that thread it runs at once.
    void Synchronize(const std::function<void()>& Fn);
    // Hands Fn to the thread that made the component without waiting (from any thread); it
    // runs when that thread next serves the handed-over work.
    void Queue(std::function<void()> Fn);
    // Runs the work other threads handed over with Synchronize (the main loop calls it; so
    // does WaitThreads).
    void CheckSynchronize();
    int32_t RunningThreadCount();

protected:
    void Notification(cl::TComponent* AComponent, cl::TOperation Operation) override;

private:
    void ViewBitmapChanged(cl::TObject* Sender, bool Destroying);
    void UnregisterView();
    // Starts Fn on a background thread when the dispatch asks for one; True when it did.
    bool StartInBackground(std::function<void()> Fn);
    bool NeedsBackground();
    // Ends an operation that cannot run: the abort flag, then the finish of the work.
    void FailOperation();
    // Loads need a registered format: without one (a program that started only the core)
    // the operation fails and raises, instead of leaving an empty picture.
    void RequireRegisteredFormats();
    // Opens a file for an operation (the abort flag set while it opens).
    std::unique_ptr<TIEWideFileStream> OpenFile(const cl::WideString& FileName, uint16_t Mode);
    // Converts the bitmap to ie24RGB unless it is ie24RGB or ie1g.
    void ConvertForSave();
    // The worker of the per-format stream loads (Headers: with a stream header).
    int32_t SyncLoadFromStreamOf(cl::TStream* Stream, int32_t FileType, bool Headers, uint16_t Steps,
                                 const cl::WideString* FileName);
    void SyncSaveToStreamOf(cl::TStream* Stream, int32_t FileType, bool Headers, bool FileSave);
    void LoadAdded(cl::TStream* Stream, TIEFileFormatInfo* E);
    void SaveAddedToFile(const cl::WideString& FileName, TIEFileFormatInfo* E);
    void ReadParamsWith(cl::TStream* Stream, int32_t FileType);
    void RunFinishingSteps(uint16_t Steps, TIEReadContext& Context, const cl::WideString* FileName, int32_t FileType);

    TIEBitmap* FIEBitmap = nullptr;
    bool FOwnsBitmap = true;
    cl::TBitmap* FVclBitmap = nullptr;
    TIEIOViewLink* FAttachedVovozId = nullptr;
    void* FViewCallback = nullptr;
    cl::TImage* FAttachedTImage = nullptr;
    cl::TColor FBackground = 0;
    std::unique_ptr<TIOParamsVals> FParams;
    std::unique_ptr<TIETWainParams> FTWainParams;
    std::unique_ptr<cl::TFont> FPreviewFont;
    std::unique_ptr<TIOPrintPreviewParams> FPrintPreviewParams;
    std::unique_ptr<TIEWia> FWia;
    std::unique_ptr<TIEDirectShow> FDirectShow;
    std::unique_ptr<TIEDirectShow> FSpareDirectShow;
    std::unique_ptr<TIEAVIState, TIEAVIStateDeleter> FAVI;

    // The background threads (last member: the first to go, waiting for the threads).
    std::unique_ptr<TIEIOThreadRunner> FThreads;
};

}  // namespace ie
