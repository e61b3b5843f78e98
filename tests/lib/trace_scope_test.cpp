// The entry and exit traces of the library's methods: one scope per method writes "ENTERed",
// then "EXITing with success" or the failure line of the exception that leaves it.
#include "lib/core/trace_scope.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lib/core/burner/cache.h"
#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/halvorin_exception.h"
#include "lib/mastering/tree/file_chain.h"
#include "lib/mastering/tree/file_objects.h"
#include "platform/debug/debug.h"
#include "tests/lib/lib_test_support.h"
#include "tests/support/temp_dir.h"

namespace libtest {
namespace {

bool Has(const std::string& text, const std::string& line) {
  return text.find(line) != std::string::npos;
}

std::string Failure(const std::string& method, int status, const std::string& text) {
  char number[16];
  std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(status));
  return "\n" + method + "(): EXITing with failure, exception number " + number +
         ", exception text '" + text + "'!!!\n";
}

TEST(TraceScope, SuccessFailureAndNestedScopes) {
  platform::debug::Capture capture;
  { CHalvorin_TraceScope trace("CHalvorin_Test::Quiet"); }
  const auto thrown = Catch([] {
    CHalvorin_TraceScope outer("CHalvorin_Test::Outer");
    {
      // An exception caught and freed inside a scope does not make it fail.
      CHalvorin_TraceScope handled("CHalvorin_Test::Handled");
      const auto freed = Catch([] { HalvorinI_ThrowException(2, 0, "first"); });
      EXPECT_TRUE(freed.thrown);
    }
    CHalvorin_TraceScope inner("CHalvorin_Test::Inner");
    HalvorinI_ThrowException(10, 0, "CHalvorin_Test::Inner(): Track is not blank!!!");
  });
  ASSERT_TRUE(thrown.thrown);
  const std::string text = capture.Text();
  EXPECT_TRUE(Has(text, "\nCHalvorin_Test::Quiet(): ENTERed\n"));
  EXPECT_TRUE(Has(text, "\nCHalvorin_Test::Quiet(): EXITing with success\n"));
  EXPECT_TRUE(Has(text, "\nCHalvorin_Test::Handled(): EXITing with success\n"));
  const std::string why = "CHalvorin_Test::Inner(): Track is not blank!!!";
  EXPECT_TRUE(Has(text, Failure("CHalvorin_Test::Inner", 10, why)));
  EXPECT_TRUE(Has(text, Failure("CHalvorin_Test::Outer", 10, why)));
  EXPECT_FALSE(Has(text, "\nCHalvorin_Test::Outer(): EXITing with success\n"));
  // The inner scope ends before the outer one.
  EXPECT_LT(text.find(Failure("CHalvorin_Test::Inner", 10, why)),
            text.find(Failure("CHalvorin_Test::Outer", 10, why)));
}

TEST(TraceScope, ANullExceptionAndAForeignOneAreNamedAsSuch) {
  platform::debug::Capture capture;
  try {
    CHalvorin_TraceScope trace("CHalvorin_Test::Null");
    HalvorinI_Throw(nullptr);
  } catch (CHalvorin_Exception* e) {
    EXPECT_EQ(e, nullptr);
  }
  try {
    CHalvorin_TraceScope trace("CHalvorin_Test::Foreign");
    throw std::runtime_error("not ours");
  } catch (const std::runtime_error&) {
  }
  const std::string text = capture.Text();
  EXPECT_TRUE(Has(text,
                  "\nCHalvorin_Test::Null(): EXITing with failure, WARNING! Exception "
                  "pointer is NULL!\n"));
  EXPECT_TRUE(Has(text, "\nCHalvorin_Test::Foreign(): EXITing with failure"));
  EXPECT_FALSE(Has(text, "\nCHalvorin_Test::Foreign(): EXITing with success\n"));
}

// Methods of the burner/grabber, the cache, the chain and the files trace their entry and exit.
class LibraryTraces : public LibTest {};

TEST_F(LibraryTraces, BurnerCacheChainAndFileMethods) {
  Devices({Media::CdR});
  TempDir dir;
  WriteFile(dir.P("gone.bin"), "data");
  std::string gone = "Z:" + dir.P("gone.bin");
  for (char& c : gone)
    if (c == '/') c = '\\';
  const struct {
    const char* method;
    std::function<void()> call;
    int status;  // 0: the call succeeds
  } cases[] = {
      {"CHalvorin_CdvdBurnerGrabber::GetInsertedDiscType",
       [] {
         CHalvorin_CdvdBurnerGrabber burner(nullptr, nullptr, 0, 0, 0, 0, 1);
         EXPECT_EQ(burner.GetInsertedDiscType(), DISC_TYPE_CDR);
       },
       0},
      {"CHalvorin_CdvdBurnerGrabber::GetTOCInformation",
       [] {
         CHalvorin_CdvdBurnerGrabber burner(nullptr, nullptr, 0, 0, 0, 0, 1);
         auto toc = std::make_unique<TOC_INFORMATION>();
         burner.GetTOCInformation(toc.get());  // a blank disc has no TOC
       },
       8},
      {"CHalvorin_CacheManager::CHalvorin_CacheManager",
       [] { CHalvorin_CacheManager cache(2, 2048); }, 0},
      {"CHalvorin_FileChain::SeekToBegin",
       [] {
         CHalvorin_FileChain chain;
         chain.SeekToBegin();
       },
       3},
      {"CHalvorin_MemoryFile::RealRead",
       [] {
         const std::uint8_t block[2] = {1, 2};
         CHalvorin_MemoryFile file(block, 2);
         CHalvorin_FileChain chain;
         chain.AddChainTail(&file);
         std::uint8_t out[2];
         chain.Read(2, out);
       },
       0},
      {"CHalvorin_UnLockedDiskFile::Open",
       [&] {
         CHalvorin_UnLockedDiskFile file(gone.c_str(), 4);
         std::remove(dir.P("gone.bin").c_str());
         CHalvorin_FileChain chain;
         chain.AddChainTail(&file);
         std::uint8_t out[4];
         chain.Read(4, out);
       },
       5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    platform::debug::Capture capture;
    const auto thrown = Catch(c.call);
    EXPECT_EQ(thrown.thrown, c.status != 0);
    const std::string text = capture.Text();
    EXPECT_TRUE(Has(text, "\n" + std::string(c.method) + "(): ENTERed\n")) << text;
    if (c.status == 0) {
      EXPECT_TRUE(Has(text, "\n" + std::string(c.method) + "(): EXITing with success\n"));
    } else {
      EXPECT_EQ(thrown.Status(), c.status);
      EXPECT_TRUE(Has(text, Failure(c.method, c.status, thrown.Text()))) << text;
    }
  }
}

}  // namespace
}  // namespace libtest
