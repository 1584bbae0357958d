// What the fuzz targets share: a check that stops the run with a message (libFuzzer then keeps
// the input), and a reader of the control bytes that lead each input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)

namespace quillmap::fuzz {

// The first bytes of an input choose what a target does with the rest, so that one input is
// one case and a kept crash replays alone. A short input reads as zeros.
class Controls {
 public:
  Controls(const uint8_t* data, size_t size, size_t count)
      : data_(data), size_(size), count_(size < count ? size : count) {}
  uint8_t Byte(size_t i) const { return i < count_ ? data_[i] : 0; }
  // The bytes after the controls.
  std::string_view Rest() const {
    return std::string_view(reinterpret_cast<const char*>(data_) + count_, size_ - count_);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t count_;
};

}  // namespace quillmap::fuzz
