#pragma once

#include <string>
#include <vector>

#include "JorvelRecords.h"
#include "PatientRecord.h"

struct WebError;

// Sending a local study to a consultation team: the request the service gets, and what the
// study and the user's order list take from the answer.
namespace OrderCreation {

// The distinct accepted modalities of the series in order, joined by ",": CT, CT, MR, OT give
// "CT,MR".
std::string Modalities(const std::vector<SeriesRecord>& series);

// The request for the chosen series of `study` (only those series are in it). False when the
// team has neither id nor sid, or no series is chosen.
bool BuildRequest(const PatientRecord& study, const TeamRecord& team, const std::string& comments,
                  DiagnosticCreateRequest& request);

// Creates the order (blocking; a worker thread). On success the study is marked with the order
// number and remoteState 1, and the order goes to the user's list, which queues its upload. On
// failure the study's remoteState becomes 4, unless the study already belongs to another
// consultation (a remoteID), whose state is kept.
bool Create(const PatientRecord& study, const TeamRecord& team, const std::string& comments, DiagnosticRecord* answer,
            WebError* error);

}  // namespace OrderCreation
