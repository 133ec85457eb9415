// ZelTimers: timing classes for programs that draw frames in a loop.
// Include this header, or the header of the one class you need.
#ifndef ZELTIMERS_ZELTIMERS_H
#define ZELTIMERS_ZELTIMERS_H

#include "ZelFrameRate.h"
#include "ZelTimeValue.h"
#include "ZelTimer.h"
#include "ZelWallTimer.h"

#endif
