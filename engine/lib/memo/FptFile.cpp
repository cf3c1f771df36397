#include "memo/FptFile.h"

#include <algorithm>

namespace xb {
namespace {

constexpr uint32_t kHeaderBytes = 512;
constexpr uint32_t kMaxMemo = 0x7FFFFFFF;

uint32_t Be32(const unsigned char* b) {
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
}
void PutBe32(char* b, uint32_t v) {
  b[0] = char(v >> 24);
  b[1] = char(v >> 16);
  b[2] = char(v >> 8);
  b[3] = char(v);
}
uint32_t FirstBlock(uint32_t blockSize) {
  return (kHeaderBytes + blockSize - 1) / blockSize;
}

}  // namespace

Result<std::unique_ptr<FptFile>> FptFile::Open(const std::string& path, bool readOnly) {
  auto file = CurrentFileSystem().Open(path, readOnly ? OpenMode::kRead : OpenMode::kReadWrite);
  if (!file) return file.status();
  auto size = (*file)->Size();
  if (!size) return size.status();
  unsigned char head[8];
  auto got = (*file)->ReadAt(0, head, sizeof head);
  if (!got) return got.status();
  if (*got < sizeof head || *size < kHeaderBytes)
    return Status::Error("memo file is too short: " + path);
  uint32_t blockSize = uint32_t(head[6]) << 8 | head[7];
  if (blockSize == 0) blockSize = 1;
  uint32_t nextFree = Be32(head);
  // A next-free below the data area or past the file end is repaired on the next append from
  // what the file really holds.
  uint64_t blocksInFile = (*size + blockSize - 1) / blockSize;
  if (nextFree < FirstBlock(blockSize) || nextFree > blocksInFile)
    nextFree = uint32_t(std::max<uint64_t>(FirstBlock(blockSize), blocksInFile));
  return std::unique_ptr<FptFile>(new FptFile(std::move(*file), blockSize, nextFree, *size));
}

Status FptFile::Create(const std::string& path, uint32_t blockSize) {
  FileSystem& fs = CurrentFileSystem();
  if (fs.Exists(path)) return Status::Error("file exists: " + path);
  if (blockSize == 0 || blockSize > 0xFFFF) blockSize = 64;
  auto file = fs.Open(path, OpenMode::kCreate);
  if (!file) return file.status();
  std::string head(kHeaderBytes, '\0');
  // Data starts at the first whole block after the header.
  uint32_t first = FirstBlock(blockSize);
  PutBe32(head.data(), first);
  head[6] = char(blockSize >> 8);
  head[7] = char(blockSize);
  head.resize(std::max<uint64_t>(kHeaderBytes, uint64_t(first) * blockSize), '\0');
  return (*file)->WriteAt(0, head.data(), head.size());
}

Result<uint32_t> FptFile::HeaderAt(uint32_t block, uint64_t* dataOffset) {
  if (block < FirstBlock(FBlockSize)) return Status::Error("memo block number is invalid");
  uint64_t at = uint64_t(block) * FBlockSize;
  if (at + 8 > FSize) return Status::Error("memo block lies past the end of the memo file");
  unsigned char head[8];
  auto got = FFile->ReadAt(at, head, 8);
  if (!got) return got.status();
  if (*got < 8) return Status::Error("memo block lies past the end of the memo file");
  uint32_t length = Be32(head + 4);
  if (length > kMaxMemo || at + 8 + length > FSize)
    return Status::Error("memo runs past the end of the memo file");
  *dataOffset = at + 8;
  return length;
}

Result<uint32_t> FptFile::Length(uint32_t block) {
  uint64_t at;
  return HeaderAt(block, &at);
}

Result<std::string> FptFile::Read(uint32_t block) {
  uint64_t at = 0;
  auto length = HeaderAt(block, &at);
  if (!length) return length.status();
  std::string data(*length, '\0');
  auto got = FFile->ReadAt(at, data.data(), data.size());
  if (!got) return got.status();
  if (*got < data.size()) return Status::Error("memo runs past the end of the memo file");
  return data;
}

Result<uint32_t> FptFile::Append(std::string_view data, uint32_t type) {
  if (data.size() > kMaxMemo - 8) return Status::Error("memo is too long");
  uint64_t blocks = (8 + data.size() + FBlockSize - 1) / FBlockSize;
  if (uint64_t(FNextFree) + blocks > 0xFFFFFFFFull) return Status::Error("memo file is full");
  uint32_t block = FNextFree;
  std::string bytes(size_t(blocks * FBlockSize), '\0');
  PutBe32(bytes.data(), type);
  PutBe32(bytes.data() + 4, uint32_t(data.size()));
  std::copy(data.begin(), data.end(), bytes.begin() + 8);
  uint64_t at = uint64_t(block) * FBlockSize;
  if (Status s = FFile->WriteAt(at, bytes.data(), bytes.size()); !s) return s;
  FSize = std::max<uint64_t>(FSize, at + bytes.size());
  char next[4];
  PutBe32(next, uint32_t(block + blocks));
  if (Status s = FFile->WriteAt(0, next, 4); !s) return s;
  FNextFree = uint32_t(block + blocks);
  return block;
}

}  // namespace xb
