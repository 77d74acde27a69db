// TStreamAdapter: an IStream over a TStream, for platform services that take streams
// (the imaging factory). It does not own the stream; the stream must outlive it.
#pragma once

#include "classlib/Classes.h"
#include "platform/com.h"

namespace cl {

class TStreamAdapter final : public win::TComObject<win::IStream> {
public:
    // A new adapter with one reference (the caller's).
    static win::ComPtr<TStreamAdapter> Create(TStream* Stream);

    win::HRESULT Read(void* Buffer, win::ULONG Count, win::ULONG* Done) override;
    win::HRESULT Write(const void* Buffer, win::ULONG Count, win::ULONG* Done) override;
    win::HRESULT Seek(win::LARGE_INTEGER Move, win::DWORD Origin, win::ULARGE_INTEGER* NewPosition) override;
    win::HRESULT Stat(win::STATSTG* Stat, win::DWORD Flag) override;

    TStream* GetStream() const { return FStream; }

protected:
    void* FindInterface(const win::IID& Iid) override;

private:
    explicit TStreamAdapter(TStream* Stream) : FStream(Stream) {}
    TStream* FStream;
};

}  // namespace cl
