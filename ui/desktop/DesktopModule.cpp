#include <string>
#include <vector>

#include "ui/desktop/RunDesktop.h"

// Entry point the tavox program looks up after loading this module.
extern "C" __attribute__((visibility("default"))) int tavox_run_desktop(int argc, char** argv,
                                                                        const std::vector<std::string>* fields,
                                                                        const tavox::BatchSettings* settings) {
    return tavox::RunDesktop(argc, argv, *fields, *settings);
}
