#include "test_support.h"

#include <bzlib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

#include "formats/archive.h"
#include "formats/layout.h"

namespace testing_support {

ScratchDir::ScratchDir() {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "scratch";
  for (char& c : name)
    if (c == '/') c = '_';
  // Numbered, so that two scratch folders of one test never share a path.
  static int made = 0;
  path_ = std::filesystem::temp_directory_path() /
          ("quenlith-test-" + std::to_string(getpid()) + "-" + std::to_string(++made) + "-" + name);
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void PutLe16(std::string& bytes, std::size_t at, std::uint16_t value) {
  for (int i = 0; i < 2; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

void PutLe32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

std::string Pattern(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

void WritePayloadFolder(const std::filesystem::path& folder, const Files& files) {
  for (const auto& [name, bytes] : files) {
    std::string path = name;
    for (char& c : path)
      if (c == '\\') c = '/';
    WriteFile(folder / path, bytes);
  }
}

std::string ArchiveOf(const Files& files) {
  std::vector<archive::Entry> entries;
  std::string data;
  for (const auto& [name, bytes] : files) {
    entries.push_back({name, static_cast<std::uint32_t>(bytes.size())});
    data += bytes;
  }
  return archive::EncodeTable(entries) + data;
}

std::string PayloadWithTable(const std::vector<archive::Entry>& entries, const std::string& data) {
  return Bzip2Stream(archive::EncodeTable(entries) + data, 9);
}

std::string UnterminatedTable() {
  std::string table = archive::EncodeTable({{"a", 1}});
  std::fill(table.begin() + 4, table.begin() + 4 + 260, 'n');
  return table;
}

std::string AssemblePackage(const std::string& image, const std::string& payload, std::uint32_t payloadOffset,
                            const std::string& script, const std::string& signature) {
  std::string file = image + payload;
  layout::AppendLe32(file, payloadOffset != 0 ? payloadOffset : static_cast<std::uint32_t>(image.size()));
  const auto scriptStart = static_cast<std::uint32_t>(file.size());
  file += script;
  layout::AppendLe32(file, scriptStart);
  return file + signature;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

void ExpectInOrder(const std::string& text, const std::vector<std::string>& parts) {
  std::size_t at = 0;
  for (const std::string& part : parts) {
    const std::size_t found = text.find(part, at);
    EXPECT_NE(found, std::string::npos) << "missing or out of order: " << part << "\n" << text;
    if (found != std::string::npos) at = found;
  }
}

std::string Bzip2Stream(const std::string& data, int blockSize) {
  std::vector<char> out(data.size() + data.size() / 100 + 700);
  unsigned int size = static_cast<unsigned int>(out.size());
  std::string copy = data;
  EXPECT_EQ(BZ2_bzBuffToBuffCompress(out.data(), &size, copy.data(), static_cast<unsigned int>(copy.size()), blockSize,
                                     0, 0),
            BZ_OK);
  return std::string(out.data(), size);
}

}  // namespace testing_support
