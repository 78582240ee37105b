// Micro QR Code data masks, the evaluation score, mask choice and format information.
#ifndef QRKIT_ENCODER_MICRO_MASKING_H
#define QRKIT_ENCODER_MICRO_MASKING_H

#include <cstdint>

namespace kelvane2::qrencode {

// Copies source to target (w x w), inverting bit 0 of every non-function module where the condition of
// Micro mask 0-3 holds.
void microMaskPattern(int mask, int w, const std::uint8_t* source, std::uint8_t* target);
// Writes the single copy of the Micro format word (all light where the combination does not exist).
void writeMicroFormatInfo(int version, int w, std::uint8_t* matrix, int mask, int level);
// The evaluation score: the smaller of the dark counts of the bottom row and the right column times
// 16, plus the larger.
int microScore(int w, const std::uint8_t* matrix);

// A new matrix (new[]) of the filled frame masked with mask 0-3 and with its format information.
std::uint8_t* applyMicroMask(int version, const std::uint8_t* frame, int mask, int level);
// The highest-scoring of the four candidates (ties go to the lower mask); new[] matrix. chosenMask and
// scores (4 ints) receive the choice and the scores when not null.
std::uint8_t* chooseMicroMask(int version, const std::uint8_t* frame, int level, int* chosenMask = nullptr,
                              int* scores = nullptr);

// Writes the codewords of a Micro symbol into the positions of order: eight modules each, most
// significant bit first, except the final data codeword of M1 and M3 (oddBits 4), whose four low bits
// give four modules, bit 3 first.
void placeMicroCodewords(std::uint8_t* frame, const std::uint32_t* order, const std::uint8_t* data,
                         int dataLength, const std::uint8_t* ecc, int eccLength, int oddBits);

}  // namespace kelvane2::qrencode

#endif
