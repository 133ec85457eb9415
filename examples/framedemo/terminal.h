// The one platform-dependent corner of the demo: is stdout a terminal that
// understands cursor movement?
#ifndef ZELTIMERS_FRAMEDEMO_TERMINAL_H
#define ZELTIMERS_FRAMEDEMO_TERMINAL_H

namespace framedemo {

// True when stdout is an interactive terminal that accepts ANSI cursor
// movement (switching it on first where the console needs that).
bool PrepareAnimatedOutput();

}  // namespace framedemo

#endif
