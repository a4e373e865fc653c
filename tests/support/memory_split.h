#pragma once
// In-memory files for the section splitter, for tests and the fuzz target.

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "formats/split_core.h"

class MemoryInput : public split::Input {
 public:
  explicit MemoryInput(std::string_view bytes) : bytes_(bytes) {}
  bool Seek(std::uint64_t offset) override {
    if (offset > bytes_.size()) return false;
    position_ = static_cast<std::size_t>(offset);
    return true;
  }
  std::size_t Read(void* buffer, std::size_t size) override {
    const std::size_t count = std::min(size, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    return count;
  }

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
};

class MemoryOutput : public split::Output {
 public:
  explicit MemoryOutput(std::size_t limit = std::string::npos) : limit_(limit) {}
  bool Write(const void* data, std::size_t size) override {
    if (bytes.size() + size > limit_) return false;
    bytes.append(static_cast<const char*>(data), size);
    return true;
  }
  std::string bytes;

 private:
  std::size_t limit_;
};
