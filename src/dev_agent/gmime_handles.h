#pragma once

#include <memory>

#include <gmime/gmime.h>

namespace quillbrook::dev_agent {

// Owning handles for the GLib objects the agent holds, so that every early return
// releases them.
struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<char, GFree>;

struct ParserOptionsFree {
    void operator()(GMimeParserOptions* options) const { g_mime_parser_options_free(options); }
};
using ParserOptionsPtr = std::unique_ptr<GMimeParserOptions, ParserOptionsFree>;

// GMime must be initialised once before its first use; every entry point into the
// GMime code calls this.
void ensureGMimeInitialised();

// Options for reading mail as it is found on disk: undeclared 8-bit header text
// is tried as UTF-8, then as Windows-1252 (which covers Latin-1).
GMimeParserOptions* lenientParserOptions();

}  // namespace quillbrook::dev_agent
