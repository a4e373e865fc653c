#include "messages/exit_codes.h"

const ExitCodeMeaning* FindExitCode(int code) {
  for (const ExitCodeMeaning& row : kExitCodeMeanings)
    if (row.code == code) return &row;
  return nullptr;
}

const char* ExitCodeRunMeaning(int code) {
  const ExitCodeMeaning* row = FindExitCode(code);
  return row != nullptr ? row->run : "not an exit code of the installer";
}

const char* ExitCodeFailureMeaning(ExitCode code) {
  const ExitCodeMeaning* row = FindExitCode(code);
  return row != nullptr && row->failure != nullptr ? row->failure : "unexpected exit code";
}
