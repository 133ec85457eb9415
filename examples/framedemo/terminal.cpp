#include "terminal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif
#else
#include <unistd.h>
#endif

namespace framedemo {

bool PrepareAnimatedOutput() {
#ifdef _WIN32
  if (!_isatty(_fileno(stdout))) return false;
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  return GetConsoleMode(out, &mode) &&
         SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#else
  const char* term = std::getenv("TERM");
  return isatty(fileno(stdout)) != 0 && term != nullptr && std::strcmp(term, "dumb") != 0;
#endif
}

}  // namespace framedemo
