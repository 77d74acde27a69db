// Extension objects of the vector view: the unit-wide registry of extension classes, found by
// the name stored files give them, and the unit's start-up (the vector clipboard format).
#include <memory>
#include <typeindex>
#include <utility>
#include <vector>

#include "imaging/core/hyieutils_startup.h"
#include "imaging/view/vovozidvect.h"
#include "platform/user.h"

namespace ie {

namespace {

struct TIEVExtClassEntry {
    cl::String Name;
    std::type_index Class;
    TIEVExtObjectFactory Factory;
};

// Made by the start-up hook and freed by the final hook; registering before the start-up
// makes it too.
std::unique_ptr<std::vector<TIEVExtClassEntry>>& Registry() {
    static std::unique_ptr<std::vector<TIEVExtClassEntry>> registry;
    return registry;
}

}  // namespace

win::UINT IEVectClipboardFormat = 0;

const char* IEUnitSuffix(TIEUnits Unit) {
    static constexpr const char* Suffixes[] = {"pixels",  "inches",     "km",   "mt",    "cm",   "mm",
                                               "microns", "nanometers", "feet", "yards", "miles"};
    return Unit <= ieuMILES ? Suffixes[Unit] : "";
}

void IERegisterExtClass(const cl::String& Name, const std::type_info& Class, TIEVExtObjectFactory Factory) {
    if (!Factory) return;
    if (!Registry()) Registry() = std::make_unique<std::vector<TIEVExtClassEntry>>();
    Registry()->push_back(TIEVExtClassEntry{Name, std::type_index(Class), std::move(Factory)});
}

std::unique_ptr<TIEVExtObject> IECreateExtObject(const cl::String& ClassName) {
    if (!Registry()) return nullptr;
    for (const TIEVExtClassEntry& entry : *Registry()) {
        if (entry.Name != ClassName) continue;
        std::unique_ptr<TIEVExtObject> obj = entry.Factory();
        if (obj) {
            obj->Owner = nullptr;
            obj->Rec = nullptr;
            obj->Index = -1;
            obj->Flag = false;
        }
        return obj;
    }
    return nullptr;
}

cl::String IEGetExtClassName(const std::type_info& Class) {
    if (!Registry()) return {};
    for (const TIEVExtClassEntry& entry : *Registry())
        if (entry.Class == std::type_index(Class)) return entry.Name;
    return {};
}

int32_t IEExtClassCount() { return Registry() ? static_cast<int32_t>(Registry()->size()) : 0; }

void IEFreeExtClassRegistry() { Registry().reset(); }

void IEVectStaticInit() {
    IEVectClipboardFormat = win::RegisterClipboardFormatA("VOVOZID VECT");
    if (!Registry()) Registry() = std::make_unique<std::vector<TIEVExtClassEntry>>();
}

void IEVectStaticFinal() { IEFreeExtClassRegistry(); }

void IEVectRegisterStaticHooks() { IERegisterStaticHooks(iesuVect, IEVectStaticInit, IEVectStaticFinal); }

}  // namespace ie
