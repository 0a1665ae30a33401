#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

// A consultation service for tests and hand tries: the protocol of platform/web/PROTOCOL.md on a
// loopback HTTP server, with its state in memory. It keeps accounts, SMS codes, teams with their
// members and white/black lists, orders with their state machine, cases, cloud stations,
// payments, change counters, notices and update offers, and logs every request.
//
// Tests steer it through the same hooks that POST /admin/{name} offers (Admin below):
//   SmsCode {mobile} -> {code}            the last code sent to a number
//   AddUser {userName,password,mobile,nickName} -> {user}
//   MarkPaid {tradeNo}                    a payment order becomes paid
//   SetOrderState {id,state}              e.g. "REJECTED", "FAILED"
//   SetTeam {teamId, serviceType?, state?, chargeMode?, totalAmount?, platformFee?} -> {team}
//   StartOver {}                          as after a restart on its stored data: sessions and
//                                         records stay, change stamps and counters start at 0
//   SetClock {now}                        epoch seconds the service uses (0: the real clock)
//   SetDelay {ms}                         every later /api call waits this long before answering
//   SetNode {aeTitle,host,port}           the DICOM node given to new orders and stations
//   SetNotice {noticeType,noticeContent}  the answer of AppTrace
//   SetUpdate {info}                      the UpdateInfo offered to other versions
//   AddPublicCase {case} -> {case}
//   ScriptNext {operation,body}           the next call of operation gets body as its raw answer
//   Requests {} -> {requests:[{operation,args,user}]}, ClearRequests {}
//   Feedback {} -> {texts:[...]}
class ConsultFixture {
 public:
  ConsultFixture();
  ~ConsultFixture();
  ConsultFixture(const ConsultFixture&) = delete;
  ConsultFixture& operator=(const ConsultFixture&) = delete;

  // Listens on host:port (port 0: any free port) in a thread of its own; returns the port, or -1
  // when the address cannot be bound.
  int Start(int port = 0, const std::string& host = "127.0.0.1");
  void Stop();
  // "http://127.0.0.1:{port}" once started.
  std::string BaseUrl() const;

  // The hooks listed above; throws std::runtime_error for an unknown hook or a refused one.
  nlohmann::json Admin(const std::string& name, const nlohmann::json& args = nlohmann::json::object());

  // Shortcuts for the hooks tests use most.
  nlohmann::json AddUser(const std::string& userName, const std::string& password, const std::string& mobile,
                         const std::string& nickName = std::string());
  std::string SmsCode(const std::string& mobile);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
