#include "support/decode_record.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace qrkit_test::detail {

namespace {

constexpr char kHex[] = "0123456789abcdef";

std::string hexOf(const std::string& bytes) {
    if (bytes.empty()) return "-";
    std::string text;
    for (unsigned char c : bytes) {
        text += kHex[c >> 4];
        text += kHex[c & 15];
    }
    return text;
}

int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool bytesOf(const std::string& text, std::string* bytes) {
    bytes->clear();
    if (text == "-") return true;
    if (text.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = nibble(text[i]);
        const int low = nibble(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes->push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

// This process's record file, opened on first use; null when recording is off.
class Recorder {
  public:
    void append(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!opened_) {
            opened_ = true;
            const char* folder = std::getenv("QRKIT_DECODE_RECORD");
            if (folder != nullptr && *folder != '\0') {
                const std::string path =
                    std::string(folder) + "/decodes-" + std::to_string(static_cast<long>(getpid())) + ".txt";
                file_ = std::fopen(path.c_str(), "a");
            }
        }
        if (file_ == nullptr) return;
        std::fputs(line.c_str(), file_);
        std::fputc('\n', file_);
        std::fflush(file_);
    }

  private:
    std::mutex mutex_;
    bool opened_ = false;
    std::FILE* file_ = nullptr;
};

// The answers of QRKIT_DECODE_REPLAY, loaded on first use.
class Replayer {
  public:
    bool find(const std::string& key, Decoded* answer, std::string* why) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!loaded_) {
            loaded_ = true;
            const char* folder = std::getenv("QRKIT_DECODE_REPLAY");
            if (folder == nullptr || *folder == '\0') {
                problem_ = "QRKIT_DECODE_REPLAY names no folder of recorded decodes";
            } else {
                records_.load(folder, &problem_);
            }
        }
        *why = problem_;
        return problem_.empty() && records_.find(key, answer);
    }

  private:
    std::mutex mutex_;
    bool loaded_ = false;
    std::string problem_;
    RecordedDecodes records_;
};

Recorder& recorder() {
    static Recorder instance;
    return instance;
}

Replayer& replayer() {
    static Replayer instance;
    return instance;
}

}  // namespace

bool RecordedDecodes::load(const std::string& folder, std::string* problem) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        *problem = "cannot read the recorded decodes in " + folder;
        return false;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".txt") != 0) continue;
        std::ifstream in(folder + "/" + name);
        std::string line;
        while (std::getline(in, line)) {
            std::string key;
            Decoded answer;
            if (parseRecordLine(line, &key, &answer)) answers_.emplace(std::move(key), std::move(answer));
        }
    }
    closedir(dir);
    if (answers_.empty()) {
        *problem = "there are no recorded decodes in " + folder;
        return false;
    }
    return true;
}

bool RecordedDecodes::find(const std::string& key, Decoded* answer) const {
    auto found = answers_.find(key);
    if (found == answers_.end()) return false;
    *answer = found->second;
    return true;
}

std::string matrixKey(const char* reader, const ModuleMatrix& matrix) {
    std::string key =
        std::string(reader) + " m" + std::to_string(matrix.rows) + "x" + std::to_string(matrix.columns) + " ";
    // Four modules a hexadecimal digit, row-major, the first module the most significant bit.
    const std::size_t count = matrix.modules.size();
    for (std::size_t i = 0; i < count; i += 4) {
        int digit = 0;
        for (std::size_t b = 0; b < 4; ++b)
            digit = digit * 2 + (i + b < count && matrix.modules[i + b] != 0 ? 1 : 0);
        key += kHex[digit];
    }
    return key;
}

std::string pictureKey(const char* reader, const GreyImage& picture) {
    std::string key = std::string(reader) + " p" + std::to_string(picture.width) + "x" +
                      std::to_string(picture.height) + " ";
    for (std::uint8_t pixel : picture.pixels) {
        key += kHex[pixel >> 4];
        key += kHex[pixel & 15];
    }
    return key;
}

std::string recordLine(const std::string& key, const Decoded& answer) {
    std::ostringstream line;
    line << key << ' ' << (answer.ok ? 1 : 0) << ' ' << (answer.microQr ? 1 : 0) << ' ' << answer.ecLevel
         << ' ' << answer.sequenceIndex << ' ' << answer.sequenceSize << ' ' << (answer.hasEci ? 1 : 0) << ' '
         << answer.fnc1 << ' ' << hexOf(answer.bytes) << ' ' << hexOf(answer.sequenceId) << ' '
         << hexOf(answer.symbology) << ' ' << hexOf(answer.message) << ' ' << hexOf(answer.text);
    return line.str();
}

bool parseRecordLine(const std::string& line, std::string* key, Decoded* answer) {
    std::istringstream in(line);
    std::string reader, size, content, bytes, sequenceId, symbology, message, text;
    int ok = 0, micro = 0, eci = 0;
    Decoded decoded;
    if (!(in >> reader >> size >> content >> ok >> micro >> decoded.ecLevel >> decoded.sequenceIndex >>
          decoded.sequenceSize >> eci >> decoded.fnc1 >> bytes >> sequenceId >> symbology >> message >> text))
        return false;
    if (!bytesOf(bytes, &decoded.bytes) || !bytesOf(sequenceId, &decoded.sequenceId) ||
        !bytesOf(symbology, &decoded.symbology) || !bytesOf(message, &decoded.message) ||
        !bytesOf(text, &decoded.text))
        return false;
    decoded.ok = ok != 0;
    decoded.microQr = micro != 0;
    decoded.hasEci = eci != 0;
    *key = reader + " " + size + " " + content;
    *answer = std::move(decoded);
    return true;
}

void recordDecode(const std::string& key, const Decoded& answer) {
    if (std::getenv("QRKIT_DECODE_RECORD") == nullptr) return;
    recorder().append(recordLine(key, answer));
}

Decoded replayDecode(const std::string& key) {
    Decoded answer;
    std::string why;
    if (replayer().find(key, &answer, &why)) return answer;
    const std::string reader = key.substr(0, key.find(' '));
    answer = Decoded();
    answer.message = reader + " is not built here, and " +
                     (!why.empty() ? why : "the 64-bit run decoded nothing equal to this, byte for byte");
    return answer;
}

}  // namespace qrkit_test::detail
