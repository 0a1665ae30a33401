#include <dcmtk/oflog/oflog.h>
#include <gtest/gtest.h>

namespace {

// DCMTK warns on stderr about every oddity of the hostile and third-party files read here.
class QuietDcmtk : public ::testing::Environment {
 public:
  void SetUp() override { OFLog::configure(OFLogger::ERROR_LOG_LEVEL); }
};

const auto* const kQuiet = ::testing::AddGlobalTestEnvironment(new QuietDcmtk);

}  // namespace
