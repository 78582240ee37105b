// The arithmetic of the batch's progress bar, in 64 bits: record counts are std::size_t, 32 bits wide on
// 32-bit targets, where 100 x 43 million records would already wrap.
#ifndef QRKIT_CLI_PROGRESS_H
#define QRKIT_CLI_PROGRESS_H

#include <cstdint>

namespace qrkit_cli {

// The share done of total, in parts of whole (the cells of the bar, or 100 for per cent), rounded down;
// whole when total is 0 or done exceeds it.
constexpr int progressParts(std::uint64_t done, std::uint64_t total, int whole) {
    if (total == 0 || done >= total) return whole;
    // done < total, and no count of records in memory comes near 2^64 / whole.
    return static_cast<int>(done * static_cast<std::uint64_t>(whole) / total);
}

}  // namespace qrkit_cli

#endif
