// Many threads at once: first use of every cache (base frames, placement orders, Reed-Solomon codecs),
// encodes of every kind, and painting different results. Each thread's results must equal what one
// thread makes alone. ctest runs every test in a process of its own, so FirstUseOfEveryCache meets
// empty caches; the ThreadSanitizer build of the test suite runs these tests (scripts/tsan.sh).
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "encoder/encode_micro.h"
#include "encoder/encode_qr.h"
#include "encoder/frames.h"
#include "encoder/reedsolomon.h"
#include "paint_test_support.h"
#include "qrkit/qrkit.h"
#include "support/decode.h"

namespace {

using qrkit_test::ModuleMatrix;

constexpr int kThreads = 8;

// Runs body(thread index) on kThreads threads that all start at the same moment.
void runTogether(const std::function<void(int)>& body) {
    std::mutex mutex;
    std::condition_variable start;
    int waiting = 0;
    bool go = false;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            {
                std::unique_lock<std::mutex> lock(mutex);
                ++waiting;
                if (waiting == kThreads) {
                    go = true;
                    start.notify_all();
                } else {
                    start.wait(lock, [&] { return go; });
                }
            }
            body(t);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
}

// The module text of a handle (destroyed), or "null".
std::string take(QRCODE_RESULT handle) {
    if (handle == nullptr) return "null";
    std::string text;
    for (const std::string& row : ModuleMatrix::fromPattern(handle).toText())
        text += row + "\n";
    DestroyQRCodeEncodeResult(handle);
    return text;
}

// One encode of each kind, numbered; the same number always gives the same call.
std::string encodeOfKind(int n) {
    static const char* const kData[] = {"HELLO WORLD",         "0123456789012345",  "Grüße, mixed 123 DATA",
                                        "~4[~d147~d095]KANJI", "~2[1][2,37]APPEND", "~50[:swiss7]CROSS"};
    const char* data = kData[n % 6];
    switch (n % 8) {
        case 0:
            return take(QRCodeEncode2(data, n % 41, (n / 6) % 4));
        case 1: {
            QRCODE_RESULT handle = nullptr;
            const int32_t code = QRCodeEncode(data, 0x0100 | (n % 41), (n / 6) % 4, &handle);
            return std::to_string(code) + take(handle);
        }
        case 2: {
            const std::u16string wide =
                u"Wide \u20AC text " + std::u16string(1, static_cast<char16_t>(u'A' + n % 26));
            return take(QRCodeEncode2W(reinterpret_cast<const qrkit_char16*>(wide.c_str()), n % 41, n % 4));
        }
        case 3: {
            const std::string micro = std::to_string(n * 7919 % 100000);
            return take(MicroQRCodeEncode2(micro.c_str(), n % 5, n % 4));
        }
        case 4:
            return take(HIBC_QRCodeEncode2("A123BJC5D6E71", n % 41, n % 4)) +
                   std::to_string(QRCodeGetParity(data));
        case 6: {  // the optimal segmentation, QR Code and Micro QR Code
            QRCODE_RESULT handle = nullptr;
            const int32_t code = QRCodeEncodeOptimal(data, n % 41, n % 4, &handle);
            return std::to_string(code) + take(handle);
        }
        case 7: {
            const std::string micro = "A" + std::to_string(n * 7919 % 10000000);
            QRCODE_RESULT handle = nullptr;
            const int32_t code = MicroQRCodeEncodeOptimal(micro.c_str(), 0, n % 4, &handle);
            return std::to_string(code) + take(handle);
        }
        default: {
            QRCODE_RESULT handle = QRCodeEncode2(data, n % 41, n % 4);
            const char* font = QRCodeResultGetBarcodeString2(handle, "\r\n");
            const std::string text = font != nullptr ? font : "null";  // the result owns font
            return text + take(handle);
        }
    }
}

TEST(Concurrency, FirstUseOfEveryCache) {
    // Every thread walks every QR version at every level and every Micro version, each thread from a
    // different starting point, so that threads meet on the same empty slots and on different ones.
    std::vector<std::vector<std::string>> results(kThreads);
    runTogether([&](int t) {
        for (int k = 0; k < 40; ++k) {
            const int version = (k + 5 * t) % 40 + 1;
            results[t].push_back(take(QRCodeEncode2("FIRST USE", version, (k + t) % 4)));
        }
        for (int k = 0; k < 4; ++k)
            results[t].push_back(take(MicroQRCodeEncode2("12", (k + t) % 4 + 1, k % 3)));
    });
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < 40; ++k) {
            const int version = (k + 5 * t) % 40 + 1;
            EXPECT_EQ(results[t][k], take(QRCodeEncode2("FIRST USE", version, (k + t) % 4)))
                << "thread " << t << " version " << version;
        }
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(results[t][40 + k], take(MicroQRCodeEncode2("12", (k + t) % 4 + 1, k % 3)))
                << "thread " << t << " micro " << k;
    }
}

TEST(Concurrency, EncodesOfEveryKind) {
    constexpr int kCalls = 36;
    std::vector<std::vector<std::string>> results(kThreads);
    runTogether([&](int t) {
        for (int k = 0; k < kCalls; ++k)
            results[t].push_back(encodeOfKind(t * kCalls + k));
    });
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < kCalls; ++k)
            EXPECT_EQ(results[t][k], encodeOfKind(t * kCalls + k)) << "thread " << t << " call " << k;
    }
}

// The bytes with the data and checksum of every PNG time chunk cleared: the time of painting differs
// between runs.
std::string withoutPngTime(std::string bytes) {
    for (std::size_t at = bytes.find("tIME"); at != std::string::npos; at = bytes.find("tIME", at + 4)) {
        for (std::size_t k = at + 4; k < at + 4 + 7 + 4 && k < bytes.size(); ++k)
            bytes[k] = 0;
    }
    return bytes;
}

// Every paint export on the thread's own result; the images as one text.
std::string paintAll(QRCODE_RESULT handle, int t, const painttest::ScratchDir& dir) {
    std::string out;
    for (int format : {0, 4}) {
        painttest::TestStream stream;
        out +=
            std::to_string(PaintQRCodeImageRaster2(handle, &stream, 1 + t % 3, 0x102030, 0xF0E0D0, format));
        out += stream.text();
    }
    for (int format : {1, 2, 3}) {
        painttest::TestStream stream;
        out +=
            std::to_string(PaintQRCodeImageVector2(handle, &stream, 20 + t, 300, 0x000000, 0xFFFFFF, format));
        out += stream.text();
    }
    const std::string file = dir.file("thread" + std::to_string(t) + ".png");
    out += std::to_string(PaintQRCodeImageRaster(handle, file.c_str(), 2, 0, 0xFFFFFF, 0));
    const std::vector<std::uint8_t> bytes = painttest::readBytes(file);
    out.append(bytes.begin(), bytes.end());
    qrkit_metafile metafile = PaintQRCodeImageEMF(handle, 20 + t, 300, 0, 0xFFFFFF, 0);
    if (metafile != nullptr) {
        std::vector<std::uint8_t> bits(QRCodeMetafileGetBits(metafile, 0, nullptr));
        QRCodeMetafileGetBits(metafile, static_cast<std::uint32_t>(bits.size()), bits.data());
        out.append(bits.begin(), bits.end());
        QRCodeMetafileDelete(metafile);
    }
    return withoutPngTime(out);
}

TEST(Concurrency, PaintingDifferentResults) {
    painttest::ScratchDir dir("concurrency");
    std::vector<QRCODE_RESULT> handles;
    for (int t = 0; t < kThreads; ++t) {
        const std::string data = "PAINT THREAD " + std::to_string(t);
        handles.push_back(t % 4 == 3 ? MicroQRCodeEncode2(std::to_string(t).c_str(), 0, 0)
                                     : QRCodeEncode2(data.c_str(), t % 10, t % 4));
        ASSERT_NE(handles.back(), nullptr);
    }
    std::vector<std::string> images(kThreads);
    std::vector<int> clipboard(kThreads);
    runTogether([&](int t) {
        images[t] = paintAll(handles[t], t, dir);
        // The clipboard is one for the process: a thread finds it free (0) or held by another (10).
        clipboard[t] = PaintQRCodeImageClipboard(handles[t], 25, 300, 0, 0xFFFFFF);
    });
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(images[t], paintAll(handles[t], t, dir)) << "thread " << t;
        EXPECT_TRUE(clipboard[t] == 0 || clipboard[t] == 10) << "thread " << t << ": " << clipboard[t];
        DestroyQRCodeEncodeResult(handles[t]);
    }
}

// Warm encodes share the caches without taking their locks: once every version, level and Micro
// version used has been encoded, encodes on all threads at once leave the caches' lock counts as they
// were. (The encoder itself, not the exports: those have their own copy of the caches in the shared
// library.)
TEST(Concurrency, WarmEncodesTakeNoCacheLock) {
    using namespace kelvane2::qrencode;
    auto encodeAll = [](int t) {
        for (int k = 0; k < 40; ++k) {
            const std::string data = "WARM " + std::to_string(k * 7 + t);
            const EncodeOptions options{k % 40 + 1, k % 4, -1};
            kelvane2::IQrcodeResult* handle = nullptr;
            EXPECT_EQ(encodeQr(reinterpret_cast<const std::uint8_t*>(data.data()),
                               static_cast<int>(data.size()), options, &handle),
                      0);
            if (handle != nullptr) handle->Release();
        }
        for (int k = 1; k <= 4; ++k) {
            const EncodeOptions options{k, 0, -1};
            kelvane2::IQrcodeResult* handle = nullptr;
            EXPECT_EQ(encodeMicroQr(reinterpret_cast<const std::uint8_t*>("12"), 2, options, &handle), 0);
            if (handle != nullptr) handle->Release();
        }
    };
    encodeAll(0);
    const unsigned long frameLocks = frameCacheLockCount();
    const unsigned long codecLocks = codecCacheLockCount();
    runTogether([&](int t) {
        for (int round = 0; round < 5; ++round)
            encodeAll(t);
    });
    EXPECT_EQ(frameCacheLockCount(), frameLocks);
    EXPECT_EQ(codecCacheLockCount(), codecLocks);
}

}  // namespace
