// What the frame and the tabs ask of the thumbnail strip beside the picture.
#pragma once

#include <wx/string.h>
#include <wx/window.h>

#include <string>

enum BrowseFilter { FilterAll = 2, FilterPhoto = 3, FilterVideo = 4 };

class COrvexBrowsePanelBase : public wxWindow {
public:
    explicit COrvexBrowsePanelBase(wxWindow* parent);
    virtual void layoutPanel(int x, int y, int width, int height) = 0;
    virtual void hideControls() = 0;
    virtual void showControls() = 0;
    virtual void pagePrev() = 0;
    virtual void pageNext() = 0;
    virtual void scanFolder(int filter) = 0;
    virtual void selectSlot(int slot) = 0;
    virtual void deleteFile(int slot) = 0;
    // A capture that was just written joins the list; path as the file system has it.
    virtual void addFile(const std::string& path) = 0;
    // A file is shown in the picture area (the Delete key acts on it only then).
    virtual bool isViewing() const = 0;
    virtual int selectedSlot() const = 0;
    // Files of the current filter; the browse tab cannot be entered while there are none.
    virtual size_t fileCount() const = 0;
};
