#include "OrderCreation.h"

#include <algorithm>
#include <climits>

#include "Gossamy.h"
#include "IKelvast.h"
#include "Jorvel.h"
#include "Link.h"
#include "WebError.h"

namespace OrderCreation {

std::string Modalities(const std::vector<SeriesRecord>& series) {
  static const char* const kAccepted[] = {"CR", "CT", "DX", "MG", "MR", "NM", "PT", "US"};
  std::vector<std::string> taken;
  std::string text;
  for (const SeriesRecord& s : series) {
    const bool accepted = std::any_of(std::begin(kAccepted), std::end(kAccepted), [&](const char* m) { return s.modality == m; });
    if (!accepted || std::find(taken.begin(), taken.end(), s.modality) != taken.end()) continue;
    taken.push_back(s.modality);
    if (!text.empty()) text += ",";
    text += s.modality;
  }
  return text;
}

bool BuildRequest(const PatientRecord& study, const TeamRecord& team, const std::string& comments,
                  DiagnosticCreateRequest& request) {
  if ((team.id.empty() && team.sid.empty()) || study.series.empty()) return false;
  request = DiagnosticCreateRequest();
  request.teamId = team.id;
  request.teamSid = team.sid;
  request.modalities = Modalities(study.series);
  request.patientName = study.patientName;
  request.patientID = study.patientID;
  request.patientSex = study.patientSex;
  request.patientAge = study.patientAge;
  request.patientBirthDate = study.patientBirthDate;
  request.studyID = study.studyID;
  request.studyDate = study.studyDate;
  request.studyTime = study.studyTime;
  request.studyUID = study.studyUID;
  int64_t images = 0;
  for (const SeriesRecord& s : study.series) {
    request.seriesUIDs.push_back(s.seriesUID);
    images += int64_t(s.instances.size());
  }
  request.imageCount = int32_t(std::min<int64_t>(images, INT32_MAX));
  request.comments = comments;
  return true;
}

bool Create(const PatientRecord& study, const TeamRecord& team, const std::string& comments, DiagnosticRecord* answer,
            WebError* error) {
  DiagnosticCreateRequest request;
  IKelvast* store = Gossamy::LocalDB();
  if (BuildRequest(study, team, comments, request) && Web_DiagnosticCreate(&request, answer, error)) {
    store->SetPatientText(study.id.c_str(), "remoteID", answer->orderNumber.c_str());
    store->SetPatientState(study.id.c_str(), "remoteState", 1);
    MyLink::Instance()->AddOrUpdateOrder(*answer, true);
    return true;
  }
  PatientRecord stored;
  if (!store->GetPatientRecord(study.id.c_str(), stored, false) || stored.remoteID.empty())
    store->SetPatientState(study.id.c_str(), "remoteState", 4);
  return false;
}

}  // namespace OrderCreation
