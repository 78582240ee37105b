// Lookups over the QR Code and Micro QR Code symbol tables of ISO/IEC 18004.
#include "encoder/tables.h"

#include "encoder/qrinput.h"

namespace kelvane2::qrencode {

namespace {

// ISO/IEC 18004 Table 1 (codeword capacity) with Table 9 (error correction codeword totals): width,
// total codewords, remainder bits, error correction codewords at L, M, Q, H. Row 0 is empty.
constexpr int kCapacity[41][7] = {
    {0, 0, 0, 0, 0, 0, 0},
    {21, 26, 0, 7, 10, 13, 17},             // 1
    {25, 44, 7, 10, 16, 22, 28},            // 2
    {29, 70, 7, 15, 26, 36, 44},            // 3
    {33, 100, 7, 20, 36, 52, 64},           // 4
    {37, 134, 7, 26, 48, 72, 88},           // 5
    {41, 172, 7, 36, 64, 96, 112},          // 6
    {45, 196, 0, 40, 72, 108, 130},         // 7
    {49, 242, 0, 48, 88, 132, 156},         // 8
    {53, 292, 0, 60, 110, 160, 192},        // 9
    {57, 346, 0, 72, 130, 192, 224},        // 10
    {61, 404, 0, 80, 150, 224, 264},        // 11
    {65, 466, 0, 96, 176, 260, 308},        // 12
    {69, 532, 0, 104, 198, 288, 352},       // 13
    {73, 581, 3, 120, 216, 320, 384},       // 14
    {77, 655, 3, 132, 240, 360, 432},       // 15
    {81, 733, 3, 144, 280, 408, 480},       // 16
    {85, 815, 3, 168, 308, 448, 532},       // 17
    {89, 901, 3, 180, 338, 504, 588},       // 18
    {93, 991, 3, 196, 364, 546, 650},       // 19
    {97, 1085, 3, 224, 416, 600, 700},      // 20
    {101, 1156, 4, 224, 442, 644, 750},     // 21
    {105, 1258, 4, 252, 476, 690, 816},     // 22
    {109, 1364, 4, 270, 504, 750, 900},     // 23
    {113, 1474, 4, 300, 560, 810, 960},     // 24
    {117, 1588, 4, 312, 588, 870, 1050},    // 25
    {121, 1706, 4, 336, 644, 952, 1110},    // 26
    {125, 1828, 4, 360, 700, 1020, 1200},   // 27
    {129, 1921, 3, 390, 728, 1050, 1260},   // 28
    {133, 2051, 3, 420, 784, 1140, 1350},   // 29
    {137, 2185, 3, 450, 812, 1200, 1440},   // 30
    {141, 2323, 3, 480, 868, 1290, 1530},   // 31
    {145, 2465, 3, 510, 924, 1350, 1620},   // 32
    {149, 2611, 3, 540, 980, 1440, 1710},   // 33
    {153, 2761, 3, 570, 1036, 1530, 1800},  // 34
    {157, 2876, 0, 570, 1064, 1590, 1890},  // 35
    {161, 3034, 0, 600, 1120, 1680, 1980},  // 36
    {165, 3196, 0, 630, 1204, 1770, 2100},  // 37
    {169, 3362, 0, 660, 1260, 1860, 2220},  // 38
    {173, 3532, 0, 720, 1316, 1950, 2310},  // 39
    {177, 3706, 0, 750, 1372, 2040, 2430},  // 40
};

// ISO/IEC 18004 Table 9: number of blocks in group 1 and group 2 for L, M, Q, H.
constexpr int kBlocks[41][4][2] = {
    {{0, 0}, {0, 0}, {0, 0}, {0, 0}},        {{1, 0}, {1, 0}, {1, 0}, {1, 0}},  // 1
    {{1, 0}, {1, 0}, {1, 0}, {1, 0}},                                           // 2
    {{1, 0}, {1, 0}, {2, 0}, {2, 0}},                                           // 3
    {{1, 0}, {2, 0}, {2, 0}, {4, 0}},                                           // 4
    {{1, 0}, {2, 0}, {2, 2}, {2, 2}},                                           // 5
    {{2, 0}, {4, 0}, {4, 0}, {4, 0}},                                           // 6
    {{2, 0}, {4, 0}, {2, 4}, {4, 1}},                                           // 7
    {{2, 0}, {2, 2}, {4, 2}, {4, 2}},                                           // 8
    {{2, 0}, {3, 2}, {4, 4}, {4, 4}},                                           // 9
    {{2, 2}, {4, 1}, {6, 2}, {6, 2}},                                           // 10
    {{4, 0}, {1, 4}, {4, 4}, {3, 8}},                                           // 11
    {{2, 2}, {6, 2}, {4, 6}, {7, 4}},                                           // 12
    {{4, 0}, {8, 1}, {8, 4}, {12, 4}},                                          // 13
    {{3, 1}, {4, 5}, {11, 5}, {11, 5}},                                         // 14
    {{5, 1}, {5, 5}, {5, 7}, {11, 7}},                                          // 15
    {{5, 1}, {7, 3}, {15, 2}, {3, 13}},                                         // 16
    {{1, 5}, {10, 1}, {1, 15}, {2, 17}},                                        // 17
    {{5, 1}, {9, 4}, {17, 1}, {2, 19}},                                         // 18
    {{3, 4}, {3, 11}, {17, 4}, {9, 16}},                                        // 19
    {{3, 5}, {3, 13}, {15, 5}, {15, 10}},                                       // 20
    {{4, 4}, {17, 0}, {17, 6}, {19, 6}},                                        // 21
    {{2, 7}, {17, 0}, {7, 16}, {34, 0}},                                        // 22
    {{4, 5}, {4, 14}, {11, 14}, {16, 14}},                                      // 23
    {{6, 4}, {6, 14}, {11, 16}, {30, 2}},                                       // 24
    {{8, 4}, {8, 13}, {7, 22}, {22, 13}},                                       // 25
    {{10, 2}, {19, 4}, {28, 6}, {33, 4}},                                       // 26
    {{8, 4}, {22, 3}, {8, 26}, {12, 28}},                                       // 27
    {{3, 10}, {3, 23}, {4, 31}, {11, 31}},                                      // 28
    {{7, 7}, {21, 7}, {1, 37}, {19, 26}},                                       // 29
    {{5, 10}, {19, 10}, {15, 25}, {23, 25}},                                    // 30
    {{13, 3}, {2, 29}, {42, 1}, {23, 28}},                                      // 31
    {{17, 0}, {10, 23}, {10, 35}, {19, 35}},                                    // 32
    {{17, 1}, {14, 21}, {29, 19}, {11, 46}},                                    // 33
    {{13, 6}, {14, 23}, {44, 7}, {59, 1}},                                      // 34
    {{12, 7}, {12, 26}, {39, 14}, {22, 41}},                                    // 35
    {{6, 14}, {6, 34}, {46, 10}, {2, 64}},                                      // 36
    {{17, 4}, {29, 14}, {49, 10}, {24, 46}},                                    // 37
    {{4, 18}, {13, 32}, {48, 14}, {42, 32}},                                    // 38
    {{20, 4}, {40, 7}, {43, 22}, {10, 67}},                                     // 39
    {{19, 6}, {18, 31}, {34, 34}, {20, 61}},                                    // 40
};

// ISO/IEC 18004 Table 3: bits of the character count indicator, by mode and version range 1-9, 10-26,
// 27-40.
constexpr int kCountBits[4][3] = {
    {10, 12, 14},  // numeric
    {9, 11, 13},   // alphanumeric
    {8, 16, 16},   // byte
    {8, 10, 12},   // Kanji
};

// ISO/IEC 18004 Annex E: the second and third alignment-pattern coordinates (the first is always 6).
constexpr int kAlignment[41][2] = {
    {0, 0},   {0, 0},  // 1
    {18, 0},           // 2
    {22, 0},           // 3
    {26, 0},           // 4
    {30, 0},           // 5
    {34, 0},           // 6
    {22, 38},          // 7
    {24, 42},          // 8
    {26, 46},          // 9
    {28, 50},          // 10
    {30, 54},          // 11
    {32, 58},          // 12
    {34, 62},          // 13
    {26, 46},          // 14
    {26, 48},          // 15
    {26, 50},          // 16
    {30, 54},          // 17
    {30, 56},          // 18
    {30, 58},          // 19
    {34, 62},          // 20
    {28, 50},          // 21
    {26, 50},          // 22
    {30, 54},          // 23
    {28, 54},          // 24
    {32, 58},          // 25
    {30, 58},          // 26
    {34, 62},          // 27
    {26, 50},          // 28
    {30, 54},          // 29
    {26, 52},          // 30
    {30, 56},          // 31
    {34, 60},          // 32
    {30, 58},          // 33
    {34, 62},          // 34
    {30, 54},          // 35
    {24, 50},          // 36
    {28, 54},          // 37
    {32, 58},          // 38
    {26, 54},          // 39
    {30, 58},          // 40
};

// ISO/IEC 18004 Annex D: version information words of versions 7 to 40.
constexpr int kVersionInfo[34] = {
    0x07C94, 0x085BC, 0x09A99, 0x0A4D3, 0x0BBF6, 0x0C762, 0x0D847, 0x0E60D, 0x0F928,
    0x10B78, 0x1145D, 0x12A17, 0x13532, 0x149A6, 0x15683, 0x168C9, 0x177EC, 0x18EC4,
    0x191E1, 0x1AFAB, 0x1B08E, 0x1CC1A, 0x1D33F, 0x1ED75, 0x1F250, 0x209D5, 0x216F0,
    0x228BA, 0x2379F, 0x24B0B, 0x2542E, 0x26A64, 0x27541, 0x28C69,
};

// ISO/IEC 18004 Annex C: format information words [level L, M, Q, H][mask 0-7].
constexpr int kFormatInfo[4][8] = {
    {0x77C4, 0x72F3, 0x7DAA, 0x789D, 0x662F, 0x6318, 0x6C41, 0x6976},
    {0x5412, 0x5125, 0x5E7C, 0x5B4B, 0x45F9, 0x40CE, 0x4F97, 0x4AA0},
    {0x355F, 0x3068, 0x3F31, 0x3A06, 0x24B4, 0x2183, 0x2EDA, 0x2BED},
    {0x1689, 0x13BE, 0x1CE7, 0x19D0, 0x0762, 0x0255, 0x0D0C, 0x083B},
};

// ISO/IEC 18004 Table 7 (Micro QR Code): width and error correction codewords at L, M, Q, H.
constexpr int kMicroCapacity[5][5] = {
    {0, 0, 0, 0, 0},    {11, 2, 0, 0, 0},  // M1 (error detection only)
    {13, 5, 6, 0, 0},                      // M2
    {15, 6, 8, 0, 0},                      // M3
    {17, 8, 10, 14, 0},                    // M4
};

// ISO/IEC 18004 Table 13: Micro QR Code symbol numbers [version][L, M, Q].
constexpr int kMicroSymbolNumber[5][3] = {
    {-1, -1, -1}, {0, -1, -1}, {1, 2, -1}, {3, 4, -1}, {5, 6, 7},
};

// ISO/IEC 18004 Table 3 (Micro QR Code): count indicator bits [mode][M1-M4].
constexpr int kMicroCountBits[4][4] = {
    {3, 4, 5, 6},  // numeric
    {0, 3, 4, 5},  // alphanumeric
    {0, 0, 4, 5},  // byte
    {0, 0, 3, 4},  // Kanji
};

// ISO/IEC 18004 Annex C (Micro QR Code): format information words [mask 0-3][symbol number 0-7].
constexpr int kMicroFormatInfo[4][8] = {
    {0x4445, 0x55AE, 0x6793, 0x7678, 0x06DE, 0x1735, 0x2508, 0x34E3},
    {0x4172, 0x5099, 0x62A4, 0x734F, 0x03E9, 0x1202, 0x203F, 0x31D4},
    {0x4E2B, 0x5FC0, 0x6DFD, 0x7C16, 0x0CB0, 0x1D5B, 0x2F66, 0x3E8D},
    {0x4B1C, 0x5AF7, 0x68CA, 0x7921, 0x0987, 0x186C, 0x2A51, 0x3BBA},
};

}  // namespace

namespace QrTables {

int symbolWidth(int version) {
    return kCapacity[version][0];
}
int totalCodewords(int version) {
    return kCapacity[version][1];
}
int eccCodewords(int version, int level) {
    return kCapacity[version][3 + level];
}
int dataCodewords(int version, int level) {
    return totalCodewords(version) - eccCodewords(version, level);
}
int remainderBitCount(int version) {
    return kCapacity[version][2];
}

int minimumVersion(int size, int level) {
    for (int version = 1; version <= 40; ++version) {
        if (dataCodewords(version, level) >= size) return version;
    }
    return -1;
}

int countBits(int mode, int version) {
    if (mode < kNumeric || mode > kKanji) return 0;
    int range = version <= 9 ? 0 : (version <= 26 ? 1 : 2);
    return kCountBits[mode][range];
}

int maximumWords(int mode, int version) {
    switch (mode) {
        case kStructuredAppend:
            return 3;
        case kEci:
        case kIndicator14:
        case kIndicator15:
            return 4;
        case kFnc1First:
            return 1;
        case kFnc1Second:
            return 2;
        case kKanji:
            return 2 * ((1 << countBits(mode, version)) - 1);
        default:
            return (1 << countBits(mode, version)) - 1;
    }
}

EccLayout eccLayout(int version, int level) {
    int b1 = kBlocks[version][level][0];
    int b2 = kBlocks[version][level][1];
    int data = dataCodewords(version, level);
    int ecc = eccCodewords(version, level);
    if (b2 == 0) return EccLayout{b1, data / b1, ecc / b1, 0, 0};
    return EccLayout{b1, data / (b1 + b2), ecc / (b1 + b2), b2, data / (b1 + b2) + 1};
}

int formatInfo(int mask, int level) {
    if (static_cast<unsigned>(mask) > 7) return 0;
    return kFormatInfo[level][mask];
}

int versionInfo(int version) {
    if (version > 40 || version < 7) return 0;
    return kVersionInfo[version - 7];
}

int alignmentCoordinates(int version, int* coordinates) {
    if (version < 2) return 0;
    int s = kAlignment[version][0];
    int d = kAlignment[version][1] - s;
    int n = d < 0 ? 2 : (symbolWidth(version) - s) / d + 2;
    coordinates[0] = 6;
    for (int i = 1; i < n; ++i)
        coordinates[i] = s + (i - 1) * (d < 0 ? 0 : d);
    return n;
}

std::vector<ModulePosition> alignmentCentres(int version) {
    int coordinates[7];
    int n = alignmentCoordinates(version, coordinates);
    std::vector<ModulePosition> centres;
    if (n == 0) return centres;
    int last = coordinates[n - 1];
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            int row = coordinates[i];
            int column = coordinates[j];
            bool onFinder =
                (row == 6 && column == 6) || (row == 6 && column == last) || (row == last && column == 6);
            if (!onFinder) centres.push_back(ModulePosition{row, column});
        }
    }
    return centres;
}

}  // namespace QrTables

namespace MicroTables {

int microSymbolWidth(int version) {
    return kMicroCapacity[version][0];
}
int eccCodewords(int version, int level) {
    return kMicroCapacity[version][1 + level];
}

int dataBits(int version, int level) {
    int ecc = eccCodewords(version, level);
    if (ecc == 0) return 0;
    int w = microSymbolWidth(version);
    return (w - 1) * (w - 1) - 64 - 8 * ecc;
}

int dataCodewords(int version, int level) {
    return (dataBits(version, level) + 4) / 8;
}
int oddBits(int version, int level) {
    return 8 * dataCodewords(version, level) - dataBits(version, level);
}
int countBits(int mode, int version) {
    return kMicroCountBits[mode][version - 1];
}
int symbolNumber(int version, int level) {
    return kMicroSymbolNumber[version][level];
}

int formatInfo(int mask, int version, int level) {
    if (mask < 0 || mask > 3 || version < 1 || version > 4 || level < 0 || level > 2) return 0;
    int symbol = symbolNumber(version, level);
    if (symbol < 0) return 0;
    return kMicroFormatInfo[mask][symbol];
}

}  // namespace MicroTables

}  // namespace kelvane2::qrencode
