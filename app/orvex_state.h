// A tab of the main frame: the base of the preview, browse and setup states. The window is
// never shown; it only owns the tab's controls, which sit on the frame's background window.
#pragma once

#include "app/skin_geometry.h"

#include <wx/bitmap.h>
#include <wx/colour.h>
#include <wx/window.h>

#include <opencv2/core/mat.hpp>

#include <string>
#include <vector>

class SkinBitmap;
class COrvexScreenBase;
class COrvexBrowsePanelBase;

// What the frame hands each tab in its relayout: the tile pictures as placed and where the
// tiles a tab puts its controls on sit on the background.
struct TabLayout {
    wxBitmap topLeft, side, topBar, bottomBar;
    SkinRect sideTile;      // the tool column
    SkinRect bottomBarTile; // the box, the player, the setup buttons
    SkinRect pageArea;      // the picture's tile, where the setup page goes
};

enum StateId { StatePlaceholder = 0, StatePreview = 1, StateBrowse = 2, StateSetup = 3 };

class COrvexState : public wxWindow {
public:
    COrvexState(wxWindow* parent, int id, const wxPoint& origin = wxPoint(0, 0));
    ~COrvexState() override;

    virtual void setMirror(bool on);
    virtual void setRotation(int quarterTurns);
    virtual wxBitmap makeZoomLabel(int level, wxBitmap bitmap);
    virtual bool canEnter();
    // Whether the picture may fill the screen while this tab is shown (the frame offers its
    // full-screen button and key by it).
    virtual bool allowsFullScreen() const;
    virtual void enter();
    virtual void leave();
    virtual void deviceArrived(bool isHandle);
    virtual void deviceRemoved(bool isHandle);
    virtual void onTimer();
    // Work of the tab that goes on whichever tab is shown (the camera search); every tick.
    virtual void runBackground();
    // Input waits for work of this tab: a switch to another tab asked for behind such input
    // waits with it. True when the switch was kept for later.
    virtual bool holdsSwitch(int toState);
    virtual void snapshotPress();
    virtual void snapshotRelease();
    virtual void toggleRecord();
    virtual void releaseFrame();
    virtual void releaseMedia();
    // Lets go of a file it holds open that has left the folder (deleted or replaced), so its
    // space is freed.
    virtual void releaseVanishedMedia();
    // path: the file's name as the file system gives it (any bytes, not only UTF-8).
    virtual void openFile(const std::string& path);
    virtual void relayout(const TabLayout& layout);
    virtual void hideAll();
    virtual void showAll();
    virtual void wheelStep(int delta);
    virtual void keyLeft();
    virtual void keyRight();
    virtual void keySpace();
    virtual void keyCtrlR();
    virtual void keyEnter();
    virtual void keyCtrlP();
    virtual void keyCtrlS();
    virtual void keyEscape();
    virtual void keyF1();
    virtual void keyF2();
    virtual void keyF3();
    virtual wxString statusText();
    virtual wxColour statusColour();
    // The frame to paint, owned by the state until releaseFrame; null when there is none.
    virtual cv::Mat* grabFrame();
    // The clock tick at which that frame was taken; the tick now where the tab has no camera.
    virtual uint32_t frameTakenAt() const;
    // The size the files (snapshot, recording) get of a frame of this tab: the frame's own
    // unless the camera model records at another size. The pass scales the frame into a
    // buffer of its own only when a file needs it.
    virtual cv::Size fileFrameSize(const cv::Mat& frame) const;

    int id() const { return m_id; }
    bool active() const { return m_active; }
    COrvexState* previous() const { return m_previous; }
    SkinBitmap* tabButton() const { return m_tabButton; }

protected:
    // The tab-button convention: tab n with its window id and design y in the tab column.
    void createTabButton(int n, wxWindowID windowId, int designY);
    void layoutTabButton(const wxBitmap& topLeft, int n, int designY);
    void showTabPicture();

    wxBitmap m_tabPictures[2];
    SkinBitmap* m_tabButton = nullptr;
    wxPoint m_origin{0, 0};
    bool m_active = false;
    bool m_snapshotHeld = false;
    bool m_toolLook[3] = {false, false, false};
    bool m_mirrorOn = false;
    int m_rotationStep = 0;
    wxPoint m_anchor{0, 0};
    COrvexState* m_previous = nullptr;
    int m_id = 0;

    friend void switchState(int id);

private:
    void onTabButtonDown(wxMouseEvent& event);
    int m_tabNumber = 0;
};

extern COrvexState* g_CurrentState;
extern std::vector<COrvexState*> g_States;
extern COrvexScreenBase* g_Screen;
extern COrvexBrowsePanelBase* g_BrowsePanel;

// Creates the placeholder, preview, browse and setup states on parent and makes the
// preview current.
void buildStates(COrvexScreenBase* screen, COrvexBrowsePanelBase* browsePanel, wxWindow* parent);
// Makes the state with this id current, unless it is already, it refuses, a snapshot is
// still settling or a recording runs.
void switchState(int id);
// Forgets the states (the background window destroys them with itself).
void clearStates();
