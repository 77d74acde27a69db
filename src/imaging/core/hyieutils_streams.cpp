#include "imaging/core/hyieutils_streams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/codepage.h"
#include "platform/kernel.h"

namespace ie {

namespace {

// Position + Offset without wrapping: saturates at the ends of 64 bits.
int64_t AddSaturated(int64_t Position, int64_t Offset) {
    int64_t r;
    if (__builtin_add_overflow(Position, Offset, &r))
        return Offset > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TNulStream

void TNulStream::Advance(int64_t Count) {
    if (Count <= 0) return;
    FPosition = AddSaturated(FPosition, Count);
    if (FPosition >= FSize) FSize = FPosition;
}

int64_t TNulStream::Read(void*, int64_t Count) {
    if (Count <= 0) return 0;
    Advance(Count);
    return Count;
}

int64_t TNulStream::Write(const void*, int64_t Count) {
    if (Count <= 0) return 0;
    Advance(Count);
    return Count;
}

int64_t TNulStream::Seek(int64_t Offset, cl::TSeekOrigin Origin) {
    int64_t p;
    switch (Origin) {
        case cl::soBeginning: p = Offset; break;
        case cl::soCurrent: p = AddSaturated(FPosition, Offset); break;
        case cl::soEnd: p = AddSaturated(FSize, Offset); break;
        default: return FPosition;
    }
    FPosition = p < 0 ? 0 : p;
    if (FPosition >= FSize) FSize = FPosition;
    return FPosition;
}

// ---------------------------------------------------------------------------------------
// TIEMemStream

TIEMemStream::TIEMemStream(const void* Buffer, int64_t Size) {
    // The memory is only read: writes and size changes are refused below.
    SetPointer(const_cast<void*>(Buffer), Buffer ? Size : 0);
}

int64_t TIEMemStream::Write(const void*, int64_t) { return 0; }

void TIEMemStream::SetSize(int64_t) {}

// ---------------------------------------------------------------------------------------
// TIEBufferedReadStream

TIEBufferedReadStream::TIEBufferedReadStream(cl::TStream* Source, int32_t BufferSize, bool RelativePosition)
    : FSource(Source) {
    const int64_t position = Source->GetPosition();
    FBase = RelativePosition ? position : 0;
    FSize = Source->GetSize();
    FPosition = position;
    ReadPastEnd = false;
    SetBufferSize(BufferSize);
}

TIEBufferedReadStream::~TIEBufferedReadStream() { std::free(FBuffer); }

void TIEBufferedReadStream::SetBufferSize(int32_t BufferSize) {
    if (BufferSize < 1) BufferSize = 1;
    std::free(FBuffer);
    FBuffer = nullptr;
    FBufferSize = 0;
    FBufferFill = 0;
    FBufferIndex = 0;
    FBuffer = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(BufferSize)));
    if (!FBuffer) throw cl::EOutOfMemory("Out of memory");
    FBufferSize = BufferSize;
    FillBuffer();
}

void TIEBufferedReadStream::FillBuffer() {
    FSource->Seek(FPosition, cl::soBeginning);
    const int64_t got = FSource->Read(FBuffer, FBufferSize);
    FBufferFill = got > 0 ? static_cast<int32_t>(std::min<int64_t>(got, FBufferSize)) : 0;
    FBufferIndex = 0;
}

int64_t TIEBufferedReadStream::Read(void* Buffer, int64_t Count) {
    ReadPastEnd = false;
    const int64_t left = FSize - FPosition > 0 ? FSize - FPosition : 0;
    if (Count > left) {
        ReadPastEnd = true;
        Count = left;
    }
    if (Count < 1) return 0;
    if (Count == 1) {
        if (FBufferIndex >= FBufferFill) {
            FillBuffer();
            if (FBufferFill == 0) {
                // The source ended before the size it gave at creation.
                ReadPastEnd = true;
                return 0;
            }
        }
        *static_cast<uint8_t*>(Buffer) = FBuffer[FBufferIndex];
        ++FBufferIndex;
        ++FPosition;
        return 1;
    }
    auto* out = static_cast<uint8_t*>(Buffer);
    int64_t total = 0;
    for (;;) {
        const int64_t n = std::min<int64_t>(Count, FBufferFill - FBufferIndex);
        if (n > 0) {
            std::memcpy(out, FBuffer + FBufferIndex, static_cast<size_t>(n));
            FBufferIndex += static_cast<int32_t>(n);
            FPosition += n;
            out += n;
            total += n;
        }
        if (n == Count) return total;
        Count -= n;
        FillBuffer();
        if (FBufferFill == 0) {
            ReadPastEnd = true;
            return total;
        }
    }
}

int64_t TIEBufferedReadStream::Write(const void*, int64_t) {
    throw cl::Exception("TIEBufferedReadStream cannot write!");
}

int64_t TIEBufferedReadStream::Seek(int64_t Offset, cl::TSeekOrigin Origin) {
    ReadPastEnd = false;
    int64_t target;
    switch (Origin) {
        case cl::soBeginning: target = AddSaturated(FBase, Offset); break;
        case cl::soCurrent: target = AddSaturated(FPosition, Offset); break;
        case cl::soEnd: target = AddSaturated(FSize, Offset); break;
        default: target = FPosition; break;
    }
    if (target < FBase) target = FBase;
    if (target >= FSize) {
        target = FSize > FBase ? FSize : FBase;
        ReadPastEnd = true;
    }
    const int64_t index = FBufferIndex + (target - FPosition);
    if (index >= 0 && index < FBufferFill) {
        FBufferIndex = static_cast<int32_t>(index);
        FPosition = target;
    } else if (target != FPosition) {
        FPosition = target;
        FillBuffer();
    }
    return FPosition - FBase;
}

// ---------------------------------------------------------------------------------------
// Files by name

win::HANDLE IEWideCreateFile(const cl::WideString& FileName, win::DWORD Access, win::DWORD Share,
                             win::DWORD Disposition, win::DWORD Flags) {
    const std::string name = win::Utf16ToUtf8(FileName);
    return win::CreateFileA(name.c_str(), Access, Share, nullptr, Disposition, Flags, nullptr);
}

win::HANDLE IEWideFileCreate(const cl::WideString& FileName) {
    return IEWideCreateFile(FileName, win::GENERIC_READ | win::GENERIC_WRITE, 0, win::CREATE_ALWAYS,
                            win::FILE_ATTRIBUTE_NORMAL);
}

win::HANDLE IEWideFileOpen(const cl::WideString& FileName, uint16_t Mode) {
    static const win::DWORD kAccess[3] = {win::GENERIC_READ, win::GENERIC_WRITE,
                                          win::GENERIC_READ | win::GENERIC_WRITE};
    static const win::DWORD kShare[5] = {0, 0, win::FILE_SHARE_READ, win::FILE_SHARE_WRITE,
                                         win::FILE_SHARE_READ | win::FILE_SHARE_WRITE};
    if ((Mode & 3) == 3 || (Mode & 0xF0) > 0x40) {
        win::SetLastError(win::ERROR_INVALID_PARAMETER);
        return win::INVALID_HANDLE_VALUE;
    }
    return IEWideCreateFile(FileName, kAccess[Mode & 3], kShare[(Mode & 0xF0) >> 4], win::OPEN_EXISTING,
                            win::FILE_ATTRIBUTE_NORMAL);
}

TIEWideFileStream::TIEWideFileStream(const cl::WideString& FileName, uint16_t Mode) {
    const bool create = Mode == cl::fmCreate;
    FHandle = create ? IEWideFileCreate(FileName) : IEWideFileOpen(FileName, Mode);
    if (FHandle == win::INVALID_HANDLE_VALUE) {
        const int code = static_cast<int>(win::GetLastError());
        const cl::String name = cl::ExpandFileName(win::Utf16ToUtf8(FileName));
        if (create)
            throw cl::EFCreateError(cl::Format("Cannot create file \"%s\". %s", name, cl::SysErrorMessage(code)));
        throw cl::EFOpenError(cl::Format("Cannot open file \"%s\". %s", name, cl::SysErrorMessage(code)));
    }
}

TIEWideFileStream::TIEWideFileStream(const cl::String& FileName, uint16_t Mode)
    : TIEWideFileStream(win::Utf8ToUtf16(FileName), Mode) {}

TIEWideFileStream::~TIEWideFileStream() {
    if (FHandle != win::INVALID_HANDLE_VALUE) win::CloseHandle(FHandle);
}

int64_t TIEWideFileStream::Read(void* Buffer, int64_t Count) {
    int64_t total = 0;
    auto* p = static_cast<uint8_t*>(Buffer);
    while (total < Count) {
        const win::DWORD want = static_cast<win::DWORD>(std::min<int64_t>(Count - total, 1 << 30));
        win::DWORD got = 0;
        if (!win::ReadFile(FHandle, p + total, want, &got, nullptr)) return total;
        total += got;
        if (got < want) break;
    }
    return total;
}

int64_t TIEWideFileStream::Write(const void* Buffer, int64_t Count) {
    int64_t total = 0;
    const auto* p = static_cast<const uint8_t*>(Buffer);
    while (total < Count) {
        const win::DWORD want = static_cast<win::DWORD>(std::min<int64_t>(Count - total, 1 << 30));
        win::DWORD done = 0;
        if (!win::WriteFile(FHandle, p + total, want, &done, nullptr)) return total + done;
        total += done;
        if (done < want) break;
    }
    return total;
}

int64_t TIEWideFileStream::Seek(int64_t Offset, cl::TSeekOrigin Origin) {
    win::LARGE_INTEGER current{}, zero{};
    zero.QuadPart = 0;
    if (!win::SetFilePointerEx(FHandle, zero, &current, win::FILE_CURRENT)) return 0;
    int64_t target;
    switch (Origin) {
        case cl::soBeginning: target = Offset; break;
        case cl::soCurrent: target = AddSaturated(current.QuadPart, Offset); break;
        case cl::soEnd: target = AddSaturated(GetSize(), Offset); break;
        default: return current.QuadPart;
    }
    win::LARGE_INTEGER to{}, now{};
    to.QuadPart = target < 0 ? 0 : target;
    if (!win::SetFilePointerEx(FHandle, to, &now, win::FILE_BEGIN)) return current.QuadPart;
    return now.QuadPart;
}

int64_t TIEWideFileStream::GetSize() {
    win::LARGE_INTEGER size{};
    if (!win::GetFileSizeEx(FHandle, &size)) return 0;
    return size.QuadPart;
}

void TIEWideFileStream::SetSize(int64_t NewSize) {
    const int64_t position = GetPosition();
    win::LARGE_INTEGER to{};
    to.QuadPart = NewSize;
    if (NewSize < 0 || !win::SetFilePointerEx(FHandle, to, nullptr, win::FILE_BEGIN) || !win::SetEndOfFile(FHandle)) {
        Seek(position, cl::soBeginning);
        throw cl::EWriteError("Stream write error");
    }
    Seek(std::min(position, NewSize), cl::soBeginning);
}

// ---------------------------------------------------------------------------------------
// Helpers

void IEWriteStrWithLength(cl::TStream* Stream, const cl::String& S) {
    if (S.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) throw cl::EWriteError("String too long");
    const uint32_t n = static_cast<uint32_t>(S.size());
    const uint8_t length[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                               static_cast<uint8_t>(n >> 24)};
    Stream->WriteBuffer(length, 4);
    Stream->WriteBuffer(S.data(), static_cast<int64_t>(S.size()));
}

void IEReadStrWithLength(cl::TStream* Stream, cl::String& S) {
    uint8_t length[4];
    if (Stream->Read(length, 4) != 4) throw cl::EReadError("Stream read error");
    const int32_t n =
        static_cast<int32_t>(static_cast<uint32_t>(length[0]) | (static_cast<uint32_t>(length[1]) << 8) |
                             (static_cast<uint32_t>(length[2]) << 16) | (static_cast<uint32_t>(length[3]) << 24));
    if (n < 0) throw cl::EReadError(cl::Format("Invalid string length (%d)", n));
    // The text is read a piece at a time, so a length beyond the stream's end never
    // reserves more than one piece ahead of the bytes that are really there.
    constexpr int64_t kPiece = 1 << 16;
    cl::String text;
    int64_t done = 0;
    while (done < n) {
        const int64_t want = std::min<int64_t>(n - done, kPiece);
        text.resize(static_cast<size_t>(done + want));
        if (Stream->Read(text.data() + done, want) != want)
            throw cl::EReadError(cl::Format("Invalid string length (%d)", n));
        done += want;
    }
    S = std::move(text);
}

void IEWriteTextLineCRLF(cl::TStream* Stream, const cl::String& S) {
    Stream->Write(S.data(), static_cast<int64_t>(S.size()));
    Stream->Write("\r\n", 2);
}

int64_t IECopyFromStream(cl::TStream* Dest, cl::TStream* Source, int64_t Count) {
    constexpr int64_t kMaxBuffer = 196607;
    if (Count == 0) {
        Source->SetPosition(0);
        Count = Source->GetSize();
    }
    const int64_t left = Source->GetSize() - Source->GetPosition();
    if (Count > left) Count = left;
    if (Count < 0) Count = 0;
    if (Count == 0) return 0;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(Count, kMaxBuffer)));
    int64_t remaining = Count;
    while (remaining > 0) {
        const int64_t n = std::min<int64_t>(remaining, static_cast<int64_t>(buffer.size()));
        Source->ReadBuffer(buffer.data(), n);
        Dest->WriteBuffer(buffer.data(), n);
        remaining -= n;
    }
    return Count;
}

}  // namespace ie
