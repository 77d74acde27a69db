// The layers stream: every layer of a view with its settings and its image, the images
// stored raw, raw through zlib or by an image writer of the input/output engine. The reader
// checks every count, length and offset against the bytes the stream holds and builds the
// new layers aside, so that a damaged stream raises and leaves the view as it was.
#include "imaging/view/vovozidview_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_budget.h"
#include "imaging/core/hyieutils_streams.h"
#include "imaging/core/iestreamreader.h"
#include "imaging/formats/iezlib.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"
#include "imaging/view/vovozidview.h"

namespace ie {

namespace {

constexpr int32_t kSignatureLength = 13;
constexpr int32_t kHeaderSize = 25;
constexpr int32_t kWrittenVersion = 6;
constexpr int32_t kCodecRaw = -2;
constexpr int32_t kCodecZlib = -1;
// Deflate never packs more than 1032 bytes into one.
constexpr int64_t kDeflateMaxRatio = 1032;

constexpr const char* kDamaged = "Damaged layers stream: ";

[[noreturn]] void Damaged(const char* What) { throw cl::EReadError(cl::String(kDamaged) + What); }

// The bytes of a property record of this version when the name and the user data are empty.
int64_t MinRecordSize(int32_t Version) {
    int64_t n = 1 + 1 + 4 + 4 + 4 + 1 + 1 + 1 + 8 + 1 + 1 + 4 + 4 + 8;
    if (Version > 2) n += 1 + 1 + 1 + 4 + 4 + 1;
    if (Version > 3) n += 1;
    if (Version > 5) n += 1;
    return n;
}

// The settings a layers stream carries.
void CopyStreamedSettings(TIELayer* Dest, TIELayer* Source) {
    Dest->Visible = Source->Visible;
    Dest->ShowBox = Source->ShowBox;
    Dest->Opacity = Source->Opacity;
    Dest->PositionX = Source->PositionX;
    Dest->PositionY = Source->PositionY;
    Dest->ClipToImage = Source->ClipToImage;
    Dest->Immovable = Source->Immovable;
    Dest->Magnifier = Source->Magnifier;
    Dest->BlendMode = Source->BlendMode;
    Dest->ShownWidth = Source->ShownWidth;
    Dest->ShownHeight = Source->ShownHeight;
    Dest->OwnFilter = Source->OwnFilter;
    Dest->UseOwnFilter = Source->UseOwnFilter;
    Dest->Name = Source->Name;
    Dest->SetUserData(Source->GetUserData(), Source->GetUserDataSize());
    Dest->MaskForBelow = Source->MaskForBelow;
    Dest->Pickable = Source->Pickable;
    Dest->DimOthers = Source->DimOthers;
}

void WriteRecord(cl::TStream* Stream, TIELayer* L) {
    IEPutBool(Stream, L->Visible);
    IEPutBool(Stream, L->ShowBox);
    IEPut<int32_t>(Stream, L->Opacity);
    IEPut<int32_t>(Stream, L->PositionX);
    IEPut<int32_t>(Stream, L->PositionY);
    IEPutBool(Stream, L->ClipToImage);
    IEPutBool(Stream, L->Immovable);
    IEPutBool(Stream, L->Magnifier.Magnifier);
    IEPut<double>(Stream, L->Magnifier.Zoom);
    IEPut<uint8_t>(Stream, L->Magnifier.Shape);
    IEPut<uint8_t>(Stream, L->Magnifier.Source);
    IEPut<uint8_t>(Stream, L->BlendMode);
    IEPut<int32_t>(Stream, L->ShownWidth);
    IEPut<int32_t>(Stream, L->ShownHeight);
    IEPut<uint8_t>(Stream, static_cast<uint8_t>(L->OwnFilter));
    IEPutBool(Stream, L->UseOwnFilter);
    IEPutStr(Stream, L->Name);
    IEPut<int32_t>(Stream, L->GetUserDataSize());
    if (L->GetUserDataSize() > 0) Stream->WriteBuffer(L->GetUserData(), L->GetUserDataSize());
    IEPutBool(Stream, L->MaskForBelow);
    IEPutBool(Stream, L->Pickable);
    IEPutBool(Stream, L->DimOthers);
}

// Reads one property record into the layer by the version's conditions (the fields the
// version lacks keep their values); answers the image offset.
int64_t ReadRecord(TIEStreamReader& R, TIELayer* L, int32_t Version) {
    L->Visible = R.GetBool("record");
    L->ShowBox = R.GetBool("record");
    L->Opacity = R.Get<int32_t>("record");
    L->PositionX = R.Get<int32_t>("record");
    L->PositionY = R.Get<int32_t>("record");
    L->ClipToImage = R.GetBool("record");
    L->Immovable = R.GetBool("record");
    L->Magnifier.Magnifier = R.GetBool("record");
    L->Magnifier.Zoom = R.Get<double>("record");
    L->Magnifier.Shape = R.Get<uint8_t>("record");
    if (Version > 2) L->Magnifier.Source = R.Get<uint8_t>("record");
    L->BlendMode = R.Get<uint8_t>("record");
    L->ShownWidth = R.Get<int32_t>("record");
    L->ShownHeight = R.Get<int32_t>("record");
    if (L->ShownWidth < 0 || L->ShownHeight < 0) Damaged("displayed size");
    if (Version > 2) {
        const uint8_t filter = R.Get<uint8_t>("record");
        if (filter > rfProjectWB) Damaged("resampling filter");
        L->OwnFilter = static_cast<TResampleFilter>(filter);
        L->UseOwnFilter = R.GetBool("record");
        const int32_t nameLength = R.Length("name length");
        std::string name(static_cast<size_t>(nameLength), '\0');
        R.Bytes(name.data(), nameLength, "name");
        L->Name = std::move(name);
        const int32_t userSize = R.Length("user data size");
        if (userSize > 0) {
            std::vector<uint8_t> data(static_cast<size_t>(userSize));
            R.Bytes(data.data(), userSize, "user data");
            L->SetUserData(data.data(), userSize);
        } else {
            L->SetUserData(nullptr, 0);
        }
        L->MaskForBelow = R.GetBool("record");
    }
    if (Version > 3) L->Pickable = R.GetBool("record");
    if (Version > 5) L->DimOthers = R.GetBool("record");
    const int64_t offset = R.Get<int64_t>("image offset");
    if (offset < 0 || offset >= R.GetEnd()) Damaged("image offset");
    return offset;
}

// The file types whose readers would come back here (the view's own formats) cannot store
// a layer's image.
bool IsImageCodec(int32_t Codec) {
    if (Codec == kCodecRaw || Codec == kCodecZlib) return true;
    if (Codec == ioLYR || Codec == ioIEV || Codec == ioALL || Codec <= 0) return false;
    return IEFindFormatInfo(Codec) != nullptr;
}

void ReadImage(cl::TStream* Stream, TIEStreamReader& R, TIELayer* Layer, int32_t Codec) {
    TIEBitmap* bmp = Layer->GetBitmap();
    // A layer's picture is read within the readers' pixel budget, whatever stores it.
    TIEReaderBudgetScope budget;
    if (Codec == kCodecRaw || Codec == kCodecZlib) {
        const int32_t n = R.Length("image length");
        std::vector<uint8_t> data(static_cast<size_t>(n));
        R.Bytes(data.data(), n, "image");
        if (Codec == kCodecZlib) {
            // The raw form is below 2 GiB, and deflate packs at most 1032 bytes into one.
            std::vector<uint8_t> raw;
            int64_t rawSize = 0;
            int64_t limit = std::min<int64_t>(std::numeric_limits<int32_t>::max(), n * kDeflateMaxRatio + 64);
            // Nor more than a picture within the budget can hold: 8 bytes a pixel at most,
            // and its header.
            const int64_t budgetPixels = IEReaderPixelBudgetNow();
            if (budgetPixels > 0 && budgetPixels < limit / 8) limit = budgetPixels * 8 + 4096;
            try {
                IEZDecompressBuffer(data.data(), n, raw, rawSize, 0, limit);
            } catch (const EZLibError&) {
                Damaged("compressed image");
            }
            raw.resize(static_cast<size_t>(rawSize));
            data.swap(raw);
        }
        TIEMemStream raw(data.data(), static_cast<int64_t>(data.size()));
        if (!bmp->LoadRawFromStream(nullptr, 0, &raw)) Damaged("image");
        return;
    }
    std::unique_ptr<TVovozIdIO> io = TVovozIdIO::CreateFromBitmap(bmp);
    // A mask keeps the pixel format of its file (its grey levels are the mask).
    io->SetNativePixelFormat(Layer->MaskForBelow);
    io->LoadFromStreamFormat(Stream, Codec);
    if (io->Aborting) Damaged("image");
}

// Whether the merged picture of the view's layers is one their own pixels can justify: a
// file of a few bytes must not place a layer two billion pixels away and have the engine
// make a canvas that large.
bool MergeIsReasonable(TVovozIdView& View) {
    int64_t right = 0, bottom = 0, left = 0, top = 0, pixels = 0;
    for (int32_t i = 0; i < View.GetLayerCount(); ++i) {
        TIELayer* l = View.GetLayer(i);
        const int64_t w = l->GetShownWidth(), h = l->GetShownHeight();
        pixels += static_cast<int64_t>(l->GetBitmap()->GetWidth()) * l->GetBitmap()->GetHeight();
        if (i > 0 && l->ClipToImage) continue;
        right = std::max(right, l->PositionX + w);
        bottom = std::max(bottom, l->PositionY + h);
        left = std::min<int64_t>(left, l->PositionX);
        top = std::min<int64_t>(top, l->PositionY);
    }
    const int64_t area = (right - left) * (bottom - top);
    return right - left <= std::numeric_limits<int32_t>::max() && bottom - top <= std::numeric_limits<int32_t>::max() &&
           area <= std::max<int64_t>(int64_t{1} << 26, pixels * 16);
}

}  // namespace

bool IELayersMergeIsReasonable(TVovozIdView* View) { return MergeIsReasonable(*View); }

bool IEIsLayersStream(cl::TStream* Stream) {
    const int64_t p = Stream->GetPosition();
    uint8_t header[kHeaderSize] = {};
    bool result = false;
    try {
        if (IEReadUpTo(Stream, header, kHeaderSize) == kHeaderSize) {
            int32_t version = 0;
            std::memcpy(&version, header + kSignatureLength, 4);
            result = std::memcmp(header, IELayersSignature, kSignatureLength) == 0 && version > 0;
        }
    } catch (const std::exception&) {
        result = false;
    }
    Stream->SetPosition(p);
    return result;
}

// ---------------------------------------------------------------------------------------
// Writing

void TVovozIdView::SaveLayersToStream(cl::TStream* Stream, int32_t Codec) {
    if (Codec == 1) Codec = ioPNG;
    if (!IsImageCodec(Codec))
        throw cl::EWriteError("Layers stream: no image writer for file type " + cl::IntToStr(Codec));
    SyncLayers();
    const int32_t count = GetLayerCount();
    // A raw form beyond 2 GiB does not fit the stream's 32-bit lengths.
    if (Codec == kCodecRaw || Codec == kCodecZlib)
        for (int32_t i = 0; i < count; ++i)
            if (GetLayer(i)->GetBitmap()->RawStreamSize() > std::numeric_limits<int32_t>::max())
                throw cl::EWriteError("Layers stream: layer " + cl::IntToStr(i) + " is larger than 2 GiB");

    Stream->WriteBuffer(IELayersSignature, kSignatureLength);
    IEPut<int32_t>(Stream, kWrittenVersion);
    IEPut<int32_t>(Stream, Codec);
    IEPut<int32_t>(Stream, count);
    std::vector<int64_t> offsetAt;
    for (int32_t i = 0; i < count; ++i) {
        WriteRecord(Stream, GetLayer(i));
        offsetAt.push_back(Stream->GetPosition());
        IEPut<int64_t>(Stream, 0);  // the image offset, filled below
    }
    for (int32_t i = 0; i < count; ++i) {
        const int64_t p = Stream->GetPosition();
        Stream->SetPosition(offsetAt[static_cast<size_t>(i)]);
        IEPut<int64_t>(Stream, p);
        Stream->SetPosition(p);
        TIEBitmap* bmp = GetLayer(i)->GetBitmap();
        if (Codec == kCodecRaw || Codec == kCodecZlib) {
            cl::TMemoryStream raw;
            bool ok = true;
            if (Codec == kCodecZlib) {
                TZCompressionStream z(&raw, zlevDefault);
                ok = bmp->SaveRawToStream(nullptr, 0, &z);
            } else {
                ok = bmp->SaveRawToStream(nullptr, 0, &raw);
            }
            if (!ok || raw.GetSize() > std::numeric_limits<int32_t>::max())
                throw cl::EWriteError("Layers stream: layer " + cl::IntToStr(i) + " cannot be stored");
            IEPut<int32_t>(Stream, static_cast<int32_t>(raw.GetSize()));
            Stream->WriteBuffer(raw.GetMemory(), raw.GetSize());
        } else {
            // The view's parameters, shaped by the layer's pixel format, go to the writer.
            TIOParamsVals& params = GetIO()->Params();
            switch (bmp->GetPixelFormat()) {
                case ie1g:
                    params.BitsPerSample = 1;
                    params.SamplesPerPixel = 1;
                    break;
                case ie8g:
                    params.BitsPerSample = 8;
                    params.SamplesPerPixel = 1;
                    params.JPEGColorSpace = 1;
                    break;
                default:
                    params.BitsPerSample = 8;
                    params.SamplesPerPixel = 3;
                    params.JPEGColorSpace = 2;
                    break;
            }
            std::unique_ptr<TVovozIdIO> io = TVovozIdIO::CreateFromBitmap(bmp);
            io->Params().Assign(&params);
            io->SaveToStream(Stream, Codec);
            if (io->Aborting)
                throw cl::EWriteError("Layers stream: the image of layer " + cl::IntToStr(i) + " could not be written");
        }
        Stream->Seek(0, cl::soEnd);
    }
}

void TVovozIdView::SaveLayersToFile(const cl::String& FileName, int32_t Codec) {
    TIEWideFileStream file(FileName, cl::fmCreate);
    SaveLayersToStream(&file, Codec);
}

// ---------------------------------------------------------------------------------------
// Reading

bool TVovozIdView::LoadLayersFromStream(cl::TStream* Stream) {
    uint8_t header[kHeaderSize] = {};
    if (IEReadUpTo(Stream, header, kHeaderSize) != kHeaderSize ||
        std::memcmp(header, IELayersSignature, kSignatureLength) != 0)
        return false;
    int32_t version = 0, codec = 0, count = 0;
    std::memcpy(&version, header + 13, 4);
    std::memcpy(&codec, header + 17, 4);
    std::memcpy(&count, header + 21, 4);
    if (version < 1) {
        if (FIO) {
            TIEBitmap* base = GetLayer(0)->GetBitmap();
            FIO->Params().Width = FIO->Params().OriginalWidth = base->GetWidth();
            FIO->Params().Height = FIO->Params().OriginalHeight = base->GetHeight();
        }
        Update();
        return false;
    }
    TIEStreamReader reader(Stream, kDamaged);
    if (!IsImageCodec(codec)) Damaged("image codec");
    if (count < 0 || count > reader.Left() / MinRecordSize(version)) Damaged("layer count");
    SyncLayers();

    // The layers are read aside: the first takes layer 0's settings as its start, the others
    // those of a new layer.
    std::vector<std::unique_ptr<TIELayer>> read;
    std::vector<int64_t> offsets;
    for (int32_t i = 0; i < count; ++i) {
        auto layer = std::make_unique<TIELayer>(this, false, nullptr);
        if (i == 0) CopyStreamedSettings(layer.get(), GetLayer(0));
        offsets.push_back(ReadRecord(reader, layer.get(), version));
        layer->ClientRect = cl::TRect{0, 0, 0, 0};
        read.push_back(std::move(layer));
    }
    const int64_t after = Stream->GetPosition();
    for (int32_t i = 0; i < count; ++i) {
        Stream->SetPosition(offsets[static_cast<size_t>(i)]);
        ReadImage(Stream, reader, read[static_cast<size_t>(i)].get(), codec);
    }
    Stream->SetPosition(after);

    // Every layer is whole: they replace the view's.
    HoldUpdate();
    try {
        FCurrentLayer = 0;
        FIEBitmap = GetLayer(0)->GetBitmap();
        FBitmap = FIEBitmap->Encapsulated ? FIEBitmap->VclBitmap() : nullptr;
        FLayers.resize(1);
        if (count > 0) {
            // Layer 0 keeps its own bitmap (and the class-library bitmap behind it).
            TIELayer* base = GetLayer(0);
            CopyStreamedSettings(base, read[0].get());
            base->ClientRect = cl::TRect{0, 0, 0, 0};
            base->FreeDisplayCache();
            FIEBitmap->Assign(read[0]->GetBitmap());
            if (FBitmap) FIEBitmap->EncapsulateTBitmap(FBitmap, false);
            for (size_t i = 1; i < read.size(); ++i) FLayers.push_back(std::move(read[i]));
        }
        // The last layer read is current, or the nearest pickable one below it.
        int32_t current = GetLayerCount() - 1;
        while (current > 0 && !GetLayer(current)->Pickable) --current;
        FCurrentLayer = current;
        FIEBitmap = GetLayer(current)->GetBitmap();
        FBitmap = FIEBitmap->Encapsulated ? FIEBitmap->VclBitmap() : nullptr;
        CallBitmapChangeEvents();
    } catch (...) {
        ReleaseUpdateHold();
        throw;
    }
    ReleaseUpdateHold();
    if (FIO) {
        TIEBitmap* base = GetLayer(0)->GetBitmap();
        FIO->Params().Width = FIO->Params().OriginalWidth = base->GetWidth();
        FIO->Params().Height = FIO->Params().OriginalHeight = base->GetHeight();
    }
    Update();
    return true;
}

bool TVovozIdView::LoadLayersFromFile(const cl::String& FileName) {
    TIEWideFileStream file(FileName, cl::fmOpenRead | cl::fmShareDenyWrite);
    return LoadLayersFromStream(&file);
}

// ---------------------------------------------------------------------------------------
// The engine's entry

void IELayersRegisterFormat() {
    TIEFormatOps ops;
    ops.Probe = &IEIsLayersStream;
    IESetFormatOps(ioLYR, ops);
    IELayersRegisterPSDHooks();
    // The loader of the view's files serves the layers file here and hands the others on.
    auto& hooks = IEIOExtensionHooks();
    auto next = hooks.LoadVectorialStream;
    hooks.LoadVectorialStream = [next](TVovozIdIO* IO, cl::TStream* Stream, int32_t FileType) {
        if (FileType != ioLYR) {
            if (next) next(IO, Stream, FileType);
            return;
        }
        TIEIOViewLink* link = IO->GetAttachedVovozId();
        auto* view = link ? dynamic_cast<TVovozIdView*>(link->ViewComponent()) : nullptr;
        try {
            if (view) {
                if (!view->LoadLayersFromStream(Stream)) IO->Aborting = true;
            } else {
                // Without a view the merged layers become the component's picture.
                TVovozIdView scratch(nullptr);
                scratch.SetLegacyBitmap(false);
                if (scratch.LoadLayersFromStream(Stream) && MergeIsReasonable(scratch)) {
                    scratch.FlattenLayers();
                    IO->GetIEBitmap()->Assign(scratch.GetIEBitmap());
                } else {
                    IO->Aborting = true;
                }
            }
        } catch (const std::exception&) {
            IO->Aborting = true;
        }
        IO->Params().FileType = ioLYR;
    };
}

}  // namespace ie
