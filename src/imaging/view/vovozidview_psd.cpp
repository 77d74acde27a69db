// Photoshop layers and the view: the input/output component hands the layers it reads to an
// attached view, and takes the view's layers and their merged picture when it saves.
#include <memory>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/formats/iepsd.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/view/vovozidview.h"
#include "imaging/view/vovozidview_stream.h"

namespace ie {

namespace {

TVovozIdView* AttachedView(TVovozIdIO* IO) {
    TIEIOViewLink* link = IO->GetAttachedVovozId();
    return link ? dynamic_cast<TVovozIdView*>(link->ViewComponent()) : nullptr;
}

// A view layer from a document layer: placement, opacity, flags, name and a copy of the
// pixels.
void CopyInto(TIELayer* Dest, const TIEPSDLayer& Source) {
    if (Source.Bitmap) {
        TIEBitmap* b = Dest->GetBitmap();
        b->Assign(Source.Bitmap.get());
        // The reader writes the alpha bytes after the channel was made opaque: whether it is
        // still fully opaque is found again, so that the transparency is drawn.
        if (b->HasAlphaChannel()) b->GetAlphaChannel()->SyncFull();
    }
    Dest->PositionX = Source.PositionX;
    Dest->PositionY = Source.PositionY;
    Dest->ShownWidth = Source.ShownWidth;
    Dest->ShownHeight = Source.ShownHeight;
    Dest->Opacity = Source.Opacity;
    Dest->Visible = Source.Visible;
    Dest->ClipToImage = Source.ClipToImage;
    Dest->MaskForBelow = Source.MaskForBelow;
    Dest->Name = Source.Name;
    Dest->OwnFilter = Source.OwnFilter;
    Dest->UseOwnFilter = Source.UseOwnFilter;
    Dest->FreeDisplayCache();
}

void TakeLayers(TVovozIdIO* IO, TIEPSDLayers& Layers) {
    TVovozIdView* view = AttachedView(IO);
    if (!view || Layers.empty()) return;
    const TIOParamsVals& params = IO->Params();
    int32_t idx = 0;
    if (params.PSDReplaceLayers) {
        view->LayersClear();
    } else {
        idx = view->LayersAdd();
    }
    const TIEPSDLayer& first = *Layers.front();
    if (first.PositionX != 0 || first.PositionY != 0) {
        // A transparent background of the document's size stays under the layers.
        TIELayer* background = view->GetLayer(idx);
        background->Reset();
        background->Immovable = true;
        TIEBitmap* b = background->GetBitmap();
        b->Allocate(params.Width, params.Height, ie24RGB);
        b->Fill(static_cast<double>(cl::ColorToRGB(view->GetBackground())));
        b->GetAlphaChannel()->Fill(0);
        b->GetAlphaChannel()->Full = false;
        idx = view->LayersAdd();
    }
    CopyInto(view->GetLayer(idx), first);
    for (size_t i = 1; i < Layers.size(); ++i) CopyInto(view->GetLayer(view->LayersAdd()), *Layers[i]);
    view->Update();
}

void GiveLayers(TVovozIdIO* IO, TIEPSDLayers& Layers, TIEBitmap& Merged) {
    TVovozIdView* view = AttachedView(IO);
    if (!view) return;
    view->SyncLayers();
    for (int32_t i = 0; i < view->GetLayerCount(); ++i) {
        TIELayer* l = view->GetLayer(i);
        auto layer = std::make_unique<TIEPSDLayer>();
        layer->Bitmap = std::make_unique<TIEBitmap>();
        layer->Bitmap->Assign(l->GetBitmap());
        layer->PositionX = l->PositionX;
        layer->PositionY = l->PositionY;
        layer->ShownWidth = l->ShownWidth;
        layer->ShownHeight = l->ShownHeight;
        layer->Opacity = l->Opacity;
        layer->Visible = l->Visible;
        layer->ClipToImage = l->ClipToImage;
        layer->MaskForBelow = l->MaskForBelow;
        layer->Name = l->Name;
        layer->OwnFilter = l->OwnFilter;
        layer->UseOwnFilter = l->UseOwnFilter;
        Layers.push_back(std::move(layer));
    }
    // The merged picture in the pixel format of layer 0.
    view->RenderLayersTo(&Merged);
    const TIEPixelFormat base = view->GetLayer(0)->GetBitmap()->GetPixelFormat();
    if (base != ieNone && base != Merged.GetPixelFormat()) Merged.SetPixelFormat(base);
}

}  // namespace

void IELayersRegisterPSDHooks() {
    TIEPSDViewHooks& hooks = IEPSDViewHooks();
    hooks.HoldsLayers = [](TVovozIdIO* IO) { return AttachedView(IO) != nullptr; };
    hooks.TakeLayers = &TakeLayers;
    hooks.GiveLayers = &GiveLayers;
}

}  // namespace ie
