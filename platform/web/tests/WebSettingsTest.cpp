// Where the client finds the service, and the stand-alone service program answering a login made
// with the curl command line.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "Jorvel.h"
#include "JorvelTransport.h"
#include "TestSupport.h"
#include <nlohmann/json.hpp>

extern char** environ;

namespace {

TEST(WebSettings, SystemXmlGivesTheServiceAndTheEnvironmentOverridesIt) {
  auto dir = orvanta::test::MakeTempDir("web");
  auto path = (dir / "system.xml").string();
  std::ofstream(path) << "<?xml version=\"1.0\"?>\n<System><Version>1</Version>"
                         "<WebService url=\"https://consult.example.org/\" connectTimeout=\"1500\" timeout=\"9000\"/>"
                         "</System>\n";
  unsetenv("ORVANTA_WEB_URL");
  JorvelSettings settings = jorvel::LoadSettings(path);
  EXPECT_EQ(settings.baseUrl, "https://consult.example.org/");
  EXPECT_EQ(settings.connectTimeoutMs, 1500);
  EXPECT_EQ(settings.timeoutMs, 9000);

  setenv("ORVANTA_WEB_URL", "http://127.0.0.1:9", 1);
  EXPECT_EQ(jorvel::LoadSettings(path).baseUrl, "http://127.0.0.1:9");
  unsetenv("ORVANTA_WEB_URL");

  // No file, or a file without the entry: no service, the usual time-outs.
  JorvelSettings none = jorvel::LoadSettings((dir / "missing.xml").string());
  EXPECT_TRUE(none.baseUrl.empty());
  EXPECT_EQ(none.connectTimeoutMs, JorvelSettings().connectTimeoutMs);
  EXPECT_EQ(none.timeoutMs, JorvelSettings().timeoutMs);
}

std::string Curl(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

TEST(WebSettings, StandAloneServiceAnswersACurlLogin) {
  const char* bin = std::getenv("ORVANTA_BIN_DIR");
  ASSERT_NE(bin, nullptr);
  std::string program = std::string(bin) + "/../tools/consult_fixture";
  std::string port = std::to_string(orvanta::test::FreeLoopbackPort());
  std::vector<char*> argv{program.data(), const_cast<char*>("--port"), port.data(), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ), 0) << program;

  std::string login = "curl -s -X POST -H 'Content-Type: application/json' "
                      "-d '{\"user\":\"doctor\",\"password\":\"doctor\"}' http://127.0.0.1:" + port + "/api/Login";
  std::string answer;
  for (int tries = 0; tries < 100 && answer.empty(); ++tries) {
    answer = Curl(login);
    if (answer.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // The test hooks answer over HTTP too.
  std::string base = "curl -s -X POST -H 'Content-Type: application/json' http://127.0.0.1:" + port;
  Curl(base + "/api/VerifyCode -d '{\"mobile\":\"13900000009\"}'");
  std::string sms = Curl(base + "/admin/SmsCode -d '{\"mobile\":\"13900000009\"}'");
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  nlohmann::json reply = nlohmann::json::parse(answer, nullptr, false);
  ASSERT_TRUE(reply.is_object()) << answer;
  EXPECT_EQ(reply["ok"], true);
  EXPECT_TRUE(reply["token"].is_string() && !reply["token"].get<std::string>().empty());
  EXPECT_EQ(reply["user"]["userName"], "doctor");
  EXPECT_TRUE(reply["user"]["id"].is_string());
  nlohmann::json code = nlohmann::json::parse(sms, nullptr, false);
  ASSERT_TRUE(code.is_object()) << sms;
  EXPECT_EQ(code["ok"], true);
  EXPECT_EQ(code["code"].get<std::string>().size(), 6u);
}

}  // namespace
