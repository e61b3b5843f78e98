// The DVD image descriptor: a layer record per layer from the disc's DVD structures, one
// session and track, and the name of every part of the data.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lib/core/burner/cdvd_burner_grabber.h"
#include "lib/core/debug_trace.h"
#include "lib/core/grab/grab_file.h"
#include "lib/core/grab/image_descriptor.h"
#include "lib/core/scsi/dumps.h"
#include "lib/core/trace_scope.h"

namespace {

constexpr const char* kMethod = "CHalvorin_CdvdBurnerGrabber::FormatFileMDSForDVD";
constexpr std::uint32_t kStructureSize = 4096;

std::string Indexed(const char* p__PCHAR__Record, std::size_t p__SIZE_T__Index) {
  return std::string(" ") + p__PCHAR__Record + "[ " + std::to_string(p__SIZE_T__Index) + " ] ";
}

template <class Record>
void WriteRecord(platform::fs::File& p__File, const Record& p__Record, const std::string& what) {
  HalvorinI_WriteGrabFile(p__File, &p__Record, sizeof(Record), kMethod, what);
}

}  // namespace

std::string HalvorinI_GrabPartName(const std::string& p__STRING__Base,
                                   std::uint32_t p__ULONG__Part) {
  if (p__ULONG__Part == 0) return p__STRING__Base + ".qvf";
  return p__STRING__Base + ".qv" + std::to_string(p__ULONG__Part);
}

void CHalvorin_CdvdBurnerGrabber::FormatFileMDSForDVD(platform::fs::File& p__File,
                                                      const TOC_INFORMATION& p__Toc,
                                                      const char* p__PCHAR__Name,
                                                      std::uint32_t* p__PULONG__Size,
                                                      std::uint32_t p__ULONG__Parts) {
  CHalvorin_TraceScope trace(kMethod);
  std::string full;
  if (const std::uint32_t error = HalvorinI_GetFullPathName(p__PCHAR__Name, &full))
    HalvorinI_ThrowException(kHalvorinStatusSystemCall, error,
                             "%s(): GetFullPathName( '%s' ) failed, status %ld!!!", kMethod,
                             p__PCHAR__Name ? p__PCHAR__Name : "", static_cast<long>(error));
  const std::string base = platform::fs::FileNamePart(full);

  std::vector<std::uint8_t> data(kStructureSize);
  ReadDVDStructure(0, 0, 0x00, 0, data.data(), kStructureSize);
  const std::uint32_t L = ((data[4 + 2] >> 5) & 0x03) + 1u;
  std::vector<LAYER_DESCRIPTOR> layers(L);
  for (std::uint32_t l = 0; l < L; ++l) {
    LAYER_DESCRIPTOR& layer = layers[l];
    std::memset(&layer, 0, sizeof layer);
    const auto number = static_cast<std::uint8_t>(l);
    std::fill(data.begin(), data.end(), 0);
    ReadDVDStructure(0, number, 0x01, 0, data.data(), kStructureSize);
    layer.m__UCHAR__ProtectionSystemType = data[4];
    layer.m__UCHAR__RegionManagement = data[5];
    std::fill(data.begin(), data.end(), 0);
    ReadDVDStructure(0, number, 0x04, 0, data.data(), kStructureSize);
    std::memcpy(layer.m__UCHAR__DiscManufacturingInformation, &data[4], 2048);
    std::fill(data.begin(), data.end(), 0);
    ReadDVDStructure(0, number, 0x00, 0, data.data(), kStructureSize);
    std::uint8_t* pfi = layer.m__UCHAR__PhysicalFormatInformation;
    std::memcpy(pfi, &data[4], 17);
    pfi[2] &= 0x7F;
    pfi[4] = pfi[8] = pfi[12] = 0;
    pfi[16] &= 0x80;  // only "BCA present"
    DebugTrace("\n%s(): DVD layer %ld, CPST 0x%02X, RMI 0x%02X\n", kMethod, static_cast<long>(l),
               layer.m__UCHAR__ProtectionSystemType, layer.m__UCHAR__RegionManagement);
    DumpDVDLayerDescriptor(pfi, 17);
  }

  const std::uint32_t P = p__ULONG__Parts;
  const std::uint32_t layersAt = sizeof(MEDIA_DESCRIPTOR);
  const std::uint32_t sessionAt = layersAt + L * sizeof(LAYER_DESCRIPTOR);
  const std::uint32_t trackAt = sessionAt + sizeof(SESSION_DESCRIPTOR);
  const std::uint32_t filesAt = trackAt + sizeof(TRACK_DESCRIPTOR);
  const std::uint32_t namesAt = filesAt + P * sizeof(FILE_DESCRIPTOR);
  const TOC_TRACK_ENTRY& track = p__Toc.m__TOC_TRACK_ENTRY__Tracks[0];

  MEDIA_DESCRIPTOR header{};
  std::memcpy(header.m__CHAR__Signature, "MEDIA DESCRIPTOR", 16);
  header.m__UCHAR__VersionMajor = 1;
  header.m__USHORT__MediumType = kHalvorinMediumTypeDVD;
  header.m__USHORT__NumberOfSessions = 1;
  header.m__USHORT__Unknown = 2;
  header.m__ULONG__LayerOffset = layersAt;
  header.m__ULONG__SessionOffset = sessionAt;
  WriteRecord(p__File, header, " MEDIA_DESCRIPTOR ");
  for (std::uint32_t l = 0; l < L; ++l)
    WriteRecord(p__File, layers[l], Indexed("LAYER_DESCRIPTOR", l));

  SESSION_DESCRIPTOR session{};
  session.m__LONG__StartSector = 0;
  session.m__LONG__EndSector = track.m__LONG__EndLBA + 1;
  session.m__USHORT__SessionNumber = 1;
  session.m__UCHAR__NumberOfDescriptors = 1;
  session.m__UCHAR__Unknown = 3;
  session.m__USHORT__FirstTrack = 1;
  session.m__USHORT__LastTrack = 1;
  session.m__ULONG__TrackOffset = trackAt;
  WriteRecord(p__File, session, Indexed("SESSION_DESCRIPTOR", 0));

  TRACK_DESCRIPTOR t{};
  t.m__UCHAR__Mode = 0x02;
  t.m__UCHAR__ADR_CONTROL = 0x14;
  t.m__UCHAR__POINT = 1;
  t.m__ULONG__IndexOffset = static_cast<std::uint32_t>(track.m__LONG__EndLBA + 1);
  t.m__USHORT__SectorSize = 2048;
  t.m__ULONG__NumberOfFiles = P;
  t.m__ULONG__FileOffset = filesAt;
  WriteRecord(p__File, t, Indexed("TRACK_DESCRIPTOR", 0));

  // Names from part 10 on are a character longer: every offset comes from the real lengths.
  std::vector<std::string> names(P);
  std::uint32_t at = namesAt;
  for (std::uint32_t i = 0; i < P; ++i) {
    names[i] = HalvorinI_GrabPartName(base, i);
    FILE_DESCRIPTOR file{};
    file.m__ULONG__NameOffset = at;
    at += static_cast<std::uint32_t>(names[i].size() + 1);
    WriteRecord(p__File, file, Indexed("FILE_DESCRIPTOR", i));
  }
  for (std::uint32_t i = 0; i < P; ++i)
    HalvorinI_WriteGrabFile(p__File, names[i].c_str(),
                            static_cast<std::uint32_t>(names[i].size() + 1), kMethod,
                            Indexed("TrackName", i));
  HalvorinI_FlushGrabFile(p__File, kMethod);
  if (p__PULONG__Size) *p__PULONG__Size = at;
}
