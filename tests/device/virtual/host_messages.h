// The host's side of both printer protocols, written out by hand for the virtual printer
// tests: message builders and a small link that writes, reads and asks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <optional>
#include <vector>

#include "device/transport.h"
#include "device/virtual/virtual_transport.h"
#include "layout/image.h"

namespace qx::testing {

using Bytes = std::vector<uint8_t>;
using Reply = std::array<uint8_t, 16>;

// An item with recognisable image bytes and separator column.
inline ItemImage TestItem(uint16_t lead, uint16_t trail, uint16_t columns, uint32_t seed) {
  ItemImage it;
  it.LeadBlank = lead;
  it.TrailBlank = trail;
  it.ColumnCount = columns;
  it.columns.resize(std::size_t{columns} * kColumnBytes);
  uint32_t x = seed * 2654435761u + 7;
  for (uint8_t& b : it.columns) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  for (std::size_t i = 0; i < it.SeparatorColumn.size(); ++i)
    it.SeparatorColumn[i] = i < 2 || i >= 10 ? 0 : 0xFF;
  return it;
}

inline void ExpectSameItem(const ItemImage& got, const ItemImage& sent) {
  EXPECT_EQ(got.LeadBlank, sent.LeadBlank);
  EXPECT_EQ(got.TrailBlank, sent.TrailBlank);
  EXPECT_EQ(got.ColumnCount, sent.ColumnCount);
  EXPECT_EQ(got.SeparatorColumn, sent.SeparatorColumn);
  EXPECT_EQ(got.columns, sent.columns);
}

// ---- first generation ----

inline Bytes G1Command(uint8_t code) {
  return {1, code, 0, code};
}
inline Bytes G1SetUp(int material, int cut) {
  return {1, 6, 0, 6, static_cast<uint8_t>(material * 16 + cut)};
}
inline Bytes G1Header(const ItemImage& it, int buffer) {
  Bytes m(23, 0);
  m[0] = 1;
  m[1] = buffer ? 0x80 : 0;
  m[3] = 20;
  const auto h = it.HeaderBytes(kFirstGenerationPrinter);
  std::copy(h.begin(), h.end(), m.begin() + 4);
  return m;
}
inline std::vector<Bytes> G1Data(const ItemImage& it, int buffer) {
  std::vector<Bytes> out;
  for (std::size_t block = 0; 60 * block < it.columns.size(); ++block) {
    Bytes m(64, 0);
    m[0] = 1;
    m[1] = static_cast<uint8_t>((block >> 8) | (buffer ? 0x80 : 0));
    m[2] = static_cast<uint8_t>(block);
    m[3] = 21;
    const std::size_t n = std::min<std::size_t>(60, it.columns.size() - 60 * block);
    std::copy_n(it.columns.begin() + static_cast<std::ptrdiff_t>(60 * block), n, m.begin() + 4);
    out.push_back(std::move(m));
  }
  return out;
}
inline Bytes G1End(int buffer) {
  return {1, static_cast<uint8_t>(buffer ? 0x80 : 0), 0, 22};
}

// ---- second generation ----

inline std::vector<Bytes> G2Messages(const ItemImage& it, int buffer, uint8_t row) {
  std::vector<Bytes> out;
  const std::size_t n = it.columns.size();
  Bytes first(512, 0);
  first[0] = 1;
  first[1] = buffer ? 0x40 : 0;
  first[4] = 1;
  first[7] = row;
  const auto h = it.HeaderBytes("Kelmor QB20");
  std::copy(h.begin(), h.end(), first.begin() + 8);
  std::copy_n(it.columns.begin(), std::min<std::size_t>(n, 486), first.begin() + 26);
  out.push_back(first);
  for (std::size_t k = 1; 486 + 508 * (k - 1) < n; ++k) {
    Bytes m(512, 0);
    m[0] = 1;
    m[1] = first[1];
    m[2] = static_cast<uint8_t>(508 * k);
    m[3] = static_cast<uint8_t>((508 * k) >> 8);
    const std::size_t from = 486 + 508 * (k - 1);
    std::copy_n(it.columns.begin() + static_cast<std::ptrdiff_t>(from),
                std::min<std::size_t>(508, n - from), m.begin() + 4);
    out.push_back(std::move(m));
  }
  return out;
}

inline uint16_t Checksum(const Bytes& m) {
  uint16_t sum = 0;
  for (std::size_t i = 4; i < m.size(); ++i) sum = static_cast<uint16_t>(sum + m[i]);
  return sum;
}
inline uint16_t EchoOf(const Reply& r) {
  return static_cast<uint16_t>(r[1] | r[2] << 8);
}
inline uint16_t WordA(const StatusBlock& s) {
  return static_cast<uint16_t>(s[0] | s[1] << 8);
}
inline uint16_t WordB(const StatusBlock& s) {
  return static_cast<uint16_t>(s[2] | s[3] << 8);
}

// One open printer handle.
class Link {
 public:
  Link(Transport& t, int32_t handle) : t_(t), handle_(handle) {}
  int32_t handle() const { return handle_; }

  int32_t Write(const Bytes& m) {
    return t_.BulkWrite(handle_, m.data(), static_cast<int32_t>(m.size()), 500);
  }
  std::optional<Reply> Read(int32_t length = 16) {
    Reply r{};
    std::vector<uint8_t> buf(static_cast<std::size_t>(std::max(length, 16)), 0);
    if (t_.BulkRead(handle_, buf.data(), length, 500) < 0) return std::nullopt;
    std::copy_n(buf.begin(), 16, r.begin());
    return r;
  }
  // Writes and reads the reply; nullopt when either fails.
  std::optional<Reply> Exchange(const Bytes& m) {
    if (Write(m) < 0) return std::nullopt;
    return Read();
  }
  std::optional<StatusBlock> Vendor(uint8_t request, uint16_t value = 0) {
    StatusBlock s{};
    if (t_.VendorReq(handle_, request, value, s, 500) < 0) return std::nullopt;
    return s;
  }
  int32_t Close() { return t_.CloseHandle(handle_); }

  // A whole first-generation item: header, data blocks, end.
  bool SendG1(const ItemImage& it, int buffer) {
    if (!Exchange(G1Header(it, buffer))) return false;
    for (const Bytes& m : G1Data(it, buffer))
      if (!Exchange(m)) return false;
    return Exchange(G1End(buffer)).has_value();
  }
  // A whole second-generation item: its messages, each echo checked, then request 22/23.
  bool SendG2(const ItemImage& it, int buffer, uint8_t row) {
    for (const Bytes& m : G2Messages(it, buffer, row)) {
      const auto r = Exchange(m);
      if (!r || EchoOf(*r) != Checksum(m)) return false;
    }
    return Vendor(static_cast<uint8_t>(22 + buffer)).has_value();
  }

 private:
  Transport& t_;
  int32_t handle_;
};

// The printer a QX_VIRTUAL_PRINTERS text names (the first of the list).
inline VirtualPrinterConfig ParsedPrinter(std::string_view text) {
  VirtualPrinterList list = ParseVirtualPrinters(text);
  EXPECT_TRUE(list.ok()) << list.error;
  return list.printers.at(0);
}

// One virtual printer on a fake clock, opened through its transport.
class VirtualPrinterTest : public ::testing::Test {
 protected:
  void Start(VirtualPrinterConfig config, std::filesystem::path dir = {}) {
    transport_ = std::make_unique<VirtualTransport>(
        clock_, std::vector<VirtualPrinterConfig>{std::move(config)}, std::move(dir));
    Reopen();
  }
  void Reopen() {
    DevicePaths paths{};
    ASSERT_EQ(transport_->EnumrateDevs(paths), 1);
    const int32_t h = transport_->OpenByPath(paths[0].data());
    ASSERT_GE(h, 0);
    link_.emplace(*transport_, h);
  }
  VirtualPrinter& printer() { return transport_->printer(0); }
  Link& link() { return *link_; }
  const VirtualJob& job() { return printer().jobs().back(); }

  FakeClock clock_;
  std::unique_ptr<VirtualTransport> transport_;
  std::optional<Link> link_;
};

}  // namespace qx::testing
