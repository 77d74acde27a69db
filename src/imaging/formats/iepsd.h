// Photoshop documents: reader, writer and probe of the merged picture, the image resources
// (resolution, IPTC, ICC, XMP, the transparent palette index, the JPEG thumbnail) and the
// layers, and the input/output component's layered loads and saves.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

class TVovozIdIO;

// One layer of a document as the reader makes it and the writer takes it.
struct TIEPSDLayer {
    std::unique_ptr<TIEBitmap> Bitmap;  // the pixels (alpha channel = transparency); null until read
    int32_t PositionX = 0, PositionY = 0;
    int32_t ShownWidth = 0, ShownHeight = 0;  // displayed size; 0: the bitmap's own
    int32_t Opacity = 255;
    bool Visible = true;
    bool ClipToImage = false;
    bool MaskForBelow = false;  // the 8-bit mask of the layer before it in the list
    cl::String Name;
    char BlendMode[4] = {'n', 'o', 'r', 'm'};  // the blend-mode key of the layer record
    TResampleFilter OwnFilter = rfNone;
    bool UseOwnFilter = false;

    int32_t GetShownWidth() const;
    int32_t GetShownHeight() const;
};
using TIEPSDLayers = std::vector<std::unique_ptr<TIEPSDLayer>>;

// True when the 26-byte header at the stream's position (restored) is "8BPS", version 1,
// 1 to 24 channels, depth 1 to 16 and a colour mode below 10.
bool IEIsPSDStream(cl::TStream* Stream);

// Reads the document at the stream's position. Bitmap null reads the parameters only.
// Layers (may be null) receives the layers: all of them with LoadLayers, else only the layer
// of a single-layer document; the merged picture is read unless layers went into the list.
// Bad headers, short data and sizes the data cannot fill set the abort flag.
void IEReadPSDStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEPSDLayers* Layers,
                     bool LoadLayers, TProgressRec& Progress);

// Writes the layers (may be empty) and Bitmap, the merged picture, whose pixel format gives
// the colour mode and depth. The layers are written from converted copies. ie32f and empty
// pictures set the abort flag and write nothing.
void IEWritePSDStream(cl::TStream* Stream, TIOParamsVals& Params, TProgressRec& Progress, const TIEPSDLayers& Layers,
                      TIEBitmap* Bitmap);

// PackBits: decodes Count bytes into a row of RowLength bytes (output past the row is
// dropped, a short row is zero-filled); encodes one row, appending to Out.
void IEPSDUnpackBits(const uint8_t* Data, int64_t Count, uint8_t* Row, int64_t RowLength);
void IEPSDPackBits(const uint8_t* Row, int64_t RowLength, std::vector<uint8_t>& Out);

// What a view holding layers provides to the component's layered loads and saves; each is
// null while no such view exists, and the loads and saves then work on the component's
// single picture.
struct TIEPSDViewHooks {
    // True when the component's attached view holds layers.
    std::function<bool(TVovozIdIO* IO)> HoldsLayers;
    // Hands the layers read (PSDLoadLayers set) to the attached view, which replaces or
    // appends by PSDReplaceLayers.
    std::function<void(TVovozIdIO* IO, TIEPSDLayers& Layers)> TakeLayers;
    // The attached view's layers (copies) and their merged picture for a save.
    std::function<void(TVovozIdIO* IO, TIEPSDLayers& Layers, TIEBitmap& Merged)> GiveLayers;
};
TIEPSDViewHooks& IEPSDViewHooks();

// The JPEG coder of the thumbnail resource: null until a JPEG codec provides it, and the
// thumbnail is then neither read nor written.
extern bool (*IEPSDReadThumbnailJPEG)(cl::TStream* Stream, TIEBitmap* Bitmap);
extern bool (*IEPSDWriteThumbnailJPEG)(cl::TStream* Stream, TIEBitmap* Bitmap);

// The engine's entry of the format (ioPSD) and the component's layered load and save.
void IEPSDRegisterFormat();

}  // namespace ie
