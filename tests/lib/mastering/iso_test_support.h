// Helpers of the image tests: a tree through the exports, its image read in odd chunks into a
// file, and the collision answers the tests script.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "halvorin.h"
#include "tests/support/temp_dir.h"

namespace isotest {

// Every test process gets its own program and configuration folders.
class IsoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QUORVA_HOME", home_.Posix().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home_.Posix().c_str(), 1);
    Halvorin_UpStart();
  }
  void TearDown() override {
    if (tree_) Halvorin_Destroy(&tree_);
  }

  // Records every callback; answers collisions with `answer` (and a rename from `rename`).
  struct Events {
    std::vector<std::pair<uint32_t, std::string>> calls;
    std::vector<HALVORIN_NAME_COLLISION_RECORD> collisions;
    std::function<void(HALVORIN_NAME_COLLISION_RECORD*)> answer;
  };
  static void Callback(uint32_t reason, void* context, void* p1, void*) {
    auto* events = static_cast<Events*>(context);
    if (reason == HALVORIN_CALLBACK_REASON_NAME_COLLISION) {
      auto* record = static_cast<HALVORIN_NAME_COLLISION_RECORD*>(p1);
      events->collisions.push_back(*record);
      if (events->answer) events->answer(record);
      events->calls.push_back({reason, ""});
      return;
    }
    events->calls.push_back({reason, p1 ? static_cast<const char*>(p1) : ""});
  }
  // Renames a colliding name uniquely (both kinds), as a caller's callback does.
  static void RenameUniquely(HALVORIN_NAME_COLLISION_RECORD* record) {
    static int counter = 0;
    ++counter;
    if (record->m__UCHAR__NameKind == HALVORIN_COLLISION_KIND_ISO9660) {
      std::snprintf(reinterpret_cast<char*>(record->m__UCHAR__Identifier), 520, "R%07d;1", counter);
    } else {
      const std::string text = "renamed" + std::to_string(counter) + ";1";
      std::memset(record->m__UCHAR__Identifier, 0, 520);
      for (size_t i = 0; i < text.size(); ++i)
        record->m__UCHAR__Identifier[2 * i] = static_cast<uint8_t>(text[i]);
    }
    record->m__ULONG__Answer = HALVORIN_COLLISION_RENAME;
  }

  HALVORIN_STATUS Create(bool joliet, bool ignore = false, bool longIds = false,
                         bool holdOpen = false) {
    return Halvorin_ISO9660JolietFileTree_Create(&tree_, text_, sizeof text_, &error_,
                                                 &IsoTest::Callback, &events_, ignore, holdOpen,
                                                 longIds, joliet);
  }
  HALVORIN_STATUS Add(const std::string& winPath, void* parent = nullptr,
                      const char* name = nullptr) {
    return Halvorin_ISO9660JolietFileTree_Add(tree_, text_, sizeof text_, &error_,
                                              winPath.empty() ? nullptr : winPath.c_str(), name, 2,
                                              &parent);
  }
  HALVORIN_STATUS Build(int32_t start = 0, const char* label = "QUORVABACKUP") {
    return Halvorin_ISO9660JolietFileTree_BuildImage(tree_, text_, sizeof text_, &error_, start, 0,
                                                     1, label, "QB.exe", "QB.exe");
  }
  uint64_t ImageSize() {
    uint32_t high = 0;
    const uint32_t low = Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(tree_, &high);
    return (uint64_t(high) << 32) | low;
  }
  // The whole image in chunks of odd sizes, into a file; the status of the first failure.
  HALVORIN_STATUS WriteImage(const std::string& posixPath) {
    std::ofstream out(posixPath, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    const int32_t chunks[] = {1, 2047, 4099, 65537, 1000003, 12345};
    uint64_t left = ImageSize();
    for (size_t i = 0; left > 0; ++i) {
      const int32_t n = static_cast<int32_t>(std::min<uint64_t>(left, chunks[i % 6]));
      const HALVORIN_STATUS s = Halvorin_ISO9660JolietFileTree_Read(tree_, text_, sizeof text_,
                                                                    &error_, n, buffer.data());
      if (s) return s;
      out.write(buffer.data(), n);
      left -= static_cast<uint64_t>(n);
    }
    return out ? HALVORIN_STATUS_SUCCESS : HALVORIN_STATUS_GENERAL_FAILURE;
  }

  TempDir home_;
  TempDir dir_;
  void* tree_ = nullptr;
  char text_[512] = {};
  uint32_t error_ = 0;
  Events events_;
};

inline std::string Shell(const std::string& command, int* status = nullptr) {
  std::string output;
  const int s = RunCommand(command + " 2>&1", &output);
  if (status) *status = s;
  return output;
}

}  // namespace isotest
