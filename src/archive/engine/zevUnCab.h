#pragma once
// TUnCab: extracts CAB archives through cabinet.dll's FDI, following a set from cabinet to
// cabinet. The library decodes; the reader base chooses entries, asks about existing files and
// writes the output. Windows only.
#include <memory>
#include <string>

#include "archive/engine/zevBase.h"
#include "archive/engine/zevCabGbls.h"

class TUnCABInterface : public TUnBase {
 public:
  explicit TUnCABInterface(TComponent* owner) : TUnBase(owner) {}
};

class TUnCab : public TUnCABInterface {
 public:
  explicit TUnCab(TComponent* owner = nullptr);
  ~TUnCab() override;
  // Whether name is a cabinet the library accepts.
  bool IsCabinet(const std::wstring& name);

 protected:
  void ExtractArchive(TStream32* archive) override;

 private:
  friend struct TUnCabCallbacks;
  INT_PTR Notify(FDINOTIFICATIONTYPE kind, PFDINOTIFICATION n, bool counting);
  bool CopyPass(const std::wstring& cabinet, bool counting);
  void FinishOutput(bool pass);
  TStreamCabinetFileHandler FHandler;
  HFDI FContext = nullptr;
  ERF FErf{};
  std::unique_ptr<TStream32> FOut;
  std::wstring FOutName, FNextName, FCurrentFolder;
  int64_t FFileLeft = 0, FFileSize = 0;
  int32_t FDate = 0;
  uint32_t FAttr = 0;
  bool FAccepted = false, FNextSeen = false;
};
