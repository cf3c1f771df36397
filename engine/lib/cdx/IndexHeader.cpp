#include "cdx/IndexHeader.h"

#include <cstring>

#include "cdx/Bytes.h"

namespace xb {

IndexHeader IndexHeader::Directory() {
  IndexHeader header;
  header.root = 0x400;
  header.keyLength = 10;
  header.options = kCompact | kCompound | kStructure;
  return header;
}

Result<IndexHeader> IndexHeader::Decode(const uint8_t* bytes) {
  IndexHeader header;
  header.root = GetLe32(bytes);
  header.freeList = GetLe32(bytes + 4);
  header.counter = GetBe32(bytes + 8);
  header.keyLength = GetLe16(bytes + 12);
  header.options = bytes[14];
  header.signature = bytes[15];
  header.descending = GetLe16(bytes + 502) != 0;
  if (header.keyLength == 0 || header.keyLength > kMaxKeyLength)
    return Status::Error("index header: key length " + std::to_string(header.keyLength));
  // The key text ends at its NUL, or earlier when 504 or 510 says so (other readers cut it
  // at the smaller of the two); the FOR text starts at 504.
  const char* pool = reinterpret_cast<const char*>(bytes + 512);
  size_t keyEnd = ::strnlen(pool, 512);
  uint16_t forStart = GetLe16(bytes + 504);
  uint16_t keyLen510 = GetLe16(bytes + 510);
  size_t limit = forStart;
  if (keyLen510 != 0 && keyLen510 < limit) limit = keyLen510;
  if (limit > 0 && limit - 1 < keyEnd) keyEnd = limit - 1;
  header.keyExpression.assign(pool, keyEnd);
  if (forStart >= 512) return Status::Error("index header: FOR expression outside the pool");
  if (forStart > 0)
    header.forExpression.assign(pool + forStart, ::strnlen(pool + forStart, 512 - forStart));
  return header;
}

Status IndexHeader::Encode(uint8_t* bytes) const {
  if (keyExpression.size() + forExpression.size() + 2 > 512)
    return Status::Error("key and FOR expressions are too long for an index header");
  std::memset(bytes, 0, kSize);
  PutLe32(bytes, root);
  PutLe32(bytes + 4, freeList);
  PutBe32(bytes + 8, counter);
  PutLe16(bytes + 12, keyLength);
  bytes[14] = options;
  bytes[15] = signature;
  PutLe16(bytes + 502, descending ? 1 : 0);
  uint16_t keyTotal = static_cast<uint16_t>(keyExpression.size() + 1);
  PutLe16(bytes + 504, keyTotal);
  PutLe16(bytes + 506, static_cast<uint16_t>(forExpression.size() + 1));
  PutLe16(bytes + 510, keyTotal);
  std::memcpy(bytes + 512, keyExpression.data(), keyExpression.size());
  std::memcpy(bytes + 512 + keyTotal, forExpression.data(), forExpression.size());
  return Status::Ok();
}

}  // namespace xb
