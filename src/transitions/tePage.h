// The page effect: a fold line travels across the picture; the part of the page behind the
// fold is turned over and laid face down, mirrored, ahead of the fold, and the next picture
// shows where the page has gone. With 3D the fold is a shaded cylinder. In uncover mode the
// old picture is the page and is turned away; otherwise the new picture is laid down by the
// same geometry run backwards.
#pragma once

#include <memory>
#include <vector>

#include "transitions/teTimed.h"

namespace te {

class TTERects;

// A rectangle kept in a direction-free frame in which the page travels towards growing Top
// and Bottom and Left and Right run across it; its real rectangle follows from the owner's
// mapping direction and the run's size.
class TTERect {
public:
    TTERect(const TTERects* AOwner, int AW, int AH, int ALeft, int ATop, int ARight, int ABottom)
        : Owner(AOwner), W(AW), H(AH), Left(ALeft), Top(ATop), Right(ARight), Bottom(ABottom) {}
    // The real rectangle, normalised.
    win::RECT Real() const;

    const TTERects* Owner;
    int W, H;
    int Left, Top, Right, Bottom;
};

class TTERects {
public:
    explicit TTERects(TTEEffectDirection ADirection) : Direction(ADirection) {}
    TTERect* Add(int W, int H, int Left, int Top, int Right, int Bottom);
    void Clear() { Rects.clear(); }

    TTEEffectDirection Direction;
    std::vector<std::unique_ptr<TTERect>> Rects;
};

// The curl of radius R: per curl line the extra page lines it covers and its shade, the
// number of curl lines and of page lines they consume.
struct TPageCurl {
    std::vector<uint8_t> Compress;
    std::vector<uint8_t> Shade;
    int Lines = 0;
    int SourceLines = 0;
};
TPageCurl BuildPageCurl(int R);

class TPageData : public TTECustomData {
    CL_DECLARE_CLASS(TPageData, TTECustomData)
public:
    explicit TPageData(TTETransitionData* AData) : TTECustomData(AData) {}
    ~TPageData() override;

    TTEEffectDirection MapDirection = tedDown;
    int L = 0, A = 0, R = 0;
    TPageCurl Curl;
    std::vector<uint8_t> RevCompress, RevShade;
    std::vector<uint16_t> Cum, RevCum;
    std::unique_ptr<cl::TBitmap> Mirror;     // the page, 32 bits, flipped along the direction
    std::unique_ptr<cl::TBitmap> FrontBand;  // 32-bit buffers of the curl bands
    std::unique_ptr<cl::TBitmap> BackBand;
    cl::TBitmap* Page = nullptr;
    bool CanScroll = false;
    std::unique_ptr<TTERects> Rects;
    // State of the previous frame (direction-free positions).
    bool HadFlat = false;
    int PrevFlatStart = 0, PrevFlatEnd = 0;
    int PrevStrip = 0;
};

class TPageTransition : public TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TPageTransition, TTimedTransitionEffect)
public:
    explicit TPageTransition(cl::TComponent* AOwner);

    uint8_t GetSize() const { return Size; }
    void SetSize(uint8_t Value) { Size = Value; }
    bool GetUncover() const { return Uncover; }
    void SetUncover(bool Value) { Uncover = Value; }
    bool GetUse3D() const { return Use3D; }
    void SetUse3D(bool Value) { Use3D = Value; }

    bool IsUncovering() const { return Uncover != Reversed; }
    bool Use3DActive(TTETransitionDevice* ADevice) const;

    void Assign(cl::TPersistent* Source) override;
    uint8_t GetPixelFormat(TTETransitionDevice* ADevice) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    void LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) override;
    void SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) override;
    cl::String Description() const override { return "Page"; }
    cl::String EditorClassName() const override { return "TPageTransitionEditor"; }

    uint8_t Size = 150;
    bool Uncover = true;
    bool Use3D = true;
};

void StartUptePage();

}  // namespace te
