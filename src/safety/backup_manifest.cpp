#include "safety/backup_manifest.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "base/text_format.h"
#include "config/ini_store.h"
#include "config/sha1.h"
#include "safety/json_shape.h"

namespace velmora {
namespace {

using Json = nlohmann::json;
using json_shape::IntegerIn;
using json_shape::Member;

// Sizes a manifest may claim; beyond them it cannot describe a chip this tool serves.
constexpr int64_t kMaxBlocks = 1 << 20;
constexpr int64_t kMaxBytes = int64_t{1} << 30;

// Reads one manifest, keeping the first thing wrong with it.
class Reader {
  public:
    explicit Reader(std::string& error) : error_(error) {}

    bool Fail(const std::string& where, const char* should_be) {
        error_ = where + " " + should_be;
        return false;
    }

    bool Text(const Json& object, const std::string& where, const char* key, std::string& out,
              bool required) {
        const Json* v = Member(object, key);
        if (v == nullptr && !required) {
            return true;
        }
        if (v == nullptr || !v->is_string()) {
            return Fail(where + Quoted(key), "is not a text");
        }
        out = v->get<std::string>();
        return true;
    }

    bool Int(const Json& object, const std::string& where, const char* key, int64_t min,
             int64_t max, int& out) {
        const auto v = IntegerIn(Member(object, key), min, max);
        if (!v) {
            return Fail(where + Quoted(key),
                        Format("is not a whole number from %lld to %lld",
                               static_cast<long long>(min), static_cast<long long>(max))
                            .c_str());
        }
        out = static_cast<int>(*v);
        return true;
    }

    // A list of block numbers, or of [a, b] pairs of them, below `blocks`.
    bool Blocks(const Json* list, const std::string& where, int blocks, std::vector<int>& out) {
        if (list == nullptr || !list->is_array()) {
            return Fail(where, "is not a list of block numbers");
        }
        for (const Json& b : *list) {
            const auto v = IntegerIn(&b, 0, blocks - 1);
            if (!v) {
                return Fail(where, "holds something other than a block number of the chip");
            }
            out.push_back(static_cast<int>(*v));
        }
        return true;
    }
    bool Pairs(const Json* list, const std::string& where, int blocks,
               std::vector<std::pair<int, int>>& out) {
        if (list == nullptr || !list->is_array()) {
            return Fail(where, "is not a list of block pairs");
        }
        for (const Json& pair : *list) {
            std::optional<int64_t> a, b;
            if (pair.is_array() && pair.size() == 2) {
                a = IntegerIn(&pair[0], 0, blocks - 1);
                b = IntegerIn(&pair[1], 0, blocks - 1);
            }
            if (!a || !b) {
                return Fail(where,
                            "holds something other than a pair of block numbers of the chip");
            }
            out.emplace_back(static_cast<int>(*a), static_cast<int>(*b));
        }
        return true;
    }

    static std::string Quoted(const std::string& key) { return "\"" + key + "\""; }

  private:
    std::string& error_;
};

bool ParseFile(Reader& r, const Json& f, size_t i, int blocks, ManifestFile& out) {
    const std::string where = Format("\"files\"[%zu]", i);
    if (!f.is_object()) {
        return r.Fail(where, "is not an object");
    }
    const Json* with_spare = Member(f, "with_spare");
    const auto size = IntegerIn(Member(f, "size"), 0, INT64_MAX);
    if (!r.Text(f, where + ".", "name", out.name, true) ||
        !r.Text(f, where + ".", "kind", out.kind, true) ||
        !r.Text(f, where + ".", "sha256", out.sha256, true)) {
        return false;
    }
    if (!size) {
        return r.Fail(where + ".\"size\"", "is not a byte count");
    }
    out.size = static_cast<uint64_t>(*size);
    if (with_spare != nullptr && !with_spare->is_boolean()) {
        return r.Fail(where + ".\"with_spare\"", "is neither true nor false");
    }
    out.with_spare = with_spare == nullptr || with_spare->get<bool>();
    return r.Pairs(Member(f, "blocks"), where + ".\"blocks\"", blocks, out.blocks);
}

}  // namespace

bool ParseManifest(std::string_view text, BackupManifest& out, std::string& error) {
    const Json j = Json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        error = "it is not a JSON object";
        return false;
    }
    Reader r(error);
    BackupManifest m;
    m.format = 1;  // the first tool's manifests all say 1; one without is taken as such
    if (const Json* format = Member(j, "format")) {
        const auto v = IntegerIn(format, 1, kManifestFormat);
        if (!v) {
            return r.Fail("\"format\"",
                          "is not one this tool reads (1 or 2): a newer tool may have made it");
        }
        m.format = static_cast<int>(*v);
    }
    for (const auto& [key, field] :
         {std::pair{"tool", &m.tool}, std::pair{"date", &m.date}, std::pair{"range", &m.range},
          std::pair{"chip_id", &m.chip_id}, std::pair{"product_id", &m.product_id}}) {
        if (!r.Text(j, "", key, *field, false)) {
            return false;
        }
    }
    const Json* g = Member(j, "geometry");
    if (g == nullptr || !g->is_object()) {
        return r.Fail("\"geometry\"", "is not an object");
    }
    ManifestGeometry& geo = m.geometry;
    if (!r.Int(*g, "\"geometry\".", "block_count", 1, kMaxBlocks, geo.block_count) ||
        !r.Int(*g, "\"geometry\".", "block_size", 1, kMaxBytes, geo.block_size) ||
        !r.Int(*g, "\"geometry\".", "page_size", 1, kMaxBytes, geo.page_size) ||
        !r.Int(*g, "\"geometry\".", "spare_size", 0, kMaxBytes, geo.spare_size)) {
        return false;
    }
    const int blocks = geo.block_count;
    if (const Json* bad = Member(j, "bad_blocks");
        bad != nullptr && !r.Blocks(bad, "\"bad_blocks\"", blocks, m.bad_blocks)) {
        return false;
    }
    if (const Json* pairs = Member(j, "replacements");
        pairs != nullptr && !r.Pairs(pairs, "\"replacements\"", blocks, m.replacements)) {
        return false;
    }
    if (const Json* record = Member(j, "record_present")) {
        if (!record->is_boolean()) {
            return r.Fail("\"record_present\"", "is neither true nor false");
        }
        m.record_present = record->get<bool>();
    }
    const Json* files = Member(j, "files");
    if (files == nullptr || !files->is_array()) {
        return r.Fail("\"files\"", "is not a list");
    }
    m.files.resize(files->size());
    for (size_t i = 0; i < files->size(); ++i) {
        if (!ParseFile(r, (*files)[i], i, blocks, m.files[i])) {
            return false;
        }
    }
    out = std::move(m);
    return true;
}

std::string ManifestText(const BackupManifest& m) {
    // Written value by value, so that no text of it can be taken for layout:
    // indented for a reader, each file's block list on one line.
    const auto value = [](const Json& v) {
        return v.dump(-1, ' ', false, Json::error_handler_t::replace);
    };
    const ManifestGeometry& g = m.geometry;
    std::string text = "{\n \"format\": " + value(m.format) + ",\n \"tool\": " + value(m.tool) +
                       ",\n \"date\": " + value(m.date) + ",\n \"range\": " + value(m.range) +
                       ",\n \"chip_id\": " + value(m.chip_id) +
                       ",\n \"product_id\": " + value(m.product_id) + ",\n \"geometry\": " +
                       value({{"block_count", g.block_count},
                              {"block_size", g.block_size},
                              {"page_size", g.page_size},
                              {"spare_size", g.spare_size}}) +
                       ",\n \"bad_blocks\": " + value(m.bad_blocks) +
                       ",\n \"replacements\": " + value(m.replacements) +
                       ",\n \"record_present\": " + value(m.record_present) + ",\n \"files\": [";
    for (size_t i = 0; i < m.files.size(); ++i) {
        const ManifestFile& f = m.files[i];
        text += std::string(i == 0 ? "" : ",") + "\n  {\"name\": " + value(f.name) +
                ", \"kind\": " + value(f.kind) + ", \"size\": " + value(f.size) +
                ", \"with_spare\": " + value(f.with_spare) +
                ",\n   \"sha256\": " + value(f.sha256) + ",\n   \"blocks\": " + value(f.blocks) +
                "}";
    }
    return text + "\n ]\n}\n";
}

bool LoadManifest(const std::string& folder, BackupManifest& out, std::string& error) {
    const std::string path =
        folder + (folder.empty() || folder.back() != '/' ? "/" : "") + kManifestName;
    std::string text;
    std::string problem;
    if (ReadTextFile(path, text, problem) != kReadOk) {
        error = problem + ": the folder holds no backup.";
        return false;
    }
    std::string why;
    if (!ParseManifest(text, out, why)) {
        error = path + " is not a backup manifest: " + why + ".";
        return false;
    }
    return true;
}

bool CheckBackupFiles(const std::string& folder, const BackupManifest& m, std::string& error) {
    const std::string base = folder + (folder.empty() || folder.back() != '/' ? "/" : "");
    for (const ManifestFile& f : m.files) {
        if (f.name.empty() || f.name == "." || f.name == ".." || f.name == kManifestName ||
            f.name.find_first_of("/\\") != std::string::npos) {
            error = "The manifest names a file outside its folder: \"" + f.name + "\".";
            return false;
        }
        const std::string path = base + f.name;
        std::error_code ec;
        const auto size = std::filesystem::file_size(path, ec);
        const std::string sum = ec ? std::string() : Sha256FileHex(path);
        if (sum.empty()) {
            error = path + " is missing or cannot be read.";
            return false;
        }
        if (sum != f.sha256 || size != f.size) {
            error = path + " does not match its " + (sum != f.sha256 ? "SHA-256" : "size") +
                    " in the manifest: the backup is damaged.";
            return false;
        }
    }
    return true;
}

std::string ProductIdText(const std::array<uint8_t, 5>& id) {
    return Format("%02X,%02X,%02X,%02X,%02X", id[0], id[1], id[2], id[3], id[4]);
}

std::string ProductIdShown(std::string_view text) {
    const auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    const auto upper = [](std::string s) {
        for (char& c : s) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return s;
    };
    if (text.size() == 10 && std::all_of(text.begin(), text.end(), hex)) {
        // The first tool's spelling: the fifth byte first.
        std::string shown;
        for (size_t i = 5; i-- > 0;) {
            shown += std::string(shown.empty() ? "" : ",") + std::string(text.substr(2 * i, 2));
        }
        return upper(shown);
    }
    bool commas = text.size() == 14;
    for (size_t i = 0; commas && i < text.size(); ++i) {
        commas = i % 3 == 2 ? text[i] == ',' : hex(text[i]);
    }
    return commas ? upper(std::string(text)) : std::string(text);
}

}  // namespace velmora
