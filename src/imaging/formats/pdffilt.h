// PDF 1.4 documents: each picture an image drawn on a page of its own, scaled to fit the
// page with its aspect ratio kept and placed at the top left. Write only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/core/hyieutils.h"
#include "imaging/core/iepdf.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/io/vovozidio_params.h"
#include "imaging/io/vovozidio_registry.h"

namespace ie {

// A document being built. Objects owns every numbered object (the catalog is object 1,
// the shared resource dictionary object 2); the other members point into it.
struct TIEPDFDocument {
    TIEPDFObjectList Objects;
    TIEPDFPageList Pages;
    std::vector<TIEPDFStreamObject*> Images;
    std::vector<TIEPDFStreamObject*> Contents;
    TIEPDFDictionaryObject* Resources = nullptr;  // "ProcSet" and the "XObject" dictionary of every image
    TIEPDFDictionaryObject* Catalog = nullptr;
};

// How the pixels of a page are coded (PDFCompression): 0 none, 1 run-length, 2 fax group
// 4, 3 fax group 3 two-dimensional, 4 JPEG, 5 LZW.
enum : int32_t {
    iepdfNone = 0,
    iepdfRunLength = 1,
    iepdfG4 = 2,
    iepdfG3 = 3,
    iepdfJPEG = 4,
    iepdfLZW = 5,
};

// The catalog and the resource dictionary.
std::unique_ptr<TIEPDFDocument> IEPDFBeginDocument();
// Adds a page with Bitmap: an image object, its content stream and the page. 1-bit
// pictures are coded as PDFCompression asks (JPEG becomes group 3 in the parameters);
// colour pictures as JPEG or LZW when asked, else uncompressed. Fax, JPEG or LZW coding
// the program lacks falls back to run-length (1-bit) or no compression. An empty picture,
// a paper side below 1 and a failed JPEG set the abort flag (and add nothing).
void IEPDFAddImagePage(TIEPDFDocument* State, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);
// Writes the whole file (page tree, Info dictionary from the parameters, header, objects,
// cross-reference table, trailer); a null state does nothing.
void IEPDFEndDocument(std::unique_ptr<TIEPDFDocument> State, cl::TStream* Stream, TIOParamsVals& Params);
// A one-page document. Stream errors and short writes set the abort flag.
void IEWritePDFStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// A text string of the Info dictionary: ASCII as it is, other text as UTF-16 with its byte
// order mark.
cl::String IEPDFTextString(const cl::String& Utf8);

// The engine's entry of the format (ioPDF).
void IEPDFRegisterFormat();

}  // namespace ie
