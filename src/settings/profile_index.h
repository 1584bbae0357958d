// The index from section names to section numbers: open addressing on a case-blind hash seeded
// per document, so a file cannot be made of names that land in one slot. Same-named sections
// form a ring behind the first one, added to at its end and taken from its front in constant
// time, so a file of one name repeated costs no more than one of different names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "settings/profile_lines.h"

namespace quillmap {

class ProfileIndex {
 public:
  static constexpr uint32_t kNone = UINT32_MAX;

  ProfileIndex();

  // Empties the index and makes room for `names` names, for a parse that counted them first.
  void Reserve(size_t names);
  uint32_t Hash(std::string_view trimmed_name) const;

  // The slot that holds the name, or the empty slot where it would go. `name_of(section)` is
  // the trimmed name of a section in the index.
  template <typename NameOf>
  size_t Probe(uint32_t hash, std::string_view trimmed_name, const NameOf& name_of) const {
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].last != kNone) {
      if (slots_[i].hash == hash) {
        // Every section of the ring bears the name; the slot knows the last one.
        const std::string_view name = name_of(slots_[i].last);
        // Names found are mostly spelt as asked for.
        if (name == trimmed_name || SameTrimmedName(name, trimmed_name)) return i;
      }
      i = (i + 1) & mask;
    }
    return i;
  }
  // Starts fetching the slot where a probe for the hash begins, so that a caller with names to
  // add can overlap the wait for memory with other work.
  void Prefetch(uint32_t hash) const { __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]); }
  // The first section of the slot's name; kNone for an empty slot.
  uint32_t First(size_t slot) const {
    return slots_[slot].last == kNone ? kNone : next_same_[slots_[slot].last];
  }

  // Adds the section behind the others of its name; true when it is the first of its name.
  // Sections are numbered from 0 in the order they are added; a number is used again only once
  // its section has left the index.
  template <typename NameOf>
  bool Add(uint32_t section, std::string_view trimmed_name, uint32_t hash, const NameOf& name_of) {
    MakeRoomForOne();
    return AddAt(Probe(hash, trimmed_name, name_of), section, hash);
  }
  // The same in two steps, for a caller that looks the name up first and adds it only when it
  // is missing: one probe instead of two. The slot that Probe gives after MakeRoomForOne stays
  // good for AddAt until the index changes.
  void MakeRoomForOne() {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
  }
  bool AddAt(size_t slot, uint32_t section, uint32_t hash);
  // Takes the first section of the slot's name out; the next of that name takes its place and is
  // returned (kNone when there is none).
  uint32_t RemoveFirst(size_t slot);

 private:
  struct Slot {
    uint32_t hash = 0;
    uint32_t last = kNone;  // the last section of the name; kNone: an empty slot
  };
  static_assert(sizeof(Slot) == 8);

  void Grow();

  std::vector<Slot> slots_;
  // Per section in the index: the next of its name, the last one leading back to the first.
  std::vector<uint32_t> next_same_;
  size_t used_ = 0;
  uint64_t seed_;
};

}  // namespace quillmap
