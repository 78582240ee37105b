// Recorded answers of the readers, for builds that cannot link one of them.
//
// The i386 build of the tests has no zxing-cpp (Debian's i386 packages cannot be installed beside the
// amd64 ones, and its source is not always to be had). There the 64-bit run of the same tests stands in:
// with QRKIT_DECODE_RECORD set to a folder, every decode of a 64-bit run appends the matrix it was given
// and the reader's answer to a file in that folder; a build made with QRKIT_ZXING_REPLAY (or
// QRKIT_ZBAR_REPLAY) answers from the folder named by QRKIT_DECODE_REPLAY instead, for a matrix equal
// byte for byte to one the 64-bit run decoded, and fails the decode for any other matrix. A 32-bit
// symbol that differs in a single module from the 64-bit one is therefore a failed test. (So whatever a
// test decodes must not depend on the time or on a random seed drawn at run time.)
#ifndef QRKIT_TESTS_SUPPORT_DECODE_RECORD_H
#define QRKIT_TESTS_SUPPORT_DECODE_RECORD_H

#include <string>
#include <unordered_map>

#include "support/decode.h"

namespace qrkit_test::detail {

// The key of a decode: the reader's name, what it read ("m" a module matrix, "p" a grey picture) with
// its size, and its content in hexadecimal (a matrix four modules a digit, a picture two digits a pixel).
std::string matrixKey(const char* reader, const ModuleMatrix& matrix);
std::string pictureKey(const char* reader, const GreyImage& picture);

// Appends the answer for key to this process's file in QRKIT_DECODE_RECORD, when that is set.
void recordDecode(const std::string& key, const Decoded& answer);

// The answer recorded for key in the files of QRKIT_DECODE_REPLAY; a failed decode saying why when there
// is none.
Decoded replayDecode(const std::string& key);

// The answers of every record file (*.txt) in a folder.
class RecordedDecodes {
  public:
    // False, saying why, when the folder cannot be read or holds no answer.
    bool load(const std::string& folder, std::string* problem);
    // The answer for key; false when there is none.
    bool find(const std::string& key, Decoded* answer) const;
    std::size_t size() const { return answers_.size(); }

  private:
    std::unordered_map<std::string, Decoded> answers_;
};

// One line of a record file, and back (false for a malformed line).
std::string recordLine(const std::string& key, const Decoded& answer);
bool parseRecordLine(const std::string& line, std::string* key, Decoded* answer);

}  // namespace qrkit_test::detail

#endif
