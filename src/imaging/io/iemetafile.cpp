// Reading and playing Windows metafiles and enhanced metafiles.
#include "imaging/io/iemetafile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gdi.h"

namespace ie {

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kMaxObjects = 4096;
constexpr size_t kMaxPoints = 1u << 20;

uint16_t U16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
int16_t S16(const uint8_t* P) { return static_cast<int16_t>(U16(P)); }
uint32_t U32(const uint8_t* P) { return P[0] | (P[1] << 8) | (P[2] << 16) | (static_cast<uint32_t>(P[3]) << 24); }
int32_t S32(const uint8_t* P) { return static_cast<int32_t>(U32(P)); }

// Plays records onto a device context: maps the picture's coordinates onto the target
// size and keeps the objects the records make.
class TPlayer {
public:
    TPlayer(win::HDC DC, double Sx, double Sy, double Ox, double Oy) : FDC(DC), FSx(Sx), FSy(Sy), FOx(Ox), FOy(Oy) {
        FSavedPen = win::SelectObject(DC, win::GetStockObject(win::BLACK_PEN));
        FSavedBrush = win::SelectObject(DC, win::GetStockObject(win::WHITE_BRUSH));
    }
    ~TPlayer() {
        win::SelectObject(FDC, FSavedPen);
        win::SelectObject(FDC, FSavedBrush);
        for (win::HGDIOBJ o : FObjects)
            if (o) win::DeleteObject(o);
    }

    // The picture's own coordinates: logical units through the window and viewport.
    double MapX(double X) const {
        double d = X - FWinOrgX;
        if (FWinExtX && FVpExtX) d = d * FVpExtX / FWinExtX;
        return (d + FVpOrgX - FOx) * FSx;
    }
    double MapY(double Y) const {
        double d = Y - FWinOrgY;
        if (FWinExtY && FVpExtY) d = d * FVpExtY / FWinExtY;
        return (d + FVpOrgY - FOy) * FSy;
    }
    int X(double V) const { return static_cast<int>(std::lround(std::clamp(MapX(V), -1e7, 1e7))); }
    int Y(double V) const { return static_cast<int>(std::lround(std::clamp(MapY(V), -1e7, 1e7))); }

    void MoveTo(double Px, double Py) { win::MoveToEx(FDC, X(Px), Y(Py), nullptr); }
    void LineTo(double Px, double Py) { win::LineTo(FDC, X(Px), Y(Py)); }
    void Rect(double L, double T, double R, double B, bool Ellipse) {
        if (Ellipse)
            win::Ellipse(FDC, X(L), Y(T), X(R), Y(B));
        else
            win::Rectangle(FDC, X(L), Y(T), X(R), Y(B));
    }
    void Poly(const std::vector<win::POINT>& Pts, bool Closed) {
        std::vector<win::POINT> d(Pts.size());
        for (size_t i = 0; i < Pts.size(); ++i) d[i] = {X(Pts[i].x), Y(Pts[i].y)};
        if (d.empty()) return;
        if (Closed)
            win::Polygon(FDC, d.data(), static_cast<int>(d.size()));
        else
            win::Polyline(FDC, d.data(), static_cast<int>(d.size()));
    }
    void Pen(size_t Index, uint32_t Style, int32_t Width, uint32_t Color) {
        // In floating point: the magnitude of the most negative width does not fit 32 bits.
        const double w = std::fabs(static_cast<double>(Width)) * std::max(std::abs(FSx), std::abs(FSy));
        const int width = Width == 0 ? 0 : std::max(1, static_cast<int>(std::lround(std::min(w, 1000.0))));
        Store(Index, win::CreatePen(static_cast<int>(Style & 0xFF), width, Color & 0xFFFFFF));
    }
    void Brush(size_t Index, uint32_t Style, uint32_t Color) {
        win::LOGBRUSH lb;
        // Solid and hollow brushes; hatches and patterns fill solid.
        lb.lbStyle = Style == 1 ? 1 : 0;
        lb.lbColor = Color & 0xFFFFFF;
        Store(Index, win::CreateBrushIndirect(&lb));
    }
    // A slot taken by an object this player does not draw with.
    void Placeholder(size_t Index) { Store(Index, nullptr); }
    void Select(size_t Index) {
        if (Index < FObjects.size() && FObjects[Index]) win::SelectObject(FDC, FObjects[Index]);
    }
    void SelectStock(uint32_t Stock) {
        if (Stock <= 19)
            if (win::HGDIOBJ o = win::GetStockObject(static_cast<int>(Stock))) win::SelectObject(FDC, o);
    }
    void Delete(size_t Index) {
        if (Index >= FObjects.size()) return;
        if (FObjects[Index]) {
            // Never delete what is selected: the stock object takes its place first.
            win::SelectObject(FDC, win::GetStockObject(win::BLACK_PEN));
            win::SelectObject(FDC, win::GetStockObject(win::WHITE_BRUSH));
            win::DeleteObject(FObjects[Index]);
        }
        FObjects[Index] = nullptr;
        FUsed[Index] = false;
    }
    // The lowest free slot (how the older format numbers its objects).
    size_t FreeSlot() const {
        for (size_t i = 0; i < FUsed.size(); ++i)
            if (!FUsed[i]) return i;
        return FUsed.size();
    }
    void BkMode(int Mode) { win::SetBkMode(FDC, Mode); }
    void FillMode(int Mode) { win::SetPolyFillMode(FDC, Mode); }

    double FWinOrgX = 0, FWinOrgY = 0, FWinExtX = 0, FWinExtY = 0;
    double FVpOrgX = 0, FVpOrgY = 0, FVpExtX = 0, FVpExtY = 0;

private:
    void Store(size_t Index, win::HGDIOBJ Object) {
        if (Index >= kMaxObjects) {
            if (Object) win::DeleteObject(Object);
            return;
        }
        if (Index >= FObjects.size()) {
            FObjects.resize(Index + 1, nullptr);
            FUsed.resize(Index + 1, false);
        }
        if (FObjects[Index]) Delete(Index);
        FObjects[Index] = Object;
        FUsed[Index] = true;
    }

    win::HDC FDC;
    double FSx, FSy, FOx, FOy;
    win::HGDIOBJ FSavedPen, FSavedBrush;
    std::vector<win::HGDIOBJ> FObjects;
    std::vector<bool> FUsed;
};

}  // namespace

void TIEMetafile::Clear() {
    FEnhanced = false;
    FWidth = FHeight = 0;
    FLeft = FTop = FRight = FBottom = 0;
    FData.clear();
    FFirstRecord = 0;
}

bool TIEMetafile::LoadFromStream(cl::TStream* Stream) {
    Clear();
    if (!Stream) return false;
    const int64_t left = Stream->GetSize() - Stream->GetPosition();
    if (left <= 0 || left > (int64_t{1} << 30)) return false;
    std::vector<uint8_t> data(static_cast<size_t>(left));
    if (Stream->Read(data.data(), left) != left) return false;
    return LoadFromBytes(data.data(), data.size());
}

bool TIEMetafile::LoadFromBytes(const uint8_t* Data, size_t Size) {
    Clear();
    const bool ok = (Size >= 44 && U32(Data) == 1 && std::memcmp(Data + 40, " EMF", 4) == 0) ? ParseEMF(Data, Size)
                                                                                             : ParseWMF(Data, Size);
    if (!ok) Clear();
    return ok;
}

bool TIEMetafile::ParseEMF(const uint8_t* Data, size_t Size) {
    const uint32_t headerSize = U32(Data + 4);
    if (headerSize < 88 || headerSize > Size) return false;
    // The bounds of the picture in device units of the device it was made for.
    FLeft = S32(Data + 8);
    FTop = S32(Data + 12);
    FRight = S32(Data + 16);
    FBottom = S32(Data + 20);
    const int64_t w = int64_t{FRight} - FLeft + 1, h = int64_t{FBottom} - FTop + 1;
    if (FRight < FLeft || FBottom < FTop || w > 1000000 || h > 1000000) return false;
    // Every record must fit.
    for (size_t at = 0; at < Size;) {
        if (Size - at < 8) return false;
        const uint32_t n = U32(Data + at + 4);
        if (n < 8 || n % 4 || n > Size - at) return false;
        const uint32_t type = U32(Data + at);
        at += n;
        if (type == 14) {  // EOF
            Size = at;
            break;
        }
    }
    FEnhanced = true;
    FWidth = static_cast<int32_t>(w);
    FHeight = static_cast<int32_t>(h);
    FData.assign(Data, Data + Size);
    FFirstRecord = headerSize;
    return true;
}

bool TIEMetafile::ParseWMF(const uint8_t* Data, size_t Size) {
    size_t at = 0;
    bool placeable = false;
    if (Size >= 22 && U32(Data) == kPlaceableKey) {
        FLeft = S16(Data + 6);
        FTop = S16(Data + 8);
        FRight = S16(Data + 10);
        FBottom = S16(Data + 12);
        const int inch = U16(Data + 14);
        if (inch == 0) return false;
        // The picture's size at 96 pixels an inch.
        FWidth = static_cast<int32_t>(std::abs(int64_t{FRight} - FLeft) * 96 / inch);
        FHeight = static_cast<int32_t>(std::abs(int64_t{FBottom} - FTop) * 96 / inch);
        placeable = true;
        at = 22;
    }
    // The metafile header: type 1 or 2, 9 words.
    if (Size - at < 18 || (U16(Data + at) != 1 && U16(Data + at) != 2) || U16(Data + at + 2) != 9) return false;
    const size_t first = at + 18;
    bool haveOrg = false, haveExt = false;
    int32_t orgX = 0, orgY = 0, extX = 0, extY = 0;
    size_t end = Size;
    for (at = first; at < Size;) {
        if (Size - at < 6) return false;
        const uint64_t n = uint64_t{U32(Data + at)} * 2;
        if (n < 6 || n > Size - at) return false;
        const uint16_t fn = U16(Data + at + 4);
        if (fn == 0x020B && n >= 10 && !haveOrg) {
            orgY = S16(Data + at + 6), orgX = S16(Data + at + 8), haveOrg = true;
        } else if (fn == 0x020C && n >= 10 && !haveExt) {
            extY = S16(Data + at + 6), extX = S16(Data + at + 8), haveExt = true;
        }
        at += n;
        if (fn == 0) {
            end = at;
            break;
        }
    }
    if (!placeable) {
        // Without the placeable header the window gives the frame, one pixel a unit.
        if (!haveExt) return false;
        FLeft = orgX;
        FTop = orgY;
        FRight = orgX + extX;
        FBottom = orgY + extY;
        FWidth = std::abs(extX);
        FHeight = std::abs(extY);
    }
    FEnhanced = false;
    FData.assign(Data, Data + end);
    FFirstRecord = first;
    return true;
}

void TIEMetafile::Draw(win::HDC DC) const {
    if (FData.empty() || FWidth <= 0 || FHeight <= 0) return;
    const uint8_t* d = FData.data();
    const size_t size = FData.size();
    if (FEnhanced) {
        const double fw = double(FRight) - FLeft + 1, fh = double(FBottom) - FTop + 1;
        TPlayer p(DC, FWidth / fw, FHeight / fh, FLeft, FTop);
        for (size_t at = FFirstRecord; at + 8 <= size;) {
            const uint32_t type = U32(d + at), n = U32(d + at + 4);
            const uint8_t* r = d + at + 8;
            const size_t len = n - 8;
            at += n;
            switch (type) {
                case 9:
                    if (len >= 8) p.FWinExtX = S32(r), p.FWinExtY = S32(r + 4);
                    break;
                case 10:
                    if (len >= 8) p.FWinOrgX = S32(r), p.FWinOrgY = S32(r + 4);
                    break;
                case 11:
                    if (len >= 8) p.FVpExtX = S32(r), p.FVpExtY = S32(r + 4);
                    break;
                case 12:
                    if (len >= 8) p.FVpOrgX = S32(r), p.FVpOrgY = S32(r + 4);
                    break;
                case 27:
                    if (len >= 8) p.MoveTo(S32(r), S32(r + 4));
                    break;
                case 54:
                    if (len >= 8) p.LineTo(S32(r), S32(r + 4));
                    break;
                case 42:
                case 43:
                    if (len >= 16) p.Rect(S32(r), S32(r + 4), S32(r + 8), S32(r + 12), type == 42);
                    break;
                case 3:
                case 4:
                case 86:
                case 87: {
                    // Bounds, count, points (32-bit pairs, or 16-bit for 86 and 87).
                    if (len < 20) break;
                    const size_t count = U32(r + 16), each = type >= 86 ? 4 : 8;
                    if (count > kMaxPoints || count * each > len - 20) break;
                    std::vector<win::POINT> pts(count);
                    for (size_t i = 0; i < count; ++i) {
                        const uint8_t* q = r + 20 + i * each;
                        pts[i] = each == 4 ? win::POINT{S16(q), S16(q + 2)} : win::POINT{S32(q), S32(q + 4)};
                    }
                    p.Poly(pts, type == 3 || type == 86);
                    break;
                }
                case 38:
                    if (len >= 20) p.Pen(U32(r), U32(r + 4), S32(r + 8), U32(r + 16));
                    break;
                case 39:
                    if (len >= 16) p.Brush(U32(r), U32(r + 4), U32(r + 8));
                    break;
                case 37:
                    if (len >= 4) {
                        const uint32_t ih = U32(r);
                        if (ih & 0x80000000u)
                            p.SelectStock(ih & 0x7FFFFFFFu);
                        else
                            p.Select(ih);
                    }
                    break;
                case 40:
                    if (len >= 4) p.Delete(U32(r));
                    break;
                case 18:
                    if (len >= 4) p.BkMode(S32(r));
                    break;
                case 19:
                    if (len >= 4) p.FillMode(S32(r));
                    break;
                default: break;
            }
        }
        return;
    }
    const double fw = double(FRight) - FLeft, fh = double(FBottom) - FTop;
    if (fw == 0 || fh == 0) return;
    TPlayer p(DC, FWidth / fw, FHeight / fh, FLeft, FTop);
    for (size_t at = FFirstRecord; at + 6 <= size;) {
        const size_t n = size_t{U32(d + at)} * 2;
        const uint16_t fn = U16(d + at + 4);
        const uint8_t* r = d + at + 6;
        const size_t len = n - 6;
        at += n;
        switch (fn) {
            case 0x0213:
                if (len >= 4) p.LineTo(S16(r + 2), S16(r));
                break;
            case 0x0214:
                if (len >= 4) p.MoveTo(S16(r + 2), S16(r));
                break;
            case 0x041B:
            case 0x0418:
                if (len >= 8) p.Rect(S16(r + 6), S16(r + 4), S16(r + 2), S16(r), fn == 0x0418);
                break;
            case 0x0324:
            case 0x0325: {
                if (len < 2) break;
                const size_t count = U16(r);
                if (count * 4 > len - 2) break;
                std::vector<win::POINT> pts(count);
                for (size_t i = 0; i < count; ++i) pts[i] = {S16(r + 2 + i * 4), S16(r + 4 + i * 4)};
                p.Poly(pts, fn == 0x0324);
                break;
            }
            case 0x02FA:
                if (len >= 10)
                    p.Pen(p.FreeSlot(), U16(r), S16(r + 2), U32(r + 6));
                else
                    p.Placeholder(p.FreeSlot());
                break;
            case 0x02FC:
                if (len >= 6)
                    p.Brush(p.FreeSlot(), U16(r), U32(r + 2));
                else
                    p.Placeholder(p.FreeSlot());
                break;
            // Objects this player does not draw with still take their slots.
            case 0x02FB:
            case 0x00F7:
            case 0x06FF:
            case 0x01F9:
            case 0x0142: p.Placeholder(p.FreeSlot()); break;
            case 0x012D:
                if (len >= 2) p.Select(U16(r));
                break;
            case 0x01F0:
                if (len >= 2) p.Delete(U16(r));
                break;
            case 0x0102:
                if (len >= 2) p.BkMode(S16(r));
                break;
            case 0x0106:
                if (len >= 2) p.FillMode(S16(r));
                break;
            default: break;
        }
    }
}

}  // namespace ie
