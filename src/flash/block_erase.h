#pragma once
// Erasing NAND blocks, with bad blocks replaced from the reservoir at the top
// of the chip (partition and code-area erases of a code upgrade). The record
// building and the range erase of the erase work mode are declared in
// nand_operations.h.
namespace velmora {

class NandSession;

// One command 10 for one block. Serial: 0 or 3010 ("Erase block%d fail.").
// USB: see UsbEraseBlocks.
int EraseBlock(NandSession& nand, int block);

// Erases the blocks of partition i (classic record), bad blocks through their
// replacements. 0, or 1 with the error text naming the block and the code.
int ErasePartition(NandSession& nand, int i);

// Erases blocks 1 to B − 75, bad blocks through their replacements. 0 or 1.
int EraseCodeArea(NandSession& nand);

}  // namespace velmora
