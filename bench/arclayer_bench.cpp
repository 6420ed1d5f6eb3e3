// Native only: it runs Debian's zipinfo. Opening a ZIP of 100,000 entries as a panel would (type detection, the directory, the archive
// tree, the first listing) against Debian's "zipinfo -1" on the same file in the same run, and
// the heap bytes the tree costs per entry beyond its names.
#ifndef _WIN32
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "Bench.h"
#include "archive/layer/ArcTree.h"
#include "foundation/FileIO.h"
#include "foundation/TextCodec.h"

namespace {
// Heap bytes asked for while counting is on.
bool gCounting = false;
int64_t gBytes = 0;
}  // namespace

// Net heap bytes (as the allocator hands them out) while counting is on.
void* operator new(size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  if (gCounting) gBytes += static_cast<int64_t>(malloc_usable_size(p));
  return p;
}
void operator delete(void* p) noexcept {
  if (gCounting && p) gBytes -= static_cast<int64_t>(malloc_usable_size(p));
  std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {
void Put16(std::string& b, uint32_t v) {
  b.push_back(static_cast<char>(v & 0xFF));
  b.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Put64(std::string& b, uint64_t v) {
  Put32(b, static_cast<uint32_t>(v));
  Put32(b, static_cast<uint32_t>(v >> 32));
}

// 100 folders of 1,000 stored ten-byte files, with a ZIP64 end record for the entry count.
std::string BigZip(int entries) {
  std::string out, cd;
  out.reserve(static_cast<size_t>(entries) * 60);
  const std::string data = "0123456789";
  for (int i = 0; i < entries; ++i) {
    char name[40];
    std::snprintf(name, sizeof name, "dir%03d/file%06d.txt", i / 1000, i);
    const uint32_t at = static_cast<uint32_t>(out.size()), len = static_cast<uint32_t>(std::strlen(name));
    auto common = [&](std::string& b) {
      Put16(b, 0);
      Put16(b, 0);
      Put32(b, 0x5B214C00);
      Put32(b, 0xA684C7C6);  // CRC-32 of "0123456789"
      Put32(b, 10);
      Put32(b, 10);
      Put16(b, len);
      Put16(b, 0);
    };
    out += std::string("PK\x03\x04", 4);
    Put16(out, 10);
    common(out);
    out += name + data;
    cd += std::string("PK\x01\x02", 4);
    Put16(cd, 0x031E);
    Put16(cd, 10);
    common(cd);
    Put16(cd, 0);
    Put16(cd, 0);
    Put16(cd, 0);
    Put32(cd, 0x81A40000);
    Put32(cd, at);
    cd += name;
  }
  const uint64_t cdAt = out.size();
  out += cd;
  const uint64_t end64 = out.size();
  out += std::string("PK\x06\x06", 4);
  Put64(out, 44);
  Put16(out, 45);
  Put16(out, 45);
  Put32(out, 0);
  Put32(out, 0);
  Put64(out, static_cast<uint64_t>(entries));
  Put64(out, static_cast<uint64_t>(entries));
  Put64(out, cd.size());
  Put64(out, cdAt);
  out += std::string("PK\x06\x07", 4);
  Put32(out, 0);
  Put64(out, end64);
  Put32(out, 1);
  out += std::string("PK\x05\x06", 4);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, 0xFFFF);
  Put16(out, 0xFFFF);
  Put32(out, static_cast<uint32_t>(cd.size()));
  Put32(out, static_cast<uint32_t>(cdAt));
  Put16(out, 0);
  return out;
}

// What a panel does on Enter: detect, read the directory into a tree, list the top.
size_t OpenAndList(const std::wstring& file, std::unique_ptr<THanArcTree>& tree) {
  tree = OpenArchiveTree(file);
  if (!tree) return 0;
  ArcInfoRec item;
  size_t n = 0;
  if (tree->OpenFolder(L"", item))
    while (tree->NextEntry(item)) ++n;
  return n;
}
}  // namespace

VELMO_BENCH(arclayer_open_zip) {
  constexpr int kEntries = 100000;
  const std::string path = "/tmp/velmo-bench-100k.zip";
  if (!SafeWriteFile(Utf8ToWide(path), BigZip(kEntries))) {
    std::printf("arclayer_open_zip: cannot write %s\n", path.c_str());
    return;
  }
  const std::wstring file = Utf8ToWide(path);
  std::unique_ptr<THanArcTree> tree;
  size_t listed = 0;
  const double ours = BenchSeconds([&] { listed = OpenAndList(file, tree); });
  const std::string cmd = "zipinfo -1 " + path + " > /dev/null 2>&1";
  const double ref = BenchSeconds([&] { (void)std::system(cmd.c_str()); });
  char what[96];
  std::snprintf(what, sizeof what, "open a ZIP of %d entries, %zu listed at its top", kEntries, listed);
  BenchReport(what, "s", ours, "zipinfo -1", ref, "ours/ref", ours / ref, "<= 2");

  // The tree's heap bytes per entry (what stays allocated after the load), less the entries'
  // name buffers.
  tree.reset();
  gBytes = 0;
  gCounting = true;
  tree = OpenArchiveTree(file);
  gCounting = false;
  const int64_t live = gBytes;
  int64_t names = 0, nodes = 0;
  std::vector<PHanNode> stack{tree->Tree->Root()};
  while (!stack.empty()) {
    PHanNode n = stack.back();
    stack.pop_back();
    for (int i = 0; i < n->Children.Count(); ++i) {
      PHanNode c = static_cast<PHanNode>(n->Children.Get(i));
      const std::wstring& name = THanArcTree::Item(c)->Name;
      if (name.capacity() > std::wstring().capacity())
        names += static_cast<int64_t>(malloc_usable_size(const_cast<wchar_t*>(name.data())));
      ++nodes;
      stack.push_back(c);
    }
  }
  const double perEntry = static_cast<double>(live - names) / static_cast<double>(nodes);
  std::printf("%-44s velmo %12.1f B | goal <= 200 B (64-bit host; node %zu B, payload %zu B, names %.1f B each)\n",
              "archive tree heap per entry beyond its names", perEntry, sizeof(THanNode), sizeof(THanArcItem),
              static_cast<double>(names) / static_cast<double>(nodes));
  std::remove(path.c_str());
}
#endif
