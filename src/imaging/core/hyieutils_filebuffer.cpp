#include "imaging/core/hyieutils_filebuffer.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>

#include "classlib/SysUtils.h"
#include "imaging/core/hyieutils_encoders.h"
#include "platform/exit_cleanup.h"
#include "platform/kernel.h"
#include "platform/run_folder.h"

namespace ie {

cl::String IETempFolder;

namespace {

constexpr int64_t kCopyChunk = 1048576;
constexpr int kMaxNameDraws = 1000;

cl::String WithSlash(cl::String s) {
    if (!s.empty() && s.back() != '/') s += '/';
    return s;
}

cl::String SystemTempFolder() {
    char buffer[251] = {};
    win::DWORD n = win::GetTempPathA(250, buffer);
    if (n > 0 && n < 250) return WithSlash(cl::String(buffer, n));
    if (n == 0) return cl::String();
    // A longer path than the usual buffer holds.
    std::vector<char> big(static_cast<size_t>(n) + 1);
    n = win::GetTempPathA(static_cast<win::DWORD>(big.size()), big.data());
    if (n == 0 || n >= big.size()) return cl::String();
    return WithSlash(cl::String(big.data(), n));
}

cl::String NameFor(const cl::String& prefix, const cl::String& folder) {
    return folder + prefix + "-" + cl::IntToHex(static_cast<uint32_t>(cl::Random(2147483647)), 8) + ".tmp";
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The run's private folder

cl::String IERunTempFolder() {
    struct Made {
        cl::String Folder;
        pid_t Pid = 0;  // the process that made it: a forked child makes its own
    };
    static std::mutex lock;
    static std::map<cl::String, Made> folders;  // base folder -> private folder
    std::lock_guard<std::mutex> guard(lock);
    const cl::String base = IETempFolder.empty() ? SystemTempFolder() : WithSlash(IETempFolder);
    if (base.empty()) return cl::String();
    const pid_t self = ::getpid();
    auto it = folders.find(base);
    if (it != folders.end()) {
        struct stat st {};
        if (it->second.Pid == self && ::lstat(it->second.Folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return it->second.Folder;
        folders.erase(it);
    }
    // The folders that killed or crashed runs left behind go first; the new folder names
    // this process as its owner, so that later runs can tell when it is left over.
    win::RemoveStaleRunFolders(base);
    const cl::String folder = win::MakeRunFolder(base, "ie");
    if (folder.empty()) return cl::String();
    folders[base] = Made{folder, self};
    // Whatever is left in it goes when the program ends, however it ends.
    win::AddExitCleanup([folder, self] {
        if (::getpid() != self) return;
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    });
    return folder;
}

void IEUniqueTempFileName(const cl::String& Prefix, const cl::String& Folder, cl::String& Name) {
    do {
        Name = NameFor(Prefix, Folder);
    } while (IEFileExists(Name));
}

// ---------------------------------------------------------------------------------------
// TIETemporaryFileStream

TIETemporaryFileStream::TIETemporaryFileStream(const cl::String& FileName, bool Anonymous) {
    // An anonymous file is created without the delete-on-close flag and its name removed at
    // once: the open handle alone keeps it, and the system frees it when the handle goes,
    // however the process ends.
    const win::DWORD flags =
        win::FILE_ATTRIBUTE_TEMPORARY | (Anonymous ? win::DWORD{0} : win::DWORD{win::FILE_FLAG_DELETE_ON_CLOSE});
    FHandle = win::CreateFileA(FileName.c_str(), win::GENERIC_READ | win::GENERIC_WRITE, 0, nullptr, win::CREATE_NEW,
                               flags, nullptr);
    if (FHandle == win::INVALID_HANDLE_VALUE) {
        FHandle = nullptr;
        throw cl::EInOutError("Unable to create " + FileName);
    }
    if (Anonymous && ::unlink(FileName.c_str()) != 0) {
        const int error = errno;
        win::CloseHandle(FHandle);
        FHandle = nullptr;
        win::SetLastError(error == EACCES || error == EPERM ? win::ERROR_ACCESS_DENIED : win::ERROR_GEN_FAILURE);
        throw cl::EInOutError("Unable to create " + FileName);
    }
}

TIETemporaryFileStream::~TIETemporaryFileStream() {
    if (FHandle) win::CloseHandle(FHandle);
}

int64_t TIETemporaryFileStream::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    while (done < count) {
        const auto n = static_cast<win::DWORD>(std::min<int64_t>(count - done, 1 << 30));
        win::DWORD got = 0;
        if (!win::ReadFile(FHandle, static_cast<uint8_t*>(buffer) + done, n, &got, nullptr) || got == 0) break;
        done += got;
    }
    return done;
}

int64_t TIETemporaryFileStream::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    while (done < count) {
        const auto n = static_cast<win::DWORD>(std::min<int64_t>(count - done, 1 << 30));
        win::DWORD put = 0;
        if (!win::WriteFile(FHandle, static_cast<const uint8_t*>(buffer) + done, n, &put, nullptr) || put == 0) break;
        done += put;
    }
    return done;
}

int64_t TIETemporaryFileStream::Seek(int64_t offset, cl::TSeekOrigin origin) {
    win::LARGE_INTEGER d{};
    d.QuadPart = offset;
    win::LARGE_INTEGER now{};
    const win::DWORD method = origin == cl::soCurrent ? win::FILE_CURRENT
                              : origin == cl::soEnd   ? win::FILE_END
                                                      : win::FILE_BEGIN;
    if (!win::SetFilePointerEx(FHandle, d, &now, method)) {
        // Before the start: the position becomes 0.
        d.QuadPart = 0;
        win::SetFilePointerEx(FHandle, d, &now, win::FILE_BEGIN);
    }
    return now.QuadPart;
}

int64_t TIETemporaryFileStream::GetSize() {
    win::LARGE_INTEGER s{};
    if (!win::GetFileSizeEx(FHandle, &s)) return 0;
    return s.QuadPart;
}

void TIETemporaryFileStream::SetSize(int64_t newSize) {
    const int64_t pos = GetPosition();
    if (newSize < 0 || Seek(newSize, cl::soBeginning) != newSize || !win::SetEndOfFile(FHandle)) {
        Seek(pos, cl::soBeginning);
        throw cl::EStreamError("Stream write error");
    }
    Seek(std::min(pos, newSize), cl::soBeginning);
}

// ---------------------------------------------------------------------------------------
// TIEFileBuffer

TIEFileBuffer::~TIEFileBuffer() {
    try {
        FreeFile();
    } catch (...) {
        // Rows that cannot be written back any more go with the file.
    }
}

bool TIEFileBuffer::AllocateFile(const cl::String& Prefix, bool UseFile, int64_t Size) {
    FreeFile();
    if (Size < 0) return false;
    if (!UseFile) {
        try {
            auto m = std::make_unique<cl::TMemoryStream>();
            m->SetSize(Size);
            FStream = std::move(m);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }
    const cl::String folder = IERunTempFolder();
    if (folder.empty()) return false;
    // Each name is drawn from the shared generator and the file created exclusively; a
    // name that is taken is drawn again.
    for (int attempt = 0; attempt < kMaxNameDraws; ++attempt) {
        FFileName = NameFor(Prefix, folder);
        try {
            auto s = std::make_unique<TIETemporaryFileStream>(FFileName, true);
            s->SetSize(Size);
            FStream = std::move(s);
            return true;
        } catch (const std::exception&) {
            if (win::GetLastError() != win::ERROR_FILE_EXISTS && win::GetLastError() != win::ERROR_ALREADY_EXISTS)
                return false;
        }
    }
    return false;
}

void TIEFileBuffer::FreeFile() {
    if (!FStream) return;
    // The file has no name any more (it went when the file was made): closing it frees it.
    // Deleting by name would hit whatever file has taken that name since.
    try {
        UnmapAll();
    } catch (...) {
        FMapped.clear();
        FStream.reset();
        throw;
    }
    FStream.reset();
}

void* TIEFileBuffer::Map(TIEBitmapAccess Access, int32_t Size, int64_t Position) {
    if (Size < 0 || Position < 0) return nullptr;
    // Rows written whole are not read first; their bytes start as zero.
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[static_cast<size_t>(Size) + 1]());
    if (!buffer) return nullptr;
    if (FStream && (Access & ieaRead) && Size > 0) {
        FStream->Seek(Position, cl::soBeginning);
        FStream->Read(buffer.get(), Size);
    }
    void* p = buffer.get();
    FMapped.push_back(MappedRange{Position, Size, Access, std::move(buffer)});
    return p;
}

void TIEFileBuffer::Release(size_t index) {
    MappedRange r = std::move(FMapped[index]);
    FMapped.erase(FMapped.begin() + static_cast<std::ptrdiff_t>(index));
    if (FStream && (r.Access & ieaWrite) && r.Size > 0) {
        FStream->Seek(r.Position, cl::soBeginning);
        FStream->WriteBuffer(r.Buffer.get(), r.Size);
    }
}

void TIEFileBuffer::Unmap(void* Buffer) {
    if (!Buffer) return;
    for (size_t i = FMapped.size(); i-- > 0;) {
        if (FMapped[i].Buffer.get() == Buffer) {
            Release(i);
            return;
        }
    }
}

void TIEFileBuffer::UnmapAll() {
    while (!FMapped.empty()) Release(FMapped.size() - 1);
}

void TIEFileBuffer::CopyTo(TIEFileBuffer* Dest, int64_t Size, int64_t Position) {
    if (!Dest || Dest == this || !IsAllocated() || !Dest->IsAllocated() || Size <= 0 || Position < 0) return;
    UnmapAll();
    Dest->UnmapAll();
    FStream->Seek(Position, cl::soBeginning);
    Dest->FStream->Seek(Position, cl::soBeginning);
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min(Size, kCopyChunk)));
    for (int64_t left = Size; left > 0;) {
        const int64_t n = std::min(left, kCopyChunk);
        FStream->ReadBuffer(chunk.data(), n);
        Dest->FStream->WriteBuffer(chunk.data(), n);
        left -= n;
    }
}

// ---------------------------------------------------------------------------------------
// Physical memory

int64_t IEGetPhysicalMemory(bool Available) {
    int64_t result = 0;
    win::HMODULE k = win::LoadLibraryA("Kernel32.dll");
    using StatusEx = win::BOOL (*)(win::MEMORYSTATUSEX*);
    auto ex = k ? reinterpret_cast<StatusEx>(win::GetProcAddress(k, "GlobalMemoryStatusEx")) : nullptr;
    if (ex) {
        win::MEMORYSTATUSEX s;
        if (ex(&s)) {
            const uint64_t v = Available ? s.ullAvailPhys : s.ullTotalPhys;
            result = static_cast<int64_t>(std::min<uint64_t>(v, INT64_MAX));
        }
    } else {
        win::MEMORYSTATUS s;
        win::GlobalMemoryStatus(&s);
        result = Available ? s.dwAvailPhys : s.dwTotalPhys;
    }
    if (k) win::FreeLibrary(k);
    return result;
}

}  // namespace ie
