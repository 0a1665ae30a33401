#pragma once

#include <ctime>
#include <functional>

#include "OrderObject.h"

class SODcmFile;
class SODcmSR;
class TeamLink;
struct WebError;

// An order seen from a team the user belongs to: its study lives in the archive's store named
// after the order's DICOM node. The team member downloads the images, locks the order, writes
// the consultation report (a Basic Text SR marked TYPE_DIAG), sends it to the node and reports,
// verifies or revises on the service.
class TeamOrder : public OrderObject {
 public:
  // Null when the order's AE title cannot name a store.
  static std::shared_ptr<TeamOrder> Create(const std::shared_ptr<TeamLink>& team, const DiagnosticRecord& record);
  ~TeamOrder() override;

  bool GetReportPath(std::string& path) override;
  void ReceiveReport() override {}

  bool Lock();
  bool UnLock();
  bool Report(WebError* error);
  bool Verify(WebError* error);
  bool Revise(WebError* error);
  bool CreateReportSR(SODcmSR& sr);
  // Makes the document a new version of the report, for a verify or revise: a SOP Instance UID
  // of its own (a node keeps the first copy of an instance it is sent again) in the same
  // series, with an Instance Number above every version the team's store holds, so the newest
  // version is the series' last instance.
  void NewReportVersion(SODcmSR& sr);
  // Stores the document; it becomes the order's report file.
  bool StoreReportFile(SODcmFile* file);
  bool FindReport();

  std::string GetMySignedName() const;
  std::string GetReporterName() const;
  std::string GetVerifierName() const;
  std::string GetLockOwnerName() const;
  bool CanEdit() const;
  bool CanVerify() const;

  // The clock the report series number is taken from (tests set their own).
  static void SetClock(std::function<std::time_t()> clock);
  // yyMMdd01 for the date, raised past every series number of the study (their leading digits).
  static int NextReportSeriesNumber(const std::vector<std::string>& seriesNumbers, int year, int month, int day);

 protected:
  void AskStore(const DiagnosticRecord& record, LocalAnswers& answers) override;

 private:
  TeamOrder(const std::shared_ptr<TeamLink>& team, IKelvast* store);
  enum class Submit { Report, Verify, Revise };
  bool SubmitReport(Submit kind, WebError* error);
  bool FindReportSource(std::string& imagePath, int& seriesNumber);
  // The member with the user's id, or null.
  const MemberRecord* FindMember(const std::vector<MemberRecord>& members, const std::string& userId) const;
  std::string MemberName(const std::string& signedName, const JorvelUserInfo& user) const;

  std::weak_ptr<TeamLink> teamLink_;
  mutable std::mutex reportMutex_;
  std::string teamReportPath_;  // guarded by reportMutex_
};
