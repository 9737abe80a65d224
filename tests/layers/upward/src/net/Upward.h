#pragma once

// A net header that reaches up into the host: the layer check must refuse it.
#include "host/FtpHost.h"
