// Reed-Solomon encoders over GF(2^m) built from their parameters, and the process-wide list of the
// encoders built so far.
#include "encoder/reedsolomon.h"

#include <atomic>
#include <boost/thread/mutex.hpp>
#include <cstddef>
#include <cstring>
#include <memory>

#include "encoder/simd.h"

#if QRKIT_X86_SIMD
#include <immintrin.h>
#endif

namespace kelvane2::qrencode {

namespace {

// Reduces a sum of two exponents (each below n) modulo n.
inline int reduce(int x, int n) {
    return x >= n ? x - n : x;
}

// The parity update rows of a codec of 8-bit symbols and at most kRowRoots roots (poly: the generator
// in polynomial form). Multiplication distributes over XOR, so only the rows of the eight powers of two
// are multiplied out; every other row is the XOR of two rows before it.
void buildRows(RsCodec& codec, const std::uint8_t* poly) {
    std::memset(codec.rows, 0, sizeof codec.rows);
    codec.hasRows = codec.symbolSize == 8 && codec.roots >= 1 && codec.roots <= RsCodec::kRowRoots;
    if (!codec.hasRows) return;
    for (int j = 0; j < codec.roots; ++j)
        codec.rows[1][j] = poly[codec.roots - 1 - j];
    for (int x = 2; x < 256; x <<= 1) {
        for (int j = 0; j < codec.roots; ++j) {
            int doubled = codec.rows[x >> 1][j] << 1;
            if (doubled & 0x100) doubled ^= codec.fieldPolynomial;
            codec.rows[x][j] = static_cast<std::uint8_t>(doubled);
        }
    }
    for (int x = 3; x < 256; ++x) {
        const int low = x & -x;
        if (low == x) continue;
        for (int j = 0; j < RsCodec::kRowRoots; ++j)
            codec.rows[x][j] = static_cast<std::uint8_t>(codec.rows[x - low][j] ^ codec.rows[low][j]);
    }
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
    buildRows(codec, poly);
    return true;
}

struct CodecNode {
    RsCodec codec;
    CodecNode* next;
};

// The codecs built so far, newest first; freed when the library unloads. A node is published complete at
// the head and never changes afterwards, so lookups walk the list without the mutex; only building and
// inserting a codec takes it.
struct CodecCache {
    boost::mutex mutex;
    std::atomic<CodecNode*> head{nullptr};
    std::atomic<unsigned long> locks{0};  // times the mutex was taken, for tests

    ~CodecCache() {
        boost::mutex::scoped_lock lock(mutex);
        CodecNode* node = head.exchange(nullptr);
        while (node != nullptr) {
            CodecNode* next = node->next;
            delete node;
            node = next;
        }
    }
};

const RsCodec* findCodec(const CodecNode* node, int symbolSize, int fieldPolynomial, int firstRoot,
                         int primitive, int roots, int shortening) {
    for (; node != nullptr; node = node->next) {
        const RsCodec& c = node->codec;
        if (c.roots == roots && c.shortening == shortening && c.symbolSize == symbolSize &&
            c.fieldPolynomial == fieldPolynomial && c.firstRoot == firstRoot && c.primitive == primitive)
            return &c;
    }
    return nullptr;
}

CodecCache& codecCache() {
    static CodecCache cache;
    return cache;
}

}  // namespace

// The division by the generator with log and antilog tables, one parity byte at a time: any codec.
void encodeByLogs(const RsCodec& c, const std::uint8_t* data, std::uint8_t* ecc) {
    const int count = c.n - c.roots - c.shortening;
    const int last = c.roots - 1;
    std::memset(ecc, 0, static_cast<std::size_t>(c.roots));
    for (int i = 0; i < count; ++i) {
        const int f = c.log[data[i] ^ ecc[0]];
        if (f != c.n) {
            for (int j = 0; j < last; ++j)
                ecc[j] = ecc[j + 1] ^ c.antilogWide[f + c.feedbackLog[j]];
            ecc[last] = c.antilogWide[f + c.feedbackLog[last]];
        } else {
            std::memmove(ecc, ecc + 1, static_cast<std::size_t>(last));
            ecc[last] = 0;
        }
    }
}

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define QRKIT_RS_WORDS 1
// The division with the parity bytes in Words 64-bit words (parity byte j is byte j % 8 of word j / 8):
// each data codeword shifts them one byte towards the front and adds the row of its feedback byte.
template <int Words>
void encodeByWords(const RsCodec& c, const std::uint8_t* data, int count, std::uint8_t* ecc) {
    std::uint64_t parity[Words] = {};
    for (int i = 0; i < count; ++i) {
        const unsigned feedback = static_cast<unsigned>(parity[0] & 0xFF) ^ data[i];
        std::uint64_t row[Words];
        std::memcpy(row, c.rows[feedback], sizeof row);
        for (int k = 0; k + 1 < Words; ++k)
            parity[k] = ((parity[k] >> 8) | (parity[k + 1] << 56)) ^ row[k];
        parity[Words - 1] = (parity[Words - 1] >> 8) ^ row[Words - 1];
    }
    std::memcpy(ecc, parity, static_cast<std::size_t>(c.roots));
}

void encodeWordsAnyRoots(const RsCodec& c, const std::uint8_t* data, int count, std::uint8_t* ecc) {
    switch ((c.roots + 7) / 8) {
        case 1:
            return encodeByWords<1>(c, data, count, ecc);
        case 2:
            return encodeByWords<2>(c, data, count, ecc);
        case 3:
            return encodeByWords<3>(c, data, count, ecc);
        default:
            return encodeByWords<4>(c, data, count, ecc);
    }
}
#else
#define QRKIT_RS_WORDS 0
#endif

#if QRKIT_X86_SIMD
// The parity bytes in one SSE2 register (up to 16 roots) or two (up to 32); two blocks at a time, so that
// the two chains of dependent steps overlap.
__attribute__((target("sse2"))) void encodeSse2(const RsCodec& c, const std::uint8_t* data, int count,
                                                int blocks, std::uint8_t* ecc) {
    const int roots = c.roots;
    const std::uint8_t(*rows)[RsCodec::kRowRoots] = c.rows;
    alignas(16) std::uint8_t out[2][32];
    int b = 0;
    if (roots <= 16) {
        for (; b + 2 <= blocks; b += 2) {
            const std::uint8_t* d0 = data + static_cast<std::ptrdiff_t>(b) * count;
            const std::uint8_t* d1 = d0 + count;
            __m128i p0 = _mm_setzero_si128();
            __m128i p1 = _mm_setzero_si128();
            for (int i = 0; i < count; ++i) {
                const unsigned f0 = (static_cast<unsigned>(_mm_cvtsi128_si32(p0)) ^ d0[i]) & 0xFF;
                const unsigned f1 = (static_cast<unsigned>(_mm_cvtsi128_si32(p1)) ^ d1[i]) & 0xFF;
                p0 = _mm_xor_si128(_mm_srli_si128(p0, 1),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[f0])));
                p1 = _mm_xor_si128(_mm_srli_si128(p1, 1),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[f1])));
            }
            _mm_store_si128(reinterpret_cast<__m128i*>(out[0]), p0);
            _mm_store_si128(reinterpret_cast<__m128i*>(out[1]), p1);
            std::memcpy(ecc + static_cast<std::ptrdiff_t>(b) * roots, out[0],
                        static_cast<std::size_t>(roots));
            std::memcpy(ecc + static_cast<std::ptrdiff_t>(b + 1) * roots, out[1],
                        static_cast<std::size_t>(roots));
        }
        for (; b < blocks; ++b) {
            const std::uint8_t* d0 = data + static_cast<std::ptrdiff_t>(b) * count;
            __m128i p0 = _mm_setzero_si128();
            for (int i = 0; i < count; ++i) {
                const unsigned f0 = (static_cast<unsigned>(_mm_cvtsi128_si32(p0)) ^ d0[i]) & 0xFF;
                p0 = _mm_xor_si128(_mm_srli_si128(p0, 1),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[f0])));
            }
            _mm_store_si128(reinterpret_cast<__m128i*>(out[0]), p0);
            std::memcpy(ecc + static_cast<std::ptrdiff_t>(b) * roots, out[0],
                        static_cast<std::size_t>(roots));
        }
        return;
    }
    for (; b < blocks; ++b) {
        const std::uint8_t* d0 = data + static_cast<std::ptrdiff_t>(b) * count;
        __m128i low = _mm_setzero_si128();
        __m128i high = _mm_setzero_si128();
        for (int i = 0; i < count; ++i) {
            const unsigned f = (static_cast<unsigned>(_mm_cvtsi128_si32(low)) ^ d0[i]) & 0xFF;
            const __m128i* row = reinterpret_cast<const __m128i*>(rows[f]);
            low = _mm_xor_si128(_mm_or_si128(_mm_srli_si128(low, 1), _mm_slli_si128(high, 15)),
                                _mm_loadu_si128(row));
            high = _mm_xor_si128(_mm_srli_si128(high, 1), _mm_loadu_si128(row + 1));
        }
        _mm_store_si128(reinterpret_cast<__m128i*>(out[0]), low);
        _mm_store_si128(reinterpret_cast<__m128i*>(out[0] + 16), high);
        std::memcpy(ecc + static_cast<std::ptrdiff_t>(b) * roots, out[0], static_cast<std::size_t>(roots));
    }
}

// The 32 bytes of an AVX2 register one byte towards the front, a zero byte coming in at the back.
__attribute__((target("avx2"), always_inline)) inline __m256i shift(__m256i p) {
    return _mm256_alignr_epi8(_mm256_permute2x128_si256(p, p, 0x81), p, 1);
}

// More than 16 roots: the parity bytes in one AVX2 register, two blocks at a time.
__attribute__((target("avx2"))) void encodeAvx2(const RsCodec& c, const std::uint8_t* data, int count,
                                                int blocks, std::uint8_t* ecc) {
    const int roots = c.roots;
    const std::uint8_t(*rows)[RsCodec::kRowRoots] = c.rows;
    alignas(32) std::uint8_t out[2][32];
    int b = 0;
    for (; b + 2 <= blocks; b += 2) {
        const std::uint8_t* d0 = data + static_cast<std::ptrdiff_t>(b) * count;
        const std::uint8_t* d1 = d0 + count;
        __m256i p0 = _mm256_setzero_si256();
        __m256i p1 = _mm256_setzero_si256();
        for (int i = 0; i < count; ++i) {
            const unsigned f0 = (static_cast<unsigned>(_mm256_cvtsi256_si32(p0)) ^ d0[i]) & 0xFF;
            const unsigned f1 = (static_cast<unsigned>(_mm256_cvtsi256_si32(p1)) ^ d1[i]) & 0xFF;
            p0 = _mm256_xor_si256(shift(p0), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[f0])));
            p1 = _mm256_xor_si256(shift(p1), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[f1])));
        }
        _mm256_store_si256(reinterpret_cast<__m256i*>(out[0]), p0);
        _mm256_store_si256(reinterpret_cast<__m256i*>(out[1]), p1);
        std::memcpy(ecc + static_cast<std::ptrdiff_t>(b) * roots, out[0], static_cast<std::size_t>(roots));
        std::memcpy(ecc + static_cast<std::ptrdiff_t>(b + 1) * roots, out[1],
                    static_cast<std::size_t>(roots));
    }
    for (; b < blocks; ++b) {
        const std::uint8_t* d0 = data + static_cast<std::ptrdiff_t>(b) * count;
        __m256i p0 = _mm256_setzero_si256();
        for (int i = 0; i < count; ++i) {
            const unsigned f0 = (static_cast<unsigned>(_mm256_cvtsi256_si32(p0)) ^ d0[i]) & 0xFF;
            p0 = _mm256_xor_si256(shift(p0), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[f0])));
        }
        _mm256_store_si256(reinterpret_cast<__m256i*>(out[0]), p0);
        std::memcpy(ecc + static_cast<std::ptrdiff_t>(b) * roots, out[0], static_cast<std::size_t>(roots));
    }
}
#endif

void RsCodec::encode(const std::uint8_t* data, std::uint8_t* ecc) const {
    encodeBlocks(data, 1, ecc);
}

void RsCodec::encodeBlocks(const std::uint8_t* data, int blocks, std::uint8_t* ecc) const {
    if (roots == 0 || blocks <= 0) return;
    const int count = n - roots - shortening;
    const simd::Level level = simd::activeLevel();
    if (hasRows && level != simd::Level::kScalar) {
#if QRKIT_X86_SIMD
        if (roots > 16 && level >= simd::Level::kAvx2) return encodeAvx2(*this, data, count, blocks, ecc);
        return encodeSse2(*this, data, count, blocks, ecc);
#endif
    }
    for (int b = 0; b < blocks; ++b) {
        const std::uint8_t* blockData = data + static_cast<std::ptrdiff_t>(b) * count;
        std::uint8_t* blockEcc = ecc + static_cast<std::ptrdiff_t>(b) * roots;
#if QRKIT_RS_WORDS
        if (hasRows) {
            encodeWordsAnyRoots(*this, blockData, count, blockEcc);
            continue;
        }
#endif
        encodeByLogs(*this, blockData, blockEcc);
    }
}

const RsCodec* codecFor(int symbolSize, int fieldPolynomial, int firstRoot, int primitive, int roots,
                        int shortening) {
    CodecCache& cache = codecCache();
    const RsCodec* found = findCodec(cache.head.load(std::memory_order_acquire), symbolSize, fieldPolynomial,
                                     firstRoot, primitive, roots, shortening);
    if (found != nullptr) return found;
    boost::mutex::scoped_lock lock(cache.mutex);
    cache.locks.fetch_add(1, std::memory_order_relaxed);
    CodecNode* head = cache.head.load(std::memory_order_relaxed);
    found = findCodec(head, symbolSize, fieldPolynomial, firstRoot, primitive, roots, shortening);
    if (found != nullptr) return found;
    std::unique_ptr<CodecNode> node(new CodecNode);
    if (!buildCodec(node->codec, symbolSize, fieldPolynomial, firstRoot, primitive, roots, shortening))
        return nullptr;
    node->next = head;
    cache.head.store(node.get(), std::memory_order_release);
    return &node.release()->codec;
}

int cachedCodecCount() {
    int count = 0;
    for (CodecNode* node = codecCache().head.load(std::memory_order_acquire); node != nullptr;
         node = node->next)
        ++count;
    return count;
}

unsigned long codecCacheLockCount() {
    return codecCache().locks.load(std::memory_order_relaxed);
}

}  // namespace kelvane2::qrencode
