#pragma once

#include <memory>
#include <string_view>
#include <type_traits>

#include <gmime/gmime.h>

namespace quillbrook::dev_agent {

// Owning handles for the GLib and GMime objects the agent holds, so that every
// early return releases them.
struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<char, GFree>;

struct ReferencesFree {
    void operator()(GMimeReferences* references) const { g_mime_references_free(references); }
};
using ReferencesPtr = std::unique_ptr<GMimeReferences, ReferencesFree>;

struct DateTimeUnref {
    void operator()(GDateTime* time) const { g_date_time_unref(time); }
};
using DateTimePtr = std::unique_ptr<GDateTime, DateTimeUnref>;

struct IConvClose {
    void operator()(GIConv converter) const { g_iconv_close(converter); }
};
using IConvPtr = std::unique_ptr<std::remove_pointer_t<GIConv>, IConvClose>;

// GMime must be initialised once before its first use; every entry point into the
// GMime code calls this. It also sends what GLib and GMime would print on standard
// error through the agent's log, so the log holds the agent's lines only.
void ensureGMimeInitialised();

// Options for reading mail as it is found on disk: undeclared 8-bit header text
// is tried as UTF-8, then as Windows-1252 (which covers Latin-1). They live as
// long as the process, so that no thread can outlive them.
GMimeParserOptions* lenientParserOptions();

// The options to read `text` with: the lenient ones, but with GMime's strict
// reading of encoded words where its lenient reading would take far longer
// than the text is long (see lenientDecodingIsCostly). Only hostile text
// needs it; the words a mail program writes read the same either way.
GMimeParserOptions* parserOptionsFor(std::string_view text);

}  // namespace quillbrook::dev_agent
