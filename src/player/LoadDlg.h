// The loading window: shown while the show window reads its slideshow.
#pragma once

#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"

namespace player {

class TLoadForm : public cl::TForm {
    CL_DECLARE_COMPONENT(TLoadForm, cl::TForm)
public:
    explicit TLoadForm(cl::TComponent* AOwner);
    const cl::TFormTable* FormTable() const override;

    cl::TImage* Image1 = nullptr;
    cl::TLabel* Label1 = nullptr;
};

}  // namespace player
