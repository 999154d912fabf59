#include "config/boot_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/temp_dir.h"

namespace velmora {
namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

std::vector<uint8_t> Block(uint8_t version, uint32_t marker = kBootMarker) {
    std::vector<uint8_t> b(0x20000, 0xFF);
    Put32(b, 0x20, marker);
    b[0xFE] = version;
    return b;
}

// A classic record as the boot block writer lays it out.
void PutClassic(std::vector<uint8_t>& b, int i, uint32_t offset, uint32_t size, uint32_t content,
                uint32_t shadow_address, uint32_t exec_address, const char* name) {
    const size_t at = 0x7C0 - 0x40 * i;
    std::memset(&b[at], 0, 0x40);
    Put32(b, at, offset);
    Put32(b, at + 4, size);
    Put32(b, at + 8, content);
    Put32(b, at + 12, 0x1234);  // protected
    Put32(b, at + 16, 0x5678);  // shadow
    Put32(b, at + 20, shadow_address);
    Put32(b, at + 24, exec_address);
    std::memcpy(&b[at + 28], name, std::min<size_t>(8, std::strlen(name)));
    std::memset(&b[at + 44], 0xAB, 20);  // digest
}

void PutV3(std::vector<uint8_t>& b, int i, uint32_t offset, uint32_t size, uint32_t flags,
           uint32_t id, const char* name) {
    const size_t at = 0x5E8 - 24 * i;
    std::memset(&b[at], 0, 24);
    Put32(b, at, offset);
    Put32(b, at + 4, size);
    Put32(b, at + 8, flags);
    Put32(b, at + 12, id);
    std::memcpy(&b[at + 16], name, std::min<size_t>(8, std::strlen(name)));
}

TEST(BootBlock, ClassicLayoutReadsBackAsWritten) {
    auto b = Block(2, kBootMarkerAlt);
    PutClassic(b, 0, 0x20000, 0x100000, 0xA0000, 0x80000000, 0x80001000, "code");
    PutClassic(b, 1, 0x120000, 0x80000, 0x30000, 0, 0, "fontsABCxyz");  // 8 kept
    Put32(b, 0x7C0 - 0x40 * 2, 0);                                      // end mark
    BootTable t;
    ASSERT_EQ(ParseBootBlock(b, t), 0);
    EXPECT_EQ(t.version, 2);
    EXPECT_EQ(t.partition_count, 2);
    EXPECT_EQ(t.records[1].NameText(), "fontsABC");
    // The whole classic report is compared byte for byte after a read-back.
    const std::string report = UploadReportText(t, 0x20000);
    for (const char* line :
         {"name               = fontsABC\n", "id                 = 0x63\n",
          "content size       = 0x000A0000\n", "shadow addres      = 0x80000000\n",
          "execute address    = 0x80001000\n"}) {
        EXPECT_NE(report.find(line), std::string::npos) << line;
    }
}

TEST(BootBlock, Version3LayoutAndReportFile) {
    auto b = Block(3);
    PutV3(b, 0, 0x20000, 0x100000, 0xF, 0x81, "abcdefgh");
    PutV3(b, 1, 0x120000, 0x80000, 0x1, 0x02, "yaffs");
    Put32(b, 0x5E8 - 24 * 2, 0xFFFFFFFF);
    testing::TempDir dir;
    BootTable t;
    ASSERT_EQ(WriteUploadReport(b, 0x20000, dir.path() + "upload.ptt", t), 0);
    EXPECT_EQ(t.partition_count, 2);
    EXPECT_EQ(dir.Read("upload.ptt"),
              "Total partition number = 2.\n\n"
              "Boot NAND file name = boot_nand.bin.\n"
              "Boot NAND file size = 0x00020000\n"
              "\n[partition_#01]\n"
              "id                 = 0x81\n"
              "name               = abcdefgh\n"
              "offset             = 0x00020000\n"
              "size               = 0x00100000\n"
              "flag               = 0x0000000F\n"
              "\n[partition_#02]\n"
              "id                 = 0x02\n"
              "name               = yaffs\n"
              "offset             = 0x00120000\n"
              "size               = 0x00080000\n"
              "flag               = 0x00000001\n"
              "\n[partition_table_config_end]\n");
    EXPECT_EQ(WriteUploadReport(b, 0x20000, dir.path() + "no/such/upload.ptt", t),
              result::boot_table::kReportNotWritten);
}

TEST(BootBlock, CountingStopsAtFirstInvalidAndNeverPassesSixteen) {
    auto b = Block(3);
    for (int i = 0; i < 16; ++i) {
        PutV3(b, i, 0x20000u * (i + 1), 0x20000, 0, i, "p");
    }
    // Records beyond the sixteenth (the writer stores 32) are never read.
    PutV3(b, 16, 0x400000, 0x20000, 0, 16, "extra");
    BootTable t;
    ASSERT_EQ(ParseBootBlock(b, t), 0);
    EXPECT_EQ(t.partition_count, 16);
    EXPECT_EQ(UploadReportText(t, 0x4000).find("[partition_#17]"), std::string::npos);

    auto empty = Block(2);
    ASSERT_EQ(ParseBootBlock(empty, t), 0);
    EXPECT_EQ(t.partition_count, 0);  // first record's offset is 0xFFFFFFFF
    PutClassic(empty, 0, 0x20000, 0x20000, 0, 0, 0, "a");
    PutClassic(empty, 2, 0x60000, 0x20000, 0, 0, 0, "c");
    Put32(empty, 0x7C0 - 0x40, 0);
    ASSERT_EQ(ParseBootBlock(empty, t), 0);
    EXPECT_EQ(t.partition_count, 1);
}

TEST(BootBlock, RejectsMissingMarkerAndShortBlocks) {
    BootTable t;
    t.partition_count = 5;
    auto b = Block(3, 0x76543210);
    EXPECT_EQ(ParseBootBlock(b, t), result::boot_table::kNoMarker);
    EXPECT_EQ(t.partition_count, 5);  // untouched
    testing::TempDir dir;
    EXPECT_EQ(WriteUploadReport(b, 0x20000, dir.path() + "upload.ptt", t),
              result::boot_table::kNoMarker);
    EXPECT_EQ(dir.Read("upload.ptt"), "");
    auto ok = Block(2);
    EXPECT_EQ(ParseBootBlock(std::span(ok).first(0x7FF), t), result::boot_table::kNoMarker);
    EXPECT_EQ(ParseBootBlock(std::span(ok).first(0x40), t), result::boot_table::kNoMarker);
    auto v3 = Block(3);
    EXPECT_EQ(ParseBootBlock(std::span(v3).first(0x600), t), 0);
}

}  // namespace
}  // namespace velmora
