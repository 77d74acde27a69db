// The rich-text control's paste of a styled-text clipboard block on any bytes: the block (also
// offered as plain text) is pasted into a windowless control, which lays the text out and
// draws it, copies it all back to the clipboard and packs its style records. A block that
// does not hold its text and one 280-byte record per character is pasted as plain text.
// Seeds in corpus/ietextmemo: "two.bin" two characters with their two records, "short.bin"
// the same with the second record cut off, "text.bin" a text without records, "wide.bin" a
// line feed, a UTF-8 character and a broken byte with records whose fields are out of range
// (written by a few lines of Python packing the 280-byte record: use count, length-prefixed
// face, height, style, colours, brush style, alignment).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "classlib/Graphics.h"
#include "imaging/view/iegdiplus.h"
#include "imaging/view/ietextc.h"
#include "platform/gdi.h"
#include "platform/gdi_testhooks.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

void Offer(win::UINT format, const uint8_t* data, size_t size) {
    win::HGLOBAL h = win::GlobalAlloc(win::GMEM_MOVEABLE, size ? size : 1);
    if (!h) return;
    if (size) std::memcpy(win::GlobalLock(h), data, size);
    win::GlobalUnlock(h);
    if (!win::SetClipboardData(format, h)) win::GlobalFree(h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool once = [] {
        win::test::UseTestFont(true);
        ie::IETextCStaticInit();
        return true;
    }();
    (void)once;
    if (!win::OpenClipboard(nullptr)) return 0;
    win::EmptyClipboard();
    Offer(ie::IETextMemoClipboardFormat, data, size);
    Offer(win::CF_TEXT, data, size);
    win::CloseClipboard();

    ie::TIETextControl control(nullptr);
    control.TextBuffer = "ab";
    control.ResetText();
    control.SetCaretIndex(1);
    control.PasteFromClipboard();
    control.SelectionStart = 1;
    control.SelectionEnd = control.GetTextLength();
    control.ToggleFontStyle(0);

    cl::TBitmap bitmap;
    bitmap.SetPixelFormat(cl::pf24bit);
    bitmap.SetSize(120, 60);
    {
        ie::TIECanvas canvas(bitmap.GetCanvas(), false, false);
        control.LayoutAndDraw(&canvas, 0, 0, 120, 60);
        control.TextZoom = 1.5;
        control.ClearMetrics(0, control.GetTextLength());
        control.LayoutAndDraw(&canvas, 2, 3, 80, 40);
    }
    control.SelectionStart = 0;
    control.SelectionEnd = control.GetTextLength();
    control.CopyToClipboard();
    control.DeleteSelection();
    control.PackStyles();
    return 0;
}
