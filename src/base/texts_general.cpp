// The last sections: the display's words, the shapes so short that they would
// fit other texts, and the joins of texts the library composes (a result's
// meaning and its inner one, two sentences, two lines), which take only parts
// that are texts of the catalogue.
#include "base/texts_sections.h"

namespace velmora::text::sections {

namespace {

constexpr Entry kEntries[] = {
    // The display's texts: the block map and the elapsed time.
    {"display.cell_good", "G", "好", "G"},
    {"display.cell_bad", "NG", "坏", "NG"},
    {"display.column_block", "BLOCK", "块", "BLOCK"},
    {"display.column_address", "ADDRESS", "地址", "ADDRESS"},
    {"display.column_status", "STATUS", "状态", "STATUS"},
    {"display.area_start",
     "the area's start \"{1}\" is not an address: give 1 to 8 hexadecimal digits, with or without "
     "0x",
     "区域起点“{1}”不是地址：请输入 1 到 8 位十六进制数字，可带或不带 0x",
     "the area's start \"{1}\" is not an address: give 1 to 8 hexadecimal digits, with or without "
     "0x"},
    {"display.area_end",
     "the area's end \"{1}\" is not an address: give 1 to 8 hexadecimal digits, with or without 0x",
     "区域终点“{1}”不是地址：请输入 1 到 8 位十六进制数字，可带或不带 0x",
     "the area's end \"{1}\" is not an address: give 1 to 8 hexadecimal digits, with or without "
     "0x"},
    {"display.area_order", "the area's end 0x{1} lies below its start 0x{2}",
     "区域终点 0x{1} 低于其起点 0x{2}", "the area's end 0x{1} lies below its start 0x{2}"},
    // Short shapes that would fit other texts: tried after every other.
    {"station.result", "result {1}", "结果 {1}", "result {1}"},
    {"error.nothing_erased_after", "{1} Nothing was erased.", "{1}没有擦除任何内容。",
     "{1} Nothing was erased."},
    {"unit.seconds", "{1}秒", "{1}秒", "{1} s"},
    {"display.elapsed_usb", "{1} S", "{1} 秒", "{1} S"},
    // Texts the library joins: each part must be a text of the catalogue.
    {"join.cause", "{1}: {2}", "{1}：{2}", "{1}: {2}"},
    {"join.lines", "{1}\n{2}", "{1}\n{2}", "{1}\n{2}"},
    {"join.sentences", "{1} {2}", "{1} {2}", "{1} {2}"},
};

}  // namespace

std::span<const Entry> General() {
    return kEntries;
}

}  // namespace velmora::text::sections
