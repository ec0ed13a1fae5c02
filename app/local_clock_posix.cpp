#include "app/local_clock.h"

namespace tavel {

std::tm LocalClockNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

}  // namespace tavel
