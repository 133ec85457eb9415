#include "ZelAnalysis/Capture.h"

#include <fstream>
#include <istream>
#include <ostream>

#include "csv.h"
#include "formats.h"

namespace zel_analysis {

const char* FormatName(CaptureFormat format) {
  switch (format) {
    case CaptureFormat::kPresentMon:
      return "presentmon";
    case CaptureFormat::kMangoHud:
      return "mangohud";
    case CaptureFormat::kZel:
      break;
  }
  return "zel";
}

bool FormatFromName(const std::string& name, CaptureFormat& format) {
  for (const CaptureFormat candidate :
       {CaptureFormat::kZel, CaptureFormat::kPresentMon, CaptureFormat::kMangoHud}) {
    if (name == FormatName(candidate)) {
      format = candidate;
      return true;
    }
  }
  return false;
}

CaptureFile ReadCapture(std::istream& in, const std::string& name) {
  CaptureFile file;
  csv::Lines lines(in, name);
  std::string line;
  if (!lines.Next(line)) {
    file.error = name + ": empty file, not a frame capture";
    return file;
  }
  const std::vector<std::string> first = csv::Split(line);
  if (csv::SameName(first[0], "zeltimers_capture")) {
    file.format = CaptureFormat::kZel;
    file.error = formats::ReadZel(lines, first, file);
  } else if (csv::SameName(first[0], "Application")) {
    file.format = CaptureFormat::kPresentMon;
    file.error = formats::ReadPresentMon(lines, first, file);
  } else if (csv::SameName(first[0], "os")) {
    file.format = CaptureFormat::kMangoHud;
    file.error = formats::ReadMangoHud(lines, first, file);
  } else {
    file.error = lines.Error(
        "not a frame capture: the first line is neither a PresentMon header (Application,...), "
        "a MangoHud log's (os,cpu,...) nor a ZelTimers capture's");
  }
  if (!file.error.empty()) file.capture = Capture();
  return file;
}

CaptureFile ReadCaptureFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    CaptureFile file;
    file.error = path + ": cannot be opened for reading";
    return file;
  }
  return ReadCapture(in, path);
}

void WriteCapture(std::ostream& out, const Capture& capture, CaptureFormat format) {
  switch (format) {
    case CaptureFormat::kPresentMon:
      formats::WritePresentMon(out, capture);
      return;
    case CaptureFormat::kMangoHud:
      formats::WriteMangoHud(out, capture);
      return;
    case CaptureFormat::kZel:
      formats::WriteZel(out, capture);
      return;
  }
}

std::string WriteCaptureFile(const std::string& path, const Capture& capture,
                             CaptureFormat format) {
  std::ofstream out(path, std::ios::binary);
  if (out) WriteCapture(out, capture, format);
  out.close();
  return out ? std::string() : path + ": cannot be written";
}

}  // namespace zel_analysis
