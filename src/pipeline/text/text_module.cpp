#include "pipeline/text/text_module.h"

#include "pipeline/module_loader.h"

namespace moraven {
namespace {

TextModuleLoad load() {
    TextModuleLoad result;
    const std::string path = textModulePath();
    // Never unloaded: Qt's application object and fonts live until the process ends.
    const auto entry = reinterpret_cast<TextModuleEntry>(openModuleEntry(path, kTextModuleEntryPoint, result.error));
    if (entry == nullptr) return result;
    std::string reason;
    result.module = entry(TextModule::kInterfaceVersion, &reason);
    if (result.module == nullptr) result.error = reason.empty() ? path + " refused to start" : path + ": " + reason;
    return result;
}

}  // namespace

std::string textModulePath() { return moduleFilePath(kTextModuleName); }

const TextModuleLoad& loadTextModule() {
    static const TextModuleLoad loaded = load();
    return loaded;
}

}  // namespace moraven
