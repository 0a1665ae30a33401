#pragma once

#include "OrderObject.h"

// An order the logged-in user created for a study of the default store. It keeps the study's
// remoteID / remoteState columns current, activates the order once its images are uploaded and
// fetches the team's report when it is available.
class ClientOrder : public OrderObject {
 public:
  using OrderObject::OrderObject;

  bool Update(const DiagnosticRecord& record, bool notify) override;
  // A NEW order queues its upload.
  bool Start() override;
  bool GetReportPath(std::string& path) override;
  // Only the order's own series and its report series.
  bool LoadLocalStudy(PatientRecord& study) override;
  void ReceiveReport() override;
  bool Cancel();
  // The last upload ended without the images committed by the node, or the service did not
  // take the order's activation after it: the order never reached the team.
  bool UploadFailed() const { return uploadFailed_; }

 protected:
  void UploadFinishedSteps(bool success) override;
  void AskStore(const DiagnosticRecord& record, LocalAnswers& answers) override;

 private:
  std::atomic<bool> autoFetchReport_{true};  // each object fetches by itself at most once
  std::atomic<bool> uploadFailed_{false};
};
