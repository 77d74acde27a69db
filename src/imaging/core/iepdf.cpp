#include "imaging/core/iepdf.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ie {

namespace {

void FreeUnlessShared(TIEPDFObject* O) {
    if (O && !O->OwnedElsewhere) delete O;
}

bool IsDelimiter(unsigned char C) { return std::strchr("()<>[]{}/%#", C) != nullptr && C != 0; }

}  // namespace

void IEWriteText(cl::TStream* Stream, const cl::String& S) {
    if (!S.empty()) Stream->WriteBuffer(S.data(), static_cast<int64_t>(S.size()));
}

void IEWriteTextLineLF(cl::TStream* Stream, const cl::String& S) {
    IEWriteText(Stream, S);
    IEWriteText(Stream, "\n");
}

cl::String IEPadLeft(const cl::String& S, int32_t Width, char PadChar) {
    if (static_cast<int64_t>(S.size()) >= Width) return S;
    return cl::String(static_cast<size_t>(Width) - S.size(), PadChar) + S;
}

cl::String IEPDFNumberText(double Value) {
    if (!std::isfinite(Value) || Value == 0) return "0";
    const double magnitude = std::floor(std::log10(std::fabs(Value)));
    char buf[400];
    if (magnitude >= 15) {
        // Nothing after the point: the 15 leading digits, then zeros up to the point. PDF
        // readers keep integers in 64 bits, so a number of 19 digits or more is written as
        // a real.
        std::snprintf(buf, sizeof(buf), "%.14e", Value);
        const cl::String e = buf;
        const size_t mark = e.find('e');
        const int exponent = std::atoi(e.c_str() + mark + 1);
        cl::String digits;
        for (size_t i = 0; i < mark; ++i)
            if (e[i] >= '0' && e[i] <= '9') digits += e[i];
        // Rounding the largest doubles up would pass the largest double: take the digit below.
        if (std::isinf(std::strtod(buf, nullptr))) {
            size_t k = digits.size();
            while (k > 0 && digits[k - 1] == '0') digits[--k] = '9';
            if (k > 0) --digits[k - 1];
        }
        digits.resize(static_cast<size_t>(exponent) + 1, '0');
        cl::String s = Value < 0 ? "-" + digits : digits;
        if (digits.size() >= 19) s += ".0";
        return s;
    }
    const int decimals = static_cast<int>(std::clamp(15.0 - (magnitude + 1), 0.0, 20.0));
    std::snprintf(buf, sizeof(buf), "%.*f", decimals, Value);
    cl::String s = buf;
    if (s.find('.') != cl::String::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

// ---------------------------------------------------------------------------------------
// Objects

void TIEPDFRefObject::WriteTo(cl::TStream* Stream) {
    Offset = Stream->GetPosition();
    IEWriteText(Stream, std::to_string(Number) + " " + std::to_string(Generation) + " R");
}

void TIEPDFBooleanObject::WriteTo(cl::TStream* Stream) {
    Offset = Stream->GetPosition();
    IEWriteText(Stream, Value ? "true" : "false");
}

void TIEPDFNumericObject::WriteTo(cl::TStream* Stream) {
    Offset = Stream->GetPosition();
    IEWriteText(Stream, IEPDFNumberText(Value));
}

void TIEPDFStringObject::WriteTo(cl::TStream* Stream) {
    Offset = Stream->GetPosition();
    cl::String s = "(";
    for (char c : Value) {
        switch (c) {
            case '\b': s += "\\b"; break;
            case '\t': s += "\\t"; break;
            case '\n': s += "\\n"; break;
            case '\f': s += "\\f"; break;
            case '\r': s += "\\r"; break;
            case '(': s += "\\("; break;
            case ')': s += "\\)"; break;
            case '\\': s += "\\\\"; break;
            default: s += c; break;
        }
    }
    s += ")";
    IEWriteText(Stream, s);
}

void TIEPDFNameObject::WriteTo(cl::TStream* Stream) {
    Offset = Stream->GetPosition();
    static const char hex[] = "0123456789ABCDEF";
    cl::String s = "/";
    for (char ch : Value) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < '!' || c > '~' || IsDelimiter(c)) {
            s += '#';
            s += hex[c >> 4];
            s += hex[c & 15];
        } else {
            s += ch;
        }
    }
    IEWriteText(Stream, s);
}

TIEPDFArrayObject::~TIEPDFArrayObject() {
    for (auto it = Items.rbegin(); it != Items.rend(); ++it) FreeUnlessShared(*it);
}

void TIEPDFArrayObject::WriteTo(cl::TStream* Stream) {
    Offset = Stream->GetPosition();
    IEWriteText(Stream, "[");
    for (TIEPDFObject* o : Items) {
        o->WriteTo(Stream);
        IEWriteText(Stream, " ");
    }
    IEWriteText(Stream, "]");
}

TIEPDFDictionaryObject::~TIEPDFDictionaryObject() {
    for (auto it = Entries.rbegin(); it != Entries.rend(); ++it) FreeUnlessShared(it->second);
}

void TIEPDFDictionaryObject::AddEntry(const cl::String& Key, TIEPDFObject* Value) { Entries.emplace_back(Key, Value); }

void TIEPDFDictionaryObject::SetEntry(const cl::String& Key, TIEPDFObject* Value) {
    const int32_t i = IndexOf(Key);
    if (i < 0) {
        AddEntry(Key, Value);
        return;
    }
    if (Entries[i].second != Value) FreeUnlessShared(Entries[i].second);
    Entries[i].second = Value;
}

int32_t TIEPDFDictionaryObject::IndexOf(const cl::String& Key) const {
    for (size_t i = 0; i < Entries.size(); ++i)
        if (Entries[i].first == Key) return static_cast<int32_t>(i);
    return -1;
}

TIEPDFObject* TIEPDFDictionaryObject::GetEntry(const cl::String& Key) const {
    const int32_t i = IndexOf(Key);
    return i < 0 ? nullptr : Entries[i].second;
}

void TIEPDFDictionaryObject::WriteTo(cl::TStream* Stream) {
    Offset = Stream->GetPosition();
    IEWriteText(Stream, "<< ");
    for (auto& [key, value] : Entries) {
        TIEPDFNameObject(key).WriteTo(Stream);
        IEWriteText(Stream, " ");
        value->WriteTo(Stream);
        IEWriteText(Stream, "\n");
    }
    IEWriteText(Stream, ">>");
}

TIEPDFStreamObject::TIEPDFStreamObject() : Dictionary(std::make_unique<TIEPDFDictionaryObject>()) {
    Dictionary->AddEntry("Length", new TIEPDFNumericObject(0));
}

std::unique_ptr<TIEPDFStreamObject> TIEPDFStreamObject::CreateCopy(const void* Data, int32_t Length) {
    auto s = std::make_unique<TIEPDFStreamObject>();
    if (Data && Length > 0) {
        const auto* p = static_cast<const uint8_t*>(Data);
        s->Data.assign(p, p + Length);
    }
    return s;
}

TIEPDFStreamObject::~TIEPDFStreamObject() = default;

void TIEPDFStreamObject::WriteTo(cl::TStream* Stream) {
    Offset = Stream->GetPosition();
    Dictionary->SetEntry("Length", new TIEPDFNumericObject(GetDataLength()));
    Dictionary->WriteTo(Stream);
    IEWriteText(Stream, "\nstream\n");
    if (!Data.empty()) Stream->WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
    IEWriteText(Stream, "\nendstream");
}

// ---------------------------------------------------------------------------------------
// The document

TIEPDFObject* IEPDFAddObject(TIEPDFObjectList& Objects, TIEPDFObject* Obj) {
    Objects.emplace_back(Obj);
    Obj->ObjectNumber = static_cast<int32_t>(Objects.size());
    return Obj;
}

TIEPDFDictionaryObject* IEPDFAddCatalog(TIEPDFObjectList& Objects) {
    auto* d = new TIEPDFDictionaryObject;
    d->AddEntry("Type", new TIEPDFNameObject("Catalog"));
    IEPDFAddObject(Objects, d);
    return d;
}

TIEPDFDictionaryObject* IEPDFAddPage(TIEPDFObjectList& Objects, TIEPDFPageList& Pages, TIEPDFObject* Resources,
                                     int32_t ContentsNumber, TIEPDFArrayObject* MediaBox) {
    auto* d = new TIEPDFDictionaryObject;
    d->AddEntry("Type", new TIEPDFNameObject("Page"));
    if (Resources) d->AddEntry("Resources", new TIEPDFRefObject(Resources->ObjectNumber, 0));
    d->AddEntry("MediaBox", MediaBox);
    d->AddEntry("Contents", new TIEPDFRefObject(ContentsNumber, 0));
    IEPDFAddObject(Objects, d);
    Pages.push_back(d);
    return d;
}

TIEPDFDictionaryObject* IEPDFAddPages(TIEPDFObjectList& Objects, const TIEPDFPageList& Pages) {
    auto* d = new TIEPDFDictionaryObject;
    IEPDFAddObject(Objects, d);
    d->AddEntry("Type", new TIEPDFNameObject("Pages"));
    auto* kids = new TIEPDFArrayObject;
    for (TIEPDFDictionaryObject* page : Pages) {
        kids->AddItem(new TIEPDFRefObject(page->ObjectNumber, 0));
        page->AddEntry("Parent", new TIEPDFRefObject(d->ObjectNumber, 0));
    }
    d->AddEntry("Kids", kids);
    d->AddEntry("Count", new TIEPDFNumericObject(static_cast<double>(Pages.size())));
    if (!Objects.empty())
        if (auto* catalog = dynamic_cast<TIEPDFDictionaryObject*>(Objects.front().get()))
            catalog->AddEntry("Pages", new TIEPDFRefObject(d->ObjectNumber, 0));
    return d;
}

void IEPDFWriteHeader(cl::TStream* Stream) {
    IEWriteTextLineLF(Stream, "%PDF-1.4");
    IEWriteTextLineLF(Stream, "%\xC8\xD2\xF0\xFE");
}

void IEPDFWriteObjects(cl::TStream* Stream, const TIEPDFObjectList& Objects) {
    for (const auto& o : Objects) {
        const int64_t p = Stream->GetPosition();
        IEWriteTextLineLF(Stream, std::to_string(o->ObjectNumber) + " 0 obj");
        o->WriteTo(Stream);
        IEWriteTextLineLF(Stream, "");
        IEWriteTextLineLF(Stream, "endobj");
        o->Offset = p;
    }
}

void IEPDFWriteXRefAndTrailer(cl::TStream* Stream, const TIEPDFObjectList& Objects, const TIEPDFObject* Info) {
    const int64_t x = Stream->GetPosition();
    const cl::String size = std::to_string(Objects.size() + 1);
    IEWriteTextLineLF(Stream, "xref");
    IEWriteTextLineLF(Stream, "0 " + size);
    IEWriteTextLineLF(Stream, "0000000000 65535 f ");
    for (const auto& o : Objects)
        IEWriteTextLineLF(Stream, IEPadLeft(std::to_string(o->Offset), 10, '0') + " 00000 n ");
    IEWriteTextLineLF(Stream, "trailer");
    IEWriteTextLineLF(Stream, "<< /Size " + size);
    IEWriteTextLineLF(Stream, "/Root 1 0 R");
    if (Info) IEWriteTextLineLF(Stream, "/Info " + std::to_string(Info->ObjectNumber) + " 0 R");
    IEWriteTextLineLF(Stream, ">>");
    IEWriteTextLineLF(Stream, "startxref");
    IEWriteTextLineLF(Stream, std::to_string(x));
    IEWriteTextLineLF(Stream, "%%EOF");
}

}  // namespace ie
