// The vector view: construction, the object store, the drawing order, the selection, the
// shared picture table, the default object, the published settings and the events.
#include "imaging/view/vovozidvect.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_draw.h"
#include "imaging/processing/vovozidproc_utils.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// User data of an object

TIEVUserData& TIEVUserData::operator=(const TIEVUserData& Other) {
    if (this == &Other) return *this;
    FOwned = Other.FOwned;
    FData = FOwned.empty() ? Other.FData : FOwned.data();
    return *this;
}

void TIEVUserData::Set(void* Data) {
    FOwned.clear();
    FData = Data;
}

void TIEVUserData::SetLength(int32_t Length) {
    if (Length <= 0) {
        // The block stops being owned: nothing is left to point at.
        if (!FOwned.empty()) FData = nullptr;
        FOwned.clear();
        return;
    }
    if (FData == FOwned.data() && !FOwned.empty()) {
        FOwned.resize(static_cast<size_t>(Length), 0);
    } else {
        std::vector<uint8_t> block(static_cast<size_t>(Length), 0);
        if (FData) std::memcpy(block.data(), FData, block.size());
        FOwned = std::move(block);
    }
    FData = FOwned.data();
}

void TIEVUserData::AssignBytes(const void* Data, int32_t Length) {
    Clear();
    if (Length <= 0) return;
    FOwned.assign(static_cast<const uint8_t*>(Data), static_cast<const uint8_t*>(Data) + Length);
    FData = FOwned.data();
}

void TIEVUserData::Clear() {
    FOwned.clear();
    FData = nullptr;
}

uint8_t IEVFontQualityToLogFont(uint8_t Quality) {
    static constexpr uint8_t Map[7] = {4, 5, 6, 0, 1, 3, 2};
    return Quality < 7 ? Map[Quality] : 0;
}

// ---------------------------------------------------------------------------------------
// Construction

TVovozIdVect::TVovozIdVect(cl::TComponent* AOwner) : TVovozIdView(AOwner) {
    FGripPen = std::make_unique<cl::TPen>();
    FGripPen->SetColor(cl::clBlack);
    FGripPen->SetStyle(cl::psSolid);
    FGripPen->SetMode(cl::pmCopy);
    FGripPen->SetWidth(1);
    FGripBrush = std::make_unique<cl::TBrush>();
    FGripBrush->SetColor(0xBAFFFF);
    FGripBrush->SetStyle(cl::bsSolid);
    FHintFont = std::make_unique<cl::TFont>();
    FHintFont->SetColor(cl::clBlack);
    FHintFont->SetStyle(cl::FontStyleBit(cl::fsBold));
    FHintBrush = std::make_unique<cl::TBrush>();
    FHintBrush->SetColor(0x60FFFF);
    FHintBrush->SetStyle(cl::bsSolid);
    FInsertionPen = std::make_unique<cl::TPen>();
    FInsertionPen->SetColor(cl::clBlack);
    FInsertionPen->SetMode(cl::pmNot);
    FInsertionPen->SetWidth(1);
    FInsertionPen->SetStyle(cl::psSolid);
    FObjGripImage = std::make_unique<cl::TPicture>();

    // The default object: the template of every object the mouse creates.
    FDefaultObject.RulerUnit = FMUnit;
    if (cl::TCanvas* canvas = GetCanvas()) {
        cl::TFont* font = canvas->GetFont();
        FDefaultObject.PenColor = font->GetColor();
        win::LOGFONTA lf = font->GetLogFont();
        std::memset(lf.lfFaceName, 0, sizeof(lf.lfFaceName));
        std::memcpy(lf.lfFaceName, "Arial", 5);
        FDefaultObject.Font = lf;
    }
    UpdateUnitsPerPixel();
    SetObjBitmapFromIcon(IEV_DEFAULT_OBJECT, "IDI_HAND", 64, 64);
    InitTextEditing();
}

TVovozIdVect::~TVovozIdVect() {
    DoneTextEditing();
    // Objects release their pictures before the table goes.
    for (auto& obj : FObjects) FreeObjectData(*obj);
    FreeObjectData(FDefaultObject);
}

void TVovozIdVect::Assign(cl::TPersistent* Source) {
    TVovozIdView::Assign(Source);
    if (!Source) {
        CancelInteraction();
        RemoveAllObjects();
        return;
    }
    auto* vect = dynamic_cast<TVovozIdVect*>(Source);
    if (!vect || vect == this) return;
    CancelInteraction();
    RemoveAllObjects();
    for (int32_t h : vect->FDrawOrder) vect->CopyObjectTo(h, this);
    SetMeasureScale(vect->FMeasureScale);
    DoVectorialChanged();
    Update();
}

void TVovozIdVect::Update() {
    TVovozIdView::Update();
    UpdateTextEditors();
}

void TVovozIdVect::SetDpiX(int32_t Value) {
    TVovozIdView::SetDpiX(Value);
    UpdateUnitsPerPixel();
    if (FHintActive) UpdateMeasureHint(-1000000, -1000000);
    Update();
}

void TVovozIdVect::SetDpiY(int32_t Value) {
    TVovozIdView::SetDpiY(Value);
    UpdateUnitsPerPixel();
    if (FHintActive) UpdateMeasureHint(-1000000, -1000000);
    Update();
}

void TVovozIdVect::SetMouseInteract(TIEMouseInteract Value) {
    TVovozIdView::SetMouseInteract(Value);
    if (Value != 0) MouseInteractVect &= ~IEVCreationModes;
    CancelInteraction();
}

void TVovozIdVect::CancelInteraction() {
    FHoverExtObject = -1;
    FCreatingKind = 0;
    FDraggedGrip = 0;
    CancelTextEdit();
}

// ---------------------------------------------------------------------------------------
// The object store

int32_t TVovozIdVect::ResolveHandle(int32_t hobj) const {
    return hobj == IEV_LAST_OBJECT ? static_cast<int32_t>(FObjects.size()) - 1 : hobj;
}

TIEVObjRecord* TVovozIdVect::GetObjRecord(int32_t hobj) {
    if (hobj == IEV_DEFAULT_OBJECT) return &FDefaultObject;
    hobj = ResolveHandle(hobj);
    if (hobj < 0 || hobj >= static_cast<int32_t>(FObjects.size())) return nullptr;
    return FObjects[static_cast<size_t>(hobj)].get();
}

int32_t TVovozIdVect::AddObjectCopy(const TIEVObjRecord& Template) {
    // The template may be one of this view's records: read its picture before the table moves.
    const int32_t templateBitmap = Template.BitmapIndex;
    auto rec = std::make_unique<TIEVObjRecord>(Template);
    TIEVObjRecord& obj = *rec;
    FObjects.push_back(std::move(rec));
    const int32_t h = static_cast<int32_t>(FObjects.size()) - 1;
    FDrawOrder.push_back(h);

    obj.BitmapIndex = -1;
    obj.UserData.Clear();
    obj.DrawPoints.clear();
    const uint8_t kind = obj.Kind;
    const bool textKind = kind == ievkTEXT || kind == ievkLINELABEL || kind == ievkEXTENDED;
    // Only the kinds that use them keep text, font, curve and memo data.
    if (!textKind && kind != ievkMEMO && kind != ievkBITMAP) obj.Text.clear();
    if (!textKind && kind != ievkMEMO && kind != ievkRULER && kind != ievkANGLE) obj.Font.reset();
    if (!textKind) obj.CurvePoints.clear();
    if (kind == ievkMEMO) {
        // One style index per character of the text.
        if (!obj.MemoCharStyles.empty()) obj.MemoCharStyles.resize(obj.Text.size(), 0);
    } else {
        obj.MemoCharStyles.clear();
        obj.MemoStyles.clear();
    }
    if (kind == ievkEXTENDED && obj.ExtObject) {
        obj.ExtObject->Owner = this;
        obj.ExtObject->Rec = &obj;
        obj.ExtObject->SetIndex(h);
    } else {
        obj.ExtObject.Reset();
    }
    if (kind == ievkBITMAP || (kind == ievkMEMO && obj.MemoHasBitmap)) SetObjBitmapIndex(h, templateBitmap);
    if (kind != ievkLINE && kind != ievkRULER && kind != ievkPOLYLINE && kind != ievkLINELABEL) {
        if (obj.X1 > obj.X2) std::swap(obj.X1, obj.X2);
        if (obj.Y1 > obj.Y2) std::swap(obj.Y1, obj.Y2);
    }
    if (kind == ievkPOLYLINE) {
        obj.Points.shrink_to_fit();
    } else {
        obj.Points.clear();
        obj.Points.shrink_to_fit();
        obj.PointsX1 = obj.PointsY1 = obj.PointsX2 = obj.PointsY2 = 0;
    }
    return h;
}

void TVovozIdVect::AddPolylinePoint(int32_t hobj, int32_t X, int32_t Y) {
    TIEVObjRecord* obj = GetObjRecord(hobj);
    if (!obj) return;
    if (!obj->Points.empty() && obj->Points.back().x == X && obj->Points.back().y == Y) return;
    if (obj->Points.size() == obj->Points.capacity()) obj->Points.reserve((obj->Points.size() + 1) * 2);
    obj->Points.push_back(win::POINT{X, Y});
    if (obj->Points.size() == 1) {
        // A new polyline's box starts at its first point (whatever empty box it was given).
        obj->X1 = obj->X2 = X;
        obj->Y1 = obj->Y2 = Y;
    } else {
        obj->X1 = std::min(obj->X1, X);
        obj->X2 = std::max(obj->X2, X);
        obj->Y1 = std::min(obj->Y1, Y);
        obj->Y2 = std::max(obj->Y2, Y);
    }
    obj->PointsX1 = obj->X1;
    obj->PointsY1 = obj->Y1;
    obj->PointsX2 = obj->X2;
    obj->PointsY2 = obj->Y2;
}

void TVovozIdVect::FreeObjectData(TIEVObjRecord& Obj) {
    const int32_t index = Obj.BitmapIndex;
    Obj.BitmapIndex = -1;
    ReleaseBitmap(index);
    Obj.Name.clear();
    Obj.Font.reset();
    Obj.Text.clear();
    Obj.MemoCharStyles.clear();
    Obj.MemoStyles.clear();
    Obj.CurvePoints.clear();
    Obj.Points.clear();
    Obj.PointsX1 = Obj.PointsY1 = Obj.PointsX2 = Obj.PointsY2 = 0;
    Obj.DrawPoints.clear();
    Obj.Shadow = TIEVSoftShadow{};
    Obj.ExtObject.Reset();
    Obj.UserData.Clear();
}

void TVovozIdVect::RemoveAllObjects() {
    // The edited text goes back to its object first, so that the snapshot holds it.
    CancelInteraction();
    PrepareObjUndo();
    for (int32_t h : FDrawOrder) FreeObjectData(*FObjects[static_cast<size_t>(h)]);
    FObjects.clear();
    FDrawOrder.clear();
    FSelection.clear();
    // The default object's picture survives in a fresh table.
    std::unique_ptr<TIEBitmap> keep;
    const int32_t index = FDefaultObject.BitmapIndex;
    if (index >= 0 && index < static_cast<int32_t>(FBitmaps.size()))
        keep = std::move(FBitmaps[static_cast<size_t>(index)].Bitmap);
    FDefaultObject.BitmapIndex = -1;
    FBitmaps.clear();
    if (keep) SetObjBitmap(IEV_DEFAULT_OBJECT, keep.get());
    DoVectorialChanged();
    Update();
}

void TVovozIdVect::CopyObjectsTo(TVovozIdVect* Dest) {
    if (!Dest || Dest == this) return;
    for (int32_t h : FDrawOrder) CopyObjectTo(h, Dest);
}

void TVovozIdVect::CopyObjectTo(int32_t hobj, TVovozIdVect* Dest) {
    TIEVObjRecord* obj = GetObjRecord(hobj);
    if (!obj || !Dest) return;
    TIEVObjRecord copy = *obj;
    copy.BitmapIndex = -1;
    int32_t slot = -1;
    TIEBitmap* picture = GetBitmapByIndex(obj->BitmapIndex);
    if (picture && (obj->Kind == ievkBITMAP || (obj->Kind == ievkMEMO && obj->MemoHasBitmap))) {
        slot = Dest->AllocBitmapSlot();
        auto bitmap = std::make_unique<TIEBitmap>();
        bitmap->Assign(picture);
        Dest->FBitmaps[static_cast<size_t>(slot)].Bitmap = std::move(bitmap);
        Dest->FBitmaps[static_cast<size_t>(slot)].UseCount = 1;
    }
    const int32_t h = Dest->AddObjectCopy(copy);
    Dest->FObjects[static_cast<size_t>(h)]->BitmapIndex = slot;
}

void TVovozIdVect::SetObjUserData(int32_t hobj, void* Data) {
    TIEVObjRecord* obj = GetObjRecord(hobj);
    if (!obj) return;
    obj->UserData.Set(Data);
    if (hobj != IEV_DEFAULT_OBJECT) Update();
}

void TVovozIdVect::SetObjUserDataLength(int32_t hobj, int32_t Length) {
    TIEVObjRecord* obj = GetObjRecord(hobj);
    if (!obj) return;
    obj->UserData.SetLength(Length);
    if (hobj != IEV_DEFAULT_OBJECT) Update();
}

void TVovozIdVect::SetObjFont(int32_t hobj, cl::TFont* Font) {
    TIEVObjRecord* obj = GetObjRecord(hobj);
    if (!obj || !Font) return;
    obj->Font = Font->GetLogFont();
    if (hobj != IEV_DEFAULT_OBJECT) Update();
}

cl::TFontStyles TVovozIdVect::GetObjFontStyles(int32_t hobj) {
    TIEVObjRecord* obj = GetObjRecord(hobj);
    if (!obj || !obj->Font) return 0;
    return IELogFontToStyles(&*obj->Font);
}

void TVovozIdVect::GetObjectsBounds(cl::TRect& Rect) {
    Rect = cl::TRect{0, 0, 0, 0};
    for (int32_t h : FDrawOrder) {
        const TIEVObjRecord& obj = *FObjects[static_cast<size_t>(h)];
        Rect.right = std::max(Rect.right, std::max(obj.X1, obj.X2) + 1);
        Rect.bottom = std::max(Rect.bottom, std::max(obj.Y1, obj.Y2) + 1);
    }
}

// ---------------------------------------------------------------------------------------
// The drawing order

int32_t TVovozIdVect::GetObjAtDrawPos(int32_t Position) const {
    if (Position < 0 || Position >= static_cast<int32_t>(FDrawOrder.size())) return IEV_NO_OBJECT;
    return FDrawOrder[static_cast<size_t>(Position)];
}

int32_t TVovozIdVect::GetObjDrawPos(int32_t hobj) {
    hobj = ResolveHandle(hobj);
    auto it = std::find(FDrawOrder.begin(), FDrawOrder.end(), hobj);
    return it == FDrawOrder.end() ? -1 : static_cast<int32_t>(it - FDrawOrder.begin());
}

void TVovozIdVect::SetObjDrawPos(int32_t hobj, int32_t Position) {
    const int32_t from = GetObjDrawPos(hobj);
    if (from < 0) return;
    const int32_t to = std::clamp(Position, 0, static_cast<int32_t>(FDrawOrder.size()) - 1);
    if (from == to) return;
    const int32_t h = FDrawOrder[static_cast<size_t>(from)];
    FDrawOrder.erase(FDrawOrder.begin() + from);
    FDrawOrder.insert(FDrawOrder.begin() + to, h);
    DoVectorialChanged();
    Update();
}

void TVovozIdVect::BringObjectToFront(int32_t hobj) {
    SetObjDrawPos(hobj, static_cast<int32_t>(FDrawOrder.size()) - 1);
}

void TVovozIdVect::SendObjectToBack(int32_t hobj) { SetObjDrawPos(hobj, 0); }

// ---------------------------------------------------------------------------------------
// The selection

void TVovozIdVect::SelectObject(int32_t hobj) {
    AddSelected(hobj);
    if (OnSelectObject) OnSelectObject(this);
}

void TVovozIdVect::AddSelected(int32_t hobj) {
    hobj = ResolveHandle(hobj);
    TIEVObjRecord* obj = hobj >= 0 ? GetObjRecord(hobj) : nullptr;
    if (obj && obj->HasOption(ievoSelectable)) FSelection.push_back(hobj);
}

bool TVovozIdVect::IsSelected(int32_t hobj) {
    hobj = ResolveHandle(hobj);
    return std::find(FSelection.begin(), FSelection.end(), hobj) != FSelection.end();
}

void TVovozIdVect::UnselectObject(int32_t hobj) {
    hobj = ResolveHandle(hobj);
    auto it = std::find(FSelection.begin(), FSelection.end(), hobj);
    if (it == FSelection.end()) return;
    FSelection.erase(it);
    if (OnSelectObject) OnSelectObject(this);
}

void TVovozIdVect::ClearSelection() {
    FSelection.clear();
    if (OnSelectObject) OnSelectObject(this);
}

void TVovozIdVect::UnselectAll() {
    ClearSelection();
    Update();
}

void TVovozIdVect::SelectObjectsInRect(int32_t hobj, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    auto consider = [&](int32_t h) {
        const TIEVObjRecord* obj = GetObjRecord(h);
        if (!obj) return;
        const int32_t left = std::min(obj->X1, obj->X2), right = std::max(obj->X1, obj->X2);
        const int32_t top = std::min(obj->Y1, obj->Y2), bottom = std::max(obj->Y1, obj->Y2);
        if (X1 <= left && right <= X2 && Y1 <= top && bottom <= Y2 && !IsSelected(h)) AddSelected(h);
    };
    if (hobj == IEV_ALL_OBJECTS) {
        for (int32_t h : FDrawOrder) consider(h);
    } else {
        consider(ResolveHandle(hobj));
    }
}

void TVovozIdVect::GetSelectionBounds(cl::TRect& Rect) {
    Rect = cl::TRect{0, 0, GetIEBitmap()->GetWidth(), GetIEBitmap()->GetHeight()};
    for (int32_t h : FSelection) {
        const TIEVObjRecord* obj = GetObjRecord(h);
        if (!obj) continue;
        Rect.left = std::min({Rect.left, obj->X1, obj->X2});
        Rect.top = std::min({Rect.top, obj->Y1, obj->Y2});
        Rect.right = std::max({Rect.right, obj->X1, obj->X2});
        Rect.bottom = std::max({Rect.bottom, obj->Y1, obj->Y2});
    }
}

// ---------------------------------------------------------------------------------------
// The shared picture table

TIEBitmap* TVovozIdVect::GetBitmapByIndex(int32_t Index) const {
    if (Index < 0 || Index >= static_cast<int32_t>(FBitmaps.size())) return nullptr;
    return FBitmaps[static_cast<size_t>(Index)].Bitmap.get();
}

int32_t TVovozIdVect::GetBitmapUseCount(int32_t Index) const {
    if (Index < 0 || Index >= static_cast<int32_t>(FBitmaps.size())) return 0;
    return FBitmaps[static_cast<size_t>(Index)].UseCount;
}

int32_t TVovozIdVect::FindSharedBitmap(TIEBitmap* Bitmap) {
    if (!Bitmap) return -1;
    for (int32_t i = static_cast<int32_t>(FBitmaps.size()) - 1; i >= 0; --i) {
        TIEBitmap* slot = FBitmaps[static_cast<size_t>(i)].Bitmap.get();
        if (slot && (slot == Bitmap || IEBitmapsEqual(slot, Bitmap))) return i;
    }
    return -1;
}

int32_t TVovozIdVect::AllocBitmapSlot() {
    for (size_t i = 0; i < FBitmaps.size(); ++i)
        if (!FBitmaps[i].Bitmap) return static_cast<int32_t>(i);
    FBitmaps.emplace_back();
    return static_cast<int32_t>(FBitmaps.size()) - 1;
}

void TVovozIdVect::ReleaseBitmap(int32_t Index) {
    if (Index < 0 || Index >= static_cast<int32_t>(FBitmaps.size())) return;
    TBitmapSlot& slot = FBitmaps[static_cast<size_t>(Index)];
    if (!slot.Bitmap) return;
    if (slot.UseCount <= 1) {
        slot.Bitmap.reset();
        slot.UseCount = 0;
    } else {
        --slot.UseCount;
    }
}

void TVovozIdVect::SetObjBitmapIndex(int32_t hobj, int32_t Index) {
    TIEVObjRecord* obj = GetObjRecord(hobj);
    if (!obj || obj->BitmapIndex == Index) return;
    const int32_t old = obj->BitmapIndex;
    TIEBitmap* source = GetBitmapByIndex(Index);
    if (Index < 0) {
        obj->BitmapIndex = Index;
    } else if (!source) {
        // No picture at that index: the object shows none.
        obj->BitmapIndex = -1;
    } else if (FShareBitmaps) {
        ++FBitmaps[static_cast<size_t>(Index)].UseCount;
        obj->BitmapIndex = Index;
    } else {
        const int32_t slot = AllocBitmapSlot();
        auto bitmap = std::make_unique<TIEBitmap>();
        bitmap->Assign(GetBitmapByIndex(Index));
        FBitmaps[static_cast<size_t>(slot)].Bitmap = std::move(bitmap);
        FBitmaps[static_cast<size_t>(slot)].UseCount = 1;
        obj->BitmapIndex = slot;
    }
    // The old reference goes only now, so a picture used once is never freed while in use.
    ReleaseBitmap(old);
}

void TVovozIdVect::SetObjBitmap(int32_t hobj, TIEBitmap* Bitmap) {
    TIEVObjRecord* obj = GetObjRecord(hobj);
    if (!obj) return;
    const int32_t old = obj->BitmapIndex;
    if (!Bitmap) {
        if (old < 0) return;
        obj->BitmapIndex = -1;
        ReleaseBitmap(old);
        return;
    }
    if (Bitmap == GetBitmapByIndex(old)) return;
    int32_t index = FShareBitmaps ? FindSharedBitmap(Bitmap) : -1;
    if (index >= 0) {
        if (index == old) return;
        ++FBitmaps[static_cast<size_t>(index)].UseCount;
    } else {
        // Copy first: Bitmap may be the picture of the slot about to be released.
        auto bitmap = std::make_unique<TIEBitmap>();
        bitmap->Assign(Bitmap);
        index = AllocBitmapSlot();
        FBitmaps[static_cast<size_t>(index)].Bitmap = std::move(bitmap);
        FBitmaps[static_cast<size_t>(index)].UseCount = 1;
    }
    obj->BitmapIndex = index;
    ReleaseBitmap(old);
}

void TVovozIdVect::SetObjBitmapFromIcon(int32_t hobj, const cl::String& IconName, int32_t Width, int32_t Height) {
    // The platform has no stock icons to draw: the picture stays as created.
    (void)IconName;
    auto vcl = std::make_unique<cl::TBitmap>();
    vcl->SetPixelFormat(cl::pf24bit);
    vcl->SetSize(Width, Height);
    TIEBitmap picture;
    picture.CopyFromTBitmap(vcl.get());
    SetObjBitmap(hobj, &picture);
    if (hobj != IEV_DEFAULT_OBJECT) Update();
}

void TVovozIdVect::PackBitmaps() {
    std::vector<int32_t> map(FBitmaps.size(), -1);
    std::vector<TBitmapSlot> packed;
    for (size_t i = 0; i < FBitmaps.size(); ++i) {
        if (!FBitmaps[i].Bitmap) continue;
        map[i] = static_cast<int32_t>(packed.size());
        packed.push_back(std::move(FBitmaps[i]));
    }
    FBitmaps = std::move(packed);
    auto renumber = [&](TIEVObjRecord& obj) {
        if (obj.BitmapIndex >= 0 && obj.BitmapIndex < static_cast<int32_t>(map.size()))
            obj.BitmapIndex = map[static_cast<size_t>(obj.BitmapIndex)];
    };
    renumber(FDefaultObject);
    for (int32_t h : FDrawOrder) renumber(*FObjects[static_cast<size_t>(h)]);
}

// ---------------------------------------------------------------------------------------
// Settings

void TVovozIdVect::SetMUnit(TIEUnits Value) {
    FMUnit = Value;
    FDefaultObject.RulerUnit = Value;
    UpdateUnitsPerPixel();
    if (FHintActive) UpdateMeasureHint(-1000000, -1000000);
}

void TVovozIdVect::SetFloatDigits(int32_t Value) {
    FFloatDigits = Value;
    if (FHintActive) UpdateMeasureHint(-1000000, -1000000);
}

void TVovozIdVect::SetFloatPrecision(int32_t Value) {
    FFloatPrecision = Value;
    if (FHintActive) UpdateMeasureHint(-1000000, -1000000);
}

void TVovozIdVect::SetZoomObjectsWidth(bool Value) {
    FZoomObjectsWidth = Value;
    Update();
}

void TVovozIdVect::SetBitmapResampleFilter(TResampleFilter Value) {
    FBitmapResampleFilter = Value;
    Update();
}

void TVovozIdVect::SetObjAntialias(bool Value) {
    if (FObjAntialias == Value) return;
    FObjAntialias = Value;
    Update();
}

void TVovozIdVect::SetObjGripImage(cl::TPicture* Value) {
    FObjGripImage->Assign(Value);
    if (cl::TGraphic* g = FObjGripImage->GetGraphic(); g && !g->GetEmpty())
        GripSize = std::max(g->GetWidth(), g->GetHeight()) / 2;
}

void TVovozIdVect::SetDrawAntialiased(bool Value) {
    FDrawAntialiased = Value;
    Update();
}

// ---------------------------------------------------------------------------------------
// Events

void TVovozIdVect::DoVectorialChanged() {
    FObjectsChanged = true;
    FVectorialChangedFired = false;
    if (OnVectorialChanged) OnVectorialChanged(this);
}

void TVovozIdVect::DoVectorialChangedOnce() {
    if (!FVectorialChangedFired && OnVectorialChanged) OnVectorialChanged(this);
    FVectorialChangedFired = true;
}

void TVovozIdVect::DoObjectMoveResize(int32_t hobj, int32_t Grip, int32_t& OffsetX, int32_t& OffsetY) {
    if (OnObjectMoveResize) OnObjectMoveResize(this, hobj, Grip & 0x7F, OffsetX, OffsetY);
}

void TVovozIdVect::DoObjectClick(int32_t hobj) {
    if (OnObjectClick) OnObjectClick(this, hobj);
}

void TVovozIdVect::DoObjectDblClick(int32_t hobj) {
    if (OnObjectDblClick) OnObjectDblClick(this, hobj);
}

void TVovozIdVect::DoObjectOver(int32_t hobj) {
    if (OnObjectOver) OnObjectOver(this, hobj);
}

void TVovozIdVect::DoNewObject(int32_t hobj) {
    if (OnNewObject) OnNewObject(this, hobj);
}

void TVovozIdVect::DoUserSelectObject(int32_t hobj) {
    if (OnUserSelectObject) OnUserSelectObject(this, hobj);
}

void TVovozIdVect::DoUserDeselectObject(int32_t hobj) {
    if (OnUserDeselectObject) OnUserDeselectObject(this, hobj);
}

}  // namespace ie
