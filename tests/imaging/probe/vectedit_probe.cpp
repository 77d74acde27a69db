// A program for the in-place text editing test on a real X screen: a form holding a vector
// view whose picture is 0x3366CC, with one selected, empty text object at bitmap (20, 20) -
// (120, 60) in black centred text of the fixed-metric test font on a white box. The view has the
// focus. Says "shown" on stdout when the form is up, "editing" when the editor opens, and "text=..." with the object's text
// every time the objects change; runs until it is ended.
#include <cstdio>
#include <cstring>

#include "classlib/Forms.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_startup.h"
#include "imaging/view/vovozidvect.h"
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
    ie::IELibraryStaticInit();
    auto* form = cl::NewForm<cl::TForm>(cl::Application);
    form->SetBounds(40, 40, 360, 200);
    form->SetCaption("Vector text");
    auto* view = new ie::TVovozIdVect(form);
    view->SetBorderStyle(cl::bsNone);
    view->SetParent(form);
    view->SetBounds(20, 20, 240, 140);
    ie::TIEBitmap* pic = view->GetIEBitmap();
    pic->Allocate(240, 140, ie::ie24RGB);
    for (int y = 0; y < 140; ++y) {
        auto* row = static_cast<uint8_t*>(pic->GetScanline(y));
        for (int x = 0; x < 240; ++x) row[3 * x] = 0xCC, row[3 * x + 1] = 0x66, row[3 * x + 2] = 0x33;
    }
    ie::TIEVObjRecord text;
    text.Kind = ie::ievkTEXT;
    text.X1 = 20, text.Y1 = 20, text.X2 = 120, text.Y2 = 60;
    text.TextAlign = 2;
    text.PenColor = cl::clBlack;
    text.PenStyle = cl::psClear;
    text.BrushColor = cl::clWhite;
    text.BrushStyle = cl::bsSolid;
    win::LOGFONTA lf{};
    lf.lfHeight = -13;
    std::strcpy(lf.lfFaceName, "Arial");
    text.Font = lf;
    const int32_t h = view->AddObjectCopy(text);
    view->SelectObject(h);
    view->Update();
    view->OnVectorialChanged = [view, h](cl::TObject*) {
        std::printf("text=%s\n", view->GetObjRecord(h)->Text.c_str());
        std::fflush(stdout);
    };
    view->OnActivateTextEdit = [](cl::TObject*) {
        std::printf("editing\n");
        std::fflush(stdout);
    };
    form->OnShow = [view](cl::TObject*) {
        view->SetFocus();
        std::printf("shown\n");
        std::fflush(stdout);
    };
    form->ShowModal();
    delete form;
    ie::IELibraryStaticFinal();
    cl::ControlsShutDown();
    win::PlatformShutDown();
    return 0;
}
