#include "SODate.h"

#include "SODateTime.h"
#include "SOUtil.h"

SODate SODate::Now() {
  return SODateTime::Now().date;
}

std::string SODate::toString(const char* format) const {
  return SOUtil::Format(format, year, month, day);
}
