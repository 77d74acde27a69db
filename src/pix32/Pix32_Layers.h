// Layers painted over a picture control's bitmap: TLayerCollection holds them in order, routes
// mouse input to the topmost layer that accepts it (capturing it while a button is held) and
// reports changes to the control and to the repaint optimiser; TCustomLayer is the base of
// every layer.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"
#include "pix32/Pix32.h"

namespace pix32 {

class TBitmap32;
class TCustomLayer;
class TLayerCollection;

// Layer option bits; the bits not listed are free for layer classes.
constexpr uint32_t loVisible = 0x80000000u;
constexpr uint32_t loGdiOverlay = 0x40000000u;
constexpr uint32_t loMouseEvents = 0x20000000u;
constexpr uint32_t loNoUpdate = 0x10000000u;
constexpr uint32_t loNoCapture = 0x08000000u;
constexpr uint32_t loInvalid = 0x04000000u;
constexpr uint32_t loForceUpdate = 0x02000000u;

// Layer states: the mouse buttons held on the layer.
constexpr uint32_t lsMouseLeft = 0x1;
constexpr uint32_t lsMouseRight = 0x2;
constexpr uint32_t lsMouseMiddle = 0x4;
constexpr uint32_t LayerStateOf(cl::TMouseButton Button) { return 1u << static_cast<uint32_t>(Button); }

enum TLayerListAction : uint8_t { laAdded = 0, laInserted = 1, laDeleted = 2, laCleared = 3 };

// How a collection creates a layer of a class (the class's virtual constructor).
using TLayerClass = TCustomLayer* (*)(TLayerCollection* Collection);
template <class L>
TLayerClass LayerClassOf() {
    return [](TLayerCollection* Collection) -> TCustomLayer* { return new L(Collection); };
}

using TLayerListNotifyEvent =
    std::function<void(TLayerCollection* Sender, TLayerListAction Action, TCustomLayer* Layer, int32_t Index)>;
using TLayerUpdateEvent = std::function<void(cl::TObject* Sender, TCustomLayer* Layer)>;
using TAreaUpdateEvent = std::function<void(cl::TObject* Sender, const TRect& Area, uint32_t Info)>;
using TGetScaleEvent = std::function<void(cl::TObject* Sender, float& ScaleX, float& ScaleY)>;
using TGetShiftEvent = std::function<void(cl::TObject* Sender, float& ShiftX, float& ShiftY)>;
using THitTestEvent = std::function<void(cl::TObject* Sender, int32_t X, int32_t Y, bool& Passed)>;
using TPaintLayerEvent = std::function<void(cl::TObject* Sender, TBitmap32* Buffer)>;

class TLayerCollection : public cl::TPersistent {
    CL_DECLARE_CLASS(TLayerCollection, cl::TPersistent)
public:
    explicit TLayerCollection(cl::TPersistent* AOwner);
    ~TLayerCollection() override;

    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    // A bad index raises EListError.
    TCustomLayer* Items(int32_t Index) const;
    cl::TPersistent* GetOwner() const { return FOwner; }

    // Creates a layer of the class for this collection and reports it added.
    TCustomLayer* Add(TLayerClass LayerClass);
    template <class L>
    L* Add() {
        return static_cast<L*>(Add(LayerClassOf<L>()));
    }
    void Clear();
    void Assign(cl::TPersistent* Source) override;

    void BeginUpdate();
    // An unpaired call raises EAssertionFailed "Unpaired EndUpdate" after lowering the count.
    void EndUpdate();
    void Changing();
    void Changed();
    void GDIUpdate();
    int32_t UpdateCount() const { return FUpdateCount; }

    // The topmost layer whose options share a bit with OptionsMask and whose hit test passes.
    TCustomLayer* LayerAt(int32_t X, int32_t Y, uint32_t OptionsMask = 0xFFFFFFFFu);
    TCustomLayer* MouseListener() const { return FMouseListener; }
    void SetMouseListener(TCustomLayer* Value);
    bool MouseEvents() const { return FMouseEvents; }
    void SetMouseEvents(bool Value) { FMouseEvents = Value; }

    // Mouse routing in control pixels; each returns the layer it went to (or nil).
    TCustomLayer* MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y);
    TCustomLayer* MouseMove(cl::TShiftState Shift, int32_t X, int32_t Y);
    TCustomLayer* MouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y);

    virtual void GetViewportScale(float& ScaleX, float& ScaleY);
    virtual void GetViewportShift(float& ShiftX, float& ShiftY);

    // Fires OnLayerUpdated, then Changed.
    void DoUpdateLayer(TCustomLayer* Layer);
    // Fires OnAreaUpdated.
    void DoUpdateArea(const TRect& Area, uint32_t Info);

    // Used by the layers.
    void InsertItem(TCustomLayer* Layer);
    void RemoveItem(TCustomLayer* Layer);
    int32_t IndexOf(const TCustomLayer* Layer) const;
    void Move(int32_t CurIndex, int32_t NewIndex);

    cl::TNotifyEvent OnChanging;
    cl::TNotifyEvent OnChange;
    cl::TNotifyEvent OnGDIUpdate;
    TLayerListNotifyEvent OnListNotify;
    TLayerUpdateEvent OnLayerUpdated;
    TAreaUpdateEvent OnAreaUpdated;
    TGetScaleEvent OnGetViewportScale;
    TGetShiftEvent OnGetViewportShift;

protected:
    void Notify(TLayerListAction Action, TCustomLayer* Layer, int32_t Index);

private:
    friend class TCustomLayer;
    std::vector<TCustomLayer*> FItems;
    bool FMouseEvents = true;
    TCustomLayer* FMouseListener = nullptr;
    int32_t FUpdateCount = 0;
    cl::TPersistent* FOwner = nullptr;
};

class TCustomLayer : public TNotifiablePersistent {
    CL_DECLARE_CLASS(TCustomLayer, TNotifiablePersistent)
public:
    // Joins the collection (when given) and becomes visible.
    explicit TCustomLayer(TLayerCollection* ALayerCollection);
    // Fires OnDestroy, tells the layers that asked to be told, and leaves the collection.
    ~TCustomLayer() override;

    void Assign(cl::TPersistent* Source) override;
    void Changed() override;
    void Changing();
    void Update();

    int32_t Index() const;
    virtual void SetIndex(int32_t Value);
    TLayerCollection* LayerCollection() const { return FLayerCollection; }
    virtual void SetLayerCollection(TLayerCollection* Value);
    uint32_t LayerOptions() const { return FLayerOptions; }
    virtual void SetLayerOptions(uint32_t Value);
    uint32_t LayerStates() const { return FLayerStates; }
    cl::TCursor Cursor() const { return FCursor; }
    virtual void SetCursor(cl::TCursor Value);
    bool Visible() const { return (FLayerOptions & loVisible) != 0; }
    void SetVisible(bool Value) { SetLayerOptions(Value ? FLayerOptions | loVisible : FLayerOptions & ~loVisible); }
    bool MouseEvents() const { return (FLayerOptions & loMouseEvents) != 0; }
    void SetMouseEvents(bool Value) {
        SetLayerOptions(Value ? FLayerOptions | loMouseEvents : FLayerOptions & ~loMouseEvents);
    }
    // The optimiser's queue mark; setting it reports nothing.
    bool Invalid() const { return (FLayerOptions & loInvalid) != 0; }
    void SetInvalid(bool Value) { FLayerOptions = Value ? FLayerOptions | loInvalid : FLayerOptions & ~loInvalid; }

    // DoHitTest, then OnHitTest may change the answer.
    bool HitTest(int32_t X, int32_t Y);
    // Paint, then OnPaint.
    void DoPaint(TBitmap32* Buffer);
    virtual void PaintGDI(cl::TCanvas* Canvas);

    // Layers to tell (Notification) when this one is destroyed.
    void AddNotification(TCustomLayer* Layer);
    void RemoveNotification(TCustomLayer* Layer);

    // Mouse input routed by the collection.
    virtual void MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseMove(cl::TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y);

    THitTestEvent OnHitTest;
    cl::TMouseEvent OnMouseDown;
    cl::TMouseMoveEvent OnMouseMove;
    cl::TMouseEvent OnMouseUp;
    TPaintLayerEvent OnPaint;
    cl::TNotifyEvent OnDestroy;

protected:
    virtual bool DoHitTest(int32_t X, int32_t Y);
    virtual void Notification(TCustomLayer* Layer);
    virtual void Paint(TBitmap32* Buffer);

private:
    friend class TLayerCollection;
    cl::TCursor FCursor = cl::crDefault;
    std::vector<TCustomLayer*>* FFreeNotifies = nullptr;
    TLayerCollection* FLayerCollection = nullptr;
    uint32_t FLayerStates = 0;
    uint32_t FLayerOptions = 0;
    TLayerClass FLayerClass = nullptr;  // the class the collection created it as
};

}  // namespace pix32
