// Writes the completion scripts and the manual page of quillbrook-cli from its
// command tree, so that they cannot drift from the program. Run by the build;
// never installed.

#include <cstdio>
#include <fstream>
#include <string>

#include "commands/command_tree.h"
#include "tools/completions.h"
#include "tools/man_page.h"
#include "util/version.h"

namespace {

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (!file) {
        std::fprintf(stderr, "quillbrook-generate-docs: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillbrook-generate-docs OUTPUT-DIRECTORY\n");
        return 64;
    }
    using namespace quillbrook;
    const std::string directory = argv[1];
    const CommandDefinition root = commandTree();
    bool written = writeFile(directory + "/quillbrook-cli.bash", docs::bashCompletion(root)) &&
                   writeFile(directory + "/_quillbrook-cli", docs::zshCompletion(root)) &&
                   writeFile(directory + "/quillbrook-cli.fish", docs::fishCompletion(root)) &&
                   writeFile(directory + "/quillbrook-cli.1", docs::manPage(root, kVersion));
    return written ? 0 : 1;
}
