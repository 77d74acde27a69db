// PostScript Level 2 documents: one page per picture, scaled to fit the paper with its
// aspect ratio kept and placed at the top left; the pixels ASCII85-encoded after
// run-length, fax or JPEG compression. Write only.
#pragma once

#include <cstdint>
#include <memory>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// An open document: where its "%%Pages: " line starts, where the next page (or the
// trailer) goes, and the pages written so far.
struct TIEPSDocument {
    int64_t PagesLinePos = 0;
    int64_t NextPagePos = 0;
    int32_t PageCount = 0;
};

// Writes the prolog (title, creation date, language level 2, the page count 0 and the
// bounding box of the paper). A short write sets the abort flag.
std::unique_ptr<TIEPSDocument> IEPSBeginDocument(cl::TStream* Stream, TIOParamsVals& Params, TProgressRec& Progress);
// Appends one page of Bitmap and counts it in the "%%Pages: " line. An empty picture, a
// paper side below 1, a failed JPEG page and a short write set the abort flag.
void IEPSAddPage(TIEPSDocument* State, cl::TStream* Stream, TIEBitmap* Bitmap, TProgressRec& Progress,
                 TIOParamsVals& Params);
// Writes the trailer after the last page; a null state does nothing.
void IEPSEndDocument(std::unique_ptr<TIEPSDocument> State, cl::TStream* Stream, TProgressRec& Progress);
// A one-page document. Stream errors set the abort flag.
void IEWritePSStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// The body of page PageNumber of Bitmap (ie1g or ie24RGB) on a paper of PageWidth x
// PageHeight points.
void IEPSWritePage(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, int32_t PageHeight, int32_t PageWidth,
                   int32_t PageNumber, TProgressRec& Progress);

// How a page's pixels were coded: the compression used (0 run-length, 1 fax group 4, 2 fax
// group 3 two-dimensional, 3 JPEG; PSCompression asks, what the program lacks falls back
// to run-length) and, for JPEG, the frame written.
struct TIEPSPageCoding {
    int32_t Compression = 0;
    TIEJPEGFrameInfo JPEG;
};

// The pixel data of Bitmap (ie1g or ie24RGB) ASCII85-encoded into Output: 1-bit pages
// run-length or fax coded as a whole, colour pages JPEG coded as a whole or run-length
// coded per row and channel (three sections a row). Sets BitsPerSample and SamplesPerPixel.
// Returns the bytes written, line ends included; 0 (abort flag set) when it failed.
int64_t IEPSEncodeImage(cl::TMemoryStream* Output, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
                        TIEPSPageCoding& Coding);

// The engine's entry of the format (ioPS).
void IEPSRegisterFormat();

}  // namespace ie
