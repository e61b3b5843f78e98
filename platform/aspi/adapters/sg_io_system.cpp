// The kernel side of the SG_IO backend: sysfs lists the SCSI devices, open(2) and ioctl(2)
// reach them.
#include "platform/aspi/adapters/sg_io_system.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace platform::aspi {

namespace {

namespace stdfs = std::filesystem;

// "host:channel:id:lun" from the name of a device's sysfs folder.
bool ParseAddress(const std::string& name, SgDeviceNode& node) {
  char c1, c2, c3;
  std::istringstream in(name);
  return static_cast<bool>(in >> node.host >> c1 >> node.channel >> c2 >> node.id >> c3 >>
                           node.lun) &&
         c1 == ':' && c2 == ':' && c3 == ':';
}

void Collect(const std::string& classDir, std::vector<SgDeviceNode>& out) {
  std::error_code ec;
  for (const auto& entry : stdfs::directory_iterator(classDir, ec)) {
    const stdfs::path device = entry.path() / "device";
    const stdfs::path target = stdfs::canonical(device, ec);
    if (ec) continue;
    SgDeviceNode node;
    if (!ParseAddress(target.filename().string(), node)) continue;
    std::ifstream type(device / "type");
    if (!(type >> node.type)) continue;
    node.path = "/dev/" + entry.path().filename().string();
    out.push_back(node);
  }
}

class KernelSystem : public SgIoSystem {
 public:
  std::vector<SgDeviceNode> ListDevices() override {
    std::vector<SgDeviceNode> out;
    Collect("/sys/class/scsi_generic", out);
    std::vector<SgDeviceNode> blocks;
    Collect("/sys/block", blocks);
    for (auto& b : blocks)
      if (b.path.rfind("/dev/sr", 0) == 0) out.push_back(b);
    return out;
  }
  int Open(const std::string& path) override {
    int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return fd;
  }
  int Close(int fd) override { return close(fd); }
  int SgIo(int fd, sg_io_hdr_t* header) override { return ioctl(fd, SG_IO, header); }
};

}  // namespace

std::shared_ptr<SgIoSystem> KernelSgIoSystem() {
  return std::make_shared<KernelSystem>();
}

}  // namespace platform::aspi
