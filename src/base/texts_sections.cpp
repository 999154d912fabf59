// The library's sections of the message catalogue, in the order a text is
// looked up in them: a shape that would also fit other texts comes after them.
#include "base/texts_sections.h"
#include "base/texts.h"

namespace velmora::text {

std::span<const std::span<const Entry>> LibrarySections() {
    static const std::span<const Entry> sections[] = {
        sections::Status(), sections::Refusals(), sections::Errors(),
        sections::Links(),  sections::Station(),  sections::Results(),
        sections::Steps(),  sections::System(),   sections::General(),
    };
    return sections;
}

}  // namespace velmora::text
