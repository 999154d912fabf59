#pragma once
// Identification of the NAND chip behind the running RAM loader.

namespace velmora {

class NandSession;

// Reads the NAND ID (command 5), shows the ID text as the chip information,
// looks the chip up in <home>FlashChip.ini, checks the geometry and sizes the
// block map. 0; −1000 no answer; −1001 bad answer; −2000 maker 0xFF;
// 20000 + c unknown chip (catalogue code c); −2002 geometry rejected.
int IdentifyNand(NandSession& nand);

}  // namespace velmora
