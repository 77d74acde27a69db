// The project model: the show's settings, its slides and its music tracks, read from the
// XML project document.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "player/SimploXML.h"

namespace player {

// Element readers: each looks at the first child of Node named Name (exact letter case)
// and never fails.
void ReadXMLString(const TElementDocXML* Node, const std::string& Name, const std::string& Default, std::string& S);
bool ReadXMLBool(const TElementDocXML* Node, const std::string& Name, bool Default);
int64_t ReadXMLInt64(const TElementDocXML* Node, const std::string& Name, int32_t Default);

// The message of the exception raised for a document without a usable root.
inline constexpr const char* kBadProjectFormat = "Файл проекта имеет неверный формат!";

// Base of the project's typed objects.
class TSlideObject : public cl::TObject {
    CL_DECLARE_CLASS(TSlideObject, cl::TObject)
public:
    int32_t Type = 0;  // 3 means a music track
    virtual bool ReadFromXML(const TElementDocXML* Node);
    virtual bool WriteToXML(TElementDocXML* Node) const;
};

class TSoundObject : public TSlideObject {
    CL_DECLARE_CLASS(TSoundObject, TSlideObject)
public:
    TSoundObject();
    int64_t StartPos = 0;
    int64_t EndPos = 0;
    std::string FileName;
    int64_t Duration = -1;
    bool ReadFromXML(const TElementDocXML* Node, bool WithPositions);
    bool ReadFromXML(const TElementDocXML* Node) override { return ReadFromXML(Node, true); }
};

class TSlide : public cl::TObject {
    CL_DECLARE_CLASS(TSlide, cl::TObject)
public:
    TSlide();
    ~TSlide() override;

    int64_t StartPos = -1;
    int64_t EndPos = -1;
    int64_t MaskStartPos = 0;
    int64_t MaskEndPos = 0;
    std::string Name;
    int32_t TimeInterval = -1;
    bool Enabled = true;
    std::vector<TSlideObject*> Objects;  // owned
    int32_t EffectMask = 0;
    bool TwoPasses = false;
    int32_t Effect = 0;
    int32_t EffectInterval = -1;

    bool ReadFromXML(const TElementDocXML* Node, bool WithPositions);
    // Frees and removes one entry of Objects; false when Index is outside the list.
    bool DeleteObject(int Index);
    void ClearObjects();
};

class TSlideShow : public cl::TObject {
    CL_DECLARE_CLASS(TSlideShow, cl::TObject)
public:
    TSlideShow() = default;
    ~TSlideShow() override;

    std::vector<TSlide*> Slides;       // owned
    std::vector<TSoundObject*> Music;  // owned
    bool AutoMode = true;
    bool RandomSlides = false;
    bool ShowPlayer = false;
    int32_t CursorMode = 3000;
    uint8_t EventEndShow = 0;
    int32_t DefaultEffectInterval = 1000;
    int32_t DefaultInterval = 4000;
    bool FullScreen = true;
    uint16_t WindowWidth = 800;
    uint16_t WindowHeight = 600;
    uint16_t BorderWidth = 0;
    uint16_t BorderHeight = 0;
    std::string WindowTitle;
    std::string IconName;
    bool RandomMusic = false;
    bool RepeatMusic = false;
    bool BeginPlayMusic = false;
    bool FaderEnabled = false;
    int32_t FaderIn = 0;
    int32_t FaderOut = 0;
    std::string Password;
    int32_t EffectL = 0;
    int32_t EffectT = 0;
    int32_t EffectR = 0;
    int32_t EffectB = 0;

    // Loads the document from the stream's position to its end (8-bit text in the
    // Cyrillic code page, up to the first zero byte). Raises cl::Exception with
    // kBadProjectFormat when the document has no root LumetraProject with children.
    void LoadFromStream(cl::TStream* Stream, bool WithPositions);
    void ReadSettings(const TElementDocXML* Node);
    void AddSlideFromXML(const TElementDocXML* Node, bool WithPositions);
    void AddMusicFromXML(const TElementDocXML* Node, bool WithPositions);
    // Index of the appended slide (the show takes ownership); -1 for null.
    int AddSlide(TSlide* Slide);
    int SlideCount() const { return static_cast<int>(Slides.size()); }
    int MusicCount() const { return static_cast<int>(Music.size()); }
    TSlide* GetSlide(int Index) const;
    TSoundObject* GetMusic(int Index) const;
    int FaderMode() const;
};

}  // namespace player
