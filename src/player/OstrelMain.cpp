#include "player/OstrelMain.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "classlib/Jpeg.h"
#include "classlib/StartUp.h"
#include "classlib/StdCtrls.h"
#include "classlib/TypInfo.h"
#include "platform/kernel.h"
#include "platform/run_folder.h"
#include "platform/user.h"
#include "player/zb_ExeConverter.h"
#include "player/zb_ImageUtils.h"
#include "transitions/teBmpMsk.h"
#include "transitions/teVclScr.h"

namespace player {

namespace {

// Milliseconds of show clock that one tick of the slide timer counts.
constexpr int64_t kTick = 50;
// Attempts to open the program file, and the wait after each.
constexpr int kOpenAttempts = 20;
constexpr win::DWORD kOpenRetryMs = 500;
// Mouse movement beyond this many pixels from the first position ends the show.
constexpr int kMouseSlack = 2;
// Pending mouse movements one look at the queue takes in at most.
constexpr int kMovesPerPoll = 64;

// The transition list ends with the plain cut and then the mask transition; the documents'
// effect numbers count from the start, so these two stay the last entries.
constexpr int kCutFromEnd = 2;
constexpr int kMaskFromEnd = 1;
int CutIndex(int count) { return count - kCutFromEnd; }
int MaskIndex(int count) { return count - kMaskFromEnd; }

// Sums of the document's numbers are made in 64 bits and saturate instead of wrapping.
int32_t SaturateToInt32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int64_t SaturatingAdd(int64_t a, int64_t b) {
    int64_t r;
    if (!__builtin_add_overflow(a, b, &r)) return r;
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

int64_t SaturatingSub(int64_t a, int64_t b) {
    int64_t r;
    if (!__builtin_sub_overflow(a, b, &r)) return r;
    return b < 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

}  // namespace

const std::vector<TShowTransition>& ShowTransitions() {
    static const std::vector<TShowTransition> effects = {
        {"TBlendTransition", {}},
        {"TBlockTransition", {}},
        {"TBlockTransition", {{"Puzzle", true}}},
        {"TBlurTransition", {{"Radius", 50}}},
        {"TCircleTransition", {}},
        {"TCircleTransition", {{"SmoothingLevel", 5}}},
        {"TCircleTransition", {{"SmoothingLevel", 5}, {"Style", 2}}},
        {"TCircleTransition", {{"SmoothingLevel", 5}, {"Style", 3}}},
        {"TDiagonalTransition", {{"SmoothingLevel", 5}}},
        {"TDiagonalTransition", {{"SmoothingLevel", 5}, {"Style", 2}}},
        {"TDripTransition", {{"Direction", "tedRandom"}}},
        {"TFuseTransition", {}},
        {"TFuseTransition", {{"Style", 2}}},
        {"TFuseTransition", {{"Style", 6}}},
        {"TInterlacedTransition", {}},
        {"TInterlacedTransition", {{"SmoothingLevel", 2}, {"Style", 2}}},
        {"TPageTransition", {{"Direction", "tedRight"}}},
        {"TPageTransition", {}},
        {"TPageTransition", {{"Direction", "tedUp"}}},
        {"TPageTransition", {{"Direction", "tedDown"}}},
        {"TPixelateTransition", {{"BoxSize", 50}}},
        {"TPushTransition", {}},
        {"TPushTransition", {{"Direction", "tedUp"}}},
        {"TPushTransition", {{"Direction", "tedLeft"}}},
        {"TPushTransition", {{"Direction", "tedRight"}}},
        {"TRadialTransition", {{"SmoothingLevel", 5}}},
        {"TRadialTransition", {{"SmoothingLevel", 5}, {"Style", 2}}},
        {"TRadialTransition", {{"SmoothingLevel", 5}, {"Style", 3}}},
        {"TRadialTransition", {{"SmoothingLevel", 5}, {"Style", 4}}},
        {"TRollTransition", {}},
        {"TRollTransition", {{"Direction", "tedLeft"}}},
        {"TRollTransition", {{"Direction", "tedUp"}}},
        {"TRollTransition", {{"Direction", "tedRight"}}},
        {"TSlideTransition", {{"ElasticSrc", true}}},
        {"TSlideTransition", {{"Direction", "tedUp"}, {"ElasticSrc", true}}},
        {"TSlideTransition", {{"Direction", "tedLeft"}, {"ElasticSrc", true}}},
        {"TSlideTransition", {{"Direction", "tedRight"}, {"ElasticSrc", true}}},
        {"TWaterfallTransition", {}},
        {"TWaterfallTransition", {{"Direction", "tedLeft"}}},
        {"TWaterfallTransition", {{"Direction", "tedRight"}}},
        {"TWaterfallTransition", {{"Direction", "tedUp"}}},
        {"TWipeTransition", {{"Direction", "tedDown"}}},
        {"TWipeTransition", {{"Direction", "tedUp"}}},
        {"TWipeTransition", {{"Direction", "tedLeft"}}},
        {"TWipeTransition", {}},
        {"TFlickerFreeTransition", {}},
        {"TBmpMaskTransition", {{"SmoothingLevel", 5}}},
    };
    return effects;
}

namespace {

cl::TFormTable BuildTable() {
    cl::TFormTable t;
    t.Props = {{"Color", "clBlack"}, {"FormStyle", "fsStayOnTop"}, {"KeyPreview", true},  {"BorderIcons", "[]"},
               {"ClientWidth", 862}, {"ClientHeight", 606},        {"Caption", "Lumetra"}};
    t.Components.push_back({"TPanel",
                            "ImagePanel",
                            "",
                            {{"Left", 0},
                             {"Top", 0},
                             {"Width", 862},
                             {"Height", 606},
                             {"Align", "alClient"},
                             {"BevelOuter", "bvNone"},
                             {"Enabled", false},
                             {"ParentColor", true}},
                            [](cl::TCustomForm* f, cl::TComponent* c) {
                                auto* form = static_cast<TOstrelForm*>(f);
                                form->ImagePanel = static_cast<cl::TPanel*>(c);
                                form->ImagePanel->OnClick = [form](cl::TObject* s) { form->ImageDblClick(s); };
                                form->ImagePanel->OnDblClick = [form](cl::TObject* s) { form->ImageDblClick(s); };
                            }});
    t.Components.push_back({"TImgView32",
                            "Image",
                            "ImagePanel",
                            {{"Left", 0},
                             {"Top", 0},
                             {"Width", 862},
                             {"Height", 606},
                             {"Anchors", "[akLeft,akTop,akRight,akBottom]"},
                             {"ParentColor", true},
                             {"Bitmap.ResamplerClassName", "TLinearResampler"},
                             {"BitmapAlign", "baCenter"},
                             {"Scale", "1"},
                             {"ScaleMode", "smResize"},
                             {"ScrollBars.Visibility", "svHidden"}},
                            [](cl::TCustomForm* f, cl::TComponent* c) {
                                auto* form = static_cast<TOstrelForm*>(f);
                                form->Image = static_cast<pix32::TImgView32*>(c);
                                form->Image->OnClick = [form](cl::TObject* s) { form->ImageDblClick(s); };
                                form->Image->OnDblClick = [form](cl::TObject* s) { form->ImageDblClick(s); };
                            }});
    t.Components.push_back({"TTransitionList", "TransitionList1", "", {}, [](cl::TCustomForm* f, cl::TComponent* c) {
                                static_cast<TOstrelForm*>(f)->TransitionList1 = static_cast<te::TTransitionList*>(c);
                            }});
    const auto& effects = ShowTransitions();
    const int effectCount = static_cast<int>(effects.size());
    for (int i = 0; i < effectCount; ++i) {
        const bool mask = i == MaskIndex(effectCount);
        const bool cut = i == CutIndex(effectCount);
        std::vector<cl::TFormProp> props;
        if (!cut) props.push_back({"Milliseconds", 1000});
        props.insert(props.end(), effects[i].Props.begin(), effects[i].Props.end());
        t.Components.push_back({effects[i].ClassName, mask ? "MaskTransition" : "Transition" + std::to_string(i + 1),
                                "TransitionList1", props, nullptr});
    }
    t.Components.push_back(
        {"TTimer", "SlideTimer", "", {{"Interval", 50}, {"Enabled", false}}, [](cl::TCustomForm* f, cl::TComponent* c) {
             auto* form = static_cast<TOstrelForm*>(f);
             form->SlideTimer = static_cast<cl::TTimer*>(c);
             form->SlideTimer->SetOnTimer([form](cl::TObject* s) { form->Timer1Timer(s); });
         }});
    t.Components.push_back({"TBassPlayer",
                            "BassPlayer",
                            "",
                            {{"BassLibrary", "bass"}, {"BassWMALibrary", "basswma"}},
                            [](cl::TCustomForm* f, cl::TComponent* c) {
                                auto* form = static_cast<TOstrelForm*>(f);
                                form->BassPlayer = static_cast<audio::TBassPlayer*>(c);
                                form->BassPlayer->OnEndPlaying = [form](cl::TObject* s) { form->PlayerNotify(s); };
                            }});
    t.Components.push_back({"TAudioHiResTimer",
                            "AudioTimer",
                            "",
                            {{"Interval", 50}, {"Resolution", 5}, {"FireOnce", false}},
                            [](cl::TCustomForm* f, cl::TComponent* c) {
                                auto* form = static_cast<TOstrelForm*>(f);
                                form->AudioTimer = static_cast<audio::TAudioHiResTimer*>(c);
                                form->AudioTimer->OnTimer = [form](cl::TObject* s) { form->AudioTimerTimer(s); };
                            }});
    t.Components.push_back({"TXPManifest", "XPManifest1", "", {}, nullptr});
    return t;
}

// The platform's temporary folder, as it reports it; empty when it reports none or a path
// too long for the buffer.
std::string GetTempFolderPath() {
    char buffer[1024] = {};
    win::DWORD n = win::GetTempPathA(1023, buffer);
    if (n == 0 || n >= 1023) return std::string();
    return std::string(buffer, n);
}

// The name under which a track is written to the run's track folder: only the last part of
// the name the document gives, so that a track can never be written outside the folder.
std::string TrackFileName(const std::string& name) {
    size_t cut = name.find_last_of("/\\");
    std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    if (base == "." || base == "..") return std::string();
    return base;
}

void SaveResource(const char* name, const std::string& path) {
    cl::TResourceStream res(win::HInstance(), name, "DLL");
    res.SaveToFile(path);
}

void RemoveFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

}  // namespace

// ---------------------------------------------------------------------------------------

std::string& TOstrelForm::ShowFile() {
    static std::string file;
    return file;
}

TOstrelForm::TOstrelForm(cl::TComponent* AOwner) : cl::TForm(AOwner) {
    OnCreate = [this](cl::TObject* s) { FormCreate(s); };
    OnActivate = [this](cl::TObject* s) { FormActivate(s); };
    OnKeyDown = [this](cl::TObject* s, uint16_t& k, cl::TShiftState sh) { FormKeyDown(s, k, sh); };
    OnClick = [this](cl::TObject* s) { ImageDblClick(s); };
    OnDblClick = [this](cl::TObject* s) { ImageDblClick(s); };
    OnClose = [this](cl::TObject* s, cl::TCloseAction& a) { FormClose(s, a); };
    OnDestroy = [this](cl::TObject* s) { FormDestroy(s); };
    static bool handlers = false;
    if (!handlers) {
        handlers = true;
        // While the window is being torn down the form is no longer whole: messages then
        // take the default way.
        cl::RegisterMessageHandler(StaticClass(), win::WM_MOUSEMOVE, [](cl::TObject* self, cl::TMessage& m) {
            if (auto* form = dynamic_cast<TOstrelForm*>(self))
                form->WMMouseMove(m);
            else
                cl::InheritedDispatch(StaticClass(), self, m);
        });
        cl::RegisterMessageHandler(StaticClass(), win::WM_SETCURSOR, [](cl::TObject* self, cl::TMessage& m) {
            if (auto* form = dynamic_cast<TOstrelForm*>(self))
                form->WMSetCursor(m);
            else
                cl::InheritedDispatch(StaticClass(), self, m);
        });
    }
}

TOstrelForm::~TOstrelForm() = default;

const cl::TFormTable* TOstrelForm::FormTable() const {
    static const cl::TFormTable table = BuildTable();
    return &table;
}

// ---------------------------------------------------------------------------------------
// Start-up

void TOstrelForm::FormCreate(cl::TObject*) {
    // The run's private folder comes first: nothing is written before it exists, and
    // nothing is written anywhere else.
    CreateRunFolder();
    HookTransitions();
    FShow = std::make_unique<TSlideShow>();
    FLoadForm = cl::NewForm<TLoadForm>(this);
    FLoadForm->Show();
    cl::Application->ProcessMessages();

    std::string file = ShowFile().empty() ? cl::ParamStr(0) : ShowFile();
    for (int attempt = 0; attempt < kOpenAttempts && !FProgramFile; ++attempt) {
        try {
            FProgramFile = std::make_unique<cl::TFileStream>(file, cl::fmOpenRead | cl::fmShareDenyNone);
        } catch (const cl::EFOpenError&) {
        }
        win::Sleep(kOpenRetryMs);
    }
    if (!FProgramFile) {
        win::MessageBoxA(cl::Application->GetHandle(), kCannotOpenShow, "", win::MB_ICONINFORMATION);
        RemoveRunFolder();
        cl::FreeAndNil(FLoadForm);
        cl::Application->ShowMainForm = false;
        cl::Application->Terminate();
        return;
    }

    ExtractBassLibraries();
    std::string error;
    try {
        ReadShowFromExe(FShow.get(), FProgramFile.get(), error);  // the error text is not shown
    } catch (...) {
        // The class library reports the broken document; nothing will play, so the run's
        // files go now.
        DropMusic();
        throw;
    }
    if (!error.empty()) DropMusic();
    SetupWindow();
    ResetPlayback();
    FMouseX = -65000;
    FMouseY = -65000;
}

void TOstrelForm::SetupWindow() {
    SetCaption(FShow->WindowTitle);
    cl::Application->SetTitle(GetCaption());
    SetBorderStyle(cl::bsNone);
    SetWindowState(cl::wsMaximized);
    Image->SetBounds(0, 0, GetClientWidth(), GetClientHeight());
    BuildPlayOrders();
    FShow->EventEndShow = 1;
    // The tracks go to the run's own folder; without one there is no music.
    FTempFolder = RunFolderPresent() ? FRunFolder + kTrackSubfolder + "/" : std::string();
}

void TOstrelForm::BuildPlayOrders() {
    auto build = [](std::vector<int32_t>& order, int count, bool shuffle) {
        order.resize(static_cast<size_t>(std::max(count, 0)));
        for (int i = 0; i < count; ++i) order[i] = i;
        if (!shuffle) return;
        cl::Randomize();
        for (int i = 0; i < count; ++i) std::swap(order[i], order[cl::Random(count)]);
    };
    build(FSlideOrder, FShow->SlideCount(), FShow->RandomSlides);
    std::lock_guard<std::mutex> lock(FMusicLock);
    build(FMusicOrder, FShow->MusicCount(), FShow->RandomMusic);
}

void TOstrelForm::ResetPlayback() {
    FSlideIndex = 0;
    FEffectIndex = 0;
    FFullArea = false;
    // The music goes on across a restart of the show unless the project asks otherwise.
    if (!FShow->BeginPlayMusic && !BassPlayer->GetFileName().empty()) return;
    FMusicIndex = -1;
    if (FShow->FaderMode() > 0) AudioTimerTimer(AudioTimer);
    PlayerNotify(nullptr);
    FShowClock = 0;
    FSlideStart = 0;
}

// ---------------------------------------------------------------------------------------
// Slides

void TOstrelForm::FormActivate(cl::TObject*) {
    FActivated = true;
    cl::Screen->SetCursor(cl::crNone);
    ShowCurrentSlide();
    PrepareCurrentSlide();
    CalcEffectRect();
    SlideTimer->SetEnabled(true);
}

void TOstrelForm::CopyRange(int64_t start, int64_t end, cl::TStream* dest) {
    // Positioned reads: the audio library's thread reads the same file at the same time.
    CopyShowRange(FProgramFile.get(), start, end, dest);
}

void TOstrelForm::ShowCurrentSlide() {
    if (FSlideIndex < 0 || FSlideIndex >= static_cast<int32_t>(FSlideOrder.size())) return;
    TSlide* slide = FShow->GetSlide(FSlideOrder[FSlideIndex]);
    if (!slide || slide->StartPos < 0 || slide->EndPos < 0 || !FProgramFile) return;
    cl::TJPEGImage jpeg;
    try {
        cl::TMemoryStream bytes;
        CopyRange(slide->StartPos, slide->EndPos, &bytes);
        bytes.SetPosition(0);
        jpeg.LoadFromStream(&bytes);
        // Decoding happens here: a picture that cannot be decoded is skipped and the
        // previous one stays on the screen.
        jpeg.GetBitmap();
    } catch (const cl::Exception&) {
        return;
    }
    Image->Bitmap()->Assign(&jpeg);
}

bool TOstrelForm::PrepareCurrentSlide() {
    if (FSlideIndex < 0 || FSlideIndex >= static_cast<int32_t>(FSlideOrder.size())) return false;
    TSlide* slide = FShow->GetSlide(FSlideOrder[FSlideIndex]);
    if (!slide) return false;
    FSlideDuration = slide->TimeInterval == -1 ? FShow->DefaultInterval : slide->TimeInterval;
    TSlide* next = FSlideIndex + 1 < static_cast<int32_t>(FSlideOrder.size())
                       ? FShow->GetSlide(FSlideOrder[FSlideIndex + 1])
                       : nullptr;
    FFullArea = !slide->Enabled || (next && !next->Enabled);
    const int count = TransitionList1->GetTransitionCount();
    // A random effect is any entry before the mask transition (the cut included).
    FEffectIndex = slide->Effect == -1 ? cl::Random(MaskIndex(count)) : slide->Effect;
    // An index outside the list changes the slide with the cut.
    if (FEffectIndex < 0 || FEffectIndex >= count) FEffectIndex = CutIndex(count);
    te::TTransitionEffect* effect = TransitionList1->GetTransition(FEffectIndex);
    effect->Milliseconds = slide->EffectInterval == -1 ? FShow->DefaultEffectInterval : slide->EffectInterval;
    FCutExtra = SaturateToInt32(cl::Round(static_cast<double>(effect->Milliseconds) * 1.2));
    effect->PassSetting = slide->TwoPasses ? te::teTwoPasses : te::teOnePass;
    if (FEffectIndex == CutIndex(count)) {
        // A slide left by a cut stands longer by the time it does not spend in a transition.
        FSlideDuration = SaturateToInt32(static_cast<int64_t>(FSlideDuration) + FCutExtra);
        FCutExtra = 0;
    } else if (FEffectIndex == MaskIndex(count) && slide->EffectMask != -1) {
        // Without a mask picture of its own the slide keeps the mask the transition had.
        LoadCurrentMask();
    }
    return true;
}

void TOstrelForm::LoadCurrentMask() {
    if (FSlideIndex < 0 || FSlideIndex >= static_cast<int32_t>(FSlideOrder.size())) return;
    TSlide* slide = FShow->GetSlide(FSlideOrder[FSlideIndex]);
    if (!slide || slide->MaskStartPos < 0 || slide->MaskEndPos < 0 || !FProgramFile) return;
    auto* mask = dynamic_cast<te::TBmpMaskTransition*>(
        TransitionList1->GetTransition(MaskIndex(TransitionList1->GetTransitionCount())));
    if (!mask) return;
    LoadMaskFromStream(FProgramFile.get(), mask->GetMask(), slide->MaskStartPos, slide->MaskEndPos);
}

win::RECT TOstrelForm::ImageClientRect() const {
    return win::RECT{0, 0, Image->GetClientWidth(), Image->GetClientHeight()};
}

void TOstrelForm::CalcEffectRect() {
    const win::RECT client = ImageClientRect();
    if (static_cast<int64_t>(FShow->EffectR) - FShow->EffectL > 0) {
        win::POINT a = Image->BitmapToControl(win::POINT{FShow->EffectL, FShow->EffectT});
        win::POINT b = Image->BitmapToControl(win::POINT{FShow->EffectR, FShow->EffectB});
        // The document's numbers may point anywhere: the transition never covers more than
        // the control, so they cannot make it allocate more than a full-screen one.
        FEffectRect = win::RECT{std::clamp(a.x, client.left, client.right), std::clamp(a.y, client.top, client.bottom),
                                std::clamp(b.x, client.left, client.right), std::clamp(b.y, client.top, client.bottom)};
    } else {
        FEffectRect = client;
    }
}

void TOstrelForm::Timer1Timer(cl::TObject*) {
    SlideTimer->SetEnabled(false);
    FShowClock = SaturatingAdd(FShowClock, kTick);
    if (SaturatingSub(FShowClock, FSlideStart) >= static_cast<int64_t>(FSlideDuration)) {
        FShowClock = SaturatingAdd(FSlideStart, FSlideDuration);
        FSlideStart = FShowClock;
        SlideTimerTimer(SlideTimer);
    }
    SlideTimer->SetEnabled(FSlideIndex < FShow->SlideCount());
}

void TOstrelForm::SlideTimerTimer(cl::TObject*) {
    SlideTimer->SetEnabled(false);
    te::TTransitionEffect* effect = TransitionList1->GetTransition(FEffectIndex);
    {
        // The old picture freezes on the screen; the effect always ends unprepared.
        te::TTEPreparedScope prepared(effect, Image, FFullArea ? ImageClientRect() : FEffectRect);
        ++FSlideIndex;
        if (PrepareCurrentSlide()) {
            ShowCurrentSlide();
        } else if (FShow->EventEndShow == 1) {
            SlideTimer->SetEnabled(false);
            ResetPlayback();
            ShowCurrentSlide();
            PrepareCurrentSlide();
            SlideTimer->SetEnabled(true);
        } else {
            ClearScreen();
        }
        effect->Execute();
    }
    SlideTimer->SetEnabled(FSlideIndex < FShow->SlideCount());
}

void TOstrelForm::ClearScreen() {
    Image->Bitmap()->Clear();
    Image->Update();
}

// ---------------------------------------------------------------------------------------
// Exit

void TOstrelForm::FormKeyDown(cl::TObject*, uint16_t&, cl::TShiftState) { Close(); }

void TOstrelForm::ImageDblClick(cl::TObject*) { Close(); }

bool TOstrelForm::MouseMoveEnds(int x, int y, bool record) {
    if (FMouseX == -65000 && FMouseY == -65000) {
        if (record) {
            FMouseX = x;
            FMouseY = y;
        }
        return false;
    }
    return std::abs(static_cast<int64_t>(x) - FMouseX) > kMouseSlack ||
           std::abs(static_cast<int64_t>(y) - FMouseY) > kMouseSlack;
}

void TOstrelForm::WMMouseMove(cl::TMessage& Message) {
    if (MouseMoveEnds(win::GET_X_LPARAM(Message.LParam), win::GET_Y_LPARAM(Message.LParam), true)) Close();
    cl::InheritedDispatch(StaticClass(), this, Message);
}

void TOstrelForm::HookTransitions() {
    for (int i = 0; i < TransitionList1->GetTransitionCount(); ++i) {
        te::TTransitionEffect* effect = TransitionList1->GetTransition(i);
        effect->OnAbortQuery = [this](cl::TObject* s, te::TTransitionEffect* t, bool& abort) {
            TransitionAbortQuery(s, t, abort);
        };
        effect->AbortCheckInterval = kExitPollMs;
    }
}

void TOstrelForm::TransitionAbortQuery(cl::TObject*, te::TTransitionEffect*, bool& Abort) {
    if (ExitInputPending()) Abort = true;
}

bool TOstrelForm::ExitInputPending() {
    if (FClosing || (cl::Application && cl::Application->GetTerminated())) return true;
    if (!HandleAllocated()) return false;
    // Looking at the queue also takes in what the display has received meanwhile.
    const win::HWND window = GetHandle();
    win::MSG msg;
    auto pending = [&](win::HWND hwnd, win::UINT first, win::UINT last) {
        return win::PeekMessageA(&msg, hwnd, first, last, win::PM_NOREMOVE) != 0;
    };
    if (pending(window, win::WM_KEYDOWN, win::WM_KEYDOWN) || pending(window, win::WM_SYSKEYDOWN, win::WM_SYSKEYDOWN))
        return true;
    // A press, release or double click of the left button makes the click that closes.
    if (pending(window, win::WM_LBUTTONDOWN, win::WM_LBUTTONDBLCLK)) return true;
    if (pending(window, win::WM_CLOSE, win::WM_CLOSE) || pending(nullptr, win::WM_QUIT, win::WM_QUIT)) return true;
    // Movements are taken in order: those that do not end the show are handled now as
    // usual (the first one sets the reference position); one that ends it stays queued.
    for (int i = 0; i < kMovesPerPoll && pending(window, win::WM_MOUSEMOVE, win::WM_MOUSEMOVE); ++i) {
        if (msg.hwnd == window && MouseMoveEnds(win::GET_X_LPARAM(msg.lParam), win::GET_Y_LPARAM(msg.lParam), false))
            return true;
        if (!win::PeekMessageA(&msg, window, win::WM_MOUSEMOVE, win::WM_MOUSEMOVE, win::PM_REMOVE)) break;
        win::DispatchMessageA(&msg);
        if (FClosing || (cl::Application && cl::Application->GetTerminated())) return true;
    }
    return false;
}

void TOstrelForm::WMSetCursor(cl::TMessage& Message) {
    // Answered here, so that the hidden cursor is not replaced by the default handling.
    Message.Result = FActivated ? 1 : 0;
}

void TOstrelForm::FormClose(cl::TObject*, cl::TCloseAction&) {
    FClosing = true;
    PlayerNotify(nullptr);
}

void TOstrelForm::FormDestroy(cl::TObject*) {
    // The timers and the audio library stop first: no handler runs on another thread
    // once the model and the program file are gone.
    FClosing = true;
    if (SlideTimer) SlideTimer->SetEnabled(false);
    if (AudioTimer) AudioTimer->Stop();
    if (BassPlayer) {
        try {
            BassPlayer->UnloadBass();
        } catch (...) {
        }
    }
    FShow.reset();
    FProgramFile.reset();
    // The libraries, the track and the folder itself.
    RemoveRunFolder();
}

// ---------------------------------------------------------------------------------------
// Music

void TOstrelForm::CreateRunFolder() {
    // Made by mkdtemp: a new folder of a name nobody could guess, open to this user only,
    // so no other program (another copy of the player included) can replace what is
    // loaded from it. Its name records this process as the owner; the folders of earlier
    // runs that were killed or crashed before they could remove their own go first (never
    // a live run's, nor another user's). A temporary folder that cannot be used means no
    // music.
    const std::string temp = GetTempFolderPath();
    if (temp.empty()) return;
    const std::string base = cl::IncludeTrailingPathDelimiter(temp);
    win::RemoveStaleRunFolders(base);
    FRunFolder = win::MakeRunFolder(base, "");
    if (FRunFolder.empty()) return;
    const std::string folder = FRunFolder;
    // However the program ends, the folder goes with it.
    FRunFolderCleanup = win::AddExitCleanup([folder] { RemoveFolder(folder); });
    // Should this fail, the libraries are still written, but no track can be.
    ::mkdir((FRunFolder + kTrackSubfolder).c_str(), 0700);
}

void TOstrelForm::RemoveRunFolder() {
    if (FRunFolder.empty() || FRunFolderRemoved.exchange(true)) return;
    {
        // A track change in progress on the audio library's thread finishes first.
        std::lock_guard<std::mutex> lock(FMusicLock);
        RemoveFolder(FRunFolder);
    }
    win::RemoveExitCleanup(FRunFolderCleanup);
    FRunFolderCleanup = 0;
}

void TOstrelForm::DropMusic() {
    // Nothing will play: the audio library is unloaded and the run's files removed.
    try {
        BassPlayer->UnloadBass();
    } catch (...) {
    }
    RemoveRunFolder();
}

void TOstrelForm::ExtractBassLibraries() {
    // Without the run's own folder there is no music: the libraries are never written to
    // a shared place, nor loaded from one.
    if (!RunFolderPresent()) return;
    try {
        SaveResource("BASS", FRunFolder + kBassFileName);
        BassPlayer->BassLibrary = FRunFolder + kBassFileName;
        SaveResource("BASSWMA", FRunFolder + kBassWmaFileName);
        BassPlayer->BassWMALibrary = FRunFolder + kBassWmaFileName;
        BassPlayer->LoadBass();
    } catch (...) {
        // The show runs without music.
    }
}

void TOstrelForm::ExtractCurrentTrack() {
    const int32_t index = FMusicIndex;
    if (index < 0 || index >= static_cast<int32_t>(FMusicOrder.size())) return;
    TSoundObject* track = FShow->GetMusic(FMusicOrder[index]);
    if (!track || track->StartPos < 0 || track->EndPos < 0) return;
    const std::string name = TrackFileName(track->FileName);
    if (name.empty()) throw cl::EFCreateError("Cannot create a track file without a name");
    if (FTempFolder.empty() || !RunFolderPresent()) throw cl::EFCreateError("No folder for the music tracks");
    const std::string path = FTempFolder + name;
    {
        cl::TFileStream out(path, cl::fmCreate);
        CopyRange(track->StartPos, track->EndPos, &out);
    }
    BassPlayer->SetFileName(path);
}

void TOstrelForm::PlayerNotify(cl::TObject* Sender) {
    // The audio library's thread gives way when the main thread is already at it (closing
    // or restarting the music); the main thread waits for a track change in progress.
    if (Sender) {
        std::unique_lock<std::mutex> lock(FMusicLock, std::try_to_lock);
        if (!lock.owns_lock()) return;
        PlayerNotifyLocked(Sender);
    } else {
        std::lock_guard<std::mutex> lock(FMusicLock);
        PlayerNotifyLocked(Sender);
    }
}

void TOstrelForm::PlayerNotifyLocked(cl::TObject* Sender) {
    // A failing track moves on to the next; a whole pass over the order without a track
    // that starts ends the music instead of retrying for ever.
    size_t failures = 0;
    for (;;) {
        try {
            const std::string current = BassPlayer->GetFileName();
            if (!current.empty()) {
                BassPlayer->Close();
                cl::DeleteFile(current);
                BassPlayer->SetFileName("");
                if (!Sender) return;
            }
        } catch (...) {
        }
        if (FClosing || !FShow) return;
        int32_t index = FMusicIndex + 1;
        if (index >= static_cast<int32_t>(FMusicOrder.size())) {
            if (!FShow->RepeatMusic || FMusicOrder.empty()) return;
            index = 0;
        }
        FMusicIndex = index;
        try {
            ExtractCurrentTrack();
            BassPlayer->CheckLoaded();
            BassPlayer->Open();
            BassPlayer->Play();
            return;
        } catch (...) {
            if (++failures >= FMusicOrder.size()) return;
        }
    }
}

void TOstrelForm::AudioTimerTimer(cl::TObject*) {
    // Runs on the multimedia timer's thread: nothing may escape it.
    try {
        FaderStep();
    } catch (...) {
    }
}

void TOstrelForm::FaderStep() {
    if (AudioTimer->Tag == 0) {
        BassPlayer->SetVolume(0);
        AudioTimer->Tag = 2;
        FVolume = 0;
        if (FShow->FaderIn <= 0) {
            // No time to fade in: full volume at once.
            FVolume = 100;
            BassPlayer->SetVolume(100);
            return;
        }
        FVolumeStep = 100.0 / (FShow->FaderIn / 50.0);
        AudioTimer->Stop();
        AudioTimer->Start();
        return;
    }
    if (FVolume >= 100) return;
    FVolume += FVolumeStep;
    BassPlayer->SetVolume(static_cast<int>(cl::Round(FVolume)));
    AudioTimer->Start();
}

}  // namespace player
