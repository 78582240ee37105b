// The result object model lives with the public headers, in qrkit/objectmodel.h.
#ifndef QRKIT_ENCODER_OBJECTMODEL_H
#define QRKIT_ENCODER_OBJECTMODEL_H

#include "qrkit/objectmodel.h"

#endif
