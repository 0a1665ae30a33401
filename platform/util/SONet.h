#pragma once

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
  // renamed to path only when the server answered 2xx and the whole announced length arrived;
  // otherwise it is removed and path is left as it was. A transfer that stalls (under 1 byte/s
  // for lowSpeedSeconds) is given up. progress may be null.
  static bool Download(const char* url, const char* path, INetCallback* progress, long lowSpeedSeconds = 30);
};
