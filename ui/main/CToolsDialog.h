#pragma once
// The tools panel: the main window's functions as two rows of text
// buttons, each placed by the hover-button rule.

#include "SkinDialog.h"

namespace cx {

class CMonitorDlg;

class CToolsDialog : public SkinDialog {
    Q_OBJECT
public:
    explicit CToolsDialog(CMonitorDlg& main);

    // What button `id` does.
    void runTool(int id);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    CMonitorDlg& main_;
};

}  // namespace cx
