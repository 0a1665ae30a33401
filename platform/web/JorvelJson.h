#pragma once

#include <nlohmann/json.hpp>

#include "JorvelRecords.h"

// The JSON form of the service's records: one object per record, one member per field, named as
// the field. A member missing from an object takes the field's default; a member of the wrong
// type makes the read throw (nlohmann::json::exception).

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(JorvelUserInfo, id, userID, userName, nickName, mobile)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(MemberRecord, id, user, signedName, editPermit, verifyPermit)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(TeamListEntry, id, user, signedName)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(TeamRecord, id, sid, serviceType, state, name, description,
                                                institutionName, totalAmount, chargeMode, platformFee,
                                                createdTime, updatedTime, owner, lastEditor, members, remark)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(DiagnosticStudy, transferKey, transferStatus, patientID,
                                                studyUID, seriesUIDs, reportSeriesUID, aeTitle, host, port)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(DiagnosticRecord, id, orderNumber, creator, team, state,
                                                extraText, comments, study, patientName, patientSex,
                                                patientAge, dicomDate, titleSuffix, infoText, reportFinding,
                                                reportConclusion, verifyFinding, verifyConclusion,
                                                reviseFinding, reviseConclusion, reporter, reporterSignedName,
                                                reportTime, verifier, verifierSignedName, verifyTime,
                                                reviseTime, reportVerifierName, reportAuthorName,
                                                reportUpdatedTime, reportReceived, locked, lockOwner,
                                                orderTime)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(DiagnosticCreateRequest, teamId, teamSid, modalities, reserved1,
                                                patientName, patientID, patientSex, patientAge,
                                                patientBirthDate, studyID, studyDate, studyTime, studyUID,
                                                seriesUIDs, reserved2, reserved3, imageCount, comments)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(DiagnosticReportRequest, author, verifier, finding, conclusion,
                                                seriesUID)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(NotifyIndicator, userId, myOrders, teamOrders, teams)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(CloudStation, stationKey, reserved, stationID, aeTitle, host,
                                                port, enabled)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(JorvelCase, id, modality, bodyPart, caseName, finding,
                                                conclusion)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(PayOrderRecord, teamId, amount, tradeNo, fee, state, qrText)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(AppTraceRequest, product, version, studyCount)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(AppTraceAnswer, result, noticeType, noticeContent)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(UpdateInfo, version, fileName, checksum, url, message)
