#pragma once
// The calls, records, callback messages and result values of the RAR extraction library
// (unrar.dll), as the program uses them. The library is loaded at run time; nothing here links
// against it. Strings are 8-bit: the archive's name in the ANSI code page, stored entry names
// in the OEM code page. Every call uses the system's standard calling convention.
#include <windows.h>

#include <cstdint>

namespace unrarapi {

// Open modes.
constexpr UINT kOpenList = 0;
constexpr UINT kOpenExtract = 1;

// Operations of the process call.
constexpr int kSkip = 0;
constexpr int kTest = 1;
constexpr int kExtract = 2;

// Result values.
constexpr int kEndArchive = 10;
constexpr int kNoMemory = 11;
constexpr int kBadData = 12;
constexpr int kBadArchive = 13;
constexpr int kUnknownFormat = 14;
constexpr int kOpenError = 15;
constexpr int kCreateError = 16;
constexpr int kCloseError = 17;
constexpr int kReadError = 18;
constexpr int kWriteError = 19;
constexpr int kSmallBuffer = 20;
constexpr int kUnknown = 21;
constexpr int kMissingPassword = 22;

// Callback messages and the two kinds of volume change.
constexpr UINT kMsgChangeVolume = 0;
constexpr UINT kMsgProcessData = 1;
constexpr UINT kMsgNeedPassword = 2;
constexpr LPARAM kVolumeAsk = 0;
constexpr LPARAM kVolumeNotify = 1;
// The volume name buffer handed to a volume change holds this many bytes with its zero.
constexpr size_t kVolumeNameBuffer = 1024;

// Header flags and the folder attribute.
constexpr UINT kFlagSplitBefore = 0x01;
constexpr UINT kFlagSplitAfter = 0x02;
constexpr UINT kFlagEncrypted = 0x04;
constexpr UINT kFlagSolid = 0x10;
constexpr UINT kAttrFolder = 0x10;

struct OpenArchiveData {
  char* ArcName;
  UINT OpenMode;
  UINT OpenResult;
  char* CmtBuf;
  UINT CmtBufSize;
  UINT CmtSize;
  UINT CmtState;
};

struct HeaderData {
  char ArcName[260];
  char FileName[260];
  UINT Flags;
  UINT PackSize;
  UINT UnpSize;
  UINT HostOS;
  UINT FileCRC;
  UINT FileTime;  // DOS date (high word) and time (low word), local time
  UINT UnpVer;
  UINT Method;
  UINT FileAttr;
  char* CmtBuf;
  UINT CmtBufSize;
  UINT CmtSize;
  UINT CmtState;
};

using Callback = int(CALLBACK*)(UINT msg, LPARAM userData, LPARAM p1, LPARAM p2);
using ChangeVolProc = int(CALLBACK*)(char* arcName, int mode);
using ProcessDataProc = int(CALLBACK*)(unsigned char* addr, int size);

using OpenArchiveFn = HANDLE(WINAPI*)(OpenArchiveData* data);
using CloseArchiveFn = int(WINAPI*)(HANDLE archive);
using ReadHeaderFn = int(WINAPI*)(HANDLE archive, HeaderData* header);
using ReadHeaderExFn = int(WINAPI*)(HANDLE archive, void* header);
using ProcessFileFn = int(WINAPI*)(HANDLE archive, int operation, char* destPath, char* destName);
using SetPasswordFn = void(WINAPI*)(HANDLE archive, char* password);
using SetChangeVolProcFn = void(WINAPI*)(HANDLE archive, ChangeVolProc proc);
using SetProcessDataProcFn = void(WINAPI*)(HANDLE archive, ProcessDataProc proc);
using SetCallbackFn = void(WINAPI*)(HANDLE archive, Callback callback, LPARAM userData);

}  // namespace unrarapi
