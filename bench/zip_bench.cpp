// The ZIP engine against Debian's zip and unzip on the same 200 MB of mixed files in the same
// run (native), the wildcard matcher on 1,000,000 names, and (under Wine) the file scanner
// against a bare FindFirstFileExW walk of a 20,000-file tree.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Bench.h"
#include "archive/engine/zevFileScan.h"
#include "archive/engine/zevTar.h"
#include "archive/engine/zevUnGZip.h"
#include "archive/engine/zevUnZip.h"
#include "archive/engine/zevZip.h"
#include "foundation/MaskMatch.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {
VELMO_BENCH(mask) {
  std::vector<std::wstring> names;
  std::mt19937 r(5);
  for (int i = 0; i < 1000000; ++i) {
    std::wstring n;
    int len = 5 + static_cast<int>(r() % 20);
    for (int k = 0; k < len; ++k) n += static_cast<wchar_t>(L'a' + r() % 26);
    n += (r() % 3 == 0) ? L".txt" : L".dat";
    names.push_back(n);
  }
  TInternalMask mask(L"*a*b*.txt");
  size_t hits = 0, refHits = 0;
  double ours = BenchSeconds([&] {
    hits = 0;
    for (const auto& n : names) hits += mask.Matches(n);
  });
  double ref = BenchSeconds([&] {
    refHits = 0;
    for (const auto& n : names) refHits += WildcardMatch(L"*A*B*.TXT", n);
  });
  BenchReport("mask *a*b*.txt, 1,000,000 names (ns/name)", "ns", ours * 1e3, "one-resume matcher, upper-case",
              ref * 1e3, "ours/ref", ours / ref, "linear");
  if (hits == 0 && refHits == 0) std::printf("(no hits)\n");
}

#ifndef _WIN32
using Bytes = std::vector<uint8_t>;

// 200 MB of mixed files: text-like, random and sparse, of many sizes.
void MakeTree(const std::string& dir, TMemFileSys& fs, int64_t total) {
  std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str());
  std::mt19937 r(3);
  static const char* words[] = {"archive ", "entry ", "folder ", "name ", "stream ", "\r\n", "0123 ", "window "};
  int64_t made = 0;
  for (int i = 0; made < total; ++i) {
    size_t size = (i % 10 == 0) ? (8u << 20) : 1000 + r() % 400000;
    Bytes b;
    b.reserve(size);
    int kind = i % 3;
    while (b.size() < size) {
      if (kind == 0) {
        const char* w = words[r() % 8];
        b.insert(b.end(), w, w + std::strlen(w));
      } else if (kind == 1) {
        b.push_back(static_cast<uint8_t>(r()));
      } else {
        b.push_back(r() % 16 == 0 ? static_cast<uint8_t>(r()) : 0);
      }
    }
    b.resize(size);
    std::string name = "f" + std::to_string(i) + (kind == 1 ? ".bin" : ".txt");
    std::ofstream(dir + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
    fs.Put(L"C:\\SRC\\" + std::wstring(name.begin(), name.end()), b);
    made += static_cast<int64_t>(size);
  }
}

// Extracted files go nowhere, as unzip -p's output does: the figure is the reader's own.
class TDiscardStream : public TStream32 {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t count) override {
    FPos += count;
    return count;
  }
  int64_t Seek(int64_t, TSeekOrigin32) override { return FPos; }

 private:
  int64_t FPos = 0;
};
class TDiscardFs : public TMemFileSys {
 public:
  std::unique_ptr<TStream32> Create(const std::wstring&) override { return std::make_unique<TDiscardStream>(); }
};

Bytes ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Seconds the engine takes to extract archive (in fs) into folder.
double ExtractSeconds(TzevFileSys& fs, const wchar_t* archive, const wchar_t* folder) {
  return BenchSeconds(
      [&] {
        TUnZip u;
        u.FileSys = &fs;
        u.SetArchiveFile(archive);
        u.SetExtractDir(folder);
        u.FileSpec.Add(L"*.*");
        u.Extract();
      },
      1);
}

double Shell(const std::string& cmd) {
  return BenchSeconds([&] { std::system((cmd + " >/dev/null 2>&1").c_str()); }, 1);
}

VELMO_BENCH(zipcreate) {
  const std::string dir = "/tmp/velmo-bench-zip";
  TMemFileSys fs;
  MakeTree(dir + "/src", fs, 200ll << 20);
  double ref = Shell("cd " + dir + "/src && rm -f ../ref.zip && zip -q -6 -r ../ref.zip .");
  double ours = BenchSeconds(
      [&] {
        fs.RemoveFile(L"C:\\OUT.ZIP", doFinal);
        TZip z;
        z.FileSys = &fs;
        z.SetArchiveFile(L"C:\\OUT.ZIP");
        z.SetBaseDir(L"C:\\SRC");
        z.FileSpec.Add(L"C:\\SRC\\*.*");
        z.UpdateArchive();
      },
      1);
  double refSize = static_cast<double>(ReadAll(dir + "/ref.zip").size());
  double ourSize = static_cast<double>(fs.Get(L"C:\\OUT.ZIP").size());
  BenchReport("create ZIP of 200 MB mixed files, default level", "s", ours, "zip -6", ref, "ours/ref", ours / ref,
              "<= 1.1");
  BenchReport("  compressed size", "MB", ourSize / 1e6, "zip -6", refSize / 1e6, "ours/ref", ourSize / refSize,
              "within 1%");
  // Extraction of zip's archive: both discard what they extract.
  TDiscardFs sink;
  sink.Put(L"C:\\REF.ZIP", ReadAll(dir + "/ref.zip"));
  double ext = ExtractSeconds(sink, L"C:\\REF.ZIP", L"C:\\X");
  double extRef = Shell("unzip -p " + dir + "/ref.zip > /dev/null");
  BenchReport("extract ZIP of 200 MB mixed files", "s", ext, "unzip -p", extRef, "ours/ref", ext / extRef, "<= 1.1");
  // One large deflated file.
  std::system(("cd " + dir + " && head -c 100000000 /dev/zero | tr '\\0' 'a' > big.txt && cat src/f1.bin >> big.txt"
               " && rm -f big.zip && zip -q -6 big.zip big.txt").c_str());
  sink.Put(L"C:\\BIG.ZIP", ReadAll(dir + "/big.zip"));
  double big = ExtractSeconds(sink, L"C:\\BIG.ZIP", L"C:\\Y");
  double bigRef = Shell("unzip -p " + dir + "/big.zip > /dev/null");
  BenchReport("extract one large deflated file", "s", big, "unzip -p", bigRef, "ours/ref", big / bigRef, "<= 1.0");
  std::system(("rm -rf " + dir).c_str());
}

// A .tar.gz of the same 200 MB: ours made and taken apart in memory, GNU tar's on disk.
VELMO_BENCH(tgz) {
  const std::string dir = "/tmp/velmo-bench-tgz";
  TMemFileSys fs;
  fs.ForceDirs(L"T:\\TEMP");
  MakeTree(dir + "/src", fs, 200ll << 20);
  double ref = Shell("cd " + dir + "/src && tar czf ../ref.tgz .");
  double ours = BenchSeconds(
      [&] {
        fs.RemoveFile(L"C:\\OUT.TGZ", doFinal);
        TTar t;
        t.FileSys = &fs;
        t.SetArchiveFile(L"C:\\OUT.TAR");
        t.SetBaseDir(L"C:\\SRC");
        t.FileSpec.Add(L"C:\\SRC\\*.*");
        t.SetCompressMethod(cmGzipTar);
        t.UpdateArchive();
      },
      1);
  double refSize = static_cast<double>(ReadAll(dir + "/ref.tgz").size());
  double ourSize = static_cast<double>(fs.Get(L"C:\\OUT.TGZ").size());
  // The default effort deflates at zlib's level 7 while tar czf runs gzip -6: the same level
  // through gzip is measured as well.
  double ref7 = Shell("cd " + dir + "/src && tar cf - . | gzip -7 > ../ref7.tgz");
  BenchReport("create .tar.gz of 200 MB mixed files", "s", ours, "tar czf", ref, "ours/ref", ours / ref, "<= 1.1");
  BenchReport("  the same, reference at our level", "s", ours, "tar cf | gzip -7", ref7, "ours/ref", ours / ref7,
              "<= 1.1");
  BenchReport("  compressed size", "MB", ourSize / 1e6, "tar czf", refSize / 1e6, "ours/ref", ourSize / refSize,
              "reported");
  // Extraction of GNU tar's archive through the nested TAR, against tar xzf.
  fs.Put(L"C:\\REF.TGZ", ReadAll(dir + "/ref.tgz"));
  double ext = BenchSeconds(
      [&] {
        TUnGZip u(nullptr);
        u.FileSys = &fs;
        u.SetArchiveFile(L"C:\\REF.TGZ");
        u.SetArcType(atGZip);
        u.SetTempDir(L"T:\\TEMP");
        u.SetExtractDir(L"C:\\X");
        u.FileSpec.Add(L"*.*");
        u.OnNestedTarFile = [](TZipCommon*, const std::wstring&, bool& x) { x = true; };
        u.Extract();
      },
      1);
  double extRef = Shell("mkdir -p " + dir + "/x && tar xzf " + dir + "/ref.tgz -C " + dir + "/x");
  BenchReport("extract .tar.gz of 200 MB mixed files", "s", ext, "tar xzf", extRef, "ours/ref", ext / extRef,
              "<= 1.1");
  std::system(("rm -rf " + dir).c_str());
}
#endif

#ifdef _WIN32
VELMO_BENCH(scan) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring root = std::wstring(tmp) + L"velmo-bench-scan";
  CreateDirectoryW(root.c_str(), nullptr);
  for (int d = 0; d < 100; ++d) {
    std::wstring sub = root + L"\\d" + std::to_wstring(d);
    CreateDirectoryW(sub.c_str(), nullptr);
    for (int f = 0; f < 200; ++f) {
      std::wstring name = sub + L"\\f" + std::to_wstring(f) + (f % 4 ? L".txt" : L".log");
      HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_ARCHIVE, nullptr);
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
  }
  int found = 0;
  double ours = BenchSeconds([&] {
    TzevFileScan s;
    s.FileSpec.Add(root + L"\\*.txt");
    s.AttributesEx = AttrSet({fsHidden});
    s.RecurseDirs = true;
    s.UpdateList = false;
    s.Scan();
    found = s.FilesCount;
  });
  int refFound = 0;
  std::function<void(const std::wstring&)> walk = [&](const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileExW((dir + L"\\*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
      std::wstring n = fd.cFileName;
      if (n == L"." || n == L"..") continue;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        walk(dir + L"\\" + n);
      else if (n.size() > 4 && n.compare(n.size() - 4, 4, L".txt") == 0)
        ++refFound;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  };
  double ref = BenchSeconds([&] {
    refFound = 0;
    walk(root);
  });
  BenchReport("scan 20,000 files, mask and exclusion", "ms", ours * 1e3, "FindFirstFileExW walk", ref * 1e3,
              "ours/ref", ours / ref, "<= 1.3");
  if (found != refFound) std::printf("  (counts differ: %d / %d)\n", found, refFound);
  std::system(("rmdir /s /q \"" + std::string(root.begin(), root.end()) + "\"").c_str());
}
#endif
}  // namespace
