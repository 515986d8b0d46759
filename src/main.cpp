#include "commands/command_line.h"
#include "commands/command_tree.h"
#include "util/process_setup.h"
#include "util/version.h"

int main(int argc, char** argv) {
    quillbrook::prepareProcess();
    return quillbrook::runCommandLine(quillbrook::commandTree(), quillbrook::kVersion, argc, argv);
}
