#include "app/ui/run/autoclose_frm.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

TAutocloseFrm::TAutocloseFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("AutocloseFrm");
  setWindowTitle("AutocloseFrm");
  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Bevel1 = new QFrame(this);
  Bevel1->setObjectName("Bevel1");
  Bevel1->setFrameShape(QFrame::Box);
  Bevel1->setFrameShadow(QFrame::Sunken);
  BitBtn1 = new QPushButton("OK", this);
  BitBtn1->setObjectName("BitBtn1");
  BitBtn2 = new QPushButton("Cacnel", this);
  BitBtn2->setObjectName("BitBtn2");
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &TAutocloseFrm::Timer1Timer);

  auto* bevel = new QVBoxLayout(Bevel1);
  bevel->addWidget(Label1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Bevel1);
  layout->addLayout(buttons);

  FormCreate();
  Timer1->start();
}

void TAutocloseFrm::FormCreate() {
  countdown_ = 30;
}

void TAutocloseFrm::Timer1Timer() {
  --countdown_;
  if (countdown_ < 0) {
    Timer1->stop();
    close();
  }
}
