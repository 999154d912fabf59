#pragma once
// printf-style formatting into a std::string, for the job's fixed message texts.
#include <string>

namespace velmora {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace velmora
