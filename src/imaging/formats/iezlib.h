// Streams in the zlib format (zlib header, deflate data, checksum trailer) over another
// stream, and a one-shot routine that inflates a whole buffer.
//
// A compression stream deflates what is written to it into the destination stream; its
// output is complete after Finish() (called by the destructor when the owner did not,
// with any failure then swallowed: call Finish() to hear of one). A decompression stream
// inflates from the source stream as it is read. Neither owns its underlying stream, and
// both put the underlying stream back where they left it when the caller moved it between
// two transfers.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/SysUtils.h"

namespace ie {

class EZLibError : public cl::Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EZLibError"; }
};
CL_DECLARE_EXCEPTION(EZCompressionError, EZLibError);
CL_DECLARE_EXCEPTION(EZDecompressionError, EZLibError);

enum TZCompressionLevel : uint8_t { zlevStore = 0, zlevFastest = 1, zlevDefault = 2, zlevBest = 3 };

// The zlib level of each TZCompressionLevel.
extern const int32_t IEZLevels[4];

// The text of a zlib result code (2 .. -7); '' for codes outside the table.
const char* IEZErrorText(int32_t Code);

int32_t IEZDeflateInit(z_stream& Strm, int32_t Level);
int32_t IEZInflateInit(z_stream& Strm);
// Code when it is not negative; otherwise EZCompressionError / EZDecompressionError with
// the code's text. The decompression check also raises for "need dictionary": no preset
// dictionary is ever supplied, so such data cannot be inflated.
int32_t IEZCompressCheck(int32_t Code);
int32_t IEZDecompressCheck(int32_t Code);

class TCustomZStream : public cl::TStream {
    CL_DECLARE_CLASS(TCustomZStream, cl::TStream)
public:
    static constexpr int32_t BufferSize = 65536;

    ~TCustomZStream() override = default;
    TCustomZStream(const TCustomZStream&) = delete;
    TCustomZStream& operator=(const TCustomZStream&) = delete;

    // Called after every 64 KB block moved to or from the underlying stream.
    std::function<void(cl::TObject* Sender)> OnProgress;

protected:
    explicit TCustomZStream(cl::TStream* Strm);
    virtual void DoProgress();
    // Puts the underlying stream back at the expected position when it was moved.
    void RestorePosition();

    cl::TStream* FStrm;  // not owned
    int64_t FStrmPos;    // where the underlying stream must stand for the next transfer
    int64_t FStartPos;   // its position at construction
    z_stream FZRec{};
    uint8_t FBuffer[BufferSize];
};

class TZCompressionStream : public TCustomZStream {
    CL_DECLARE_CLASS(TZCompressionStream, TCustomZStream)
public:
    TZCompressionStream(cl::TStream* Dest, TZCompressionLevel CompressionLevel);
    // Finishes the zlib stream when Finish() was not called; failures are swallowed here.
    ~TZCompressionStream() override;

    // EZCompressionError "Invalid ZStream operation!".
    int64_t Read(void* Buffer, int64_t Count) override;
    // Deflates Count bytes; returns Count.
    int64_t Write(const void* Buffer, int64_t Count) override;
    // Ignores its arguments and returns the number of bytes written so far.
    int64_t Seek(int64_t Offset, cl::TSeekOrigin Origin) override;

    // Ends the zlib stream and writes the rest of the output to the destination. Raises
    // EZCompressionError on a zlib failure and the stream's EWriteError on a short write.
    // Later writes raise; a second call does nothing.
    void Finish();
    bool Finished() const { return FFinished; }

private:
    void FlushBuffer(int64_t Count);
    bool FFinished = false;
    bool FEnded = false;  // deflateEnd has run
};

class TZDecompressionStream : public TCustomZStream {
    CL_DECLARE_CLASS(TZDecompressionStream, TCustomZStream)
public:
    // Source stands at the first byte of the zlib data.
    explicit TZDecompressionStream(cl::TStream* Source);
    ~TZDecompressionStream() override;

    // Inflates up to Count bytes; fewer at the end of the data (or of the source).
    int64_t Read(void* Buffer, int64_t Count) override;
    // EZDecompressionError "Invalid ZStream operation!".
    int64_t Write(const void* Buffer, int64_t Count) override;
    // Offset 0 from the beginning restarts from the position the source had at
    // construction; forward moves read and discard; offset 0 from the end reads to the
    // end; a move to the current position does nothing; anything else raises
    // EZDecompressionError "Invalid ZStream operation!". Returns the decompressed position.
    int64_t Seek(int64_t Offset, cl::TSeekOrigin Origin) override;
};

// Default limit of IEZDecompressBuffer's output: 1 GB.
constexpr int64_t IEZDefaultMaxOutput = int64_t{1} << 30;

// Inflates the whole zlib buffer InBuf of InSize bytes into OutBuf (replaced), OutSize its
// length. OutEstimate (0: none) is the first size tried; the output then grows
// geometrically. Output beyond MaxOutSize raises EZDecompressionError "insufficient
// memory"; bad data raises EZDecompressionError with zlib's text ("data error", "buffer
// error" for data that ends too early). OutBuf is empty after a failure.
void IEZDecompressBuffer(const void* InBuf, int64_t InSize, std::vector<uint8_t>& OutBuf, int64_t& OutSize,
                         int64_t OutEstimate, int64_t MaxOutSize = IEZDefaultMaxOutput);

}  // namespace ie
