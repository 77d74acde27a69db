// The address rules of URL loading on any text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/io/vovozidio_url.h"
#include "platform/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string url(reinterpret_cast<const char*>(data), size);
    ie::TIEURLParts parts;
    if (!ie::IEParseURL(url, parts)) {
        // A refused address fails before any connection is tried, and says why (when it is
        // still refused after the trip through UTF-16 that the download makes).
        const std::u16string wide = win::Utf8ToUtf16(url);
        if (ie::IEParseURL(win::Utf16ToUtf8(wide), parts)) return 0;
        cl::TMemoryStream stream;
        cl::String type, error;
        if (ie::IEDownloadURL(wide, &stream, u"", type, nullptr, nullptr, nullptr, nullptr, u"", u"",
                              &error))
            __builtin_trap();
        if (error.rfind("Address refused: ", 0) != 0 || stream.GetSize() != 0) __builtin_trap();
        return 0;
    }
    // What is accepted has a scheme, a host, a port a socket can use and an absolute path.
    if (parts.Kind < 1 || parts.Kind > 3) __builtin_trap();
    if (parts.Host.empty() || parts.Host.find_first_of("/@ ") != std::string::npos) __builtin_trap();
    if (parts.Port < 1 || parts.Port > 65535) __builtin_trap();
    if (parts.Path.empty() || parts.Path[0] != '/') __builtin_trap();
    return 0;
}
