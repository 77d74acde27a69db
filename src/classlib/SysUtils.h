// Run-time helpers of the class library: exceptions, number and string conversions,
// rounding, the shared random generator and file-name helpers.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace cl {

using String = std::string;  // UTF-8
using WideString = std::u16string;

// ---------------------------------------------------------------------------------------
// Exceptions. Every failure of the class library is one of these; all derive from
// std::exception and carry a UTF-8 message.

class Exception : public std::exception {
public:
    explicit Exception(String message) : Message(std::move(message)) {}
    template <class... Args>
    static Exception CreateFmt(std::string_view fmt, const Args&... args);

    const char* what() const noexcept override { return Message.c_str(); }
    virtual const char* ClassName() const noexcept { return "Exception"; }

    String Message;
};

#define CL_DECLARE_EXCEPTION(Name, Base)                                  \
    class Name : public Base {                                            \
    public:                                                               \
        using Base::Base;                                                 \
        const char* ClassName() const noexcept override { return #Name; } \
    }

CL_DECLARE_EXCEPTION(EAbort, Exception);
CL_DECLARE_EXCEPTION(EConvertError, Exception);
CL_DECLARE_EXCEPTION(EListError, Exception);
CL_DECLARE_EXCEPTION(EStringListError, EListError);
CL_DECLARE_EXCEPTION(EStreamError, Exception);
CL_DECLARE_EXCEPTION(EReadError, EStreamError);
CL_DECLARE_EXCEPTION(EWriteError, EStreamError);
CL_DECLARE_EXCEPTION(EFCreateError, EStreamError);
CL_DECLARE_EXCEPTION(EFOpenError, EStreamError);
CL_DECLARE_EXCEPTION(EFilerError, EStreamError);
CL_DECLARE_EXCEPTION(EClassNotFound, EFilerError);
CL_DECLARE_EXCEPTION(EResNotFound, Exception);
CL_DECLARE_EXCEPTION(EInOutError, Exception);
CL_DECLARE_EXCEPTION(EOutOfMemory, Exception);
CL_DECLARE_EXCEPTION(EInvalidGraphic, Exception);
CL_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception);
CL_DECLARE_EXCEPTION(EAssertionFailed, Exception);
CL_DECLARE_EXCEPTION(EInvalidCast, Exception);
CL_DECLARE_EXCEPTION(EInvalidOperation, Exception);
CL_DECLARE_EXCEPTION(EInvalidPointer, Exception);
CL_DECLARE_EXCEPTION(EComponentError, Exception);
CL_DECLARE_EXCEPTION(EThread, Exception);
CL_DECLARE_EXCEPTION(EOSError, Exception);

// Raises EAssertionFailed with `message` when `condition` is false (in every build).
void Assert(bool condition, const String& message = "Assertion failed");

// ---------------------------------------------------------------------------------------
// Formatting: %d %i %u %x %X %s %f %.nf %g %e %% with width, precision and the "-" flag.

struct FormatArg {
    enum class Kind { Int, UInt, Float, Str } kind;
    int64_t i = 0;
    uint64_t u = 0;
    double f = 0;
    String s;
    FormatArg(int v) : kind(Kind::Int), i(v) {}
    FormatArg(long v) : kind(Kind::Int), i(v) {}
    FormatArg(long long v) : kind(Kind::Int), i(v) {}
    FormatArg(unsigned v) : kind(Kind::UInt), u(v) {}
    FormatArg(unsigned long v) : kind(Kind::UInt), u(v) {}
    FormatArg(unsigned long long v) : kind(Kind::UInt), u(v) {}
    FormatArg(double v) : kind(Kind::Float), f(v) {}
    FormatArg(const char* v) : kind(Kind::Str), s(v ? v : "") {}
    FormatArg(const String& v) : kind(Kind::Str), s(v) {}
    FormatArg(std::string_view v) : kind(Kind::Str), s(v) {}
};

String FormatV(std::string_view fmt, const std::vector<FormatArg>& args);
template <class... Args>
String Format(std::string_view fmt, const Args&... args) {
    return FormatV(fmt, std::vector<FormatArg>{FormatArg(args)...});
}
template <class... Args>
Exception Exception::CreateFmt(std::string_view fmt, const Args&... args) {
    return Exception(Format(fmt, args...));
}

// ---------------------------------------------------------------------------------------
// Numbers.

// Nearest integer, halves to even.
int64_t Round(double x);
int64_t Trunc(double x);
double Frac(double x);
double Int(double x);
int64_t Ceil(double x);
int64_t Floor(double x);

String IntToStr(int64_t n);
String IntToHex(uint64_t n, int digits);
// Grammar: optional leading spaces, optional sign, then decimal digits, or "$"/"0x"/"0X"
// and hexadecimal digits; nothing after. Out of range fails.
bool TryStrToInt(std::string_view s, int32_t& value);
bool TryStrToInt64(std::string_view s, int64_t& value);
int32_t StrToInt(std::string_view s);    // EConvertError on failure
int64_t StrToInt64(std::string_view s);  // EConvertError on failure
int32_t StrToIntDef(std::string_view s, int32_t def);
int64_t StrToInt64Def(std::string_view s, int64_t def);
String BoolToStr(bool b, bool useBoolStrs = false);
// Converts up to `count` hex digit pairs; stops at the first invalid character and
// returns the number of bytes written.
int HexToBin(std::string_view text, uint8_t* buffer, int count);
String FloatToStr(double x);
bool TryStrToFloat(std::string_view s, double& value);
double StrToFloat(std::string_view s);

// ---------------------------------------------------------------------------------------
// The shared random generator: one 32-bit linear congruential generator for the whole
// program (state := state * 134775813 + 1). Updates are atomic.

uint32_t GetRandSeed();
void SetRandSeed(uint32_t seed);
// 0 .. n-1 (n <= 0 gives 0 and still advances the state).
int32_t Random(int32_t n);
// [0, 1).
double Random();
// Seeds the generator from the platform clock.
void Randomize();

// A generator of the same formula with a state of its own, for code that needs a repeatable
// sequence without moving the shared generator. Not synchronised: one owner at a time.
class TRandomSequence {
public:
    explicit TRandomSequence(uint32_t seed = 0) : Seed(seed) {}
    // As Random(n): 0 .. n-1, n <= 0 gives 0 and still advances the state.
    int32_t Random(int32_t n);
    uint32_t Seed;
};

// ---------------------------------------------------------------------------------------
// Strings (ASCII case rules; 1-based helpers for code ported literally).

String Trim(std::string_view s);
String TrimLeft(std::string_view s);
String TrimRight(std::string_view s);
String UpperCase(std::string_view s);
String LowerCase(std::string_view s);
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
String Copy(std::string_view s, int64_t index, int64_t count);
int64_t Pos(std::string_view sub, std::string_view s);
String QuotedStr(std::string_view s);
bool IsValidIdent(std::string_view s);

// ---------------------------------------------------------------------------------------
// Files and paths ("/" separated, UTF-8).

constexpr char PathDelim = '/';
bool FileExists(const String& name);
bool DirectoryExists(const String& name);
bool DeleteFile(const String& name);
bool RenameFile(const String& oldName, const String& newName);
bool CreateDir(const String& name);
bool ForceDirectories(const String& name);
String ExtractFilePath(const String& name);
String ExtractFileName(const String& name);
String ExtractFileExt(const String& name);
String ChangeFileExt(const String& name, const String& ext);
String ExpandFileName(const String& name);
String IncludeTrailingPathDelimiter(const String& s);
// English text for a system error code (the errno it came from).
String SysErrorMessage(int code);

}  // namespace cl
