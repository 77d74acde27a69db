#include "imaging/core/a.h"
