// The simulated phone's option text ("sim:chip=EC,A1,bad=5+9,pace" and the USB
// pieces): split, parsed, resolved against a catalogue, and the chip opened and
// its last page written and read.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "sim/nand.h"
#include "sim/options.h"
#include "sim/usb_phone.h"
#include "temp_folder.h"

namespace {

std::string MakeCatalogue(const std::string& folder) {
    std::ofstream(folder + "FlashChip.ini")
        << "[VERSION]\nDATE=2024-01-01\nVER=1.0\n"
           "[EC,A1]\nBLOCK_NUM=1024\nBLOCK_SIZE=128\nPAGE_SIZE=2048\nSPARE_SIZE=64\n"
           "ERASE_TIME=2000\nWRITE_TIME=200\n"
           "[EC,76]\nBLOCK_NUM=4096\nBLOCK_SIZE=16\nPAGE_SIZE=512\nSPARE_SIZE=16\n"
           "ERASE_TIME=2000\nWRITE_TIME=200\n";
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TempFolder temp;
    static const std::string catalogue = MakeCatalogue(temp.path());
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    velmora::sim::UsbPhoneOptions usb;
    std::string rest;
    std::string error;
    if (!velmora::sim::SplitUsbPhoneOptions(text, usb, rest, error)) {
        return 0;
    }
    velmora::sim::PhoneOptions options;
    if (!velmora::sim::ParsePhoneOptions(rest, options, error)) {
        if (error.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    options.catalogue = catalogue;
    velmora::sim::ChipDescription chip;
    if (!velmora::sim::ResolveChip(options, chip, error)) {
        return 0;
    }
    velmora::sim::NandChip nand;
    if (!nand.Open(chip, "").empty()) {
        return 0;
    }
    const uint32_t block = nand.blocks() - 1;
    const uint32_t page = nand.pages_per_block() - 1;
    const uint8_t byte = 0x5A;
    nand.Program(block, page, &byte, 1);
    uint8_t back = 0;
    nand.Read(block, page, &back, 1);
    nand.Ibt();
    return 0;
}
