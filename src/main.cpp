#include <csignal>

#include "commands/command_line.h"
#include "commands/command_tree.h"

int main(int argc, char** argv) {
    // A reader that goes away (a closed pipe, an agent that hung up) must turn
    // into a failed write that we report, never a silent death by SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    return quillbrook::runCommandLine(quillbrook::commandTree(), quillbrook::kVersion, argc, argv);
}
