#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The records of the consultation web service as the web client (platform/web, Jorvel.h) fills
// and takes them. Every string is UTF-8. Fields that nothing in the program reads are carried and
// copied unchanged.

// A user as the service describes one.
struct JorvelUserInfo {
  std::string id;        // the user's key
  std::string userID;    // the ID shown to people
  std::string userName;  // login name
  std::string nickName;
  std::string mobile;
};

// One member of a team.
struct MemberRecord {
  std::string id;  // the membership's key in member calls
  JorvelUserInfo user;
  std::string signedName;  // the name the member signs reports with
  bool editPermit = false;    // may report
  bool verifyPermit = false;  // may verify
};

// One entry of a team's white or black list.
struct TeamListEntry {
  std::string id;
  JorvelUserInfo user;
  std::string signedName;
};

struct TeamRecord {
  std::string id;               // the team's key in every team call
  std::string sid;              // the team's code, shown to people and searched by
  std::string serviceType;      // "PRIVATE" (white-listed users only) or "PUBLIC" (all but black-listed)
  std::string state;            // "BLOCKED" when the service has blocked the team
  std::string name;
  std::string description;
  std::string institutionName;
  std::string totalAmount;      // decimal text: the team's balance
  std::string chargeMode;       // "PAID" when the team's service is charged
  std::string platformFee;      // decimal text: the platform's charge per order
  std::string createdTime;      // not read by the program
  std::string updatedTime;      // not read by the program
  JorvelUserInfo owner;
  JorvelUserInfo lastEditor;    // not read by the program
  std::vector<MemberRecord> members;
  std::string remark;           // not read by the program
};

// An order's study on the service and the DICOM node that holds its images.
struct DiagnosticStudy {
  std::string transferKey;     // key of every upload and download of the order
  std::string transferStatus;  // "COMPLETED" once the images are on the node
  std::string patientID;
  std::string studyUID;
  std::vector<std::string> seriesUIDs;
  std::string reportSeriesUID;  // series of the consultation report, may be empty
  std::string aeTitle;
  std::string host;
  uint16_t port = 0;
};

// One consultation order.
struct DiagnosticRecord {
  std::string id;  // decimal text, rising with creation
  std::string orderNumber;
  JorvelUserInfo creator;
  TeamRecord team;
  // "NEW", "WAITING", "PROCESSING", "REPORTED", "VERIFIED", "REVISED", "CANCELLED", "REJECTED",
  // "FAILED"
  std::string state;
  std::string extraText;
  std::string comments;
  DiagnosticStudy study;
  std::string patientName;
  std::string patientSex;
  std::string patientAge;  // DICOM age string
  std::string dicomDate;   // YYYYMMDD
  std::string titleSuffix;
  std::string infoText;
  std::string reportFinding;
  std::string reportConclusion;
  std::string verifyFinding;
  std::string verifyConclusion;
  std::string reviseFinding;
  std::string reviseConclusion;
  JorvelUserInfo reporter;
  std::string reporterSignedName;
  std::string reportTime;  // decimal epoch seconds, equal to reportUpdatedTime when set
  JorvelUserInfo verifier;
  std::string verifierSignedName;
  std::string verifyTime;  // decimal epoch seconds
  std::string reviseTime;  // decimal epoch seconds
  std::string reportVerifierName;  // verifier carried by the last report request
  std::string reportAuthorName;    // author carried by the last report request
  int64_t reportUpdatedTime = 0;   // epoch seconds of the report's last change
  bool reportReceived = false;
  bool locked = false;
  JorvelUserInfo lockOwner;
  int64_t orderTime = 0;  // epoch seconds
};

// What a new order is made of; the three reserved strings are sent empty.
struct DiagnosticCreateRequest {
  std::string teamId;
  std::string teamSid;  // used when teamId is empty
  std::string modalities;
  std::string reserved1;
  std::string patientName;
  std::string patientID;
  std::string patientSex;
  std::string patientAge;
  std::string patientBirthDate;
  std::string studyID;
  std::string studyDate;
  std::string studyTime;
  std::string studyUID;
  std::vector<std::string> seriesUIDs;
  std::string reserved2;
  std::string reserved3;
  int32_t imageCount = 0;
  std::string comments;
};

// A report, verification or revision of an order.
struct DiagnosticReportRequest {
  std::string author;
  std::string verifier;
  std::string finding;
  std::string conclusion;
  std::string seriesUID;  // the report document's series
};

// Change counters of the logged-in user's lists; each rises whenever its list changes.
struct NotifyIndicator {
  std::string userId;
  int myOrders = 0;
  int teamOrders = 0;
  int teams = 0;
};

// A user's cloud receiving station. Usable when stationKey, aeTitle and host are all set.
struct CloudStation {
  std::string stationKey;
  std::string reserved;
  std::string stationID;  // the device code
  std::string aeTitle;
  std::string host;
  uint16_t port = 0;
  bool enabled = false;
};

// One case of the public or the user's private case library.
struct JorvelCase {
  int id = 0;  // the service's id
  std::string modality;
  std::string bodyPart;
  std::string caseName;
  std::string finding;
  std::string conclusion;
};

// A payment order for recharging a team.
struct PayOrderRecord {
  std::string teamId;
  std::string amount;
  std::string tradeNo;  // keys the status poll
  std::string fee;      // amount to pay, as text
  std::string state;
  std::string qrText;   // what the QR code encodes
};

// Sent once per start: which program runs and how many studies it holds.
struct AppTraceRequest {
  std::string product;
  std::string version;
  std::string studyCount;  // decimal text, empty when unknown
};

struct AppTraceAnswer {
  int32_t result = 0;
  std::string noticeType;     // "web" or "msg"
  std::string noticeContent;  // the address to open, or the message text
};

// A newer version of the program; no update when fileName or url is empty.
struct UpdateInfo {
  std::string version;
  std::string fileName;
  std::string checksum;
  std::string url;
  std::string message;
};
