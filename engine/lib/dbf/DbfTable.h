// DbfTable: one open DBF file (and its FPT memo file): records by number, buffered appends,
// commits, pack and zap. Knows nothing of work areas, orders or expressions.
//
// Durability:
// - The record count in the header is the commit point of appends. Appended records are kept
//   in memory and written in large blocks behind the committed records; Commit writes what is
//   left and the 0x1A end byte, then the count (with kFull, syncing before and after). A crash
//   before the count is written leaves the table as it was at the last commit.
// - A rewrite of an existing record is one write of the whole record.
// - Pack and zap write the new table aside (<file>.pack / <file>.zap), then rename it over the
//   old one, so a crash leaves the old table or the new one.
// Damaged files:
// - A record count larger than the file holds is repaired on open: the table has the complete
//   records that are present (RepairNote says so); the file is not changed until a commit
//   writes the repaired count. A count smaller than the file holds is trusted (records past it
//   are the leftovers of an append that never committed).
// - A table file that shrinks while open makes reads past its end fail; never a crash.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Status.h"
#include "dbf/DbfHeader.h"
#include "fs/FileSystem.h"
#include "memo/FptFile.h"

namespace xb {

enum class AccessMode { kShared, kReadOnly, kExclusive };
enum class CommitLevel { kNone, kNormal, kFull };

// The file `path` names, looked up without regard to case in its directory when the exact name
// is missing. Fails when there is none, or when two or more names differ only in case.
Result<std::string> ResolvePath(const std::string& path);

class DbfTable {
 public:
  // Opens the table (and its FPT when it has memo fields). kExclusive holds an exclusive OS
  // lock on the files until the table is destroyed, the other modes a shared one; a
  // conflicting lock held by anyone makes the open fail at once.
  static Result<std::unique_ptr<DbfTable>> Open(const std::string& path, AccessMode mode);
  // Writes a new empty table with `fields` (and an empty FPT when one is of type M). Fails
  // when either file exists or the definition is invalid.
  static Status Create(const std::string& path, std::vector<FieldInfo> fields,
                       uint32_t memoBlockSize);

  DbfTable(const DbfTable&) = delete;
  DbfTable& operator=(const DbfTable&) = delete;
  ~DbfTable() = default;  // uncommitted appends are dropped: commit first

  const std::string& Path() const { return FPath; }
  const std::vector<FieldInfo>& Fields() const { return FHeader.fields; }
  uint32_t RecordLength() const { return FHeader.recordLength; }
  uint8_t Version() const { return FHeader.version; }
  // Records, the appends not yet committed included.
  uint32_t Count() const { return FCount; }
  bool ReadOnly() const { return FMode == AccessMode::kReadOnly; }
  AccessMode Mode() const { return FMode; }
  // Non-empty when the table was repaired on open; says what was done.
  const std::string& RepairNote() const { return FRepairNote; }
  // The memo file, or nullptr when the table has none.
  FptFile* Memo() { return FMemo.get(); }

  // Copies record `recno` (1..Count) into `out` (RecordLength bytes).
  Status Read(uint32_t recno, char* out) {
    // Most reads come from the read-ahead block: no call, no check beyond the window.
    if (recno - FCacheFirst < FCacheCount && recno <= FOnFile) {
      std::memcpy(out, FCache.data() + size_t(recno - FCacheFirst) * FHeader.recordLength,
                  FHeader.recordLength);
      return Status::Ok();
    }
    return ReadSlow(recno, out);
  }
  // Rewrites record `recno` (1..Count) from `record`.
  Status Write(uint32_t recno, const char* record);
  // Adds `record` as record Count()+1; part of the file at the next commit.
  Status Append(const char* record);
  Status Commit(CommitLevel level);
  // Forgets the appends after record `count`; only appends not yet committed can go.
  Status DropAppends(uint32_t count);
  // Removes the records marked deleted. Commits first.
  Status Pack(CommitLevel level);
  // Removes every record. Uncommitted appends are dropped.
  Status Zap(CommitLevel level);
  // Sets or clears header byte 28 bit 0x01 (the production index exists).
  Status SetIndexFlag(bool on);
  bool IndexFlag() const { return (FHeader.flags & kDbfFlagIndex) != 0; }

 private:
  DbfTable() = default;
  Status ReadSlow(uint32_t recno, char* out);
  Status FlushAppends(bool withEndByte);
  Status LoadBlock(uint32_t recno);
  Status Rewrite(const std::string& suffix, CommitLevel level, bool keepLive);
  uint64_t RecordOffset(uint32_t recno) const {
    return FHeader.headerLength + uint64_t(recno - 1) * FHeader.recordLength;
  }

  std::string FPath;
  AccessMode FMode = AccessMode::kShared;
  std::unique_ptr<File> FFile;
  std::unique_ptr<FptFile> FMemo;
  DbfHeader FHeader;
  std::string FHeaderBytes;  // bytes 0..H-1 as read or written
  std::string FRepairNote;
  uint32_t FCommitted = 0;  // the count in the file's header
  uint32_t FOnFile = 0;     // records written to the file (>= FCommitted)
  uint32_t FCount = 0;      // FOnFile + the records in FAppends
  bool FDirty = false;      // a record was rewritten since the last commit
  std::vector<char> FAppends;
  std::vector<char> FCache;  // read-ahead: records FCacheFirst .. FCacheFirst+FCacheCount-1
  uint32_t FCacheFirst = 0;
  uint32_t FCacheCount = 0;
};

}  // namespace xb
