// Command-line options of zel-framedemo.
#ifndef ZELTIMERS_FRAMEDEMO_OPTIONS_H
#define ZELTIMERS_FRAMEDEMO_OPTIONS_H

#include <string>
#include <vector>

namespace framedemo {

struct Options {
  double fps = 60.0;                  // target frames per second; 0 draws as fast as it can
  double duration = 3.0;              // seconds of running
  int history = 120;                  // the meter's swap history length (draws keep 4x)
  double extraLoad = 0.0;             // milliseconds of busy work added to each draw
  std::string capture;                // file to write every frame to; empty for none
  std::string format = "presentmon";  // its format: presentmon, mangohud or zel
  bool plainSleep = false;            // --wait sleep: a plain absolute sleep instead of the pacer
};

struct ParseResult {
  Options options;
  bool help = false;
  std::string error;  // one line naming the faulty option; empty on success
};

// Reads "--name value" and "--name=value" forms; args excludes the program
// name. Numbers are read in the C locale whatever the environment says.
ParseResult ParseOptions(const std::vector<std::string>& args);

std::string Usage(const std::string& program);

}  // namespace framedemo

#endif
