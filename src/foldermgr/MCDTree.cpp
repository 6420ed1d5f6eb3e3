#include "foldermgr/MCDTree.h"

#include <algorithm>
#include <array>
#include <bit>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <type_traits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/FileIO.h"
#include "foundation/Folders.h"
#include "foundation/MYTOOL.h"
#include "foundation/Parallel.h"
#include "framework/TextCompare.h"

// ---- The file ----

bool IsValidTreeNodeName(std::wstring_view name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (wchar_t c : name)
    if (c == L'\\' || c == L'/' || c == L':' || c < 0x20) return false;
  return true;
}

void TTreeNames::reserve(size_t n) {
  if (n <= FCapacity) return;
  size_t capacity = std::max(n, FCapacity * 2);
  // Left unfilled: every unit is written before it is read.
  std::unique_ptr<wchar_t[]> data(new wchar_t[capacity]);
  std::copy_n(FData.get(), FSize, data.get());
  FData = std::move(data);
  FCapacity = capacity;
}

void TTreeNames::append(std::wstring_view s) {
  reserve(FSize + s.size());
  std::copy(s.begin(), s.end(), FData.get() + FSize);
  FSize += s.size();
}

namespace {
// What a unit below 0x80 is to a name; every unit from 0x80 up is kHigh in bytes (it needs
// decoding) and nothing in UTF-16 text. Lines are cut before their names are looked at.
enum : uint8_t { kNotInName = 1, kHigh = 2 };
struct TUnitClasses {
  uint8_t Of[256];
};
constexpr TUnitClasses MakeUnitClasses() {
  TUnitClasses t{};
  for (int c = 0; c < 256; ++c) {
    uint8_t k = 0;
    if (c < 0x20 || c == '\\' || c == '/' || c == ':') k = kNotInName;
    else if (c >= 0x80) k = kHigh;
    t.Of[c] = k;
  }
  return t;
}
constexpr TUnitClasses UnitClasses = MakeUnitClasses();

template <typename Unit>
uint32_t UnitValue(Unit c) {
  return static_cast<std::make_unsigned_t<Unit>>(c);
}
template <typename Unit>
uint8_t ClassOf(Unit c) {
  uint32_t v = UnitValue(c);
  if (v < 0x80) return UnitClasses.Of[v];
  return sizeof(Unit) == 1 ? kHigh : 0;
}
// A blank within a line (trimmed off its ends).
bool IsBlank(uint32_t c) { return c <= ' '; }

// An optional sign and the decimal digits from p on, as the file writes a number; p is left
// after them. False when no digit follows. Values past any depth stay out of range.
template <typename Unit>
[[gnu::always_inline]] inline bool ReadNumber(const Unit*& p, const Unit* end, int32_t& value) {
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
  const Unit* digits = p;
  int64_t v = 0;
  for (; p < end; ++p) {
    uint32_t d = UnitValue(*p) - '0';
    if (d > 9) break;
    if (v < 100000000) v = v * 10 + d;
  }
  value = static_cast<int32_t>(negative ? -v : v);
  return p != digits;
}

// The count line: a number of folder lines, not negative, with blanks only around it.
template <typename Unit>
bool ReadCount(const Unit* a, const Unit* e, int32_t& count) {
  while (a < e && IsBlank(UnitValue(*a))) ++a;
  while (e > a && IsBlank(UnitValue(e[-1]))) --e;
  const Unit* end = a;
  return ReadNumber(end, e, count) && end == e && count >= 0 && *a != '-';
}

// How the names of a file are decoded.
enum class TNameCode {
  Utf8,        // bytes taken for UTF-8 until one is not: then the file is read again as ANSI
  Utf8Marked,  // bytes after a UTF-8 mark: invalid sequences become U+FFFD
  Ansi,        // bytes in the ANSI code page
  Wide,        // text decoded already (UTF-16 files)
};

// In UTF-8 that is not yet known to be UTF-8, a line that is not read as a name is checked.
template <typename Unit>
bool IsLineText(TNameCode code, const Unit* from, const Unit* to) {
  if constexpr (sizeof(Unit) == 1) {
    if (code == TNameCode::Utf8) return IsValidUtf8(std::string_view(from, static_cast<size_t>(to - from)));
  } else {
    (void)code, (void)from, (void)to;
  }
  return true;
}

// Stopped: a run over a piece of a file, told to stop by the run of another piece.
enum class TPass { Empty, Ok, Damaged, NotUtf8, Stopped };

// Gives the lines of [from, end) in order; a line ends at LF, at CR LF or at a CR alone. In
// bytes the line ends of a register's width of units (64 or 32) are found at a time, so that
// where a line starts never waits for the line before it to be read.
template <typename Unit>
class TTreeLineCursor {
  // A bit per unit, as wide as a register: a wider mask would take two registers on a 32-bit
  // processor, which has few enough for the reader's loop.
  using TMask = uintptr_t;
  static constexpr int kBlock = sizeof(TMask) * 8;

 public:
  TTreeLineCursor(const Unit* from, const Unit* end) : FStart(from), FScan(from), FEnd(end) {}
  // The next line, without its line end; false after the last. Kept in the reader's loop: a
  // call per line costs as much as reading it.
  [[gnu::always_inline]] bool Next(const Unit*& line, const Unit*& contentEnd) {
    for (;;) {
      if (FEnds) {
        const Unit* q = FBase + std::countr_zero(FEnds);
        FEnds &= FEnds - 1;
        return Take(q, line, contentEnd);
      }
#if defined(__SSE2__)
      if constexpr (sizeof(Unit) == 1) {
        if (FEnd - FScan >= kBlock) {
          const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
          TMask lfs = 0, crs = 0;
          for (int k = 0; k < kBlock / 16; ++k) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(FScan + 16 * k));
            lfs |= static_cast<TMask>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)))) << (16 * k);
            crs |= static_cast<TMask>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)))) << (16 * k);
          }
          // A CR ends a line of its own unless an LF follows it (for the last of the block, the
          // first unit after it).
          TMask lfAfter = (lfs >> 1) | (FEnd - FScan > kBlock && FScan[kBlock] == '\n' ? TMask{1} << (kBlock - 1) : 0);
          FEnds = lfs | (crs & ~lfAfter);
          FBase = FScan;
          FScan += kBlock;
          continue;
        }
      }
#endif
      while (FScan < FEnd) {
        const Unit* q = FScan++;
        if (*q == '\n' || (*q == '\r' && (FScan == FEnd || *FScan != '\n'))) return Take(q, line, contentEnd);
      }
      if (FStart == FEnd) return false;
      // The last line has no line end.
      line = FStart;
      contentEnd = FStart = FEnd;
      return true;
    }
  }
  // Where the line after the last one given starts.
  const Unit* Rest() const { return FStart; }

 private:
  [[gnu::always_inline]] bool Take(const Unit* q, const Unit*& line, const Unit*& contentEnd) {
    contentEnd = q;
    if (*q == '\n' && q > FStart && q[-1] == '\r') --contentEnd;
    line = FStart;
    FStart = q + 1;
    return true;
  }
  const Unit* FStart;  // where the next line starts
  const Unit* FScan;   // the first unit not yet looked at
  const Unit* FEnd;
  const Unit* FBase = nullptr;  // the unit of the lowest bit of FEnds
  TMask FEnds = 0;              // the line ends found and not yet given
};

// What one run of the folder-line reader is given, and what it found.
template <typename Unit>
struct TLineRun {
  TNameCode Code = TNameCode::Utf8;
  // The run starts at the file's first folder line, which must be the root. A run over a piece
  // of a file takes its first line at any depth and tells it in FirstDepth and FirstValid, to
  // be checked against the lines of the pieces before it.
  bool FileStart = true;
  // Where the names go: the buffer, and this run's place in it. The run's names take no more
  // units than its bytes, and the quick copy writes up to 16 units past a name only while the
  // run has 16 more bytes.
  wchar_t* Names = nullptr;
  size_t NameBase = 0;
  // The runs of one file's pieces tell each other to stop by these bits; every run stops
  // (TPass::Stopped) as soon as one of StopMask is set.
  const std::atomic<unsigned>* Stop = nullptr;
  unsigned StopMask = 0;

  TPass Pass = TPass::Ok;
  size_t Read = 0;       // folder lines taken
  size_t NamesUsed = 0;  // units of names written from NameBase on
  int32_t FirstDepth = -1, LastDepth = 0;
  bool FirstValid = false;
  bool SawHigh = false;  // a name had bytes past ASCII (it decodes otherwise in another encoding)
};

// Reads the folder lines that lines gives (up to end), each name decoded in place, one after
// the other, and hands every well-formed one to sink (Add(depth, start, length); false when it
// takes no more). Lines are cut at the units CR and LF themselves: in UTF-8 and in the code
// pages this reader is given bytes of, no byte of a longer character is below 0x80, so a name
// is decoded only once its line is known. Reading stops after the first line found damaged.
template <typename Unit, typename Sink>
[[gnu::always_inline]] inline void ReadFolderLines(TTreeLineCursor<Unit>& lines, const Unit* end, TLineRun<Unit>& run,
                                                    Sink& sink) {
  const TNameCode code = run.Code;
  wchar_t* const base = run.Names + run.NameBase;
  size_t used = 0;
  std::wstring decoded;

  // Every way out of the loop leaves through the end of the function: what the loop keeps is
  // then never needed in memory while it runs.
  TPass result = TPass::Ok;
  int32_t previous = 0;
  size_t read = 0;
  bool sawHigh = false;
  const Unit *line, *e;
  while (result == TPass::Ok && lines.Next(line, e)) {
    if (run.Stop && (run.Stop->load(std::memory_order_relaxed) & run.StopMask)) {
      result = TPass::Stopped;
      continue;
    }
    // Blanks before the depth; then the depth itself, which must run up to the first comma.
    const Unit* s = line;
    while (s < e && IsBlank(UnitValue(*s))) ++s;
    int32_t depth = 0;
    if (!ReadNumber(s, e, depth) || s == e || *s != ',') {
      // A line without a comma, or whose text before it is not a number: passed over.
      if (!IsLineText(code, line, e)) result = TPass::NotUtf8;
      continue;
    }
    // The name: up to the line's end, without the blanks at its end.
    const Unit* a = s + 1;
    const Unit* b = e;
    while (b > a && IsBlank(UnitValue(b[-1]))) --b;
    // Nothing after the comma: passed over.
    if (b == a) continue;
    size_t length = static_cast<size_t>(b - a);
    wchar_t* out = base + used;
    uint8_t flags = 0;
    size_t i = 0;
#if defined(__SSE2__)
    if constexpr (sizeof(Unit) == 1) {
      // Sixteen units at a time while sixteen can be read; what is past the name is copied too
      // (the buffer has room for it) but not looked at.
      const __m128i space = _mm_set1_epi8(0x20), zero = _mm_setzero_si128();
      const __m128i bs = _mm_set1_epi8('\\'), sl = _mm_set1_epi8('/'), co = _mm_set1_epi8(':');
      unsigned high = 0, notInName = 0;
      for (; i < length && end - (a + i) >= 16; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
        wchar_t* o = out + i;
        if constexpr (sizeof(wchar_t) == 2) {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(o), lo);
          _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), hi);
        } else {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi16(lo, zero));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 4), _mm_unpackhi_epi16(lo, zero));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpacklo_epi16(hi, zero));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 12), _mm_unpackhi_epi16(hi, zero));
        }
        unsigned take = length - i >= 16 ? 0xFFFFu : (1u << (length - i)) - 1;
        unsigned h = static_cast<unsigned>(_mm_movemask_epi8(v));
        // Below 0x20 by a signed comparison: the high bytes come out below too, and are not
        // counted as such.
        __m128i bad = _mm_or_si128(_mm_cmplt_epi8(v, space),
                                   _mm_or_si128(_mm_cmpeq_epi8(v, bs),
                                                _mm_or_si128(_mm_cmpeq_epi8(v, sl), _mm_cmpeq_epi8(v, co))));
        high |= h & take;
        notInName |= static_cast<unsigned>(_mm_movemask_epi8(bad)) & ~h & take;
      }
      if (high) flags |= kHigh;
      if (notInName) flags |= kNotInName;
    }
#endif
    for (; i < length; ++i) {
      out[i] = static_cast<wchar_t>(UnitValue(a[i]));
      flags |= ClassOf(a[i]);
    }
    if constexpr (sizeof(Unit) == 1) {
      if (flags & kHigh) {
        sawHigh = true;
        std::string_view bytes(a, length);
        if (code == TNameCode::Ansi) {
          AnsiToWide(bytes, decoded);
          // A conversion gives no more units than bytes; one that did would not be taken whole.
          length = std::min(decoded.size(), length);
          std::copy_n(decoded.data(), length, out);
        } else {
          length = DecodeUtf8Into(bytes, out, code == TNameCode::Utf8);
          if (length == std::string_view::npos) {
            result = TPass::NotUtf8;
            continue;
          }
        }
        flags = 0;
        for (size_t k = 0; k < length; ++k) flags |= ClassOf(out[k]);
      }
    }
    bool validName = !(flags & kNotInName) && !(length == 1 && out[0] == L'.') &&
                     !(length == 2 && out[0] == L'.' && out[1] == L'.');
    bool bad;
    if (read == 0) {
      bad = depth < 0 || depth > MaxTreeDepth || (run.FileStart && depth != 0);
      run.FirstDepth = depth;
      run.FirstValid = validName;
    } else {
      bad = depth <= 0 || depth > MaxTreeDepth || depth > previous + 1 || !validName;
    }
    if (bad || !sink.Add(depth, static_cast<uint32_t>(run.NameBase + used), static_cast<uint32_t>(length))) {
      result = TPass::Damaged;
      continue;
    }
    used += length;
    ++read;
    previous = depth;
  }
  run.Pass = result;
  run.Read = read;
  run.NamesUsed = used;
  run.LastDepth = previous;
  run.SawHigh = sawHigh;
}

// Reads a whole tree file from its units, the first line its count, into names and sink
// (also Reset, Reserve(count) and Finish). stop: where reading stopped (after the line found
// damaged).
template <typename Unit, typename Sink>
[[gnu::always_inline]] inline TPass ReadTreeLines(const Unit* p, const Unit* end, TNameCode code, TTreeNames& names,
                                                  Sink& sink, const Unit*& stop) {
  sink.Reset();
  names.clear();
  stop = p;
  if (p == end) return TPass::Empty;
  // No name has more units than its bytes, so the names fit in one unit per byte and the 16
  // the quick copy may write past the last.
  names.SetSize(static_cast<size_t>(end - p) + 16);
  TTreeLineCursor<Unit> lines(p, end);

  // The count line.
  const Unit *a, *e;
  lines.Next(a, e);
  p = lines.Rest();
  bool countText = IsLineText(code, a, e);
  int32_t count = 0;
  bool countOk = ReadCount(a, e, count);
  TPass result = !countText ? TPass::NotUtf8 : !countOk ? TPass::Damaged : TPass::Ok;
  TLineRun<Unit> run;
  run.Code = code;
  run.Names = names.data();
  if (result == TPass::Ok) {
    // Each folder line takes at least four units ("1,a" and a line end).
    if (static_cast<size_t>(count) <= static_cast<size_t>(end - p) / 4) sink.Reserve(static_cast<size_t>(count));
    ReadFolderLines(lines, end, run, sink);
    result = run.Pass;
  }
  stop = lines.Rest();
  names.SetSize(run.NamesUsed);
  sink.Finish();
  if (result == TPass::Ok && run.Read != static_cast<size_t>(count)) result = TPass::Damaged;
  return result;
}

TTreeFileRead ReadResult(TPass pass) {
  return pass == TPass::Empty ? TTreeFileRead::Empty : pass == TPass::Ok ? TTreeFileRead::Ok : TTreeFileRead::Damaged;
}

// Reads a tree file's bytes in the encoding the design gives text files: a mark, else UTF-8
// when all of it is valid UTF-8, else the ANSI code page.
template <typename Sink>
[[gnu::always_inline]] inline TTreeFileRead ReadTreeFile(std::string_view bytes, TTreeNames& names, TTextEncoding& encoding, Sink& sink) {
  sink.Reset();
  names.clear();
  if (bytes.empty()) return TTreeFileRead::Empty;
  auto readWide = [&] {
    std::wstring text;
    DecodeText(bytes, text, encoding);
    const wchar_t* stop;
    return ReadResult(ReadTreeLines(text.data(), text.data() + text.size(), TNameCode::Wide, names, sink, stop));
  };
  auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  // Names are marked by 32-bit places: a text past that is no tree file of this world.
  if (bytes.size() > size_t{0xFFFFFFF0u}) {
    if (starts("\xEF\xBB\xBF")) encoding = TTextEncoding::Utf8Bom;
    else if (starts("\xFF\xFE")) encoding = TTextEncoding::Utf16LE;
    else if (starts("\xFE\xFF")) encoding = TTextEncoding::Utf16BE;
    else encoding = IsValidUtf8(bytes) ? TTextEncoding::Utf8 : TTextEncoding::Ansi;
    return TTreeFileRead::Damaged;
  }
  if (starts("\xFF\xFE") || starts("\xFE\xFF")) return readWide();
  const char* stop;
  const char* end = bytes.data() + bytes.size();
  const char* from = bytes.data();
  TNameCode code = TNameCode::Utf8;
  encoding = TTextEncoding::Utf8;
  if (starts("\xEF\xBB\xBF")) {
    from += 3;
    code = TNameCode::Utf8Marked;
    encoding = TTextEncoding::Utf8Bom;
  }
  // One call for every way bytes are read: the reader is made once, in place, for all of them.
  for (;;) {
    TPass pass = ReadTreeLines(from, end, code, names, sink, stop);
    if (code != TNameCode::Utf8) return ReadResult(pass);
    // The encoding is the whole file's: damage found early still needs the rest checked.
    if (pass == TPass::Damaged && !IsValidUtf8(std::string_view(stop, static_cast<size_t>(end - stop))))
      pass = TPass::NotUtf8;
    if (pass != TPass::NotUtf8) return ReadResult(pass);
    // A code page whose characters may hold ASCII bytes is decoded whole before it is cut into
    // lines.
    if (!AnsiKeepsAscii()) return readWide();
    encoding = TTextEncoding::Ansi;
    code = TNameCode::Ansi;
  }
}

struct TEntrySink {
  std::vector<TTreeFileEntry>& Entries;
  void Reset() { Entries.clear(); }
  void Reserve(size_t n) { Entries.reserve(n); }
  bool Add(int32_t depth, uint32_t start, uint32_t length) {
    Entries.push_back(TTreeFileEntry{depth, start, length});
    return true;
  }
  void Finish() {}
};

// A node of a piece read in pieces whose place in its parent's list is given once all pieces
// are read: a child of a node still open at the piece's end, or a node whose parent lies in an
// earlier piece (Parent -1 until it is known, and Place its depth until then).
struct TLateKid {
  int32_t Node, Parent;
  uint32_t Place;
  bool Resolved = false;  // its parent was found in an earlier piece
};

// Makes the node records of well-formed lines in pre-order: a node's parent is the last node
// made one level up, whose children are counted here and hung in place by LinkNodes. Until
// then a node's ChildCount holds its own place among its parent's children.
struct TNodeSink {
  explicit TNodeSink(TRecordArray<TMCDTreeNodeRec>& nodes) : Nodes(nodes) { Slots.fill(-1); }
  TRecordArray<TMCDTreeNodeRec>& Nodes;
  // The last node made at each depth; -1 for none.
  std::array<int32_t, MaxTreeDepth + 1> Slots;
  // The records are written in place through a plain pointer: a push per line costs more than
  // all the rest of the line.
  TMCDTreeNodeRec* Data = nullptr;
  size_t Size = 0, Capacity = 0;
  // The depth and place of the last node: a sibling of it takes the next place without reading
  // back the count just written.
  int32_t LastDepth = -1;
  uint32_t LastPlace = 0;
  // Set for a piece of a file read in pieces: its records go to their places in an array made
  // for the whole file, which does not grow; the nodes whose parent lies in an earlier piece
  // are listed here, to be hung in once the pieces before are read.
  std::vector<TLateKid>* Unresolved = nullptr;
  void Reset() {
    Nodes.clear();
    Data = nullptr;
    Size = Capacity = 0;
    LastDepth = -1;
    Slots.fill(-1);
  }
  void StartPiece(size_t at, std::vector<TLateKid>& unresolved) {
    Data = Nodes.data();
    Size = at;
    Capacity = Nodes.size();
    LastDepth = -1;
    Slots.fill(-1);
    Unresolved = &unresolved;
    unresolved.clear();
  }
  [[gnu::always_inline]] void Reserve(size_t n) {
    Nodes.resize(std::max(n, Size));
    Data = Nodes.data();
    Capacity = Nodes.size();
  }
  [[gnu::always_inline]] bool Add(int32_t depth, uint32_t start, uint32_t length) {
    if (Size >= Capacity) {
      if (Unresolved) return false;
      Reserve(std::max<size_t>(16, Size * 2));
    }
    int32_t parent = depth == 0 ? -1 : Slots[static_cast<size_t>(depth - 1)];
    Slots[static_cast<size_t>(depth)] = static_cast<int32_t>(Size);
    uint32_t place = 0;
    if (parent >= 0) {
      place = depth == LastDepth ? LastPlace + 1 : depth > LastDepth ? 0 : Data[parent].ChildCapacity;
      Data[parent].ChildCapacity = place + 1;
    } else if (depth > 0) {
      // Only in a piece, for a node before the first one a level up in it; its place is given
      // when it is hung in (its siblings here are such nodes too).
      Unresolved->push_back({static_cast<int32_t>(Size), -1, static_cast<uint32_t>(depth), false});
    }
    LastDepth = depth;
    LastPlace = place;
    Data[Size++] = TMCDTreeNodeRec{start, length, depth, parent, 0, place, 0};
    return true;
  }
  void Finish() { Nodes.resize(Size); }
};

// Gives every node of [from, to), made by a TNodeSink, a slice of the child array from start on
// (as many places as it counted children) and hangs each node into its parent's slice: a
// parent comes before its children, so its slice is known by then. A node for which open holds
// gets no slice here, and a child of one goes to late(node, parent, place) instead: such lists
// are made once all their children are known. Returns where the slices end.
template <typename Open, typename Late>
[[gnu::always_inline]] inline uint32_t LinkNodes(TMCDTreeNodeRec* nodes, int32_t* kids, int32_t from, int32_t to,
                                                 uint32_t start, Open open, Late late) {
  for (int32_t i = from; i < to; ++i) {
    TMCDTreeNodeRec& r = nodes[i];
    uint32_t place = r.ChildCount;
    if (!open(r, i)) {
      r.ChildStart = start;
      start += r.ChildCapacity;
      r.ChildCount = r.ChildCapacity;
    }
    int32_t parent = r.Parent;
    if (parent < 0) continue;
    if (open(nodes[parent], parent))
      late(i, parent, place);
    else
      kids[nodes[parent].ChildStart + place] = i;
  }
  return start;
}

// The line ends among [p, end): an LF, and a CR that no LF follows (a CR at end counts).
size_t CountLineEnds(const char* p, const char* end) {
  size_t n = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time (and the one after them), into a counter per byte place that is
  // summed before it can overflow.
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
  while (end - p > 16) {
    size_t blocks = std::min<size_t>(static_cast<size_t>(end - p - 1) / 16, 255);
    __m128i counts = zero;
    for (size_t i = 0; i < blocks; ++i, p += 16) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
      __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(v, lf),
                                  _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), _mm_cmpeq_epi8(v, cr)));
      counts = _mm_sub_epi8(counts, ends);
    }
    __m128i sums = _mm_sad_epu8(counts, zero);
    n += static_cast<size_t>(_mm_cvtsi128_si32(sums)) + static_cast<size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
#endif
  for (; p < end; ++p)
    if (*p == '\n' || (*p == '\r' && (p + 1 == end || p[1] != '\n'))) ++n;
  return n;
}

// One piece of a file read in pieces: its bytes, and what reading them found.
struct TTreePiece {
  static constexpr size_t Uncounted = ~size_t{0};
  const char *From = nullptr, *To = nullptr;
  std::atomic<size_t> Lines{Uncounted};
  size_t At = 0;  // where its records go
  TNameCode Code = TNameCode::Utf8;
  TLineRun<char> Run;
  std::array<int32_t, MaxTreeDepth + 1> Slots;
  // The nodes whose parent lies in an earlier piece, then the children of the nodes still open
  // at the piece's end.
  std::vector<TLateKid> Late;
  // A node still open at the piece's end: the last one of its depth, at most as deep as the
  // last line.
  bool Open(const TMCDTreeNodeRec& r, int32_t node) const {
    return r.Depth <= Run.LastDepth && Slots[static_cast<size_t>(r.Depth)] == node;
  }
};
// The pieces of one reading, kept for the next: their lists keep their room, so that a reading
// allocates nothing on the worker threads (which would wait on each other for the heap).
struct TTreePieceStore {
  std::mutex Lock;
  std::unique_ptr<TTreePiece[]> Pieces;  // MaxPieces of them, once a file is read so
};
TTreePieceStore& PieceStore() {
  static TTreePieceStore store;
  return store;
}

constexpr size_t MaxPieces = 256;

// Bytes that come while they are read: the first Arrived of them are there. Reading the rest is
// a task of the reader in pieces, so that pieces are read while later ones are still coming.
struct TArrival {
  const std::function<bool(char*, size_t)>& ReadNext;
  std::atomic<size_t> Arrived{0};
  std::atomic<bool> Failed{false};
};

// A big file is read in pieces of whole lines, on the worker threads, each as soon as its bytes
// are there when the file is still being read. Each piece finds where it starts and ends (after
// the first line end from its share of the bytes on), counts its lines, learns from the counts
// of the pieces before it where its records go, and reads its lines straight into the one name
// buffer (at the place of its bytes) and the one node array (sized by the count line). It then
// gives each of its nodes a slice of the child array, in the room of as many places as it has
// nodes, and hangs in its children, but for the nodes still open at its end (the last one and
// its ancestors), whose lists may go on in the pieces after it. A piece's first line, the nodes
// whose parent lies before it and the open nodes' lists are done once all are read. Only a file
// that reads well so is taken this way: anything else (damage, blank lines or lines passed over
// before the last piece, UTF-16, a count that does not agree) is left to the plain reader,
// which tells what is wrong.
class TPieceReader {
 public:
  // arrival: how the bytes come, when they are not all there yet.
  TPieceReader(std::string_view bytes, TTreeNames& names, TRecordArray<TMCDTreeNodeRec>& nodes,
               TRecordArray<int32_t>& kids, TArrival* arrival = nullptr)
      : FBytes(bytes), FNames(names), FNodes(nodes), FKids(kids), FArrival(arrival) {}
  // True when the file was read whole and well, the nodes linked as LinkChildren does; encoding
  // is then the one it was read in.
  bool Read(size_t pieceBytes, TTextEncoding& encoding);

 private:
  enum : unsigned { kFailed = 1, kAnsi = 2 };
  void Task(size_t k);
  // Reads the bytes that have not come yet.
  void ReadRest();
  // Waits until the first end bytes are there; false when they will not come.
  bool Have(size_t end);
  // Where piece k starts: after the first line end from its share of the bytes on; npos when
  // the bytes for it did not come.
  size_t Boundary(size_t k);
  void ReadPiece(TTreePiece& piece, TNameCode code);
  void LinkPiece(TTreePiece& piece);
  // Checks each piece's first line against the lines before it and hangs in the nodes whose
  // parent lies in an earlier piece; false when the file does not read well so.
  bool Join();

  std::string_view FBytes;
  TTreeNames& FNames;
  TRecordArray<TMCDTreeNodeRec>& FNodes;
  TRecordArray<int32_t>& FKids;
  TArrival* FArrival;
  const char* FFrom = nullptr;  // after a byte-order mark
  size_t FBody = 0;             // where the folder lines start
  TNameCode FCode = TNameCode::Utf8;
  size_t FCount = 0;
  TTreePiece* FPieces = nullptr;
  size_t FPieceCount = 0;
  std::atomic<unsigned> FState{0};
};

bool TPieceReader::Read(size_t pieceBytes, TTextEncoding& encoding) {
  const char* end = FBytes.data() + FBytes.size();
  // What is there to begin with: the marks and the count line must be in it.
  const char* there = FArrival ? FBytes.data() + FArrival->Arrived.load() : end;
  FFrom = FBytes.data();
  auto starts = [&](std::string_view mark) { return FBytes.substr(0, mark.size()) == mark; };
  if (FBytes.size() > size_t{0xFFFFFFF0u} || there - FFrom < 3 || starts("\xFF\xFE") || starts("\xFE\xFF"))
    return false;
  bool marked = starts("\xEF\xBB\xBF");
  if (marked) {
    FFrom += 3;
    FCode = TNameCode::Utf8Marked;
  }
  TTreeLineCursor<char> first(FFrom, there);
  const char *a, *e;
  int32_t count = 0;
  if (!first.Next(a, e) || !ReadCount(a, e, count) || (there < end && first.Rest() >= there - 1)) return false;
  FBody = static_cast<size_t>(first.Rest() - FBytes.data());
  size_t size = FBytes.size() - FBody;
  FCount = static_cast<size_t>(count);
  FPieceCount = pieceBytes ? std::min(size / pieceBytes, MaxPieces) : 0;
  if (FPieceCount < 2 || ParallelThreads() < 2 || FCount > size / 4) return false;

  // One file at a time is read so; another is left to the plain reader meanwhile.
  TTreePieceStore& store = PieceStore();
  std::unique_lock<std::mutex> lock(store.Lock, std::try_to_lock);
  if (!lock.owns_lock()) return false;
  if (!store.Pieces) store.Pieces.reset(new TTreePiece[MaxPieces]);
  FPieces = store.Pieces.get();
  for (size_t k = 0; k < FPieceCount; ++k) {
    TTreePiece& piece = FPieces[k];
    piece.From = piece.To = nullptr;
    piece.Lines.store(TTreePiece::Uncounted, std::memory_order_relaxed);
    piece.Run = TLineRun<char>();
    piece.Late.clear();
  }
  FNames.SetSize(static_cast<size_t>(end - FFrom) + 16);
  FNodes.resize(FCount);
  FKids.resize(FCount);
  // With bytes still to come, their reading is the first task (it waits for nothing).
  const size_t reading = FArrival ? 1 : 0;
  RunParallel(FPieceCount + reading, [this, reading](size_t t) {
    if (t < reading)
      ReadRest();
    else
      Task(t - reading);
  });
  if ((FArrival && FArrival->Failed.load()) || !Join()) return false;
  const TTreePiece& last = FPieces[FPieceCount - 1];
  FNames.SetSize(last.Run.NameBase + last.Run.NamesUsed);
  bool ansi = FState.load() & kAnsi;
  encoding = ansi ? TTextEncoding::Ansi : marked ? TTextEncoding::Utf8Bom : TTextEncoding::Utf8;
  return true;
}

void TPieceReader::ReadRest() {
  // In parts of the size a plain read takes, each told as soon as it is there.
  char* data = const_cast<char*>(FBytes.data());
  size_t at = FArrival->Arrived.load(std::memory_order_relaxed);
  while (at < FBytes.size()) {
    size_t n = std::min<size_t>(FBytes.size() - at, 64 * 1024);
    if ((FState.load(std::memory_order_relaxed) & kFailed) || !FArrival->ReadNext(data + at, n)) {
      FArrival->Failed.store(true, std::memory_order_release);
      FState.fetch_or(kFailed);
      return;
    }
    at += n;
    FArrival->Arrived.store(at, std::memory_order_release);
  }
}

bool TPieceReader::Have(size_t end) {
  if (!FArrival) return true;
  return SpinUntil([&] { return FArrival->Arrived.load(std::memory_order_acquire) >= end; },
                   [&] { return FArrival->Failed.load(std::memory_order_relaxed); });
}

size_t TPieceReader::Boundary(size_t k) {
  const size_t size = FBytes.size();
  if (k == 0) return FBody;
  if (k == FPieceCount) return Have(size) ? size : std::string_view::npos;
  const char* data = FBytes.data();
  // Found alone by each piece that needs it, the same for the same bytes: the piece before it
  // ends there too.
  size_t q = FBody + (size - FBody) / FPieceCount * k;
  for (;;) {
    size_t stretch = std::min(size, q + 4096);
    if (!Have(stretch)) return std::string_view::npos;
    for (; q < stretch; ++q) {
      if (data[q] == '\n') return q + 1;
      if (data[q] == '\r') {
        if (!Have(std::min(size, q + 2))) return std::string_view::npos;
        return q + (q + 1 < size && data[q + 1] == '\n' ? 2 : 1);
      }
    }
    if (q == size) return size;
  }
}

void TPieceReader::Task(size_t k) {
  TTreePiece& piece = FPieces[k];
  size_t from = Boundary(k), to = Boundary(k + 1);
  if (from == std::string_view::npos || to == std::string_view::npos) {
    FState.fetch_or(kFailed);
    return;
  }
  piece.From = FBytes.data() + from;
  piece.To = FBytes.data() + to;
  size_t lines = CountLineEnds(piece.From, piece.To);
  // The file's last line may have no line end.
  if (k + 1 == FPieceCount && piece.To > piece.From && piece.To[-1] != '\n' && piece.To[-1] != '\r') ++lines;
  piece.Lines.store(lines, std::memory_order_release);
  // The pieces before are under way (they are taken in order) and count their lines first.
  size_t at = 0;
  for (size_t j = 0; j < k; ++j) {
    size_t n = TTreePiece::Uncounted;
    if (!SpinUntil([&] { return (n = FPieces[j].Lines.load(std::memory_order_acquire)) != TTreePiece::Uncounted; },
                   [&] { return (FState.load(std::memory_order_relaxed) & kFailed) != 0; }))
      return;
    at += n;
  }
  piece.At = at;
  TNameCode code = FCode;
  for (;;) {
    unsigned state = FState.load(std::memory_order_relaxed);
    if (state & kFailed) return;
    if (code == TNameCode::Utf8 && (state & kAnsi)) code = TNameCode::Ansi;
    ReadPiece(piece, code);
    TPass pass = piece.Run.Pass;
    // Bytes that are not UTF-8 make the whole file ANSI: every piece reads (again) so.
    if (code == TNameCode::Utf8 &&
        (pass == TPass::NotUtf8 || (pass == TPass::Stopped && (FState.load() & (kAnsi | kFailed)) == kAnsi))) {
      // A code page whose characters may hold ASCII bytes is decoded whole, by the plain reader.
      FState.fetch_or(AnsiKeepsAscii() ? kAnsi : kFailed);
      continue;
    }
    if (pass != TPass::Ok) FState.fetch_or(kFailed);
    return;
  }
}

void TPieceReader::ReadPiece(TTreePiece& piece, TNameCode code) {
  TNodeSink sink{FNodes};
  sink.StartPiece(piece.At, piece.Late);
  TTreeLineCursor<char> lines(piece.From, piece.To);
  TLineRun<char> run;
  run.Code = code;
  run.FileStart = false;
  run.Names = FNames.data();
  run.NameBase = static_cast<size_t>(piece.From - FFrom);
  run.Stop = &FState;
  run.StopMask = code == TNameCode::Utf8 ? kFailed | kAnsi : kFailed;
  ReadFolderLines(lines, piece.To, run, sink);
  piece.Code = code;
  piece.Run = run;
  piece.Slots = sink.Slots;
  if (run.Pass == TPass::Ok) LinkPiece(piece);
}

void TPieceReader::LinkPiece(TTreePiece& piece) {
  // A node's children that are not open lie in the piece with it, so the piece's room in the
  // child array (one place per node) holds their lists.
  const int32_t from = static_cast<int32_t>(piece.At), to = from + static_cast<int32_t>(piece.Run.Read);
  LinkNodes(
      FNodes.data(), FKids.data(), from, to, static_cast<uint32_t>(piece.At),
      [&](const TMCDTreeNodeRec& r, int32_t node) { return piece.Open(r, node); },
      [&](int32_t node, int32_t parent, uint32_t place) { piece.Late.push_back({node, parent, place, false}); });
}

bool TPieceReader::Join() {
  if (FState.load() & kFailed) return false;
  bool ansi = FState.load() & kAnsi;
  // The last node at each depth before the piece at hand.
  std::array<int32_t, MaxTreeDepth + 1> slots;
  slots.fill(-1);
  bool any = false;
  int32_t previous = 0;
  TMCDTreeNodeRec* const nodes = FNodes.data();
  for (size_t k = 0; k < FPieceCount; ++k) {
    TTreePiece& piece = FPieces[k];
    // A piece read as UTF-8 before another found the file is not has its names read again.
    if (ansi && piece.Code == TNameCode::Utf8) {
      if (piece.Run.SawHigh) ReadPiece(piece, TNameCode::Ansi);
      piece.Code = TNameCode::Ansi;
    }
    const TLineRun<char>& run = piece.Run;
    if (run.Pass != TPass::Ok) return false;
    // Every line of a piece but the last is a folder line, so that its records end where the
    // next piece's begin.
    size_t lines = piece.Lines.load();
    if (k + 1 < FPieceCount ? run.Read != lines : piece.At + run.Read != FCount) return false;
    if (run.Read == 0) continue;
    if (!any ? run.FirstDepth != 0 : run.FirstDepth < 1 || run.FirstDepth > previous + 1 || !run.FirstValid)
      return false;
    // The parents of the nodes before the first one a level up in the piece: the last nodes
    // of that depth before it, open at the end of theirs. Only the parents' records are
    // touched here; the children's are written by the pieces below.
    for (TLateKid& kid : piece.Late) {
      if (kid.Parent >= 0) continue;
      int32_t parent = slots[kid.Place - 1];
      if (parent < 0) return false;
      kid.Parent = parent;
      kid.Place = nodes[parent].ChildCapacity++;
      kid.Resolved = true;
    }
    for (size_t d = 0; d < slots.size(); ++d)
      if (piece.Slots[d] >= 0) slots[d] = piece.Slots[d];
    any = true;
    previous = run.LastDepth;
  }
  if (!any && FCount > 0) return false;
  // The open nodes' lists, whole now, after the pieces' rooms.
  uint32_t start = static_cast<uint32_t>(FCount);
  for (size_t k = 0; k < FPieceCount; ++k) {
    for (int32_t d = 0; d <= FPieces[k].Run.LastDepth && FPieces[k].Run.Read > 0; ++d) {
      int32_t node = FPieces[k].Slots[static_cast<size_t>(d)];
      if (node < 0) continue;
      TMCDTreeNodeRec& r = nodes[node];
      r.ChildStart = start;
      start += r.ChildCapacity;
      r.ChildCount = r.ChildCapacity;
    }
  }
  FKids.resize(start);
  int32_t* const kids = FKids.data();
  // The late children hung in. Their records lie in memory the other threads wrote, so what is
  // read (the parent and the place) comes from the lists, and only the nodes whose parent lay
  // in an earlier piece have theirs written.
  for (size_t k = 0; k < FPieceCount; ++k) {
    for (const TLateKid& kid : FPieces[k].Late) {
      if (kid.Resolved) nodes[kid.Node].Parent = kid.Parent;
      kids[nodes[kid.Parent].ChildStart + kid.Place] = kid.Node;
    }
  }
  return true;
}
}  // namespace

TTreeFileRead ParseTreeFile(std::string_view bytes, TTreeFileText& file, TTextEncoding& encoding) {
  TEntrySink sink{file.Entries};
  return ReadTreeFile(bytes, file.Text, encoding, sink);
}

TTreeFileRead ParseTreeFile(std::string_view bytes, std::vector<TTreeFileLine>& lines, TTextEncoding& encoding) {
  TTreeFileText file;
  TTreeFileRead r = ParseTreeFile(bytes, file, encoding);
  lines.clear();
  lines.reserve(file.Entries.size());
  for (const TTreeFileEntry& e : file.Entries) lines.push_back(TTreeFileLine{e.Depth, std::wstring(file.Name(e))});
  return r;
}

namespace {
// The decimal digits of a depth, with a sign when negative; 12 bytes are always enough.
char* WriteDepth(char* o, int32_t depth) {
  if (static_cast<uint32_t>(depth) < 10) {
    *o++ = static_cast<char>('0' + depth);
    return o;
  }
  uint32_t v = static_cast<uint32_t>(depth);
  if (depth < 0) {
    *o++ = '-';
    v = 0u - v;
  }
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  while (n) *o++ = digits[--n];
  return o;
}
}  // namespace

TTreeFileBuilder::TTreeFileBuilder(const std::wstring& root, size_t lineCount, TTextEncoding encoding, size_t textHint,
                                   std::string buffer)
    : FRoot(root),
      FEncoding(encoding),
      FMode(encoding == TTextEncoding::Utf8 || encoding == TTextEncoding::Utf8Bom ? TMode::Utf8
            : encoding == TTextEncoding::Ansi                                     ? TMode::Ansi
                                                                                  : TMode::Text),
      FBytes(std::move(buffer)) {
  FBytes.clear();
  // A line is its depth, a comma, the name and CR LF.
  size_t size = textHint + lineCount * 6 + 16;
  if (FMode == TMode::Text) {
    FText.reserve(size);
  } else {
    FBytes.resize(size + size / 4);
    if (encoding == TTextEncoding::Utf8Bom) AppendAscii("\xEF\xBB\xBF");
  }
  AppendAscii(std::to_string(lineCount));
  AppendAscii("\r\n");
}

char* TTreeFileBuilder::Room(size_t n) {
  if (FBytes.size() - FUsed < n) FBytes.resize(std::max(FBytes.size() * 2, FUsed + n));
  return FBytes.data() + FUsed;
}

void TTreeFileBuilder::AppendAscii(std::string_view s) {
  if (FMode == TMode::Text) {
    FText.append(s.begin(), s.end());
    return;
  }
  std::copy(s.begin(), s.end(), Room(s.size()));
  FUsed += s.size();
}

// A name the code page cannot hold: the file becomes UTF-8, what was written so far included.
void TTreeFileBuilder::SwitchToUtf8() {
  std::wstring text;
  AnsiToWide(std::string_view(FBytes.data(), FUsed), text);
  FBytes.clear();
  AppendUtf8(FBytes, text);
  FUsed = FBytes.size();
  FMode = TMode::Utf8;
  FEncoding = TTextEncoding::Utf8;
}

void TTreeFileBuilder::Add(int32_t depth, std::wstring_view name) {
  if (FFirst) name = FRoot;
  FFirst = false;
  if (FMode == TMode::Text) {
    FText.append(std::to_wstring(depth));
    FText += L',';
    FText.append(name);
    FText.append(L"\r\n");
    return;
  }
  // The depth, the comma, the name (no more than MaxUtf8PerUnit bytes a unit, in UTF-8 or in a
  // code page) and CR LF.
  char* const start = Room(16 + name.size() * MaxUtf8PerUnit);
  char* o = WriteDepth(start, depth);
  *o++ = ',';
  if (FMode == TMode::Ansi) {
    if (std::all_of(name.begin(), name.end(), [](wchar_t c) { return static_cast<uint32_t>(c) < 0x80; })) {
      for (wchar_t c : name) *o++ = static_cast<char>(c);
    } else if (WideToAnsi(name, FName) && FName.size() <= name.size() * MaxUtf8PerUnit) {
      o = std::copy(FName.begin(), FName.end(), o);
    } else {
      FUsed += static_cast<size_t>(o - start);
      SwitchToUtf8();
      o = Room(16 + name.size() * MaxUtf8PerUnit);
    }
  }
  if (FMode == TMode::Utf8) o = EncodeUtf8Into(name, o);
  *o++ = '\r';
  *o++ = '\n';
  FUsed = static_cast<size_t>(o - FBytes.data());
}

std::string TTreeFileBuilder::Finish(TTextEncoding& encoding) {
  encoding = FEncoding;
  if (FMode == TMode::Text) return EncodeText(FText, encoding);
  FBytes.resize(FUsed);
  if (FMode == TMode::Ansi && IsValidUtf8(FBytes)) {
    // Bytes that form valid UTF-8 would be read back as UTF-8 next time: such a file is kept
    // in UTF-8 (the same bytes when it is all ASCII).
    encoding = TTextEncoding::Utf8;
    if (std::any_of(FBytes.begin(), FBytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
      std::wstring text;
      AnsiToWide(FBytes, text);
      FBytes.clear();
      AppendUtf8(FBytes, text);
    }
  }
  return std::move(FBytes);
}

std::string FormatTreeFile(const std::wstring& root, const std::vector<TTreeFileLine>& lines,
                           TTextEncoding encoding) {
  size_t hint = 0;
  for (const TTreeFileLine& l : lines) hint += l.Name.size();
  TTreeFileBuilder b(root, lines.size(), encoding, hint);
  for (const TTreeFileLine& l : lines) b.Add(l.Depth, l.Name);
  return b.Finish(encoding);
}

bool WriteTreeFileBytes(const std::wstring& fileName, std::string_view bytes) {
  if (fileName.empty()) return false;
  // A read-only medium keeps its old file.
  if (FileExistsPlain(fileName) && !FileSetArchiveOnly(fileName)) return false;
  return SafeWriteFile(fileName, bytes);
}

bool WriteTreeFileLines(const std::wstring& fileName, const std::wstring& root,
                        const std::vector<TTreeFileLine>& lines, TTextEncoding encoding) {
  if (fileName.empty()) return false;
  return WriteTreeFileBytes(fileName, FormatTreeFile(root, lines, encoding));
}

// ---- The manager ----

namespace {
// The large buffers of the last manager freed, kept for the next one. A listing makes a manager
// for every folder it shows, each reading the whole tree file, and fresh memory of a few
// megabytes costs more (in page faults) than reading the file itself.
struct TTreeBufferPool {
  std::mutex Lock;
  std::string Bytes;
  TRecordArray<char> Arriving;
  TTreeNames Names;
  TRecordArray<TMCDTreeNodeRec> Nodes;
  TRecordArray<int32_t> Kids;
};
TTreeBufferPool& BufferPool() {
  static TTreeBufferPool pool;
  return pool;
}
// A tree far beyond the usual (a million folders) does not keep its memory after it is freed.
constexpr size_t MaxPooledBytes = size_t{48} << 20;

template <typename T>
size_t BytesOf(const T& buffer) {
  return buffer.capacity() * sizeof(typename T::value_type);
}
// Moves the bigger of the two buffers into to, emptied.
template <typename T>
void KeepBigger(T& to, T& from) {
  if (from.capacity() > to.capacity()) std::swap(to, from);
  to.clear();
}
}  // namespace

TMCDTreeMan::TMCDTreeMan(const std::wstring& root, const std::wstring& fileName)
    : FileName(fileName), Root(root), OnChange(FolderChangeRelay), FallbackFolder(ProgramFolder) {
  TTreeBufferPool& pool = BufferPool();
  std::lock_guard<std::mutex> lock(pool.Lock);
  std::swap(FBytes, pool.Bytes);
  std::swap(FArriving, pool.Arriving);
  std::swap(FNames, pool.Names);
  std::swap(FNodes, pool.Nodes);
  std::swap(FKids, pool.Kids);
}

TMCDTreeMan::TMCDTreeMan(TTreeOwnerWnd ownerWnd, const std::wstring& path)
    : TMCDTreeMan(ExcludeTrailingBackslash(ExtractPathRoot(path)), std::wstring()) {
  if (!Root.empty()) FileName = GetTreeFileName(ownerWnd, Root + L"\\");
}

TMCDTreeMan::~TMCDTreeMan() {
  if (Dirty) Save();
  size_t total = BytesOf(FBytes) + BytesOf(FArriving) + BytesOf(FNames) + BytesOf(FNodes) + BytesOf(FKids);
  if (total > MaxPooledBytes) return;
  TTreeBufferPool& pool = BufferPool();
  std::lock_guard<std::mutex> lock(pool.Lock);
  KeepBigger(pool.Bytes, FBytes);
  KeepBigger(pool.Arriving, FArriving);
  KeepBigger(pool.Names, FNames);
  KeepBigger(pool.Nodes, FNodes);
  KeepBigger(pool.Kids, FKids);
}

bool TMCDTreeMan::InBuffer(std::wstring_view s) const {
  auto at = reinterpret_cast<uintptr_t>(s.data()), base = reinterpret_cast<uintptr_t>(FNames.data());
  return at >= base && at + s.size() * sizeof(wchar_t) <= base + FNames.size() * sizeof(wchar_t);
}

void TMCDTreeMan::Clear() {
  FNames.clear();
  FNodes.clear();
  FKids.clear();
  FRoot = -1;
  FCount = 0;
}

TMCDTreeMan::TNode TMCDTreeMan::AddNode(TNode parent, uint32_t index, std::wstring_view name, int32_t depth) {
  TMCDTreeNodeRec rec{};
  // A name that already lies in the buffer (a line of the file the tree was read from) is not
  // copied again.
  if (!name.empty() && InBuffer(name)) {
    rec.NameStart = static_cast<uint32_t>(name.data() - FNames.data());
  } else {
    rec.NameStart = static_cast<uint32_t>(FNames.size());
    FNames.append(name);
  }
  rec.NameLength = static_cast<uint32_t>(name.size());
  rec.Depth = depth;
  rec.Parent = parent;
  TNode node = static_cast<TNode>(FNodes.size());
  FNodes.push_back(rec);
  if (parent < 0)
    FRoot = node;
  else
    InsertChild(parent, index, node);
  ++FCount;
  return node;
}

void TMCDTreeMan::InsertChild(TNode parent, uint32_t index, TNode child) {
  TMCDTreeNodeRec& p = At(parent);
  if (index > p.ChildCount) index = p.ChildCount;
  if (p.ChildCount == p.ChildCapacity) {
    // The list moves to the end of the shared array with room to grow; its old slice is left.
    uint32_t capacity = std::max<uint32_t>(4, p.ChildCapacity * 2);
    size_t start = FKids.size();
    FKids.resize(start + capacity, -1);
    std::copy_n(FKids.begin() + p.ChildStart, p.ChildCount, FKids.begin() + static_cast<std::ptrdiff_t>(start));
    p.ChildStart = static_cast<uint32_t>(start);
    p.ChildCapacity = capacity;
  }
  auto first = FKids.begin() + p.ChildStart;
  std::copy_backward(first + index, first + p.ChildCount, first + p.ChildCount + 1);
  first[index] = child;
  ++p.ChildCount;
}

void TMCDTreeMan::Detach(TNode node) {
  TNode parent = At(node).Parent;
  if (parent < 0) return;
  TMCDTreeNodeRec& p = At(parent);
  auto first = FKids.begin() + p.ChildStart, last = first + p.ChildCount;
  auto it = std::find(first, last, node);
  if (it == last) return;
  std::copy(it + 1, last, it);
  --p.ChildCount;
  At(node).Parent = -1;
}

void TMCDTreeMan::DeleteNode(TNode node) {
  if (node < 0 || node == FRoot) return;
  Detach(node);
  // Its subtree leaves the count; the records stay behind, unreachable.
  std::vector<TNode> stack{node};
  while (!stack.empty()) {
    TNode n = stack.back();
    stack.pop_back();
    --FCount;
    const TMCDTreeNodeRec& r = At(n);
    for (uint32_t i = 0; i < r.ChildCount; ++i) stack.push_back(FKids[r.ChildStart + i]);
  }
}

uint32_t TMCDTreeMan::FindInsertIndex(TNode parent, std::wstring_view name) const {
  uint32_t lo = 0, hi = At(parent).ChildCount;
  // The first child whose name is not below name.
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    if (CompareTextI(NameOf(ChildAt(parent, mid)), name) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

TMCDTreeMan::TNode TMCDTreeMan::FindChild(TNode parent, std::wstring_view name) const {
  uint32_t i = FindInsertIndex(parent, name);
  if (i < At(parent).ChildCount && CompareTextI(NameOf(ChildAt(parent, i)), name) == 0) return ChildAt(parent, i);
  return -1;
}

void TMCDTreeMan::RenumberDepths(TNode node) {
  std::vector<TNode> stack{node};
  while (!stack.empty()) {
    TNode n = stack.back();
    stack.pop_back();
    const TMCDTreeNodeRec& r = At(n);
    for (uint32_t i = 0; i < r.ChildCount; ++i) {
      TNode c = FKids[r.ChildStart + i];
      At(c).Depth = r.Depth + 1;
      stack.push_back(c);
    }
  }
}

void TMCDTreeMan::SortChildren(TNode parent) {
  const TMCDTreeNodeRec& p = At(parent);
  auto first = FKids.begin() + p.ChildStart, last = first + p.ChildCount;
  auto less = [this](TNode a, TNode b) { return CompareTextI(NameOf(a), NameOf(b)) < 0; };
  // Siblings mostly stand in order already: a check costs one comparison each.
  if (!std::is_sorted(first, last, less)) std::stable_sort(first, last, less);
}

bool TMCDTreeMan::OnThisDrive(const std::wstring& path) const {
  return !Root.empty() && SameTextI(ExcludeTrailingBackslash(ExtractPathRoot(path)), Root);
}

TMCDTreeMan::TNode TMCDTreeMan::LocateNode(const std::wstring& path, bool create) {
  if (NeedsLoad) Load();
  if (!OnThisDrive(path)) return -1;
  std::wstring p = ExcludeTrailingBackslash(path);
  int n = GetPathDepth(p);
  TNode node = FRoot;
  if (node < 0) {
    if (!create) return -1;
    node = AddNode(-1, 0, Root, 0);
    Dirty = true;
  }
  for (int level = 1; level <= n; ++level) {
    std::wstring name = ExtractPathLevelName(p, level);
    uint32_t i = FindInsertIndex(node, name);
    if (i < At(node).ChildCount && CompareTextI(NameOf(ChildAt(node, i)), name) == 0) {
      node = ChildAt(node, i);
      continue;
    }
    // A path with an empty, "." or ".." level names no folder that a tree may hold.
    if (!create || !IsValidTreeNodeName(name)) return -1;
    node = AddNode(node, i, name, level);
    Dirty = true;
  }
  return node;
}

PMCDTreeNode TMCDTreeMan::Locate(const std::wstring& path, bool create) {
  TNode n = LocateNode(path, create);
  return n < 0 ? nullptr : &At(n);
}

std::wstring TMCDTreeMan::NodePath(PMCDTreeNode node) const {
  std::vector<std::wstring_view> names;
  for (const TMCDTreeNodeRec* r = node; r && r->Parent >= 0; r = &At(r->Parent)) names.push_back(NameOf(*r));
  std::wstring path = Root;
  for (size_t i = names.size(); i-- > 0;) {
    path += L'\\';
    path += names[i];
  }
  return path;
}

void TMCDTreeMan::NotifyChange(TFolderChangeKind kind, const std::wstring& path1, const std::wstring& path2) {
  if (OnChange) OnChange(kind, ExcludeTrailingBackslashKeepRoot(path1), ExcludeTrailingBackslashKeepRoot(path2));
}

void TMCDTreeMan::AddFolder(const std::wstring& path) {
  LocateNode(path, true);
  NotifyChange(fckCreated, path, L"");
}

namespace {
std::wstring LastName(const std::wstring& path) {
  std::wstring p = ExcludeTrailingBackslash(path);
  size_t slash = p.rfind(L'\\');
  return slash == std::wstring::npos ? p : p.substr(slash + 1);
}
// The folder part of a path without trailing backslash (the root keeps none either).
std::wstring FolderOf(const std::wstring& path) {
  std::wstring p = ExcludeTrailingBackslash(path);
  size_t slash = p.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : p.substr(0, slash);
}
// b is a or lies inside it (both without trailing backslash).
bool SameOrInside(const std::wstring& a, const std::wstring& b) {
  if (b.size() < a.size()) return false;
  if (!SameTextI(std::wstring_view(b).substr(0, a.size()), a)) return false;
  return b.size() == a.size() || b[a.size()] == L'\\';
}
}  // namespace

void TMCDTreeMan::RenameFolder(const std::wstring& oldPath, const std::wstring& newPath) {
  std::wstring newName = LastName(newPath);
  std::wstring renamed = FolderOf(oldPath) + L"\\" + newName;
  TNode node = LocateNode(oldPath, false);
  if (node >= 0) {
    // The drive's root keeps its name; a name a tree may not hold is not taken.
    if (At(node).Depth > 0 && IsValidTreeNodeName(newName)) {
      At(node).NameStart = static_cast<uint32_t>(FNames.size());
      At(node).NameLength = static_cast<uint32_t>(newName.size());
      FNames += newName;
      SortChildren(At(node).Parent);
      Dirty = true;
    }
  } else if (IsValidTreeNodeName(newName)) {
    LocateNode(renamed, true);
  }
  NotifyChange(fckRenamed, oldPath, renamed);
}

void TMCDTreeMan::DeleteFolder(const std::wstring& path) {
  TNode node = LocateNode(path, false);
  if (node >= 0 && At(node).Depth > 0) {
    DeleteNode(node);
    Dirty = true;
  }
  NotifyChange(fckDeleted, path, L"");
}

void TMCDTreeMan::MoveFolder(const std::wstring& srcPath, const std::wstring& dstParentPath) {
  std::wstring src = ExcludeTrailingBackslash(srcPath), dst = ExcludeTrailingBackslash(dstParentPath);
  // A root cannot move, and no folder moves into itself or below itself: nothing changes.
  if (GetPathDepth(src) == 0 || SameOrInside(src, dst)) return;
  TNode source = LocateNode(src, false);
  TNode target = LocateNode(dst, true);
  if (target >= 0) {
    // The same check on the nodes: names that the system's comparison takes as equal though
    // their texts differ must not hang a folder below itself either.
    for (TNode up = target; up >= 0 && source >= 0; up = At(up).Parent)
      if (up == source) return;
    std::wstring name = source >= 0 ? std::wstring(NameOf(source)) : LastName(src);
    TNode existing = FindChild(target, name);
    if (source >= 0) {
      if (existing == source) {
        // Moved to the folder it is already in: it stays where it is.
      } else if (existing >= 0) {
        // The destination already knows a folder of that name: it stays, the source goes.
        DeleteNode(source);
        Dirty = true;
      } else {
        Detach(source);
        At(source).Parent = target;
        InsertChild(target, At(target).ChildCount, source);
        RenumberDepths(target);
        SortChildren(target);
        Dirty = true;
      }
    } else if (existing < 0 && IsValidTreeNodeName(name)) {
      AddNode(target, FindInsertIndex(target, name), name, At(target).Depth + 1);
      Dirty = true;
    }
  }
  NotifyChange(fckDeleted, srcPath, L"");
  NotifyChange(fckCreated, dstParentPath, L"");
}

void TMCDTreeMan::SyncChildren(const std::wstring& path, TStringList& names) {
  TNode node = LocateNode(path, false);
  if (node < 0) return;
  names.SetSorted(true);
  std::wstring name;
  for (uint32_t i = At(node).ChildCount; i-- > 0;) {
    TNode child = ChildAt(node, i);
    int at;
    name.assign(NameOf(child));
    if (names.Find(name, at)) {
      names.Delete(at);
    } else {
      DeleteNode(child);
      Dirty = true;
    }
  }
  bool added = false;
  for (int i = 0; i < names.Count(); ++i) {
    const std::wstring& n = names[i];
    if (!IsValidTreeNodeName(n) || FindChild(node, n) >= 0) continue;
    AddNode(node, FindInsertIndex(node, n), n, At(node).Depth + 1);
    added = true;
  }
  if (added) Dirty = true;
}

void TMCDTreeMan::LinkChildren() {
  // Every child list gets its slice of the shared array by the counts, in the order of the
  // nodes; a parent comes before its children, so its slice is known when they are hung in.
  FKids.resize(FNodes.size());
  uint32_t end = LinkNodes(
      FNodes.data(), FKids.data(), 0, static_cast<TNode>(FNodes.size()), 0,
      [](const TMCDTreeNodeRec&, TNode) { return false; }, [](TNode, TNode, uint32_t) {});
  FKids.resize(end);
  TakeNodes();
}

void TMCDTreeMan::TakeNodes() {
  FRoot = FNodes.empty() ? -1 : 0;
  FCount = static_cast<int>(FNodes.size());
}

void TMCDTreeMan::ReplaceAll(const std::vector<TTreeFileLine>& lines) {
  NeedsLoad = false;
  Dirty = true;
  // Only the well-formed start of the lines is taken: from a second root or a depth jump on,
  // nothing.
  size_t good = 0;
  int32_t previous = 0;
  for (; good < lines.size(); ++good) {
    const TTreeFileLine& l = lines[good];
    if (l.Depth < 0 || l.Depth > MaxTreeDepth || l.Depth > previous + 1 || (good == 0) != (l.Depth == 0)) break;
    previous = l.Depth;
  }
  std::vector<TTreeFileLine> taken;
  const std::vector<TTreeFileLine>* use = &lines;
  if (good < lines.size()) {
    taken.assign(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(good));
    use = &taken;
  }
  size_t total = Root.size();
  for (const TTreeFileLine& l : *use) total += l.Name.size();
  Clear();
  FNames.reserve(total);
  FNames.append(Root);
  TNodeSink sink{FNodes};
  sink.Reserve(use->size());
  for (const TTreeFileLine& l : *use) {
    if (l.Depth == 0) {
      sink.Add(0, 0, static_cast<uint32_t>(Root.size()));
    } else {
      sink.Add(l.Depth, static_cast<uint32_t>(FNames.size()), static_cast<uint32_t>(l.Name.size()));
      FNames += l.Name;
    }
  }
  sink.Finish();
  LinkChildren();
  // A scan lists siblings in order already; checking costs little and keeps the rule.
  for (size_t i = 0; i < FNodes.size(); ++i)
    if (FNodes[i].ChildCount > 1) SortChildren(static_cast<TNode>(i));
}

bool TMCDTreeMan::LoadFromBytes(std::string_view bytes, size_t pieceBytes) {
  NeedsLoad = false;
  Clear();
  // The names are decoded straight into the name buffer and the nodes made as the lines are
  // read; the file's order is taken as it stands.
  if (TPieceReader(bytes, FNames, FNodes, FKids).Read(pieceBytes, Encoding)) {
    TakeNodes();
    return true;
  }
  TNodeSink sink{FNodes};
  TTreeFileRead r = ReadTreeFile(bytes, FNames, Encoding, sink);
  if (r != TTreeFileRead::Ok) {
    Clear();
    if (r == TTreeFileRead::Empty) return true;
    Dirty = true;
    return false;
  }
  LinkChildren();
  return true;
}

bool TMCDTreeMan::LoadWhileReading(uint64_t size, const std::function<bool(char*, size_t)>& readNext,
                                   size_t pieceBytes) {
  NeedsLoad = false;
  Clear();
  if (pieceBytes == 0 || size < 2 * pieceBytes || size > 0xFFFFFFF0u || ParallelThreads() < 2) return false;
  FArriving.resize(static_cast<size_t>(size));
  // The first piece's worth is read here: the count line in it tells how big the tree is.
  TArrival arrival{readNext};
  size_t first = std::min<size_t>(FArriving.size(), pieceBytes);
  if (!readNext(FArriving.data(), first)) return false;
  arrival.Arrived.store(first);
  bool ok = TPieceReader(std::string_view(FArriving.data(), FArriving.size()), FNames, FNodes, FKids, &arrival)
                .Read(pieceBytes, Encoding);
  FArriving.clear();
  if (!ok) {
    Clear();
    return false;
  }
  TakeNodes();
  return true;
}

void TMCDTreeMan::Load() {
  NeedsLoad = false;
  Clear();
  if (FileName.empty()) return;
  std::wstring file = FileName;
  if (!FileExistsPlain(file)) {
    // Only a name of the program's own (serial, "R" or "Y") may come from the program folder:
    // a drive's root file belongs to that drive alone.
    size_t slash = file.rfind(L'\\');
    std::wstring name = slash == std::wstring::npos ? file : file.substr(slash + 1);
    if (SameTextI(name, L"TREEINFO.MCD") || FallbackFolder.empty()) return;
    file = IncludeTrailingBackslash(FallbackFolder) + name;
    if (!FileExistsPlain(file)) return;
  }
  // A big file is read in pieces while it comes; a small one, or one that does not read well
  // so, the plain way (opened once for both, and the pieces not tried a second time).
  TFileReader reader(file);
  if (!reader.IsOpen()) return;
  if (LoadWhileReading(reader.Size(), [&](char* to, size_t count) { return reader.ReadNext(to, count); })) return;
  if (!reader.ReadAll(FBytes)) return;
  LoadFromBytes(FBytes, 0);
  FBytes.clear();
}

template <typename F>
void TMCDTreeMan::ForEachLine(F&& f) const {
  if (FRoot < 0) return;
  // Pre-order: a node, then its children in their order.
  std::vector<std::pair<TNode, uint32_t>> stack;
  f(At(FRoot));
  stack.push_back({FRoot, 0});
  while (!stack.empty()) {
    auto& top = stack.back();
    const TMCDTreeNodeRec& r = At(top.first);
    if (top.second >= r.ChildCount) {
      stack.pop_back();
      continue;
    }
    TNode child = FKids[r.ChildStart + top.second++];
    f(At(child));
    stack.push_back({child, 0});
  }
}

std::vector<TTreeFileLine> TMCDTreeMan::Lines() const {
  std::vector<TTreeFileLine> lines;
  lines.reserve(static_cast<size_t>(FCount));
  ForEachLine([&](const TMCDTreeNodeRec& r) { lines.push_back(TTreeFileLine{r.Depth, std::wstring(NameOf(r))}); });
  return lines;
}

std::string TMCDTreeMan::SaveToBytes(std::string buffer) const {
  TTextEncoding encoding = Encoding;
  TTreeFileBuilder b(Root, static_cast<size_t>(FCount), encoding, FNames.size(), std::move(buffer));
  ForEachLine([&](const TMCDTreeNodeRec& r) { b.Add(r.Depth, NameOf(r)); });
  return b.Finish(encoding);
}

bool TMCDTreeMan::Save() {
  Dirty = false;
  if (FileName.empty()) return true;
  if (FCount < 3) {
    if (!FileExistsPlain(FileName)) return true;
    return FileSetArchiveOnly(FileName) && DeleteFilePlain(FileName);
  }
  FBytes = SaveToBytes(std::move(FBytes));
  bool ok = WriteTreeFileBytes(FileName, FBytes);
  FBytes.clear();
  return ok;
}

// ---- File names ----

namespace {
std::wstring Hex(uint32_t v, int width, wchar_t pad) {
  wchar_t buf[16];
  std::swprintf(buf, 16, L"%*X", width, static_cast<unsigned>(v));
  std::wstring s = buf;
  for (auto& c : s)
    if (c == L' ') c = pad;
  return s;
}
std::string AnsiBytes(const std::wstring& s) {
  std::string out;
  WideToAnsi(s, out);
  return out;
}
}  // namespace

std::wstring SerialTreeFileName(uint32_t serial) {
  return Hex(serial >> 16, 4, L'0') + Hex(serial & 0xFFFF, 4, L'0') + L".MCD";
}

std::wstring RemoteTreeFileName(const std::wstring& root) {
  std::string bytes = AnsiBytes(UpperCase(IncludeTrailingBackslash(root)));
  uint32_t h = 0x12345678;
  size_t n = bytes.size() % 256;
  for (size_t i = 1; i <= n; ++i) h += static_cast<uint32_t>(static_cast<uint8_t>(bytes[i - 1])) << (i % 24);
  return L"R" + Hex(h, 7, L'0') + L".MCD";
}

std::wstring CdTreeFileName(uint32_t dosDateTime, uint32_t attributes, uint32_t sizeHigh, uint32_t sizeLow,
                            const std::wstring& upperName) {
  uint32_t v = dosDateTime | attributes | sizeHigh | sizeLow;
  std::string bytes = AnsiBytes(upperName);
  size_t n = bytes.size() % 256;
  for (size_t i = 1; i <= n; ++i) v += static_cast<uint32_t>(static_cast<uint8_t>(bytes[i - 1])) << (i & 31);
  if (v == 0) return L"";
  std::wstring s = Hex(v, 8, L'0');
  s[0] = L'Y';
  return s + L".MCD";
}
