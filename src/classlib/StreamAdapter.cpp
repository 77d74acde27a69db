// The IStream adapter over a TStream. Stream errors become failure results: nothing
// raised by the stream leaves a COM call.
#include "classlib/StreamAdapter.h"

#include <exception>

namespace cl {

win::ComPtr<TStreamAdapter> TStreamAdapter::Create(TStream* Stream) {
    return win::ComPtr<TStreamAdapter>::Attach(new TStreamAdapter(Stream));
}

void* TStreamAdapter::FindInterface(const win::IID& Iid) {
    if (Iid == win::IID_IUnknown || Iid == win::IID_IStream) return static_cast<win::IStream*>(this);
    return nullptr;
}

win::HRESULT TStreamAdapter::Read(void* Buffer, win::ULONG Count, win::ULONG* Done) {
    if (Done) *Done = 0;
    if (!Buffer && Count) return win::E_POINTER;
    try {
        int64_t total = 0;
        while (total < Count) {
            const int64_t n = FStream->Read(static_cast<uint8_t*>(Buffer) + total, Count - total);
            if (n <= 0) break;
            total += n;
        }
        if (Done) *Done = static_cast<win::ULONG>(total);
        return total == Count ? win::S_OK : win::S_FALSE;
    } catch (const std::exception&) {
        return win::STG_E_READFAULT;
    }
}

win::HRESULT TStreamAdapter::Write(const void* Buffer, win::ULONG Count, win::ULONG* Done) {
    if (Done) *Done = 0;
    if (!Buffer && Count) return win::E_POINTER;
    try {
        const int64_t n = Count ? FStream->Write(Buffer, Count) : 0;
        if (Done) *Done = static_cast<win::ULONG>(n > 0 ? n : 0);
        return n == Count ? win::S_OK : win::STG_E_WRITEFAULT;
    } catch (const std::exception&) {
        return win::STG_E_WRITEFAULT;
    }
}

win::HRESULT TStreamAdapter::Seek(win::LARGE_INTEGER Move, win::DWORD Origin, win::ULARGE_INTEGER* NewPosition) {
    if (Origin > win::STREAM_SEEK_END) return win::STG_E_INVALIDFUNCTION;
    try {
        const int64_t p = FStream->Seek(Move.QuadPart, static_cast<TSeekOrigin>(Origin));
        if (NewPosition) NewPosition->QuadPart = static_cast<win::ULONGLONG>(p);
        return win::S_OK;
    } catch (const std::exception&) {
        return win::STG_E_INVALIDFUNCTION;
    }
}

win::HRESULT TStreamAdapter::Stat(win::STATSTG* Stat, win::DWORD) {
    if (!Stat) return win::E_POINTER;
    try {
        Stat->cbSize.QuadPart = static_cast<win::ULONGLONG>(FStream->GetSize());
        return win::S_OK;
    } catch (const std::exception&) {
        return win::STG_E_READFAULT;
    }
}

}  // namespace cl
