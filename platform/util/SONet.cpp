#include "SONet.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "SOCurl.h"

namespace {

struct Transfer {
  std::FILE* file = nullptr;
  INetCallback* progress = nullptr;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  return std::fwrite(data, size, count, transfer->file) * size;
}

int Progress(void* user, curl_off_t total, curl_off_t done, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  if (transfer->progress) transfer->progress->OnNetProgress(static_cast<double>(total), static_cast<double>(done));
  return 0;
}

}  // namespace

bool SONet::Download(const char* url, const char* path, INetCallback* progress, long lowSpeedSeconds) {
  if (!url || !path || !*url || !*path) return false;
  const SOCurlApi* const curlApi = SOCurl();
  if (!curlApi) return false;
  const std::string part = std::string(path) + ".part";
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curlApi->easy_init(), curlApi->easy_cleanup);
  Transfer transfer{std::fopen(part.c_str(), "wb"), progress};
  if (!curl || !transfer.file) {
    if (transfer.file) std::fclose(transfer.file);
    std::remove(part.c_str());
    return false;
  }
  curlApi->easy_setopt(curl.get(), CURLOPT_URL, url);
  curlApi->easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
  curlApi->easy_setopt(curl.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curlApi->easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curlApi->easy_setopt(curl.get(), CURLOPT_MAXREDIRS, 5L);
  curlApi->easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curlApi->easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, 15L);
  curlApi->easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
  curlApi->easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, lowSpeedSeconds);
  curlApi->easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, WriteBody);
  curlApi->easy_setopt(curl.get(), CURLOPT_WRITEDATA, &transfer);
  curlApi->easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, Progress);
  curlApi->easy_setopt(curl.get(), CURLOPT_XFERINFODATA, &transfer);
  curlApi->easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
  const CURLcode code = curlApi->easy_perform(curl.get());
  long status = 0;
  curl_off_t announced = -1, received = 0;
  curlApi->easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  curlApi->easy_getinfo(curl.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  curlApi->easy_getinfo(curl.get(), CURLINFO_SIZE_DOWNLOAD_T, &received);
  const bool flushed = std::fclose(transfer.file) == 0;
  const bool complete = code == CURLE_OK && flushed && status >= 200 && status < 300 &&
                        (announced < 0 || announced == received);
  std::error_code ec;
  if (complete) std::filesystem::rename(part, path, ec);
  if (!complete || ec) {
    std::filesystem::remove(part, ec);
    return false;
  }
  return true;
}
