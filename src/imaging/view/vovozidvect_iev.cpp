// The object file of the vector view: a header, the shared picture table (each picture as PNG,
// BMP in the oldest versions) and the object records in one zlib stream. The layers-with-objects
// container puts the view's layers stream in front of such a block.
//
// The reader inflates the object data into memory first, so that every count and length can be
// checked against the bytes that are really left; a damaged file raises cl::EReadError instead
// of allocating what its counts claim. Single-byte strings of the file are in the code page of
// their font's character set (1252 unless it names Cyrillic or Greek); inside they are UTF-8.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_streams.h"
#include "imaging/core/iestreamreader.h"
#include "imaging/formats/iezlib.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_registry.h"
#include "imaging/processing/vovozidproc.h"
#include "imaging/view/vovozidvect.h"
#include "imaging/view/vovozidview_stream.h"
#include "platform/codepage.h"

namespace ie {

namespace {

constexpr char kWrittenVersion = 'Q';
// Deflate never packs more than 1032 bytes into one.
constexpr int64_t kDeflateMaxRatio = 1032;
// The bytes of the smallest record (the fields every version carries).
constexpr int64_t kMinRecordSize = 16 + 1 + 4 + 4 + 4 + 1 + 4 + 4 + 1 + 1;
constexpr int32_t kLogFontSize = 60;

constexpr const char* kDamaged = "Damaged objects stream: ";

[[noreturn]] void Damaged(const char* What) { throw cl::EReadError(cl::String(kDamaged) + What); }

bool ValidVersion(char V) { return V >= '1' && V <= kWrittenVersion; }

// The code page of a font's single-byte strings.
win::UINT CodePageOf(const std::optional<win::LOGFONTA>& Font) {
    if (Font) {
        const win::UINT cp = win::CodePageFromCharset(Font->lfCharSet);
        if (cp == 1251 || cp == 1253) return cp;
    }
    return 1252;
}

std::string ToFile(const cl::String& Text, win::UINT CodePage) { return win::Utf8ToCodePage(CodePage, Text); }
cl::String FromFile(const std::string& Bytes, win::UINT CodePage) { return win::CodePageToUtf8(CodePage, Bytes); }

// The UTF-8 face name cut at a character boundary to what the field holds.
void SetFaceName(win::LOGFONTA& Font, const std::string& Name) {
    size_t n = std::min<size_t>(Name.size(), sizeof(Font.lfFaceName) - 1);
    while (n > 0 && n < Name.size() && (static_cast<uint8_t>(Name[n]) & 0xC0) == 0x80) --n;
    std::memset(Font.lfFaceName, 0, sizeof(Font.lfFaceName));
    std::memcpy(Font.lfFaceName, Name.data(), n);
}

void WriteFont(cl::TStream* Stream, const std::optional<win::LOGFONTA>& Font) {
    IEPutBool(Stream, Font.has_value());
    if (!Font) return;
    win::LOGFONTA lf = *Font;
    const std::string face =
        ToFile(cl::String(Font->lfFaceName, strnlen(Font->lfFaceName, sizeof(lf.lfFaceName))), CodePageOf(Font));
    std::memset(lf.lfFaceName, 0, sizeof(lf.lfFaceName));
    std::memcpy(lf.lfFaceName, face.data(), std::min<size_t>(face.size(), sizeof(lf.lfFaceName) - 1));
    Stream->WriteBuffer(&lf, kLogFontSize);
}

win::LOGFONTA ReadLogFont(TIEStreamReader& R) {
    win::LOGFONTA lf;
    R.Bytes(&lf, kLogFontSize, "font");
    const std::string face(lf.lfFaceName, strnlen(lf.lfFaceName, sizeof(lf.lfFaceName)));
    SetFaceName(lf, FromFile(face, CodePageOf(lf)));
    return lf;
}

// The default object's font with another height and face: rulers and angles without a font.
std::optional<win::LOGFONTA> MeasureFont(const TIEVObjRecord& Default, int32_t Height) {
    win::LOGFONTA lf = Default.Font.value_or(win::LOGFONTA{});
    lf.lfHeight = Height;
    SetFaceName(lf, "Arial");
    return lf;
}

// Memo text with one style per character: the file has one per single-byte character, the
// object one per byte of the UTF-8 text.
void WriteMemoText(cl::TStream* Stream, const TIEVObjRecord& Obj, win::UINT CodePage,
                   std::vector<int32_t>* FileStyles) {
    std::string bytes;
    size_t pos = 0;
    while (pos < Obj.Text.size()) {
        const size_t start = pos;
        win::DecodeUtf8(Obj.Text, pos);
        if (pos <= start) pos = start + 1;
        const std::string one = ToFile(Obj.Text.substr(start, pos - start), CodePage);
        bytes += one;
        if (FileStyles) {
            const int32_t style = start < Obj.MemoCharStyles.size() ? Obj.MemoCharStyles[start] : 0;
            FileStyles->insert(FileStyles->end(), one.size(), style);
        }
    }
    IEPutStr(Stream, bytes);
}

struct TRecordWriter {
    TVovozIdVect* View;
    cl::TStream* Stream;

    void Write(const TIEVObjRecord& o, int32_t hobj) {
        IEPut<int32_t>(Stream, hobj);
        IEPut<int32_t>(Stream, o.X1);
        IEPut<int32_t>(Stream, o.Y1);
        IEPut<int32_t>(Stream, o.X2);
        IEPut<int32_t>(Stream, o.Y2);
        IEPut<uint8_t>(Stream, o.Kind);
        IEPutBool(Stream, o.KeepAspect);
        IEPutBool(Stream, o.Shadow.Enabled);
        IEPut<double>(Stream, o.Shadow.Radius);
        IEPut<int32_t>(Stream, o.Shadow.OffsetX);
        IEPut<int32_t>(Stream, o.Shadow.OffsetY);
        IEPut<int32_t>(Stream, o.Shadow.Intensity);
        IEPut<uint8_t>(Stream, o.Shadow.Color.b);
        IEPut<uint8_t>(Stream, o.Shadow.Color.g);
        IEPut<uint8_t>(Stream, o.Shadow.Color.r);
        IEPutStr(Stream, ToFile(o.Name, 1252));
        Stream->WriteBuffer(o.Reserved, 4);
        IEPut<int32_t>(Stream, static_cast<int32_t>(o.PenColor));
        IEPut<uint8_t>(Stream, o.PenStyle);
        IEPut<int32_t>(Stream, o.PenWidth);
        IEPut<int32_t>(Stream, static_cast<int32_t>(o.BrushColor));
        IEPut<uint8_t>(Stream, o.BrushStyle);
        IEPut<uint8_t>(Stream, o.Options);
        IEPut<int32_t>(Stream, o.Transparency);
        IEPutBool(Stream, o.Highlight);
        IEPut<uint8_t>(Stream, o.FontQuality);
        const int32_t userLen = o.UserData.GetLength();
        IEPut<int32_t>(Stream, userLen);
        if (userLen > 0) Stream->WriteBuffer(o.UserData.Get(), userLen);
        const win::UINT cp = CodePageOf(o.Font);
        if (o.Kind == ievkLINELABEL) {
            IEPut<int32_t>(Stream, static_cast<int32_t>(o.LabelBrushColor));
            IEPut<uint8_t>(Stream, o.LabelBrushStyle);
            IEPut<uint8_t>(Stream, o.LabelPosition);
            IEPut<uint8_t>(Stream, o.LabelBorder);
        }
        if (o.Kind == ievkLINE || o.Kind == ievkLINELABEL) {
            IEPut<uint8_t>(Stream, o.StartShape);
            IEPut<uint8_t>(Stream, o.EndShape);
            IEPut<int32_t>(Stream, o.ShapeWidth);
            IEPut<int32_t>(Stream, o.ShapeLength);
        }
        if (o.Kind == ievkARC) {
            IEPut<double>(Stream, o.ArcStart);
            IEPut<double>(Stream, o.ArcEnd);
        }
        if (o.Kind == ievkBITMAP) {
            IEPut<int32_t>(Stream, o.BitmapIndex);
            IEPutBool(Stream, o.BitmapBorder);
            IEPutStr(Stream, ToFile(o.Text, cp));
        }
        if (o.Kind == ievkTEXT || o.Kind == ievkLINELABEL || o.Kind == ievkEXTENDED) {
            IEPut<uint8_t>(Stream, o.TextAlign);
            IEPutBool(Stream, o.AutoSize);
            IEPutStr(Stream, ToFile(o.Text, cp));
            WriteFont(Stream, o.Font);
            IEPut<int32_t>(Stream, o.GetCurvePointCount());
            if (!o.CurvePoints.empty()) {
                for (const TIEVDPoint& p : o.CurvePoints) {
                    IEPut<double>(Stream, p.X);
                    IEPut<double>(Stream, p.Y);
                }
                IEPut<int32_t>(Stream, o.CurveCharAngle);
            }
        }
        if (o.Kind == ievkMEMO) {
            std::vector<int32_t> styles;
            WriteMemoText(Stream, o, cp, o.MemoCharStyles.empty() ? nullptr : &styles);
            WriteFont(Stream, o.Font);
            IEPutBool(Stream, !o.MemoCharStyles.empty());
            if (!o.MemoCharStyles.empty())
                Stream->WriteBuffer(styles.data(), static_cast<int64_t>(styles.size() * sizeof(int32_t)));
            IEPut<int32_t>(Stream, static_cast<int32_t>(o.MemoStyles.size()));
            if (!o.MemoStyles.empty())
                Stream->WriteBuffer(o.MemoStyles.data(),
                                    static_cast<int64_t>(o.MemoStyles.size() * sizeof(TIECharStyle)));
            IEPutBool(Stream, o.MemoFixedFont);
            IEPutBool(Stream, o.AutoSize);
            IEPut<int32_t>(Stream, o.MemoLineSpacing);
            IEPut<int32_t>(Stream, static_cast<int32_t>(o.MemoBorderColor));
            IEPut<uint8_t>(Stream, o.MemoBorderStyle);
            IEPut<uint8_t>(Stream, o.TextAlign);
            IEPut<int32_t>(Stream, o.MemoLineHeight);
            IEPutBool(Stream, o.MemoHasBitmap);
            if (o.MemoHasBitmap) {
                IEPut<int32_t>(Stream, o.BitmapIndex);
                IEPutBool(Stream, o.BitmapBorder);
            }
            for (double m : o.MemoMargins) IEPut<double>(Stream, m);
            IEPut<uint8_t>(Stream, o.MemoFillStyle);
        }
        IEPutBool(Stream, o.TextEditable);
        if (o.Kind == ievkRULER) {
            IEPut<uint8_t>(Stream, o.RulerUnit);
            IEPut<uint8_t>(Stream, o.RulerType);
            WriteFont(Stream, o.Font);
        }
        if (o.Kind == ievkPOLYLINE) {
            IEPut<int32_t>(Stream, o.GetPointCount());
            for (const win::POINT& p : o.Points) {
                IEPut<int32_t>(Stream, p.x);
                IEPut<int32_t>(Stream, p.y);
            }
            IEPut<int32_t>(Stream, o.PointsX1);
            IEPut<int32_t>(Stream, o.PointsY1);
            IEPut<int32_t>(Stream, o.PointsX2);
            IEPut<int32_t>(Stream, o.PointsY2);
            IEPutBool(Stream, o.Closed);
        }
        if (o.Kind == ievkANGLE) {
            for (const win::POINT& p : o.AnglePoints) {
                IEPut<int32_t>(Stream, p.x);
                IEPut<int32_t>(Stream, p.y);
            }
            WriteFont(Stream, o.Font);
        }
        if (o.Kind == ievkEXTENDED) {
            TIEVExtObject* ext = o.ExtObject.Get();
            const cl::String name = ext ? IEGetExtClassName(typeid(*ext)) : cl::String();
            // An instance of a class the registry does not know could not be read back.
            IEPutBool(Stream, ext && !name.empty());
            if (ext && !name.empty()) {
                IEWriteStrWithLength(Stream, name);
                ext->SaveToStream(Stream);
            }
        }
    }
};

// The zlib stream from the source's position to its end, inflated into memory with a limit
// the compressed bytes justify; data that ends before the zlib stream does raises.
std::vector<uint8_t> InflateRest(cl::TStream* Stream) {
    const int64_t left = std::max<int64_t>(0, Stream->GetSize() - Stream->GetPosition());
    std::vector<uint8_t> packed(static_cast<size_t>(left));
    if (left > 0) Stream->ReadBuffer(packed.data(), left);
    std::vector<uint8_t> out;
    int64_t size = 0;
    try {
        IEZDecompressBuffer(packed.data(), left, out, size, 0,
                            std::min<int64_t>(IEZDefaultMaxOutput, left * kDeflateMaxRatio + 64));
    } catch (const EZLibError&) {
        Damaged("compressed object data");
    }
    out.resize(static_cast<size_t>(size));
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Content tests

bool IEIsIEVStream(cl::TStream* Stream) {
    const int64_t pos = Stream->GetPosition();
    char head[4] = {};
    const bool ok = Stream->Read(head, 4) == 4 && std::memcmp(head, "IEV", 3) == 0 && ValidVersion(head[3]);
    Stream->SetPosition(pos);
    return ok;
}

bool IEIsLayersAndObjectsStream(cl::TStream* Stream) {
    const int64_t pos = Stream->GetPosition();
    bool ok = false;
    int32_t offset = 0;
    if (Stream->Read(&offset, 4) == 4 && offset >= 0 && offset <= Stream->GetSize()) {
        if (IEIsLayersStream(Stream)) {
            Stream->SetPosition(offset);
            ok = IEIsIEVStream(Stream);
        }
    }
    Stream->SetPosition(pos);
    return ok;
}

// ---------------------------------------------------------------------------------------
// Saving

void TVovozIdVect::SaveObjectRecord(cl::TStream* Stream, int32_t hobj) {
    TRecordWriter w{this, Stream};
    if (hobj == IEV_ALL_OBJECTS) {
        for (int32_t h : FDrawOrder) w.Write(*FObjects[static_cast<size_t>(h)], h);
        return;
    }
    const int32_t h = ResolveHandle(hobj);
    if (TIEVObjRecord* o = GetObjRecord(h)) w.Write(*o, h);
}

void TVovozIdVect::SaveObjectsToStream(cl::TStream* Stream) {
    // A memo edited in place lends its text to the editor: the edit ends so that it is written.
    CancelTextEdit();
    PackBitmaps();
    const int64_t start = Stream->GetPosition();
    Stream->WriteBuffer("IEV", 3);
    IEPut<char>(Stream, kWrittenVersion);
    IEPut<int32_t>(Stream, 0);
    IEPut<double>(Stream, FMeasureScale);
    IEPut<int32_t>(Stream, static_cast<int32_t>(FBitmaps.size()));
    {
        std::unique_ptr<TVovozIdIO> io = TVovozIdIO::CreateFromBitmap(nullptr);
        for (size_t i = 0; i < FBitmaps.size(); ++i) {
            int32_t uses = FBitmaps[i].UseCount;
            if (FDefaultObject.BitmapIndex == static_cast<int32_t>(i)) --uses;
            IEPut<int32_t>(Stream, uses);
            if (uses > 0 && FBitmaps[i].Bitmap) {
                io->SetAttachedIEBitmap(FBitmaps[i].Bitmap.get());
                io->SaveToStreamPNG(Stream);
                if (io->Aborting) throw cl::EWriteError("Cannot write an object's picture");
            }
        }
    }
    {
        TZCompressionStream z(Stream, zlevDefault);
        IEPut<int32_t>(&z, static_cast<int32_t>(FDrawOrder.size()));
        SaveObjectRecord(&z, IEV_ALL_OBJECTS);
        z.Finish();
    }
    const int64_t end = Stream->GetPosition();
    Stream->SetPosition(start + 4);
    IEPut<int32_t>(Stream, static_cast<int32_t>(end - start));
    Stream->SetPosition(end);
}

void TVovozIdVect::SaveLayersAndObjectsToStream(cl::TStream* Stream, int32_t Codec) {
    Stream->SetPosition(0);
    IEPut<int32_t>(Stream, 0);
    SaveLayersToStream(Stream, Codec);
    const int64_t offset = Stream->GetPosition();
    Stream->SetPosition(0);
    IEPut<int32_t>(Stream, static_cast<int32_t>(offset));
    Stream->SetPosition(offset);
    SaveObjectsToStream(Stream);
}

// ---------------------------------------------------------------------------------------
// Loading

int32_t TVovozIdVect::LoadObjectRecord(cl::TStream* Stream, char Version, bool WithBitmaps) {
    return LoadObjectRecordNested(Stream, Version, WithBitmaps, 0);
}

int32_t TVovozIdVect::LoadObjectRecordNested(cl::TStream* Stream, char Version, bool WithBitmaps, int32_t Depth) {
    TIEStreamReader r(Stream, kDamaged);
    const char v = Version;
    const TIEVObjRecord& def = FDefaultObject;
    // Fields an older version does not carry keep the default object's values.
    TIEVObjRecord o;
    o.LabelBorder = def.LabelBorder;
    o.TextAlign = def.TextAlign;
    o.AutoSize = def.AutoSize;
    o.RulerUnit = def.RulerUnit;
    o.RulerType = def.RulerType;
    std::copy(std::begin(def.AnglePoints), std::end(def.AnglePoints), std::begin(o.AnglePoints));
    o.MemoFixedFont = true;
    o.Shadow = TIEVSoftShadow{};
    o.Shadow.OffsetX = 2;
    o.Shadow.OffsetY = 2;

    if (v >= '<') (void)r.Get<int32_t>("handle");
    o.X1 = r.Get<int32_t>("box");
    o.Y1 = r.Get<int32_t>("box");
    o.X2 = r.Get<int32_t>("box");
    o.Y2 = r.Get<int32_t>("box");
    o.Kind = r.Get<uint8_t>("kind");
    if (o.Kind > ievkEXTENDED) Damaged("kind");
    if (v >= 'M') o.KeepAspect = r.GetBool("keep aspect");
    if (v >= '=') {
        o.Shadow.Enabled = r.GetBool("shadow");
        o.Shadow.Radius = r.Get<double>("shadow");
        o.Shadow.OffsetX = r.Get<int32_t>("shadow");
        o.Shadow.OffsetY = r.Get<int32_t>("shadow");
    }
    if (v >= 'O') {
        o.Shadow.Intensity = r.Get<int32_t>("shadow");
        o.Shadow.Color.b = r.Get<uint8_t>("shadow");
        o.Shadow.Color.g = r.Get<uint8_t>("shadow");
        o.Shadow.Color.r = r.Get<uint8_t>("shadow");
    }
    o.Name = FromFile(r.Str("name"), 1252);
    r.Bytes(o.Reserved, 4, "reserved");
    o.PenColor = static_cast<cl::TColor>(r.Get<int32_t>("pen"));
    o.PenStyle = r.Get<uint8_t>("pen");
    o.PenWidth = r.Get<int32_t>("pen");
    o.BrushColor = static_cast<cl::TColor>(r.Get<int32_t>("brush"));
    o.BrushStyle = r.Get<uint8_t>("brush");
    o.Options = r.Get<uint8_t>("options");
    if (v >= '=') o.Transparency = r.Get<int32_t>("transparency");
    if (v >= '@') o.Highlight = r.GetBool("highlight");
    if (v >= 'Q') o.FontQuality = r.Get<uint8_t>("font quality");
    std::string userData;
    if (v >= 'I') userData = r.Str("user data");

    int32_t nested = 0;
    if (o.Kind == ievkNONE) {
        // A group holds plain records only: one level, and no more records than bytes allow.
        if (Depth > 0) Damaged("nested group");
        nested = r.Count(kMinRecordSize, "group count");
    }
    if (o.Kind == ievkLINELABEL) {
        o.LabelBrushColor = static_cast<cl::TColor>(r.Get<int32_t>("label"));
        o.LabelBrushStyle = r.Get<uint8_t>("label");
        o.LabelPosition = r.Get<uint8_t>("label");
        if (v >= 'P') o.LabelBorder = r.Get<uint8_t>("label");
    }
    if (o.Kind == ievkLINE || o.Kind == ievkLINELABEL) {
        o.StartShape = r.Get<uint8_t>("shape");
        o.EndShape = r.Get<uint8_t>("shape");
        o.ShapeWidth = r.Get<int32_t>("shape");
        o.ShapeLength = r.Get<int32_t>("shape");
    }
    if (o.Kind == ievkARC) {
        o.ArcStart = r.Get<double>("arc");
        o.ArcEnd = r.Get<double>("arc");
    }
    std::string rawText;
    if (o.Kind == ievkBITMAP) {
        o.BitmapIndex = r.Get<int32_t>("bitmap index");
        if (v >= 'B') o.BitmapBorder = r.GetBool("bitmap border");
        if (v >= 'F') rawText = r.Str("text");
    }
    if (o.Kind == ievkTEXT || o.Kind == ievkLINELABEL || o.Kind == ievkEXTENDED) {
        if (v >= '4') o.TextAlign = r.Get<uint8_t>("text align");
        if (v >= '9') o.AutoSize = r.GetBool("auto size");
        rawText = r.Str("text");
        if (r.GetBool("font")) o.Font = ReadLogFont(r);
        if (v >= '?') {
            const int32_t c = r.Get<int32_t>("curve");
            if (c > 0) {
                if (static_cast<int64_t>(c) * 16 + 4 > r.Left()) Damaged("curve");
                o.CurvePoints.resize(static_cast<size_t>(c));
                for (TIEVDPoint& p : o.CurvePoints) {
                    p.X = r.Get<double>("curve");
                    p.Y = r.Get<double>("curve");
                }
                o.CurveCharAngle = r.Get<int32_t>("curve");
            } else {
                o.CurveCharAngle = -10;
            }
        }
    }
    std::vector<int32_t> fileStyles;
    bool hasStyles = false;
    if (o.Kind == ievkMEMO) {
        rawText = r.Str("text");
        if (r.GetBool("font")) o.Font = ReadLogFont(r);
        hasStyles = v >= 'C' ? r.GetBool("styles flag") : true;
        if (hasStyles) {
            if (static_cast<int64_t>(rawText.size()) * 4 > r.Left()) Damaged("character styles");
            fileStyles.resize(rawText.size());
            r.Bytes(fileStyles.data(), static_cast<int64_t>(fileStyles.size() * 4), "character styles");
        }
        const int32_t s = r.Count(sizeof(TIECharStyle), "styles");
        o.MemoStyles.resize(static_cast<size_t>(s));
        r.Bytes(o.MemoStyles.data(), static_cast<int64_t>(s) * static_cast<int64_t>(sizeof(TIECharStyle)), "styles");
        for (int32_t& i : fileStyles)
            if (i < 0 || i >= s) i = 0;  // a style the record does not hold
        if (s == 0) hasStyles = false;
        o.MemoFixedFont = r.GetBool("memo");
        o.AutoSize = r.GetBool("memo");
        o.MemoLineSpacing = r.Get<int32_t>("memo");
        o.MemoBorderColor = static_cast<cl::TColor>(r.Get<int32_t>("memo"));
        o.MemoBorderStyle = r.Get<uint8_t>("memo");
        o.TextAlign = r.Get<uint8_t>("memo");
        o.MemoLineHeight = r.Get<int32_t>("memo");
        if (v >= 'I') o.MemoHasBitmap = r.GetBool("memo");
        if (o.MemoHasBitmap) {
            o.BitmapIndex = r.Get<int32_t>("bitmap index");
            if (v >= 'B') o.BitmapBorder = r.GetBool("bitmap border");
        }
        if (v >= 'H')
            for (double& m : o.MemoMargins) m = r.Get<double>("margins");
        o.MemoFillStyle = v >= 'L' ? r.Get<uint8_t>("memo") : static_cast<uint8_t>(cl::bsSolid);
    }
    o.TextEditable = v >= 'J' ? r.GetBool("editable") : true;
    if (o.Kind == ievkRULER) {
        if (v >= '5') {
            o.RulerUnit = r.Get<uint8_t>("ruler");
            o.RulerType = r.Get<uint8_t>("ruler");
            if (v >= 'A' && r.GetBool("font")) o.Font = ReadLogFont(r);
        }
        if (o.RulerUnit > ieuMILES) o.RulerUnit = ieuPIXELS;
        if (!o.Font) o.Font = MeasureFont(def, 12);
    }
    if (o.Kind == ievkPOLYLINE && v >= '8') {
        const int32_t p = r.Count(8, "points");
        o.Points.resize(static_cast<size_t>(p));
        for (win::POINT& pt : o.Points) {
            pt.x = r.Get<int32_t>("points");
            pt.y = r.Get<int32_t>("points");
        }
        o.PointsX1 = r.Get<int32_t>("points");
        o.PointsY1 = r.Get<int32_t>("points");
        o.PointsX2 = r.Get<int32_t>("points");
        o.PointsY2 = r.Get<int32_t>("points");
        if (v >= ';') o.Closed = r.GetBool("closed");
    }
    if (o.Kind == ievkANGLE) {
        if (v >= ':')
            for (win::POINT& pt : o.AnglePoints) {
                pt.x = r.Get<int32_t>("angle");
                pt.y = r.Get<int32_t>("angle");
            }
        if (v >= 'K' && r.GetBool("font")) o.Font = ReadLogFont(r);
        if (!o.Font) o.Font = MeasureFont(def, 10);
    }
    if (o.Kind == ievkEXTENDED && v >= 'N' && r.GetBool("extension")) {
        cl::String name;
        IEReadStrWithLength(Stream, name);
        std::unique_ptr<TIEVExtObject> ext = IECreateExtObject(name);
        if (!ext) throw cl::EReadError("Unknown object class \"" + name + "\"");
        ext->Owner = this;
        ext->Initialize();
        ext->LoadFromStream(Stream);
        o.ExtObject.Reset(std::move(ext));
    }

    // Strings in the code page of the object's font; memo styles follow their characters.
    const win::UINT cp = CodePageOf(o.Font);
    if (o.Kind == ievkMEMO && hasStyles) {
        for (size_t i = 0; i < rawText.size(); ++i) {
            const std::string one = FromFile(rawText.substr(i, 1), cp);
            o.Text += one;
            o.MemoCharStyles.insert(o.MemoCharStyles.end(), one.size(), fileStyles[i]);
        }
    } else {
        o.Text = FromFile(rawText, cp);
    }

    if (o.Kind == ievkNONE) {
        for (int32_t i = 0; i < nested; ++i) LoadObjectRecordNested(Stream, Version, true, Depth + 1);
        return IEV_NO_OBJECT;
    }
    // A reference outside the table, or to a slot without picture, is an object without one.
    if (!WithBitmaps || o.BitmapIndex < 0 || o.BitmapIndex >= static_cast<int32_t>(FBitmaps.size()) ||
        !FBitmaps[static_cast<size_t>(o.BitmapIndex)].Bitmap)
        o.BitmapIndex = -1;
    if (o.Kind == ievkMEMO && o.BitmapIndex < 0) o.MemoHasBitmap = false;
    const int32_t h = AddObjectCopy(o);
    if (!userData.empty()) {
        TIEVObjRecord* rec = GetObjRecord(h);
        rec->UserData.AssignBytes(userData.data(), static_cast<int32_t>(userData.size()));
        Update();
    }
    return h;
}

bool TVovozIdVect::LoadObjectsFromStream(cl::TStream* Stream) {
    char head[4] = {};
    if (Stream->Read(head, 4) != 4 || std::memcmp(head, "IEV", 3) != 0 || !ValidVersion(head[3])) return false;
    const char v = head[3];

    const bool share = FShareBitmaps;
    FShareBitmaps = true;
    std::unique_ptr<TIEBitmap> defaultPicture;
    if (TIEBitmap* b = GetBitmapByIndex(FDefaultObject.BitmapIndex)) {
        defaultPicture = std::make_unique<TIEBitmap>();
        defaultPicture->Assign(b);
        SetObjBitmap(IEV_DEFAULT_OBJECT, nullptr);
    }
    const bool autoUndo = FObjAutoUndo;
    FObjAutoUndo = false;
    RemoveAllObjects();
    FObjAutoUndo = autoUndo;

    auto restore = [&] {
        FShareBitmaps = share;
        if (defaultPicture) {
            SetObjBitmap(IEV_DEFAULT_OBJECT, defaultPicture.get());
            defaultPicture.reset();
        }
    };
    try {
        TIEStreamReader r(Stream, kDamaged);
        const int64_t start = Stream->GetPosition() - 4;
        const int64_t blockSize = r.Get<int32_t>("size");
        FMeasureScale =
            v == '1' ? static_cast<double>(r.Get<int32_t>("measure scale")) : r.Get<double>("measure scale");
        // Each entry takes at least its use count.
        const int32_t n = r.Count(4, "bitmap count");
        FBitmaps.resize(static_cast<size_t>(n));
        std::unique_ptr<TVovozIdIO> io = TVovozIdIO::CreateFromBitmap(nullptr);
        for (int32_t i = 0; i < n; ++i) {
            const int32_t uses = r.Get<int32_t>("use count");
            if (uses <= 0) continue;
            auto bmp = std::make_unique<TIEBitmap>();
            io->SetAttachedIEBitmap(bmp.get());
            io->Aborting = false;
            if (v > '2')
                io->LoadFromStreamPNG(Stream);
            else
                io->LoadFromStreamBMP(Stream);
            if (io->Aborting) Damaged("picture");
            if (v >= '7' && v <= '<') {
                const int32_t len = r.Count(1, "alpha channel");
                std::vector<uint8_t> packed(static_cast<size_t>(len));
                r.Bytes(packed.data(), len, "alpha channel");
                std::vector<uint8_t> alpha;
                int64_t size = 0;
                const int64_t w = bmp->GetWidth(), h = bmp->GetHeight();
                const int64_t rowLen = (w + 3) / 4 * 4;
                try {
                    IEZDecompressBuffer(packed.data(), len, alpha, size, rowLen * h, rowLen * h + 64);
                } catch (const EZLibError&) {
                    Damaged("alpha channel");
                }
                if (size < rowLen * h) Damaged("alpha channel");
                TIEBitmap* a = bmp->GetAlphaChannel();
                for (int64_t y = 0; y < h; ++y)
                    std::memcpy(a->GetScanline(static_cast<int32_t>(h - 1 - y)), alpha.data() + y * rowLen,
                                static_cast<size_t>(w));
            }
            io->SetAttachedIEBitmap(nullptr);
            FBitmaps[static_cast<size_t>(i)].Bitmap = std::move(bmp);
        }
        io.reset();

        const int64_t dataStart = Stream->GetPosition();
        const std::vector<uint8_t> data = InflateRest(Stream);
        // The block's size, when it is plausible, puts the stream after the block.
        if (start + blockSize > dataStart && start + blockSize <= Stream->GetSize())
            Stream->SetPosition(start + blockSize);
        TIEMemStream mem(data.data(), static_cast<int64_t>(data.size()));
        TIEStreamReader d(&mem, kDamaged);
        const int32_t m = d.Count(kMinRecordSize, "object count");
        for (int32_t i = 0; i < m; ++i) LoadObjectRecord(&mem, v, true);
    } catch (...) {
        restore();
        throw;
    }
    restore();
    Update();
    return true;
}

bool TVovozIdVect::LoadObjectsFromFile(const cl::WideString& FileName) {
    if (FileName.empty()) return false;
    TIEWideFileStream file(FileName, cl::fmOpenRead | cl::fmShareDenyWrite);
    return LoadObjectsFromStream(&file);
}

bool TVovozIdVect::LoadLayersAndObjectsFromStream(cl::TStream* Stream) {
    TIEStreamReader r(Stream, kDamaged);
    const int32_t offset = r.Get<int32_t>("container offset");
    if (offset < 0 || offset > Stream->GetSize()) Damaged("container offset");
    if (!LoadLayersFromStream(Stream)) return false;
    Stream->SetPosition(offset);
    return LoadObjectsFromStream(Stream);
}

bool TVovozIdVect::LoadLayersAndObjectsFromFile(const cl::WideString& FileName) {
    if (FileName.empty()) return false;
    TIEWideFileStream file(FileName, cl::fmOpenRead | cl::fmShareDenyWrite);
    return LoadLayersAndObjectsFromStream(&file);
}

// ---------------------------------------------------------------------------------------
// The engine's entries

namespace {

// Whether a picture of the objects' extent is one the file can justify: a few bytes must not
// place an object two billion pixels away and have the engine make a canvas that large.
bool ObjectsExtentIsReasonable(const cl::TRect& Bounds, int64_t FileSize) {
    const int64_t w = Bounds.right, h = Bounds.bottom;
    return w > 0 && h > 0 && w <= std::numeric_limits<int32_t>::max() && h <= std::numeric_limits<int32_t>::max() &&
           w * h <= std::max<int64_t>(int64_t{1} << 26, FileSize * 64);
}

// The view's image becomes a white picture of the objects' extent, from (0, 0) to their
// largest right and bottom edge, with a transparent alpha channel, so that only the
// objects show.
bool ObjectsCanvas(TVovozIdVect& View, int64_t FileSize) {
    cl::TRect bounds;
    View.GetObjectsBounds(bounds);
    if (!ObjectsExtentIsReasonable(bounds, FileSize)) return false;
    TVovozIdProc* proc = View.GetProc();
    proc->ImageResize(bounds.right, bounds.bottom, 0, 0, 255);
    proc->Fill(CreateRGB(255, 255, 255));
    if (TIEBitmap* alpha = View.GetIEBitmap()->GetAlphaChannel()) alpha->Fill(0);
    View.Update();
    return true;
}

// Loads an objects file (IEV) or a layers-with-objects file (ALL) by name: into the
// attached vector view, or, without one, through a scratch vector view whose layers are
// merged and objects drawn with anti-aliasing into the picture that the component takes.
void LoadVectorialFile(TVovozIdIO* IO, const cl::WideString& FileName, int32_t FileType) {
    IO->Aborting = false;
    TIEIOViewLink* link = IO->GetAttachedVovozId();
    auto* attached = link ? dynamic_cast<TVovozIdVect*>(link->ViewComponent()) : nullptr;
    try {
        TIEWideFileStream file(FileName, cl::fmOpenRead | cl::fmShareDenyWrite);
        const int64_t size = file.GetSize();
        if (attached) {
            if (FileType == ioIEV) {
                if (!attached->LoadObjectsFromStream(&file) || !ObjectsCanvas(*attached, size)) IO->Aborting = true;
            } else if (!attached->LoadLayersAndObjectsFromStream(&file)) {
                IO->Aborting = true;
            }
        } else {
            TVovozIdVect scratch(nullptr);
            scratch.SetLegacyBitmap(false);
            bool ok = false;
            if (FileType == ioIEV) {
                ok = scratch.LoadObjectsFromStream(&file) && ObjectsCanvas(scratch, size);
            } else if (scratch.LoadLayersAndObjectsFromStream(&file) && IELayersMergeIsReasonable(&scratch)) {
                scratch.FlattenLayers();
                ok = true;
            }
            if (ok) {
                scratch.DrawObjectsToImage(true);
                IO->GetIEBitmap()->Assign(scratch.GetIEBitmap());
            } else {
                IO->Aborting = true;
            }
        }
    } catch (const std::exception&) {
        IO->Aborting = true;
    }
    IO->Params().FileType = FileType;
}

}  // namespace

void IEVectRegisterFormats() {
    TIEFormatOps iev;
    iev.Probe = &IEIsIEVStream;
    IESetFormatOps(ioIEV, iev);
    TIEFormatOps all;
    all.Probe = &IEIsLayersAndObjectsStream;
    IESetFormatOps(ioALL, all);
    auto& hooks = IEIOExtensionHooks();
    auto next = hooks.LoadVectorialStream;
    hooks.LoadVectorialStream = [next](TVovozIdIO* IO, cl::TStream* Stream, int32_t FileType) {
        if (FileType != ioIEV && FileType != ioALL) {
            if (next) next(IO, Stream, FileType);
            return;
        }
        TIEIOViewLink* link = IO->GetAttachedVovozId();
        auto* view = link ? dynamic_cast<TVovozIdVect*>(link->ViewComponent()) : nullptr;
        try {
            const bool ok = view && (FileType == ioIEV ? view->LoadObjectsFromStream(Stream)
                                                       : view->LoadLayersAndObjectsFromStream(Stream));
            if (!ok) IO->Aborting = true;
        } catch (const std::exception&) {
            IO->Aborting = true;
        }
        IO->Params().FileType = FileType;
    };
    hooks.LoadVectorialFile = &LoadVectorialFile;
}

}  // namespace ie
