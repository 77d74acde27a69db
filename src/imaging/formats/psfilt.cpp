// PostScript Level 2 documents.
#include "imaging/formats/psfilt.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <vector>

#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_streams.h"

namespace ie {

namespace {

// Whole-page data (1-bit rows, fax or JPEG data) above this size is refused: the
// run-length and ASCII85 coders count in 32 bits.
constexpr int64_t kMaxWholeData = int64_t{1} << 29;

void Line(cl::TStream* Stream, TProgressRec& Progress, const cl::String& Text) {
    const cl::String s = Text + "\r\n";
    IEWriteChecked(Stream, Progress, s.data(), static_cast<int64_t>(s.size()));
}

cl::String Str(int64_t V) { return std::to_string(V); }

// "ddd mmm dd hh:nn:ss yyyy" of the local time, with English day and month names.
cl::String CreationDate() {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %04d", kDays[t.tm_wday % 7], kMonths[t.tm_mon % 12],
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
    return buf;
}

// The title as a comment of a clean 7-bit document: control characters become spaces,
// bytes outside ASCII question marks (a line end would end the comment).
cl::String CleanTitle(const cl::String& Title) {
    cl::String s = Title;
    for (char& c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || b == 127)
            c = ' ';
        else if (b > 127)
            c = '?';
    }
    return s;
}

cl::String PagesLine(int32_t Count) {
    cl::String n = Str(Count);
    n.resize(6, ' ');
    return "%%Pages: " + n;
}

// ASCII85 of Count bytes (at most kMaxWholeData) appended to Output; the bytes written.
int64_t AppendASCII85(cl::TMemoryStream* Output, const uint8_t* Data, int64_t Count) {
    std::vector<uint8_t> buf(static_cast<size_t>(IEASCII85MaxLength(Count)));
    const uint8_t* src = Data;
    uint8_t* dst = buf.data();
    int32_t total = 0;
    const int32_t n = IEEncodeASCII85(src, static_cast<int32_t>(Count), dst, total);
    Output->WriteBuffer(buf.data(), n);
    return n;
}

std::vector<uint8_t> RunLength(const uint8_t* Data, int64_t Count) {
    std::vector<uint8_t> out(static_cast<size_t>(Count + Count / 128 + 2));
    out.resize(static_cast<size_t>(IEEncodeRunLength(Data, static_cast<int32_t>(Count), out.data())));
    return out;
}

}  // namespace

std::unique_ptr<TIEPSDocument> IEPSBeginDocument(cl::TStream* Stream, TIOParamsVals& Params, TProgressRec& Progress) {
    auto doc = std::make_unique<TIEPSDocument>();
    Line(Stream, Progress, "%!PS-Adobe-3.0");
    Line(Stream, Progress, "");
    Line(Stream, Progress, "%%Title: " + CleanTitle(Params.PSTitle));
    Line(Stream, Progress, "%%CreationDate: " + CreationDate());
    Line(Stream, Progress, "%%DocumentData: Clean7Bit");
    Line(Stream, Progress, "%%LanguageLevel: 2");
    doc->PagesLinePos = Stream->GetPosition();
    Line(Stream, Progress, PagesLine(0));
    Line(Stream, Progress,
         "%%BoundingBox: 0 0 " + Str(int64_t{Params.PSPaperWidth} - 1) + " " + Str(int64_t{Params.PSPaperHeight} - 1));
    Line(Stream, Progress, "%%EndComments");
    doc->NextPagePos = Stream->GetPosition();
    return doc;
}

void IEPSAddPage(TIEPSDocument* State, cl::TStream* Stream, TIEBitmap* Bitmap, TProgressRec& Progress,
                 TIOParamsVals& Params) {
    // The count keeps the six characters of its line.
    if (!State || Params.PSPaperWidth < 1 || Params.PSPaperHeight < 1 || State->PageCount >= 999999) {
        Progress.Abort();
        return;
    }
    std::unique_ptr<TIEBitmap> holder;
    TIEBitmap* page = IEDocumentPageSource(Bitmap, holder, Progress);
    if (!page) return;
    Stream->Seek(State->NextPagePos, cl::soBeginning);
    IEPSWritePage(Stream, page, Params, Params.PSPaperHeight, Params.PSPaperWidth, State->PageCount + 1, Progress);
    if (Progress.IsAborting()) return;
    State->NextPagePos = Stream->GetPosition();
    ++State->PageCount;
    Stream->Seek(State->PagesLinePos, cl::soBeginning);
    Line(Stream, Progress, PagesLine(State->PageCount));
    Stream->Seek(State->NextPagePos, cl::soBeginning);
}

void IEPSEndDocument(std::unique_ptr<TIEPSDocument> State, cl::TStream* Stream, TProgressRec& Progress) {
    if (!State) return;
    Stream->Seek(State->NextPagePos, cl::soBeginning);
    Line(Stream, Progress, "%%Trailer");
    Line(Stream, Progress, "%%EOF");
}

void IEWritePSStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress) {
    try {
        std::unique_ptr<TIEPSDocument> doc = IEPSBeginDocument(Stream, Params, Progress);
        IEPSAddPage(doc.get(), Stream, Bitmap, Progress, Params);
        if (!Progress.IsAborting()) IEPSEndDocument(std::move(doc), Stream, Progress);
    } catch (const std::exception&) {
        // A stream that failed (or memory that ran out) leaves no usable document.
        Progress.Abort();
    }
}

void IEPSWritePage(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, int32_t PageHeight, int32_t PageWidth,
                   int32_t PageNumber, TProgressRec& Progress) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    // The data first: the lines in front of it tell how it is coded.
    cl::TMemoryStream data;
    TIEPSPageCoding coding;
    const int64_t n = IEPSEncodeImage(&data, Bitmap, Params, Progress, coding);
    if (n <= 0 || Progress.IsAborting()) {
        Progress.Abort();
        return;
    }
    int32_t fitW = 1, fitH = 1;
    IEFitToBox(w, h, PageWidth, PageHeight, fitW, fitH);
    const cl::String sw = Str(w), sh = Str(h);
    const cl::String matrix = "[ " + sw + " 0 0 " + sh + " 0 0 ]";
    const cl::String beginData = "%%BeginData:      " + Str(n) + " ASCII Bytes";
    Line(Stream, Progress, "%%Page: " + Str(PageNumber) + " " + Str(PageNumber));
    Line(Stream, Progress, "0 " + Str(PageHeight) + " translate");
    Line(Stream, Progress, Str(fitW) + " -" + Str(fitH) + " scale");
    if (coding.Compression == 3 && coding.JPEG.Components == 4) {
        // Four components need the dictionary form of image: CMYK stored inverted (as an
        // Adobe marker tells) is read back through its Decode array.
        const char* decode = coding.JPEG.Adobe ? "[ 1 0 1 0 1 0 1 0 ]" : "[ 0 1 0 1 0 1 0 1 ]";
        Line(Stream, Progress, "/DeviceCMYK setcolorspace");
        Line(Stream, Progress, "<< /ImageType 1 /Width " + sw + " /Height " + sh + " /BitsPerComponent 8");
        Line(Stream, Progress, "/ImageMatrix " + matrix + " /Decode " + decode);
        Line(Stream, Progress, "/DataSource currentfile /ASCII85Decode filter << >> /DCTDecode filter >>");
        Line(Stream, Progress, beginData);
        Line(Stream, Progress, "image");
    } else {
        Line(Stream, Progress, sw + " " + sh + " " + Str(Params.BitsPerSample));
        Line(Stream, Progress, matrix);
        if (coding.Compression == 3) {
            Line(Stream, Progress, "currentfile /ASCII85Decode filter << >> /DCTDecode filter");
            if (coding.JPEG.Components == 3) Line(Stream, Progress, "false 3");
            Line(Stream, Progress, beginData);
            Line(Stream, Progress, coding.JPEG.Components == 3 ? "colorimage" : "image");
        } else if (Params.SamplesPerPixel == 3) {
            for (const char* channel : {"rstr", "gstr", "bstr"})
                Line(Stream, Progress, "/" + cl::String(channel) + " " + sw + " string def");
            for (const char* channel : {"rstr", "gstr", "bstr"})
                Line(Stream, Progress,
                     "{currentfile /ASCII85Decode filter /RunLengthDecode filter " + cl::String(channel) +
                         " readstring pop}");
            Line(Stream, Progress, "true 3");
            Line(Stream, Progress, beginData);
            Line(Stream, Progress, "colorimage");
        } else {
            if (coding.Compression == 0)
                Line(Stream, Progress, "currentfile /ASCII85Decode filter /RunLengthDecode filter");
            else
                Line(Stream, Progress,
                     "currentfile /ASCII85Decode filter << /K " + cl::String(coding.Compression == 1 ? "-1" : "1") +
                         " /BlackIs1 true /Columns " + sw + " /Rows " + sh +
                         " /EndOfLine false /Uncompressed true /EncodedByteAlign false"
                         " /EndOfBlock false >> /CCITTFaxDecode filter");
            Line(Stream, Progress, beginData);
            Line(Stream, Progress, "image");
        }
    }
    IEWriteChecked(Stream, Progress, data.GetMemory(), data.GetSize());
    Line(Stream, Progress, "%%EndData");
    Line(Stream, Progress, "showpage");
}

int64_t IEPSEncodeImage(cl::TMemoryStream* Output, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                        TIEPSPageCoding& Coding) {
    Coding = TIEPSPageCoding();
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    if (w < 1 || h < 1 || (format != ie1g && format != ie24RGB)) {
        Progress.Abort();
        return 0;
    }
    const bool bilevel = format == ie1g;
    Params.BitsPerSample = bilevel ? 1 : 8;
    Params.SamplesPerPixel = bilevel ? 1 : 3;
    Progress.Per = 100.0 / h;
    const int64_t start = Output->GetSize();
    Output->Seek(start, cl::soBeginning);
    const int32_t asked = Params.PSCompression;
    int32_t last = -1;
    if (bilevel) {
        // JPEG does not code bilevel pages: they take group 3 instead; a missing fax
        // coder and unknown values give run-length.
        int32_t compression = asked == 1 || asked == 2 ? asked : asked == 3 ? 2 : 0;
        const int64_t rowLen = (int64_t{w} + 7) / 8;
        if (rowLen * h > kMaxWholeData) {
            Progress.Abort();
            return 0;
        }
        std::vector<uint8_t> coded;
        if (compression != 0 && !IEFaxEncodeBitmap(Bitmap, compression == 1, coded, Progress)) {
            if (Progress.IsAborting()) return 0;
            compression = 0;
        }
        if (compression == 0) {
            std::vector<uint8_t> rows(static_cast<size_t>(rowLen * h));
            for (int32_t y = 0; y < h && !Progress.IsAborting(); ++y) {
                std::memcpy(rows.data() + rowLen * y, Bitmap->GetScanline(y), static_cast<size_t>(rowLen));
                IEReportRows(Progress, y + 1, last);
            }
            if (Progress.IsAborting()) return 0;
            coded = RunLength(rows.data(), static_cast<int64_t>(rows.size()));
        }
        if (static_cast<int64_t>(coded.size()) > kMaxWholeData) {
            Progress.Abort();
            return 0;
        }
        Coding.Compression = compression;
        AppendASCII85(Output, coded.data(), static_cast<int64_t>(coded.size()));
        return Output->GetSize() - start;
    }
    if (asked == 3) {
        std::vector<uint8_t> jpeg;
        if (IEEncodeJPEGPage(Bitmap, Params, Progress, jpeg, Coding.JPEG)) {
            if (static_cast<int64_t>(jpeg.size()) > kMaxWholeData) {
                Progress.Abort();
                return 0;
            }
            Coding.Compression = 3;
            AppendASCII85(Output, jpeg.data(), static_cast<int64_t>(jpeg.size()));
            return Output->GetSize() - start;
        }
        if (Progress.IsAborting()) return 0;
    }
    // Per row, red, green and blue each run-length coded as an ASCII85 section of its own.
    std::vector<uint8_t> channel(static_cast<size_t>(w));
    for (int32_t y = 0; y < h && !Progress.IsAborting(); ++y) {
        const auto* row = static_cast<const uint8_t*>(Bitmap->GetScanline(y));
        for (int32_t c = 2; c >= 0; --c) {
            for (int32_t x = 0; x < w; ++x) channel[static_cast<size_t>(x)] = row[int64_t{x} * 3 + c];
            const std::vector<uint8_t> coded = RunLength(channel.data(), w);
            AppendASCII85(Output, coded.data(), static_cast<int64_t>(coded.size()));
        }
        IEReportRows(Progress, y + 1, last);
    }
    if (Progress.IsAborting()) return 0;
    return Output->GetSize() - start;
}

namespace {

void WritePS(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress, TIEWriteContext&) {
    IEWritePSStream(Stream, Bitmap, Params, Progress);
}

}  // namespace

void IEPSRegisterFormat() {
    TIEFormatOps ops;
    ops.Write = &WritePS;
    IESetFormatOps(ioPS, ops);
}

}  // namespace ie
