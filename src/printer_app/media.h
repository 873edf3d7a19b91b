// The media a QX printer application offers: one entry per material of the document
// settings, in the same order, so that the printer application and the editor name and
// number the materials the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qx::papp {

// The printer's resolution: 110 dots per 10 mm of feed and across the head (the nominal
// calibration the editor lays out with), given to IPP in whole dots per inch.
inline constexpr int kDotsPerInch = 280;
// Dots across the print head.
inline constexpr int kHeadDots = 96;

struct MaterialMedia {
  uint8_t material_code;     // 1..7, as in the document settings
  std::string_view keyword;  // the name part of the PWG media name and the media type
  int width_hmm;             // width of the printed band in hundredths of millimetres
};

// Every material: labels 6, 9 and 12 mm, sleeves 1.0, 4.0 and 6.0 mm², heat-shrink tube.
std::span<const MaterialMedia> AllMaterialMedia();

// Item lengths in hundredths of millimetres: the default, and the range a custom length
// may take (the longest item the printer's image store holds).
inline constexpr int kDefaultLengthHmm = 3000;
inline constexpr int kMinLengthHmm = 400;
inline constexpr int kMaxLengthHmm = 15000;

// The PWG self-describing media name of a material at `length_hmm`, as in
// "om_qx-label-12mm_12x30mm" ("om": other metric sizes).
std::string MediaName(const MaterialMedia& m, int length_hmm = kDefaultLengthHmm);

// The material a job's media stands for: by the name of one of our media (any length),
// else by its media type, else the label tape whose width is nearest. Never fails: the
// printer prints on what is loaded.
const MaterialMedia& MaterialOfMedia(std::string_view size_name, std::string_view media_type,
                                     int width_hmm);

const MaterialMedia& MaterialOfCode(uint8_t material_code);

}  // namespace qx::papp
