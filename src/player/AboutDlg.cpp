#include "player/AboutDlg.h"

#include "platform/shell.h"
#include "platform/user.h"
#include "player/PlayerConfig.h"
#include "player/PlayerRes.h"

namespace player {

void OpenURL(const std::string& URL) {
    win::ShellExecuteA(nullptr, "open", URL.c_str(), nullptr, nullptr, win::SW_SHOWNORMAL);
}

TAboutForm::TAboutForm(cl::TComponent* AOwner) : cl::TForm(AOwner) {
    OnCreate = [this](cl::TObject*) {
        if (cl::Application && IconImage) IconImage->GetPicture()->Assign(cl::Application->GetIcon());
    };
}

namespace {

template <class T, T* TAboutForm::*Field>
void Keep(cl::TCustomForm* f, cl::TComponent* c) {
    static_cast<TAboutForm*>(f)->*Field = static_cast<T*>(c);
}

// The texts of the box, in the product's words.
const char* kText3 = "Данная экранная заставка создана с помощью программы Lumetra.";
const char* kText4 =
    "Lumetra - это новая программа для создания музыкальных слайд-шоу с красивыми эффектами переходов. "
    "Позволяет добавлять неограниченное число фотографий, вставлять подписи и титры, использовать темы "
    "оформления и многое другое. Подготовленные слайд-шоу можно сохранить в виде EXE-файла, скринсейвера "
    "или видео.";

std::vector<cl::TFormProp> LabelFont(std::vector<cl::TFormProp> props) {
    props.push_back({"Font.Name", "Arial"});
    props.push_back({"Font.Height", -13});
    props.push_back({"Transparent", true});
    return props;
}

std::vector<cl::TFormProp> LinkFont(std::vector<cl::TFormProp> props) {
    props = LabelFont(std::move(props));
    props.push_back({"Font.Color", "clBlue"});
    props.push_back({"Font.Style", "[fsBold,fsUnderline]"});
    props.push_back({"Cursor", "crHandPoint"});
    return props;
}

}  // namespace

const cl::TFormTable* TAboutForm::FormTable() const {
    static const cl::TFormTable table{
        {{"BorderStyle", "bsDialog"},
         {"Caption", "О программе..."},
         {"ClientWidth", 550},
         {"ClientHeight", 390},
         {"Position", "poScreenCenter"}},
        {
            {"TImage",
             "Image1",
             "",
             {{"Left", 0}, {"Top", 0}, {"AutoSize", true}},
             [](cl::TCustomForm* f, cl::TComponent* c) {
                 Keep<cl::TImage, &TAboutForm::Image1>(f, c);
                 LoadPictureResource(static_cast<cl::TImage*>(c)->GetPicture(), kResAboutPicture);
             }},
            {"TShape",
             "Shape1",
             "",
             {{"Left", 0},
              {"Top", 336},
              {"Width", 550},
              {"Height", 5},
              {"Brush.Color", 12615680},
              {"Pen.Color", 12615680}},
             Keep<cl::TShape, &TAboutForm::Shape1>},
            {"TImage",
             "IconImage",
             "",
             {{"Left", 32}, {"Top", 136}, {"Width", 32}, {"Height", 32}},
             Keep<cl::TImage, &TAboutForm::IconImage>},
            {"TLabel", "Label1", "",
             LabelFont({{"Left", 89}, {"Top", 136}, {"Caption", "Lumetra"}, {"Font.Style", "[fsBold]"}}),
             Keep<cl::TLabel, &TAboutForm::Label1>},
            {"TLabel", "Label3", "", LabelFont({{"Left", 89}, {"Top", 162}, {"Caption", kText3}}),
             Keep<cl::TLabel, &TAboutForm::Label3>},
            {"TLabel", "Label4", "",
             LabelFont({{"Left", 88},
                        {"Top", 194},
                        {"Width", 449},
                        {"Height", 87},
                        {"AutoSize", false},
                        {"WordWrap", true},
                        {"Caption", kText4}}),
             Keep<cl::TLabel, &TAboutForm::Label4>},
            {"TLabel", "Label8", "", LinkFont({{"Left", 89}, {"Top", 300}, {"Caption", "Сайт программы"}}),
             [](cl::TCustomForm* f, cl::TComponent* c) {
                 Keep<cl::TLabel, &TAboutForm::Label8>(f, c);
                 static_cast<cl::TLabel*>(c)->OnClick = [](cl::TObject*) { OpenURL(kProductSiteURL); };
             }},
            {"TLabel", "Label9", "", LinkFont({{"Left", 369}, {"Top", 300}, {"Caption", "Техническая поддержка"}}),
             [](cl::TCustomForm* f, cl::TComponent* c) {
                 Keep<cl::TLabel, &TAboutForm::Label9>(f, c);
                 static_cast<cl::TLabel*>(c)->OnClick = [](cl::TObject*) { OpenURL(kSupportURL); };
             }},
            {"TButton",
             "Button1",
             "",
             {{"Left", 440},
              {"Top", 352},
              {"Width", 91},
              {"Height", 25},
              {"Caption", "Закрыть"},
              {"Default", true},
              {"Cancel", true}},
             [](cl::TCustomForm* f, cl::TComponent* c) {
                 Keep<cl::TButton, &TAboutForm::Button1>(f, c);
                 static_cast<cl::TButton*>(c)->OnClick = [f](cl::TObject*) { f->Close(); };
             }},
        }};
    return &table;
}

}  // namespace player
