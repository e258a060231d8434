// The setup tab: storage folder and time-stamp format.
#pragma once

#include "app/orvex_state.h"

#include <opencv2/core/mat.hpp>

#include <string>

class wxGenericDirCtrl;
class wxRadioButton;
class wxCommandEvent;
class wxMouseEvent;
class wxTreeEvent;
class wxTreeItemId;

class COrvexSetupState : public COrvexState
{
public:
    COrvexSetupState(wxWindow* parent, const wxPoint& origin);
    ~COrvexSetupState() override;

    void enter() override;
    void leave() override;
    void onTimer() override;
    bool allowsFullScreen() const override;
    void relayout(const TabLayout& layout) override;
    void layoutTab(wxBitmap topLeft);
    void layoutSide(const TabLayout& layout);
    void hideAll() override;
    void showAll() override;
    void keyEscape() override;
    wxString statusText() override;
    wxColour statusColour() override;

    void showFolderPage();
    void showStampPage();
    void confirm();
    void cancel();
    void addFolder();
    void chooseStamp(int format);
    void drawSample(int format);

    // Read by tests.
    int pageMode() const { return m_pageMode; }
    int chosenStamp() const { return m_chosenStamp; }
    wxGenericDirCtrl* tree() const { return m_tree; }
    wxRadioButton* radio(int i) const { return m_radios[i]; }
    SkinBitmap* sampleView() const { return m_sampleView; }
    SkinBitmap* pagePanel() const { return m_page; }
    SkinBitmap* icon(int i) const { return m_icons[i]; }
    SkinBitmap* button(int i) const { return m_buttons[i]; }

private:
    void onClick(wxMouseEvent& event);
    void onRadio(wxCommandEvent& event);
    void onEndLabelEdit(wxTreeEvent& event);
    void retargetItem(const wxTreeItemId& item, const std::string& from, const std::string& to);
    void followStorage(const std::string& from, const std::string& to);
    void commitStamp();
    void treeToStorage();
    void showIcons();
    void showPageControls(bool show);
    void layoutButtons(const TabLayout& layout);
    void layoutPage(const SkinRect& area);
    void layoutSample();

    wxBitmap m_iconPictures[4];   // folder off/on, stamp off/on
    wxBitmap m_buttonPictures[6]; // confirm, cancel, add: release/click
    SkinBitmap* m_icons[2] = {nullptr, nullptr};
    SkinBitmap* m_buttons[3] = {nullptr, nullptr, nullptr};
    SkinBitmap* m_page = nullptr;
    SkinBitmap* m_sampleView = nullptr;
    wxGenericDirCtrl* m_tree = nullptr;
    wxRadioButton* m_radios[4] = {nullptr, nullptr, nullptr, nullptr};
    cv::Mat m_sample;
    int m_clickTicks[3] = {0, 0, 0};
    int m_pageMode = 0;
    int m_chosenStamp = 0;
    bool m_pageActive[2] = {false, false};
};
