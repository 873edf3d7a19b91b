#include "layout/font_resolver.h"

#include <filesystem>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <set>

namespace qx {
namespace {

// Windows Chinese face names and the Debian faces that stand in for them, best first.
// fontconfig's own rules send these names to Latin-only defaults in the C locale.
struct AliasGroup {
  std::vector<std::string_view> names;
  std::vector<std::string_view> prefer;
  // The Windows faces of these names have their ascent plus descent equal to the em and
  // no bold face of their own (SimHei, SimSun, KaiTi, FangSong); stand-ins for them are
  // sized to fill the em and always emboldened synthetically. Microsoft YaHei has neither
  // property, so its stand-in is used like any other face.
  bool em_sized;
};

const std::vector<AliasGroup>& AliasTable() {
  static const std::vector<AliasGroup> table = [] {
    const std::vector<std::string_view> hei = {"WenQuanYi Micro Hei", "WenQuanYi Zen Hei",
                                               "Noto Sans CJK SC"};
    const std::vector<std::string_view> song = {"AR PL UMing CN", "Noto Serif CJK SC",
                                                "WenQuanYi Micro Hei"};
    std::vector<std::string_view> kai = {"AR PL UKai CN", "AR PL KaitiM GB"};
    kai.insert(kai.end(), song.begin(), song.end());
    return std::vector<AliasGroup>{
        {{"黑体", "SimHei"}, hei, true},
        {{"微软雅黑", "Microsoft YaHei"}, hei, false},
        {{"宋体", "SimSun", "新宋体", "NSimSun", "仿宋", "FangSong"}, song, true},
        {{"楷体", "KaiTi", "楷体_GB2312"}, kai, true},
    };
  }();
  return table;
}

// Family names compare as fontconfig compares them: ASCII case and spaces do not count.
bool SameFamily(std::string_view a, std::string_view b) {
  auto next = [](std::string_view s, std::size_t& i) -> int {
    while (i < s.size() && s[i] == ' ') ++i;
    if (i == s.size()) return -1;
    const auto c = static_cast<unsigned char>(s[i++]);
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
  };
  std::size_t i = 0, j = 0;
  for (;;) {
    const int ca = next(a, i), cb = next(b, j);
    if (ca != cb) return false;
    if (ca < 0) return true;
  }
}

void AppendXmlText(std::string& out, std::string_view s) {
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
}

std::filesystem::path& AliasFile() {
  static std::filesystem::path file;
  return file;
}

// The installed table when there is one (an administrator may point a face name at other
// fonts there), else the table built in.
bool LoadAliases(FcConfig* config) {
  const std::filesystem::path& file = AliasFile();
  std::error_code ec;
  if (!file.empty() && std::filesystem::is_regular_file(file, ec) &&
      FcConfigParseAndLoad(config, reinterpret_cast<const FcChar8*>(file.c_str()), FcFalse) == FcTrue)
    return true;
  const std::string xml = FontResolver::AliasXml();
  return FcConfigParseAndLoadFromMemory(config, reinterpret_cast<const FcChar8*>(xml.c_str()),
                                        FcTrue) == FcTrue;
}

std::atomic<uint64_t> next_serial{1};

const char* GetString(FcPattern* p, const char* object, int n) {
  FcChar8* s = nullptr;
  if (FcPatternGetString(p, object, n, &s) != FcResultMatch) return nullptr;
  return reinterpret_cast<const char*>(s);
}

// The face's weight on the OpenType (usWeightClass) scale; fontconfig reads it from the
// OS/2 table, or from the style name when there is none.
int OpenTypeWeight(FcPattern* p) {
  int w = FC_WEIGHT_REGULAR;
  if (FcPatternGetInteger(p, FC_WEIGHT, 0, &w) != FcResultMatch) w = FC_WEIGHT_REGULAR;
  return FcWeightToOpenType(w);
}

constexpr std::size_t kMaxFaces = 8;

}  // namespace

std::string FontResolver::AliasXml() {
  std::string xml =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n";
  for (const AliasGroup& g : AliasTable()) {
    for (std::string_view name : g.names) {
      xml += "  <alias binding=\"same\">\n    <family>";
      AppendXmlText(xml, name);
      xml += "</family>\n    <prefer>";
      for (std::string_view f : g.prefer) {
        xml += "<family>";
        AppendXmlText(xml, f);
        xml += "</family>";
      }
      xml += "</prefer>\n  </alias>\n";
    }
  }
  xml += "</fontconfig>\n";
  return xml;
}

bool FontResolver::IsChineseAlias(std::string_view name) {
  for (const AliasGroup& g : AliasTable())
    for (std::string_view n : g.names)
      if (SameFamily(n, name)) return true;
  return false;
}

bool FontResolver::IsEmSizedAlias(std::string_view name) {
  for (const AliasGroup& g : AliasTable())
    for (std::string_view n : g.names)
      if (SameFamily(n, name)) return g.em_sized;
  return false;
}

void FontResolver::SetAliasFile(std::filesystem::path file) { AliasFile() = std::move(file); }

FontResolver::FontResolver() : FontResolver(nullptr) {}

FontResolver::FontResolver(FcConfig* config) : config_(config), serial_(next_serial++) {
  if (config_ == nullptr) {
    // The current configuration is shared by the whole process: add the table once.
    static const bool loaded = LoadAliases(FcConfigGetCurrent());
    (void)loaded;
  } else {
    LoadAliases(config_);
  }
}

FontResolver::~FontResolver() = default;

FontResolver& FontResolver::Shared() {
  static FontResolver resolver;
  return resolver;
}

const FontResolution& FontResolver::Resolve(std::string_view face, bool bold) {
  auto& cache = cache_[bold ? 1 : 0];
  auto it = cache.find(face);
  if (it == cache.end()) it = cache.emplace(std::string(face), Compute(face, bold)).first;
  return it->second;
}

FontResolution FontResolver::Compute(std::string_view face, bool bold) const {
  FontResolution r;
  const std::string name(face);
  // SimHei and SimSun have no bold faces: on Windows their bold is always synthetic, so
  // their stand-ins are asked for the regular face and widened the same way.
  const bool alias = IsEmSizedAlias(face);
  const bool want_bold_face = bold && !alias;

  FcPattern* pat = FcPatternCreate();
  if (pat == nullptr) return r;
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcPatternAddInteger(pat, FC_WEIGHT, want_bold_face ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, FC_SLANT_ROMAN);
  // Chinese coverage wins ties between otherwise equal candidates.
  FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
  FcConfigSubstitute(config_, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);

  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config_, pat, &result);
  if (match == nullptr) {
    FcPatternDestroy(pat);
    return r;
  }

  // Exact when the requested name is one of the primary face's family names (English or
  // localized); anything else is a stand-in.
  const char* first_family = nullptr;
  const char* english_family = nullptr;
  for (int i = 0;; ++i) {
    const char* fam = GetString(match, FC_FAMILY, i);
    if (fam == nullptr) break;
    if (first_family == nullptr) first_family = fam;
    const char* lang = GetString(match, FC_FAMILYLANG, i);
    if (english_family == nullptr && lang != nullptr && std::string_view(lang) == "en")
      english_family = fam;
    if (!r.exact && SameFamily(fam, face)) {
      r.exact = true;
      r.family = fam;
    }
  }
  if (!r.exact) {
    const char* shown = english_family != nullptr ? english_family : first_family;
    r.family = shown != nullptr ? shown : "";
  }
  r.sizing = (alias && !r.exact) ? FontSizing::kEmFilling : FontSizing::kGdi;

  // All installed faces, best first. Their patterns are the fonts' own: the match above
  // has been through the "font" rules, which may rewrite the weight of a face that is
  // to be emboldened.
  FcFontSet* sorted = FcFontSort(config_, pat, FcFalse, nullptr, &result);
  auto own_pattern = [&](const char* file, int index) -> FcPattern* {
    for (int i = 0; sorted != nullptr && i < sorted->nfont; ++i) {
      const char* f = GetString(sorted->fonts[i], FC_FILE, 0);
      int idx = 0;
      if (FcPatternGetInteger(sorted->fonts[i], FC_INDEX, 0, &idx) != FcResultMatch) idx = 0;
      if (f != nullptr && idx == index && std::string_view(f) == file) return sorted->fonts[i];
    }
    return nullptr;
  };

  FcCharSet* covered = FcCharSetCreate();
  std::vector<std::string> families;
  // Adds a face unless it cannot be drawn or adds no characters to the faces before it.
  auto add_face = [&](FcPattern* p, bool primary) {
    FcBool outline = FcTrue;
    if (FcPatternGetBool(p, FC_OUTLINE, 0, &outline) == FcResultMatch && !outline) return;
    const char* file = GetString(p, FC_FILE, 0);
    if (file == nullptr) return;
    int index = 0;
    if (FcPatternGetInteger(p, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    const char* fam = GetString(p, FC_FAMILY, 0);
    if (!primary) {
      int slant = FC_SLANT_ROMAN;
      if (FcPatternGetInteger(p, FC_SLANT, 0, &slant) == FcResultMatch && slant != FC_SLANT_ROMAN)
        return;
      // One face per family: the best-matching one.
      if (fam != nullptr && std::find(families.begin(), families.end(), fam) != families.end())
        return;
    }
    FcCharSet* cs = nullptr;
    if (FcPatternGetCharSet(p, FC_CHARSET, 0, &cs) == FcResultMatch && covered != nullptr) {
      if (!primary && FcCharSetIsSubset(cs, covered)) return;
      FcCharSetMerge(covered, cs, nullptr);
    }
    if (fam != nullptr) families.emplace_back(fam);
    r.families.emplace_back(fam != nullptr ? fam : "");
    FcPattern* own = own_pattern(file, index);
    FontFace f;
    f.path = file;
    f.index = index;
    // GDI widens a face when the requested weight is at least 200 above its own.
    f.synthesize_bold = bold && (alias || 700 - OpenTypeWeight(own != nullptr ? own : p) >= 200);
    r.faces.push_back(std::move(f));
  };
  add_face(match, true);
  if (!r.faces.empty()) r.synthesize_bold = r.faces.front().synthesize_bold;
  for (int i = 0; sorted != nullptr && i < sorted->nfont && r.faces.size() < kMaxFaces; ++i) {
    const char* file = GetString(sorted->fonts[i], FC_FILE, 0);
    int index = 0;
    if (FcPatternGetInteger(sorted->fonts[i], FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    const bool seen = std::any_of(r.faces.begin(), r.faces.end(), [&](const FontFace& f) {
      return file != nullptr && f.path == file && f.index == index;
    });
    if (!seen) add_face(sorted->fonts[i], false);
  }
  if (covered != nullptr) FcCharSetDestroy(covered);
  if (sorted != nullptr) FcFontSetDestroy(sorted);
  FcPatternDestroy(match);
  FcPatternDestroy(pat);
  return r;
}

std::vector<std::string> FontResolver::InstalledFaceNames() const {
  std::set<std::string> names;
  FcPattern* pat = FcPatternCreate();
  FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, FC_OUTLINE, nullptr);
  FcFontSet* fs = (pat != nullptr && os != nullptr) ? FcFontList(config_, pat, os) : nullptr;
  if (fs != nullptr) {
    for (int i = 0; i < fs->nfont; ++i) {
      FcPattern* p = fs->fonts[i];
      FcBool outline = FcTrue;
      if (FcPatternGetBool(p, FC_OUTLINE, 0, &outline) == FcResultMatch && !outline) continue;
      for (int n = 0;; ++n) {
        const char* fam = GetString(p, FC_FAMILY, n);
        if (fam == nullptr) break;
        const char* lang = GetString(p, FC_FAMILYLANG, n);
        const std::string_view l = lang != nullptr ? lang : "";
        const bool wanted = n == 0 || l.empty() || l == "en" || l == "zh-cn" || l == "zh";
        if (wanted && fam[0] != '\0' && fam[0] != '.') names.insert(fam);
      }
    }
    FcFontSetDestroy(fs);
  }
  if (os != nullptr) FcObjectSetDestroy(os);
  if (pat != nullptr) FcPatternDestroy(pat);

  // 黑体 and 宋体 first, then the other Chinese names, then the Latin ones by name.
  const std::array<std::string, 2> lead = {"黑体", "宋体"};
  for (const std::string& n : lead) names.erase(n);
  std::vector<std::string> chinese, latin;
  for (const std::string& n : names) {
    const bool ascii = std::all_of(n.begin(), n.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    (ascii ? latin : chinese).push_back(n);
  }
  auto lower = [](std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
  };
  std::stable_sort(latin.begin(), latin.end(),
                   [&](const std::string& a, const std::string& b) { return lower(a) < lower(b); });
  std::vector<std::string> out(lead.begin(), lead.end());
  out.insert(out.end(), chinese.begin(), chinese.end());
  out.insert(out.end(), latin.begin(), latin.end());
  return out;
}

}  // namespace qx
