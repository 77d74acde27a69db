// The table of the built-in formats' codecs (see vovozidio_codecs.cpp).
#pragma once

#include <cstdint>

#include "imaging/io/vovozidio_registry.h"

namespace ie {

// Fills the registry's built-in entries with the operations of the codecs in the table;
// the number of entries filled. Run by the unit's start-up after the registry is built.
int32_t IEBindBuiltInCodecs();

}  // namespace ie
