#include "imaging/core/a.h"
#include "imaging/io/vovozidio.h"
