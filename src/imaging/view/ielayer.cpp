// One layer of an image view.
#include "imaging/view/ielayer.h"

#include <cmath>
#include <cstring>
#include <random>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/iestreamreader.h"
#include "imaging/view/vovozidview.h"

namespace ie {

win::GUID IENewLayerGUID() {
    static thread_local std::mt19937_64 engine{std::random_device{}()};
    uint64_t a = engine(), b = engine();
    win::GUID g;
    g.Data1 = static_cast<uint32_t>(a);
    g.Data2 = static_cast<uint16_t>(a >> 32);
    // Version 4 (random) and the standard variant.
    g.Data3 = static_cast<uint16_t>(((a >> 48) & 0x0FFF) | 0x4000);
    for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<uint8_t>(b >> (8 * i));
    g.Data4[0] = static_cast<uint8_t>((g.Data4[0] & 0x3F) | 0x80);
    return g;
}

TIELayer::TIELayer(TVovozIdView* Owner, bool UseBitmap, TIEBitmap* Bitmap) : GUID(IENewLayerGUID()), FOwner(Owner) {
    if (UseBitmap) {
        FBitmap = Bitmap;
    } else {
        auto own = std::make_unique<TIEBitmap>();
        if (Bitmap) {
            if (Bitmap->GetLocation() == ieTBitmap && Bitmap->Encapsulated && Bitmap->VclBitmap()) {
                // A legacy bitmap is shaped by a class-library bitmap of the same kind.
                auto vcl = std::make_unique<cl::TBitmap>();
                vcl->SetPixelFormat(Bitmap->VclBitmap()->GetPixelFormat());
                vcl->SetSize(Bitmap->VclBitmap()->GetWidth(), Bitmap->VclBitmap()->GetHeight());
                own->EncapsulateTBitmap(vcl.release(), true);
            } else {
                own->SetLocation(Bitmap->GetLocation());
                own->Allocate(Bitmap->GetWidth(), Bitmap->GetHeight(), Bitmap->GetPixelFormat());
            }
        }
        FBitmap = own.release();
    }
    FOwnsBitmap = true;
    Reset();
}

TIELayer::~TIELayer() {
    if (FOwnsBitmap && FBitmap) {
        // An encapsulated class-library bitmap belongs to the layer as well.
        std::unique_ptr<cl::TBitmap> vcl;
        if (FBitmap->Encapsulated) vcl.reset(FBitmap->VclBitmap());
        delete FBitmap;
    }
}

void TIELayer::Reset() {
    ShownWidth = 0;
    ShownHeight = 0;
    Visible = true;
    ShowBox = true;
    Opacity = 255;
    PositionX = 0;
    PositionY = 0;
    ClientRect = cl::TRect{0, 0, 0, 0};
    ClipToImage = false;
    Immovable = false;
    Pickable = true;
    Magnifier = TIELayerMagnifier{};
    BlendMode = 0;
    SetUserData(nullptr, 0);
    MaskForBelow = false;
    std::memset(DrawInfo, 0, sizeof(DrawInfo));
    for (cl::TPoint& p : RotatedCorners) p = cl::TPoint{0, 0};
    DimOthers = false;
    PivotX = 0.5;
    PivotY = 0.5;
    FDisplayCache.reset();
    SetRotate(0);
}

void TIELayer::Assign(TIELayer* Source) {
    if (!Source || Source == this) return;
    ShownWidth = Source->ShownWidth;
    ShownHeight = Source->ShownHeight;
    if (FBitmap && Source->FBitmap) FBitmap->Assign(Source->FBitmap);
    Visible = Source->Visible;
    ShowBox = Source->ShowBox;
    Pickable = Source->Pickable;
    Opacity = Source->Opacity;
    PositionX = Source->PositionX;
    PositionY = Source->PositionY;
    ClientRect = Source->ClientRect;
    ClipToImage = Source->ClipToImage;
    Immovable = Source->Immovable;
    Magnifier = Source->Magnifier;
    BlendMode = Source->BlendMode;
    OwnFilter = Source->OwnFilter;
    UseOwnFilter = Source->UseOwnFilter;
    Name = Source->Name;
    MaskForBelow = Source->MaskForBelow;
    DimOthers = Source->DimOthers;
    // The user data is copied, so that no two layers own the same block.
    SetUserData(Source->GetUserData(), Source->GetUserDataSize());
    FDisplayCache.reset();
}

int32_t TIELayer::GetShownWidth() const {
    if (ShownWidth != 0) return ShownWidth;
    return FBitmap ? FBitmap->GetWidth() : 0;
}

int32_t TIELayer::GetShownHeight() const {
    if (ShownHeight != 0) return ShownHeight;
    return FBitmap ? FBitmap->GetHeight() : 0;
}

void TIELayer::SetRotate(double Value) {
    if (Value == std::trunc(Value) && std::fmod(Value, 360.0) == 0)
        Angle = 0;
    else
        Angle = Value;
}

void TIELayer::SetDisplayCache(std::unique_ptr<TIEBitmap> Cache) { FDisplayCache = std::move(Cache); }

void TIELayer::FreeDisplayCache() { FDisplayCache.reset(); }

void TIELayer::SetUserData(const void* Data, int32_t Size) {
    if (Data == FUserData.get() && Size == FUserDataSize) return;
    if (Size <= 0 || !Data) {
        FUserData.reset();
        FUserDataSize = 0;
        return;
    }
    auto copy = std::make_unique<uint8_t[]>(static_cast<size_t>(Size));
    std::memcpy(copy.get(), Data, static_cast<size_t>(Size));
    FUserData = std::move(copy);
    FUserDataSize = Size;
}

// ---------------------------------------------------------------------------------------
// The undo record

namespace {

void WriteMagnifier(cl::TStream* Stream, const TIELayerMagnifier& M) {
    uint8_t block[IELayerMagnifierBlockSize] = {};
    block[0] = M.Magnifier ? 1 : 0;
    std::memcpy(block + 8, &M.Zoom, 8);
    block[16] = M.Shape;
    block[17] = M.Source;
    Stream->WriteBuffer(block, sizeof(block));
}

TIELayerMagnifier ReadMagnifier(const uint8_t* block) {
    TIELayerMagnifier m;
    m.Magnifier = block[0] != 0;
    std::memcpy(&m.Zoom, block + 8, 8);
    m.Shape = block[16];
    m.Source = block[17];
    return m;
}

}  // namespace

void TIELayer::SaveUndoRecord(cl::TStream* Stream, bool WithBitmap) {
    int64_t start = Stream->GetPosition();
    IEPut<int32_t>(Stream, 0);  // the length, patched below
    IEPut(Stream, GUID);
    IEPut<int32_t>(Stream, ShownWidth);
    IEPut<int32_t>(Stream, ShownHeight);
    IEPutBool(Stream, Visible);
    IEPutBool(Stream, ShowBox);
    IEPutBool(Stream, Pickable);
    IEPut<int32_t>(Stream, Opacity);
    IEPut<int32_t>(Stream, PositionX);
    IEPut<int32_t>(Stream, PositionY);
    IEPut<int32_t>(Stream, ClientRect.left);
    IEPut<int32_t>(Stream, ClientRect.top);
    IEPut<int32_t>(Stream, ClientRect.right);
    IEPut<int32_t>(Stream, ClientRect.bottom);
    IEPutBool(Stream, ClipToImage);
    IEPutBool(Stream, Immovable);
    WriteMagnifier(Stream, Magnifier);
    IEPut<uint8_t>(Stream, BlendMode);
    // The user data stays with the layer: the record keeps no reference to it.
    IEPut<int32_t>(Stream, 0);
    IEPut<uint8_t>(Stream, OwnFilter);
    IEPutBool(Stream, UseOwnFilter);
    IEPutStr(Stream, Name);
    IEPutBool(Stream, MaskForBelow);
    IEPutBool(Stream, DimOthers);
    IEPut<double>(Stream, Angle);
    IEPut<double>(Stream, PivotX);
    IEPut<double>(Stream, PivotY);
    bool withBitmap = WithBitmap && FBitmap;
    IEPutBool(Stream, withBitmap);
    if (withBitmap) FBitmap->SaveRawToStream(nullptr, 0, Stream);
    int64_t end = Stream->GetPosition();
    int64_t length = end - start;
    if (length > INT32_MAX) throw cl::Exception("Layer too large for an undo record");
    Stream->SetPosition(start);
    IEPut<int32_t>(Stream, static_cast<int32_t>(length));
    Stream->SetPosition(end);
}

bool TIELayer::LoadUndoRecord(cl::TStream* Stream) {
    int64_t start = Stream->GetPosition();
    int32_t length = 0;
    if (Stream->Read(&length, 4) != 4 || length < 4 || start + length > Stream->GetSize()) {
        Stream->SetPosition(start);
        return false;
    }
    TIEStreamReader r(Stream, "Damaged layer undo record: ", start + length);
    // Everything is read into a copy first: a damaged record changes nothing.
    win::GUID guid;
    int32_t shownW = 0, shownH = 0, opacity = 0, posX = 0, posY = 0;
    bool visible = false, showBox = false, pickable = false, clip = false, immovable = false, useOwn = false;
    bool maskBelow = false, dim = false, withBitmap = false;
    cl::TRect rect{};
    uint8_t magnifier[IELayerMagnifierBlockSize] = {};
    uint8_t blend = 0, ownFilter = 0;
    double angle = 0, pivotX = 0, pivotY = 0;
    std::string name;
    bool ok = true;
    try {
        guid = r.Get<win::GUID>("record");
        shownW = r.Get<int32_t>("record");
        shownH = r.Get<int32_t>("record");
        visible = r.GetBool("record");
        showBox = r.GetBool("record");
        pickable = r.GetBool("record");
        opacity = r.Get<int32_t>("record");
        posX = r.Get<int32_t>("record");
        posY = r.Get<int32_t>("record");
        rect.left = r.Get<int32_t>("record");
        rect.top = r.Get<int32_t>("record");
        rect.right = r.Get<int32_t>("record");
        rect.bottom = r.Get<int32_t>("record");
        clip = r.GetBool("record");
        immovable = r.GetBool("record");
        r.Bytes(magnifier, sizeof(magnifier), "record");
        blend = r.Get<uint8_t>("record");
        (void)r.Get<int32_t>("user data");  // the user data stays with the layer
        ownFilter = r.Get<uint8_t>("record");
        useOwn = r.GetBool("record");
        name = r.Str("name");
        maskBelow = r.GetBool("record");
        dim = r.GetBool("record");
        angle = r.Get<double>("record");
        pivotX = r.Get<double>("record");
        pivotY = r.Get<double>("record");
        withBitmap = r.GetBool("record");
        ok = ownFilter <= rfProjectWB;
    } catch (const cl::EReadError&) {
        ok = false;
    }
    if (ok && withBitmap) {
        if (!FBitmap) {
            ok = false;
        } else {
            // The pixels go to a scratch bitmap first, then into the layer's own.
            TIEBitmap scratch;
            ok = scratch.LoadRawFromStream(nullptr, 0, Stream) && Stream->GetPosition() <= start + length;
            if (ok) FBitmap->Assign(&scratch);
        }
    }
    if (!ok) {
        Stream->SetPosition(start);
        return false;
    }
    GUID = guid;
    ShownWidth = shownW;
    ShownHeight = shownH;
    Visible = visible;
    ShowBox = showBox;
    Pickable = pickable;
    Opacity = opacity;
    PositionX = posX;
    PositionY = posY;
    ClientRect = rect;
    ClipToImage = clip;
    Immovable = immovable;
    Magnifier = ReadMagnifier(magnifier);
    BlendMode = blend;
    OwnFilter = static_cast<TResampleFilter>(ownFilter);
    UseOwnFilter = useOwn;
    Name = std::move(name);
    MaskForBelow = maskBelow;
    DimOthers = dim;
    Angle = angle;
    PivotX = pivotX;
    PivotY = pivotY;
    FDisplayCache.reset();
    Stream->SetPosition(start + length);
    return true;
}

// ---------------------------------------------------------------------------------------
// Coordinates

int32_t TIELayer::ClientToLayerX(int32_t X) const {
    int32_t shown = GetShownWidth();
    if (!FOwner || shown == 0 || !FBitmap) return 0;
    double b = FOwner->ClientToBitmapX(X - static_cast<int32_t>(std::trunc(PositionX * FOwner->GetZoomFactorX())));
    return static_cast<int32_t>(std::trunc(b / shown * FBitmap->GetWidth()));
}

int32_t TIELayer::ClientToLayerY(int32_t Y) const {
    int32_t shown = GetShownHeight();
    if (!FOwner || shown == 0 || !FBitmap) return 0;
    double b = FOwner->ClientToBitmapY(Y - static_cast<int32_t>(std::trunc(PositionY * FOwner->GetZoomFactorY())));
    return static_cast<int32_t>(std::trunc(b / shown * FBitmap->GetHeight()));
}

int32_t TIELayer::LayerToClientX(int32_t X) const {
    if (!FOwner || !FBitmap || FBitmap->GetWidth() == 0) return 0;
    double b = static_cast<double>(X) / FBitmap->GetWidth() * GetShownWidth();
    return FOwner->BitmapToClientX(static_cast<int32_t>(std::trunc(b))) +
           static_cast<int32_t>(std::trunc(PositionX * FOwner->GetZoomFactorX()));
}

int32_t TIELayer::LayerToClientY(int32_t Y) const {
    if (!FOwner || !FBitmap || FBitmap->GetHeight() == 0) return 0;
    double b = static_cast<double>(Y) / FBitmap->GetHeight() * GetShownHeight();
    return FOwner->BitmapToClientY(static_cast<int32_t>(std::trunc(b))) +
           static_cast<int32_t>(std::trunc(PositionY * FOwner->GetZoomFactorY()));
}

}  // namespace ie
