#include "delim/DelimitedReader.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace xb {
namespace {

constexpr char kEndOfFileMark = 0x1A;

bool IsLineEnd(char c) {
  return c == '\n' || c == '\r' || c == kEndOfFileMark;
}

// Bit 7 of each byte of the result is set for (at least) the first byte of `word` below 0x1B;
// the result is zero when there is none. The three bytes that end a line are all below 0x1B,
// so the search for a line end looks at eight bytes a step.
uint64_t BytesBelow1B(uint64_t word) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kHigh = 0x8080808080808080u;
  return (word - kOnes * 0x1B) & ~word & kHigh;
}

// The position of the first line end in data[from, end), or `end`.
size_t FindLineEnd(const char* data, size_t from, size_t end) {
  size_t i = from;
  for (;;) {
    while (i + 8 <= end) {
      uint64_t word;
      std::memcpy(&word, data + i, 8);
      if (BytesBelow1B(word)) break;
      i += 8;
    }
    size_t stop = std::min(i + 8, end);
    for (; i < stop; ++i)
      if (IsLineEnd(data[i])) return i;
    if (i >= end) return end;
  }
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool AllBlank(const char* begin, const char* end) {
  return std::all_of(begin, end, IsBlank);
}

}  // namespace

DelimitedReader::DelimitedReader(File& file) : DelimitedReader(file, Options()) {}

DelimitedReader::DelimitedReader(File& file, Options options) : FFile(file), FOptions(options) {
  // Tiny blocks only make sense in tests; they must still hold a byte-order mark.
  FOptions.BlockBytes = std::max<size_t>(FOptions.BlockBytes, 4);
  FCells.reserve(32);
}

Status DelimitedReader::Fill() {
  if (FBegin > 0) {
    std::memmove(FBuffer.data(), FBuffer.data() + FBegin, FEnd - FBegin);
    FEnd -= FBegin;
    FBegin = 0;
  }
  if (FBuffer.size() - FEnd < FOptions.BlockBytes / 2)
    FBuffer.resize(std::max(FBuffer.size() * 2, FEnd + FOptions.BlockBytes));
  size_t wanted = FBuffer.size() - FEnd;
  Result<size_t> got = FFile.ReadAt(FFileOffset, FBuffer.data() + FEnd, wanted);
  if (!got.ok()) return got.status();
  FEnd += *got;
  FFileOffset += *got;
  if (*got < wanted) FAtEnd = true;
  return Status::Ok();
}

Result<bool> DelimitedReader::Next() {
  if (FFinished) return false;
  auto fail = [this](Status status) -> Result<bool> {
    FFinished = true;
    FCells.clear();
    return status;
  };
  if (!FStarted) {
    FStarted = true;
    FBuffer.resize(FOptions.BlockBytes);
    if (Status s = Fill(); !s.ok()) return fail(s);
    if (FEnd >= 3 && std::memcmp(FBuffer.data(), "\xEF\xBB\xBF", 3) == 0) FBegin = 3;
  }
  size_t scanned = 0;  // bytes of the current line already searched for its end
  for (;;) {
    if (FSkipLf) {
      if (FBegin < FEnd) {
        if (FBuffer[FBegin] == '\n') ++FBegin;
        FSkipLf = false;
      } else if (FAtEnd) {
        FSkipLf = false;
      } else {
        if (Status s = Fill(); !s.ok()) return fail(s);
        continue;
      }
    }
    size_t i = FindLineEnd(FBuffer.data(), FBegin + scanned, FEnd);
    size_t lineBegin = FBegin;
    if (i - lineBegin > FOptions.MaxLineBytes)
      return fail(Status::Error("line " + std::to_string(FLineNumber + 1) +
                                " of the delimited file is longer than " +
                                std::to_string(FOptions.MaxLineBytes) + " bytes"));
    if (i < FEnd) {
      char c = FBuffer[i];
      FBegin = i + 1;
      if (c == kEndOfFileMark) {
        FFinished = true;
        if (i == lineBegin) {
          FCells.clear();
          return false;
        }
      } else if (c == '\r') {
        FSkipLf = true;
      }
      ++FLineNumber;
      SplitLine(FBuffer.data() + lineBegin, FBuffer.data() + i);
      return true;
    }
    if (FAtEnd) {
      FFinished = true;
      FBegin = FEnd;
      if (i == lineBegin) {
        FCells.clear();
        return false;
      }
      ++FLineNumber;
      SplitLine(FBuffer.data() + lineBegin, FBuffer.data() + i);
      return true;
    }
    scanned = i - lineBegin;
    if (Status s = Fill(); !s.ok()) return fail(s);
  }
}

void DelimitedReader::SplitLine(char* begin, char* end) {
  FCells.clear();
  char* p = begin;
  for (;;) {
    char* q = p;
    while (q < end && IsBlank(*q)) ++q;
    if (q < end && *q == '"') {
      // Quoted: the value is written back over the line in place; it never outgrows it.
      ++q;
      char* start = q;
      char* out = q;
      bool closed = false;
      while (!closed) {
        char* quote = static_cast<char*>(std::memchr(q, '"', static_cast<size_t>(end - q)));
        char* chunkEnd = quote ? quote : end;
        size_t n = static_cast<size_t>(chunkEnd - q);
        if (out != q) std::memmove(out, q, n);
        out += n;
        if (!quote) {
          q = end;
          break;
        }
        q = quote + 1;
        if (q < end && *q == '"') {
          *out++ = '"';
          ++q;
        } else {
          closed = true;
        }
      }
      char* comma =
          closed ? static_cast<char*>(std::memchr(q, ',', static_cast<size_t>(end - q))) : nullptr;
      char* tailEnd = comma ? comma : (closed ? end : q);
      if (!AllBlank(q, tailEnd)) {
        size_t n = static_cast<size_t>(tailEnd - q);
        std::memmove(out, q, n);
        out += n;
      }
      FCells.emplace_back(start, static_cast<size_t>(out - start));
      if (!comma) return;
      p = comma + 1;
      continue;
    }
    char* comma = static_cast<char*>(std::memchr(p, ',', static_cast<size_t>(end - p)));
    if (!comma) {
      FCells.emplace_back(p, static_cast<size_t>(end - p));
      return;
    }
    FCells.emplace_back(p, static_cast<size_t>(comma - p));
    p = comma + 1;
  }
}

Status ReadDelimited(
    File& file, const std::function<Status(const std::vector<std::string_view>& cells)>& onLine) {
  DelimitedReader reader(file);
  for (;;) {
    Result<bool> more = reader.Next();
    if (!more.ok()) return more.status();
    if (!*more) return Status::Ok();
    if (Status s = onLine(reader.Cells()); !s.ok()) return s;
  }
}

}  // namespace xb
