#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "platform/kernel_internal.h"
#include "platform/resource_table.h"
#include "platform/winmm.h"

extern "C" const lumetra_resource_table lumetra_resources __attribute__((weak));

namespace win {

using namespace kernel_detail;

namespace {

struct ModuleObject : HandleObject {
    bool isMain = false;
    std::string builtinName;  // non-empty for a built-in module
    void* dl = nullptr;       // dlopen handle of a loaded file
    std::string path;         // the file it was loaded from
    int refs = 0;
};

struct ResourceObject : HandleObject {
    const lumetra_resource* entry = nullptr;
};

using ExportMap = std::map<std::string, void*>;

struct ModuleState {
    std::mutex mutex;
    bool defaultsAdded = false;
    std::map<std::string, ExportMap> builtins;  // normalised name -> entry points
    std::set<std::string> removedModules;
    std::set<std::pair<std::string, std::string>> removedExports;
    std::map<std::string, uintptr_t> builtinHandles;
    std::map<void*, uintptr_t> loaded;  // dlopen handle -> module handle
    uintptr_t mainHandle = 0;
    std::vector<uintptr_t> resourceHandles;
};

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Module names compare without case and without a ".dll" ending.
std::string NormaliseModuleName(std::string_view name) {
    std::string n = Lower(name);
    if (n.size() > 4 && n.compare(n.size() - 4, 4, ".dll") == 0) n.resize(n.size() - 4);
    return n;
}

void AddDefaults(ModuleState& s) {
    if (s.defaultsAdded) return;
    s.defaultsAdded = true;
    s.builtins["kernel32"] = {
        {"GlobalMemoryStatusEx", reinterpret_cast<void*>(&GlobalMemoryStatusEx)},
        {"GetLogicalProcessorInformation", reinterpret_cast<void*>(&GetLogicalProcessorInformation)},
    };
    s.builtins["user32"];
    s.builtins["gdi32"];
    s.builtins["winmm"] = {
        {"timeSetEvent", reinterpret_cast<void*>(&timeSetEvent)},
        {"timeKillEvent", reinterpret_cast<void*>(&timeKillEvent)},
        {"timeGetTime", reinterpret_cast<void*>(&timeGetTime)},
        {"timeBeginPeriod", reinterpret_cast<void*>(&timeBeginPeriod)},
        {"timeEndPeriod", reinterpret_cast<void*>(&timeEndPeriod)},
    };
}

ModuleState& State() {
    static ModuleState* state = new ModuleState;
    return *state;
}

// Caller holds the lock.
bool BuiltinAvailable(ModuleState& s, const std::string& key) {
    AddDefaults(s);
    return s.builtins.count(key) && !s.removedModules.count(key);
}

// Caller holds the lock; the module must be available.
std::shared_ptr<ModuleObject> BuiltinModule(ModuleState& s, const std::string& key, uintptr_t* handle) {
    auto it = s.builtinHandles.find(key);
    if (it != s.builtinHandles.end()) {
        *handle = it->second;
        return Handles().GetAs<ModuleObject>(it->second, HandleKind::Module);
    }
    auto m = std::make_shared<ModuleObject>();
    m->kind = HandleKind::Module;
    m->builtinName = key;
    *handle = Handles().Add(m);
    s.builtinHandles[key] = *handle;
    return m;
}

// Caller holds the lock.
uintptr_t MainHandle(ModuleState& s) {
    if (s.mainHandle == 0) {
        auto m = std::make_shared<ModuleObject>();
        m->kind = HandleKind::Module;
        m->isMain = true;
        s.mainHandle = Handles().Add(m);
    }
    return s.mainHandle;
}

std::string ExecutablePath() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<size_t>(n));
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A resource type or name: an integer id or a string.
struct ResourceKey {
    bool isId = false;
    uint32_t id = 0;
    std::string text;
};

bool ParseKey(const char* p, ResourceKey* key) {
    if (!p) return false;
    if (IS_INTRESOURCE(p)) {
        key->isId = true;
        key->id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
        return true;
    }
    if (p[0] == '#') {
        char* end = nullptr;
        unsigned long v = std::strtoul(p + 1, &end, 10);
        if (p[1] && !*end && v < 0x10000) {
            key->isId = true;
            key->id = static_cast<uint32_t>(v);
            return true;
        }
    }
    key->text = p;
    return true;
}

bool Matches(const ResourceKey& key, const char* text, uint32_t id) {
    if (key.isId) return text == nullptr && id == key.id;
    return text != nullptr && EqualsNoCase(key.text, text);
}

}  // namespace

// --- modules -----------------------------------------------------------------------------

HMODULE HInstance() {
    ModuleState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return reinterpret_cast<HMODULE>(MainHandle(s));
}

void RegisterBuiltinModule(std::string_view name, std::initializer_list<BuiltinExport> exports) {
    ModuleState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    AddDefaults(s);
    ExportMap& map = s.builtins[NormaliseModuleName(name)];
    for (const BuiltinExport& e : exports) map[e.name] = e.address;
}

void RemoveBuiltinModule(std::string_view name) {
    ModuleState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.removedModules.insert(NormaliseModuleName(name));
}

void RemoveBuiltinExport(std::string_view module, std::string_view entry) {
    ModuleState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.removedExports.emplace(NormaliseModuleName(module), std::string(entry));
}

void RestoreBuiltinModules() {
    ModuleState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.removedModules.clear();
    s.removedExports.clear();
}

HMODULE LoadLibraryA(const char* name) {
    if (!name || !*name) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string requested = name;
    std::string builtin;
    std::string filePath;
    if (requested.find('/') == std::string::npos) {
        builtin = NormaliseModuleName(requested);
    } else {
        std::ifstream in(requested, std::ios::binary);
        if (!in) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        char head[8 + 64] = {};
        in.read(head, sizeof(head));
        size_t got = static_cast<size_t>(in.gcount());
        if (got >= 8 && std::memcmp(head, kBuiltinModuleMarker, 8) == 0) {
            size_t n = 8;
            while (n < got && head[n] != '\0' && head[n] != '\n' && head[n] != '\r' && head[n] != ' ') ++n;
            builtin = NormaliseModuleName(std::string_view(head + 8, n - 8));
            if (builtin.empty()) {
                SetLastError(ERROR_MOD_NOT_FOUND);
                return nullptr;
            }
        }
        char real[PATH_MAX];
        filePath = ::realpath(requested.c_str(), real) ? real : requested;
    }

    ModuleState& s = State();
    if (!builtin.empty()) {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!BuiltinAvailable(s, builtin)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        uintptr_t h = 0;
        auto m = BuiltinModule(s, builtin, &h);
        ++m->refs;
        return reinterpret_cast<HMODULE>(h);
    }

    void* dl = ::dlopen(filePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dl) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.loaded.find(dl);
    if (it != s.loaded.end()) {
        ::dlclose(dl);  // one dlopen reference per module; ours are counted in refs
        auto m = Handles().GetAs<ModuleObject>(it->second, HandleKind::Module);
        ++m->refs;
        return reinterpret_cast<HMODULE>(it->second);
    }
    auto m = std::make_shared<ModuleObject>();
    m->kind = HandleKind::Module;
    m->dl = dl;
    m->path = filePath;
    m->refs = 1;
    uintptr_t h = Handles().Add(m);
    s.loaded[dl] = h;
    return reinterpret_cast<HMODULE>(h);
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
    ModuleState& s = State();
    std::unique_lock<std::mutex> lock(s.mutex);
    auto m = Handles().GetAs<ModuleObject>(reinterpret_cast<uintptr_t>(module), HandleKind::Module);
    if (!m) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (!name || IS_INTRESOURCE(name)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* address = nullptr;
    if (!m->builtinName.empty()) {
        if (BuiltinAvailable(s, m->builtinName) && !s.removedExports.count({m->builtinName, name})) {
            const ExportMap& map = s.builtins[m->builtinName];
            auto it = map.find(name);
            if (it != map.end()) address = it->second;
        }
    } else if (m->isMain) {
        void* self = ::dlopen(nullptr, RTLD_NOW);
        if (self) {
            address = ::dlsym(self, name);
            ::dlclose(self);
        }
    } else {
        address = ::dlsym(m->dl, name);
    }
    if (!address) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(address);
}

BOOL FreeLibrary(HMODULE module) {
    ModuleState& s = State();
    void* toClose = nullptr;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        uintptr_t h = reinterpret_cast<uintptr_t>(module);
        auto m = Handles().GetAs<ModuleObject>(h, HandleKind::Module);
        if (!m) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (m->refs > 0) --m->refs;
        if (m->dl && m->refs == 0) {
            toClose = m->dl;
            s.loaded.erase(m->dl);
            Handles().Remove(h, HandleKind::Module);
        }
    }
    if (toClose) ::dlclose(toClose);
    return TRUE;
}

HMODULE GetModuleHandleA(const char* name) {
    ModuleState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!name) return reinterpret_cast<HMODULE>(MainHandle(s));
    std::string requested = name;
    if (requested.find('/') == std::string::npos) {
        std::string key = NormaliseModuleName(requested);
        if (BuiltinAvailable(s, key)) {
            uintptr_t h = 0;
            BuiltinModule(s, key, &h);
            return reinterpret_cast<HMODULE>(h);
        }
    }
    char real[PATH_MAX];
    std::string full = requested.find('/') != std::string::npos && ::realpath(requested.c_str(), real) ? real : "";
    for (const auto& [dl, h] : s.loaded) {
        auto m = Handles().GetAs<ModuleObject>(h, HandleKind::Module);
        if (!m) continue;
        bool same =
            full.empty() ? NormaliseModuleName(BaseName(m->path)) == NormaliseModuleName(requested) : m->path == full;
        if (same) return reinterpret_cast<HMODULE>(h);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
    std::string path;
    {
        ModuleState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        uintptr_t h = reinterpret_cast<uintptr_t>(module);
        if (h == 0 || h == MainHandle(s)) {
            path = ExecutablePath();
        } else {
            auto m = Handles().GetAs<ModuleObject>(h, HandleKind::Module);
            if (!m) {
                SetLastError(ERROR_MOD_NOT_FOUND);
                return 0;
            }
            path = !m->path.empty() ? m->path : m->builtinName + ".dll";
        }
    }
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= size) {
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

// --- resources ---------------------------------------------------------------------------

HRSRC FindResourceA(HMODULE module, const char* name, const char* type) {
    ModuleState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    uintptr_t h = reinterpret_cast<uintptr_t>(module);
    if (h != 0 && h != MainHandle(s)) {
        bool valid = Handles().Get(h, HandleKind::Module) != nullptr;
        SetLastError(valid ? ERROR_RESOURCE_DATA_NOT_FOUND : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ResourceKey nameKey, typeKey;
    if (!ParseKey(name, &nameKey) || !ParseKey(type, &typeKey)) {
        SetLastError(!type ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const lumetra_resource_table* table = &lumetra_resources;
    size_t count = table ? table->count : 0;
    bool typeSeen = false;
    for (size_t i = 0; i < count; ++i) {
        const lumetra_resource& r = table->entries[i];
        if (!Matches(typeKey, r.type, r.type_id)) continue;
        typeSeen = true;
        if (!Matches(nameKey, r.name, r.name_id)) continue;
        if (s.resourceHandles.size() < count) s.resourceHandles.resize(count, 0);
        if (s.resourceHandles[i] == 0) {
            auto obj = std::make_shared<ResourceObject>();
            obj->kind = HandleKind::Resource;
            obj->entry = &r;
            s.resourceHandles[i] = Handles().Add(obj);
        }
        return reinterpret_cast<HRSRC>(s.resourceHandles[i]);
    }
    SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

namespace {
const lumetra_resource* ResourceOf(const void* h) {
    auto obj = Handles().GetAs<ResourceObject>(reinterpret_cast<uintptr_t>(h), HandleKind::Resource);
    return obj ? obj->entry : nullptr;
}
}  // namespace

HGLOBAL LoadResource(HMODULE /*module*/, HRSRC resource) {
    if (!ResourceOf(resource)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return reinterpret_cast<HGLOBAL>(resource);
}

void* LockResource(HGLOBAL resource) {
    const lumetra_resource* r = ResourceOf(resource);
    return r ? const_cast<unsigned char*>(r->begin) : nullptr;
}

DWORD SizeofResource(HMODULE /*module*/, HRSRC resource) {
    const lumetra_resource* r = ResourceOf(resource);
    if (!r) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return static_cast<DWORD>(r->end - r->begin);
}

}  // namespace win
