// The abstract repaint optimiser of the paint boxes: it collects what changed in a paint box's
// buffer and layers and turns it into the paint box's list of invalid rectangles.
#pragma once

#include <cstdint>
#include <vector>

#include "pix32/Pix32.h"
#include "pix32/Pix32_Containers.h"
#include "pix32/Pix32_Layers.h"

namespace pix32 {

class TCustomRepaintOptimizer : public cl::TObject {
    CL_DECLARE_CLASS(TCustomRepaintOptimizer, cl::TObject)
public:
    // Buffer and InvalidRects are the paint box's; the optimiser does not own them.
    TCustomRepaintOptimizer(TBitmap32* Buffer, TRectList* InvalidRects);
    // Unregisters every collection still registered.
    ~TCustomRepaintOptimizer() override;

    virtual bool GetEnabled() const { return FEnabled; }
    virtual void SetEnabled(bool Value) { FEnabled = Value; }
    bool Enabled() const { return GetEnabled(); }

    virtual void LayerCollectionNotifyHandler(TLayerCollection* Sender, TLayerListAction Action, TCustomLayer* Layer,
                                              int32_t Index) = 0;
    // Registers a collection once and routes its list notifications here.
    virtual void RegisterLayerCollection(TLayerCollection* Collection);
    virtual void UnregisterLayerCollection(TLayerCollection* Collection);
    int32_t LayerCollectionCount() const { return static_cast<int32_t>(FLayerCollections.size()); }

    virtual void BeginPaint() {}
    virtual void EndPaint() {}
    virtual void BeginPaintBuffer() {}
    virtual void EndPaintBuffer() {}

    virtual void Reset() = 0;
    virtual bool UpdatesAvailable() = 0;
    virtual void PerformOptimization() = 0;
    virtual void AreaUpdateHandler(cl::TObject* Sender, const TRect& Area, uint32_t Info) = 0;
    virtual void LayerUpdateHandler(cl::TObject* Sender, TCustomLayer* Layer) = 0;
    virtual void BufferResizedHandler(int32_t NewWidth, int32_t NewHeight) = 0;

    TBitmap32* Buffer() const { return FBuffer; }
    TRectList* InvalidRects() const { return FInvalidRects; }

protected:
    // Derived destructors unregister the collections while their own unregistering runs.
    void UnregisterAll();

    std::vector<TLayerCollection*> FLayerCollections;
    TRectList* FInvalidRects = nullptr;
    TBitmap32* FBuffer = nullptr;
    bool FEnabled = false;
};

// Creates an optimiser of some class for a paint box's buffer and rectangle list.
using TCustomRepaintOptimizerClass = TCustomRepaintOptimizer* (*)(TBitmap32* Buffer, TRectList* InvalidRects);

}  // namespace pix32
