// The show window: plays the slideshow carried in the program's own file full screen,
// slide after slide with transitions and music, until a key, a click or a mouse movement.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/BassPlayer.h"
#include "audio/auTimers.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "pix32/Pix32_Image.h"
#include "platform/exit_cleanup.h"
#include "player/LoadDlg.h"
#include "player/PlayerConfig.h"
#include "player/zb_SlideShow.h"
#include "transitions/teCore.h"

namespace player {

inline constexpr const char* kCannotOpenShow =
    "Невозможно открыть файл слайд-шоу, возможно он занят другим приложением";
inline constexpr const char* kBassFileName = "Bass.dll";
inline constexpr const char* kBassWmaFileName = "BassWma.dll";

// One transition of the show window's list: its class and the properties the form sets
// (every one but the cut also gets Milliseconds 1000).
struct TShowTransition {
    const char* ClassName;
    std::vector<cl::TFormProp> Props;
};
// The show window's transitions in list order; the order is part of the project
// document's format (the last two are the plain cut and the mask transition).
const std::vector<TShowTransition>& ShowTransitions();

class TOstrelForm : public cl::TForm {
    CL_DECLARE_COMPONENT(TOstrelForm, cl::TForm)
public:
    explicit TOstrelForm(cl::TComponent* AOwner);
    ~TOstrelForm() override;
    const cl::TFormTable* FormTable() const override;

    // The file that carries the slideshow: the program's own file, set by the main block
    // (tests hand over a container they built). Read when the window is created.
    static std::string& ShowFile();

    // Components of the form.
    cl::TPanel* ImagePanel = nullptr;
    pix32::TImgView32* Image = nullptr;
    te::TTransitionList* TransitionList1 = nullptr;
    cl::TTimer* SlideTimer = nullptr;
    audio::TBassPlayer* BassPlayer = nullptr;
    audio::TAudioHiResTimer* AudioTimer = nullptr;

    // Handlers.
    void FormCreate(cl::TObject* Sender);
    void FormActivate(cl::TObject* Sender);
    void FormKeyDown(cl::TObject* Sender, uint16_t& Key, cl::TShiftState Shift);
    void ImageDblClick(cl::TObject* Sender);
    void FormClose(cl::TObject* Sender, cl::TCloseAction& Action);
    void FormDestroy(cl::TObject* Sender);
    void Timer1Timer(cl::TObject* Sender);
    void SlideTimerTimer(cl::TObject* Sender);
    // Every transition of the list asks this while it runs: an input that ends the show
    // (or a close or quit waiting in the queue) aborts it, and the input is handled as
    // usual once the transition has returned.
    void TransitionAbortQuery(cl::TObject* Sender, te::TTransitionEffect* Transition, bool& Abort);
    void PlayerNotify(cl::TObject* Sender);
    void AudioTimerTimer(cl::TObject* Sender);

    // Own operations.
    void SetupWindow();
    void BuildPlayOrders();
    void ShowCurrentSlide();
    bool PrepareCurrentSlide();
    void CalcEffectRect();
    void ResetPlayback();
    void ClearScreen();
    void ExtractBassLibraries();
    void ExtractCurrentTrack();
    // The mask picture of the slide at SlideIndex into the mask transition's own bitmap
    // (filled in place; a mask that cannot be had leaves the one it had).
    void LoadCurrentMask();

    // State, readable for tests.
    TSlideShow* Show() const { return FShow.get(); }
    bool Activated() const { return FActivated; }
    int32_t SlideIndex() const { return FSlideIndex; }
    int32_t EffectIndex() const { return FEffectIndex; }
    const std::vector<int32_t>& SlideOrder() const { return FSlideOrder; }
    const std::vector<int32_t>& MusicOrder() const { return FMusicOrder; }
    bool FullArea() const { return FFullArea; }
    win::RECT EffectRect() const { return FEffectRect; }
    int64_t ShowClock() const { return FShowClock; }
    int64_t SlideStart() const { return FSlideStart; }
    int32_t SlideDuration() const { return FSlideDuration; }
    int32_t CutExtra() const { return FCutExtra; }
    const std::string& TempFolder() const { return FTempFolder; }
    int32_t MusicIndex() const { return FMusicIndex.load(); }
    double Volume() const { return FVolume; }

    // Mouse messages (the form's own handlers).
    void WMMouseMove(cl::TMessage& Message);
    void WMSetCursor(cl::TMessage& Message);

    // The run's private folder (mode 0700, inside the temporary folder, with a trailing
    // slash): the audio libraries and the music tracks are written there and loaded from
    // there only. Empty when it could not be made (the show then plays without music).
    // The name stays readable after the folder has been removed.
    const std::string& RunFolder() const { return FRunFolder; }
    bool RunFolderPresent() const { return !FRunFolder.empty() && !FRunFolderRemoved.load(); }

private:
    void CopyRange(int64_t start, int64_t end, cl::TStream* dest);
    void FaderStep();
    void CreateRunFolder();
    void RemoveRunFolder();
    void DropMusic();
    void HookTransitions();
    bool ExitInputPending();
    // Whether a mouse movement to (x, y) of the window ends the show; the first
    // movement seen only sets the reference position (with `record`).
    bool MouseMoveEnds(int x, int y, bool record);
    void PlayerNotifyLocked(cl::TObject* Sender);
    win::RECT ImageClientRect() const;

    std::unique_ptr<TSlideShow> FShow;
    std::unique_ptr<cl::TFileStream> FProgramFile;
    TLoadForm* FLoadForm = nullptr;
    bool FActivated = false;
    int32_t FMouseX = 0;
    int32_t FMouseY = 0;
    std::string FTempFolder;
    std::string FRunFolder;
    std::atomic<bool> FRunFolderRemoved{false};
    win::ExitCleanupId FRunFolderCleanup = 0;
    std::atomic<bool> FClosing{false};
    int32_t FSlideIndex = 0;
    int32_t FEffectIndex = 0;
    std::vector<int32_t> FSlideOrder;
    bool FFullArea = false;
    win::RECT FEffectRect{};
    int64_t FShowClock = 0;
    int64_t FSlideStart = 0;
    int32_t FSlideDuration = 0;
    int32_t FCutExtra = 0;
    // Music: the end-of-track handler runs on the audio library's thread and the fader on
    // the multimedia timer's; the music state is kept under FMusicLock.
    std::mutex FMusicLock;
    std::vector<int32_t> FMusicOrder;
    std::atomic<int32_t> FMusicIndex{-1};
    double FVolume = 0;
    double FVolumeStep = 0;
};

}  // namespace player
