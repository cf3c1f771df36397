// The (key, record number) entries of one tag, gathered from a scan of the table and put in
// tag order for a build or a check.
//
// Each entry is stored as the key followed by its record number in 4 big-endian bytes, all
// entries of one width in one buffer: comparing two entries as unsigned bytes then gives the
// tag order (key bytes, then record number) with no per-entry object and no comparison
// function, which lets Sort() run as an in-place radix sort on the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "Status.h"

namespace xb {

class KeySorter {
 public:
  static constexpr int kMaxKeyLength = 252;

  // `expected`: how many entries to make room for at once (the table's record count), so
  // that the buffer does not have to grow while it is full.
  KeySorter(int keyLength, size_t expected);

  // Room for the key of a new entry for `recno`: the caller writes exactly the key length of
  // bytes there before the next call.
  char* Append(uint32_t recno);
  // Drops the entry Append gave last (its record turned out to have no key).
  void DropLast();
  size_t Count() const { return FCount; }

  // Puts the entries in order: key bytes, then record number.
  void Sort();

  std::string_view Key(size_t i) const {
    return std::string_view(FEntries.get() + i * FWidth, FKeyLength);
  }
  uint32_t Recno(size_t i) const {
    const auto* p = reinterpret_cast<const uint8_t*>(FEntries.get() + i * FWidth + FKeyLength);
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
  }

  // Hands every entry to `emit` in order (after Sort); with `unique` only the first entry of
  // each key, which is the one with the lowest record number. Stops at the first failure.
  template <typename Emit>
  Status ForEach(bool unique, Emit&& emit) {
    for (size_t i = 0; i < FCount; ++i) {
      std::string_view key = Key(i);
      if (unique && i > 0 && key == Key(i - 1)) continue;
      Status s = emit(key, Recno(i));
      if (!s) return s;
    }
    return Status::Ok();
  }

 private:
  size_t FKeyLength;
  size_t FWidth;  // key length + 4
  struct Free {
    void operator()(char* p) const;
  };
  using Buffer = std::unique_ptr<char, Free>;
  static Buffer Allocate(size_t bytes);

  size_t FCount = 0;
  size_t FCapacity = 0;  // entries FEntries has room for
  Buffer FEntries;
};

}  // namespace xb
