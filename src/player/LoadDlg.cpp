#include "player/LoadDlg.h"

#include "player/PlayerConfig.h"
#include "player/PlayerRes.h"

namespace player {

TLoadForm::TLoadForm(cl::TComponent* AOwner) : cl::TForm(AOwner) {}

const cl::TFormTable* TLoadForm::FormTable() const {
    static const cl::TFormTable table{{{"BorderStyle", "bsDialog"},
                                       {"Caption", "Загрузка..."},
                                       {"ClientWidth", 423},
                                       {"ClientHeight", 80},
                                       {"Position", "poScreenCenter"},
                                       {"Color", "clBtnFace"}},
                                      {
                                          {"TImage",
                                           "Image1",
                                           "",
                                           {{"Left", 16}, {"Top", 16}, {"Width", 48}, {"Height", 48}},
                                           [](cl::TCustomForm* f, cl::TComponent* c) {
                                               auto* image = static_cast<cl::TImage*>(c);
                                               static_cast<TLoadForm*>(f)->Image1 = image;
                                               LoadPictureResource(image->GetPicture(), kResLoadingPicture);
                                           }},
                                          {"TLabel",
                                           "Label1",
                                           "",
                                           {{"Left", 80},
                                            {"Top", 32},
                                            {"Caption", "Пожалуйста подождите, идет подготовка к просмотру..."},
                                            {"Font.Name", "Arial"},
                                            {"Font.Height", -13}},
                                           [](cl::TCustomForm* f, cl::TComponent* c) {
                                               static_cast<TLoadForm*>(f)->Label1 = static_cast<cl::TLabel*>(c);
                                           }},
                                      }};
    return &table;
}

}  // namespace player
