// The window-class table: template class names to control objects.

#include <map>
#include <mutex>

#include "platform/core/text.h"
#include "platform/ui/controls.h"

namespace ce {

namespace {

struct ClassTable {
    std::mutex mutex;
    std::map<std::string, WindowFactory> factories;  // upper-cased names
};

ClassTable& table() {
    static ClassTable* t = [] {
        auto* created = new ClassTable;
        // The standard controls, registered once, explicitly.
        created->factories[asciiUpper(WC_STATIC)] = [] { return std::make_unique<Static>(); };
        created->factories[asciiUpper(WC_BUTTON)] = [] { return std::make_unique<Button>(); };
        created->factories[asciiUpper(WC_EDIT)] = [] { return std::make_unique<Edit>(); };
        created->factories[asciiUpper(WC_PROGRESS)] = [] { return std::make_unique<ProgressBar>(); };
        return created;
    }();
    return *t;
}

}  // namespace

bool registerWindowClass(std::string_view className, WindowFactory factory) {
    if (className.empty() || !factory) return false;
    auto& t = table();
    std::lock_guard lock(t.mutex);
    return t.factories.emplace(asciiUpper(className), std::move(factory)).second;
}

std::unique_ptr<Window> createWindowObject(std::string_view className) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.factories.find(asciiUpper(className));
    return it == t.factories.end() ? nullptr : it->second();
}

}  // namespace ce
