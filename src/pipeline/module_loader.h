#pragma once

#include <string>

// What the program's loadable modules (the codec module, the text module) share: where their files are and how
// one is opened to its entry point.
namespace moraven {

// The path of module file `name`: in the folder named by the environment variable MORAVEN_MODULE_DIR when it is
// set, else in the folder of the running executable.
std::string moduleFilePath(const char* name);

// Opens the module at `path` for good (it is never unloaded, so what it hands out stays valid until the process
// ends; RTLD_LOCAL keeps its copies of our libraries to itself) and looks up `entryPoint`. nullptr, with the
// reason in `error`, when either fails.
void* openModuleEntry(const std::string& path, const char* entryPoint, std::string& error);

}  // namespace moraven
