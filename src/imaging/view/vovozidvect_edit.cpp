// In-place editing of text and memo objects, the view's keys and focus.

#include "imaging/view/vovozidvect.h"

namespace ie {

void TVovozIdVect::StartTextEdit() {
    if (FEditing < 0) return;
    InPlaceEditedObject = FEditing;
}

void TVovozIdVect::EndTextEdit() {
    if (FEditing < 0) return;
    InPlaceEditedObject = IEV_NO_OBJECT;
}

}  // namespace ie
