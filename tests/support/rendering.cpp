#include "support/rendering.h"

#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qrkit_test {

bool readPng(const std::string& path, GreyImage* image) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_GRAY;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(png));
    png_color white{255, 255, 255};
    if (!png_image_finish_read(&png, &white, pixels.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    image->width = static_cast<int>(png.width);
    image->height = static_cast<int>(png.height);
    image->pixels = std::move(pixels);
    return true;
}

bool writePng(const std::string& path, const GreyImage& image) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_GRAY;
    return png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr) != 0;
}

GreyImage crop(const GreyImage& image, int left, int top, int width, int height) {
    const int x0 = std::clamp(left, 0, image.width);
    const int y0 = std::clamp(top, 0, image.height);
    const int x1 = std::clamp(left + width, x0, image.width);
    const int y1 = std::clamp(top + height, y0, image.height);
    GreyImage part;
    part.width = x1 - x0;
    part.height = y1 - y0;
    part.pixels.reserve(static_cast<std::size_t>(part.width) * part.height);
    for (int y = y0; y < y1; ++y) {
        const auto row = image.pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.width;
        part.pixels.insert(part.pixels.end(), row + x0, row + x1);
    }
    return part;
}

PixelBox darkBox(const GreyImage& image) {
    PixelBox box{image.width, image.height, 0, 0};
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (image.pixels[static_cast<std::size_t>(y) * image.width + x] >= 128) continue;
            box.left = std::min(box.left, x);
            box.top = std::min(box.top, y);
            box.right = std::max(box.right, x + 1);
            box.bottom = std::max(box.bottom, y + 1);
        }
    }
    return box;
}

namespace {

// One reading through the pipe: ok flag, then the bytes or the message, length first.
void writeDecoded(int fd, const Decoded& decoded) {
    const std::string& text = decoded.ok ? decoded.bytes : decoded.message;
    const std::uint32_t header[2] = {decoded.ok ? 1u : 0u, static_cast<std::uint32_t>(text.size())};
    std::string record(reinterpret_cast<const char*>(header), sizeof header);
    record += text;
    std::size_t written = 0;
    while (written < record.size()) {
        const ssize_t n = write(fd, record.data() + written, record.size() - written);
        if (n <= 0) return;
        written += static_cast<std::size_t>(n);
    }
}

bool readExactly(int fd, char* out, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = read(fd, out + got, size - got);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool readDecoded(int fd, Decoded* decoded) {
    std::uint32_t header[2];
    if (!readExactly(fd, reinterpret_cast<char*>(header), sizeof header)) return false;
    std::string text(header[1], '\0');
    if (!readExactly(fd, text.data(), text.size())) return false;
    decoded->ok = header[0] == 1;
    (decoded->ok ? decoded->bytes : decoded->message) = text;
    return true;
}

}  // namespace

PictureReading readPicture(const GreyImage& image) {
    PictureReading reading;
    int fds[2];
    if (pipe(fds) != 0) {
        reading.zbar.message = reading.zxing.message = "no pipe for the reader process";
        return reading;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        writeDecoded(fds[1], decodeImageWithZbar(image));
        writeDecoded(fds[1], decodeImageWithZxing(image));
        close(fds[1]);
        _exit(0);
    }
    close(fds[1]);
    bool complete = false;
    if (child > 0) complete = readDecoded(fds[0], &reading.zbar) && readDecoded(fds[0], &reading.zxing);
    close(fds[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    if (!complete) {
        const std::string why = child < 0 ? "the reader process did not start"
                                : WIFSIGNALED(status)
                                    ? "a reader died of signal " + std::to_string(WTERMSIG(status))
                                    : "a reader stopped early";
        if (!reading.zbar.ok && reading.zbar.message.empty()) reading.zbar.message = why;
        if (!reading.zxing.ok && reading.zxing.message.empty()) reading.zxing.message = why;
    }
    return reading;
}

}  // namespace qrkit_test
