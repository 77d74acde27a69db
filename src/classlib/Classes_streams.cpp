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

int64_t TStream::Size() {
    int64_t pos = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) {}

int64_t TStream::CopyFrom(TStream* source, int64_t count) {
    if (count == 0) {
        source->SetPosition(0);
        count = source->Size();
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

TFileStream::TFileStream(const String& fileName, uint16_t mode) : fileName_(fileName) {
    if (mode == fmCreate) {
        fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0) {
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
    fd_ = ::open(fileName.c_str(), flags);
    struct stat st;
    if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        errno = EACCES;
    }
    if (fd_ < 0) {
        int code = WinErrorFromErrno(errno);
        throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName, SysErrorMessage(code)));
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (done < count) {
        ssize_t n = ::read(fd_, p + done, static_cast<size_t>(count - done));
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
        ssize_t n = ::pread(fd_, p + done, static_cast<size_t>(count - done), position + done);
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
        ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int whence = origin == soCurrent ? SEEK_CUR : origin == soEnd ? SEEK_END : SEEK_SET;
    off_t r = ::lseek(fd_, offset, whence);
    if (r < 0) {
        // A seek before the start is clamped to 0.
        r = ::lseek(fd_, 0, SEEK_SET);
        if (r < 0) return 0;
    }
    return r;
}

int64_t TFileStream::Size() {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return 0;
    return st.st_size;
}

void TFileStream::SetSize(int64_t newSize) {
    if (newSize < 0 || ::ftruncate(fd_, newSize) != 0) throw EStreamError("Stream write error");
    if (Position() > newSize) Seek(newSize, soBeginning);
}

// ---------------------------------------------------------------------------------------
// Memory streams

TCustomMemoryStream::~TCustomMemoryStream() {
    if (owned_) std::free(memory_);
}

int64_t TCustomMemoryStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || position_ >= size_) return 0;
    int64_t n = std::min(count, size_ - position_);
    std::memcpy(buffer, memory_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TCustomMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == soCurrent ? position_ : origin == soEnd ? size_ : 0;
    int64_t p = base + offset;
    position_ = p < 0 ? 0 : p;
    return position_;
}

void TCustomMemoryStream::SaveToStream(TStream* dest) {
    if (size_) dest->WriteBuffer(memory_, size_);
}

void TCustomMemoryStream::SaveToFile(const String& fileName) {
    TFileStream f(fileName, fmCreate);
    SaveToStream(&f);
}

void TCustomMemoryStream::SetPointer(void* ptr, int64_t size) {
    if (owned_) std::free(memory_);
    owned_ = false;
    memory_ = static_cast<uint8_t*>(ptr);
    size_ = size < 0 ? 0 : size;
    capacity_ = size_;
    if (position_ > size_) position_ = size_;
}

void TMemoryStream::Reserve(int64_t capacity) {
    if (owned_ && capacity <= capacity_) return;
    if (capacity < 0 || static_cast<uint64_t>(capacity) > std::numeric_limits<size_t>::max() / 2)
        throw EOutOfMemory("Out of memory");
    int64_t newCap = owned_ ? std::max(capacity, capacity_ + capacity_ / 4) : capacity;
    newCap = (newCap + 0x1FFF) & ~int64_t(0x1FFF);
    uint8_t* p;
    if (owned_) {
        p = static_cast<uint8_t*>(std::realloc(memory_, static_cast<size_t>(newCap)));
    } else {
        p = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(newCap)));
        if (p && size_) std::memcpy(p, memory_, static_cast<size_t>(size_));
    }
    if (!p) throw EOutOfMemory("Out of memory");
    memory_ = p;
    capacity_ = newCap;
    owned_ = true;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    int64_t end = position_ + count;
    if (end < position_) return 0;
    if (end > size_) {
        Reserve(end);
        if (position_ > size_) std::memset(memory_ + size_, 0, static_cast<size_t>(position_ - size_));
        size_ = end;
    } else if (!owned_) {
        Reserve(size_);
    }
    std::memcpy(memory_ + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

void TMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0) newSize = 0;
    if (newSize > size_ || !owned_) Reserve(newSize);
    if (newSize > size_) std::memset(memory_ + size_, 0, static_cast<size_t>(newSize - size_));
    size_ = newSize;
    if (position_ > size_) position_ = size_;
}

void TMemoryStream::Clear() {
    if (owned_) std::free(memory_);
    memory_ = nullptr;
    owned_ = false;
    capacity_ = 0;
    size_ = 0;
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream* source) {
    source->SetPosition(0);
    int64_t n = source->Size();
    SetSize(n);
    if (n) source->ReadBuffer(memory_, n);
    position_ = 0;
}

void TMemoryStream::LoadFromFile(const String& fileName) {
    TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&f);
}

// ---------------------------------------------------------------------------------------
// TStringStream

int64_t TStringStream::Read(void* buffer, int64_t count) {
    int64_t size = static_cast<int64_t>(data_.size());
    if (count <= 0 || position_ >= size) return 0;
    int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TStringStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (position_ + count > static_cast<int64_t>(data_.size())) data_.resize(static_cast<size_t>(position_ + count), '\0');
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ += count;
    return count;
}

int64_t TStringStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == soCurrent ? position_ : origin == soEnd ? static_cast<int64_t>(data_.size()) : 0;
    int64_t p = base + offset;
    position_ = p < 0 ? 0 : p;
    return position_;
}

void TStringStream::SetSize(int64_t newSize) {
    data_.resize(static_cast<size_t>(newSize < 0 ? 0 : newSize), '\0');
    if (position_ > newSize) position_ = newSize;
}

String TStringStream::ReadString(int64_t count) {
    int64_t size = static_cast<int64_t>(data_.size());
    int64_t n = std::max<int64_t>(0, std::min(count, size - position_));
    String s = data_.substr(static_cast<size_t>(position_), static_cast<size_t>(n));
    position_ += n;
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
