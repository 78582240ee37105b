// The nayuki QR Code generator as packaged by Debian.
#include <qrcodegen/qrcodegen.hpp>

#include <exception>

#include "peers.h"

#define NAYUKI_ADAPTOR_NAMESPACE nayuki_packaged
#include "adaptors/nayuki_adaptor.inc"
