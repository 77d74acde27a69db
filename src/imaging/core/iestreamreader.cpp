// The bounded stream reader.
#include "imaging/core/iestreamreader.h"

#include <utility>

namespace ie {

TIEStreamReader::TIEStreamReader(cl::TStream* Stream, cl::String ErrorPrefix)
    : FStream(Stream), FErrorPrefix(std::move(ErrorPrefix)), FEnd(Stream->GetSize()) {}

TIEStreamReader::TIEStreamReader(cl::TStream* Stream, cl::String ErrorPrefix, int64_t End)
    : FStream(Stream), FErrorPrefix(std::move(ErrorPrefix)), FEnd(End) {}

void TIEStreamReader::Fail(const char* What) const { throw cl::EReadError(FErrorPrefix + What); }

void TIEStreamReader::Bytes(void* Buffer, int64_t Count, const char* What) {
    if (Count < 0 || Count > Left()) Fail(What);
    if (Count > 0 && FStream->Read(Buffer, Count) != Count) Fail(What);
}

int32_t TIEStreamReader::Count(int64_t ItemSize, const char* What) {
    const int32_t n = Get<int32_t>(What);
    // Left is not negative once the count itself was read; dividing cannot overflow.
    if (n < 0 || n > Left() / (ItemSize > 1 ? ItemSize : 1)) Fail(What);
    return n;
}

std::string TIEStreamReader::Str(const char* What) {
    const int32_t n = Length(What);
    std::string s(static_cast<size_t>(n), '\0');
    Bytes(s.data(), n, What);
    return s;
}

void IEPutStr(cl::TStream* Stream, const std::string& S) {
    IEPut<int32_t>(Stream, static_cast<int32_t>(S.size()));
    if (!S.empty()) Stream->WriteBuffer(S.data(), static_cast<int64_t>(S.size()));
}

}  // namespace ie
