// JPEG files through the system libjpeg, 6b interface.
//
// libjpeg reports fatal errors through the error manager's error_exit, which here leaves
// with a long jump to the setjmp point of the phase function that called the library. Only
// the functions named Phase* call libjpeg; they hold no object with a destructor (all they
// use lives in the state record of their caller), and the stream callbacks catch whatever
// the stream raises before they report it to the library, so a jump out of libjpeg skips
// nothing that needs cleaning up. The C++ code between the phases turns a failed phase into
// EIEJpegException with the text of the library's message code.
//
// Pixels come and go as B, G, R through the library's extended colour space, the byte
// order of ie24RGB rows, so colour rows are decoded straight into the bitmap.
#include "imaging/formats/jpegfilt.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

#include "imaging/core/hyieutils_checked.h"
#include "imaging/core/hyieutils_exif.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/hyieutils_markers.h"
#include "imaging/core/hyieutils_numbers.h"
#include "imaging/core/hyieutils_xmp.h"
#include "imaging/core/ieicc.h"
#include "imaging/core/vovozidio_colors.h"
#include "imaging/formats/iefmtcommon.h"
#include "imaging/io/vovozidio_startup.h"

namespace ie {

namespace {

constexpr int32_t kBufferSize = 65536;
// Every 8 x 8 block of every component costs something in each scan that holds it. With
// Huffman coding that is at least one bit, so a byte of data carries at most 8 blocks. The
// arithmetic coder spends far less on a decision it predicts well (its smallest probability
// estimate makes the likely symbol cost about 1/45,000 of a bit), and each block takes at
// least one decision, so a byte carries at most about 363,000 blocks; 2^19 bounds that. The
// slack lets tiny pictures through.
constexpr int64_t kHuffmanBlocksPerByte = 8;
constexpr int64_t kArithmeticBlocksPerByte = int64_t{1} << 19;
constexpr int64_t kBlockSlack = int64_t{1} << 10;
// Progressive data with more scans than this is taken for damaged: each scan costs a pass
// over the whole picture.
constexpr int kMaxScans = 1000;
// The code that never ends the work: a decompressor given fewer rows than the image has
// can still be finished.
constexpr int kTooFewScanlines = 67;

// The texts of the message codes 0 .. 123, parameters shown as "?".
const char* const kMessages[] = {
    "Bogus message code ?",
    "Sorry, there are legal restrictions on arithmetic coding",
    "ALIGN_TYPE is wrong, please fix",
    "MAX_ALLOC_CHUNK is wrong, please fix",
    "Bogus buffer control mode",
    "Invalid component ID ? in SOS",
    "DCT coefficient out of range",
    "IDCT output block size ? not supported",
    "Bogus Huffman table definition",
    "Bogus input colorspace",
    "Bogus JPEG colorspace",
    "Bogus marker length",
    "Wrong JPEG library version: library is ?, caller expects ?",
    "Sampling factors too large for interleaved scan",
    "Invalid memory pool code ?",
    "Unsupported JPEG data precision ?",
    "Invalid progressive parameters Ss=? Se=? Ah=? Al=?",
    "Invalid progressive parameters at scan script entry ?",
    "Bogus sampling factors",
    "Invalid scan script at entry ?",
    "Improper call to JPEG library in state ?",
    "JPEG parameter struct mismatch: library thinks size is ?, caller expects ?",
    "Bogus virtual array access",
    "Buffer passed to JPEG library is too small",
    "Suspension not allowed here",
    "CCIR601 sampling not implemented yet",
    "Too many color components: ?, max ?",
    "Unsupported color conversion request",
    "Bogus DAC index ?",
    "Bogus DAC value 0x?",
    "Bogus DHT index ?",
    "Bogus DQT index ?",
    "Empty JPEG image (DNL not supported)",
    "Read from EMS failed",
    "Write to EMS failed",
    "Didn't expect more than one scan",
    "Input file read error",
    "Output file write error --- out of disk space?",
    "Fractional sampling not implemented yet",
    "Huffman code size table overflow",
    "Missing Huffman code table entry",
    "Maximum supported image dimension is ? pixels",
    "Empty input file",
    "Premature end of input file",
    "Cannot transcode due to multiple use of quantization table ?",
    "Scan script does not transmit all data",
    "Invalid color quantization mode change",
    "Not implemented yet",
    "Requested feature was omitted at compile time",
    "Backing store not supported",
    "Huffman table was not defined",
    "JPEG datastream contains no image",
    "Quantization table was not defined",
    "Not a JPEG file: starts with ?",
    "Insufficient memory (case ?)",
    "Cannot quantize more than ? color components",
    "Cannot quantize to fewer than ? colors",
    "Cannot quantize to more than ? colors",
    "Invalid JPEG file structure: two SOF markers",
    "Invalid JPEG file structure: missing SOS marker",
    "Unsupported JPEG process: SOF type ?",
    "Invalid JPEG file structure: two SOI markers",
    "Invalid JPEG file structure: SOS before SOF",
    "Failed to create temporary file ?",
    "Read failed on temporary file",
    "Seek failed on temporary file",
    "Write failed on temporary file --- out of disk space?",
    "Application transferred too few scanlines",
    "Unsupported marker type ?",
    "Virtual array controller messed up",
    "Image too wide for this implementation",
    "Read from XMS failed",
    "Write to XMS failed",
    "",
    "",
    "Caution: quantization tables are too coarse for baseline JPEG",
    "Adobe APP14 marker: version ?, flags ?, transform ?",
    "Unknown APP0 marker (not JFIF), length ?",
    "Unknown APP14 marker (not Adobe), length ?",
    "Define Arithmetic Table ?",
    "Define Huffman Table ?",
    "Define Quantization Table ?  precision ?",
    "Define Restart Interval ?",
    "Freed EMS handle ?",
    "Obtained EMS handle ?",
    "End Of Image",
    "?",
    "JFIF APP0 marker: version ?, density ?",
    "Warning: thumbnail image size does not match data length ?",
    "JFIF extension marker: type ?, length ?",
    "with ? x ? thumbnail image",
    "Miscellaneous marker ?, length ?",
    "Unexpected marker ?",
    "?",
    "Quantizing to ? = ?*?*? colors",
    "Quantizing to ? colors",
    "Selected ? colors for quantization",
    "At marker ?, recovery action ?",
    "RST?",
    "Smoothing not supported with nonstandard sampling ratios",
    "Start Of Frame ?: width=?, height=?, components=?",
    "Component ?: ?hx?v q=?",
    "Start of Image",
    "Start Of Scan: ? components",
    "Component ?: dc=? ac=?",
    "Ss=?, Se=?, Ah=?, Al=?",
    "Closed temporary file ?",
    "Opened temporary file ?",
    "JFIF extension marker: JPEG-compressed thumbnail image, length ?",
    "JFIF extension marker: palette thumbnail image, length ?",
    "JFIF extension marker: RGB thumbnail image, length ?",
    "Unrecognized component IDs ? ? ?, assuming YCbCr",
    "Freed XMS handle ?",
    "Obtained XMS handle ?",
    "Unknown Adobe color transform code ?",
    "Inconsistent progression sequence for component ? coefficient ?",
    "Corrupt JPEG data: ? extraneous bytes before marker ?",
    "Corrupt JPEG data: premature end of data segment",
    "Corrupt JPEG data: bad Huffman code",
    "Warning: unknown JFIF revision number ?",
    "Premature end of JPEG file",
    "Corrupt JPEG data: found marker ? instead of RST?",
    "Invalid SOS parameters for sequential JPEG",
    "Application transferred too many scanlines",
};
static_assert(sizeof kMessages / sizeof kMessages[0] == 124);

// ---------------------------------------------------------------------------------------
// Error manager

struct ErrorMgr {
    jpeg_error_mgr pub;  // first: the library sees only this part
    std::jmp_buf Jump;
    std::atomic<bool>* Aborting = nullptr;  // null allowed
    int32_t Warnings = 0;
    int32_t LastWarning = 0;  // the code of the latest warning
};

ErrorMgr* ErrOf(j_common_ptr C) { return reinterpret_cast<ErrorMgr*>(C->err); }

extern "C" void ErrorExit(j_common_ptr C) {
    ErrorMgr* e = ErrOf(C);
    if (e->Aborting) e->Aborting->store(true);
    if (e->pub.msg_code == kTooFewScanlines) return;
    std::longjmp(e->Jump, 1);
}

extern "C" void EmitMessage(j_common_ptr C, int Level) {
    if (Level != -1) return;
    ErrorMgr* e = ErrOf(C);
    ++e->Warnings;
    e->LastWarning = e->pub.msg_code;
    ++e->pub.num_warnings;
}

extern "C" void OutputMessage(j_common_ptr) {}
extern "C" void FormatMessage(j_common_ptr, char* Buffer) {
    if (Buffer) Buffer[0] = 0;
}

extern "C" void ResetErrorMgr(j_common_ptr C) {
    ErrorMgr* e = ErrOf(C);
    e->Warnings = 0;
    e->LastWarning = 0;
    e->pub.num_warnings = 0;
    e->pub.msg_code = 0;
}

void InitErrorMgr(ErrorMgr& E, std::atomic<bool>* Aborting) {
    jpeg_std_error(&E.pub);
    E.pub.error_exit = ErrorExit;
    E.pub.emit_message = EmitMessage;
    E.pub.output_message = OutputMessage;
    E.pub.format_message = FormatMessage;
    E.pub.reset_error_mgr = ResetErrorMgr;
    E.Aborting = Aborting;
    E.Warnings = 0;
    E.LastWarning = 0;
}

[[noreturn]] void Raise(const ErrorMgr& E) { throw EIEJpegException(IEJpegMessageText(E.pub.msg_code)); }

// ---------------------------------------------------------------------------------------
// Stream source manager

struct SourceMgr {
    jpeg_source_mgr pub;  // first
    cl::TStream* Stream;
    bool StartOfFile;
    bool EndReported;  // the premature end has been counted as a warning
    std::atomic<bool>* Aborting;
    JOCTET* Buffer;  // kBufferSize bytes from the decompressor's permanent pool
};

extern "C" void InitSource(j_decompress_ptr D) {
    auto* s = reinterpret_cast<SourceMgr*>(D->src);
    s->StartOfFile = true;
    s->EndReported = false;
}

extern "C" boolean FillInputBuffer(j_decompress_ptr D) {
    auto* s = reinterpret_cast<SourceMgr*>(D->src);
    int64_t n = 0;
    bool failed = false;
    try {
        n = s->Stream->Read(s->Buffer, kBufferSize);
    } catch (...) {
        failed = true;
    }
    if (failed) ERREXIT(D, JERR_FILE_READ);
    if (n <= 0) {
        if (s->StartOfFile && s->Aborting) s->Aborting->store(true);
        // A file that ends before its EOI marker is reported once as a warning: a progressive
        // file cut between two scans gives the library no other sign of it.
        if (!s->StartOfFile && !s->EndReported) {
            s->EndReported = true;
            WARNMS(D, JWRN_JPEG_EOF);
        }
        // An EOI marker: the library completes the picture its own way.
        s->Buffer[0] = 0xFF;
        s->Buffer[1] = JPEG_EOI;
        n = 2;
    }
    s->pub.next_input_byte = s->Buffer;
    s->pub.bytes_in_buffer = static_cast<size_t>(n);
    s->StartOfFile = false;
    return TRUE;
}

extern "C" void SkipInputData(j_decompress_ptr D, long Count) {
    if (Count < 1) return;
    auto* s = reinterpret_cast<SourceMgr*>(D->src);
    while (Count > static_cast<long>(s->pub.bytes_in_buffer)) {
        Count -= static_cast<long>(s->pub.bytes_in_buffer);
        FillInputBuffer(D);
    }
    s->pub.next_input_byte += Count;
    s->pub.bytes_in_buffer -= static_cast<size_t>(Count);
}

extern "C" void TermSource(j_decompress_ptr) {}

// Sets (or sets again) the stream source of the decompressor; runs inside a phase.
void SetSource(j_decompress_ptr D, cl::TStream* Stream, std::atomic<bool>* Aborting) {
    if (!D->src) {
        auto* s = static_cast<SourceMgr*>(
            (*D->mem->alloc_small)(reinterpret_cast<j_common_ptr>(D), JPOOL_PERMANENT, sizeof(SourceMgr)));
        s->Buffer = static_cast<JOCTET*>(
            (*D->mem->alloc_small)(reinterpret_cast<j_common_ptr>(D), JPOOL_PERMANENT, kBufferSize));
        D->src = &s->pub;
    }
    auto* s = reinterpret_cast<SourceMgr*>(D->src);
    s->pub.init_source = InitSource;
    s->pub.fill_input_buffer = FillInputBuffer;
    s->pub.skip_input_data = SkipInputData;
    s->pub.resync_to_restart = jpeg_resync_to_restart;
    s->pub.term_source = TermSource;
    s->Stream = Stream;
    s->Aborting = Aborting;
    s->StartOfFile = true;
    s->EndReported = false;
    s->pub.next_input_byte = nullptr;
    s->pub.bytes_in_buffer = 0;
}

// ---------------------------------------------------------------------------------------
// Stream destination manager

struct DestMgr {
    jpeg_destination_mgr pub;  // first
    cl::TStream* Stream;
    std::atomic<bool>* Aborting;
    JOCTET* Buffer;
};

// Writes Count bytes of the buffer; a short write or a failing stream sets the abort flag.
void WriteOut(DestMgr* M, size_t Count) {
    bool ok = false;
    try {
        ok = M->Stream->Write(M->Buffer, static_cast<int64_t>(Count)) == static_cast<int64_t>(Count);
    } catch (...) {
        ok = false;
    }
    if (!ok && M->Aborting) M->Aborting->store(true);
}

extern "C" void InitDestination(j_compress_ptr C) {
    auto* m = reinterpret_cast<DestMgr*>(C->dest);
    m->Buffer =
        static_cast<JOCTET*>((*C->mem->alloc_small)(reinterpret_cast<j_common_ptr>(C), JPOOL_IMAGE, kBufferSize));
    m->pub.next_output_byte = m->Buffer;
    m->pub.free_in_buffer = kBufferSize;
}

extern "C" boolean EmptyOutputBuffer(j_compress_ptr C) {
    auto* m = reinterpret_cast<DestMgr*>(C->dest);
    WriteOut(m, kBufferSize);
    m->pub.next_output_byte = m->Buffer;
    m->pub.free_in_buffer = kBufferSize;
    return TRUE;
}

extern "C" void TermDestination(j_compress_ptr C) {
    auto* m = reinterpret_cast<DestMgr*>(C->dest);
    const size_t used = kBufferSize - m->pub.free_in_buffer;
    if (used > 0) WriteOut(m, used);
}

// ---------------------------------------------------------------------------------------
// Decompression phases

extern "C" void CountScans(j_common_ptr C) {
    if (C->is_decompressor && reinterpret_cast<j_decompress_ptr>(C)->input_scan_number > kMaxScans) {
        C->err->msg_code = JERR_BAD_PROGRESSION;
        C->err->error_exit(C);
    }
}

struct Decoder {
    jpeg_decompress_struct D{};
    ErrorMgr E{};
    jpeg_progress_mgr Monitor{};
    bool Created = false;
    ~Decoder() {
        if (Created) jpeg_destroy_decompress(&D);
    }
};

bool PhaseCreate(Decoder* X) {
    if (setjmp(X->E.Jump)) return false;
    jpeg_create_decompress(&X->D);
    X->Created = true;
    X->Monitor.progress_monitor = CountScans;
    X->D.progress = &X->Monitor;
    return true;
}

bool PhaseHeader(Decoder* X, cl::TStream* Stream, std::atomic<bool>* Aborting, bool RequireImage, bool SaveMarkers) {
    if (setjmp(X->E.Jump)) return false;
    SetSource(&X->D, Stream, Aborting);
    if (SaveMarkers) {
        jpeg_save_markers(&X->D, JPEG_COM, 0xFFFF);
        for (int m = 0; m < 16; ++m) jpeg_save_markers(&X->D, JPEG_APP0 + m, 0xFFFF);
    }
    jpeg_read_header(&X->D, RequireImage ? TRUE : FALSE);
    return true;
}

bool PhaseSetSource(Decoder* X, cl::TStream* Stream, std::atomic<bool>* Aborting) {
    if (setjmp(X->E.Jump)) return false;
    SetSource(&X->D, Stream, Aborting);
    return true;
}

bool PhaseStart(Decoder* X) {
    if (setjmp(X->E.Jump)) return false;
    jpeg_start_decompress(&X->D);
    return true;
}

bool PhaseRead(Decoder* X, JSAMPROW Row, JDIMENSION* Got) {
    if (setjmp(X->E.Jump)) return false;
    JSAMPROW rows[1] = {Row};
    *Got = jpeg_read_scanlines(&X->D, rows, 1);
    return true;
}

bool PhaseFinish(Decoder* X) {
    if (setjmp(X->E.Jump)) return false;
    jpeg_finish_decompress(&X->D);
    return true;
}

// ---------------------------------------------------------------------------------------
// Compression phases

struct Encoder {
    jpeg_compress_struct C{};
    ErrorMgr E{};
    DestMgr Dest{};
    bool Created = false;
    ~Encoder() {
        if (Created) jpeg_destroy_compress(&C);
    }
};

bool PhaseCreateC(Encoder* X, cl::TStream* Stream, std::atomic<bool>* Aborting) {
    if (setjmp(X->E.Jump)) return false;
    jpeg_create_compress(&X->C);
    X->Created = true;
    X->Dest.pub.init_destination = InitDestination;
    X->Dest.pub.empty_output_buffer = EmptyOutputBuffer;
    X->Dest.pub.term_destination = TermDestination;
    X->Dest.Stream = Stream;
    X->Dest.Aborting = Aborting;
    X->C.dest = &X->Dest.pub;
    return true;
}

struct WriteSettings {
    int32_t Width, Height;
    uint8_t ColorSpace;
    uint16_t DpiX, DpiY;
    int32_t DCTMethod;
    bool Optimal;
    int32_t Smooth;
    int32_t Quality;
    int32_t Subsampling;
    bool Progressive;
};

bool PhaseSetupC(Encoder* X, const WriteSettings* S) {
    if (setjmp(X->E.Jump)) return false;
    jpeg_compress_struct& c = X->C;
    c.image_width = static_cast<JDIMENSION>(S->Width);
    c.image_height = static_cast<JDIMENSION>(S->Height);
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    J_COLOR_SPACE space = JCS_RGB;
    switch (S->ColorSpace) {
        case 1: space = JCS_GRAYSCALE; break;
        case 2: space = JCS_YCbCr; break;
        case 3:
            c.input_components = 4;
            c.in_color_space = JCS_CMYK;
            space = JCS_CMYK;
            break;
        case 4:
            c.input_components = 4;
            c.in_color_space = JCS_CMYK;
            space = JCS_YCCK;
            break;
        default: break;
    }
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, space);
    c.density_unit = 1;
    c.X_density = S->DpiX;
    c.Y_density = S->DpiY;
    switch (S->DCTMethod) {
        case 0: c.dct_method = JDCT_ISLOW; break;
        case 1: c.dct_method = JDCT_IFAST; break;
        case 2: c.dct_method = JDCT_FLOAT; break;
        default: break;
    }
    c.optimize_coding = S->Optimal ? TRUE : FALSE;
    c.smoothing_factor = S->Smooth;
    jpeg_set_quality(&c, S->Quality, TRUE);
    if (space == JCS_YCbCr) {
        switch (S->Subsampling) {
            case 0:
                c.comp_info[0].h_samp_factor = 2;
                c.comp_info[0].v_samp_factor = 1;
                break;
            case 1:
                c.comp_info[0].h_samp_factor = 2;
                c.comp_info[0].v_samp_factor = 2;
                break;
            case 2:
                c.comp_info[0].h_samp_factor = 1;
                c.comp_info[0].v_samp_factor = 1;
                break;
            default: break;
        }
        for (int i = 1; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    }
    if (space == JCS_CMYK) c.write_JFIF_header = TRUE;
    if (S->Progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    return true;
}

bool PhaseMarker(Encoder* X, int Code, const JOCTET* Data, unsigned Length) {
    if (setjmp(X->E.Jump)) return false;
    jpeg_write_marker(&X->C, Code, Data, Length);
    return true;
}

bool PhaseWrite(Encoder* X, JSAMPROW Row) {
    if (setjmp(X->E.Jump)) return false;
    JSAMPROW rows[1] = {Row};
    jpeg_write_scanlines(&X->C, rows, 1);
    return true;
}

bool PhaseFinishC(Encoder* X) {
    if (setjmp(X->E.Jump)) return false;
    jpeg_finish_compress(&X->C);
    return true;
}

// ---------------------------------------------------------------------------------------
// Marker walks

uint16_t ReadBE16(TIEByteReader& R, bool& Ok) {
    const int a = R.Get(), b = R.Get();
    Ok = a >= 0 && b >= 0;
    return Ok ? static_cast<uint16_t>((a << 8) | b) : 0;
}

// Skips Count bytes; False at the end of the data.
bool SkipBytes(TIEByteReader& R, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i)
        if (R.Get() < 0) return false;
    return true;
}

}  // namespace

const char* IEJpegMessageText(int32_t Code) {
    if (Code < 0 || Code >= static_cast<int32_t>(sizeof kMessages / sizeof kMessages[0])) return "Corrupted";
    return kMessages[Code];
}

int64_t IEFindJPEGStart(cl::TStream* Stream, bool Search) {
    const int64_t p = Stream->GetPosition();
    uint8_t head[152];
    const int64_t want = Search ? 152 : 3;
    const int64_t n = IEReadUpTo(Stream, head, want);
    Stream->Seek(p, cl::soBeginning);
    for (int64_t i = 0; i + 3 <= n; ++i) {
        if (head[i] == 0xFF && head[i + 1] == 0xD8 && head[i + 2] == 0xFF) return Search ? p + i : 0;
        if (!Search) break;
    }
    return -1;
}

void IEReadJPEGICCProfile(cl::TStream* Stream, TIOParamsVals& Params) {
    const int64_t p = Stream->GetPosition();
    TIEByteReader r(Stream);
    // Chunks by sequence number (1-based); an empty slot is a chunk not seen.
    std::vector<std::vector<uint8_t>> chunks;
    std::vector<bool> stored;
    int64_t total = 0;
    int32_t seen = 0;
    std::vector<uint8_t> seg;
    bool done = false;
    int c = r.Get();
    while (!done && c >= 0) {
        if (c != 0xFF) {
            c = r.Get();
            continue;
        }
        const int m = r.Get();
        if (m < 0) break;
        if (m == 0xFF) {
            // A fill byte: the next byte may be the marker.
            c = m;
            continue;
        }
        if (m <= 191 || (m >= 208 && m <= 216)) {
            c = r.Get();
            continue;
        }
        const bool segment = m == 196 || m == 200 || m == 204 || (m >= 218 && m <= 254);
        if (!segment) break;  // a frame marker or EOI: the profile chunks come before
        bool ok = false;
        const uint16_t len = ReadBE16(r, ok);
        if (!ok || len < 2) break;
        if (m == 0xE2) {
            seg.resize(len - 2u);
            for (auto& b : seg) {
                const int v = r.Get();
                if (v < 0) {
                    ok = false;
                    break;
                }
                b = static_cast<uint8_t>(v);
            }
            if (!ok) break;
            static const char kTag[] = "ICC_PROFILE";
            // A chunk is the 12-byte tag, its sequence and count bytes, then the payload;
            // chunks numbered 0 or beyond their count are not part of a profile.
            if (len >= 16 && std::memcmp(seg.data(), kTag, 12) == 0) {
                const int32_t s = seg[12], count = seg[13];
                if (s >= 1 && s <= count) {
                    if (static_cast<int32_t>(chunks.size()) < s) {
                        chunks.resize(static_cast<size_t>(s));
                        stored.resize(static_cast<size_t>(s), false);
                    }
                    if (stored[static_cast<size_t>(s - 1)])
                        total -= static_cast<int64_t>(chunks[s - 1].size());
                    else
                        ++seen;
                    chunks[static_cast<size_t>(s - 1)].assign(seg.begin() + 14, seg.end());
                    stored[static_cast<size_t>(s - 1)] = true;
                    total += len - 16;
                    if (seen == count) done = true;
                }
            }
        } else if (!SkipBytes(r, len - 2)) {
            break;
        }
        c = r.Get();
    }
    if (total > 0) {
        std::vector<uint8_t> joined;
        joined.reserve(static_cast<size_t>(total));
        for (const auto& ch : chunks) joined.insert(joined.end(), ch.begin(), ch.end());
        Params.GetInputICCProfile()->LoadFromBuffer(joined.data(), static_cast<int32_t>(joined.size()));
    }
    Stream->Seek(p, cl::soBeginning);
}

int32_t IEGetJPEGLength(cl::TStream* Stream) {
    const int64_t p = Stream->GetPosition();
    TIEByteReader r(Stream);
    int64_t pos = 0;  // bytes taken from the reader
    auto get = [&]() {
        const int v = r.Get();
        if (v >= 0) ++pos;
        return v;
    };
    for (;;) {
        int c = get();
        if (c < 0) break;
        if (c != 0xFF) continue;
        c = get();
        if (c < 0) break;
        if (c == JPEG_EOI) break;
        if ((c >= 192 && c <= 207) || (c >= 218 && c <= 254)) {
            const int a = get(), b = get();
            if (a < 0 || b < 0) break;
            const int32_t len = (a << 8) | b;
            bool end = false;
            for (int32_t i = 0; i < len - 2; ++i)
                if (get() < 0) {
                    end = true;
                    break;
                }
            if (end) break;
        }
    }
    Stream->Seek(p, cl::soBeginning);
    return static_cast<int32_t>(std::min<int64_t>(pos, INT32_MAX));
}

namespace {

// Everything the reader makes, released when it returns.
struct ReadState {
    Decoder X;
    std::vector<uint8_t> Scratch;
};

// True when Bytes bytes of data can hold the blocks of every component the header claims,
// at PerByte blocks a byte.
bool BlocksJustified(const jpeg_decompress_struct& D, int64_t Bytes, int64_t PerByte) {
    int64_t blocks = 0;
    for (int i = 0; i < D.num_components; ++i)
        blocks += static_cast<int64_t>(D.comp_info[i].width_in_blocks) * D.comp_info[i].height_in_blocks;
    const auto limit = IECheckedMul(std::max<int64_t>(Bytes, 0), PerByte);
    return !limit || blocks <= *limit + kBlockSlack;
}

}  // namespace

int32_t IEReadJPEGStream(cl::TStream* Stream, cl::TStream* TablesStream, TIEBitmap* Bitmap, bool NativePixelFormat,
                         int32_t MaxRows, bool ReadICC, bool DropAppliedICC, bool InvertCMYK, bool ReadMetadata,
                         bool KeepYCbCr, bool ParamsOnly, TProgressRec& CallerProgress, TIOParamsVals& Params) {
    // A flag of our own when the caller gives none: the steps below test it.
    std::atomic<bool> ownFlag{false};
    TProgressRec Progress = CallerProgress;
    if (!Progress.Aborting) Progress.Aborting = &ownFlag;
    // The EXIF thumbnail in place of the image, when asked for and present.
    if (Params.JPEGGetExifThumbnail) {
        if (TIEBitmap* t = Params.GetEXIFThumbnail()) t->FreeImage(true);
        Params.SetGetThumbnail(false);
        const int32_t w = Params.Width, h = Params.Height;
        const int64_t start = Stream->GetPosition();
        IEReadJPEGStream(Stream, TablesStream, Bitmap, Params.NativePixelFormat, -1, false, DropAppliedICC, InvertCMYK,
                         true, KeepYCbCr, true, Progress, Params);
        Stream->Seek(start, cl::soBeginning);
        Params.SetGetThumbnail(true);
        TIEBitmap* thumb = Params.GetEXIFThumbnail();
        if (thumb && !thumb->IsEmpty()) {
            Bitmap->Assign(thumb);
            return 0;
        }
        Params.Width = w;
        Params.Height = h;
        Params.OriginalWidth = w;
        Params.OriginalHeight = h;
    }
    Params.JPEGWarningCount = 0;
    Params.JPEGWarningCode = 0;

    const int64_t start = IEFindJPEGStart(Stream, true);
    if (start < 0) {
        Progress.Abort();
        return 0;
    }
    Stream->Seek(start, cl::soBeginning);
    if (ReadICC) IEReadJPEGICCProfile(Stream, Params);
    const int64_t dataBytes = IEBytesLeft(Stream);
    const bool useICC = Params.InputICCProfile() != nullptr && IEICCConversionEnabled;

    ReadState st;
    Decoder& x = st.X;
    jpeg_decompress_struct& d = x.D;
    InitErrorMgr(x.E, Progress.Aborting);
    d.err = &x.E.pub;
    int32_t rows = 0;
    bool started = false;
    J_COLOR_SPACE out = JCS_UNKNOWN;
    bool tablesFailed = false;

    if (!PhaseCreate(&x)) {
        Progress.Abort();
        return 0;
    }
    // Everything below ends in the clean-up after the block.
    do {
        if (Progress.IsAborting()) break;
        if (TablesStream && TablesStream != Stream) {
            if (!PhaseHeader(&x, TablesStream, Progress.Aborting, false, false)) {
                tablesFailed = true;
                break;
            }
        }
        if (!PhaseSetSource(&x, Stream, Progress.Aborting) || Progress.IsAborting()) break;
        if (!PhaseHeader(&x, Stream, Progress.Aborting, true, true) || Progress.IsAborting()) {
            Progress.Abort();
            break;
        }

        Params.SetImageCount(1);
        Params.BitsPerSample = 8;
        out = d.jpeg_color_space;
        switch (d.jpeg_color_space) {
            case JCS_GRAYSCALE:
                Params.JPEGColorSpace = 1;
                Params.SamplesPerPixel = 1;
                break;
            case JCS_RGB:
                Params.JPEGColorSpace = 0;
                Params.SamplesPerPixel = 3;
                // Kept samples come in file order, like kept YCbCr ones: the caller that
                // asks for them puts the three channels in place itself.
                out = KeepYCbCr ? JCS_RGB : JCS_EXT_BGR;
                break;
            case JCS_YCbCr:
                Params.JPEGColorSpace = 2;
                Params.SamplesPerPixel = 3;
                out = KeepYCbCr ? JCS_YCbCr : JCS_EXT_BGR;
                break;
            case JCS_CMYK:
                Params.JPEGColorSpace = 3;
                Params.SamplesPerPixel = 4;
                break;
            case JCS_YCCK:
                Params.JPEGColorSpace = 4;
                Params.SamplesPerPixel = 4;
                out = JCS_CMYK;
                break;
            default: break;
        }
        d.out_color_space = out;
        switch (Params.JPEGDCTMethod) {
            case 0: d.dct_method = JDCT_ISLOW; break;
            case 1: d.dct_method = JDCT_IFAST; break;
            case 2: d.dct_method = JDCT_FLOAT; break;
            default: break;
        }
        if (d.density_unit == 0 || d.density_unit == 1) {
            Params.SetDpiX(d.X_density);
            Params.SetDpiY(d.Y_density);
        } else if (d.density_unit == 2) {
            Params.SetDpiX(static_cast<int32_t>(d.X_density * 2.54));
            Params.SetDpiY(static_cast<int32_t>(d.Y_density * 2.54));
        }
        Params.FreeColorMap();
        Params.JPEGProgressive = jpeg_has_multiple_scans(&d) != 0;
        Params.OriginalWidth = static_cast<int32_t>(d.image_width);
        Params.OriginalHeight = static_cast<int32_t>(d.image_height);

        d.scale_num = 1;
        switch (Params.JPEGScale) {
            case 1: d.scale_denom = 1; break;
            case 2: d.scale_denom = 2; break;
            case 3: d.scale_denom = 4; break;
            case 4: d.scale_denom = 8; break;
            case 0:
                if (Params.Width > 0 && Params.Height > 0) {
                    int n = 3;
                    while (n > 0 && !(static_cast<int64_t>(d.image_width >> n) >= Params.Width &&
                                      static_cast<int64_t>(d.image_height >> n) >= Params.Height))
                        --n;
                    d.scale_denom = 1u << n;
                } else {
                    d.scale_denom = 1;
                }
                break;
            default: break;
        }
        Params.JPEGScaleUsed = static_cast<int32_t>(d.scale_denom);

        if (ParamsOnly) {
            Params.Width = static_cast<int32_t>(d.image_width);
            Params.Height = static_cast<int32_t>(d.image_height);
            break;
        }
        // A colour space that none of the layouts takes is not decoded.
        if (out == JCS_UNKNOWN) {
            Progress.Abort();
            break;
        }
        // No allocation beyond what the data can hold.
        // The bytes behind the headers read so far, where the coded blocks are.
        const int64_t headerBytes = Stream->GetPosition() - static_cast<int64_t>(d.src->bytes_in_buffer) - start;
        const int64_t codedBytes = dataBytes - std::max<int64_t>(headerBytes, 0);
        if (!BlocksJustified(d, codedBytes, d.arith_code ? kArithmeticBlocksPerByte : kHuffmanBlocksPerByte)) {
            Progress.Abort();
            break;
        }
        if (!PhaseStart(&x)) {
            Progress.Abort();
            break;
        }
        started = true;
        const int32_t ow = static_cast<int32_t>(d.output_width), oh = static_cast<int32_t>(d.output_height);
        Params.Width = ow;
        Params.Height = oh;
        st.Scratch.assign(static_cast<size_t>(ow) * 4, 0);
        TIEPixelFormat format = ie24RGB;
        if (NativePixelFormat) {
            if (out == JCS_GRAYSCALE) format = ie8g;
            if (out == JCS_CMYK) format = ieCMYK;
        }
        if (!Bitmap->Allocate(ow, oh, format)) {
            Progress.Abort();
            break;
        }
        if (MaxRows < 0) MaxRows = Bitmap->GetHeight();
        Progress.Per = oh > 0 ? 100.0 / oh : 0;
        Progress.Val = 0;
        int32_t last = -1;
        uint8_t* scratch = st.Scratch.data();
        try {
            while (d.output_scanline < d.output_height && rows < MaxRows) {
                auto* row = static_cast<uint8_t*>(Bitmap->GetScanline(rows));
                JDIMENSION got = 0;
                bool ok = true;
                if (out == JCS_GRAYSCALE) {
                    if (format == ie8g) {
                        ok = PhaseRead(&x, row, &got);
                    } else {
                        ok = PhaseRead(&x, scratch, &got);
                        if (ok)
                            for (int32_t i = ow - 1; i >= 0; --i)
                                row[i * 3] = row[i * 3 + 1] = row[i * 3 + 2] = scratch[i];
                    }
                } else if (out == JCS_EXT_BGR) {
                    if (useICC) {
                        ok = PhaseRead(&x, scratch, &got);
                        if (ok) IEConvertColorScanline(scratch, iecsBGR, row, &Params, ow, iecdBGR);
                    } else {
                        ok = PhaseRead(&x, row, &got);
                    }
                } else if (out == JCS_YCbCr || out == JCS_RGB) {
                    ok = PhaseRead(&x, row, &got);
                } else {  // CMYK
                    if (format == ie24RGB) {
                        ok = PhaseRead(&x, scratch, &got);
                        if (ok && !Progress.IsAborting()) {
                            if (InvertCMYK)
                                for (int32_t i = 0; i < ow * 4; ++i)
                                    scratch[i] = static_cast<uint8_t>(255 - scratch[i]);
                            IEConvertColorScanline(scratch, iecsCMYKInv, row, &Params, ow, iecdBGR);
                        }
                    } else {
                        ok = PhaseRead(&x, row, &got);
                    }
                }
                if (!ok) {
                    Progress.Abort();
                    break;
                }
                if (got == 0) {
                    // A source that gives no more rows.
                    Progress.Abort();
                    break;
                }
                rows += static_cast<int32_t>(got);
                Progress.Val += static_cast<int32_t>(got);
                IEReportRows(Progress, Progress.Val, last);
                if (Progress.IsAborting()) break;
            }
        } catch (...) {
            Progress.Abort();
        }
        if (rows < MaxRows) Progress.Abort();
    } while (false);

    // The kept markers, in file order, without the first APP0 (the JFIF header).
    TIEMarkerList* markers = Params.JPEGMarkers();
    markers->Clear();
    bool firstApp0 = true;
    for (jpeg_saved_marker_ptr m = d.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 && firstApp0) {
            firstApp0 = false;
            continue;
        }
        markers->AddMarker(m->marker, m->data, static_cast<int32_t>(m->data_length));
    }
    if (DropAppliedICC && useICC && Params.InputICCProfile()->HasTransform()) {
        Params.InputICCProfile()->FreeTransform();
        for (int32_t i = markers->GetCount() - 1; i >= 0; --i)
            if (markers->GetMarkerType(i) == JPEG_APP0 + 2) markers->DeleteMarker(i);
    }
    if (started && !Progress.IsAborting() && !ParamsOnly) {
        x.E.Aborting = nullptr;
        PhaseFinish(&x);
    }
    if (x.E.Warnings > 0) {
        Params.JPEGWarningCount = x.E.Warnings;
        Params.JPEGWarningCode = x.E.LastWarning;
    }
    const int32_t errorCode = x.E.pub.msg_code;
    // The decompressor and the buffers go here, before the metadata.
    jpeg_destroy_decompress(&d);
    x.Created = false;
    st.Scratch.clear();
    if (tablesFailed) throw EIEJpegException(IEJpegMessageText(errorCode));

    if (ReadMetadata) {
        const int32_t n = markers->GetCount();
        for (int32_t i = 0; i < n; ++i)
            if (markers->GetMarkerType(i) == JPEG_APP0 + 13 &&
                Params.IPTC()->LoadFromBuffer(markers->GetMarkerData(i), markers->GetMarkerLength(i)))
                break;
        for (int32_t i = 0; i < n; ++i) {
            // Loading the EXIF fields sets the resolution too: the JFIF one decides below.
            const int32_t dpiX = Params.DpiX, dpiY = Params.DpiY;
            if (markers->GetMarkerType(i) != JPEG_APP0 + 1 ||
                !IELoadEXIFFromAPP1(markers->GetMarkerData(i), markers->GetMarkerLength(i), Params))
                continue;
            if (dpiX == 1 && dpiY == 1) {
                const double f = Params.EXIFResolutionUnit == 3 ? 2.54 : 1.0;
                Params.SetDpiX(IETruncToInt32(Params.EXIFXResolution * f));
                Params.SetDpiY(IETruncToInt32(Params.EXIFYResolution * f));
            } else {
                Params.SetDpiX(dpiX);
                Params.SetDpiY(dpiY);
            }
            if (Params.JPEGApplyOrientation && !ParamsOnly) {
                IEApplyEXIFOrientation(Bitmap, Params.EXIFOrientation);
                Params.SetEXIFOrientation(1);
            }
            break;
        }
        for (int32_t i = 0; i < n; ++i)
            if (markers->GetMarkerType(i) == JPEG_APP0 + 1 &&
                IEFindXMPPacket(markers->GetMarkerData(i), markers->GetMarkerLength(i)) != nullptr) {
                IELoadXMPFromAPP1(markers->GetMarkerData(i), markers->GetMarkerLength(i), Params);
                break;
            }
    }
    return rows;
}

void IEWriteJPEGStream(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& CallerProgress) {
    std::atomic<bool> ownFlag{false};
    TProgressRec Progress = CallerProgress;
    if (!Progress.Aborting) Progress.Aborting = &ownFlag;
    std::unique_ptr<TIEBitmap> holder;
    TIEBitmap* src = IEWorkingCopy(Bitmap, ie24RGB, holder);
    if (!src) {
        Progress.Abort();
        return;
    }
    const int32_t w = src->GetWidth(), h = src->GetHeight();
    if (w <= 0 || h <= 0) {
        Progress.Abort();
        return;
    }
    auto x = std::make_unique<Encoder>();
    InitErrorMgr(x->E, Progress.Aborting);
    x->C.err = &x->E.pub;
    if (!PhaseCreateC(x.get(), Stream, Progress.Aborting)) Raise(x->E);
    if (Progress.IsAborting()) return;

    WriteSettings s{};
    s.Width = w;
    s.Height = h;
    s.ColorSpace = Params.JPEGColorSpace;
    auto density = [](int32_t Dpi, int32_t Default) {
        return static_cast<uint16_t>(std::clamp(Dpi != 0 ? Dpi : Default, 1, 65535));
    };
    s.DpiX = density(Params.DpiX, IEDefaultDpiX);
    s.DpiY = density(Params.DpiY, IEDefaultDpiY);
    s.DCTMethod = Params.JPEGDCTMethod;
    s.Optimal = Params.JPEGOptimalHuffman;
    s.Smooth = std::clamp(Params.JPEGSmooth, 0, 100);
    s.Quality = Params.JPEGQuality;
    s.Subsampling = Params.JPEGChromaSubsampling;
    s.Progressive = Params.JPEGProgressive;
    if (!PhaseSetupC(x.get(), &s)) Raise(x->E);

    TIEMarkerList* markers = Params.JPEGMarkers();
    markers->SortMarkers();
    for (int32_t i = 0; i < markers->GetCount(); ++i) {
        const uint8_t code = markers->GetMarkerType(i);
        if (code == JPEG_APP0 + 14) continue;  // the library writes its own Adobe marker
        if (!PhaseMarker(x.get(), code, markers->GetMarkerData(i), static_cast<unsigned>(markers->GetMarkerLength(i))))
            Raise(x->E);
    }

    const bool cmyk = s.ColorSpace == 3 || s.ColorSpace == 4;
    std::vector<uint8_t> scratch(cmyk ? static_cast<size_t>(w) * 4 : 0);
    Progress.Per = 100.0 / h;
    Progress.Val = 0;
    int32_t last = -1;
    while (x->C.next_scanline < x->C.image_height && !Progress.IsAborting()) {
        const int32_t y = static_cast<int32_t>(x->C.next_scanline);
        auto* row = static_cast<uint8_t*>(src->GetScanline(y));
        if (cmyk) IEConvertColorScanline(row, iecsBGR, scratch.data(), nullptr, w, iecdCMYKInv);
        if (!PhaseWrite(x.get(), cmyk ? scratch.data() : row)) Raise(x->E);
        ++Progress.Val;
        IEReportRows(Progress, Progress.Val, last);
    }
    if (!Progress.IsAborting() && !PhaseFinishC(x.get())) Raise(x->E);
}

namespace {

bool ProbeJPEG(cl::TStream* Stream) { return IEFindJPEGStart(Stream, true) >= 0; }

void ReadJPEG(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
              TIEReadContext& Context) {
    IEReadJPEGStream(Stream, nullptr, Bitmap, Params.NativePixelFormat, -1, true, true, false, true, false,
                     Context.PreviewOnly, Progress, Params);
    Context.ImageCount = 1;
}

void WriteJPEG(cl::TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress,
               TIEWriteContext&) {
    IEWriteJPEGStream(Stream, Bitmap, Params, Progress);
}

}  // namespace

void IEJPEGRegisterFormat() {
    TIEFormatOps ops;
    ops.Probe = &ProbeJPEG;
    ops.Read = &ReadJPEG;
    ops.Write = &WriteJPEG;
    IESetFormatOps(ioJPEG, ops);
}

}  // namespace ie
