#include "TField.h"

#include <strings.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "CNumberText.h"
#include "RegionalSettings.h"
#include "TMemoryStream.h"
#include "TXbFormatSettings.h"

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// Days from 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

const int64_t kDayOneOffset = DaysFromCivil(1, 1, 1) - 1;

std::string LocalDecimal(std::string text) {
  char sep = XbFormatSettings().DecimalSeparator;
  if (sep != '.') std::replace(text.begin(), text.end(), '.', sep);
  return text;
}

std::string CurrencyText(double value) {
  return xb::FormatMoney(value, xb::CurrentRegionalSettings());
}

}  // namespace

// --- TField ---

TField::TField(TComponent* owner, TFieldType type, int32_t size)
    : TComponent(owner), FDataType(type), FSize(size) {
  if (type == ftSmallint || type == ftInteger || type == ftFloat) Alignment = taRightJustify;
}

TField::~TField() {
  SetDataSet(nullptr);
}

void TField::SetDataSet(TDataSet* dataSet) {
  if (dataSet == FDataSet) return;
  if (FDataSet) FDataSet->RemoveField(this);
  FDataSet = dataSet;
  if (FDataSet) FDataSet->AddField(this);
}

int32_t TField::Index() const {
  if (!FDataSet) return -1;
  const auto& list = FDataSet->Fields();
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int32_t>(it - list.begin());
}

void TField::SetIndex(int32_t index) {
  if (FDataSet) FDataSet->MoveField(this, index);
}

int32_t TField::DataSize() const {
  switch (FDataType) {
    case ftString:
      return FSize + 1;
    case ftSmallint:
      return 2;
    case ftInteger:
      return 4;
    case ftBoolean:
      return 2;
    case ftFloat:
      return 8;
    case ftDate:
      return 4;
    default:
      return 0;
  }
}

bool TField::GetData(void* destination) const {
  return FDataSet && FDataSet->ReadFieldValue(this, destination);
}

void TField::CheckWritable() const {
  if (ReadOnly && FieldKind == fkData)
    throw EDatabaseError("Field '" + DisplayName() + "' cannot be modified");
  if (!FDataSet) throw EDatabaseError("Field '" + DisplayName() + "' has no dataset");
}

void TField::SetData(const void* value) {
  CheckWritable();
  if (OnValidate && FieldKind == fkData) OnValidate(*this);
  FDataSet->WriteFieldValue(this, value);
  if (OnChange) OnChange(*this);
}

bool TField::IsNull() const {
  return !GetData(nullptr);
}

void TField::Clear() {
  SetData(nullptr);
}

void TField::ConversionError(const char* to) const {
  throw EDatabaseError("Invalid type conversion to " + std::string(to) + " in field '" +
                       DisplayName() + "'");
}

std::string TField::AsString() const {
  ConversionError("String");
}
void TField::SetAsString(const std::string&) {
  ConversionError("String");
}
double TField::AsFloat() const {
  ConversionError("Float");
}
void TField::SetAsFloat(double) {
  ConversionError("Float");
}
int32_t TField::AsInteger() const {
  ConversionError("Integer");
}
void TField::SetAsInteger(int32_t) {
  ConversionError("Integer");
}
bool TField::AsBoolean() const {
  ConversionError("Boolean");
}
void TField::SetAsBoolean(bool) {
  ConversionError("Boolean");
}

// --- TStringField ---

std::string TStringField::AsString() const {
  std::string buffer(static_cast<size_t>(Size()) + 1, '\0');
  if (!GetData(buffer.data())) return {};
  buffer.resize(strnlen(buffer.data(), buffer.size()));
  return buffer;
}

void TStringField::SetAsString(const std::string& text) {
  std::string buffer(static_cast<size_t>(Size()) + 1, '\0');
  std::memcpy(buffer.data(), text.data(), std::min(text.size(), static_cast<size_t>(Size())));
  SetData(buffer.data());
}

double TStringField::AsFloat() const {
  std::string t = Trim(AsString());
  if (t.empty()) return 0;
  std::optional<double> v = CReadNumber(t);
  if (!v) throw EDatabaseError("'" + t + "' is not a valid floating point value");
  return *v;
}

void TStringField::SetAsFloat(double value) {
  SetAsString(CGeneralText(value));
}

int32_t TStringField::AsInteger() const {
  std::string t = Trim(AsString());
  if (t.empty()) return 0;
  char* end = nullptr;
  long v = std::strtol(t.c_str(), &end, 10);
  if (*end) throw EDatabaseError("'" + t + "' is not a valid integer value");
  return static_cast<int32_t>(v);
}

void TStringField::SetAsInteger(int32_t value) {
  SetAsString(std::to_string(value));
}

bool TStringField::AsBoolean() const {
  std::string t = AsString();
  return !t.empty() && (t[0] == 'T' || t[0] == 't' || t[0] == 'Y' || t[0] == 'y');
}

void TStringField::SetAsBoolean(bool value) {
  SetAsString(value ? "T" : "F");
}

// --- TIntegerField ---

TIntegerField::TIntegerField(TComponent* owner, TFieldType type) : TField(owner, type) {}

int32_t TIntegerField::AsInteger() const {
  if (DataType() == ftSmallint) {
    int16_t v = 0;
    return GetData(&v) ? v : 0;
  }
  int32_t v = 0;
  return GetData(&v) ? v : 0;
}

void TIntegerField::SetAsInteger(int32_t value) {
  if (DataType() == ftSmallint) {
    if (value < -32768 || value > 32767)
      throw EDatabaseError(std::to_string(value) + " is not a valid value for field '" +
                           DisplayName() + "'. The allowed range is -32768 to 32767");
    int16_t v = static_cast<int16_t>(value);
    SetData(&v);
    return;
  }
  SetData(&value);
}

std::string TIntegerField::AsString() const {
  return IsNull() ? std::string() : std::to_string(AsInteger());
}

void TIntegerField::SetAsString(const std::string& text) {
  std::string t = Trim(text);
  if (t.empty()) {
    Clear();
    return;
  }
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(t.c_str(), &end, 10);
  if (*end || errno || v < INT32_MIN || v > INT32_MAX)
    throw EDatabaseError("'" + t + "' is not a valid integer value");
  SetAsInteger(static_cast<int32_t>(v));
}

void TIntegerField::SetAsFloat(double value) {
  SetAsInteger(static_cast<int32_t>(std::lround(value)));
}

// --- TBooleanField ---

bool TBooleanField::AsBoolean() const {
  int16_t v = 0;
  return GetData(&v) && v != 0;
}

void TBooleanField::SetAsBoolean(bool value) {
  int16_t v = value ? -1 : 0;
  SetData(&v);
}

std::string TBooleanField::AsString() const {
  if (IsNull()) return {};
  return AsBoolean() ? "True" : "False";
}

void TBooleanField::SetAsString(const std::string& text) {
  std::string t = Trim(text);
  if (t.empty()) {
    Clear();
    return;
  }
  auto prefixOf = [&](const char* word) { return strncasecmp(word, t.c_str(), t.size()) == 0; };
  if (prefixOf("true") || prefixOf("yes"))
    SetAsBoolean(true);
  else if (prefixOf("false") || prefixOf("no"))
    SetAsBoolean(false);
  else
    throw EDatabaseError("'" + t + "' is not a valid boolean value");
}

// --- TFloatField ---

TFloatField::TFloatField(TComponent* owner) : TField(owner, ftFloat) {}

double TFloatField::AsFloat() const {
  double v = 0;
  return GetData(&v) ? v : 0;
}

void TFloatField::SetAsFloat(double value) {
  SetData(&value);
}

int32_t TFloatField::AsInteger() const {
  return static_cast<int32_t>(std::lround(AsFloat()));
}

std::string TFloatField::AsString() const {
  double v = 0;
  if (!GetData(&v)) return {};
  return LocalDecimal(CGeneralText(v, Precision));
}

void TFloatField::SetAsString(const std::string& text) {
  std::string t = Trim(text);
  if (t.empty()) {
    Clear();
    return;
  }
  const TXbFormatSettings& fs = XbFormatSettings();
  std::string c;
  for (char ch : t) {
    if (ch == fs.DecimalSeparator)
      c += '.';
    else if (ch == fs.ThousandSeparator && fs.ThousandSeparator != fs.DecimalSeparator)
      continue;
    else
      c += ch;
  }
  std::optional<double> v = CReadNumber(c);
  if (!v) throw EDatabaseError("'" + t + "' is not a valid floating point value");
  SetAsFloat(*v);
}

std::string TFloatField::FormatValue(double value, const std::string& format) {
  size_t dot = format.find('.');
  std::string intPart = format.substr(0, dot);
  std::string fracPart = dot == std::string::npos ? std::string() : format.substr(dot + 1);
  int required = static_cast<int>(std::count(fracPart.begin(), fracPart.end(), '0'));
  int optional = static_cast<int>(std::count(fracPart.begin(), fracPart.end(), '#'));
  int minInt = static_cast<int>(std::count(intPart.begin(), intPart.end(), '0'));
  bool group = intPart.find(',') != std::string::npos;
  std::string s = CFixedText(std::fabs(value), required + optional);
  std::string whole = s.substr(0, s.find('.'));
  std::string frac = s.find('.') == std::string::npos ? std::string() : s.substr(s.find('.') + 1);
  while (static_cast<int>(frac.size()) > required && !frac.empty() && frac.back() == '0')
    frac.pop_back();
  if (whole == "0" && minInt == 0) whole.clear();
  while (static_cast<int>(whole.size()) < minInt) whole.insert(whole.begin(), '0');
  const TXbFormatSettings& fs = XbFormatSettings();
  if (group) {
    std::string grouped;
    int n = static_cast<int>(whole.size());
    for (int i = 0; i < n; ++i) {
      grouped += whole[i];
      if ((n - i - 1) % 3 == 0 && i != n - 1) grouped += fs.ThousandSeparator;
    }
    whole = grouped;
  }
  std::string out = whole;
  if (!frac.empty()) out += fs.DecimalSeparator + frac;
  bool negative = value < 0 && out.find_first_not_of("0.,") != std::string::npos;
  return negative ? "-" + out : out;
}

std::string TFloatField::DisplayText() const {
  if (IsNull()) return {};
  if (Currency) return CurrencyText(AsFloat());
  if (!DisplayFormat.empty()) return FormatValue(AsFloat(), DisplayFormat);
  return AsString();
}

std::string TFloatField::Text() const {
  if (IsNull()) return {};
  if (!EditFormat.empty()) return FormatValue(AsFloat(), EditFormat);
  return AsString();
}

// --- TDateField ---

int32_t TDateField::DayNumber(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return 0;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int last = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  if (day > last) return 0;
  return static_cast<int32_t>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
      kDayOneOffset);
}

void TDateField::SplitDayNumber(int32_t dayNumber, int& year, int& month, int& day) {
  int64_t z = dayNumber + kDayOneOffset + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

std::string TDateField::FormatDate(int32_t dayNumber, const std::string& format) {
  int y = 0, m = 0, d = 0;
  SplitDayNumber(dayNumber, y, m, d);
  std::string out;
  char sep = XbFormatSettings().DateSeparator;
  for (size_t i = 0; i < format.size();) {
    char c = format[i];
    size_t run = 1;
    while (i + run < format.size() && std::tolower(format[i + run]) == std::tolower(c)) ++run;
    char buf[16];
    switch (std::tolower(c)) {
      case 'd':
        std::snprintf(buf, sizeof(buf), run >= 2 ? "%02d" : "%d", d);
        out += buf;
        break;
      case 'm':
        std::snprintf(buf, sizeof(buf), run >= 2 ? "%02d" : "%d", m);
        out += buf;
        break;
      case 'y':
        if (run >= 3)
          std::snprintf(buf, sizeof(buf), "%04d", y);
        else
          std::snprintf(buf, sizeof(buf), "%02d", y % 100);
        out += buf;
        break;
      case '/':
        out.append(run, sep);
        break;
      default:
        out.append(run, c);
        break;
    }
    i += run;
  }
  return out;
}

int32_t TDateField::ParseDate(const std::string& text) {
  // The order of day, month and year is the short date format's.
  std::string order;
  for (char c : XbFormatSettings().ShortDateFormat) {
    char l = static_cast<char>(std::tolower(c));
    if ((l == 'd' || l == 'm' || l == 'y') && order.find(l) == std::string::npos) order += l;
  }
  if (order.size() != 3) order = "dmy";
  int numbers[3] = {0, 0, 0};
  int digits[3] = {0, 0, 0};
  int count = 0;
  for (size_t i = 0; i < text.size();) {
    if (std::isdigit(static_cast<unsigned char>(text[i]))) {
      if (count == 3) return 0;
      int v = 0, n = 0;
      while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        v = v * 10 + (text[i] - '0');
        ++n;
        ++i;
      }
      numbers[count] = v;
      digits[count] = n;
      ++count;
    } else if (text[i] == ' ' || text[i] == XbFormatSettings().DateSeparator || text[i] == '/' ||
               text[i] == '.' || text[i] == '-') {
      ++i;
    } else {
      return 0;
    }
  }
  int y = 0, m = 0, d = 0;
  if (count == 3) {
    for (int i = 0; i < 3; ++i) {
      if (order[i] == 'd') d = numbers[i];
      if (order[i] == 'm') m = numbers[i];
      if (order[i] == 'y') {
        y = numbers[i];
        if (digits[i] <= 2) y = ExpandTwoDigitYear(y);
      }
    }
  } else if (count == 2) {
    // Day and month in the format's order, this year.
    std::string dm;
    for (char c : order)
      if (c != 'y') dm += c;
    d = dm[0] == 'd' ? numbers[0] : numbers[1];
    m = dm[0] == 'd' ? numbers[1] : numbers[0];
    y = CurrentYear();
  } else {
    return 0;
  }
  return DayNumber(y, m, d);
}

int32_t TDateField::AsDate() const {
  int32_t v = 0;
  return GetData(&v) ? v : 0;
}

void TDateField::SetAsDate(int32_t dayNumber) {
  SetData(&dayNumber);
}

std::string TDateField::AsString() const {
  int32_t v = 0;
  if (!GetData(&v) || v <= 0) return {};
  return FormatDate(v, XbFormatSettings().ShortDateFormat);
}

void TDateField::SetAsString(const std::string& text) {
  std::string t = Trim(text);
  if (t.empty()) {
    Clear();
    return;
  }
  int32_t day = ParseDate(t);
  if (day == 0) throw EDatabaseError("'" + t + "' is not a valid date");
  SetAsDate(day);
}

// --- TBlobField ---

std::string TBlobField::AsString() const {
  if (!DataSet()) return {};
  auto stream = DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  return stream ? stream->Bytes() : std::string();
}

void TBlobField::SetAsString(const std::string& text) {
  CheckWritable();
  auto stream = DataSet()->CreateBlobStream(this, bmWrite);
  stream->WriteText(text);
}

std::unique_ptr<TField> CreateFieldOfType(TFieldType type, int32_t size) {
  switch (type) {
    case ftString:
      return std::make_unique<TStringField>(nullptr, size);
    case ftSmallint:
      return std::make_unique<TSmallintField>();
    case ftInteger:
      return std::make_unique<TIntegerField>();
    case ftBoolean:
      return std::make_unique<TBooleanField>();
    case ftFloat:
      return std::make_unique<TFloatField>();
    case ftDate:
      return std::make_unique<TDateField>();
    case ftMemo:
      return std::make_unique<TMemoField>();
    case ftBlob:
      return std::make_unique<TBlobField>();
    default:
      return nullptr;
  }
}
