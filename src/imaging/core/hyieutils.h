// The core unit of the imaging library. Its parts are declared in the hyieutils_<part>.h
// headers, each built on its own; this header brings them all in.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "imaging/core/hyieutils_annot.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_blend.h"
#include "imaging/core/hyieutils_convert.h"
#include "imaging/core/hyieutils_dicomtags.h"
#include "imaging/core/hyieutils_encoders.h"
#include "imaging/core/hyieutils_exif.h"
#include "imaging/core/hyieutils_filebuffer.h"
#include "imaging/core/hyieutils_geometry.h"
#include "imaging/core/hyieutils_helpers.h"
#include "imaging/core/hyieutils_lists.h"
#include "imaging/core/hyieutils_markers.h"
#include "imaging/core/hyieutils_render.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/core/hyieutils_startup.h"
#include "imaging/core/hyieutils_streams.h"
#include "imaging/core/hyieutils_threadpool.h"
#include "imaging/core/hyieutils_tiff.h"
#include "imaging/core/hyieutils_xmp.h"
