#pragma once
// The message catalogue: every text an operator reads, in Chinese and English.
//
// The library reports its statuses, errors and reasons in the words the phone's
// tools and dl_log.txt have always used (some Chinese, some English); those
// words go to the log unchanged. A front end shows them through this catalogue
// in the operator's language, and a script finds each by its id, which stays the
// same in both languages and across rewordings.
//
// An entry's `source` is the text as the library emits it. "{1}", "{2}", ...
// stand for variable parts (a path, a count); the Chinese and English texts use
// the same numbers, in any order. Front ends keep their own texts in sections of
// the same shape with an empty `source`, looked up by id.
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::text {

enum class Lang { kChinese, kEnglish };

struct Entry {
    std::string_view id;      // stable, lower case, dotted: "status.open_phone"
    std::string_view source;  // as emitted; empty for a front end's own text
    std::string_view zh;
    std::string_view en;
};

// "zh"/"en" (also "zh_CN", "en-GB", any case); none for anything else.
std::optional<Lang> ParseLang(std::string_view name);
// The language of a locale name as the C library's environment gives it: zh* is
// Chinese, anything else (also empty, "C", "POSIX") English.
Lang LangOfLocale(std::string_view locale);
// The messages' locale of the environment: LC_ALL, else LC_MESSAGES, else LANG
// (the first that is set and not empty), as LangOfLocale reads it.
Lang LangFromEnvironment();
std::string_view LangKey(Lang lang);  // "zh", "en"

// The library's own sections (statuses, errors, reasons, step names, the result
// table's meanings and next steps, units).
std::span<const std::span<const Entry>> LibrarySections();

// A text the library emitted, as the operator should read it.
struct Shown {
    std::string id;    // empty: the catalogue does not know the text
    std::string text;  // in `lang`; the text as it came when unknown
};

// Finds `emitted` among the library's sections: an exact source first, then the
// sources with variable parts, in the sections' order. Blanks and line breaks at
// either end are ignored. Unknown texts come back unchanged, without an id.
// A variable part that is itself a text of the catalogue (a reason inside an
// error text) is shown in `lang` too; a part never spans lines, and a source
// whose parts are each a single word or a known text is taken before one whose
// part would be any run of words. A source of placeholders and punctuation only
// ("{1}: {2}", "{1} {2}") joins texts the library composes: it matches only when
// every part is a text of the catalogue.
Shown Localize(std::string_view emitted, Lang lang);
// The same, among the given sections only.
Shown LocalizeIn(std::span<const std::span<const Entry>> sections, std::string_view emitted,
                 Lang lang);

// A text by id in `lang`, its "{n}" replaced by args[n-1]. Searches `sections`
// (a front end's) then the library's; an unknown id comes back as the id, so a
// missing entry shows up instead of vanishing.
std::string Tr(std::span<const std::span<const Entry>> sections, std::string_view id, Lang lang,
               std::initializer_list<std::string_view> args = {});
std::string Tr(std::string_view id, Lang lang, std::initializer_list<std::string_view> args = {});

// The entry with `id` in `sections` (then the library's); none when unknown.
const Entry* Find(std::span<const std::span<const Entry>> sections, std::string_view id);

// `pattern` with "{n}" replaced by args[n-1] ("{n}" with no argument stays).
std::string Fill(std::string_view pattern, std::span<const std::string_view> args);
std::string Fill(std::string_view pattern, std::span<const std::string> args);

// The variable parts of `text` if it has the shape of `pattern` (a source with
// "{n}" placeholders); none when it has not. A placeholder takes at least one
// character.
std::optional<std::vector<std::string>> Match(std::string_view pattern, std::string_view text);

// Whether `text` holds a CJK character (the checks that English texts are English).
bool HasCjk(std::string_view text);

}  // namespace velmora::text
