#pragma once
// The library's sections of the message catalogue, one function per file.
#include <span>

#include "base/texts.h"

namespace velmora::text::sections {

// Statuses of the job sequences, with the specified Chinese texts.
std::span<const Entry> Status();
// Start's refusals, the table's and catalogue's messages, the safety net's texts.
std::span<const Entry> Refusals();
// The error texts a failing step leaves for the job's end.
std::span<const Entry> Errors();
// The serial port's and the USB devices' failures and next steps.
std::span<const Entry> Links();
// Notes after a success; the station's texts.
std::span<const Entry> Station();
// The result table's meanings and next steps.
std::span<const Entry> Results();
// The step names.
std::span<const Entry> Steps();
// The system's reasons (strerror).
std::span<const Entry> System();
// The display's words, the shortest shapes and the joins: last.
std::span<const Entry> General();

}  // namespace velmora::text::sections
