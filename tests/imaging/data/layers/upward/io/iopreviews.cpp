#include "imaging/view/vovozidview.h"
