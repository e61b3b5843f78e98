// The exported-function frame (statuses, the caller's prefix outputs, creating functions and
// handles) and the device search's rules that the C program cannot provoke.
#include <cstring>
#include <new>
#include <set>
#include <utility>
#include <vector>

#include "halvorin.h"
#include "lib/api/export_frame.h"
#include "tests/lib/lib_test_support.h"

namespace libtest {
namespace {

struct Canary {
  char text[16];
  std::uint32_t systemError = 0xCAFE;
  CDB_FAILURE_INFORMATION failure;
  Canary() {
    std::memset(text, '#', sizeof text);
    std::memset(&failure, 0xAB, sizeof failure);
  }
  HalvorinI_ExportPrefix Prefix(std::uint32_t length) {
    return {text, length, &systemError, &failure};
  }
};

TEST(ExportFrame, TextLongerThanTheBufferIsCutAndTerminated) {
  Canary c;
  const HALVORIN_STATUS status = HalvorinI_RunExport("Halvorin_Test", c.Prefix(10), [] {
    HalvorinI_ThrowException(10, 0, "CHalvorin_Test::Run(): Track is not blank!!!");
  });
  EXPECT_EQ(status, 10u);
  EXPECT_STREQ(c.text, "CHalvorin");
  EXPECT_EQ(c.text[10], '#');  // nothing beyond the length given
  EXPECT_EQ(c.systemError, 0xCAFEu);
}

TEST(ExportFrame, ANullExceptionIsStatus12AndLeavesTheTextAlone) {
  Canary c;
  const HALVORIN_STATUS status = HalvorinI_RunExport(
      "Halvorin_Test", c.Prefix(16), [] { throw static_cast<CHalvorin_Exception*>(nullptr); });
  EXPECT_EQ(status, 12u);
  for (char ch : c.text) EXPECT_EQ(ch, '#');
}

TEST(ExportFrame, StatusesOfTheDetailsAndOfForeignExceptions) {
  Canary c;
  EXPECT_EQ(HalvorinI_RunExport("Halvorin_Test", c.Prefix(16),
                                [] { HalvorinI_ThrowException(5, 32, "CreateFile() failed!!!"); }),
            5u);
  EXPECT_EQ(c.systemError, 32u);
  EXPECT_EQ(HalvorinI_RunExport("Halvorin_Test", c.Prefix(16), [] { throw std::bad_alloc(); }), 4u);
  EXPECT_EQ(HalvorinI_RunExport("Halvorin_Test", c.Prefix(16), [] { throw 42; }), 10u);
  // A success still zeroes the failure block first.
  std::memset(&c.failure, 0xAB, sizeof c.failure);
  EXPECT_EQ(HalvorinI_RunExport("Halvorin_Test", c.Prefix(16), [] {}), 0u);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&c.failure);
  for (size_t i = 0; i < sizeof c.failure; ++i) EXPECT_EQ(bytes[i], 0) << i;
}

struct Probe : CHalvorin_Object {
  explicit Probe(bool& destroyed) : destroyed_(destroyed) {}
  ~Probe() override { destroyed_ = true; }
  bool& destroyed_;
};

TEST(ExportFrame, CreatingFunctionsNeedTheLibraryStarted) {
  Canary c;
  bool destroyed = false;
  void* handle = &c;
  auto create = [&] { return std::make_unique<Probe>(destroyed); };

  Halvorin_DownShut();
  EXPECT_EQ(HalvorinI_RunCreatingExport("Halvorin_Test_Create", &handle, c.Prefix(16), create),
            21u);
  EXPECT_EQ(handle, nullptr);

  Halvorin_UpStart();
  ASSERT_EQ(HalvorinI_RunCreatingExport("Halvorin_Test_Create", &handle, c.Prefix(16), create), 0u);
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(HalvorinI_ObjectOf<Probe>(handle), nullptr);
  Halvorin_DownShut();  // objects created while started keep working
  Halvorin_Destroy(&handle);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(handle, nullptr);
  Halvorin_Destroy(&handle);  // a null handle: nothing happens
  EXPECT_EQ(handle, nullptr);

  Halvorin_UpStart();
  handle = &c;
  EXPECT_EQ(HalvorinI_RunCreatingExport("Halvorin_Test_Create", &handle, c.Prefix(16),
                                        []() -> std::unique_ptr<Probe> { throw std::bad_alloc(); }),
            4u);
  EXPECT_EQ(handle, nullptr);
}

// Host adapter 0: recorders at targets 0-2; adapters 1 and 2: a CD/DVD drive and a hard disk.
class DeviceSearch : public LibTest {
 protected:
  void SetUp() override {
    LibTest::SetUp();
    Devices({Media::CdR, Media::DvdR, Media::DvdPlusRw}, {0x05, 0x00});
  }
  struct Found {
    std::vector<std::pair<int, int>> addresses;
    int badReports = 0;
  };
  static void Collect(uint32_t reason, void* context, void* param1, void* param2) {
    auto* f = static_cast<Found*>(context);
    const auto* a = static_cast<const HALVORIN_DEVICE_ADDRESS*>(param1);
    if (reason != HALVORIN_CALLBACK_REASON_DEVICE_FOUND || !a || param2 ||
        a->m__UCHAR__IsValid != 1 || a->m__UCHAR__Bus != 0 || a->m__UCHAR__LUN != 0)
      ++f->badReports;
    if (a) f->addresses.emplace_back(a->m__UCHAR__HostAdapter, a->m__UCHAR__TargetID);
  }
  using List = std::vector<std::pair<int, int>>;
};

TEST_F(DeviceSearch, TheFilterSelectsTheDeviceType) {
  Found cdvd, any;
  EXPECT_EQ(Halvorin_FindDevice(5, 0, Collect, &cdvd), 4u);
  EXPECT_EQ(cdvd.addresses, (List{{0, 0}, {0, 1}, {0, 2}, {1, 0}}));
  EXPECT_EQ(Halvorin_FindDevice(-1, 0, Collect, &any), 5u);
  EXPECT_EQ(any.addresses, (List{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {2, 0}}));
  Found disks;
  EXPECT_EQ(Halvorin_FindDevice(0, 0, Collect, &disks), 1u);
  EXPECT_EQ(disks.addresses, (List{{2, 0}}));
  EXPECT_EQ(cdvd.badReports + any.badReports + disks.badReports, 0);
  EXPECT_EQ(Halvorin_FindDevice(5, 0, nullptr, nullptr), 4u);
}

TEST_F(DeviceSearch, StopAtFirstProbesNoFurther) {
  at::ClearCdbLog(1);
  Found f;
  EXPECT_EQ(Halvorin_FindDevice(5, 1, Collect, &f), 1u);
  EXPECT_EQ(f.addresses, (List{{0, 0}}));
  EXPECT_TRUE(at::CdbLog(1).empty());
}

// A target whose INQUIRY times out or is answered busy is left out; the search goes on.
TEST_F(DeviceSearch, ATargetThatDoesNotAnswerIsSkipped) {
  at::InjectHang(1, 1, 0x12);
  at::InjectBusy(2, 1, 0x12);
  Found f;
  EXPECT_EQ(Halvorin_FindDevice(5, 0, Collect, &f), 2u);
  EXPECT_EQ(f.addresses, (List{{0, 0}, {1, 0}}));
  Found again;
  EXPECT_EQ(Halvorin_FindDevice(5, 0, Collect, &again), 4u);
}

TEST_F(DeviceSearch, DeviceNamesAreCutToTheBuffer) {
  char name[64];
  EXPECT_EQ(Halvorin_GetDeviceNameByDeviceAddress(0, 0, 1, 0, name, sizeof name), 0u);
  EXPECT_STREQ(name, "Recorder1");
  EXPECT_EQ(Halvorin_GetDeviceNameByDeviceAddress(1, 0, 0, 0, name, sizeof name), 0u);
  EXPECT_STREQ(name, "/dev/sg0");
  char shortName[5];
  std::memset(shortName, '#', sizeof shortName);
  EXPECT_EQ(Halvorin_GetDeviceNameByDeviceAddress(0, 0, 2, 0, shortName, 4), 0u);
  EXPECT_STREQ(shortName, "Rec");
  EXPECT_EQ(shortName[4], '#');
  EXPECT_EQ(Halvorin_GetDeviceNameByDeviceAddress(0, 0, 9, 0, name, sizeof name), 17u);
  EXPECT_EQ(Halvorin_GetDeviceNameByDeviceAddress(7, 0, 0, 0, name, sizeof name), 17u);
}

}  // namespace
}  // namespace libtest
