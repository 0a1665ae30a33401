#pragma once

#include <functional>
#include <string>
#include <thread>

// One running program per user: an advisory lock ("OrvantaMutex.lock") in the user's runtime
// folder, held until the process ends, and a local socket ("Orvanta.sock") beside it on which
// the running program takes requests of later starts. A request is a 4-byte length (little
// endian) and that many bytes: "ACTIVATE", or "IMPORT " followed by a folder path.
class SOSingleInstance {
 public:
  SOSingleInstance() = default;
  // Stops listening and frees the lock.
  ~SOSingleInstance();
  SOSingleInstance(const SOSingleInstance&) = delete;
  SOSingleInstance& operator=(const SOSingleInstance&) = delete;

  // Takes the lock; false when another process of the user holds it.
  bool Acquire();
  // Listens for requests (after Acquire); each one is handed to `handler` on the listening
  // thread. False when the socket cannot be set up.
  bool Listen(std::function<void(const std::string& request)> handler);

  // Sends a request to the running program; false when none takes it.
  static bool Send(const std::string& request);
  // $XDG_RUNTIME_DIR, else a private folder /tmp/Orvanta-<uid>; ends in '/'; empty when no
  // safe folder can be had.
  static std::string RuntimeFolder();

  // The longest request taken; longer ones are dropped unread.
  static constexpr unsigned kMaxRequest = 64 * 1024;

 private:
  void Serve(std::function<void(const std::string&)> handler);

  int m_lock = -1;
  int m_listen = -1;
  int m_wake[2] = {-1, -1};  // written to stop the listening thread
  std::thread m_thread;
};
