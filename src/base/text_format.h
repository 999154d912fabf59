#pragma once
// printf-style formatting into a std::string, for the job's fixed message texts.
#include <string>
#include <string_view>

namespace velmora {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The system's words for an errno value; safe from any thread (unlike strerror).
std::string ErrnoText(int error);

// `text` without the line breaks (CR, LF) at its ends. The loader's texts keep
// theirs in dl_log.txt; a line on screen, or a text that quotes another, does not.
std::string TrimLineBreaks(std::string_view text);

}  // namespace velmora
