// Windows metafiles (with or without the placeable header) and enhanced metafiles: the
// records are read from a stream and played onto a device context scaled to any size.
// The records played are the drawing of lines, polygons, rectangles and ellipses with
// pens and solid or hollow brushes, under the window and viewport mapping; the others
// are skipped.
#pragma once

#include <cstdint>
#include <vector>

#include "classlib/Classes.h"
#include "platform/windef.h"

namespace ie {

class TIEMetafile {
public:
    // Reads the whole metafile from Stream's position; False (and an empty metafile) when
    // the data is no metafile or a record does not fit.
    bool LoadFromStream(cl::TStream* Stream);
    bool LoadFromBytes(const uint8_t* Data, size_t Size);
    // True for an enhanced metafile.
    bool GetEnhanced() const { return FEnhanced; }
    // The picture's size in pixels (0 x 0 when empty).
    int32_t GetWidth() const { return FWidth; }
    int32_t GetHeight() const { return FHeight; }
    void SetWidth(int32_t Value) { FWidth = Value; }
    void SetHeight(int32_t Value) { FHeight = Value; }
    // Plays the records onto DC, the picture's frame mapped to (0, 0) - (Width, Height).
    void Draw(win::HDC DC) const;

private:
    void Clear();
    bool ParseEMF(const uint8_t* Data, size_t Size);
    bool ParseWMF(const uint8_t* Data, size_t Size);

    bool FEnhanced = false;
    int32_t FWidth = 0, FHeight = 0;
    // The picture's frame in logical units (its own coordinates).
    int32_t FLeft = 0, FTop = 0, FRight = 0, FBottom = 0;
    std::vector<uint8_t> FData;  // the records
    size_t FFirstRecord = 0;
};

}  // namespace ie
