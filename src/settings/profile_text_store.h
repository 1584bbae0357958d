// The text of the lines that a document's changes make, kept in chunks that never move: adding
// text copies nothing already there, and a view of stored text lasts as long as the store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>
#include <string_view>

namespace quillmap {

class ProfileTextStore {
 public:
  static constexpr int kChunkBits = 20;
  static constexpr size_t kChunkSize = size_t{1} << kChunkBits;

  // Room for a text of `size` bytes, to be filled by the caller; sets its place. Within a text
  // of up to kChunkSize bytes, place + i is the place of its byte i.
  char* Allocate(size_t size, uint64_t* place);
  // Appends the parts as one text and returns its place.
  uint64_t Append(std::initializer_list<std::string_view> parts);

  std::string_view At(uint64_t place, size_t size) const {
    return std::string_view(chunks_[place >> kChunkBits]).substr(place & (kChunkSize - 1), size);
  }

 private:
  static constexpr int kFirstChunkBits = 12;
  std::deque<std::string> chunks_;  // a deque, so that adding a chunk moves none
};

}  // namespace quillmap
