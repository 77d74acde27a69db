// The address rules of URL loading on any text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/io/vovozidio_url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string url(reinterpret_cast<const char*>(data), size);
    ie::TIEURLParts parts;
    if (!ie::IEParseURL(url, parts)) return 0;
    // What is accepted has a scheme, a host, a port a socket can use and an absolute path.
    if (parts.Kind < 1 || parts.Kind > 3) __builtin_trap();
    if (parts.Host.empty() || parts.Host.find_first_of("/@ ") != std::string::npos) __builtin_trap();
    if (parts.Port < 1 || parts.Port > 65535) __builtin_trap();
    if (parts.Path.empty() || parts.Path[0] != '/') __builtin_trap();
    return 0;
}
