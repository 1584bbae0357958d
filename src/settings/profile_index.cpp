#include "settings/profile_index.h"

#include <atomic>
#include <cstring>
#include <random>

#include "settings/profile_names.h"

namespace quillmap {

namespace {

// Eight bytes at a time, each byte upper-cased first: names equal without regard to case hash
// alike, and no others are made to (dropping the bits in which cases differ would let a file
// hold thousands of distinct names of one hash).
uint64_t UpperWord(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  if ((word & kHighBits) != 0) {
    uint64_t upper = 0;
    for (int shift = 56; shift >= 0; shift -= 8) {
      upper =
          upper << 8 | static_cast<unsigned char>(UpperCp1252(static_cast<char>(word >> shift)));
    }
    return upper;
  }
  // Below 0x80 only a to z change: their bytes get 0x80 from the first sum and not the second.
  const uint64_t from_a = word + (0x80 - 'a') * kOnes;
  const uint64_t past_z = word + (0x80 - 'z' - 1) * kOnes;
  return word ^ (((from_a ^ past_z) & kHighBits) >> 2);
}

// A seed per document from one random seed per process.
uint64_t NewSeed() {
  static const uint64_t process_seed = [] {
    std::random_device device;
    return (uint64_t{device()} << 32) ^ device();
  }();
  static std::atomic<uint64_t> documents{0};
  uint64_t seed = process_seed + 0x9E3779B97F4A7C15ull * ++documents;
  seed = (seed ^ (seed >> 30)) * 0xBF58476D1CE4E5B9ull;
  seed = (seed ^ (seed >> 27)) * 0x94D049BB133111EBull;
  return seed ^ (seed >> 31);
}

}  // namespace

ProfileIndex::ProfileIndex() : slots_(16), seed_(NewSeed()) {}

void ProfileIndex::Reserve(size_t names) {
  size_t size = slots_.size();
  while (size < 2 * names) size *= 2;
  slots_.assign(size, Slot{});
  used_ = 0;
  next_same_.reserve(names);
}

uint32_t ProfileIndex::Hash(std::string_view trimmed_name) const {
  constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
  const size_t size = trimmed_name.size();
  uint64_t hash = seed_ ^ (size * kMultiplier);
  for (size_t i = 0; i < size; i += 8) {
    uint64_t word = 0;
    if (size - i >= 8) {
      std::memcpy(&word, trimmed_name.data() + i, 8);  // a fixed size: one load, no call
    } else {
      for (size_t j = size - i; j-- > 0;) {
        word = word << 8 | static_cast<unsigned char>(trimmed_name[i + j]);
      }
    }
    hash = (hash ^ UpperWord(word)) * kMultiplier;
    hash ^= hash >> 29;
  }
  hash ^= seed_;
  hash *= kMultiplier;
  hash ^= hash >> 32;
  return static_cast<uint32_t>(hash * kMultiplier >> 32);
}

void ProfileIndex::Grow() {
  std::vector<Slot> old(slots_.size() * 2);
  old.swap(slots_);
  const size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.last == kNone) continue;
    size_t i = slot.hash & mask;
    while (slots_[i].last != kNone) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

bool ProfileIndex::AddAt(size_t slot_number, uint32_t section, uint32_t hash) {
  if (section >= next_same_.size()) next_same_.resize(section + 1);
  Slot& slot = slots_[slot_number];
  if (slot.last == kNone) {
    slot = Slot{hash, section};
    next_same_[section] = section;
    ++used_;
    return true;
  }
  next_same_[section] = next_same_[slot.last];  // the first
  next_same_[slot.last] = section;
  slot.last = section;
  return false;
}

uint32_t ProfileIndex::RemoveFirst(size_t hole) {
  const uint32_t last = slots_[hole].last;
  const uint32_t first = next_same_[last];
  if (first != last) {
    next_same_[last] = next_same_[first];
    return next_same_[last];
  }
  // Backward-shift deletion keeps every probe sequence unbroken without tombstones.
  const size_t mask = slots_.size() - 1;
  for (size_t j = (hole + 1) & mask; slots_[j].last != kNone; j = (j + 1) & mask) {
    const size_t home = slots_[j].hash & mask;
    if (((j - home) & mask) >= ((j - hole) & mask)) {
      slots_[hole] = slots_[j];
      hole = j;
    }
  }
  slots_[hole] = Slot{};
  --used_;
  return kNone;
}

}  // namespace quillmap
