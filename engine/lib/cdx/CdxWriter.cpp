#include "cdx/CdxWriter.h"

#include <algorithm>

#include "cdx/CdxFile.h"

namespace xb {

Result<std::unique_ptr<CdxWriter>> CdxWriter::Create(const std::string& path) {
  Result<std::unique_ptr<File>> file = CurrentFileSystem().Open(path, OpenMode::kCreate);
  if (!file) return file.status();
  return std::make_unique<CdxWriter>(std::move(*file));
}

CdxWriter::CdxWriter(std::unique_ptr<File> file)
    : FRun(new RunBufferedFile(std::move(file))), FPages(std::unique_ptr<File>(FRun), 0, 8) {
  // Directory header and its root leaf come first, written by Finish.
  (void)FPages.Allocate(2);
  (void)FPages.Allocate(1);
}

Status CdxWriter::BeginTag(const CdxTagSpec& spec, uint32_t recnoBound) {
  if (FBuilder) return Status::Error("a tag is still being written");
  std::string key = CdxFile::DirectoryKey(spec.name);
  if (spec.name.empty() || key.find_first_not_of(' ') == std::string::npos)
    return Status::Error("empty tag name");
  for (const Written& tag : FTags)
    if (tag.key == key) return Status::Error("tag " + spec.name + " is given twice");
  if (spec.keyLength < 1 || spec.keyLength > 240)
    return Status::Error("key length " + std::to_string(spec.keyLength) + " is outside 1-240");
  FHeader = IndexHeader();
  FHeader.keyLength = static_cast<uint16_t>(spec.keyLength);
  FHeader.options = IndexHeader::kCompact | IndexHeader::kCompound |
                    (spec.unique ? IndexHeader::kUnique : 0) |
                    (spec.forExpression.empty() ? 0 : IndexHeader::kHasFor);
  FHeader.descending = spec.descending;
  FHeader.keyExpression = spec.keyExpression;
  FHeader.forExpression = spec.forExpression;
  uint8_t probe[IndexHeader::kSize];
  Status s = FHeader.Encode(probe);
  if (!s) return s;
  Result<uint32_t> offset = FPages.Allocate(2);
  if (!offset) return offset.status();
  FHeaderOffset = *offset;
  FTags.push_back(Written{key, FHeaderOffset});
  FBuilder.emplace(FPages, spec.keyLength, spec.kind, recnoBound);
  return Status::Ok();
}

Status CdxWriter::Add(std::string_view key, uint32_t recno) {
  if (!FBuilder) return Status::Error("no tag is being written");
  return FBuilder->Add(key, recno);
}

Status CdxWriter::EndTag() {
  if (!FBuilder) return Status::Error("no tag is being written");
  Result<uint32_t> root = FBuilder->Finish();
  FBuilder.reset();
  if (!root) return root.status();
  FHeader.root = *root;
  uint8_t bytes[IndexHeader::kSize];
  Status s = FHeader.Encode(bytes);
  if (!s) return s;
  return FPages.Write(FHeaderOffset, bytes, sizeof bytes);
}

Status CdxWriter::Finish(bool sync) {
  if (FBuilder) return Status::Error("a tag is still being written");
  std::vector<Written> sorted = FTags;
  std::sort(sorted.begin(), sorted.end(),
            [](const Written& a, const Written& b) { return a.key < b.key; });
  Node leaf(true, 10, 0x20);
  leaf.SetRoot(true);
  leaf.RaiseRecnoBound(static_cast<uint32_t>(FPages.Size()));
  for (const Written& tag : sorted) leaf.Insert(leaf.Count(), tag.key, tag.headerOffset);
  if (!leaf.Fits()) return Status::Error("too many tags for one index file");
  uint8_t page[Node::kPageSize];
  if (!leaf.Encode(page)) return Status::Error("too many tags for one index file");
  Status s = FPages.Write(0x400, page, sizeof page);
  if (!s) return s;
  uint8_t header[IndexHeader::kSize];
  s = IndexHeader::Directory().Encode(header);
  if (!s) return s;
  s = FPages.Write(0, header, sizeof header);
  if (!s) return s;
  s = FPages.Flush(sync);
  if (!s) return s;
  return FRun->Drain();
}

}  // namespace xb
