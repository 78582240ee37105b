// The stream interface of the stream paint exports lives with the public headers, in qrkit/istream.h.
#ifndef QRKIT_PLATFORM_ISTREAM_H
#define QRKIT_PLATFORM_ISTREAM_H

#include "qrkit/istream.h"

#endif
