#include "WorkArea.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

#include "EngineSettings.h"
#include "dbf/FieldText.h"

namespace xb {
namespace {

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

std::string BaseNameUpper(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  for (char& c : name) c = Upper(c);
  return name;
}

std::string WithExtension(const std::string& path, const std::string& ext) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

// The expression context of one record image.
class RecordContext final : public ExprContext {
 public:
  RecordContext(DbfTable& table, uint32_t recno, std::string_view record)
      : FTable(table), FRecNo(recno), FRecord(record) {}
  std::string_view Record() const override { return FRecord; }
  uint32_t RecNo() const override { return FRecNo; }
  uint32_t RecCount() const override { return FTable.Count(); }
  std::string Memo(int field) const override {
    FptFile* memo = FTable.Memo();
    if (!memo || field < 0 || size_t(field) >= FTable.Fields().size()) return "";
    const FieldInfo& f = FTable.Fields()[size_t(field)];
    if (size_t(f.offset + f.width) > FRecord.size()) return "";
    std::string_view ref = FRecord.substr(size_t(f.offset), size_t(f.width));
    uint64_t block = 0;
    bool any = false;
    for (char c : ref) {
      if (c == ' ') continue;
      if (c < '0' || c > '9') return "";
      block = block * 10 + uint64_t(c - '0');
      any = true;
      if (block > 0xFFFFFFFFull) return "";
    }
    if (!any || block == 0) return "";
    auto text = memo->Read(uint32_t(block));
    return text ? *text : std::string();
  }
  bool Exact() const override { return Settings().exact; }
  int Epoch() const override { return Settings().epoch; }
  int DateFormat() const override { return Settings().dateFormat; }
  bool Century() const override { return Settings().century; }
  std::string Today() const override {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return buf;
  }

 private:
  DbfTable& FTable;
  uint32_t FRecNo;
  std::string_view FRecord;
};

}  // namespace

Result<std::unique_ptr<WorkArea>> WorkArea::Open(const std::string& path, std::string alias,
                                                 AccessMode mode, CommitLevel level) {
  auto table = DbfTable::Open(path, mode);
  if (!table) return table.status();
  std::unique_ptr<WorkArea> area(new WorkArea());
  area->FTable = std::move(*table);
  area->FLevel = level;
  if (alias.empty()) alias = BaseNameUpper(area->FTable->Path());
  for (char& c : alias) c = Upper(c);
  area->FAlias = std::move(alias);
  area->FRecord.assign(area->FTable->RecordLength(), ' ');
  IndexDriver& driver = CompoundIndexDriver();
  if (driver.Available()) {
    auto indexPath = ResolvePath(area->ProductionIndexPath());
    if (indexPath) {
      auto bag = driver.Open(*indexPath, *area, mode == AccessMode::kReadOnly);
      if (!bag) return bag.status();
      area->FBags.push_back(std::move(*bag));
    }
  }
  if (Status s = area->GoTop(); !s) return s;
  return area;
}

WorkArea::~WorkArea() {
  (void)Close();
}

Status WorkArea::Close() {
  if (FClosed) return Status::Ok();
  FClosed = true;
  Status result = Commit();
  FBags.clear();
  FQuery.reset();
  FTable.reset();
  return result;
}

std::string WorkArea::ProductionIndexPath() const {
  return WithExtension(FTable->Path(), ".CDX");
}

int WorkArea::FindField(std::string_view name) const {
  // Field names may come with blanks around them from callers that pad.
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  const auto& fields = FTable->Fields();
  for (size_t i = 0; i < fields.size(); ++i)
    if (SameIgnoringCase(fields[i].name, name)) return int(i);
  return -1;
}

Status WorkArea::Scan(const std::function<Status(uint32_t, std::string_view)>& visit) {
  std::string buffer(FTable->RecordLength(), ' ');
  for (uint32_t k = 1, n = FTable->Count(); k <= n; ++k) {
    if (Status s = FTable->Read(k, buffer.data()); !s) return s;
    if (Status s = visit(k, buffer); !s) return s;
  }
  return Status::Ok();
}

std::unique_ptr<ExprContext> WorkArea::ContextFor(uint32_t recno, std::string_view record) const {
  return std::make_unique<RecordContext>(*FTable, recno, record);
}

bool WorkArea::PassesFilters(uint32_t recno, std::string_view record) const {
  if (Settings().deletedHidden && !record.empty() && record[0] == '*') return false;
  if (FQuery) {
    RecordContext context(*FTable, recno, record);
    Value v = FQuery->Evaluate(context);
    if (!(v.type == ValueType::kLogical && v.logical)) return false;
  }
  return true;
}

bool WorkArea::InScope(const OrderEntry& entry) const {
  if (FOrder == 0) return true;
  Order* order = const_cast<WorkArea*>(this)->OrderAt(FOrder);
  if (!order) return true;
  if (FScopeLow && order->CompareToText(entry.key, *FScopeLow) < 0) return false;
  if (FScopeHigh && order->CompareToText(entry.key, *FScopeHigh) > 0) return false;
  return true;
}

void WorkArea::SetEnd() {
  FEof = true;
  FUnread = false;
  FRecNo = FTable->Count() + 1;
  std::fill(FRecord.begin(), FRecord.end(), ' ');
  FEntry = OrderEntry();
  FEntryKeyUnset = false;
}

void WorkArea::SetEntryOf(uint32_t recno) {
  FEntry = OrderEntry();
  FEntryKeyUnset = false;
  if (FOrder != 0) {
    FEntry.recno = recno;
    FEntryKeyUnset = true;
  }
}

const OrderEntry& WorkArea::CurrentEntry() {
  if (FEntryKeyUnset) {
    FEntryKeyUnset = false;
    if (Order* order = OrderAt(FOrder)) {
      auto key = order->KeyOf(FEntry.recno, Record());
      FEntry.key = key ? std::move(*key) : std::string();
    }
  }
  return FEntry;
}

Status WorkArea::Load(uint32_t recno) {
  if (Status s = FTable->Read(recno, FRecord.data()); !s) {
    SetEnd();
    return s;
  }
  FRecNo = recno;
  FEof = false;
  FUnread = false;
  return Status::Ok();
}

Status WorkArea::ReadCurrent() const {
  if (!FUnread) return Status::Ok();
  Status s = FTable->Read(FRecNo, FRecord.data());
  if (!s) {
    std::fill(FRecord.begin(), FRecord.end(), ' ');
    return s;
  }
  FUnread = false;
  return s;
}

std::string_view WorkArea::Record() const {
  (void)ReadCurrent();
  return FRecord;
}

Status WorkArea::PositionOn(uint32_t recno) {
  if (Status s = Load(recno); !s) return s;
  SetEntryOf(recno);
  return Status::Ok();
}

Result<bool> WorkArea::StepPhysical(bool forward, uint32_t from) {
  const uint32_t n = FTable->Count();
  FScratch.resize(FTable->RecordLength());
  if (forward) {
    for (uint64_t k = uint64_t(from) + 1; k <= n; ++k) {
      if (Status s = FTable->Read(uint32_t(k), FScratch.data()); !s) return s;
      if (PassesFilters(uint32_t(k), FScratch)) {
        FRecord.swap(FScratch);
        FUnread = false;
        FRecNo = uint32_t(k);
        return true;
      }
    }
  } else {
    for (uint32_t k = std::min(from == 0 ? 0 : from - 1, n); k >= 1; --k) {
      if (Status s = FTable->Read(k, FScratch.data()); !s) return s;
      if (PassesFilters(k, FScratch)) {
        FRecord.swap(FScratch);
        FUnread = false;
        FRecNo = k;
        return true;
      }
    }
  }
  return false;
}

Result<bool> WorkArea::StepOrdered(bool forward, OrderEntry entry) {
  Order* order = OrderAt(FOrder);
  if (!order) return Status::Error("no controlling index order");
  // A damaged index must not make a walk endless: no walk visits more entries than records.
  uint64_t budget = uint64_t(FTable->Count()) + 16;
  FScratch.resize(FTable->RecordLength());
  const bool filtered = FQuery || Settings().deletedHidden;
  while (entry.valid()) {
    if (budget-- == 0) return Status::Error("index order is damaged (it does not end)");
    bool inScope = true;
    if (FScopeLow && order->CompareToText(entry.key, *FScopeLow) < 0) {
      if (!forward) return false;
      inScope = false;
    }
    if (FScopeHigh && order->CompareToText(entry.key, *FScopeHigh) > 0) {
      if (forward) return false;
      inScope = false;
    }
    if (inScope) {
      if (entry.recno > FTable->Count())
        return Status::Error("index entry points past the last record");
      if (!filtered) {
        // A walk in index order jumps around the table: leave the read to whoever wants the
        // record.
        FRecNo = entry.recno;
        FEntry = std::move(entry);
        FEntryKeyUnset = false;
        FUnread = true;
        return true;
      }
      if (Status s = FTable->Read(entry.recno, FScratch.data()); !s) return s;
      if (PassesFilters(entry.recno, FScratch)) {
        FRecord.swap(FScratch);
        FUnread = false;
        FRecNo = entry.recno;
        FEntry = std::move(entry);
        FEntryKeyUnset = false;
        return true;
      }
    }
    auto next = forward ? order->Next(entry) : order->Prev(entry);
    if (!next) return next.status();
    entry = std::move(*next);
  }
  return false;
}

Result<bool> WorkArea::Step(bool forward) {
  if (FOrder == 0) return StepPhysical(forward, FRecNo);
  Order* order = OrderAt(FOrder);
  if (!order) return Status::Error("no controlling index order");
  const OrderEntry& from = CurrentEntry();
  auto next = forward ? order->Next(from) : order->Prev(from);
  if (!next) return next.status();
  return StepOrdered(forward, std::move(*next));
}

Result<bool> WorkArea::Edge(bool top) {
  if (FOrder == 0) return StepPhysical(top, top ? 0 : FTable->Count() + 1);
  Order* order = OrderAt(FOrder);
  if (!order) return Status::Error("no controlling index order");
  Result<OrderEntry> start = OrderEntry();
  if (top) {
    start = FScopeLow ? order->Seek(*FScopeLow) : order->First();
  } else if (FScopeHigh) {
    // The last entry that matches the high end: step past the matching ones.
    auto e = order->Seek(*FScopeHigh);
    if (!e) return e.status();
    uint64_t budget = uint64_t(FTable->Count()) + 16;
    while (e->valid() && order->CompareToText(e->key, *FScopeHigh) <= 0) {
      if (budget-- == 0) return Status::Error("index order is damaged (it does not end)");
      OrderEntry here = *e;
      e = order->Next(here);
      if (!e) return e.status();
    }
    start = e->valid() ? order->Prev(*e) : order->Last();
  } else {
    start = order->Last();
  }
  if (!start) return start.status();
  return StepOrdered(top, std::move(*start));
}

Status WorkArea::GoTop() {
  return GoEdge(true);
}

Status WorkArea::GoBottom() {
  return GoEdge(false);
}

Status WorkArea::GoEdge(bool top) {
  auto r = Edge(top);
  if (!r) {
    SetEnd();
    return r.status();
  }
  if (!*r) {
    SetEnd();
    FBof = true;
    return Status::Ok();
  }
  FEof = FBof = false;
  return Status::Ok();
}

Status WorkArea::Skip(int64_t count) {
  if (count == 0) {
    if (FEof) return Status::Ok();
    return PositionOn(FRecNo);
  }
  if (count > 0) {
    FBof = false;
    if (FEof) return Status::Ok();
    // Record order with nothing to skip: the next record is the one after.
    if (count == 1 && FOrder == 0 && !FQuery && !Settings().deletedHidden) {
      if (FRecNo >= FTable->Count()) {
        SetEnd();
        return Status::Ok();
      }
      return Load(FRecNo + 1);
    }
    for (int64_t i = 0; i < count; ++i) {
      auto r = Step(true);
      if (!r) {
        SetEnd();
        return r.status();
      }
      if (!*r) {
        SetEnd();
        break;
      }
    }
    return Status::Ok();
  }
  int64_t steps = -count;
  if (FEof) {
    // From the end, the first step back reaches the last record.
    if (Status s = GoBottom(); !s) return s;
    if (FEof) return Status::Ok();
    --steps;
  }
  FBof = false;
  for (int64_t i = 0; i < steps; ++i) {
    auto r = Step(false);
    if (!r) {
      SetEnd();
      return r.status();
    }
    if (!*r) {
      FBof = true;
      break;
    }
  }
  return Status::Ok();
}

Status WorkArea::Go(uint32_t recno) {
  FBof = false;
  if (recno < 1 || recno > FTable->Count()) {
    SetEnd();
    return Status::Error("no such record: " + std::to_string(recno));
  }
  return PositionOn(recno);
}

Result<uint32_t> WorkArea::CountVisible() {
  if (FOrder == 0 && !FQuery && !Settings().deletedHidden) return FTable->Count();
  std::string record = FRecord;
  bool unread = FUnread;
  uint32_t recno = FRecNo;
  OrderEntry entry = FEntry;
  bool entryKeyUnset = FEntryKeyUnset;
  bool eof = FEof, bof = FBof;
  uint32_t count = 0;
  Status status = Status::Ok();
  auto r = Edge(true);
  while (r && *r) {
    ++count;
    r = Step(true);
  }
  if (!r) status = r.status();
  FRecord = std::move(record);
  FUnread = unread;
  FRecNo = recno;
  FEntry = std::move(entry);
  FEntryKeyUnset = entryKeyUnset;
  FEof = eof;
  FBof = bof;
  if (!status) return status;
  return count;
}

Result<uint32_t> WorkArea::QueryCount() {
  if (!FQuery && !Settings().deletedHidden) return FTable->Count();
  uint32_t count = 0;
  Status s = Scan([&](uint32_t k, std::string_view rec) {
    if (PassesFilters(k, rec)) ++count;
    return Status::Ok();
  });
  if (!s) return s;
  return count;
}

Status WorkArea::NotifyChange(uint32_t recno, std::string_view before, std::string_view after) {
  Status result = Status::Ok();
  for (auto& bag : FBags) {
    Status s = bag->OnChange(recno, before, after);
    if (!s && result) result = s;
  }
  return result;
}

Status WorkArea::WriteCurrent(std::string_view image) {
  if (FEof) return Status::Error("no current record");
  if (FTable->ReadOnly()) return Status::Error("table is read-only");
  if (Status s = ReadCurrent(); !s) return s;
  if (Status s = FTable->Write(FRecNo, image.data()); !s) return s;
  if (FBags.empty()) {
    std::memcpy(FRecord.data(), image.data(), FRecord.size());
    return Status::Ok();
  }
  FBefore.assign(FRecord);
  FRecord.assign(image.data(), image.size());
  Status s = NotifyChange(FRecNo, FBefore, FRecord);
  SetEntryOf(FRecNo);
  return s;
}

Status WorkArea::PutRecord(std::string_view image) {
  if (image.size() != FRecord.size()) return Status::Error("record image has the wrong size");
  FImage.assign(image.data(), image.size());
  if (FImage[0] != '*') FImage[0] = ' ';
  return WriteCurrent(FImage);
}

Status WorkArea::ReplaceField(int field, std::string_view text) {
  if (field < 0 || size_t(field) >= Fields().size()) return Status::Error("no such field");
  const FieldInfo& f = Fields()[size_t(field)];
  if (Status s = ReadCurrent(); !s) return s;
  std::string& image = FImage;
  image.assign(FRecord);
  std::string value(text.substr(0, std::min<size_t>(text.size(), size_t(f.width))));
  if (f.type == 'N' || f.type == 'F') {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    if (e - b > size_t(f.width)) return Status::Error("value is too wide for field " + f.name);
    value = std::string(size_t(f.width) - (e - b), ' ') + std::string(text.substr(b, e - b));
  }
  value.resize(size_t(f.width), ' ');
  image.replace(size_t(f.offset), size_t(f.width), value);
  return WriteCurrent(image);
}

Status WorkArea::SetDeletedMark(bool deleted) {
  if (Status s = ReadCurrent(); !s) return s;
  std::string image = FRecord;
  image[0] = deleted ? '*' : ' ';
  if (image == FRecord) return FEof ? Status::Error("no current record") : Status::Ok();
  return WriteCurrent(image);
}

Status WorkArea::AppendBlank() {
  if (FTable->ReadOnly()) return Status::Error("table is read-only");
  FImage.assign(FTable->RecordLength(), ' ');
  if (Status s = FTable->Append(FImage.data()); !s) return s;
  FRecNo = FTable->Count();
  FRecord.assign(FImage);
  FUnread = false;
  FEof = FBof = false;
  SetEntryOf(FRecNo);
  if (FBags.empty()) return Status::Ok();
  Status result = Status::Ok();
  for (auto& bag : FBags) {
    Status s = bag->OnAppend(FRecNo, FRecord);
    if (!s && result) result = s;
  }
  return result;
}

Status WorkArea::AppendRecord(std::string_view image) {
  if (image.size() != FTable->RecordLength())
    return Status::Error("record image has the wrong size");
  if (Status s = FTable->Append(image.data()); !s) return s;
  Status result = Status::Ok();
  for (auto& bag : FBags) {
    Status s = bag->OnAppend(FTable->Count(), image);
    if (!s && result) result = s;
  }
  return result;
}

Status WorkArea::DropAppends(uint32_t count) {
  if (Status s = FTable->DropAppends(count); !s) return s;
  Status rebuilt = FBags.empty() ? Status::Ok() : RebuildIndexes();
  Status top = GoTop();
  return rebuilt ? top : rebuilt;
}

Status WorkArea::Commit() {
  if (!FTable) return Status::Ok();
  Status result = FTable->Commit(FLevel);
  for (auto& bag : FBags) {
    Status s = bag->Flush(FLevel == CommitLevel::kFull);
    if (!s && result) result = s;
  }
  return result;
}

Status WorkArea::RebuildIndexes() {
  Status result = Status::Ok();
  for (auto& bag : FBags) {
    Status s = bag->Rebuild(*this);
    if (!s && result) result = s;
  }
  return result;
}

Status WorkArea::Pack() {
  if (Status s = FTable->Pack(FLevel); !s) return s;
  Status rebuilt = RebuildIndexes();
  Status top = GoTop();
  return rebuilt ? top : rebuilt;
}

Status WorkArea::Zap() {
  if (Status s = FTable->Zap(FLevel); !s) return s;
  Status rebuilt = RebuildIndexes();
  Status top = GoTop();
  return rebuilt ? top : rebuilt;
}

Result<std::string> WorkArea::Memo(int field) {
  if (field < 0 || size_t(field) >= Fields().size()) return Status::Error("no such field");
  const FieldInfo& f = Fields()[size_t(field)];
  if (f.type != 'M' && f.type != 'G' && f.type != 'P')
    return Status::Error("field " + f.name + " is not a memo field");
  if (FEof) return std::string();
  if (Status s = ReadCurrent(); !s) return s;
  std::string_view ref = std::string_view(FRecord).substr(size_t(f.offset), size_t(f.width));
  uint64_t block = 0;
  if (f.width == 4) {  // binary block numbers of the later table versions
    for (int i = 3; i >= 0; --i) block = block << 8 | uint8_t(ref[size_t(i)]);
  } else {
    for (char c : ref) {
      if (c == ' ') continue;
      if (c < '0' || c > '9' || block > 0xFFFFFFFFull)
        return Status::Error("memo reference of field " + f.name + " is damaged");
      block = block * 10 + uint64_t(c - '0');
    }
  }
  if (block == 0) return std::string();
  if (block > 0xFFFFFFFFull)
    return Status::Error("memo reference of field " + f.name + " is damaged");
  FptFile* memo = FTable->Memo();
  if (!memo) return std::string();
  return memo->Read(uint32_t(block));
}

Status WorkArea::PutMemo(int field, std::string_view data) {
  if (field < 0 || size_t(field) >= Fields().size()) return Status::Error("no such field");
  const FieldInfo& f = Fields()[size_t(field)];
  if (f.type != 'M' && f.type != 'G' && f.type != 'P')
    return Status::Error("field " + f.name + " is not a memo field");
  if (FEof) return Status::Error("no current record");
  if (FTable->ReadOnly()) return Status::Error("table is read-only");
  FptFile* memo = FTable->Memo();
  if (!memo) return Status::Error("table has no memo file");
  std::string ref(size_t(f.width), ' ');
  if (!data.empty()) {
    auto block = memo->Append(data, f.type == 'M' ? 1 : 0);
    if (!block) return block.status();
    if (f.width == 4) {
      for (int i = 0; i < 4; ++i) ref[size_t(i)] = char((*block >> (8 * i)) & 0xFF);
    } else {
      std::string digits = std::to_string(*block);
      if (digits.size() > ref.size()) return Status::Error("memo file is too large");
      ref.replace(ref.size() - digits.size(), digits.size(), digits);
    }
  }
  if (Status s = ReadCurrent(); !s) return s;
  std::string image = FRecord;
  image.replace(size_t(f.offset), size_t(f.width), ref);
  return WriteCurrent(image);
}

int WorkArea::OrderCount() const {
  int n = 0;
  for (const auto& bag : FBags) n += bag->TagCount();
  return n;
}

Order* WorkArea::OrderAt(int order) {
  if (order < 1) return nullptr;
  for (auto& bag : FBags) {
    if (order <= bag->TagCount()) return &bag->Tag(order - 1);
    order -= bag->TagCount();
  }
  return nullptr;
}

IndexSet* WorkArea::BagOfOrder(int order) {
  if (order < 1) return nullptr;
  for (auto& bag : FBags) {
    if (order <= bag->TagCount()) return bag.get();
    order -= bag->TagCount();
  }
  return nullptr;
}

Status WorkArea::SetOrder(int order) {
  if (order < 0 || order > OrderCount()) return Status::Error("no such order");
  FOrder = order;
  FScopeLow.reset();
  FScopeHigh.reset();
  if (FEof) {
    FEntry = OrderEntry();
    FEntryKeyUnset = false;
  } else {
    SetEntryOf(FRecNo);
  }
  return Status::Ok();
}

int WorkArea::FindTag(std::string_view tag) {
  while (!tag.empty() && tag.back() == ' ') tag.remove_suffix(1);
  for (int i = 1, n = OrderCount(); i <= n; ++i)
    if (SameIgnoringCase(OrderAt(i)->Name(), tag)) return i;
  return 0;
}

Result<int> WorkArea::IndexTag(const std::string& file, const TagDefinition& definition) {
  IndexDriver& driver = CompoundIndexDriver();
  if (!driver.Available()) return Status::Error("index files are not supported");
  bool production = file.empty();
  std::string path = production ? ProductionIndexPath() : file;
  if (auto resolved = ResolvePath(path)) path = *resolved;
  int first = 1;
  IndexSet* bag = nullptr;
  for (auto& b : FBags) {
    if (b->Path() == path) {
      bag = b.get();
      break;
    }
    first += b->TagCount();
  }
  if (!bag) {
    auto opened = CurrentFileSystem().Exists(path) ? driver.Open(path, *this, FTable->ReadOnly())
                                                   : driver.Create(path, *this);
    if (!opened) return opened.status();
    FBags.push_back(std::move(*opened));
    bag = FBags.back().get();
    if (path == ProductionIndexPath() || (production)) {
      if (Status s = FTable->SetIndexFlag(true); !s) return s;
    }
  }
  auto index = bag->CreateTag(definition, *this);
  if (!index) return index.status();
  int order = first + *index;
  if (Status s = SetOrder(order); !s) return s;
  if (Status s = GoTop(); !s) return s;
  return order;
}

Result<int> WorkArea::OpenIndex(const std::string& file) {
  IndexDriver& driver = CompoundIndexDriver();
  if (!driver.Available()) return Status::Error("index files are not supported");
  auto path = ResolvePath(file);
  if (!path) return path.status();
  int first = 1;
  for (auto& b : FBags) {
    if (b->Path() == *path) return first;
    first += b->TagCount();
  }
  auto bag = driver.Open(*path, *this, FTable->ReadOnly());
  if (!bag) return bag.status();
  FBags.push_back(std::move(*bag));
  if (FBags.back()->TagCount() == 0) return Status::Error("index file has no tags: " + *path);
  return first;
}

Status WorkArea::CloseIndexes() {
  Status result = Status::Ok();
  for (auto& bag : FBags) {
    Status s = bag->Flush(FLevel == CommitLevel::kFull);
    if (!s && result) result = s;
  }
  FBags.clear();
  FOrder = 0;
  FScopeLow.reset();
  FScopeHigh.reset();
  FEntry = OrderEntry();
  FEntryKeyUnset = false;
  return result;
}

Status WorkArea::Reindex() {
  Status s = RebuildIndexes();
  Status top = GoTop();
  return s ? top : s;
}

Result<bool> WorkArea::Seek(std::string_view text) {
  FFound = false;
  Order* order = OrderAt(FOrder);
  if (!order) return Status::Error("no controlling index order");
  FBof = false;
  auto start = order->Seek(text);
  if (!start) {
    SetEnd();
    return start.status();
  }
  auto r = StepOrdered(true, std::move(*start));
  if (!r) {
    SetEnd();
    return r.status();
  }
  if (!*r) {
    SetEnd();
    return false;
  }
  FEof = false;
  FFound = order->Matches(FEntry.key, text, Settings().exact);
  if (!FFound && !Settings().softSeek) SetEnd();
  return FFound;
}

Status WorkArea::SetScope(std::optional<std::string> low, std::optional<std::string> high) {
  if (!low && !high) {
    FScopeLow.reset();
    FScopeHigh.reset();
    return Status::Ok();
  }
  if (!OrderAt(FOrder)) return Status::Error("no controlling index order");
  FScopeLow = std::move(low);
  FScopeHigh = std::move(high);
  return GoTop();
}

Result<double> WorkArea::Position() {
  if (Order* order = OrderAt(FOrder)) {
    if (FEof) return 1.0;
    return order->Position(CurrentEntry());
  }
  uint32_t n = FTable->Count();
  if (FEof) return 1.0;
  if (n <= 1) return 0.0;
  return double(FRecNo - 1) / double(n - 1);
}

Status WorkArea::GoPosition(double position) {
  if (!std::isfinite(position)) return Status::Error("invalid position");
  position = std::clamp(position, 0.0, 1.0);
  if (Order* order = OrderAt(FOrder)) {
    auto e = order->AtPosition(position);
    if (!e) return e.status();
    auto r = StepOrdered(true, std::move(*e));
    if (!r) {
      SetEnd();
      return r.status();
    }
    if (!*r) return GoBottom();
    FEof = FBof = false;
    return Status::Ok();
  }
  uint32_t n = FTable->Count();
  if (n == 0) {
    SetEnd();
    return Status::Ok();
  }
  return Go(1 + uint32_t(std::llround(position * double(n - 1))));
}

}  // namespace xb
