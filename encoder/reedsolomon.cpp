// Reed-Solomon encoders over GF(2^m) built from their parameters, and the process-wide list of the
// encoders built so far.
#include "encoder/reedsolomon.h"

#include <boost/thread/mutex.hpp>
#include <cstring>
#include <memory>

namespace kelvane2::qrencode {

namespace {

// Reduces a sum of two exponents (each below n) modulo n.
inline int reduce(int x, int n) {
    return x >= n ? x - n : x;
}

// Fills codec for the parameters; false when they are out of range or the field polynomial is not
// primitive for the symbol size.
bool buildCodec(RsCodec& codec, int symbolSize, int fieldPolynomial, int firstRoot, int primitive, int roots,
                int shortening) {
    if (symbolSize < 1 || symbolSize > 8) return false;
    const int n = (1 << symbolSize) - 1;
    if (firstRoot < 0 || firstRoot > n) return false;
    if (primitive < 1 || primitive > n) return false;
    if (roots < 0 || roots > n) return false;
    if (shortening < 0 || shortening >= n - roots) return false;

    codec.symbolSize = symbolSize;
    codec.n = n;
    codec.roots = roots;
    codec.firstRoot = firstRoot;
    codec.primitive = primitive;
    codec.shortening = shortening;
    codec.fieldPolynomial = fieldPolynomial;
    std::memset(codec.antilog, 0, sizeof codec.antilog);
    std::memset(codec.log, 0, sizeof codec.log);
    std::memset(codec.generator, 0, sizeof codec.generator);

    // The powers of alpha = x; the walk must visit every non-zero element once before it returns to 1.
    codec.log[0] = static_cast<std::uint8_t>(n);
    codec.antilog[n] = 0;
    int s = 1;
    for (int i = 0; i < n; ++i) {
        codec.log[s] = static_cast<std::uint8_t>(i);
        codec.antilog[i] = static_cast<std::uint8_t>(s);
        s <<= 1;
        if (s & (1 << symbolSize)) s ^= fieldPolynomial;
        s &= n;
        if (s == 0 || (s == 1 && i != n - 1)) return false;
    }
    if (s != 1) return false;

    // g(x) = (x - a^r0)(x - a^(r0 + p)) ... with r0 = firstRoot * primitive, in polynomial form first.
    std::uint8_t poly[256] = {1};
    int root = (firstRoot * primitive) % n;
    for (int i = 0; i < roots; ++i, root = reduce(root + primitive % n, n)) {
        poly[i + 1] = 1;
        for (int j = i; j > 0; --j) {
            if (poly[j] != 0)
                poly[j] = poly[j - 1] ^ codec.antilog[reduce(codec.log[poly[j]] + root, n)];
            else
                poly[j] = poly[j - 1];
        }
        poly[0] = codec.antilog[reduce(codec.log[poly[0]] + root, n)];
    }
    for (int j = 0; j <= roots; ++j)
        codec.generator[j] = codec.log[poly[j]];

    for (int i = 0; i < 768; ++i)
        codec.antilogWide[i] = i < 2 * n ? codec.antilog[i % n] : 0;
    for (int j = 0; j < roots; ++j) {
        std::uint8_t coefficient = poly[roots - 1 - j];
        codec.feedbackLog[j] = static_cast<std::uint16_t>(coefficient != 0 ? codec.log[coefficient] : 2 * n);
    }
    return true;
}

struct CodecNode {
    RsCodec codec;
    CodecNode* next;
};

// The codecs built so far, newest first; freed when the library unloads.
struct CodecCache {
    boost::mutex mutex;
    CodecNode* head = nullptr;

    ~CodecCache() {
        boost::mutex::scoped_lock lock(mutex);
        while (head != nullptr) {
            CodecNode* next = head->next;
            delete head;
            head = next;
        }
    }
};

CodecCache& codecCache() {
    static CodecCache cache;
    return cache;
}

}  // namespace

void RsCodec::encode(const std::uint8_t* data, std::uint8_t* ecc) const {
    if (roots == 0) return;
    const int count = n - roots - shortening;
    const int last = roots - 1;
    std::memset(ecc, 0, static_cast<std::size_t>(roots));
    for (int i = 0; i < count; ++i) {
        const int f = log[data[i] ^ ecc[0]];
        if (f != n) {
            for (int j = 0; j < last; ++j)
                ecc[j] = ecc[j + 1] ^ antilogWide[f + feedbackLog[j]];
            ecc[last] = antilogWide[f + feedbackLog[last]];
        } else {
            std::memmove(ecc, ecc + 1, static_cast<std::size_t>(last));
            ecc[last] = 0;
        }
    }
}

const RsCodec* codecFor(int symbolSize, int fieldPolynomial, int firstRoot, int primitive, int roots,
                        int shortening) {
    CodecCache& cache = codecCache();
    boost::mutex::scoped_lock lock(cache.mutex);
    for (CodecNode* node = cache.head; node != nullptr; node = node->next) {
        const RsCodec& c = node->codec;
        if (c.roots == roots && c.shortening == shortening && c.symbolSize == symbolSize &&
            c.fieldPolynomial == fieldPolynomial && c.firstRoot == firstRoot && c.primitive == primitive)
            return &c;
    }
    std::unique_ptr<CodecNode> node(new CodecNode);
    if (!buildCodec(node->codec, symbolSize, fieldPolynomial, firstRoot, primitive, roots, shortening))
        return nullptr;
    node->next = cache.head;
    cache.head = node.release();
    return &cache.head->codec;
}

int cachedCodecCount() {
    CodecCache& cache = codecCache();
    boost::mutex::scoped_lock lock(cache.mutex);
    int count = 0;
    for (CodecNode* node = cache.head; node != nullptr; node = node->next)
        ++count;
    return count;
}

}  // namespace kelvane2::qrencode
