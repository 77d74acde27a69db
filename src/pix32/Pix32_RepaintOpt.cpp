#include "pix32/Pix32_RepaintOpt.h"

#include <algorithm>

namespace pix32 {

TCustomRepaintOptimizer::TCustomRepaintOptimizer(TBitmap32* Buffer, TRectList* InvalidRects)
    : FInvalidRects(InvalidRects), FBuffer(Buffer) {}

TCustomRepaintOptimizer::~TCustomRepaintOptimizer() { UnregisterAll(); }

void TCustomRepaintOptimizer::UnregisterAll() {
    while (!FLayerCollections.empty()) UnregisterLayerCollection(FLayerCollections.back());
}

void TCustomRepaintOptimizer::RegisterLayerCollection(TLayerCollection* Collection) {
    if (!Collection) return;
    if (std::find(FLayerCollections.begin(), FLayerCollections.end(), Collection) != FLayerCollections.end()) return;
    FLayerCollections.push_back(Collection);
    Collection->OnListNotify = [this](TLayerCollection* Sender, TLayerListAction Action, TCustomLayer* Layer,
                                      int32_t Index) { LayerCollectionNotifyHandler(Sender, Action, Layer, Index); };
}

void TCustomRepaintOptimizer::UnregisterLayerCollection(TLayerCollection* Collection) {
    auto it = std::find(FLayerCollections.begin(), FLayerCollections.end(), Collection);
    if (it == FLayerCollections.end()) return;
    Collection->OnListNotify = nullptr;
    FLayerCollections.erase(it);
}

}  // namespace pix32
