#include "classlib/SysUtils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>

#include "platform/clock.h"

namespace cl {

void Assert(bool condition, const String& message) {
    if (!condition) throw EAssertionFailed(message);
}

// ---------------------------------------------------------------------------------------

String FormatV(std::string_view fmt, const std::vector<FormatArg>& args) {
    String out;
    size_t next = 0;
    for (size_t i = 0; i < fmt.size(); ++i) {
        char c = fmt[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // %[-][width][.precision]type
        size_t j = i + 1;
        bool left = false;
        if (j < fmt.size() && fmt[j] == '-') {
            left = true;
            ++j;
        }
        int width = -1, precision = -1;
        while (j < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[j]))) {
            width = (width < 0 ? 0 : width) * 10 + (fmt[j] - '0');
            ++j;
        }
        if (j < fmt.size() && fmt[j] == '.') {
            ++j;
            precision = 0;
            while (j < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[j]))) {
                precision = precision * 10 + (fmt[j] - '0');
                ++j;
            }
        }
        if (j >= fmt.size())
            throw EConvertError(Format("Format '%s' invalid or incompatible with argument", String(fmt)));
        char type = fmt[j];
        if (next >= args.size())
            throw EConvertError("Format '" + String(fmt) + "' invalid or incompatible with argument");
        const FormatArg& a = args[next++];
        String piece;
        char buf[128];
        switch (type) {
            case 'd':
            case 'i':
            case 'u': {
                long long v =
                    a.kind == FormatArg::Kind::Int ? a.i
                    : a.kind == FormatArg::Kind::UInt
                        ? static_cast<long long>(a.u)
                        : throw EConvertError("Format '" + String(fmt) + "' invalid or incompatible with argument");
                if (type == 'u' && a.kind == FormatArg::Kind::Int)
                    v = static_cast<long long>(static_cast<uint32_t>(a.i));
                std::snprintf(buf, sizeof buf, "%lld", v);
                piece = buf;
                if (precision > static_cast<int>(piece.size())) piece.insert(0, precision - piece.size(), '0');
                break;
            }
            case 'x':
            case 'X': {
                unsigned long long v =
                    a.kind == FormatArg::Kind::UInt ? a.u
                    : a.kind == FormatArg::Kind::Int
                        ? static_cast<unsigned long long>(a.i)
                        : throw EConvertError("Format '" + String(fmt) + "' invalid or incompatible with argument");
                if (a.kind == FormatArg::Kind::Int && a.i >= INT32_MIN && a.i <= UINT32_MAX) v &= 0xFFFFFFFFull;
                std::snprintf(buf, sizeof buf, type == 'x' ? "%llx" : "%llX", v);
                piece = buf;
                if (precision > static_cast<int>(piece.size())) piece.insert(0, precision - piece.size(), '0');
                break;
            }
            case 's':
                if (a.kind != FormatArg::Kind::Str)
                    throw EConvertError("Format '" + String(fmt) + "' invalid or incompatible with argument");
                piece = precision >= 0 ? a.s.substr(0, precision) : a.s;
                break;
            case 'f':
            case 'g':
            case 'e': {
                double v = a.kind == FormatArg::Kind::Float ? a.f
                           : a.kind == FormatArg::Kind::Int ? static_cast<double>(a.i)
                                                            : static_cast<double>(a.u);
                char f[8] = {'%', '.', '*', type, 0};
                std::snprintf(buf, sizeof buf, f, precision < 0 ? (type == 'g' ? 15 : 2) : precision, v);
                piece = buf;
                break;
            }
            default: throw EConvertError("Format '" + String(fmt) + "' invalid or incompatible with argument");
        }
        if (width > static_cast<int>(piece.size())) {
            if (left)
                piece.append(width - piece.size(), ' ');
            else
                piece.insert(0, width - piece.size(), ' ');
        }
        out += piece;
        i = j;
    }
    return out;
}

// ---------------------------------------------------------------------------------------

int64_t Round(double x) { return static_cast<int64_t>(std::nearbyint(x)); }
int64_t Trunc(double x) { return static_cast<int64_t>(std::trunc(x)); }
double Frac(double x) { return x - std::trunc(x); }
double Int(double x) { return std::trunc(x); }
int64_t Ceil(double x) { return static_cast<int64_t>(std::ceil(x)); }
int64_t Floor(double x) { return static_cast<int64_t>(std::floor(x)); }

String IntToStr(int64_t n) { return std::to_string(n); }

String IntToHex(uint64_t n, int digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(n));
    String s = buf;
    if (digits > static_cast<int>(s.size())) s.insert(0, digits - s.size(), '0');
    return s;
}

bool TryStrToInt64(std::string_view s, int64_t& value) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return false;
    uint64_t mag = 0;
    const uint64_t limit = negative ? (uint64_t(1) << 63) : (base == 16 ? UINT64_MAX : uint64_t(INT64_MAX));
    for (; i < s.size(); ++i) {
        char c = s[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        if (mag > (limit - d) / base) return false;
        mag = mag * base + d;
    }
    // Hexadecimal texts may name the full 64-bit pattern (as "$FFFFFFFFFFFFFFFF" = -1).
    value = negative ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
    return true;
}

bool TryStrToInt(std::string_view s, int32_t& value) {
    int64_t v;
    if (!TryStrToInt64(s, v)) return false;
    // Hexadecimal 32-bit patterns ("$FFFFFFFF") are accepted as their signed value.
    bool hex = s.find('$') != std::string_view::npos || s.find("0x") != std::string_view::npos ||
               s.find("0X") != std::string_view::npos;
    if (hex && v >= 0 && v <= 0xFFFFFFFFll) {
        value = static_cast<int32_t>(static_cast<uint32_t>(v));
        return true;
    }
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int32_t>(v);
    return true;
}

int32_t StrToInt(std::string_view s) {
    int32_t v;
    if (!TryStrToInt(s, v)) throw EConvertError(Format("'%s' is not a valid integer value", String(s)));
    return v;
}

int64_t StrToInt64(std::string_view s) {
    int64_t v;
    if (!TryStrToInt64(s, v)) throw EConvertError(Format("'%s' is not a valid integer value", String(s)));
    return v;
}

int32_t StrToIntDef(std::string_view s, int32_t def) {
    int32_t v;
    return TryStrToInt(s, v) ? v : def;
}

int64_t StrToInt64Def(std::string_view s, int64_t def) {
    int64_t v;
    return TryStrToInt64(s, v) ? v : def;
}

String BoolToStr(bool b, bool useBoolStrs) {
    if (useBoolStrs) return b ? "True" : "False";
    return b ? "-1" : "0";
}

int HexToBin(std::string_view text, uint8_t* buffer, int count) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    int written = 0;
    for (size_t i = 0; written < count && i + 1 < text.size() + 1; i += 2) {
        if (i + 1 >= text.size()) break;
        int hi = digit(text[i]), lo = digit(text[i + 1]);
        if (hi < 0 || lo < 0) break;
        buffer[written++] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return written;
}

String FloatToStr(double x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", x);
    return buf;
}

bool TryStrToFloat(std::string_view s, double& value) {
    String t = Trim(s);
    if (t.empty()) return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || errno == ERANGE) return false;
    value = v;
    return true;
}

double StrToFloat(std::string_view s) {
    double v;
    if (!TryStrToFloat(s, v)) throw EConvertError(Format("'%s' is not a valid floating point value", String(s)));
    return v;
}

// ---------------------------------------------------------------------------------------

namespace {
std::mutex& RandomMutex() {
    static std::mutex m;
    return m;
}
uint32_t randSeed = 0;
}  // namespace

uint32_t GetRandSeed() {
    std::lock_guard<std::mutex> lock(RandomMutex());
    return randSeed;
}

void SetRandSeed(uint32_t seed) {
    std::lock_guard<std::mutex> lock(RandomMutex());
    randSeed = seed;
}

int32_t TRandomSequence::Random(int32_t n) {
    Seed = Seed * 134775813u + 1u;
    if (n <= 0) return 0;
    return static_cast<int32_t>((static_cast<uint64_t>(Seed) * static_cast<uint32_t>(n)) >> 32);
}

int32_t Random(int32_t n) {
    std::lock_guard<std::mutex> lock(RandomMutex());
    TRandomSequence shared(randSeed);
    int32_t r = shared.Random(n);
    randSeed = shared.Seed;
    return r;
}

double Random() {
    std::lock_guard<std::mutex> lock(RandomMutex());
    randSeed = randSeed * 134775813u + 1u;
    return static_cast<double>(randSeed) / 4294967296.0;
}

void Randomize() { SetRandSeed(win::ClockSeed()); }

// ---------------------------------------------------------------------------------------

String TrimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
    return String(s.substr(i));
}

String TrimRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && static_cast<unsigned char>(s[n - 1]) <= ' ') --n;
    return String(s.substr(0, n));
}

String Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

String UpperCase(std::string_view s) {
    String r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return r;
}

String LowerCase(std::string_view s) {
    String r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return r;
}

int CompareText(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x -= 32;
        if (y >= 'a' && y <= 'z') y -= 32;
        if (x != y) return static_cast<int>(x) - static_cast<int>(y);
    }
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

bool SameText(std::string_view a, std::string_view b) { return a.size() == b.size() && CompareText(a, b) == 0; }

String Copy(std::string_view s, int64_t index, int64_t count) {
    if (index < 1) index = 1;
    if (count <= 0 || index > static_cast<int64_t>(s.size())) return String();
    return String(s.substr(index - 1, count));
}

int64_t Pos(std::string_view sub, std::string_view s) {
    if (sub.empty()) return 0;
    size_t p = s.find(sub);
    return p == std::string_view::npos ? 0 : static_cast<int64_t>(p) + 1;
}

String QuotedStr(std::string_view s) {
    String r = "'";
    for (char c : s) {
        r += c;
        if (c == '\'') r += '\'';
    }
    return r + "'";
}

bool IsValidIdent(std::string_view s) {
    if (s.empty()) return false;
    auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
    if (!alpha(s[0])) return false;
    for (char c : s)
        if (!alpha(c) && !(c >= '0' && c <= '9')) return false;
    return true;
}

// ---------------------------------------------------------------------------------------

bool FileExists(const String& name) {
    struct stat st;
    return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const String& name) {
    struct stat st;
    return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const String& name) {
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(name.c_str()) == 0;
}

bool RenameFile(const String& oldName, const String& newName) {
    return ::rename(oldName.c_str(), newName.c_str()) == 0;
}

bool CreateDir(const String& name) { return ::mkdir(name.c_str(), 0777) == 0; }

bool ForceDirectories(const String& name) {
    if (name.empty()) return false;
    String path = name;
    while (path.size() > 1 && path.back() == PathDelim) path.pop_back();
    if (DirectoryExists(path)) return true;
    String parent = ExtractFilePath(path);
    if (!parent.empty() && parent != path + "/" && parent != "/" && !ForceDirectories(parent)) return false;
    return CreateDir(path) || DirectoryExists(path);
}

String ExtractFilePath(const String& name) {
    size_t p = name.rfind(PathDelim);
    return p == String::npos ? String() : name.substr(0, p + 1);
}

String ExtractFileName(const String& name) {
    size_t p = name.rfind(PathDelim);
    return p == String::npos ? name : name.substr(p + 1);
}

String ExtractFileExt(const String& name) {
    size_t slash = name.rfind(PathDelim);
    size_t dot = name.rfind('.');
    if (dot == String::npos || (slash != String::npos && dot < slash)) return String();
    return name.substr(dot);
}

String ChangeFileExt(const String& name, const String& ext) {
    String e = ExtractFileExt(name);
    return name.substr(0, name.size() - e.size()) + ext;
}

String ExpandFileName(const String& name) {
    String path = name;
    if (path.empty() || path[0] != PathDelim) {
        char buf[4096];
        if (::getcwd(buf, sizeof buf)) path = IncludeTrailingPathDelimiter(buf) + path;
    }
    std::vector<String> parts;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find(PathDelim, start);
        if (end == String::npos) end = path.size();
        String part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    String out;
    for (const auto& p : parts) out += "/" + p;
    if (out.empty()) out = "/";
    if (!name.empty() && name.back() == PathDelim && out != "/") out += "/";
    return out;
}

String IncludeTrailingPathDelimiter(const String& s) {
    if (!s.empty() && s.back() == PathDelim) return s;
    return s + PathDelim;
}

String SysErrorMessage(int code) {
    switch (code) {
        case 0: return "The operation completed successfully";
        case 2: return "The system cannot find the file specified";
        case 3: return "The system cannot find the path specified";
        case 5: return "Access is denied";
        case 6: return "The handle is invalid";
        case 8: return "Not enough storage is available to process this command";
        case 32: return "The process cannot access the file because it is being used by another process";
        case 80: return "The file exists";
        case 87: return "The parameter is incorrect";
        case 112: return "There is not enough space on the disk";
        case 183: return "Cannot create a file when that file already exists";
        default: return "System error " + std::to_string(code);
    }
}

}  // namespace cl
