#pragma once
// A big folder of empty files for the benchmarks, made in one go through the host's shell
// where the program runs under Wine (file by file otherwise), with a DESCRIPT.ION that
// describes every tenth file; removed with its content afterwards.
#include <string>

struct TBigFolder {
  std::wstring Dir;
  int Files;
  explicit TBigFolder(int files);
  ~TBigFolder();
  TBigFolder(const TBigFolder&) = delete;
  TBigFolder& operator=(const TBigFolder&) = delete;
};
