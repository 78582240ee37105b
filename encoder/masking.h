// Data masks, the penalty score, mask choice and format information of QR Code symbols.
#ifndef QRKIT_ENCODER_MASKING_H
#define QRKIT_ENCODER_MASKING_H

#include <cstdint>

namespace kelvane2::qrencode {

// Copies source to target (w x w), inverting bit 0 of every non-function module where the condition of
// mask 0-7 holds. Returns the number of target modules with bit 0 set.
int maskPattern(int mask, int w, const std::uint8_t* source, std::uint8_t* target);
// Writes both copies of the format word of (mask, level); returns 2 x its number of one bits.
int writeFormatInfo(int w, std::uint8_t* matrix, int mask, int level);
// N1 + N2 + N3 of a finished matrix (bit 0 of every byte), computed directly from the definition.
int penalty(int w, const std::uint8_t* matrix);
// The run-length list of a line of length modules (1-177), module k at line[k * step]: entry 0 a light
// run (-1 when the line starts dark), then dark and light runs in turn. runs holds kMaxRuns entries;
// returns the number of entries.
constexpr int kMaxRuns = 178;
int lineRuns(const std::uint8_t* line, int step, int length, int* runs);
// N1 and N3 of one line's run-length list (entry 0 a light run, -1 when the line starts dark).
int scoreRuns(const int* runs, int count);
// The score chooseMask compares: penalty plus the N4 term from the dark count.
int maskScore(int w, const std::uint8_t* matrix, int darkCount);

// A new matrix (new[]) of the filled frame masked with mask 0-7 and with its format information.
std::uint8_t* applyMask(int w, const std::uint8_t* frame, int mask, int level);
// The lowest-scoring of the eight masked candidates (ties go to the lower mask); new[] matrix equal to
// applyMask(w, frame, chosen mask, level). When chosenMask is not null it receives the mask, and scores
// (8 ints) the eight scores. w is a QR Code width, 21-177.
std::uint8_t* chooseMask(int w, const std::uint8_t* frame, int level, int* chosenMask = nullptr,
                         int* scores = nullptr);

struct PackedFrame;

// The finished matrix (new[]) of a QR Code version's frame filled with codewords: all the version's
// codewords in placement order, followed by at least 16 zero bytes (read as remainder bits), masked with
// mask 0-7, or with -1 the lowest-scoring mask (which goes to *chosenMask, and the eight scores to scores,
// when those are not null), with its format information. Equal to placeCodewords into newBaseFrame, then
// applyMask or chooseMask, without the byte matrices in between.
std::uint8_t* maskedSymbol(const PackedFrame& frame, const std::uint8_t* codewords, int level, int mask,
                           int* chosenMask = nullptr, int* scores = nullptr);

}  // namespace kelvane2::qrencode

#endif
