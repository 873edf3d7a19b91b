// Writes a PWG raster test document: `pages` pages of `width_mm` x `length_mm` at 280 dpi,
// 1 bit black, each with one black bar: pixels 30..99 across, from line 10 to 10 lines
// before the page's end. The printer application tests know what item that gives.
//
//   make_pwg OUT PAGES WIDTH_MM LENGTH_MM
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: make_pwg OUT PAGES WIDTH_MM LENGTH_MM\n");
    return 2;
  }
  const int pages = std::atoi(argv[2]);
  const int width_mm = std::atoi(argv[3]), length_mm = std::atoi(argv[4]);
  const int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return 1;
  cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG);
  pwg_media_t* media = pwgMediaForSize(width_mm * 100, length_mm * 100);
  cups_page_header2_t h;
  if (!r || !media || !cupsRasterInitPWGHeader(&h, media, "black_1", 280, 280, "one-sided", nullptr))
    return 1;
  h.cupsInteger[CUPS_RASTER_PWG_TotalPageCount] = static_cast<unsigned>(pages);
  std::vector<unsigned char> blank(h.cupsBytesPerLine, 0), bar(h.cupsBytesPerLine, 0);
  for (unsigned x = 30; x < 100 && x < h.cupsWidth; ++x) bar[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
  for (int page = 0; page < pages; ++page) {
    if (!cupsRasterWriteHeader2(r, &h)) return 1;
    for (unsigned y = 0; y < h.cupsHeight; ++y) {
      auto& line = (y >= 10 && y + 10 < h.cupsHeight) ? bar : blank;
      if (!cupsRasterWritePixels(r, line.data(), h.cupsBytesPerLine)) return 1;
    }
  }
  cupsRasterClose(r);
  close(fd);
  return 0;
}
