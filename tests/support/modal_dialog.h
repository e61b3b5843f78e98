// Acting on a modal dialog that an action is about to open: once a dialog of the type is the
// active modal window, `act` runs on it (it should end the dialog).
#pragma once

#include <QApplication>
#include <QTimer>
#include <functional>

template <typename Dialog>
void OnModalDialog(std::function<void(Dialog&)> act) {
  auto* poll = new QTimer(qApp);  // deletes itself once it has acted
  QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    poll->stop();
    poll->deleteLater();
    act(*dialog);
  });
  poll->start(0);
}
