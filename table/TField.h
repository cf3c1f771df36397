// TField and its kinds: one object per field of a record set, reading its value from the
// record set's active buffer and writing it back through the record set (which marks the
// record modified and tells the controls).
//
// Raw values, as a record buffer holds them (after a null flag byte the record set keeps):
//   string: the characters and a NUL (Size + 1 bytes); smallint: int16; integer: int32;
//   Boolean: int16, 0 or -1; float: double; date: int32 day number, 1 = 1 January of year 1;
//   memo, blob: nothing (the content is reached through a blob stream).
// Text forms: strings as stored without trailing blanks; numbers in C notation with the
// user's decimal separator; Booleans "True"/"False"; dates by the short date format. A null
// value reads as "" and as 0; assigning "" makes the field null.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "TComponent.h"
#include "TDataSet.h"

class TMemoryStream;

enum TFieldKind { fkData, fkCalculated };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TField : public TComponent {
 public:
  explicit TField(TComponent* owner, TFieldType type, int32_t size = 0);
  ~TField() override;

  std::string FieldName;
  std::string DisplayLabel;
  bool Visible = true;
  bool ReadOnly = false;
  bool Required = false;
  TAlignment Alignment = taLeftJustify;
  TFieldKind FieldKind = fkData;
  std::function<void(TField&)> OnValidate;
  std::function<void(TField&)> OnChange;

  TDataSet* DataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* dataSet);
  int32_t Index() const;
  void SetIndex(int32_t index);
  TFieldType DataType() const { return FDataType; }
  int32_t Size() const { return FSize; }
  void SetSize(int32_t size) { FSize = size; }
  int32_t FieldNo() const { return FFieldNo; }
  void SetFieldNo(int32_t no) { FFieldNo = no; }
  // Offset of a calculated field's entry inside the calculated-field area.
  int32_t Offset() const { return FOffset; }
  void SetOffset(int32_t offset) { FOffset = offset; }
  int32_t DisplayWidth() const { return FDisplayWidth > 0 ? FDisplayWidth : DefaultWidth(); }
  void SetDisplayWidth(int32_t width) { FDisplayWidth = width; }
  std::string DisplayName() const { return DisplayLabel.empty() ? FieldName : DisplayLabel; }

  // Bytes of the raw value (without the null flag).
  virtual int32_t DataSize() const;
  bool IsBlob() const { return FDataType == ftMemo || FDataType == ftBlob; }

  bool IsNull() const;
  void Clear();

  virtual std::string AsString() const;
  virtual void SetAsString(const std::string& text);
  virtual double AsFloat() const;
  virtual void SetAsFloat(double value);
  virtual int32_t AsInteger() const;
  virtual void SetAsInteger(int32_t value);
  virtual bool AsBoolean() const;
  virtual void SetAsBoolean(bool value);
  // The text a control shows (display formats applied) and the text it edits.
  virtual std::string DisplayText() const { return AsString(); }
  virtual std::string Text() const { return AsString(); }
  void SetText(const std::string& text) { SetAsString(text); }

  // Raw access: false when the field has no value. SetData(nullptr) makes it null.
  bool GetData(void* destination) const;
  void SetData(const void* value);

 protected:
  virtual int32_t DefaultWidth() const { return 10; }
  [[noreturn]] void ConversionError(const char* to) const;
  void CheckWritable() const;

 private:
  TDataSet* FDataSet = nullptr;
  TFieldType FDataType;
  int32_t FSize;
  int32_t FFieldNo = 0;
  int32_t FOffset = 0;
  int32_t FDisplayWidth = 0;
};

class TStringField : public TField {
 public:
  explicit TStringField(TComponent* owner = nullptr, int32_t size = 20)
      : TField(owner, ftString, size) {}
  std::string AsString() const override;
  void SetAsString(const std::string& text) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;

 protected:
  int32_t DefaultWidth() const override { return Size(); }
};

// The common part of the 16-bit and 32-bit integer fields.
class TIntegerField : public TField {
 public:
  explicit TIntegerField(TComponent* owner = nullptr) : TIntegerField(owner, ftInteger) {}
  std::string AsString() const override;
  void SetAsString(const std::string& text) override;
  double AsFloat() const override { return AsInteger(); }
  void SetAsFloat(double value) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;

 protected:
  TIntegerField(TComponent* owner, TFieldType type);
  int32_t DefaultWidth() const override { return DataType() == ftSmallint ? 6 : 11; }
};

class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(TComponent* owner = nullptr) : TIntegerField(owner, ftSmallint) {}
};

class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* owner = nullptr) : TField(owner, ftBoolean) {}
  std::string AsString() const override;
  void SetAsString(const std::string& text) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  int32_t AsInteger() const override { return AsBoolean() ? -1 : 0; }
  double AsFloat() const override { return AsInteger(); }

 protected:
  int32_t DefaultWidth() const override { return 5; }
};

class TFloatField : public TField {
 public:
  explicit TFloatField(TComponent* owner = nullptr);
  std::string DisplayFormat;  // e.g. "0.00", "#,##0.00"; empty: Precision significant digits
  std::string EditFormat;
  int32_t Precision = 15;
  bool Currency = false;  // shown in the regional currency format

  std::string AsString() const override;
  void SetAsString(const std::string& text) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override { SetAsFloat(value); }
  std::string DisplayText() const override;
  std::string Text() const override;

  // Formats a value by a display format of '0', '#', ',' and '.' characters.
  static std::string FormatValue(double value, const std::string& format);

 protected:
  int32_t DefaultWidth() const override { return 10; }
};

class TDateField : public TField {
 public:
  explicit TDateField(TComponent* owner = nullptr) : TField(owner, ftDate) {}
  int32_t AsDate() const;  // day number; 0 when null or not a real day
  void SetAsDate(int32_t dayNumber);
  std::string AsString() const override;
  void SetAsString(const std::string& text) override;
  double AsFloat() const override { return AsDate(); }
  void SetAsFloat(double value) override { SetAsDate(static_cast<int32_t>(value)); }
  int32_t AsInteger() const override { return AsDate(); }
  void SetAsInteger(int32_t value) override { SetAsDate(value); }

  // Day numbers: 1 is 1 January of year 1 (proleptic Gregorian).
  static int32_t DayNumber(int year, int month, int day);  // 0 when not a real day
  static void SplitDayNumber(int32_t dayNumber, int& year, int& month, int& day);
  // Reads date text by the short date format (its order of d, m and y); 0 when it is no date.
  static int32_t ParseDate(const std::string& text);
  static std::string FormatDate(int32_t dayNumber, const std::string& format);

 protected:
  int32_t DefaultWidth() const override { return 10; }
};

class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* owner = nullptr) : TBlobField(owner, ftBlob) {}
  // The content, read through a blob stream of the record set.
  std::string AsString() const override;
  void SetAsString(const std::string& text) override;

 protected:
  TBlobField(TComponent* owner, TFieldType type) : TField(owner, type) {}
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* owner = nullptr) : TBlobField(owner, ftMemo) {}
  std::string DisplayText() const override { return "(Memo)"; }
};

// A field object of the kind a definition asks for.
std::unique_ptr<TField> CreateFieldOfType(TFieldType type, int32_t size);
