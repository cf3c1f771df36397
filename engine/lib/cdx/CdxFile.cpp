#include "cdx/CdxFile.h"

#include <algorithm>

#include "cdx/Bytes.h"

namespace xb {

std::string CdxFile::DirectoryKey(std::string_view name) {
  std::string key(name.substr(0, 10));
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  key.resize(10, ' ');
  return key;
}

Result<std::unique_ptr<CdxFile>> CdxFile::Open(const std::string& path, bool writable,
                                               size_t cacheNodes) {
  Result<std::unique_ptr<File>> file =
      CurrentFileSystem().Open(path, writable ? OpenMode::kReadWrite : OpenMode::kRead);
  if (!file) return file.status();
  Result<std::unique_ptr<CdxFile>> cdx = Open(std::move(*file), cacheNodes);
  if (!cdx) return Status::Error(path + ": " + cdx.status().message());
  return cdx;
}

Result<std::unique_ptr<CdxFile>> CdxFile::Open(std::unique_ptr<File> file, size_t cacheNodes) {
  Result<uint64_t> size = file->Size();
  if (!size) return size.status();
  std::unique_ptr<CdxFile> cdx(new CdxFile());
  cdx->FPages = std::make_unique<PageFile>(std::move(file), *size, cacheNodes);
  Status s = cdx->Load();
  if (!s) return s;
  return cdx;
}

Status CdxFile::Load() {
  if (FPages->Size() < 3 * PageFile::kPageSize)
    return Status::Error("index file too short (" + std::to_string(FPages->Size()) + " bytes)");
  uint8_t bytes[IndexHeader::kSize];
  Status s = FPages->Read(0, bytes, sizeof bytes);
  if (!s) return s;
  Result<IndexHeader> directory = IndexHeader::Decode(bytes);
  if (!directory) return Status::Error("tag directory: " + directory.status().message());
  FDirectory = *directory;
  uint32_t freeHead = FDirectory.freeList == 0xFFFFFFFF ? 0 : FDirectory.freeList;
  FPages->SetFreeHead(freeHead);

  TagTree tree(*FPages, 0, FDirectory, KeyKind::kCharacter);
  Result<uint64_t> checked = tree.Check();
  if (!checked) return Status::Error("tag directory: " + checked.status().message());
  TagPosition pos;
  for (Result<bool> on = tree.First(pos);; on = tree.Next(pos)) {
    if (!on) return Status::Error("tag directory: " + on.status().message());
    if (!*on) break;
    CdxTag tag;
    tag.name = pos.key;
    while (!tag.name.empty() && (tag.name.back() == ' ' || tag.name.back() == '\0'))
      tag.name.pop_back();
    tag.headerOffset = pos.recno;
    if (tag.headerOffset < IndexHeader::kSize ||
        !FPages->Holds(tag.headerOffset, IndexHeader::kSize))
      return Status::Error("tag " + tag.name + ": header offset " +
                           std::to_string(tag.headerOffset) + " outside the file");
    s = FPages->Read(tag.headerOffset, bytes, sizeof bytes);
    if (!s) return s;
    Result<IndexHeader> header = IndexHeader::Decode(bytes);
    if (!header) return Status::Error("tag " + tag.name + ": " + header.status().message());
    tag.header = *header;
    FTags.push_back(std::move(tag));
  }
  std::sort(FTags.begin(), FTags.end(),
            [](const CdxTag& a, const CdxTag& b) { return a.headerOffset < b.headerOffset; });
  for (size_t i = 1; i < FTags.size(); ++i)
    if (FTags[i].headerOffset == FTags[i - 1].headerOffset)
      return Status::Error("tags " + FTags[i - 1].name + " and " + FTags[i].name +
                           " share one header");
  FTrees.resize(FTags.size());
  return Status::Ok();
}

int CdxFile::Find(std::string_view name) const {
  std::string key = DirectoryKey(name);
  for (size_t i = 0; i < FTags.size(); ++i)
    if (DirectoryKey(FTags[i].name) == key) return static_cast<int>(i);
  return -1;
}

TagTree& CdxFile::Tree(size_t i, KeyKind kind) {
  if (!FTrees[i] || FTrees[i]->Kind() != kind) {
    // A tree already in use may have moved its root; the new one starts from its header.
    IndexHeader header = FTrees[i] ? FTrees[i]->Header() : FTags[i].header;
    FTrees[i] = std::make_unique<TagTree>(*FPages, FTags[i].headerOffset, header, kind);
  }
  return *FTrees[i];
}

Status CdxFile::Check() {
  for (size_t i = 0; i < FTags.size(); ++i) {
    TagTree& tree = FTrees[i] ? *FTrees[i] : Tree(i, KeyKind::kCharacter);
    Result<uint64_t> count = tree.Check();
    if (!count) return Status::Error("tag " + FTags[i].name + ": " + count.status().message());
  }
  return Status::Ok();
}

Status CdxFile::Flush(bool sync) {
  if (FCounterChanged) {
    uint8_t bytes[4];
    PutBe32(bytes, FDirectory.counter);
    Status s = FPages->Write(8, bytes, 4);
    if (!s) return s;
    FCounterChanged = false;
  }
  return FPages->Flush(sync);
}

}  // namespace xb
