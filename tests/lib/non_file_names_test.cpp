// Names that lead to no regular file (a FIFO, a socket, a device, a folder, a name removed) at
// every entry point of the library that reads a named file: the audio check and reader, the
// session-at-once of a WAV list, the file objects, the image descriptors, the file tree and the
// UDF file items.
// Each is refused with its caller's "cannot open" status and text, and none waits: every call
// runs under a time limit that turns a blocked open into a failure.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "halvorin.h"
#include "lib/audio/tidewell.h"
#include "lib/mastering/tree/file_chain.h"
#include "lib/mastering/tree/file_objects.h"
#include "platform/debug/debug.h"
#include "tests/lib/grab/grab_test_support.h"
#include "tests/support/fifo_time_limit.h"

namespace grabtest {
namespace {

struct Kind {
  const char* label;
  int error;  // of the refused open
};
constexpr Kind kKinds[] = {
    {"FIFO", EINVAL},   {"socket", ENXIO},   {"device", EINVAL},
    {"folder", EISDIR}, {"removed", ENOENT},
};

bool IsRemoved(const Kind& kind) {
  return std::strcmp(kind.label, "removed") == 0;
}

std::string CreateFileText(const std::string& method, const std::string& name, int error) {
  return method + ": CreateFile( '" + name + "' ) failed, status " + std::to_string(error) + "!!!";
}

std::uint32_t ReadU32(const Bytes& b, std::size_t at) {
  std::uint32_t v = 0;
  std::memcpy(&v, b.data() + at, sizeof v);
  return v;
}

class NonFileNames : public GrabTest {
 protected:
  // Puts an entry of the kind under `posix` in place of whatever was there.
  void Make(const Kind& kind, const std::string& posix) {
    std::filesystem::remove_all(posix);
    const std::string k = kind.label;
    if (k == "FIFO") {
      ASSERT_EQ(mkfifo(posix.c_str(), 0600), 0);
      fifos.push_back(posix);
    } else if (k == "socket") {
      const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      ASSERT_LT(posix.size(), sizeof address.sun_path);
      std::memcpy(address.sun_path, posix.c_str(), posix.size());
      const int rc = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
      close(fd);
      ASSERT_EQ(rc, 0);
    } else if (k == "device") {
      ASSERT_EQ(symlink("/dev/zero", posix.c_str()), 0);
    } else if (k == "folder") {
      ASSERT_EQ(mkdir(posix.c_str(), 0700), 0);
    }
  }
  // A call that waits on one of the FIFOs made fails the test instead of hanging it.
  void Within(const std::function<void()>& call) {
    EXPECT_TRUE(ReturnsWithin(std::chrono::seconds(60), fifos, call)) << "the call waited";
  }

  std::vector<std::string> fifos;
};

TEST_F(NonFileNames, AudioCheckAndReaderRefuseWithTheirOpenFailure) {
  for (const Kind& kind : kKinds)
    for (const char* file : {"k.wav", "k.raw"}) {
      SCOPED_TRACE(std::string(kind.label) + ", " + file);
      const std::string name = dir.W(file);
      Make(kind, dir.P(file));
      platform::debug::Capture capture;
      HALVORIN_STATUS supported = 0;
      std::uint32_t created = 0;
      void* reader = nullptr;
      Within([&] {
        supported = Halvorin_IsAudioFileSupported(name.c_str());
        created = Tidewell_CompressedFileReaderObjectCreate(&reader, name.c_str());
      });
      EXPECT_EQ(supported, HALVORIN_STATUS_AUDIO_FILE_NOT_SUPPORTED);
      EXPECT_EQ(created, 0x80070000u | static_cast<std::uint32_t>(kind.error));
      EXPECT_EQ(reader, nullptr);
      const std::string log = capture.Text();
      EXPECT_NE(log.find("(): CreateFileA( '" + name +
                         "', GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, "
                         "FILE_ATTRIBUTE_NORMAL, NULL ) failed, status " +
                         std::to_string(kind.error) + " ( 0x"),
                std::string::npos)
          << log;
    }
}

TEST_F(NonFileNames, SessionAtOnceOfAWavListRefusesTheTrackBeforeWriting) {
  Devices({Media::CdR});
  ASSERT_EQ(Create(), 0u) << text;
  Run("sox -n -r 44100 -c 2 -b 16 -e signed-integer " + dir.P("a.wav") + " synth 1 sine 440");
  auto list = std::make_unique<SAO_TRACK_ARRAY>();
  const auto fill = [&](std::initializer_list<std::string> names) {
    std::memset(list.get(), 0, sizeof *list);
    for (const std::string& n : names)
      std::snprintf(
          list->m__SAO_TRACK_ENTRY__Tracks[list->m__LONG__NumberOfTracks++].m__CHAR__FileName, 260,
          "%s", n.c_str());
    return list.get();
  };
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.label);
    Make(kind, dir.P("k.wav"));
    HALVORIN_STATUS s = 0;
    Within([&] {
      s = Halvorin_CdvdBurnerGrabber_SessionAtOnce(
          BURNER_ARGS, fill({dir.W("a.wav"), dir.W("k.wav")}), 0, 0, 0, 0, 0);
    });
    EXPECT_EQ(s, HALVORIN_STATUS_SYSTEM_CALL);
    EXPECT_EQ(error, static_cast<std::uint32_t>(kind.error));
    EXPECT_NE(std::string(text).find(CreateFileText("CHalvorin_DiskFile::CHalvorin_DiskFile()",
                                                    dir.W("k.wav"), kind.error)),
              std::string::npos)
        << text;
  }
  // Nothing reached the disc: it takes the list of the one WAV file.
  EXPECT_EQ(
      Halvorin_CdvdBurnerGrabber_SessionAtOnce(BURNER_ARGS, fill({dir.W("a.wav")}), 0, 0, 0, 0, 0),
      0u)
      << text;
}

TEST_F(NonFileNames, FileObjectsRefuseWithTheirCreateFileText) {
  constexpr const char* kDiskFile = "CHalvorin_DiskFile::CHalvorin_DiskFile()";
  struct Object {
    const char* label;
    std::function<void(const char*)> make;
    const char* method;  // of the failure, the name given
  };
  const Object objects[] = {
      {"disk file", [](const char* p) { CHalvorin_DiskFile f(p); }, kDiskFile},
      {"disk file of a size", [](const char* p) { CHalvorin_DiskFile f(p, 4096); }, kDiskFile},
      {"audio file", [](const char* p) { CHalvorin_TidewellFile f(p); }, kDiskFile},
      {"MPEG file", [](const char* p) { CHalvorin_MPEG12DiskFile f(p); }, kDiskFile},
      // Made with a permission check only: its first read opens it.
      {"unlocked disk file, read",
       [](const char* p) {
         CHalvorin_UnLockedDiskFile f(p, 4096);
         CHalvorin_FileChain chain;
         chain.AddChainTail(&f);
         chain.SeekToBegin();
         std::vector<std::uint8_t> buffer(4096);
         chain.Read(buffer.size(), buffer.data());
       },
       "CHalvorin_UnLockedDiskFile::Open()"},
  };
  for (const Kind& kind : kKinds)
    for (const Object& object : objects) {
      SCOPED_TRACE(std::string(kind.label) + ", " + object.label);
      const std::string name = dir.W("k.dat");
      Make(kind, dir.P("k.dat"));
      libtest::Thrown thrown;
      Within([&] { thrown = libtest::Catch([&] { object.make(name.c_str()); }); });
      ASSERT_TRUE(thrown.thrown);
      EXPECT_EQ(thrown.Status(), HALVORIN_STATUS_SYSTEM_CALL);
      EXPECT_EQ(thrown.exception->GetDetail(), static_cast<std::uintptr_t>(kind.error));
      // A name already gone fails the unlocked file's check when it is made.
      const std::string method = IsRemoved(kind) ? kDiskFile : object.method;
      EXPECT_EQ(thrown.Text(), CreateFileText(method, name, kind.error));
    }
}

TEST_F(NonFileNames, DescriptorsRefuseADescriptorOrDataFileThatIsNoFile) {
  Devices({Media::CdR});
  WriteDataCd(400000, false);
  ASSERT_EQ(GrabCD(dir.W("g"), 2), 0u) << text;
  ASSERT_EQ(Halvorin_CdvdBurnerGrabber_Eject(BURNER_ARGS), 0u) << text;
  const Bytes descriptor = Slurp(dir.P("g.mds"));
  // The same descriptor with track sizes of 0: the reader takes them from the data file.
  Bytes zeroSized = descriptor;
  const std::uint32_t session = ReadU32(descriptor, 80);
  const std::uint32_t tracks = ReadU32(descriptor, session + 20);
  for (std::uint32_t i = 0; i < descriptor.at(session + 10); ++i) {
    const std::size_t track = tracks + i * 80;
    if ((descriptor.at(track) & 0x07) == 0) continue;
    std::memset(zeroSized.data() + ReadU32(descriptor, track + 52) + 8, 0, 4);
  }
  const auto burn = [&](const std::string& name) {
    HALVORIN_STATUS s = 0;
    Within([&] {
      s = Halvorin_CdvdBurnerGrabber_SessionAtOnceRawRawPW(BURNER_ARGS, name.c_str(), 0, 0, 0, 0);
    });
    return s;
  };
  // The descriptor reader's text names no file.
  const auto parseText = [](int status) {
    return "HalvorinI_ParseMDS( ... ) failed, status " + std::to_string(status) + " (";
  };
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.label);
    const std::string label = kind.label;
    // The descriptor itself.
    Make(kind, dir.P("k.mds"));
    EXPECT_EQ(burn(dir.W("k.mds")), HALVORIN_STATUS_SYSTEM_CALL);
    EXPECT_EQ(error, static_cast<std::uint32_t>(kind.error));
    EXPECT_NE(std::string(text).find(parseText(kind.error)), std::string::npos) << text;
    // Its data file, the track sizes given.
    WriteFile(dir.P("sized " + label + "/g.mds"),
              std::string(descriptor.begin(), descriptor.end()));
    Make(kind, dir.P("sized " + label + "/g.qvf"));
    EXPECT_EQ(burn(dir.W("sized " + label + "/g.mds")), HALVORIN_STATUS_SYSTEM_CALL);
    EXPECT_EQ(error, static_cast<std::uint32_t>(kind.error));
    EXPECT_NE(
        std::string(text).find(CreateFileText("CHalvorin_DiskFile::CHalvorin_DiskFile()",
                                              dir.W("sized " + label + "/g.qvf"), kind.error)),
        std::string::npos)
        << text;
    // Its data file, the track sizes taken from it.
    WriteFile(dir.P("zero " + label + "/g.mds"), std::string(zeroSized.begin(), zeroSized.end()));
    Make(kind, dir.P("zero " + label + "/g.qvf"));
    EXPECT_EQ(burn(dir.W("zero " + label + "/g.mds")), HALVORIN_STATUS_SYSTEM_CALL);
    EXPECT_EQ(error, static_cast<std::uint32_t>(kind.error));
    EXPECT_NE(std::string(text).find(parseText(kind.error)), std::string::npos) << text;
  }
}

class NonFileTree : public NonFileNames {
 protected:
  struct Ignored {
    std::vector<std::string> names;
  };
  static void OnName(uint32_t reason, void* context, void* p1, void*) {
    if (reason == HALVORIN_CALLBACK_REASON_IGNORE_NAME)
      static_cast<Ignored*>(context)->names.push_back(static_cast<const char*>(p1));
  }
  HALVORIN_STATUS NewTree() {
    if (tree) Halvorin_Destroy(&tree);
    ignored.names.clear();
    return Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &error,
                                                 &NonFileTree::OnName, &ignored, 0, 0, 0, 1);
  }
  HALVORIN_STATUS Add(const std::string& name) {
    void* root = nullptr;
    return Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &error, name.c_str(),
                                              nullptr, 2, &root);
  }
  // Lays the image out and reads it whole into `image`: the first failing status.
  HALVORIN_STATUS BuildAndRead(Bytes* image) {
    HALVORIN_STATUS s = Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &error,
                                                                  0, 0, 0, "TREE", "", "");
    if (s) return s;
    uint32_t high = 0;
    const uint32_t low = Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high);
    image->assign((static_cast<std::uint64_t>(high) << 32) | low, 0);
    for (std::size_t at = 0; at < image->size() && !s; at += 65536) {
      const auto n = static_cast<int32_t>(std::min<std::size_t>(65536, image->size() - at));
      s = Halvorin_ISO9660JolietFileTree_Read(tree, text, sizeof text, &error, n,
                                              image->data() + at);
    }
    return s;
  }
  Ignored ignored;
};

// What is no file or folder is left out of the tree with its name reported; a file that is no
// file any more when the image is read fails the read with the open's text.
TEST_F(NonFileTree, LeavesOutWhatIsNoFileAndFailsTheReadOfANameReplacedSinceAdd) {
  WriteFile(dir.P("src/a.txt"), std::string(5000, 'a'));
  for (const char* name : {"FIFO", "socket", "device", "folder"})
    for (const Kind& kind : kKinds)
      if (kind.label == std::string(name)) Make(kind, dir.P(std::string("src/") + name));
  ASSERT_EQ(NewTree(), 0u) << text;
  Within([&] {
    EXPECT_EQ(Add(dir.W("src")), 0u) << text;
    EXPECT_EQ(Add(dir.W("src/FIFO")), 0u) << text;  // a top-level addition as well
  });
  std::sort(ignored.names.begin(), ignored.names.end());
  EXPECT_EQ(ignored.names, (std::vector<std::string>{dir.W("src/FIFO"), dir.W("src/FIFO"),
                                                     dir.W("src/device"), dir.W("src/socket")}));
  Bytes image;
  Within([&] { EXPECT_EQ(BuildAndRead(&image), 0u) << text; });
  WriteFile(dir.P("tree.iso"), std::string(image.begin(), image.end()));
  Run("mkdir " + dir.P("out") + " && bsdtar -xf " + dir.P("tree.iso") + " -C " + dir.P("out"));
  EXPECT_EQ(Run("cd " + dir.P("out") + " && find . | sort"),
            ".\n./src\n./src/a.txt\n./src/folder\n");
  EXPECT_EQ(ReadFile(dir.P("out/src/a.txt")), std::string(5000, 'a'));

  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.label);
    const std::string folder = std::string("replaced ") + kind.label;
    WriteFile(dir.P(folder + "/f.txt"), std::string(5000, 'f'));
    ASSERT_EQ(NewTree(), 0u) << text;
    ASSERT_EQ(Add(dir.W(folder)), 0u) << text;
    Make(kind, dir.P(folder + "/f.txt"));
    HALVORIN_STATUS s = 0;
    Within([&] { s = BuildAndRead(&image); });
    EXPECT_EQ(s, HALVORIN_STATUS_SYSTEM_CALL);
    EXPECT_EQ(error, static_cast<std::uint32_t>(kind.error));
    EXPECT_NE(std::string(text).find(CreateFileText("CHalvorin_UnLockedDiskFile::Open()",
                                                    dir.W(folder + "/f.txt"), kind.error)),
              std::string::npos)
        << text;
  }
}

// A grab's output name that is no regular file: refused with 5 and the open's error before a
// sector is read, without waiting, the entry as it was; a removed name is created.
TEST_F(NonFileNames, GrabOutputThatIsNoFileIsRefused) {
  Devices({Media::CdR});
  WriteDataCd(100000, false);
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.label);
    Make(kind, dir.P("out.iso"));
    Make(kind, dir.P("img.qvf"));
    HALVORIN_STATUS track = 0, disc = 0;
    Within([&] {
      track = Halvorin_CdvdBurnerGrabber_GrabTrack(BURNER_ARGS, 1, dir.W("out.iso").c_str(), 0, 0,
                                                   0, 0);
      disc = GrabCD(dir.W("img"), 3);
    });
    if (IsRemoved(kind)) {
      EXPECT_EQ(track, 0u) << text;
      EXPECT_EQ(disc, 0u) << text;
      continue;
    }
    EXPECT_EQ(track, 5u) << text;
    EXPECT_EQ(disc, 5u) << text;
    EXPECT_EQ(error, static_cast<std::uint32_t>(kind.error)) << text;
    EXPECT_NE(std::string(text).find("CreateFile( '" + dir.W("img.qvf") + "' ) failed, status " +
                                     std::to_string(kind.error)),
              std::string::npos)
        << text;
    EXPECT_FALSE(std::filesystem::is_regular_file(dir.P("out.iso")));
  }
}

// A UDF file item of a name that is no readable file: 22 as the header says, whatever the
// system said when it was opened (a socket's open fails with ENXIO); a name removed is 2.
TEST_F(NonFileNames, UdfFileItemOfANameThatIsNoFileIs22) {
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.label);
    Make(kind, dir.P("k.vob"));
    HALVORIN_UDF_TREE_ITEM items[2] = {};
    ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(&items[0], 1, "root", nullptr), 0u);
    std::uint32_t status = 0;
    Within([&] {
      status = Halvorin_UDF_FormatTreeItemAsFile(&items[1], 2, "K.VOB", dir.W("k.vob").c_str(),
                                                 &items[0]);
    });
    EXPECT_EQ(status, IsRemoved(kind) ? std::uint32_t(ENOENT) : std::uint32_t(EINVAL));
    EXPECT_EQ(items[0].m__PFirstKid, nullptr);
  }
  // A link to nothing is a name that is not there, not one of the wrong kind.
  std::filesystem::remove(dir.P("dangling.vob"));
  std::filesystem::create_symlink(dir.P("nowhere"), dir.P("dangling.vob"));
  HALVORIN_UDF_TREE_ITEM items[2] = {};
  ASSERT_EQ(Halvorin_UDF_FormatTreeItemAsDirectory(&items[0], 1, "root", nullptr), 0u);
  EXPECT_EQ(Halvorin_UDF_FormatTreeItemAsFile(&items[1], 2, "D.VOB", dir.W("dangling.vob").c_str(),
                                              &items[0]),
            std::uint32_t(ENOENT));
}

}  // namespace
}  // namespace grabtest
