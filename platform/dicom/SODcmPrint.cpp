#include "SODcmPrint.h"

#include "SODcmConvert.h"
#include "SODcmNetUtil.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/scu.h>
#include <dcmtk/oflog/oflog.h>

#include <cstring>

namespace {

OFLogger printLog = OFLog::getLogger("orvanta.dicom.print");

// Success, and the warnings after which the printer still does the job.
bool Accepted(Uint16 status) {
  if (status == 0x0000) return true;
  if ((status & 0xFF00) == 0xB600 || status == 0x0107 || status == 0x0116) {
    OFLOG_WARN(printLog, "printer warning 0x" << STD_NAMESPACE hex << status);
    return true;
  }
  return false;
}

struct Classes {
  const char* meta;
  const char* imageBox;
  DcmTagKey imageSequence;
  const char* photometric;
  int samples;
};

Classes ClassesFor(int printType) {
  if (printType == SODcmPrintType_Color)
    return {UID_BasicColorPrintManagementMetaSOPClass, UID_BasicColorImageBoxSOPClass, DCM_BasicColorImageSequence,
            "RGB", 3};
  return {UID_BasicGrayscalePrintManagementMetaSOPClass, UID_BasicGrayscaleImageBoxSOPClass,
          DCM_BasicGrayscaleImageSequence, "MONOCHROME2", 1};
}

template <class Enum>
bool PutConverted(DcmDataset& ds, const DcmTagKey& tag, Enum value) {
  std::string text;
  return SODcmConvert::Convert(value, text) && ds.putAndInsertString(tag, text.c_str()).good();
}

void CopyUID(char* out, size_t size, const char* uid) { OFStandard::strlcpy(out, uid, size); }

// The N-services of print management over one association of the meta SOP class.
class PrintSCU : public sodcm::LayeredSCU<DcmSCU> {
 public:
  explicit PrintSCU(sodcm::CallGuard& guard) : LayeredSCU(guard), guard_(guard) {}

  T_ASC_PresentationContextID meta = 0;
  sodcm::CallGuard& Guard() { return guard_; }

  // One request and its response. False when it could not be sent or answered; status
  // then stays 0xFFFF.
  bool Exchange(T_DIMSE_Message& rq, DcmDataset* data, Uint16& status, std::unique_ptr<DcmDataset>* rspData = nullptr,
                std::string* affectedInstance = nullptr) {
    status = 0xFFFF;
    if (sendDIMSEMessage(meta, &rq, data).bad()) return false;
    T_ASC_PresentationContextID presID = 0;
    T_DIMSE_Message rsp;
    DcmDataset* detail = nullptr;
    OFCondition cond = receiveDIMSECommand(&presID, &rsp, &detail);
    delete detail;
    if (cond.bad() || rsp.CommandField != static_cast<T_DIMSE_Command>(rq.CommandField | 0x8000)) return false;
    T_DIMSE_DataSetType dataType = DIMSE_DATASET_NULL;
    switch (rsp.CommandField) {
      case DIMSE_N_CREATE_RSP:
        status = rsp.msg.NCreateRSP.DimseStatus;
        dataType = rsp.msg.NCreateRSP.DataSetType;
        if (affectedInstance && (rsp.msg.NCreateRSP.opts & O_NCREATE_AFFECTEDSOPINSTANCEUID))
          *affectedInstance = rsp.msg.NCreateRSP.AffectedSOPInstanceUID;
        break;
      case DIMSE_N_SET_RSP:
        status = rsp.msg.NSetRSP.DimseStatus;
        dataType = rsp.msg.NSetRSP.DataSetType;
        break;
      case DIMSE_N_GET_RSP:
        status = rsp.msg.NGetRSP.DimseStatus;
        dataType = rsp.msg.NGetRSP.DataSetType;
        break;
      case DIMSE_N_ACTION_RSP:
        status = rsp.msg.NActionRSP.DimseStatus;
        dataType = rsp.msg.NActionRSP.DataSetType;
        break;
      case DIMSE_N_DELETE_RSP:
        status = rsp.msg.NDeleteRSP.DimseStatus;
        dataType = rsp.msg.NDeleteRSP.DataSetType;
        break;
      default:
        return false;
    }
    if (dataType != DIMSE_DATASET_NULL) {
      DcmDataset* ds = nullptr;
      if (receiveDIMSEDataset(&presID, &ds).bad()) return false;
      if (rspData)
        rspData->reset(ds);
      else
        delete ds;
    }
    return true;
  }

  bool Create(const char* sopClass, DcmDataset& data, std::string& instance, std::unique_ptr<DcmDataset>* rspData) {
    T_DIMSE_Message rq{};
    rq.CommandField = DIMSE_N_CREATE_RQ;
    rq.msg.NCreateRQ.MessageID = ++messageID_;
    CopyUID(rq.msg.NCreateRQ.AffectedSOPClassUID, sizeof rq.msg.NCreateRQ.AffectedSOPClassUID, sopClass);
    rq.msg.NCreateRQ.DataSetType = DIMSE_DATASET_PRESENT;
    Uint16 status;
    return Exchange(rq, &data, status, rspData, &instance) && Accepted(status) && !instance.empty();
  }

  bool Set(const char* sopClass, const std::string& instance, DcmDataset& data) {
    T_DIMSE_Message rq{};
    rq.CommandField = DIMSE_N_SET_RQ;
    rq.msg.NSetRQ.MessageID = ++messageID_;
    CopyUID(rq.msg.NSetRQ.RequestedSOPClassUID, sizeof rq.msg.NSetRQ.RequestedSOPClassUID, sopClass);
    CopyUID(rq.msg.NSetRQ.RequestedSOPInstanceUID, sizeof rq.msg.NSetRQ.RequestedSOPInstanceUID, instance.c_str());
    rq.msg.NSetRQ.DataSetType = DIMSE_DATASET_PRESENT;
    Uint16 status;
    return Exchange(rq, &data, status) && Accepted(status);
  }

  bool Action(const char* sopClass, const std::string& instance, Uint16 actionType) {
    T_DIMSE_Message rq{};
    rq.CommandField = DIMSE_N_ACTION_RQ;
    rq.msg.NActionRQ.MessageID = ++messageID_;
    CopyUID(rq.msg.NActionRQ.RequestedSOPClassUID, sizeof rq.msg.NActionRQ.RequestedSOPClassUID, sopClass);
    CopyUID(rq.msg.NActionRQ.RequestedSOPInstanceUID, sizeof rq.msg.NActionRQ.RequestedSOPInstanceUID,
            instance.c_str());
    rq.msg.NActionRQ.ActionTypeID = actionType;
    rq.msg.NActionRQ.DataSetType = DIMSE_DATASET_NULL;
    Uint16 status;
    return Exchange(rq, nullptr, status) && Accepted(status);
  }

  bool Delete(const char* sopClass, const std::string& instance) {
    T_DIMSE_Message rq{};
    rq.CommandField = DIMSE_N_DELETE_RQ;
    rq.msg.NDeleteRQ.MessageID = ++messageID_;
    CopyUID(rq.msg.NDeleteRQ.RequestedSOPClassUID, sizeof rq.msg.NDeleteRQ.RequestedSOPClassUID, sopClass);
    CopyUID(rq.msg.NDeleteRQ.RequestedSOPInstanceUID, sizeof rq.msg.NDeleteRQ.RequestedSOPInstanceUID,
            instance.c_str());
    rq.msg.NDeleteRQ.DataSetType = DIMSE_DATASET_NULL;
    Uint16 status;
    return Exchange(rq, nullptr, status) && Accepted(status);
  }

  // Without an attribute list the printer sends all it has: printers that lack one of the
  // attributes we read (dcmprscp has no Printer Name) would refuse a list naming it.
  bool GetPrinter(std::unique_ptr<DcmDataset>& attributes) {
    T_DIMSE_Message rq{};
    rq.CommandField = DIMSE_N_GET_RQ;
    rq.msg.NGetRQ.MessageID = ++messageID_;
    CopyUID(rq.msg.NGetRQ.RequestedSOPClassUID, sizeof rq.msg.NGetRQ.RequestedSOPClassUID, UID_PrinterSOPClass);
    CopyUID(rq.msg.NGetRQ.RequestedSOPInstanceUID, sizeof rq.msg.NGetRQ.RequestedSOPInstanceUID,
            UID_PrinterSOPInstance);
    rq.msg.NGetRQ.DataSetType = DIMSE_DATASET_NULL;
    rq.msg.NGetRQ.ListCount = 0;
    rq.msg.NGetRQ.AttributeIdentifierList = nullptr;
    Uint16 status;
    return Exchange(rq, nullptr, status, &attributes) && Accepted(status);
  }

  // Opens the association; false when the printer does not take the meta SOP class.
  bool Open(const sodcm::PeerSettings& peer, const char* metaClass) {
    peer.ApplyTo(*this);
    setMaxReceivePDULength(65536);
    sodcm::OfferUncompressed(*this, metaClass);
    if (Associate().bad()) return false;
    meta = findPresentationContextID(metaClass, "");
    return meta != 0;
  }

  void Close(bool ok) {
    if (ok && isConnected())
      releaseAssociation();
    else
      Abort();
  }

 private:
  sodcm::CallGuard& guard_;
  Uint16 messageID_ = 0;
};

bool ImageFits(const SODcmImageBox& image, const Classes& classes) {
  return image.pixels && image.rows > 0 && image.rows <= 0xFFFF && image.columns > 0 && image.columns <= 0xFFFF &&
         image.samplesPerPixel == classes.samples;
}

bool PrintFilm(PrintSCU& scu, const SODcmFilmBox& film, const std::string& session, const Classes& classes) {
  for (const SODcmImageBox& image : film.imageBoxes)
    if (!ImageFits(image, classes)) return false;

  DcmDataset box;
  box.putAndInsertString(DCM_ImageDisplayFormat, film.imageDisplayFormat.c_str());
  if (!PutConverted(box, DCM_FilmOrientation, film.orientation) || !PutConverted(box, DCM_FilmSizeID, film.filmSize) ||
      !PutConverted(box, DCM_MagnificationType, film.magnification))
    return false;
  DcmItem* ref = nullptr;
  box.findOrCreateSequenceItem(DCM_ReferencedFilmSessionSequence, ref, -2);
  ref->putAndInsertString(DCM_ReferencedSOPClassUID, UID_BasicFilmSessionSOPClass);
  ref->putAndInsertString(DCM_ReferencedSOPInstanceUID, session.c_str());
  std::string filmBox;
  std::unique_ptr<DcmDataset> created;
  if (!scu.Create(UID_BasicFilmBoxSOPClass, box, filmBox, &created) || !created) return false;

  bool ok = true;
  for (size_t i = 0; ok && i < film.imageBoxes.size(); ++i) {
    DcmItem* boxRef = nullptr;
    OFString imageBox;
    if (created->findAndGetSequenceItem(DCM_ReferencedImageBoxSequence, boxRef, static_cast<signed long>(i)).bad() ||
        boxRef->findAndGetOFString(DCM_ReferencedSOPInstanceUID, imageBox).bad()) {
      ok = false;  // more images than the display format has boxes
      break;
    }
    const SODcmImageBox& image = film.imageBoxes[i];
    DcmDataset set;
    set.putAndInsertUint16(DCM_ImageBoxPosition, static_cast<Uint16>(i + 1));
    DcmItem* pixels = nullptr;
    set.findOrCreateSequenceItem(classes.imageSequence, pixels, -2);
    pixels->putAndInsertUint16(DCM_SamplesPerPixel, static_cast<Uint16>(classes.samples));
    pixels->putAndInsertString(DCM_PhotometricInterpretation, classes.photometric);
    if (classes.samples == 3) pixels->putAndInsertUint16(DCM_PlanarConfiguration, 0);
    pixels->putAndInsertUint16(DCM_Rows, static_cast<Uint16>(image.rows));
    pixels->putAndInsertUint16(DCM_Columns, static_cast<Uint16>(image.columns));
    pixels->putAndInsertString(DCM_PixelAspectRatio, "1\\1");
    pixels->putAndInsertUint16(DCM_BitsAllocated, 8);
    pixels->putAndInsertUint16(DCM_BitsStored, 8);
    pixels->putAndInsertUint16(DCM_HighBit, 7);
    pixels->putAndInsertUint16(DCM_PixelRepresentation, 0);
    const unsigned long length = static_cast<unsigned long>(image.rows) * image.columns * classes.samples;
    pixels->putAndInsertUint8Array(DCM_PixelData, image.pixels, length);
    ok = scu.Set(classes.imageBox, imageBox.c_str(), set);
  }
  // Print the film (action 1), then free it on the printer whatever happened.
  ok = ok && scu.Action(UID_BasicFilmBoxSOPClass, filmBox, 1);
  return scu.Delete(UID_BasicFilmBoxSOPClass, filmBox) && ok;
}

}  // namespace

SODcmPrint::SODcmPrint()
    : peer_(std::make_unique<sodcm::PeerSettings>()), guard_(std::make_unique<sodcm::CallGuard>()) {}

SODcmPrint::~SODcmPrint() = default;

bool SODcmPrint::Init(const char* host, int port, const char* calledAE, const char* callingAE) {
  return peer_->Set(host, port, calledAE, callingAE);
}

void SODcmPrint::Cancel() { guard_->Cancel(0); }

bool SODcmPrint::Print(const SODcmFilmSession& session, SODcmPrintStatus& status) {
  status = PRINTSTATUS_FAILURE;
  if (!peer_->valid || session.filmBoxes.empty() || session.numberOfCopies < 1) return false;
  const Classes classes = ClassesFor(session.printType);
  // Each film and each image box is an object of the whole-call deadline.
  size_t objects = session.filmBoxes.size();
  for (const SODcmFilmBox& film : session.filmBoxes) objects += film.imageBoxes.size();
  PrintSCU scu(*guard_);
  sodcm::CallScope scope(scu.Guard(), "print", *peer_, objects);
  if (!scu.Open(*peer_, classes.meta)) {
    scu.Close(false);
    return false;
  }

  DcmDataset attributes;
  attributes.putAndInsertString(DCM_NumberOfCopies, std::to_string(session.numberOfCopies).c_str());
  bool ok = PutConverted(attributes, DCM_PrintPriority, session.priority) &&
            (!session.medium || PutConverted(attributes, DCM_MediumType, *session.medium));
  std::string filmSession;
  ok = ok && scu.Create(UID_BasicFilmSessionSOPClass, attributes, filmSession, nullptr);
  if (ok) {
    for (const SODcmFilmBox& film : session.filmBoxes) {
      ok = PrintFilm(scu, film, filmSession, classes);
      if (!ok) break;
    }
    ok = scu.Delete(UID_BasicFilmSessionSOPClass, filmSession) && ok;
  }
  scu.Close(ok);
  ok = ok && !scu.Guard().Interrupted();
  if (ok) status = PRINTSTATUS_DONE;
  return ok;
}

bool SODcmPrint::GetPrinterInstance(SODcmPrinter& printer, int printType) {
  printer = SODcmPrinter{};
  if (!peer_->valid) return false;
  PrintSCU scu(*guard_);
  sodcm::CallScope scope(scu.Guard(), "printer status", *peer_);
  std::unique_ptr<DcmDataset> attributes;
  bool ok = scu.Open(*peer_, ClassesFor(printType).meta) && scu.GetPrinter(attributes);
  if (ok && attributes) {
    OFString value;
    if (attributes->findAndGetOFString(DCM_PrinterStatus, value).good()) printer.status = value.c_str();
    if (attributes->findAndGetOFString(DCM_PrinterStatusInfo, value).good()) printer.statusInfo = value.c_str();
    if (attributes->findAndGetOFString(DCM_PrinterName, value).good()) printer.name = value.c_str();
  }
  scu.Close(ok);
  return ok && !scu.Guard().Interrupted();
}
