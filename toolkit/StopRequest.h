// The process-wide stop request, tested by every run between items.
#pragma once

extern bool StopRequested;
