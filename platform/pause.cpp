#include "platform/pause.h"

#include <windows.h>

namespace {

std::function<void(unsigned)>& Replacement() {
  static std::function<void(unsigned)> replacement;
  return replacement;
}

}  // namespace

void Pause(unsigned milliseconds) {
  if (Replacement())
    Replacement()(milliseconds);
  else
    Sleep(milliseconds);
}

void ReplacePause(std::function<void(unsigned milliseconds)> pause) { Replacement() = std::move(pause); }
