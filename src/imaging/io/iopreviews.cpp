// The parameters preview dialog: the form and its pages, reading and writing the working
// copy, the change rules of the pages, and the preview itself.
#include "imaging/io/iopreviews.h"

#include <algorithm>
#include <limits>
#include <cmath>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_draw.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_streams.h"
#include "imaging/core/iewords.h"
#include "imaging/io/vovozidio.h"
#include "imaging/io/vovozidio_registry.h"
#include "imaging/processing/vovozidproc.h"
#include "imaging/view/vovozidview.h"

namespace ie {

namespace {

// Photometric interpretations as the TIFF codec numbers them (and the list shows them).
enum : uint8_t {
    kWhiteIsZero = 0,
    kBlackIsZero = 1,
    kRGB = 2,
    kRGBPalette = 3,
    kTransparencyMask = 4,
    kCMYK = 5,
    kYCbCr = 6,
    kCIELab = 7
};
// TIFF compressions.
enum : int32_t { kTIFFNone = 0, kTIFFLZW = 5, kTIFFJPEG = 7, kTIFFPackBits = 8, kTIFFZip = 9 };
// The items of the colour lists.
enum { kTIFFBW, kTIFF16, kTIFF256, kTIFF65536, kTIFF16M };

const char* const kUnshownCaption = "Result can not be shown but parameters may be entered";

bool IsFaxCompression(int32_t C) { return C >= 1 && C <= 4; }
bool IsGrey(int32_t Photometric) { return Photometric == kWhiteIsZero || Photometric == kBlackIsZero; }
// A TIFF of 8-bit grey levels: the result view shows it in grey.
bool IsGreyTIFF(int32_t Photometric, int32_t Samples, int32_t Bits) {
    return IsGrey(Photometric) && Samples == 1 && Bits == 8;
}

cl::TColor RGBToColor(const TRGB& C) { return static_cast<cl::TColor>(C.r | (C.g << 8) | (C.b << 16)); }
TRGB ColorToRGB(cl::TColor C) {
    const uint32_t v = cl::ControlColorToRGB(C);
    return CreateRGB(static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF),
                     static_cast<uint8_t>((v >> 16) & 0xFF));
}

// Samples and bits of each colour item.
struct TSamplesBits {
    int32_t Samples, Bits;
};
constexpr TSamplesBits kTIFFColors[] = {{1, 1}, {1, 4}, {1, 8}, {1, 16}, {3, 8}};
constexpr TSamplesBits kTIFF2Colors[] = {{1, 1}, {1, 4}, {1, 8}, {3, 8}};
constexpr TSamplesBits kBMPColors[] = {{1, 1}, {1, 4}, {1, 8}, {3, 8}, {3, 8}};
constexpr TSamplesBits kPCXColors[] = {{1, 1}, {1, 4}, {1, 8}, {3, 8}};
constexpr TSamplesBits kPNGColors[] = {{1, 1}, {1, 8}, {3, 8}};

template <size_t N>
TSamplesBits ItemOf(const TSamplesBits (&Table)[N], int32_t Item) {
    return Table[static_cast<size_t>(std::clamp<int32_t>(Item, 0, static_cast<int32_t>(N) - 1))];
}

// The TIFF colour choice of (samples, bits) and the photometric.
int32_t TIFFColorsOf(int32_t Samples, int32_t Bits, int32_t Photometric) {
    int32_t c = Samples == 1 ? (Bits == 1                ? kTIFFBW
                                : Bits >= 2 && Bits <= 4 ? kTIFF16
                                : Bits >= 5 && Bits <= 8 ? kTIFF256
                                : Bits == 16             ? kTIFF65536
                                                         : kTIFF256)
                             : kTIFF16M;
    if (Photometric == kCMYK || Photometric == kYCbCr || Photometric == kCIELab)
        c = kTIFF16M;
    else if (IsGrey(Photometric))
        c = Bits == 1 ? kTIFFBW : kTIFF256;
    else if (c == kTIFFBW)
        c = kTIFF16M;
    return c;
}

int32_t TIFF2ColorsOf(int32_t TIFFColors) {
    static constexpr int32_t map[] = {0, 1, 2, 2, 3};
    return map[std::clamp(TIFFColors, 0, 4)];
}

int32_t BMPColorsOf(int32_t Samples, int32_t Bits) {
    if (Samples == 1) return Bits == 1 ? 0 : Bits <= 4 ? 1 : 2;
    return 3;
}

int32_t PCXColorsOf(int32_t Samples, int32_t Bits) { return BMPColorsOf(Samples, Bits); }

int32_t PNGColorsOf(int32_t Samples, int32_t Bits) {
    if (Samples == 1) return Bits == 1 ? 0 : 1;
    return 2;
}

// A whole number: an optional sign and decimal digits. Digits past 2^40 no longer change
// the value, which is then far outside every range of the dialog anyway.
bool ParseWhole(const cl::String& Text, int64_t& Value) {
    size_t i = 0;
    bool negative = false;
    if (!Text.empty() && (Text[0] == '-' || Text[0] == '+')) {
        negative = Text[0] == '-';
        i = 1;
    }
    if (i >= Text.size()) return false;
    int64_t v = 0;
    for (; i < Text.size(); ++i) {
        if (Text[i] < '0' || Text[i] > '9') return false;
        if (v < int64_t{1} << 40) v = v * 10 + (Text[i] - '0');
    }
    Value = negative ? -v : v;
    return true;
}

// The band at the top of a group box that its caption takes: the controls inside start
// below it.
constexpr int kGroupCaptionBand = 18;

// A control of the form, placed on Parent (inside a group box: below its caption).
template <class T>
T* Place(cl::TComponent* Owner, cl::TWinControl* Parent, int X, int Y, int W, int H) {
    auto* c = new T(Owner);
    c->SetParent(Parent);
    if (dynamic_cast<cl::TGroupBox*>(Parent)) Y += kGroupCaptionBand;
    c->SetBounds(X, Y, W, H);
    return c;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Building the form

TfIOPreviews::TfIOPreviews(cl::TComponent* AOwner) : cl::TForm(AOwner) {
    SetCaption("Parameters preview");
    SetBorderStyle(cl::bsDialog);
    SetBorderIcons(cl::BorderIconBit(cl::biSystemMenu));
    Position = cl::poScreenCenter;
    SetClientWidth(527);
    SetClientHeight(425);
    GetFont()->SetName("MS Sans Serif");
    GetFont()->SetHeight(-11);

    Image1 = new cl::TImage(this);
    Image1->SetParent(this);
    Image1->SetAlign(cl::alClient);
    Label1 = Place<cl::TLabel>(this, this, 8, 4, 60, 13);
    Label1->SetCaption("Source:");
    Label2 = Place<cl::TLabel>(this, this, 268, 4, 60, 13);
    Label2->SetCaption("Result:");
    VovozId1 = Place<TVovozIdView>(this, this, 8, 20, 251, 150);
    VovozId2 = Place<TVovozIdView>(this, this, 268, 20, 251, 150);
    PageControl1 = Place<cl::TPageControl>(this, this, 8, 176, 511, 208);

    chkLockPreview = Place<cl::TCheckBox>(this, this, 8, 396, 110, 17);
    chkLockPreview->SetCaption("Lock Preview");
    ProgressBar1 = Place<cl::TProgressBar>(this, this, 122, 397, 96, 16);
    ColorDialog1 = new cl::TColorDialog(this);
    auto button = [&](const char* Caption, int X) {
        auto* b = Place<cl::TButton>(this, this, X, 392, 70, 25);
        b->SetCaption(Caption);
        return b;
    };
    Button3 = button("&Preview", 224);
    Button4 = button("&Apply", 299);
    Button1 = button("OK", 374);
    Button1->SetDefault(true);
    Button1->ModalResult = cl::mrOk;
    Button2 = button("Cancel", 449);
    Button2->Cancel = true;
    Button2->ModalResult = cl::mrCancel;

    BuildPages();

    // FormCreate.
    FActivated = false;
    MonoConversion = 1;
    for (TVovozIdView* v : {VovozId1, VovozId2}) {
        v->GetProc()->AutoUndo = false;
        cl::TFont* f = v->GetIO()->PreviewFont();
        f->SetColor(cl::clWindowText);
        f->SetHeight(-11);
        f->SetName("MS Sans Serif");
        f->SetStyle(0);
    }
    for (cl::TTrackBar* t : {TrackBar13, TrackBar2, TrackBar1}) t->SetThumbLength(10);
    for (cl::TPanel* p : {Panel3, Panel4, Panel1, Panel5}) p->SetParentColor(false);
    Button4->SetEnabled(false);

    OnActivate = [this](cl::TObject*) { FormActivate(); };
    Button1->OnClick = [this](cl::TObject* s) { OKClick(s); };
    Button3->OnClick = [this](cl::TObject* s) { PreviewClick(s); };
    Button4->OnClick = [this](cl::TObject* s) { ApplyClick(s); };
    chkLockPreview->OnClick = [this](cl::TObject* s) { LockPreviewClick(s); };
    PageControl1->OnChanging = [this](cl::TObject* s, bool& allow) { PageControlChanging(s, allow); };
    PageControl1->OnChange = [this](cl::TObject* s) { PageControlChange(s); };
    VovozId1->OnViewChange = [this](cl::TObject* s, int32_t c) { SourceViewChange(s, c); };
    VovozId1->SetOnProgress([this](cl::TObject* s, int p) { ViewProgress(s, p); });
    VovozId2->SetOnProgress([this](cl::TObject* s, int p) { ViewProgress(s, p); });
}

TfIOPreviews::~TfIOPreviews() = default;

void TfIOPreviews::BuildPages() {
    auto sheet = [&](const char* Caption, TIOPreviewPage Kind) {
        auto* s = new cl::TTabSheet(this);
        s->SetPageControl(PageControl1);
        s->SetParent(PageControl1);
        s->SetCaption(Caption);
        FPages_[Kind] = s;
        return s;
    };
    auto label = [&](cl::TWinControl* P, const char* Caption, int X, int Y) {
        auto* l = Place<cl::TLabel>(this, P, X, Y, 90, 13);
        l->SetCaption(Caption);
        return l;
    };
    auto edit = [&](cl::TWinControl* P, int X, int Y, int W) { return Place<cl::TEdit>(this, P, X, Y, W, 21); };
    auto combo = [&](cl::TWinControl* P, std::initializer_list<const char*> Items, int X, int Y, int W) {
        auto* c = Place<cl::TComboBox>(this, P, X, Y, W, 21);
        for (const char* i : Items) c->GetItems()->Add(i);
        return c;
    };
    auto check = [&](cl::TWinControl* P, const char* Caption, int X, int Y, int W) {
        auto* c = Place<cl::TCheckBox>(this, P, X, Y, W, 17);
        c->SetCaption(Caption);
        return c;
    };
    auto track = [&](cl::TWinControl* P, int Max, int X, int Y) {
        auto* t = Place<cl::TTrackBar>(this, P, X, Y, 200, 26);
        t->SetRange(0, Max);
        return t;
    };
    auto updown = [&](cl::TEdit* Associate, int Max) {
        auto* u = new cl::TUpDown(this);
        u->SetParent(Associate->GetParent());
        u->Min = 0;
        u->Max = Max;
        u->SetAssociate(Associate);
        return u;
    };
    auto panel = [&](cl::TWinControl* P, int X, int Y) {
        auto* p = Place<cl::TPanel>(this, P, X, Y, 30, 20);
        p->SetBevelOuter(cl::bvLowered);
        p->OnClick = [this](cl::TObject* s) { ColorPanelClick(s); };
        return p;
    };
    auto group = [&](cl::TWinControl* P, const char* Caption, int X, int Y, int W, int H) {
        auto* g = Place<cl::TGroupBox>(this, P, X, Y, W, H);
        g->SetCaption(Caption);
        return g;
    };
    auto changed = [this](cl::TObject* s) { PageValueChanged(s); };
    const std::initializer_list<const char*> gifColors = {"B/W", "4", "8", "16", "32", "64", "128", "256"};

    // JPEG.
    TabSheetJPEG1 = sheet("JPEG", ipJPEG1);
    Captions.JPEGQuality = label(TabSheetJPEG1, "Quality:", 8, 8);
    Edit22 = edit(TabSheetJPEG1, 100, 4, 40);
    TrackBar13 = track(TabSheetJPEG1, 100, 150, 2);
    GroupBoxJPEGAdvanced = group(TabSheetJPEG1, " Advanced ", 8, 32, 280, 140);
    Captions.JPEGColorSpace = label(GroupBoxJPEGAdvanced, "Photometric:", 8, 6);
    ComboBox13 = combo(GroupBoxJPEGAdvanced, {"RGB", "GrayScale", "YCbCr", "CMYK", "YCbCrK"}, 120, 2, 100);
    Captions.JPEGDCT = label(GroupBoxJPEGAdvanced, "DCT method:", 8, 32);
    ComboBox1 = combo(GroupBoxJPEGAdvanced, {"ISLOW", "IFAST", "FLOAT"}, 120, 28, 100);
    Captions.JPEGSmooth = label(GroupBoxJPEGAdvanced, "Smoothing factor:", 8, 58);
    Edit23 = edit(GroupBoxJPEGAdvanced, 120, 54, 40);
    UpDown11 = updown(Edit23, 100);
    CheckBox2 = check(GroupBoxJPEGAdvanced, "&Optimal Huffman", 8, 84, 130);
    CheckBox3 = check(GroupBoxJPEGAdvanced, "P&rogressive", 140, 84, 120);
    TabSheetJPEG2 = sheet("JPEG", ipJPEG2);
    Captions.JPEG2Quality = label(TabSheetJPEG2, "Quality:", 8, 8);
    Edit16 = edit(TabSheetJPEG2, 100, 4, 40);
    TrackBar2 = track(TabSheetJPEG2, 100, 150, 2);

    // TIFF.
    TabSheetTIFF1 = sheet("TIFF", ipTIFF1);
    Captions.TIFFCompression = label(TabSheetTIFF1, "Compression:", 8, 8);
    ComboBox2 = combo(TabSheetTIFF1, {}, 100, 4, 120);
    Captions.TIFFImageIndex = label(TabSheetTIFF1, "Image index:", 8, 34);
    Edit1 = edit(TabSheetTIFF1, 100, 30, 50);
    UpDown1 = updown(Edit1, 1000);
    Captions.TIFFPhotometric = label(TabSheetTIFF1, "Photometric:", 8, 60);
    ComboBox3 =
        combo(TabSheetTIFF1,
              {"WHITEISZERO/Gray", "BLACKISZERO/Gray", "RGB", "RGBPALETTE", "TRANSPMASK", "CMYK", "YCBCR", "CIELAB"},
              100, 56, 120);
    Captions.TIFFColors = label(TabSheetTIFF1, "Colors:", 8, 86);
    ComboBox4 = combo(TabSheetTIFF1, {"B/W", "16", "256", "65536", "16M"}, 100, 82, 120);
    Captions.TIFFXPos = label(TabSheetTIFF1, "Horiz. Position (inch):", 8, 112);
    Edit2 = edit(TabSheetTIFF1, 150, 108, 50);
    Captions.TIFFYPos = label(TabSheetTIFF1, "Vert. Position (inch):", 8, 138);
    Edit3 = edit(TabSheetTIFF1, 150, 134, 50);
    GroupBoxScanned = group(TabSheetTIFF1, " Scanned document info ", 230, 0, 270, 125);
    Captions.TIFFDocumentName = label(GroupBoxScanned, "Name:", 8, 4);
    Edit4 = edit(GroupBoxScanned, 90, 0, 170);
    Captions.TIFFImageDescription = label(GroupBoxScanned, "Description:", 8, 28);
    Edit5 = edit(GroupBoxScanned, 90, 24, 170);
    Captions.TIFFPageName = label(GroupBoxScanned, "Page name:", 8, 52);
    Edit6 = edit(GroupBoxScanned, 90, 48, 170);
    Captions.TIFFPageNumber = label(GroupBoxScanned, "Page number:", 8, 76);
    Edit7 = edit(GroupBoxScanned, 90, 72, 40);
    Captions.TIFFPageOf = label(GroupBoxScanned, "of", 136, 76);
    Edit8 = edit(GroupBoxScanned, 160, 72, 40);
    TabSheetTIFF2 = sheet("TIFF", ipTIFF2);
    Captions.TIFF2Compression = label(TabSheetTIFF2, "Compression:", 8, 8);
    ComboBox16 = combo(TabSheetTIFF2, {}, 100, 4, 120);
    Captions.TIFF2Colors = label(TabSheetTIFF2, "Colors:", 8, 34);
    ComboBox17 = combo(TabSheetTIFF2, {"2", "16", "256", "16777216"}, 100, 30, 120);

    // GIF.
    TabSheetGIF1 = sheet("GIF", ipGIF1);
    Captions.GIFImageIndex = label(TabSheetGIF1, "Image index:", 8, 8);
    Edit9 = edit(TabSheetGIF1, 100, 4, 50);
    UpDown2 = updown(Edit9, 1000);
    Captions.GIFColors = label(TabSheetGIF1, "Colors:", 8, 34);
    ComboBox5 = combo(TabSheetGIF1, gifColors, 100, 30, 100);
    CheckBox4 = check(TabSheetGIF1, "&Transparent:", 8, 60, 100);
    Captions.GIFTranspColor = label(TabSheetGIF1, "Transparent color:", 116, 62);
    Panel3 = panel(TabSheetGIF1, 226, 58);
    CheckBox5 = check(TabSheetGIF1, "I&nterlaced:", 8, 86, 100);
    Captions.GIFBackground = label(TabSheetGIF1, "Background:", 116, 88);
    Panel4 = panel(TabSheetGIF1, 226, 84);
    Captions.GIFDelay = label(TabSheetGIF1, "Delay time:", 8, 114);
    Edit12 = edit(TabSheetGIF1, 100, 110, 50);
    Captions.GIFDelayUnit = label(TabSheetGIF1, "1/100 s", 156, 114);
    Captions.GIFXPos = label(TabSheetGIF1, "Horiz. Position:", 280, 8);
    Edit10 = edit(TabSheetGIF1, 380, 4, 50);
    Captions.GIFYPos = label(TabSheetGIF1, "Vert. Position:", 280, 34);
    Edit11 = edit(TabSheetGIF1, 380, 30, 50);
    TabSheetGIF2 = sheet("GIF", ipGIF2);
    Captions.GIF2Colors = label(TabSheetGIF2, "Colors:", 8, 8);
    ComboBox18 = combo(TabSheetGIF2, gifColors, 100, 4, 100);

    // BMP and PCX.
    TabSheetBMP1 = sheet("BMP", ipBMP1);
    Captions.BMPCompression = label(TabSheetBMP1, "Compression:", 8, 8);
    ComboBox6 = combo(TabSheetBMP1, {"UNCOMPRESSED", "RLE"}, 100, 4, 120);
    Captions.BMPColors = label(TabSheetBMP1, "Colors:", 8, 34);
    ComboBox7 = combo(TabSheetBMP1, {"B/W", "16", "256", "16M", "16M (32bit)"}, 100, 30, 120);
    TabSheetPCX1 = sheet("PCX", ipPCX1);
    Captions.PCXCompression = label(TabSheetPCX1, "Compression:", 8, 8);
    ComboBox8 = combo(TabSheetPCX1, {"UNCOMPRESSED", "RLE"}, 100, 4, 120);
    Captions.PCXColors = label(TabSheetPCX1, "Colors:", 8, 34);
    ComboBox9 = combo(TabSheetPCX1, {"B/W", "16", "256", "16M"}, 100, 30, 120);

    // PNG.
    TabSheetPNG1 = sheet("PNG", ipPNG1);
    Captions.PNGColors = label(TabSheetPNG1, "Colors:", 8, 8);
    ComboBox10 = combo(TabSheetPNG1, {"B/W", "256", "16M"}, 100, 4, 100);
    Captions.PNGBackground = label(TabSheetPNG1, "Background:", 8, 34);
    Panel1 = panel(TabSheetPNG1, 100, 30);
    GroupBoxPNGAdvanced = group(TabSheetPNG1, " Advanced ", 230, 0, 270, 110);
    Captions.PNGFilter = label(GroupBoxPNGAdvanced, "Filter:", 8, 4);
    ComboBox11 = combo(GroupBoxPNGAdvanced, {"None", "Sub", "Paeth"}, 100, 0, 100);
    CheckBox6 = check(GroupBoxPNGAdvanced, "I&nterlaced:", 8, 30, 100);
    Captions.PNGCompression = label(GroupBoxPNGAdvanced, "Compression:", 8, 58);
    ComboBox12 = combo(GroupBoxPNGAdvanced, {"None", "1", "2", "3", "4", "5", "6", "7", "8", "Max"}, 100, 54, 100);

    // TGA.
    TabSheetTGA1 = sheet("TGA", ipTGA1);
    Captions.TGAColors = label(TabSheetTGA1, "Colors:", 8, 8);
    ComboBox14 = combo(TabSheetTGA1, {"B/W", "256", "16M"}, 100, 4, 100);
    Captions.TGABackground = label(TabSheetTGA1, "Background:", 8, 34);
    Panel5 = panel(TabSheetTGA1, 100, 30);
    CheckBox1 = check(TabSheetTGA1, "Compression:", 8, 60, 120);
    Captions.TGAName = label(TabSheetTGA1, "Name:", 230, 8);
    Edit13 = edit(TabSheetTGA1, 320, 4, 170);
    Captions.TGADescription = label(TabSheetTGA1, "Description:", 230, 34);
    Edit14 = edit(TabSheetTGA1, 320, 30, 170);

    // JPEG 2000.
    TabSheetJ20001 = sheet("JPEG2000", ipJ20001);
    Captions.J2000Rate = label(TabSheetJ20001, "Rate:", 8, 8);
    Edit15 = edit(TabSheetJ20001, 100, 4, 50);
    Captions.J2000Rate1000 = label(TabSheetJ20001, "/1000", 154, 8);
    TrackBar1 = track(TabSheetJ20001, 1000, 200, 2);
    Captions.J2000ColorSpace = label(TabSheetJ20001, "Photometric:", 8, 40);
    ComboBox15 = combo(TabSheetJ20001, {"GrayScale", "RGB", "YCbCr"}, 100, 36, 100);

    for (int k = 0; k < ipPageCount; ++k) {
        const auto kind = static_cast<TIOPreviewPage>(k);
        const bool small = kind == ipJPEG2 || kind == ipTIFF2 || kind == ipGIF2;
        BuildSizeLabels(kind, small ? 61 : 130);
    }

    // The change handlers.
    for (cl::TComboBox* c :
         {ComboBox2, ComboBox3, ComboBox4, ComboBox5, ComboBox6, ComboBox7, ComboBox8, ComboBox9, ComboBox10,
          ComboBox11, ComboBox12, ComboBox13, ComboBox1, ComboBox14, ComboBox15, ComboBox16, ComboBox17, ComboBox18})
        c->OnChange = changed;
    for (cl::TTrackBar* t : {TrackBar13, TrackBar2, TrackBar1}) t->OnChange = changed;
    // Every number edit keeps to its range; the quality and rate edits also feed their track bars.
    for (const TIOPreviewEditRange& r : EditRanges()) {
        const bool feeds = r.Edit == Edit22 || r.Edit == Edit16 || r.Edit == Edit15;
        r.Edit->OnChange = [this, feeds](cl::TObject* s) {
            // A clamped text changed the edit again, and that change was handled already.
            if (ClampEdit(s)) return;
            if (feeds) PageValueChanged(s);
        };
    }
}

std::vector<TIOPreviewEditRange> TfIOPreviews::EditRanges() const {
    constexpr int32_t kShort = 65535, kMaxInt = std::numeric_limits<int32_t>::max();
    return {
        {Edit22, 0, 100},  {Edit16, 0, 100},      {Edit15, 0, 1000},    {Edit23, 0, 100},
        {Edit1, 0, 1000},  {Edit9, 0, 1000},      {Edit7, -1, kShort},  {Edit8, -1, kShort},
        {Edit2, 0, kMaxInt}, {Edit3, 0, kMaxInt}, {Edit12, 0, kShort},  {Edit10, 0, kShort},
        {Edit11, 0, kShort},
    };
}

bool TfIOPreviews::ClampEdit(cl::TObject* Sender) {
    for (const TIOPreviewEditRange& r : EditRanges()) {
        if (r.Edit != Sender) continue;
        // Text that is not a number yet (empty, a lone sign) is left for the user to finish.
        const cl::String text = cl::Trim(r.Edit->GetText());
        int64_t value = 0;
        if (!ParseWhole(text, value)) return false;
        const int64_t clamped = std::clamp<int64_t>(value, r.Min, r.Max);
        if (clamped == value) return false;
        r.Edit->SetText(cl::IntToStr(static_cast<int32_t>(clamped)));
        return true;
    }
    return false;
}

int32_t TfIOPreviews::EditValue(cl::TEdit* Edit, int32_t Default) const {
    int64_t value = 0;
    if (!ParseWhole(cl::Trim(Edit->GetText()), value)) return Default;
    for (const TIOPreviewEditRange& r : EditRanges())
        if (r.Edit == Edit) return static_cast<int32_t>(std::clamp<int64_t>(value, r.Min, r.Max));
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

void TfIOPreviews::BuildSizeLabels(TIOPreviewPage Kind, int Top) {
    TIOPreviewSizeLabels& s = FSizes[Kind];
    auto make = [&](const char* Caption, int X, int Y) {
        auto* l = Place<cl::TLabel>(this, FPages_[Kind], X, Y, 95, 13);
        l->SetCaption(Caption);
        return l;
    };
    s.OriginalCaption = make("Original size:", 300, Top);
    s.OriginalValue = make("", 300, Top + 16);
    s.CompressedCaption = make("Compressed size:", 400, Top);
    s.CompressedValue = make("", 400, Top + 16);
}

void TfIOPreviews::ApplySimplifiedSize() {
    const int ppi = cl::Screen ? cl::Screen->GetPixelsPerInch() : 96;
    PageControl1->SetHeight(static_cast<int>(std::lround(ppi * 1.2708333333333333)));
    SetHeight(static_cast<int>(std::lround(ppi * 3.75)));
}

// ---------------------------------------------------------------------------------------
// Pages and captions

int32_t TfIOPreviews::PageFileType(TIOPreviewPage Kind) {
    switch (Kind) {
        case ipJPEG1:
        case ipJPEG2: return ioJPEG;
        case ipTIFF1:
        case ipTIFF2: return ioTIFF;
        case ipGIF1:
        case ipGIF2: return ioGIF;
        case ipBMP1: return ioBMP;
        case ipPCX1: return ioPCX;
        case ipPNG1: return ioPNG;
        case ipTGA1: return ioTGA;
        case ipJ20001: return ioJ2K;
        default: return ioUnknown;
    }
}

namespace {
uint16_t PageBit(TIOPreviewPage Kind) {
    switch (Kind) {
        case ipJPEG1:
        case ipJPEG2: return ppJPEG;
        case ipTIFF1:
        case ipTIFF2: return ppTIFF;
        case ipGIF1:
        case ipGIF2: return ppGIF;
        case ipBMP1: return ppBMP;
        case ipPCX1: return ppPCX;
        case ipPNG1: return ppPNG;
        case ipTGA1: return ppTGA;
        case ipJ20001: return ppJ2000;
        default: return 0;
    }
}
}  // namespace

bool TfIOPreviews::SetPages(uint16_t Pages) {
    FPages = Pages;
    if (Pages & ppAuto) {
        const int32_t type = Params ? Params->FileType : ioUnknown;
        switch (type) {
            case ioTIFF: FPages |= ppTIFF; break;
            case ioGIF: FPages |= ppGIF; break;
            case ioJPEG: FPages |= ppJPEG; break;
            case ioPCX: FPages |= ppPCX; break;
            case ioBMP: FPages |= ppBMP; break;
            case ioPNG: FPages |= ppPNG; break;
            case ioTGA: FPages |= ppTGA; break;
            case ioJP2:
            case ioJ2K: FPages |= ppJ2000; break;
            default: break;
        }
    }
    return FPages != ppAuto;
}

TIOPreviewPage TfIOPreviews::ActivePageKind() const {
    cl::TTabSheet* a = PageControl1->GetActivePage();
    for (int k = 0; k < ipPageCount; ++k)
        if (a && FPages_[k] == a) return static_cast<TIOPreviewPage>(k);
    return ipPageCount;
}

void TfIOPreviews::Localize(TMsgLanguage Language) {
    auto w = [Language](uint8_t Index) { return IEGetLocalizedWord(Index, Language); };
    auto colon = [&](uint8_t Index) { return w(Index) + ":"; };
    SetCaption(w(37));
    Label1->SetCaption(colon(1));
    Label2->SetCaption(colon(2));
    Button2->SetCaption(w(4));
    Button1->SetCaption(w(3));
    Button3->SetCaption(w(0));
    chkLockPreview->SetCaption(w(5));
    Button4->SetCaption(w(120));
    Captions.JPEGQuality->SetCaption(colon(38));
    Captions.JPEG2Quality->SetCaption(colon(38));
    Captions.JPEGDCT->SetCaption(colon(39));
    Captions.JPEGSmooth->SetCaption(colon(40));
    for (cl::TLabel* l : {Captions.JPEGColorSpace, Captions.TIFFPhotometric, Captions.J2000ColorSpace})
        l->SetCaption(colon(49));
    CheckBox2->SetCaption(w(42));
    CheckBox3->SetCaption(w(46));
    for (const TIOPreviewSizeLabels& s : FSizes) {
        s.OriginalCaption->SetCaption(colon(43));
        s.CompressedCaption->SetCaption(colon(44));
    }
    Captions.J2000Rate->SetCaption(colon(123));
    for (cl::TLabel* l : {Captions.TIFFCompression, Captions.TIFF2Compression, Captions.BMPCompression,
                          Captions.PCXCompression, Captions.PNGCompression})
        l->SetCaption(colon(47));
    CheckBox1->SetCaption(colon(47));
    Captions.TIFFImageIndex->SetCaption(colon(48));
    Captions.GIFImageIndex->SetCaption(colon(48));
    Captions.TIFFDocumentName->SetCaption(colon(51));
    Captions.TGAName->SetCaption(colon(51));
    Captions.TIFFImageDescription->SetCaption(colon(52));
    Captions.TGADescription->SetCaption(colon(52));
    Captions.TIFFPageName->SetCaption(colon(53));
    Captions.TIFFPageNumber->SetCaption(colon(54));
    Captions.TIFFPageOf->SetCaption(w(55));
    Captions.TIFFXPos->SetCaption(colon(56));
    Captions.TIFFYPos->SetCaption(colon(57));
    for (cl::TLabel* l : {Captions.TIFFColors, Captions.TIFF2Colors, Captions.GIFColors, Captions.GIF2Colors,
                          Captions.BMPColors, Captions.PCXColors, Captions.PNGColors, Captions.TGAColors})
        l->SetCaption(colon(58));
    CheckBox4->SetCaption(colon(59));
    Captions.GIFTranspColor->SetCaption(colon(60));
    CheckBox5->SetCaption(colon(61));
    CheckBox6->SetCaption(w(61));
    for (cl::TLabel* l : {Captions.GIFBackground, Captions.PNGBackground, Captions.TGABackground})
        l->SetCaption(colon(62));
    Captions.GIFXPos->SetCaption(colon(63));
    Captions.GIFYPos->SetCaption(colon(64));
    Captions.GIFDelay->SetCaption(colon(65));
    Captions.PNGFilter->SetCaption(colon(66));
    GroupBoxJPEGAdvanced->SetCaption(" " + w(45) + " ");
    GroupBoxPNGAdvanced->SetCaption(" " + w(45) + " ");
    GroupBoxScanned->SetCaption(" " + w(50) + " ");
    PaletteCancelCaption = "&" + w(4);
}

// ---------------------------------------------------------------------------------------
// Activation

void TfIOPreviews::FormActivate() {
    if (FActivated) return;
    chkLockPreview->SetChecked(DefaultLockPreview);
    Button3->SetEnabled(!DefaultLockPreview);

    static constexpr TIOPreviewPage kFull[] = {ipJPEG1, ipTIFF1, ipGIF1, ipBMP1, ipPCX1, ipPNG1, ipTGA1, ipJ20001};
    static constexpr TIOPreviewPage kSimple[] = {ipJPEG2, ipTIFF2, ipGIF2, ipBMP1, ipPCX1, ipPNG1, ipTGA1, ipJ20001};
    for (cl::TTabSheet* s : FPages_) s->SetTabVisible(false);
    const TIEFileFormatInfo* info = Params ? IEFindFormatInfo(Params->FileType) : nullptr;
    cl::TTabSheet* active = nullptr;
    for (TIOPreviewPage k : Simplified ? kSimple : kFull) {
        const uint16_t bit = PageBit(k);
        if (!(FPages & (ppAll | bit))) continue;
        FPages_[k]->SetTabVisible(true);
        if (info && (info->DialogPage & bit)) active = FPages_[k];
    }
    if (active) PageControl1->SetActivePage(active);

    if (Simplified) {
        for (cl::TControl* c : std::initializer_list<cl::TControl*>{
                 Captions.PNGBackground, Panel1, GroupBoxPNGAdvanced, Captions.TGABackground, Panel5, Captions.TGAName,
                 Edit13, Captions.TGADescription, Edit14, Captions.J2000ColorSpace, ComboBox15})
            c->SetVisible(false);
        for (TIOPreviewPage k : {ipBMP1, ipPCX1, ipPNG1, ipTGA1, ipJ20001}) {
            FSizes[k].OriginalCaption->SetTop(61);
            FSizes[k].CompressedCaption->SetTop(61);
            FSizes[k].OriginalValue->SetTop(77);
            FSizes[k].CompressedValue->SetTop(77);
        }
        const int ppi = cl::Screen ? cl::Screen->GetPixelsPerInch() : 96;
        const int top = static_cast<int>(std::lround(ppi * 3.1458333333333333));
        chkLockPreview->SetTop(top);
        ProgressBar1->SetTop(top + 1);
        for (cl::TButton* b : {Button1, Button2, Button3, Button4}) b->SetTop(top - 4);
    }

    RebuildTIFFCompressionLists();
    for (TVovozIdView* v : {VovozId1, VovozId2}) {
        v->SetChessboardStyle(12, cl::bsSolid);
        v->SetBackgroundStyle(iebsChessboard);
    }

    ReadParams();
    ShowParams();
    VovozId1->SetZoom(VovozId1->GetFitZoom());
    if (cl::Application) cl::Application->ProcessMessages();
    PageControlChange(PageControl1);
    FActivated = true;
    UpdatePreview();
}

void TfIOPreviews::RebuildTIFFCompressionLists() {
    FLZWListed = IEDefTIFFLZWCompress != nullptr;
    FillTIFFCompressionList(ComboBox2);
    FillTIFFCompressionList(ComboBox16);
}

void TfIOPreviews::FillTIFFCompressionList(cl::TComboBox* Box) {
    const int keep = Box->GetItemIndex();
    cl::TStringList* items = Box->GetItems();
    items->Clear();
    for (const char* s : {"UNCOMPRESSED", "CCITT1D", "G3FAX1D", "G3FAX2D", "G4FAX"}) items->Add(s);
    if (FLZWListed) items->Add("LZW");
    for (const char* s : {"JPEG", "PACKBITS", "ZIP"}) items->Add(s);
    Box->SetItemIndex(std::min(keep, items->GetCount() - 1));
}

int32_t TfIOPreviews::TIFFCompressionToItem(int32_t Compression) const {
    if (Compression >= 0 && Compression <= 4) return Compression;
    if (FLZWListed) {
        if (Compression == kTIFFLZW) return 5;
        if (Compression >= kTIFFJPEG && Compression <= kTIFFZip) return Compression - 1;
        return 0;
    }
    if (Compression == kTIFFLZW) return 6;  // shown as PACKBITS
    if (Compression >= kTIFFJPEG && Compression <= kTIFFZip) return Compression - 2;
    return 0;
}

int32_t TfIOPreviews::TIFFItemToCompression(int32_t Item) const {
    if (Item >= 0 && Item <= 4) return Item;
    if (FLZWListed) return Item == 5 ? kTIFFLZW : Item >= 6 && Item <= 8 ? Item + 1 : kTIFFNone;
    return Item >= 5 && Item <= 7 ? Item + 2 : kTIFFNone;
}

// ---------------------------------------------------------------------------------------
// The working copy

void TfIOPreviews::ReadParams() {
    if (!Params) return;
    TIOPreviewWork& w = Work;
    w.V = static_cast<const TIOParamsData&>(*Params);
    const int32_t s = Params->SamplesPerPixel, b = Params->BitsPerSample;
    w.TIFFColors = TIFFColorsOf(s, b, Params->TIFFPhotometric);
    w.TIFF2Colors = TIFF2ColorsOf(w.TIFFColors);
    w.GIFBits = std::clamp(b, 1, 8);
    w.BMPColors = BMPColorsOf(s, b);
    w.PCXColors = PCXColorsOf(s, b);
    w.PNGColors = PNGColorsOf(s, b);
    w.TGAColors = PNGColorsOf(s, b);
}

void TfIOPreviews::ShowParams() {
    const bool wasFilling = FFilling;
    FFilling = true;
    const TIOParamsData& v = Work.V;
    const cl::String q = cl::IntToStr(v.JPEGQuality);
    Edit22->SetText(q);
    TrackBar13->SetPosition(v.JPEGQuality);
    Edit16->SetText(q);
    TrackBar2->SetPosition(v.JPEGQuality);
    ComboBox13->SetItemIndex(v.JPEGColorSpace);
    ComboBox1->SetItemIndex(v.JPEGDCTMethod);
    CheckBox2->SetChecked(v.JPEGOptimalHuffman);
    UpDown11->SetPosition(v.JPEGSmooth);
    Edit23->SetText(cl::IntToStr(v.JPEGSmooth));
    CheckBox3->SetChecked(v.JPEGProgressive);

    ComboBox2->SetItemIndex(TIFFCompressionToItem(v.TIFFCompression));
    ComboBox16->SetItemIndex(TIFFCompressionToItem(v.TIFFCompression));
    UpDown1->SetPosition(v.TIFFImageIndex);
    Edit1->SetText(cl::IntToStr(v.TIFFImageIndex));
    ComboBox3->SetItemIndex(v.TIFFPhotometric);
    ComboBox4->SetItemIndex(Work.TIFFColors);
    ComboBox17->SetItemIndex(Work.TIFF2Colors);
    Edit4->SetText(v.TIFFDocumentName);
    Edit5->SetText(v.TIFFImageDescription);
    Edit6->SetText(v.TIFFPageName);
    Edit7->SetText(cl::IntToStr(v.TIFFPageNumber));
    Edit8->SetText(cl::IntToStr(v.TIFFPageCount));
    Edit2->SetText(cl::IntToStr(v.TIFFXPos));
    Edit3->SetText(cl::IntToStr(v.TIFFYPos));

    UpDown2->SetPosition(v.GIFImageIndex);
    Edit9->SetText(cl::IntToStr(v.GIFImageIndex));
    ComboBox5->SetItemIndex(Work.GIFBits - 1);
    ComboBox18->SetItemIndex(Work.GIFBits - 1);
    CheckBox4->SetChecked(v.GIFTransparent);
    Panel3->SetColor(RGBToColor(v.GIFTranspColor));
    CheckBox5->SetChecked(v.GIFInterlaced);
    Panel4->SetColor(RGBToColor(v.GIFBackground));
    Edit12->SetText(cl::IntToStr(v.GIFDelayTime));
    Edit10->SetText(cl::IntToStr(v.GIFXPos));
    Edit11->SetText(cl::IntToStr(v.GIFYPos));

    ComboBox6->SetItemIndex(v.BMPCompression ? 1 : 0);
    ComboBox7->SetItemIndex(Work.BMPColors);
    ComboBox8->SetItemIndex(v.PCXCompression ? 1 : 0);
    ComboBox9->SetItemIndex(Work.PCXColors);

    ComboBox10->SetItemIndex(Work.PNGColors);
    Panel1->SetColor(RGBToColor(v.PNGBackground));
    ComboBox11->SetItemIndex(v.PNGFilter);
    CheckBox6->SetChecked(v.PNGInterlaced);
    ComboBox12->SetItemIndex(std::clamp(v.PNGCompression, 0, 9));

    ComboBox14->SetItemIndex(Work.TGAColors);
    Panel5->SetColor(RGBToColor(v.TGABackground));
    CheckBox1->SetChecked(v.TGACompressed);
    Edit13->SetText(v.TGAImageName);
    Edit14->SetText(v.TGADescriptor);

    const int rate = static_cast<int>(std::lround(v.J2000Rate * 1000));
    Edit15->SetText(cl::IntToStr(rate));
    TrackBar1->SetPosition(rate);
    ComboBox15->SetItemIndex(v.J2000ColorSpace);
    FFilling = wasFilling;
    ShowSizes();
}

void TfIOPreviews::ReadPage(TIOPreviewPage Kind) {
    TIOParamsData& v = Work.V;
    auto index = [](cl::TComboBox* c, int32_t Keep) { return c->GetItemIndex() >= 0 ? c->GetItemIndex() : Keep; };
    switch (Kind) {
        case ipJPEG1:
            v.JPEGQuality = TrackBar13->GetPosition();
            v.JPEGColorSpace = static_cast<uint8_t>(index(ComboBox13, v.JPEGColorSpace));
            v.JPEGDCTMethod = static_cast<uint8_t>(index(ComboBox1, v.JPEGDCTMethod));
            v.JPEGOptimalHuffman = CheckBox2->GetChecked();
            v.JPEGSmooth = EditValue(Edit23, 0);
            v.JPEGProgressive = CheckBox3->GetChecked();
            break;
        case ipJPEG2: v.JPEGQuality = TrackBar2->GetPosition(); break;
        case ipTIFF1:
            v.TIFFCompression = static_cast<uint8_t>(TIFFItemToCompression(index(ComboBox2, 0)));
            v.TIFFImageIndex = EditValue(Edit1, 0);
            v.TIFFPhotometric = static_cast<uint8_t>(index(ComboBox3, v.TIFFPhotometric));
            Work.TIFFColors = index(ComboBox4, Work.TIFFColors);
            v.TIFFDocumentName = Edit4->GetText();
            v.TIFFImageDescription = Edit5->GetText();
            v.TIFFPageName = Edit6->GetText();
            v.TIFFPageNumber = EditValue(Edit7, v.TIFFPageNumber);
            v.TIFFPageCount = EditValue(Edit8, v.TIFFPageCount);
            v.TIFFXPos = EditValue(Edit2, v.TIFFXPos);
            v.TIFFYPos = EditValue(Edit3, v.TIFFYPos);
            break;
        case ipTIFF2:
            v.TIFFCompression = static_cast<uint8_t>(TIFFItemToCompression(index(ComboBox16, 0)));
            Work.TIFF2Colors = index(ComboBox17, Work.TIFF2Colors);
            break;
        case ipGIF1:
            v.GIFImageIndex = EditValue(Edit9, 0);
            Work.GIFBits = index(ComboBox5, Work.GIFBits - 1) + 1;
            v.GIFTransparent = CheckBox4->GetChecked();
            v.GIFTranspColor = ColorToRGB(Panel3->GetColor());
            v.GIFInterlaced = CheckBox5->GetChecked();
            v.GIFBackground = ColorToRGB(Panel4->GetColor());
            v.GIFDelayTime = EditValue(Edit12, v.GIFDelayTime);
            v.GIFXPos = EditValue(Edit10, v.GIFXPos);
            v.GIFYPos = EditValue(Edit11, v.GIFYPos);
            break;
        case ipGIF2: Work.GIFBits = index(ComboBox18, Work.GIFBits - 1) + 1; break;
        case ipBMP1:
            v.BMPCompression = static_cast<uint8_t>(index(ComboBox6, v.BMPCompression));
            Work.BMPColors = index(ComboBox7, Work.BMPColors);
            break;
        case ipPCX1:
            v.PCXCompression = index(ComboBox8, v.PCXCompression ? 1 : 0) == 1;
            Work.PCXColors = index(ComboBox9, Work.PCXColors);
            break;
        case ipPNG1:
            Work.PNGColors = index(ComboBox10, Work.PNGColors);
            v.PNGBackground = ColorToRGB(Panel1->GetColor());
            v.PNGFilter = static_cast<uint8_t>(index(ComboBox11, v.PNGFilter));
            v.PNGInterlaced = CheckBox6->GetChecked();
            v.PNGCompression = index(ComboBox12, v.PNGCompression);
            break;
        case ipTGA1:
            Work.TGAColors = index(ComboBox14, Work.TGAColors);
            v.TGABackground = ColorToRGB(Panel5->GetColor());
            v.TGACompressed = CheckBox1->GetChecked();
            v.TGAImageName = Edit13->GetText();
            v.TGADescriptor = Edit14->GetText();
            break;
        case ipJ20001:
            v.J2000Rate = TrackBar1->GetPosition() / 1000.0;
            v.J2000ColorSpace = static_cast<uint8_t>(index(ComboBox15, v.J2000ColorSpace));
            break;
        default: break;
    }
}

namespace {
// Samples and bits a page's colour choice stands for.
TSamplesBits PageSamplesBits(TIOPreviewPage Kind, const TIOPreviewWork& W) {
    switch (Kind) {
        case ipTIFF1: {
            TSamplesBits sb = ItemOf(kTIFFColors, W.TIFFColors);
            if (W.V.TIFFPhotometric == kCMYK) sb = {4, 8};
            return sb;
        }
        case ipTIFF2: {
            TSamplesBits sb = ItemOf(kTIFF2Colors, W.TIFF2Colors);
            if (W.V.TIFFPhotometric == kCMYK) sb = {4, 8};
            return sb;
        }
        case ipGIF1:
        case ipGIF2: return {1, std::clamp(W.GIFBits, 1, 8)};
        case ipBMP1: return ItemOf(kBMPColors, W.BMPColors);
        case ipPCX1: return ItemOf(kPCXColors, W.PCXColors);
        case ipPNG1: return ItemOf(kPNGColors, W.PNGColors);
        case ipTGA1: return ItemOf(kPNGColors, W.TGAColors);
        case ipJ20001: return {W.V.J2000ColorSpace == 0 ? 1 : 3, 8};
        default: return {W.V.SamplesPerPixel, W.V.BitsPerSample};
    }
}
}  // namespace

std::vector<double> TfIOPreviews::ShapeOf(TIOPreviewPage Kind) const {
    const TIOParamsData& v = Work.V;
    const TSamplesBits sb = PageSamplesBits(Kind, Work);
    switch (Kind) {
        case ipJPEG1:
            return {double(v.JPEGQuality),        double(v.JPEGColorSpace), double(v.JPEGDCTMethod),
                    double(v.JPEGOptimalHuffman), double(v.JPEGSmooth),     double(v.JPEGProgressive)};
        case ipJPEG2: return {double(v.JPEGQuality)};
        case ipTIFF1:
        case ipTIFF2:
            return {double(v.TIFFCompression), double(v.TIFFPhotometric), double(sb.Samples), double(sb.Bits)};
        case ipGIF1: return {double(sb.Bits), double(v.GIFInterlaced)};
        case ipGIF2: return {double(sb.Bits)};
        case ipBMP1: return {double(v.BMPCompression), double(sb.Samples), double(sb.Bits)};
        case ipPCX1: return {double(v.PCXCompression), double(sb.Samples), double(sb.Bits)};
        case ipPNG1:
            return {double(sb.Samples), double(sb.Bits), double(v.PNGInterlaced), double(v.PNGFilter),
                    double(v.PNGCompression)};
        case ipTGA1: return {double(sb.Samples), double(sb.Bits), double(v.TGACompressed)};
        case ipJ20001: return {v.J2000Rate, double(v.J2000ColorSpace)};
        default: return {};
    }
}

void TfIOPreviews::CopyPage(TIOPreviewPage Kind, TIOParamsVals& P, bool All) const {
    const TIOParamsData& v = Work.V;
    switch (Kind) {
        case ipJPEG1:
            P.JPEGColorSpace = v.JPEGColorSpace;
            P.JPEGDCTMethod = v.JPEGDCTMethod;
            P.JPEGOptimalHuffman = v.JPEGOptimalHuffman;
            P.JPEGSmooth = v.JPEGSmooth;
            P.JPEGProgressive = v.JPEGProgressive;
            [[fallthrough]];
        case ipJPEG2: P.JPEGQuality = v.JPEGQuality; return;
        case ipTIFF1:
            if (All) {
                P.SetImageIndex(v.TIFFImageIndex);
                P.TIFFDocumentName = v.TIFFDocumentName;
                P.TIFFImageDescription = v.TIFFImageDescription;
                P.TIFFPageName = v.TIFFPageName;
                P.TIFFPageNumber = v.TIFFPageNumber;
                P.TIFFPageCount = v.TIFFPageCount;
                P.TIFFXPos = v.TIFFXPos;
                P.TIFFYPos = v.TIFFYPos;
            }
            [[fallthrough]];
        case ipTIFF2:
            if (!All) {
                P.TIFFLZWCompress = IEDefTIFFLZWCompress;
                P.TIFFLZWDecompress = IEDefTIFFLZWDecompress;
            }
            P.TIFFCompression = v.TIFFCompression;
            P.TIFFPhotometric = v.TIFFPhotometric;
            break;
        case ipGIF1:
            if (All) {
                P.SetImageIndex(v.GIFImageIndex);
                P.GIFTransparent = v.GIFTransparent;
                P.GIFTranspColor = v.GIFTranspColor;
                P.GIFBackground = v.GIFBackground;
                P.GIFDelayTime = v.GIFDelayTime;
                P.GIFXPos = v.GIFXPos;
                P.GIFYPos = v.GIFYPos;
            }
            P.GIFInterlaced = v.GIFInterlaced;
            break;
        case ipGIF2: break;
        case ipBMP1: P.BMPCompression = v.BMPCompression; break;
        case ipPCX1: P.PCXCompression = v.PCXCompression; break;
        case ipPNG1:
            if (All) P.PNGBackground = v.PNGBackground;
            P.PNGInterlaced = v.PNGInterlaced;
            P.PNGFilter = v.PNGFilter;
            P.PNGCompression = v.PNGCompression;
            break;
        case ipTGA1:
            if (All) {
                P.TGABackground = v.TGABackground;
                P.TGAImageName = v.TGAImageName;
                P.TGADescriptor = v.TGADescriptor;
            }
            P.TGACompressed = v.TGACompressed;
            break;
        case ipJ20001:
            // The preview always writes three samples; OK stores one for the grey colour space.
            P.J2000Rate = v.J2000Rate;
            P.J2000ColorSpace = v.J2000ColorSpace;
            P.BitsPerSample = 8;
            P.SamplesPerPixel = All && v.J2000ColorSpace == 0 ? 1 : 3;
            return;
        default: return;
    }
    const TSamplesBits sb = PageSamplesBits(Kind, Work);
    P.SamplesPerPixel = sb.Samples;
    P.BitsPerSample = sb.Bits;
}

void TfIOPreviews::WriteParams() {
    const TIOPreviewPage kind = ActivePageKind();
    if (!Params || kind == ipPageCount) return;
    ReadPage(kind);
    CopyPage(kind, *Params, true);
    Params->FileType = PageFileType(kind);
}

// ---------------------------------------------------------------------------------------
// Change handlers

void TfIOPreviews::PageValueChanged(cl::TObject* Sender) {
    if (FFilling) return;
    const TIOPreviewPage kind = ActivePageKind();
    if (kind == ipPageCount) return;
    FFilling = true;
    // The edits feed their track bars.
    if (Sender == Edit22) TrackBar13->SetPosition(EditValue(Edit22, 50));
    if (Sender == Edit16) TrackBar2->SetPosition(EditValue(Edit16, 50));
    if (Sender == Edit15) TrackBar1->SetPosition(EditValue(Edit15, 1000));
    if (Sender == TrackBar13) Edit22->SetText(cl::IntToStr(TrackBar13->GetPosition()));
    if (Sender == TrackBar2) Edit16->SetText(cl::IntToStr(TrackBar2->GetPosition()));
    if (Sender == TrackBar1) Edit15->SetText(cl::IntToStr(TrackBar1->GetPosition()));

    // The rules between the colours, the photometric and the compression of the TIFF pages.
    if (Sender == ComboBox3) {
        const int ph = ComboBox3->GetItemIndex(), colors = ComboBox4->GetItemIndex();
        if (IsGrey(ph) && colors > kTIFFBW) ComboBox4->SetItemIndex(kTIFF256);
        if (ph == kRGB || ph == kCMYK || ph == kYCbCr || ph == kCIELab) ComboBox4->SetItemIndex(kTIFF16M);
        if (ph == kRGBPalette) ComboBox4->SetItemIndex(kTIFF256);
    } else if (Sender == ComboBox4) {
        const int colors = ComboBox4->GetItemIndex(), ph = ComboBox3->GetItemIndex();
        if (colors == kTIFFBW && ph > kBlackIsZero) ComboBox3->SetItemIndex(kBlackIsZero);
        if (colors == kTIFF16) ComboBox3->SetItemIndex(kRGBPalette);
        if (colors == kTIFF256) {
            if (ph == kRGB || ph > kRGBPalette) ComboBox3->SetItemIndex(kRGBPalette);
        }
    } else if (Sender == ComboBox16) {
        const int32_t c = TIFFItemToCompression(ComboBox16->GetItemIndex());
        if (IsFaxCompression(c)) {
            ComboBox17->SetItemIndex(0);
            Work.V.TIFFPhotometric = kBlackIsZero;
        } else if (c == kTIFFJPEG) {
            ComboBox17->SetItemIndex(3);
            Work.V.TIFFPhotometric = kYCbCr;
        }
    } else if (Sender == ComboBox17) {
        const int32_t c = TIFFItemToCompression(ComboBox16->GetItemIndex());
        const int colors = ComboBox17->GetItemIndex();
        if ((IsFaxCompression(c) && colors > 0) || (c == kTIFFJPEG && colors <= 1))
            ComboBox16->SetItemIndex(TIFFCompressionToItem(kTIFFNone));
    }
    FFilling = false;

    const std::vector<double> before = ShapeOf(kind);
    ReadPage(kind);
    if (kind == ipTIFF2 && Sender == ComboBox17) {
        // Colours chosen on the simple page bring a photometric that can hold them.
        const int colors = Work.TIFF2Colors;
        if (colors == 0 && !IsGrey(Work.V.TIFFPhotometric)) Work.V.TIFFPhotometric = kBlackIsZero;
        if (colors == 1 || colors == 2) {
            if (!IsGrey(Work.V.TIFFPhotometric) || colors == 1) Work.V.TIFFPhotometric = kRGBPalette;
        }
        if (colors == 3 && (IsGrey(Work.V.TIFFPhotometric) || Work.V.TIFFPhotometric == kRGBPalette))
            Work.V.TIFFPhotometric = kRGB;
    }
    if (ShapeOf(kind) != before && chkLockPreview->GetChecked()) {
        UpdatePreview();
        VovozId2->Invalidate();
    }
    Button4->SetEnabled(true);
}

void TfIOPreviews::PageControlChanging(cl::TObject*, bool&) { FFilling = true; }

void TfIOPreviews::PageControlChange(cl::TObject*) {
    FFilling = false;
    ReadParams();
    ShowParams();
    if (chkLockPreview->GetChecked()) UpdatePreview();
    Button4->SetEnabled(false);
}

void TfIOPreviews::LockPreviewClick(cl::TObject*) {
    if (chkLockPreview->GetChecked()) UpdatePreview();
    Button3->SetEnabled(!chkLockPreview->GetChecked());
}

void TfIOPreviews::OKClick(cl::TObject*) { WriteParams(); }

void TfIOPreviews::ApplyClick(cl::TObject*) {
    WriteParams();
    Button4->SetEnabled(false);
}

void TfIOPreviews::PreviewClick(cl::TObject*) { UpdatePreview(); }

bool TfIOPreviews::ResultNeedsPreview() {
    return !VovozId2->GetIO()->Params().GetColorMap() || VovozId2->GetIO()->Params().ColorMapCount <= 0;
}

void TfIOPreviews::ColorPanelClick(cl::TObject* Sender) {
    auto* panel = dynamic_cast<cl::TPanel*>(Sender);
    if (!panel) return;
    const bool gif = panel == Panel3 || panel == Panel4;
    if (gif && ResultNeedsPreview()) UpdatePreview();
    TIOParamsVals& rp = VovozId2->GetIO()->Params();
    TRGB* palette = rp.GetColorMap();
    int32_t count = rp.ColorMapCount;
    if (gif) count = std::min<int32_t>(count, 1 << std::clamp(Work.GIFBits, 1, 8));
    auto take = [&](cl::TColor Color) {
        panel->SetColor(Color);
        const TRGB c = ColorToRGB(Color);
        if (panel == Panel3) Work.V.GIFTranspColor = c;
        if (panel == Panel4) Work.V.GIFBackground = c;
        if (panel == Panel1) Work.V.PNGBackground = c;
        if (panel == Panel5) Work.V.TGABackground = c;
        Button4->SetEnabled(true);
    };
    if (!palette || count <= 0) {
        // Without a palette the PNG and TGA backgrounds may be any colour; the GIF colours stay.
        if (gif) return;
        ColorDialog1->SetColor(panel->GetColor());
        if (ColorDialog1->Execute()) take(ColorDialog1->GetColor());
        return;
    }
    TVovozIdPaletteDialog* dialog = cl::NewForm<TVovozIdPaletteDialog>(this);
    struct Release {
        TVovozIdPaletteDialog* D;
        ~Release() { D->Free(); }
    } release{dialog};
    dialog->CancelButton()->SetCaption(PaletteCancelCaption);
    dialog->SetPalette(palette, count);
    if (dialog->Execute()) take(dialog->Color);
}

// The result view stays at the source view's zoom and view origin.
void TfIOPreviews::FollowSourceView() {
    if (VovozId2->GetZoom() != VovozId1->GetZoom()) VovozId2->SetZoom(VovozId1->GetZoom());
    VovozId2->SetViewXY(VovozId1->GetViewX(), VovozId1->GetViewY());
}

void TfIOPreviews::SourceViewChange(cl::TObject*, int32_t) { FollowSourceView(); }

void TfIOPreviews::ViewProgress(cl::TObject*, int32_t Percent) {
    ProgressBar1->SetPosition(static_cast<int>(std::trunc(Percent / double(std::max(1, FProgressPhases)))) +
                              FProgressOffset);
}

// ---------------------------------------------------------------------------------------
// The preview

int64_t TfIOPreviews::OriginalSize() {
    TIEBitmap* b = VovozId1->GetIEBitmap();
    return b ? int64_t{b->GetRowLen()} * b->GetHeight() : 0;
}

void TfIOPreviews::ShowSizes() {
    const cl::String original = cl::IntToStr(OriginalSize()) + " bytes";
    const cl::String compressed = FCompressedSize >= 0 ? cl::IntToStr(FCompressedSize) + " bytes" : cl::String();
    const TIOPreviewPage kind = ActivePageKind();
    for (int k = 0; k < ipPageCount; ++k) {
        FSizes[k].OriginalValue->SetCaption(original);
        const bool jpeg = (k == ipJPEG1 || k == ipJPEG2) && (kind == ipJPEG1 || kind == ipJPEG2);
        if (k == kind || jpeg) FSizes[k].CompressedValue->SetCaption(compressed);
    }
}

void TfIOPreviews::ReduceResult(TIOPreviewPage Kind) {
    TIOParamsVals& rp = VovozId2->GetIO()->Params();
    TVovozIdProc* proc = VovozId2->GetProc();
    const TSamplesBits sb = PageSamplesBits(Kind, Work);
    const int64_t colors = IEColorCountFromBits(sb.Bits, sb.Samples);
    const uint8_t dither = MonoConversion;
    const bool tiff = Kind == ipTIFF1 || Kind == ipTIFF2;
    const int32_t ph = Work.V.TIFFPhotometric;
    const bool greyTIFF = tiff && IsGreyTIFF(ph, sb.Samples, sb.Bits);
    if (greyTIFF) {
        proc->ConvertToGray();
        rp.FreeColorMap();
        return;
    }
    if (Kind == ipGIF1 || Kind == ipGIF2 || Kind == ipPNG1 || Kind == ipTGA1 || (tiff && ph < kCMYK)) {
        if (colors <= 256) {
            const auto n = static_cast<int32_t>(colors);
            TRGB* palette = rp.AllocColorMap(n);
            rp.ColorMapCount = n;
            proc->ConvertToPalette(n, palette, n, dither);
        } else {
            rp.FreeColorMap();
        }
    } else if ((Kind == ipBMP1 || Kind == ipPCX1) && colors <= 256) {
        proc->ConvertTo(static_cast<int32_t>(colors), dither);
    }
}

void TfIOPreviews::UpdatePreview() {
    if (!FActivated) return;
    const TIOPreviewPage kind = ActivePageKind();
    if (kind == ipPageCount) return;
    ReadPage(kind);
    struct Cursor {
        cl::TCursor Saved = cl::Screen ? cl::Screen->GetCursor() : cl::crDefault;
        Cursor() {
            if (cl::Screen) cl::Screen->SetCursor(cl::crHourGlass);
        }
        ~Cursor() {
            if (cl::Screen) cl::Screen->SetCursor(Saved);
        }
    } cursor;
    TVovozIdIO* source = VovozId1->GetIO();
    TVovozIdIO* result = VovozId2->GetIO();
    source->SetMonoConversion(MonoConversion);
    CopyPage(kind, source->Params(), false);
    FProgressPhases = 1;
    FProgressOffset = 0;
    try {
        if (kind == ipJPEG1 || kind == ipJPEG2 || kind == ipJ20001) {
            const bool jpeg = kind != ipJ20001;
            cl::TMemoryStream stream;
            FProgressPhases = 2;
            if (jpeg)
                source->SaveToStreamJPEG(&stream);
            else
                source->SaveToStreamJ2K(&stream);
            FCompressedSize = source->Aborting ? -1 : stream.GetSize();
            stream.SetPosition(0);
            FProgressOffset = 50;
            if (FCompressedSize >= 0) {
                if (jpeg)
                    result->LoadFromStreamJPEG(&stream);
                else
                    result->LoadFromStreamJ2K(&stream);
            }
            if (FCompressedSize < 0 || result->Aborting) SetCaption(kUnshownCaption);
        } else {
            // The size of the file: the source as the writer takes it.
            auto measure = [&](TVovozIdIO* Writer) {
                TNulStream counter;
                switch (kind) {
                    case ipTIFF1:
                    case ipTIFF2: Writer->SaveToStreamTIFF(&counter); break;
                    case ipGIF1:
                    case ipGIF2: Writer->SaveToStreamGIF(&counter); break;
                    case ipBMP1: Writer->SaveToStreamBMP(&counter); break;
                    case ipPCX1: Writer->SaveToStreamPCX(&counter); break;
                    case ipPNG1: Writer->SaveToStreamPNG(&counter); break;
                    case ipTGA1: Writer->SaveToStreamTGA(&counter); break;
                    default: break;
                }
                FCompressedSize = Writer->Aborting ? -1 : counter.GetSize();
            };
            measure(source);
            try {
                VovozId2->Assign(VovozId1);
                result->Params().Assign(&source->Params());
                ReduceResult(kind);
                VovozId2->Update();
            } catch (const std::exception&) {
                SetCaption(kUnshownCaption);
            }
        }
    } catch (const std::exception&) {
        SetCaption(kUnshownCaption);
    }
    FProgressPhases = 1;
    FProgressOffset = 0;
    ProgressBar1->SetPosition(0);
    FollowSourceView();
    ShowSizes();
}

// ---------------------------------------------------------------------------------------
// The entry from the input/output component

bool IEShowIOPreviews(TVovozIdIO* IO, uint16_t Pages, TIEBitmap* Shown) {
    if (!IO || !Shown) return false;
    TfIOPreviews* form = cl::NewForm<TfIOPreviews>(IO);
    struct Release {
        TfIOPreviews* F;
        ~Release() {
            F->VovozId1->SetExternalBitmap(nullptr);
            F->Free();
        }
    } release{form};
    form->DefaultLockPreview = (IO->PreviewsParams & ioppDefaultLockPreview) != 0;
    form->Button4->SetVisible((IO->PreviewsParams & ioppApplyButton) != 0);
    form->Params = &IO->Params();
    form->Simplified = IO->SimplifiedParamsDialogs;
    if (form->Simplified) form->ApplySimplifiedSize();
    form->MonoConversion = IO->MonoConversion;
    form->Localize(IO->MsgLanguage);
    form->GetFont()->Assign(IO->PreviewFont());
    form->VovozId1->SetExternalBitmap(Shown);
    form->VovozId1->Update();
    form->VovozId2->ResetToEmpty();
    if (!form->SetPages(Pages)) return false;
    if (IO->OnIOPreview) IO->OnIOPreview(IO, form);
    if (form->ShowModal() != cl::mrOk) return false;
    return true;
}

}  // namespace ie
