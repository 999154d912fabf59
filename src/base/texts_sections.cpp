// The library's sections of the message catalogue, in the order a text is
// looked up in them.
#include "base/texts_sections.h"
#include "base/texts.h"

namespace velmora::text {

std::span<const std::span<const Entry>> LibrarySections() {
    static const std::span<const Entry> sections[] = {
        sections::Status(),
    };
    return sections;
}

}  // namespace velmora::text
