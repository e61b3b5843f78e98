// Configuration of the virtual recorders and of the iSCSI adapters, in the registry layer.
//
// HKCU "\Software\Quorva\halvorin\VirtualRecorders"
//   DWORD  "Count"         number of recorders (targets 0.. on host adapter 0); default 1, at most
//   16 subkey "Recorder<N>"   one per recorder, N = its target ID from 0; every value optional:
//     String "Name"         names its folder and images "<Name>-NNNN.iso"; default "Recorder<N>"
//     String "Vendor"       INQUIRY vendor (8 characters); default "QUORVA"
//     String "Product"      INQUIRY product (16 characters); default "Virtual Recorder"
//     String "Revision"     INQUIRY revision (4 characters); default "1.00"
//     String "Media"        the blank in its tray: "CD-R", "CD-RW", "DVD-R", "DVD-RW", "DVD+R",
//                           "DVD+RW", "DVD-RAM", or pressed "CD-ROM", "DVD-ROM"; default "DVD-R"
//     String "ImageFolder"  disc states, sectors and images; default
//                           "<program folder>VirtualRecorders\<Name>\"
//     String "Fixture"      for CD-ROM/DVD-ROM: the .iso or .cue the disc is pressed from
//     DWORD  "UnderrunPage" 1: the drive offers vendor mode page 30h (underrun protection)
//
// HKCU "\Software\Quorva\halvorin\IscsiTargets"
//   every String value "iscsi://<host>[:<port>]/<target IQN>/<LUN>" is one host adapter, in
//   the order the values were created; its target 0, LUN 0 is that logical unit.
#pragma once

#include <string>
#include <vector>

#include "platform/aspi/recorder/vr_media.h"

namespace platform::aspi::vr {

inline constexpr const char* kRecordersKey = "\\Software\\Quorva\\halvorin\\VirtualRecorders";
inline constexpr const char* kIscsiKey = "\\Software\\Quorva\\halvorin\\IscsiTargets";
inline constexpr unsigned kMaxRecorders = 16;

struct RecorderConfig {
  std::string name;
  std::string vendor = "QUORVA";
  std::string product = "Virtual Recorder";
  std::string revision = "1.00";
  Media media = Media::DvdR;
  std::string imageFolder;  // Windows form
  std::string fixture;      // Windows form
  bool underrunPage = false;
};

// The recorders as configured (defaults filled in); one DVD-R recorder when nothing is set.
std::vector<RecorderConfig> LoadRecorderConfigs();
// Replaces the configuration with these recorders (empty fields take their defaults).
void SaveRecorderConfigs(const std::vector<RecorderConfig>& recorders);

std::vector<std::string> LoadIscsiUrls();
void SaveIscsiUrls(const std::vector<std::string>& urls);

}  // namespace platform::aspi::vr
