#pragma once
// The library's sections of the message catalogue, one function per file.
#include <span>

#include "base/texts.h"

namespace velmora::text::sections {

// Statuses and errors of the job sequences, with the specified Chinese texts.
std::span<const Entry> Status();

}  // namespace velmora::text::sections
