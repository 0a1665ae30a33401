#include "Link.h"

#include <algorithm>
#include <charconv>
#include <thread>

#include "ClientOrder.h"
#include "Gossamy.h"
#include "IHalvex.h"
#include "Jorvel.h"
#include "RemoteSession.h"

Link::Link() = default;

Link::~Link() = default;

void Link::AddCallback(ILinkCallback* callback) { listeners_.Add(callback); }

void Link::RemoveCallback(ILinkCallback* callback) { listeners_.Remove(callback); }

void Link::NotifyListeners(const std::function<void(ILinkCallback*)>& event) { listeners_.ForEach(event); }

std::vector<std::shared_ptr<OrderObject>> Link::Orders() const {
  SOAutoLock guard(ordersLock_);
  return orders_;
}

int Link::Stamp() const {
  SOAutoLock guard(ordersLock_);
  return stamp_;
}

bool Link::NextPageStart(const std::vector<std::shared_ptr<OrderObject>>& orders, std::string& startId) {
  startId.clear();
  if (orders.empty()) return true;
  std::string id = orders.back()->Id();
  long long value = 0;
  auto [end, ec] = std::from_chars(id.data(), id.data() + id.size(), value);
  if (id.empty() || ec != std::errc() || end != id.data() + id.size()) return false;
  startId = std::to_string(value - 1);
  return true;
}

void Link::Clear() {
  std::vector<std::shared_ptr<OrderObject>> dropped;
  {
    SOAutoLock guard(ordersLock_);
    dropped.swap(orders_);
    stamp_ = 0;
    ++generation_;
    hasMore_ = true;
  }
  IHalvex* network = RemoteSession::NetworkStore();
  for (const auto& order : dropped) network->RemoveCallback(order.get());
}

bool Link::Update() {
  std::string lastId;
  int stamp = 0;
  uint64_t generation = 0;
  {
    SOAutoLock guard(ordersLock_);
    if (!orders_.empty() && stamp_ != 0) {
      lastId = orders_.back()->Id();
      stamp = stamp_;
    }
    generation = generation_;
  }
  std::vector<DiagnosticRecord> records;
  int newStamp = 0;
  WebError error;
  bool firstPage = stamp == 0;
  bool ok = firstPage ? FetchPage(&records, std::string(), &newStamp, &error)
                      : FetchChanges(&records, lastId, stamp, &newStamp, &error);
  if (!ok) return false;
  {
    SOAutoLock guard(ordersLock_);
    if (generation != generation_) return true;  // cleared meanwhile: the answer is stale
    stamp_ = newStamp;
  }
  if (firstPage && records.size() < static_cast<size_t>(kPageSize)) hasMore_ = false;
  ApplyRecords(records, generation, firstPage);
  // The first page ends like any page load, so the lists offer more pages from then on.
  if (firstPage) NotifyListeners([this](ILinkCallback* listener) { listener->OnMoreFinished(this); });
  return true;
}

bool Link::Reload() {
  uint64_t generation = 0;
  {
    SOAutoLock guard(ordersLock_);
    generation = generation_;
  }
  std::vector<DiagnosticRecord> records;
  int newStamp = 0;
  WebError error;
  if (!FetchPage(&records, std::string(), &newStamp, &error)) return false;
  std::vector<std::pair<std::shared_ptr<OrderObject>, const DiagnosticRecord*>> kept;
  std::vector<std::shared_ptr<OrderObject>> dropped;
  {
    SOAutoLock guard(ordersLock_);
    if (generation != generation_) return true;  // cleared meanwhile: the answer is stale
    std::vector<std::shared_ptr<OrderObject>> orders;
    for (const DiagnosticRecord& record : records) {
      auto found = std::find_if(orders_.begin(), orders_.end(),
                                [&](const std::shared_ptr<OrderObject>& order) { return order->Id() == record.id; });
      if (found != orders_.end()) {
        kept.emplace_back(*found, &record);
        orders.push_back(*found);
      } else if (auto made = MakeOrder(record)) {
        orders.push_back(made);
      }
    }
    for (const auto& order : orders_)
      if (std::find(orders.begin(), orders.end(), order) == orders.end()) dropped.push_back(order);
    orders_.swap(orders);
    stamp_ = newStamp;
    // A page load under way started below an order that may be gone.
    ++generation_;
    hasMore_ = records.size() >= static_cast<size_t>(kPageSize);
  }
  // Web calls and store writes of an order run outside the list's lock.
  for (const auto& [order, record] : kept) order->Update(*record, true);
  IHalvex* network = RemoteSession::NetworkStore();
  for (const auto& order : dropped) network->RemoveCallback(order.get());
  NotifyListeners([this](ILinkCallback* listener) { listener->OnOrdersReloaded(this); });
  NotifyListeners([this](ILinkCallback* listener) { listener->OnMoreFinished(this); });
  return true;
}

bool Link::LoadMore() {
  std::thread([self = shared_from_this()]() { self->LoadMoreSteps(); }).detach();
  return true;
}

void Link::LoadMoreSteps() {
  NotifyListeners([this](ILinkCallback* listener) { listener->OnMoreStarted(this); });
  std::string startId;
  uint64_t generation = 0;
  bool valid = false;
  {
    SOAutoLock guard(ordersLock_);
    valid = NextPageStart(orders_, startId);
    generation = generation_;
  }
  if (!valid) {
    // An id that is not a number cannot say where the next page starts.
    hasMore_ = false;
  } else {
    std::vector<DiagnosticRecord> records;
    int stamp = 0;
    WebError error;
    if (FetchPage(&records, startId, &stamp, &error)) {
      bool current = false;
      {
        SOAutoLock guard(ordersLock_);
        current = generation == generation_;
      }
      if (current) {
        if (records.size() < static_cast<size_t>(kPageSize)) hasMore_ = false;
        ApplyRecords(records, generation, true);
      }
    }
  }
  NotifyListeners([this](ILinkCallback* listener) { listener->OnMoreFinished(this); });
}

void Link::ApplyRecords(const std::vector<DiagnosticRecord>& records, uint64_t generation, bool page) {
  for (const DiagnosticRecord& record : records) {
    std::shared_ptr<OrderObject> added;
    if (!AddOrUpdateLocked(record, generation, page, added)) return;
    if (added) NotifyListeners([this, &added](ILinkCallback* listener) { listener->OnOrderAdded(this, added); });
  }
}

bool Link::AddOrUpdateLocked(const DiagnosticRecord& record, uint64_t generation, bool page,
                             std::shared_ptr<OrderObject>& added) {
  std::shared_ptr<OrderObject> existing;
  {
    SOAutoLock guard(ordersLock_);
    if (generation != generation_) return false;
    for (const auto& order : orders_) {
      if (order->Id() == record.id) {
        existing = order;
        break;
      }
    }
    if (!existing) {
      added = MakeOrder(record);
      if (!added) return true;
      if (!page && !orders_.empty() && record.orderTime >= orders_.front()->OrderTime()) {
        orders_.insert(orders_.begin(), added);
      } else {
        orders_.push_back(added);
      }
    }
  }
  // Web calls and store writes of an order run outside the list's lock.
  if (existing) existing->Update(record, true);
  return true;
}

void Link::AddOrUpdateOrder(const DiagnosticRecord& record, bool start) {
  uint64_t generation = 0;
  {
    SOAutoLock guard(ordersLock_);
    generation = generation_;
  }
  std::shared_ptr<OrderObject> added;
  AddOrUpdateLocked(record, generation, false, added);
  if (!added) return;
  NotifyListeners([this, &added](ILinkCallback* listener) { listener->OnOrderAdded(this, added); });
  if (start) added->Start();
}

std::shared_ptr<MyLink> MyLink::Instance() {
  static std::shared_ptr<MyLink> link(new MyLink());
  return link;
}

bool MyLink::FetchPage(std::vector<DiagnosticRecord>* records, const std::string& startId, int* stamp,
                       WebError* error) {
  return Web_DiagnosticListOfMy(records, startId, kPageSize, stamp, error);
}

bool MyLink::FetchChanges(std::vector<DiagnosticRecord>* records, const std::string& lastId, int stamp,
                          int* newStamp, WebError* error) {
  return Web_DiagnosticUpdatedListOfMy(records, lastId, stamp, newStamp, error);
}

std::shared_ptr<OrderObject> MyLink::MakeOrder(const DiagnosticRecord& record) {
  auto order = std::make_shared<ClientOrder>(Gossamy::LocalDB());
  order->Update(record, false);
  return order;
}
