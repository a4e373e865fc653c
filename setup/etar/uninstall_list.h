#pragma once
// The uninstall list ("uninstall.ini" in the destination, section
// "Uninstall"): how many files the archive holds, then one "File%03d" key per
// file installed whole, in archive order. An older, longer list keeps its
// surplus keys; readers go by "NumFiles".

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "formats/profile_text.h"

// Records the list while the files are extracted. Writing each key through
// the system rewrites the whole file, so that a long list costs time in the
// square of its length; here the keys are kept and the file is written whole
// from time to time and by Flush, with the bytes that writing the keys one
// by one through the system would have left. A list whose existing text the
// system would rewrite in its own way, or a value it would change, is
// written key by key through the system instead, from then on.
class UninstallListWriter {
 public:
  explicit UninstallListWriter(std::string listPath);
  ~UninstallListWriter() { Flush(); }
  UninstallListWriter(const UninstallListWriter&) = delete;
  UninstallListWriter& operator=(const UninstallListWriter&) = delete;

  // Writes "NumFiles" = `count`; it is on disk when this returns.
  void RecordFileCount(int count);

  // Records "File%03d" (`index`, at least three digits) = `path`.
  void RecordInstalledFile(int index, const std::string& path);

  // Records any other key of the section (the choices written after the
  // files), on disk at the next Flush.
  void RecordValue(const std::string& key, const std::string& value);

  // Puts every key recorded so far on disk; false when the file cannot be written.
  bool Flush();

 private:
  void Start();
  void Set(const std::string& key, const std::string& value);

  std::string path_;
  bool started_ = false;
  std::optional<ProfileText> text_;  // none: straight to the system
  std::size_t pending_ = 0;          // keys recorded since the last write
  std::size_t nextWriteAt_ = 64;     // written whole when this many keys wait, doubling each time
};

// Appends the "File%03d" values of a list to `list`, for indices below its
// "NumFiles"; a missing value reads "NULL".
void ReadUninstallList(const std::string& listPath, std::vector<std::string>& list);
