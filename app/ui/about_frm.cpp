#include "app/ui/about_frm.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QMouseEvent>
#include <QUrl>

#include "app/ui/widgets/jpeg_image.h"

namespace {

QLabel* LinkLabel(const char* name, const char* url, QWidget* parent) {
  auto* label = new QLabel(url, parent);
  label->setObjectName(name);
  label->setStyleSheet("color: #1a4fa0; text-decoration: underline;");
  label->setCursor(Qt::PointingHandCursor);
  return label;
}

}  // namespace

TAboutFrm::TAboutFrm(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutFrm");
  setWindowTitle("About");
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  const QImage picture = LoadJpegImage(":/images/about.jpg");
  if (!picture.isNull()) Image1->setPixmap(QPixmap::fromImage(picture));
  ProductName = new QLabel("Quorva Backup", this);
  ProductName->setObjectName("ProductName");
  QFont bold = ProductName->font();
  bold.setBold(true);
  bold.setPointSize(bold.pointSize() + 4);
  ProductName->setFont(bold);
  Version = new QLabel("Version 3.0.1", this);
  Version->setObjectName("Version");
  Comments = new QLabel(
      "Backs up your files into zip archives and delivers them to a folder, an FTP server or "
      "CD/DVD discs.",
      this);
  Comments->setObjectName("Comments");
  Comments->setWordWrap(true);
  ProductLink = LinkLabel("ProductLink", kProductUrl, this);
  MakerLink = LinkLabel("MakerLink", kMakerUrl, this);
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);

  auto* layout = new QGridLayout(this);
  layout->addWidget(Image1, 0, 0, 4, 1, Qt::AlignTop);
  layout->addWidget(ProductName, 0, 1);
  layout->addWidget(Version, 1, 1);
  layout->addWidget(Comments, 2, 1);
  layout->addWidget(ProductLink, 3, 1);
  layout->addWidget(MakerLink, 4, 1);
  layout->addWidget(OKBtn, 5, 1, Qt::AlignRight);
  setMinimumWidth(400);

  ProductLink->installEventFilter(this);
  MakerLink->installEventFilter(this);
  connect(OKBtn, &QPushButton::clicked, this, &TAboutFrm::OKBtnClick);
}

bool TAboutFrm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == ProductLink) {
      ProductLinkClick();
      return true;
    }
    if (watched == MakerLink) {
      MakerLinkClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TAboutFrm::ProductLinkClick() {
  QDesktopServices::openUrl(QUrl(kProductUrl));
}

void TAboutFrm::MakerLinkClick() {
  QDesktopServices::openUrl(QUrl(kMakerUrl));
}

void TAboutFrm::OKBtnClick() {
  done(1);
}
