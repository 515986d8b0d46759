// Writes a Maildir of generated mail for the development agent's benchmark:
// messages of about 4 KB with varied senders, subjects and dates, most of them
// plain text, some multipart/alternative, some with a small attachment; four
// in five are read (cur/, flag S), the rest new (new/). The same arguments
// always give the same mailbox.
//
// Usage: make_maildir DIR [COUNT]   (COUNT defaults to 100000; --help prints the usage)

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kNames[] = {"Ada Lindqvist", "Jonas Berg",  "Mira Okonkwo", "Tomás Ruiz",
                                  "Lena Vogel",    "Priya Raman", "Sam Okafor",   "Chen Wei"};
constexpr const char* kTopics[] = {"Quarterly report", "Server migration", "Lunch plans",    "Invoice",
                                   "Release notes",    "Meeting minutes",  "Travel booking", "Build failure"};
constexpr const char* kWords[] = {"the",   "agent",  "index",  "message", "folder",   "report", "numbers", "before",
                                  "after", "review", "please", "thanks",  "schedule", "update", "draft",   "server"};

std::uint64_t nextRandom(std::uint64_t& state) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 33;
}

std::string prose(std::uint64_t& state, std::size_t bytes) {
    std::string text;
    std::size_t line = 0;
    while (text.size() < bytes) {
        const char* word = kWords[nextRandom(state) % (sizeof kWords / sizeof *kWords)];
        text += word;
        line += std::char_traits<char>::length(word) + 1;
        if (line > 68) {
            text += "\n";
            line = 0;
        } else {
            text += " ";
        }
    }
    return text + "\n";
}

std::string rfc2822Date(std::time_t when) {
    std::tm utc{};
    ::gmtime_r(&when, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &utc);
    return text;
}

std::string message(std::size_t i, std::uint64_t& state, std::time_t when) {
    const char* name = kNames[nextRandom(state) % 8];
    std::string from = std::string(name) + " <sender" + std::to_string(i % 97) + "@example.com>";
    std::string subject = std::string(kTopics[nextRandom(state) % 8]) + " #" + std::to_string(i);
    std::string head = "Return-Path: <sender" + std::to_string(i % 97) +
                       "@example.com>\n"
                       "Received: from mx.example.com by mail.example.org; " +
                       rfc2822Date(when) +
                       "\n"
                       "From: " +
                       from + "\nTo: Bench Reader <reader@example.org>\nSubject: " + subject +
                       "\nDate: " + rfc2822Date(when) + "\nMessage-ID: <bench-" + std::to_string(i) +
                       "@example.com>\nMIME-Version: 1.0\n";
    std::uint64_t kind = i % 20;
    std::string out = head;
    if (kind < 16) {
        out += "Content-Type: text/plain; charset=utf-8\n\n";
        out += prose(state, 3400);
        return out;
    }
    std::string boundary = "b";
    boundary += std::to_string(i);
    std::string text = prose(state, 1500);
    std::string part = "--" + boundary + "\nContent-Type: text/plain; charset=utf-8\n\n" + text;
    if (kind < 19) {
        out += "Content-Type: multipart/alternative; boundary=\"" + boundary + "\"\n\n";
        out += part;
        out += "--" + boundary + "\nContent-Type: text/html; charset=utf-8\n\n<html><body><p>";
        out += text;
        out += "</p></body></html>\n--" + boundary + "--\n";
        return out;
    }
    out += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\n\n";
    out += part;
    out += "--" + boundary + "\nContent-Type: application/pdf; name=\"report.pdf\"\n";
    out += "Content-Disposition: attachment; filename=\"report.pdf\"\nContent-Transfer-Encoding: base64\n\n";
    out += std::string(1400, 'A');
    out += "\n--" + boundary + "--\n";
    return out;
}

void writeFile(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) || ::close(fd) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

constexpr char kUsage[] =
    "usage: make_maildir DIR [COUNT]\n"
    "Writes COUNT (default 100000) generated messages into the Maildir DIR.\n";

// COUNT as a number, or nothing when it is not one.
std::optional<std::size_t> parseCount(const std::string& text) {
    std::size_t count = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && (arguments[0] == "-h" || arguments[0] == "--help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // An option it does not know must never become the name of a folder it fills.
    auto option = std::find_if(arguments.begin(), arguments.end(),
                               [](const std::string& argument) { return argument.starts_with('-'); });
    if (option != arguments.end()) {
        std::fprintf(stderr, "make_maildir: unknown option %s\n", option->c_str());
    }
    std::optional<std::size_t> count = arguments.size() == 2 ? parseCount(arguments[1]) : 100000;
    if (arguments.empty() || arguments.size() > 2 || option != arguments.end() || !count) {
        std::fputs(kUsage, stderr);
        return 64;
    }
    const std::string& root = arguments[0];
    for (const char* sub : {"", "/cur", "/new", "/tmp"}) {
        ::mkdir((root + sub).c_str(), 0700);
    }
    std::uint64_t state = 42;
    const std::time_t start = 1700000000;
    for (std::size_t i = 0; i < *count; ++i) {
        std::time_t when = start + static_cast<std::time_t>(i) * 300;
        std::string unique = std::to_string(when) + ".M" + std::to_string(i) + "P4242.bench";
        bool seen = i % 5 != 0;
        std::string path = root + (seen ? "/cur/" + unique + ":2,S" : "/new/" + unique);
        writeFile(path, message(i, state, when));
    }
    std::printf("wrote %zu messages to %s\n", *count, root.c_str());
    return 0;
}
