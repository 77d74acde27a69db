// lumetra-scr: the screensaver player.
#include <cstdlib>
#include <exception>

#include "classlib/Forms.h"
#include "platform/exit_cleanup.h"
#include "platform/signals.h"
#include "player/Ostrel_SCR.h"

int main(int argc, char** argv) {
    // A screensaver host ends its program with SIGTERM: from the very start a termination
    // signal closes the windows as a key press does, and the run's files go in any case.
    win::InstallTerminationSignals();
    std::set_terminate([] {
        win::RunExitCleanups();
        std::abort();
    });
    player::StartUpLibraries(argc, argv);
    int status = 0;
    try {
        status = player::RunMainBlock();
    } catch (const std::exception& e) {
        // What escapes the main block is reported like any other failure, and ends the
        // program; the run's files go first, whatever the report does.
        win::RunExitCleanups();
        if (cl::Application) {
            if (auto* ce = dynamic_cast<const cl::Exception*>(&e))
                cl::Application->ShowException(*ce);
            else
                cl::Application->ShowException(cl::Exception(e.what()));
        }
        status = 1;
    } catch (...) {
        win::RunExitCleanups();
        status = 1;
    }
    player::ShutDownLibraries();
    return status;
}
