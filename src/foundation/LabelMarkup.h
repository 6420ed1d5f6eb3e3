#pragma once
// The styled-label model: runs of text with their own font, colours and alignment, the
// label mark-up that fills them ("<D>" bold, "<P>" path, "<C=R>" red, "|" new line, ...),
// paths split into per-level runs, the line layout and the shortening of path runs with
// "...". Free of any window system: the label measures text through a callback.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Colors.h"

// How a run is shown once paths are shortened; the pixels it is then drawn in are kept
// apart, in ShownWidth.
enum class TRunShown : uint8_t {
  rsWhole,      // shown whole
  rsShortened,  // cut to ShownWidth with "..." at its end
  rsDots,       // replaced by "..."
  rsHidden,     // not shown, takes no room
  rsClipped     // cut to ShownWidth (never less than "...") with "..." at its end
};

// Which attributes AddRun is given; the others come from the run before.
enum : uint32_t {
  lmFontName = 0x1,
  lmSize = 0x2,
  lmStyle = 0x4,
  lmCharset = 0x8,
  lmColor = 0x10,
  lmBackColor = 0x20,
  lmAlignment = 0x40,
  lmShadow = 0x80,
  lmPathPart = 0x100
};

// Vertical alignment of a run in its line.
enum : uint8_t { laTop = 0, laBottom = 1, laCenter = 2 };

struct THanLabelItem {
  std::wstring Text;
  std::wstring FontName;
  int Size = 9;         // points
  uint8_t Style = 0;    // bold 1, italic 2, underline 4, strike-out 8
  uint8_t Charset = 1;  // the default character set
  TColor Color = 0;
  TColor BackColor = 0;
  bool NewLine = false;
  bool Shadow = false;
  uint8_t Alignment = laBottom;
  bool PathPart = false;
  int PathLevel = 0;
  TRunShown Shown = TRunShown::rsWhole;
  int ShownWidth = 0;  // pixels, for rsShortened and rsClipped; never negative
  int LineFixedWidth = 0, Width = 0, Height = 0, Top = 0, Left = 0;

  bool IsPathSlash() const { return PathPart && Text == L"\\"; }
  // The room the run takes on its line as shown; ellipsis is the width of "...".
  int Advance(int ellipsis) const;
};

// What the first run and the path runs take from the label itself.
struct TLabelBase {
  std::wstring FontName = L"Tahoma";
  int Size = 9;
  uint8_t Style = 0;
  uint8_t Charset = 1;
  TColor Color = 0;
  TColor BackColor = 0;
  bool Shadow = false;  // the label's default shadow, copied into the first run
};

// Measures a run's text in the run's font (path runs: the label's font); width and height.
using TLabelMeasure = std::function<void(const THanLabelItem& run, int& width, int& height)>;

class TLabelModel {
 public:
  std::vector<std::unique_ptr<THanLabelItem>> Runs;
  TLabelBase Base;
  bool PathMode = false;
  bool WholePath = false;
  // Layout results: -1 until laid out.
  int TextRight = 0, TextWidth = -1, RightExtent = -1, TextHeight = -1;

  // Appends a run: the attributes whose mask bit is set come from given, the rest from the
  // run before (for the first run from Base, alignment bottom, no path part). lmPathPart
  // takes PathPart and PathLevel from given and forces bottom alignment.
  THanLabelItem& AddRun(const THanLabelItem& given, uint32_t mask);
  // Appends a path as runs: each segment and each "\" a run of its folder level, in the
  // label's own font and colours; levels are counted when the path has a root.
  void AddPathText(const std::wstring& path);
  void Clear();
  // Lines and positions; start = margin + border width, half = half the height of a line
  // of sample text (the least an empty line takes).
  void Layout(int start, int indent, int half, const TLabelMeasure& measure);
  // Shortens the path runs to fit avail (label width - 2 x margin - indent); ellipsis is
  // the width of "...". Positions are then recomputed.
  void ShortenPaths(int avail, int ellipsis);
  void Reposition(int ellipsis);
};

// The root of a path: "X:\" for a drive path, "\\server\share\" for a network path (the
// "\" appended when missing), else empty.
std::wstring LabelPathRoot(std::wstring_view path);

// Splits a path into its runs with their levels, as AddPathText adds them.
struct TLabelPathPiece {
  std::wstring Text;
  int Level;
};
std::vector<TLabelPathPiece> SplitLabelPath(const std::wstring& path);

// A colour value of the mark-up: one or two characters starting with a letter or digit
// are looked up in the sixteen-colour table (letters first, case-sensitive, then numbers);
// anything longer is a colour name ("clRed") or number ("$0000FF", "255"). False when the
// value names no colour.
bool LabelColorValue(std::wstring_view value, TColor& color);
// A colour name or number of the program's colour notation; false when it is neither.
bool StringToColorValue(std::wstring_view text, TColor& color);

// The defaults the mark-up starts from and returns to with "<>".
struct TLabelMarkupDefaults {
  std::wstring FontName = L"Tahoma";
  int Size = 9;
  TColor FontColor = 0;
  uint8_t Style = 0;
  TColor BackColor = 0;
};

// Parses mark-up into runs of the model (appended). A "<" without a later ">" drops the
// rest of the text; unknown tags, empty values and unreadable sizes or colours are ignored.
void ParseLabelMarkup(std::wstring_view text, const TLabelMarkupDefaults& defaults, TLabelModel& model);
