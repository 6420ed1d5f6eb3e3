#pragma once
// The engine's stream family: an abstract byte stream with 64-bit seeking, memory streams, a
// CRC sink, the enciphering stream, and the raw DEFLATE compressing and decompressing streams
// (portable, zevStreams.cpp); streams over Windows file handles and the temporary file that
// replaces an archive (zevStreams_win.cpp).
#include <zlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "archive/engine/zevGbls.h"

enum TSeekOrigin32 : int { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

// Open modes: an access value or'ed with a sharing value; fmCreate creates the file.
constexpr uint16_t fmCreate = 0xFFFF;
constexpr uint16_t fmOpenRead = 0x0000, fmOpenWrite = 0x0001, fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareExclusive = 0x0010, fmShareDenyWrite = 0x0020, fmShareDenyRead = 0x0030,
                   fmShareDenyNone = 0x0040;

enum TDeleteOptions : uint8_t { doFinal, doAllowUndo };
enum TDeflateType : uint8_t { dtDeflateZ, dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX };

// Copies between streams go through a buffer of at most this many bytes.
constexpr int32_t kCopyBufferSize = 61440;
// The codec streams' buffer.
constexpr int32_t kCodecBufferSize = 65536;

class TStream32 {
 public:
  virtual ~TStream32() = default;
  // The bytes moved; fewer at the end, 0 on failure.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // The new position. The base raises EStreamError naming the class.
  virtual int64_t Seek(int64_t offset, TSeekOrigin32 origin);
  virtual void SetSize(int64_t newSize);
  virtual const char* ClassName() const { return "TStream32"; }

  // Position and size are 32-bit values: outside that range they raise ERangeError.
  int64_t GetPosition();
  void SetPosition(int64_t pos);
  int64_t GetSize();
  // Raise EReadError / EWriteError on a short transfer.
  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);
  // Copies count bytes from source's position; count 0 copies the whole source from its start.
  // Returns the bytes copied.
  int64_t CopyFrom(TStream32& source, int64_t count);
};

// Memory: reading past the end gives fewer bytes; writing past it grows the stream.
class TCustomMemoryStream32 : public TStream32 {
 public:
  int32_t Read(void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin32 origin) override;
  const char* ClassName() const override { return "TCustomMemoryStream32"; }
  uint8_t* Memory() const { return FMemory; }

 protected:
  uint8_t* FMemory = nullptr;
  int64_t FSize = 0;
  int64_t FPosition = 0;
};

class TMemoryStream32 : public TCustomMemoryStream32 {
 public:
  TMemoryStream32() = default;
  ~TMemoryStream32() override;
  TMemoryStream32(const TMemoryStream32&) = delete;
  TMemoryStream32& operator=(const TMemoryStream32&) = delete;
  int32_t Write(const void* buffer, int32_t count) override;
  void SetSize(int64_t newSize) override;
  const char* ClassName() const override { return "TMemoryStream32"; }
  void Clear();
  int64_t Capacity() const { return FCapacity; }

 protected:
  // Grows (or shrinks) the block to newSize rounded up to a multiple of 8192 bytes; raises
  // EStreamError when memory runs out.
  void SetCapacity(int64_t newCapacity);

 private:
  int64_t FCapacity = 0;
};

// A sink that keeps only the checksum of what passes: the constructor copies the whole source
// (from its start) into it. Width 16: CRC-16 from 0; width 32: CRC-32 from 0xFFFFFFFF.
class TCalcStreamCRC : public TMemoryStream32 {
 public:
  TCalcStreamCRC(TStream32& source, int width);
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override;
  const char* ClassName() const override { return "TCalcStreamCRC"; }
  uint32_t CRC = 0;

 private:
  int FWidth;
};

// The CRC of a whole stream; the stream is left at position 0. The CRC-32 is the unfinished
// register.
uint16_t StreamCrc16(TStream32& stream);
uint32_t StreamCrc32(TStream32& stream);

// Enciphers a whole source into dest with the traditional cipher: the finished CRC-32 of the
// source, then the 12-byte header (written when writeHeader), then every byte enciphered.
// Dest is rewound to 0 when the stream goes.
class TEncryptStream : public TStream32 {
 public:
  TEncryptStream(TStream32& source, bool writeHeader, std::string_view password, TStream32& dest);
  ~TEncryptStream() override;
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override;
  const char* ClassName() const override { return "TEncryptStream"; }
  uint32_t CRC = 0;

 private:
  TStream32& FDest;
  uint8_t FBuffer[kCopyBufferSize];
};
// Runs TEncryptStream and returns the source's finished CRC-32.
uint32_t EncryptStreamTo(TStream32& source, TStream32& dest, std::string_view password, bool writeHeader);

// Base of the codec streams: an underlying stream read or written at a remembered position,
// a 65536-byte buffer, and the hooks of a run.
class TCustomStream : public TStream32 {
 public:
  ~TCustomStream() override = default;
  // Buffers pass through the traditional cipher (its keys must be set up by the caller).
  bool Crypt = false;
  // A non-zero byte here stops the work.
  const uint8_t* CancelFlag = nullptr;
  // Dropped by the bytes consumed.
  double* BytesLeft = nullptr;
  // Called after every buffer.
  std::function<void()> OnProgress;

 protected:
  explicit TCustomStream(TStream32& strm);
  bool Cancelled() const { return CancelFlag && *CancelFlag; }
  TStream32& FStrm;
  int64_t FStrmPos;
  z_stream FZRec{};
  uint8_t FBuffer[kCodecBufferSize];
};

// Raw (negative windowBits) or zlib DEFLATE of what is written, into dest.
class TCompressStream : public TCustomStream {
 public:
  TCompressStream(TStream32& dest, int windowBits, TDeflateType effort);
  // Finishes the stream when Finish was not called (errors then are lost).
  ~TCompressStream() override;
  int32_t Read(void*, int32_t) override { return -1; }
  // Returns the bytes taken (fewer when cancelled); raises EWriteError when dest refuses.
  int32_t Write(const void* buffer, int32_t count) override;
  // (0, from current) gives the bytes taken so far; anything else -1.
  int64_t Seek(int64_t offset, TSeekOrigin32 origin) override;
  const char* ClassName() const override { return "TCompressStream"; }
  // Writes the end of the compressed data; raises EWriteError when dest refuses.
  void Finish();
  int64_t BytesIn() const { return FIn; }
  int64_t BytesOut() const { return FOut; }
  static int LevelOf(TDeflateType effort);

 private:
  void FlushBuffer(uInt count);
  bool FFinished = false;
  int64_t FIn = 0, FOut = 0;
};

// Inflates from source. It ends where the compressed data ends, where the source ends, or
// where packedSize bytes (when given, >= 0) have been taken, whichever comes first: a
// truncated or damaged stream yields what was produced and sets ErrorCode.
class TDecompressStream : public TCustomStream {
 public:
  TDecompressStream(TStream32& source, int windowBits, int64_t packedSize = -1);
  // Leaves source right after the compressed data taken.
  ~TDecompressStream() override;
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void*, int32_t) override { return -1; }
  // (0, from beginning) starts again (with Crypt the caller sets the keys up again); a forward
  // seek reads and discards; others stay. Returns the output position.
  int64_t Seek(int64_t offset, TSeekOrigin32 origin) override;
  const char* ClassName() const override { return "TDecompressStream"; }
  // 0, zevReadError (compressed data ended early) or zevCorruptInput / zevOutOfMemory.
  int ErrorCode() const { return FError; }
  // The end of the compressed data was reached.
  bool Ended() const { return FEnded; }
  int64_t BytesIn() const { return FIn - FZRec.avail_in; }
  int64_t BytesOut() const { return FOut; }
  // Positions source right after the compressed data taken so far.
  void RestoreSourcePosition();

 private:
  int64_t FStartPos, FPacked, FPackedLeft;
  int64_t FIn = 0, FOut = 0;
  int FError = 0;
  bool FEnded = false;
};

#ifdef _WIN32
#include <windows.h>

#include "framework/Handles.h"

// A stream over a Windows file handle (not closed by this class); a failed read or write
// counts as 0 bytes.
class THandleStream32 : public TStream32 {
 public:
  explicit THandleStream32(HANDLE handle) : FHandle(handle) {}
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin32 origin) override;
  void SetSize(int64_t newSize) override;
  const char* ClassName() const override { return "THandleStream32"; }
  HANDLE Handle() const { return FHandle; }

 protected:
  HANDLE FHandle;
};

// fmCreate creates the file, any other mode opens it; failures raise EFCreateError or
// EFOpenError. The handle is closed when the stream goes.
class TFileStream32 : public THandleStream32 {
 public:
  TFileStream32(const std::wstring& fileName, uint16_t mode);
  ~TFileStream32() override;
  TFileStream32(const TFileStream32&) = delete;
  TFileStream32& operator=(const TFileStream32&) = delete;
  const char* ClassName() const override { return "TFileStream32"; }

 protected:
  TFileStream32() : THandleStream32(nullptr) {}
  // Takes an opened file as the stream's own.
  void TakeFile(HANDLE h) {
    FOwned.reset(h);
    FHandle = FOwned.get();
  }
  void CloseFile();
  // Closes the file now; false when the system reports the close failed.
  bool CloseFileChecked();

 private:
  TFileHandle FOwned;
};

// As TFileStream32, handing its handle back; failures carry the engine's numbers 25237 and
// 25235.
class TzevReadStream : public TFileStream32 {
 public:
  TzevReadStream(const std::wstring& fileName, uint16_t mode, HANDLE& handle);
  const char* ClassName() const override { return "TzevReadStream"; }
};

// The new content of an archive. With fmCreate a temporary file is made in tempDir; Commit
// then puts it in place of targetName. Any other mode opens targetName itself.
class TTempFileStream : public TFileStream32 {
 public:
  TTempFileStream(uint16_t mode, const std::wstring& targetName, const std::wstring& tempDir);
  // Removes a temporary file that was never committed; the target stays as it was.
  ~TTempFileStream() override;
  const char* ClassName() const override { return "TTempFileStream"; }

  // Closes the stream and, with Keep on and a target named, replaces the target: the new file
  // first lands beside the target (copied when the temporary folder is on another volume),
  // then the old target (attributes reset) is removed by DeleteOptions and the new one takes
  // its name. Any failure keeps the old target and removes the new file. With Keep off or no
  // target the temporary file is deleted. Returns 0 or the engine's error number.
  int Commit();
  // Closes the temporary file and keeps it: a later Commit puts it in place by its name, a
  // later Discard deletes it. 0 or the engine's error number.
  int Close();
  // Closes and deletes the temporary file; the target stays as it was.
  void Discard();

  bool Keep = true;
  TDeleteOptions DeleteOptions = doFinal;
  const std::wstring& TargetName() const { return FTargetName; }
  const std::wstring& TempName() const { return FTempName; }
  bool IsTemporary() const { return FTemporary; }

 private:
  std::wstring FTargetName, FTempName;
  bool FTemporary = false, FClosed = false;
};

// doFinal: a plain delete. doAllowUndo: to the recycle bin; a missing file gives false.
bool DeleteFileEx(const std::wstring& fileName, TDeleteOptions options);
#endif
