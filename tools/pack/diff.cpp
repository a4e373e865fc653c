#include "pack/diff.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "formats/ascii_case.h"
#include "pack/diff_report.h"
#include "pack/hash.h"
#include "pack/names.h"
#include "pack/package.h"
#include "pack/progress.h"
#include "pack/script_check.h"
#include "pack/signature.h"
#include "script/command_line.h"
#include "script/config.h"
#include "script/ini.h"

namespace pack {
namespace {

// How far one package's payload section is decompressed, of its length,
// read by the thread that draws the progress line.
struct Counter {
  std::atomic<std::uint64_t> done{0};
  std::atomic<std::uint64_t> total{0};
};

ImageFacts ReadImage(ByteSource& package, const PackageLayout& layout) {
  ImageFacts image;
  image.size = layout.payloadStart;
  image.setupImageSize = layout.compiledImageSize;
  // Signing rewrites the checksum and the certificate-table entry of the
  // image: a signed copy carries the same image without them.
  const SigningFields fields = ReadSigningFields(package, layout);
  if (fields.file) image.buildStamp = fields.file->timeDateStamp;
  Sha256Hash hash;
  FeedWithoutSigningFields(package, fields, layout.payloadStart,
                           [&hash](std::string_view piece) { hash.Update(piece); });
  image.sha256 = hash.Finish();
  return image;
}

// The keys as the installer's reader takes them: the first of a name in
// the first section of a name, letter case ignored.
std::map<std::string, ScriptValue> ReadKeys(const std::string& script) {
  const IniDocument reader(script);
  std::map<std::string, ScriptValue> keys;
  for (const ScriptKeyLine& line : ScriptKeyLines(script)) {
    const std::string folded = AsciiLowered(line.section) + '\0' + AsciiLowered(line.key);
    if (keys.count(folded)) continue;
    keys.emplace(folded, ScriptValue{line.section, line.key, reader.String(line.section, line.key)});
  }
  return keys;
}

// The files the installer deletes once the package's files are in place
// (its [Delete] list as the reader takes it), as Windows compares names.
std::set<std::string> DeletedFiles(const std::string& script) {
  InstallerConfig config;
  FillInstallerConfig(IniDocument(script), CommandLine(""), config);
  std::set<std::string> names;
  for (const std::string& name : OlderFilesToDelete(config)) names.insert(DestinationNameKey(name));
  return names;
}

PackageFacts ReadPackage(const std::filesystem::path& path, Counter& counter) {
  InputFile package(path);
  const PackageLayout layout = ReadPackageLayout(package, path);
  PackageFacts facts;
  facts.image = ReadImage(package, layout);
  facts.signature = CheckSignature(package, layout);
  const std::string script = package.ReadString(layout.scriptStart, layout.scriptLength);
  facts.keys = ReadKeys(script);
  facts.deletes = DeletedFiles(script);

  Sha256Hash hash;
  const std::vector<archive::Entry>* entries = nullptr;
  ArchiveParser parser(
      [&](const std::vector<archive::Entry>& table) {
        entries = &table;
        facts.entries = table.size();
      },
      [&hash](std::size_t, std::string_view data) { hash.Update(data); },
      [&](std::size_t index) {
        const archive::Entry& entry = (*entries)[index];
        // A name met twice is installed twice: the later file stays.
        facts.files[entry.name] = FileFacts{entry.size, hash.Finish()};
        facts.bytes += entry.size;
        hash = Sha256Hash();
      });
  counter.total = layout.payloadLength;
  DecompressArchive(package, layout, parser, [&counter](std::uint64_t done, std::uint64_t) { counter.done = done; });
  return facts;
}

// Both packages read side by side, each on a thread of its own, while this
// thread draws the progress line.
std::pair<PackageFacts, PackageFacts> ReadBoth(const std::filesystem::path& oldPath,
                                                const std::filesystem::path& newPath, bool showProgress) {
  const std::filesystem::path* paths[2] = {&oldPath, &newPath};
  PackageFacts facts[2];
  Counter counters[2];
  std::exception_ptr errors[2];
  std::mutex mutex;
  std::condition_variable finished;
  int running = 2;
  auto read = [&](int side) {
    try {
      facts[side] = ReadPackage(*paths[side], counters[side]);
    } catch (const Failure& failure) {
      // Say which package, unless the message names it already.
      const std::string name = Quoted(*paths[side]), text = failure.what();
      errors[side] =
          std::make_exception_ptr(text.find(name) == std::string::npos ? Failure(name + ": " + text) : failure);
    } catch (...) {
      errors[side] = std::current_exception();
    }
    const std::lock_guard lock(mutex);
    --running;
    finished.notify_all();
  };
  ProgressLine progress(std::cerr, showProgress);
  std::thread threads[2] = {std::thread(read, 0), std::thread(read, 1)};
  {
    std::unique_lock lock(mutex);
    // Drawn once more after both are read, so that the line's last figure is
    // the whole work, however quickly it went.
    bool done = false;
    do {
      done = finished.wait_for(lock, std::chrono::milliseconds(100), [&running] { return running == 0; });
      const std::uint64_t oldTotal = counters[0].total, newTotal = counters[1].total;
      progress.Update(counters[0].done + counters[1].done, oldTotal && newTotal ? oldTotal + newTotal : 0, done);
    } while (!done);
  }
  for (std::thread& thread : threads) thread.join();
  progress.Clear();
  for (const std::exception_ptr& error : errors)
    if (error) std::rethrow_exception(error);
  return {std::move(facts[0]), std::move(facts[1])};
}

// What differs, in the order of the keys of both maps.
template <typename Value, typename Same>
Changes<Value> Compare(const std::map<std::string, Value>& before, const std::map<std::string, Value>& after,
                       Same same) {
  Changes<Value> changes;
  auto old = before.begin();
  auto now = after.begin();
  while (old != before.end() || now != after.end()) {
    if (now == after.end() || (old != before.end() && old->first < now->first)) {
      changes.removed.emplace_back(&old->first, &old->second);
      ++old;
    } else if (old == before.end() || now->first < old->first) {
      changes.added.emplace_back(&now->first, &now->second);
      ++now;
    } else {
      if (same(old->second, now->second))
        ++changes.unchanged;
      else
        changes.changed.push_back({&now->first, &old->second, &now->second});
      ++old, ++now;
    }
  }
  return changes;
}

// What differs, and whether the packages install the same.
DiffFindings FindDifferences(const PackageFacts& before, const PackageFacts& after) {
  DiffFindings findings;
  findings.files = Compare(before.files, after.files, [](const FileFacts& a, const FileFacts& b) {
    return a.size == b.size && a.sha256 == b.sha256;
  });
  findings.keys =
      Compare(before.keys, after.keys, [](const ScriptValue& a, const ScriptValue& b) { return a.value == b.value; });
  // Windows finds a file by its name with letter case folded: a file
  // renamed only in case is replaced, not left.
  std::set<std::string> installed;
  for (const auto& [name, file] : after.files) installed.insert(FoldedName(name));
  for (const auto& [name, file] : before.files) {
    const std::string key = FoldedName(name);
    if (!installed.count(key) && !after.deletes.count(key)) findings.leftBehind.emplace_back(&name, &file);
  }
  findings.sameImage = before.image.size == after.image.size && before.image.sha256 == after.image.sha256;
  const SignatureCheck &a = before.signature, &b = after.signature;
  findings.sameSignature = a.signed_ == b.signed_ && a.digestAlgorithm == b.digestAlgorithm && a.fault == b.fault;
  return findings;
}

}  // namespace

bool DiffPackages(const std::filesystem::path& oldPath, const std::filesystem::path& newPath, std::ostream& out,
                  const CommandOptions& options) {
  const auto [before, after] = ReadBoth(oldPath, newPath, options.progress);
  const DiffFindings findings = FindDifferences(before, after);
  std::ostringstream report;
  (options.json ? WriteDiffJson : WriteDiffText)(report, {oldPath, before}, {newPath, after}, findings);
  out << report.str();
  return findings.InstallsTheSame();
}

}  // namespace pack
