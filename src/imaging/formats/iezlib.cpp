// Streams in the zlib format over another stream, and the one-shot inflater.
#include "imaging/formats/iezlib.h"

#include <algorithm>
#include <cstring>

namespace ie {

const int32_t IEZLevels[4] = {0, 1, -1, 9};

namespace {

constexpr const char* kInvalidOperation = "Invalid ZStream operation!";
constexpr int32_t kSkipChunk = 8192;

}  // namespace

const char* IEZErrorText(int32_t Code) {
    static const char* const kTexts[10] = {"need dictionary",
                                           "stream end",
                                           "",
                                           "file error",
                                           "stream error",
                                           "data error",
                                           "insufficient memory",
                                           "buffer error",
                                           "incompatible version",
                                           ""};
    const int32_t i = 2 - Code;
    return i >= 0 && i < 10 ? kTexts[i] : "";
}

int32_t IEZDeflateInit(z_stream& Strm, int32_t Level) {
    return deflateInit_(&Strm, Level, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
}

int32_t IEZInflateInit(z_stream& Strm) { return inflateInit_(&Strm, ZLIB_VERSION, static_cast<int>(sizeof(z_stream))); }

int32_t IEZCompressCheck(int32_t Code) {
    if (Code < 0) throw EZCompressionError(IEZErrorText(Code));
    return Code;
}

int32_t IEZDecompressCheck(int32_t Code) {
    if (Code < 0 || Code == Z_NEED_DICT) throw EZDecompressionError(IEZErrorText(Code));
    return Code;
}

// ---------------------------------------------------------------------------------------

TCustomZStream::TCustomZStream(cl::TStream* Strm) : FStrm(Strm) {
    FStrmPos = FStrm->GetPosition();
    FStartPos = FStrmPos;
}

void TCustomZStream::DoProgress() {
    if (OnProgress) OnProgress(this);
}

void TCustomZStream::RestorePosition() {
    if (FStrm->GetPosition() != FStrmPos) FStrm->Seek(FStrmPos, cl::soBeginning);
}

// ---------------------------------------------------------------------------------------

TZCompressionStream::TZCompressionStream(cl::TStream* Dest, TZCompressionLevel CompressionLevel)
    : TCustomZStream(Dest) {
    FZRec.next_out = FBuffer;
    FZRec.avail_out = BufferSize;
    const int32_t level = IEZLevels[CompressionLevel <= zlevBest ? CompressionLevel : zlevDefault];
    IEZCompressCheck(IEZDeflateInit(FZRec, level));
}

TZCompressionStream::~TZCompressionStream() {
    if (!FFinished) {
        try {
            Finish();
        } catch (...) {
            // A destructor cannot report; owners that care call Finish() themselves.
        }
    }
    if (!FEnded) deflateEnd(&FZRec);
}

int64_t TZCompressionStream::Read(void*, int64_t) { throw EZCompressionError(kInvalidOperation); }

void TZCompressionStream::FlushBuffer(int64_t Count) {
    FStrm->WriteBuffer(FBuffer, Count);
    FZRec.next_out = FBuffer;
    FZRec.avail_out = BufferSize;
    FStrmPos = FStrm->GetPosition();
}

int64_t TZCompressionStream::Write(const void* Buffer, int64_t Count) {
    if (FFinished) throw EZCompressionError(kInvalidOperation);
    if (Count <= 0) return 0;
    RestorePosition();
    const auto* p = static_cast<const uint8_t*>(Buffer);
    int64_t left = Count;
    while (left > 0) {
        // zlib counts in 32 bits: hand it the data in pieces.
        const uInt piece = static_cast<uInt>(std::min<int64_t>(left, 1 << 30));
        FZRec.next_in = const_cast<Bytef*>(p);
        FZRec.avail_in = piece;
        while (FZRec.avail_in > 0) {
            IEZCompressCheck(deflate(&FZRec, Z_NO_FLUSH));
            if (FZRec.avail_out == 0) {
                FlushBuffer(BufferSize);
                DoProgress();
            }
        }
        p += piece;
        left -= piece;
    }
    FZRec.next_in = nullptr;
    return Count;
}

int64_t TZCompressionStream::Seek(int64_t, cl::TSeekOrigin) { return static_cast<int64_t>(FZRec.total_in); }

void TZCompressionStream::Finish() {
    if (FFinished) return;
    FFinished = true;
    struct EndGuard {
        TZCompressionStream* S;
        ~EndGuard() {
            deflateEnd(&S->FZRec);
            S->FEnded = true;
        }
    } guard{this};
    FZRec.next_in = nullptr;
    FZRec.avail_in = 0;
    RestorePosition();
    while (IEZCompressCheck(deflate(&FZRec, Z_FINISH)) != Z_STREAM_END) FlushBuffer(BufferSize - FZRec.avail_out);
    if (FZRec.avail_out < static_cast<uInt>(BufferSize)) FlushBuffer(BufferSize - FZRec.avail_out);
}

// ---------------------------------------------------------------------------------------

TZDecompressionStream::TZDecompressionStream(cl::TStream* Source) : TCustomZStream(Source) {
    FZRec.next_in = FBuffer;
    FZRec.avail_in = 0;
    IEZDecompressCheck(IEZInflateInit(FZRec));
}

TZDecompressionStream::~TZDecompressionStream() { inflateEnd(&FZRec); }

int64_t TZDecompressionStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    // zlib counts in 32 bits.
    Count = std::min<int64_t>(Count, int64_t{1} << 30);
    FZRec.next_out = static_cast<Bytef*>(Buffer);
    FZRec.avail_out = static_cast<uInt>(Count);
    RestorePosition();
    int32_t code = Z_OK;
    while (FZRec.avail_out > 0 && code != Z_STREAM_END) {
        if (FZRec.avail_in == 0) {
            const int64_t got = FStrm->Read(FBuffer, BufferSize);
            if (got <= 0) return Count - FZRec.avail_out;
            FZRec.next_in = FBuffer;
            FZRec.avail_in = static_cast<uInt>(got);
            FStrmPos = FStrm->GetPosition();
            DoProgress();
        }
        code = IEZDecompressCheck(inflate(&FZRec, Z_NO_FLUSH));
    }
    if (code == Z_STREAM_END && FZRec.avail_in > 0) {
        // Leave the source on the first byte after the zlib data.
        FStrm->Seek(-static_cast<int64_t>(FZRec.avail_in), cl::soCurrent);
        FStrmPos = FStrm->GetPosition();
        FZRec.avail_in = 0;
    }
    return Count - FZRec.avail_out;
}

int64_t TZDecompressionStream::Write(const void*, int64_t) { throw EZDecompressionError(kInvalidOperation); }

int64_t TZDecompressionStream::Seek(int64_t Offset, cl::TSeekOrigin Origin) {
    const int64_t current = static_cast<int64_t>(FZRec.total_out);
    if (Offset == 0 && Origin == cl::soBeginning) {
        IEZDecompressCheck(inflateReset(&FZRec));
        FZRec.next_in = FBuffer;
        FZRec.avail_in = 0;
        FStrm->Seek(FStartPos, cl::soBeginning);
        FStrmPos = FStartPos;
    } else if ((Origin == cl::soCurrent && Offset >= 0) || (Origin == cl::soBeginning && Offset >= current)) {
        int64_t distance = Origin == cl::soCurrent ? Offset : Offset - current;
        uint8_t scratch[kSkipChunk];
        while (distance > 0) {
            const int64_t n = std::min<int64_t>(distance, kSkipChunk);
            ReadBuffer(scratch, n);
            distance -= n;
        }
    } else if (Offset == 0 && Origin == cl::soEnd) {
        uint8_t scratch[kSkipChunk];
        while (Read(scratch, kSkipChunk) > 0) {
        }
    } else {
        throw EZDecompressionError(kInvalidOperation);
    }
    return static_cast<int64_t>(FZRec.total_out);
}

// ---------------------------------------------------------------------------------------

void IEZDecompressBuffer(const void* InBuf, int64_t InSize, std::vector<uint8_t>& OutBuf, int64_t& OutSize,
                         int64_t OutEstimate, int64_t MaxOutSize) {
    OutBuf.clear();
    OutSize = 0;
    if (InSize < 0 || InSize > (int64_t{1} << 31) - 1) throw EZDecompressionError(IEZErrorText(Z_BUF_ERROR));
    const int64_t step = std::max<int64_t>((InSize + 255) / 256 * 256, 256);
    int64_t size = OutEstimate > 0 ? OutEstimate : step;
    size = std::min(size, MaxOutSize);
    z_stream rec{};
    rec.next_in = static_cast<Bytef*>(const_cast<void*>(InBuf));
    rec.avail_in = static_cast<uInt>(InSize);
    try {
        OutBuf.resize(static_cast<size_t>(size));
        rec.next_out = OutBuf.data();
        rec.avail_out = static_cast<uInt>(size);
        IEZDecompressCheck(IEZInflateInit(rec));
        try {
            while (IEZDecompressCheck(inflate(&rec, Z_NO_FLUSH)) != Z_STREAM_END) {
                if (rec.avail_out > 0) continue;  // more input was taken; go on
                // The output is full: grow by half again (at least one step), up to the limit.
                const int64_t grown = std::min(size + std::max(size / 2, step), MaxOutSize);
                if (grown <= size || grown > (int64_t{1} << 32) - 1)
                    throw EZDecompressionError(IEZErrorText(Z_MEM_ERROR));
                OutBuf.resize(static_cast<size_t>(grown));
                rec.next_out = OutBuf.data() + rec.total_out;
                rec.avail_out = static_cast<uInt>(grown - static_cast<int64_t>(rec.total_out));
                size = grown;
            }
        } catch (...) {
            inflateEnd(&rec);
            throw;
        }
        IEZDecompressCheck(inflateEnd(&rec));
    } catch (...) {
        OutBuf.clear();
        OutBuf.shrink_to_fit();
        OutSize = 0;
        throw;
    }
    OutSize = static_cast<int64_t>(rec.total_out);
    OutBuf.resize(static_cast<size_t>(OutSize));
}

}  // namespace ie
