#include "app/ui/run/progress_frm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "app/engine/progress.h"
#include "app/ui/run/autoclose_frm.h"
#include "app/ui/run/pump_messages.h"
#include "tests/support/qt_test_env.h"

namespace {

class ProgressFrmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProgressPosition = 0;
    ProgressCaption = "";
    ProgressStatus = "";
    ResetProgressForJob();
  }
  TQtTestEnv env;
};

TEST_F(ProgressFrmTest, CreatedIdle) {
  TProgressFrm frm;
  EXPECT_EQ(frm.PB->minimum(), 0);
  EXPECT_EQ(frm.PB->maximum(), 100);
  EXPECT_EQ(frm.PB->value(), 0);
  EXPECT_EQ(frm.SpeedButton1->text(), "Cancel");
  EXPECT_EQ(frm.status_text->width(), 329);
  EXPECT_EQ(frm.Timer1->interval(), 200);
  EXPECT_FALSE(frm.Timer1->isActive());
  EXPECT_TRUE(frm.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_FALSE(frm.windowFlags().testFlag(Qt::WindowCloseButtonHint));
}

TEST_F(ProgressFrmTest, TickCopiesTheSharedState) {
  TProgressFrm frm;
  frm.show();
  EXPECT_TRUE(frm.Timer1->isActive());
  ProgressPosition = 42;
  ProgressCaption = "Backing up Files...";
  ProgressStatus = "Z:\\data\\a.txt";
  ProgressShowCancel = false;
  frm.Timer1Timer();
  EXPECT_EQ(frm.PB->value(), 42);
  EXPECT_EQ(frm.windowTitle(), "Backing up Files...");
  EXPECT_EQ(frm.status_text->text(), "Z:\\data\\a.txt");
  EXPECT_TRUE(frm.SpeedButton1->isHidden());
  EXPECT_TRUE(frm.isVisible());

  // 100 is not copied: the bar keeps its last value until the window closes.
  ProgressPosition = 100;
  ProgressShowCancel = true;
  frm.Timer1Timer();
  EXPECT_EQ(frm.PB->value(), 42);
  EXPECT_FALSE(frm.SpeedButton1->isHidden());
}

// The status line is 329 pixels at least and as wide as a status text needs; a text wider
// than the screen keeps its start and end.
TEST_F(ProgressFrmTest, StatusTextIsShownWhole) {
  TProgressFrm frm;
  frm.ShowNonModal();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
  EXPECT_EQ(frm.status_text->width(), 329);
  const QString path =
      "Z:\\home\\ann\\Documents\\Correspondence 2024\\Insurance\\claim-letter-final.odt";
  ProgressStatus = path.toStdString();
  frm.Timer1Timer();
  EXPECT_EQ(frm.status_text->text(), path);
  EXPECT_GE(frm.status_text->width(), frm.status_text->fontMetrics().horizontalAdvance(path));
  EXPECT_LE(frm.width(), QGuiApplication::primaryScreen()->availableGeometry().width());
  ProgressStatus = "short";
  frm.Timer1Timer();
  EXPECT_EQ(frm.status_text->text(), "short");

  const QString huge = "Z:\\" + QString("very long folder\\").repeated(60) + "end.txt";
  ProgressStatus = huge.toStdString();
  frm.Timer1Timer();
  const QString shown = frm.status_text->text();
  EXPECT_TRUE(shown.startsWith("Z:\\very")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("end.txt")) << shown.toStdString();
  EXPECT_LE(frm.width(), QGuiApplication::primaryScreen()->availableGeometry().width());
  frm.Finish();
  EXPECT_FALSE(frm.isVisible());
  EXPECT_FALSE(frm.Timer1->isActive());
  // The next showing starts narrow again.
  frm.ShowNonModal();
  EXPECT_EQ(frm.status_text->width(), 329);
  frm.Finish();
}

TEST_F(ProgressFrmTest, CancelOnlyRaisesTheFlag) {
  TProgressFrm frm;
  frm.show();
  QTest::mouseClick(frm.SpeedButton1, Qt::LeftButton);
  EXPECT_TRUE(ProgressCancelled);
  frm.Timer1Timer();
  EXPECT_TRUE(frm.isVisible());  // open until the job notices and finishes
  QTest::keyClick(&frm, Qt::Key_Escape);
  EXPECT_TRUE(frm.isVisible());
  frm.close();
  EXPECT_TRUE(frm.isVisible());
}

TEST_F(ProgressFrmTest, JobDoneBeforeTheFirstTickClosesAtThatTick) {
  TProgressFrm frm;
  frm.Timer1->setInterval(1);
  ProgressPosition = 7;
  ProgressDone = true;
  EXPECT_EQ(frm.ShowModal(), 2);
  EXPECT_FALSE(ProgressDone);  // cleared by the window
  EXPECT_FALSE(frm.Timer1->isActive());
  EXPECT_FALSE(frm.isVisible());
  EXPECT_EQ(frm.PB->value(), 7);
}

TEST_F(ProgressFrmTest, WindowIsReusedForTheNextJob) {
  TProgressFrm frm;
  frm.Timer1->setInterval(1);
  for (int job = 0; job < 2; ++job) {
    ResetProgressForJob();
    int ticksSeen = 0;
    QTimer poke;
    QObject::connect(&poke, &QTimer::timeout, [&] {
      if (++ticksSeen == 3) ProgressDone = true;
    });
    poke.start(0);
    EXPECT_EQ(frm.ShowModal(), 2);
    EXPECT_GE(ticksSeen, 3);
  }
}

TEST(AutocloseFrm, ClosesOnTheThirtyFirstTick) {
  TAutocloseFrm frm;
  EXPECT_EQ(frm.BitBtn1->text(), "OK");
  EXPECT_EQ(frm.BitBtn2->text(), "Cacnel");
  EXPECT_EQ(frm.Timer1->interval(), 1000);
  EXPECT_TRUE(frm.Timer1->isActive());  // from creation
  EXPECT_EQ(frm.Countdown(), 30);
  frm.show();
  for (int i = 0; i < 30; ++i) frm.Timer1Timer();
  EXPECT_EQ(frm.Countdown(), 0);
  EXPECT_TRUE(frm.Timer1->isActive());
  EXPECT_TRUE(frm.isVisible());
  frm.Timer1Timer();
  EXPECT_FALSE(frm.Timer1->isActive());
  EXPECT_FALSE(frm.isVisible());
}

TEST(PumpMessages, HandlesWaitingEvents) {
  int ran = 0;
  QMetaObject::invokeMethod(
      qApp, [&] { ++ran; }, Qt::QueuedConnection);
  QMetaObject::invokeMethod(
      qApp, [&] { ++ran; }, Qt::QueuedConnection);
  EXPECT_TRUE(PumpMessages());
  EXPECT_EQ(ran, 2);
  EXPECT_TRUE(PumpMessages());
}

// Ends a loop that a lost quit would leave running; the code tells which ended it.
class LoopGuard {
 public:
  LoopGuard() {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    timer_.start(30000);
  }

 private:
  QTimer timer_;
};

TEST(PumpMessages, QuitBeforeTheLoopEndsTheLoopAtOnce) {
  QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit));
  EXPECT_FALSE(PumpMessages());
  LoopGuard guard;
  EXPECT_EQ(RunMessageLoop(), 0);
}

TEST(PumpMessages, QuitInsideTheLoopIsPostedAgain) {
  bool pumped = true;
  QTimer::singleShot(0, [&] {
    QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit));
    pumped = PumpMessages();
  });
  LoopGuard guard;
  EXPECT_EQ(RunMessageLoop(), 0);
  EXPECT_FALSE(pumped);
}

}  // namespace
