// In-place editing of text and memo objects, the view's keys and focus, and the painting
// that switches to fast drawing while a mouse button is held.
//
// A text is edited in a single-line TIEEdit, a memo in the rich-text TIETextControl; both are
// hidden children of the view, placed over the edited object while it is edited. The memo
// editor borrows the object's text and style records and gives them back at the end, so only
// the object whose data an editor holds (FEditorObject) ever gets text back.
#include <mutex>
#include <utility>

#include "imaging/core/hyieutils_encoders.h"
#include "imaging/view/vovozidvect.h"
#include "platform/codepage.h"
#include "platform/gdi.h"
#include "platform/user.h"

namespace ie {

namespace {

int32_t Trunc(double V) { return static_cast<int32_t>(V); }

cl::String FaceName(const win::LOGFONTA& Font) {
    return cl::String(Font.lfFaceName, strnlen(Font.lfFaceName, sizeof(Font.lfFaceName)));
}

int32_t ObjFontHeight(const TIEVObjRecord& Obj) { return Obj.Font ? Obj.Font->lfHeight : -13; }

// The shift state of a key message's data: Alt from the context bit, Shift and Ctrl from the
// keyboard.
cl::TShiftState KeyDataShiftState(intptr_t KeyData) {
    cl::TShiftState shift = 0;
    if (win::GetKeyState(win::VK_SHIFT) & 0x8000) shift |= cl::ssShift;
    if (win::GetKeyState(win::VK_CONTROL) & 0x8000) shift |= cl::ssCtrl;
    if (static_cast<uint32_t>(KeyData) & 0x20000000u) shift |= cl::ssAlt;
    return shift;
}

void RegisterVectMessages() {
    static std::once_flag once;
    std::call_once(once, [] {
        const cl::TClass& C = TVovozIdVect::StaticClass();
        cl::RegisterMessageHandler(
            C, win::WM_KEYDOWN, [](cl::TObject* s, cl::TMessage& m) { static_cast<TVovozIdVect*>(s)->WMKeyDown(m); });
        cl::RegisterMessageHandler(C, win::WM_GETDLGCODE, [](cl::TObject* s, cl::TMessage& m) {
            static_cast<TVovozIdVect*>(s)->WMGetDlgCode(m);
        });
        cl::RegisterMessageHandler(
            C, win::WM_SETFOCUS, [](cl::TObject* s, cl::TMessage& m) { static_cast<TVovozIdVect*>(s)->WMSetFocus(m); });
        cl::RegisterMessageHandler(C, win::WM_KILLFOCUS, [](cl::TObject* s, cl::TMessage& m) {
            static_cast<TVovozIdVect*>(s)->WMKillFocus(m);
        });
    });
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The editors and the timer

void TVovozIdVect::InitTextEditing() {
    RegisterVectMessages();
    FTextEditor = std::make_unique<TIEEdit>(nullptr);
    FTextEditor->SetVisible(false);
    FMemoEditor = std::make_unique<TIETextControl>(nullptr);
    FMemoEditor->SetVisible(false);
    FMemoEditor->SetCursor(cl::crIBeam);
}

void TVovozIdVect::DoneTextEditing() {
    FDestroying = true;
    EndTextEdit();
    FEditing = -1;
    FRedrawTimer.reset();
    FTextEditor.reset();
    FMemoEditor.reset();
}

cl::TNotifyEvent TVovozIdVect::GetOnTextEditCursorMoved() const {
    return FMemoEditor ? FMemoEditor->OnCursorMoved : cl::TNotifyEvent();
}

void TVovozIdVect::SetOnTextEditCursorMoved(cl::TNotifyEvent Value) {
    if (FMemoEditor) FMemoEditor->OnCursorMoved = std::move(Value);
}

void TVovozIdVect::ApplyLanguageCharset() {
    const win::WORD language = win::PRIMARYLANGID(win::GetSystemDefaultLangID());
    win::BYTE charset = 0;
    if (language == win::LANG_GREEK)
        charset = win::GREEK_CHARSET;
    else if (language == win::LANG_RUSSIAN)
        charset = win::RUSSIAN_CHARSET;
    else
        return;
    GetFont()->SetCharset(charset);
    // The editors draw with fonts of their own: they take the character set too.
    FTextEditor->GetFont()->SetCharset(charset);
    FMemoEditor->GetDefaultFont()->SetCharset(charset);
}

// ---------------------------------------------------------------------------------------
// Starting and ending

void TVovozIdVect::StartTextEdit() {
    if (FEditing < 0 || !FTextEditor) return;
    const int32_t h = FEditing;
    // An edit still in progress gives its text back to its own object first.
    if (FEditorObject >= 0) {
        EndTextEdit();
        FEditing = h;
    }
    TIEVObjRecord* obj = GetObjRecord(h);
    if (!obj || (obj->Kind != ievkTEXT && obj->Kind != ievkMEMO) || !obj->TextEditable) {
        FEditing = -1;
        return;
    }
    FEditorObject = h;
    FEditorIsMemo = obj->Kind == ievkMEMO;
    if (!FEditorIsMemo) {
        TIEEdit* e = FTextEditor.get();
        e->SetParent(this);
        e->SetAutoSize(false);
        e->Border = false;
        e->Ctl3D = false;
        UpdateTextEditors();
        ApplyLanguageCharset();
        e->OnKeyDown = [this](cl::TObject* Sender, uint16_t& Key, cl::TShiftState Shift) {
            TextEditKeyPress(Sender, Key, Shift);
        };
        e->OnChange = [this](cl::TObject* Sender) { TextEditChange(Sender); };
        e->SetText(obj->Text);
        e->Show();
        if (e->CanFocus()) e->SetFocus();
    } else {
        TIETextControl* m = FMemoEditor.get();
        // The editor draws over the image where its fill lets it through.
        m->BackgroundBitmap = GetBackBuffer();
        m->SetParent(this);
        UpdateTextEditors();
        ApplyLanguageCharset();
        m->OnKeyDown = [this](cl::TObject* Sender, uint16_t& Key, cl::TShiftState Shift) {
            MemoEditKeyPress(Sender, Key, Shift);
        };
        m->TextBuffer = std::move(obj->Text);
        m->StyleList = std::make_unique<TIECharStyles>(std::move(obj->MemoStyles));
        m->CharStyles = std::move(obj->MemoCharStyles);
        obj->Text.clear();
        obj->MemoStyles.clear();
        obj->MemoCharStyles.clear();
        m->ResetText();
        m->Show();
        if (m->CanFocus()) m->SetFocus();
    }
    // The painter leaves the edited object to the editor.
    Update();
    if (OnActivateTextEdit) OnActivateTextEdit(this);
}

void TVovozIdVect::EndTextEdit() {
    const int32_t h = FEditorObject;
    if (h < 0) return;
    FEditorObject = -1;
    TIEVObjRecord* obj = GetObjRecord(h);
    const bool destroying = FDestroying || HasState(cl::csDestroying);
    if (!FEditorIsMemo) {
        TIEEdit* e = FTextEditor.get();
        if (obj) {
            obj->Text = e->GetText();
            if (!destroying && obj->AutoSize) {
                cl::TCanvas* canvas = GetCanvas();
                canvas->GetFont()->Assign(e->GetFont());
                obj->X2 = obj->X1 + Trunc(canvas->TextWidth(obj->Text) / (GetZoomX() / 100.0));
            }
        }
        e->Hide();
    } else {
        TIETextControl* m = FMemoEditor.get();
        if (obj) {
            if (!destroying && obj->AutoSize) obj->Y2 = obj->Y1 + Trunc(m->GetClientHeight() / (GetZoomY() / 100.0));
            obj->Text = std::move(m->TextBuffer);
            obj->MemoStyles = m->StyleList ? std::move(*m->StyleList) : TIECharStyles();
            obj->MemoCharStyles = std::move(m->CharStyles);
            // One style index per character.
            obj->MemoCharStyles.resize(obj->Text.size(), 0);
        }
        m->TextBuffer.clear();
        m->StyleList.reset();
        m->CharStyles.clear();
        m->ResetText();
        m->BackgroundBitmap = nullptr;
        m->Hide();
    }
    if (OnDeactivateTextEdit) OnDeactivateTextEdit(this);
    if (!destroying && CanFocus()) SetFocus();
    DoVectorialChanged();
}

void TVovozIdVect::CancelTextEdit() {
    if (FEditing < 0 && FEditorObject < 0) return;
    EndTextEdit();
    FEditing = -1;
    Update();
}

void TVovozIdVect::UpdateTextEditors() {
    if (FEditing < 0 || FEditorObject < 0 || !FTextEditor) return;
    TIEVObjRecord* obj = GetObjRecord(FEditorObject);
    if (!obj) return;
    const int32_t L = BitmapToClientX(obj->X1), T = BitmapToClientY(obj->Y1);
    const int32_t R = BitmapToClientX(obj->X2), B = BitmapToClientY(obj->Y2);
    const double zoomY = GetZoomY() / 100.0;
    const int32_t lfHeight = ObjFontHeight(*obj);
    if (!FEditorIsMemo) {
        TIEEdit* e = FTextEditor.get();
        e->SetBounds(L, T, R - L, B - T);
        cl::TFont* font = e->GetFont();
        font->SetColor(obj->PenColor);
        e->SetColor(obj->BrushStyle != cl::bsSolid ? GetBackground() : obj->BrushColor);
        font->SetHeight(lfHeight != 0 ? Trunc(lfHeight * zoomY) : B - T);
        if (obj->Font) font->SetName(FaceName(*obj->Font));
        font->SetStyle(GetObjFontStyles(FEditorObject));
        return;
    }
    TIETextControl* m = FMemoEditor.get();
    m->SetBounds(L, T, R - L + 1, B - T + 1);
    for (int i = 0; i < 4; ++i) m->TextMargins[i] = obj->MemoMargins[i];
    cl::TFont* font = m->GetDefaultFont();
    if (obj->Font) font->SetName(FaceName(*obj->Font));
    font->SetStyle(GetObjFontStyles(FEditorObject));
    font->SetColor(obj->PenColor);
    font->SetHeight(lfHeight);
    m->GetCharBackBrush()->SetColor(obj->BrushColor);
    m->GetCharBackBrush()->SetStyle(static_cast<cl::TBrushStyle>(obj->MemoFillStyle));
    m->DefaultAlignment = obj->TextAlign;
    m->GetFillBrush()->SetColor(obj->BrushColor);
    m->GetFillBrush()->SetStyle(static_cast<cl::TBrushStyle>(obj->BrushStyle));
    if (m->GetSingleStyle() != obj->MemoFixedFont) m->SetSingleStyle(obj->MemoFixedFont);
    m->AutoGrow = obj->AutoSize;
    m->LineSpacing = obj->MemoLineSpacing;
    m->GetFramePen()->SetColor(obj->MemoBorderColor);
    m->GetFramePen()->SetStyle(static_cast<cl::TPenStyle>(obj->MemoBorderStyle));
    m->FixedLineHeight = obj->MemoLineHeight;
    m->TextZoom = zoomY;
    m->Update();
}

void TVovozIdVect::DoViewChange(int32_t Change) {
    TVovozIdView::DoViewChange(Change);
    if (IsEditingText()) UpdateTextEditors();
}

// ---------------------------------------------------------------------------------------
// The editors' handlers

void TVovozIdVect::TextEditChange(cl::TObject* Sender) {
    (void)Sender;
    TIEVObjRecord* obj = FEditorObject >= 0 ? GetObjRecord(FEditorObject) : nullptr;
    if (!obj || !obj->AutoSize) return;
    TIEEdit* e = FTextEditor.get();
    cl::TCanvas* canvas = GetCanvas();
    canvas->GetFont()->Assign(e->GetFont());
    const int32_t width = canvas->TextWidth(e->GetText());
    e->SetWidth(width);
    // Room for the next character while typing.
    obj->X2 = obj->X1 + Trunc((width + canvas->TextWidth("M")) / (GetZoomX() / 100.0));
    Update();
}

void TVovozIdVect::TextEditKeyPress(cl::TObject* Sender, uint16_t& Key, cl::TShiftState Shift) {
    if (OnTextKeyDown) OnTextKeyDown(Sender, Key, Shift);
    if (Key == win::VK_RETURN) {
        Key = 0;
        CancelInteraction();
        DoVectorialChanged();
    } else if (Key == win::VK_ESCAPE) {
        Key = 0;
        FTextEditor->Perform(win::WM_UNDO);
        CancelInteraction();
    }
}

void TVovozIdVect::MemoEditKeyPress(cl::TObject* Sender, uint16_t& Key, cl::TShiftState Shift) {
    if (OnTextKeyDown) OnTextKeyDown(Sender, Key, Shift);
    if (Key == win::VK_ESCAPE) {
        Key = 0;
        CancelInteraction();
    }
}

// ---------------------------------------------------------------------------------------
// Keys and focus

void TVovozIdVect::KeyDown(uint16_t& Key, cl::TShiftState Shift) {
    if (Key == win::VK_ESCAPE) {
        CancelTextEdit();
    } else if (Key == win::VK_F2 && !FSelection.empty()) {
        const int32_t h = FSelection.front();
        const TIEVObjRecord* obj = GetObjRecord(h);
        if (obj && (obj->Kind == ievkTEXT || obj->Kind == ievkMEMO)) {
            FEditing = h;
            StartTextEdit();
        }
    }
    TVovozIdView::KeyDown(Key, Shift);
}

void TVovozIdVect::WMKeyDown(cl::TMessage& Message) {
    cl::InheritedDispatch(TVovozIdVect::StaticClass(), this, Message);
    if (FSelection.size() != 1) return;
    TIEVObjRecord* obj = GetObjRecord(FSelection.front());
    if (obj && obj->Kind == ievkEXTENDED && obj->ExtObject)
        obj->ExtObject->KeyDown(static_cast<uint16_t>(Message.WParam), KeyDataShiftState(Message.LParam));
}

void TVovozIdVect::WMGetDlgCode(cl::TMessage& Message) { Message.Result = win::DLGC_WANTARROWS | win::DLGC_WANTCHARS; }

void TVovozIdVect::WMSetFocus(cl::TMessage& Message) {
    cl::InheritedDispatch(TVovozIdVect::StaticClass(), this, Message);
    if (IsEditingText() && FMemoEditor) {
        if (FMemoEditor->GetVisible() && FMemoEditor->CanFocus())
            FMemoEditor->SetFocus();
        else if (FTextEditor->GetVisible() && FTextEditor->CanFocus())
            FTextEditor->SetFocus();
    }
    Invalidate();
}

void TVovozIdVect::WMKillFocus(cl::TMessage& Message) {
    cl::InheritedDispatch(TVovozIdVect::StaticClass(), this, Message);
    Invalidate();
}

// ---------------------------------------------------------------------------------------
// Painting and fast drawing

void TVovozIdVect::Paint() {
    if (!(FastPending && FastDrawWhileDragging) && IEIsPrimaryButtonDown() &&
        !(FRedrawTimer && FRedrawTimer->GetEnabled())) {
        if (!FRedrawTimer) {
            FRedrawTimer = std::make_unique<cl::TTimer>(nullptr);
            FRedrawTimer->SetEnabled(false);
            FRedrawTimer->SetInterval(50);
            FRedrawTimer->SetOnTimer([this](cl::TObject* Sender) { DelayedRedrawTimer(Sender); });
        }
        FastPending = true;
        FRedrawTimer->SetEnabled(true);
    }
    TVovozIdView::Paint();
    // The back buffer may have been made anew for the memo editor's background.
    if (FMemoEditor && FMemoEditor->BackgroundBitmap) FMemoEditor->BackgroundBitmap = GetBackBuffer();
    // The pixels under the measure hint were painted over.
    if (FHintSaved) FHintSaved->SetWidth(1);
    if (GetFilterDelayCount() == 0) ShowMeasureHint(FMouseX, FMouseY);
}

void TVovozIdVect::DelayedRedrawTimer(cl::TObject* Sender) {
    (void)Sender;
    // The same button that started the fast drawing (the right one with swapped buttons).
    if (IEIsPrimaryButtonDown()) return;
    if (FRedrawTimer) FRedrawTimer->SetEnabled(false);
    FastPending = false;
    Update();
}

}  // namespace ie
