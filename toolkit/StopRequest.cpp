#include "StopRequest.h"

bool StopRequested = false;
