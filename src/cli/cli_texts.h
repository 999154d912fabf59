#pragma once
// The command line's words: its own texts by id, and the library's texts shown
// in the operator's language. The language is chosen once, before the command
// line is parsed (--lang, else the environment's locale), and read from then on.
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "base/texts.h"

namespace velmora::cli {

// The CLI's sections of the catalogue: labels, messages and refusals, then the
// help texts.
std::span<const std::span<const text::Entry>> CliSections();
namespace sections {
std::span<const text::Entry> Messages();
std::span<const text::Entry> Help();
}  // namespace sections

void SetLanguage(text::Lang lang);
text::Lang Language();

// A CLI text by id in the chosen language, "{n}" filled from `args`.
std::string Say(std::string_view id, std::initializer_list<std::string_view> args = {});

// A text the library emitted, in the chosen language, with the catalogue id of
// its text (of its first known part when it was put together from several). A
// text the catalogue does not know comes back as it came, without an id.
text::Shown ShowWithId(std::string_view emitted);
std::string Show(std::string_view emitted);

// The same, in a given language.
text::Shown ShowIn(std::string_view emitted, text::Lang lang);

}  // namespace velmora::cli
