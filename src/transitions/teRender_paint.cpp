// The control paint registry: per control class, how its frame and client area are painted
// into a foreign device context, and the paint-query messages by which a window states its
// own wishes.
#include <memory>

#include "classlib/Controls.h"
#include "platform/user.h"
#include "transitions/teRender.h"
#include "transitions/teRender_internal.h"

namespace te {

namespace {

TTERegControls* gRegistry = nullptr;

constexpr uint32_t kFrameMask = 0x1FFF;
constexpr uint32_t kClientMask = 0xFFF00000;

}  // namespace

TTERegControls::TTERegControls() {
    Duplicates = cl::dupError;
    SetSorted(false);
    SetCaseSensitive(false);
}

TTERegControls::~TTERegControls() {
    for (int i = 0; i < GetCount(); ++i) delete Objects(i);
    Clear();
}

void TTERegControls::Lookup(const cl::TClass* ControlClass, TTERegControl& Entry) const {
    if (!ControlClass) return;
    for (int i = 0; i < GetCount(); ++i) {
        for (const cl::TClass* c = ControlClass; c && c->Parent; c = c->Parent) {
            if (cl::SameText(Strings(i), c->Name)) {
                Entry.CopyFrom(*static_cast<TTERegControl*>(Objects(i)));
                return;
            }
        }
    }
}

void TTERegControls::Store(const cl::String& ClassName, uint32_t Flags, TTEPaintCallback ClientCallback,
                           TTEPaintCallback FrameCallback) {
    int i = IndexOf(ClassName);
    if (i >= 0) {
        auto* e = static_cast<TTERegControl*>(Objects(i));
        e->Flags = Flags;
        e->ClientCallback = ClientCallback;
        e->FrameCallback = FrameCallback;
        return;
    }
    auto entry = std::make_unique<TTERegControl>(Flags, ClientCallback, FrameCallback);
    InsertObject(0, ClassName, entry.get());
    entry.release();
}

TTERegControls* RegControls() { return gRegistry; }

uint32_t PaintFlagsOf(uint32_t FrameKind, uint32_t ClientKind, bool RefreshFrame, bool RedrawClient) {
    uint32_t flags = 0;
    if ((FrameKind & 0x10000000) && ThemesActive()) flags |= 0x80;
    if (FrameKind & 0x20000000) flags |= 0x4;
    if (FrameKind & 0x40000000) flags |= 0x1000;
    uint32_t frame = FrameKind & ~0x70000000u;
    if (frame != 0x80000000u) {
        flags |= 0x1;
        switch (frame) {
            case 1: flags |= 0x10; break;
            case 2: flags |= 0x8; break;
            case 3: flags |= 0x20; break;
            case 4: flags |= 0x40; break;
            case 5: flags |= 0x100 | 0x4; break;
            default: break;
        }
    }
    if (ClientKind & 0x20000000) flags |= 0x400000;
    if (ClientKind & 0x40000000) flags |= 0x80000000u;
    uint32_t client = ClientKind & ~0x60000000u;
    if (client != 0x80000000u) {
        flags |= 0x100000;
        switch (client) {
            case 1: flags |= 0x1000000; break;
            case 2: flags |= 0x800000; break;
            case 3: flags |= 0x2000000; break;
            case 4: flags |= 0x4000000; break;
            case 5: flags |= 0x8000000 | 0x400000; break;
            default: break;
        }
    }
    if (RefreshFrame) flags |= 0x2;
    if (RedrawClient) flags |= 0x200000;
    return flags;
}

void RegisterControlPaintEx(const cl::String& ClassName, uint32_t FrameKind, uint32_t ClientKind,
                            TTEPaintCallback ClientCallback, TTEPaintCallback FrameCallback, bool RedrawClient,
                            bool RefreshFrame) {
    if (!gRegistry) return;
    uint32_t flags = PaintFlagsOf(FrameKind, ClientKind, RefreshFrame, RedrawClient);
    if ((FrameKind & ~0x70000000u) != 4) FrameCallback = nullptr;
    if ((ClientKind & ~0x60000000u) != 4) ClientCallback = nullptr;
    gRegistry->Store(ClassName, flags, ClientCallback, FrameCallback);
}

void RegisterControlPaint(const cl::String& ClassName, uint32_t FrameKind, uint32_t ClientKind, bool RefreshFrame,
                          bool RedrawClient) {
    RegisterControlPaintEx(ClassName, FrameKind, ClientKind, nullptr, nullptr, RedrawClient, RefreshFrame);
}

uint32_t QueryPaintMessages(win::HWND Wnd) {
    if (win::SendMessageA(Wnd, CM_TEPAINTWHOLE, 0, TEPaintRequest) == TEPaintInstead) return 0x180001;
    uint32_t q = 0;
    switch (win::SendMessageA(Wnd, CM_TEPAINTFRAME, 0, TEPaintRequest)) {
        case TEPaintBefore: q = 0x201; break;
        case TEPaintInstead: q = 0x401; break;
        case TEPaintAfter: q = 0x801; break;
        default: break;
    }
    switch (win::SendMessageA(Wnd, CM_TEPAINTCLIENT, 0, TEPaintRequest)) {
        case TEPaintBefore: q |= 0x10100000; break;
        case TEPaintInstead: q |= 0x20100000; break;
        case TEPaintAfter: q |= 0x40100000; break;
        default: break;
    }
    return q;
}

uint32_t AdjustPaintFlags(cl::TControl* Control, uint32_t Flags) {
    bool focused = Control && Control->Is<cl::TWinControl>() && static_cast<cl::TWinControl*>(Control)->Focused();
    if ((Flags & (0x100 | 0x8000000)) && focused) {
        if (Flags & 0x100) Flags = (Flags & ~0x100u) | 0x800000;
        if (Flags & 0x8000000) Flags = (Flags & ~0x8000000u) | 0x1000000;
    }
    const cl::TClass& cls = Control->ClassType();
    if ((Flags & kClientMask) == 0x100000)
        Flags |= cl::FindMessageHandlerClass(cls, win::WM_PRINT) ? 0x800000 : 0x1000000;
    if ((Flags & kFrameMask) == 0x1) {
        const cl::TClass* n = cl::FindMessageHandlerClass(cls, win::WM_NCPAINT);
        const cl::TClass* p = cl::FindMessageHandlerClass(cls, win::WM_PRINT);
        if (!n)
            Flags |= 0x8;
        else if (cl::SameText(n->Name, "TWinControl"))
            Flags |= 0x20;
        else if (!p || !p->InheritsFrom(*n))
            Flags |= 0x8 | 0x2;
        else
            Flags |= 0x8;
    }
    return Flags;
}

void ResolveControlPaint(win::HWND Wnd, cl::TControl* Control, TTERegControl& Entry) {
    Entry.Clear();
    if (Control) {
        if (gRegistry) gRegistry->Lookup(&Control->ClassType(), Entry);
        uint32_t q = QueryPaintMessages(Wnd);
        if (q & 0x80000) {
            Entry.Flags = q;
            return;
        }
        uint32_t frame = q & kFrameMask;
        if (frame) {
            if (q & (0x200 | 0x800))
                Entry.Flags |= frame;
            else
                Entry.Flags = (Entry.Flags & ~kFrameMask) | frame;
        }
        uint32_t client = q & kClientMask;
        if (client) {
            if (q & (0x10000000 | 0x40000000))
                Entry.Flags |= client;
            else
                Entry.Flags = (Entry.Flags & ~kClientMask) | client;
        }
        Entry.Flags = AdjustPaintFlags(Control, Entry.Flags);
        return;
    }
    uint32_t q = QueryPaintMessages(Wnd);
    Entry.Flags = q;
    if ((q & kFrameMask) == 0) Entry.Flags |= 0x9;
    if ((q & kClientMask) == 0) Entry.Flags |= 0x1100000;
}

void CreatePaintRegistry() {
    delete gRegistry;
    gRegistry = new TTERegControls();
    RegisterControlPaint("TControl", 2, 1, false, false);
    RegisterControlPaint("TAnimate", 2, 2, false, true);
    RegisterControlPaint("TToolBar", 2, 1, true, false);
    RegisterControlPaint("TOleControl", 0x80000000u, 0x40000003, true, true);
    if (MiddleEastLocale) RegisterControlPaint("TCustomGrid", 2, 0x40000001, false, false);
    RegisterControlPaint("TCustomEdit", 0x10000003, 2, false, false);
    RegisterControlPaint("TCustomListControl", 0x10000003, 2, true, false);
    RegisterControlPaint("TCommonCalendar", 0x10000003, 2, false, false);
    RegisterControlPaintEx("TCustomRichEdit", ThemesActive() ? 0x10000003u : 2u, 4,
                           RichEditMajorVersion() >= 5 ? &PaintRichEditFormattedErase : &PaintRichEditOld, nullptr,
                           false, false);
    RegisterControlPaint("TCustomListBox", 0x10000003, 2, false, false);
    RegisterControlPaint("TCheckListBox", 0x10000003, 0x40000002, false, false);
    RegisterControlPaint("TdxInplaceEdit", 5, 5, false, false);
    RegisterControlPaint("TCustomdxBarControl", 1, 0x40000001, true, false);
    RegisterControlPaint("TCustomdxTreeList", 1, 0x40000001, true, false);
    RegisterControlPaint("TcxGridSite", 2, 0x40000001, false, false);
    RegisterControlPaint("TwwDBGrid", 2, 1, false, false);
    RegisterControlPaint("TwwCustomMaskEdit", 2, 0x20000001, false, false);
    RegisterControlPaintEx("TwwCustomRichEdit", 4, 4, &PaintFramedRichEdit, &PaintFramedRichEdit, false, false);
    RegisterControlPaint("TWPCustomRTFControl", 2, 2, false, false);
    RegisterControlPaint("TVirtualStringTree", 1, 2, false, false);
}

void FreePaintRegistry() {
    delete gRegistry;
    gRegistry = nullptr;
}

}  // namespace te
