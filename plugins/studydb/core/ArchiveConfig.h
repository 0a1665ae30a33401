#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// One DICOM node that studies are sent to.
struct RemoteNode {
  std::string name;
  std::string aeTitle;  // the node's own AE title: the called AE of a send
  std::string ip;       // host name or IP address
  uint16_t port = 0;

  bool operator==(const RemoteNode&) const = default;
};

// A peer's cloud station that studies were cloud-sent to.
struct CloudDevice {
  std::string code;
  std::string comment;  // written empty by this system

  bool operator==(const CloudDevice&) const = default;
};

// Followers of the lists and the cloud receive interval; told on the changing thread, after
// the file was written, in the order they were added.
class ISOConfigCallback {
 public:
  virtual ~ISOConfigCallback() = default;
  virtual void OnRemoteChanged() {}
  virtual void OnCloudReceiveChanged() {}
  virtual void OnCloudDeviceChanged() {}
};

// The plug-in's network settings, kept in "archive.xml" of the configuration folder: the
// receiving service's port and AE title, the commitment listener, the cloud receive interval, the remote nodes and the
// remembered cloud devices. Values are guarded by one lock, so the worker threads read them
// while the dialogs change them; the file is replaced whole (temporary file, then rename), so a
// failed write never leaves it cut short.
class ArchiveConfig {
 public:
  static constexpr uint16_t kDefaultPort = 11112;
  static constexpr const char* kDefaultAETitle = "Storage";
  static constexpr int kDefaultMinutes = 5;
  // The listener for storage commitment answers that nodes send on associations of their own.
  static constexpr uint16_t kDefaultCommitPort = 11113;
  static constexpr const char* kDefaultCommitAETitle = "ORVANTA";

  // The module's object on Gossamy's configuration folder, built and loaded on first use.
  static ArchiveConfig& Instance();

  // Loads path, fills what is missing with the defaults and writes the file when it lacked them.
  explicit ArchiveConfig(std::string path);
  ArchiveConfig(const ArchiveConfig&) = delete;
  ArchiveConfig& operator=(const ArchiveConfig&) = delete;

  // Re-reads the lists and whatever valid values the file holds.
  void Load();
  bool Save();

  uint16_t Port() const;
  std::string AETitle() const;
  int CloudReceiveMinutes() const;
  // The commitment listener: whether it runs, its port and the AE title this station calls
  // nodes with, which they know at that port.
  bool CommitEnabled() const;
  uint16_t CommitPort() const;
  std::string CommitAETitle() const;
  std::vector<RemoteNode> Remotes() const;
  std::vector<CloudDevice> CloudDevices() const;
  const std::string& Path() const { return path_; }

  // False for a port outside 1-65535 or an invalid AE title; unchanged values write nothing.
  // The running receiving service keeps its values until the next start of the program.
  bool SetSCP(int port, const char* aeTitle);
  // False for a port outside 1-65535 or an invalid AE title; unchanged values write nothing.
  bool SetCommit(bool enabled, int port, const char* aeTitle);
  // False, with nothing changed, for a node whose port or AE title is invalid or whose address
  // is empty (and for an index outside the list).
  bool AddRemote(const RemoteNode& node);
  bool UpdateRemote(int index, const RemoteNode& node);
  // Whether a node was removed.
  bool RemoveRemote(int index);
  // Clamped to 1-1440; an unchanged value writes nothing.
  void SetCloudReceiveMinutes(int minutes);
  bool AddCloudDevice(const char* code);
  bool RemoveCloudDevice(int index);

  // Added once; null ignored. Removal waits for a notification under way.
  void AddListener(ISOConfigCallback* listener);
  void RemoveListener(ISOConfigCallback* listener);

  // Shared rules of the dialogs and of the file.
  static bool ValidPort(long long port);
  static bool ValidAETitle(const std::string& aeTitle);
  static int ClampMinutes(long long minutes);
  // A port typed or read as text: digits only, 1-65535; 0 otherwise.
  static uint16_t ParsePort(const char* text);

 private:
  enum class Change { Remote, CloudReceive, CloudDevice };
  void LoadLocked();
  bool SaveLocked();
  void Notify(Change change);

  const std::string path_;
  mutable std::mutex mutex_;  // guards the values below and the file
  uint16_t port_ = 0;
  std::string aeTitle_;
  int cloudReceiveMinutes_ = kDefaultMinutes;
  bool commitEnabled_ = true;
  uint16_t commitPort_ = kDefaultCommitPort;
  std::string commitAETitle_ = kDefaultCommitAETitle;
  std::vector<RemoteNode> remotes_;
  // Remote items of the file that cannot be used as written, kept as their XML text so a save
  // writes them back instead of losing what the user typed there.
  std::vector<std::string> unusableRemotes_;
  std::vector<CloudDevice> cloudDevices_;

  std::mutex listenerMutex_;  // guards listeners_, held while they are told
  std::vector<ISOConfigCallback*> listeners_;
};
