// The thumbnail strip beside the picture: filter buttons, previous/next and four slots,
// over the catalogue of captured files in the storage folder.
#pragma once

#include "app/browse_panel_base.h"
#include "browse/media_catalogue.h"

#include <wx/bitmap.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

class SkinBitmap;
class COrvexBrowseImage;
class wxBitmapButton;

class COrvexBrowsePanel : public COrvexBrowsePanelBase
{
public:
    COrvexBrowsePanel(wxWindow* parent, const wxPoint& pos, const wxSize& size);
    ~COrvexBrowsePanel() override;

    void layoutPanel(int x, int y, int width, int height) override;
    void hideControls() override;
    void showControls() override;
    void pagePrev() override;
    void pageNext() override;
    void scanFolder(int filter) override;
    void selectSlot(int slot) override;
    void deleteFile(int slot) override;
    bool isViewing() const override { return m_viewing; }
    int selectedSlot() const override { return m_selected; }
    size_t fileCount() const override { return m_files.size(); }

    void fillPage();
    void showDeleteIcons();
    using COrvexBrowsePanelBase::addFile;
    void addFile(const std::string& path) override;
    void setViewing(bool on);

    // Answers the delete question instead of the dialog (tests); empty: the dialog asks.
    void setDeleteQuestion(std::function<bool()> answer) { m_question = std::move(answer); }

    const std::vector<std::string>& files() const { return m_files; }
    int start() const { return m_start; }
    int filter() const { return m_filter; }
    COrvexBrowseImage* slot(int k) const { return m_slots[static_cast<size_t>(k)]; }
    const std::string& slotPath(int k) const { return m_slotPaths[static_cast<size_t>(k)]; }
    SkinBitmap* deleteIcon(int k) const { return m_deleteIcons[static_cast<size_t>(k)]; }
    // 0 the release picture, 1 the click picture, at the icons' current size.
    const wxBitmap& deletePicture(int i) const { return m_deletePictures[i]; }
    SkinBitmap* filterButton(int i) const { return m_filterButtons[static_cast<size_t>(i)]; }
    wxBitmapButton* prevButton() const { return m_prev; }
    wxBitmapButton* nextButton() const { return m_next; }

private:
    void onControlDown(wxMouseEvent& event);
    void onPrev(wxCommandEvent& event);
    void onNext(wxCommandEvent& event);
    void moveSelection(int slot);
    void openSelected();
    bool busy() const;
    void loadFilterPictures(int w, int h);
    bool askDelete();

    std::array<SkinBitmap*, 3> m_filterButtons{};
    std::array<wxBitmap, 6> m_filterPictures; // off, on for All, Photo, Video
    wxBitmapButton* m_prev = nullptr;
    wxBitmapButton* m_next = nullptr;
    std::array<COrvexBrowseImage*, 4> m_slots{};
    std::array<SkinBitmap*, 4> m_deleteIcons{};
    wxBitmap m_deletePictures[2];

    std::vector<std::string> m_files;
    int m_filter = FilterAll;
    bool m_filterOn[5] = {false, false, true, false, false};
    int m_start = 0;
    int m_selected = 0;
    bool m_viewing = false;
    std::array<std::string, 4> m_slotPaths;
    std::array<std::string, 4> m_photoKeys; // of the photo each slot decoded last
    std::function<bool()> m_question;
    bool m_asking = false;
};
