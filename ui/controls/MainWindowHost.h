#pragma once
// What the dialogs the main window opens may ask of it, without knowing
// the main window itself (the window folders sit beside each other; the
// main window's is above them). The main window implements it.

namespace cx {

class MainWindowHost {
public:
    virtual ~MainWindowHost() = default;
    // The grid for `cameras` cameras, rebuilt when its shape changes; false
    // when no shape fits the count (none, or more than 16).
    virtual bool rebuildGridFor(int cameras) = 0;
    // Every pane back to the same size.
    virtual void equalLayout() = 0;
    // Recomputes the status text from the cameras and recordings.
    virtual void buildStatusText() = 0;
    // Another skin package is in use: status text, outline and buttons follow it.
    virtual void skinChanged() = 0;

protected:
    MainWindowHost() = default;
    MainWindowHost(const MainWindowHost&) = default;
    MainWindowHost& operator=(const MainWindowHost&) = default;
};

}  // namespace cx
