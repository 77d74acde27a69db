// The roll effect: a sheet of paper being rolled. By default (Unroll) the new picture unrolls
// over the old one from one side; otherwise the old picture rolls up and away. The roll is a
// band of Size pixels showing the picture folded back on itself, shaded like a cylinder
// when Use3D is on and the processor has MMX.
#pragma once

#include <memory>
#include <vector>

#include "transitions/teTimed.h"

namespace te {

// The shade of each line of a roll s pixels wide (signed, added to each colour byte).
std::vector<int8_t> RollShadeTable(int s);

class TRollData : public TTECustomData {
    CL_DECLARE_CLASS(TRollData, TTECustomData)
public:
    explicit TRollData(TTETransitionData* AData) : TTECustomData(AData) {}
    ~TRollData() override;

    std::vector<int8_t> Shades;
    int ShadeLength = 0;
    std::unique_ptr<cl::TBitmap> Mirror;
    std::unique_ptr<cl::TBitmap> Band;
    win::RECT Flat{};
    win::RECT BandRect{};
};

class TRollTransition : public TTimedTransitionEffect {
    CL_DECLARE_COMPONENT(TRollTransition, TTimedTransitionEffect)
public:
    explicit TRollTransition(cl::TComponent* AOwner);

    int32_t GetSize() const { return Size; }
    void SetSize(int32_t Value) { Size = Value; }
    bool GetUse3D() const { return Use3D; }
    void SetUse3D(bool Value) { Use3D = Value; }
    bool GetUnroll() const { return Unroll; }
    void SetUnroll(bool Value) { Unroll = Value; }

    bool Use3DActive(TTETransitionDevice* ADevice);
    bool IsUnrolling() const { return Unroll != Reversed; }

    void Assign(cl::TPersistent* Source) override;
    void Initialize(TTETransitionData* Data, int32_t& Frames) override;
    void ExecuteFrame(TTETransitionData* Data, int32_t CurrentFrame, int32_t Step, int32_t LastExecutedFrame) override;
    uint16_t GetInfo(TTETransitionDevice* ADevice) override;
    void LoadFromStrings(cl::TStringList* Strings, const cl::String& Prefix) override;
    void SaveToStrings(cl::TStringList* Strings, bool OmitDefaults, const cl::String& Prefix) override;
    cl::String Description() const override { return "Roll"; }
    cl::String EditorClassName() const override { return "TRollTransitionEditor"; }

    int32_t Size = 60;
    bool Use3D = true;
    bool Unroll = true;

private:
    void DrawShadedBand(TTETransitionData* Data, TRollData* RD, win::HDC DC, int OffsetX, int OffsetY, int V);
};

void StartUpteRoll();

}  // namespace te
