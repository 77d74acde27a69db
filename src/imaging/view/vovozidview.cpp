// The view control: construction and destruction, the image holder, the input/output and
// processing companions, the locks, Update, and the messages the view answers.
#include "imaging/view/vovozidview.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "classlib/Forms.h"
#include "classlib/TypInfo.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_draw.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/core/hyieutils_startup.h"
#include "imaging/io/ieds.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/view/iegdiplus.h"
#include "platform/gdi.h"
#include "platform/user.h"

namespace ie {

int32_t IEScreenBitsPerPixel = 24;
int32_t IEScreenDpiX = 96;
int32_t IEScreenDpiY = 96;
int32_t IEEdgeX = 2, IEEdgeY = 2, IEBorderX = 1, IEBorderY = 1;

namespace {

// The shared pen of the unit (solid, mode not), made by the start-up.
std::unique_ptr<cl::TPen> IEViewSharedPen;

void RegisterViewMessages();

}  // namespace

// ---------------------------------------------------------------------------------------
// What the input/output component sees of the view.

class TVovozIdView::TIOLink : public TIEIOViewLink {
public:
    explicit TIOLink(TVovozIdView* View) : FView(View) {}
    cl::TComponent* ViewComponent() override { return FView; }
    cl::TBitmap* GetBitmap() override { return FView->GetBitmap(); }
    TIEBitmap* GetIEBitmap() override { return FView->GetIEBitmap(); }
    void* RegisterBitmapChangeEvent(TBitmapChangeEvent Event) override {
        return FView->RegisterBitmapChangeEvent(std::move(Event));
    }
    void RemoveBitmapChangeEvent(void* Handle) override {
        FView->RemoveBitmapChangeEvent(static_cast<TIEBitmapChangeRecord*>(Handle));
    }
    void Update() override { FView->Update(); }
    void ImageChange() override { FView->ImageChange(); }
    int32_t GetDpiX() override { return FView->GetDpiX(); }
    int32_t GetDpiY() override { return FView->GetDpiY(); }
    void SetDpi(int32_t DpiX, int32_t DpiY) override { FView->SetDpi(DpiX, DpiY); }
    void SetDpiX(int32_t Value) override { FView->SetDpiX(Value); }
    void SetDpiY(int32_t Value) override { FView->SetDpiY(Value); }
    cl::TColor GetBackground() override { return FView->GetBackground(); }
    bool HasParentControl() override { return FView->GetParent() != nullptr || FView->GetParentWindow() != nullptr; }
    void MakeViewHandle() override { FView->HandleNeeded(); }
    win::HWND ViewHandle() override { return FView->FHandle; }
    bool IsFullView() override { return true; }
    void HoldUpdate() override { FView->HoldUpdate(); }
    void ReleaseUpdateHold() override { FView->ReleaseUpdateHold(); }

private:
    TVovozIdView* FView;
};

// ---------------------------------------------------------------------------------------
// Construction and destruction

TVovozIdView::TVovozIdView(cl::TComponent* AOwner) : TIEView(AOwner) {
    RegisterViewMessages();
    HoldUpdate();
    // The image starts as an empty 24-bit class-library bitmap wrapped by the TIEBitmap.
    auto vcl = std::make_unique<cl::TBitmap>();
    vcl->SetPixelFormat(cl::pf24bit);
    vcl->SetSize(GetWidth(), GetHeight());
    IEGDIPlusLoad();
    auto ie = std::make_unique<TIEBitmap>();
    ie->EncapsulateTBitmap(vcl.get(), true);
    FBitmap = vcl.release();
    FIEBitmap = ie.release();
    // Layer 0 owns the first bitmap and the class-library bitmap behind it.
    FLayers.push_back(std::make_unique<TIELayer>(this, true, FIEBitmap));
    FLayers[0]->ShowBox = false;
    FLayers[0]->Immovable = true;
    FCurrentLayer = 0;
    FImageWidth = FIEBitmap->GetWidth();
    FImageHeight = FIEBitmap->GetHeight();
    FDrawDib = IEDrawDibOpen();
    SetHeight(105);
    SetWidth(105);
    FCenter = true;
    DoubleBuffer = true;
    SetDpi(IEDefaultDpiX, IEDefaultDpiY);
    CreateSelectionRecord();
    InitInteraction();
    if (!HasState(cl::csDesigning)) {
        FScratchBitmap = std::make_unique<TIEBitmap>();
        FScratchBitmap->SetLocation(ieTBitmap);
        FScratchBitmap->Allocate(10, 10, ie24RGB);
        FBackBuffer = std::make_unique<TIEBitmap>();
        FBackBuffer->SetLocation(ieTBitmap);
        FBackBuffer->Allocate(10, 10, ie24RGB);
        FSelectionRecords.front()->OutlineShown = false;
    }
    FVScrollBarParams = std::make_unique<TIEScrollBarParams>();
    FHScrollBarParams = std::make_unique<TIEScrollBarParams>();
    FMouseWheelParams = std::make_unique<TIEMouseWheelParams>();
    FSelectionMask = std::make_unique<TIEMask>();
    FSelectionMask->Allocate(FIEBitmap->GetWidth(), FIEBitmap->GetHeight(), 1);
    FWallPaper = std::make_unique<cl::TPicture>();
    FInstancePen = std::make_unique<cl::TPen>();
    FInstancePen->SetStyle(cl::psDot);
    FInstancePen->SetMode(cl::pmNot);
    FInstancePen->SetWidth(1);
    FIOLink = std::make_unique<TIOLink>(this);
    ResumeUpdate();
}

void TVovozIdView::CreateSelectionRecord() {
    auto rec = std::make_unique<TIESelectionRecord>();
    rec->Animated = (FSelectionOptions & IESelOpt(iesoAnimated)) != 0;
    rec->Sizeable = (FSelectionOptions & IESelOpt(iesoSizeable)) != 0;
    if (!HasState(cl::csDesigning)) rec->Canvas = GetCanvas();
    // The marching ants run only in a view that can be shown.
    if (!HasState(cl::csDesigning) && (GetOwner() || GetParentWindow())) {
        rec->DashBitmap = std::make_unique<cl::TBitmap>();
        rec->DashBitmap->SetPixelFormat(cl::pf24bit);
        rec->DashBitmap->SetSize(1, 1);
        FAntsTimer = std::make_unique<cl::TTimer>(nullptr);
        FAntsTimer->SetInterval(210);
        FAntsTimer->SetOnTimer([this](cl::TObject*) { AntsTimerTick(); });
    }
    FSelectionRecords.push_back(std::move(rec));
    UpdateAntsTimer();
}

TVovozIdView::~TVovozIdView() {
    SetState(cl::csDestroying, true);
    SyncLayers();
    FTransition.reset();
    // The overview shows this view's bitmap: it gets one of its own back.
    if (FOverviewView) {
        try {
            LinkOverviewView(nullptr, 0);
        } catch (...) {
            // The overview's update failed; it is unlinked all the same.
            FOverviewView = nullptr;
        }
    }
    // The companions unregister their bitmap-change events while the view still stands.
    delete FIO;
    FIO = nullptr;
    delete FProc;
    FProc = nullptr;
    FScratchBitmap.reset();
    FAntsTimer.reset();
    FSelectionRecords.clear();
    if (FDrawDib) IEDrawDibClose(FDrawDib);
    FDrawDib = nullptr;
    FVScrollBarParams.reset();
    FHScrollBarParams.reset();
    FMouseWheelParams.reset();
    FSelectionMask.reset();
    // Layer 0 frees the first bitmap and its class-library bitmap.
    FLayers.clear();
    FBitmap = nullptr;
    FIEBitmap = nullptr;
    FInstancePen.reset();
    FWallPaper.reset();
    FBackBuffer.reset();
    IEGDIPlusUnload();
}

// ---------------------------------------------------------------------------------------
// The companions

TVovozIdIO* TVovozIdView::GetIO() {
    if (!FIO) {
        auto io = std::make_unique<TVovozIdIO>(this);
        io->SetAttachedVovozId(FIOLink.get());
        io->OnProgress = FOnProgress;
        io->OnFinishWork = FOnFinishWork;
        FIO = io.release();  // owned by the view as its component
    }
    return FIO;
}

void TVovozIdView::CreateTransition() {
    if (FTransition) return;
    FTransition = std::make_unique<TIETransitionEffects>(this);
    // The two things the transitions need of the full view.
    FTransition->ViewUpdate = [this] { Update(); };
    FTransition->DrawBackgroundTo = [this](cl::TCanvas* Canvas) { DrawBackgroundTo(Canvas); };
}

void TVovozIdView::SetOnTransitionStop(cl::TNotifyEvent Event) {
    CreateTransition();
    FTransition->OnTransitionStop = std::move(Event);
}

cl::TNotifyEvent TVovozIdView::GetOnTransitionStop() const {
    return FTransition ? FTransition->OnTransitionStop : cl::TNotifyEvent();
}

void TVovozIdView::SetOnTransitionStep(TIETransitionStepEvent Event) {
    CreateTransition();
    FTransition->OnTransitionStep = std::move(Event);
}

TIETransitionStepEvent TVovozIdView::GetOnTransitionStep() const {
    return FTransition ? FTransition->OnTransitionStep : TIETransitionStepEvent();
}

void TVovozIdView::SetOnTransitionPaint(TIEOnTransitionPaint Event) {
    CreateTransition();
    FTransition->SetOnTransitionPaint(std::move(Event));
}

TIEOnTransitionPaint TVovozIdView::GetOnTransitionPaint() const {
    return FTransition ? FTransition->GetOnTransitionPaint() : TIEOnTransitionPaint();
}

TVovozIdProc* TVovozIdView::GetProc() {
    if (!FProc) {
        auto proc = std::make_unique<TVovozIdProc>(this);
        // Attached like any caller's component: it follows the current image through the
        // bitmap-change event, honours the selection and refreshes the view.
        proc->SetAttachedVovozId(this);
        proc->OnProgress = FOnProgress;
        proc->OnFinishWork = FOnFinishWork;
        proc->OnSaveUndo = FOnSaveUndo;
        FProc = proc.release();  // owned by the view as its component
    }
    return FProc;
}

void TVovozIdView::SetOnProgress(TIEProgressEvent Value) {
    FOnProgress = std::move(Value);
    if (FIO) FIO->OnProgress = FOnProgress;
    if (FProc) FProc->OnProgress = FOnProgress;
}

void TVovozIdView::SetOnFinishWork(cl::TNotifyEvent Value) {
    FOnFinishWork = std::move(Value);
    if (FIO) FIO->OnFinishWork = FOnFinishWork;
    if (FProc) FProc->OnFinishWork = FOnFinishWork;
}

void TVovozIdView::SetOnSaveUndo(TIESaveUndoEvent Value) {
    FOnSaveUndo = std::move(Value);
    if (FProc) FProc->OnSaveUndo = FOnSaveUndo;
}

void TVovozIdView::Notification(cl::TComponent* AComponent, cl::TOperation Operation) {
    TIEView::Notification(AComponent, Operation);
    if (Operation != cl::opRemove) return;
    if (AComponent == FOverviewView) FOverviewView = nullptr;
    // A companion freed by someone else is forgotten.
    if (AComponent == FIO) FIO = nullptr;
    if (AComponent == FProc) FProc = nullptr;
}

// ---------------------------------------------------------------------------------------
// The image holder

TIEBitmap* TVovozIdView::GetAlphaChannel() { return FIEBitmap->GetAlphaChannel(); }

bool TVovozIdView::GetHasAlphaChannel() { return FIEBitmap->HasAlphaChannel(); }

void TVovozIdView::RemoveAlphaChannel(bool Merge) {
    FIEBitmap->RemoveAlphaChannel(Merge, GetBackground());
    Update();
}

void TVovozIdView::SetLegacyBitmap(bool Value) {
    if (Value == FLegacyBitmap) return;
    if (!Value) {
        // The TIEBitmap owns its class-library bitmap again and moves to its own storage.
        FIEBitmap->Encapsulated = false;
        FIEBitmap->SetLocation(ieFile);
        FBitmap = nullptr;
    } else {
        FIEBitmap->SetLocation(ieTBitmap);
        FIEBitmap->Encapsulated = true;
        FBitmap = FIEBitmap->VclBitmap();
    }
    FLegacyBitmap = Value;
    CallBitmapChangeEvents();
    Update();
}

void TVovozIdView::SetExternalBitmap(TIEBitmap* Bitmap) {
    if (FCurrentLayer < 0) return;
    TIELayer* layer = GetCurrentLayerObject();
    // A bitmap the layer owns goes, with its class-library bitmap, whatever replaces it.
    auto freeOwned = [&] {
        if (!layer->GetOwnsBitmap() || !FIEBitmap) return;
        std::unique_ptr<cl::TBitmap> vcl;
        if (FIEBitmap->Encapsulated) vcl.reset(FIEBitmap->VclBitmap());
        delete FIEBitmap;
        FIEBitmap = nullptr;
        FBitmap = nullptr;
    };
    if (!Bitmap) {
        freeOwned();
        auto own = std::make_unique<TIEBitmap>();
        FIEBitmap = own.release();
        layer->ReplaceBitmap(FIEBitmap, true);
        FBitmap = nullptr;
    } else {
        if (Bitmap == FIEBitmap) return;
        freeOwned();
        layer->ReplaceBitmap(Bitmap, false);
        FIEBitmap = Bitmap;
        FBitmap = Bitmap->Encapsulated ? Bitmap->VclBitmap() : nullptr;
    }
    // The attached components must not keep the bitmap that was freed.
    CallBitmapChangeEvents();
    Update();
}

void TVovozIdView::SyncLayers() {
    if (FBitmap) {
        // Changes made straight to the class-library bitmap (size, format) reach the TIEBitmap.
        FIEBitmap->EncapsulateTBitmap(FBitmap, false);
    }
    if (FCurrentLayer >= 0 && FCurrentLayer < GetLayerCount()) {
        TIELayer* layer = GetCurrentLayerObject();
        if (layer->GetBitmap() != FIEBitmap) layer->ReplaceBitmap(FIEBitmap, layer->GetOwnsBitmap());
    }
    TIEBitmap* base = FLayers[0]->GetBitmap();
    FImageWidth = base ? base->GetWidth() : 0;
    FImageHeight = base ? base->GetHeight() : 0;
}

bool TVovozIdView::IsEmpty() { return FIEBitmap->GetWidth() < 2 && FIEBitmap->GetHeight() < 2; }

void TVovozIdView::Clear() {
    FIEBitmap->Fill(static_cast<double>(cl::ColorToRGB(GetBackground())));
    FIEBitmap->RemoveAlphaChannel(false, GetBackground());
    Update();
}

void TVovozIdView::ResetToEmpty() {
    if (FTransition) FTransition->Stop();
    FIEBitmap->Allocate(1, 1, FIEBitmap->GetPixelFormat() == ieNone ? ie24RGB : FIEBitmap->GetPixelFormat());
    Clear();
}

void TVovozIdView::Assign(cl::TPersistent* Source) {
    if (!Source) {
        Clear();
        return;
    }
    if (auto* view = dynamic_cast<TVovozIdView*>(Source)) {
        if (view == this) return;
        FIEBitmap->Assign(view->GetIEBitmap());
        TIEView::SetBackground(view->GetBackground());
        SetDpi(view->GetDpiX(), view->GetDpiY());
        Update();
        ImageChange();
    } else if (auto* bmp = dynamic_cast<cl::TBitmap*>(Source)) {
        if (FBitmap && FIEBitmap->VclBitmap() == FBitmap) {
            // The picture goes into the legacy bitmap itself, which stays the view's.
            if (bmp != FBitmap) FBitmap->Assign(bmp);
            if (FBitmap->GetPixelFormat() != cl::pf1bit) FBitmap->SetPixelFormat(cl::pf24bit);
            FIEBitmap->EncapsulateTBitmap(FBitmap, false);
        } else {
            FIEBitmap->CopyFromTBitmap(bmp);
        }
        TIEPixelFormat f = FIEBitmap->GetPixelFormat();
        if (f != ie1g && f != ie24RGB) FIEBitmap->SetPixelFormat(ie24RGB);
        Update();
        ImageChange();
    }
}

void TVovozIdView::SetBackground(cl::TColor Value) {
    TIEView::SetBackground(Value);
    if (HasState(cl::csDesigning)) Clear();
    FUpdateReason = 4;
    Update();
    ImageChange();
    if (HasState(cl::csDesigning)) Paint();
}

void TVovozIdView::ImageChange() {
    TIEView::ImageChange();
    if (OnImageChange) OnImageChange(this);
}

void TVovozIdView::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    TIEView::SetBounds(ALeft, ATop, AWidth, AHeight);
    // Only a view read from a form takes the control's size as its image size.
    if (FIEBitmap && (HasState(cl::csReading) || HasState(cl::csLoading) || HasState(cl::csDesigning))) {
        FIEBitmap->Allocate(GetWidth(), GetHeight(), ie24RGB);
        Clear();
    }
}

void TVovozIdView::SetEnableAlphaChannel(bool Value) {
    FEnableAlphaChannel = Value;
    Update();
}

// ---------------------------------------------------------------------------------------
// Layers

void TVovozIdView::SetCurrentLayer(int32_t Index) {
    if (Index < 0 || Index >= GetLayerCount() || Index == FCurrentLayer) return;
    GetCurrentLayerObject()->ReplaceBitmap(FIEBitmap, GetCurrentLayerObject()->GetOwnsBitmap());
    int32_t i = Index;
    while (i > 0 && !GetLayer(i)->Pickable) --i;
    if (i == FCurrentLayer) return;
    // A selection follows the image pixels it covers: it is saved with the old layer's position
    // and restored on the new layer, moved by the difference of the two positions.
    const bool hadSelection = FSelected;
    if (hadSelection) PushSelection();
    FCurrentLayer = i;
    FIEBitmap = GetLayer(i)->GetBitmap();
    FBitmap = FIEBitmap->Encapsulated ? FIEBitmap->VclBitmap() : nullptr;
    if (hadSelection) PopSelection(true, 2);
    CallBitmapChangeEvents();
    Update();
}

void TVovozIdView::DoLayerNotify(int32_t Layer, TIELayerEvent Event) {
    if (OnLayerNotify) OnLayerNotify(this, Layer, Event);
}

// ---------------------------------------------------------------------------------------
// Locks

void TVovozIdView::ResumeUpdate() {
    ReleaseUpdateHold();
    if (FUpdateHoldCount == 0) Update();
}

void TVovozIdView::ReleaseUpdateHold() {
    if (FUpdateHoldCount > 0) --FUpdateHoldCount;
}

int32_t TVovozIdView::UnlockUpdateCount() {
    if (FPaintLockCount > 0) --FPaintLockCount;
    if (FPaintLockCount == 0) Update();
    return FPaintLockCount;
}

int32_t TVovozIdView::UnlockUpdateExCount() {
    if (FPaintLockCount > 0) --FPaintLockCount;
    return FPaintLockCount;
}

// ---------------------------------------------------------------------------------------
// The size of the view

bool TVovozIdView::HasParentForm() { return cl::GetParentForm(this) != nullptr || GetParentWindow() != nullptr; }

int32_t TVovozIdView::GetViewWidth() {
    if (HasParentForm() && HandleAllocated()) return GetClientWidth();
    return 50;
}

int32_t TVovozIdView::GetViewHeight() {
    if (HasParentForm() && HandleAllocated()) return GetClientHeight();
    return 50;
}

// ---------------------------------------------------------------------------------------
// Update

void TVovozIdView::Update() {
    if (FUpdateHoldCount > 0 || HasState(cl::csDesigning)) return;
    if ((GetComponentState() & ~static_cast<cl::TComponentState>(cl::csFreeNotification)) != 0) return;
    FUpdating = true;
    try {
        // Display caches: of every layer, or only of the one the mouse changed.
        if (FLayerCacheToDrop == -1) {
            for (auto& layer : FLayers) layer->FreeDisplayCache();
        } else if (FLayerCacheToDrop >= 0 && FLayerCacheToDrop < GetLayerCount()) {
            GetLayer(FLayerCacheToDrop)->FreeDisplayCache();
        }
        FLayerCacheToDrop = -1;
        SyncLayers();
        if ((FAutoStretch || FAutoShrink || FAutoFit) && FImageWidth > 0 && FImageHeight > 0) {
            DoViewChanging(2, FZoomPercentX);
            int32_t mx = 0, my = 0;
            GetBackgroundMargins(mx, my, false);
            double z = 100;
            if (FImageWidth != 1 || FImageHeight != 1)
                z = GetAutoFitZoom(FImageWidth, FImageHeight, FAutoShrink || FAutoFit, FAutoStretch || FAutoFit,
                                   GetViewHeight() - 2 * my, GetViewWidth() - 2 * mx);
            if (z < 1) z = 1;
            FZoomPercentX = FZoomPercentY = z;
            FZoomFactorX = FZoomFactorY = z / 100;
            FInvZoomX = FInvZoomY = 100 / z;
            UpdateVisibleArea();
            UpdateCoordTables();
            DoViewChange(1);
            FFilterDelayCount = 0;
            FViewChangeCount = 0;
        }
        int32_t bw = FIEBitmap->GetWidth(), bh = FIEBitmap->GetHeight();
        if (bw != FLastBitmapWidth || bh != FLastBitmapHeight) {
            FLastBitmapWidth = bw;
            FLastBitmapHeight = bh;
            if (FSelectionMask->Width != bw || FSelectionMask->Height != bh) {
                if (FSelected) {
                    FSelectionMask->Resize(bw, bh);
                    FSelectionMask->SyncRect();
                    FSelectionMask->SyncFull();
                } else {
                    FSelectionMask->Allocate(bw, bh,
                                             FSelectionMask->BitsPerPixel > 0 ? FSelectionMask->BitsPerPixel : 1);
                }
            }
            if (FIEBitmap->HasAlphaChannel()) {
                TIEBitmap* alpha = FIEBitmap->GetAlphaChannel();
                if (alpha->GetWidth() != bw || alpha->GetHeight() != bh) {
                    alpha->Allocate(bw, bh, ie8g);
                    alpha->Fill(255);
                    alpha->Full = true;
                }
            }
        }
        if (HandleAllocated()) UpdateWindowState();
    } catch (...) {
        FUpdateReason = 0;
        FUpdating = false;
        throw;
    }
    FUpdateReason = 0;
    FUpdating = false;
}

// ---------------------------------------------------------------------------------------
// The ants timer

void TVovozIdView::AntsTimerTick() {
    if (FFilterDelayCount > 0) {
        --FFilterDelayCount;
        // The zoom filter is used again.
        if (FFilterDelayCount == 0) Update();
    }
    if (FViewChangeCount > 0) --FViewChangeCount;
    UpdateAntsTimer();
}

void TVovozIdView::UpdateAntsTimer() {
    if (!FAntsTimer) return;
    bool animated = std::any_of(FSelectionRecords.begin(), FSelectionRecords.end(),
                                [](const auto& r) { return r->Animated && r->OutlineShown; });
    FAntsTimer->SetEnabled(FFilterDelayCount > 0 || FViewChangeCount > 0 || animated);
}

// ---------------------------------------------------------------------------------------
// Messages

void TVovozIdView::WMViewUpdate(cl::TMessage&) { Update(); }

void TVovozIdView::WMProgress(cl::TMessage& Message) {
    if (FOnProgress) FOnProgress(this, static_cast<int>(Message.WParam));
}

void TVovozIdView::WMFinishWork(cl::TMessage&) {
    if (FOnFinishWork) FOnFinishWork(this);
}

void TVovozIdView::WMDShowNewFrame(cl::TMessage& Message) {
    auto* ds = reinterpret_cast<TIEDirectShow*>(Message.LParam);
    if (ds && ds->IsConnected() && OnDShowNewFrame) OnDShowNewFrame(this);
}

void TVovozIdView::WMDShowEvent(cl::TMessage& Message) {
    auto* ds = reinterpret_cast<TIEDirectShow*>(Message.LParam);
    if (ds && ds->IsConnected() && OnDShowEvent) OnDShowEvent(this);
}

void TVovozIdView::WMSize(cl::TMessage& Message) {
    cl::InheritedDispatch(TVovozIdView::StaticClass(), this, Message);
    if (FUpdating) return;
    if (FTransition) FTransition->Stop();
    FUpdateReason = 4;
    Update();
}

void TVovozIdView::WMFocus(cl::TMessage& Message) {
    cl::InheritedDispatch(TVovozIdView::StaticClass(), this, Message);
    Invalidate();
}

namespace {

void RegisterViewMessages() {
    static std::once_flag once;
    std::call_once(once, [] {
        const cl::TClass& C = TVovozIdView::StaticClass();
        cl::RegisterMessageHandler(
            C, IEM_UPDATE, [](cl::TObject* s, cl::TMessage& m) { static_cast<TVovozIdView*>(s)->WMViewUpdate(m); });
        cl::RegisterMessageHandler(
            C, IEM_PROGRESS, [](cl::TObject* s, cl::TMessage& m) { static_cast<TVovozIdView*>(s)->WMProgress(m); });
        cl::RegisterMessageHandler(C, IEM_NEWFRAME, [](cl::TObject* s, cl::TMessage& m) {
            static_cast<TVovozIdView*>(s)->WMDShowNewFrame(m);
        });
        cl::RegisterMessageHandler(
            C, IEM_EVENT, [](cl::TObject* s, cl::TMessage& m) { static_cast<TVovozIdView*>(s)->WMDShowEvent(m); });
        cl::RegisterMessageHandler(
            C, IEM_FINISHWORK, [](cl::TObject* s, cl::TMessage& m) { static_cast<TVovozIdView*>(s)->WMFinishWork(m); });
        // The view paints every pixel itself: the system never erases.
        cl::RegisterMessageHandler(C, win::WM_ERASEBKGND, [](cl::TObject*, cl::TMessage& m) { m.Result = 0; });
        cl::RegisterMessageHandler(C, win::WM_SIZE,
                                   [](cl::TObject* s, cl::TMessage& m) { static_cast<TVovozIdView*>(s)->WMSize(m); });
        cl::RegisterMessageHandler(C, win::WM_SETFOCUS,
                                   [](cl::TObject* s, cl::TMessage& m) { static_cast<TVovozIdView*>(s)->WMFocus(m); });
        cl::RegisterMessageHandler(C, win::WM_KILLFOCUS,
                                   [](cl::TObject* s, cl::TMessage& m) { static_cast<TVovozIdView*>(s)->WMFocus(m); });
        cl::RegisterMessageHandler(C, win::WM_HSCROLL,
                                   [](cl::TObject* s, cl::TMessage& m) { static_cast<TVovozIdView*>(s)->WMScroll(m); });
        cl::RegisterMessageHandler(C, win::WM_VSCROLL,
                                   [](cl::TObject* s, cl::TMessage& m) { static_cast<TVovozIdView*>(s)->WMScroll(m); });
        cl::RegisterMessageHandler(C, win::WM_MOUSEWHEEL, [](cl::TObject* s, cl::TMessage& m) {
            static_cast<TVovozIdView*>(s)->WMMouseWheel(m);
        });
        cl::RegisterMessageHandler(C, win::WM_MOUSEHWHEEL, [](cl::TObject* s, cl::TMessage& m) {
            auto* v = static_cast<TVovozIdView*>(s);
            m.Result = win::DefWindowProcA(v->GetHandle(), m.Msg, m.WParam, m.LParam);
        });
        // The published settings of the view's core, its geometry and its painting (the
        // other parts declare theirs after these).
        using V = TVovozIdView;
        cl::DeclarePublished(
            C, {cl::BoolProp<V>("LegacyBitmap", &V::GetLegacyBitmap, &V::SetLegacyBitmap, true),
                cl::EnumProp<V, TResampleFilter>(
                    "ZoomFilter", "TResampleFilter", &V::GetZoomFilter, &V::SetZoomFilter, rfNone,
                    {"rfNone", "rfTriangle", "rfHermite", "rfBell", "rfBSpline", "rfLanczos3", "rfMitchell",
                     "rfNearest", "rfLinear", "rfFastLinear", "rfBilinear", "rfBicubic", "rfProjectBW", "rfProjectWB"}),
                cl::EnumProp<V, TScrollStyle>("ScrollBars", "TScrollStyle", &V::GetScrollBars, &V::SetScrollBars,
                                              ssBoth, {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"}),
                cl::BoolProp<V>("Center", &V::GetCenter, &V::SetCenter, true),
                cl::BoolProp<V>("AutoFit", &V::GetAutoFit, &V::SetAutoFit, false),
                cl::EnumProp<V, TIEBackgroundStyle>(
                    "BackgroundStyle", "TIEBackgroundStyle", &V::GetBackgroundStyle, &V::SetBackgroundStyle, iebsSolid,
                    {"iebsSolid", "iebsHorizontal", "iebsVertical", "iebsFDiagonal", "iebsBDiagonal", "iebsCross",
                     "iebsDiagCross", "iebsChessboard", "iebsDiagonals", "iebsCropped", "iebsCropShadow",
                     "iebsGradient", "iebsSoftShadow", "iebsPhotoLike"}),
                cl::BoolProp<V>("DelayZoomFilter", &V::GetDelayZoomFilter, &V::SetDelayZoomFilter, false),
                cl::BoolProp<V>("EnableAlphaChannel", &V::GetEnableAlphaChannel, &V::SetEnableAlphaChannel, true),
                cl::BoolProp<V>("AutoStretch", &V::GetAutoStretch, &V::SetAutoStretch, false),
                cl::BoolProp<V>("AutoShrink", &V::GetAutoShrink, &V::SetAutoShrink, false),
                cl::BoolProp<V>("DrawVersion", &V::GetDrawVersion, &V::SetDrawVersion, false),
                cl::EnumProp<V, TIEWallPaperStyle>("WallPaperStyle", "TIEWallPaperStyle", &V::GetWallPaperStyle,
                                                   &V::SetWallPaperStyle, iewoNormal,
                                                   {"iewoNormal", "iewoStretch", "iewoTile"}),
                cl::BoolProp<V>("FlatScrollBars", &V::GetFlatScrollBars, &V::SetFlatScrollBars, false)});
        cl::RegisterClasses({&TVovozIdView::StaticClass()});
    });
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The unit's start-up

void VovozIdViewStaticInit() {
    win::HDC dc = win::GetDC(nullptr);
    if (dc) {
        IEScreenBitsPerPixel = win::GetDeviceCaps(dc, win::BITSPIXEL);
        IEScreenDpiX = win::GetDeviceCaps(dc, win::LOGPIXELSX);
        IEScreenDpiY = win::GetDeviceCaps(dc, win::LOGPIXELSY);
        win::ReleaseDC(nullptr, dc);
    }
    IEDefaultDpiX = 300;
    IEDefaultDpiY = 300;
    IEEdgeX = win::GetSystemMetrics(win::SM_CXEDGE);
    IEEdgeY = win::GetSystemMetrics(win::SM_CYEDGE);
    IEBorderX = win::GetSystemMetrics(win::SM_CXBORDER);
    IEBorderY = win::GetSystemMetrics(win::SM_CYBORDER);
    IEViewSharedPen = std::make_unique<cl::TPen>();
    IEViewSharedPen->SetStyle(cl::psSolid);
    IEViewSharedPen->SetMode(cl::pmNot);
    IEViewSharedPen->SetWidth(1);
}

void VovozIdViewStaticFinal() { IEViewSharedPen.reset(); }

}  // namespace ie
