#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavox {

class Application;

// Start modes of the process.
enum class StartMode { Automation, Standalone };

// The process's start mode; Automation unless the executable's start-up set it.
bool IsStandalone() noexcept;
void SetStartMode(StartMode mode) noexcept;

// Command-line mode flag, held per thread.
bool CommandLineMode() noexcept;
void SetCommandLineMode(bool value) noexcept;

// Hooks the start-up installs so that the core stays free of any toolkit:
// the event pump run once before each file, the opener of a progress window
// for a standalone run, and a cheap test, asked between the exposures of a
// file, that answers true once the run is to stop at once (a stop signal).
// Any may be empty. Held per thread, like the Application objects they serve.
struct HostHooks {
    std::function<void()> pumpEvents;
    std::function<void(const std::shared_ptr<Application>&)> openProgressWindow;
    std::function<bool()> stopRequested;
};
void InstallHostHooks(HostHooks hooks);
const HostHooks& CurrentHostHooks() noexcept;

// Title and text of the command-line help box. The text is 19 lines joined
// by `lineBreak` (CR LF for the help box), the last without a line break.
inline constexpr const char* CommandLineHelpTitle = "FFT Command Line Help";
std::string CommandLineHelpText(std::string_view lineBreak = "\r\n");
const std::vector<std::string>& CommandLineHelpLines();

}  // namespace tavox
