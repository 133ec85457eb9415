// Work over a range cut in two, the second part on a thread of its own.
#ifndef ZELANALYSIS_SRC_PARTS_H
#define ZELANALYSIS_SRC_PARTS_H

#include <cstddef>
#include <exception>
#include <thread>

namespace zel_analysis {

// Runs work(from, to, part) over [0, n): as part 0 on this thread for
// [0, split) and as part 1 on a thread of its own for [split, n) at the
// same time, or whole as part 0 when `split` is 0 or no thread can be had.
// What the other thread throws is thrown here.
template <typename Work>
void InParts(std::size_t n, std::size_t split, const Work& work) {
  if (split == 0 || split >= n) {
    work(std::size_t{0}, n, 0);
    return;
  }
  std::exception_ptr failure;
  std::thread other;
  try {
    other = std::thread([&]() noexcept {
      try {
        work(split, n, 1);
      } catch (...) {
        failure = std::current_exception();
      }
    });
  } catch (...) {
    work(std::size_t{0}, n, 0);
    return;
  }
  try {
    work(std::size_t{0}, split, 0);
  } catch (...) {
    other.join();
    throw;
  }
  other.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace zel_analysis

#endif
