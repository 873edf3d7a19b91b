#include "layout/freetype_canvas.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "document/gbk.h"

namespace qx {
namespace {

// An opened font file face with the metrics the sizing rules need.
struct LoadedFace {
  FT_Face face = nullptr;  // nullptr when the file could not be opened
  int upem = 0;
  int win_ascent = 0;  // ascent used for the GDI baseline
  int units = 0;       // win ascent + descent (or the hhea fallback), in font units
  int current_ppem = 0;
};

// One rendered glyph: packed 1-bit rows, MSB first, `pitch` bytes per row.
struct Glyph {
  int left = 0;      // first bitmap column relative to the pen
  int top = 0;       // rows of the bitmap above the baseline
  int width = 0;
  int rows = 0;
  int pitch = 0;
  int advance = 0;   // pen movement in pixels
  int baseline = 0;  // of the face the glyph came from
  std::vector<uint8_t> bits;
};

int RoundDiv(int64_t num, int64_t den) {  // num >= 0, den > 0; halves round up, like MulDiv
  return static_cast<int>((num + den / 2) / den);
}

void ReadMetrics(LoadedFace& lf) {
  FT_Face f = lf.face;
  lf.upem = f->units_per_EM;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
  const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(f, FT_SFNT_HHEA));
  if (os2 != nullptr && os2->version != 0xFFFF) {
    // Some fonts store the descent as a negative number.
    const int descent = std::abs(static_cast<int>(static_cast<int16_t>(os2->usWinDescent)));
    lf.win_ascent = os2->usWinAscent;
    lf.units = os2->usWinAscent + descent;
  }
  if (lf.units == 0) {
    const int asc = hhea != nullptr ? hhea->Ascender : f->ascender;
    const int desc = hhea != nullptr ? hhea->Descender : f->descender;
    lf.win_ascent = asc;
    lf.units = asc - desc;
  }
  if (lf.units <= 0) lf.units = lf.upem;
}

class Engine {
 public:
  static Engine& Get() {
    static Engine engine;
    return engine;
  }

  Engine() {
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
  }
  ~Engine() {
    sized_.clear();
    for (auto& [key, lf] : faces_)
      if (lf->face != nullptr) FT_Done_Face(lf->face);
    if (library_ != nullptr) FT_Done_FreeType(library_);
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  FT_Library library() const { return library_; }

  // The face of (path, index), opened on first use; a file that cannot be opened (or a
  // face without outlines, which bi-level outline rendering cannot draw) gives nullptr,
  // and is not tried again.
  LoadedFace* Face(const std::string& path, int index) {
    auto key = std::make_pair(path, index);
    auto it = faces_.find(key);
    if (it == faces_.end()) {
      auto lf = std::make_unique<LoadedFace>();
      if (library_ != nullptr &&
          FT_New_Face(library_, path.c_str(), static_cast<FT_Long>(index), &lf->face) == 0) {
        if (!FT_IS_SCALABLE(lf->face) || lf->face->units_per_EM == 0) {
          FT_Done_Face(lf->face);
          lf->face = nullptr;
        } else {
          ReadMetrics(*lf);
        }
      } else {
        lf->face = nullptr;
      }
      it = faces_.emplace(std::move(key), std::move(lf)).first;
    }
    return it->second->face != nullptr ? it->second.get() : nullptr;
  }

  std::map<std::string, std::unique_ptr<FreeTypeCanvas::SizedFont>, std::less<>>& sized() {
    return sized_;
  }

 private:
  FT_Library library_ = nullptr;
  std::map<std::pair<std::string, int>, std::unique_ptr<LoadedFace>> faces_;
  std::map<std::string, std::unique_ptr<FreeTypeCanvas::SizedFont>, std::less<>> sized_;
};

struct SizedFace {
  LoadedFace* face;
  int ppem;
  int baseline;
  bool bold;  // synthesise bold
};

// Renders glyph `gid` of `sf` afresh. Returns nullopt when FreeType fails on the glyph.
std::optional<Glyph> Render(const SizedFace& sf, FT_UInt gid) {
  FT_Face face = sf.face->face;
  if (sf.face->current_ppem != sf.ppem) {
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(sf.ppem)) != 0) return std::nullopt;
    sf.face->current_ppem = sf.ppem;
  }
  if (FT_Load_Glyph(face, gid, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return std::nullopt;
  FT_GlyphSlot slot = face->glyph;
  Glyph g;
  g.baseline = sf.baseline;
  // Advance as GDI reports it: whole pixels, one more for synthetic bold.
  g.advance = static_cast<int>((slot->linearHoriAdvance + 0x8000) >> 16) + (sf.bold ? 1 : 0);
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return g;

  // Dropout control keeps strokes thinner than a pixel from vanishing.
  slot->outline.flags &= ~FT_OUTLINE_IGNORE_DROPOUTS;
  slot->outline.flags |= FT_OUTLINE_SMART_DROPOUTS | FT_OUTLINE_INCLUDE_STUBS;
  if (sf.bold) {
    // Horizontal only: stems get wider, rows stay where they are.
    const FT_Pos strength = std::max<FT_Pos>(64, static_cast<FT_Pos>(sf.ppem) * 64 / 24);
    FT_Outline_EmboldenXY(&slot->outline, strength, 0);
  }
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return std::nullopt;

  const FT_Bitmap& bm = slot->bitmap;
  if (bm.pixel_mode != FT_PIXEL_MODE_MONO || bm.rows == 0 || bm.width == 0) return g;
  g.left = slot->bitmap_left;
  g.top = slot->bitmap_top;
  g.width = static_cast<int>(bm.width);
  g.rows = static_cast<int>(bm.rows);
  g.pitch = (g.width + 7) / 8;
  g.bits.resize(static_cast<std::size_t>(g.pitch * g.rows));
  const int src_pitch = std::abs(bm.pitch);
  for (int r = 0; r < g.rows; ++r) {
    // A negative pitch means the buffer starts with the bottom row.
    const int src_row = bm.pitch >= 0 ? r : g.rows - 1 - r;
    std::copy_n(bm.buffer + static_cast<std::ptrdiff_t>(src_row) * src_pitch, g.pitch,
                g.bits.begin() + static_cast<std::ptrdiff_t>(r) * g.pitch);
  }
  return g;
}

// Rendered glyphs kept per sized font before the cache starts over.
constexpr std::size_t kMaxGlyphsPerFont = 8192;

}  // namespace

struct FreeTypeCanvas::SizedFont {
  std::vector<SizedFace> faces;  // loadable faces, primary first
  std::unordered_map<char32_t, Glyph> glyphs;

  // The glyph for cp from the first face that has it. A character no face has (control
  // characters among them) is blank and takes no room: a missing-glyph box has no place
  // on a wire marker. A face whose glyph for a visible character is empty (WenQuanYi
  // Micro Hei maps ℃ to an empty glyph) gives way to the next face that draws it.
  // nullopt when FreeType could not render the glyph.
  std::optional<Glyph> RenderChar(char32_t cp) const {
    std::optional<Glyph> empty;
    for (const SizedFace& sf : faces) {
      const FT_UInt gid = FT_Get_Char_Index(sf.face->face, cp);
      if (gid == 0) continue;
      std::optional<Glyph> g = Render(sf, gid);
      if (!g || IsBlankCharacter(cp) ||
          std::any_of(g->bits.begin(), g->bits.end(), [](uint8_t b) { return b != 0; }))
        return g;
      if (!empty) empty = std::move(g);
    }
    return empty ? empty : Glyph{};
  }

  // Characters that draw nothing in any face: spaces.
  static bool IsBlankCharacter(char32_t cp) {
    return cp == U' ' || cp == 0x3000 || cp == 0xA0 || (cp >= 0x2000 && cp <= 0x200B);
  }
};

namespace {

std::unique_ptr<FreeTypeCanvas::SizedFont> MakeSizedFont(const FontResolution& res, int h) {
  auto font = std::make_unique<FreeTypeCanvas::SizedFont>();
  for (const FontFace& ff : res.faces) {
    LoadedFace* lf = Engine::Get().Face(ff.path, ff.index);
    if (lf == nullptr) continue;
    SizedFace sf{lf, h, 0, ff.synthesize_bold};
    if (res.sizing == FontSizing::kEmFilling) {
      sf.ppem = h;
      sf.baseline = RoundDiv(int64_t{h} * 220, 256);
    } else {
      sf.ppem = RoundDiv(int64_t{lf->upem} * h, lf->units);
      if (sf.ppem > 1 && RoundDiv(int64_t{lf->units} * sf.ppem, lf->upem) > h) --sf.ppem;
      sf.ppem = std::max(sf.ppem, 1);
      sf.baseline = RoundDiv(int64_t{std::max(lf->win_ascent, 0)} * sf.ppem, lf->upem);
    }
    font->faces.push_back(sf);
  }
  return font;
}

}  // namespace

FreeTypeCanvas::FreeTypeCanvas(int width, int height)
    : FreeTypeCanvas(FontResolver::Shared(), width, height) {}

FreeTypeCanvas::FreeTypeCanvas(FontResolver& resolver, int width, int height)
    : TextCanvas(width, height), resolver_(resolver) {}

FreeTypeCanvas::~FreeTypeCanvas() = default;

void FreeTypeCanvas::SelectFont(std::string_view face, int cell_height, bool bold) {
  cell_height_ = std::max(cell_height, 0);
  resolution_ = &resolver_.Resolve(face, bold);
  std::string key = std::to_string(resolver_.serial());
  key += bold ? "/B/" : "/R/";
  key += std::to_string(cell_height_);
  key += '/';
  key += face;
  auto& sized = Engine::Get().sized();
  auto it = sized.find(key);
  if (it == sized.end())
    it = sized.emplace(std::move(key), MakeSizedFont(*resolution_, std::max(cell_height_, 1)))
             .first;
  font_ = it->second.get();
}

std::string FreeTypeCanvas::UsedFaceName() const {
  if (font_ == nullptr || font_->faces.empty() || resolution_ == nullptr) return {};
  return resolution_->family;
}

int FreeTypeCanvas::ppem() const {
  return font_ != nullptr && !font_->faces.empty() ? font_->faces.front().ppem : 0;
}

int FreeTypeCanvas::baseline() const {
  return font_ != nullptr && !font_->faces.empty() ? font_->faces.front().baseline : 0;
}

void FreeTypeCanvas::ClearGlyphCache() {
  for (auto& [key, font] : Engine::Get().sized()) font->glyphs.clear();
}

void FreeTypeCanvas::DrawText(int x, int y, std::string_view gbk) {
  if (font_ == nullptr || font_->faces.empty() || cell_height_ == 0) return;
  const int row_begin = std::max(y, 0);
  const int row_end = std::min(y + cell_height_, height());
  int pen = x;
  gbk::ForEachChar(gbk, [&](std::size_t, std::string_view ch) {
    const std::optional<char32_t> cp = gbk::DecodeChar(ch);
    if (!cp) return;  // not a GBK character: no ink, no advance
    const Glyph* g = nullptr;
    std::optional<Glyph> fresh;
    if (glyph_cache_enabled_) {
      auto it = font_->glyphs.find(*cp);
      if (it == font_->glyphs.end()) {
        fresh = font_->RenderChar(*cp);
        if (!fresh) return;
        if (font_->glyphs.size() >= kMaxGlyphsPerFont) font_->glyphs.clear();
        it = font_->glyphs.emplace(*cp, std::move(*fresh)).first;
      }
      g = &it->second;
    } else {
      fresh = font_->RenderChar(*cp);
      if (!fresh) return;
      g = &*fresh;
    }

    const int top = y + g->baseline - g->top;  // canvas row of the bitmap's first row
    const int r0 = std::max(row_begin - top, 0);
    const int r1 = std::min(row_end - top, g->rows);
    const int left = pen + g->left;
    for (int r = r0; r < r1; ++r) {
      const uint8_t* bits = g->bits.data() + static_cast<std::ptrdiff_t>(r) * g->pitch;
      for (int byte = 0; byte < g->pitch; ++byte) {
        const unsigned b = bits[byte];
        if (b == 0) continue;
        for (int bit = 0; bit < 8; ++bit)
          if (b & (0x80u >> bit)) Plot(left + byte * 8 + bit, top + r);
      }
    }
    pen += g->advance;
  });
}

}  // namespace qx
