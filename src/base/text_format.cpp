#include "base/text_format.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace velmora {

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(length));
    }
    va_end(args);
    return text;
}

std::string ErrnoText(int error) {
    char buffer[256];
    // The GNU strerror_r returns the text, in the buffer or a static one.
    return strerror_r(error, buffer, sizeof buffer);
}

std::string TrimLineBreaks(std::string_view text) {
    const size_t first = text.find_first_not_of("\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of("\r\n") - first + 1));
}

}  // namespace velmora
