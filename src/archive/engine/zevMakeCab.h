#pragma once
// TMakeCab: writes CAB archives through cabinet.dll's FCI. The cabinet is built in the
// temporary folder and put in place of the archive only when it is complete; the entries of
// an existing cabinet are carried into the new one unless a new file of the same name
// replaces them. Windows only.
#include <string>
#include <vector>

#include "archive/engine/zevCabGbls.h"
#include "archive/engine/zevZip.h"

enum TCompressionType : uint8_t { ctStore, ctMsZip, ctLzx };

class TCabInterface : public TCompBase {
 public:
  explicit TCabInterface(TComponent* owner) : TCompBase(owner) {}
};

class TMakeCab : public TCabInterface {
 public:
  explicit TMakeCab(TComponent* owner = nullptr);
  ~TMakeCab() override;
  void SetArcType(TArcType) override { FArcType = atCab; }

  bool FailOnIncompressible = true;
  int LzxLevel() const { return FLzxLevel; }
  void SetLzxLevel(int v) { FLzxLevel = v < 15 ? 15 : v > 21 ? 21 : v; }
  TCompressionType QuantumType = ctMsZip;
  int QuantumLevel() const { return FQuantumLevel; }
  void SetQuantumLevel(int v) { FQuantumLevel = v < 1 ? 1 : v > 7 ? 7 : v; }
  int QuantumMemory() const { return FQuantumMemory; }
  void SetQuantumMemory(int v) { FQuantumMemory = v < 10 ? 10 : v > 21 ? 21 : v; }
  std::function<void(TZipCommon* sender, CCAB& cabParameters, std::wstring& newCabFileName,
                     uint32_t previousCabEstimatedSize, bool& abortCreation)>
      OnGetNextCabinet;

  // The compression code handed to the library for CompressMethod, and the method's text.
  TCOMP CompressionCode() const;
  std::wstring MethodText() const;

  int UpdateArchive() override;

 protected:
  void ReadDirectory(TStream32&, TzevTempOutput&) override {}
  bool CompressFile(TStream32&, TCompEntry&) override { return false; }
  int64_t PrepareCopyEntry(TStream32&, TStream32&, TCompEntry&) override { return 0; }
  void RewriteEntry(TStream32&, TStream32&, TCompEntry&) override {}
  bool WriteDirectory(TStream32&) override { return true; }
  void WriteEmptyEndRecord(TStream32&) override {}

 private:
  friend struct TMakeCabCallbacks;
  bool CreateContext(const std::wstring& cabinet);
  void DestroyContext();
  // Adds one file under its name in the cabinet; false when the library refused it.
  bool AddFile(const std::wstring& source, const std::wstring& nameInCabinet, int32_t dosDate, uint32_t attr);
  TStreamCabinetFileHandler FHandler;
  HFCI FContext = nullptr;
  ERF FErf{};
  CCAB FCab{};
  int FLzxLevel = 21, FQuantumLevel = 7, FQuantumMemory = 21;
  // The file being added: its date and attributes as the library should record them.
  int32_t FAddDate = 0;
  uint32_t FAddAttr = 0;
  bool FAddUtf8 = false;
  int64_t FFileLeft = 0, FFileSize = 0;
  INT_PTR FSourceHandle = -1;
  std::wstring FTempFolder;
  int FTempCount = 0;
};
