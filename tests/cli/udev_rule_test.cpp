// The udev rule against the properties of devices on a repair bench: which of them
// get access and which ModemManager is told to leave alone. A small evaluator of
// the rule's own subset of udev syntax stands in for udevd.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/udev_rule.h"

namespace velmora::cli {
namespace {

using Keys = std::map<std::string, std::string>;  // "ACTION", "ENV{X}", "ATTR{X}", ...

// udev's match: alternatives split at '|', each a shell glob.
bool Matches(const std::string& pattern, const std::string& value) {
    std::stringstream alternatives(pattern);
    for (std::string glob; std::getline(alternatives, glob, '|');) {
        if (fnmatch(glob.c_str(), value.c_str(), 0) == 0) {
            return true;
        }
    }
    return false;
}

// What the rule did to a device: its assignments, in order.
std::string Apply(const std::string& rules, Keys device) {
    std::vector<std::string> lines;
    std::stringstream in(rules);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') {
            lines.push_back(line);
        }
    }
    const std::regex pair(R"re(\s*([A-Z_]+(\{[^}]*\})?)(==|!=|\+=|=)"([^"]*)"\s*(,|$))re");
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::smatch> pairs;
        for (auto it = std::sregex_iterator(lines[i].begin(), lines[i].end(), pair);
             it != std::sregex_iterator(); ++it) {
            pairs.push_back(*it);
        }
        bool matched = true;
        for (const auto& p : pairs) {
            if (p[3] == "==" || p[3] == "!=") {
                matched = matched && Matches(p[4], device[p[1]]) == (p[3] == "==");
            }
        }
        if (!matched) {
            continue;
        }
        std::string go_to;
        for (const auto& p : pairs) {
            const std::string key = p[1], value = p[4];
            if (p[3] == "==" || p[3] == "!=" || key == "LABEL" || key == "IMPORT{builtin}") {
                continue;  // usb_id's result is in the device's keys already
            }
            if (key == "GOTO") {
                go_to = value;
            } else if (key == "TAG" || key == "GROUP" || key == "MODE" ||
                       key == "ENV{ID_MM_DEVICE_IGNORE}") {
                out += key + std::string(p[3]) + value + " ";
            } else {
                ADD_FAILURE() << "the evaluator does not know " << key << " in " << lines[i];
            }
        }
        if (!go_to.empty()) {
            while (i + 1 < lines.size() && lines[i + 1] != "LABEL=\"" + go_to + "\"") {
                ++i;
            }
        }
    }
    return out;
}

std::string InstalledRule() {
    std::ifstream in(VELMORA_SOURCE_DIR "/res/70-velmora.rules");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Keys UsbDevice(const char* interfaces, const char* vendor, const char* product,
               const char* action = "add") {
    return {{"ACTION", action},
            {"SUBSYSTEM", "usb"},
            {"ENV{DEVTYPE}", "usb_device"},
            {"ENV{ID_USB_INTERFACES}", interfaces},
            {"ATTR{idVendor}", vendor},
            {"ATTR{idProduct}", product}};
}

constexpr const char* kServed = "TAG+=uaccess GROUP=plugdev MODE=0660 ENV{ID_MM_DEVICE_IGNORE}=1 ";

TEST(UdevRule, ServesThePhoneAndLeavesOtherDevicesAlone) {
    const Keys adapter = UsbDevice(":ffffff:", "0403", "6001");  // a USB-serial adapter
    const Keys modem = UsbDevice(":020201:0a0000:ff0000:fe0101:", "1199", "9071");
    const Keys loader = UsbDevice(":ff0000:", "1209", "0002");
    const std::string rule = InstalledRule();
    ASSERT_NE(rule.find("LABEL=\"velmora_end\""), std::string::npos);

    EXPECT_EQ("", Apply(rule, adapter));
    EXPECT_EQ("", Apply(rule, modem));
    EXPECT_EQ("", Apply(rule, loader));  // its IDs are not known in advance
    for (const char* action : {"add", "change", "bind"}) {
        SCOPED_TRACE(action);
        EXPECT_EQ(kServed, Apply(rule, UsbDevice(":fe0101:", "04cc", "2052", action)));
        EXPECT_EQ(kServed, Apply(rule, UsbDevice(":fe0102:", "04cc", "2052", action)));
    }
    EXPECT_EQ("", Apply(rule, UsbDevice(":fe0102:", "04cc", "2052", "remove")));

    // With the loader's line: that device, and still no other.
    const std::string with_loader = RuleWithLoader(rule, *ParseUsbIds("1209:2"));
    EXPECT_EQ(kServed, Apply(with_loader, loader));
    EXPECT_EQ("", Apply(with_loader, UsbDevice(":ff0000:", "1209", "0003")));
    EXPECT_EQ("", Apply(with_loader, adapter));
    EXPECT_EQ("", Apply(with_loader, modem));
    EXPECT_LT(with_loader.find("1209"), with_loader.find("\nLABEL=\"velmora_end\""));
}

TEST(UdevRule, LoaderIdsAreFourHexDigitsEach) {
    const auto ids = ParseUsbIds("0x1209:ABCD");
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->vendor, 0x1209);
    EXPECT_EQ(ids->product, 0xABCD);
    for (const char* bad : {"", "1209", "1209:", ":0002", "12345:0002", "1209:0002:1", "-1:2",
                            "1209 :0002", "g209:0002", "0x:1"}) {
        EXPECT_FALSE(ParseUsbIds(bad)) << bad;
    }
}

}  // namespace
}  // namespace velmora::cli
