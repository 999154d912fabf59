#include "cli/udev_rule.h"

#include <charconv>

#include "base/text_format.h"

namespace velmora::cli {
namespace {

std::optional<uint16_t> ParseId(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    uint16_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

constexpr std::string_view kEndLabel = "LABEL=\"velmora_end\"";

}  // namespace

std::optional<UsbIds> ParseUsbIds(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const auto vendor = ParseId(text.substr(0, colon));
    const auto product = ParseId(text.substr(colon + 1));
    if (!vendor || !product) {
        return std::nullopt;
    }
    return UsbIds{*vendor, *product};
}

std::string RuleWithLoader(std::string_view rule, const UsbIds& loader) {
    const std::string lines = Format(
        "# The RAM loader's device of this phone (velmora-cli udev-rule --loader %04x:%04x).\n"
        "ATTR{idVendor}==\"%04x\", ATTR{idProduct}==\"%04x\", TAG+=\"uaccess\", "
        "GROUP=\"plugdev\", MODE=\"0660\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n\n",
        loader.vendor, loader.product, loader.vendor, loader.product);
    // The label at the start of a line: the comments name it too.
    size_t at = 0;
    while ((at = rule.find(kEndLabel, at)) != std::string_view::npos && at != 0 &&
           rule[at - 1] != '\n') {
        at += kEndLabel.size();
    }
    if (at == std::string_view::npos) {
        std::string text(rule);
        if (!text.empty() && text.back() != '\n') {
            text += '\n';
        }
        return text + lines;
    }
    return std::string(rule.substr(0, at)) + lines + std::string(rule.substr(at));
}

}  // namespace velmora::cli
