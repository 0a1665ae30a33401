#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "JorvelRecords.h"
#include "ListenerSet.h"
#include "SOLock.h"

class Link;
class OrderObject;
struct WebError;

// Listener of a link. Called on the thread that caused the event, after the link released its
// locks, so a listener may call the link; listeners that touch windows post to the UI thread
// and never wait for it (RemoveCallback waits for a call under way).
class ILinkCallback {
 public:
  virtual ~ILinkCallback() = default;
  virtual void OnLinkChanged(Link*) {}
  virtual void OnMoreStarted(Link*) {}
  virtual void OnMoreFinished(Link*) {}
  virtual void OnOrderAdded(Link*, const std::shared_ptr<OrderObject>&) {}
  // The list was loaded again from its first page; orders no longer in it were dropped.
  virtual void OnOrdersReloaded(Link*) {}
};

// One list of consultation orders the service keeps for the logged-in user: pages of 20 loaded
// on demand, kept current from the list's change stamp. The subclasses give the web calls and
// the kind of order object.
class Link : public std::enable_shared_from_this<Link> {
 public:
  static constexpr int kPageSize = 20;

  virtual ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  bool HasMore() const { return hasMore_.load(); }
  virtual std::string GetName() const = 0;
  // Drops every order; the next Update loads the first page again.
  virtual void Clear();
  virtual bool IsBlocked() const { return false; }
  virtual bool NeedsRecharge() const { return false; }
  virtual bool IsMyLink() const = 0;

  // Loads the next older page on a thread of its own; true.
  bool LoadMore();
  // The first page when nothing is loaded yet, else the changes since the last stamp.
  // The result is the web call's.
  bool Update();
  // The first page again, whatever the stamp: it replaces the orders (the objects of orders it
  // still lists are kept, with their transfers), for a service that may have started its stamps
  // over. The result is the web call's.
  bool Reload();
  // A record from the service: updates the listed order with its id, or inserts a new one.
  // start: the creation dialog hands over the order it just created.
  void AddOrUpdateOrder(const DiagnosticRecord& record, bool start);

  void AddCallback(ILinkCallback* callback);
  void RemoveCallback(ILinkCallback* callback);

  // Copies, newest first.
  std::vector<std::shared_ptr<OrderObject>> Orders() const;
  int Stamp() const;

  // The id that asks for the page below the oldest loaded order: empty for an empty list, else
  // the oldest id minus 1; false when that id is not a decimal number.
  static bool NextPageStart(const std::vector<std::shared_ptr<OrderObject>>& orders, std::string& startId);

 protected:
  Link();
  virtual bool FetchPage(std::vector<DiagnosticRecord>* records, const std::string& startId, int* stamp,
                         WebError* error) = 0;
  virtual bool FetchChanges(std::vector<DiagnosticRecord>* records, const std::string& lastId, int stamp,
                            int* newStamp, WebError* error) = 0;
  virtual std::shared_ptr<OrderObject> MakeOrder(const DiagnosticRecord& record) = 0;
  void NotifyListeners(const std::function<void(ILinkCallback*)>& event);

  std::atomic<bool> hasMore_{true};

 private:
  void LoadMoreSteps();
  // Applies records fetched while the link was at `generation`; a Clear since drops them.
  // Page records are appended (pages come newest first and reach further back); changes and
  // orders handed over one by one go to the front when they are not older than the newest.
  void ApplyRecords(const std::vector<DiagnosticRecord>& records, uint64_t generation, bool page);
  bool AddOrUpdateLocked(const DiagnosticRecord& record, uint64_t generation, bool page,
                         std::shared_ptr<OrderObject>& added);

  mutable SOLock ordersLock_;
  std::vector<std::shared_ptr<OrderObject>> orders_;  // guarded by ordersLock_
  int stamp_ = 0;                                     // guarded by ordersLock_
  uint64_t generation_ = 0;                           // guarded by ordersLock_; moves at every Clear
  ListenerSet<ILinkCallback> listeners_;
};

// The orders the logged-in user created. One per process.
class MyLink : public Link {
 public:
  static std::shared_ptr<MyLink> Instance();

  std::string GetName() const override { return std::string(); }
  bool IsMyLink() const override { return true; }

 protected:
  bool FetchPage(std::vector<DiagnosticRecord>* records, const std::string& startId, int* stamp,
                 WebError* error) override;
  bool FetchChanges(std::vector<DiagnosticRecord>* records, const std::string& lastId, int stamp, int* newStamp,
                    WebError* error) override;
  std::shared_ptr<OrderObject> MakeOrder(const DiagnosticRecord& record) override;
};
