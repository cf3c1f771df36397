// TMemoryStream: bytes in memory with a position, read and written like a file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

class TMemoryStream {
 public:
  virtual ~TMemoryStream() = default;

  int64_t Size() const { return static_cast<int64_t>(FData.size()); }
  int64_t Position() const { return FPosition; }
  void SetPosition(int64_t position) { FPosition = position < 0 ? 0 : position; }
  // Reads up to count bytes from the position; returns how many were read.
  int64_t Read(void* buffer, int64_t count) {
    if (FPosition >= Size() || count <= 0) return 0;
    int64_t n = std::min(count, Size() - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
  }
  // Writes count bytes at the position, growing the stream as needed.
  int64_t Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (FPosition + count > Size()) FData.resize(static_cast<size_t>(FPosition + count));
    std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition += count;
    return count;
  }
  void Clear() {
    FData.clear();
    FPosition = 0;
  }
  const std::string& Bytes() const { return FData; }
  std::string ReadAll() {
    FPosition = Size();
    return FData;
  }
  void WriteText(const std::string& text) { Write(text.data(), static_cast<int64_t>(text.size())); }

 protected:
  std::string FData;
  int64_t FPosition = 0;
};
