#include "app/engine/disc_delivery.h"

#include "app/engine/log.h"

bool BurnVolumesToDisc(const std::vector<std::string>&, const TProject&, const TGlobalSetting&) {
  LogError("Writing backups to CD/DVD is not available in this build.");
  return false;
}
