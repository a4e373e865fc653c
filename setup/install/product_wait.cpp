#include "install/product_wait.h"

#include "log/setup_log.h"
#include "install/product.h"
#include "platform/pause.h"

bool WaitForProductToClose() {
  constexpr int kMostWaits = 401;
  constexpr unsigned kWaitMs = 50;
  for (int waits = 0; ProductIsRunning(); ++waits) {
    if (waits == 0) LOG_NORMAL("Waiting for Quenlith to exit.");
    if (waits == kMostWaits) {
      LOG_NORMAL("Giving up, will try to install anyway..");
      return false;
    }
    Pause(kWaitMs);
  }
  return true;
}
