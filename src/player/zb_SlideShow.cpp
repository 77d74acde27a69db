#include "player/zb_SlideShow.h"

#include "classlib/SysUtils.h"
#include "platform/codepage.h"

namespace player {

namespace {

const TElementDocXML* FirstNamed(const TElementDocXML* Node, const std::string& Name) {
    if (!Node) return nullptr;
    for (const TElementDocXML* e : Node->Children)
        if (e->Name == Name) return e;
    return nullptr;
}

// The random default of a slide's effect: one of the 45 effects of the show's list.
int32_t RandomEffect() { return cl::Random(45); }

}  // namespace

void ReadXMLString(const TElementDocXML* Node, const std::string& Name, const std::string& Default, std::string& S) {
    S = Default;
    if (const TElementDocXML* e = FirstNamed(Node, Name)) S = e->Value;
}

bool ReadXMLBool(const TElementDocXML* Node, const std::string& Name, bool Default) {
    const TElementDocXML* e = FirstNamed(Node, Name);
    if (!e) return Default;
    int64_t n;
    if (cl::TryStrToInt64(e->Value, n)) return n != 0;
    if (cl::SameText(e->Value, "True")) return true;
    if (cl::SameText(e->Value, "False")) return false;
    return Default;
}

int64_t ReadXMLInt64(const TElementDocXML* Node, const std::string& Name, int32_t Default) {
    const TElementDocXML* e = FirstNamed(Node, Name);
    int64_t n;
    if (e && cl::TryStrToInt64(e->Value, n)) return n;
    return Default;
}

// ---------------------------------------------------------------------------------------

bool TSlideObject::ReadFromXML(const TElementDocXML* Node) {
    Type = static_cast<int32_t>(ReadXMLInt64(Node, "Type", 0));
    return true;
}

bool TSlideObject::WriteToXML(TElementDocXML* Node) const {
    AddChildElement(Node, "Type")->Value = std::to_string(Type);
    return true;
}

TSoundObject::TSoundObject() { Type = 3; }

bool TSoundObject::ReadFromXML(const TElementDocXML* Node, bool WithPositions) {
    TSlideObject::ReadFromXML(Node);
    ReadXMLString(Node, "FileName", "", FileName);
    Duration = ReadXMLInt64(Node, "Duration", 0);
    if (WithPositions) {
        StartPos = ReadXMLInt64(Node, "StartPos", 0);
        EndPos = ReadXMLInt64(Node, "EndPos", 0);
    }
    return true;
}

// ---------------------------------------------------------------------------------------

TSlide::TSlide() : Effect(RandomEffect()) {}

TSlide::~TSlide() { ClearObjects(); }

bool TSlide::ReadFromXML(const TElementDocXML* Node, bool WithPositions) {
    if (WithPositions) {
        StartPos = ReadXMLInt64(Node, "StartPos", -1);
        EndPos = ReadXMLInt64(Node, "EndPos", -1);
        MaskStartPos = ReadXMLInt64(Node, "MaskStartPos", -1);
        MaskEndPos = ReadXMLInt64(Node, "MaskEndPos", -1);
    }
    ReadXMLString(Node, "Name", "", Name);
    TimeInterval = static_cast<int32_t>(ReadXMLInt64(Node, "TimeInterval", 4000));
    Enabled = ReadXMLBool(Node, "Enabled", true);
    EffectMask = static_cast<int32_t>(ReadXMLInt64(Node, "EffectMask", -1));
    TwoPasses = ReadXMLBool(Node, "2Passes", false);
    // The random default is drawn on every read, also when the element is present.
    Effect = static_cast<int32_t>(ReadXMLInt64(Node, "Effect", RandomEffect()));
    EffectInterval = static_cast<int32_t>(ReadXMLInt64(Node, "EffectInterval", 4000));
    return true;
}

bool TSlide::DeleteObject(int Index) {
    if (Index < 0 || Index >= static_cast<int>(Objects.size())) return false;
    TSlideObject* obj = Objects[Index];
    Objects.erase(Objects.begin() + Index);
    delete obj;
    return true;
}

void TSlide::ClearObjects() {
    while (!Objects.empty()) DeleteObject(static_cast<int>(Objects.size()) - 1);
}

// ---------------------------------------------------------------------------------------

TSlideShow::~TSlideShow() {
    for (TSlide* s : Slides) delete s;
    for (TSoundObject* m : Music) delete m;
}

void TSlideShow::LoadFromStream(cl::TStream* Stream, bool WithPositions) {
    // The document runs from the stream's position to its end, up to the first zero byte.
    std::string bytes;
    const int64_t kChunk = 64 * 1024;
    std::string chunk(kChunk, '\0');
    for (;;) {
        int64_t n = Stream->Read(chunk.data(), kChunk);
        if (n <= 0) break;
        size_t zero = chunk.find('\0');
        if (zero < static_cast<size_t>(n)) {
            bytes.append(chunk.data(), zero);
            break;
        }
        bytes.append(chunk.data(), static_cast<size_t>(n));
    }
    const std::string text = win::CodePageToUtf8(win::CP_ACP, bytes);

    TSimploXML xml(nullptr);
    xml.LoadFromString(text);
    const TElementDocXML* doc = xml.DocumentElement();
    if (!doc || doc->Name != "LumetraProject" || doc->Children.empty()) throw cl::Exception(kBadProjectFormat);

    for (const TElementDocXML* child : doc->Children) {
        if (child->Name == "Settings")
            ReadSettings(child);
        else if (child->Name == "Slide")
            AddSlideFromXML(child, WithPositions);
        else if (child->Name == "MusicTrack")
            AddMusicFromXML(child, WithPositions);
    }
}

void TSlideShow::ReadSettings(const TElementDocXML* Node) {
    AutoMode = ReadXMLBool(Node, "AutoMode", true);
    RandomSlides = ReadXMLBool(Node, "RandomSlides", false);
    ShowPlayer = ReadXMLBool(Node, "ShowPlayer", false);
    CursorMode = static_cast<int32_t>(ReadXMLInt64(Node, "CursorMode", 3000));
    EventEndShow = static_cast<uint8_t>(ReadXMLInt64(Node, "EventEndShow", 0));
    DefaultEffectInterval = static_cast<int32_t>(ReadXMLInt64(Node, "DefaultEffectInterval", 1000));
    DefaultInterval = static_cast<int32_t>(ReadXMLInt64(Node, "DefaultInterval", 4000));
    FullScreen = ReadXMLBool(Node, "FullScreen", true);
    WindowWidth = static_cast<uint16_t>(ReadXMLInt64(Node, "WindowWidth", 800));
    WindowHeight = static_cast<uint16_t>(ReadXMLInt64(Node, "WindowHeight", 600));
    BorderWidth = static_cast<uint16_t>(ReadXMLInt64(Node, "BorderWidth", 0));
    BorderHeight = static_cast<uint16_t>(ReadXMLInt64(Node, "BorderHeight", 0));
    ReadXMLString(Node, "WindowTitle", "", WindowTitle);
    ReadXMLString(Node, "IconName", "", IconName);
    RandomMusic = ReadXMLBool(Node, "RandomMusic", false);
    RepeatMusic = ReadXMLBool(Node, "RepeatMusic", false);
    BeginPlayMusic = ReadXMLBool(Node, "BeginPlayMusic", false);
    FaderEnabled = ReadXMLBool(Node, "FaderEnabled", true);
    FaderIn = static_cast<int32_t>(ReadXMLInt64(Node, "FaderIn", 3000));
    FaderOut = static_cast<int32_t>(ReadXMLInt64(Node, "FaderOut", 3000));
    ReadXMLString(Node, "Password", "", Password);
    EffectL = static_cast<int32_t>(ReadXMLInt64(Node, "EffectL", 0));
    EffectT = static_cast<int32_t>(ReadXMLInt64(Node, "EffectT", 0));
    EffectR = static_cast<int32_t>(ReadXMLInt64(Node, "EffectR", 0));
    EffectB = static_cast<int32_t>(ReadXMLInt64(Node, "EffectB", 0));
}

void TSlideShow::AddSlideFromXML(const TElementDocXML* Node, bool WithPositions) {
    auto slide = std::make_unique<TSlide>();
    slide->ReadFromXML(Node, WithPositions);
    AddSlide(slide.release());
}

void TSlideShow::AddMusicFromXML(const TElementDocXML* Node, bool WithPositions) {
    auto track = std::make_unique<TSoundObject>();
    track->ReadFromXML(Node, WithPositions);
    if (track->Type == 3) Music.push_back(track.release());
}

int TSlideShow::AddSlide(TSlide* Slide) {
    if (!Slide) return -1;
    Slides.push_back(Slide);
    return SlideCount() - 1;
}

TSlide* TSlideShow::GetSlide(int Index) const { return Index >= 0 && Index < SlideCount() ? Slides[Index] : nullptr; }

TSoundObject* TSlideShow::GetMusic(int Index) const {
    return Index >= 0 && Index < MusicCount() ? Music[Index] : nullptr;
}

int TSlideShow::FaderMode() const {
    if (!FaderEnabled) return 0;
    if (!AutoMode || EventEndShow == 1 || (EventEndShow == 2 && !BeginPlayMusic)) return 1;
    return 2;
}

}  // namespace player
