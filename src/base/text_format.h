#pragma once
// printf-style formatting into a std::string, for the job's fixed message texts.
#include <string>

namespace velmora {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The system's words for an errno value; safe from any thread (unlike strerror).
std::string ErrnoText(int error);

}  // namespace velmora
