#include "config/partition_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "config/sha1.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

// One partition section; `extra` adds or replaces keys (a later duplicate key
// is ignored by the reader, so replacements go first).
std::string Section(int k, const std::string& path, const std::string& extra = "",
                    const std::string& size = "0x20000") {
    char head[32];
    std::snprintf(head, sizeof head, "[partition#%02d]\n", k);
    return std::string(head) + extra + "partition_id=0x" + std::to_string(k) +
           "\npartition_name=part" + std::to_string(k) + "\npartition_path=" + path +
           "\npartition_size=" + size + "\npartition_offset=0x" + std::to_string(k) +
           "00000\npartition_protected=0\n";
}

std::string Head(const std::string& count, const std::string& boot = "boot.bin") {
    return "[partition_table_config_start]\nnumber_of_partition=" + count + "\nBootNand=" + boot +
           "\n";
}

bool AllOnes(const PartitionEntry& e, bool except_offset = false) {
    PartitionEntry copy = e;
    if (except_offset) {
        copy.offset = 0xFFFFFFFF;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(&copy);
    for (size_t i = 0; i < sizeof copy; ++i) {
        if (bytes[i] != 0xFF) {
            return false;
        }
    }
    return true;
}

class PartitionTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.Write("boot.bin", std::string(0x4000, 'B'));
        dir_.Write("a.bin", std::string(0x1000, 'a'));
        dir_.Write("b.bin", std::string(0x2000, 'b'));
    }
    int Load(const std::string& text) { return table_.Load(dir_.Write("t.ptt", text)); }

    testing::TempDir dir_;
    PartitionTable table_;
};

TEST_F(PartitionTableTest, LoadsTwoPartitionsWithEndMarkAndUnusedSlots) {
    ASSERT_EQ(Load(Head("2") + Section(1, "a.bin") + Section(2, "b.bin")), 0);
    EXPECT_EQ(table_.partition_count, 2u);
    EXPECT_EQ(table_.boot_file_size, 0x4000u);
    EXPECT_EQ(table_.folder, dir_.path());
    const PartitionEntry& e = table_.entries[1];
    EXPECT_EQ(e.index, 1u);
    EXPECT_EQ(e.id, 2u);
    EXPECT_EQ(e.size, 0x20000u);
    EXPECT_EQ(e.content_size, 0x2000u);
    EXPECT_EQ(e.free_size, 0x1E000u);
    EXPECT_EQ(e.offset, 0x200000u);
    EXPECT_EQ(e.NameText(), "part2");
    EXPECT_EQ(e.flags, 0u);
    EXPECT_EQ(e.digest, (std::array<uint8_t, 20>{}));
    EXPECT_EQ(table_.entries[2].offset, 0u);
    EXPECT_TRUE(AllOnes(table_.entries[2], true));
    for (int i = 3; i < kMaxPartitions; ++i) {
        EXPECT_TRUE(AllOnes(table_.entries[i])) << i;
    }
    EXPECT_EQ(BuildSummary(table_),
              "Total partition number = 2.\r\n\r\n"
              "Boot NAND file name = boot.bin.\r\n"
              "Boot NAND file size = 0x00004000.\r\n"
              "Total files size    = 0x00007000.\r\n"
              "\r\nPartition#01\r\n"
              "id                 = 0x01\r\n"
              "name               = part1\r\n"
              "file               = a.bin\r\n"
              "offset             = 0x00100000\r\n"
              "size               = 0x00020000\r\n"
              "content size       = 0x00001000\r\n"
              "\r\nPartition#02\r\n"
              "id                 = 0x02\r\n"
              "name               = part2\r\n"
              "file               = b.bin\r\n"
              "offset             = 0x00200000\r\n"
              "size               = 0x00020000\r\n"
              "content size       = 0x00002000\r\n");
}

TEST_F(PartitionTableTest, CountEdgeCases) {
    ASSERT_EQ(Load(Head("0")), 0);
    EXPECT_EQ(table_.entries[0].offset, 0u);
    EXPECT_TRUE(AllOnes(table_.entries[0], true));
    ASSERT_EQ(Load(Head("abc")), 0);
    EXPECT_EQ(table_.partition_count, 0u);
    EXPECT_EQ(Load(Head("17") + Section(1, "missing.bin")), result::partition_table::kTooMany);
    EXPECT_TRUE(table_.message().empty());  // no partition was read
    EXPECT_EQ(Load(Head("-1")), result::partition_table::kTooMany);
    std::string sixteen = Head("16");
    for (int k = 1; k <= 16; ++k) {
        sixteen += Section(k, "a.bin");
    }
    ASSERT_EQ(Load(sixteen), 0);
    EXPECT_EQ(table_.entries[15].offset, 0x1600000u);  // "0x16" + "00000": no end mark
}

TEST_F(PartitionTableTest, LoadResultCodes) {
    EXPECT_EQ(table_.Load(dir_.path() + "absent.ptt"), result::partition_table::kNoCount);
    EXPECT_EQ(Load("[partition_table_config_start]\nBootNand=boot.bin\n"),
              result::partition_table::kNoCount);
    EXPECT_EQ(Load(Head("1") + Section(1, "a.bin", "", "0x0FFF")),
              result::partition_table::kNoCount);
    EXPECT_EQ(table_.message().title, "ERROR");
    EXPECT_EQ(table_.message().text,
              "Partition#1 content size too large(Partition size = 0xfff, content size = 0x1000)");
    EXPECT_EQ(Load(Head("1") + Section(1, "a.bin", "", "0x1000")), 0);  // exact fit
    EXPECT_EQ(Load("[partition_table_config_start]\nnumber_of_partition=0\nBootNand=\n"),
              result::partition_table::kNoBootName);
    EXPECT_EQ(Load(Head("0", "nothere.bin")), result::partition_table::kNoBootFile);
    // A folder named as the boot image is not an image.
    EXPECT_EQ(Load(Head("0", ".")), result::partition_table::kNoBootFile);
}

TEST_F(PartitionTableTest, EntryCodesStopAtFirstMissingKey) {
    const std::string keys[] = {"partition_id",   "partition_name",   "partition_path",
                                "partition_size", "partition_offset", "partition_protected"};
    const std::string values[] = {"1", "n", "a.bin", "0x1000", "0", "0"};
    for (int missing = 0; missing < 6; ++missing) {
        std::string section = "[partition#01]\n";
        for (int k = 0; k < 6; ++k) {
            // An empty value counts as absent.
            section += keys[k] + "=" + (k == missing ? "" : values[k]) + "\n";
        }
        dir_.Write("t.ptt", Head("1") + section);
        table_.Load(dir_.path() + "t.ptt");
        EXPECT_EQ(table_.LoadEntry(0), 1000 + missing) << keys[missing];
    }
    dir_.Write("t.ptt", Head("1") + Section(1, "nothere.bin"));
    table_.Load(dir_.path() + "t.ptt");
    EXPECT_EQ(table_.LoadEntry(0), result::partition_entry::kCannotOpen);
    EXPECT_EQ(table_.LoadEntry(1), result::partition_entry::kNoId);  // section partition#02 absent
}

TEST_F(PartitionTableTest, ProtectedShadowAndFlags) {
    const std::string content(1000, 'p');
    dir_.Write("p.bin", content);
    ASSERT_EQ(Load(Head("3") +
                   Section(1, "p.bin",
                           "partition_protected=1\npartition_shadow=1\npartition_load=2\n"
                           "partition_exec=1\npartition_header=1\n") +
                   Section(2, "p.bin", "partition_protected=2\npartition_load=1\n") +
                   Section(3, "p.bin",
                           "partition_shadow=5\npartition_shadow_address=80000000\n"
                           "partition_exec_address=0x80001000\n")),
              0);
    Sha1Digest expected{};
    ASSERT_TRUE(Sha1({reinterpret_cast<const uint8_t*>(content.data()), content.size()}, expected));
    const PartitionEntry& a = table_.entries[0];
    EXPECT_EQ(a.protected_size, 1000u);
    EXPECT_EQ(a.shadow, 1000u);
    EXPECT_EQ(a.digest, expected);
    EXPECT_EQ(a.flags, kFlagProtected | kFlagExec | kFlagHeader);  // load=2 is not 1
    EXPECT_EQ(a.load, 2u);
    const PartitionEntry& b = table_.entries[1];
    EXPECT_EQ(b.protected_size, 2u);
    EXPECT_EQ(b.flags, kFlagProtected | kFlagLoad);
    EXPECT_EQ(b.digest, Sha1Digest{});
    const PartitionEntry& c = table_.entries[2];
    EXPECT_EQ(c.shadow, 5u);
    EXPECT_EQ(c.shadow_address, 0x80000000u);
    EXPECT_EQ(c.exec_address, 0x80001000u);
    EXPECT_EQ(c.flags, 0u);
}

TEST_F(PartitionTableTest, NameKeepsEightBytesAndValuesAreHexOnly) {
    ASSERT_EQ(Load(Head("2") + Section(1, "a.bin", "partition_name=abcdefghijkl\n", "400000") +
                   Section(2, "a.bin", "partition_name=ab\n", "0x400000")),
              0);
    EXPECT_EQ(table_.entries[0].name,
              (std::array<uint8_t, 8>{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}));
    EXPECT_EQ(table_.entries[1].name, (std::array<uint8_t, 8>{'a', 'b', 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(table_.entries[0].size, 0x400000u);
    EXPECT_EQ(table_.entries[1].size, 0x400000u);
    EXPECT_EQ(table_.entries[0].id, 1u);
}

TEST_F(PartitionTableTest, PathsWithEitherSeparator) {
    dir_.Write("img/sub/a.bin", std::string(0x1000, 'x'));
    dir_.Write("img/boot.bin", std::string(0x10, 'x'));
    const std::string text = Head("2") + Section(1, "sub\\a.bin") + Section(2, "sub/a.bin");
    ASSERT_EQ(table_.Load(dir_.Write("img/t.ptt", text)), 0);
    EXPECT_EQ(table_.content_paths[0], "sub\\a.bin");  // kept as written
    EXPECT_EQ(table_.entries[0].content_size, 0x1000u);
    EXPECT_EQ(table_.ContentFilePath(0), dir_.path() + "img/sub/a.bin");
    EXPECT_NE(BuildSummary(table_).find("file               = sub\\a.bin\r\n"), std::string::npos);
    // A table path written with backslashes still gives its folder.
    EXPECT_EQ(FolderOf("D:\\img\\t.ptt"), "D:\\img\\");
    EXPECT_EQ(JoinTablePath("D:\\img\\", "sub\\a.bin"), "D:/img/sub/a.bin");
    // An absolute value is still appended to the folder.
    EXPECT_EQ(JoinTablePath("/img/", "/x/a.bin"), "/img//x/a.bin");
    // A bare file name lies in the current folder, not in a one-letter folder.
    EXPECT_EQ(FolderOf("t.ptt"), "");
    EXPECT_EQ(FolderOf("/t.ptt"), "/");
}

// UTF-8 text (ASCII and three-byte sequences) as a UTF-16LE file with its byte order mark.
std::string Utf16Le(const std::string& text) {
    std::string out = "\xFF\xFE";
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = static_cast<uint8_t>(text[i]);
        if (code >= 0xE0) {
            code = (code & 0x0Fu) << 12 | (text[i + 1] & 0x3Fu) << 6 | (text[i + 2] & 0x3Fu);
            i += 2;
        }
        out.push_back(static_cast<char>(code & 0xFF));
        out.push_back(static_cast<char>(code >> 8));
    }
    return out;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

TEST_F(PartitionTableTest, ReadsTablesAsTheToolsThatMakeThemDo) {
    dir_.Write("sub/a.bin", std::string(0x800, 's'));
    const std::string long_name(254, 'x');
    dir_.Write(long_name, std::string(0x10, 'x'));
    const std::string one = Head("1") + Section(1, "a.bin");
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        const char* what;
        std::string text;
        int result;
        uint32_t offset = 0x100000;  // of partition 1, when loaded
        std::string name = "part1";
        std::string file = "a.bin";  // ContentFilePath(0) in the table's folder
        std::string failure = "";    // part of FailureText when refused
    } cases[] = {
        {"double quotes",
         Head("\"1\"") + Section(1, "\"a.bin\"", "partition_offset=\"0x001A0000\"\n"), 0, 0x1A0000},
        {"single quotes, blanks inside kept",
         Head("'1'", "'boot.bin'") + Section(1, "a.bin", "partition_name=' co de'\n"), 0, 0x100000,
         " co de"},
        {"unmatched quotes kept", Head("1") + Section(1, "a.bin", "partition_name=\"code'\n"), 0,
         0x100000, "\"code'"},
        {"one quote kept", Head("1") + Section(1, "a.bin", "partition_name=\"\n"), 0, 0x100000,
         "\""},
        {"empty quotes are an empty value", Head("1") + Section(1, "a.bin", "partition_id=''\n"),
         result::partition_table::kEntryFailed, 0, "", "", "partition_id is missing"},
        {"repeated key: the first wins",
         Head("1") + Section(1, "a.bin", "partition_offset=0x300000\npartition_offset=0x400000\n"),
         0, 0x300000},
        {"repeated section is ignored",
         Head("1") + Section(1, "a.bin") + "[PARTITION#01]\npartition_offset=0x500000\n", 0},
        {"repeated section adds no key",
         Head("1") + "[partition#01]\npartition_id=1\n" + Section(1, "a.bin"),
         result::partition_table::kEntryFailed, 0, "", "",
         "partition#01: partition_name is missing"},
        {"repeated head section",
         one + "[Partition_Table_Config_Start]\nnumber_of_partition=0\nBootNand=a.bin\n", 0},
        {"UTF-16LE with byte order mark",
         Utf16Le(WithCrLf(Head("1") + Section(1, "a.bin", "partition_name=代码\n"))), 0, 0x100000,
         "代码"},
        {"UTF-8 byte order mark hides the first section", bom + one,
         result::partition_table::kNoCount, 0, "", "",
         "t.ptt starts with a UTF-8 byte order mark, so the section "
         "[partition_table_config_start] on its first line is not found"},
        {"UTF-8 byte order mark before a comment", bom + "; made by hand\n" + one, 0},
        {"blanks around names and values and inside brackets",
         " \t[ \vpartition_table_config_start\t]\n number_of_partition \v= 1 \t\n"
         "\tBootNand =\tboot.bin\v\n[\tpartition#01 ]\n  partition_offset\t= 0x1A0000 \n" +
             Section(1, "a.bin").substr(15),
         0, 0x1A0000},
        {"section name ends at its first ]",
         Head("1") + "[partition#01]]x]\n" + Section(1, "a.bin").substr(15), 0},
        {"comments only at the start of a line",
         Head("1") + Section(1, "a.bin",
                             ";partition_offset=0x5\n  ; partition_offset=0x6\n"
                             "partition_name=ab ; cd\n"),
         0, 0x100000, "ab ; cd"},
        {"CR LF line ends", WithCrLf(one), 0},
        {"values cut at 254 characters", Head("1") + Section(1, long_name + "yyyy"), 0, 0x100000,
         "part1", long_name},
        {"file names: letter case and trailing dots",
         Head("1", "BOOT.Bin.") + Section(1, "SUB\\A.BIN..", "", "0x1000"), 0, 0x100000, "part1",
         "sub/a.bin"},
        {"a file that is not there", Head("1") + Section(1, "b.bin.x"),
         result::partition_table::kEntryFailed, 0, "", "",
         "不能打开文件: " + dir_.path() + "b.bin.x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PartitionTable table;
        const int result = table.Load(dir_.Write("t.ptt", c.text));
        ASSERT_EQ(result, c.result) << table.FailureText(result);
        if (result != 0) {
            EXPECT_NE(table.FailureText(result).find(c.failure), std::string::npos)
                << table.FailureText(result);
            continue;
        }
        EXPECT_EQ(table.partition_count, 1u);
        EXPECT_EQ(table.entries[0].offset, c.offset);
        EXPECT_EQ(table.entries[0].NameText(), c.name.substr(0, 8));
        EXPECT_EQ(table.ContentFilePath(0), dir_.path() + c.file);
        EXPECT_EQ(table.BootFilePath(), dir_.path() + "boot.bin");
        EXPECT_EQ(table.boot_file_size, 0x4000u);
    }
}

// An operator who lacks several files learns of each, with the path to find it
// whatever folder the program was started in, and of the boot image too.
TEST_F(PartitionTableTest, EveryMissingFileIsNamedWithItsPath) {
    dir_.Write("t.ptt", Head("3", "gone.bin") + Section(1, "sub\\x.bin") + Section(2, "a.bin") +
                            Section(3, "y.bin"));
    const std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(dir_.path());
    const int missing = table_.Load("t.ptt");
    std::filesystem::current_path(cwd);
    EXPECT_EQ(missing, result::partition_table::kEntryFailed);
    EXPECT_EQ(table_.message().text, "不能打开文件: " + dir_.path() + "sub/x.bin\n不能打开文件: " +
                                         dir_.path() + "y.bin\ncannot open the boot image " +
                                         dir_.path() + "gone.bin: No such file or directory");
    EXPECT_EQ(table_.FailureText(missing), table_.message().text);

    // The first failure that is not a missing file leads; the missing one follows.
    ASSERT_EQ(Load(Head("2") + "[partition#01]\npartition_id=1\n" + Section(2, "y.bin")),
              result::partition_table::kEntryFailed);
    EXPECT_EQ(table_.FailureText(result::partition_table::kEntryFailed),
              "partition#01: partition_name is missing\n不能打开文件: " + dir_.path() + "y.bin");
}

TEST_F(PartitionTableTest, RefusesAFileTooLargeToBeATable) {
    // A real table padded with a comment line up to the limit still loads.
    std::string text = Head("0") + ";";
    text += std::string(kTextFileMax - text.size() - 1, 'c') + "\n";
    ASSERT_EQ(Load(text), 0);
    const std::string path = dir_.Write("t.ptt", text + "\n");
    EXPECT_EQ(table_.Load(path), result::partition_table::kNoCount);
    EXPECT_EQ(table_.message().title, "ERROR");
    EXPECT_EQ(table_.message().text, path + " is too large to read (1048577 bytes; at most 1 MiB)");
    EXPECT_EQ(table_.FailureText(result::partition_table::kNoCount), table_.message().text);
    // A missing file gets no message box, only the reason.
    EXPECT_EQ(table_.Load(dir_.path() + "absent.ptt"), result::partition_table::kNoCount);
    EXPECT_TRUE(table_.message().empty());
    EXPECT_EQ(table_.FailureText(result::partition_table::kNoCount),
              "cannot read " + dir_.path() + "absent.ptt: No such file or directory");
}

// Fails the second open of a file, as when it vanishes between measuring and
// fingerprinting.
class FlakyTable : public PartitionTable {
  protected:
    bool OpenFile(const std::string& path, File& in, uint32_t& size) override {
        return ++opens_[path] < 2 && PartitionTable::OpenFile(path, in, size);
    }
    std::map<std::string, int> opens_;
};

TEST_F(PartitionTableTest, ProtectedContentThatCannotBeReopened) {
    FlakyTable table;
    const std::string text = Head("1") + Section(1, "a.bin", "partition_protected=1\n");
    EXPECT_EQ(table.Load(dir_.Write("t.ptt", text)), result::partition_table::kEntryFailed);
    EXPECT_EQ(table.message().title, "Error");
    EXPECT_EQ(table.message().text, "Open file fail");
}

}  // namespace
}  // namespace velmora
