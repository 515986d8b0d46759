#include "dev_agent/maildir/maildir_layout.h"

#include <array>
#include <utility>

namespace quillbrook::dev_agent {
namespace {

constexpr std::array<std::pair<MaildirLayout, std::string_view>, 4> kLayoutNames{{
    {MaildirLayout::detect, "auto"},
    {MaildirLayout::maildirPlusPlus, "maildir++"},
    {MaildirLayout::verbatim, "verbatim"},
    {MaildirLayout::dotted, "dotted"},
}};

}  // namespace

std::optional<MaildirLayout> maildirLayoutNamed(std::string_view name) {
    for (const auto& [layout, layoutName] : kLayoutNames) {
        if (layoutName == name) {
            return layout;
        }
    }
    return std::nullopt;
}

std::string_view nameOf(MaildirLayout layout) {
    for (const auto& [known, layoutName] : kLayoutNames) {
        if (known == layout) {
            return layoutName;
        }
    }
    return "auto";
}

}  // namespace quillbrook::dev_agent
