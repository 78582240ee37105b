// qrkit through its exported functions, as an application calls it.
#include "peers.h"

#if QRKIT_BENCH_QRKIT

#include <cstdint>

#include "encoder/objectmodel.h"
#include "qrkit/qrkit.h"

namespace qrkit_bench {
namespace qrkit_exports {
namespace {

// The pointer type of QRCodeEncode's data argument, whichever character type it takes.
template <typename R, typename D, typename... Rest>
D dataArgument(R(QRKIT_CALL*)(D, Rest...));
using DataPointer = decltype(dataArgument(&QRCodeEncode));

}  // namespace

int encode(const Workload& w, std::vector<std::uint8_t>* modules) {
    QRCODE_RESULT handle = nullptr;
    // Version word 0: the smallest version that holds the data, automatic segmentation; the encode
    // functions always choose the mask automatically.
    const auto rc = QRCodeEncode(reinterpret_cast<DataPointer>(w.qrkitInput.c_str()), 0, w.level, &handle);
    if (rc != 0 || handle == nullptr) {
        return 0;
    }
    const int version = handle->getVersion();
    if (modules != nullptr) {
        kelvane2::I2DBitPattern* pattern = nullptr;
        if (handle->QueryInterface(kelvane2::IID_I2DBitPattern, reinterpret_cast<void**>(&pattern)) ==
            kelvane2::kStatusOk) {
            const int size = pattern->getRows();
            modules->assign(static_cast<std::size_t>(size) * size, 0);
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    (*modules)[static_cast<std::size_t>(y) * size + x] = pattern->getModule(y, x) ? 1 : 0;
                }
            }
            pattern->Release();
        } else {
            modules->clear();
        }
    }
    DestroyQRCodeEncodeResult(handle);
    return version;
}

}  // namespace qrkit_exports
}  // namespace qrkit_bench

#endif
