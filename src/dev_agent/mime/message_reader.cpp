#include "dev_agent/mime/message_reader.h"

#include "dev_agent/base/text.h"
#include "dev_agent/mime/address_fields.h"
#include "dev_agent/mime/charset_text.h"
#include "dev_agent/mime/encoded_words.h"
#include "dev_agent/mime/gmime_handles.h"
#include "dev_agent/mime/header_block.h"
#include "dev_agent/mime/html_text.h"
#include "util/utf8.h"

namespace quillbrook::dev_agent {

namespace {

constexpr std::string_view kPlainText = "text/plain";
constexpr std::string_view kHtmlText = "text/html";
constexpr std::string_view kOctetStream = "application/octet-stream";

std::string clean(const char* text) { return text == nullptr ? std::string() : utf8::sanitized(text); }

std::string trimmed(std::string text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    text.erase(0, text.find_first_not_of(kBlanks));
    text.erase(text.find_last_not_of(kBlanks) + 1);
    return text;
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
    ReferencesPtr refs(g_mime_references_parse(lenientParserOptions(), value));
    if (!refs) {
        return ids;
    }
    for (int i = 0; i < g_mime_references_length(refs.get()); ++i) {
        ids.push_back(withBrackets(g_mime_references_get_message_id(refs.get(), i)));
    }
    return ids;
}

std::string addressListText(InternetAddressList* list) {
    if (list == nullptr || internet_address_list_length(list) == 0) {
        return {};
    }
    GCharPtr text(internet_address_list_to_string(list, nullptr, FALSE));
    return clean(text.get());
}

void readSender(InternetAddressList* from, ParsedMessage& out) {
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

void setDate(GDateTime* date, ParsedMessage& out) {
    GCharPtr iso(g_date_time_format(date, "%Y-%m-%dT%H:%M:%S%:z"));
    out.date = clean(iso.get());
    out.time = g_date_time_to_unix(date);
}

void readHeaders(GMimeMessage* message, ParsedMessage& out) {
    readSender(g_mime_message_get_from(message), out);
    out.to = addressListText(g_mime_message_get_to(message));
    out.cc = addressListText(g_mime_message_get_cc(message));
    out.subject = trimmed(clean(g_mime_message_get_subject(message)));
    if (GDateTime* date = g_mime_message_get_date(message)) {
        setDate(date, out);
    }
    out.messageId = withBrackets(g_mime_message_get_message_id(message));
    std::vector<std::string> inReplyTo = messageIdsOf(message, "In-Reply-To");
    out.inReplyTo = inReplyTo.empty() ? std::string() : inReplyTo.front();
    out.references = messageIdsOf(message, "References");
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

// GMime turns a Content-Type it cannot parse (no subtype, or no type at all) into
// application/octet-stream; such a part is text/plain, as RFC 2045 says of a part
// without a usable type.
std::string contentTypeOf(GMimeObject* object) {
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (type == nullptr) {
        return std::string(kPlainText);
    }
    GCharPtr mimeType(g_mime_content_type_get_mime_type(type));
    std::string parsed = asciiLower(clean(mimeType.get()));
    if (parsed == kOctetStream) {
        std::string declared = asciiLower(trimmed(clean(g_mime_object_get_header(object, "Content-Type"))));
        if (declared.compare(0, kOctetStream.size(), kOctetStream) != 0) {
            return std::string(kPlainText);
        }
    }
    return parsed;
}

std::string textOf(std::string_view bytes, const char* charset) {
    return toUnixLineEnds(decodeText(bytes, charset == nullptr ? std::string_view() : std::string_view(charset)));
}

std::string partText(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr) {
        return {};
    }
    GObjectPtr<GMimeStream> buffer(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, buffer.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(buffer.get()));
    if (bytes == nullptr || bytes->len == 0) {
        return {};
    }
    std::string_view raw(reinterpret_cast<const char*>(bytes->data), bytes->len);
    return textOf(raw, g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset"));
}

class BodyCollector {
public:
    // Without `listAttachments` only the text is collected: a forwarded message's
    // own attachments are never shown, and measuring them again at every level of
    // forwards nested 500 deep cost 500 times the message.
    explicit BodyCollector(ParsedMessage& out, bool listAttachments = true)
        : out_(out), listAttachments_(listAttachments) {}

    // Fills the body, HTML and attachments from the part tree under `root`.
    void collect(GMimeObject* root) {
        visit(root);
        if (out_.body.empty() && out_.bodyHTML.empty() && firstForwarded_ != nullptr) {
            showForwardedText();
        }
        if (out_.body.empty() && !out_.bodyHTML.empty()) {
            out_.body = htmlToText(out_.bodyHTML);
        }
    }

private:
    void visit(GMimeObject* object) {
        if (GMIME_IS_MULTIPART(object)) {
            visitMultipart(GMIME_MULTIPART(object));
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            addForwardedMessage(GMIME_MESSAGE_PART(object));
        } else if (GMIME_IS_PART(object)) {
            visitLeaf(GMIME_PART(object));
        }
    }

    // A multipart whose boundary never appears (or is not declared) has no parts;
    // its whole content is then in the prologue.
    void visitMultipart(GMimeMultipart* multipart) {
        int count = g_mime_multipart_get_count(multipart);
        if (count == 0 && !haveText_) {
            const char* prologue = g_mime_multipart_get_prologue(multipart);
            if (prologue != nullptr) {
                out_.body = textOf(prologue, nullptr);
                haveText_ = !out_.body.empty();
            }
        }
        for (int i = 0; i < count; ++i) {
            visit(g_mime_multipart_get_part(multipart, i));
        }
    }

    void visitLeaf(GMimePart* part) {
        std::string type = contentTypeOf(GMIME_OBJECT(part));
        bool named = g_mime_part_get_filename(part) != nullptr;
        bool mayBeText = !g_mime_part_is_attachment(part) && !(named && (haveText_ || haveHtml_));
        if (mayBeText && type == kPlainText && !haveText_) {
            out_.body = partText(part);
            haveText_ = true;
            return;
        }
        if (mayBeText && type == kHtmlText && !haveHtml_) {
            out_.bodyHTML = partText(part);
            haveHtml_ = true;
            return;
        }
        if (listAttachments_) {
            out_.attachments.push_back({clean(g_mime_part_get_filename(part)), type, decodedSize(part)});
        }
    }

    void addForwardedMessage(GMimeMessagePart* part) {
        GMimeMessage* inner = g_mime_message_part_get_message(part);
        if (firstForwarded_ == nullptr) {
            firstForwarded_ = inner;
        }
        if (!listAttachments_) {
            return;
        }
        GObjectPtr<GMimeStream> sink(g_mime_stream_null_new());
        if (inner != nullptr) {
            g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, sink.get());
        }
        const char* filename = g_mime_object_get_content_disposition_parameter(GMIME_OBJECT(part), "filename");
        out_.attachments.push_back(
            {clean(filename), contentTypeOf(GMIME_OBJECT(part)), GMIME_STREAM_NULL(sink.get())->written});
    }

    // A message that only forwards another shows the forwarded text, as a mail
    // program shows it inline; the forward stays listed as an attachment.
    void showForwardedText() {
        GMimeObject* root = g_mime_message_get_mime_part(firstForwarded_);
        if (root == nullptr) {
            return;
        }
        ParsedMessage inner;
        BodyCollector(inner, false).collect(root);
        out_.body = std::move(inner.body);
        out_.bodyHTML = std::move(inner.bodyHTML);
    }

    ParsedMessage& out_;
    bool listAttachments_;
    GMimeMessage* firstForwarded_ = nullptr;  // owned by its part in the tree
    bool haveText_ = false;
    bool haveHtml_ = false;
};

GObjectPtr<GMimeMessage> parseMessage(std::string_view text) {
    ensureGMimeInitialised();
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(text.data(), text.size()));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    return GObjectPtr<GMimeMessage>(g_mime_parser_construct_message(parser.get(), parserOptionsFor(text)));
}

// `raw` as GMime can read it: address fields bounded, encoded words that lie
// about UTF-8 relabelled, a header folded over thousands of lines unfolded, and
// a blank line put where the header block ends without one. `storage` holds the text when it had to change.
std::string_view preparedMessage(std::string_view raw, HeaderBlock header, std::string& storage) {
    std::optional<std::string> bounded = withBoundedAddressFields(raw);
    std::string_view text = bounded ? std::string_view(*bounded) : raw;
    if (bounded) {
        // A field cut short moved the end of the header block.
        header = findHeaderBlock(text);
    }
    std::string_view headerText = text.substr(0, header.end);
    std::optional<std::string> relabelled = relabelMislabelledEncodedWords(headerText);
    if (relabelled) {
        headerText = *relabelled;
    }
    std::optional<std::string> unfolded = unfoldedWhenCostly(headerText);
    if (unfolded) {
        headerText = *unfolded;
    }
    bool addBlankLine = !header.endsWithBlankLine && header.end < text.size();
    if (!relabelled && !unfolded && !addBlankLine) {
        if (!bounded) {
            return raw;
        }
        storage = std::move(*bounded);
        return storage;
    }
    std::string prepared(headerText);
    if (addBlankLine) {
        prepared += '\n';
    }
    prepared.append(text.substr(header.end));
    storage = std::move(prepared);
    return storage;
}

// Where the line that would start part number `maxParts` + 1 begins, counting
// every line that starts with "--" as a boundary (a text's own such lines
// only make the cut come sooner); npos when there are not that many.
std::size_t partLimitOffset(std::string_view raw, std::size_t maxParts) {
    std::size_t boundaries = 0;
    for (std::size_t line = raw.find("\n--"); line != std::string_view::npos; line = raw.find("\n--", line + 3)) {
        if (++boundaries > maxParts) {
            return line + 1;
        }
    }
    return std::string_view::npos;
}

// The header block of `raw` alone, prepared for GMime.
std::string_view preparedHeader(std::string_view raw, std::string& storage) {
    HeaderBlock header = findHeaderBlock(raw);
    return preparedMessage(raw.substr(0, header.end), header, storage);
}

// The header fields of a prepared header, through a whole GMime message.
ParsedMessage headersOf(std::string_view text) {
    ParsedMessage out;
    if (GObjectPtr<GMimeMessage> message = parseMessage(text)) {
        readHeaders(message.get(), out);
    }
    return out;
}

bool sameName(std::string_view name, std::string_view expected) {
    return name.size() == expected.size() && g_ascii_strncasecmp(name.data(), expected.data(), expected.size()) == 0;
}

// A field's value as GMime's header gives it: unfolded, encoded words decoded.
GCharPtr decodedValue(GMimeParserOptions* options, const HeaderField& field) {
    GCharPtr unfolded(g_mime_utils_header_unfold(std::string(field.rawValue).c_str()));
    return GCharPtr(g_mime_utils_header_decode_text(options, unfolded.get()));
}

// The index's fields of a header of plain fields, read as GMime's message reads
// them (every From field's addresses in turn; the last Subject, Date and
// Message-Id) with the same decoders, but without building a message: that
// was most of the time an index of a new folder took.
std::optional<ParsedMessage> summaryOfPlainFields(std::string_view text) {
    std::optional<std::vector<HeaderField>> fields = plainFields(text);
    if (!fields) {
        return std::nullopt;
    }
    GMimeParserOptions* options = parserOptionsFor(text);
    GObjectPtr<InternetAddressList> from(internet_address_list_new());
    const HeaderField* subject = nullptr;
    const HeaderField* date = nullptr;
    const HeaderField* messageId = nullptr;
    for (const HeaderField& field : *fields) {
        if (sameName(field.name, "From")) {
            // A list GMime cannot read whole is kept by its message in part,
            // which its public parser does not give: that is left to it.
            GObjectPtr<InternetAddressList> parsed{
                internet_address_list_parse(options, std::string(field.rawValue).c_str())};
            if (!parsed) {
                return std::nullopt;
            }
            internet_address_list_append(from.get(), parsed.get());
        } else if (sameName(field.name, "Subject")) {
            subject = &field;
        } else if (sameName(field.name, "Date")) {
            date = &field;
        } else if (sameName(field.name, "Message-Id")) {
            messageId = &field;
        }
    }
    ParsedMessage out;
    readSender(from.get(), out);
    if (subject != nullptr) {
        out.subject = trimmed(clean(decodedValue(options, *subject).get()));
    }
    if (date != nullptr) {
        if (DateTimePtr time{g_mime_utils_header_decode_date(decodedValue(options, *date).get())}) {
            setDate(time.get(), out);
        }
    }
    if (messageId != nullptr) {
        out.messageId =
            withBrackets(GCharPtr(g_mime_utils_decode_message_id(decodedValue(options, *messageId).get())).get());
    }
    return out;
}

}  // namespace

ParsedMessage readMessage(std::string_view raw) {
    ParsedMessage out;
    if (std::size_t limit = partLimitOffset(raw, kMaxParts); limit != std::string_view::npos) {
        raw = raw.substr(0, limit);
        out.cut = true;
    }
    HeaderBlock header = findHeaderBlock(raw);
    if (header.end == 0 && !header.endsWithBlankLine) {
        out.body = textOf(raw, nullptr);
        return out;
    }
    std::string storage;
    std::string_view text = preparedMessage(raw, header, storage);
    GObjectPtr<GMimeMessage> message = parseMessage(text);
    if (!message) {
        out.body = textOf(text, nullptr);
        return out;
    }
    readHeaders(message.get(), out);
    if (GMimeObject* root = g_mime_message_get_mime_part(message.get())) {
        BodyCollector(out).collect(root);
    }
    return out;
}

ParsedMessage readMessageHeaders(std::string_view raw) {
    std::string storage;
    return headersOf(preparedHeader(raw, storage));
}

ParsedMessage readHeaderSummary(std::string_view raw) {
    std::string storage;
    std::string_view text = preparedHeader(raw, storage);
    ensureGMimeInitialised();
    if (std::optional<ParsedMessage> summary = summaryOfPlainFields(text)) {
        return std::move(*summary);
    }
    return headersOf(text);
}

void dateByDelivery(ParsedMessage& message, std::int64_t deliveryTime) {
    if (message.time) {
        return;
    }
    if (DateTimePtr delivered{g_date_time_new_from_unix_utc(deliveryTime)}) {
        setDate(delivered.get(), message);
    }
}

}  // namespace quillbrook::dev_agent
