#pragma once

#include <string>
#include <vector>

#include "JorvelRecords.h"
#include "WebError.h"

// The consultation web-service client. Every call blocks until the service answers or its time-out
// runs out; any thread may call. A call that returns false has filled its WebError (when one is
// given): the service's own code, or "20000" when the service could not be reached, or "20003"
// when its answer could not be read. Outs are written only on success.
// The protocol is described in PROTOCOL.md beside this header.

// Told of login state changes, on the thread that made the change, outside the client's locks.
class IJorvelCallback {
 public:
  virtual void OnLogin(int result) = 0;
  virtual void OnLogout() = 0;

 protected:
  ~IJorvelCallback() = default;
};

class IJorvel {
 public:
  // Starts a session; OnLogin follows once when it succeeds. Logging in while logged in replaces
  // the session (OnLogout, then OnLogin).
  virtual bool Login(const char* user, const char* password, WebError* error) = 0;
  // Ends the session; OnLogout follows once when there was one.
  virtual void Logout() = 0;
  virtual bool IsLoggedIn() = 0;
  // The logged-in user (an empty record when nobody is). The record stays readable for the life
  // of the process, also after a later login replaces it; copy it at once.
  virtual const JorvelUserInfo* GetUserInfo() = 0;
  virtual bool UpdateNickName(const std::string* nickName, WebError* error) = 0;
  virtual void AddCallback(IJorvelCallback* callback) = 0;
  virtual void RemoveCallback(IJorvelCallback* callback) = 0;

 protected:
  ~IJorvel() = default;
};

// The process-wide client; never null, never freed.
IJorvel* GetJorvel();

// Where the client finds the service. Read on first use: the environment variable
// ORVANTA_WEB_URL, else the attribute url of <WebService> in the program folder's
// config/system.xml (with optional connectTimeout and timeout in milliseconds). With no URL
// every call fails at once with "20000".
struct JorvelSettings {
  std::string baseUrl;  // e.g. "https://consult.example.org" or "http://127.0.0.1:8080"
  long connectTimeoutMs = 5000;
  long timeoutMs = 30000;
};
JorvelSettings Web_GetSettings();
// Replaces the settings for every later call (tests, and the settings read from the files).
void Web_SetSettings(const JorvelSettings& settings);
// Any thread: every call running now ends within about a second with "20000"; later calls run
// as usual. The program calls it as it quits, so that no worker waits out a silent service.
void Web_CancelCalls();

// Account (no login needed).
bool Web_VerifyCodeForRegister(const std::string* phone, WebError* error);
bool Web_UserRegister(const std::string* userName, const std::string* password, const std::string* phone,
                      const std::string* verifyCode, WebError* error);
bool Web_UserSearchByUserName(std::string userName, JorvelUserInfo* info, WebError* error);
bool Web_VerifyCode(const std::string* mobile, WebError* error);
bool Web_TokenByMobile(const std::string* mobile, const std::string* code, JorvelUserInfo* info,
                       std::string* token, WebError* error);
bool Web_PasswordUpdate(const std::string* token, const std::string* password, WebError* error);
bool Web_Feedback(const std::string* text, WebError* error = nullptr);
bool Web_AppTrace(const AppTraceRequest* request, AppTraceAnswer* answer, WebError* error = nullptr);
bool Web_UpdateCheck(const std::string* product, const std::string* version, UpdateInfo* info,
                     WebError* error);

// Cloud receiving stations.
bool Web_GetCloudStation(CloudStation* station, WebError* error);
bool Web_EnableCloudStation(bool on, CloudStation* station, WebError* error);
bool Web_SearchCloudStation(std::string code, CloudStation* station, WebError* error);

// Case library. Add and Update write the service's record back into the case.
bool Web_GetPublicCase(std::vector<JorvelCase>* cases, WebError* error = nullptr);
bool Web_GetPrivateCase(std::vector<JorvelCase>* cases, WebError* error = nullptr);
bool Web_PrivateCaseAdd(JorvelCase* item, WebError* error);
bool Web_PrivateCaseDelete(const JorvelCase* item, WebError* error);
bool Web_PrivateCaseUpdate(JorvelCase* item, WebError* error);

// Orders. Lists come newest first; a startId limits a page to ids up to it; the updated lists
// give the orders with ids from lastId up that changed after stamp, and the new ones.
bool Web_DiagnosticListOfMy(std::vector<DiagnosticRecord>* records, std::string startId, int count,
                            int* stamp, WebError* error);
bool Web_DiagnosticUpdatedListOfMy(std::vector<DiagnosticRecord>* records, std::string lastId, int stamp,
                                   int* newStamp, WebError* error);
bool Web_DiagnosticListOfTeam(std::string teamId, std::vector<DiagnosticRecord>* records, std::string startId,
                              int count, int* stamp, WebError* error);
bool Web_DiagnosticUpdatedListOfTeam(std::string teamId, std::vector<DiagnosticRecord>* records,
                                     std::string lastId, int stamp, int* newStamp, WebError* error);
bool Web_DiagnosticCreate(const DiagnosticCreateRequest* request, DiagnosticRecord* answer, WebError* error);
bool Web_DiagnosticActivate(std::string id, DiagnosticRecord* answer, WebError* error);
bool Web_DiagnosticCancel(std::string id, DiagnosticRecord* answer, WebError* error);
bool Web_DiagnosticHaReceive(std::string id, DiagnosticRecord* answer, WebError* error);
bool Web_DiagnosticLock(std::string id, DiagnosticRecord* answer, WebError* error);
bool Web_DiagnosticUnLock(std::string id, DiagnosticRecord* answer, WebError* error);
bool Web_DiagnosticReport(std::string id, const DiagnosticReportRequest* request, DiagnosticRecord* answer,
                          WebError* error);
bool Web_DiagnosticVerify(std::string id, const DiagnosticReportRequest* request, DiagnosticRecord* answer,
                          WebError* error);
bool Web_DiagnosticRevise(std::string id, const DiagnosticReportRequest* request, DiagnosticRecord* answer,
                          WebError* error);
bool Web_GetNotifyIndicator(NotifyIndicator* indicator, WebError* error);

// Teams, members, white and black lists.
bool Web_TeamListOfMine(std::vector<TeamRecord>* teams, WebError* error);
bool Web_TeamCreate(std::string name, std::string description, std::string mobile, std::string code,
                    TeamRecord* team, WebError* error);
bool Web_TeamSearch(std::string text, TeamRecord* team, WebError* error);
bool Web_TeamUpdateName(std::string teamId, std::string name, TeamRecord* team, WebError* error);
bool Web_TeamUpdateDesc(std::string teamId, std::string description, TeamRecord* team, WebError* error);
bool Web_TeamUpdateInstName(std::string teamId, std::string name, TeamRecord* team, WebError* error);
bool Web_TeamUpdateType(std::string teamId, std::string type, TeamRecord* team, WebError* error);
bool Web_TeamMemberAdd(std::string teamId, const std::vector<JorvelUserInfo>* users, TeamRecord* team,
                       WebError* error);
bool Web_TeamMemberDeleteByIds(std::string teamId, std::vector<std::string> userIds, TeamRecord* team,
                               WebError* error);
bool Web_MemberSetSignedName(std::string memberId, std::string name, TeamRecord* team, WebError* error);
bool Web_MemberSetPermission(std::string memberId, bool edit, bool verify, TeamRecord* team, WebError* error);
bool Web_TeamWhiteBlackList(std::string teamId, std::vector<TeamListEntry>* white,
                            std::vector<TeamListEntry>* black, WebError* error);
bool Web_TeamWhiteListAdd(std::string teamId, const JorvelUserInfo* user, std::vector<TeamListEntry>* list,
                          WebError* error);
bool Web_TeamWhiteListDelete(std::string teamId, const JorvelUserInfo* user, std::vector<TeamListEntry>* list,
                             WebError* error);
bool Web_TeamBlackListAdd(std::string teamId, const JorvelUserInfo* user, std::vector<TeamListEntry>* list,
                          WebError* error);
bool Web_TeamBlackListDelete(std::string teamId, const JorvelUserInfo* user, std::vector<TeamListEntry>* list,
                             WebError* error);
bool Web_UserSearch(std::string text, std::vector<JorvelUserInfo>* users, WebError* error);

// Team payments: a payment order, then its status until the service reports it paid.
bool Web_PayOrvantaTeam(std::string teamId, std::string amount, PayOrderRecord* order, WebError* error);
bool Web_PayStatusOrvantaTeam(std::string tradeNo, std::string teamId, TeamRecord* team, WebError* error);
