#include "app/engine/delivery/ftp_session.h"

#include <algorithm>
#include <climits>

#include "app/engine/progress.h"
#include "app/engine/user_interface.h"

TTransferProgress::TTransferProgress(std::uint64_t totalBytes) {
  while ((totalBytes >> shift_) > static_cast<std::uint64_t>(INT_MAX)) ++shift_;
  maximum_ = static_cast<int>(totalBytes >> shift_);
  auto ui = UserInterface();
  ui->StatusProgressShow(maximum_);
  ui->StatusProgressSetPosition(0);
  position_ = 0;
}

TTransferProgress::~TTransferProgress() {
  auto ui = UserInterface();
  ui->StatusProgressSetPosition(maximum_);
  ui->StatusProgressHide();
}

bool TTransferProgress::Update(std::uint64_t doneBytes) {
  const int position =
      std::min(maximum_, static_cast<int>(std::min<std::uint64_t>(
                             doneBytes >> shift_, static_cast<std::uint64_t>(INT_MAX))));
  if (position != position_) {
    position_ = position;
    UserInterface()->StatusProgressSetPosition(position);
  }
  return !ProgressCancelled;
}
