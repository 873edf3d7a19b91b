// libFuzzer target for what the printer application makes of the pictures and raster
// pages a network client sends.
//
// The first byte chooses: 'P' the rest is a picture file (PNG or JPEG) decoded and made a
// marker as a PNG or JPEG job is; anything else is a raster page: two bytes of width, a
// byte of depth and ink, then lines of the width's bytes until the input ends, as PAPPL
// hands them to the driver. Neither may crash, read outside its input or take memory out
// of proportion to it; a decoded picture is refused before its pixels are read when it is
// too large.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "input_file.h"
#include "printer_app/picture.h"
#include "printer_app/raster_item.h"

namespace {

const std::filesystem::path& File() { return qx::fuzz::InputFile("picture"); }

void Picture(const uint8_t* data, std::size_t size) {
  qx::fuzz::WriteInput(File(), data, size);
  qx::papp::GreyPicture picture;
  std::string error;
  if (!qx::papp::ReadPicture(File(), picture, error)) {
    if (error.empty() || !picture.grey.empty()) std::abort();
    return;
  }
  if (picture.grey.size() != static_cast<std::size_t>(picture.width) * picture.height) std::abort();
  qx::ItemImage item;
  // On a narrow medium when the picture gives no resolution, else at its own.
  qx::papp::PictureItem(picture, 66, item);
}

void Raster(const uint8_t* data, std::size_t size) {
  if (size < 3) return;
  const int width = (data[0] | (data[1] << 8)) & 0x3FFF;  // up to 16383 pixels
  const int bits = (data[2] & 1) ? 8 : 1;
  const bool high_is_black = data[2] & 2;
  qx::papp::RasterItemBuilder builder;
  if (!builder.StartPage(width, high_is_black, bits)) std::abort();
  const std::size_t line = bits == 8 ? static_cast<std::size_t>(width)
                                     : (static_cast<std::size_t>(width) + 7) / 8;
  std::span<const uint8_t> rest(data + 3, size - 3);
  // Lines as PAPPL hands them: of the header's length; a short last line as it is.
  while (!rest.empty()) {
    const std::size_t n = line == 0 ? rest.size() : std::min(line, rest.size());
    builder.AddLine(rest.first(n));
    rest = rest.subspan(n);
  }
  qx::ItemImage item;
  if (builder.Finish(item) && item.columns.size() != std::size_t{item.ColumnCount} * qx::kColumnBytes)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] == 'P')
    Picture(data + 1, size - 1);
  else
    Raster(data + 1, size - 1);
  return 0;
}

// Build and run: scripts/fuzz [SECONDS] picture
