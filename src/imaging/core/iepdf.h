// The PDF object model of the imaging library and the skeleton of a PDF file: numbered
// objects (references, booleans, numbers, strings, names, arrays, dictionaries and
// streams), the catalog and the page tree, and the header, object bodies, cross-reference
// table and trailer written in one pass. The PDF writer of the codecs builds its
// documents with it.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "classlib/Classes.h"

namespace ie {

class TIEPDFObject : public cl::TObject {
    CL_DECLARE_CLASS(TIEPDFObject, cl::TObject)
public:
    TIEPDFObject() = default;
    ~TIEPDFObject() override = default;
    // Writes the object's value at the stream's position (Offset := that position).
    virtual void WriteTo(cl::TStream* Stream) = 0;

    int32_t ObjectNumber = 0;  // its number once added to the document's object list
    // The position recorded when it was last written; after the document is written, the
    // position of the line that opens its object.
    int64_t Offset = 0;
    // A containing array or dictionary does not free it (the object list owns it).
    bool OwnedElsewhere = false;
};

// An indirect reference: "Number Generation R".
class TIEPDFRefObject : public TIEPDFObject {
    CL_DECLARE_CLASS(TIEPDFRefObject, TIEPDFObject)
public:
    TIEPDFRefObject(int32_t ANumber, int32_t AGeneration) : Number(ANumber), Generation(AGeneration) {}
    void WriteTo(cl::TStream* Stream) override;
    int32_t Number;  // the number of the object referred to
    int32_t Generation;
};

class TIEPDFBooleanObject : public TIEPDFObject {
    CL_DECLARE_CLASS(TIEPDFBooleanObject, TIEPDFObject)
public:
    explicit TIEPDFBooleanObject(bool AValue) : Value(AValue) {}
    void WriteTo(cl::TStream* Stream) override;
    bool Value;
};

// A number, written in fixed notation with a dot.
class TIEPDFNumericObject : public TIEPDFObject {
    CL_DECLARE_CLASS(TIEPDFNumericObject, TIEPDFObject)
public:
    explicit TIEPDFNumericObject(double AValue) : Value(AValue) {}
    void WriteTo(cl::TStream* Stream) override;
    double Value;
};

// A literal string in parentheses, with backslash escapes.
class TIEPDFStringObject : public TIEPDFObject {
    CL_DECLARE_CLASS(TIEPDFStringObject, TIEPDFObject)
public:
    explicit TIEPDFStringObject(cl::String AValue) : Value(std::move(AValue)) {}
    void WriteTo(cl::TStream* Stream) override;
    cl::String Value;
};

// A name (the value without its slash).
class TIEPDFNameObject : public TIEPDFObject {
    CL_DECLARE_CLASS(TIEPDFNameObject, TIEPDFObject)
public:
    explicit TIEPDFNameObject(cl::String AValue) : Value(std::move(AValue)) {}
    void WriteTo(cl::TStream* Stream) override;
    cl::String Value;
};

// The containers own the objects put into them (pointers from new), except those marked
// OwnedElsewhere.
class TIEPDFArrayObject : public TIEPDFObject {
    CL_DECLARE_CLASS(TIEPDFArrayObject, TIEPDFObject)
public:
    TIEPDFArrayObject() = default;
    ~TIEPDFArrayObject() override;
    void WriteTo(cl::TStream* Stream) override;
    void AddItem(TIEPDFObject* Item) { Items.push_back(Item); }
    std::vector<TIEPDFObject*> Items;
};

class TIEPDFDictionaryObject : public TIEPDFObject {
    CL_DECLARE_CLASS(TIEPDFDictionaryObject, TIEPDFObject)
public:
    TIEPDFDictionaryObject() = default;
    ~TIEPDFDictionaryObject() override;
    void WriteTo(cl::TStream* Stream) override;
    // Appends an entry (the order of insertion is the order written).
    void AddEntry(const cl::String& Key, TIEPDFObject* Value);
    // Replaces the value of Key (freeing the old one unless it is owned elsewhere), or
    // appends the entry.
    void SetEntry(const cl::String& Key, TIEPDFObject* Value);
    int32_t IndexOf(const cl::String& Key) const;
    // The value of Key, null when absent.
    TIEPDFObject* GetEntry(const cl::String& Key) const;
    std::vector<std::pair<cl::String, TIEPDFObject*>> Entries;
};

class TIEPDFStreamObject : public TIEPDFObject {
    CL_DECLARE_CLASS(TIEPDFStreamObject, TIEPDFObject)
public:
    // No data; the dictionary has "Length" 0.
    TIEPDFStreamObject();
    // With a private copy of Length bytes.
    static std::unique_ptr<TIEPDFStreamObject> CreateCopy(const void* Data, int32_t Length);
    ~TIEPDFStreamObject() override;
    // The dictionary with "Length" set to DataLength, then the data between "stream" and
    // "endstream".
    void WriteTo(cl::TStream* Stream) override;
    int32_t GetDataLength() const { return static_cast<int32_t>(Data.size()); }
    std::vector<uint8_t> Data;
    std::unique_ptr<TIEPDFDictionaryObject> Dictionary;
};

// The document being built: its objects in number order (number = position + 1), owned,
// and its page dictionaries (owned by the object list).
using TIEPDFObjectList = std::vector<std::unique_ptr<TIEPDFObject>>;
using TIEPDFPageList = std::vector<TIEPDFDictionaryObject*>;

// Appends Obj (taking it over); Obj.ObjectNumber := the new count. Returns Obj.
TIEPDFObject* IEPDFAddObject(TIEPDFObjectList& Objects, TIEPDFObject* Obj);
// A dictionary with "Type" /Catalog, added (object 1 when added first).
TIEPDFDictionaryObject* IEPDFAddCatalog(TIEPDFObjectList& Objects);
// A page dictionary: "Type" /Page, "Resources" (a reference to Resources, when given),
// "MediaBox" (the array, taken over), "Contents" (a reference to object ContentsNumber);
// added to both lists.
TIEPDFDictionaryObject* IEPDFAddPage(TIEPDFObjectList& Objects, TIEPDFPageList& Pages, TIEPDFObject* Resources,
                                     int32_t ContentsNumber, TIEPDFArrayObject* MediaBox);
// The page tree: "Type" /Pages, "Kids" (references to every page), "Count"; each page
// gets "Parent" and the catalog (the first object) gets "Pages".
TIEPDFDictionaryObject* IEPDFAddPages(TIEPDFObjectList& Objects, const TIEPDFPageList& Pages);
// "%PDF-1.4", then a comment line of four bytes above 127 (readers take the file as
// binary).
void IEPDFWriteHeader(cl::TStream* Stream);
// Every object as "N 0 obj", its value, "endobj"; records each object's start.
void IEPDFWriteObjects(cl::TStream* Stream, const TIEPDFObjectList& Objects);
// The cross-reference table and the trailer (root object 1, Info).
void IEPDFWriteXRefAndTrailer(cl::TStream* Stream, const TIEPDFObjectList& Objects, const TIEPDFObject* Info);

void IEWriteTextLineLF(cl::TStream* Stream, const cl::String& S);
void IEWriteText(cl::TStream* Stream, const cl::String& S);
// S with PadChar in front until it is Width characters long.
cl::String IEPadLeft(const cl::String& S, int32_t Width, char PadChar);
// A number in fixed notation with a dot (no exponent): at most 15 significant digits,
// without trailing zeros; 0 for values that are not finite. Whole numbers of 19 digits or
// more, beyond what readers take as integers, end in ".0" so that they read as reals.
cl::String IEPDFNumberText(double Value);

}  // namespace ie
