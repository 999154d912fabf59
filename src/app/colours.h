#pragma once
// Colours travel through the job as 0x00BBGGRR values.
#include <QColor>
#include <cstdint>

namespace velmora::app {

inline QColor FromColourValue(uint32_t value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

}  // namespace velmora::app
