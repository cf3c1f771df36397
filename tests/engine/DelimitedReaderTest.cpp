// The delimited reader on real files: every case is read with several block sizes, so that
// line ends, CR LF pairs, quotes and the byte-order mark also fall across block boundaries.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "delim/DelimitedReader.h"
#include "fs/FileSystem.h"

namespace {

using Lines = std::vector<std::vector<std::string>>;

const size_t kBlockSizes[] = {4, 5, 7, 64, size_t{1} << 20};

std::unique_ptr<xb::File> OpenText(const xbtest::TempDir& dir, const std::string& text) {
  std::string path = dir.File("in.csv");
  xbtest::WriteText(path, text);
  auto file = xb::PosixFileSystem().Open(path, xb::OpenMode::kRead);
  if (!file.ok()) throw std::runtime_error(file.status().message());
  return std::move(*file);
}

// Reads every line; a failure is returned as one line holding "ERROR: " and the message.
Lines ReadAll(xb::File& file, xb::DelimitedReader::Options options) {
  xb::DelimitedReader reader(file, options);
  Lines lines;
  for (;;) {
    auto more = reader.Next();
    if (!more.ok()) {
      lines.push_back({"ERROR: " + more.status().message()});
      return lines;
    }
    if (!*more) return lines;
    EXPECT_EQ(reader.LineNumber(), lines.size() + 1);
    lines.emplace_back(reader.Cells().begin(), reader.Cells().end());
  }
}

struct Case {
  const char* name;
  std::string text;
  Lines expected;
};

std::string Bytes(const char* s, size_t n) {
  return std::string(s, n);
}

const Case kCases[] = {
    {"empty file", "", {}},
    {"bom only", "\xEF\xBB\xBF", {}},
    {"bom skipped",
     "\xEF\xBB\xBF"
     "a,b\r\n",
     {{"a", "b"}}},
    {"bom only at start",
     "a\r\n\xEF\xBB\xBF"
     "b\r\n",
     {{"a"},
      {"\xEF\xBB\xBF"
       "b"}}},
    {"crlf lines", "a,b\r\nc,d\r\n", {{"a", "b"}, {"c", "d"}}},
    {"lf lines", "a,b\nc,d\n", {{"a", "b"}, {"c", "d"}}},
    {"cr lines", "a,b\rc,d\r", {{"a", "b"}, {"c", "d"}}},
    {"mixed line ends", "a\r\nb\nc\rd", {{"a"}, {"b"}, {"c"}, {"d"}}},
    {"last line without line end", "a,b\r\nc", {{"a", "b"}, {"c"}}},
    {"lf cr is two line ends", "a\n\rb\n", {{"a"}, {""}, {"b"}}},
    {"empty line inside is a record", "a\r\n\r\nb\r\n", {{"a"}, {""}, {"b"}}},
    {"empty last line is no record", "a\r\n\r\n", {{"a"}, {""}}},
    {"only a line end", "\r\n", {{""}}},
    {"commas only", ",,,\r\n", {{"", "", "", ""}}},
    {"trailing comma", "a,\r\n", {{"a", ""}}},
    {"quotes removed", "\"ab\",\"c d\"\r\n", {{"ab", "c d"}}},
    {"comma inside quotes", "\"AB,C\",x\r\n", {{"AB,C", "x"}}},
    {"doubled quote is one quote", "\"a\"\"b\",\"\"\"\"\r\n", {{"a\"b", "\""}}},
    {"empty quoted", "\"\",\"\"\r\n", {{"", ""}}},
    {"leading blanks inside quotes kept", "\"  lead \"\r\n", {{"  lead "}}},
    {"blanks around quotes dropped", "  \"a\"  , \t\"b\"\t\r\n", {{"a", "b"}}},
    {"text after closing quote kept", "\"a\"b c,d\r\n", {{"ab c", "d"}}},
    {"unquoted keeps blanks and quotes", " a b ,x\"y\"\r\n", {{" a b ", "x\"y\""}}},
    {"unterminated quote runs to line end", "\"ab,cd\r\nx\r\n", {{"ab,cd"}, {"x"}}},
    {"unterminated quote at end of file", "a,\"bc", {{"a", "bc"}}},
    {"quote closed just before line end", "\"a\"\r\n", {{"a"}}},
    {"lone quote", "\"\r\n", {{""}}},
    {"numbers and dates untouched", "-1.50,20240229,T\r\n", {{"-1.50", "20240229", "T"}}},
    {"end of file mark", "a\r\nb\r\n\x1A", {{"a"}, {"b"}}},
    {"end of file mark ends a line",
     "a\r\nb\x1A"
     "c\r\n",
     {{"a"}, {"b"}}},
    {"end of file mark inside quotes ends the data",
     "\"a\x1A"
     "b\"\r\n",
     {{"a"}}},
    {"end of file mark first",
     "\x1A"
     "a\r\n",
     {}},
    {"nul bytes kept", Bytes("a\0b,\"\0\"\r\n", 9), {{Bytes("a\0b", 3), Bytes("\0", 1)}}},
    {"high bytes kept", "\xE9t\xC3\xA9,\xFF\r\n", {{"\xE9t\xC3\xA9", "\xFF"}}},
};

TEST(DelimitedReader, CasesWithEveryBlockSize) {
  xbtest::TempDir dir;
  for (const Case& c : kCases) {
    auto file = OpenText(dir, c.text);
    for (size_t block : kBlockSizes) {
      SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(block));
      xb::DelimitedReader::Options options;
      options.BlockBytes = block;
      EXPECT_EQ(ReadAll(*file, options), c.expected);
    }
  }
}

// Cells written the way a careful exporter writes them (every cell quoted, quotes doubled) come
// back unchanged, whatever bytes they hold and wherever the blocks end.
TEST(DelimitedReader, QuotedCellsRoundTrip) {
  std::mt19937 random(20261210);
  const std::string alphabet = "ab ,\"\t;x\x01\xC3\xA9";
  Lines lines;
  std::string text;
  for (int line = 0; line < 300; ++line) {
    std::vector<std::string> cells(1 + random() % 6);
    for (size_t i = 0; i < cells.size(); ++i) {
      for (unsigned n = random() % 12; n > 0; --n) cells[i] += alphabet[random() % alphabet.size()];
      if (i > 0) text += ',';
      text += '"';
      for (char ch : cells[i]) text += ch == '"' ? std::string("\"\"") : std::string(1, ch);
      text += '"';
    }
    text += (line % 3 == 0) ? "\r\n" : (line % 3 == 1) ? "\n" : "\r";
    lines.push_back(cells);
  }
  xbtest::TempDir dir;
  auto file = OpenText(dir, text);
  for (size_t block : kBlockSizes) {
    SCOPED_TRACE("block " + std::to_string(block));
    xb::DelimitedReader::Options options;
    options.BlockBytes = block;
    EXPECT_EQ(ReadAll(*file, options), lines);
  }
}

TEST(DelimitedReader, LineLongerThanTheLimitFailsNamingIt) {
  xbtest::TempDir dir;
  auto file = OpenText(dir, "short\r\n" + std::string(100, 'x') + "\r\nnever\r\n");
  for (size_t block : {size_t{4}, size_t{1} << 20}) {
    xb::DelimitedReader::Options options;
    options.BlockBytes = block;
    options.MaxLineBytes = 99;
    Lines lines = ReadAll(*file, options);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::vector<std::string>{"short"});
    EXPECT_EQ(lines[1][0], "ERROR: line 2 of the delimited file is longer than 99 bytes");
    options.MaxLineBytes = 100;
    EXPECT_EQ(ReadAll(*file, options).size(), 3u);
  }
}

// A read error cannot be provoked on a real local file; this file fails its reads past a point.
class FailingFile final : public xb::File {
 public:
  FailingFile(xb::File& inner, uint64_t failFrom) : FInner(inner), FFailFrom(failFrom) {}
  xb::Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t length) override {
    if (offset + length > FFailFrom) return xb::Status::Error("cannot read in.csv: I/O error");
    return FInner.ReadAt(offset, buffer, length);
  }
  xb::Status WriteAt(uint64_t, const void*, size_t) override { return xb::Status::Ok(); }
  xb::Status Sync() override { return xb::Status::Ok(); }
  xb::Status Truncate(uint64_t) override { return xb::Status::Ok(); }
  xb::Result<uint64_t> Size() override { return FInner.Size(); }
  xb::Status Lock(bool) override { return xb::Status::Ok(); }

 private:
  xb::File& FInner;
  uint64_t FFailFrom;
};

TEST(DelimitedReader, ReadErrorStopsTheReaderAndIsReported) {
  xbtest::TempDir dir;
  auto file = OpenText(dir, "a\r\nb\r\nc\r\n");
  FailingFile failing(*file, 6);
  xb::DelimitedReader::Options options;
  options.BlockBytes = 4;
  xb::DelimitedReader reader(failing, options);
  auto first = reader.Next();
  ASSERT_TRUE(first.ok() && *first);
  EXPECT_EQ(reader.Cells()[0], "a");
  auto second = reader.Next();
  ASSERT_FALSE(second.ok());
  EXPECT_EQ(second.status().message(), "cannot read in.csv: I/O error");
  auto after = reader.Next();
  EXPECT_TRUE(after.ok() && !*after);
}

TEST(DelimitedReader, ReadDelimitedStopsAtTheCallbacksError) {
  xbtest::TempDir dir;
  auto file = OpenText(dir, "a,b\r\nc\r\nd\r\n");
  std::vector<size_t> cellCounts;
  xb::Status status = xb::ReadDelimited(*file, [&](const std::vector<std::string_view>& cells) {
    cellCounts.push_back(cells.size());
    return cellCounts.size() == 2 ? xb::Status::Error("stop") : xb::Status::Ok();
  });
  EXPECT_EQ(status.message(), "stop");
  EXPECT_EQ(cellCounts, (std::vector<size_t>{2, 1}));
  EXPECT_TRUE(xb::ReadDelimited(*file, [](const auto&) { return xb::Status::Ok(); }).ok());
}

}  // namespace
