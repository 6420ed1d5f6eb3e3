// The host's file access, for the portable build's tests.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "foundation/FileIO.h"
#include "foundation/TextCodec.h"

struct TFileReader::TImpl {
  FILE* File = nullptr;
  ~TImpl() {
    if (File) std::fclose(File);
  }
};

TFileReader::TFileReader(const std::wstring& path) : F(new TImpl) {
  F->File = std::fopen(WideToUtf8(path).c_str(), "rb");
  struct stat st;
  if (F->File && fstat(fileno(F->File), &st) == 0 && st.st_size > 0) FSize = static_cast<uint64_t>(st.st_size);
}

TFileReader::~TFileReader() = default;

bool TFileReader::IsOpen() const { return F->File != nullptr; }

bool TFileReader::ReadNext(char* to, size_t count) {
  return F->File && std::fread(to, 1, count, F->File) == count;
}

bool TFileReader::ReadAll(std::string& bytes) {
  bytes.clear();
  if (!F->File || std::fseek(F->File, 0, SEEK_SET) != 0) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, F->File)) > 0) bytes.append(buf, n);
  return !std::ferror(F->File);
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
  bytes.clear();
  return TFileReader(path).ReadAll(bytes);
}

bool FileExistsPlain(const std::wstring& path) {
  struct stat st;
  return stat(WideToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The host keeps no archive attribute: a file whose attributes could be set is a writable one.
bool FileSetArchiveOnly(const std::wstring& path) { return access(WideToUtf8(path).c_str(), W_OK) == 0; }

bool DeleteFilePlain(const std::wstring& path) { return unlink(WideToUtf8(path).c_str()) == 0; }

bool SafeWriteFile(const std::wstring& path, std::string_view bytes) {
  std::string target = WideToUtf8(path), temp = target + ".~new";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    ssize_t w = write(fd, bytes.data() + done, bytes.size() - done);
    ok = w > 0;
    if (ok) done += static_cast<size_t>(w);
  }
  ok = ok && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  ok = ok && rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}
