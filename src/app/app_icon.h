#pragma once
#include <QIcon>

namespace velmora::app {

// The program's icon, drawn to match res/velmora.svg.
QIcon AppIcon();

// The dialogs' look: background 150,169,186 with black text, the 宋体 face
// where the machine has it, else a CJK face.
void ApplyLook();

}  // namespace velmora::app
