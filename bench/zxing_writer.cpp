// zxing-cpp's writer.
#define ZX_USE_UTF8
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <exception>

#include "peers.h"

namespace qrkit_bench {
namespace zxing_writer {

int encode(const Workload& w, std::vector<std::uint8_t>* modules) {
    // The writer's level scale runs 0-8 and maps two steps to one QR level: 1 L, 3 M, 5 Q, 7 H.
    static const int kLevels[] = {1, 3, 5, 7};
    try {
        // No character set: the writer takes ISO 8859-1, the QR Code default, without an ECI header
        // (naming any character set adds one). Width and height 0 with margin 0 give one pixel per
        // module. The writer chooses the mode and the mask itself.
        const ZXing::BitMatrix matrix = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
                                            .setEccLevel(kLevels[w.level])
                                            .setMargin(0)
                                            .encode(w.wide, 0, 0);
        const int size = matrix.width();
        if (modules != nullptr) {
            modules->assign(static_cast<std::size_t>(size) * size, 0);
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    (*modules)[static_cast<std::size_t>(y) * size + x] = matrix.get(x, y) ? 1 : 0;
                }
            }
        }
        return (size - 17) / 4;
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace zxing_writer
}  // namespace qrkit_bench
