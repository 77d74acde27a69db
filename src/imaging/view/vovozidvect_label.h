// The text of an angle object's label, as the vector view writes it at the vertex.
#pragma once

#include <cstdint>

#include "classlib/SysUtils.h"

namespace ie {

// Degrees in fixed notation with Precision and Digits (as IEFloatToStrF), followed by the
// degree sign "°" in UTF-8, the encoding every text drawing of the library takes.
cl::String IEVectAngleLabel(double Degrees, int32_t Precision, int32_t Digits);

}  // namespace ie
