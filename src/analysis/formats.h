// One reader and one writer per capture format. ReadCapture has read the
// first line, which tells the formats apart, and hands over its fields and
// the rest of the lines; a reader returns an error line, or an empty string
// with the capture filled in.
#ifndef ZELANALYSIS_SRC_FORMATS_H
#define ZELANALYSIS_SRC_FORMATS_H

#include <iosfwd>
#include <string>
#include <vector>

#include "ZelAnalysis/Capture.h"
#include "csv.h"

namespace zel_analysis::formats {

std::string ReadZel(csv::Lines& lines, const std::vector<std::string>& first, CaptureFile& file);
void WriteZel(std::ostream& out, const Capture& capture);

std::string ReadPresentMon(csv::Lines& lines, const std::vector<std::string>& header,
                           CaptureFile& file);
void WritePresentMon(std::ostream& out, const Capture& capture);

std::string ReadMangoHud(csv::Lines& lines, const std::vector<std::string>& first,
                         CaptureFile& file);
void WriteMangoHud(std::ostream& out, const Capture& capture);

}  // namespace zel_analysis::formats

#endif
