#include "cli/input_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qrkit_cli {

namespace {

bool closedAtStart[3] = {false, false, false};

// Closes a descriptor when it goes out of scope.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd > STDERR_FILENO) ::close(fd);
    }
};

std::string sizeText(std::size_t limit) {
    return limit >= (std::size_t{1} << 20) ? std::to_string(limit >> 20) + " MB"
                                           : std::to_string(limit >> 10) + " KB";
}

bool fail(InputFailure* failure, int status, const std::string& message) {
    failure->status = status;
    failure->message = message;
    return false;
}

}  // namespace

void guardStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        closedAtStart[fd] = true;
        // open returns the lowest free descriptor: this one.
        const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null != fd && null >= 0) ::close(null);
    }
}

bool standardInputClosed() {
    return closedAtStart[STDIN_FILENO];
}

bool standardOutputClosed() {
    return closedAtStart[STDOUT_FILENO];
}

bool readInput(const std::string& path, std::size_t limit, std::string* out, InputFailure* failure) {
    out->clear();
    const bool standardInput = path == "-";
    const std::string name = standardInput ? std::string("standard input") : path;
    Descriptor input;
    if (standardInput) {
        if (standardInputClosed()) return fail(failure, 3, "cannot read standard input: it is closed");
        input.fd = STDIN_FILENO;
    } else {
        // Opened without waiting, so that a pipe without a writer or a device cannot hold the tool up
        // before it has looked at what the path names.
        input.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (input.fd < 0) return fail(failure, 3, "cannot read " + name + ": " + std::strerror(errno));
    }
    struct stat status {};
    if (::fstat(input.fd, &status) != 0)
        return fail(failure, 3, "cannot read " + name + ": " + std::strerror(errno));
    if (!standardInput) {
        if (S_ISDIR(status.st_mode)) return fail(failure, 3, "cannot read " + name + ": it is a folder");
        if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
            return fail(failure, 3, "cannot read " + name + ": it is a device, not a file");
        if (S_ISSOCK(status.st_mode)) return fail(failure, 3, "cannot read " + name + ": it is a socket");
        if (S_ISFIFO(status.st_mode)) {
            // A named pipe is read as it comes: opened again, waiting for its writer.
            ::close(input.fd);
            input.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
            if (input.fd < 0) return fail(failure, 3, "cannot read " + name + ": " + std::strerror(errno));
        } else {
            ::fcntl(input.fd, F_SETFL, ::fcntl(input.fd, F_GETFL) & ~O_NONBLOCK);
        }
    }
    const std::string tooLarge =
        name + " holds more than " + sizeText(limit) +
        (limit == kDataLimit ? "; no symbol holds that much (a QR Code symbol at most "
                               "2,953 bytes or 7,089 digits)"
                             : "; split it into smaller batches");
    if (S_ISREG(status.st_mode) && static_cast<std::size_t>(status.st_size) > limit)
        return fail(failure, 1, tooLarge);

    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(input.fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return fail(failure, 3, "cannot read " + name + ": " + std::strerror(errno));
        }
        if (out->size() + static_cast<std::size_t>(got) > limit) {
            out->clear();
            return fail(failure, 1, tooLarge);
        }
        out->append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

void dropFinalLineEnd(std::string* data) {
    if (!data->empty() && data->back() == '\n') {
        data->pop_back();
        if (!data->empty() && data->back() == '\r') data->pop_back();
    }
}

}  // namespace qrkit_cli
