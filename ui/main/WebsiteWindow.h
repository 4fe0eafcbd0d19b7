#pragma once
// "Website": the program's guide, shown offline from the pictures and text
// compiled into the program (the README's user sections), and a link that
// opens the project's web address in the desktop's browser.

#include <QUrl>

#include <functional>

#include "SkinDialog.h"

class QTextBrowser;

namespace cx {

inline constexpr const char* projectWebAddress = "https://www.corvanex.net/";

class WebsiteWindow : public SkinDialog {
    Q_OBJECT
public:
    explicit WebsiteWindow(QWidget* parent = nullptr);

    QTextBrowser& guide() { return *guide_; }
    // Opens a web address outside the program; the desktop's browser by
    // default (tests put a recorder here).
    std::function<bool(const QUrl&)> openUrl;

private:
    void follow(const QUrl& url);
    void fitPictures(int width);

    QTextBrowser* guide_;
};

}  // namespace cx
