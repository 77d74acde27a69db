// Streams of the imaging core and the stream helpers the codecs, the input/output
// component and the view share.
//
// One seek rule holds for every stream here, as for the class library's own: from the
// beginning the position is Offset, from the current position Position + Offset, from
// the end Size + Offset (offsets from the end are 0 or negative); a position below the
// start becomes the start.
#pragma once

#include <cstdint>

#include "classlib/Classes.h"
#include "platform/windef.h"

namespace ie {

// ---------------------------------------------------------------------------------------
// TNulStream: stores nothing and counts; Size is the highest position ever reached. The
// preview dialog measures encoded sizes with it.

class TNulStream : public cl::TStream {
    CL_DECLARE_CLASS(TNulStream, cl::TStream)
public:
    TNulStream() = default;
    // Both move the position by Count (raising Size when it passes it) and return Count;
    // the buffer is neither read nor written.
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    // Raises Size when the new position is beyond it; an unknown origin leaves the position.
    int64_t Seek(int64_t Offset, cl::TSeekOrigin Origin) override;
    int64_t GetSize() override { return FSize; }

private:
    void Advance(int64_t Count);
    int64_t FPosition = 0;
    int64_t FSize = 0;
};

// ---------------------------------------------------------------------------------------
// TIEMemStream: a read-only stream over memory that belongs to the caller (neither copied
// nor freed). Writes store nothing and return 0, so WriteBuffer raises.

class TIEMemStream : public cl::TCustomMemoryStream {
    CL_DECLARE_CLASS(TIEMemStream, cl::TCustomMemoryStream)
public:
    TIEMemStream(const void* Buffer, int64_t Size);
    ~TIEMemStream() override = default;
    int64_t Write(const void* Buffer, int64_t Count) override;
    void SetSize(int64_t NewSize) override;
};

// ---------------------------------------------------------------------------------------
// TIEBufferedReadStream: a read-only, read-ahead view of another stream, so that readers
// can take headers byte by byte without a call into the source per byte. With
// RelativePosition, positions and the size count from the source's position at creation.
// Reads never raise: a request beyond the end is cut and reported through ReadPastEnd.

class TIEBufferedReadStream : public cl::TStream {
    CL_DECLARE_CLASS(TIEBufferedReadStream, cl::TStream)
public:
    // The source is not owned. A buffer size below 1 is taken as 1.
    TIEBufferedReadStream(cl::TStream* Source, int32_t BufferSize, bool RelativePosition = false);
    ~TIEBufferedReadStream() override;

    int64_t Read(void* Buffer, int64_t Count) override;
    // Raises Exception "TIEBufferedReadStream cannot write!".
    int64_t Write(const void* Buffer, int64_t Count) override;
    // A position at or beyond the end becomes the end and sets ReadPastEnd; one before the
    // start becomes the start; an unknown origin keeps the position.
    int64_t Seek(int64_t Offset, cl::TSeekOrigin Origin) override;
    int64_t GetSize() override { return FSize > FBase ? FSize - FBase : 0; }

    // Frees the buffer, makes one of BufferSize bytes and fills it from the position.
    void SetBufferSize(int32_t BufferSize);
    int32_t GetBufferSize() const { return FBufferSize; }
    // Set by the last Read or Seek when it was cut at the end.
    bool ReadPastEnd = false;

private:
    // Reads the buffer from the source at Position.
    void FillBuffer();
    cl::TStream* FSource;
    int32_t FBufferSize = 0;
    uint8_t* FBuffer = nullptr;
    int64_t FPosition = 0;     // absolute position in the source of the next byte
    int32_t FBufferIndex = 0;  // index in the buffer of the byte at FPosition
    int32_t FBufferFill = 0;   // bytes of the buffer that the source delivered
    int64_t FSize = 0;         // the source's size, taken at creation
    int64_t FBase = 0;         // 0, or the source's position at creation
};

// ---------------------------------------------------------------------------------------
// Files by name. The mode is the class library's: fmCreate (0xFFFF), or an access value
// (fmOpenRead 0, fmOpenWrite 1, fmOpenReadWrite 2) with a share value (0x00 .. 0x40).

// The platform's CreateFile (UTF-16 names converted to UTF-8).
win::HANDLE IEWideCreateFile(const cl::WideString& FileName, win::DWORD Access, win::DWORD Share,
                             win::DWORD Disposition, win::DWORD Flags);
// Read and write access, no sharing, always a new empty file.
win::HANDLE IEWideFileCreate(const cl::WideString& FileName);
// An existing file with the access and sharing of Mode; INVALID_HANDLE_VALUE, without
// touching the file system, for an invalid mode (access 3, or share bits above 0x40).
win::HANDLE IEWideFileOpen(const cl::WideString& FileName, uint16_t Mode);

// TIEWideFileStream: a file stream opened by a wide-character name; the input/output
// component opens every file through it. It owns its handle.
class TIEWideFileStream : public cl::TStream {
    CL_DECLARE_CLASS(TIEWideFileStream, cl::TStream)
public:
    // Raises EFCreateError "Cannot create file "%s". %s" or EFOpenError "Cannot open file
    // "%s". %s" with the expanded name and the system's message; no handle stays open.
    TIEWideFileStream(const cl::WideString& FileName, uint16_t Mode);
    TIEWideFileStream(const cl::String& FileName, uint16_t Mode);
    ~TIEWideFileStream() override;

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, cl::TSeekOrigin Origin) override;
    int64_t GetSize() override;
    // EWriteError when the file cannot take the size.
    void SetSize(int64_t NewSize) override;
    win::HANDLE Handle() const { return FHandle; }

private:
    win::HANDLE FHandle;
};

// ---------------------------------------------------------------------------------------
// Helpers

// The length of S as a 4-byte little-endian integer, then its bytes, no terminator.
// EWriteError when the stream takes fewer bytes or S is longer than 2^31 - 1 bytes.
void IEWriteStrWithLength(cl::TStream* Stream, const cl::String& S);
// Reads a string written by IEWriteStrWithLength. EReadError when the length is negative
// or more bytes are asked than the stream has left (S is then unchanged); the room for
// the text grows with the bytes that come, never ahead of them.
void IEReadStrWithLength(cl::TStream* Stream, cl::String& S);
// Writes S followed by CR LF; the count written is not examined.
void IEWriteTextLineCRLF(cl::TStream* Stream, const cl::String& S);
// Copies Count bytes from Source's position to Dest (Count 0: the whole of Source from its
// start); Count is cut to what Source has left. Goes through one buffer of at most 196,607
// bytes with ReadBuffer/WriteBuffer, whose errors pass through. Returns the bytes copied.
int64_t IECopyFromStream(cl::TStream* Dest, cl::TStream* Source, int64_t Count);

}  // namespace ie
