// The kernel interface of the SG_IO backend, behind an interface so that tests replace the
// devices and the ioctl with a fake.
#pragma once

#include <scsi/sg.h>

#include <memory>
#include <string>
#include <vector>

namespace platform::aspi {

struct SgDeviceNode {
  std::string path;  // "/dev/sr0" or "/dev/sg1"
  int host = 0, channel = 0, id = 0, lun = 0;
  int type = 0;  // peripheral device type from sysfs
};

class SgIoSystem {
 public:
  virtual ~SgIoSystem() = default;
  // Every /dev/sr* and /dev/sg* node with its kernel address.
  virtual std::vector<SgDeviceNode> ListDevices() = 0;
  virtual int Open(const std::string& path) = 0;  // descriptor, or -1 with errno
  virtual int Close(int fd) = 0;
  virtual int SgIo(int fd, sg_io_hdr_t* header) = 0;  // ioctl(fd, SG_IO, header)
};

// The real kernel: sysfs for the list, open(2) and ioctl(2).
std::shared_ptr<SgIoSystem> KernelSgIoSystem();

}  // namespace platform::aspi
