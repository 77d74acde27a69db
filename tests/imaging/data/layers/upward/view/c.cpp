#include "imaging/io/vovozidio.h"
