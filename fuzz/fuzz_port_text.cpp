// Port texts of the command line and the window: COMn (COM1 to COM1024 become
// /dev/ttyS0 to /dev/ttyS1023), device paths, and what names a simulated phone.
#include <cstdint>
#include <string>

#include "job/link_registry.h"
#include "serial/serial_port.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int number = -1;
    const std::string path = velmora::SerialDevicePath(text, &number);
    if (path.empty()) {
        // Only a COMn outside 1 to 1024 maps to nothing.
        if (number >= 1 && number <= 1024) {
            __builtin_trap();
        }
    } else if (path != text &&
               (number < 1 || number > 1024 || path != "/dev/ttyS" + std::to_string(number - 1))) {
        __builtin_trap();
    }
    if (velmora::IsSimulatedPortText(text) && text.rfind("sim", 0) != 0) {
        __builtin_trap();
    }
    velmora::NamesSerialPort(text);
    return 0;
}
