// The input/output component: construction, attachments, the dispatch pattern and its
// finishing steps, the per-format family, streams, memory and files.
#include "imaging/io/vovozidio.h"

#include <cmath>
#include <cstring>

#include "classlib/ExtCtrls.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_budget.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_exif.h"
#include "imaging/core/hyieutils_markers.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/core/hyieutils_streams.h"
#include "imaging/core/hyieutils_xmp.h"
#include "imaging/io/ieds.h"
#include "imaging/io/iewia.h"
#include "imaging/io/vovozidio_thread.h"
#include "platform/codepage.h"
#include "platform/user.h"

namespace ie {

bool IERelativeStreamPositions = false;
bool (*IEBuildEXIFBlock)(TIOParamsVals& Params, void*& Buffer, int32_t& Length) = nullptr;

TIEIOExtensionHooks& IEIOExtensionHooks() {
    static TIEIOExtensionHooks hooks;
    return hooks;
}

namespace {

// A load in a program that started only the core (IELibraryStaticInit without the
// input/output unit's hooks) finds no format at all; it says so instead of leaving an
// empty picture behind.
const char* const kNoFormatsRegistered =
    "No image file format is registered: the program has to start the imaging library with IEStartLibrary";

// A bitmap the readers fill; on success its storage moves into the component's bitmap,
// so that a failed load leaves that bitmap as it was.
class TIELoadBitmap : public TIEBitmap {
public:
    void MoveInto(TIEBitmap* Dest) {
        if (Dest->GetLocation() == ieTBitmap)
            Dest->Assign(this);
        else
            MoveStorageTo(Dest);
    }
};

// The rules of one built-in format's load and save members.
struct FormatRule {
    int32_t Type;
    uint16_t StreamSteps;  // after the reader, on a stream
    uint16_t FileSteps;    // after the reader, on a file
    bool Convert;          // the save converts to ie24RGB unless ie24RGB or ie1g
    const char* Header;    // the stream-header tag, or null
};

constexpr uint16_t RA = iefsResetInfo | iefsNoAlpha;
constexpr uint16_t D = iefsFixDpi, M = iefsAlphaMask, J = iefsAdjustDpi, S = iefsSyncView, T = iefsFileType,
                   U = iefsUpdate;

constexpr FormatRule kRules[] = {
    {ioTIFF, RA | D | M | J | S | T | U, RA | D | M | J | S | T | U, false, "TIFF"},
    // GIF loads go to the frame loader (IEIOExtensionHooks().LoadGIFStream); saves are plain.
    {ioGIF, 0, 0, false, nullptr},
    {ioJPEG, RA | D | J | S | T | U, RA | D | J | S | T | U, true, "JFIF"},
    {ioPCX, RA | D | J | T | S | U, RA | D | J | T | S | U, true, "PCX2"},
    {ioBMP, RA | D | M | J | S | T | U, RA | D | M | J | S | T | U, false, nullptr},
    {ioICO, RA | D | M | J | S | T | U, RA | D | M | J | S | T | U, true, nullptr},
    {ioCUR, RA | D | M | J | S | T | U, RA | D | M | J | S | T | U, true, nullptr},
    {ioPNG, RA | D | J | T | S | U, RA | D | J | T | S | U, false, nullptr},
    {ioTGA, RA | D | M | J | T | U, RA | D | M | J | S | T | U, true, nullptr},
    {ioPXM, RA | D | J | T | U, RA | D | J | T | U, true, nullptr},
    {ioJP2, RA | D | J | S | T | U, RA | D | J | S | T | U, true, nullptr},
    {ioJ2K, RA | D | J | S | T | U, RA | D | J | S | T | U, true, nullptr},
    {ioWBMP, RA | D | T | U, RA | D | T | U, true, nullptr},
    {ioPS, 0, 0, true, nullptr},
    {ioPDF, 0, 0, true, nullptr},
    {ioDCX, RA | D | J | T | S | U, RA | D | J | T | S | U, false, nullptr},
    {ioRAW, RA | D | J | T | S | U, RA | D | J | T | S | U, false, nullptr},
    {ioBMPRAW, RA | T | U, RA | T | U, false, nullptr},
    {ioDICOM, RA | T | U, RA | T | U, false, nullptr},
    {ioHDP, RA | D | J | T | S | U, RA | D | J | T | S | U, false, nullptr},
};

const FormatRule* RuleOf(int32_t Type) {
    for (const FormatRule& r : kRules)
        if (r.Type == Type) return &r;
    return nullptr;
}

uint32_t ReadLE32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

bool HeaderTagIs(const uint8_t* Head, const char* Tag) {
    const size_t len = std::strlen(Tag);
    return std::memcmp(Head, Tag, len) == 0 && Head[len] == 0;
}

void ProgressThunk(void* Data, cl::TObject* Sender, int32_t Percent) {
    static_cast<TVovozIdIO*>(Data)->DoProgress(Sender, Percent);
}

cl::String LowerExt(const cl::WideString& FileName) {
    return cl::LowerCase(win::Utf16ToUtf8(IEExtractFileExtW(FileName, true)));
}

// Runs Fn when the scope ends, also by an exception.
template <class F>
struct Finally {
    F Fn;
    bool Armed = true;
    ~Finally() {
        if (Armed) Fn();
    }
};
template <class F>
Finally(F) -> Finally<F>;

// Nearest-neighbour copy of Source into Dest (same pixel format, Dest allocated).
void ResampleNearest(TIEBitmap* Source, TIEBitmap* Dest) {
    const int32_t sw = Source->GetWidth(), sh = Source->GetHeight();
    const int32_t dw = Dest->GetWidth(), dh = Dest->GetHeight();
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    const int32_t bits = Source->GetBitCount();
    for (int32_t y = 0; y < dh; ++y) {
        const int32_t sy = static_cast<int32_t>(int64_t{y} * sh / dh);
        const auto* src = static_cast<const uint8_t*>(Source->GetScanline(sy));
        std::vector<uint8_t> row(src, src + Source->GetRowLen());
        auto* dst = static_cast<uint8_t*>(Dest->GetScanline(y));
        for (int32_t x = 0; x < dw; ++x) {
            const int32_t sx = static_cast<int32_t>(int64_t{x} * sw / dw);
            if (bits == 1) {
                const bool on = (row[static_cast<size_t>(sx >> 3)] >> (7 - (sx & 7))) & 1;
                uint8_t& b = dst[x >> 3];
                b = static_cast<uint8_t>(on ? (b | (0x80 >> (x & 7))) : (b & ~(0x80 >> (x & 7))));
            } else {
                const int32_t bpp = bits / 8;
                std::memcpy(dst + static_cast<size_t>(x) * bpp, row.data() + static_cast<size_t>(sx) * bpp,
                            static_cast<size_t>(bpp));
            }
        }
    }
    Source->CopyPaletteTo(Dest);
}

// Bilinear resample of an ie24RGB Source into an ie24RGB Dest.
void ResampleBilinear24(TIEBitmap* Source, TIEBitmap* Dest) {
    const int32_t sw = Source->GetWidth(), sh = Source->GetHeight();
    const int32_t dw = Dest->GetWidth(), dh = Dest->GetHeight();
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    for (int32_t y = 0; y < dh; ++y) {
        const double fy = std::max(0.0, (y + 0.5) * sh / dh - 0.5);
        const int32_t y0 = std::min(static_cast<int32_t>(fy), sh - 1), y1 = std::min(y0 + 1, sh - 1);
        const double wy = fy - y0;
        std::vector<uint8_t> r0(static_cast<const uint8_t*>(Source->GetScanline(y0)),
                                static_cast<const uint8_t*>(Source->GetScanline(y0)) + sw * 3);
        std::vector<uint8_t> r1(static_cast<const uint8_t*>(Source->GetScanline(y1)),
                                static_cast<const uint8_t*>(Source->GetScanline(y1)) + sw * 3);
        auto* dst = static_cast<uint8_t*>(Dest->GetScanline(y));
        for (int32_t x = 0; x < dw; ++x) {
            const double fx = std::max(0.0, (x + 0.5) * sw / dw - 0.5);
            const int32_t x0 = std::min(static_cast<int32_t>(fx), sw - 1), x1 = std::min(x0 + 1, sw - 1);
            const double wx = fx - x0;
            for (int c = 0; c < 3; ++c) {
                const double top = r0[x0 * 3 + c] * (1 - wx) + r0[x1 * 3 + c] * wx;
                const double bottom = r1[x0 * 3 + c] * (1 - wx) + r1[x1 * 3 + c] * wx;
                dst[x * 3 + c] = static_cast<uint8_t>(std::lround(top * (1 - wy) + bottom * wy));
            }
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction

TVovozIdIO::TVovozIdIO(cl::TComponent* AOwner)
    : cl::TComponent(AOwner), FThreads(std::make_unique<TIEIOThreadRunner>()) {
    FIEBitmap = new TIEBitmap();
    FOwnsBitmap = true;
    FParams = std::make_unique<TIOParamsVals>(this);
    FTWainParams = std::make_unique<TIETWainParams>(this);
    ProgressHookFnc = &ProgressThunk;
    ProgressHookData = this;
    FPreviewFont = std::make_unique<cl::TFont>();
    FPrintPreviewParams = std::make_unique<TIOPrintPreviewParams>();
}

std::unique_ptr<TVovozIdIO> TVovozIdIO::CreateFromBitmap(TIEBitmap* Bitmap) {
    auto io = std::make_unique<TVovozIdIO>(nullptr);
    io->SetAttachedIEBitmap(Bitmap);
    return io;
}

TVovozIdIO::~TVovozIdIO() {
    WaitThreads(false);
    if (IEIOExtensionHooks().CloseAVIFile) IEIOExtensionHooks().CloseAVIFile(this);
    FWia.reset();
    FDirectShow.reset();
    FSpareDirectShow.reset();
    UnregisterView();
    FParams.reset();
    FTWainParams.reset();
    FPreviewFont.reset();
    FPrintPreviewParams.reset();
    if (FOwnsBitmap) delete FIEBitmap;
    FIEBitmap = nullptr;
}

// ---------------------------------------------------------------------------------------
// Attachments

void TVovozIdIO::UnregisterView() {
    if (FAttachedVovozId && FViewCallback) FAttachedVovozId->RemoveBitmapChangeEvent(FViewCallback);
    FViewCallback = nullptr;
}

void TVovozIdIO::SetIEBitmap(TIEBitmap* Bitmap) {
    FVclBitmap = nullptr;
    if (FOwnsBitmap && FIEBitmap != Bitmap) delete FIEBitmap;
    FIEBitmap = Bitmap;
    FOwnsBitmap = false;
}

void TVovozIdIO::SetAttachedIEBitmap(TIEBitmap* Bitmap) {
    UnregisterView();
    if (!Bitmap && (FAttachedVovozId || FAttachedTImage)) return;  // the attachment's bitmap stays in use
    if (!Bitmap) {
        // Back to an owned, empty bitmap.
        SetIEBitmap(nullptr);
        FIEBitmap = new TIEBitmap();
        FOwnsBitmap = true;
        return;
    }
    SetIEBitmap(Bitmap);
    if (FAttachedVovozId) FAttachedVovozId->ViewComponent()->RemoveFreeNotification(this);
    FAttachedVovozId = nullptr;
    if (FAttachedTImage) FAttachedTImage->RemoveFreeNotification(this);
    FAttachedTImage = nullptr;
}

void TVovozIdIO::SetAttachedVovozId(TIEIOViewLink* View) {
    UnregisterView();
    if (FAttachedVovozId && FAttachedVovozId != View) FAttachedVovozId->ViewComponent()->RemoveFreeNotification(this);
    FAttachedVovozId = View;
    if (!View) {
        if (FOwnsBitmap) delete FIEBitmap;
        FIEBitmap = new TIEBitmap();
        FOwnsBitmap = true;
        FVclBitmap = nullptr;
        return;
    }
    if (FOwnsBitmap) delete FIEBitmap;
    FIEBitmap = nullptr;
    FOwnsBitmap = false;
    FVclBitmap = View->GetBitmap();
    if (TIEBitmap* ie = View->GetIEBitmap()) {
        FIEBitmap = ie;
        FVclBitmap = nullptr;
    } else {
        FIEBitmap = new TIEBitmap();
        FOwnsBitmap = true;
        if (FVclBitmap) FIEBitmap->EncapsulateTBitmap(FVclBitmap, true);
    }
    View->ViewComponent()->FreeNotification(this);
    if (FAttachedTImage) FAttachedTImage->RemoveFreeNotification(this);
    FAttachedTImage = nullptr;
    FViewCallback = View->RegisterBitmapChangeEvent(
        [this](cl::TObject* Sender, bool Destroying) { ViewBitmapChanged(Sender, Destroying); });
}

void TVovozIdIO::SetAttachedTImage(cl::TImage* Image) {
    UnregisterView();
    if (FAttachedVovozId) {
        FAttachedVovozId->ViewComponent()->RemoveFreeNotification(this);
        FAttachedVovozId = nullptr;
        // The view's bitmap is not ours: an owned one takes its place.
        if (!FOwnsBitmap) {
            FIEBitmap = new TIEBitmap();
            FOwnsBitmap = true;
        }
    }
    if (FAttachedTImage && FAttachedTImage != Image) FAttachedTImage->RemoveFreeNotification(this);
    FAttachedTImage = Image;
    if (!FOwnsBitmap) {
        FIEBitmap = new TIEBitmap();
        FOwnsBitmap = true;
    }
    if (Image) {
        FVclBitmap = Image->GetPicture()->GetBitmap();
        FIEBitmap->EncapsulateTBitmap(FVclBitmap, true);
        Image->FreeNotification(this);
    } else {
        FVclBitmap = nullptr;
        FIEBitmap->FreeImage(true);
    }
}

void TVovozIdIO::ViewBitmapChanged(cl::TObject*, bool Destroying) {
    if (Destroying) {
        FAttachedVovozId = nullptr;
        FViewCallback = nullptr;
        return;
    }
    TIEIOViewLink* view = FAttachedVovozId;
    if (!view) return;
    if (TIEBitmap* ie = view->GetIEBitmap()) {
        if (FOwnsBitmap && FIEBitmap != ie) delete FIEBitmap;
        FIEBitmap = ie;
        FOwnsBitmap = false;
        FVclBitmap = nullptr;
    } else if (cl::TBitmap* vcl = view->GetBitmap()) {
        FVclBitmap = vcl;
        if (!FOwnsBitmap) {
            FIEBitmap = new TIEBitmap();
            FOwnsBitmap = true;
        }
        FIEBitmap->EncapsulateTBitmap(vcl, true);
    }
    FParams->SetDpiX(view->GetDpiX());
    FParams->SetDpiY(view->GetDpiY());
}

void TVovozIdIO::Notification(cl::TComponent* AComponent, cl::TOperation Operation) {
    cl::TComponent::Notification(AComponent, Operation);
    if (Operation != cl::opRemove) return;
    if (FAttachedVovozId && FAttachedVovozId->ViewComponent() == AComponent) {
        UnregisterView();
        FAttachedVovozId = nullptr;
        if (!FOwnsBitmap) {
            FIEBitmap = new TIEBitmap();
            FOwnsBitmap = true;
        }
        FVclBitmap = nullptr;
    }
    if (FAttachedTImage && static_cast<cl::TComponent*>(FAttachedTImage) == AComponent) {
        FAttachedTImage = nullptr;
        if (FVclBitmap) {
            // The picture goes with the control: the bitmap no longer wraps it.
            FIEBitmap->FreeImage(true);
            FVclBitmap = nullptr;
        }
    }
}

cl::TBitmap* TVovozIdIO::GetVclBitmap() {
    if (FIEBitmap && FIEBitmap->GetLocation() == ieTBitmap) return FIEBitmap->VclBitmap();
    return FVclBitmap;
}

cl::TColor TVovozIdIO::GetBackground() { return FAttachedVovozId ? FAttachedVovozId->GetBackground() : FBackground; }

void TVovozIdIO::SetBackground(cl::TColor Value) {
    if (!FAttachedVovozId) FBackground = Value;
}

// ---------------------------------------------------------------------------------------
// Steps of the dispatch pattern

bool TVovozIdIO::MakeConsistentBitmap(std::initializer_list<TIEPixelFormat> AllowedFormats) {
    if (!FIEBitmap) return false;
    if (FVclBitmap) FIEBitmap->EncapsulateTBitmap(FVclBitmap, false);
    if (AllowedFormats.size() == 0) return true;
    for (TIEPixelFormat f : AllowedFormats)
        if (f == FIEBitmap->GetPixelFormat()) return true;
    return false;
}

TProgressRec TVovozIdIO::MakeProgressRec() {
    TProgressRec rec;
    rec.Aborting = &Aborting;
    rec.Fnc = ProgressHookFnc;
    rec.Data = ProgressHookData;
    rec.Sender = this;
    return rec;
}

void TVovozIdIO::Update() {
    if (FVclBitmap && FIEBitmap) FIEBitmap->RemoveAlphaChannel(false, cl::clWhite);
    if (TIEIOViewLink* view = FAttachedVovozId) {
        if (!IsIOThread()) {
            view->Update();
        } else if (view->HasParentControl()) {
            AllocateViewHandle();
            win::PostMessage(view->ViewHandle(), IEM_UPDATE, 0, 0);
        }
        view->ImageChange();
    } else if (FVclBitmap) {
        FVclBitmap->SetModified(true);
    }
}

void TVovozIdIO::AllocateViewHandle() {
    if (TIEIOViewLink* view = FAttachedVovozId) Synchronize([view] { view->MakeViewHandle(); });
}

void TVovozIdIO::DoProgress(cl::TObject* Sender, int32_t Percent) {
    if (!OnProgress) return;
    TIEIOViewLink* view = FAttachedVovozId;
    if (view && view->HasParentControl() && IsIOThread()) {
        AllocateViewHandle();
        win::PostMessage(view->ViewHandle(), IEM_PROGRESS, static_cast<win::WPARAM>(Percent), 0);
    } else {
        OnProgress(Sender, Percent);
    }
}

void TVovozIdIO::DoFinishWork() {
    if (ProgressHookFnc) ProgressHookFnc(ProgressHookData, this, 100);
    if (!OnFinishWork) return;
    TIEIOViewLink* view = FAttachedVovozId;
    if (view && view->HasParentControl() && IsIOThread()) {
        AllocateViewHandle();
        win::PostMessage(view->ViewHandle(), IEM_FINISHWORK, 0, 0);
    } else {
        OnFinishWork(this);
    }
}

void TVovozIdIO::FixMissingDPI() {
    if (FParams->DpiX < 2) FParams->SetDpiX(IEDefaultDpiX);
    if (FParams->DpiY < 2) FParams->SetDpiY(IEDefaultDpiY);
}

void TVovozIdIO::AdjustDPI() {
    if (!MakeConsistentBitmap()) return;
    TIOParamsVals& p = *FParams;
    if (p.DpiX == p.DpiY || p.DpiX <= 0 || p.DpiY <= 0) return;
    if (FIEBitmap->GetWidth() <= 0 || FIEBitmap->GetHeight() <= 0) return;
    int32_t w = p.Width, h = p.Height;
    if (h < w) {
        h = static_cast<int32_t>(std::nearbyint(static_cast<double>(h) / p.DpiY * p.DpiX));
        p.Height = h;
        p.DpiY = p.DpiX;
    } else {
        w = static_cast<int32_t>(std::nearbyint(static_cast<double>(w) / p.DpiX * p.DpiY));
        p.Width = w;
        p.DpiX = p.DpiY;
    }
    if (w <= 0 || h <= 0) return;
    std::unique_ptr<TIEBitmap> alpha;
    if (FIEBitmap->HasAlphaChannel()) {
        alpha = std::make_unique<TIEBitmap>();
        alpha->Assign(FIEBitmap->GetAlphaChannel());
    }
    auto resized = std::make_unique<TIEBitmap>();
    if (FilteredAdjustDPI) {
        if (!resized->Allocate(w, h, ie24RGB)) return;
        TIEBitmap source;
        source.Assign(FIEBitmap);
        source.RemoveAlphaChannel(false, cl::clWhite);
        if (source.GetPixelFormat() != ie24RGB && !source.SetPixelFormat(ie24RGB)) return;
        ResampleBilinear24(&source, resized.get());
    } else {
        if (!resized->Allocate(w, h, FIEBitmap->GetPixelFormat())) return;
        ResampleNearest(FIEBitmap, resized.get());
    }
    FIEBitmap->Assign(resized.get());
    if (alpha) {
        TIEBitmap* target = FIEBitmap->GetAlphaChannel();
        if (target && target->Allocate(w, h, alpha->GetPixelFormat())) ResampleNearest(alpha.get(), target);
    }
}

void TVovozIdIO::SyncViewDPI() {
    TIEIOViewLink* view = FAttachedVovozId;
    if (!view || !view->IsFullView()) return;
    view->HoldUpdate();
    view->SetDpi(FParams->DpiX, FParams->DpiY);
    view->ReleaseUpdateHold();
}

void TVovozIdIO::ConvertForSave() {
    const TIEPixelFormat f = FIEBitmap->GetPixelFormat();
    if (f != ie24RGB && f != ie1g) FIEBitmap->SetPixelFormat(ie24RGB);
}

// ---------------------------------------------------------------------------------------
// Acquisition and dialogs

void TVovozIdIO::ReceiveAcquiredBitmap(TIEBitmap* Bitmap, TIOParamsVals*& OutParams) {
    OutParams = nullptr;
    if (!MakeConsistentBitmap()) return;
    bool handled = false;
    DoAcquireBitmap(Bitmap, handled);
    if (handled) return;
    OutParams = FParams.get();
    FIEBitmap->Assign(Bitmap);
    if (AutoAdjustDPI) AdjustDPI();
    Update();
}

void TVovozIdIO::DoAcquireBitmap(TIEBitmap* ABitmap, bool& Handled) {
    if (OnAcquireBitmap) OnAcquireBitmap(this, ABitmap, Handled);
}

// ---------------------------------------------------------------------------------------
// The per-format family

void TVovozIdIO::RunFinishingSteps(uint16_t Steps, TIEReadContext& Context, const cl::WideString* FileName,
                                   int32_t FileType) {
    if (Steps & iefsFixDpi) FixMissingDPI();
    if ((Steps & iefsAlphaMask) && Context.AlphaMask) {
        if (TIEBitmap* alpha = FIEBitmap->GetAlphaChannel()) alpha->CopyFromTIEMask(Context.AlphaMask.get());
    }
    Context.AlphaMask.reset();
    if ((Steps & iefsAdjustDpi) && AutoAdjustDPI) AdjustDPI();
    if (Steps & iefsSyncView) SyncViewDPI();
    FParams->FileName = FileName ? *FileName : cl::WideString();
    if (Steps & iefsFileType) FParams->FileType = FileType;
    if (FileType == ioPNG) {
        const TRGB c = FParams->PNGBackground;
        SetBackground(static_cast<cl::TColor>(c.r | (c.g << 8) | (c.b << 16)));
    }
    if (Steps & iefsUpdate) Update();
}

int32_t TVovozIdIO::SyncLoadFromStreamOf(cl::TStream* Stream, int32_t FileType, bool Headers, uint16_t Steps,
                                         const cl::WideString* FileName) {
    Aborting = false;
    Finally finish{[this] { DoFinishWork(); }};
    int32_t count = -1;
    TIEFileFormatInfo* e = IEFindFormatInfo(FileType);
    if (!MakeConsistentBitmap() || !e || !e->Ops.Read) {
        Aborting = true;
        return count;
    }
    if (FileType == ioRAW) {
        // The extension "RAW" taken by an added format hands the load to that format.
        const int32_t other = IEFileTypeOfExtension("RAW");
        if (other != ioRAW && other != ioUnknown) {
            finish.Armed = false;
            LoadFromStreamFormat(Stream, other);
            return count;
        }
    }
    if (Steps & iefsResetInfo) FParams->ResetInfo();
    if (FileType == ioPNG && FileName) {
        const cl::TColor c = GetBackground();
        FParams->PNGBackground = TRGB{static_cast<uint8_t>((c >> 16) & 0xFF), static_cast<uint8_t>((c >> 8) & 0xFF),
                                      static_cast<uint8_t>(c & 0xFF)};
    }

    TIEReadContext ctx;
    ctx.IgnoreAlpha = !FParams->BMPHandleTransparency;
    ctx.RelativeOffsets = !Headers;
    ctx.IsResource = FParams->IsResource;
    // The stream header in front of the image, when there is one.
    const FormatRule* rule = RuleOf(FileType);
    int64_t after = -1;  // where the framed data ends
    const int64_t p = Stream->GetPosition();
    const int64_t left = Stream->GetSize() - p;
    if (rule && rule->Header && (Headers || FileType == ioJPEG)) {
        uint8_t head[12] = {};
        const int64_t n = IEReadUpTo(Stream, head, 12);
        const bool whole = n == 12;
        if (FileType == ioJPEG) {
            if (whole && HeaderTagIs(head, "JFIF"))
                after = p + 12 + ReadLE32(head + 8);
            else
                Stream->Seek(p, cl::soBeginning);
        } else if (FileType == ioTIFF) {
            if (!whole || !HeaderTagIs(head, "TIFF")) {
                Aborting = true;
                return 0;
            }
            after = p + 12 + ReadLE32(head + 8);
        } else if (FileType == ioPCX) {
            if (n < 4 || std::memcmp(head, "PCX", 3) != 0) {
                Aborting = true;
                return count;
            }
            if (whole && HeaderTagIs(head, "PCX2")) {
                ctx.DataSize = ReadLE32(head + 8);
                after = p + 12 + ctx.DataSize;
            } else {
                Stream->Seek(p + 4, cl::soBeginning);
                ctx.DataSize = left - 4;
            }
        }
        if (after > p + left) {
            // A header that promises more than the stream holds.
            Aborting = true;
            Stream->Seek(p, cl::soBeginning);
            return count;
        }
    } else if (FileType == ioPCX) {
        ctx.DataSize = left;
    }

    TIEReaderBudgetScope budget;
    TIELoadBitmap target;
    if (FileType == ioBMPRAW)
        target.Allocate(FIEBitmap->GetWidth(), FIEBitmap->GetHeight(), FIEBitmap->GetPixelFormat());
    TProgressRec progress = MakeProgressRec();
    try {
        if (FileType == ioTIFF) {
            TIEBufferedReadStream buffered(Stream, 8192, IERelativeStreamPositions);
            e->Ops.Read(&buffered, &target, *FParams, progress, ctx);
        } else {
            e->Ops.Read(Stream, &target, *FParams, progress, ctx);
        }
    } catch (...) {
        Aborting = true;
        throw;
    }
    count = ctx.ImageCount;
    if (after >= 0) Stream->Seek(after, cl::soBeginning);
    if (Aborting) {
        // The bitmap stays as it was; the parameters name the format that failed.
        FParams->FileName = FileName ? *FileName : cl::WideString();
        FParams->FileType = FileType;
        return count;
    }
    target.MoveInto(FIEBitmap);
    RunFinishingSteps(Steps, ctx, FileName, FileType);
    return count;
}

std::unique_ptr<TIEWideFileStream> TVovozIdIO::OpenFile(const cl::WideString& FileName, uint16_t Mode) {
    // A file that cannot be opened leaves the abort flag set; the work finishes and the
    // error passes on to the caller.
    Aborting = true;
    std::unique_ptr<TIEWideFileStream> file;
    try {
        file = std::make_unique<TIEWideFileStream>(FileName, Mode);
    } catch (...) {
        DoFinishWork();
        throw;
    }
    Aborting = false;
    return file;
}

void TVovozIdIO::FailOperation() {
    Aborting = true;
    DoFinishWork();
}

void TVovozIdIO::RequireRegisteredFormats() {
    if (IEFormatCount() > 0) return;
    FailOperation();
    throw cl::Exception(kNoFormatsRegistered);
}

bool TVovozIdIO::NeedsBackground() { return !FOwnsBitmap && AsyncMode && !IsIOThread(); }

bool TVovozIdIO::StartInBackground(std::function<void()> Fn) {
    if (!NeedsBackground()) return false;
    FThreads->Start(std::move(Fn), [this] { Aborting = true; });
    return true;
}

bool TVovozIdIO::IsIOThread() { return FThreads && FThreads->IsWorkerThread(); }

int32_t TVovozIdIO::RunningThreadCount() { return FThreads->Count(); }

void TVovozIdIO::WaitThreads(bool SetAborting) {
    FThreads->Wait([this, SetAborting] {
        if (SetAborting) Aborting = true;
    });
}

void TVovozIdIO::Synchronize(const std::function<void()>& Fn) { FThreads->Synchronize(Fn); }

void TVovozIdIO::Queue(std::function<void()> Fn) { FThreads->Queue(std::move(Fn)); }

void TVovozIdIO::CheckSynchronize() { FThreads->CheckSynchronize(); }

int32_t TVovozIdIO::LoadFromStreamOf(cl::TStream* Stream, int32_t FileType) {
    RequireRegisteredFormats();
    if (StartInBackground([this, Stream, FileType] { LoadFromStreamOf(Stream, FileType); })) return -1;
    // Every reader below allocates within the readers' pixel budget.
    TIEReaderBudgetScope budget;
    const FormatRule* rule = RuleOf(FileType);
    auto& hooks = IEIOExtensionHooks();
    if (FileType == ioGIF && hooks.LoadGIFStream) return hooks.LoadGIFStream(this, Stream);
    if (FileType == ioPSD && hooks.LoadPSDStream) {
        hooks.LoadPSDStream(this, Stream);
        return -1;
    }
    if (!rule || rule->StreamSteps == 0) {
        // No reader for this type in the program.
        FailOperation();
        return -1;
    }
    const bool headers = (FileType == ioTIFF || FileType == ioPCX) && StreamHeaders;
    return SyncLoadFromStreamOf(Stream, FileType, headers, rule->StreamSteps, nullptr);
}

int32_t TVovozIdIO::LoadFromFileOf(const cl::WideString& FileName, int32_t FileType) {
    RequireRegisteredFormats();
    if (StartInBackground([this, FileName, FileType] { LoadFromFileOf(FileName, FileType); })) return -1;
    TIEReaderBudgetScope budget;
    const FormatRule* rule = RuleOf(FileType);
    auto& hooks = IEIOExtensionHooks();
    const bool hooked = (FileType == ioGIF && hooks.LoadGIFStream) || (FileType == ioPSD && hooks.LoadPSDStream);
    if (!hooked && (!rule || rule->FileSteps == 0)) {
        FailOperation();
        return -1;
    }
    std::unique_ptr<TIEWideFileStream> file = OpenFile(FileName, cl::fmOpenRead | cl::fmShareDenyWrite);
    int32_t count = -1;
    if (hooked) {
        if (FileType == ioGIF)
            count = hooks.LoadGIFStream(this, file.get());
        else
            hooks.LoadPSDStream(this, file.get());
        FParams->FileName = FileName;
        return count;
    }
    if (FileType == ioTIFF)  // read from the file itself, which buffers its own way
        return SyncLoadFromStreamOf(file.get(), FileType, false, rule->FileSteps, &FileName);
    TIEBufferedReadStream buffered(file.get(), 8192, true);
    return SyncLoadFromStreamOf(&buffered, FileType, false, rule->FileSteps, &FileName);
}

void TVovozIdIO::SyncSaveToStreamOf(cl::TStream* Stream, int32_t FileType, bool Headers, bool FileSave) {
    Aborting = false;
    Finally finish{[this] { DoFinishWork(); }};
    TIEFileFormatInfo* e = IEFindFormatInfo(FileType);
    const FormatRule* rule = RuleOf(FileType);
    if (!MakeConsistentBitmap() || !e || !e->Ops.Write || !rule) {
        Aborting = true;
        return;
    }
    const bool keeps48 = FileSave && FileType == ioPXM && FIEBitmap->GetPixelFormat() == ieRGB48;
    if (rule->Convert && !keeps48) ConvertForSave();
    if (FileType == ioDCX && !FileSave) {
        Stream->SetSize(0);
        Stream->Seek(0, cl::soBeginning);
    }
    const bool header = Headers && rule->Header != nullptr;
    const int64_t p = Stream->GetPosition();
    if (header) {
        const uint8_t zeros[12] = {};
        if (Stream->Write(zeros, 12) != 12) {
            Aborting = true;
            return;
        }
    }
    if (FileType == ioJPEG) PrepareJPEGMarkers();
    TIEWriteContext ctx;
    ctx.SaveAlpha = FParams->BMPHandleTransparency;
    ctx.Variant = FileType == ioJ2K ? 1 : 0;
    std::unique_ptr<TIEMask> alpha;
    if ((FileType == ioPNG || FileType == ioTGA) && FIEBitmap->HasAlphaChannel()) {
        alpha = std::make_unique<TIEMask>();
        FIEBitmap->GetAlphaChannel()->CopyToTIEMask(alpha.get());
        ctx.AlphaMask = alpha.get();
    }
    TProgressRec progress = MakeProgressRec();
    try {
        e->Ops.Write(Stream, FIEBitmap, *FParams, progress, ctx);
    } catch (...) {
        Aborting = true;
        throw;
    }
    if (header && !(FileType == ioPCX && Aborting)) {
        const int64_t end = Stream->GetPosition();
        uint8_t head[12] = {};
        std::memcpy(head, rule->Header, 4);
        const uint32_t len = static_cast<uint32_t>(end - p - 12);
        head[8] = static_cast<uint8_t>(len);
        head[9] = static_cast<uint8_t>(len >> 8);
        head[10] = static_cast<uint8_t>(len >> 16);
        head[11] = static_cast<uint8_t>(len >> 24);
        Stream->Seek(p, cl::soBeginning);
        if (Stream->Write(head, 12) != 12) Aborting = true;
        Stream->Seek(end, cl::soBeginning);
    }
}

void TVovozIdIO::SaveToStreamOf(cl::TStream* Stream, int32_t FileType) {
    if (StartInBackground([this, Stream, FileType] { SaveToStreamOf(Stream, FileType); })) return;
    if (FileType == ioGIF && IEIOExtensionHooks().SaveGIFStream) {
        IEIOExtensionHooks().SaveGIFStream(this, Stream);
        return;
    }
    if (FileType == ioPSD && IEIOExtensionHooks().SavePSDStream) {
        IEIOExtensionHooks().SavePSDStream(this, Stream);
        return;
    }
    SyncSaveToStreamOf(Stream, FileType, StreamHeaders, false);
}

void TVovozIdIO::SaveToFileOf(const cl::WideString& FileName, int32_t FileType) {
    if (TIEFileFormatInfo* e = IEFindFormatInfo(FileType); e && !e->InternalFormat && e->WriteFunction) {
        SaveAddedToFile(FileName, e);
        return;
    }
    if (StartInBackground([this, FileName, FileType] { SaveToFileOf(FileName, FileType); })) return;
    std::unique_ptr<TIEWideFileStream> file = OpenFile(FileName, cl::fmCreate);
    if (FileType == ioGIF && IEIOExtensionHooks().SaveGIFStream) {
        Aborting = false;
        IEIOExtensionHooks().SaveGIFStream(this, file.get());
    } else if (FileType == ioPSD && IEIOExtensionHooks().SavePSDStream) {
        Aborting = false;
        IEIOExtensionHooks().SavePSDStream(this, file.get());
    } else {
        SyncSaveToStreamOf(file.get(), FileType, false, true);
    }
    FParams->FileName = FileName;
    FParams->FileType = FileType;
}

// ---------------------------------------------------------------------------------------
// JPEG metadata

void TVovozIdIO::PrepareJPEGMarkers() {
    UpdatePhotoshopResolution();
    TIOParamsVals& p = *FParams;
    TIEMarkerList* markers = p.JPEGMarkers();
    // IPTC into the first APP13 marker.
    if (p.IPTC()->Changed || (p.IPTC()->GetCount() > 0 && markers->GetCount() == 0)) {
        void* buffer = nullptr;
        int32_t length = 0;
        p.IPTC()->SaveToBuffer(buffer, length, true);
        const int32_t app13 = markers->IndexOf(0xED);
        if (buffer) {
            if (app13 >= 0)
                markers->SetMarker(app13, 0xED, length, buffer);
            else
                markers->AddMarker(0xED, buffer, length);
            std::free(buffer);
        } else if (app13 >= 0) {
            markers->DeleteMarker(app13);
        }
    }
    // EXIF: the old block goes, the rebuilt one is appended.
    if (p.HasEXIFData && IEBuildEXIFBlock) {
        void* buffer = nullptr;
        int32_t length = 0;
        if (IEBuildEXIFBlock(p, buffer, length) && buffer) {
            for (int32_t i = 0; i < markers->GetCount(); ++i)
                if (markers->GetMarkerType(i) == 0xE1 &&
                    IEIsEXIFBlock(markers->GetMarkerData(i), markers->GetMarkerLength(i))) {
                    markers->DeleteMarker(i);
                    break;
                }
            markers->AddMarker(0xE1, buffer, length);
        }
        std::free(buffer);
    }
    // XMP.
    for (int32_t i = 0; i < markers->GetCount(); ++i)
        if (markers->GetMarkerType(i) == 0xE1 &&
            IEFindXMPPacket(markers->GetMarkerData(i), markers->GetMarkerLength(i)) != nullptr) {
            markers->DeleteMarker(i);
            break;
        }
    if (!p.XMPInfo.empty()) {
        void* buffer = nullptr;
        int32_t length = 0;
        IESaveXMPToAPP1(p.XMPInfo, buffer, length);
        if (buffer) markers->AddMarker(0xE1, buffer, length);
        std::free(buffer);
    }
}

void TVovozIdIO::UpdatePhotoshopResolution() {
    TIEMarkerList* markers = FParams->JPEGMarkers();
    const int32_t app13 = markers->IndexOf(0xED);
    if (app13 < 0) return;
    uint8_t* data = markers->GetMarkerData(app13);
    const int64_t length = markers->GetMarkerLength(app13);
    if (!data || length < 6) return;
    static const uint8_t sig[6] = {'8', 'B', 'I', 'M', 0x03, 0xED};
    for (int64_t i = 0; i + 6 <= length; ++i) {
        if (std::memcmp(data + i, sig, 6) != 0) continue;
        // The resource name: a Pascal string padded to an even size (length byte included).
        int64_t q = i + 6;
        if (q + 1 > length) return;
        int64_t nameSize = 1 + data[q];
        if (nameSize & 1) ++nameSize;
        q += nameSize;
        if (q + 4 > length) return;
        const uint32_t size =
            (uint32_t{data[q]} << 24) | (uint32_t{data[q + 1]} << 16) | (uint32_t{data[q + 2]} << 8) | data[q + 3];
        q += 4;
        if (size < 16 || q + 16 > length) return;
        auto put32 = [&](int64_t at, uint32_t v) {
            data[at] = static_cast<uint8_t>(v >> 24);
            data[at + 1] = static_cast<uint8_t>(v >> 16);
            data[at + 2] = static_cast<uint8_t>(v >> 8);
            data[at + 3] = static_cast<uint8_t>(v);
        };
        auto put16 = [&](int64_t at, uint16_t v) {
            data[at] = static_cast<uint8_t>(v >> 8);
            data[at + 1] = static_cast<uint8_t>(v);
        };
        put32(q, static_cast<uint32_t>(FParams->DpiX) << 16);
        put16(q + 4, 1);
        put16(q + 6, 1);
        put32(q + 8, static_cast<uint32_t>(FParams->DpiY) << 16);
        put16(q + 12, 1);
        put16(q + 14, 1);
        return;
    }
}

// ---------------------------------------------------------------------------------------
// Streams and memory

void TVovozIdIO::LoadAdded(cl::TStream* Stream, TIEFileFormatInfo* E) {
    const int32_t type = E->FileType;
    if (StartInBackground([this, Stream, type] { LoadFromStreamFormat(Stream, type); })) return;
    FParams->ResetInfo();
    FParams->FileName.clear();
    FParams->FileType = ioUnknown;
    Aborting = false;
    Finally finish{[this] { DoFinishWork(); }};
    if (!E->ReadFunction || !MakeConsistentBitmap()) {
        Aborting = true;
        return;
    }
    TProgressRec progress = MakeProgressRec();
    FParams->FileType = type;
    TIEReaderBudgetScope budget;
    TIELoadBitmap target;
    try {
        E->ReadFunction(Stream, &target, *FParams, false, progress);
    } catch (...) {
        Aborting = true;
        throw;
    }
    if (Aborting) return;
    target.MoveInto(FIEBitmap);
    if (AutoAdjustDPI) AdjustDPI();
    SyncViewDPI();
    Update();
}

void TVovozIdIO::LoadFromStream(cl::TStream* Stream) {
    RequireRegisteredFormats();
    const int64_t p = Stream->GetPosition();
    const int32_t type = IEFindStreamFormat(Stream);
    TIEFileFormatInfo* e = IEFindFormatInfo(type);
    Stream->Seek(p, cl::soBeginning);
    if (!e || type == ioWBMP || type == ioBMPRAW) {
        // Nothing recognised (an AVI stream included, which only loads by file name).
        FailOperation();
        return;
    }
    if (!e->InternalFormat) {
        LoadAdded(Stream, e);
        return;
    }
    LoadFromStreamFormat(Stream, type);
}

void TVovozIdIO::LoadFromStreamFormat(cl::TStream* Stream, int32_t FileType) {
    RequireRegisteredFormats();
    if (FileType == ioUnknown) {
        LoadFromStream(Stream);
        return;
    }
    TIEFileFormatInfo* e = IEFindFormatInfo(FileType);
    if (!e) {
        FailOperation();
        return;
    }
    if (!e->InternalFormat) {
        LoadAdded(Stream, e);
        return;
    }
    auto& hooks = IEIOExtensionHooks();
    switch (FileType) {
        case ioWMF:
        case ioEMF:
            if (hooks.LoadMetafileStream) {
                hooks.LoadMetafileStream(this, Stream, -1, true, -1);
                return;
            }
            break;
        case ioIEV:
        case ioLYR:
        case ioALL:
            if (hooks.LoadVectorialStream) {
                hooks.LoadVectorialStream(this, Stream, FileType);
                return;
            }
            break;
        default:
            if (RuleOf(FileType) || FileType == ioGIF || FileType == ioPSD) {
                LoadFromStreamOf(Stream, FileType);
                return;
            }
    }
    FailOperation();
}

void TVovozIdIO::LoadFromBuffer(const void* Buffer, int64_t Size, int32_t FileType) {
    // In the background the whole call moves to the thread, so that the wrapper lives as
    // long as the load (the memory itself is the caller's until the work is finished).
    if (StartInBackground([this, Buffer, Size, FileType] { LoadFromBuffer(Buffer, Size, FileType); })) return;
    if (!Buffer || Size <= 0) {
        FailOperation();
        return;
    }
    TIEMemStream stream(Buffer, Size);
    if (FileType == ioUnknown)
        LoadFromStream(&stream);
    else
        LoadFromStreamFormat(&stream, FileType);
}

void TVovozIdIO::ReadParamsFromBuffer(const void* Buffer, int64_t Size, int32_t FileType) {
    if (!Buffer || Size <= 0) {
        Aborting = true;
        FParams->FileType = ioUnknown;
        DoFinishWork();
        return;
    }
    TIEMemStream stream(Buffer, Size);
    if (FileType == ioUnknown)
        ReadParamsFromStream(&stream);
    else
        ReadParamsFromStreamFormat(&stream, FileType);
}

void TVovozIdIO::ReadParamsFromStream(cl::TStream* Stream) {
    try {
        ReadParamsFromStreamFormat(Stream, IEFindStreamFormat(Stream));
    } catch (...) {
        FParams->FileType = ioUnknown;
        Aborting = true;
    }
}

void TVovozIdIO::ReadParamsWith(cl::TStream* Stream, int32_t FileType) {
    TIEFileFormatInfo* e = IEFindFormatInfo(FileType);
    TProgressRec progress;
    progress.Aborting = &Aborting;
    TIEReaderBudgetScope budget;
    TIELoadBitmap scratch;
    auto& hooks = IEIOExtensionHooks();
    if (!e) {
        Aborting = true;
    } else if ((FileType == ioWMF || FileType == ioEMF) && e->InternalFormat) {
        if (hooks.ReadMetafileParams)
            hooks.ReadMetafileParams(this, Stream);
        else
            Aborting = true;
    } else if (e->InternalFormat) {
        if (!e->Ops.Read) {
            Aborting = true;
            return;
        }
        TIEReadContext ctx;
        ctx.PreviewOnly = true;
        ctx.IgnoreAlpha = true;
        ctx.IsResource = FParams->IsResource;
        ctx.DataSize = Stream->GetSize() - Stream->GetPosition();
        e->Ops.Read(Stream, &scratch, *FParams, progress, ctx);
    } else if (e->ReadFunction) {
        e->ReadFunction(Stream, &scratch, *FParams, true, progress);
    } else {
        Aborting = true;
    }
}

void TVovozIdIO::ReadParamsFromStreamFormat(cl::TStream* Stream, int32_t FileType) {
    FParams->FileType = FileType;
    try {
        TIEBufferedReadStream buffered(Stream, 8192, IERelativeStreamPositions);
        FParams->ResetInfo();
        Aborting = false;
        ReadParamsWith(&buffered, FileType);
    } catch (...) {
        FParams->FileType = ioUnknown;
        Aborting = true;
    }
    if (Aborting) FParams->FileType = ioUnknown;
    DoFinishWork();
}

void TVovozIdIO::SaveToStream(cl::TStream* Stream, int32_t FileType) {
    TIEFileFormatInfo* e = IEFindFormatInfo(FileType);
    if (e && e->InternalFormat && (RuleOf(FileType) || FileType == ioGIF || FileType == ioPSD)) {
        SaveToStreamOf(Stream, FileType);
        return;
    }
    if (StartInBackground([this, Stream, FileType] { SaveToStream(Stream, FileType); })) return;
    // Types whose entries write nothing here (unregistered, without writer, or the layer
    // and vector files that the views write themselves) fail.
    Aborting = false;
    Finally finish{[this] { DoFinishWork(); }};
    if (!e || !e->WriteFunction || e->InternalFormat || !MakeConsistentBitmap()) {
        Aborting = true;
        return;
    }
    ConvertForSave();
    TProgressRec progress = MakeProgressRec();
    FParams->FileType = e->FileType;
    try {
        e->WriteFunction(Stream, FIEBitmap, *FParams, progress);
    } catch (...) {
        Aborting = true;
        throw;
    }
}

// ---------------------------------------------------------------------------------------
// Files

void TVovozIdIO::LoadFromFile(const cl::String& FileName) { LoadFromFile(win::Utf8ToUtf16(FileName)); }
void TVovozIdIO::SaveToFile(const cl::String& FileName) { SaveToFile(win::Utf8ToUtf16(FileName)); }

void TVovozIdIO::LoadFromFile(const cl::WideString& FileName) {
    RequireRegisteredFormats();
    if (!FIEBitmap) {
        Aborting = true;
        return;
    }
    if (FileName.empty()) {
        FailOperation();
        return;
    }
    const int32_t url = IEGetURLType(FileName);
    if (url >= 1 && url <= 3) {
        LoadFromURL(FileName);
        return;
    }
    const cl::String ext = LowerExt(FileName);
    auto& hooks = IEIOExtensionHooks();
    if (ext == ".avi") {
        if (!hooks.OpenAVIFile || !hooks.LoadAVIFrame || !hooks.CloseAVIFile) {
            FailOperation();
            return;
        }
        // The whole frame load runs here, on the caller's thread.
        Aborting = false;
        hooks.OpenAVIFile(this, FileName);
        if (!Aborting) {
            hooks.LoadAVIFrame(this, FParams->ImageIndex);
            hooks.CloseAVIFile(this);
            FParams->FileName = FileName;
            FParams->FileType = ioAVI;
        }
        return;
    }
    TIEFileFormatInfo* e = IEFindFormatInfoByExtension(ext);
    if (!e) {
        FailOperation();
        return;
    }
    if (e->InternalFormat) {
        LoadFromFileFormat(FileName, e->FileType);
        return;
    }
    LoadFromFileFormat(FileName, e->FileType);
}

void TVovozIdIO::LoadFromFileAuto(const cl::WideString& FileName) {
    const int32_t t = IEFindFileFormat(FileName, false);
    if (t != ioUnknown)
        LoadFromFileFormat(FileName, t);
    else
        LoadFromFile(FileName);
}

void TVovozIdIO::LoadFromFileFormat(const cl::WideString& FileName, int32_t FileType) {
    RequireRegisteredFormats();
    TIEFileFormatInfo* e = IEFindFormatInfo(FileType);
    if (!e) {
        FailOperation();
        return;
    }
    if (e->InternalFormat) {
        auto& hooks = IEIOExtensionHooks();
        if (FileType == ioWMF || FileType == ioEMF || FileType == ioIEV || FileType == ioLYR || FileType == ioALL) {
            // Objects files, alone or with layers, make a picture even without a vector view.
            if ((FileType == ioIEV || FileType == ioALL) && hooks.LoadVectorialFile) {
                hooks.LoadVectorialFile(this, FileName, FileType);
                if (!Aborting) FParams->FileName = FileName;
                return;
            }
            // Served through their parts by stream.
            std::unique_ptr<TIEWideFileStream> file = OpenFile(FileName, cl::fmOpenRead | cl::fmShareDenyWrite);
            const bool served = (FileType == ioWMF || FileType == ioEMF) ? bool(hooks.LoadMetafileStream)
                                                                         : bool(hooks.LoadVectorialStream);
            LoadFromStreamFormat(file.get(), FileType);
            if (served && !Aborting) FParams->FileName = FileName;
            return;
        }
        LoadFromFileOf(FileName, FileType);
        return;
    }
    // An added format.
    if (StartInBackground([this, FileName, FileType] { LoadFromFileFormat(FileName, FileType); })) return;
    FParams->ResetInfo();
    FParams->FileName.clear();
    FParams->FileType = ioUnknown;
    Aborting = true;
    Finally finish{[this] { DoFinishWork(); }};
    if (!e->ReadFunction || !MakeConsistentBitmap()) return;
    TIEWideFileStream file(FileName, cl::fmOpenRead | cl::fmShareDenyWrite);
    Aborting = false;
    TProgressRec progress = MakeProgressRec();
    FParams->FileName = FileName;
    FParams->FileType = FileType;
    TIEReaderBudgetScope budget;
    TIELoadBitmap target;
    try {
        e->ReadFunction(&file, &target, *FParams, false, progress);
    } catch (...) {
        Aborting = true;
    }
    if (Aborting) return;
    target.MoveInto(FIEBitmap);
    if (AutoAdjustDPI) AdjustDPI();
    SyncViewDPI();
    Update();
}

void TVovozIdIO::SaveToFile(const cl::WideString& FileName) {
    if (FileName.empty()) {
        FailOperation();
        return;
    }
    const cl::String ext = LowerExt(FileName);
    static const struct {
        const char* Ext;
        int32_t Type;
        // clang-format off
    } kSaveTable[] = {
        {".jpg", ioJPEG},  {".jpeg", ioJPEG}, {".jpe", ioJPEG},  {".jif", ioJPEG},  {".jp2", ioJP2},
        {".j2k", ioJ2K},   {".jpc", ioJ2K},   {".j2c", ioJ2K},   {".pcx", ioPCX},   {".dcx", ioDCX},
        {".gif", ioGIF},   {".tif", ioTIFF},  {".tiff", ioTIFF}, {".fax", ioTIFF},  {".g3f", ioTIFF},
        {".g3n", ioTIFF},  {".xif", ioTIFF},  {".png", ioPNG},   {".bmp", ioBMP},   {".dib", ioBMP},
        {".rle", ioBMP},   {".tga", ioTGA},   {".targa", ioTGA}, {".vda", ioTGA},   {".icb", ioTGA},
        {".vst", ioTGA},   {".win", ioTGA},   {".pix", ioTGA},   {".pxm", ioPXM},   {".pbm", ioPXM},
        {".pgm", ioPXM},   {".ppm", ioPXM},   {".ico", ioICO},   {".wbmp", ioWBMP}, {".ps", ioPS},
        {".eps", ioPS},    {".pdf", ioPDF},   {".psd", ioPSD},   {".hdp", ioHDP},   {".wdp", ioHDP},   {".jxr", ioHDP},
    };
    // clang-format on
    for (const auto& s : kSaveTable)
        if (ext == s.Ext) {
            SaveToFileOf(FileName, s.Type);
            return;
        }
    TIEFileFormatInfo* e = IEFindFormatInfoByExtension(ext);
    if (!e || !e->WriteFunction || e->InternalFormat) {
        // No writer for that name here (the layer and vector files are written by the views).
        FailOperation();
        return;
    }
    SaveAddedToFile(FileName, e);
}

void TVovozIdIO::SaveAddedToFile(const cl::WideString& FileName, TIEFileFormatInfo* E) {
    if (StartInBackground([this, FileName, type = E->FileType] {
            // The entry is looked up again: it may have left the registry meanwhile.
            if (TIEFileFormatInfo* e = IEFindFormatInfo(type); e && e->WriteFunction)
                SaveAddedToFile(FileName, e);
            else
                Aborting = true;
        }))
        return;
    Aborting = true;
    Finally finish{[this] { DoFinishWork(); }};
    if (!MakeConsistentBitmap()) return;
    ConvertForSave();
    TIEWideFileStream file(FileName, cl::fmCreate);
    Aborting = false;
    TProgressRec progress = MakeProgressRec();
    FParams->FileName = FileName;
    FParams->FileType = E->FileType;
    try {
        E->WriteFunction(&file, FIEBitmap, *FParams, progress);
    } catch (...) {
        Aborting = true;
        throw;
    }
}

void TVovozIdIO::ReadParamsFromFile(const cl::WideString& FileName) {
    try {
        ReadParamsFromFileFormat(FileName, IEFindFileFormat(FileName, true));
    } catch (...) {
        FParams->FileType = ioUnknown;
        Aborting = true;
    }
}

void TVovozIdIO::ReadParamsFromFileFormat(const cl::WideString& FileName, int32_t FileType) {
    FParams->FileType = FileType;
    try {
        FParams->ResetInfo();
        Aborting = true;
        TIEWideFileStream file(FileName, cl::fmOpenRead | cl::fmShareDenyWrite);
        TIEBufferedReadStream buffered(&file, 8192, IERelativeStreamPositions);
        Aborting = false;
        ReadParamsWith(&buffered, FileType);
    } catch (...) {
        FParams->FileType = ioUnknown;
        Aborting = true;
    }
    if (Aborting) FParams->FileType = ioUnknown;
    FParams->FileName = FileName;
    DoFinishWork();
}

}  // namespace ie
