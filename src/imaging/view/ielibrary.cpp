#include "imaging/view/ielibrary.h"

#include "imaging/core/hyieutils_startup.h"
#include "imaging/io/vovozidio_startup.h"
#include "imaging/processing/vovozidproc.h"
#include "imaging/view/iegdiplus.h"
#include "imaging/view/ietextc.h"
#include "imaging/view/vovozidvect.h"
#include "imaging/view/vovozidview.h"
#include "imaging/view/vovozidview_stream.h"

namespace ie {

void IEViewRegisterFormats() {
    IELayersRegisterFormat();
    IEVectRegisterFormats();
}

void IEViewStartUp() {
    VovozIdViewStaticInit();
    IEViewRegisterFormats();
}

void IERegisterLibraryHooks() {
    IEGDIPlusRegisterStaticHooks();
    // The input/output unit also registers the preset pictures and the codecs' tables.
    VovozIdIORegisterHooks();
    VovozIdProcRegisterStaticHooks();
    // The view's start-up also registers its formats with the engine.
    IERegisterStaticHooks(iesuVovozIdView, IEViewStartUp, VovozIdViewStaticFinal);
    IETextCRegisterStaticHooks();
    IEVectRegisterStaticHooks();
}

void IEStartLibrary() {
    IERegisterLibraryHooks();
    IELibraryStaticInit();
}

void IEStopLibrary() { IELibraryStaticFinal(); }

}  // namespace ie
