// Temporary-file storage of the image buffer, and the machine's physical memory.
//
// A TIEBitmap in the ieFile location keeps its rows in a temporary file owned by a
// TIEFileBuffer, which hands out memory copies of byte ranges and writes them back when
// they are released. Temporary files live in a folder private to the run (mode 0700,
// created on first use inside the temporary folder and removed when the program ends; a
// folder that a killed or crashed run left behind is removed by the next run that makes
// one, see platform/run_folder.h). Each file is created exclusively. A bitmap's file loses
// its name as soon as it is open, so that the system frees it with the last handle even
// when the process is killed.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "imaging/core/hyiedefs.h"
#include "platform/windef.h"

namespace ie {

// The temporary folder setting of the library (owned by the input/output unit): empty
// means the system's temporary folder.
extern cl::String IETempFolder;

// A file stream over a temporary file: created new and exclusively, for reading and
// writing, deleted when the handle closes.
class TIETemporaryFileStream : public cl::TStream {
    CL_DECLARE_CLASS(TIETemporaryFileStream, cl::TStream)
public:
    // EInOutError "Unable to create " + FileName when the file cannot be created (an
    // existing file of that name included). Anonymous: the name is removed as soon as the
    // file is open, so that nothing of it outlives the process, whichever way it ends;
    // otherwise the file keeps its name until the handle closes.
    explicit TIETemporaryFileStream(const cl::String& FileName, bool Anonymous = false);
    ~TIETemporaryFileStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, cl::TSeekOrigin origin) override;
    int64_t GetSize() override;
    // EStreamError when the file cannot take that size (a full disk).
    void SetSize(int64_t newSize) override;
    win::HANDLE Handle() const { return FHandle; }

private:
    win::HANDLE FHandle = nullptr;
};

class TIEFileBuffer : public cl::TObject {
    CL_DECLARE_CLASS(TIEFileBuffer, cl::TObject)
public:
    TIEFileBuffer() = default;
    ~TIEFileBuffer() override;

    bool IsAllocated() const { return FStream != nullptr; }
    // A new temporary file named Prefix-XXXXXXXX.tmp of Size bytes (UseFile False: a memory
    // stream instead), anonymous from the moment it is open (FileName keeps the name it
    // was made under). A buffer already allocated is freed first. False when the file
    // cannot be created or sized.
    bool AllocateFile(const cl::String& Prefix, bool UseFile, int64_t Size);
    // Releases every mapped range and closes the file, which frees it.
    void FreeFile();
    // A buffer of Size bytes for the range at Position, read from the file when Access has
    // ieaRead (otherwise its content is undefined). Null when Size is negative, the range
    // lies outside 64-bit offsets or the buffer cannot be had.
    void* Map(TIEBitmapAccess Access, int32_t Size, int64_t Position);
    // Writes the buffer back when it was mapped with ieaWrite, then frees it. A pointer that
    // was not handed out by Map is ignored.
    void Unmap(void* Buffer);
    void UnmapAll();
    // Copies Size bytes at Position of this file into Dest's file at the same position, in
    // chunks of at most 1 MiB (only when both are allocated).
    void CopyTo(TIEFileBuffer* Dest, int64_t Size, int64_t Position);

    const cl::String& FileName() const { return FFileName; }
    cl::TStream* Stream() const { return FStream.get(); }
    int32_t MappedCount() const { return static_cast<int32_t>(FMapped.size()); }

private:
    struct MappedRange {
        int64_t Position = 0;
        int32_t Size = 0;
        TIEBitmapAccess Access = 0;
        std::unique_ptr<uint8_t[]> Buffer;
    };
    void Release(size_t index);

    std::unique_ptr<cl::TStream> FStream;
    cl::String FFileName;
    std::vector<MappedRange> FMapped;
};

// Available physical memory when Available, total physical memory otherwise, in bytes.
int64_t IEGetPhysicalMemory(bool Available);

// Folder + Prefix + "-" + eight upper-case hexadecimal digits of Random(2147483647) +
// ".tmp", drawn again while a file of that name exists. Advances the shared random
// generator.
void IEUniqueTempFileName(const cl::String& Prefix, const cl::String& Folder, cl::String& Name);

// The folder temporary files of this run go to: a private folder (mode 0700) inside
// IETempFolder or the system's temporary folder, created on first call in a process (the
// stale run folders of that base are removed first); ends with "/". Empty when it cannot
// be created.
cl::String IERunTempFolder();

}  // namespace ie
