#pragma once

#include <string>

#include "pipeline/text/text_rasterizer.h"

// Loading the text module (Qt's font engine behind the TextModule interface) on first use.
//
// Qt draws text only inside a QGuiApplication. The window program has one already; the command-line program
// has no Qt application object at all, and then the module creates a QGuiApplication on the "offscreen"
// platform on the thread that loads it, which Qt takes as its main thread. The first call of
// loadTextModule() must therefore come from the control thread (the program's main thread): the inlay stage
// calls it in start(). Rasterizers made afterwards draw into images on any thread. When a Qt application
// object exists that is not a QGuiApplication, loading fails.
namespace moraven {

// The file name of the text module, looked for in the folder named by the environment variable
// MORAVEN_MODULE_DIR when it is set, else in the folder of the running executable.
inline constexpr const char* kTextModuleName = "libmoraven_text.so";

// The outcome of loading the module: the module, or nullptr and the reason in words.
struct TextModuleLoad {
    TextModule* module = nullptr;
    std::string error;
};

// Loads the module the first time it is called (later and concurrent calls wait for that first load and
// share its outcome, failure included) and keeps it loaded until the process ends.
const TextModuleLoad& loadTextModule();

// The path the module is loaded from.
std::string textModulePath();

}  // namespace moraven
