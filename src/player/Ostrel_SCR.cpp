// lumetra-scr: the screensaver player.
#include "classlib/Forms.h"
#include "player/Ostrel_SCR.h"

int main(int argc, char** argv) {
    player::StartUpLibraries(argc, argv);
    int status = 0;
    try {
        status = player::RunMainBlock();
    } catch (const std::exception& e) {
        // What escapes the main block is reported like any other failure, and ends the program.
        if (cl::Application) {
            if (auto* ce = dynamic_cast<const cl::Exception*>(&e))
                cl::Application->ShowException(*ce);
            else
                cl::Application->ShowException(cl::Exception(e.what()));
        }
        status = 1;
    }
    player::ShutDownLibraries();
    return status;
}
