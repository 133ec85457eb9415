#include "ZelAnalysis/Capture.h"

#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <string_view>
#include <system_error>

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

namespace formats {

std::string Header(csv::Lines& lines, CaptureFile& file, Layout& layout) {
  std::string line;
  if (!lines.Next(line)) return lines.Ended(lines.Name() + ": empty file, not a frame capture");
  const std::vector<std::string> first = csv::Split(line);
  if (csv::SameName(first[0], "zeltimers_capture")) {
    file.format = CaptureFormat::kZel;
    return ZelHeader(lines, first, file, layout);
  }
  if (csv::SameName(first[0], "Application")) {
    file.format = CaptureFormat::kPresentMon;
    return PresentMonHeader(lines, first, layout);
  }
  if (csv::SameName(first[0], "os")) {
    file.format = CaptureFormat::kMangoHud;
    return MangoHudHeader(lines, layout);
  }
  return lines.Error(
      "not a frame capture: the first line is neither a PresentMon header (Application,...), "
      "a MangoHud log's (os,cpu,...) nor a ZelTimers capture's");
}

}  // namespace formats

namespace {

// Has a stream throw what goes wrong in it (memory running out, a read
// error) rather than end as if the text did, until it goes out of scope.
class Throwing {
public:
  explicit Throwing(std::istream& in) : m_In(in), m_Mask(in.exceptions()) {
    in.exceptions(m_Mask | std::ios::badbit);
  }
  ~Throwing() {
    try {
      m_In.exceptions(m_Mask);            // set even when it throws, for a state it names
    } catch (const std::ios::failure&) {  // NOLINT(bugprone-empty-catch)
    }
  }
  Throwing(const Throwing&) = delete;
  Throwing& operator=(const Throwing&) = delete;

private:
  std::istream& m_In;
  std::ios::iostate m_Mask;
};

}  // namespace

CaptureFile ReadCapture(std::istream& in, const std::string& name) {
  CaptureFile file;
  const Throwing throwing(in);
  csv::Lines lines(in, name);
  formats::Layout layout;
  file.error = formats::Header(lines, file, layout);
  if (file.error.empty()) {
    switch (file.format) {
      case CaptureFormat::kZel:
        file.error = formats::ReadZel(lines, layout, file);
        break;
      case CaptureFormat::kPresentMon:
        file.error = formats::ReadPresentMon(lines, layout, file);
        break;
      case CaptureFormat::kMangoHud:
        file.error = formats::ReadMangoHud(lines, layout, file);
        break;
    }
  }
  if (!file.error.empty()) file.capture = Capture();
  return file;
}

namespace formats {

std::vector<std::string_view> Views(const std::vector<std::string>& fields) {
  return {fields.begin(), fields.end()};
}

std::string OpenError(const std::string& path, std::ifstream& in) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return path + ": a folder, not a frame capture";
  in.open(path, std::ios::binary);
  return in ? std::string() : path + ": cannot be opened for reading";
}

}  // namespace formats

CaptureFile ReadCaptureFile(const std::string& path) {
  std::ifstream in;
  CaptureFile file;
  file.error = formats::OpenError(path, in);
  return file.error.empty() ? ReadCapture(in, path) : file;
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
