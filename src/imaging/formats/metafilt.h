// Content probes of Windows metafiles and enhanced metafiles: the format detection asks
// them whether a stream holds one. The pictures themselves are read elsewhere.
#pragma once

#include "classlib/Classes.h"

namespace ie {

// An enhanced metafile: the header record (type 1) whose signature field at byte 40
// holds " EMF". A stream with fewer than 100 bytes left is none. Restores the position.
bool IEIsEMFStream(cl::TStream* Stream);
// A Windows metafile, with or without the 22-byte placeable header in front: the
// metafile header's type 1, header size 9 words and parameter count 0. A stream too short
// for the headers is none. Restores the position.
bool IEIsWMFStream(cl::TStream* Stream);

// The engine's entries of the two formats (ioWMF, ioEMF): their probes.
void IEMetafileRegisterFormats();

}  // namespace ie
