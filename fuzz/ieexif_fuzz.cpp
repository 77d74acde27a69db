// The maker-note reader on any bytes, in both byte orders of the enclosing file: what it
// reads writes back and reads again to the same entries; the TIFF header search; and the
// same bytes as an EXIF APP1 payload read into parameters, whose block built again reads
// back to the same fields.
//
// Input: one byte (bit 0: the file is little-endian), then the note.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "imaging/core/hyieutils_exif.h"
#include "imaging/io/vovozidio_params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 0x7FFFFFFF) return 0;
    const bool little = data[0] & 1;
    const std::string note(reinterpret_cast<const char*>(data + 1), size - 1);
    cl::TStringStream s(note);
    ie::TIETagsHandler h;
    h.ReadFromStream(&s, static_cast<int32_t>(note.size()), little);
    for (int32_t i = 0; i < h.GetEntryCount(); ++i) (void)h.GetEntryData(i);
    cl::TMemoryStream out;
    const int32_t written = h.WriteToStream(&out);
    if (written < 0 || written != out.GetSize()) __builtin_trap();
    if (written > 0 && h.GetEntryCount() > 0) {
        out.SetPosition(0);
        ie::TIETagsHandler again;
        // Written little-endian unless the maker's layout says otherwise.
        again.ReadFromStream(&out, written, true);
        if (again.GetEntryCount() != h.GetEntryCount()) __builtin_trap();
        for (int32_t i = 0; i < h.GetEntryCount(); ++i)
            if (again.GetEntry(i).Tag != h.GetEntry(i).Tag || again.GetEntryData(i) != h.GetEntryData(i))
                __builtin_trap();
    }
    ie::TIETagsHandler copy;
    copy.Assign(&h);
    (void)ie::IEIsEXIFBlock(data + 1, static_cast<int32_t>(size - 1));
    s.SetPosition(0);
    const int64_t at = ie::IEFindTIFFHeader(&s);
    if (at < -1 || at >= static_cast<int64_t>(note.size()) || s.GetPosition() != 0) __builtin_trap();
    // As an APP1 payload, with the EXIF header put in front.
    std::string app1("Exif\0\0", 6);
    app1 += note;
    ie::TIOParamsVals params(nullptr);
    if (!ie::IELoadEXIFFromAPP1(app1.data(), static_cast<int32_t>(app1.size()), params)) __builtin_trap();
    void* block = nullptr;
    int32_t length = 0;
    if (ie::IEMakeEXIFBlock(params, block, length, true)) {
        ie::TIOParamsVals back(nullptr);
        if (!ie::IELoadEXIFFromAPP1(block, length, back)) __builtin_trap();
        if (back.EXIFMake != params.EXIFMake || back.EXIFTags() != params.EXIFTags() ||
            back.GPSLatitudeRef != params.GPSLatitudeRef)
            __builtin_trap();
        std::free(block);
    }
    return 0;
}
