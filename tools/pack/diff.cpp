#include "pack/diff.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "pack/hash.h"
#include "pack/json.h"
#include "pack/package.h"
#include "pack/progress.h"
#include "pack/script_check.h"
#include "pack/signature.h"
#include "formats/ascii_case.h"
#include "formats/layout.h"
#include "formats/utf8.h"
#include "script/ini.h"

namespace pack {
namespace {

struct FileFacts {
  std::uint32_t size = 0;
  std::string sha256;  // raw digest
};

struct ImageFacts {
  std::uint32_t size = 0;                      // where the payload starts
  std::optional<std::uint32_t> setupImageSize;  // the compiled record
  std::optional<std::uint32_t> buildStamp;      // the PE header's TimeDateStamp
  std::string sha256;  // without the two fields signing rewrites
};

struct ScriptValue {
  std::string section, key;  // as the script writes them
  std::string value;         // as the installer reads it
};

struct PackageFacts {
  ImageFacts image;
  SignatureCheck signature;
  std::map<std::string, ScriptValue> keys;  // by folded section NUL folded key
  std::map<std::string, FileFacts> files;   // by name
  std::size_t entries = 0;
  std::uint64_t bytes = 0;                  // of file data
};

// Decoded archive bytes of one package, read by the thread that draws the
// progress line.
struct Counter {
  std::atomic<std::uint64_t> done{0};
  std::atomic<std::uint64_t> total{0};  // 0 until the table is read
};

std::uint32_t Le32(const std::string& data, std::size_t at) {
  return layout::ReadLe32(reinterpret_cast<const unsigned char*>(data.data() + at));
}

ImageFacts ReadImage(ByteSource& package, const PackageLayout& layout) {
  ImageFacts image;
  image.size = layout.payloadStart;
  image.setupImageSize = layout.compiledImageSize;
  // Signing rewrites the checksum and the certificate-table entry of the
  // image: a signed copy carries the same image without them.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> skipped;  // [from, to)
  const std::string header = package.ReadString(0, std::min<std::uint32_t>(layout.payloadStart, 4096));
  if (header.size() >= 0x40) {
    const std::size_t pe = Le32(header, 0x3C);
    if (pe <= header.size() - 0x40 && std::memcmp(header.data() + pe, "PE\0\0", 4) == 0 && pe + 26 <= header.size()) {
      image.buildStamp = Le32(header, pe + 8);
      const std::size_t optional = pe + 24;
      const unsigned magic = static_cast<unsigned char>(header[optional]) |
                             static_cast<unsigned>(static_cast<unsigned char>(header[optional + 1])) << 8;
      const std::size_t countAt = optional + (magic == 0x20B ? 108 : 92);
      const std::size_t directoryAt = optional + (magic == 0x20B ? 112 : 96) + 4 * 8;
      if ((magic == 0x10B || magic == 0x20B) && directoryAt + 8 <= header.size() && Le32(header, countAt) >= 5)
        skipped = {{optional + 64, optional + 68}, {directoryAt, directoryAt + 8}};
    }
  }
  Sha256Hash hash;
  auto hashRange = [&](std::uint64_t from, std::uint64_t to) {
    constexpr std::uint64_t kPiece = 1 << 20;
    for (std::uint64_t at = from; at < to; at += kPiece)
      hash.Update(package.ReadString(at, static_cast<std::size_t>(std::min(kPiece, to - at))));
  };
  std::uint64_t at = 0;
  for (const auto& [from, to] : skipped) {
    hashRange(at, from);
    at = to;
  }
  hashRange(at, layout.payloadStart);
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

PackageFacts ReadPackage(const std::filesystem::path& path, Counter& counter) {
  InputFile package(path);
  const PackageLayout layout = ReadLayout(package);
  PackageFacts facts;
  facts.image = ReadImage(package, layout);
  facts.signature = CheckSignature(package, layout);
  facts.keys = ReadKeys(package.ReadString(layout.scriptStart, layout.scriptLength));

  Sha256Hash hash;
  const std::vector<archive::Entry>* entries = nullptr;
  ArchiveParser parser(
      [&](const std::vector<archive::Entry>& table) {
        entries = &table;
        facts.entries = table.size();
        counter.total = ArchiveSize(table);
      },
      [&hash](std::size_t, std::string_view data) { hash.Update(data); },
      [&](std::size_t index) {
        const archive::Entry& entry = (*entries)[index];
        // A name met twice is installed twice: the later file stays.
        facts.files[entry.name] = FileFacts{entry.size, hash.Finish()};
        facts.bytes += entry.size;
        hash = Sha256Hash();
      });
  DecompressPayload(package, layout, [&](std::string_view data) {
    parser.Feed(data);
    counter.done += data.size();
    return true;
  });
  parser.Finish();
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
template <typename Value>
struct Changes {
  std::vector<std::pair<const std::string*, const Value*>> added, removed;
  struct Change {
    const std::string* key;
    const Value* old;
    const Value* now;
  };
  std::vector<Change> changed;
  std::size_t unchanged = 0;
  bool Empty() const { return added.empty() && removed.empty() && changed.empty(); }
};

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

// Days since 1970-01-01 as a civil date (the proleptic Gregorian calendar).
std::string UtcTime(std::uint32_t seconds) {
  const std::int64_t days = seconds / 86400, rest = seconds % 86400;
  const std::int64_t z = days + 719468, era = z / 146097, doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2);
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return text;
}

// Text for a terminal: valid UTF-8 as it is, control characters and bytes
// outside UTF-8 as \xNN (so a backslash in a name stays a separator to read;
// the JSON report carries the exact bytes).
std::string Shown(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = at;
    char32_t point = 0;
    if (utf8::DecodeCodePoint(text, at, point) && point >= 0x20 && point != 0x7F) {
      out.append(text.substr(start, at - start));
      continue;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[start]));
    out += hex;
    at = start + 1;
  }
  return out;
}

std::string ShortHash(const std::string& digest) { return HexBytes(digest).substr(0, 16); }

std::string Optional(const std::optional<std::uint32_t>& value) {
  return value ? std::to_string(*value) : std::string("none");
}

std::string Stamp(const std::optional<std::uint32_t>& stamp) {
  if (!stamp) return "none";
  // A reproducible build leaves the stamp 0.
  if (*stamp == 0) return "0 (not set)";
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08x", static_cast<unsigned>(*stamp));
  return std::string(hex) + " (" + UtcTime(*stamp) + ")";
}

std::string SignatureText(const SignatureCheck& check) {
  if (!check.fault.empty()) return (check.signed_ ? "signed, fault: " : "fault: ") + check.fault;
  if (!check.signed_) return "not signed";
  return "signed, " + check.digestAlgorithm + " digest";
}

bool SameSignature(const SignatureCheck& a, const SignatureCheck& b) {
  return a.signed_ == b.signed_ && a.digestAlgorithm == b.digestAlgorithm && a.fault == b.fault;
}

bool SameImage(const ImageFacts& a, const ImageFacts& b) { return a.size == b.size && a.sha256 == b.sha256; }

void WriteImage(JsonWriter& json, const ImageFacts& image) {
  json.BeginObject();
  json.Field("size", image.size);
  json.Key("setupImageSize");
  image.setupImageSize ? json.Number(*image.setupImageSize) : json.Null();
  json.Key("buildStamp");
  image.buildStamp ? json.Number(*image.buildStamp) : json.Null();
  json.Field("sha256", HexBytes(image.sha256));
  json.EndObject();
}

void WriteSignatureFacts(JsonWriter& json, const SignatureCheck& check) {
  json.BeginObject();
  json.Field("signed", check.signed_);
  json.TextOrNull("digestAlgorithm", check.digestAlgorithm);
  json.TextOrNull("fault", check.fault);
  json.EndObject();
}

void WriteSide(JsonWriter& json, const std::filesystem::path& path, const PackageFacts& facts) {
  json.BeginObject();
  json.Field("package", PathToUtf8(path));
  json.Field("files", facts.entries);
  json.Field("bytes", facts.bytes);
  json.EndObject();
}

}  // namespace

bool DiffPackages(const std::filesystem::path& oldPath, const std::filesystem::path& newPath, std::ostream& out,
                  const CommandOptions& options) {
  const auto [before, after] = ReadBoth(oldPath, newPath, options.progress);
  const Changes<FileFacts> files = Compare(before.files, after.files, [](const FileFacts& a, const FileFacts& b) {
    return a.size == b.size && a.sha256 == b.sha256;
  });
  const Changes<ScriptValue> keys =
      Compare(before.keys, after.keys, [](const ScriptValue& a, const ScriptValue& b) { return a.value == b.value; });
  const bool sameImage = SameImage(before.image, after.image);
  const bool sameSignature = SameSignature(before.signature, after.signature);
  const bool installsTheSame = files.Empty() && keys.Empty() && sameImage;

  std::ostringstream report;
  if (options.json) {
    JsonWriter json(report);
    json.BeginObject();
    json.Key("old");
    WriteSide(json, oldPath, before);
    json.Key("new");
    WriteSide(json, newPath, after);
    json.Field("same", installsTheSame);

    json.Key("files");
    json.BeginObject();
    for (const auto& [key, list] : {std::pair{"added", &files.added}, std::pair{"removed", &files.removed}}) {
      json.Key(key);
      json.BeginArray();
      for (const auto& [name, file] : *list) {
        json.BeginObject();
        WriteName(json, "name", *name);
        json.Field("size", file->size);
        json.Field("sha256", HexBytes(file->sha256));
        json.EndObject();
      }
      json.EndArray();
    }
    json.Key("changed");
    json.BeginArray();
    for (const auto& [name, old, now] : files.changed) {
      json.BeginObject();
      WriteName(json, "name", *name);
      json.Field("oldSize", old->size);
      json.Field("newSize", now->size);
      json.Field("oldSha256", HexBytes(old->sha256));
      json.Field("newSha256", HexBytes(now->sha256));
      json.EndObject();
    }
    json.EndArray();
    json.Field("unchanged", files.unchanged);
    json.EndObject();

    json.Key("script");
    json.BeginObject();
    for (const auto& [key, list] : {std::pair{"added", &keys.added}, std::pair{"removed", &keys.removed}}) {
      json.Key(key);
      json.BeginArray();
      for (const auto& [folded, value] : *list) {
        json.BeginObject();
        json.Field("section", value->section);
        json.Field("key", value->key);
        json.Field("value", value->value);
        json.EndObject();
      }
      json.EndArray();
    }
    json.Key("changed");
    json.BeginArray();
    for (const auto& [folded, old, now] : keys.changed) {
      json.BeginObject();
      json.Field("section", now->section);
      json.Field("key", now->key);
      json.Field("oldValue", old->value);
      json.Field("newValue", now->value);
      json.EndObject();
    }
    json.EndArray();
    json.Field("unchanged", keys.unchanged);
    json.EndObject();

    json.Key("image");
    json.BeginObject();
    json.Field("same", sameImage);
    json.Key("old");
    WriteImage(json, before.image);
    json.Key("new");
    WriteImage(json, after.image);
    json.EndObject();

    json.Key("signature");
    json.BeginObject();
    json.Field("same", sameSignature);
    json.Key("old");
    WriteSignatureFacts(json, before.signature);
    json.Key("new");
    WriteSignatureFacts(json, after.signature);
    json.EndObject();
    json.EndObject();
    out << report.str();
    return installsTheSame;
  }

  report << "old: " << Quoted(oldPath) << ", " << before.entries << " files, " << before.bytes << " bytes\n"
         << "new: " << Quoted(newPath) << ", " << after.entries << " files, " << after.bytes << " bytes\n";
  report << "files: " << files.added.size() << " added, " << files.removed.size() << " removed, "
         << files.changed.size() << " changed, " << files.unchanged << " unchanged\n";
  for (const auto& [name, file] : files.added)
    report << "  + " << Shown(*name) << "  (" << file->size << " bytes, sha256 " << ShortHash(file->sha256) << ")\n";
  for (const auto& [name, file] : files.removed)
    report << "  - " << Shown(*name) << "  (" << file->size << " bytes, sha256 " << ShortHash(file->sha256) << ")\n";
  for (const auto& [name, old, now] : files.changed)
    report << "  ~ " << Shown(*name) << "  (" << old->size << " -> " << now->size
           << " bytes, sha256 " << ShortHash(old->sha256) << " -> " << ShortHash(now->sha256) << ")\n";

  report << "script: " << keys.added.size() << " keys added, " << keys.removed.size() << " removed, "
         << keys.changed.size() << " changed, " << keys.unchanged << " unchanged\n";
  for (const auto& [folded, value] : keys.added)
    report << "  + [" << Shown(value->section) << "] " << Shown(value->key) << "=" << Shown(value->value) << "\n";
  for (const auto& [folded, value] : keys.removed)
    report << "  - [" << Shown(value->section) << "] " << Shown(value->key) << "=" << Shown(value->value) << "\n";
  for (const auto& [folded, old, now] : keys.changed)
    report << "  ~ [" << Shown(now->section) << "] " << Shown(now->key) << ": \"" << Shown(old->value)
           << "\" -> \"" << Shown(now->value) << "\"\n";

  if (sameImage) {
    report << "image: same (" << after.image.size << " bytes)\n";
  } else {
    report << "image: differs: " << before.image.size << " -> " << after.image.size << " bytes, SetupImageSize "
           << Optional(before.image.setupImageSize) << " -> " << Optional(after.image.setupImageSize)
           << ", build stamp " << Stamp(before.image.buildStamp) << " -> " << Stamp(after.image.buildStamp) << "\n";
  }
  if (sameSignature)
    report << "signature: same (" << SignatureText(after.signature) << ")\n";
  else
    report << "signature: differs: " << SignatureText(before.signature) << " -> " << SignatureText(after.signature)
           << "\n";
  report << (installsTheSame ? (sameSignature ? "result: the packages install the same\n"
                                              : "result: the packages install the same (only the signature differs)\n")
                             : "result: the packages differ\n");
  out << report.str();
  return installsTheSame;
}

}  // namespace pack
