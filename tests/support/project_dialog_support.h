// Driving the project dialog a main-window action opens, and reading back the project it saved.
#pragma once

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "app/engine/project/project.h"
#include "app/engine/project/stream.h"
#include "app/ui/project/project_config_frm.h"
#include "platform/fs/fs.h"

// Runs `edit` on the project dialog the next action opens, then clicks its OK button (Cancel
// when OK did not close it). The dialog pumps events while it is built, so this waits until it
// is the modal window.
inline void OnProjectDialog(std::function<void(TProjectConfigFrm&)> edit) {
  auto* poll = new QTimer(qApp);  // deletes itself once it has acted
  QObject::connect(poll, &QTimer::timeout, poll, [poll, edit] {
    auto* frm = qobject_cast<TProjectConfigFrm*>(QApplication::activeModalWidget());
    if (!frm) return;
    poll->stop();
    poll->deleteLater();
    edit(*frm);
    QTest::mouseClick(frm->OKBtn, Qt::LeftButton);
    if (frm->result() == 0) frm->CancelBtnClick();
  });
  poll->start(0);
}

// The project saved as `jobFile` (Windows form).
inline std::unique_ptr<TProject> ReadProjectFile(const std::string& jobFile) {
  auto p = std::make_unique<TProject>();
  platform::fs::File file(jobFile, platform::fs::OpenMode::Read);
  TFileStream stream(file);
  EXPECT_TRUE(p->LoadFromStream(stream));
  return p;
}
