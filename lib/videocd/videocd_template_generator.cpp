// Writes the VideoCD and Super VideoCD data-track templates into a folder (the library's).
#include <cstdio>
#include <string>

#include "lib/mastering/videocd/videocd_template.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  for (bool super : {false, true}) {
    const std::string path =
        std::string(argv[1]) + "/" +
        (super ? kHalvorinSuperVideoCDTemplateName : kHalvorinVideoCDTemplateName);
    const std::string part = path + ".part";
    const auto image = HalvorinI_BuildVideoCDTemplate(super);
    std::FILE* f = std::fopen(part.c_str(), "wb");
    if (!f || std::fwrite(image.data(), 1, image.size(), f) != image.size() ||
        std::fclose(f) != 0 || std::rename(part.c_str(), path.c_str()) != 0) {
      std::perror(path.c_str());
      return 1;
    }
  }
  return 0;
}
