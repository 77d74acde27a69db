// TIEStreamReader: reads a stored structure from a stream up to a bound, checking every read,
// count and length against the bytes left before that bound, so that a damaged or lying
// stream raises before anything is allocated for what it claims. The layers stream, the
// vector objects and the layer undo records read through it.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/Classes.h"

namespace ie {

class TIEStreamReader {
public:
    // Reads from the stream's position to its end. A failed check raises cl::EReadError whose
    // message is ErrorPrefix followed by the name of what was being read.
    TIEStreamReader(cl::TStream* Stream, cl::String ErrorPrefix);
    // The same, reading no further than the position End.
    TIEStreamReader(cl::TStream* Stream, cl::String ErrorPrefix, int64_t End);

    // The position the reader stops at (the stream's size when no bound was given).
    int64_t GetEnd() const { return FEnd; }
    // The bytes from the stream's position to the bound; negative when the position is past it.
    int64_t Left() { return FEnd - FStream->GetPosition(); }

    // Reads exactly Count bytes; a negative Count or one beyond the bytes left raises.
    void Bytes(void* Buffer, int64_t Count, const char* What);
    template <typename T>
    T Get(const char* What) {
        T v{};
        Bytes(&v, sizeof(T), What);
        return v;
    }
    // One byte, true unless 0.
    bool GetBool(const char* What) { return Get<uint8_t>(What) != 0; }
    // A 32-bit count of items of ItemSize bytes each (taken as 1 when less): raises when negative
    // or when the bytes left cannot hold that many items.
    int32_t Count(int64_t ItemSize, const char* What);
    // A 32-bit byte length: a count of single bytes.
    int32_t Length(const char* What) { return Count(1, What); }
    // A byte string stored as its 32-bit length and its bytes.
    std::string Str(const char* What);

    // Raises the reader's error for What.
    [[noreturn]] void Fail(const char* What) const;

private:
    cl::TStream* FStream;
    cl::String FErrorPrefix;
    int64_t FEnd;
};

// The writing side of such structures: values as their bytes in memory, a bool as one byte
// (1 or 0), a byte string as its 32-bit length and its bytes. Each raises cl::EWriteError
// when the stream takes fewer bytes.
template <typename T>
void IEPut(cl::TStream* Stream, const T& Value) {
    Stream->WriteBuffer(&Value, sizeof(T));
}
inline void IEPutBool(cl::TStream* Stream, bool Value) { IEPut<uint8_t>(Stream, Value ? 1 : 0); }
void IEPutStr(cl::TStream* Stream, const std::string& S);

}  // namespace ie
