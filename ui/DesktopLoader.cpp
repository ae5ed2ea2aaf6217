#include "ui/DesktopLoader.h"

#include <dlfcn.h>

#include "data/Path.h"

namespace tavox {

namespace {

using DesktopEntry = int (*)(int, char**, const std::vector<std::string>*, const CommandOptions*);

// Next to the program in the build tree; in the library folder once installed.
std::vector<std::string> ModuleCandidates() {
    const std::string folder = ProgramFolder();
    return {folder + "libtavox_desktop.so", folder + TAVOX_DESKTOP_MODULE_FROM_BIN "/libtavox_desktop.so"};
}

}  // namespace

std::optional<int> RunDesktopModule(int argc, char** argv, const std::vector<std::string>& fields,
                                    const CommandOptions& options, std::string& error) {
    void* module = nullptr;
    for (const std::string& path : ModuleCandidates()) {
        module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module != nullptr) break;
        const char* reason = ::dlerror();
        if (error.empty() && reason != nullptr) error = reason;
    }
    if (module == nullptr) return std::nullopt;
    const auto entry = reinterpret_cast<DesktopEntry>(::dlsym(module, "tavox_run_desktop"));
    if (entry == nullptr) {
        error = "libtavox_desktop.so has no entry point";
        return std::nullopt;
    }
    // The module stays loaded until the process ends: Qt registers exit handlers.
    return entry(argc, argv, &fields, &options);
}

}  // namespace tavox
