#pragma once

#include <optional>
#include <string_view>

namespace quillbrook::dev_agent {

// How an account's tree spells its folders on disk.
//  - maildirPlusPlus: INBOX is the root, a subfolder is ".Lists.Rust" beside it.
//  - verbatim: a directory per folder, nested as the server nests them
//    ("Lists/Rust/cur"); INBOX is a folder of its own ("INBOX/") or the root.
//  - dotted: a directory per folder, nested names joined with a dot
//    ("Lists.Rust/cur"); INBOX as in verbatim.
// `detect` leaves the choice to what is on disk.
enum class MaildirLayout { detect, maildirPlusPlus, verbatim, dotted };

// The layout a configuration names ("auto", "maildir++", "verbatim",
// "dotted"); nothing for any other name.
std::optional<MaildirLayout> maildirLayoutNamed(std::string_view name);

// The name a configuration and the log use for `layout`.
std::string_view nameOf(MaildirLayout layout);

}  // namespace quillbrook::dev_agent
