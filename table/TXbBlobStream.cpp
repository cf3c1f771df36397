#include "TXbBlobStream.h"

#include <cstring>

#include "TXbTable.h"

using E = TXbAccess;

TXbBlobStream::TXbBlobStream(TXbTable& table, TField* field, TBlobStreamMode mode)
    : FTable(table), FField(field), FMode(mode), FBuffer(nullptr) {
  if (!field || !field->IsBlob() || table.BlobIndex(field) < 0 || !table.FCursorOpen) return;
  TDataSetState state = table.State();
  if (mode != bmRead && state != dsEdit && state != dsInsert && state != dsSetKey)
    throw EXbError("Data set must be in Edit or Insert mode to update");
  FBuffer = state == dsFilter ? table.FFilterBuffer : table.ActiveBuffer();
  if (!FBuffer) return;
  TBlobSlot* slot = table.Slot(FBuffer, table.BlobIndex(field));
  bool wanted = (mode != bmWrite && !field->IsNull()) || state == dsCalcFields;
  if (wanted &&
      (!slot->Loaded || state == dsOldValue || state == dsCalcFields || table.SpeedMode())) {
    const TXbRoute* route = table.R();
    table.Select();
    int32_t saved = table.RecNo();
    table.Select();
    E::xb_Go(route, state == dsFilter ? table.GetBookmarkData(table.FFilterBuffer) : saved);
    int32_t length = 0;
    if (table.TableType() != ttXBNTX) length = E::xb_GetBlobLength(route, field->FieldName.c_str());
    delete[] slot->Content;
    slot->Content = nullptr;
    if (field->DataType() == ftMemo && length < 65535) {
      char* text = E::xb_GetMemo(route, field->FieldName.c_str(), 0);
      std::string t = text ? text : "";
      if (table.TableType() == ttXBNTX) length = static_cast<int32_t>(t.size());
      length = std::min<int32_t>(length, static_cast<int32_t>(t.size()));
      slot->Content = new char[static_cast<size_t>(length) + 1];
      std::memcpy(slot->Content, t.data(), static_cast<size_t>(length));
      slot->Content[length] = 0;
      // Released whatever its length: an empty memo still comes back as an allocation.
      if (text) E::xb_MemDealloc(route, text);
    } else if (length > 0) {
      slot->Content = new char[static_cast<size_t>(length) + 1]();
      E::xb_GetBlob(route, field->FieldName.c_str(), slot->Content);
    }
    slot->Length = length;
    slot->Loaded = true;
    E::xb_Go(route, saved);
    table.CursorPosChanged();
  }
  if (table.Active() && mode != bmWrite && slot->Content) {
    FData.assign(slot->Content, static_cast<size_t>(slot->Length));
    FPosition = 0;
  }
}

TXbBlobStream::~TXbBlobStream() {
  if (FMode == bmRead || !FBuffer) return;
  TBlobSlot* slot = FTable.Slot(FBuffer, FTable.BlobIndex(FField));
  delete[] slot->Content;
  slot->Content = new char[FData.size() + 1];
  std::memcpy(slot->Content, FData.data(), FData.size());
  slot->Content[FData.size()] = 0;
  slot->Length = static_cast<int32_t>(FData.size());
  slot->Modified = true;
  slot->Loaded = true;
  // The field counts as holding a value once it has content.
  const TFieldInfo& column = FTable.FColumns[FField->FieldNo() - 1];
  FBuffer[column.BufferOffset] = FData.empty() ? 0 : 1;
  try {
    FTable.DataEvent(deFieldChange, reinterpret_cast<intptr_t>(FField));
  } catch (...) {
    // A destructor cannot report; the content is stored and the controls catch up later.
  }
}
