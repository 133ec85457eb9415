// SHA-256 (FIPS 180-4), for content keys.
#ifndef ZELANALYSIS_SHA256_H
#define ZELANALYSIS_SHA256_H

#include <string>

namespace zel_analysis {

/// The SHA-256 of `bytes`, as 64 lower-case hex digits.
std::string Sha256Hex(const std::string& bytes);

}  // namespace zel_analysis

#endif
