#include "SONet.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <strings.h>

#include "SOCurl.h"

namespace {

struct Transfer {
  std::FILE* file = nullptr;
  INetCallback* progress = nullptr;
  const std::atomic<bool>* cancel = nullptr;
  bool chunked = false;  // the last response's body came in chunks, whose end is checked
};

// Notes "Transfer-Encoding: chunked" of each response (a redirect's headers come first).
size_t ReadHeader(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t n = size * count;
  std::string line(data, n);
  if (line.rfind("HTTP/", 0) == 0) transfer->chunked = false;
  static const char kName[] = "transfer-encoding:";
  if (n > sizeof kName && strncasecmp(line.c_str(), kName, sizeof kName - 1) == 0) {
    for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    transfer->chunked = line.find("chunked") != std::string::npos;
  }
  return n;
}

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  return std::fwrite(data, size, count, transfer->file) * size;
}

int Progress(void* user, curl_off_t total, curl_off_t done, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  if (transfer->progress) transfer->progress->OnNetProgress(static_cast<double>(total), static_cast<double>(done));
  return transfer->cancel && transfer->cancel->load() ? 1 : 0;
}

}  // namespace

bool SONet::Download(const char* url, const char* path, INetCallback* progress, const std::atomic<bool>* cancel,
                     long totalSeconds, long lowSpeedSeconds) {
  if (!url || !path || !*url || !*path) return false;
  const SOCurlApi* const curlApi = SOCurl();
  if (!curlApi) return false;
  const std::string part = std::string(path) + ".part";
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curlApi->easy_init(), curlApi->easy_cleanup);
  Transfer transfer{std::fopen(part.c_str(), "wb"), progress, cancel};
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
  curlApi->easy_setopt(curl.get(), CURLOPT_TIMEOUT, totalSeconds);
  curlApi->easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1024L);
  curlApi->easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, lowSpeedSeconds);
  curlApi->easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, ReadHeader);
  curlApi->easy_setopt(curl.get(), CURLOPT_HEADERDATA, &transfer);
  curlApi->easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, WriteBody);
  curlApi->easy_setopt(curl.get(), CURLOPT_WRITEDATA, &transfer);
  curlApi->easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, Progress);
  curlApi->easy_setopt(curl.get(), CURLOPT_XFERINFODATA, &transfer);
  curlApi->easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
  const CURLcode code = curlApi->easy_perform(curl.get());
  long status = 0, version = 0;
  curl_off_t announced = -1, received = 0;
  curlApi->easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  curlApi->easy_getinfo(curl.get(), CURLINFO_HTTP_VERSION, &version);
  curlApi->easy_getinfo(curl.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  curlApi->easy_getinfo(curl.get(), CURLINFO_SIZE_DOWNLOAD_T, &received);
  const bool flushed = std::fclose(transfer.file) == 0;
  // Chunks and HTTP/2 streams have an end of their own, which libcurl checks; a body of
  // HTTP/1 without a length ends where the connection does, cut or not.
  const bool framed = transfer.chunked || (version != CURL_HTTP_VERSION_1_0 && version != CURL_HTTP_VERSION_1_1);
  const bool complete = code == CURLE_OK && flushed && status >= 200 && status < 300 &&
                        (announced >= 0 ? announced == received : framed);
  std::error_code ec;
  if (complete) std::filesystem::rename(part, path, ec);
  if (!complete || ec) {
    std::filesystem::remove(part, ec);
    return false;
  }
  return true;
}
