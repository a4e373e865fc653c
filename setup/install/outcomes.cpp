#include "install/outcomes.h"

#include <cstdio>

#include "messages/exit_codes.h"
#include "log/setup_log.h"
#include "messages/messages.h"
#include "report/report.h"
#include "formats/layout.h"

namespace {

void ShowInvalidSetupFile(std::uint32_t first, std::uint32_t expected, std::uint32_t index) {
  char text[256];
  std::snprintf(text, sizeof text, "The setup file does not appear to be valid, please re-download (%d:%d:%d)",
                static_cast<int>(first), static_cast<int>(expected), static_cast<int>(index));
  SetupMessageBox(nullptr, text, kInvalidSetupCaption, MB_OK);
}

}  // namespace

ExitCode ConcludeSplit(const SplitResult& result, const std::string& inputPath, const std::string& outputPath,
                       std::uint32_t expectedOffset) {
  switch (result.status) {
    case SplitStatus::kOpenFailed:
      LOG_ERROR("Input or output file failure ({}, {}) for \"{}\" and \"{}\".", result.input, result.output, inputPath,
                outputPath);
      break;
    case SplitStatus::kNoEndMarker:
      LOG_ERROR("Unable to locate signature size ({}:{}).", layout::kMarkerSearchWindow, 0);
      ShowInvalidSetupFile(0, expectedOffset, 0);
      break;
    case SplitStatus::kOffsetMismatch:
      LOG_ERROR("Error during configuration check ({}:{}).", result.readOffset, expectedOffset);
      ShowInvalidSetupFile(result.readOffset, expectedOffset, result.failedIndex);
      break;
    case SplitStatus::kWriteFailed:
      LOG_ERROR("Unable to write \"{}\" ({} bytes written).", outputPath, result.written);
      SetupMessageBox(nullptr, kTemporaryFilesMessage, kSetupErrorCaption, MB_OK);
      break;
    case SplitStatus::kCopied:
      return kExitSuccess;
  }
  return kExitFailure;
}

ExitCode ConcludeDecompression(const DecompressResult& result) {
  switch (result.status) {
    case DecompressStatus::kDone:
      return kExitSuccess;
    case DecompressStatus::kNotBzip2:
      LOG_ERROR("Decompression failed - the setup file does not appear to be valid.");
      SetupMessageBox(nullptr, kInvalidSetupMessage, kInvalidSetupCaption, MB_OK);
      return kExitFailure;
    case DecompressStatus::kIoError:
      LOG_ERROR("I/O error while decompressing (errno {}).", result.errorNumber);
      SetupMessageBox(nullptr, kTemporaryFilesMessage, kSetupErrorCaption, MB_OK);
      return kExitDecompressIo;
    case DecompressStatus::kDataError:
      LOG_ERROR("Data integrity (CRC) error while decompressing - the setup file is corrupt.");
      SetupMessageBox(nullptr, kInvalidSetupMessage, kInvalidSetupCaption, MB_OK);
      return kExitDecompressData;
    case DecompressStatus::kTruncated:
      LOG_ERROR("Compressed data ended unexpectedly - the setup file is truncated or corrupt.");
      SetupMessageBox(nullptr, kInvalidSetupMessage, kInvalidSetupCaption, MB_OK);
      return kExitDecompressData;
    case DecompressStatus::kOutOfMemory:
      LOG_ERROR("Out of memory while decompressing.");
      return kExitDecompressIo;
    case DecompressStatus::kLibraryConfig:
      LOG_ERROR("Decompression library configuration error.");
      return kExitDecompressLibrary;
    case DecompressStatus::kInternalError:
      LOG_ERROR("Internal decompression error: {}.", result.where);
      return kExitDecompressLibrary;
  }
  return kExitDecompressLibrary;
}

ExitCode ConcludeExtraction(const ExtractResult& result, const std::string& archivePath,
                            const std::string& destination) {
  switch (result.status) {
    case ExtractStatus::kDone:
      return kExitSuccess;
    case ExtractStatus::kArchiveUnreadable:
      LOG_ERROR("Unable to read the payload archive \"{}\".", archivePath);
      SetupMessageBox(nullptr, kTemporaryFilesMessage, kSetupErrorCaption, MB_OK);
      break;
    case ExtractStatus::kTableRefused:
      LOG_ERROR("The payload archive cannot be installed: {}.", result.detail);
      SetupMessageBox(nullptr, kInvalidSetupMessage, kInvalidSetupCaption, MB_OK);
      break;
    case ExtractStatus::kPathTooLong:
      LOG_ERROR("The path of \"{}\" below \"{}\" is longer than 259 characters.", result.detail, destination);
      SetupMessageBox(nullptr,
                      "The destination folder's path is too long for the files of this package, please choose a "
                      "shorter one.",
                      kSetupErrorCaption, MB_OK);
      break;
    case ExtractStatus::kStopped:
      LOG_ERROR("Exiting, unable to create file \"{}\".", result.target);
      break;
  }
  return kExitFailure;
}

bool AskToRetryFile(const FileFailure& failure) {
  if (failure.writing) LOG_ERROR("Writing file \"{}\" failed.  Error code {}.", failure.target, failure.error);
  const std::string text = "An error occured while trying to create a file (" + failure.target +
                           ").  Please check for available disk space/permissions.  If you had a previous version of "
                           "Quenlith running recently, it may be closing, so try again.  Sorry.";
  return SetupMessageBox(nullptr, text, "Error occurred during quenlith installation.", MB_RETRYCANCEL, IDCANCEL) ==
         IDRETRY;
}

ExitCode ConcludePayloadSplit(const SplitResult& result, const std::string& package, const std::string& outputPath,
                              std::uint32_t expectedOffset) {
  ConcludeSplit(result, package, outputPath, expectedOffset);
  LOG_ERROR("Exiting, error during split.");
  return kExitFailure;
}

ExitCode ConcludeTemporaryFiles() {
  SetupMessageBox(nullptr, kTemporaryFilesMessage, kSetupErrorCaption, MB_OK);
  return kExitFailure;
}

ExitCode ConcludeRun(ExitCode code) {
  // An installed copy as new or newer ends the run as planned: nothing failed.
  const bool failed = code != kExitSuccess && code != kExitUpToDate;
  if (failed && !gSetupLog.ErrorsSeen())
    LOG_ERROR("Setup is exiting with code {}: {}.", static_cast<int>(code), ExitCodeFailureMeaning(code));
  return code;
}

void EndRunFromInstallThread(ExitCode code) {
  FinishBackgroundReports();
  ConcludeRun(code);
  gSetupLog.Close();
  ExitProcess(static_cast<UINT>(code));
}
