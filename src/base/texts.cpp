#include "base/texts.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <unordered_map>

namespace velmora::text {

namespace {

// A pattern cut at its placeholders: literal, {n}, literal, {n}, ..., literal.
struct Piece {
    std::string_view literal;  // the text before the placeholder
    int number = 0;            // 0: no placeholder follows (the last piece)
};

std::vector<Piece> Cut(std::string_view pattern) {
    std::vector<Piece> pieces;
    size_t from = 0;
    size_t at = 0;
    while ((at = pattern.find('{', at)) != std::string_view::npos) {
        size_t end = at + 1;
        while (end < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[end]))) {
            ++end;
        }
        if (end == at + 1 || end >= pattern.size() || pattern[end] != '}' || end - at > 3) {
            ++at;
            continue;
        }
        const int number = std::atoi(std::string(pattern.substr(at + 1, end - at - 1)).c_str());
        pieces.push_back({pattern.substr(from, at - from), number});
        from = at = end + 1;
    }
    pieces.push_back({pattern.substr(from), 0});
    return pieces;
}

// Whether a match found for every placeholder is the one to take: a join of
// texts takes only parts that are texts themselves.
using Accept = std::function<bool(const std::vector<std::string>&)>;

// Matches pieces[i..] against text[pos..]; a placeholder takes the shortest run
// that lets the rest match (and that `accept`, when given, takes).
bool MatchFrom(const std::vector<Piece>& pieces, size_t i, std::string_view text, size_t pos,
               std::vector<std::string>& captures, const Accept* accept) {
    const Piece& piece = pieces[i];
    if (text.substr(pos, piece.literal.size()) != piece.literal) {
        return false;
    }
    pos += piece.literal.size();
    if (piece.number == 0) {
        return pos == text.size() && (accept == nullptr || (*accept)(captures));
    }
    const std::string_view next = pieces[i + 1].literal;
    const bool last = pieces[i + 1].number == 0;
    for (size_t end = pos + 1; end <= text.size(); ++end) {
        if (last) {
            // The final literal ends the text: jump straight to its place.
            if (text.size() < next.size() || text.size() - next.size() < pos + 1) {
                return false;
            }
            end = text.size() - next.size();
        } else if (!next.empty()) {
            end = text.find(next, end);
            if (end == std::string_view::npos) {
                return false;
            }
        }
        if (captures.size() < static_cast<size_t>(piece.number)) {
            captures.resize(piece.number);
        }
        captures[piece.number - 1] = std::string(text.substr(pos, end - pos));
        if (MatchFrom(pieces, i + 1, text, end, captures, accept)) {
            return true;
        }
        if (last) {
            return false;
        }
    }
    return false;
}

std::string_view Trim(std::string_view text) {
    constexpr std::string_view kBlank = " \t\r\n";
    const size_t first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

std::string_view In(const Entry& entry, Lang lang) {
    return lang == Lang::kChinese ? entry.zh : entry.en;
}

// A source whose own words are only blanks and punctuation ("{1}: {2}") joins
// texts that the library composes; it would fit almost any text, so it takes
// only parts that are texts of the catalogue themselves.
bool IsJoin(const std::vector<Piece>& pieces) {
    for (const Piece& piece : pieces) {
        for (const char c : piece.literal) {
            const auto u = static_cast<unsigned char>(c);
            if (u >= 0x80 || std::isalnum(u)) {
                return false;
            }
        }
    }
    return pieces.size() > 1;
}

// A source with placeholders, cut once.
struct Pattern {
    const Entry* entry = nullptr;
    std::vector<Piece> pieces;
    bool join = false;
    bool multiline = false;  // its own words hold a line break
};

// Sections made ready for lookups: exact sources by text, then the patterns in
// the sections' order.
struct Lookup {
    std::unordered_map<std::string_view, const Entry*> exact;
    std::vector<Pattern> patterns;
};

Lookup MakeLookup(std::span<const std::span<const Entry>> sections) {
    Lookup lookup;
    for (const std::span<const Entry>& section : sections) {
        for (const Entry& e : section) {
            if (e.source.empty()) {
                continue;
            }
            std::vector<Piece> pieces = Cut(e.source);
            if (pieces.size() == 1) {
                lookup.exact.emplace(e.source, &e);  // the first entry of a source wins
            } else {
                const bool join = IsJoin(pieces);
                const bool multiline = e.source.find('\n') != std::string_view::npos;
                lookup.patterns.push_back({&e, std::move(pieces), join, multiline});
            }
        }
    }
    return lookup;
}

const Lookup& LibraryLookup() {
    static const Lookup lookup = MakeLookup(LibrarySections());
    return lookup;
}

// Texts inside texts inside texts: deeper than this is no text of the library.
constexpr int kMaxDepth = 6;

std::optional<Shown> Seek(const Lookup& lookup, std::string_view text, Lang lang, int depth,
                          bool joins);

// A part of a text in `lang` when the catalogue knows it, its blanks at either
// end kept; none when it does not.
std::optional<std::string> ShowKnown(const Lookup& lookup, const std::string& part, Lang lang,
                                     int depth, bool joins) {
    const std::string_view inner = Trim(part);
    if (inner.empty()) {
        return std::nullopt;
    }
    std::optional<Shown> shown = Seek(lookup, inner, lang, depth, joins);
    if (!shown) {
        return std::nullopt;
    }
    const size_t lead = static_cast<size_t>(inner.data() - part.data());
    return part.substr(0, lead) + shown->text + part.substr(lead + inner.size());
}

bool OneWord(std::string_view part) {
    return Trim(part).find_first_of(" \t") == std::string_view::npos;
}

std::optional<Shown> Seek(const Lookup& lookup, std::string_view text, Lang lang, int depth,
                          bool joins) {
    const std::string_view trimmed = Trim(text);
    if (auto it = lookup.exact.find(trimmed); it != lookup.exact.end()) {
        return Shown{std::string(it->second->id), std::string(In(*it->second, lang))};
    }
    if (depth > kMaxDepth || trimmed.empty()) {
        return std::nullopt;
    }
    // A variable part never spans lines: lines are joined texts of their own.
    const bool lines = trimmed.find('\n') != std::string_view::npos;
    // First the patterns whose every part is a text of the catalogue or a single
    // word (a number, a path, a name): a last part that runs on would otherwise
    // swallow the texts the library put after it. Then any part.
    for (const bool strict : {true, false}) {
        for (const Pattern& p : lookup.patterns) {
            if ((p.join && (!joins || !strict)) || (lines && !p.join && !p.multiline)) {
                continue;
            }
            std::vector<std::string> parts;
            std::vector<std::string> shown;
            // A join's parts are texts; only its last may be a join again, so that
            // a long text is cut from its front, once.
            const int last = p.pieces[p.pieces.size() - 2].number;
            const Accept accept = [&](const std::vector<std::string>& found) {
                shown = found;
                for (const Piece& piece : p.pieces) {
                    if (piece.number == 0) {
                        continue;
                    }
                    std::string& part = shown[piece.number - 1];
                    const bool joined = !p.join || piece.number == last;
                    if (std::optional<std::string> s =
                            ShowKnown(lookup, part, lang, depth + 1, joined)) {
                        part = std::move(*s);
                    } else if (p.join || (strict && !OneWord(part))) {
                        return false;
                    }
                }
                return true;
            };
            if (MatchFrom(p.pieces, 0, trimmed, 0, parts, &accept)) {
                return Shown{std::string(p.entry->id),
                             Fill(In(*p.entry, lang), std::span<const std::string>(shown))};
            }
        }
    }
    return std::nullopt;
}

Shown LocalizeWith(const Lookup& lookup, std::string_view emitted, Lang lang) {
    if (std::optional<Shown> shown = Seek(lookup, emitted, lang, 0, true)) {
        return *std::move(shown);
    }
    return {std::string(), std::string(Trim(emitted))};
}

}  // namespace

std::optional<Lang> ParseLang(std::string_view name) {
    std::string lower;
    for (char c : name.substr(0, 2)) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const bool whole = name.size() == 2 ||
                       (name.size() > 2 && (name[2] == '_' || name[2] == '-' || name[2] == '.'));
    if (!whole) {
        return std::nullopt;
    }
    if (lower == "zh") {
        return Lang::kChinese;
    }
    if (lower == "en") {
        return Lang::kEnglish;
    }
    return std::nullopt;
}

Lang LangOfLocale(std::string_view locale) {
    return locale.substr(0, 2) == "zh" ? Lang::kChinese : Lang::kEnglish;
}

Lang LangFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return LangOfLocale(value);
        }
    }
    return Lang::kEnglish;
}

std::string_view LangKey(Lang lang) {
    return lang == Lang::kChinese ? "zh" : "en";
}

std::string Fill(std::string_view pattern, std::span<const std::string_view> args) {
    std::string out;
    const std::vector<Piece> pieces = Cut(pattern);
    for (const Piece& piece : pieces) {
        out += piece.literal;
        if (piece.number == 0) {
            break;
        }
        if (static_cast<size_t>(piece.number) <= args.size()) {
            out += args[piece.number - 1];
        } else {
            out += '{' + std::to_string(piece.number) + '}';
        }
    }
    return out;
}

std::string Fill(std::string_view pattern, std::span<const std::string> args) {
    std::vector<std::string_view> views(args.begin(), args.end());
    return Fill(pattern, std::span<const std::string_view>(views));
}

std::optional<std::vector<std::string>> Match(std::string_view pattern, std::string_view text) {
    std::vector<std::string> captures;
    if (!MatchFrom(Cut(pattern), 0, text, 0, captures, nullptr)) {
        return std::nullopt;
    }
    return captures;
}

Shown LocalizeIn(std::span<const std::span<const Entry>> sections, std::string_view emitted,
                 Lang lang) {
    return LocalizeWith(MakeLookup(sections), emitted, lang);
}

Shown Localize(std::string_view emitted, Lang lang) {
    return LocalizeWith(LibraryLookup(), emitted, lang);
}

const Entry* Find(std::span<const std::span<const Entry>> sections, std::string_view id) {
    for (const auto& group : {sections, LibrarySections()}) {
        for (const std::span<const Entry>& section : group) {
            for (const Entry& e : section) {
                if (e.id == id) {
                    return &e;
                }
            }
        }
    }
    return nullptr;
}

std::string Tr(std::span<const std::span<const Entry>> sections, std::string_view id, Lang lang,
               std::initializer_list<std::string_view> args) {
    const Entry* entry = Find(sections, id);
    if (entry == nullptr) {
        return std::string(id);
    }
    return Fill(In(*entry, lang), std::span<const std::string_view>(args.begin(), args.size()));
}

std::string Tr(std::string_view id, Lang lang, std::initializer_list<std::string_view> args) {
    return Tr({}, id, lang, args);
}

bool HasCjk(std::string_view text) {
    // Decodes UTF-8 enough to find code points in the CJK blocks, the CJK
    // punctuation and the full-width forms.
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        uint32_t cp = c;
        size_t len = 1;
        if (c >= 0xF0 && i + 3 < text.size()) {
            cp = (c & 0x07u) << 18 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 12 |
                 (static_cast<unsigned char>(text[i + 2]) & 0x3Fu) << 6 |
                 (static_cast<unsigned char>(text[i + 3]) & 0x3Fu);
            len = 4;
        } else if (c >= 0xE0 && i + 2 < text.size()) {
            cp = (c & 0x0Fu) << 12 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6 |
                 (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            len = 3;
        } else if (c >= 0xC0 && i + 1 < text.size()) {
            len = 2;
        }
        if ((cp >= 0x2E80 && cp <= 0x9FFF) || (cp >= 0xF900 && cp <= 0xFAFF) ||
            (cp >= 0xFF00 && cp <= 0xFFEF) || (cp >= 0x20000 && cp <= 0x2FFFF)) {
            return true;
        }
        i += len;
    }
    return false;
}

}  // namespace velmora::text
