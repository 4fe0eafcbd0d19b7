#include "WebsiteWindow.h"

#include <QDesktopServices>
#include <QLabel>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>

#include "ButtonPoints.h"
#include "CSkinButton.h"
#include "CTitleLabel.h"
#include "FontHeight.h"

namespace cx {

WebsiteWindow::WebsiteWindow(QWidget* parent)
    : SkinDialog(parent), openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      guide_(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("website"));
    setWindowTitle(QStringLiteral("Corvanex Website"));
    setFixedSize(820, 640);

    addDialogTitle(this, QStringLiteral("Corvanex Guide"), QRect(20, 12, 780, 34), QStringLiteral("title"));

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(fontPixelSize(14));
    guide_->setObjectName(QStringLiteral("guide"));
    guide_->setFont(font);
    guide_->setGeometry(20, 52, 780, 520);
    // Links leave the program only through openUrl; the guide's own
    // pictures come from the resources.
    guide_->setOpenLinks(false);
    guide_->setSource(QUrl(QStringLiteral("qrc:/guide/guide.md")), QTextDocument::MarkdownResource);
    connect(guide_, &QTextBrowser::anchorClicked, this, &WebsiteWindow::follow);
    // Its viewport is not laid out yet: the width less a scroll bar and margins.
    fitPictures(guide_->width() - 48);

    auto* link = new QLabel(this);
    link->setObjectName(QStringLiteral("webLink"));
    link->setFont(font);
    const QString address = QString::fromLatin1(projectWebAddress);
    link->setText(QStringLiteral("On the web: <a href=\"%1\">%1</a>").arg(address));
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setOpenExternalLinks(false);
    link->setGeometry(20, 586, 560, 34);
    connect(link, &QLabel::linkActivated, this, [this](const QString& url) { follow(QUrl(url)); });

    auto* close = makeSkinButton(this, QStringLiteral("close"), QStringLiteral("Close"), "close.bmp", QPoint(0, 0));
    close->placeAt(width() - 20 - close->width(), 582);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void WebsiteWindow::fitPictures(int width)
{
    // The screenshots are wider than the window: shown to its width, in
    // their own proportions, so the guide reads without scrolling sideways.
    QTextCursor cursor(guide_->document());
    for (QTextBlock block = guide_->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat()) continue;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            const QVariant data = guide_->loadResource(QTextDocument::ImageResource, QUrl(image.name()));
            QImage picture;
            picture.loadFromData(data.toByteArray());
            if (picture.isNull() || picture.width() <= width) continue;
            image.setWidth(width);
            image.setHeight(static_cast<double>(picture.height()) * width / picture.width());
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(image);
        }
}

void WebsiteWindow::follow(const QUrl& url)
{
    const QString scheme = url.scheme();
    if ((scheme == QLatin1String("https") || scheme == QLatin1String("http")) && openUrl) openUrl(url);
}

}  // namespace cx
