// One layer of an image view: a bitmap with its placement (position, displayed size,
// rotation), opacity, blend mode, interaction flags, the roles of mask of the layer below and
// of magnifying glass, a name, user data and a GUID that identifies it across undo. The PSD
// reader also makes free-standing layers (no view).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "classlib/Classes.h"
#include "classlib/Graphics.h"
#include "imaging/core/hyiedefs.h"
#include "platform/com.h"

namespace ie {

class TIEBitmap;
class TVovozIdView;

// A new random GUID (version 4).
win::GUID IENewLayerGUID();

// The magnifier block as it is stored in an undo record: 24 bytes.
struct TIELayerMagnifier {
    bool Magnifier = false;
    double Zoom = 2.0;
    uint8_t Shape = 0;   // 0 rectangle, 1 ellipse
    uint8_t Source = 1;  // 0 layer 0's bitmap, 1 the composed back buffer
};
constexpr int32_t IELayerMagnifierBlockSize = 24;

class TIELayer : public cl::TObject {
    CL_DECLARE_CLASS(TIELayer, cl::TObject)
public:
    // With UseBitmap the layer takes Bitmap itself; otherwise it makes a bitmap of its own,
    // shaped like Bitmap when one is given (same storage, size and pixel format; content
    // undefined). The layer owns its bitmap in both cases.
    TIELayer(TVovozIdView* Owner, bool UseBitmap, TIEBitmap* Bitmap);
    // Frees an owned bitmap (and the class-library bitmap it encapsulates), the user data
    // and the display cache.
    ~TIELayer() override;
    TIELayer(const TIELayer&) = delete;
    TIELayer& operator=(const TIELayer&) = delete;

    // Every setting back to its default except the displayed size (0), the name, the GUID,
    // the bitmap, the owner, the bitmap's ownership and the own filter.
    void Reset();
    // Settings, name and pixels of Source; the angle, the rotation centre and the GUID stay.
    void Assign(TIELayer* Source);
    // The displayed size: ShownWidth/ShownHeight, or the bitmap's when 0.
    int32_t GetShownWidth() const;
    int32_t GetShownHeight() const;
    // Stores the angle; a whole multiple of 360 degrees is stored as 0.
    void SetRotate(double Angle);
    bool IsRotated() const { return Angle != 0; }

    // The undo record: every placement and flag, the name, the rotation and, WithBitmap,
    // the pixels in the raw bitmap format.
    void SaveUndoRecord(cl::TStream* Stream, bool WithBitmap);
    // Reads a record written by SaveUndoRecord. False, with the layer unchanged, when the
    // record is short or damaged.
    bool LoadUndoRecord(cl::TStream* Stream);

    // Client coordinates of the owner view to the layer's bitmap and back (0 without an
    // owner or with a displayed size of 0).
    int32_t ClientToLayerX(int32_t X) const;
    int32_t ClientToLayerY(int32_t Y) const;
    int32_t LayerToClientX(int32_t X) const;
    int32_t LayerToClientY(int32_t Y) const;

    TIEBitmap* GetBitmap() const { return FBitmap; }
    TVovozIdView* GetOwner() const { return FOwner; }
    bool GetOwnsBitmap() const { return FOwnsBitmap; }
    // Replaces the bitmap without freeing the old one; the caller says who owns the new one.
    void ReplaceBitmap(TIEBitmap* Bitmap, bool Owns) {
        FBitmap = Bitmap;
        FOwnsBitmap = Owns;
    }
    // The display alpha of the last composition (owned), dropped by the view's Update.
    TIEBitmap* GetDisplayCache() const { return FDisplayCache.get(); }
    void SetDisplayCache(std::unique_ptr<TIEBitmap> Cache);
    void FreeDisplayCache();
    // A copy of Data (Size bytes) becomes the user data; Size 0 frees it.
    void SetUserData(const void* Data, int32_t Size);
    const void* GetUserData() const { return FUserData.get(); }
    int32_t GetUserDataSize() const { return FUserDataSize; }

    int32_t ShownWidth = 0;
    int32_t ShownHeight = 0;
    double Angle = 0;
    bool Visible = true;
    bool ShowBox = true;
    int32_t Opacity = 255;
    int32_t PositionX = 0;
    int32_t PositionY = 0;
    cl::TRect ClientRect{0, 0, 0, 0};
    bool ClipToImage = false;
    bool Immovable = false;
    bool Pickable = true;
    TIELayerMagnifier Magnifier;
    uint8_t BlendMode = 0;
    TResampleFilter OwnFilter = rfNone;
    bool UseOwnFilter = false;
    std::string Name;
    bool MaskForBelow = false;
    // Destination X, Y, width, height and source X, Y, width, height of the last composition.
    int32_t DrawInfo[8] = {};
    cl::TPoint RotatedCorners[4] = {};
    bool DimOthers = false;
    win::GUID GUID;
    double PivotX = 0.5;
    double PivotY = 0.5;

private:
    std::unique_ptr<TIEBitmap> FDisplayCache;
    TVovozIdView* FOwner = nullptr;
    TIEBitmap* FBitmap = nullptr;  // owned when FOwnsBitmap
    std::unique_ptr<uint8_t[]> FUserData;
    int32_t FUserDataSize = 0;
    bool FOwnsBitmap = true;
};

}  // namespace ie
