// DelimitedReader: reads comma-separated text (the source of xb_AppendFrom type 21) one line at
// a time, in large blocks, without allocating per line or per cell.
//
// The rules, which every caller and test relies on:
// - Encoding: bytes are returned unchanged; a UTF-8 byte-order mark (EF BB BF) at the very start
//   of the file is skipped.
// - Lines: CR LF, LF and a lone CR each end a line. Every line is one record: a line end always
//   ends the record, even inside an open quote (so one stray quote cannot swallow the rest of
//   the file). Text after the last line end forms a line only when it is not empty, so a file
//   that ends with a line end has no empty last record; an empty line anywhere else is a record
//   of one empty cell (like ",,," it gives an empty record).
// - End-of-file mark: a 0x1A byte ends the data (the old DOS convention); what follows it is
//   ignored. The text of the line before it counts under the rule for a last line.
// - Cells: separated by commas; "a," has two cells, the second empty. A cell whose first byte
//   other than blanks and tabs is a double quote is quoted: the blanks before the quote and the
//   quotes themselves are not stored, a comma inside the quotes belongs to the value, and a
//   doubled quote inside the quotes is one quote. After the closing quote, blanks and tabs up to
//   the comma are dropped; any other text there is kept, appended to the value. A quote that is
//   never closed runs to the end of the line. In a cell that is not quoted every byte is kept,
//   quotes and blanks included.
// - A line longer than Options::MaxLineBytes fails the read with a Status naming the line, so
//   memory stays bounded by a block and the longest line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "Status.h"
#include "fs/FileSystem.h"

namespace xb {

class DelimitedReader {
 public:
  struct Options {
    size_t BlockBytes = size_t{1} << 20;
    size_t MaxLineBytes = size_t{16} << 20;
  };

  // Reads `file` from offset 0. The file must outlive the reader.
  explicit DelimitedReader(File& file);
  DelimitedReader(File& file, Options options);
  DelimitedReader(const DelimitedReader&) = delete;
  DelimitedReader& operator=(const DelimitedReader&) = delete;

  // Moves to the next line: true with its cells in Cells(), false at the end of the data, or a
  // Status when the file cannot be read or a line is too long (the reader is then finished).
  Result<bool> Next();

  // The cells of the current line (at least one). The views point into the reader's buffer and
  // are valid until the next call of Next().
  const std::vector<std::string_view>& Cells() const { return FCells; }

  // The number of the current line, from 1; 0 before the first.
  uint64_t LineNumber() const { return FLineNumber; }

 private:
  // Reads more of the file after the unparsed bytes, first moving them to the buffer's front
  // and growing the buffer when it is full. Sets FAtEnd when the file is exhausted.
  Status Fill();
  void SplitLine(char* begin, char* end);

  File& FFile;
  Options FOptions;
  std::vector<char> FBuffer;
  size_t FBegin = 0;  // first unparsed byte
  size_t FEnd = 0;    // end of the bytes read
  uint64_t FFileOffset = 0;
  bool FAtEnd = false;    // nothing more to read from the file
  bool FStarted = false;  // the byte-order mark has been looked for
  bool FSkipLf = false;   // the last line ended in CR: an LF right after it belongs to it
  bool FFinished = false;
  uint64_t FLineNumber = 0;
  std::vector<std::string_view> FCells;
};

// Calls `onLine` with the cells of each line of `file` in order; stops at the first Status that
// is not ok (from the reader or from `onLine`) and returns it.
Status ReadDelimited(
    File& file, const std::function<Status(const std::vector<std::string_view>& cells)>& onLine);

}  // namespace xb
