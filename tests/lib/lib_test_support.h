// Shared helpers of the library's tests: the ASPI layer's test fixture (temporary program
// folder and registry, fake clock, virtual recorders), a fake SG_IO kernel for devices the
// virtual recorders cannot be, and catching the library's exception pointers.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lib/core/halvorin_exception.h"
#include "platform/aspi/adapters/sg_io_system.h"
#include "tests/aspi/aspi_test_support.h"

namespace libtest {

using aspitest::AspiTest;
using aspitest::Media;
namespace aspi = platform::aspi;
namespace at = platform::aspi::testing;

// SG_IO devices whose INQUIRY reports the given peripheral device types; every other command
// succeeds without data. Each device is its own kernel host, so each is one host adapter.
class FakeSgKernel : public aspi::SgIoSystem {
 public:
  explicit FakeSgKernel(std::vector<std::uint8_t> types) : types_(std::move(types)) {}

  std::vector<aspi::SgDeviceNode> ListDevices() override {
    std::vector<aspi::SgDeviceNode> nodes;
    for (size_t i = 0; i < types_.size(); ++i)
      nodes.push_back({"/dev/sg" + std::to_string(i), static_cast<int>(i), 0, 0, 0, 5});
    return nodes;
  }
  int Open(const std::string& path) override { return 100 + std::stoi(path.substr(7)); }
  int Close(int) override { return 0; }
  int SgIo(int fd, sg_io_hdr_t* h) override {
    const auto* cdb = static_cast<const std::uint8_t*>(h->cmdp);
    if (cdb[0] == 0x12 && h->dxfer_direction == SG_DXFER_FROM_DEV && h->dxfer_len >= 36) {
      auto* data = static_cast<std::uint8_t*>(h->dxferp);
      std::memset(data, 0, h->dxfer_len);
      data[0] = types_.at(static_cast<size_t>(fd - 100));
      std::memcpy(data + 8, "FAKESG  Fake SG device  0.01", 28);
    }
    return 0;
  }

 private:
  std::vector<std::uint8_t> types_;
};

// The fixture with virtual recorders on host adapter 0 and, after them, the fake SG devices
// (an empty list keeps this machine's own drives out).
class LibTest : public AspiTest {
 protected:
  void Devices(std::vector<Media> recorders, std::vector<std::uint8_t> sgTypes = {}) {
    at::UseSgIoSystem(std::make_shared<FakeSgKernel>(std::move(sgTypes)));
    Recorders(std::move(recorders));
  }
};

// What a call threw: `thrown` false when it returned; the exception may be null.
struct Thrown {
  bool thrown = false;
  std::unique_ptr<CHalvorin_Exception> exception;
  std::int32_t Status() const { return exception ? exception->GetStatus() : -1; }
  std::string Text() const { return exception ? exception->GetText() : ""; }
};

template <class Body>
Thrown Catch(Body&& body) {
  Thrown t;
  try {
    body();
  } catch (CHalvorin_Exception* e) {
    t.thrown = true;
    t.exception.reset(e);
  }
  return t;
}

inline std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string s;
  char b[4];
  for (auto v : bytes) {
    std::snprintf(b, sizeof b, "%02X ", v);
    s += b;
  }
  return s;
}

}  // namespace libtest
