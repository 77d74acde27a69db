// The class registry and message-method dispatch.
#include <map>
#include <mutex>
#include <shared_mutex>

#include "classlib/Classes.h"

namespace cl {

namespace {

struct NoCaseLess {
    bool operator()(const String& a, const String& b) const { return CompareText(a, b) < 0; }
};

std::shared_mutex& RegistryMutex() {
    static std::shared_mutex m;
    return m;
}
std::map<String, const TClass*, NoCaseLess>& Registry() {
    static std::map<String, const TClass*, NoCaseLess> r;
    return r;
}

std::shared_mutex& HandlerMutex() {
    static std::shared_mutex m;
    return m;
}
std::map<std::pair<const TClass*, unsigned>, TMessageHandler>& Handlers() {
    static std::map<std::pair<const TClass*, unsigned>, TMessageHandler> h;
    return h;
}

bool Dispatchable(unsigned msg) { return msg != 0 && msg < 0xC000; }

TMessageHandler HandlerOf(const TClass* c, unsigned msg) {
    std::shared_lock lock(HandlerMutex());
    auto it = Handlers().find({c, msg});
    return it == Handlers().end() ? nullptr : it->second;
}

}  // namespace

void RegisterClass(const TClass& Class) {
    std::unique_lock lock(RegistryMutex());
    auto [it, inserted] = Registry().emplace(Class.Name, &Class);
    if (!inserted && it->second != &Class)
        throw EFilerError(Format("A class named %s already exists", String(Class.Name)));
}

void RegisterClasses(std::initializer_list<const TClass*> Classes) {
    for (const TClass* c : Classes) RegisterClass(*c);
}

void UnRegisterClass(const TClass& Class) {
    std::unique_lock lock(RegistryMutex());
    auto it = Registry().find(Class.Name);
    if (it != Registry().end() && it->second == &Class) Registry().erase(it);
}

const TClass* GetClass(const String& Name) {
    std::shared_lock lock(RegistryMutex());
    auto it = Registry().find(Name);
    return it == Registry().end() ? nullptr : it->second;
}

const TClass& FindClass(const String& Name) {
    const TClass* c = GetClass(Name);
    if (!c) throw EClassNotFound(Format("Class %s not found", Name));
    return *c;
}

TComponent* CreateComponent(const String& ClassName, TComponent* Owner) {
    const TClass& c = FindClass(ClassName);
    if (!c.Create) throw EClassNotFound(Format("Class %s not found", ClassName));
    return c.Create(Owner);
}

// ---------------------------------------------------------------------------------------

void RegisterMessageHandler(const TClass& Class, unsigned int Msg, TMessageHandler Handler) {
    if (!Dispatchable(Msg)) return;
    std::unique_lock lock(HandlerMutex());
    if (Handler)
        Handlers()[{&Class, Msg}] = Handler;
    else
        Handlers().erase({&Class, Msg});
}

const TClass* FindMessageHandlerClass(const TClass& Class, unsigned int Msg) {
    if (!Dispatchable(Msg)) return nullptr;
    for (const TClass* c = &Class; c; c = c->Parent)
        if (HandlerOf(c, Msg)) return c;
    return nullptr;
}

void TObject::Dispatch(TMessage& Message) {
    if (const TClass* c = FindMessageHandlerClass(ClassType(), Message.Msg)) {
        HandlerOf(c, Message.Msg)(this, Message);
        return;
    }
    DefaultHandler(Message);
}

void TObject::DefaultHandler(TMessage&) {}

void InheritedDispatch(const TClass& Class, TObject* Self, TMessage& Message) {
    if (Class.Parent) {
        if (const TClass* c = FindMessageHandlerClass(*Class.Parent, Message.Msg)) {
            HandlerOf(c, Message.Msg)(Self, Message);
            return;
        }
    }
    Self->DefaultHandler(Message);
}

}  // namespace cl
