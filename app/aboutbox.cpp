#include "aboutbox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "icons.h"
#include "helptopic.h"
#include "platform.h"

namespace {
// A label that opens the web address when clicked.
class LinkLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QLabel::mouseReleaseEvent(event);
        showWebAddress(window(), QString::fromLatin1(platform::kHomepage));
    }
};
} // namespace

Tabout::Tabout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("about"));
    setWindowTitle(QStringLiteral("About Vellomarque"));

    auto* picture = new QLabel;
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setFrameShape(QFrame::Panel);
    picture->setFrameShadow(QFrame::Sunken);
    picture->setPixmap(icons::appIcon().pixmap(64, 64));
    picture->setAlignment(Qt::AlignCenter);
    picture->setFixedSize(76, 76);

    auto* product = new QLabel(QStringLiteral("Vellomarque"));
    product->setObjectName(QStringLiteral("ProductName"));
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    product->setFont(big);
    auto* version = new QLabel(QString::fromLatin1(kVersionText));
    version->setObjectName(QStringLiteral("Version"));
    auto* what = new QLabel(
        QStringLiteral("Viewer and editor of binary data files described by type files."));
    what->setWordWrap(true);
    auto* web = new LinkLabel(
        QStringLiteral("<a href=\"%1\">%1</a>").arg(QString::fromLatin1(platform::kHomepage)));
    web->setObjectName(QStringLiteral("WebAddress"));
    web->setTextInteractionFlags(Qt::NoTextInteraction);
    web->setCursor(Qt::PointingHandCursor);

    auto* texts = new QVBoxLayout;
    texts->addWidget(product);
    texts->addWidget(version);
    texts->addWidget(what);
    texts->addWidget(web);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(texts, 1);

    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setFixedSize(380, 190);
}
