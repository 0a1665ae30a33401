#include "SOTime.h"

#include "SODateTime.h"
#include "SOUtil.h"

SOTime SOTime::Now() {
  return SODateTime::Now().time;
}

std::string SOTime::toString(const char* format) const {
  return SOUtil::Format(format, hour, minute, second);
}
