// Imaging annotations of TIFF pages: the marks (lines, rectangles, texts, embedded images)
// of the annotation block of TIFF tag 32932, as a list of objects.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"

namespace ie {

class TIEBitmap;
class TIOParamsVals;

// TIFF tag of the annotation block.
constexpr uint16_t IEImagingAnnotTag = 32932;
// Bytes of a mark's attribute record.
constexpr int32_t IEAnnotAttributesSize = 164;

// Mark types (the first int32 of the attributes).
enum : int32_t {
    IEAnnotImageEmbedded = 1,
    IEAnnotImageReference = 2,
    IEAnnotStraightLine = 3,
    IEAnnotFreehandLine = 4,
    IEAnnotHollowRect = 5,
    IEAnnotFilledRect = 6,
    IEAnnotTypedText = 7,
    IEAnnotTextFromFile = 8,
    IEAnnotTextStamp = 9,
    IEAnnotAttachANote = 10,
    IEAnnotForm = 12,
};

class TIEImagingObject : public cl::TObject {
    CL_DECLARE_CLASS(TIEImagingObject, cl::TObject)
public:
    TIEImagingObject();
    ~TIEImagingObject() override;

    // The mark-attribute record as stored in the file.
    uint8_t Attributes[IEAnnotAttributesSize] = {};
    // The points of line marks.
    std::vector<cl::TPoint> Points;
    // The text of text marks.
    cl::String Text;
    // The picture of an embedded-image mark (null when none).
    std::unique_ptr<TIEBitmap> Image;

    int32_t GetPointCount() const { return static_cast<int32_t>(Points.size()); }
    // The mark type (first int32 of the attributes) and the font height (the first field
    // of the LOGFONT at byte 48).
    int32_t GetMarkType() const;
    void SetMarkType(int32_t Value);
    int32_t GetFontHeight() const;
    void SetFontHeight(int32_t Value);
    // A deep copy of Source (attributes, points, text, image).
    void Assign(const TIEImagingObject* Source);
};

class TIEImagingAnnot : public cl::TObject {
    CL_DECLARE_CLASS(TIEImagingAnnot, cl::TObject)
public:
    explicit TIEImagingAnnot(TIOParamsVals* AParent = nullptr);
    ~TIEImagingAnnot() override;

    // Frees every object.
    void Clear();
    // Clear, then a deep copy of each of Source's objects in order.
    void Assign(const TIEImagingAnnot* Source);
    // Reads an annotation block: every field is checked against the bytes left and the
    // reading stops at the first inconsistency, keeping the marks finished so far.
    void LoadFromBuffer(const void* Data, int32_t Length);
    // A new block (free it with std::free) of the objects; null and 0 when there are none.
    void SaveToBuffer(void*& Buffer, int32_t& Length) const;

    int32_t GetObjectsCount() const { return static_cast<int32_t>(Objects.size()); }
    // Index outside 0 .. ObjectsCount - 1 raises cl::EListError.
    TIEImagingObject* GetObject(int32_t Index) const;

    TIOParamsVals* Parent = nullptr;  // not owned
    std::vector<std::unique_ptr<TIEImagingObject>> Objects;
    bool Changed = false;  // cleared by LoadFromBuffer
};

}  // namespace ie
