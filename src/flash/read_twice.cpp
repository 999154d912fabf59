#include "flash/read_twice.h"

#include <algorithm>

#include "base/results.h"
#include "base/text_format.h"
#include "flash/nand_session.h"

namespace velmora {

int SecondOpinion::Confirm(NandSession& nand, std::span<uint8_t> first, int block,
                           const Read& read) {
    second_.resize(first.size());
    if (const int r = read(second_); r != 0) {
        return r;
    }
    if (std::equal(first.begin(), first.end(), second_.begin())) {
        return 0;
    }
    third_.resize(first.size());
    if (const int r = read(third_); r != 0) {
        return r;
    }
    for (size_t i = 0; i < first.size(); ++i) {
        if (first[i] == second_[i] || first[i] == third_[i]) {
            continue;
        }
        if (second_[i] != third_[i]) {
            // Said twice: the notes keep it whatever text the read ends with.
            nand.attempt.text = Format(
                "Block %d read three times gave three different values of its byte %zu: "
                "no two reads agree",
                block, i);
            nand.AddNote(nand.attempt.text + ".");
            return result::read_back::kReadsDisagree;
        }
        first[i] = second_[i];
    }
    nand.AddNote(
        Format("Block %d read differently twice; a third read settled it byte by byte.", block));
    return 0;
}

}  // namespace velmora
