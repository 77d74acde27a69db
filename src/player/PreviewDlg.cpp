#include "player/PreviewDlg.h"

#include "platform/user.h"
#include "player/PlayerConfig.h"
#include "player/PlayerRes.h"

namespace player {

TPreviewForm::TPreviewForm(cl::TComponent* AOwner) : cl::TForm(AOwner) {
    // No taskbar button for the preview: the application's own window is hidden.
    OnShow = [](cl::TObject*) {
        if (cl::Application) win::ShowWindow(cl::Application->GetHandle(), win::SW_HIDE);
    };
}

const cl::TFormTable* TPreviewForm::FormTable() const {
    static const cl::TFormTable table{{{"BorderStyle", "bsNone"},
                                       {"Caption", "Preview"},
                                       {"ClientWidth", 180},
                                       {"ClientHeight", 136},
                                       {"Position", "poDefault"}},
                                      {
                                          {"TImage",
                                           "Image1",
                                           "",
                                           {{"Align", "alClient"}, {"Stretch", true}},
                                           [](cl::TCustomForm* f, cl::TComponent* c) {
                                               auto* image = static_cast<cl::TImage*>(c);
                                               static_cast<TPreviewForm*>(f)->Image1 = image;
                                               LoadPictureResource(image->GetPicture(), kResPreviewPicture);
                                           }},
                                      }};
    return &table;
}

}  // namespace player
