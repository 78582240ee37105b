// Lookups over the symbol tables of QR Code (versions 1-40) and Micro QR Code (M1-M4). Pure functions
// over constant data; none checks its arguments unless its comment says so. Levels are 0 L, 1 M, 2 Q,
// 3 H; modes are SegmentMode values (encoder/qrinput.h).
#ifndef QRKIT_ENCODER_TABLES_H
#define QRKIT_ENCODER_TABLES_H

#include <cstdint>
#include <vector>

namespace kelvane2::qrencode {

// The block layout of one version and level. Every block has eccPerBlock error correction codewords.
struct EccLayout {
    int group1Blocks;
    int group1DataCodewords;
    int eccPerBlock;
    int group2Blocks;
    int group2DataCodewords;  // 0 when there is no group 2
};

// An alignment pattern centre.
struct ModulePosition {
    int row;
    int column;
};

namespace QrTables {
int symbolWidth(int version);  // 17 + 4 * version
int totalCodewords(int version);
int eccCodewords(int version, int level);
int dataCodewords(int version, int level);  // totalCodewords - eccCodewords
int remainderBitCount(int version);         // 0, 3, 4 or 7
// The smallest version 1-40 whose dataCodewords at level is at least size; -1 when none.
int minimumVersion(int size, int level);
// Width of the character count field; 0 for modes 4 to 9. version 0 counts as the range 1-9.
int countBits(int mode, int version);
// The longest segment one header can count (in bytes; Kanji counts two bytes per character).
int maximumWords(int mode, int version);
EccLayout eccLayout(int version, int level);
// The 15-bit format word; 0 when mask taken as unsigned is above 7.
int formatInfo(int mask, int level);
// The 18-bit version word of versions 7-40; 0 above 40.
int versionInfo(int version);
// The number of alignment-pattern coordinates of the version (0 below version 2) and the coordinates.
int alignmentCoordinates(int version, int* coordinates);
// The alignment pattern centres, the three on finder patterns left out.
std::vector<ModulePosition> alignmentCentres(int version);
}  // namespace QrTables

namespace MicroTables {
int microSymbolWidth(int version);          // 11, 13, 15, 17
int eccCodewords(int version, int level);   // 0 where the version lacks the level
int dataBits(int version, int level);       // 0 where the version lacks the level
int dataCodewords(int version, int level);  // (dataBits + 4) / 8
int oddBits(int version, int level);        // 4 for M1 and M3, else 0
int countBits(int mode, int version);       // 0 where the mode does not exist in the version
int symbolNumber(int version, int level);   // -1 where the combination does not exist
// The 15-bit Micro format word; 0 unless mask is 0-3, version 1-4 and a symbol number exists.
int formatInfo(int mask, int version, int level);
}  // namespace MicroTables

}  // namespace kelvane2::qrencode

#endif
