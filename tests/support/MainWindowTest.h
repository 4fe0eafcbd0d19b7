#pragma once
// A main window on a real engine in a folder with one camera, under the
// offscreen platform, for tests of what its buttons and keys open.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

#include "CMonitorDlg.h"
#include "Engine.h"
#include "support/TempFolder.h"
#include "support/WindowFolder.h"

namespace cx::test {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(makeWindowFolder(folder.path(), {{"Door", 1, "101"}}));
        engine.loadCameraTable();
        SettingsValues settings = engine.snapshot()->settings;
        adjust(settings);
        engine.changeSettings(settings);
        ASSERT_TRUE(skin.open(folder.path()));
        main = std::make_unique<CMonitorDlg>(engine, skin.skin, MonitorOptions{false});
    }
    void TearDown() override
    {
        main.reset();
        engine.shutdown();
    }
    // The options the window starts with.
    virtual void adjust(SettingsValues&) {}

    // The class name of the modal dialog `click` opens (closed again at
    // once); empty when none opened.
    static QString opens(const std::function<void()>& click)
    {
        QString seen;
        QTimer::singleShot(0, [&seen] {
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                seen = QString::fromLatin1(d->metaObject()->className());
                d->done(0);
            }
        });
        click();
        QApplication::processEvents();
        return seen;
    }

    TempFolder folder;
    Engine engine{{folder.path()}};
    AttachedSkin skin{engine};
    std::unique_ptr<CMonitorDlg> main;
};

}  // namespace cx::test
