#include "flash/nand_dialect.h"

#include "flash/nand_session.h"

namespace velmora {

int NandDialect::WalkRange(NandSession& nand, int first, int end, const VisitBlock& visit,
                           const std::function<int(int block)>& erase) {
    for (int b = first; b < end; ++b) {
        if (nand.Aborted()) {
            return nand.result();
        }
        Visit what = Visit::kLeave;
        if (const int c = visit(b, &what); c != 0) {
            return c;
        }
        if (what == Visit::kErase) {
            if (const int c = erase(b); c != 0) {
                return c;
            }
        }
    }
    return 0;
}

}  // namespace velmora
