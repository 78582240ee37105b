// The encoders under test, each behind the EncodeFunction signature of workload.h.
#ifndef QRKIT_BENCH_PEERS_H
#define QRKIT_BENCH_PEERS_H

#include "workload.h"

namespace qrkit_bench {

// qrkit through its exports: QRCodeEncode with version word 0, then DestroyQRCodeEncodeResult.
namespace qrkit_exports {
int encode(const Workload& w, std::vector<std::uint8_t>* modules);
}

// The nayuki QR Code generator as packaged by Debian (libqrcodegencpp), text or binary segments,
// level fixed (no boost), automatic mask.
namespace nayuki_packaged {
int encode(const Workload& w, std::vector<std::uint8_t>* modules);
}

// The same generator compiled here from Debian's source package at -O2, under its own namespace.
namespace nayuki_o2 {
int encode(const Workload& w, std::vector<std::uint8_t>* modules);
}

// zxing-cpp's writer: MultiFormatWriter for QR Code, ISO 8859-1 without ECI, margin 0, automatic mask.
namespace zxing_writer {
int encode(const Workload& w, std::vector<std::uint8_t>* modules);
}

}  // namespace qrkit_bench

#endif
