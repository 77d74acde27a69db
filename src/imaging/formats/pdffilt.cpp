// PDF 1.4 documents.
#include "imaging/formats/pdffilt.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <limits>

#include "imaging/core/hyieutils_encoders.h"
#include "imaging/processing/vovozidproc_wand.h"
#include "platform/codepage.h"

namespace ie {

namespace {

// A stream's data counts its length in 32 bits.
constexpr int64_t kMaxStreamData = std::numeric_limits<int32_t>::max() - 16;

TIEPDFNameObject* Name(const char* N) { return new TIEPDFNameObject(N); }
TIEPDFNumericObject* Number(double V) { return new TIEPDFNumericObject(V); }

// All rows of a 1-bit bitmap from the top, RowLen bytes each.
std::vector<uint8_t> BilevelRows(TIEBitmap* Bitmap, int64_t RowLen, TProgressRec& Progress) {
    const int32_t h = Bitmap->GetHeight();
    std::vector<uint8_t> rows(static_cast<size_t>(RowLen * h));
    int32_t last = -1;
    for (int32_t y = 0; y < h && !Progress.IsAborting(); ++y) {
        std::memcpy(rows.data() + RowLen * y, Bitmap->GetScanline(y), static_cast<size_t>(RowLen));
        IEReportRows(Progress, y + 1, last);
    }
    return rows;
}

// Row Y as the page stores it: 1-bit rows as they are, colour rows red, green, blue.
const uint8_t* PageRow(TIEBitmap* Bitmap, int32_t Y, bool Bilevel, std::vector<uint8_t>& Buffer) {
    const auto* row = static_cast<const uint8_t*>(Bitmap->GetScanline(Y));
    if (Bilevel) return row;
    IECopyBGRToRGB(Buffer.data(), row, Bitmap->GetWidth());
    return Buffer.data();
}

// Every row through the LZW encoder of the parameters, then its closing call. False when
// there is no encoder.
bool LZWRows(TIEBitmap* Bitmap, bool Bilevel, TIETIFFLZWCompressor Encode, std::vector<uint8_t>& Out,
             TProgressRec& Progress) {
    if (!Encode) return false;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const int64_t rowLen = Bilevel ? (int64_t{w} + 7) / 8 : int64_t{w} * 3;
    std::vector<uint8_t> buffer(Bilevel ? 0 : static_cast<size_t>(rowLen));
    cl::TMemoryStream coded;
    void* state = nullptr;
    int32_t last = -1;
    for (int32_t y = 0; y < h && !Progress.IsAborting(); ++y) {
        Encode(PageRow(Bitmap, y, Bilevel, buffer), static_cast<int32_t>(rowLen), &coded, state);
        IEReportRows(Progress, y + 1, last);
    }
    Encode(nullptr, 0, &coded, state);
    const auto* p = static_cast<const uint8_t*>(coded.GetMemory());
    Out.assign(p, p + coded.GetSize());
    return true;
}

// "yyyymmddhhmmss" of the local time.
cl::String DateDigits() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec);
    return buf;
}

}  // namespace

cl::String IEPDFTextString(const cl::String& Utf8) {
    bool ascii = true;
    for (char c : Utf8) ascii = ascii && static_cast<unsigned char>(c) < 128;
    if (ascii) return Utf8;
    cl::String s = "\xFE\xFF";
    for (char16_t u : win::Utf8ToUtf16(Utf8)) {
        s += static_cast<char>(u >> 8);
        s += static_cast<char>(u & 0xFF);
    }
    return s;
}

std::unique_ptr<TIEPDFDocument> IEPDFBeginDocument() {
    auto doc = std::make_unique<TIEPDFDocument>();
    doc->Catalog = IEPDFAddCatalog(doc->Objects);
    auto* resources = new TIEPDFDictionaryObject;
    auto* procSet = new TIEPDFArrayObject;
    procSet->AddItem(Name("PDF"));
    procSet->AddItem(Name("ImageB"));
    resources->AddEntry("ProcSet", procSet);
    resources->AddEntry("XObject", new TIEPDFDictionaryObject);
    IEPDFAddObject(doc->Objects, resources);
    doc->Resources = resources;
    return doc;
}

void IEPDFAddImagePage(TIEPDFDocument* State, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
    if (!State || Params.PDFPaperWidth < 1 || Params.PDFPaperHeight < 1) {
        Progress.Abort();
        return;
    }
    std::unique_ptr<TIEBitmap> holder;
    TIEBitmap* page = IEDocumentPageSource(Bitmap, holder, Progress);
    if (!page) return;
    const int32_t w = page->GetWidth(), h = page->GetHeight();
    const bool bilevel = page->GetPixelFormat() == ie1g;
    Params.BitsPerSample = bilevel ? 1 : 8;
    Params.SamplesPerPixel = bilevel ? 1 : 3;
    Progress.Per = 100.0 / h;

    auto image = std::make_unique<TIEPDFStreamObject>();
    TIEPDFDictionaryObject* dict = image->Dictionary.get();
    std::vector<uint8_t>& data = image->Data;
    int32_t compression = Params.PDFCompression;
    if (bilevel) {
        const int64_t rowLen = (int64_t{w} + 7) / 8;
        if (rowLen * h > kMaxStreamData) {
            Progress.Abort();
            return;
        }
        // JPEG does not code bilevel pictures: group 3 instead, also for the next pages.
        if (compression == iepdfJPEG) compression = Params.PDFCompression = iepdfG3;
        if (compression == iepdfG4 || compression == iepdfG3) {
            if (IEFaxEncodeBitmap(page, compression == iepdfG4, data, Progress)) {
                dict->AddEntry("Filter", Name("CCITTFaxDecode"));
                auto* parms = new TIEPDFDictionaryObject;
                parms->AddEntry("K", Number(compression == iepdfG4 ? -1 : 1));
                parms->AddEntry("BlackIs1", new TIEPDFBooleanObject(true));
                parms->AddEntry("Columns", Number(w));
                parms->AddEntry("Rows", Number(h));
                parms->AddEntry("EndOfLine", new TIEPDFBooleanObject(false));
                parms->AddEntry("Uncompressed", new TIEPDFBooleanObject(true));
                parms->AddEntry("EncodedByteAlign", new TIEPDFBooleanObject(false));
                parms->AddEntry("EndOfBlock", new TIEPDFBooleanObject(false));
                dict->AddEntry("DecodeParms", parms);
            } else {
                if (Progress.IsAborting()) return;
                compression = iepdfRunLength;
            }
        } else if (compression == iepdfLZW) {
            if (LZWRows(page, true, Params.TIFFLZWCompress, data, Progress))
                dict->AddEntry("Filter", Name("LZWDecode"));
            else
                compression = iepdfNone;
        }
        if (compression == iepdfRunLength) {
            const std::vector<uint8_t> rows = BilevelRows(page, rowLen, Progress);
            data.resize(rows.size() + rows.size() / 128 + 2);
            data.resize(
                static_cast<size_t>(IEEncodeRunLength(rows.data(), static_cast<int32_t>(rows.size()), data.data())));
            auto* filters = new TIEPDFArrayObject;
            filters->AddItem(Name("RunLengthDecode"));
            dict->AddEntry("Filter", filters);
        } else if (compression == iepdfNone || compression > iepdfLZW) {
            data = BilevelRows(page, rowLen, Progress);
        }
        dict->AddEntry("ColorSpace", Name("DeviceGray"));
        dict->AddEntry("BitsPerComponent", Number(1));
    } else {
        TIEJPEGFrameInfo frame;
        if (compression == iepdfLZW && LZWRows(page, false, Params.TIFFLZWCompress, data, Progress)) {
            dict->AddEntry("Filter", Name("LZWDecode"));
            dict->AddEntry("ColorSpace", Name("DeviceRGB"));
        } else if (compression == iepdfJPEG && IEEncodeJPEGPage(page, Params, Progress, data, frame)) {
            // The colour space of what the JPEG writer stored, whatever was asked of it.
            dict->AddEntry("Filter", Name("DCTDecode"));
            dict->AddEntry("ColorSpace", Name(frame.Components == 1   ? "DeviceGray"
                                              : frame.Components == 3 ? "DeviceRGB"
                                                                      : "DeviceCMYK"));
            if (frame.Components == 4 && frame.Adobe) {
                // CMYK (and YCCK, which the filter turns into CMYK) stored inverted.
                auto* decode = new TIEPDFArrayObject;
                for (int i = 0; i < 4; ++i) {
                    decode->AddItem(Number(1));
                    decode->AddItem(Number(0));
                }
                dict->AddEntry("Decode", decode);
            }
        } else {
            if (Progress.IsAborting()) return;
            if (int64_t{w} * 3 * h > kMaxStreamData) {
                Progress.Abort();
                return;
            }
            data.resize(static_cast<size_t>(int64_t{w} * 3 * h));
            int32_t last = -1;
            for (int32_t y = 0; y < h && !Progress.IsAborting(); ++y) {
                IECopyBGRToRGB(data.data() + int64_t{w} * 3 * y, page->GetScanline(y), w);
                IEReportRows(Progress, y + 1, last);
            }
            dict->AddEntry("ColorSpace", Name("DeviceRGB"));
        }
        dict->AddEntry("BitsPerComponent", Number(8));
    }
    if (Progress.IsAborting() || static_cast<int64_t>(data.size()) > kMaxStreamData) {
        Progress.Abort();
        return;
    }
    dict->AddEntry("Type", Name("XObject"));
    dict->AddEntry("Subtype", Name("Image"));
    dict->AddEntry("Width", Number(w));
    dict->AddEntry("Height", Number(h));
    TIEPDFStreamObject* img = image.release();
    IEPDFAddObject(State->Objects, img);
    State->Images.push_back(img);
    const cl::String k = std::to_string(State->Images.size());

    int32_t fitW = 1, fitH = 1;
    IEFitToBox(w, h, Params.PDFPaperWidth, Params.PDFPaperHeight, fitW, fitH);
    const cl::String text = "q\n" + std::to_string(fitW) + " 0 0 " + std::to_string(fitH) + " 0 " +
                            std::to_string(int64_t{Params.PDFPaperHeight} - fitH) + " cm\n/lm" + k + " Do\nQ";
    TIEPDFStreamObject* content =
        TIEPDFStreamObject::CreateCopy(text.data(), static_cast<int32_t>(text.size())).release();
    IEPDFAddObject(State->Objects, content);
    State->Contents.push_back(content);

    if (auto* xobjects = dynamic_cast<TIEPDFDictionaryObject*>(State->Resources->GetEntry("XObject")))
        xobjects->AddEntry("lm" + k, new TIEPDFRefObject(img->ObjectNumber, 0));
    auto* mediaBox = new TIEPDFArrayObject;
    mediaBox->AddItem(Number(0));
    mediaBox->AddItem(Number(0));
    mediaBox->AddItem(Number(Params.PDFPaperWidth));
    mediaBox->AddItem(Number(Params.PDFPaperHeight));
    IEPDFAddPage(State->Objects, State->Pages, State->Resources, content->ObjectNumber, mediaBox);
}

void IEPDFEndDocument(std::unique_ptr<TIEPDFDocument> State, cl::TStream* Stream, TIOParamsVals& Params) {
    if (!State) return;
    IEPDFAddPages(State->Objects, State->Pages);
    auto* info = new TIEPDFDictionaryObject;
    const std::pair<const char*, const cl::String*> fields[] = {
        {"Title", &Params.PDFTitle},       {"Author", &Params.PDFAuthor},   {"Subject", &Params.PDFSubject},
        {"Keywords", &Params.PDFKeywords}, {"Creator", &Params.PDFCreator}, {"Producer", &Params.PDFProducer},
    };
    for (const auto& [key, value] : fields)
        if (!value->empty()) info->AddEntry(key, new TIEPDFStringObject(IEPDFTextString(*value)));
    info->AddEntry("CreationDate", new TIEPDFStringObject("D:" + DateDigits()));
    IEPDFAddObject(State->Objects, info);
    IEPDFWriteHeader(Stream);
    IEPDFWriteObjects(Stream, State->Objects);
    IEPDFWriteXRefAndTrailer(Stream, State->Objects, info);
}

void IEWritePDFStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
    try {
        std::unique_ptr<TIEPDFDocument> doc = IEPDFBeginDocument();
        IEPDFAddImagePage(doc.get(), Bitmap, Params, Progress);
        if (!Progress.IsAborting()) IEPDFEndDocument(std::move(doc), Stream, Params);
    } catch (const std::exception&) {
        // A stream that failed (or memory that ran out) leaves no usable document.
        Progress.Abort();
    }
}

namespace {

void WritePDF(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, TIEWriteContext&) {
    IEWritePDFStream(Stream, Bitmap, Params, Progress);
}

}  // namespace

void IEPDFRegisterFormat() {
    TIEFormatOps ops;
    ops.Write = &WritePDF;
    IESetFormatOps(ioPDF, ops);
}

}  // namespace ie
