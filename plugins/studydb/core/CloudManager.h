#pragma once

#include "JorvelRecords.h"
#include "SOGetSCU.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class IKelvast;
struct TransferProgress;

// Told when the user's cloud station record changed, on the thread of the web call.
class ICloudManagerCallback {
 public:
  virtual ~ICloudManagerCallback() = default;
  virtual void OnCloudStationChanged() = 0;
};

// A station counts when it has a key, an AE title and a host.
bool IsUsableStation(const CloudStation& station);

// The user's cloud receiving station as the web service last reported it.
class CloudManager {
 public:
  static CloudManager& Instance();

  CloudManager() = default;
  // Waits for a refresh under way, so its thread never outlives the object.
  ~CloudManager();
  CloudManager(const CloudManager&) = delete;
  CloudManager& operator=(const CloudManager&) = delete;

  // Switches the station's receiving on or off on this thread; false (nothing changed) when
  // the web call fails.
  bool Enable(bool on);
  // Fetches the station on a thread of its own; nothing when a refresh is under way. Busy is
  // cleared only after the listeners ran, so a listener that refreshes starts nothing.
  void Refresh();
  bool Busy() const { return busy_.load(); }
  CloudStation Station() const;

  // Added once; null ignored. Removal waits until no notification is under way, so a dialog
  // that removes itself before it is destroyed is never told afterwards.
  void AddListener(ICloudManagerCallback* listener);
  void RemoveListener(ICloudManagerCallback* listener);

 private:
  void Replace(const CloudStation& station);

  mutable std::mutex stationMutex_;  // guards station_
  CloudStation station_;
  std::mutex listenerMutex_;  // guards listeners_, held while they are told
  std::vector<ICloudManagerCallback*> listeners_;
  std::atomic<bool> busy_{false};
  std::mutex threadMutex_;  // guards refreshing_
  std::condition_variable refreshed_;
  bool refreshing_ = false;
};

// What a cloud receive shows; the window moves each to its UI thread.
class ICloudReceiveEvents {
 public:
  virtual ~ICloudReceiveEvents() = default;
  virtual void OnDownloadProgress(const TransferProgress& progress) = 0;
  // Once per receive, after the store's commit.
  virtual void OnCloudReceiveDone(bool ok) = 0;
};

// One receive from the user's station by C-GET with the key (0721,2001) "TRANSFER": every
// object the station sends is saved into the store, and the store is written once at the end,
// failed or not.
class CloudReceiver : private ISODcmGetSCUCallback {
 public:
  CloudReceiver(IKelvast* store, ICloudReceiveEvents* events);

  // Blocks; false when the station is not usable or the retrieve failed or was cancelled.
  bool Run(const CloudStation& station);
  // Any thread.
  void Cancel() { scu_.Cancel(); }

 private:
  void OnProgress(void* reserved, const SODcmGetProgress* counters) override;
  bool OnFileReceived(SODcmFile* file) override;

  IKelvast* store_;
  ICloudReceiveEvents* events_;
  SOGetSCU scu_;
};
