#pragma once
// The calls, records, callbacks and values of the ACE extraction library (UnAceV2.Dll), as the
// program uses them. The library is loaded at run time; nothing here links against it. Strings
// are 8-bit: paths in the ANSI code page, stored entry names in the OEM code page. Every call and
// callback uses the system's standard calling convention.
#include <windows.h>

#include <cstdint>

namespace unaceapi {

// Callback answers.
constexpr int kAnswerOk = 0;
constexpr int kAnswerSkip = 1;
constexpr int kAnswerCancel = 2;

// The kind of record a callback receives (its first field).
constexpr ULONG kKindGlobal = 0;
constexpr ULONG kKindArchive = 1;
constexpr ULONG kKindArchivedFile = 2;
constexpr ULONG kKindRealFile = 3;
constexpr ULONG kKindProgress = 7;

// Operations.
constexpr ULONG kOpList = 0;
constexpr ULONG kOpTest = 1;
constexpr ULONG kOpAnalyse = 2;
constexpr ULONG kOpExtract = 3;

// Error codes, by kind.
constexpr ULONG kErrMemory = 512;         // global
constexpr ULONG kErrUncompressed = 518;   // global: output could not be written
constexpr ULONG kErrArchive = 546;        // archive: general failure
constexpr ULONG kErrOpen = 550;           // archive: cannot be opened
constexpr ULONG kErrRead = 552;           // archive: read failure
constexpr ULONG kErrCrc = 556;            // archive: checksum mismatch
constexpr ULONG kErrNoFiles = 558;        // archive: nothing matched (not a failure)
constexpr ULONG kErrBroken = 559;         // archive: damaged headers
constexpr ULONG kErrAborted = 561;        // archive: ended on request (not a failure)
constexpr ULONG kErrCreate = 576;         // file: cannot be created
constexpr ULONG kErrWrite = 580;          // file: cannot be written
constexpr ULONG kErrSeek = 582;           // file: cannot be positioned
constexpr ULONG kErrFileGeneral = 586;    // file: general failure
constexpr ULONG kErrDiskFull = 587;       // file: no room on the disk
constexpr ULONG kErrClose = 588;          // file: cannot be closed

// Requests.
constexpr ULONG kReqNextVolume = 801;     // archive: the next volume (its name in ArchiveName)
constexpr ULONG kReqOverwrite = 832;      // file: the target exists
constexpr ULONG kReqPassword = 835;       // file: the password (into the global record's buffer)
constexpr ULONG kReqOverwriteSystem = 836; // file: the target exists and is a system file

// States.
constexpr ULONG kStateArchiveBegin = 1024;
constexpr ULONG kStateFileBegin = 1040;
constexpr ULONG kStateProgress = 1056;

// Results of the calls.
constexpr int kResultOk = 0;
constexpr int kResultMemory = 1;
constexpr int kResultDiskFull = 4;
constexpr int kResultOpen = 5;
constexpr int kResultRead = 6;
constexpr int kResultWrite = 7;
constexpr int kResultCrc = 9;
constexpr int kResultUserAbort = 255;

// Sizes of the buffers the library hands to callbacks (each with its zero).
constexpr size_t kNameBuffer = 260;
constexpr size_t kPasswordBuffer = 80;

struct GlobalData;

struct ArchiveData {
  char* ArchiveName;  // a buffer of kNameBuffer bytes; a next-volume request may change it
  ULONG Flags;
  ULONG Host;
  ULONG VolumeNumber;
  ULONG TimeCreated;
  char Reserved[64];
};

struct FileData {
  char* SourceFileName;       // the stored name
  char* DestinationFileName;  // a buffer of kNameBuffer bytes: the file name the output takes
  ULONG Flags;
  ULONG CRC32;
  ULONG Method;
  ULONG Dictionary;
  ULONGLONG CompressedSize;
  ULONGLONG Size;
  ULONG Time;  // DOS date and time, local
  ULONG Attributes;
  char Reserved[64];
};

struct ProgressData {
  char* Addr;
  ULONG Size;
  ULONGLONG TotalProcessedSize;
  ULONGLONG TotalCompressedSize;
  ULONGLONG TotalSize;
  ULONGLONG FileProcessedSize;
  ULONGLONG FileCompressedSize;
  ULONGLONG FileSize;
};

// Every callback record begins with its kind and code.
struct CallbackGlobal {
  ULONG StructureType;
  ULONG Code;
  GlobalData* Global;
};
struct CallbackArchive {
  ULONG StructureType;
  ULONG Code;
  ULONG Operation;
  GlobalData* Global;
  ArchiveData* Archive;
};
struct CallbackArchivedFile {
  ULONG StructureType;
  ULONG Code;
  ULONG Operation;
  GlobalData* Global;
  ArchiveData* Archive;
  FileData* File;
};
struct CallbackRealFile {
  ULONG StructureType;
  ULONG Code;
  ULONG Operation;
  GlobalData* Global;
  char* FileName;
};
struct CallbackProgress {
  ULONG StructureType;
  ULONG Code;
  ULONG Operation;
  GlobalData* Global;
  ArchiveData* Archive;
  FileData* File;
  ProgressData* Progress;
};
union CallbackInfo {
  struct {
    ULONG StructureType;
    ULONG Code;
  } Head;
  CallbackGlobal Global;
  CallbackArchive Archive;
  CallbackArchivedFile ArchivedFile;
  CallbackRealFile RealFile;
  CallbackProgress Progress;
};
using Callback = int(CALLBACK*)(CallbackInfo* info);

struct GlobalData {
  void* Obj;
  ULONG MaxArchiveTestBytes;
  ULONG MaxFileBufSize;
  ULONG CommentBufSize;
  char* CommentBuf;
  char* DecryptPassword;  // the library's buffer of kPasswordBuffer bytes, for the password request
  char* TempDir;
  Callback InfoCallback;
  Callback ErrorCallback;
  Callback RequestCallback;
  Callback StateCallback;
  char Reserved[64];
};

struct InitDllData {
  GlobalData Global;
  char Reserved[64];
};

struct FilesSpec {
  char* SourceDir;
  char* FileList;  // names and patterns separated by CR, zero-terminated; empty: every file
  char* ExcludeList;
  BOOL FullMatch;
  char Reserved[64];
};

struct ReadArchiveDataData {
  ArchiveData* Archive;
  char Reserved[64];
};
struct ListData {
  FilesSpec Files;
  char Reserved[64];
};
struct TestData {
  FilesSpec Files;
  char* DecryptPassword;
  char Reserved[64];
};
struct ExtractData {
  FilesSpec Files;
  char* DestinationDir;
  BOOL ExcludePath;
  char* DecryptPassword;
  char Reserved[64];
};

using InitDllFn = int(WINAPI*)(InitDllData* data);
using ReadArchiveDataFn = int(WINAPI*)(char* archiveName, ReadArchiveDataData* data);
using ListFn = int(WINAPI*)(char* archiveName, ListData* data);
using TestFn = int(WINAPI*)(char* archiveName, TestData* data);
using ExtractFn = int(WINAPI*)(char* archiveName, ExtractData* data);

}  // namespace unaceapi
