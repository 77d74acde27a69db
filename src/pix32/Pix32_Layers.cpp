#include "pix32/Pix32_Layers.h"

#include <algorithm>

#include "classlib/Forms.h"
#include "classlib/SysUtils.h"

namespace pix32 {

namespace {

void SetScreenCursor(cl::TCursor Cursor) {
    if (cl::Screen) cl::Screen->SetCursor(Cursor);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TLayerCollection

TLayerCollection::TLayerCollection(cl::TPersistent* AOwner) : FOwner(AOwner) {}

TLayerCollection::~TLayerCollection() {
    FUpdateCount = 1;
    try {
        Clear();
    } catch (...) {
        // A handler failing while the layers go must not leave the destructor.
    }
}

TCustomLayer* TLayerCollection::Items(int32_t Index) const {
    if (Index < 0 || Index >= Count()) throw cl::EListError(cl::Format("List index out of bounds (%d)", Index));
    return FItems[static_cast<size_t>(Index)];
}

int32_t TLayerCollection::IndexOf(const TCustomLayer* Layer) const {
    auto it = std::find(FItems.begin(), FItems.end(), Layer);
    return it == FItems.end() ? -1 : static_cast<int32_t>(it - FItems.begin());
}

void TLayerCollection::Move(int32_t CurIndex, int32_t NewIndex) {
    TCustomLayer* l = FItems[static_cast<size_t>(CurIndex)];
    FItems.erase(FItems.begin() + CurIndex);
    FItems.insert(FItems.begin() + NewIndex, l);
}

void TLayerCollection::Notify(TLayerListAction Action, TCustomLayer* Layer, int32_t Index) {
    if (OnListNotify) OnListNotify(this, Action, Layer, Index);
}

TCustomLayer* TLayerCollection::Add(TLayerClass LayerClass) {
    TCustomLayer* l = LayerClass(this);
    l->FLayerClass = LayerClass;
    l->SetIndex(Count() - 1);
    Notify(laAdded, l, l->Index());
    return l;
}

void TLayerCollection::InsertItem(TCustomLayer* Layer) {
    BeginUpdate();
    try {
        FItems.push_back(Layer);
        Layer->FLayerCollection = this;
        Notify(laAdded, Layer, Count() - 1);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TLayerCollection::RemoveItem(TCustomLayer* Layer) {
    BeginUpdate();
    try {
        const int32_t index = IndexOf(Layer);
        if (index >= 0) {
            FItems.erase(FItems.begin() + index);
            Layer->FLayerCollection = nullptr;
            Notify(laDeleted, Layer, index);
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TLayerCollection::Clear() {
    BeginUpdate();
    try {
        while (!FItems.empty()) delete FItems.back();
        Notify(laCleared, nullptr, 0);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TLayerCollection::Assign(cl::TPersistent* Source) {
    if (Source && Source->Is<TLayerCollection>()) {
        auto* src = static_cast<TLayerCollection*>(Source);
        if (src == this) return;
        BeginUpdate();
        try {
            while (!FItems.empty()) delete FItems.back();
            for (TCustomLayer* s : src->FItems) {
                TCustomLayer* l = Add(s->FLayerClass ? s->FLayerClass : LayerClassOf<TCustomLayer>());
                l->Assign(s);
            }
        } catch (...) {
            EndUpdate();
            throw;
        }
        EndUpdate();
        return;
    }
    cl::TPersistent::Assign(Source);
}

void TLayerCollection::BeginUpdate() {
    if (FUpdateCount == 0) Changing();
    ++FUpdateCount;
}

void TLayerCollection::EndUpdate() {
    --FUpdateCount;
    if (FUpdateCount == 0) Changed();
    cl::Assert(FUpdateCount >= 0, "Unpaired EndUpdate");
}

void TLayerCollection::Changing() {
    if (OnChanging) OnChanging(this);
}

void TLayerCollection::Changed() {
    if (OnChange) OnChange(this);
}

void TLayerCollection::GDIUpdate() {
    if (FUpdateCount == 0 && OnGDIUpdate) OnGDIUpdate(this);
}

TCustomLayer* TLayerCollection::LayerAt(int32_t X, int32_t Y, uint32_t OptionsMask) {
    for (int32_t i = Count() - 1; i >= 0; --i) {
        TCustomLayer* l = FItems[static_cast<size_t>(i)];
        if ((l->LayerOptions() & OptionsMask) && l->HitTest(X, Y)) return l;
    }
    return nullptr;
}

void TLayerCollection::SetMouseListener(TCustomLayer* Value) {
    if (Value == FMouseListener) return;
    if (FMouseListener) FMouseListener->FLayerStates &= ~(lsMouseLeft | lsMouseRight | lsMouseMiddle);
    FMouseListener = Value;
}

TCustomLayer* TLayerCollection::MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y) {
    TCustomLayer* l = FMouseListener ? FMouseListener : LayerAt(X, Y, loMouseEvents);
    if (l != FMouseListener && (!l || !(l->LayerOptions() & loNoCapture))) SetMouseListener(l);
    if (FMouseListener) {
        FMouseListener->FLayerStates |= LayerStateOf(Button);
        FMouseListener->MouseDown(Button, Shift, X, Y);
    }
    return l;
}

TCustomLayer* TLayerCollection::MouseMove(cl::TShiftState Shift, int32_t X, int32_t Y) {
    TCustomLayer* l = FMouseListener ? FMouseListener : LayerAt(X, Y, loMouseEvents);
    if (l)
        l->MouseMove(Shift, X, Y);
    else if (FOwner && FOwner->Is<cl::TControl>())
        SetScreenCursor(static_cast<cl::TControl*>(FOwner)->GetCursor());
    return l;
}

TCustomLayer* TLayerCollection::MouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y) {
    TCustomLayer* l = FMouseListener ? FMouseListener : LayerAt(X, Y, loMouseEvents);
    if (l) {
        l->FLayerStates &= ~LayerStateOf(Button);
        l->MouseUp(Button, Shift, X, Y);
    }
    if (FMouseListener && (FMouseListener->FLayerStates & (lsMouseLeft | lsMouseRight | lsMouseMiddle)) == 0)
        SetMouseListener(nullptr);
    return l;
}

void TLayerCollection::GetViewportScale(float& ScaleX, float& ScaleY) {
    if (OnGetViewportScale) {
        OnGetViewportScale(this, ScaleX, ScaleY);
        return;
    }
    ScaleX = 1;
    ScaleY = 1;
}

void TLayerCollection::GetViewportShift(float& ShiftX, float& ShiftY) {
    if (OnGetViewportShift) {
        OnGetViewportShift(this, ShiftX, ShiftY);
        return;
    }
    ShiftX = 0;
    ShiftY = 0;
}

void TLayerCollection::DoUpdateLayer(TCustomLayer* Layer) {
    if (OnLayerUpdated) OnLayerUpdated(this, Layer);
    Changed();
}

void TLayerCollection::DoUpdateArea(const TRect& Area, uint32_t Info) {
    if (OnAreaUpdated) OnAreaUpdated(this, Area, Info);
}

// ---------------------------------------------------------------------------------------------
// TCustomLayer

TCustomLayer::TCustomLayer(TLayerCollection* ALayerCollection) {
    SetLayerCollection(ALayerCollection);
    FLayerOptions = loVisible;
}

TCustomLayer::~TCustomLayer() {
    try {
        if (OnDestroy) OnDestroy(this);
        while (FFreeNotifies && !FFreeNotifies->empty()) {
            TCustomLayer* l = FFreeNotifies->back();
            FFreeNotifies->pop_back();
            l->Notification(this);
        }
        delete FFreeNotifies;
        FFreeNotifies = nullptr;
        SetLayerCollection(nullptr);
    } catch (...) {
        // No failure of a handler may leave a destructor.
        if (FLayerCollection) {
            if (FLayerCollection->MouseListener() == this) FLayerCollection->SetMouseListener(nullptr);
            const int32_t i = FLayerCollection->IndexOf(this);
            if (i >= 0) FLayerCollection->FItems.erase(FLayerCollection->FItems.begin() + i);
        }
        delete FFreeNotifies;
        FFreeNotifies = nullptr;
    }
}

void TCustomLayer::Assign(cl::TPersistent* Source) {
    if (Source && Source->Is<TCustomLayer>()) {
        auto* s = static_cast<TCustomLayer*>(Source);
        FCursor = s->FCursor;
        SetLayerOptions(s->FLayerOptions & ~loInvalid);
        return;
    }
    TNotifiablePersistent::Assign(Source);
}

void TCustomLayer::AddNotification(TCustomLayer* Layer) {
    if (!FFreeNotifies) FFreeNotifies = new std::vector<TCustomLayer*>();
    if (std::find(FFreeNotifies->begin(), FFreeNotifies->end(), Layer) == FFreeNotifies->end())
        FFreeNotifies->push_back(Layer);
}

void TCustomLayer::RemoveNotification(TCustomLayer* Layer) {
    if (!FFreeNotifies) return;
    auto it = std::find(FFreeNotifies->begin(), FFreeNotifies->end(), Layer);
    if (it != FFreeNotifies->end()) FFreeNotifies->erase(it);
    if (FFreeNotifies->empty()) {
        delete FFreeNotifies;
        FFreeNotifies = nullptr;
    }
}

int32_t TCustomLayer::Index() const { return FLayerCollection ? FLayerCollection->IndexOf(this) : -1; }

void TCustomLayer::SetIndex(int32_t Value) {
    const int32_t cur = Index();
    if (cur < 0 || cur == Value) return;
    Value = std::clamp(Value, 0, FLayerCollection->Count() - 1);
    if (Value == cur) return;
    if (Visible()) {
        FLayerCollection->BeginUpdate();
        try {
            FLayerCollection->Move(cur, Value);
        } catch (...) {
            FLayerCollection->EndUpdate();
            throw;
        }
        FLayerCollection->EndUpdate();
    } else {
        FLayerCollection->Move(cur, Value);
    }
}

void TCustomLayer::SetLayerCollection(TLayerCollection* Value) {
    if (Value == FLayerCollection) return;
    if (FLayerCollection) {
        if (FLayerCollection->MouseListener() == this) FLayerCollection->SetMouseListener(nullptr);
        FLayerCollection->RemoveItem(this);
    }
    if (Value) Value->InsertItem(this);
}

void TCustomLayer::SetLayerOptions(uint32_t Value) {
    Changing();
    FLayerOptions = Value;
    Changed();
}

void TCustomLayer::SetCursor(cl::TCursor Value) {
    if (Value == FCursor) return;
    FCursor = Value;
    if (FLayerCollection && FLayerCollection->MouseListener() == this) SetScreenCursor(Value);
}

void TCustomLayer::Changing() {
    if (FUpdateCount <= 0 && Visible() && FLayerCollection && !(FLayerOptions & loNoUpdate))
        FLayerCollection->Changing();
}

void TCustomLayer::Changed() {
    if (FUpdateCount > 0 || !FLayerCollection || (FLayerOptions & loNoUpdate)) return;
    Update();
    if (Visible())
        FLayerCollection->Changed();
    else if (FLayerOptions & loGdiOverlay)
        FLayerCollection->GDIUpdate();
    TNotifiablePersistent::Changed();
}

void TCustomLayer::Update() {
    if (FLayerCollection && (Visible() || (FLayerOptions & loForceUpdate))) FLayerCollection->DoUpdateLayer(this);
}

bool TCustomLayer::HitTest(int32_t X, int32_t Y) {
    bool passed = DoHitTest(X, Y);
    if (OnHitTest) OnHitTest(this, X, Y, passed);
    return passed;
}

bool TCustomLayer::DoHitTest(int32_t, int32_t) { return true; }

void TCustomLayer::DoPaint(TBitmap32* Buffer) {
    Paint(Buffer);
    if (OnPaint) OnPaint(this, Buffer);
}

void TCustomLayer::Paint(TBitmap32*) {}
void TCustomLayer::PaintGDI(cl::TCanvas*) {}
void TCustomLayer::Notification(TCustomLayer*) {}

void TCustomLayer::MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y) {
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TCustomLayer::MouseMove(cl::TShiftState Shift, int32_t X, int32_t Y) {
    SetScreenCursor(FCursor);
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TCustomLayer::MouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y) {
    SetScreenCursor(cl::crDefault);
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

}  // namespace pix32
