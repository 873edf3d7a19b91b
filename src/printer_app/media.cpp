#include "printer_app/media.h"

#include <array>
#include <cstdio>
#include <cstdlib>

#include "document/document.h"

namespace qx::papp {

namespace {

// Tubes are printed across the whole head: 96 dots at 11 dots a millimetre.
constexpr int kHeadWidthHmm = kHeadDots * 100 / 11;

constexpr std::array<MaterialMedia, 7> kMedia{{
    {1, "qx-label-6mm", 600},
    {2, "qx-label-9mm", 900},
    {3, "qx-label-12mm", 1200},
    {4, "qx-sleeve-1mm2", kHeadWidthHmm},
    {5, "qx-sleeve-4mm2", kHeadWidthHmm},
    {6, "qx-sleeve-6mm2", kHeadWidthHmm},
    {7, "qx-heat-shrink", kHeadWidthHmm},
}};

std::string Millimetres(int hmm) {
  char text[32];
  if (hmm % 100 == 0)
    std::snprintf(text, sizeof text, "%d", hmm / 100);
  else if (hmm % 10 == 0)
    std::snprintf(text, sizeof text, "%d.%d", hmm / 100, (hmm / 10) % 10);
  else
    std::snprintf(text, sizeof text, "%d.%02d", hmm / 100, hmm % 100);
  return text;
}

}  // namespace

std::span<const MaterialMedia> AllMaterialMedia() {
  static_assert(kMedia.size() == 7);
  return kMedia;
}

std::string MediaName(const MaterialMedia& m, int length_hmm) {
  return "om_" + std::string(m.keyword) + "_" + Millimetres(m.width_hmm) + "x" +
         Millimetres(length_hmm) + "mm";
}

const MaterialMedia& MaterialOfCode(uint8_t material_code) {
  for (const MaterialMedia& m : kMedia)
    if (m.material_code == material_code) return m;
  return kMedia[2];
}

const MaterialMedia& MaterialOfMedia(std::string_view size_name, std::string_view media_type,
                                     int width_hmm) {
  // "om_qx-label-12mm_12x30mm": the part between the first and the last underscore.
  const std::size_t first = size_name.find('_');
  const std::size_t last = size_name.rfind('_');
  if (first != std::string_view::npos && last > first) {
    const std::string_view part = size_name.substr(first + 1, last - first - 1);
    for (const MaterialMedia& m : kMedia)
      if (m.keyword == part) return m;
  }
  for (const MaterialMedia& m : kMedia)
    if (m.keyword == media_type) return m;
  const MaterialMedia* nearest = &kMedia[0];
  for (const MaterialMedia& m : kMedia)
    if (IsLabelMaterial(m.material_code) &&
        std::abs(m.width_hmm - width_hmm) < std::abs(nearest->width_hmm - width_hmm))
      nearest = &m;
  return *nearest;
}

}  // namespace qx::papp
