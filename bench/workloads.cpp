#include "workload.h"

#include <cstring>

namespace qrkit_bench {
namespace {

bool isDigit(std::uint8_t b) {
    return b >= '0' && b <= '9';
}

// The 45 characters of the alphanumeric mode.
bool isAlphanumeric(std::uint8_t b) {
    return isDigit(b) || (b >= 'A' && b <= 'Z') || std::strchr(" $%*+-./:", b) != nullptr;
}

Workload makeWorkload(const char* name, int level, bool binary, std::vector<std::uint8_t> bytes,
                      int requiredVersion) {
    Workload w;
    w.name = name;
    w.level = level;
    w.binary = binary;
    w.bytes = std::move(bytes);
    w.text.assign(w.bytes.begin(), w.bytes.end());
    w.wide.assign(w.bytes.begin(), w.bytes.end());
    // No payload holds a 0 byte or '~' (the benchmark checks this before it runs), so every byte
    // stands for itself in the input language.
    w.qrkitInput = w.text;
    w.requiredVersion = requiredVersion;
    return w;
}

std::vector<std::uint8_t> fromText(const char* s) {
    return std::vector<std::uint8_t>(s, s + std::strlen(s));
}

// W1: a 40-byte URL.
std::vector<std::uint8_t> urlPayload() {
    return fromText("https://example.org/catalog/item?id=4711");
}

// W2: 500 bytes of shipping-note text: upper and lower case, digits, punctuation. The text is
// repeated as needed and cut at 500 bytes.
std::vector<std::uint8_t> mixedTextPayload() {
    static const char kText[] =
        "Order #20240517-0042 shipped 2024-05-17 14:32 UTC via ParcelNet (tracking PN 7731 0042 "
        "9185 22). Ship to: Dr. Jane Q. Public, 1234 Elm Street, Apt. 5B, Springfield, IL "
        "62704-1180, USA; phone +1 (217) 555-0143. Items: 3x USB-C cable, 2 m, braided @ $12.99; "
        "1x 27\" monitor XR-2700 (S/N K9F2-33QX-0815) @ $249.00; 2x HDMI adapter @ $8.50. "
        "Subtotal $304.97, tax 6.25% = $19.06, shipping FREE, total $324.03. Notes: leave at the "
        "side door if nobody answers; call ahead! Questions? Write to support@example.org or "
        "visit https://example.org/help/orders?ref=20240517-0042.";
    std::vector<std::uint8_t> v;
    while (v.size() < 500) {
        for (const char* p = kText; *p != '\0' && v.size() < 500; ++p) {
            v.push_back(static_cast<std::uint8_t>(*p));
        }
    }
    return v;
}

// W3: 2953 pseudo-random bytes from 1-255 without '~', the byte capacity of version 40-L. Runs of
// digits are kept below 6 and runs of alphanumeric characters below 11, so that an automatic mode
// division keeps the whole payload in one byte-mode segment (the only way it fits version 40-L).
std::vector<std::uint8_t> binaryPayload() {
    std::vector<std::uint8_t> v;
    v.reserve(2953);
    std::uint32_t state = 0x2545F491u;  // xorshift32, fixed seed
    int digitRun = 0;
    int alphanumericRun = 0;
    while (v.size() < 2953) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        std::uint8_t b = static_cast<std::uint8_t>(state >> 24);
        if (b == 0 || b == '~') {
            continue;
        }
        if (v.empty() || (isDigit(b) && digitRun == 5) || (isAlphanumeric(b) && alphanumericRun == 10)) {
            if (isAlphanumeric(b)) {
                b = static_cast<std::uint8_t>(b | 0x80);  // a byte-class value
            }
        }
        digitRun = isDigit(b) ? digitRun + 1 : 0;
        alphanumericRun = isAlphanumeric(b) ? alphanumericRun + 1 : 0;
        v.push_back(b);
    }
    return v;
}

}  // namespace

const std::vector<Workload>& workloads() {
    static const std::vector<Workload> all = {
        makeWorkload("W1_url_M", 1, false, urlPayload(), 0),
        makeWorkload("W2_text500_Q", 2, false, mixedTextPayload(), 0),
        makeWorkload("W3_binary2953_L", 0, true, binaryPayload(), 40),
    };
    return all;
}

}  // namespace qrkit_bench
