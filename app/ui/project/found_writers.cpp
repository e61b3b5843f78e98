#include "app/ui/project/found_writers.h"

#include "app/engine/delivery/writer_search.h"

std::vector<TWriterEntry> FoundWriters() {
  const std::vector<std::string> names = WriterNames();
  const std::vector<TWriterAddress> addresses = WriterAddresses();
  std::vector<TWriterEntry> writers;
  for (size_t i = 0; i < names.size() && i < addresses.size(); ++i)
    writers.push_back(
        {names[i], addresses[i].Port, addresses[i].Bus, addresses[i].TargetID, addresses[i].LUN});
  return writers;
}
