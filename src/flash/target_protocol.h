#pragma once
// The commands the job sequences send themselves once the RAM loader runs:
// IBT, NAND parameters, management record, Init SDI.
#include <cstdint>

#include "link/loader_frame.h"

namespace velmora {

class NandSession;

// Command 7: the IBT into nand.chip().ibt. 0; 4000 no response; 4010 bad header or
// status above 20 (error text "Get IBT fail, %04X, %x"); 4001 no IBT data.
int GetIbt(NandSession& nand);

// Command 6 from nand.chip().geometry. 0, or 15 with the error text.
int SetNandParameters(NandSession& nand);

// Command 20 into nand.chip().record (also sets nand.chip().reservoir_start). 0 read; −1 the
// target holds no record; 1000 no response, 1010 bad header, 1011 bad status,
// 1001 no record data, 1100 checksum mismatch. Chips with 512-byte pages have
// no record: 0 without traffic. Debug mode writes "bbm_rcb.bin" into nand.folder().
int ReadManagementRecord(NandSession& nand);

// Command 14 (USB link only). 0, 255, 4000, 4010 or 2 to 13.
int InitSdi(NandSession& nand, uint32_t parameter);

}  // namespace velmora
