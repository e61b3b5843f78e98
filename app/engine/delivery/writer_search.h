// The CD/DVD writers found at start-up: their captions and addresses, filled in the background
// and read by the wizard and the project dialog.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TWriterAddress {
  std::int32_t Port = 0;
  std::int32_t Bus = 0;
  std::int32_t TargetID = 0;
  std::int32_t LUN = 0;
};

inline constexpr std::size_t kMaxWriters = 25;

// Copies taken under the lock; entry i of the addresses belongs to caption i.
std::vector<std::string> WriterNames();
std::vector<TWriterAddress> WriterAddresses();

// Appends one writer; false when the table's 25 entries are taken.
bool AddWriter(const std::string& caption, const TWriterAddress& address);

void FindDeviceCallback(std::uint32_t reason, void* context, void* first, void* second);
std::uint32_t FindDevicesThreadProc();

// Runs FindDevicesThreadProc on its own thread (2 MB stack, the settings' priority) without
// waiting for it. The thread is joined by JoinWriterSearch, at the latest before the lists go.
void StartWriterSearch(int priorityIndex);
void JoinWriterSearch();
