// ZelTimers analysis: text from files, made safe to print.
#ifndef ZELANALYSIS_TEXT_H
#define ZELANALYSIS_TEXT_H

#include <string>

namespace zel_analysis {

/// `text` as well-formed UTF-8: each byte that does not belong to a
/// well-formed sequence (a stray continuation byte, a cut or overlong
/// sequence, a surrogate, a code point above U+10FFFF) becomes U+FFFD, as
/// does U+FFFE and U+FFFF. File names and application names come from the
/// disk byte for byte; JSON and XML readers refuse what is not UTF-8.
std::string ValidUtf8(const std::string& text);

/// ValidUtf8(text) with each control character (U+0000 to U+001F, U+007F)
/// as U+FFFD too: text for a terminal, or for XML, which forbids them.
std::string Printable(const std::string& text);

}  // namespace zel_analysis

#endif
