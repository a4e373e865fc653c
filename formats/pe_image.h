#pragma once
// The headers of a Windows executable (PE32 and PE32+) as far as the
// installer's tools need them: the machine, the build stamp, the checksum
// and data-directory positions that signing rewrites, the section table and
// where the image's raw data ends. Reads from the bytes given (usually the
// first few kilobytes of the file) and never past them; everything answers
// "none" rather than guess when a field lies outside. Needs no Windows API.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pe {

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;

// Data directories by index.
inline constexpr std::uint32_t kImportDirectory = 1;
inline constexpr std::uint32_t kResourceDirectory = 2;
inline constexpr std::uint32_t kCertificateDirectory = 4;  // its address is a file offset, not an RVA
inline constexpr std::uint32_t kDelayImportDirectory = 13;

// The DOS stub's pointer and the COFF file header after the "PE\0\0" signature.
struct FileHeader {
  std::uint32_t signatureAt = 0;  // file offset of "PE\0\0" (the DOS header's e_lfanew)
  std::uint16_t machine = 0;      // kMachineI386, kMachineAmd64 or another
  std::uint16_t sectionCount = 0;
  std::uint32_t timeDateStamp = 0;  // the build stamp; 0 in a reproducible build
  std::uint16_t optionalHeaderSize = 0;

  // File offsets of the optional header and of the section table after it.
  std::uint64_t OptionalHeaderAt() const { return std::uint64_t{signatureAt} + 24; }
  std::uint64_t SectionTableAt() const { return OptionalHeaderAt() + optionalHeaderSize; }
  bool operator==(const FileHeader&) const = default;
};

// "MZ", a signature pointer, "PE\0\0" and the 20-byte file header, all
// within data[0, size); none otherwise.
std::optional<FileHeader> ReadFileHeader(const unsigned char* data, std::size_t size);

// The fields of the optional header that locate what signing rewrites.
struct OptionalHeader {
  bool plus = false;                 // PE32+ (64-bit fields) rather than PE32
  std::uint64_t checksumAt = 0;      // file offset of the 4-byte CheckSum
  std::uint32_t directoryCount = 0;  // NumberOfRvaAndSizes
  std::uint64_t directoriesAt = 0;   // file offset of the first 8-byte directory entry
  bool operator==(const OptionalHeader&) const = default;
};

// The optional header of `file`: none unless its magic says PE32 or PE32+
// and everything up to the directory count lies within data[0, size).
std::optional<OptionalHeader> ReadOptionalHeader(const unsigned char* data, std::size_t size, const FileHeader& file);

struct DataDirectory {
  std::uint64_t entryAt = 0;  // file offset of the 8-byte entry itself
  std::uint32_t address = 0;  // RVA (a file offset for kCertificateDirectory); 0 when absent
  std::uint32_t size = 0;
  bool operator==(const DataDirectory&) const = default;
};

// Entry `index` of the data directories: none when the header declares fewer
// or the entry lies outside data[0, size).
std::optional<DataDirectory> ReadDataDirectory(const unsigned char* data, std::size_t size,
                                               const OptionalHeader& optional, std::uint32_t index);

struct Section {
  std::uint32_t virtualSize = 0;
  std::uint32_t virtualAddress = 0;
  std::uint32_t rawSize = 0;    // SizeOfRawData: bytes in the file
  std::uint32_t rawOffset = 0;  // PointerToRawData
  bool operator==(const Section&) const = default;
};

// The section table of `file`: none when it does not lie wholly within
// data[0, size).
std::optional<std::vector<Section>> ReadSections(const unsigned char* data, std::size_t size, const FileHeader& file);

// The file offset of relative virtual address `rva`, through the section
// that holds it: the first whose virtual range (the larger of its virtual
// and raw sizes) covers it. None when no section does, or when `rva` falls
// in that section's zero fill, past its raw data, which the file lacks.
std::optional<std::uint64_t> FileOffsetOf(const std::vector<Section>& sections, std::uint32_t rva);

// Where a PE file's image ends: the end of the section raw data that ends
// last, or of the section table when that ends later. None when `data` is
// not a PE file, has no sections, or its section table lies outside it.
std::optional<std::uint64_t> ImageEnd(const unsigned char* data, std::size_t size);

// The architecture a machine field names, as the build calls it: "i686",
// "x86_64", otherwise "machine 0x" and the field in hexadecimal.
std::string ArchitectureName(std::uint16_t machine);

}  // namespace pe
