// Turns a face name as the operator types it (黑体, 宋体, Arial, ...) into font files on
// this machine, using fontconfig.
//
// The Windows face names the documents were written with have no fonts of their own on
// Linux. A table of stand-ins (kept in font_resolver.cpp) is loaded into fontconfig once
// per process, so that 黑体 finds WenQuanYi Micro Hei instead of a Latin-only default.
//
// Not thread-safe: the program draws text from one thread only.
#pragma once

#include <filesystem>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

typedef struct _FcConfig FcConfig;

namespace qx {

// How a cell height H becomes a pixel size and a baseline.
enum class FontSizing {
  // Windows GDI rule for a positive cell height: the face's win ascent + descent fill H.
  kGdi,
  // The em fills H and the baseline sits 220/256 of H below the top, as with SimHei and
  // SimSun, whose win ascent + descent equal the em. Used for stand-ins of those faces.
  kEmFilling,
};

struct FontFace {
  std::string path;
  int index = 0;                  // face index inside a collection (.ttc)
  bool synthesize_bold = false;   // widen outlines because the face is not bold enough
};

struct FontResolution {
  // Faces to draw with, primary first; a character missing from one face is drawn from
  // the next face that has it. Empty when fontconfig found nothing at all.
  std::vector<FontFace> faces;
  // The family name of each face, in the same order: the fallback list for text drawn by
  // other means (the window's widgets) to find the same faces.
  std::vector<std::string> families;
  bool exact = false;           // the requested name is a family name of the primary face
  std::string family;           // family name of the primary face, for showing
  FontSizing sizing = FontSizing::kGdi;
  bool synthesize_bold = false;  // for the primary face

  bool ok() const { return !faces.empty(); }
};

class FontResolver {
 public:
  // Uses fontconfig's current configuration, with the stand-in table added to it.
  FontResolver();
  // Uses `config` (not owned; must outlive the resolver), with the stand-in table added;
  // nullptr means the current configuration.
  explicit FontResolver(FcConfig* config);
  ~FontResolver();
  FontResolver(const FontResolver&) = delete;
  FontResolver& operator=(const FontResolver&) = delete;

  // The resolver used by canvases that are not given one.
  static FontResolver& Shared();

  // Resolution of a face name, remembered per (name, bold).
  const FontResolution& Resolve(std::string_view face, bool bold);

  // Family names of the installed outline fonts for a font selector: English names and,
  // where a font has them, Simplified Chinese names; 黑体 and 宋体 first (they work
  // through the stand-in table), then other Chinese names, then the rest by name.
  std::vector<std::string> InstalledFaceNames() const;

  // Distinguishes resolvers in caches that outlive one (never reused within a process).
  uint64_t serial() const { return serial_; }

  // Whether `name` is one of the Windows Chinese face names of the stand-in table.
  static bool IsChineseAlias(std::string_view name);

  // Whether `name` is a Windows Chinese face whose stand-in fills the em (SimHei, SimSun,
  // KaiTi, FangSong and their Chinese names; not Microsoft YaHei).
  static bool IsEmSizedAlias(std::string_view name);

  // The fontconfig XML generated from the stand-in table.
  static std::string AliasXml();

  // Reads the stand-in table from `file` (fontconfig XML, installed with the program as
  // qx-font-aliases.conf) instead of the built-in one, when it can be read. Call it before
  // the first resolver is made.
  static void SetAliasFile(std::filesystem::path file);

 private:
  FontResolution Compute(std::string_view face, bool bold) const;

  FcConfig* config_;
  uint64_t serial_;
  std::map<std::string, FontResolution, std::less<>> cache_[2];  // [bold]
};

}  // namespace qx
