// The read-only file stream handed to the media runtime.
#include <unistd.h>

#include "lib/audio/read_only_file_stream.h"
#include "tests/lib/audio/audio_test_support.h"

namespace audiotest {
namespace {

namespace com = platform::com;

class FileStream : public AudioTest {
 protected:
  void SetUp() override {
    AudioTest::SetUp();
    WriteFile(dir.P("data.bin"), "0123456789abcdefghij");
    stream = new CTidewell_ReadOnlyFileStream;
    ASSERT_EQ(stream->Open(dir.W("data.bin").c_str()), com::S_OK);
  }
  void TearDown() override {
    if (stream) {
      EXPECT_EQ(stream->Release(), 0u);
    }
    AudioTest::TearDown();
  }
  // The count, seen through one more reference.
  std::uint32_t References() {
    stream->AddRef();
    return stream->Release();
  }
  std::uint64_t Position() {
    std::uint64_t p = 0;
    EXPECT_EQ(stream->Seek(0, com::STREAM_SEEK_CUR, &p), com::S_OK);
    return p;
  }

  CTidewell_ReadOnlyFileStream* stream = nullptr;
};

TEST_F(FileStream, QueryInterfaceGivesTheSameObjectForStreamAndUnknown) {
  EXPECT_EQ(References(), 1u);
  for (const com::IID* iid : {&com::IID_IStream, &com::IID_IUnknown}) {
    void* object = nullptr;
    ASSERT_EQ(stream->QueryInterface(*iid, &object), com::S_OK);
    EXPECT_EQ(object, static_cast<com::IStream*>(stream));
  }
  EXPECT_EQ(References(), 3u);
  const com::IID other = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  void* object = stream;
  EXPECT_EQ(stream->QueryInterface(other, &object), com::E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(stream->QueryInterface(com::IID_IStream, nullptr), com::E_INVALIDARG);
  EXPECT_EQ(References(), 3u);
  EXPECT_EQ(stream->Release(), 2u);
  EXPECT_EQ(stream->Release(), 1u);
}

TEST_F(FileStream, ReadsAndAShortReadAtTheEndSucceeds) {
  char buffer[32] = {};
  std::uint32_t got = 0;
  ASSERT_EQ(stream->Read(buffer, 4, &got), com::S_OK);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  ASSERT_EQ(stream->Read(buffer, 32, &got), com::S_OK);
  EXPECT_EQ(got, 16u);
  EXPECT_EQ(std::string(buffer, 16), "456789abcdefghij");
  ASSERT_EQ(stream->Read(buffer, 32, nullptr), com::S_OK);
  EXPECT_EQ(stream->Read(nullptr, 4, &got), com::E_INVALIDARG);
}

struct SeekCase {
  std::int64_t move;
  std::uint32_t origin;
  com::HRESULT result;
  std::uint64_t position;  // after the seek, starting from 5
};

TEST_F(FileStream, SeekMovesFromEachOriginAndRefusesOthers) {
  const SeekCase cases[] = {
      {3, com::STREAM_SEEK_SET, com::S_OK, 3},
      {4, com::STREAM_SEEK_CUR, com::S_OK, 9},
      {-2, com::STREAM_SEEK_CUR, com::S_OK, 3},
      {-6, com::STREAM_SEEK_END, com::S_OK, 14},
      {0, 3, com::E_INVALIDARG, 5},
      {-9, com::STREAM_SEEK_SET, com::HRESULT_FROM_WIN32(22), 5},
  };
  for (const SeekCase& c : cases) {
    ASSERT_EQ(stream->Seek(5, com::STREAM_SEEK_SET, nullptr), com::S_OK);
    std::uint64_t position = 99;
    EXPECT_EQ(stream->Seek(c.move, c.origin, &position), c.result) << c.move << " " << c.origin;
    if (c.result == com::S_OK) {
      EXPECT_EQ(position, c.position);
    }
    EXPECT_EQ(Position(), c.position) << c.move << " " << c.origin;
  }
}

TEST_F(FileStream, StatReportsAStreamOfTheFileSizeWithNoName) {
  com::STATSTG s;
  std::memset(&s, 0xAB, sizeof s);
  ASSERT_EQ(stream->Stat(&s, com::STATFLAG_NONAME), com::S_OK);
  EXPECT_EQ(s.type, com::STGTY_STREAM);
  EXPECT_EQ(s.cbSize, 20u);
  EXPECT_EQ(s.pwcsName, nullptr);
  EXPECT_EQ(s.grfMode, 0u);
  EXPECT_EQ(stream->Stat(&s, com::STATFLAG_DEFAULT), com::E_INVALIDARG);
  EXPECT_EQ(stream->Stat(nullptr, com::STATFLAG_NONAME), com::E_INVALIDARG);
}

TEST_F(FileStream, WritingAndLockingAreNotImplemented) {
  std::uint64_t a = 0, b = 0;
  com::IStream* clone = nullptr;
  EXPECT_EQ(stream->Write("x", 1, nullptr), com::E_NOTIMPL);
  EXPECT_EQ(stream->SetSize(1), com::E_NOTIMPL);
  EXPECT_EQ(stream->CopyTo(stream, 1, &a, &b), com::E_NOTIMPL);
  EXPECT_EQ(stream->Commit(0), com::E_NOTIMPL);
  EXPECT_EQ(stream->Revert(), com::E_NOTIMPL);
  EXPECT_EQ(stream->LockRegion(0, 1, 0), com::E_NOTIMPL);
  EXPECT_EQ(stream->UnlockRegion(0, 1, 0), com::E_NOTIMPL);
  EXPECT_EQ(stream->Clone(&clone), com::E_NOTIMPL);
}

TEST_F(FileStream, PositionsAndSizesPass4GiB) {
  const std::uint64_t size = (std::uint64_t{5} << 30) + 3;
  WriteFile(dir.P("big.bin"), "");
  ASSERT_EQ(truncate(dir.P("big.bin").c_str(), static_cast<off_t>(size)), 0);
  auto* big = new CTidewell_ReadOnlyFileStream;
  ASSERT_EQ(big->Open(dir.W("big.bin").c_str()), com::S_OK);
  std::uint64_t position = 0;
  ASSERT_EQ(big->Seek(-1, com::STREAM_SEEK_END, &position), com::S_OK);
  EXPECT_EQ(position, size - 1);
  com::STATSTG s{};
  ASSERT_EQ(big->Stat(&s, com::STATFLAG_NONAME), com::S_OK);
  EXPECT_EQ(s.cbSize, size);
  EXPECT_EQ(big->Release(), 0u);
}

TEST_F(FileStream, OpenOfAMissingFileFailsWithItsErrorAndTheLastReleaseClosesTheFile) {
  auto* missing = new CTidewell_ReadOnlyFileStream;
  EXPECT_EQ(missing->Open(dir.W("none.bin").c_str()), com::HRESULT_FROM_WIN32(2));
  EXPECT_EQ(missing->Release(), 0u);
  const int before = OpenDescriptors();
  auto* other = new CTidewell_ReadOnlyFileStream;
  ASSERT_EQ(other->Open(dir.W("data.bin").c_str()), com::S_OK);
  EXPECT_EQ(OpenDescriptors(), before + 1);
  other->AddRef();
  EXPECT_EQ(other->Release(), 1u);
  EXPECT_EQ(OpenDescriptors(), before + 1);
  EXPECT_EQ(other->Release(), 0u);
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace audiotest
