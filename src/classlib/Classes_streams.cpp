// Streams of the class library.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "classlib/Classes.h"
#include "platform/kernel.h"

namespace cl {

namespace {

int WinErrorFromErrno(int e) {
    switch (e) {
        case ENOENT: return 2;
        case ENOTDIR: return 3;
        case EACCES:
        case EPERM: return 5;
        case EBADF: return 6;
        case ENOMEM: return 8;
        case EBUSY:
        case ETXTBSY: return 32;
        case EEXIST: return 80;
        case ENOSPC: return 112;
        case EINVAL: return 87;
        default: return 31;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TStream

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::GetSize() {
    int64_t pos = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) {}

int64_t TStream::CopyFrom(TStream* source, int64_t count) {
    if (count == 0) {
        source->SetPosition(0);
        count = source->GetSize();
    }
    const int64_t kChunk = 64 * 1024;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(count, kChunk)));
    int64_t left = count;
    while (left > 0) {
        int64_t n = std::min(left, kChunk);
        source->ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        left -= n;
    }
    return count;
}

// ---------------------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const String& fileName, uint16_t mode) : FFileName(fileName) {
    if (mode == fmCreate) {
        FFd = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (FFd < 0) {
            int code = WinErrorFromErrno(errno);
            throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, SysErrorMessage(code)));
        }
        return;
    }
    int flags = O_CLOEXEC;
    switch (mode & 3) {
        case fmOpenWrite: flags |= O_WRONLY; break;
        case fmOpenReadWrite: flags |= O_RDWR; break;
        default: flags |= O_RDONLY; break;
    }
    FFd = ::open(fileName.c_str(), flags);
    struct stat st;
    if (FFd >= 0 && ::fstat(FFd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(FFd);
        FFd = -1;
        errno = EACCES;
    }
    if (FFd < 0) {
        int code = WinErrorFromErrno(errno);
        throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName, SysErrorMessage(code)));
    }
}

TFileStream::~TFileStream() {
    if (FFd >= 0) ::close(FFd);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::read(FFd, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::ReadAt(int64_t position, void* buffer, int64_t count) const {
    if (count <= 0 || position < 0) return 0;
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::pread(FFd, p + done, static_cast<size_t>(count - done), position + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    int64_t done = 0;
    auto* p = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::write(FFd, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int whence = origin == soCurrent ? SEEK_CUR : origin == soEnd ? SEEK_END : SEEK_SET;
    off_t r = ::lseek(FFd, offset, whence);
    if (r < 0) {
        // A seek before the start is clamped to 0.
        r = ::lseek(FFd, 0, SEEK_SET);
        if (r < 0) return 0;
    }
    return r;
}

int64_t TFileStream::GetSize() {
    struct stat st;
    if (::fstat(FFd, &st) != 0) return 0;
    return st.st_size;
}

void TFileStream::SetSize(int64_t newSize) {
    if (newSize < 0 || ::ftruncate(FFd, newSize) != 0) throw EStreamError("Stream write error");
    if (GetPosition() > newSize) Seek(newSize, soBeginning);
}

// ---------------------------------------------------------------------------------------
// Memory streams

TCustomMemoryStream::~TCustomMemoryStream() {
    if (FOwned) std::free(FMemory);
}

int64_t TCustomMemoryStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || FPosition >= FSize) return 0;
    int64_t n = std::min(count, FSize - FPosition);
    std::memcpy(buffer, FMemory + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TCustomMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == soCurrent ? FPosition : origin == soEnd ? FSize : 0;
    int64_t p = base + offset;
    FPosition = p < 0 ? 0 : p;
    return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream* dest) {
    if (FSize) dest->WriteBuffer(FMemory, FSize);
}

void TCustomMemoryStream::SaveToFile(const String& fileName) {
    TFileStream f(fileName, fmCreate);
    SaveToStream(&f);
}

void TCustomMemoryStream::SetPointer(void* ptr, int64_t size) {
    if (FOwned) std::free(FMemory);
    FOwned = false;
    FMemory = static_cast<uint8_t*>(ptr);
    FSize = size < 0 ? 0 : size;
    FCapacity = FSize;
    if (FPosition > FSize) FPosition = FSize;
}

void TMemoryStream::Reserve(int64_t capacity) {
    if (FOwned && capacity <= FCapacity) return;
    if (capacity < 0 || static_cast<uint64_t>(capacity) > std::numeric_limits<size_t>::max() / 2)
        throw EOutOfMemory("Out of memory");
    int64_t newCap = FOwned ? std::max(capacity, FCapacity + FCapacity / 4) : capacity;
    newCap = (newCap + 0x1FFF) & ~int64_t(0x1FFF);
    uint8_t* p;
    if (FOwned) {
        p = static_cast<uint8_t*>(std::realloc(FMemory, static_cast<size_t>(newCap)));
    } else {
        p = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(newCap)));
        if (p && FSize) std::memcpy(p, FMemory, static_cast<size_t>(FSize));
    }
    if (!p) throw EOutOfMemory("Out of memory");
    FMemory = p;
    FCapacity = newCap;
    FOwned = true;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    int64_t end = FPosition + count;
    if (end < FPosition) return 0;
    if (end > FSize) {
        Reserve(end);
        if (FPosition > FSize) std::memset(FMemory + FSize, 0, static_cast<size_t>(FPosition - FSize));
        FSize = end;
    } else if (!FOwned) {
        Reserve(FSize);
    }
    std::memcpy(FMemory + FPosition, buffer, static_cast<size_t>(count));
    FPosition = end;
    return count;
}

void TMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0) newSize = 0;
    if (newSize > FSize || !FOwned) Reserve(newSize);
    if (newSize > FSize) std::memset(FMemory + FSize, 0, static_cast<size_t>(newSize - FSize));
    FSize = newSize;
    if (FPosition > FSize) FPosition = FSize;
}

void TMemoryStream::Clear() {
    if (FOwned) std::free(FMemory);
    FMemory = nullptr;
    FOwned = false;
    FCapacity = 0;
    FSize = 0;
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* source) {
    source->SetPosition(0);
    int64_t n = source->GetSize();
    SetSize(n);
    if (n) source->ReadBuffer(FMemory, n);
    FPosition = 0;
}

void TMemoryStream::LoadFromFile(const String& fileName) {
    TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&f);
}

// ---------------------------------------------------------------------------------------
// TStringStream

int64_t TStringStream::Read(void* buffer, int64_t count) {
    int64_t size = static_cast<int64_t>(FData.size());
    if (count <= 0 || FPosition >= size) return 0;
    int64_t n = std::min(count, size - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TStringStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (FPosition + count > static_cast<int64_t>(FData.size()))
        FData.resize(static_cast<size_t>(FPosition + count), '\0');
    std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition += count;
    return count;
}

int64_t TStringStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == soCurrent ? FPosition : origin == soEnd ? static_cast<int64_t>(FData.size()) : 0;
    int64_t p = base + offset;
    FPosition = p < 0 ? 0 : p;
    return FPosition;
}

void TStringStream::SetSize(int64_t newSize) {
    FData.resize(static_cast<size_t>(newSize < 0 ? 0 : newSize), '\0');
    if (FPosition > newSize) FPosition = newSize;
}

String TStringStream::ReadString(int64_t count) {
    int64_t size = static_cast<int64_t>(FData.size());
    int64_t n = std::max<int64_t>(0, std::min(count, size - FPosition));
    String s = FData.substr(static_cast<size_t>(FPosition), static_cast<size_t>(n));
    FPosition += n;
    return s;
}

}  // namespace cl

// ---------------------------------------------------------------------------------------
// TResourceStream

namespace cl {

namespace {
String ResourceName(const char* name) {
    uintptr_t v = reinterpret_cast<uintptr_t>(name);
    if (v < 0x10000) return "#" + std::to_string(v);
    return name;
}
}  // namespace

TResourceStream::TResourceStream(void* Instance, const char* ResName, const char* ResType) {
    auto module = static_cast<win::HMODULE>(Instance);
    win::HRSRC res = win::FindResourceA(module, ResName, ResType);
    if (!res) throw EResNotFound(Format("Resource %s not found", ResourceName(ResName)));
    win::HGLOBAL data = win::LoadResource(module, res);
    void* bytes = win::LockResource(data);
    if (!bytes) throw EResNotFound(Format("Resource %s not found", ResourceName(ResName)));
    SetPointer(bytes, win::SizeofResource(module, res));
}

int64_t TResourceStream::Write(const void*, int64_t) {
    throw EStreamError("Can't write to a read-only resource stream");
}

}  // namespace cl
