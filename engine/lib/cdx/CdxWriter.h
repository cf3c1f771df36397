// Writes a whole compound index file in one pass: used to create an index, to add or replace
// a tag (the other tags are copied over) and to rebuild after pack or zap. The file is meant
// to be written beside the old one and renamed over it once Finish() succeeded.
//
// Layout of the result: directory header at 0, the directory's root leaf at 0x400, then for
// each tag in the order given its header (2 pages) followed by its nodes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Status.h"
#include "cdx/IndexHeader.h"
#include "cdx/KeyCodec.h"
#include "cdx/PageFile.h"
#include "cdx/TagBuilder.h"
#include "fs/RunBufferedFile.h"

namespace xb {

struct CdxTagSpec {
  std::string name;  // stored upper case, cut to 10
  std::string keyExpression;
  std::string forExpression;  // empty: none
  int keyLength = 0;
  KeyKind kind = KeyKind::kCharacter;
  bool descending = false;
  bool unique = false;
};

class CdxWriter {
 public:
  // Creates (or truncates) the file at `path` through the current file system.
  static Result<std::unique_ptr<CdxWriter>> Create(const std::string& path);
  explicit CdxWriter(std::unique_ptr<File> file);

  // Starts a tag; its entries follow with Add, in (key, record number) order. `recnoBound` is
  // the table's record count. Fails for a name already used, a key length outside 1-240 and
  // expressions too long for the header.
  Status BeginTag(const CdxTagSpec& spec, uint32_t recnoBound);
  Status Add(std::string_view key, uint32_t recno);
  Status EndTag();
  // Writes the directory, then syncs when `sync`.
  Status Finish(bool sync);

 private:
  struct Written {
    std::string key;  // directory key
    uint32_t headerOffset;
  };
  RunBufferedFile* FRun;  // owned by FPages: pages reach the file in runs, not one by one
  PageFile FPages;
  std::vector<Written> FTags;
  std::optional<TagBuilder> FBuilder;
  IndexHeader FHeader;
  uint32_t FHeaderOffset = 0;
};

}  // namespace xb
