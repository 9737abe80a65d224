// A relative include that climbs out of its folder: the layer check must refuse it.
#include "../ftp/TFtpServer.h"
