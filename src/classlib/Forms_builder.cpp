// Setting published properties from the text of a form table.
#include <cerrno>
#include <cstdlib>

#include "classlib/Forms.h"
#include "classlib/TypInfo.h"

namespace cl {

namespace {

struct Ident {
    const char* name;
    int64_t value;
};

// clang-format off
const Ident kColors[] = {
    {"clBlack", clBlack},       {"clMaroon", clMaroon},       {"clGreen", clGreen},
    {"clOlive", clOlive},       {"clNavy", clNavy},           {"clPurple", clPurple},
    {"clTeal", clTeal},         {"clGray", clGray},           {"clSilver", clSilver},
    {"clRed", clRed},           {"clLime", clLime},           {"clYellow", clYellow},
    {"clBlue", clBlue},         {"clFuchsia", clFuchsia},     {"clAqua", clAqua},
    {"clWhite", clWhite},       {"clNone", clNone},           {"clDefault", clDefault},
    {"clScrollBar", clScrollBar}, {"clBackground", clBackground}, {"clActiveCaption", clActiveCaption},
    {"clInactiveCaption", clInactiveCaption}, {"clMenu", clMenu}, {"clWindow", clWindow},
    {"clWindowFrame", clWindowFrame}, {"clMenuText", clMenuText}, {"clWindowText", clWindowText},
    {"clCaptionText", clCaptionText}, {"clActiveBorder", clActiveBorder}, {"clInactiveBorder", clInactiveBorder},
    {"clAppWorkSpace", clAppWorkSpace}, {"clHighlight", clHighlight}, {"clHighlightText", clHighlightText},
    {"clBtnFace", clBtnFace},   {"clBtnShadow", clBtnShadow}, {"clGrayText", clGrayText},
    {"clBtnText", clBtnText},   {"clInactiveCaptionText", clInactiveCaptionText},
    {"clBtnHighlight", clBtnHighlight}, {"cl3DDkShadow", cl3DDkShadow}, {"cl3DLight", cl3DLight},
    {"clInfoText", clInfoText}, {"clInfoBk", clInfoBk},
};
// clang-format on

// clang-format off
const Ident kCursors[] = {
    {"crDefault", crDefault},   {"crNone", crNone},         {"crArrow", crArrow},     {"crCross", crCross},
    {"crIBeam", crIBeam},       {"crSizeNESW", crSizeNESW}, {"crSizeNS", crSizeNS},   {"crSizeNWSE", crSizeNWSE},
    {"crSizeWE", crSizeWE},     {"crUpArrow", crUpArrow},   {"crHourGlass", crHourGlass}, {"crNo", crNo},
    {"crAppStart", crAppStart}, {"crHelp", crHelp},         {"crHandPoint", crHandPoint}, {"crSizeAll", crSizeAll},
};
// clang-format on

// Element names of set types whose table entry does not list them.
const std::vector<String>* KnownSetNames(const String& typeName) {
    static const std::vector<String> fontStyles{"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
    if (SameText(typeName, "TFontStyles")) return &fontStyles;
    return nullptr;
}

bool ParseInt(const String& text, int64_t& out) {
    String t = Trim(text);
    if (t.empty()) return false;
    const char* s = t.c_str();
    char* end = nullptr;
    int base = 10;
    bool neg = false;
    if (*s == '-') {
        neg = true;
        ++s;
    }
    if (*s == '$') {
        base = 16;
        ++s;
    } else if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s += 2;
    }
    if (!*s) return false;
    errno = 0;
    unsigned long long v = std::strtoull(s, &end, base);
    if (*end || errno) return false;
    out = neg ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    return true;
}

int64_t OrdinalFromText(PPropInfo info, const String& value) {
    int64_t v = 0;
    if (info->Kind == tkEnumeration) {
        int64_t e = GetEnumValue(info, Trim(value));
        if (e >= 0) return e;
        if (ParseInt(value, v)) return v;
        throw EConvertError(Format("'%s' is not a valid value of %s", value, info->TypeName));
    }
    if (info->Kind == tkSet) {
        const std::vector<String>* names = info->EnumNames.empty() ? KnownSetNames(info->TypeName) : &info->EnumNames;
        String t = Trim(value);
        if (ParseInt(t, v)) return v;
        if (t.size() < 2 || t.front() != '[' || t.back() != ']')
            throw EConvertError(Format("'%s' is not a valid set of %s", value, info->TypeName));
        String inner = t.substr(1, t.size() - 2);
        size_t pos = 0;
        while (pos <= inner.size()) {
            size_t comma = inner.find(',', pos);
            String item = Trim(inner.substr(pos, comma == String::npos ? String::npos : comma - pos));
            if (!item.empty()) {
                bool found = false;
                if (names)
                    for (size_t i = 0; i < names->size(); ++i)
                        if (SameText((*names)[i], item)) {
                            v |= int64_t{1} << i;
                            found = true;
                        }
                if (!found) throw EConvertError(Format("'%s' is not an element of %s", item, info->TypeName));
            }
            if (comma == String::npos) break;
            pos = comma + 1;
        }
        return v;
    }
    if (ParseInt(value, v)) return v;
    if (SameText(info->TypeName, "TColor"))
        for (const Ident& c : kColors)
            if (SameText(c.name, Trim(value))) return c.value;
    if (SameText(info->TypeName, "TCursor"))
        for (const Ident& c : kCursors)
            if (SameText(c.name, Trim(value))) return c.value;
    if (SameText(Trim(value), "True")) return 1;
    if (SameText(Trim(value), "False")) return 0;
    throw EConvertError(Format("'%s' is not a valid integer value", value));
}

}  // namespace

void SetPropertyText(TObject* Instance, const String& Path, const String& Value, TComponent* Lookup) {
    if (!Instance) throw EPropertyError(Format("No object for property %s", Path));
    size_t dot = Path.find('.');
    if (dot != String::npos) {
        String head = Path.substr(0, dot);
        PPropInfo info = GetPropInfo(Instance, head);
        if (!info || info->Kind != tkClass || !info->GetObject)
            throw EPropertyError(Format("Property %s does not exist", head));
        SetPropertyText(info->GetObject(Instance), Path.substr(dot + 1), Value, Lookup);
        return;
    }
    PPropInfo info = GetPropInfo(Instance, Path);
    if (!info && Instance->Is<TComponent>() && SameText(Path, "Tag")) {
        int64_t v = 0;
        if (!ParseInt(Value, v)) throw EConvertError(Format("'%s' is not a valid integer value", Value));
        static_cast<TComponent*>(Instance)->Tag = static_cast<intptr_t>(v);
        return;
    }
    if (!info) throw EPropertyError(Format("Property %s does not exist", Path));
    switch (info->Kind) {
        case tkInteger:
        case tkChar:
        case tkWChar:
        case tkEnumeration:
        case tkSet:
        case tkInt64:
            if (!info->SetOrd) throw EPropertyError(Format("Property %s is read-only", Path));
            info->SetOrd(Instance, OrdinalFromText(info, Value));
            return;
        case tkFloat:
            if (!info->SetFloat) throw EPropertyError(Format("Property %s is read-only", Path));
            info->SetFloat(Instance, StrToFloat(Value));
            return;
        case tkString:
        case tkLString:
        case tkWString:
            if (!info->SetStr) throw EPropertyError(Format("Property %s is read-only", Path));
            info->SetStr(Instance, Value);
            return;
        case tkClass: {
            if (!info->SetObject) throw EPropertyError(Format("Property %s is read-only", Path));
            TObject* target = nullptr;
            if (!Trim(Value).empty()) {
                target = Lookup ? Lookup->FindComponent(Trim(Value)) : nullptr;
                if (!target) throw EPropertyError(Format("Component %s not found for property %s", Value, Path));
            }
            info->SetObject(Instance, target);
            return;
        }
        default: throw EPropertyError(Format("Property %s cannot be set from a table", Path));
    }
}

}  // namespace cl
