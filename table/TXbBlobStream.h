// TXbBlobStream: a memory stream over one blob or memo field of a table's active record.
//
// Reading modes load the field's content from the table once per buffer (again in speed mode
// or in the calc-fields state); a stream in write mode starts empty. When a writing stream is
// destroyed its content becomes the field's new value in the record buffer; the table file
// changes only when the record is posted.
#pragma once

#include "TField.h"
#include "TMemoryStream.h"

class TXbTable;

class TXbBlobStream : public TMemoryStream {
 public:
  TXbBlobStream(TXbTable& table, TField* field, TBlobStreamMode mode);
  ~TXbBlobStream() override;

 private:
  TXbTable& FTable;
  TField* FField;
  TBlobStreamMode FMode;
  char* FBuffer;
};
