#include "cdx/CdxIndexSet.h"

#include <algorithm>
#include <cstring>

#include "cdx/CdxWriter.h"
#include "cdx/KeyMaker.h"
#include "cdx/KeySorter.h"
#include "fs/FileSystem.h"

namespace xb {
namespace {

size_t gCacheNodes = PageFile::kDefaultCacheNodes;

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

CdxTagSpec SpecOf(const CdxOrder& order) {
  const IndexHeader& h = order.Tag().header;
  return CdxTagSpec{order.Tag().name, h.keyExpression, h.forExpression, order.KeyLength(),
                    order.Kind(),     h.descending,    h.Unique()};
}

}  // namespace

CdxIndexSet::CdxIndexSet(std::string path, IndexedTable& table, bool readOnly)
    : FPath(std::move(path)), FTable(table), FReadOnly(readOnly) {}

CdxIndexSet::~CdxIndexSet() = default;

void CdxIndexSet::SetCacheNodes(size_t nodes) {
  gCacheNodes = nodes;
}

Result<std::unique_ptr<CdxIndexSet>> CdxIndexSet::Open(const std::string& path, IndexedTable& table,
                                                       bool readOnly) {
  std::unique_ptr<CdxIndexSet> set(new CdxIndexSet(path, table, readOnly));
  Status s = set->Load();
  if (!s) return Status::Error("index file " + path + " is unusable: " + s.message());
  std::vector<bool> rebuild(set->FOrders.size(), false);
  std::string reasons;
  for (size_t i = 0; i < set->FOrders.size(); ++i) {
    std::string why;
    Result<bool> ok = set->Trustworthy(i, why);
    if (!ok) return Status::Error("index file " + path + " is unusable: " + ok.status().message());
    if (!*ok) {
      rebuild[i] = true;
      reasons += (reasons.empty() ? "" : "; ") + set->FOrders[i]->Name() + ": " + why;
    }
  }
  if (!reasons.empty()) {
    if (readOnly)
      return Status::Error("index file " + path + " does not match its table (" + reasons +
                           "); open the table for writing to rebuild it");
    std::vector<CdxTagSpec> specs;
    for (const auto& order : set->FOrders) specs.push_back(SpecOf(*order));
    s = set->Rewrite(specs, rebuild, table);
    if (!s) return Status::Error("index file " + path + " could not be rebuilt: " + s.message());
  }
  return set;
}

Result<std::unique_ptr<CdxIndexSet>> CdxIndexSet::Create(const std::string& path,
                                                         IndexedTable& table) {
  if (CurrentFileSystem().Exists(path)) return Status::Error("index file exists: " + path);
  std::unique_ptr<CdxIndexSet> set(new CdxIndexSet(path, table, false));
  Status s = set->Rewrite({}, {}, table);
  if (!s) return s;
  return set;
}

Status CdxIndexSet::Load(bool keep) {
  auto file = CdxFile::Open(FPath, !FReadOnly, gCacheNodes);
  if (!file) {
    Retire();
    return file.status();
  }
  const std::vector<CdxTag>& tags = (*file)->Tags();
  keep = keep && tags.size() == FOrders.size();
  for (size_t i = 0; keep && i < tags.size(); ++i)
    keep = CdxFile::DirectoryKey(tags[i].name) == CdxFile::DirectoryKey(FOrders[i]->Name());
  std::vector<std::unique_ptr<CdxOrder>> orders;
  if (!keep) {
    for (const CdxTag& tag : tags) {
      auto order = CdxOrder::Make(tag, FTable);
      if (!order) {
        Retire();
        return order.status();
      }
      (*order)->SetBeforeRead([this] { return Settle(); });
      orders.push_back(std::move(*order));
    }
    FOrders = std::move(orders);
  }
  FFile = std::move(*file);
  FKeyMakers.clear();
  for (size_t i = 0; i < FOrders.size(); ++i) {
    FOrders[i]->Attach(FFile->Tree(i, FOrders[i]->Kind()));
    const CdxOrder& order = *FOrders[i];
    Result<KeyMaker> keys =
        KeyMaker::Make(order.Name(), order.KeyExpression(), order.Condition(), FTable);
    FKeyMakers.push_back(keys && keys->KeyLength() == order.KeyLength()
                             ? std::make_unique<KeyMaker>(std::move(*keys))
                             : nullptr);
  }
  DropPending();
  return Status::Ok();
}

// Leaves the set without tags. The orders live on until the set goes: one of them may be
// running the read that led here.
void CdxIndexSet::Retire() {
  for (auto& order : FOrders) FRetired.push_back(std::move(order));
  FOrders.clear();
  FFile.reset();
  DropPending();
}

void CdxIndexSet::DropPending() {
  FPending.clear();
  for (size_t i = 0; i < FOrders.size(); ++i)
    FPending.push_back(std::make_unique<KeySorter>(FOrders[i]->KeyLength(), 0));
  FLastAppend = 0;
  FLastImage.clear();
  FPendingCount = 0;
}

void CdxIndexSet::TakeLast() {
  if (FLastAppend == 0) return;
  for (size_t i = 0; i < FOrders.size(); ++i) {
    char* out = FPending[i]->Append(FLastAppend);
    bool keyed;
    if (FKeyMakers[i]) {
      keyed = FKeyMakers[i]->KeyOf(FLastAppend, FLastImage, out);
    } else {
      std::optional<std::string> key = FOrders[i]->KeyOf(FLastAppend, FLastImage);
      if ((keyed = key.has_value())) std::memcpy(out, key->data(), key->size());
    }
    if (keyed)
      ++FPendingCount;
    else
      FPending[i]->DropLast();
  }
  FLastAppend = 0;
}

Status CdxIndexSet::Settle() {
  if (FSettling) return Status::Ok();
  TakeLast();
  if (FPendingCount == 0) return Status::Ok();
  FSettling = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{FSettling};
  uint64_t entries = 0;
  for (auto& order : FOrders) {
    Result<uint64_t> count = order->Tree().Count();
    if (!count) return count.status();
    entries += *count;
  }
  // A batch this large beside the tags: one merge into packed leaves costs less than the
  // inserts, and leaves no half-full leaves behind. The rewrite copies every tag, so it pays
  // only once the batch is a good part of them.
  constexpr size_t kMergeAtLeast = 4096;
  if (FPendingCount >= kMergeAtLeast && FPendingCount * 32 >= entries) {
    std::vector<CdxTagSpec> specs;
    for (const auto& order : FOrders) specs.push_back(SpecOf(*order));
    return Rewrite(specs, std::vector<bool>(specs.size(), false), FTable);
  }
  for (size_t i = 0; i < FOrders.size(); ++i) {
    CdxOrder& order = *FOrders[i];
    KeySorter& batch = *FPending[i];
    order.Tree().SetRecnoHint(FTable.RecordCount());
    batch.Sort();
    for (size_t k = 0; k < batch.Count(); ++k) {
      Status s = order.Insert(batch.Key(k), batch.Recno(k));
      if (!s) return s;
    }
  }
  DropPending();
  return Status::Ok();
}

Result<bool> CdxIndexSet::Trustworthy(size_t i, std::string& why) {
  CdxOrder& order = *FOrders[i];
  if (order.Tag().header.keyLength != order.KeyLength()) {
    why = "key length " + std::to_string(order.Tag().header.keyLength) + ", the expression gives " +
          std::to_string(order.KeyLength());
    return false;
  }
  TagTree& tree = order.Tree();
  Result<uint64_t> count = tree.Check();
  if (!count) {
    why = count.status().message();
    return false;
  }
  uint32_t records = FTable.RecordCount();
  bool everyRecord = order.Condition().empty() && !order.Unique();
  if ((everyRecord && *count != records) || *count > records) {
    why = std::to_string(*count) + " entries for " + std::to_string(records) + " records";
    return false;
  }
  if (tree.MaxRecno() > records) {
    why =
        "an entry for record " + std::to_string(tree.MaxRecno()) + " of " + std::to_string(records);
    return false;
  }
  // Every entry against the table: the keys the records give now, sorted, walked beside the
  // tag. A UNIQUE tag keeps one record of each key, and not always the first (changes do not
  // repair it), so there each entry only has to be one that a record gives.
  const IndexHeader& header = order.Tag().header;
  Result<KeyMaker> keys =
      KeyMaker::Make(order.Name(), header.keyExpression, header.forExpression, FTable);
  if (!keys) return keys.status();
  KeySorter sort(order.KeyLength(), records);
  Status s = FTable.Scan([&](uint32_t k, std::string_view record) {
    if (!keys->KeyOf(k, record, sort.Append(k))) sort.DropLast();
    return Status::Ok();
  });
  if (!s) return s;
  sort.Sort();
  TagPosition pos;
  Result<bool> on = tree.First(pos);
  if (!on) return on.status();
  bool unique = order.Unique(), agree = true;
  std::string previousKey;
  s = sort.ForEach(false, [&](std::string_view key, uint32_t recno) {
    if (!agree || !*on) {
      agree = agree && unique;
      return Status::Ok();
    }
    if (pos.key == key && pos.recno == recno) {
      if (unique && pos.key == previousKey) agree = false;
      previousKey = pos.key;
      on = tree.Next(pos);
      if (!on) return on.status();
    } else if (!unique) {
      agree = false;
    }
    return Status::Ok();
  });
  if (!s) return s;
  if (!agree || *on) {
    why = "its entries do not match the keys of the records";
    return false;
  }
  return true;
}

Status CdxIndexSet::Rewrite(const std::vector<CdxTagSpec>& specs, const std::vector<bool>& build,
                            IndexedTable& table, bool sameTags) {
  std::string aside = FPath + ".tmp";
  std::vector<uint64_t> written;
  Status done = WriteAside(aside, specs, build, table, written);
  if (!done) {
    (void)CurrentFileSystem().Remove(aside);
    return done;
  }
  // The new file is complete on disk; only now does it take the old one's place. The orders
  // stay (with the same tags) and are attached to the new file's trees.
  FFile.reset();
  FileSystem& fs = CurrentFileSystem();
  Status s = fs.Rename(aside, FPath);
  if (!s) {
    (void)fs.Remove(aside);
    if (fs.Exists(FPath)) (void)Load(sameTags);
    return s;
  }
  s = fs.SyncDirectory(DirectoryOf(FPath));
  Status loaded = Load(sameTags);
  if (loaded) {
    for (size_t i = 0; i < FOrders.size() && i < written.size(); ++i)
      FOrders[i]->Tree().SetCount(written[i]);
  }
  if (!s) return s;
  return loaded;
}

Status CdxIndexSet::WriteAside(const std::string& aside, const std::vector<CdxTagSpec>& specs,
                               const std::vector<bool>& build, IndexedTable& table,
                               std::vector<uint64_t>& written) {
  written.assign(specs.size(), 0);
  {
    auto writer = CdxWriter::Create(aside);
    if (!writer) return writer.status();
    uint32_t records = table.RecordCount();
    for (size_t i = 0; i < specs.size(); ++i) {
      const CdxTagSpec& spec = specs[i];
      Status s = (*writer)->BeginTag(spec, records);
      if (!s) return s;
      if (build[i]) {
        // Keys from the table, for the new definition.
        Result<KeyMaker> keys =
            KeyMaker::Make(spec.name, spec.keyExpression, spec.forExpression, table);
        if (!keys) return keys.status();
        if (keys->KeyLength() != spec.keyLength)
          return Status::Error("tag " + spec.name + ": the key length changed");
        KeySorter sort(spec.keyLength, records);
        s = table.Scan([&](uint32_t recno, std::string_view record) {
          if (!keys->KeyOf(recno, record, sort.Append(recno))) sort.DropLast();
          return Status::Ok();
        });
        if (!s) return s;
        sort.Sort();
        s = sort.ForEach(spec.unique, [&](std::string_view key, uint32_t recno) {
          ++written[i];
          return (*writer)->Add(key, recno);
        });
      } else {
        // The tree's entries, merged with the appended records' entries still waiting.
        TagTree& tree = FOrders[i]->Tree();
        KeySorter* batch = i < FPending.size() ? FPending[i].get() : nullptr;
        if (batch) batch->Sort();
        size_t next = 0, waiting = batch ? batch->Count() : 0;
        std::string last;
        bool any = false;
        auto add = [&](std::string_view key, uint32_t recno) {
          // A UNIQUE tag takes no second entry for a key (the earlier record keeps it).
          if (spec.unique && any && last == key) return Status::Ok();
          if (spec.unique) last.assign(key);
          any = true;
          ++written[i];
          return (*writer)->Add(key, recno);
        };
        TagPosition pos;
        Result<bool> on = tree.First(pos);
        for (; on && *on; on = tree.Next(pos)) {
          for (; next < waiting; ++next) {
            int c = batch->Key(next).compare(pos.key);
            if (c > 0 || (c == 0 && batch->Recno(next) >= pos.recno)) break;
            s = add(batch->Key(next), batch->Recno(next));
            if (!s) return s;
          }
          if (next < waiting && batch->Key(next) == pos.key && batch->Recno(next) == pos.recno)
            ++next;  // already in the tree
          s = add(pos.key, pos.recno);
          if (!s) return s;
        }
        if (!on) return on.status();
        for (; next < waiting; ++next) {
          s = add(batch->Key(next), batch->Recno(next));
          if (!s) return s;
        }
      }
      if (!s) return s;
      s = (*writer)->EndTag();
      if (!s) return s;
    }
    return (*writer)->Finish(true);
  }
}

Result<int> CdxIndexSet::CreateTag(const TagDefinition& definition, IndexedTable& table) {
  if (FReadOnly) return Status::Error("the table is read-only");
  if (Status s = Settle(); !s) return Failed(s);
  auto key = Expression::Parse(definition.keyExpression, table.Schema());
  if (!key)
    return Status::Error("key expression \"" + definition.keyExpression +
                         "\": " + key.status().message());
  CdxTagSpec spec;
  spec.name = definition.name;
  spec.keyExpression = definition.keyExpression;
  spec.forExpression = definition.condition;
  spec.descending = definition.descending;
  spec.unique = definition.unique;
  Status s = CdxOrder::KeyShape(**key, spec.kind, spec.keyLength);
  if (!s) return s;
  if (!definition.condition.empty()) {
    auto condition = Expression::Parse(definition.condition, table.Schema());
    if (!condition)
      return Status::Error("FOR expression \"" + definition.condition +
                           "\": " + condition.status().message());
    if ((*condition)->Type() != ValueType::kLogical)
      return Status::Error("the FOR expression is not logical");
  }
  std::vector<CdxTagSpec> specs;
  std::vector<bool> build;
  std::string wanted = CdxFile::DirectoryKey(definition.name);
  int index = -1;
  for (const auto& order : FOrders) {
    bool replaced = CdxFile::DirectoryKey(order->Name()) == wanted;
    if (replaced) index = static_cast<int>(specs.size());
    specs.push_back(replaced ? spec : SpecOf(*order));
    build.push_back(replaced);
  }
  if (index < 0) {
    index = static_cast<int>(specs.size());
    specs.push_back(spec);
    build.push_back(true);
  }
  s = Rewrite(specs, build, table, false);
  if (!s) return s;
  return index;
}

Status CdxIndexSet::OnAppend(uint32_t recno, std::string_view record) {
  if (FBroken) return Repair();
  if (FReadOnly || FPending.size() != FOrders.size()) return Update(recno, std::nullopt, record);
  if (FLastAppend != 0 && recno <= FLastAppend) {
    // Not the next record (appends dropped and made again): put the batch in first.
    if (Status s = Settle(); !s) return Failed(s);
  }
  TakeLast();
  FLastAppend = recno;
  FLastImage.assign(record);
  size_t bytes = 0;
  for (size_t i = 0; i < FPending.size(); ++i)
    bytes += FPending[i]->Count() * (static_cast<size_t>(FOrders[i]->KeyLength()) + 4);
  if (bytes >= kPendingBytes) {
    if (Status s = Settle(); !s) return Failed(s);
  }
  return Status::Ok();
}

Status CdxIndexSet::OnChange(uint32_t recno, std::string_view before, std::string_view after) {
  if (FBroken) return Repair();
  if (recno != 0 && recno == FLastAppend) {
    // The record just appended gets its contents before its keys were taken.
    FLastImage.assign(after);
    return Status::Ok();
  }
  if (Status s = Settle(); !s) return Failed(s);
  return Update(recno, before, after);
}

Status CdxIndexSet::Update(uint32_t recno, std::optional<std::string_view> before,
                           std::string_view after) {
  if (FBroken) return Repair();
  for (auto& order : FOrders) {
    Status s = order->Update(recno, before, after);
    if (!s) return Failed(s);
  }
  return Status::Ok();
}

// A page that could not be read or written left a tag half changed in memory (or a batch
// could not be put in): the pages must not reach the file. The table holds the truth, so
// build the index anew.
Status CdxIndexSet::Failed(const Status& cause) {
  FBroken = true;
  Status repaired = Repair();
  return repaired ? repaired : Status::Error(cause.message() + "; " + repaired.message());
}

Status CdxIndexSet::Repair() {
  Status s = Rebuild(FTable);
  if (s) FBroken = false;
  return s;
}

Status CdxIndexSet::Rebuild(IndexedTable& table) {
  if (FReadOnly) return Status::Error("the table is read-only");
  std::vector<CdxTagSpec> specs;
  for (const auto& order : FOrders) specs.push_back(SpecOf(*order));
  return Rewrite(specs, std::vector<bool>(specs.size(), true), table);
}

Status CdxIndexSet::Flush(bool sync) {
  if (FBroken) return Repair();
  if (!FFile || FReadOnly) return Status::Ok();
  if (Status s = Settle(); !s) return Failed(s);
  if (!FFile) return Status::Ok();
  return FFile->Flush(sync);
}

}  // namespace xb
