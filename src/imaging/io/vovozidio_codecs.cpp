// The codecs of the built-in formats: each joins the library with one line of this table
// (its file type and its per-format operations), which the unit's start-up applies to the
// registry it has just built. Formats whose codecs are not part of the program have no
// line; their loads and saves fail with the abort flag.
#include "imaging/io/vovozidio_codecs.h"

#include <utility>
#include <vector>

#include "imaging/formats/iefmtcommon.h"

namespace ie {

namespace {

const std::vector<std::pair<int32_t, TIEFormatOps (*)()>>& BuiltInCodecs() {
    static const std::vector<std::pair<int32_t, TIEFormatOps (*)()>> table = {
        // {ioBMP, &IEBMPFormatOps},  -- one line per codec, in any order
    };
    return table;
}

}  // namespace

int32_t IEBindBuiltInCodecs() {
    int32_t bound = 0;
    for (const auto& [type, ops] : BuiltInCodecs())
        if (IESetFormatOps(type, ops())) ++bound;
    // The codecs of the formats folder register their own entries.
    IERegisterFormatsCodecs();
    return bound;
}

}  // namespace ie
