#include "dev_agent/mime/gmime_handles.h"

#include <string>

#include "dev_agent/base/log.h"
#include "dev_agent/mime/encoded_words.h"

namespace quillbrook::dev_agent {

namespace {

// Warnings and worse become one agent log line each; GLib's debug and info
// chatter is dropped.
void logLibraryMessage(const char* domain, GLogLevelFlags level, const char* message) {
    if ((level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) == 0) {
        return;
    }
    const char* severity = (level & G_LOG_LEVEL_WARNING) != 0 ? "warning" : "critical";
    std::string line = domain != nullptr ? domain : "GLib";
    line += ' ';
    line += severity;
    line += ": ";
    line += message != nullptr ? message : "";
    logLine(line);
}

void handleLogMessage(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
    logLibraryMessage(domain, level, message);
}

GLogWriterOutput writeStructuredLog(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer) {
    const char* domain = nullptr;
    const char* message = nullptr;
    for (gsize i = 0; i < count; ++i) {
        std::string_view key = fields[i].key;
        if (fields[i].length == -1 && key == "GLIB_DOMAIN") {
            domain = static_cast<const char*>(fields[i].value);
        } else if (fields[i].length == -1 && key == "MESSAGE") {
            message = static_cast<const char*>(fields[i].value);
        }
    }
    logLibraryMessage(domain, level, message);
    return G_LOG_WRITER_HANDLED;
}

}  // namespace

void ensureGMimeInitialised() {
    static const bool initialised = [] {
        g_log_set_default_handler(handleLogMessage, nullptr);
        g_log_set_writer_func(writeStructuredLog, nullptr, nullptr);
        g_mime_init();
        return true;
    }();
    (void)initialised;
}

namespace {

GMimeParserOptions* newLenientOptions(GMimeRfcComplianceMode encodedWords) {
    ensureGMimeInitialised();
    GMimeParserOptions* created = g_mime_parser_options_new();
    static const char* fallback[] = {"UTF-8", "WINDOWS-1252", nullptr};
    g_mime_parser_options_set_fallback_charsets(created, fallback);
    g_mime_parser_options_set_address_compliance_mode(created, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_rfc2047_compliance_mode(created, encodedWords);
    return created;
}

}  // namespace

GMimeParserOptions* lenientParserOptions() {
    static GMimeParserOptions* const options = newLenientOptions(GMIME_RFC_COMPLIANCE_LOOSE);
    return options;
}

GMimeParserOptions* parserOptionsFor(std::string_view text) {
    static GMimeParserOptions* const strictWords = newLenientOptions(GMIME_RFC_COMPLIANCE_STRICT);
    return lenientDecodingIsCostly(text) ? strictWords : lenientParserOptions();
}

}  // namespace quillbrook::dev_agent
