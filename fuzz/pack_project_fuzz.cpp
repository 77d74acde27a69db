// The packer's reading and rewriting of a project document, on any text: every file it
// names is placed at a made-up byte range.
#include <cstddef>
#include <cstdint>
#include <string>

#include "lumetra_pack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string doc(reinterpret_cast<const char*>(data), size);
    int64_t next = 100;
    try {
        lumetra_pack::RewriteProject(doc, "fuzz.xml", [&](lumetra_pack::ProjectFile, const std::string& name) {
            lumetra_pack::Range r{next, next + static_cast<int64_t>(name.size())};
            next = r.end;
            return r;
        });
    } catch (const lumetra_pack::PackError&) {
    }
    return 0;
}
