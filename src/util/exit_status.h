#pragma once

// Every way either program can end, as the process exit status that scripts see.
namespace quillbrook {

enum class ExitStatus : int {
    success = 0,
    failure = 1,           // an error answer, an unexpected error, a refusal
    agentUnreachable = 2,  // no agent socket accepted a connection
    connectionLost = 3,    // the agent went away before the answer was complete
    usage = 64,            // the command line could not be parsed (EX_USAGE)
};

constexpr int exitCode(ExitStatus status) { return static_cast<int>(status); }

}  // namespace quillbrook
