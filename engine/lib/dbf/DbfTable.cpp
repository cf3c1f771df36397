#include "dbf/DbfTable.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace xb {
namespace {

constexpr size_t kReadBlockBytes = size_t{256} << 10;
// A read that does not continue the last block (a seek, a walk in index order) fetches only the
// page around the record: reading a whole read-ahead block for it would cost more than the
// record is worth.
constexpr size_t kRandomReadBytes = 4096;
constexpr size_t kAppendBlockBytes = size_t{1} << 20;
constexpr size_t kPackBlockBytes = size_t{1} << 20;

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

void Today(int* y, int* m, int* d) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  *y = tm.tm_year + 1900;
  *m = tm.tm_mon + 1;
  *d = tm.tm_mday;
}

std::string ReplaceExtension(const std::string& path, const std::string& ext) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

}  // namespace

Result<std::string> ResolvePath(const std::string& path) {
  FileSystem& fs = CurrentFileSystem();
  if (fs.Exists(path)) return path;
  std::string dir = DirectoryOf(path);
  std::string name = dir.empty() ? path : path.substr(path.find_last_of('/') + 1);
  auto names = fs.List(dir);
  if (!names) return Status::Error("file not found: " + path);
  std::vector<std::string> hits;
  for (const std::string& n : *names)
    if (SameIgnoringCase(n, name)) hits.push_back(n);
  if (hits.empty()) return Status::Error("file not found: " + path);
  std::sort(hits.begin(), hits.end());
  std::string prefix = dir.empty() ? "" : (dir == "/" ? "/" : dir + "/");
  if (hits.size() > 1)
    return Status::Error("two files differ only in case: " + prefix + hits[0] + " and " + prefix +
                         hits[1]);
  return prefix + hits[0];
}

Result<std::unique_ptr<DbfTable>> DbfTable::Open(const std::string& path, AccessMode mode) {
  auto resolved = ResolvePath(path);
  if (!resolved) return resolved.status();
  FileSystem& fs = CurrentFileSystem();
  bool readOnly = mode == AccessMode::kReadOnly;
  auto file = fs.Open(*resolved, readOnly ? OpenMode::kRead : OpenMode::kReadWrite);
  if (!file) return file.status();
  if (Status s = (*file)->Lock(mode == AccessMode::kExclusive); !s) return s;
  auto size = (*file)->Size();
  if (!size) return size.status();

  std::string head(size_t(std::min<uint64_t>(*size, 65536)), '\0');
  auto got = (*file)->ReadAt(0, head.data(), head.size());
  if (!got) return got.status();
  head.resize(*got);
  auto header = ParseDbfHeader(head, *size);
  if (!header) return Status::Error(header.status().message() + ": " + *resolved);

  std::unique_ptr<DbfTable> t(new DbfTable());
  t->FPath = *resolved;
  t->FMode = mode;
  t->FFile = std::move(*file);
  t->FHeader = std::move(*header);
  t->FHeaderBytes = head.substr(0, t->FHeader.headerLength);
  uint64_t whole = (*size - t->FHeader.headerLength) / t->FHeader.recordLength;
  if (t->FHeader.recordCount > whole) {
    t->FRepairNote = "the header counts " + std::to_string(t->FHeader.recordCount) +
                     " records but the file holds " + std::to_string(whole) +
                     " complete ones; the table has those " + std::to_string(whole);
    t->FHeader.recordCount = uint32_t(whole);
  }
  t->FCommitted = t->FOnFile = t->FCount = t->FHeader.recordCount;

  if (t->FHeader.HasMemoFields() && t->FHeader.version != 0x83 && t->FHeader.version != 0x8B) {
    auto memoPath = ResolvePath(ReplaceExtension(t->FPath, ".FPT"));
    if (memoPath) {
      auto memo = FptFile::Open(*memoPath, readOnly);
      if (!memo) return memo.status();
      if (Status s = (*memo)->RawFile().Lock(mode == AccessMode::kExclusive); !s) return s;
      t->FMemo = std::move(*memo);
    } else if (t->FHeader.version == kDbfFptMemo) {
      return Status::Error("memo file is missing: " + ReplaceExtension(t->FPath, ".FPT"));
    }
  }
  return t;
}

Status DbfTable::Create(const std::string& path, std::vector<FieldInfo> fields,
                        uint32_t memoBlockSize) {
  auto header = NewDbfHeader(std::move(fields));
  if (!header) return header.status();
  FileSystem& fs = CurrentFileSystem();
  if (fs.Exists(path) || ResolvePath(path).ok()) return Status::Error("file exists: " + path);
  std::string memoPath = ReplaceExtension(path, ".FPT");
  bool memo = header->HasMemoFields();
  if (memo && (fs.Exists(memoPath) || ResolvePath(memoPath).ok()))
    return Status::Error("file exists: " + memoPath);
  if (memo) {
    if (Status s = FptFile::Create(memoPath, memoBlockSize); !s) return s;
  }
  int y, m, d;
  Today(&y, &m, &d);
  std::string bytes = EncodeDbfHeader(*header, y, m, d);
  bytes.push_back(char(kDbfEndOfFile));
  auto file = fs.Open(path, OpenMode::kCreate);
  if (!file) return file.status();
  return (*file)->WriteAt(0, bytes.data(), bytes.size());
}

Status DbfTable::LoadBlock(uint32_t recno) {
  const uint32_t r = FHeader.recordLength;
  const bool forward = FCacheCount != 0 && recno == FCacheFirst + FCacheCount;
  const bool backward = FCacheCount != 0 && recno + 1 == FCacheFirst;
  const bool sequential = FCacheCount == 0 || forward || backward;
  uint32_t per =
      uint32_t(std::max<size_t>(1, (sequential ? kReadBlockBytes : kRandomReadBytes) / r));
  uint32_t first = recno;
  if (backward) {
    // Walking backwards: read the block that ends at the wanted record.
    first = recno >= per ? recno - per + 1 : 1;
  } else if (!sequential) {
    first = recno - (recno - 1) % per;
  }
  uint32_t count = std::min<uint32_t>(per, FOnFile - first + 1);
  FCache.resize(std::max(FCache.size(), size_t(per) * r));
  FCacheCount = 0;
  auto got = FFile->ReadAt(RecordOffset(first), FCache.data(), size_t(count) * r);
  if (!got) return got.status();
  FCacheFirst = first;
  FCacheCount = uint32_t(*got / r);
  if (recno < FCacheFirst || recno >= FCacheFirst + FCacheCount)
    return Status::Error("record " + std::to_string(recno) + " lies past the end of " + FPath);
  return Status::Ok();
}

Status DbfTable::ReadSlow(uint32_t recno, char* out) {
  const uint32_t r = FHeader.recordLength;
  if (recno < 1 || recno > FCount) return Status::Error("no such record");
  if (recno > FOnFile) {
    std::memcpy(out, FAppends.data() + size_t(recno - FOnFile - 1) * r, r);
    return Status::Ok();
  }
  if (recno < FCacheFirst || recno >= FCacheFirst + FCacheCount) {
    if (Status s = LoadBlock(recno); !s) return s;
  }
  std::memcpy(out, FCache.data() + size_t(recno - FCacheFirst) * r, r);
  return Status::Ok();
}

Status DbfTable::Write(uint32_t recno, const char* record) {
  const uint32_t r = FHeader.recordLength;
  if (ReadOnly()) return Status::Error("table is read-only: " + FPath);
  if (recno < 1 || recno > FCount) return Status::Error("no such record");
  if (recno > FOnFile) {
    std::memcpy(FAppends.data() + size_t(recno - FOnFile - 1) * r, record, r);
    return Status::Ok();
  }
  if (Status s = FFile->WriteAt(RecordOffset(recno), record, r); !s) return s;
  FDirty = true;
  if (recno >= FCacheFirst && recno < FCacheFirst + FCacheCount)
    std::memcpy(FCache.data() + size_t(recno - FCacheFirst) * r, record, r);
  return Status::Ok();
}

Status DbfTable::Append(const char* record) {
  if (ReadOnly()) return Status::Error("table is read-only: " + FPath);
  if (FCount == 0xFFFFFFFEu) return Status::Error("table is full");
  FAppends.insert(FAppends.end(), record, record + FHeader.recordLength);
  ++FCount;
  if (FAppends.size() >= kAppendBlockBytes) return FlushAppends(false);
  return Status::Ok();
}

Status DbfTable::FlushAppends(bool withEndByte) {
  if (withEndByte) FAppends.push_back(char(kDbfEndOfFile));
  Status s = Status::Ok();
  if (!FAppends.empty())
    s = FFile->WriteAt(RecordOffset(FOnFile + 1), FAppends.data(), FAppends.size());
  if (withEndByte) FAppends.pop_back();
  if (!s) return s;
  FOnFile += uint32_t(FAppends.size() / FHeader.recordLength);
  FAppends.clear();
  return Status::Ok();
}

Status DbfTable::Commit(CommitLevel level) {
  if (ReadOnly()) return Status::Ok();
  if (FCount == FCommitted && !FDirty) return Status::Ok();
  if (FCount != FCommitted) {
    if (Status s = FlushAppends(true); !s) return s;
  }
  if (level == CommitLevel::kFull) {
    if (Status s = FFile->Sync(); !s) return s;
  }
  int y, m, d;
  Today(&y, &m, &d);
  DbfHeader h = FHeader;
  h.recordCount = FCount;
  std::string head = h.EncodeHead(y, m, d);
  // Date and count in one write: bytes 1-7.
  if (Status s = FFile->WriteAt(1, head.data() + 1, 7); !s) return s;
  // The count is in the file now, whether or not the sync below succeeds.
  FHeader.recordCount = FCount;
  FHeaderBytes.replace(0, 32, head);
  FCommitted = FCount;
  FDirty = false;
  if (level == CommitLevel::kFull) return FFile->Sync();
  return Status::Ok();
}

Status DbfTable::DropAppends(uint32_t count) {
  if (count < FCommitted || count > FCount) return Status::Error("cannot drop committed records");
  const uint32_t r = FHeader.recordLength;
  if (count >= FOnFile) {
    FAppends.resize(size_t(count - FOnFile) * r);
  } else {
    FOnFile = count;
    FAppends.clear();
  }
  FCount = count;
  FCacheFirst = FCacheCount = 0;
  return Status::Ok();
}

Status DbfTable::SetIndexFlag(bool on) {
  if (ReadOnly()) return Status::Error("table is read-only: " + FPath);
  uint8_t flags = on ? (FHeader.flags | kDbfFlagIndex) : (FHeader.flags & ~kDbfFlagIndex);
  if (flags == FHeader.flags) return Status::Ok();
  char b = char(flags);
  if (Status s = FFile->WriteAt(28, &b, 1); !s) return s;
  FHeader.flags = flags;
  FHeaderBytes[28] = b;
  return Status::Ok();
}

Status DbfTable::Pack(CommitLevel level) {
  if (ReadOnly()) return Status::Error("table is read-only: " + FPath);
  if (Status s = Commit(level); !s) return s;
  return Rewrite(".pack", level, true);
}

Status DbfTable::Zap(CommitLevel level) {
  if (ReadOnly()) return Status::Error("table is read-only: " + FPath);
  return Rewrite(".zap", level, false);
}

Status DbfTable::Rewrite(const std::string& suffix, CommitLevel level, bool keepLive) {
  FileSystem& fs = CurrentFileSystem();
  const std::string aside = FPath + suffix;
  const uint32_t r = FHeader.recordLength;
  const uint32_t h = FHeader.headerLength;
  auto created = fs.Open(aside, OpenMode::kCreate);
  if (!created) return created.status();
  std::unique_ptr<File> out = std::move(*created);
  auto fail = [&](Status s) {
    out.reset();
    fs.Remove(aside);
    return s;
  };

  uint32_t kept = 0;
  if (keepLive && FOnFile > 0) {
    uint32_t per = uint32_t(std::max<size_t>(1, kPackBlockBytes / r));
    std::vector<char> in(size_t(per) * r);
    std::vector<char> buffer;
    buffer.reserve(in.size() + r);
    uint64_t outAt = h;
    for (uint32_t first = 1; first <= FOnFile; first += per) {
      uint32_t count = std::min(per, FOnFile - first + 1);
      auto got = FFile->ReadAt(RecordOffset(first), in.data(), size_t(count) * r);
      if (!got) return fail(got.status());
      if (*got < size_t(count) * r)
        return fail(Status::Error("table file is shorter than its records: " + FPath));
      for (uint32_t i = 0; i < count; ++i) {
        const char* rec = in.data() + size_t(i) * r;
        if (rec[0] == '*') continue;
        buffer.insert(buffer.end(), rec, rec + r);
        ++kept;
      }
      if (buffer.size() >= kPackBlockBytes || first + count > FOnFile) {
        if (first + count > FOnFile) buffer.push_back(char(kDbfEndOfFile));
        if (Status s = out->WriteAt(outAt, buffer.data(), buffer.size()); !s) return fail(s);
        outAt += buffer.size();
        buffer.clear();
      }
    }
  } else {
    char end = char(kDbfEndOfFile);
    if (Status s = out->WriteAt(h, &end, 1); !s) return fail(s);
  }

  int y, m, d;
  Today(&y, &m, &d);
  DbfHeader nh = FHeader;
  nh.recordCount = kept;
  std::string head = FHeaderBytes;
  head.replace(0, 32, nh.EncodeHead(y, m, d));
  if (Status s = out->WriteAt(0, head.data(), head.size()); !s) return fail(s);
  if (level == CommitLevel::kFull) {
    if (Status s = out->Sync(); !s) return fail(s);
  }
  // The new file carries our lock before it takes the old one's name, so no other open can
  // slip in between.
  if (Status s = out->Lock(FMode == AccessMode::kExclusive); !s) return fail(s);
  if (Status s = fs.Rename(aside, FPath); !s) return fail(s);
  if (level == CommitLevel::kFull) {
    std::string dir = DirectoryOf(FPath);
    (void)fs.SyncDirectory(dir);
  }
  FFile = std::move(out);
  FHeader = nh;
  FHeaderBytes = head;
  FCommitted = FOnFile = FCount = kept;
  FAppends.clear();
  FDirty = false;
  FCacheFirst = FCacheCount = 0;
  return Status::Ok();
}

}  // namespace xb
