// CD-ROM sector encoding against outside references: the published vectors, libfec's
// Reed-Solomon coder for the P and Q parity, crcmod for the EDC, and the virtual recorder's
// own coder.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "lib/core/sector/edc_ecc.h"
#include "lib/core/sector/sector_check.h"
#include "lib/core/sector/sector_encoder.h"
#include "lib/core/sector/sector_helpers.h"
#include "platform/aspi/recorder/coding/vr_sector_coding.h"
#include "tests/support/ecma130.h"
#include "tests/support/temp_dir.h"

namespace {

using Sector = std::array<std::uint8_t, 2352>;

std::string Hex(const std::uint8_t* p, std::size_t n) {
  std::string s;
  char b[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
    s += b;
  }
  return s;
}

std::uint32_t StoredEdc(const Sector& s, std::size_t at) {
  return s[at] | s[at + 1] << 8 | s[at + 2] << 16 | static_cast<std::uint32_t>(s[at + 3]) << 24;
}

TEST(SectorEncoderTest, ZeroMode1SectorAtLba0MatchesThePublishedEncoding) {
  Sector s{};
  ASSERT_EQ(EncodeSectorAtAddress(s.data(), kHalvorinSectorTypeMode1, 0), 0);
  EXPECT_EQ(Hex(s.data(), 12), "00 FF FF FF FF FF FF FF FF FF FF 00");
  EXPECT_EQ(Hex(s.data() + 12, 4), "00 02 00 01");
  EXPECT_EQ(Hex(s.data() + 2064, 4), "C5 13 68 2B");
  EXPECT_EQ(Hex(s.data() + 2068, 8), "00 00 00 00 00 00 00 00");
  EXPECT_EQ(Hex(s.data() + 2076, 4), "00 F7 00 F5");
  EXPECT_EQ(Hex(s.data() + 2162, 4), "00 F5 00 F4");
  EXPECT_EQ(Hex(s.data() + 2248, 4), "00 41 00 00");
  TempDir dir;
  WriteFile(dir.P("sector"), std::string(s.begin(), s.end()));
  std::string out;
  ASSERT_EQ(RunCommand("sha256sum " + dir.P("sector"), &out), 0);
  EXPECT_EQ(out.substr(0, 64), "b4f18ab66709c9b3fdef2721cc323e031b6728f3ca6c57b7c435c96189222250");

  const Sector plain = s;
  ScrambleSector(s.data());
  EXPECT_EQ(Hex(s.data(), 12), Hex(plain.data(), 12));  // the sync stays
  ScrambleSector(s.data());
  EXPECT_EQ(s, plain);
}

TEST(SectorEncoderTest, ScramblerSequenceAndQCrc) {
  Sector s{};
  ScrambleSector(s.data());
  EXPECT_EQ(Hex(s.data() + 12, 10), "01 80 00 60 00 28 00 1E 80 08");
  EXPECT_EQ(Hex(s.data() + 2348, 4), "72 DD E5 99");

  struct Case {
    std::array<std::uint8_t, 10> q;
    const char* crc;
  } cases[] = {{{0x41, 0x01, 0x01, 0, 0, 0x00, 0, 0, 0x02, 0x00}, "28 32"},
               {{0x41, 0x01, 0x01, 0, 0, 0x09, 0, 0, 0x02, 0x09}, "11 67"}};
  // crcmod as the outside reference: CRC-16/CCITT (0x1021, not reflected) from a zero register,
  // the result inverted. crcmod's initCrc is the register XORed with xorOut, hence 0xFFFF.
  TempDir dir;
  std::string frames;
  for (const Case& c : cases) frames += Hex(c.q.data(), 10) + "\n";
  WriteFile(dir.P("frames.txt"), frames);
  WriteFile(dir.P("crc.py"),
            "import crcmod, sys\n"
            "crc = crcmod.mkCrcFun(0x11021, initCrc=0xFFFF, rev=False, xorOut=0xFFFF)\n"
            "for line in open(sys.argv[1]):\n"
            "    v = crc(bytes.fromhex(line))\n"
            "    print('%02X %02X' % (v >> 8, v & 0xFF))\n");
  std::string out;
  ASSERT_EQ(
      RunCommand(std::string(QUORVA_PYTHON) + " " + dir.P("crc.py") + " " + dir.P("frames.txt"),
                 &out),
      0)
      << out;
  std::istringstream lines(out);
  for (const Case& c : cases) {
    std::uint8_t q[12] = {};
    std::memcpy(q, c.q.data(), 10);
    CalculateSubQCRC(q);
    EXPECT_EQ(Hex(q + 10, 2), c.crc);
    std::string reference;
    ASSERT_TRUE(std::getline(lines, reference));
    EXPECT_EQ(reference, c.crc);
  }
}

TEST(SectorEncoderTest, HeaderAddressesAndTheirRange) {
  struct Case {
    std::int32_t lba;
    const char* header;  // null: refused
  } cases[] = {{-150, "00 00 00 01"},   {-151, "99 59 74 01"},   {0, "00 02 00 01"},
               {-45150, "90 00 00 01"}, {449849, "99 59 74 01"}, {4499, "01 01 74 01"},
               {-45151, nullptr},       {449850, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lba);
    Sector s;
    s.fill(0xAA);
    const std::int32_t result = EncodeSectorAtAddress(s.data(), kHalvorinSectorTypeMode1, c.lba);
    if (!c.header) {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(Hex(s.data() + 10, 4), "FF 00 AA AA");  // the sync only
      continue;
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Hex(s.data() + 12, 4), c.header);
  }
  Sector s{};
  EXPECT_EQ(BuildSectorHeader(s.data(), 2, 450000), -1);
  EXPECT_EQ(BuildSectorHeader(s.data(), 4, 449999), 0);
  EXPECT_EQ(Hex(s.data() + 12, 4), "99 59 74 02");
}

TEST(SectorEncoderTest, EachTypeWritesItsOwnFields) {
  Sector user;
  for (std::size_t i = 0; i < user.size(); ++i) user[i] = static_cast<std::uint8_t>(i * 13 + 7);
  CHalvorin_EDCECC coder;

  Sector s = user;  // unknown type: the sync and nothing else
  EXPECT_EQ(EncodeSector(s.data(), 5, 150), -1);
  EXPECT_TRUE(coder.VerifySync(s.data()));
  EXPECT_TRUE(std::equal(s.begin() + 12, s.end(), user.begin() + 12));

  s = user;  // Mode 0: all zero after the header
  EXPECT_EQ(EncodeSector(s.data(), 0, 150), 0);
  EXPECT_EQ(Hex(s.data() + 12, 4), "00 02 00 00");
  EXPECT_EQ(std::count(s.begin() + 16, s.end(), 0), 2336);

  s = user;  // formless Mode 2: the header only
  EXPECT_EQ(EncodeSector(s.data(), 2, 150), 0);
  EXPECT_EQ(Hex(s.data() + 12, 4), "00 02 00 02");
  EXPECT_TRUE(std::equal(s.begin() + 16, s.end(), user.begin() + 16));

  s = user;  // Form 1: its own header, parity over a zero header
  std::memcpy(s.data() + 20, s.data() + 16, 4);
  EXPECT_EQ(EncodeSector(s.data(), 3, 150), 0);
  EXPECT_EQ(Hex(s.data() + 12, 4), "00 02 00 02");
  EXPECT_TRUE(coder.CalculateEDC(s.data(), 2, 1));
  EXPECT_FALSE(CheckECCP(s.data()));
  Sector zeroHeader = s;
  std::memset(zeroHeader.data() + 12, 0, 4);
  EXPECT_TRUE(CheckECCP(zeroHeader.data()));
  EXPECT_TRUE(CheckECCQ(zeroHeader.data()));

  s = user;  // Form 2: always an EDC, no parity
  s.fill(0);
  s[18] = s[22] = 0x20;
  EXPECT_EQ(EncodeSector(s.data(), 4, 150), 0);
  EXPECT_NE(StoredEdc(s, 2348), 0u);
  EXPECT_TRUE(coder.CalculateEDC(s.data(), 2, 2));
  EXPECT_EQ(std::count(s.begin() + 2072, s.begin() + 2348, 0), 2348 - 2072);
}

TEST(SectorEncoderTest, CoderXorsParityAndFillsEdc) {
  Sector s{};
  for (std::size_t i = 16; i < 2064; ++i) s[i] = static_cast<std::uint8_t>(i * 31);
  Sector encoded = s;
  ASSERT_EQ(EncodeSectorAtAddress(encoded.data(), 1, 1234), 0);
  CHalvorin_EDCECC coder;
  // The coder's way: sync, header, EDC, then P and Q XORed into zero bytes.
  std::memcpy(s.data(), encoded.data(), 16);
  coder.FillSectorEDC(s.data(), 1, false);
  coder.CalculateEccP(s.data());
  coder.CalculateEccQ(s.data());
  EXPECT_EQ(s, encoded);
  // On correct parity the XOR gives zeros; twice restores.
  coder.CalculateEccP(s.data());
  EXPECT_EQ(std::count(s.begin() + 2076, s.begin() + 2248, 0), 172);
  coder.CalculateEccP(s.data());
  EXPECT_EQ(s, encoded);
  coder.FillSectorEDC(s.data(), 3, false);  // no EDC for another mode
  EXPECT_EQ(s, encoded);
}

// crcmod's CRC-32 with the EDC polynomial, reflected, initial 0, no final XOR, over one range
// of each sector of the file (sector byte first..last); one hexadecimal value per line.
std::vector<std::uint32_t> CrcmodEdc(const std::string& file, const std::vector<int>& first,
                                     const std::vector<int>& last) {
  TempDir dir;
  std::ostringstream script;
  script << "import crcmod, sys\n"
         << "edc = crcmod.mkCrcFun(0x18001801B, initCrc=0, rev=True, xorOut=0)\n"
         << "data = open(sys.argv[1], 'rb').read()\n"
         << "ranges = [";
  for (std::size_t i = 0; i < first.size(); ++i)
    script << "(" << first[i] << "," << last[i] << "),";
  script << "]\n"
         << "for i, (a, b) in enumerate(ranges):\n"
         << "    s = data[2352 * i: 2352 * (i + 1)]\n"
         << "    print('%08x' % edc(s[a:b + 1]))\n";
  WriteFile(dir.P("edc.py"), script.str());
  std::string out;
  EXPECT_EQ(RunCommand(std::string(QUORVA_PYTHON) + " " + dir.P("edc.py") + " " + file, &out), 0)
      << out;
  std::vector<std::uint32_t> values;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    values.push_back(std::stoul(line, nullptr, 16));
  return values;
}

TEST(SectorEncoderTest, RandomSectorsOfEveryTypeMatchLibfecCrcmodAndTheRecorder) {
  std::mt19937 random(20240617);
  struct Made {
    int type;
    std::int32_t lba;
    Sector sector;
  };
  // The published zero Mode 1 sector at LBA 0 first, then random data of every type.
  std::vector<Made> made{{1, 0, {}}};
  ASSERT_EQ(EncodeSectorAtAddress(made[0].sector.data(), 1, 0), 0);
  for (int type = 0; type <= 4; ++type)
    for (int i = 0; i < 6; ++i) {
      Made m{type, static_cast<std::int32_t>(random() % 400000) - 150, {}};
      for (auto& b : m.sector) b = static_cast<std::uint8_t>(random());
      if (type >= 3) {
        m.sector[18] =
            static_cast<std::uint8_t>(type == 4 ? m.sector[18] | 0x20 : m.sector[18] & ~0x20);
        std::memcpy(m.sector.data() + 20, m.sector.data() + 16, 4);
      }
      ASSERT_EQ(EncodeSectorAtAddress(m.sector.data(), type, m.lba), 0);
      made.push_back(m);
    }

  // EDC by crcmod over the range of each type (types 0 and 2 carry none).
  TempDir dir;
  std::string all;
  std::vector<int> first, last, at;
  for (const Made& m : made) {
    all.append(m.sector.begin(), m.sector.end());
    const int a = m.type == 1 ? 0 : 16, b = m.type == 1 ? 2063 : m.type == 4 ? 2347 : 2071;
    first.push_back(a);
    last.push_back(b);
    at.push_back(b + 1);
  }
  WriteFile(dir.P("sectors.bin"), all);
  const std::vector<std::uint32_t> edc = CrcmodEdc(dir.P("sectors.bin"), first, last);
  ASSERT_EQ(edc.size(), made.size());

  ecma130::Libfec libfec;
  CHalvorin_EDCECC coder;
  for (std::size_t i = 0; i < made.size(); ++i) {
    const Made& m = made[i];
    SCOPED_TRACE("type " + std::to_string(m.type) + " LBA " + std::to_string(m.lba));
    if (m.type == 1 || m.type >= 3) {
      EXPECT_EQ(StoredEdc(m.sector, at[i]), edc[i]);
    }
    if (m.type == 1 || m.type == 3) {
      Sector body = m.sector;
      if (m.type == 3) std::memset(body.data() + 12, 0, 4);
      const std::vector<std::uint8_t> parity = libfec.Parity(body.data() + 12);
      EXPECT_TRUE(std::equal(parity.begin(), parity.end(), m.sector.begin() + 2076));
    }
    // The check finds each sector intact and leaves it alone.
    Sector checked = m.sector;
    const std::int32_t kind = m.type == 1 ? 1 : m.type >= 3 ? 2 : 0;
    EXPECT_TRUE(coder.CheckLB(checked.data(), kind));
    EXPECT_EQ(checked, m.sector);
  }

  // The recorder's coder makes the same Mode 1 and Form 1 sectors and scrambles alike.
  namespace vr = platform::aspi::vr;
  for (const Made& m : made) {
    if (m.type != 1 && m.type != 3) continue;
    Sector theirs{};
    if (m.type == 1)
      vr::EncodeMode1(m.lba, m.sector.data() + 16, theirs.data());
    else
      vr::EncodeMode2Form1(m.lba, m.sector.data() + 16, m.sector.data() + 24, theirs.data());
    EXPECT_EQ(theirs, m.sector);
    Sector ours = m.sector;
    ScrambleSector(ours.data());
    vr::Scramble(theirs.data());
    EXPECT_EQ(theirs, ours);
  }
}

}  // namespace
