// The preview window: a fixed picture shown inside the window that the system hands over
// for a screensaver preview.
#pragma once

#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"

namespace player {

class TPreviewForm : public cl::TForm {
    CL_DECLARE_COMPONENT(TPreviewForm, cl::TForm)
public:
    explicit TPreviewForm(cl::TComponent* AOwner);
    const cl::TFormTable* FormTable() const override;

    cl::TImage* Image1 = nullptr;
};

}  // namespace player
