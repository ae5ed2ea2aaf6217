#pragma once

#include <memory>

namespace tavox {

class Application;
class frmProcess;
struct HostHooks;

// Opens the progress window of a standalone run: created to delete itself
// when closed, shown modeless and bound to `app`.
frmProcess* OpenProgressWindow(const std::shared_ptr<Application>& app);

// The hooks of the desktop: the event pump runs QCoreApplication's pending
// events once, and a run opens a progress window.
HostHooks DesktopHooks();

// Shows the modal command-line help box and returns when it is closed.
void ShowCommandLineHelp();

}  // namespace tavox
