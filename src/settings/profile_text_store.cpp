#include "settings/profile_text_store.h"

#include <algorithm>
#include <cstring>

namespace quillmap {

char* ProfileTextStore::Allocate(size_t size, uint64_t* place) {
  if (chunks_.empty() ||
      chunks_.back().size() + size > std::min(chunks_.back().capacity(), kChunkSize)) {
    // Chunks start small and double, so that a document with few changes stays small; a long
    // text gets a chunk of its own.
    const size_t room = size_t{1} << std::min<size_t>(kFirstChunkBits + chunks_.size(), kChunkBits);
    chunks_.emplace_back().reserve(std::max(size, room));
  }
  std::string& chunk = chunks_.back();
  const size_t begin = chunk.size();
  *place = (uint64_t{chunks_.size() - 1} << kChunkBits) | begin;
  chunk.resize(begin + size);
  return chunk.data() + begin;
}

uint64_t ProfileTextStore::Append(std::initializer_list<std::string_view> parts) {
  size_t total = 0;
  for (const std::string_view part : parts) total += part.size();
  uint64_t place;
  char* out = Allocate(total, &place);
  for (const std::string_view part : parts) {
    if (!part.empty()) std::memcpy(out, part.data(), part.size());
    out += part.size();
  }
  return place;
}

}  // namespace quillmap
