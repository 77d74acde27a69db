// The abstract transition device: run data, passes, the plain and paced frame loops, the
// abort poll and the thread mode.
#include <algorithm>
#include <atomic>
#include <cmath>

#include "classlib/Graphics.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/user.h"
#include "transitions/teCore.h"
#include "transitions/teRender.h"

namespace te {

// ---- run data -----------------------------------------------------------------------------------------

TTETransitionData::TTETransitionData() { SetFrameSync(false); }

TTETransitionData::~TTETransitionData() {
    if (Bitmap && Bitmap != SrcImage) delete Bitmap;
    Bitmap = nullptr;
}

void TTETransitionData::SetFrameSync(bool Value) {
    FFrameSync = Value;
    if (Value)
        PaceChrono.reset();
    else if (!PaceChrono)
        PaceChrono = std::make_unique<TTEChrono>();
}

// ---- the transition thread ------------------------------------------------------------------------------

class TTETransitionThread {
public:
    explicit TTETransitionThread(TTETransitionDevice* ADevice) : Device(ADevice) {
        TTETransitionData* d = Device->Data.get();
        for (cl::TBitmap* b : {d ? d->SrcImage : nullptr, d ? d->DstImage : nullptr, d ? d->Bitmap : nullptr})
            if (b) {
                b->GetCanvas()->Lock();
                Locked.push_back(b);
            }
        win::InitializeCriticalSection(&Lock);
        WakeEvent = win::CreateEventA(nullptr, win::TRUE, win::FALSE, nullptr);
        Handle = win::CreateThread(nullptr, 0, &TTETransitionThread::Run, this, 0, nullptr);
    }
    ~TTETransitionThread() {
        Terminated = true;
        if (WakeEvent) win::SetEvent(WakeEvent);
        if (Handle) {
            win::WaitForSingleObject(Handle, 0xFFFFFFFF);
            win::CloseHandle(Handle);
        }
        if (WakeEvent) win::CloseHandle(WakeEvent);
        win::DeleteCriticalSection(&Lock);
    }

    static win::DWORD Run(void* p) {
        auto* self = static_cast<TTETransitionThread*>(p);
        TTETransitionDevice* dev = self->Device;
        win::EnterCriticalSection(&dev->ThreadLock);
        win::LeaveCriticalSection(&dev->ThreadLock);
        dev->Executing = true;
        try {
            dev->DoExecute();
        } catch (...) {
            // A failure on the transition thread ends the run; nothing may leave the thread.
            dev->Aborted = true;
        }
        for (cl::TBitmap* b : self->Locked) b->GetCanvas()->Unlock();
        self->Locked.clear();
        dev->Executing = false;
        try {
            win::PostMessageA(dev->GetThreadWindow(), TTETransitionDevice::CM_TETHREADENDED, 0,
                              reinterpret_cast<win::LPARAM>(dev));
        } catch (...) {
        }
        return 0;
    }

    TTETransitionDevice* Device;
    std::vector<cl::TBitmap*> Locked;
    win::CRITICAL_SECTION Lock;
    win::HANDLE WakeEvent = nullptr;
    win::HANDLE Handle = nullptr;
    std::atomic<bool> Terminated{false};
};

// ---- the device --------------------------------------------------------------------------------------------

TTETransitionDevice::TTETransitionDevice() {
    win::InitializeCriticalSection(&ThreadLock);
    win::InitializeCriticalSection(&DataLock);
}

TTETransitionDevice::~TTETransitionDevice() {
    delete Thread;
    Thread = nullptr;
    FreeRunData();
    FreeImages();
    win::DeleteCriticalSection(&ThreadLock);
    win::DeleteCriticalSection(&DataLock);
}

TTransitionEffect* TTETransitionDevice::GetTransition() const {
    return WorkingTransition ? WorkingTransition : FTransition;
}

void TTETransitionDevice::SetTransition(TTransitionEffect* Value) {
    if (Data) throw ETransitionEffectError("Transition is busy");
    FTransition = Value;
}

void TTETransitionDevice::FreeImages() {
    delete OldImage;
    OldImage = nullptr;
    delete Pass2Image;
    Pass2Image = nullptr;
    delete NewImage;
    NewImage = nullptr;
}

bool TTETransitionDevice::CanRun() {
    if (!FTransition || IsTransitionDisabled(FTransition, false)) return false;
    if (Data && (Data->Width <= 0 || Data->Height <= 0)) return false;
    return true;
}

bool TTETransitionDevice::IsTransitionDisabled(TTransitionEffect* Transition, bool) const {
    return !Transition->GetEnabled();
}

void TTETransitionDevice::FireEvent(const cl::TNotifyEvent& Event) {
    if (!Event) return;
    OutsideEvents = false;
    try {
        Event(this);
    } catch (...) {
        OutsideEvents = true;
        throw;
    }
    OutsideEvents = true;
}

bool TTETransitionDevice::CheckAbort(bool CheckTime) {
    if (Aborted) return true;
    if (Thread && Thread->Terminated) {
        Aborted = true;
        return true;
    }
    TTransitionEffect* w = GetTransition();
    if (Threaded || !w || !Data) return Aborted;
    bool source = w->AbortOnClick || w->AbortOnEscape || static_cast<bool>(w->OnAbortQuery);
    if (!source) return Aborted;
    if (CheckTime && !(Data->AbortChrono && Data->AbortChrono->Milliseconds() > w->AbortCheckInterval)) return Aborted;
    bool abort = false;
    win::MSG msg;
    if (w->AbortOnClick && Data->Window &&
        win::PeekMessageA(&msg, Data->Window, win::WM_LBUTTONDOWN, win::WM_LBUTTONDOWN, win::PM_REMOVE))
        abort = true;
    if (!abort && w->AbortOnEscape) {
        while (win::PeekMessageA(&msg, nullptr, win::WM_KEYDOWN, win::WM_KEYDOWN, win::PM_REMOVE))
            if (msg.wParam == static_cast<win::WPARAM>(win::VK_ESCAPE)) {
                abort = true;
                break;
            }
    }
    if (!abort && w->OnAbortQuery) {
        OutsideEvents = false;
        try {
            w->OnAbortQuery(this, w, abort);
        } catch (...) {
            OutsideEvents = true;
            throw;
        }
        OutsideEvents = true;
    }
    if (Data->AbortChrono) {
        Data->AbortChrono->Reset();
        Data->AbortChrono->Start();
    }
    if (abort) Aborted = true;
    return Aborted;
}

void TTETransitionDevice::FreeRunData() {
    win::EnterCriticalSection(&DataLock);
    Data.reset();
    win::LeaveCriticalSection(&DataLock);
    if (OwnsWorkingCopy && WorkingTransition != FTransition) delete WorkingTransition;
    WorkingTransition = nullptr;
}

void TTETransitionDevice::CreateRunData() {
    if (!WorkingTransition) {
        TTransitionEffect* w;
        if (IsTransitionDisabled(FTransition, true)) {
            auto* cut = new TFlickerFreeTransition(nullptr);
            cut->Assign(FTransition);
            w = cut;
        } else {
            w = FTransition->TransitionForDevice(this, true);
            w->SourceEffect = FTransition;
            if (w->GetDirection() == tedRandom) {
                // Draw until an allowed direction other than Random comes up; a class that
                // allows none runs without a direction instead of drawing forever.
                TTEEffectDirections usable = w->AllowedDirections & 0x07FF;
                if (usable == 0) {
                    w->FDirection = tedNone;
                } else {
                    int d;
                    do d = cl::Random(12);
                    while (!(usable & (1u << d)));
                    w->FDirection = static_cast<TTEEffectDirection>(d);
                }
            }
        }
        w->OnStartTransition = FTransition->OnStartTransition;
        w->OnEndTransition = FTransition->OnEndTransition;
        w->OnAbortQuery = FTransition->OnAbortQuery;
        WorkingTransition = w;
    }
    auto d = std::make_unique<TTETransitionData>();
    d->Device = this;
    d->Pass = 1;
    d->PassCount = WorkingTransition->GetPassCount(this);
    d->PixelFormat = WorkingTransition->GetPixelFormat(this);
    d->SetFrameSync(false);
    d->Width = 0;
    d->FramesShown = 0;
    if (WorkingTransition->GetInfo(this) & tetiUseDirtyRects) d->DirtyRects = std::make_unique<TTEDirtyRects>();
    Data = std::move(d);
}

void TTETransitionDevice::CalcFrameCounts() {
    TTETransitionData* d = Data.get();
    if (d->Pass == 1) d->TotalFrames = d->Frames * d->PassCount + (ExtraFirstFrame ? 1 : 0) + (ExtraLastFrame ? 1 : 0);
    d->HasFirstFrame = ExtraFirstFrame && d->Pass == 1;
    d->LastFrame = d->Frames + (d->HasFirstFrame ? 1 : 0);
    d->HasLastFrame = ExtraLastFrame && (d->Pass == 2 || d->PassCount == 1);
    if (d->HasLastFrame) ++d->LastFrame;
}

void TTETransitionDevice::PrepareWorkBitmap(win::HPALETTE& OldPalette) {
    TTransitionEffect* w = GetTransition();
    TTETransitionData* d = Data.get();
    uint16_t flags = w->GetInfo(this);
    if (!((flags & tetiOffScreenBmpCapable) && ((flags & tetiNeedOffScreenBmp) || NeedsWorkBitmap()))) return;
    bool srcIsWork = (flags & tetiUseSrcAsOffScreenBmp) && d->SrcImage;
    std::unique_ptr<cl::TBitmap> work;
    if (!srcIsWork) {
        work = std::make_unique<cl::TBitmap>();
        work->GetCanvas()->Lock();
        try {
            AdjustBitmapFormat(work.get(), nullptr, w->GetBitmapsWidth(d), d->Height,
                               static_cast<cl::TPixelFormat>(d->PixelFormat));
        } catch (...) {
            work->GetCanvas()->Unlock();
            throw;
        }
        work->GetCanvas()->Unlock();
    }
    win::HPALETTE pal = nullptr;
    if (d->DstImage)
        pal = d->DstImage->GetPalette();
    else if (d->SrcImage)
        pal = d->SrcImage->GetPalette();
    if (pal && d->Canvas) {
        win::HDC dc = d->Canvas->GetHandle();
        OldPalette = win::SelectPalette(dc, pal, win::FALSE);
        win::RealizePalette(dc);
        d->Palette = pal;
    }
    if (work && IsPaletteDisplay() && d->DstImage && d->DstImage->GetPalette()) {
        // A copy: the work bitmap owns its palette.
        win::HPALETTE src = d->DstImage->GetPalette();
        std::vector<uint8_t> buf(sizeof(win::LOGPALETTE) + sizeof(win::PALETTEENTRY) * 256);
        auto* lp = reinterpret_cast<win::LOGPALETTE*>(buf.data());
        lp->palVersion = 0x300;
        lp->palNumEntries = static_cast<win::WORD>(win::GetPaletteEntries(src, 0, 256, lp->palPalEntry));
        if (lp->palNumEntries) work->SetPalette(win::CreatePalette(lp));
    }
    if (work && d->SrcImage && ((flags & tetiNeedSrcBmp) || !(flags & tetiNeedOffScreenBmp)))
        win::BitBlt(work->GetCanvas()->GetHandle(), 0, 0, d->SrcImage->GetWidth(), d->SrcImage->GetHeight(),
                    d->SrcImage->GetCanvas()->GetHandle(), 0, 0, win::SRCCOPY);
    win::EnterCriticalSection(&DataLock);
    if (srcIsWork) {
        if (d->Bitmap && d->Bitmap != d->SrcImage) delete d->Bitmap;
        d->Bitmap = d->SrcImage;
        d->LastImage = d->SrcImage;
    } else {
        if (d->Bitmap && d->Bitmap != d->SrcImage) delete d->Bitmap;
        d->Bitmap = work.release();
        d->LastImage = d->Bitmap;
    }
    win::LeaveCriticalSection(&DataLock);
}

TTransitionEffect* TTETransitionDevice::TransitionToRun(TTransitionEffect* Transition, bool MakeCopy) {
    if (!MakeCopy) return Transition;
    const cl::TClass& cls = Transition->ClassType();
    if (!cls.Create) throw ETransitionEffectError(cl::String("Cannot create a working copy of ") + cls.Name);
    auto* copy = static_cast<TTransitionEffect*>(cls.Create(nullptr));
    try {
        copy->Assign(Transition);
    } catch (...) {
        delete copy;
        throw;
    }
    return copy;
}

int TTETransitionDevice::AfterFrame(int) { return 0; }

win::HWND TTETransitionDevice::GetThreadWindow() { throw ETransitionEffectError("Device is not thread safe"); }

bool TTETransitionDevice::NeedsWorkBitmap() { return false; }

void TTETransitionDevice::DoThreadEnded() {
    win::EnterCriticalSection(&ThreadLock);
    delete Thread;
    Thread = nullptr;
    Threaded = false;
    win::LeaveCriticalSection(&ThreadLock);
    if (EndEventPending) {
        EndEventPending = false;
        if (FTransition) FireEvent(FTransition->OnEndTransition);
    }
    if (FTransition) FireEvent(FTransition->OnAfterTransition);
}

void TTETransitionDevice::Abort() {
    Aborted = true;
    if (Thread && Thread->WakeEvent) win::SetEvent(Thread->WakeEvent);
}

bool TTETransitionDevice::HasWindowRegion() { return false; }

bool TTETransitionDevice::IsObscured() { return false; }

void TTETransitionDevice::StartThread() {
    win::EnterCriticalSection(&ThreadLock);
    Threaded = true;
    Aborted = false;
    EndEventPending = false;
    try {
        Thread = new TTETransitionThread(this);
    } catch (...) {
        Threaded = false;
        win::LeaveCriticalSection(&ThreadLock);
        throw;
    }
    win::LeaveCriticalSection(&ThreadLock);
}

void TTETransitionDevice::Execute(bool Synchronous) {
    if (!FTransition) throw ETransitionEffectError("Device's transition is not assigned");
    if (!Synchronous) {
        if (!IsThreadSafe()) throw ETransitionEffectError("Device is not thread safe");
        if (!(GetTransition()->GetInfo(this) & tetiThreadSafe))
            throw ETransitionEffectError("Transition is not thread safe");
    }
    FireEvent(FTransition->OnBeforeTransition);
    if (Synchronous) {
        if (CanRun()) {
            Aborted = false;
            Executing = true;
            try {
                DoExecute();
            } catch (...) {
                Executing = false;
                throw;
            }
            Executing = false;
        }
        FireEvent(FTransition->OnAfterTransition);
    } else if (!Thread) {
        if (CanRun())
            StartThread();
        else
            FireEvent(FTransition->OnAfterTransition);
    }
}

// ---- passes and frames --------------------------------------------------------------------------------

void TTETransitionDevice::ShowImage(cl::TBitmap* Image) {
    TTETransitionData* d = Data.get();
    if (!Image || !d->Canvas) return;
    win::BitBlt(d->Canvas->GetHandle(), d->OffsetX, d->OffsetY, Image->GetWidth(), Image->GetHeight(),
                Image->GetCanvas()->GetHandle(), 0, 0, win::SRCCOPY);
    win::GdiFlush();
}

void TTETransitionDevice::ShowFrame(TTEChrono* FrameChrono) {
    TTETransitionData* d = Data.get();
    if (Threaded && d->Window && !win::IsWindowVisible(d->Window)) Aborted = true;
    if (!Aborted && d->ShowFrames && d->Bitmap && d->Canvas) {
        win::HDC dc = d->Canvas->GetHandle();
        win::HDC src = d->Bitmap->GetCanvas()->GetHandle();
        double start = FrameChrono ? FrameChrono->Milliseconds() : 0;
        win::HRGN saved = win::CreateRectRgn(0, 0, 0, 0);
        bool hadClip = win::GetClipRgn(dc, saved) == 1;
        if (!RectEmpty(d->UnUpdateRect))
            win::ExcludeClipRect(dc, d->UnUpdateRect.left, d->UnUpdateRect.top, d->UnUpdateRect.right,
                                 d->UnUpdateRect.bottom);
        auto blit = [&](const win::RECT& r) {
            if (!RectEmpty(r))
                win::BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, src, r.left, r.top, win::SRCCOPY);
        };
        if (d->DirtyRects && d->DirtyRects->Count() > 1)
            for (const win::RECT& r : d->DirtyRects->Rects) blit(r);
        else
            blit(d->UpdateRect);
        win::SelectClipRgn(dc, hadClip ? saved : nullptr);
        win::DeleteObject(saved);
        // The frame reaches the screen now; presenting it is part of the copy's time.
        win::GdiFlush();
        d->BlitTime = FrameChrono ? FrameChrono->Milliseconds() - start : 0;
    } else if (!Aborted && d->Canvas) {
        // An effect that draws straight onto the canvas: its frame is shown here.
        double start = FrameChrono ? FrameChrono->Milliseconds() : 0;
        win::GdiFlush();
        d->BlitTime = FrameChrono ? FrameChrono->Milliseconds() - start : 0;
    }
    d->PrevUnUpdateRect = d->UnUpdateRect;
    d->PrevUpdateRect = d->UpdateRect;
    d->UnUpdateRect = win::RECT{};
    d->UpdateRect = win::RECT{};
    if (d->DirtyRects && d->DirtyRects->AutoClear) d->DirtyRects->Clear();
    if (!Aborted && !d->Bitmap && d->LastImage == d->SrcImage) d->LastImage = nullptr;
}

void TTETransitionDevice::DrawFrame(int32_t Index, int32_t Step, int32_t Previous, TTEChrono* FrameChrono) {
    TTETransitionData* d = Data.get();
    TTransitionEffect* w = GetTransition();
    if (!d->Canvas) {
        w->ExecuteFrame(d, Index, Step, Previous);
        return;
    }
    win::HDC dc = d->Canvas->GetHandle();
    win::POINT org;
    win::GetWindowOrgEx(dc, &org);
    win::SetWindowOrgEx(dc, org.x - d->OffsetX, org.y - d->OffsetY, nullptr);
    try {
        if (Index == 0 && d->HasFirstFrame) {
            if (d->SrcImage)
                win::BitBlt(dc, 0, 0, d->SrcImage->GetWidth(), d->SrcImage->GetHeight(),
                            d->SrcImage->GetCanvas()->GetHandle(), 0, 0, win::SRCCOPY);
            win::GdiFlush();
        } else if (Index > d->Frames && d->HasLastFrame) {
            if (d->DstImage)
                win::BitBlt(dc, 0, 0, d->DstImage->GetWidth(), d->DstImage->GetHeight(),
                            d->DstImage->GetCanvas()->GetHandle(), 0, 0, win::SRCCOPY);
            win::GdiFlush();
        } else {
            w->ExecuteFrame(d, Index, Step, Previous);
            ShowFrame(FrameChrono);
        }
    } catch (...) {
        win::SetWindowOrgEx(dc, org.x, org.y, nullptr);
        throw;
    }
    win::SetWindowOrgEx(dc, org.x, org.y, nullptr);
}

void TTETransitionDevice::PlainLoop(TTEChrono& FrameChrono) {
    TTETransitionData* d = Data.get();
    FrameChrono.Start();
    int32_t first = d->StartFrame == -1 ? 1 : d->StartFrame;
    int32_t lastIndex = d->LastFrame;
    if (d->StartFrame == -1 && d->HasFirstFrame) {
        // Counting from 0 the last index moves down by one, as in the paced loop; otherwise
        // the new look would be shown twice.
        first = 0;
        --lastIndex;
    }
    for (int32_t i = first; i <= lastIndex; ++i) {
        if (CheckAbort(true)) break;
        ++d->FramesShown;
        DrawFrame(i, 1, i - 1, &FrameChrono);
    }
    FrameChrono.Pause();
}

void TTETransitionDevice::PaceWait(float Wait, float Avg) {
    TTEChrono* pace = Data->PaceChrono.get();
    // Slices keep the abort poll going during a long wait; every slice waits through the
    // platform clock (which in virtual mode simply moves time on).
    constexpr double kSliceMs = 5.0;
    for (;;) {
        if (CheckAbort(false)) break;
        double reading = pace->Milliseconds();
        if (reading >= Wait) break;
        if (Thread) {
            double left = static_cast<double>(Wait) - reading - static_cast<double>(Avg);
            win::DWORD ms = static_cast<win::DWORD>(std::max(1.0, std::trunc(left)));
            win::WaitForSingleObject(Thread->WakeEvent, ms);
        } else {
            double target = std::min(static_cast<double>(Wait), reading + kSliceMs);
            pace->WaitUntil(target);
        }
    }
}

void TTETransitionDevice::PacedLoop(TTEChrono& FrameChrono, int32_t Duration) {
    TTETransitionData* d = Data.get();
    const float duration = static_cast<float>(Duration);
    float frameTime = duration / static_cast<float>(d->LastFrame + 1);
    float cost = frameTime;
    float lastTime = 0;
    float a = 0, b = 0;
    float step;
    int32_t lastIndex = d->LastFrame;
    if (d->StartFrame != -1) {
        step = static_cast<float>(d->StartFrame);
    } else if (d->HasFirstFrame) {
        step = 0;
        --lastIndex;
    } else {
        step = 1;
    }
    int32_t index = static_cast<int32_t>(cl::Round(step));
    if (step == 0) step = 1;
    FrameChrono.Start();
    int32_t previous = 0;
    TTEChrono* pace = d->PaceChrono.get();
    while (index <= lastIndex) {
        if (CheckAbort(true)) break;
        d->FramesShown += static_cast<int32_t>(cl::Round(step));
        DrawFrame(index, index - previous, previous, &FrameChrono);
        if (Aborted) break;
        previous = index;

        float now = static_cast<float>(FrameChrono.Milliseconds());
        float wait = frameTime - static_cast<float>(d->BlitTime) - (now - lastTime);
        if (wait > 0 && pace) {
            pace->Start();
            PaceWait(wait, (a + b) / 2);
            pace->Pause();
            a = b;
            b = static_cast<float>(pace->Milliseconds()) - wait;
            if (b < 0) b = a;
        }
        float waited = pace ? static_cast<float>(pace->Milliseconds()) : 0.0f;
        if (pace) pace->Reset();
        float prev = lastTime;
        now = static_cast<float>(FrameChrono.Milliseconds());
        float avg = (a + b) / 2;
        cost = (avg + now) - prev - (waited - avg);
        float remaining = duration - (avg + now);
        float left = static_cast<float>(d->Frames + 1 - index);
        if (remaining <= 0) {
            step = left;
        } else {
            step = cost != 0 ? left / (remaining / cost) : left / remaining;
            if (step < 1) step = 1;
        }
        frameTime = remaining / (left / step);
        lastTime = static_cast<float>(FrameChrono.Milliseconds());
        index += static_cast<int32_t>(cl::Round(step));
    }
    FrameChrono.Pause();
}

void TTETransitionDevice::RestorePalette() {
    TTETransitionData* d = Data.get();
    if (d && d->Canvas && FOldPalette) win::SelectPalette(d->Canvas->GetHandle(), FOldPalette, win::FALSE);
    FOldPalette = nullptr;
    if (d) d->Palette = nullptr;
}

void TTETransitionDevice::RunPasses() {
    TTETransitionData* d = Data.get();
    TTransitionEffect* w = GetTransition();
    if (!Pass2Image && d->PassCount == 2) {
        TTEPass2OptionsType* o = w->GetPass2Options();
        if (o->SolidColor == cl::clNone) o->SolidColor = BackgroundColor();
        auto solid = std::make_unique<cl::TBitmap>();
        InitSolidBitmap(solid.get(), w->GetBitmapsWidth(d), d->Height, nullptr,
                        static_cast<cl::TPixelFormat>(d->PixelFormat), o->SolidColor);
        Pass2Image = solid.release();
    }
    if (d->PassCount == 2) {
        int32_t total = w->Milliseconds;
        std::unique_ptr<TTEChrono> passChrono;
        if (w->GetPass2Options()->DistributedTime && total != 0) {
            w->Milliseconds = total / 2;
            passChrono = std::make_unique<TTEChrono>();
        }
        d->SrcImage = OldImage;
        d->DstImage = Pass2Image;
        PrepareWorkBitmap(FOldPalette);
        RunPass(1, passChrono.get(), total);
        RestorePalette();
        win::EnterCriticalSection(&DataLock);
        if (d->Bitmap && d->Bitmap == OldImage) d->Bitmap = nullptr;
        if (d->LastImage == OldImage) d->LastImage = nullptr;
        d->SrcImage = nullptr;
        win::LeaveCriticalSection(&DataLock);
        delete OldImage;
        OldImage = nullptr;
        CaptureNewLook();
        d->SrcImage = Pass2Image;
        d->DstImage = NewImage;
        PrepareWorkBitmap(FOldPalette);
        RunPass(2, passChrono.get(), total);
        RestorePalette();
    } else {
        CaptureNewLook();
        d->SrcImage = OldImage;
        d->DstImage = NewImage;
        PrepareWorkBitmap(FOldPalette);
        RunPass(1, nullptr, w->Milliseconds);
        RestorePalette();
    }
}

void TTETransitionDevice::RunPass(int32_t Pass, TTEChrono* PassChrono, int32_t Total) {
    TTETransitionData* d = Data.get();
    TTransitionEffect* w = GetTransition();
    d->Pass = Pass;
    if (w->GetPass2Options()->Reversed && d->PassCount == 2) w->Reversed = !w->Reversed;
    if (Pass == 1) FireEvent(w->OnStartTransition);

    if (!Threaded && (w->AbortOnClick || w->AbortOnEscape || w->OnAbortQuery)) {
        d->AbortChrono = std::make_unique<TTEChrono>();
        d->AbortChrono->Start();
        if (CheckAbort(false)) return;
    }

    auto endOfPass = [&]() {
        w->Finalize(d);
        d->AbortChrono.reset();
        RestorePalette();
        if (d->DstImage && d->ShowFinal && (!Aborted || Pass == d->PassCount)) ShowImage(d->DstImage);
        if (Pass == d->PassCount && !Aborted) {
            if (Threaded)
                EndEventPending = true;
            else
                FireEvent(w->OnEndTransition);
        }
    };

    try {
        w->Initialize(d, d->Frames);
        CalcFrameCounts();
        if (Pass == 1 && PassChrono) PassChrono->Start();
    } catch (...) {
        // A failure while a pass is set up ends the pass quietly.
        endOfPass();
        return;
    }
    if (d->Frames == 0) return;

    try {
        bool frames = true;
        if (PassChrono && Pass == 2) {
            PassChrono->Pause();
            int64_t used = cl::Round(PassChrono->Milliseconds());
            if (used >= Total)
                frames = false;
            else
                w->Milliseconds = static_cast<int32_t>(Total - used);
        }
        if (frames) {
            TTEChrono frameChrono;
            if (w->Milliseconds > 0 && (w->GetInfo(this) & tetiMillisecondsCapable))
                PacedLoop(frameChrono, w->Milliseconds);
            else
                PlainLoop(frameChrono);
        }
    } catch (...) {
        endOfPass();
        throw;
    }
    endOfPass();
}

}  // namespace te
