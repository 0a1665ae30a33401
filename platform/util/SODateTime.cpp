#include "SODateTime.h"

#include <sys/time.h>

#include <ctime>

SODateTime SODateTime::Now() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  const std::time_t seconds = tv.tv_sec;
  std::tm local{};
  localtime_r(&seconds, &local);
  return {{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday},
          {local.tm_hour, local.tm_min, local.tm_sec, int(tv.tv_usec / 1000)}};
}

std::string SODateTime::toString() const {
  return date.toString() + " " + time.toString();
}
