// The About box: the product's name, a description and two links.
#pragma once

#include <string>

#include "classlib/ExtCtrls.h"
#include "classlib/Forms.h"
#include "classlib/StdCtrls.h"

namespace player {

// Asks the shell to open URL with the verb "open"; the result is not looked at.
void OpenURL(const std::string& URL);

class TAboutForm : public cl::TForm {
    CL_DECLARE_COMPONENT(TAboutForm, cl::TForm)
public:
    explicit TAboutForm(cl::TComponent* AOwner);
    const cl::TFormTable* FormTable() const override;

    cl::TImage* Image1 = nullptr;
    cl::TShape* Shape1 = nullptr;
    cl::TImage* IconImage = nullptr;
    cl::TLabel* Label1 = nullptr;
    cl::TLabel* Label3 = nullptr;
    cl::TLabel* Label4 = nullptr;
    cl::TLabel* Label8 = nullptr;
    cl::TLabel* Label9 = nullptr;
    cl::TButton* Button1 = nullptr;
};

}  // namespace player
