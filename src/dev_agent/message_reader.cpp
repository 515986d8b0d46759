#include "dev_agent/message_reader.h"

#include <glib.h>

#include "dev_agent/gmime_handles.h"
#include "dev_agent/html_text.h"
#include "dev_agent/text.h"
#include "util/utf8.h"

namespace quillbrook::dev_agent {

namespace {

std::string clean(const char* text) { return text == nullptr ? std::string() : utf8::sanitized(text); }

// Undeclared or mislabelled 8-bit text is far more often Windows-1252 than
// anything else; bytes that still do not decode become U+FFFD.
std::string decodedText(std::string_view bytes) {
    if (utf8::isValid(bytes)) {
        return std::string(bytes);
    }
    gsize written = 0;
    GCharPtr converted(
        g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8", "WINDOWS-1252", nullptr, &written, nullptr));
    if (converted) {
        return utf8::sanitized(std::string_view(converted.get(), written));
    }
    return utf8::sanitized(bytes);
}

// GMime hands out message ids without their angle brackets.
std::string withBrackets(const char* id) {
    if (id == nullptr || *id == '\0') {
        return {};
    }
    std::string bracketed = "<";
    bracketed += clean(id);
    bracketed += '>';
    return bracketed;
}

std::vector<std::string> messageIdsOf(GMimeMessage* message, const char* header) {
    std::vector<std::string> ids;
    const char* value = g_mime_object_get_header(GMIME_OBJECT(message), header);
    if (value == nullptr) {
        return ids;
    }
    GMimeReferences* refs = g_mime_references_parse(lenientParserOptions(), value);
    if (refs == nullptr) {
        return ids;
    }
    for (int i = 0; i < g_mime_references_length(refs); ++i) {
        ids.push_back(withBrackets(g_mime_references_get_message_id(refs, i)));
    }
    g_mime_references_free(refs);
    return ids;
}

std::string addressListText(InternetAddressList* list) {
    if (list == nullptr || internet_address_list_length(list) == 0) {
        return {};
    }
    GCharPtr text(internet_address_list_to_string(list, nullptr, FALSE));
    return clean(text.get());
}

void readSender(GMimeMessage* message, ParsedMessage& out) {
    InternetAddressList* from = g_mime_message_get_from(message);
    if (from == nullptr || internet_address_list_length(from) == 0) {
        return;
    }
    InternetAddress* first = internet_address_list_get_address(from, 0);
    if (INTERNET_ADDRESS_IS_GROUP(first)) {
        InternetAddressList* members = internet_address_group_get_members(INTERNET_ADDRESS_GROUP(first));
        if (members == nullptr || internet_address_list_length(members) == 0) {
            return;
        }
        first = internet_address_list_get_address(members, 0);
    }
    out.fromName = clean(internet_address_get_name(first));
    if (INTERNET_ADDRESS_IS_MAILBOX(first)) {
        out.from = clean(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(first)));
    }
}

void readDate(GMimeMessage* message, ParsedMessage& out) {
    GDateTime* date = g_mime_message_get_date(message);
    if (date == nullptr) {
        return;
    }
    GCharPtr iso(g_date_time_format(date, "%Y-%m-%dT%H:%M:%S%:z"));
    out.date = clean(iso.get());
    out.time = g_date_time_to_unix(date);
}

std::uint64_t decodedSize(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr) {
        return 0;
    }
    GObjectPtr<GMimeStream> sink(g_mime_stream_null_new());
    g_mime_data_wrapper_write_to_stream(content, sink.get());
    return GMIME_STREAM_NULL(sink.get())->written;
}

std::string contentTypeOf(GMimeObject* object) {
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (type == nullptr) {
        return "application/octet-stream";
    }
    GCharPtr mimeType(g_mime_content_type_get_mime_type(type));
    return asciiLower(clean(mimeType.get()));
}

std::string partText(GMimeTextPart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
    const char* charset = g_mime_text_part_get_charset(part);
    if (content == nullptr) {
        return {};
    }
    GObjectPtr<GMimeStream> buffer(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, buffer.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(buffer.get()));
    std::string_view raw(reinterpret_cast<const char*>(bytes->data), bytes->len);
    if (charset != nullptr && g_ascii_strcasecmp(charset, "utf-8") != 0 && g_ascii_strcasecmp(charset, "us-ascii") != 0) {
        gsize written = 0;
        GCharPtr converted(g_convert(raw.data(), static_cast<gssize>(raw.size()), "UTF-8",
                                     g_mime_charset_iconv_name(charset), nullptr, &written, nullptr));
        if (converted) {
            return toUnixLineEnds(utf8::sanitized(std::string_view(converted.get(), written)));
        }
    }
    return toUnixLineEnds(decodedText(raw));
}

class BodyCollector {
public:
    explicit BodyCollector(ParsedMessage& out) : out_(out) {}

    void visit(GMimeObject* object) {
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
                visit(g_mime_multipart_get_part(multipart, i));
            }
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            addForwardedMessage(GMIME_MESSAGE_PART(object));
        } else if (GMIME_IS_PART(object)) {
            visitLeaf(GMIME_PART(object));
        }
    }

private:
    void visitLeaf(GMimePart* part) {
        std::string type = contentTypeOf(GMIME_OBJECT(part));
        bool attachment = g_mime_part_is_attachment(part) || g_mime_part_get_filename(part) != nullptr;
        if (!attachment && GMIME_IS_TEXT_PART(part)) {
            if (type == "text/plain" && !haveText_) {
                out_.body = partText(GMIME_TEXT_PART(part));
                haveText_ = true;
                return;
            }
            if (type == "text/html" && !haveHtml_) {
                out_.bodyHTML = partText(GMIME_TEXT_PART(part));
                haveHtml_ = true;
                return;
            }
        }
        out_.attachments.push_back({clean(g_mime_part_get_filename(part)), type, decodedSize(part)});
    }

    void addForwardedMessage(GMimeMessagePart* part) {
        GObjectPtr<GMimeStream> sink(g_mime_stream_null_new());
        if (GMimeMessage* inner = g_mime_message_part_get_message(part)) {
            g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, sink.get());
        }
        const char* filename = g_mime_object_get_content_disposition_parameter(GMIME_OBJECT(part), "filename");
        out_.attachments.push_back(
            {clean(filename), contentTypeOf(GMIME_OBJECT(part)), GMIME_STREAM_NULL(sink.get())->written});
    }

    ParsedMessage& out_;
    bool haveText_ = false;
    bool haveHtml_ = false;
};

}  // namespace

std::optional<ParsedMessage> readMessage(std::string_view raw) {
    ensureGMimeInitialised();
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(raw.data(), raw.size()));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), lenientParserOptions()));
    if (!message || g_mime_header_list_get_count(g_mime_object_get_header_list(GMIME_OBJECT(message.get()))) == 0) {
        return std::nullopt;
    }

    ParsedMessage out;
    readSender(message.get(), out);
    out.to = addressListText(g_mime_message_get_to(message.get()));
    out.cc = addressListText(g_mime_message_get_cc(message.get()));
    out.subject = clean(g_mime_message_get_subject(message.get()));
    readDate(message.get(), out);
    out.messageId = withBrackets(g_mime_message_get_message_id(message.get()));
    std::vector<std::string> inReplyTo = messageIdsOf(message.get(), "In-Reply-To");
    out.inReplyTo = inReplyTo.empty() ? std::string() : inReplyTo.front();
    out.references = messageIdsOf(message.get(), "References");
    if (GMimeObject* root = g_mime_message_get_mime_part(message.get())) {
        BodyCollector(out).visit(root);
    }
    if (out.body.empty() && !out.bodyHTML.empty()) {
        out.body = htmlToText(out.bodyHTML);
    }
    return out;
}

}  // namespace quillbrook::dev_agent
