// The formula object's logic, shared by the COM object of the formula library and the native tests: the
// Set methods that encode data and keep its font string in the calling thread's record, the chunked
// read-out of that text, the thread's error text and the structured-append parity.
//
// Results and error texts belong to the calling thread, never to an object: two objects used on one
// thread share them, one object used from two threads sees two sets. The functions behind the members
// return COM statuses and never throw; memory exhaustion gives kHrOutOfMemory and leaves the thread's
// result text as it was.
#ifndef QRKIT_FORMULA_FORMULA_OBJECT_H
#define QRKIT_FORMULA_FORMULA_OBJECT_H

#include <string>

#include "platform/automation.h"

namespace kelvane2::formula {

using platform::BSTR;
using platform::HRESULT;
using platform::LONG;
using platform::VARIANT_BOOL;

// The size of a thread's result text with its NUL: the font string of a version 40 symbol (45 lines of
// 177 characters and 44 separators of 2 characters) takes 8054 bytes.
constexpr int kResultTextSize = 8104;
// The characters handed out per QRCodeEncodeGet call.
constexpr int kChunkLength = 250;
// The number of chunks a Set method reports for a result text of length characters: the last chunk is
// the one that holds the NUL, so a text of exactly 250 characters has two, the second empty.
constexpr int chunkCount(int length) {
    return length / kChunkLength + 1;
}
// Joins the lines of the font strings handed to a report.
constexpr char kLineSeparator[] = "\r\n";

// One thread's state.
struct ThreadRecord {
    // The font string of the last successful Set call on the thread; empty before the first.
    char resultText[kResultTextSize];
    // The message of the last failed Set call on the thread, or what the host put there; never null.
    BSTR errorText;
};

// A record with an empty result text and an empty error text, or null when memory runs out.
ThreadRecord* createThreadRecord() noexcept;
// Frees a record and its error text; null is fine.
void destroyThreadRecord(ThreadRecord* record) noexcept;
// The calling thread's record, made on the thread's first use when it has none yet; null only when
// memory runs out. It is freed when the thread ends.
ThreadRecord* currentThreadRecord() noexcept;

// The driver a Set method runs.
enum class SymbolKind { kQrCode, kHibc, kMicroQrCode };

// The input bytes of a BSTR (null reads as empty): every 0 unit becomes the escape ~d000, then the wide
// text is narrowed to single bytes when every unit lies in 1-255, else to EF BB BF and UTF-8. Throws
// std::bad_alloc when memory runs out.
std::string inputBytes(BSTR data);

// QRCodeEncodeSet, HIBC_QRCodeEncodeSet and MicroQRCodeEncodeSet: encodes data with the version word and
// level as the matching export does (automatic mask). On success the thread's result text becomes the
// font string of the symbol with lines joined by "\r\n", *chunks the number of 250-character chunks
// (length / 250 + 1), and the status kHrOk. On an encoding failure the thread's error text becomes the
// message of the result code and the status is kHrFail (kHrOutOfMemory when the encoder ran out of
// memory); the result text and *chunks are unchanged. A null chunks gives kHrPointer.
HRESULT encodeSet(SymbolKind kind, BSTR data, LONG version, LONG ecLevel, LONG* chunks) noexcept;

// QRCodeEncodeGet: frees the string *chunk holds, then stores chunk number trunkNo of the thread's
// result text (kHrOk), or an empty string past the end of the text or for a negative number (kHrFalse).
// A null chunk gives kHrPointer.
HRESULT encodeGet(LONG trunkNo, BSTR* chunk) noexcept;

// QRCodeGetParity: *out becomes the structured-append parity of the input bytes of data. Null out gives
// kHrPointer.
HRESULT parity(BSTR data, LONG* out) noexcept;

// get UFErrorText: a new copy of the thread's error text. Null out gives kHrPointer.
HRESULT getErrorText(BSTR* out) noexcept;
// put UFErrorText: the thread's error text becomes a copy of value; a null value changes nothing.
HRESULT putErrorText(BSTR value) noexcept;
// get UFPrefixFunctions: always false. Null out gives kHrPointer.
HRESULT getPrefixFunctions(VARIANT_BOOL* out) noexcept;

}  // namespace kelvane2::formula

#endif
