// The vector view, TVovozIdVect: the image view with a layer of vector objects drawn over the
// image (lines, boxes, ellipses, arcs, pictures, texts, memos, rulers, polylines, angle
// measures, lines with labels and extension objects).
//
// Objects live in a table and are named by their handle, the index in that table. Objects are
// only ever appended (AddObjectCopy) and only removed all together (RemoveAllObjects), so a
// handle stays valid until then. Besides the table the view keeps the drawing order (later
// entries drawn on top), the selection (handles in selection order), a default object that is
// the template of every object the mouse creates, and a table of pictures that objects share
// by reference count.
//
// The sources: vovozidvect.cpp (the object store, drawing order, selection, the picture table,
// the default object, properties and events), vovozidvect_ext.cpp (extension objects, their
// class registry and the unit's start-up) and vovozidvect_hit.cpp (hit testing, grips,
// measure units, selection measures and the measure hint).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <typeinfo>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "imaging/view/ietextc.h"
#include "imaging/view/vovozidview.h"

namespace ie {

class TIEBitmap;
class TIECanvas;
class TVovozIdVect;

// ---------------------------------------------------------------------------------------
// Object kinds, options and settings

enum TIEVObjKind : uint8_t {
    ievkNONE,  // never a live object
    ievkLINE,
    ievkBOX,
    ievkELLIPSE,
    ievkARC,
    ievkBITMAP,
    ievkTEXT,
    ievkRULER,
    ievkPOLYLINE,
    ievkANGLE,
    ievkMEMO,
    ievkLINELABEL,
    ievkEXTENDED,
};

// Lines, rulers and lines with label keep their two end points unordered.
constexpr bool IEIsLineLikeKind(uint8_t Kind) { return Kind == ievkLINE || Kind == ievkRULER || Kind == ievkLINELABEL; }

// The object options (a set of bits).
enum TIEVObjOption : uint8_t {
    ievoSelectable = 1,
    ievoMovable = 2,
    ievoResizable = 4,
    ievoVisible = 8,
};
using TIEVObjOptions = uint8_t;
constexpr TIEVObjOptions IEVAllObjOptions = ievoSelectable | ievoMovable | ievoResizable | ievoVisible;

// Measure units of rulers, selection measures and the measure hint.
enum TIEUnits : uint8_t {
    ieuPIXELS,
    ieuINCHES,
    ieuKM,
    ieuMETERS,
    ieuCENTIMETERS,
    ieuMILLIMETERS,
    ieuMICRONS,
    ieuNANOMETERS,
    ieuFEET,
    ieuYARDS,
    ieuMILES,
};
// The suffix shown after a measure in each unit ("pixels", "inches", "km", "mt", ...).
const char* IEUnitSuffix(TIEUnits Unit);

enum TIEVFontQuality : uint8_t {
    ievfqDefault,
    ievfqDraft,
    ievfqProof,
    ievfqNonAntialiased,
    ievfqAntialiased,
    ievfqClearType,
    ievfqClearTypeNatural,
};
// The LOGFONT quality of a font quality value (values above 6 give the default).
uint8_t IEVFontQualityToLogFont(uint8_t Quality);

enum TIEVValType : uint8_t { ievtAREA, ievtLENGTH };
enum TIEVUndoMode : uint8_t { ieumSeparated, ieumShared };

// The vector view's mouse interactions (a set: bit v for the value v).
enum TIEVMouseInteractItem : uint8_t {
    mivMeasureArea,
    mivMeasureLength,
    mivPutLine,
    mivPutBox,
    mivPutEllipse,
    mivPutBitmap,
    mivPutText,
    mivSelectObjects,
    mivDragLength,
    mivPutRuler,
    mivPutPolyline,
    mivPutAngle,
    mivPutMemo,
    mivPutLineLabel,
    mivEditPolyline,
    mivNoClickCreate,
    mivPutExtended,
};
using TIEVMouseInteract = uint32_t;
constexpr TIEVMouseInteract IEVMouseOpt(TIEVMouseInteractItem Item) { return 1u << Item; }
// The creation and editing modes that a non-empty view interaction clears (bits 2..14 and 16).
constexpr TIEVMouseInteract IEVCreationModes = 0x17FFC;

// Special handles.
constexpr int32_t IEV_DEFAULT_OBJECT = -1;
constexpr int32_t IEV_LAST_OBJECT = -2;
constexpr int32_t IEV_ALL_OBJECTS = -3;  // no object, or all objects in drawing order for iterating operations
constexpr int32_t IEV_NO_OBJECT = -4;

// An angle point whose X is this is not set yet.
constexpr int32_t IEVUnsetPoint = -1000000;
// The X (and Y) of a separator between the sub-polygons of the view's polygon selection.
constexpr int32_t IEVPolygonSeparator = 0xFFFFF;

// ---------------------------------------------------------------------------------------
// The object record

// Soft shadow settings of one object.
struct TIEVSoftShadow {
    bool Enabled = false;
    double Radius = 3.0;
    int32_t OffsetX = 0;
    int32_t OffsetY = 0;
    int32_t Intensity = 100;  // percent
    TRGB Color{0, 0, 0};
};

// A point of curved text, in box-relative units (0..1 scaled by the box size).
struct TIEVDPoint {
    double X = 0;
    double Y = 0;
};

// Abstract base of extension objects (kind ievkEXTENDED): an instance owns its data and does
// its own drawing and input.
class TIEVExtObject {
public:
    TIEVExtObject() = default;
    virtual ~TIEVExtObject() = default;
    TIEVExtObject(const TIEVExtObject&) = delete;
    TIEVExtObject& operator=(const TIEVExtObject&) = delete;

    // Called once the owner is set after loading.
    virtual void Initialize() {}
    // Not called by the view.
    virtual void Finalize() {}
    virtual void SetIndex(int32_t Value) { Index = Value; }
    virtual void SaveToStream(cl::TStream* Stream) { (void)Stream; }
    virtual void LoadFromStream(cl::TStream* Stream) { (void)Stream; }
    // A new instance with the same data (Owner, Rec and Index are set by the caller).
    virtual std::unique_ptr<TIEVExtObject> Clone() const = 0;
    virtual void MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y) {
        (void)Button, (void)Shift, (void)X, (void)Y;
    }
    virtual void MouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int32_t X, int32_t Y) {
        (void)Button, (void)Shift, (void)X, (void)Y;
    }
    virtual void MouseMove(cl::TShiftState Shift, int32_t X, int32_t Y) { (void)Shift, (void)X, (void)Y; }
    virtual void MouseEnter() {}
    virtual void MouseLeave() {}
    virtual void KeyDown(uint16_t CharCode, cl::TShiftState Shift) { (void)CharCode, (void)Shift; }
    virtual void Draw(cl::TBitmap* Dest, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool AlphaPass, double ZoomX,
                      double ZoomY) = 0;

    TVovozIdVect* Owner = nullptr;
    struct TIEVObjRecord* Rec = nullptr;
    int32_t Index = -1;
    bool Flag = false;
};

// The extension instance of a record: copying a record clones it.
class TIEVExtObjectRef {
public:
    TIEVExtObjectRef() = default;
    TIEVExtObjectRef(const TIEVExtObjectRef& Other) { *this = Other; }
    TIEVExtObjectRef& operator=(const TIEVExtObjectRef& Other) {
        if (this != &Other) FObject = Other.FObject ? Other.FObject->Clone() : nullptr;
        return *this;
    }
    TIEVExtObject* Get() const { return FObject.get(); }
    TIEVExtObject* operator->() const { return FObject.get(); }
    explicit operator bool() const { return FObject != nullptr; }
    void Reset(std::unique_ptr<TIEVExtObject> Object = nullptr) { FObject = std::move(Object); }

private:
    std::unique_ptr<TIEVExtObject> FObject;
};

// The caller's data block of an object. Set gives a pointer the object does not own (length
// 0); SetLength with a positive length makes the object own a copy of that many bytes from the
// current pointer (zeros when there is none). Copying copies an owned block.
class TIEVUserData {
public:
    TIEVUserData() = default;
    TIEVUserData(const TIEVUserData& Other) { *this = Other; }
    TIEVUserData& operator=(const TIEVUserData& Other);
    void* Get() const { return FData; }
    int32_t GetLength() const { return static_cast<int32_t>(FOwned.size()); }
    void Set(void* Data);
    void SetLength(int32_t Length);
    // Owns a copy of Length bytes of Data (nothing for Length <= 0).
    void AssignBytes(const void* Data, int32_t Length);
    void Clear();

private:
    void* FData = nullptr;
    std::vector<uint8_t> FOwned;
};

// One object. A record copies as a whole: text, font, styles, points, shadow and user data are
// copied with it and the extension instance is cloned; the picture reference (BitmapIndex) is
// copied as a number only, so the view counts its uses itself (AddObjectCopy).
struct TIEVObjRecord {
    int32_t X1 = 0, Y1 = 0, X2 = 63, Y2 = 63;
    uint8_t Kind = ievkNONE;
    int32_t Transparency = 255;  // 0..255, 255 opaque
    TIEVUserData UserData;
    bool KeepAspect = false;
    uint8_t StartShape = 0, EndShape = 0;  // 0 none, 1 triangle, 2 arrow head
    int32_t ShapeWidth = 10, ShapeLength = 20;
    cl::TColor LabelBrushColor = 0xFFFFFF;
    uint8_t LabelBrushStyle = cl::bsSolid;
    uint8_t LabelPosition = 1;  // 0 at the start point, 1 at the end point
    uint8_t LabelBorder = 1;    // 0 none, 1 rectangle, 2 rounded rectangle, 3 ellipse
    int32_t LabelX1 = 0, LabelY1 = 0, LabelX2 = 0, LabelY2 = 0;
    cl::TColor PenColor = 0;
    uint8_t PenStyle = cl::psSolid;
    int32_t PenWidth = 1;
    cl::TColor BrushColor = 0xFFFFFF;
    uint8_t BrushStyle = cl::bsClear;
    bool Highlight = false;
    double ArcStart = 0.0, ArcEnd = 6.283185307179586;
    int32_t BitmapIndex = -1;
    bool BitmapBorder = false;
    cl::String Text;
    std::optional<win::LOGFONTA> Font;
    uint8_t FontQuality = ievfqDefault;
    uint8_t TextAlign = 0;  // 0 left, 1 right, 2 centre, 3 justified
    bool AutoSize = false;
    bool MemoFixedFont = true;
    std::vector<TIEVDPoint> CurvePoints;
    int32_t CurveCharAngle = -10;  // tenths of degrees; -10 follows the path
    bool TextEditable = true;
    std::vector<int32_t> MemoCharStyles;  // per character of Text: index into MemoStyles
    TIECharStyles MemoStyles;
    int32_t MemoLineSpacing = 0;
    cl::TColor MemoBorderColor = 0xFFFFFF;
    uint8_t MemoBorderStyle = cl::psSolid;
    int32_t MemoLineHeight = 0;
    bool MemoHasBitmap = false;
    double MemoMargins[4] = {0, 0, 0, 0};  // left, top, right, bottom, percent of the box
    uint8_t MemoFillStyle = cl::bsSolid;
    cl::String Name;
    uint8_t Reserved[4] = {0, 0, 0, 0};
    TIEVObjOptions Options = IEVAllObjOptions;
    uint8_t RulerUnit = ieuPIXELS;
    uint8_t RulerType = 2;           // 0 scale, 1 label at the start, 2 in the middle, 3 at the end
    std::vector<win::POINT> Points;  // polyline points in bitmap coordinates as recorded
    int32_t PointsX1 = 0, PointsY1 = 0, PointsX2 = 0, PointsY2 = 0;
    bool Closed = false;
    std::vector<win::POINT> DrawPoints;  // the mapped points of the last drawing
    win::POINT AnglePoints[3] = {};      // first leg end, vertex, second leg end
    int32_t DragX1 = 0, DragY1 = 0, DragX2 = 0, DragY2 = 0;
    cl::TRect DrawnRect{};
    int32_t DrawnPenWidth = 0;
    TIEVSoftShadow Shadow;
    TIEVExtObjectRef ExtObject;

    int32_t GetPointCount() const { return static_cast<int32_t>(Points.size()); }
    int32_t GetCurvePointCount() const { return static_cast<int32_t>(CurvePoints.size()); }
    bool HasOption(TIEVObjOption Option) const { return (Options & Option) != 0; }
};

// ---------------------------------------------------------------------------------------
// Extension class registry (vovozidvect_ext.cpp)

using TIEVExtObjectFactory = std::function<std::unique_ptr<TIEVExtObject>()>;

// Appends an entry: IECreateExtObject(Name) then makes instances with Factory. The class is
// named by its type name (IEGetExtClassName). An entry with a name already present is appended
// too, and the first one keeps winning.
void IERegisterExtClass(const cl::String& Name, const std::type_info& Class, TIEVExtObjectFactory Factory);
template <class T>
void IERegisterExtClass(const cl::String& Name) {
    IERegisterExtClass(Name, typeid(T), [] { return std::make_unique<T>(); });
}
// A new instance of the first entry named exactly ClassName (case-sensitive); nil when none.
std::unique_ptr<TIEVExtObject> IECreateExtObject(const cl::String& ClassName);
// The name of the first entry of Class; empty when none.
cl::String IEGetExtClassName(const std::type_info& Class);
// The number of entries.
int32_t IEExtClassCount();
// Frees every entry.
void IEFreeExtClassRegistry();

// The vector clipboard format ("VOVOZID VECT"), registered by the start-up.
extern win::UINT IEVectClipboardFormat;
// Start-up: registers the clipboard format and makes the registry; the final hook frees it.
void IEVectStaticInit();
void IEVectStaticFinal();
void IEVectRegisterStaticHooks();

// ---------------------------------------------------------------------------------------
// Events

using TIEUserSelectObject = std::function<void(cl::TObject* Sender, int32_t hobj)>;
using TIEVMeasureHintEvent = std::function<void(cl::TObject* Sender, cl::String& Text, double Value)>;
using TIEOnPresentMeasure =
    std::function<void(cl::TObject* Sender, cl::String& Text, double Value, TIEVValType ValType)>;
using TIEVDragLenEndEvent = std::function<void(cl::TObject* Sender, double Value)>;
using TIEVNewObject = std::function<void(cl::TObject* Sender, int32_t hobj)>;
using TIEVObjectMoveResizeEvent =
    std::function<void(cl::TObject* Sender, int32_t hobj, int32_t Grip, int32_t& OffsetX, int32_t& OffsetY)>;
using TIEVObjectClickEvent = std::function<void(cl::TObject* Sender, int32_t hobj)>;
using TIEDrawObjectEvent = std::function<void(cl::TObject* Sender, int32_t hobj, cl::TBitmap* Destination,
                                              const cl::TRect& DestRect, bool DrawingAlpha, bool& Handled)>;
using TIEKeyEvent = std::function<void(cl::TObject* Sender, uint16_t& Key, cl::TShiftState Shift)>;

// ---------------------------------------------------------------------------------------
// The vector view

class TVovozIdVect : public TVovozIdView {
    CL_DECLARE_COMPONENT(TVovozIdVect, TVovozIdView)
public:
    explicit TVovozIdVect(cl::TComponent* AOwner);
    ~TVovozIdVect() override;
    TVovozIdVect(const TVovozIdVect&) = delete;
    TVovozIdVect& operator=(const TVovozIdVect&) = delete;

    // Copies the view, then (for a vector view) its objects in drawing order with their own
    // pictures, and its measure scale; nil removes every object.
    void Assign(cl::TPersistent* Source) override;
    void Update() override;
    void SetDpiX(int32_t Value) override;
    void SetDpiY(int32_t Value) override;
    void SetMouseInteract(TIEMouseInteract Value) override;

    // ----- the object store
    // The record of a handle, the default object (-1) or the last object (-2); nil for -3, -4
    // and handles outside the table.
    TIEVObjRecord* GetObjRecord(int32_t hobj);
    int32_t GetObjectsCount() const { return static_cast<int32_t>(FObjects.size()); }
    // Appends a copy of Template that owns its own data (user data is never copied) and returns
    // its handle; the new object is drawn on top.
    int32_t AddObjectCopy(const TIEVObjRecord& Template);
    // Appends a polyline point (a point equal to the last is ignored); the box grows to hold it.
    void AddPolylinePoint(int32_t hobj, int32_t X, int32_t Y);
    void RemoveAllObjects();
    void CopyObjectsTo(TVovozIdVect* Dest);
    // Copies one object into Dest; its picture goes into a new slot of Dest's table.
    void CopyObjectTo(int32_t hobj, TVovozIdVect* Dest);
    void SetObjUserData(int32_t hobj, void* Data);
    void SetObjUserDataLength(int32_t hobj, int32_t Length);
    void SetObjFont(int32_t hobj, cl::TFont* Font);
    cl::TFontStyles GetObjFontStyles(int32_t hobj);
    // Left = Top = 0, Right and Bottom one past the largest coordinates of all objects;
    // (0, 0, 0, 0) without objects.
    void GetObjectsBounds(cl::TRect& Rect);
    // Frees the data an object owns and releases its picture.
    void FreeObjectData(TIEVObjRecord& Obj);

    // ----- the drawing order (later entries are drawn later, on top)
    int32_t GetDrawOrderCount() const { return static_cast<int32_t>(FDrawOrder.size()); }
    // The handle drawn at Position (0 = bottom); -4 outside.
    int32_t GetObjAtDrawPos(int32_t Position) const;
    // The position of hobj in the drawing order, -1 when absent.
    int32_t GetObjDrawPos(int32_t hobj);
    // Moves hobj to Position (clamped), keeping the order of the others.
    void SetObjDrawPos(int32_t hobj, int32_t Position);
    void BringObjectToFront(int32_t hobj);
    void SendObjectToBack(int32_t hobj);

    // ----- the selection
    void SelectObject(int32_t hobj);
    void AddSelected(int32_t hobj);
    bool IsSelected(int32_t hobj);
    void UnselectObject(int32_t hobj);
    void ClearSelection();
    void UnselectAll();
    void SelectObjectsInRect(int32_t hobj, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void GetSelectionBounds(cl::TRect& Rect);
    int32_t GetSelObjectsCount() const { return static_cast<int32_t>(FSelection.size()); }
    int32_t GetSelObjects(int32_t Index) const { return FSelection[static_cast<size_t>(Index)]; }

    // ----- the shared picture table
    void SetObjBitmap(int32_t hobj, TIEBitmap* Bitmap);
    void SetObjBitmapIndex(int32_t hobj, int32_t Index);
    // A Width x Height 24-bit picture with the named system icon drawn into it when the
    // platform has it (otherwise the picture stays as created), given by SetObjBitmap.
    void SetObjBitmapFromIcon(int32_t hobj, const cl::String& IconName, int32_t Width, int32_t Height);
    TIEBitmap* GetBitmapByIndex(int32_t Index) const;
    // The last slot holding a picture equal to Bitmap, -1 when none.
    int32_t FindSharedBitmap(TIEBitmap* Bitmap);
    int32_t AllocBitmapSlot();
    void ReleaseBitmap(int32_t Index);
    // Compacts the table, renumbering the references of the default object and of every object.
    void PackBitmaps();
    int32_t GetBitmapSlotCount() const { return static_cast<int32_t>(FBitmaps.size()); }
    int32_t GetBitmapUseCount(int32_t Index) const;

    // ----- hit testing and grips (vovozidvect_hit.cpp)
    // The top-most object nearest to the bitmap point, -3 when none; Distance in bitmap units.
    int32_t FindObjectAt(int32_t X, int32_t Y, bool SelectableOnly, double& Distance);
    int32_t FindObjectAtClient(int32_t X, int32_t Y, double& Distance);
    double ObjectDistance(const TIEVObjRecord& Obj, int32_t X, int32_t Y);
    double BitmapObjectDistance(const TIEVObjRecord& Obj, int32_t X, int32_t Y);
    // The position in the selection of the first selected object with a grip or its body under
    // the client point, -4 when none; Grip gets the grip code.
    int32_t FindGripAt(int32_t X, int32_t Y, uint8_t& Grip);
    bool IsOverGrip(int32_t GX, int32_t GY, int32_t X, int32_t Y) const;
    void DrawSelectionGrips(cl::TCanvas* Canvas);
    void DrawObjectGrips(cl::TCanvas* Canvas, const TIEVObjRecord& Obj);
    void DrawGrip(TIECanvas* Canvas, int32_t X, int32_t Y, bool CenterGrip);
    // The drawing pen width of an object at zoom (ZoomX, ZoomY).
    int32_t GetZoomedPenWidth(const TIEVObjRecord& Obj, double ZoomX, double ZoomY) const;

    // ----- measuring
    void CalcMeasureScale(double& ScaleX, double& ScaleY, TIEUnits Unit);
    double GetMeasureScale() const { return FMeasureScale; }
    void SetMeasureScale(double Value);
    double GetUnitsPerPixelX() const { return FUnitsPerPixelX; }
    double GetUnitsPerPixelY() const { return FUnitsPerPixelY; }
    double GetSelectionLength();
    double GetSelectionArea();
    // The measure text of Value in the current unit (with the area's superscript two).
    cl::String MeasureText(double Value, TIEVValType ValType);
    void ShowMeasureHint(int32_t X, int32_t Y);
    void HideMeasureHint();
    void UpdateMeasureHint(int32_t X, int32_t Y);
    double GetLastMeasure() const { return FLastMeasure; }
    bool GetMeasureHintActive() const { return FHintActive; }
    void SetMeasureHintActive(bool Value) { FHintActive = Value; }

    // ----- published settings
    TIEUnits GetMUnit() const { return FMUnit; }
    void SetMUnit(TIEUnits Value);
    int32_t GetFloatDigits() const { return FFloatDigits; }
    void SetFloatDigits(int32_t Value);
    int32_t GetFloatPrecision() const { return FFloatPrecision; }
    void SetFloatPrecision(int32_t Value);
    bool GetShareBitmaps() const { return FShareBitmaps; }
    void SetShareBitmaps(bool Value) { FShareBitmaps = Value; }
    bool GetZoomObjectsWidth() const { return FZoomObjectsWidth; }
    void SetZoomObjectsWidth(bool Value);
    TResampleFilter GetBitmapResampleFilter() const { return FBitmapResampleFilter; }
    void SetBitmapResampleFilter(TResampleFilter Value);
    int32_t GetObjUndoLimit() const { return FObjUndoLimit; }
    void SetObjUndoLimit(int32_t Value) { FObjUndoLimit = Value; }
    bool GetObjAutoUndo() const { return FObjAutoUndo; }
    void SetObjAutoUndo(bool Value) { FObjAutoUndo = Value; }
    TIEVUndoMode GetObjUndoMode() const { return FObjUndoMode; }
    void SetObjUndoMode(TIEVUndoMode Value) { FObjUndoMode = Value; }
    bool GetObjAntialias() const { return FObjAntialias; }
    void SetObjAntialias(bool Value);
    bool GetSelectOnMouseDown() const { return FSelectOnMouseDown; }
    void SetSelectOnMouseDown(bool Value) { FSelectOnMouseDown = Value; }
    cl::TPicture* GetObjGripImage() const { return FObjGripImage.get(); }
    void SetObjGripImage(cl::TPicture* Value);
    bool GetDrawAntialiased() const { return FDrawAntialiased; }

    // ----- public settings
    TIEVMouseInteract MouseInteractVect = 0;
    int32_t MaxSelectionDistance = -1;
    bool ShowCenterGrip = false;
    bool FillBoxHitTest = false;
    bool BitmapAlphaHitTest = true;
    int32_t GripSize = 5;
    uint8_t GripShape = 1;  // 0 square, 1 round
    bool AngleOver180 = false;
    bool RulerReadableLabels = true;
    bool EditOnCreate = true;
    bool CenterOnClick = false;
    int32_t PolylineEndMode = 0;
    bool PolylineOutsideImage = false;
    bool MoveOutsideImage = true;
    bool RectSelectObjects = true;
    bool FastDrawWhileDragging = true;
    bool ObjectsHidden = false;
    bool ObjectsSuspended = false;
    bool IncludeCursorInLength = true;
    cl::TPen* GetGripPen() const { return FGripPen.get(); }
    cl::TBrush* GetGripBrush() const { return FGripBrush.get(); }
    cl::TFont* GetMeasureHintFont() const { return FHintFont.get(); }
    cl::TBrush* GetMeasureHintBrush() const { return FHintBrush.get(); }
    cl::TColor MeasureHintDarkColor = 0x808080;
    cl::TColor MeasureHintLightColor = 0xFFFFFF;
    cl::TPen* GetInsertionPen() const { return FInsertionPen.get(); }

    // ----- events
    cl::TNotifyEvent OnSelectObject;
    TIEUserSelectObject OnUserSelectObject;
    TIEUserSelectObject OnUserDeselectObject;
    TIEVMeasureHintEvent OnMeasureHint;
    TIEOnPresentMeasure OnPresentMeasure;
    cl::TNotifyEvent OnVectorialChanged;
    cl::TNotifyEvent OnBeforeVectorialChanged;  // nothing fires it
    TIEVDragLenEndEvent OnDragLenEnd;
    TIEVNewObject OnNewObject;
    TIEVObjectMoveResizeEvent OnObjectMoveResize;
    TIEVObjectClickEvent OnObjectClick;
    TIEVObjectClickEvent OnObjectDblClick;
    TIEVObjectClickEvent OnObjectOver;
    TIEKeyEvent OnTextKeyDown;
    cl::TNotifyEvent OnActivateTextEdit;
    cl::TNotifyEvent OnDeactivateTextEdit;
    TIEDrawObjectEvent OnBeforeDrawObject;
    TIEDrawObjectEvent OnAfterDrawObject;

    // ----- operations later units override
    virtual void DoVectorialChanged();
    virtual void UpdateTextEditors();
    virtual void DoObjectMoveResize(int32_t hobj, int32_t Grip, int32_t& OffsetX, int32_t& OffsetY);
    virtual void DoObjectClick(int32_t hobj);
    virtual void DoObjectDblClick(int32_t hobj);
    virtual void DoObjectOver(int32_t hobj);
    virtual void SetDrawAntialiased(bool Value);
    virtual void DoVectorialChangedOnce();
    virtual void DoNewObject(int32_t hobj);
    virtual void DoUserSelectObject(int32_t hobj);
    virtual void DoUserDeselectObject(int32_t hobj);
    // Forgets the creation and grip-drag state and the hovered extension object.
    virtual void CancelInteraction();
    bool GetObjectsChanged() const { return FObjectsChanged; }

protected:
    // The handle an operation means: -2 becomes the last object.
    int32_t ResolveHandle(int32_t hobj) const;
    void UpdateUnitsPerPixel();
    // True while the view's polygon selection is still being drawn (the length then runs to
    // the mouse point).
    virtual bool SelectionPolygonOpen() { return GetDrawingPolygon(); }
    // The mouse point follows the view's scrolling while a selection is edited.
    void OffsetSelectionPoints(int32_t DX, int32_t DY) override;
    // The mouse-down point and the last mouse point, for the measures.
    void MouseDown(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) override;
    void MouseMove(cl::TShiftState Shift, int X, int Y) override;
    // The client point the mouse was last seen at, and the mouse-down point.
    int32_t FMouseX = 0, FMouseY = 0;
    int32_t FDownX = 0, FDownY = 0;
    // The image area on screen in bitmap coordinates (zero edges count as MaxInt).
    void VisibleBitmapArea(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2);
    // The client box of an object for its grips (a zoomed picture's right and bottom edges at
    // the last client pixel of its last bitmap pixel).
    void ObjectClientBox(const TIEVObjRecord& Obj, int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2);
    bool ObjectGripsShown(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);

    struct TBitmapSlot {
        std::unique_ptr<TIEBitmap> Bitmap;
        int32_t UseCount = 0;
    };
    std::vector<std::unique_ptr<TIEVObjRecord>> FObjects;
    std::vector<int32_t> FDrawOrder;
    std::vector<int32_t> FSelection;
    std::vector<TBitmapSlot> FBitmaps;
    TIEVObjRecord FDefaultObject;

    TIEUnits FMUnit = ieuPIXELS;
    int32_t FFloatDigits = 2;
    int32_t FFloatPrecision = 15;
    double FMeasureScale = 1.0;
    double FUnitsPerPixelX = 1.0, FUnitsPerPixelY = 1.0;
    double FLastMeasure = 0;
    bool FHintActive = false;
    int32_t FHintX = 0, FHintY = 0;          // the position asked for
    int32_t FHintDrawX = 0, FHintDrawY = 0;  // where the box and its saved pixels are
    std::unique_ptr<cl::TBitmap> FHintSaved;
    bool FShareBitmaps = true;
    bool FZoomObjectsWidth = true;
    TResampleFilter FBitmapResampleFilter = rfNone;
    int32_t FObjUndoLimit = 1;
    bool FObjAutoUndo = false;
    TIEVUndoMode FObjUndoMode = ieumSeparated;
    bool FObjAntialias = true;
    bool FSelectOnMouseDown = true;
    bool FDrawAntialiased = false;
    bool FObjectsChanged = false;
    bool FVectorialChangedFired = false;
    // Interaction state kept here so that CancelInteraction can forget it.
    uint8_t FCreatingKind = 0;
    int32_t FDraggedGrip = 0;
    int32_t FHoverExtObject = -1;
    std::unique_ptr<cl::TPicture> FObjGripImage;
    std::unique_ptr<cl::TPen> FGripPen;
    std::unique_ptr<cl::TBrush> FGripBrush;
    std::unique_ptr<cl::TFont> FHintFont;
    std::unique_ptr<cl::TBrush> FHintBrush;
    std::unique_ptr<cl::TPen> FInsertionPen;

    // ---------------------------------------------------------------------------------------
    // Object painting (vovozidvect_paint.cpp) and rendering (vovozidvect_render.cpp)
public:
    // Draws one object onto Dest. Drawing coordinates are client coordinates when UseZoom
    // (the overlay) or bitmap coordinates otherwise (merging), times Factor (2 supersamples).
    // DestIE is the TIEBitmap Dest belongs to, when there is one. AlphaPass draws the
    // object's coverage for the alpha channel (memo pictures are skipped). OnlyVisible skips
    // objects outside the image area. True when the object was drawn.
    bool DrawObject(TIEVObjRecord& Obj, int32_t hobj, bool AlphaPass, int32_t Factor, TIEBitmap* DestIE, bool UseZoom,
                    bool OnlyVisible, cl::TBitmap* Dest);
    // A line end (Shape 1 triangle based at the end, 2 arrow head pointing at it) at (EX, EY)
    // of the line whose other end is (OX, OY); W wide, L long.
    void DrawLineEndShape(TIECanvas* Canvas, TIEVObjRecord& Obj, int32_t EX, int32_t EY, int32_t OX, int32_t OY,
                          uint8_t Shape, int32_t W, int32_t L);
    void DrawLineLabel(TIECanvas* Canvas, TIEVObjRecord& Obj, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                       double ZoomY);
    void DrawBitmapObject(TIECanvas* Canvas, TIEVObjRecord& Obj, cl::TBitmap* Dest, TIEBitmap* DestIE, int32_t X1,
                          int32_t Y1, int32_t X2, int32_t Y2, int32_t PenWidth);
    void DrawTextObject(TIECanvas* Canvas, TIEVObjRecord& Obj, int32_t hobj, int32_t X1, int32_t Y1, int32_t X2,
                        int32_t Y2, double ZoomX, double ZoomY, bool AlphaPass = false);
    void DrawRuler(TIECanvas* Canvas, TIEVObjRecord& Obj, int32_t AX, int32_t AY, int32_t BX, int32_t BY,
                   double InvZoomY, double InvZoomX, double Length);
    void DrawAngle(TIECanvas* Canvas, TIEVObjRecord& Obj, double InvZoomY, int32_t Factor, bool UseZoom);
    void DrawPolylinePointGrips(cl::TCanvas* Canvas);
    void GetPolylineScale(const TIEVObjRecord& Obj, double& SX, double& SY) const;
    void UpdatePolylineBounds(TIEVObjRecord& Obj);
    // Objects drawn since the overlay last began.
    int32_t GetDrawnObjectsCount() const { return FDrawnObjects; }

    // Draws the objects (hobj, or all in drawing order for -3) onto DestVcl: over the view in
    // client coordinates, or into a picture in bitmap coordinates when ToImage.
    void RenderObjects(bool ToImage, int32_t hobj, bool Supersample, cl::TBitmap* DestVcl);
    // The objects, the selection grips and (editing polylines) the point grips over Bitmap.
    void DrawObjectsOverlay(cl::TBitmap* Bitmap);
    void DrawLayers(TIEBitmap* Dest, bool DrawBoxes, bool DrawBackground, const cl::TRect* ClipRect) override;
    // Draws the objects into Bitmap in bitmap coordinates; any pixel format.
    void MergeObjectsInto(TIEBitmap* Bitmap, bool AntiAlias, int32_t hobj);
    // Merges every object into the view's own picture (the objects stay).
    void DrawObjectsToImage(bool AntiAlias);
    // Set while the user drags: objects are then drawn directly, without blending.
    bool FastPending = false;

protected:
    // Prepares FWorkBitmap (W x H, 24-bit with an alpha channel) and FWorkAlpha.
    void PrepareWorkBitmap(int32_t W, int32_t H);
    int32_t FDrawnObjects = 0;
    std::unique_ptr<TIEBitmap> FWorkBitmap;
    std::unique_ptr<TIEBitmap> FWorkAlpha;  // the coverage pass, 24-bit grey

    // ----- the object file and object undo (vovozidvect_iev.cpp, vovozidvect_undo.cpp)
public:
    // Writes one block of all objects and their pictures at the stream's position and leaves
    // the stream at its end.
    void SaveObjectsToStream(cl::TStream* Stream);
    // Replaces all objects and pictures by those of the block at the position; False, with
    // only the position moved, when the header does not match. Damaged data raises
    // cl::EReadError (or the zlib and picture readers' errors); the default object keeps its
    // picture in every case.
    bool LoadObjectsFromStream(cl::TStream* Stream);
    bool LoadObjectsFromFile(const cl::WideString& FileName);
    // The view's layers followed by its objects.
    void SaveLayersAndObjectsToStream(cl::TStream* Stream, int32_t Codec);
    bool LoadLayersAndObjectsFromStream(cl::TStream* Stream);
    bool LoadLayersAndObjectsFromFile(const cl::WideString& FileName);
    // One record (-3: every object in drawing order).
    void SaveObjectRecord(cl::TStream* Stream, int32_t hobj);
    // Reads one record and adds its object; returns the new handle, or -4 for a group record
    // whose nested records were added. Every count and length is checked against the bytes
    // the stream has left.
    int32_t LoadObjectRecord(cl::TStream* Stream, char Version, bool WithBitmaps);

    // Takes a snapshot before an interaction when ObjAutoUndo is on.
    void PrepareObjUndo();
    void SaveObjUndo();
    void DropLastObjUndo();
    void ClearObjUndo();
    // Loads the newest separated snapshot and removes it from the list; False when none.
    bool UndoObjects();
    int32_t GetObjUndoCount() const { return static_cast<int32_t>(FObjUndo.size()); }
    bool GetUndoArmed() const { return FUndoArmed; }
    // Drops the snapshot of an interaction that changed nothing.
    void DropUnusedObjUndo();

protected:
    // Object snapshots (an object block) and layers-with-objects snapshots (a container) for
    // the processing component's undo list; the layer snapshots are the view's.
    std::unique_ptr<cl::TObject> MakeUndoSnapshot(TIEUndoSource Source) override;
    bool RestoreUndoSnapshot(TIEUndoSource Source, cl::TObject* Snapshot) override;
    int32_t LoadObjectRecordNested(cl::TStream* Stream, char Version, bool WithBitmaps, int32_t Depth);
    std::vector<std::unique_ptr<cl::TMemoryStream>> FObjUndo;
    bool FUndoArmed = false;

    // ----- mouse interaction with objects (vovozidvect_mouse.cpp)
public:
    // Selects by a click at client (X, Y): the object under it alone, or with Shift added to or
    // taken from the selection. A press on an object already selected (FromMouseDown, with
    // SelectOnMouseDown) leaves the choice to the release, so that a drag moves the whole
    // selection.
    void SelectAtPoint(cl::TShiftState Shift, int32_t X, int32_t Y, bool FromMouseDown);
    // Moves an object (an angle with its points) by bitmap units.
    void MoveObject(int32_t hobj, int32_t DX, int32_t DY);
    // Adds the deltas to the box corners; with KeepAspect the other side follows at the
    // aspect of the box at the start of the drag (DragX1 .. DragY2), by the grip's rule.
    void ResizeObjectByGrip(int32_t hobj, int32_t DX1, int32_t DY1, int32_t DX2, int32_t DY2, bool KeepAspect,
                            int32_t Grip);
    // The point of the single selected polyline drawn within 3 client pixels of (X, Y), -1 when
    // none; the segment passing within 1.5 pixels (the closing one of a closed polyline last).
    int32_t FindPolylinePoint(int32_t X, int32_t Y);
    int32_t FindPolylineSegment(int32_t X, int32_t Y);
    // The box of an angle: centred on the vertex, large enough for both legs.
    static void IEAngleObjectBounds(const win::POINT* Points, cl::TRect& Box);
    // Rubber bands of the object being created, between the press point and the mouse, drawn
    // with the insertion pen; with XorMode they erase themselves (an inverting pen draws again,
    // any other pen repaints the band's rectangle from the back buffer).
    virtual void DrawLineInserting(bool XorMode);
    virtual void DrawRectInserting(bool XorMode);
    virtual void DrawEllipseInserting(bool XorMode);
    void DrawBoxInserting(bool XorMode, bool Ellipse);
    virtual void DrawRulerInserting();
    virtual void DrawAngleInserting();
    // The interaction under way.
    uint8_t GetCreatingKind() const { return FCreatingKind; }
    int32_t GetDraggedGrip() const { return FDraggedGrip; }
    bool GetDragging() const { return FDragging; }
    int32_t GetPolylinePoint() const { return FPolylinePoint; }
    int32_t GetPolylineSegment() const { return FPolylineSegment; }
    // Resizing by grips always keeps the aspect, as if Alt were held.
    bool KeepObjectsAspect = false;

protected:
    void MouseUp(cl::TMouseButton Button, cl::TShiftState Shift, int X, int Y) override;
    // (X, Y) limited to the image area on screen.
    void ClampToImage(int32_t& X, int32_t& Y);
    // Paints now what is waiting to be painted.
    void FlushPaint();
    void RepaintNow();
    // Draws (Show) or erases the rubber band of a shape (0 line, 1 rectangle, 2 ellipse); an
    // erase only undoes a band that was drawn and not painted over since.
    void ShowBand(int32_t Shape, bool Show);
    // Adds a copy of the template with the empty box (1000000, 1000000, -1000000, -1000000):
    // the start of an angle or a polyline.
    int32_t AddEmptyBoxCopy();
    void ShowGripCursor(cl::TShiftState Shift, int32_t X, int32_t Y);
    void DragGrip(cl::TShiftState Shift, int32_t X, int32_t Y);
    void DragPolylinePoint(int32_t X, int32_t Y);
    void DragSelectionRect(cl::TShiftState Shift, int32_t X, int32_t Y);
    void DragCreating(cl::TShiftState Shift, int32_t X, int32_t Y);
    void CreateFromRelease();
    void HoverExtObject(cl::TShiftState Shift, int32_t X, int32_t Y);
    // The offsets in bitmap units of this move since the last one of the drag.
    void DragOffsets(int32_t X, int32_t Y, int32_t& DX, int32_t& DY);
    cl::TPoint FDownPoint{0, 0};     // the press point in the image area (client)
    cl::TPoint FCurrentPoint{0, 0};  // the far end of the rubber band (client)
    cl::TPoint FLastMouse{0, 0};     // the last mouse point (client)
    int32_t FDragAccumX = 0, FDragAccumY = 0;
    int32_t FPolylineObj = -1, FAngleObj = -1;
    cl::TPoint FLastPolylinePoint{0, 0};
    int32_t FPolylinePoint = -1, FPolylineSegment = -1;
    bool FPolylineEdited = false;
    bool FDoubleClicked = false, FSelectDeferred = false, FDragging = false, FLeftHeld = false, FBandShown = false;
    // ----- end of mouse interaction

    // ----- in-place text editing, keyboard and focus (vovozidvect_edit.cpp)
public:
    // True while a text or memo object is edited in place.
    bool IsEditingText() const { return FEditing >= 0; }
    // The object edited in place, -1 when none.
    int32_t GetEditing() const { return FEditing; }
    // Begins editing the object whose handle is in FEditing: a text in the single-line
    // editor, a memo in the rich-text editor, both placed over the object. An object whose
    // TextEditable is off is not edited (FEditing becomes -1).
    void StartTextEdit();
    // Gives the edited text back to the object and hides the editor; FEditing stays
    // (CancelInteraction resets it).
    void EndTextEdit();
    // The editors (hidden while nothing is edited).
    TIEEdit* GetTextEditor() const { return FTextEditor.get(); }
    TIETextControl* GetMemoEditor() const { return FMemoEditor.get(); }
    // Stored in the memo editor.
    cl::TNotifyEvent GetOnTextEditCursorMoved() const;
    void SetOnTextEditCursorMoved(cl::TNotifyEvent Value);
    // Paints the view; the first paint while the primary button is down switches to fast
    // drawing until the redraw timer finds the button up again.
    void Paint() override;
    // The redraw timer: once the button is up, full-quality drawing comes back.
    void DelayedRedrawTimer(cl::TObject* Sender);
    cl::TTimer* GetRedrawTimer() const { return FRedrawTimer.get(); }
    // Keeps the visible editor over the edited object when the view scrolls or zooms.
    void DoViewChange(int32_t Change) override;
    void KeyDown(uint16_t& Key, cl::TShiftState Shift) override;
    void WMKeyDown(cl::TMessage& Message);
    void WMGetDlgCode(cl::TMessage& Message);
    void WMSetFocus(cl::TMessage& Message);
    void WMKillFocus(cl::TMessage& Message);

protected:
    // The editors' handlers.
    void TextEditChange(cl::TObject* Sender);
    void TextEditKeyPress(cl::TObject* Sender, uint16_t& Key, cl::TShiftState Shift);
    void MemoEditKeyPress(cl::TObject* Sender, uint16_t& Key, cl::TShiftState Shift);
    // Constructor and destructor parts: the editors and the timer; ending an edit.
    void InitTextEditing();
    void DoneTextEditing();
    // Ends the edit in progress, forgets the edited object and redraws.
    void CancelTextEdit();
    // The view's font takes the character set of the system language (Greek, Russian).
    void ApplyLanguageCharset();
    // Draws a memo's styled text through a temporary rich-text control.
    void DrawMemoText(TIECanvas* Canvas, TIEVObjRecord& Obj, int32_t X1, int32_t Y1, double ZoomY, bool AlphaPass);
    int32_t FEditing = -1;
    // The object whose text an editor holds (-1: none); only this one gets text back.
    int32_t FEditorObject = -1;
    bool FEditorIsMemo = false;
    bool FDestroying = false;
    std::unique_ptr<TIEEdit> FTextEditor;
    std::unique_ptr<TIETextControl> FMemoEditor;
    std::unique_ptr<cl::TTimer> FRedrawTimer;
    // ----- end of in-place text editing
};

// Pixels of the rectangle (inclusive, clamped) ANDed with Color (pf24bit), or set to its red
// byte (pf8bit); other formats are left alone.
void IEAndRectWithColor(cl::TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, cl::TColor Color);
// Thickness nested outlines of the rectangle in Color, clamped into the bitmap (alpha 255).
void IEDrawRectFrame(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Thickness,
                     cl::TColor Color);
void IEDrawRectFrameVcl(cl::TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Thickness,
                        cl::TColor Color);

// True when the next four bytes are "IEV" and a version from "1" to "Q"; the position is
// restored.
bool IEIsIEVStream(cl::TStream* Stream);
// True when the stream starts a layers-with-objects container at its position: an offset
// inside the stream, a layers header after it and an object block at the offset. The
// position is restored.
bool IEIsLayersAndObjectsStream(cl::TStream* Stream);
// Registers the object file (type 25) and the layers-with-objects file (type 27) with the
// input/output engine: their content tests and loading into an attached vector view.
void IEVectRegisterFormats();
// ----- end of the object file and object undo

}  // namespace ie
