#include "dev_agent/mime/message_composer.h"

#include "dev_agent/base/text.h"
#include "dev_agent/mime/address_fields.h"
#include "dev_agent/mime/gmime_handles.h"

namespace quillbrook::dev_agent {

namespace {

// Header values must stay on their line whatever the caller passed.
std::string oneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return out;
}

GObjectPtr<InternetAddressList> parseAddresses(std::string_view text) {
    return GObjectPtr<InternetAddressList>(
        internet_address_list_parse(parserOptionsFor(text), boundedAddressList(text).c_str()));
}

void addRecipients(GMimeMessage* message, GMimeAddressType type, std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (auto parsed = parseAddresses(text)) {
        internet_address_list_append(g_mime_message_get_addresses(message, type), parsed.get());
    }
}

GMimeObject* textPart(const char* subtype, const std::string& text) {
    GMimeTextPart* part = g_mime_text_part_new_with_subtype(subtype);
    g_mime_text_part_set_text(part, text.c_str());
    g_mime_part_set_content_encoding(
        GMIME_PART(part), g_mime_part_get_best_content_encoding(GMIME_PART(part), GMIME_ENCODING_CONSTRAINT_7BIT));
    return GMIME_OBJECT(part);
}

std::string domainOf(const std::string& email) {
    auto at = email.rfind('@');
    return at == std::string::npos ? "localhost" : email.substr(at + 1);
}

bool isMailbox(InternetAddress* address) {
    if (!INTERNET_ADDRESS_IS_MAILBOX(address)) {
        return false;
    }
    std::string_view addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
    auto at = addr.find('@');
    return at != std::string_view::npos && at > 0 && at + 1 < addr.size();
}

}  // namespace

std::optional<std::string> addressListProblem(std::string_view addresses) {
    if (addresses.size() > kMaxAddressFieldBytes) {
        return "the list is longer than " + std::to_string(kMaxAddressFieldBytes) + " bytes";
    }
    ensureGMimeInitialised();
    auto list = parseAddresses(addresses);
    if (!list || internet_address_list_length(list.get()) == 0) {
        return "no e-mail address in " + quotedText(addresses);
    }
    for (int i = 0; i < internet_address_list_length(list.get()); ++i) {
        InternetAddress* address = internet_address_list_get_address(list.get(), i);
        if (!isMailbox(address)) {
            GCharPtr text(internet_address_to_string(address, nullptr, FALSE));
            return quotedText(text ? text.get() : "") + " is not an e-mail address";
        }
    }
    return std::nullopt;
}

bool isMessageId(std::string_view text) {
    if (text.size() < 5 || text.front() != '<' || text.back() != '>') {
        return false;
    }
    std::string_view inner = text.substr(1, text.size() - 2);
    auto at = inner.find('@');
    if (at == std::string_view::npos || at == 0 || at + 1 == inner.size()) {
        return false;
    }
    for (char c : inner) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '<' || c == '>') {
            return false;
        }
    }
    return true;
}

ComposedMessage composeMessage(const OutgoingMessage& message) {
    ensureGMimeInitialised();
    GObjectPtr<GMimeMessage> mime(g_mime_message_new(TRUE));
    g_mime_message_add_mailbox(mime.get(), GMIME_ADDRESS_TYPE_FROM, oneLine(message.fromName).c_str(),
                               message.fromEmail.c_str());
    addRecipients(mime.get(), GMIME_ADDRESS_TYPE_TO, message.to);
    addRecipients(mime.get(), GMIME_ADDRESS_TYPE_CC, message.cc);
    addRecipients(mime.get(), GMIME_ADDRESS_TYPE_BCC, message.bcc);
    g_mime_message_set_subject(mime.get(), oneLine(message.subject).c_str(), "utf-8");

    DateTimePtr now(g_date_time_new_now_local());
    g_mime_message_set_date(mime.get(), now.get());
    GCharPtr id(g_mime_utils_generate_message_id(domainOf(message.fromEmail).c_str()));
    g_mime_message_set_message_id(mime.get(), id.get());

    if (!message.inReplyTo.empty()) {
        g_mime_object_set_header(GMIME_OBJECT(mime.get()), "In-Reply-To", message.inReplyTo.c_str(), nullptr);
    }
    if (!message.references.empty()) {
        std::string references;
        for (const auto& reference : message.references) {
            references += (references.empty() ? "" : " ") + reference;
        }
        g_mime_object_set_header(GMIME_OBJECT(mime.get()), "References", references.c_str(), nullptr);
    }

    GObjectPtr<GMimeObject> plain(textPart("plain", message.body));
    if (message.bodyHTML.empty()) {
        g_mime_message_set_mime_part(mime.get(), plain.get());
    } else {
        GObjectPtr<GMimeMultipart> alternative(g_mime_multipart_new_with_subtype("alternative"));
        GObjectPtr<GMimeObject> html(textPart("html", message.bodyHTML));
        g_mime_multipart_add(alternative.get(), plain.get());
        g_mime_multipart_add(alternative.get(), html.get());
        g_mime_message_set_mime_part(mime.get(), GMIME_OBJECT(alternative.get()));
    }
    GCharPtr text(g_mime_object_to_string(GMIME_OBJECT(mime.get()), nullptr));
    return {text ? std::string(text.get()) : std::string(), std::string("<") + id.get() + ">"};
}

}  // namespace quillbrook::dev_agent
