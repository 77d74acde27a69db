// Fonts and text: LOGFONT to a FreeType face through fontconfig (Windows face names
// mapped to metric-compatible faces), text metrics and extents, aliased glyph output,
// ExtTextOut options and DrawText layout. Text is UTF-8.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/gdi_internal.h"
#include "platform/gdi_testhooks.h"

namespace win::gdi {

namespace {

std::atomic<bool> g_testFont{false};
std::mutex g_ftMutex;  // FreeType and fontconfig calls

constexpr const char* kTestFaceName = "LumetraTestFont";

struct Glyph {
    int advance = 0;  // pixels along the baseline
    // Rendered bitmap (rotated with the escapement): coverage 0 .. 255 per pixel.
    int left = 0, top = 0, width = 0, rows = 0;
    std::vector<uint8_t> bits;
};

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Windows face names and the metric-compatible faces that stand in for them.
const char* MappedFamily(std::string_view name) {
    static const std::pair<const char*, const char*> table[] = {
        {"Arial", "Liberation Sans"},
        {"Helvetica", "Liberation Sans"},
        {"MS Sans Serif", "Liberation Sans"},
        {"Microsoft Sans Serif", "Liberation Sans"},
        {"MS Shell Dlg", "Liberation Sans"},
        {"MS Shell Dlg 2", "Liberation Sans"},
        {"Tahoma", "Liberation Sans"},
        {"Verdana", "Liberation Sans"},
        {"Segoe UI", "Liberation Sans"},
        {"System", "Liberation Sans"},
        {"Times New Roman", "Liberation Serif"},
        {"Times", "Liberation Serif"},
        {"MS Serif", "Liberation Serif"},
        {"Georgia", "Liberation Serif"},
        {"Courier New", "Liberation Mono"},
        {"Courier", "Liberation Mono"},
        {"Lucida Console", "Liberation Mono"},
        {"Consolas", "Liberation Mono"},
        {"Fixedsys", "Liberation Mono"},
        {"Terminal", "Liberation Mono"},
    };
    for (const auto& [win, family] : table)
        if (EqualNoCase(name, win)) return family;
    return nullptr;
}

FT_Library Library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) l = nullptr;
        return l;
    }();
    return lib;
}

// Loaded faces by file and index; they live for the whole run.
FT_Face LoadFace(const std::string& file, int index) {
    static std::map<std::pair<std::string, int>, FT_Face> faces;
    auto key = std::make_pair(file, index);
    auto it = faces.find(key);
    if (it != faces.end()) return it->second;
    FT_Face face = nullptr;
    if (!Library() || FT_New_Face(Library(), file.c_str(), index, &face) != 0) face = nullptr;
    faces[key] = face;
    return face;
}

struct Match {
    std::string file;
    int index = 0;
    std::string family;
    int weight = FC_WEIGHT_REGULAR;
    int slant = FC_SLANT_ROMAN;
};

// A private fontconfig configuration, destroyed at exit (fontconfig frees its internal
// state only then).
FcConfig* FontConfig() {
    static FcConfig* config = [] {
        FcConfig* c = FcInitLoadConfigAndFonts();
        if (c) {
            std::atexit([] {
                std::lock_guard<std::mutex> lock(g_ftMutex);
                FcConfigDestroy(FontConfig());
            });
        }
        return c;
    }();
    return config;
}

bool FcFind(const char* family, int weight, bool italic, Match* out) {
    FcConfig* config = FontConfig();
    if (!config) return false;
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pat, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult res = FcResultNoMatch;
    FcPattern* m = FcFontMatch(config, pat, &res);
    FcPatternDestroy(pat);
    if (!m) return false;
    FcChar8* file = nullptr;
    FcChar8* fam = nullptr;
    bool ok = FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch;
    if (ok) {
        out->file = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(m, FC_INDEX, 0, &out->index);
        if (FcPatternGetString(m, FC_FAMILY, 0, &fam) == FcResultMatch)
            out->family = reinterpret_cast<const char*>(fam);
        FcPatternGetInteger(m, FC_WEIGHT, 0, &out->weight);
        FcPatternGetInteger(m, FC_SLANT, 0, &out->slant);
    }
    FcPatternDestroy(m);
    return ok;
}

}  // namespace

struct FontFace {
    bool test = false;
    FT_Face face = nullptr;
    FT_F26Dot6 charSize = 0;  // em in 26.6 pixels
    bool emboldenSynthetic = false;
    bool obliqueSynthetic = false;
    bool antialias = false;  // grey coverage (antialiased and ClearType qualities)
    double escapement = 0;   // radians, counter-clockwise
    std::string family;
    TEXTMETRICA tm;
    int underlinePos = 0, underlineThickness = 1;  // below the baseline, pixels
    int strikePos = 0, strikeThickness = 1;        // above the baseline
    std::mutex glyphMutex;
    std::unordered_map<uint32_t, Glyph> glyphs;
};

namespace {

LONG RoundL(double v) { return static_cast<LONG>(std::lround(v)); }

void FillCommonMetrics(const LOGFONTA& lf, TEXTMETRICA& tm) {
    tm.tmWeight = lf.lfWeight == 0 ? FW_NORMAL : lf.lfWeight;
    tm.tmItalic = lf.lfItalic ? 1 : 0;
    tm.tmUnderlined = lf.lfUnderline ? 1 : 0;
    tm.tmStruckOut = lf.lfStrikeOut ? 1 : 0;
    tm.tmCharSet = lf.lfCharSet;
    tm.tmDigitizedAspectX = 96;
    tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFF;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
}

std::shared_ptr<FontFace> MakeTestFace(const LOGFONTA& lf) {
    auto f = std::make_shared<FontFace>();
    f->test = true;
    f->family = kTestFaceName;
    f->escapement = lf.lfEscapement * M_PI / 1800.0;
    TEXTMETRICA& tm = f->tm;
    tm.tmHeight = 13;
    tm.tmAscent = 10;
    tm.tmDescent = 3;
    tm.tmInternalLeading = 2;
    tm.tmExternalLeading = 0;
    tm.tmAveCharWidth = 7;
    tm.tmMaxCharWidth = 7;
    FillCommonMetrics(lf, tm);
    tm.tmPitchAndFamily = FF_MODERN;  // fixed pitch: the TMPF_FIXED_PITCH bit stays clear
    f->underlinePos = 1;
    f->strikePos = 4;
    return f;
}

std::shared_ptr<FontFace> MakeFace(const LOGFONTA& lf) {
    std::string name(lf.lfFaceName, strnlen(lf.lfFaceName, LF_FACESIZE));
    if (g_testFont.load() || EqualNoCase(name, kTestFaceName)) return MakeTestFace(lf);
    std::lock_guard<std::mutex> lock(g_ftMutex);
    const char* family = MappedFamily(name);
    int weight = lf.lfWeight <= 0 ? FW_NORMAL : std::clamp<int>(lf.lfWeight, 1, 1000);
    bool italic = lf.lfItalic != 0;
    Match m;
    bool found = false;
    if (!family && !name.empty()) {
        // A face installed under its own name is used as it is.
        found = FcFind(name.c_str(), weight, italic, &m) && EqualNoCase(m.family, name);
    }
    if (!found) {
        if (!family) {
            BYTE pitchFamily = lf.lfPitchAndFamily;
            if ((pitchFamily & 0xF0) == FF_ROMAN) {
                family = "Liberation Serif";
            } else if ((pitchFamily & 0xF0) == FF_MODERN || (pitchFamily & 3) == FIXED_PITCH) {
                family = name.empty() ? "Liberation Mono" : "Liberation Sans";
            } else {
                family = "Liberation Sans";
            }
        }
        found = FcFind(family, weight, italic, &m);
    }
    FT_Face face = found ? LoadFace(m.file, m.index) : nullptr;
    if (!face) return MakeTestFace(lf);  // no scalable face at all: keep text working
    auto f = std::make_shared<FontFace>();
    f->face = face;
    f->family = m.family;
    f->escapement = lf.lfEscapement * M_PI / 1800.0;
    f->emboldenSynthetic = weight >= FW_SEMIBOLD && m.weight < FC_WEIGHT_DEMIBOLD;
    f->obliqueSynthetic = italic && m.slant == FC_SLANT_ROMAN;
    f->antialias = lf.lfQuality >= ANTIALIASED_QUALITY && lf.lfQuality <= CLEARTYPE_QUALITY + 1;

    double upem = face->units_per_EM ? face->units_per_EM : 2048;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST));
    double winA = os2 ? os2->usWinAscent : face->ascender;
    double winD = os2 ? os2->usWinDescent : -face->descender;
    if (winA + winD <= 0) winD = upem - winA;
    double em;
    LONG ascent, descent;
    LONG h = lf.lfHeight;
    if (h > 0) {
        // Cell height: the em is scaled so that ascent + descent is the requested height.
        em = h * upem / (winA + winD);
        ascent = RoundL(winA * h / (winA + winD));
        descent = h - ascent;
    } else {
        em = h < 0 ? -static_cast<double>(h) : 16.0;
        em = std::min(em, 4096.0);
        ascent = RoundL(winA * em / upem);
        descent = RoundL(winD * em / upem);
    }
    f->charSize = static_cast<FT_F26Dot6>(std::lround(em * 64));
    TEXTMETRICA& tm = f->tm;
    tm.tmAscent = ascent;
    tm.tmDescent = descent;
    tm.tmHeight = ascent + descent;
    tm.tmInternalLeading = std::max<LONG>(0, tm.tmHeight - RoundL(em));
    double gap = 0;
    if (hhea) gap = hhea->Line_Gap - ((winA + winD) - (hhea->Ascender - hhea->Descender));
    tm.tmExternalLeading = std::max<LONG>(0, RoundL(gap * em / upem));
    tm.tmAveCharWidth = os2 ? RoundL(os2->xAvgCharWidth * em / upem) : RoundL(em / 2);
    tm.tmMaxCharWidth = RoundL((face->bbox.xMax - face->bbox.xMin) * em / upem);
    FillCommonMetrics(lf, tm);
    bool fixed = FT_IS_FIXED_WIDTH(face);
    BYTE fam = lf.lfPitchAndFamily & 0xF0;
    if (fam == 0) fam = fixed ? FF_MODERN : (m.family.find("Serif") != std::string::npos ? FF_ROMAN : FF_SWISS);
    tm.tmPitchAndFamily = static_cast<BYTE>(fam | TMPF_TRUETYPE | TMPF_VECTOR | (fixed ? 0 : TMPF_FIXED_PITCH));
    if (post) {
        f->underlinePos = std::max<int>(1, static_cast<int>(std::lround(-post->underlinePosition * em / upem)));
        f->underlineThickness = std::max<int>(1, static_cast<int>(std::lround(post->underlineThickness * em / upem)));
    } else {
        f->underlinePos = std::max<int>(1, static_cast<int>(descent / 2));
    }
    if (os2 && os2->yStrikeoutSize > 0) {
        f->strikePos = static_cast<int>(std::lround(os2->yStrikeoutPosition * em / upem));
        f->strikeThickness = std::max<int>(1, static_cast<int>(std::lround(os2->yStrikeoutSize * em / upem)));
    } else {
        f->strikePos = static_cast<int>(ascent / 3);
    }
    return f;
}

}  // namespace

// The face of a font object, resolved on first use (again when the test switch changed).
std::shared_ptr<FontFace> FaceOf(FontObj& font) {
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    bool wantTest = g_testFont.load();
    std::string name(font.lf.lfFaceName, strnlen(font.lf.lfFaceName, LF_FACESIZE));
    if (EqualNoCase(name, kTestFaceName)) wantTest = true;
    if (!font.face || font.face->test != wantTest) font.face = MakeFace(font.lf);
    return font.face;
}

namespace {

std::u32string DecodeUtf8(std::string_view s) {
    std::u32string out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c, extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F, extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F, extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07, extra = 3;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (i + static_cast<size_t>(extra) >= s.size()) {
            out.push_back(0xFFFD);  // truncated sequence
            ++i;
            continue;
        }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((d & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (d & 0x3F);
        }
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        out.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

// Glyph metrics and bitmap of a character (the face mutex is taken inside).
const Glyph& GlyphOf(FontFace& f, char32_t ch) {
    std::lock_guard<std::mutex> glyphLock(f.glyphMutex);
    auto it = f.glyphs.find(ch);
    if (it != f.glyphs.end()) return it->second;
    Glyph g;
    if (f.test) {
        g.advance = 7;
        g.left = 1;
        g.top = 8;  // rows above the baseline: the box spans cell rows 2 .. 9
        g.width = 5;
        g.rows = 8;
        g.bits.assign(40, 255);
    } else {
        std::lock_guard<std::mutex> lock(g_ftMutex);
        FT_Face face = f.face;
        FT_Set_Char_Size(face, 0, f.charSize, 72, 72);
        FT_UInt index = FT_Get_Char_Index(face, ch);
        FT_Int32 flags = FT_LOAD_TARGET_MONO;
        // Advance along the baseline, without rotation.
        FT_Set_Transform(face, nullptr, nullptr);
        bool baseLoaded = FT_Load_Glyph(face, index, flags) == 0;
        if (baseLoaded) {
            if (f.emboldenSynthetic) FT_GlyphSlot_Embolden(face->glyph);
            g.advance = static_cast<int>((face->glyph->advance.x + 32) >> 6);
        }
        // The bitmap: rotated with the escapement, grey or monochrome by the quality.
        bool reload = f.escapement != 0 || f.antialias;
        if (f.escapement != 0) {
            FT_Matrix m;
            m.xx = static_cast<FT_Fixed>(std::lround(std::cos(f.escapement) * 65536));
            m.xy = static_cast<FT_Fixed>(std::lround(-std::sin(f.escapement) * 65536));
            m.yx = static_cast<FT_Fixed>(std::lround(std::sin(f.escapement) * 65536));
            m.yy = m.xx;
            FT_Set_Transform(face, &m, nullptr);
        }
        bool loaded = baseLoaded;
        if (reload) loaded = FT_Load_Glyph(face, index, f.antialias ? FT_LOAD_TARGET_NORMAL : flags) == 0;
        FT_GlyphSlot slot = face->glyph;
        if (loaded && f.obliqueSynthetic) FT_GlyphSlot_Oblique(slot);
        if (loaded && f.emboldenSynthetic && reload) FT_GlyphSlot_Embolden(slot);
        if (loaded && FT_Render_Glyph(slot, f.antialias ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) == 0) {
            const FT_Bitmap& bm = slot->bitmap;
            g.left = slot->bitmap_left;
            g.top = slot->bitmap_top;
            g.width = static_cast<int>(bm.width);
            g.rows = static_cast<int>(bm.rows);
            g.bits.assign(static_cast<size_t>(g.width) * static_cast<size_t>(g.rows), 0);
            for (int y = 0; y < g.rows; ++y) {
                const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
                for (int x = 0; x < g.width; ++x) {
                    uint8_t cov =
                        bm.pixel_mode == FT_PIXEL_MODE_MONO ? (((row[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0) : row[x];
                    g.bits[static_cast<size_t>(y) * static_cast<size_t>(g.width) + static_cast<size_t>(x)] = cov;
                }
            }
        }
        FT_Set_Transform(face, nullptr, nullptr);
    }
    return f.glyphs.emplace(ch, std::move(g)).first->second;
}

std::shared_ptr<FontFace> DcFace(DcObj& dc) {
    if (!dc.st.font) return nullptr;
    return FaceOf(*dc.st.font);
}

int Extent(FontFace& f, const std::u32string& text, const int* dx = nullptr) {
    int w = 0;
    for (size_t i = 0; i < text.size(); ++i) w += dx ? dx[i] : GlyphOf(f, text[i]).advance;
    return w;
}

struct TextStyle {
    bool underline = false;
    bool strike = false;
};

// Draws a run of text with its reference point at logical (x, y) aligned by `align`.
// Returns the advance (extent) of the run.
int DrawRun(DcObj& dc, FontFace& f, int x, int y, UINT align, const std::u32string& text, const int* dx, UINT options,
            const RECT* rect, const std::vector<bool>* underlineChars) {
    const TEXTMETRICA& tm = f.tm;
    int extent = Extent(f, text, dx);
    double cs = std::cos(f.escapement), sn = std::sin(f.escapement);
    // Offsets along the baseline (u) and downwards across it (v) from the reference point
    // to the start of the baseline.
    double u = 0, v = 0;
    UINT h = align & (TA_CENTER);
    if (h == TA_RIGHT) {
        u = -extent;
    } else if (h == TA_CENTER) {
        u = -extent / 2;
    }
    UINT vert = align & TA_BASELINE;
    if (vert == TA_TOP) {
        v = tm.tmAscent;
    } else if (vert == TA_BOTTOM) {
        v = -tm.tmDescent;
    }
    POINT ref = dc.ToDev(POINT{x, y});
    auto at = [&](double du, double dv) {
        // device position of baseline-relative (du along, dv down)
        return std::make_pair(ref.x + (u + du) * cs + (v + dv) * sn, ref.y - (u + du) * sn + (v + dv) * cs);
    };
    std::optional<Region> clip;
    if (rect && (options & ETO_CLIPPED)) {
        RECT r = *rect;
        clip = Region::FromRect(dc.ToDevX(std::min(r.left, r.right)), dc.ToDevY(std::min(r.top, r.bottom)),
                                dc.ToDevX(std::max(r.left, r.right)), dc.ToDevY(std::max(r.top, r.bottom)));
    }
    if (rect && (options & ETO_OPAQUE)) {
        Region r = Region::FromRect(
            dc.ToDevX(std::min(rect->left, rect->right)), dc.ToDevY(std::min(rect->top, rect->bottom)),
            dc.ToDevX(std::max(rect->left, rect->right)), dc.ToDevY(std::max(rect->top, rect->bottom)));
        FillRegion(dc, r, PaintFromColor(dc, dc.st.bkColor), 0xF0);
    }
    auto quad = [&](double u0, double v0, double u1, double v1) {
        // Pixels whose centres lie inside the baseline-aligned rectangle [u0,u1) x [v0,v1).
        SpanSet s;
        if (f.escapement == 0) {
            auto p = at(u0, v0);
            auto q = at(u1, v1);
            int l = static_cast<int>(std::lround(p.first)), t = static_cast<int>(std::lround(p.second));
            int r = static_cast<int>(std::lround(q.first)), b = static_cast<int>(std::lround(q.second));
            for (int yy = t; yy < b; ++yy) s.Add(yy, l, r);
            return s.Build();
        }
        auto c0 = at(u0, v0), c1 = at(u1, v0), c2 = at(u1, v1), c3 = at(u0, v1);
        double ys[4] = {c0.second, c1.second, c2.second, c3.second};
        double xs4[4] = {c0.first, c1.first, c2.first, c3.first};
        int y0 = static_cast<int>(std::floor(*std::min_element(ys, ys + 4))) - 1;
        int y1 = static_cast<int>(std::ceil(*std::max_element(ys, ys + 4))) + 1;
        for (int yy = y0; yy <= y1; ++yy) {
            double sy = yy + 0.5, lo = INFINITY, hi = -INFINITY;
            for (int e = 0; e < 4; ++e) {
                double ya = ys[e], yb = ys[(e + 1) % 4], xa = xs4[e], xb = xs4[(e + 1) % 4];
                if ((sy < std::min(ya, yb)) || (sy >= std::max(ya, yb)) || ya == yb) continue;
                double xc = xa + (sy - ya) * (xb - xa) / (yb - ya);
                lo = std::min(lo, xc);
                hi = std::max(hi, xc);
            }
            if (lo < hi) s.Add(yy, static_cast<int>(std::ceil(lo - 0.5)), static_cast<int>(std::ceil(hi - 0.5)));
        }
        return s.Build();
    };
    if (dc.st.bkMode == OPAQUE && !(options & ETO_OPAQUE) && extent > 0) {
        Region cell = quad(0, -tm.tmAscent, extent, tm.tmDescent);
        if (clip) cell = cell.And(*clip);
        FillRegion(dc, cell, PaintFromColor(dc, dc.st.bkColor), 0xF0);
    }
    SpanSet ink;
    struct Partial {
        int x, y;
        uint8_t cov;
    };
    std::vector<Partial> partial;  // grey glyph pixels
    int pen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph& g = GlyphOf(f, text[i]);
        auto origin = at(pen, 0);
        int ox = static_cast<int>(std::lround(origin.first)), oy = static_cast<int>(std::lround(origin.second));
        for (int r = 0; r < g.rows; ++r) {
            int yy = oy - g.top + r;
            const uint8_t* row = g.bits.data() + static_cast<size_t>(r) * static_cast<size_t>(g.width);
            int c = 0;
            while (c < g.width) {
                while (c < g.width && row[c] != 255) {
                    if (row[c]) partial.push_back({ox + g.left + c, yy, row[c]});
                    ++c;
                }
                int s0 = c;
                while (c < g.width && row[c] == 255) ++c;
                if (c > s0) ink.Add(yy, ox + g.left + s0, ox + g.left + c);
            }
        }
        int adv = dx ? dx[i] : g.advance;
        if (underlineChars && i < underlineChars->size() && (*underlineChars)[i]) {
            Region line = quad(pen, f.underlinePos, pen + g.advance, f.underlinePos + f.underlineThickness);
            for (const RECT& rc : line.Rects())
                for (int yy = rc.top; yy < rc.bottom; ++yy) ink.Add(yy, rc.left, rc.right);
        }
        pen += adv;
    }
    Region inkRgn = ink.Build();
    const LOGFONTA& lf = dc.st.font->lf;
    if (lf.lfUnderline && extent > 0)
        inkRgn = inkRgn.Or(quad(0, f.underlinePos, extent, f.underlinePos + f.underlineThickness));
    if (lf.lfStrikeOut && extent > 0)
        inkRgn = inkRgn.Or(quad(0, -f.strikePos - f.strikeThickness + 1, extent, -f.strikePos + 1));
    if (clip) inkRgn = inkRgn.And(*clip);
    FillRegion(dc, inkRgn, PaintFromColor(dc, dc.st.textColor), 0xF0);
    if (!partial.empty() && !dc.DrawingIgnored()) {
        // Grey coverage blends the text colour over what is there.
        BitmapObj& bm = dc.Surface();
        ColorMatcher match(bm);
        COLORREF t = dc.st.textColor;
        if ((t >> 24) == 0x01) t = RawToColor(bm, ColorToRaw(bm, t, dc.st.palette.get()));
        const Region& vis = dc.Visible();
        for (const Partial& p : partial) {
            if (clip && !clip->Contains(p.x, p.y)) continue;
            int sx = p.x + dc.origin.x, sy = p.y + dc.origin.y;
            if (!vis.Contains(sx, sy)) continue;
            COLORREF d = RawToColor(bm, ReadPixelRaw(bm, sx, sy));
            auto mix = [&](BYTE dv, BYTE tv) {
                return static_cast<BYTE>((dv * (255 - p.cov) + tv * p.cov + 127) / 255);
            };
            COLORREF c =
                RGB(mix(GetRValue(d), GetRValue(t)), mix(GetGValue(d), GetGValue(t)), mix(GetBValue(d), GetBValue(t)));
            WritePixelRaw(bm, sx, sy, match(c));
            NoteDrawn(dc, RECT{sx, sy, sx + 1, sy + 1});
        }
    }
    return extent;
}

}  // namespace

}  // namespace win::gdi

namespace win {

using namespace gdi;

namespace test {
void UseTestFont(bool on) { g_testFont.store(on); }
}  // namespace test

int EnumFontFamiliesExA(HDC, const LOGFONTA* logfont, FONTENUMPROCA proc, LPARAM lParam, DWORD) {
    if (!logfont || !proc) return 0;
    const std::string wanted(logfont->lfFaceName, strnlen(logfont->lfFaceName, LF_FACESIZE));
    std::vector<std::string> families{kTestFaceName};
    {
        std::lock_guard<std::mutex> lock(g_ftMutex);
        FcConfig* config = FontConfig();
        FcPattern* pat = config ? FcPatternCreate() : nullptr;
        FcObjectSet* os = pat ? FcObjectSetBuild(FC_FAMILY, nullptr) : nullptr;
        if (pat) FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
        FcFontSet* set = os ? FcFontList(config, pat, os) : nullptr;
        for (int i = 0; set && i < set->nfont; ++i) {
            FcChar8* fam = nullptr;
            if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &fam) == FcResultMatch && fam)
                families.emplace_back(reinterpret_cast<const char*>(fam));
        }
        if (set) FcFontSetDestroy(set);
        if (os) FcObjectSetDestroy(os);
        if (pat) FcPatternDestroy(pat);
    }
    auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    std::sort(families.begin(), families.end(), [&](const std::string& a, const std::string& b) {
        const std::string la = lower(a), lb = lower(b);
        return la != lb ? la < lb : a < b;
    });
    families.erase(std::unique(families.begin(), families.end(),
                               [](const std::string& a, const std::string& b) { return EqualNoCase(a, b); }),
                   families.end());
    int answer = 1;
    for (const std::string& f : families) {
        if (f.empty() || f.size() >= static_cast<size_t>(LF_FACESIZE)) continue;
        if (!wanted.empty() && !EqualNoCase(f, wanted)) continue;
        LOGFONTA lf;
        lf.lfCharSet = DEFAULT_CHARSET;
        std::memcpy(lf.lfFaceName, f.c_str(), f.size() + 1);
        const TEXTMETRICA tm{};
        answer = proc(&lf, &tm, TRUETYPE_FONTTYPE, lParam);
        if (answer == 0) break;
    }
    return answer;
}

HFONT CreateFontIndirectA(const LOGFONTA* logfont) {
    if (!logfont) return nullptr;
    auto f = std::make_shared<FontObj>();
    f->kind = HandleKind::Font;
    f->lf = *logfont;
    f->lf.lfFaceName[LF_FACESIZE - 1] = 0;
    return AsHandle<HFONT>(Objects().Add(f));
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, const char* faceName) {
    LOGFONTA lf;
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = static_cast<BYTE>(italic != 0);
    lf.lfUnderline = static_cast<BYTE>(underline != 0);
    lf.lfStrikeOut = static_cast<BYTE>(strikeOut != 0);
    lf.lfCharSet = static_cast<BYTE>(charSet);
    lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
    lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
    lf.lfQuality = static_cast<BYTE>(quality);
    lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
    if (faceName) std::strncpy(lf.lfFaceName, faceName, LF_FACESIZE - 1);
    return CreateFontIndirectA(&lf);
}

BOOL GetTextMetricsA(HDC hdc, TEXTMETRICA* metrics) {
    auto dc = GetDc(hdc);
    if (!dc || !metrics) return FALSE;
    auto f = DcFace(*dc);
    if (!f) return FALSE;
    *metrics = f->tm;
    return TRUE;
}

BOOL GetTextExtentPoint32A(HDC hdc, const char* text, int length, SIZE* size) {
    auto dc = GetDc(hdc);
    if (!dc || !size || length < 0 || (length > 0 && !text)) return FALSE;
    auto f = DcFace(*dc);
    if (!f) return FALSE;
    std::u32string s = DecodeUtf8(std::string_view(text ? text : "", static_cast<size_t>(length)));
    size->cx = Extent(*f, s);
    size->cy = f->tm.tmHeight;
    return TRUE;
}

int GetTextFaceA(HDC hdc, int size, char* name) {
    auto dc = GetDc(hdc);
    if (!dc || !dc->st.font) return 0;
    std::string face(dc->st.font->lf.lfFaceName, strnlen(dc->st.font->lf.lfFaceName, LF_FACESIZE));
    if (face.empty()) {
        auto f = DcFace(*dc);
        face = f ? f->family : std::string();
    }
    if (!name) return static_cast<int>(face.size()) + 1;
    if (size <= 0) return 0;
    size_t n = std::min(face.size(), static_cast<size_t>(size - 1));
    std::memcpy(name, face.data(), n);
    name[n] = 0;
    return static_cast<int>(n);
}

DWORD GetGlyphOutlineA(HDC hdc, UINT ch, UINT format, GLYPHMETRICS* gm, DWORD bufferSize, void* buffer,
                       const MAT2* mat) {
    (void)bufferSize;
    (void)buffer;
    auto dc = GetDc(hdc);
    if (!dc || !gm || format != GGO_METRICS) return GDI_ERROR;
    if (mat && !(mat->eM11.value == 1 && mat->eM11.fract == 0 && mat->eM12.value == 0 && mat->eM12.fract == 0 &&
                 mat->eM21.value == 0 && mat->eM21.fract == 0 && mat->eM22.value == 1 && mat->eM22.fract == 0)) {
        return GDI_ERROR;  // only the identity transform is supported
    }
    auto f = DcFace(*dc);
    if (!f) return GDI_ERROR;
    const Glyph& g = GlyphOf(*f, static_cast<char32_t>(ch));
    bool empty = g.width == 0 || g.rows == 0;
    gm->gmBlackBoxX = empty ? 1u : static_cast<UINT>(g.width);
    gm->gmBlackBoxY = empty ? 1u : static_cast<UINT>(g.rows);
    gm->gmptGlyphOrigin = {empty ? 0 : g.left, empty ? 0 : g.top};
    gm->gmCellIncX = static_cast<SHORT>(g.advance);
    gm->gmCellIncY = 0;
    // The size a monochrome bitmap of the black box would take (rows padded to 32 bits).
    return ((gm->gmBlackBoxX + 31) / 32) * 4 * gm->gmBlackBoxY;
}

BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rect, const char* text, UINT length, const int* dx) {
    auto dc = GetDc(hdc);
    if (!dc || (length > 0 && !text)) return FALSE;
    auto f = DcFace(*dc);
    if (!f) return FALSE;
    std::u32string s = DecodeUtf8(std::string_view(text ? text : "", length));
    UINT align = dc->st.textAlign;
    if (align & TA_UPDATECP) {
        x = dc->st.pos.x;
        y = dc->st.pos.y;
    }
    int extent = DrawRun(*dc, *f, x, y, align, s, dx, options, rect, nullptr);
    if (align & TA_UPDATECP) {
        UINT h = align & TA_CENTER;
        if (h == TA_LEFT) dc->st.pos.x = x + extent;
        if (h == TA_RIGHT) dc->st.pos.x = x - extent;
    }
    return TRUE;
}

BOOL TextOutA(HDC hdc, int x, int y, const char* text, int length) {
    if (length < 0) return FALSE;
    return ExtTextOutA(hdc, x, y, 0, nullptr, text, static_cast<UINT>(length), nullptr);
}

// ------------------------------------------------------------------ DrawText

namespace {

struct Line {
    std::u32string text;
    std::vector<bool> underline;  // prefix-marked characters
};

// Strips '&' prefixes ("&&" is a literal '&'), remembering which characters they mark.
Line StripPrefixes(const std::u32string& s, bool noPrefix) {
    Line line;
    for (size_t i = 0; i < s.size(); ++i) {
        if (!noPrefix && s[i] == U'&') {
            if (i + 1 < s.size()) {
                ++i;
                line.text.push_back(s[i]);
                line.underline.push_back(s[i] != U'&');
            }
            continue;
        }
        line.text.push_back(s[i]);
        line.underline.push_back(false);
    }
    return line;
}

Line Slice(const Line& l, size_t from, size_t to) {
    Line out;
    out.text = l.text.substr(from, to - from);
    out.underline.assign(l.underline.begin() + static_cast<ptrdiff_t>(from),
                         l.underline.begin() + static_cast<ptrdiff_t>(to));
    return out;
}

// Breaks a paragraph at spaces so that each line fits `width` (a word too long stays whole).
std::vector<Line> WordBreak(FontFace& f, const Line& para, int width) {
    std::vector<Line> out;
    size_t start = 0;
    const auto& t = para.text;
    while (start < t.size()) {
        size_t lastBreak = std::u32string::npos;
        int w = 0;
        size_t i = start;
        for (; i < t.size(); ++i) {
            if (t[i] == U' ') lastBreak = i;
            w += GlyphOf(f, t[i]).advance;
            if (w > width && t[i] != U' ') {
                break;
            }
        }
        if (i >= t.size()) {
            out.push_back(Slice(para, start, t.size()));
            break;
        }
        size_t end;
        size_t next;
        if (lastBreak != std::u32string::npos && lastBreak >= start) {
            end = lastBreak;
            next = lastBreak + 1;
        } else {
            // No space to break at: the word overflows up to its end.
            size_t sp = t.find(U' ', i);
            end = sp == std::u32string::npos ? t.size() : sp;
            next = sp == std::u32string::npos ? t.size() : sp + 1;
        }
        while (end > start && t[end - 1] == U' ') --end;
        out.push_back(Slice(para, start, end));
        start = next;
        while (start < t.size() && t[start] == U' ') ++start;
    }
    if (out.empty()) out.push_back(Line{});
    return out;
}

Line Ellipsize(FontFace& f, const Line& line, int width) {
    if (Extent(f, line.text) <= width) return line;
    const std::u32string dots = U"...";
    int dotsW = Extent(f, dots);
    Line out = line;
    while (!out.text.empty() && Extent(f, out.text) + dotsW > width) {
        out.text.pop_back();
        out.underline.pop_back();
    }
    out.text += dots;
    out.underline.insert(out.underline.end(), 3, false);
    return out;
}

}  // namespace

int DrawTextA(HDC hdc, const char* text, int length, RECT* rect, UINT format) {
    auto dc = GetDc(hdc);
    if (!dc || !rect || (!text && length != 0)) return 0;
    auto f = DcFace(*dc);
    if (!f) return 0;
    size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    std::u32string all = DecodeUtf8(std::string_view(text ? text : "", n));
    if (format & DT_EXPANDTABS) {
        std::u32string expanded;
        for (char32_t c : all) {
            if (c == U'\t') {
                expanded.append(8, U' ');
            } else {
                expanded.push_back(c);
            }
        }
        all = expanded;
    }
    int width = rect->right - rect->left;
    std::vector<Line> lines;
    if (format & DT_SINGLELINE) {
        std::u32string one;
        for (char32_t c : all)
            if (c != U'\r' && c != U'\n') one.push_back(c);
        lines.push_back(StripPrefixes(one, format & DT_NOPREFIX));
    } else {
        size_t start = 0;
        while (true) {
            size_t nl = all.find(U'\n', start);
            std::u32string para = all.substr(start, nl == std::u32string::npos ? std::u32string::npos : nl - start);
            if (!para.empty() && para.back() == U'\r') para.pop_back();
            Line p = StripPrefixes(para, format & DT_NOPREFIX);
            if (format & DT_WORDBREAK) {
                for (Line& l : WordBreak(*f, p, width)) lines.push_back(std::move(l));
            } else {
                lines.push_back(std::move(p));
            }
            if (nl == std::u32string::npos) break;
            start = nl + 1;
        }
    }
    if (format & DT_END_ELLIPSIS) {
        for (Line& l : lines) l = Ellipsize(*f, l, width);
    }
    int lineH = f->tm.tmHeight;
    int textH = lineH * static_cast<int>(lines.size());
    if (format & DT_CALCRECT) {
        int maxW = 0;
        for (const Line& l : lines) maxW = std::max(maxW, Extent(*f, l.text));
        rect->right = rect->left + maxW;
        rect->bottom = rect->top + textH;
        return textH;
    }
    int top = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER) {
            top = rect->top + ((rect->bottom - rect->top) - lineH) / 2;
        } else if (format & DT_BOTTOM) {
            top = rect->bottom - lineH;
        }
    }
    const RECT* clip = (format & DT_NOCLIP) ? nullptr : rect;
    int y = top;
    for (const Line& l : lines) {
        int w = Extent(*f, l.text);
        int x = rect->left;
        if (format & DT_CENTER) {
            x = rect->left + (width - w) / 2;
        } else if (format & DT_RIGHT) {
            x = rect->right - w;
        }
        DrawRun(*dc, *f, x, y, TA_LEFT | TA_TOP, l.text, nullptr, clip ? ETO_CLIPPED : 0, clip, &l.underline);
        y += lineH;
    }
    return y - rect->top;
}

}  // namespace win
