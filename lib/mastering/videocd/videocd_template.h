// The data-track templates of VideoCD 2.0 and Super VideoCD 1.0 discs: 598 sectors of ISO 9660
// with XA whose few variable fields the data tracks patch. The build makes them with the
// generator beside the library; the tests rebuild them with the same code.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr std::uint32_t kHalvorinVideoCDTemplateSectors = 598;
inline constexpr std::uint32_t kHalvorinVideoCDTemplateSize = 598 * 2048;  // 1,224,704 bytes
inline constexpr const char* kHalvorinVideoCDTemplateName = "Halvorin_VideoCD.ISO";
inline constexpr const char* kHalvorinSuperVideoCDTemplateName = "Halvorin_SuperVideoCD.ISO";
// The MPEG file's directory record: first entry of /MPEGAV (sector 21) or /MPEG2 (sector 20).
inline constexpr std::uint32_t kHalvorinVideoCDPatchOffset = 21 * 2048 + 96;
inline constexpr std::uint32_t kHalvorinSuperVideoCDPatchOffset = 20 * 2048 + 96;
// Sectors of the image.
inline constexpr std::uint32_t kHalvorinVideoCDPVDSector = 16;
inline constexpr std::uint32_t kHalvorinVideoCDInfoSector = 150;
inline constexpr std::uint32_t kHalvorinVideoCDEntriesSector = 151;
inline constexpr std::uint32_t kHalvorinSuperVideoCDTracksSector = 211;
inline constexpr std::uint32_t kHalvorinSuperVideoCDSearchSector = 212;
inline constexpr std::uint32_t kHalvorinVideoCDAdditionalSector = 245;
inline constexpr std::uint32_t kHalvorinSuperVideoCDAdditionalSector = 210;
inline constexpr std::uint32_t kHalvorinSuperVideoCDClearedSector = 244;
// Where the MPEG track starts: the data track, the 2-block run-out and the 150-block pre-gap
// both track-at-once and session-at-once (2 extra pre-gap blocks) leave; its first MPEG
// sector follows 30 empty units.
inline constexpr std::uint32_t kHalvorinVideoCDMPEGTrackLBA = 598 + 2 + 150;
inline constexpr std::uint32_t kHalvorinVideoCDFirstMPEGLBA = 750 + 30;

// The whole image, kHalvorinVideoCDTemplateSize bytes.
std::vector<std::uint8_t> HalvorinI_BuildVideoCDTemplate(bool p__BOOLEAN__IsSuper);
