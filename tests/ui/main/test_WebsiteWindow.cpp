// The "Website" window under the offscreen platform: F11 and the button
// open it, it shows the guide compiled into the program with every
// picture, and its link goes to the browser, never into the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest/QTest>

#include "AboutDialog.h"
#include "CMonitorDlg.h"
#include "CSkinButton.h"
#include "Engine.h"
#include "KeyboardFilter.h"
#include "MainButtons.h"
#include "WebsiteWindow.h"
#include "support/MainWindowTest.h"
#include "support/TempFolder.h"
#include "support/WindowFolder.h"

using namespace cx;
using namespace cx::test;

namespace {

using WebsiteWindowTest = MainWindowTest;

TEST_F(WebsiteWindowTest, F11AndTheButtonOpenIt)
{
    KeyboardFilter keys;
    qApp->installEventFilter(&keys);
    keys.setMainWindow(main.get());
    main->show();
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    // The key's action is queued; the window is closed as soon as it shows.
    int opened = 0;
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&opened] {
        if (auto* website = qobject_cast<WebsiteWindow*>(QApplication::activeModalWidget())) {
            ++opened;
            website->done(0);
        }
    });
    closer.start();
    QKeyEvent f11(QEvent::KeyPress, Qt::Key_F11, Qt::NoModifier);
    QApplication::sendEvent(main.get(), &f11);
    EXPECT_TRUE(waitFor([&] { return opened == 1; }, 2000));
    closer.stop();
    qApp->removeEventFilter(&keys);

    auto* button = main->findChild<CSkinButton*>("website");
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(opens([&] { button->click(); }), "cx::WebsiteWindow");
}

TEST_F(WebsiteWindowTest, ShowsTheUserGuideWithItsPictures)
{
    WebsiteWindow website;
    QTextBrowser& guide = website.guide();
    const QString text = guide.toPlainText();
    // The user's sections, the keys, the tools panel; not the builder's.
    for (const char* shown : {"Corvanex guide", "Recording", "Free space", "Replay", "Cameras", "Skin downloads",
                              "F10 opens the tools panel", "F11", "(estimated)"})
        EXPECT_TRUE(text.contains(QLatin1String(shown))) << shown;
    for (const char* left : {"Camera simulator", "Reliability", "Bench:", "cx-skin-pack", "<!--"})
        EXPECT_FALSE(text.contains(QLatin1String(left))) << left;

    // Every picture the guide shows is in the program.
    int pictures = 0;
    for (QTextBlock block = guide.document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat()) continue;
            const QString name = format.toImageFormat().name();
            const QVariant data = guide.loadResource(QTextDocument::ImageResource, QUrl(name));
            QImage image;
            if (data.canConvert<QByteArray>()) image.loadFromData(data.toByteArray());
            if (data.canConvert<QImage>() && image.isNull()) image = data.value<QImage>();
            EXPECT_FALSE(image.isNull()) << name.toStdString();
            // Shown no wider than the guide, in proportion.
            const QTextImageFormat shown = format.toImageFormat();
            const double width = shown.width() > 0 ? shown.width() : image.width();
            EXPECT_LE(width, guide.width()) << name.toStdString();
            EXPECT_GE(width, std::min(image.width(), guide.width() * 3 / 4)) << name.toStdString();
            if (shown.width() > 0) {
                EXPECT_NEAR(shown.height() / shown.width(), static_cast<double>(image.height()) / image.width(), 0.01);
            }
            ++pictures;
        }
    EXPECT_GE(pictures, 10);
}

TEST_F(WebsiteWindowTest, TheLinkOpensTheWebAddressInTheBrowser)
{
    WebsiteWindow website;
    std::vector<QUrl> opened;
    website.openUrl = [&opened](const QUrl& url) {
        opened.push_back(url);
        return true;
    };
    auto* link = website.findChild<QLabel*>("webLink");
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->text().contains(QLatin1String(projectWebAddress)));
    emit link->linkActivated(QString::fromLatin1(projectWebAddress));
    // A link in the guide itself: web addresses out, anything else nowhere.
    emit website.guide().anchorClicked(QUrl(QStringLiteral("https://example.org/x")));
    emit website.guide().anchorClicked(QUrl(QStringLiteral("file:///etc/passwd")));
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl(QString::fromLatin1(projectWebAddress)));
    EXPECT_EQ(opened[1], QUrl(QStringLiteral("https://example.org/x")));
}

TEST_F(WebsiteWindowTest, TheAboutBoxNamesTheToolsPanelAndItsKey)
{
    AboutDialog about;
    auto* text = about.findChild<QLabel*>("aboutText");
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->text().contains(QLatin1String("F10 opens the tools panel")));
}

}  // namespace
