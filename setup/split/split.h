#pragma once
// SplitSetupFile: copies one appended section of the setup package into a
// file of its own (section 0 is the installer script, section 1 the
// compressed payload).

#include <cstdint>
#include <string>

// Copies section `sectionIndex` of `inputPath` into `outputPath` (created or
// overwritten). With `checkOffset` the section must start at
// `expectedOffset`. Returns false, after its log line and (unless the run is
// silent) its message box, when a file cannot be opened, the end marker is
// missing, the chain of offsets is broken or does not match, or the copy
// cannot be written. The output file is left in place on failure.
bool SplitSetupFile(const std::string& inputPath, const std::string& outputPath, std::uint32_t expectedOffset,
                    bool checkOffset, std::uint32_t sectionIndex);
