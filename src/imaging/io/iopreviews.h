// The parameters preview dialog TfIOPreviews: the save parameters of one file format chosen
// while the picture is shown as it was (left) and as it comes back from the file (right),
// with the size of the file each page's settings produce. The input/output component opens
// it from DoPreviews; OK and Apply write the chosen values into its parameters.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/ComCtrls.h"
#include "classlib/Dialogs.h"
#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"
#include "imaging/core/hyiedefs.h"
#include "imaging/io/vovozidio_params.h"

namespace ie {

class TVovozIdIO;
class TVovozIdView;
class TIEBitmap;

// The format pages in the order the activation goes through them.
enum TIOPreviewPage : uint8_t {
    ipJPEG1,
    ipJPEG2,
    ipTIFF1,
    ipTIFF2,
    ipGIF1,
    ipGIF2,
    ipBMP1,
    ipPCX1,
    ipPNG1,
    ipTGA1,
    ipJ20001,
    ipPageCount
};

// The values the pages edit: a copy of the plain parameters and the colour choice of each
// page (an item index of its colours list).
struct TIOPreviewWork {
    TIOParamsData V;
    int32_t TIFFColors = 4;   // ComboBox4: B/W, 16, 256, 65536, 16M
    int32_t TIFF2Colors = 3;  // ComboBox17: 2, 16, 256, 16777216
    int32_t GIFBits = 8;      // 1 .. 8
    int32_t BMPColors = 3;    // ComboBox7: B/W, 16, 256, 16M, 16M (32bit)
    int32_t PCXColors = 3;    // ComboBox9: B/W, 16, 256, 16M
    int32_t PNGColors = 2;    // ComboBox10: B/W, 256, 16M
    int32_t TGAColors = 2;    // ComboBox14: B/W, 256, 16M
};

// The size captions of one page: "Original size:" and "Compressed size:" with their values.
// A number edit of the pages and the values it may hold.
struct TIOPreviewEditRange {
    cl::TEdit* Edit = nullptr;
    int32_t Min = 0, Max = 0;
};

struct TIOPreviewSizeLabels {
    cl::TLabel* OriginalCaption = nullptr;
    cl::TLabel* OriginalValue = nullptr;
    cl::TLabel* CompressedCaption = nullptr;
    cl::TLabel* CompressedValue = nullptr;
};

class TfIOPreviews : public cl::TForm {
    CL_DECLARE_COMPONENT(TfIOPreviews, cl::TForm)
public:
    explicit TfIOPreviews(cl::TComponent* AOwner);
    ~TfIOPreviews() override;

    // ----- the settings DoPreviews hands over
    // The parameters edited (not owned).
    TIOParamsVals* Params = nullptr;
    bool Simplified = false;
    bool DefaultLockPreview = false;
    uint8_t MonoConversion = 1;
    // Stores Pages; with the automatic bit the page of Params' file type is added. False when
    // only the automatic bit is left (no page to show).
    bool SetPages(uint16_t Pages);
    uint16_t GetPages() const { return FPages; }
    // The captions from the word table in Language.
    void Localize(TMsgLanguage Language);
    // The simplified layout's page-control and form heights (at Screen's pixels per inch).
    void ApplySimplifiedSize();

    // ----- the working state
    TIOPreviewWork Work;
    bool GetActivated() const { return FActivated; }
    bool GetFilling() const { return FFilling; }
    // The active page's kind, ipPageCount when none.
    TIOPreviewPage ActivePageKind() const;
    cl::TTabSheet* Page(TIOPreviewPage Kind) const { return FPages_[Kind]; }
    const TIOPreviewSizeLabels& SizeLabels(TIOPreviewPage Kind) const { return FSizes[Kind]; }
    // The file type OK writes for a page.
    static int32_t PageFileType(TIOPreviewPage Kind);
    // The cancel caption the palette dialog gets.
    cl::String PaletteCancelCaption = "&Cancel";
    // The byte count of the last preview's file (-1 before the first).
    int64_t GetCompressedSize() const { return FCompressedSize; }
    // The source picture's row length times its height.
    int64_t OriginalSize();
    // Whether the TIFF compression lists hold "LZW" (the library's LZW encoder is there).
    bool GetTIFFLZWListed() const { return FLZWListed; }
    // TIFFCompression <-> item of the TIFF compression lists.
    int32_t TIFFCompressionToItem(int32_t Compression) const;
    int32_t TIFFItemToCompression(int32_t Item) const;

    // ----- the steps, public so that a caller can drive the dialog as the events do
    void FormActivate();
    void ReadParams();
    void ShowParams();
    // Reads the controls of a page into the working copy.
    void ReadPage(TIOPreviewPage Kind);
    // Writes the working copy of the active page into Params and sets its file type.
    void WriteParams();
    void UpdatePreview();
    // The number edits with their ranges (inclusive).
    std::vector<TIOPreviewEditRange> EditRanges() const;
    // Puts a number edit's text back into its range; true when the text was rewritten.
    bool ClampEdit(cl::TObject* Sender);
    // A number edit's value within its range, or Default when the text is no number.
    int32_t EditValue(cl::TEdit* Edit, int32_t Default) const;
    // The change handler of the page controls (Sender is the control changed).
    void PageValueChanged(cl::TObject* Sender);
    void PageControlChanging(cl::TObject* Sender, bool& AllowChange);
    void PageControlChange(cl::TObject* Sender);
    void LockPreviewClick(cl::TObject* Sender);
    void ApplyClick(cl::TObject* Sender);
    void OKClick(cl::TObject* Sender);
    void PreviewClick(cl::TObject* Sender);
    void ColorPanelClick(cl::TObject* Sender);
    void FollowSourceView();
    void SourceViewChange(cl::TObject* Sender, int32_t Change);
    void ViewProgress(cl::TObject* Sender, int32_t Percent);

    // ----- the controls (owned by the form)
    cl::TImage* Image1 = nullptr;
    cl::TLabel* Label1 = nullptr;
    cl::TLabel* Label2 = nullptr;
    TVovozIdView* VovozId1 = nullptr;
    TVovozIdView* VovozId2 = nullptr;
    cl::TButton* Button1 = nullptr;
    cl::TButton* Button2 = nullptr;
    cl::TButton* Button3 = nullptr;
    cl::TButton* Button4 = nullptr;
    cl::TCheckBox* chkLockPreview = nullptr;
    cl::TProgressBar* ProgressBar1 = nullptr;
    cl::TColorDialog* ColorDialog1 = nullptr;
    cl::TPageControl* PageControl1 = nullptr;
    cl::TTabSheet *TabSheetJPEG1 = nullptr, *TabSheetJPEG2 = nullptr, *TabSheetTIFF1 = nullptr,
                  *TabSheetTIFF2 = nullptr, *TabSheetGIF1 = nullptr, *TabSheetGIF2 = nullptr, *TabSheetBMP1 = nullptr,
                  *TabSheetPCX1 = nullptr, *TabSheetPNG1 = nullptr, *TabSheetTGA1 = nullptr, *TabSheetJ20001 = nullptr;
    // JPEG
    cl::TEdit* Edit22 = nullptr;
    cl::TTrackBar* TrackBar13 = nullptr;
    cl::TComboBox* ComboBox13 = nullptr;
    cl::TComboBox* ComboBox1 = nullptr;
    cl::TCheckBox* CheckBox2 = nullptr;
    cl::TEdit* Edit23 = nullptr;
    cl::TUpDown* UpDown11 = nullptr;
    cl::TCheckBox* CheckBox3 = nullptr;
    cl::TGroupBox* GroupBoxJPEGAdvanced = nullptr;
    cl::TEdit* Edit16 = nullptr;
    cl::TTrackBar* TrackBar2 = nullptr;
    // TIFF
    cl::TComboBox* ComboBox2 = nullptr;
    cl::TEdit* Edit1 = nullptr;
    cl::TUpDown* UpDown1 = nullptr;
    cl::TComboBox* ComboBox3 = nullptr;
    cl::TComboBox* ComboBox4 = nullptr;
    cl::TGroupBox* GroupBoxScanned = nullptr;
    cl::TEdit *Edit4 = nullptr, *Edit5 = nullptr, *Edit6 = nullptr, *Edit7 = nullptr, *Edit8 = nullptr,
              *Edit2 = nullptr, *Edit3 = nullptr;
    cl::TComboBox* ComboBox16 = nullptr;
    cl::TComboBox* ComboBox17 = nullptr;
    // GIF
    cl::TEdit* Edit9 = nullptr;
    cl::TUpDown* UpDown2 = nullptr;
    cl::TComboBox* ComboBox5 = nullptr;
    cl::TCheckBox* CheckBox4 = nullptr;
    cl::TPanel* Panel3 = nullptr;
    cl::TCheckBox* CheckBox5 = nullptr;
    cl::TPanel* Panel4 = nullptr;
    cl::TEdit *Edit12 = nullptr, *Edit10 = nullptr, *Edit11 = nullptr;
    cl::TComboBox* ComboBox18 = nullptr;
    // BMP, PCX
    cl::TComboBox *ComboBox6 = nullptr, *ComboBox7 = nullptr, *ComboBox8 = nullptr, *ComboBox9 = nullptr;
    // PNG
    cl::TComboBox* ComboBox10 = nullptr;
    cl::TPanel* Panel1 = nullptr;
    cl::TComboBox* ComboBox11 = nullptr;
    cl::TCheckBox* CheckBox6 = nullptr;
    cl::TComboBox* ComboBox12 = nullptr;
    cl::TGroupBox* GroupBoxPNGAdvanced = nullptr;
    // TGA
    cl::TComboBox* ComboBox14 = nullptr;
    cl::TPanel* Panel5 = nullptr;
    cl::TCheckBox* CheckBox1 = nullptr;
    cl::TEdit *Edit13 = nullptr, *Edit14 = nullptr;
    // JPEG 2000
    cl::TEdit* Edit15 = nullptr;
    cl::TTrackBar* TrackBar1 = nullptr;
    cl::TComboBox* ComboBox15 = nullptr;

    // The captions beside the controls (localised; names after what they caption).
    struct {
        cl::TLabel *JPEGQuality, *JPEGColorSpace, *JPEGDCT, *JPEGSmooth, *JPEG2Quality;
        cl::TLabel *TIFFCompression, *TIFFImageIndex, *TIFFPhotometric, *TIFFColors, *TIFFDocumentName,
            *TIFFImageDescription, *TIFFPageName, *TIFFPageNumber, *TIFFPageOf, *TIFFXPos, *TIFFYPos;
        cl::TLabel *TIFF2Compression, *TIFF2Colors;
        cl::TLabel *GIFImageIndex, *GIFColors, *GIFTranspColor, *GIFBackground, *GIFDelay, *GIFDelayUnit, *GIFXPos,
            *GIFYPos, *GIF2Colors;
        cl::TLabel *BMPCompression, *BMPColors, *PCXCompression, *PCXColors;
        cl::TLabel *PNGColors, *PNGBackground, *PNGFilter, *PNGCompression;
        cl::TLabel *TGAColors, *TGABackground, *TGAName, *TGADescription;
        cl::TLabel *J2000Rate, *J2000Rate1000, *J2000ColorSpace;
    } Captions{};

private:
    void BuildPages();
    void BuildSizeLabels(TIOPreviewPage Kind, int Top);
    void RebuildTIFFCompressionLists();
    void FillTIFFCompressionList(cl::TComboBox* Box);
    void ShowSizes();
    // The working-copy values of a page that shape the written picture.
    std::vector<double> ShapeOf(TIOPreviewPage Kind) const;
    // Copies the values of a page that shape the written picture into P (with the samples and
    // bits of its colour choice), and with All the others it shows too.
    void CopyPage(TIOPreviewPage Kind, TIOParamsVals& P, bool All) const;
    void ReduceResult(TIOPreviewPage Kind);
    bool ResultNeedsPreview();

    uint16_t FPages = 0;
    cl::TTabSheet* FPages_[ipPageCount] = {};
    TIOPreviewSizeLabels FSizes[ipPageCount];
    bool FActivated = false;
    bool FFilling = false;
    bool FLZWListed = true;
    int64_t FCompressedSize = -1;
    int32_t FProgressPhases = 1;
    int32_t FProgressOffset = 0;
};

// Opens the dialog for IO over Shown (the component's picture as the dialog shows it) with
// the format pages Pages: True when the user closed it with OK. Bound to the input/output
// component's DoPreviews by the unit's start-up.
bool IEShowIOPreviews(TVovozIdIO* IO, uint16_t Pages, TIEBitmap* Shown);

}  // namespace ie
