// Reading the tool's input (the data of one symbol, the records of a batch) from a file or from
// standard input, bounded in size, with messages that name the path and the system's reason.
#ifndef QRKIT_CLI_INPUT_SOURCE_H
#define QRKIT_CLI_INPUT_SOURCE_H

#include <cstddef>
#include <string>

namespace qrkit_cli {

// The most the data of one symbol may hold (the library takes at most 7,168 plain bytes in a run).
constexpr std::size_t kDataLimit = std::size_t{1} << 20;
// The most a batch file may hold.
constexpr std::size_t kBatchInputLimit = std::size_t{256} << 20;

struct InputFailure {
    int status = 0;  // the exit status: 1 for input that is too large, 3 for input that cannot be read
    std::string message;
};

// Reads all of path ("-": standard input) into *out when it holds at most limit bytes. A folder, a
// device or a socket named by path is refused; a pipe is read as it comes. Input above limit is refused
// without reading more than limit + 1 bytes of it (a regular file by its size, before any read).
bool readInput(const std::string& path, std::size_t limit, std::string* out, InputFailure* failure);

// Drops one line feed, or one carriage return and line feed, from the end of data.
void dropFinalLineEnd(std::string* data);

// Notes which of the standard streams were closed when the tool started and puts /dev/null in their
// place, so that no file the tool opens takes their descriptor. Call first, before any thread starts.
void guardStandardStreams();
bool standardInputClosed();
bool standardOutputClosed();

}  // namespace qrkit_cli

#endif
