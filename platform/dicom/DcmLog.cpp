// DCMTK's own logging, set once for every process that loads this library.

#include <dcmtk/oflog/appender.h>
#include <dcmtk/oflog/logger.h>
#include <dcmtk/oflog/spi/logevent.h>

#include <chrono>
#include <cstdio>
#include <mutex>

#include "DcmInternal.h"

namespace {

namespace log4 = dcmtk::log4cplus;

thread_local int quietDepth = 0;

// DCMTK's errors on stderr, at most kLinesPerSecond a second; what is dropped beyond that is
// counted on the next line that goes out.
class BoundedStderrAppender : public log4::Appender {
 public:
  ~BoundedStderrAppender() override { destructorImpl(); }
  void close() override {}

 protected:
  void append(const log4::spi::InternalLoggingEvent& event) override {
    if (quietDepth > 0) return;
    std::lock_guard<std::mutex> guard(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (now - windowStart_ >= std::chrono::seconds(1)) {
      windowStart_ = now;
      lines_ = 0;
    }
    if (lines_ >= kLinesPerSecond) {
      ++dropped_;
      return;
    }
    ++lines_;
    if (dropped_) std::fprintf(stderr, "DCMTK: %lu more messages not shown\n", dropped_);
    dropped_ = 0;
    std::fprintf(stderr, "DCMTK: %s\n", event.getMessage().c_str());
  }

 private:
  static constexpr int kLinesPerSecond = 20;
  std::mutex mutex_;
  std::chrono::steady_clock::time_point windowStart_{};
  int lines_ = 0;
  unsigned long dropped_ = 0;
};

// At its default level DCMTK formats a warning for every oddity of a file it parses (hundreds of
// thousands of lines for one odd file), and the network modules a line for every association.
// Only errors go out, at a bounded rate; this library's own loggers keep their level and output.
const bool kDcmtkErrorsOnly = [] {
  log4::Logger dcmtk = log4::Logger::getInstance("dcmtk");
  dcmtk.setLogLevel(log4::ERROR_LOG_LEVEL);
  dcmtk.setAdditivity(false);
  dcmtk.addAppender(log4::SharedAppenderPtr(new BoundedStderrAppender));
  return true;
}();

}  // namespace

DcmQuietLog::DcmQuietLog() { ++quietDepth; }
DcmQuietLog::~DcmQuietLog() { --quietDepth; }
