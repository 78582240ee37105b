// The nayuki QR Code generator compiled from Debian's source package. This file is compiled with the
// generator's source directory on the include path and its namespace renamed by a macro, so that it
// links beside the packaged build.
#include "qrcodegen.hpp"

#include <exception>

#include "peers.h"

#define NAYUKI_ADAPTOR_NAMESPACE nayuki_o2
#include "nayuki_adaptor.inc"
