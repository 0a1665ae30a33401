#pragma once

#include <atomic>
#include <string>

// Told of a download's progress, on the downloading thread: the total size in bytes (0 while
// unknown) and the bytes received so far.
class INetCallback {
 public:
  virtual void OnNetProgress(double total, double done) = 0;

 protected:
  ~INetCallback() = default;
};

class SONet {
 public:
  // Downloads url into path over HTTP(S), blocking. The bytes go to path + ".part", which is
  // renamed to path only when the server answered 2xx and the body is known to be whole: its
  // announced length arrived, or its chunked or HTTP/2 framing ended properly (a body that only
  // ends where the connection closes may have been cut, and is refused); otherwise it is removed
  // and path is left as it was. The transfer is given up when cancel (may be null) turns true
  // (within about a second), after totalSeconds, and when it crawls (under 1 KB/s for
  // lowSpeedSeconds). progress may be null.
  static bool Download(const char* url, const char* path, INetCallback* progress,
                       const std::atomic<bool>* cancel = nullptr, long totalSeconds = 3600, long lowSpeedSeconds = 30);
};
