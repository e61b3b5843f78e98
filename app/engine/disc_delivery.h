// Delivery of a backup's archive volumes to CD/DVD discs.
#pragma once

#include <string>
#include <vector>

class TProject;
class TGlobalSetting;

// Burns one disc per volume on the project's writer. True only when every volume was burnt.
bool BurnVolumesToDisc(const std::vector<std::string>& volumeNames, const TProject& project,
                       const TGlobalSetting& settings);
