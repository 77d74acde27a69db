// A program for the rich-text control's test on a real X screen: a form holding an empty,
// focused rich-text control whose fill, frame and character background are 0x3366CC, with
// black text in the fixed-metric test font; says "shown" on stdout when the form is up and
// runs until it is ended.
#include <cstdio>

#include "classlib/Forms.h"
#include "imaging/view/ietextc.h"
#include "platform/gdi.h"
#include "platform/gdi_testhooks.h"
#include "platform/signals.h"
#include "platform/user.h"

int main() {
    win::InstallTerminationSignals();
    win::PlatformStartUp();
    win::test::UseTestFont(true);
    cl::ControlsStartUp();
    cl::Application->Initialize();
    ie::IETextCStaticInit();
    auto* form = cl::NewForm<cl::TForm>(cl::Application);
    form->SetBounds(40, 40, 320, 140);
    form->SetCaption("Rich text");
    auto* text = new ie::TIETextControl(form);
    text->SetParent(form);
    text->SetBounds(20, 20, 240, 60);
    const cl::TColor fill = 0xCC6633;  // 0x3366CC on the screen
    text->GetFillBrush()->SetColor(fill);
    text->GetFramePen()->SetColor(fill);
    text->GetCharBackBrush()->SetColor(fill);
    text->GetDefaultFont()->SetColor(cl::clBlack);
    text->ResetText();
    form->OnShow = [text](cl::TObject*) {
        text->SetFocus();
        std::printf("shown\n");
        std::fflush(stdout);
    };
    form->ShowModal();
    delete form;
    cl::ControlsShutDown();
    win::PlatformShutDown();
    return 0;
}
