#include "dev_agent/gmime_handles.h"

namespace quillbrook::dev_agent {

void ensureGMimeInitialised() {
    static const bool initialised = [] {
        g_mime_init();
        return true;
    }();
    (void)initialised;
}

GMimeParserOptions* lenientParserOptions() {
    static GMimeParserOptions* const options = [] {
        ensureGMimeInitialised();
        GMimeParserOptions* created = g_mime_parser_options_new();
        static const char* fallback[] = {"UTF-8", "WINDOWS-1252", nullptr};
        g_mime_parser_options_set_fallback_charsets(created, fallback);
        g_mime_parser_options_set_address_compliance_mode(created, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_rfc2047_compliance_mode(created, GMIME_RFC_COMPLIANCE_LOOSE);
        return created;
    }();
    return options;
}

}  // namespace quillbrook::dev_agent
