// Font look-up through fontconfig, cached for the life of the process: a frame must not pay
// fontconfig's start-up or matching (about 0.07 ms a match).
#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "GdiPlusInternal.h"

namespace zel::detail {
namespace {

struct PatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

struct FaceDeleter {
  void operator()(FT_Face f) const { FT_Done_Face(f); }
};

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Everything here lives until the process ends: fontconfig is never torn down (FcFini), since a
// host may still be using it, and the cached faces are handed out as plain pointers.
struct FontCache {
  std::mutex mutex;
  std::map<std::string, bool> families;
  std::map<std::tuple<std::string, bool, bool>, std::unique_ptr<CachedFace>> faces;
  FT_Library freetype = nullptr;

  FontCache() {
    FcInit();
    FT_Init_FreeType(&freetype);
  }
};

FontCache& Cache() {
  static FontCache* cache = new FontCache;
  return *cache;
}

PatternPtr SubstitutedPattern(const std::string& family) {
  PatternPtr p(FcPatternCreate());
  if (!p) return nullptr;
  FcPatternAddString(p.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcConfigSubstitute(nullptr, p.get(), FcMatchPattern);
  FcDefaultSubstitute(p.get());
  return p;
}

bool ComputeFamilyExists(const std::string& name) {
  PatternPtr p = SubstitutedPattern(name);
  if (!p) return false;
  // The request and its strong aliases come first in the family list; generic fallbacks that
  // fontconfig adds are bound weakly. The family exists when the match is one of the former.
  std::vector<const FcChar8*> strong;
  for (int i = 0;; ++i) {
    FcValue v;
    FcValueBinding binding;
    if (FcPatternGetWithBinding(p.get(), FC_FAMILY, i, &v, &binding) != FcResultMatch) break;
    if (binding == FcValueBindingWeak) break;
    if (v.type == FcTypeString) strong.push_back(v.u.s);
  }
  FcResult result;
  PatternPtr match(FcFontMatch(nullptr, p.get(), &result));
  if (!match) return false;
  for (int i = 0;; ++i) {
    FcChar8* family = nullptr;
    if (FcPatternGetString(match.get(), FC_FAMILY, i, &family) != FcResultMatch) break;
    for (const FcChar8* s : strong)
      if (FcStrCmpIgnoreCase(family, s) == 0) return true;
  }
  return false;
}

void ReadMetrics(FT_Library library, FcPattern* match, CachedFace& face) {
  FcChar8* file = nullptr;
  int index = 0;
  if (!library || FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) return;
  FcPatternGetInteger(match, FC_INDEX, 0, &index);
  FT_Face raw = nullptr;
  if (FT_New_Face(library, reinterpret_cast<const char*>(file), index, &raw) != 0) return;
  std::unique_ptr<FT_FaceRec_, FaceDeleter> ft(raw);
  if (!FT_IS_SCALABLE(raw) || raw->units_per_EM == 0) return;
  const double em = raw->units_per_EM;
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(raw, FT_SFNT_OS2));
  bool winMetrics = os2 && os2->version != 0xFFFF && (os2->usWinAscent || os2->usWinDescent);
  double ascent = winMetrics ? os2->usWinAscent : raw->ascender;
  double descent = winMetrics ? os2->usWinDescent : -raw->descender;
  face.ascent = ascent / em;
  face.descent = descent / em;
  face.lineSpacing = std::max<double>(raw->height, ascent + descent) / em;
  if (raw->underline_thickness > 0) {
    face.underlinePosition = -raw->underline_position / em;
    face.underlineThickness = raw->underline_thickness / em;
  }
  if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
    face.strikeoutPosition = -os2->yStrikeoutPosition / em;
    face.strikeoutThickness = os2->yStrikeoutSize / em;
  } else {
    face.strikeoutThickness = face.underlineThickness;
  }
}

std::unique_ptr<CachedFace> ComputeFace(FT_Library library, const std::string& family, bool bold, bool italic) {
  PatternPtr p(FcPatternCreate());
  if (!p) return nullptr;
  FcPatternAddString(p.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(p.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(p.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, p.get(), FcMatchPattern);
  FcDefaultSubstitute(p.get());
  FcResult result;
  PatternPtr match(FcFontMatch(nullptr, p.get(), &result));
  if (!match) return nullptr;
  // The user's rendering preferences (subpixel order, hinting, antialiasing) would leak into the
  // pixels through the pattern: the graphics object's text hint alone decides them.
  for (const char* property : {FC_ANTIALIAS, FC_HINTING, FC_HINT_STYLE, FC_RGBA, FC_AUTOHINT, FC_LCD_FILTER})
    FcPatternDel(match.get(), property);
  auto face = std::make_unique<CachedFace>();
  ReadMetrics(library, match.get(), *face);
  face->face = cairo_ft_font_face_create_for_pattern(match.get());
  if (cairo_font_face_status(face->face) != CAIRO_STATUS_SUCCESS) {
    cairo_font_face_destroy(face->face);
    return nullptr;
  }
  int slant = FC_SLANT_ROMAN;
  FcPatternGetInteger(match.get(), FC_SLANT, 0, &slant);
  if (italic && slant == FC_SLANT_ROMAN) cairo_ft_font_face_set_synthesize(face->face, CAIRO_FT_SYNTHESIZE_OBLIQUE);
  return face;
}

}  // namespace

bool FontFamilyExists(const std::string& name) {
  FontCache& c = Cache();
  std::string key = Lower(name);
  std::lock_guard lock(c.mutex);
  auto it = c.families.find(key);
  if (it != c.families.end()) return it->second;
  bool exists = !name.empty() && ComputeFamilyExists(name);
  c.families.emplace(std::move(key), exists);
  return exists;
}

const CachedFace* LookUpFace(const std::string& family, bool bold, bool italic) {
  FontCache& c = Cache();
  auto key = std::make_tuple(Lower(family), bold, italic);
  std::lock_guard lock(c.mutex);
  auto it = c.faces.find(key);
  if (it != c.faces.end()) return it->second.get();
  auto face = ComputeFace(c.freetype, family, bold, italic);
  const CachedFace* result = face.get();
  if (face) c.faces.emplace(std::move(key), std::move(face));
  return result;
}

}  // namespace zel::detail
