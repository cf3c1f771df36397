// An open compound index file: its tag directory and one B+tree per tag.
//
// File layout: the directory header at 0 (1024 bytes, see IndexHeader) and the directory's
// own B+tree, whose keys are the tag names (upper case, blank-padded to 10) and whose record
// numbers are the file offsets of the tags' 1024-byte headers. Every other page belongs to a
// tag or to the free list; where it lies is free, every reference being a byte offset.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Status.h"
#include "cdx/IndexHeader.h"
#include "cdx/PageFile.h"
#include "cdx/TagTree.h"
#include "fs/FileSystem.h"

namespace xb {

struct CdxTag {
  std::string name;  // as stored in the directory, trailing blanks removed
  uint32_t headerOffset = 0;
  IndexHeader header;
};

class CdxFile {
 public:
  // Opens an index file through the current file system (read-only unless `writable`). Fails
  // when the directory or a tag header cannot be read or makes no sense; the tags' trees are
  // only read when used (Check() reads them all).
  static Result<std::unique_ptr<CdxFile>> Open(const std::string& path, bool writable,
                                               size_t cacheNodes = PageFile::kDefaultCacheNodes);
  static Result<std::unique_ptr<CdxFile>> Open(std::unique_ptr<File> file,
                                               size_t cacheNodes = PageFile::kDefaultCacheNodes);

  // The tags in the order of their header offsets, which is the order they were created in.
  const std::vector<CdxTag>& Tags() const { return FTags; }
  // The tag of that name (without regard to case, cut to 10 characters), or -1.
  int Find(std::string_view name) const;
  // The tree of tag `i`; its keys are of `kind` (the type of the key expression, which the
  // file does not record). The tree lives as long as this object.
  TagTree& Tree(size_t i, KeyKind kind);
  const IndexHeader& DirectoryHeader() const { return FDirectory; }

  // Checks every tag's tree (see TagTree::Check), taking character keys for tags whose
  // tree has not been opened yet; the first failure names the tag.
  Status Check();

  // Adds 1 to the change counter (other programs sharing the file see that their cached
  // pages are stale); written by the next Flush.
  void BumpCounter() { ++FDirectory.counter, FCounterChanged = true; }
  Status Flush(bool sync);
  PageFile& Pages() { return *FPages; }

  // A tag name as the directory stores it: upper case, cut to 10, blank-padded.
  static std::string DirectoryKey(std::string_view name);

 private:
  CdxFile() = default;
  Status Load();

  std::unique_ptr<PageFile> FPages;
  IndexHeader FDirectory;
  std::vector<CdxTag> FTags;
  std::vector<std::unique_ptr<TagTree>> FTrees;
  bool FCounterChanged = false;
};

}  // namespace xb
