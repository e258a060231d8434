#include "browse/orvex_browse_panel.h"

#include "app/data_files.h"
#include "app/orvex_state.h"
#include "app/skin_bitmap.h"
#include "app/window_ids.h"
#include "browse/bounded_photo.h"
#include "browse/browse_panel_geometry.h"
#include "browse/orvex_browse_image.h"
#include "pipeline/capture_state.h"
#include "pipeline/picture_settings.h"
#include "platform/clock.h"

#include <wx/bmpbuttn.h>
#include <wx/filefn.h>
#include <wx/log.h>
#include <wx/msgdlg.h>

#include <algorithm>
#include <filesystem>

namespace
{
const char* kFilterNames[6] = {"browse_all_off.bmp",   "browse_all_on.bmp",
                               "browse_photo_off.bmp", "browse_photo_on.bmp",
                               "browse_video_off.bmp", "browse_video_on.bmp"};
constexpr int kFilterIds[3] = {ID_STRIP_FILTER_ALL, ID_STRIP_FILTER_PHOTO, ID_STRIP_FILTER_VIDEO};
// A filter button's id gives its filter by offset.
static_assert(ID_STRIP_FILTER_PHOTO - ID_STRIP_FILTER_ALL == FilterPhoto - FilterAll &&
              ID_STRIP_FILTER_VIDEO - ID_STRIP_FILTER_ALL == FilterVideo - FilterAll);
// Photos are decoded at the smallest DCT scale that still leaves twice the largest thumbnail.
constexpr int kThumbnailDecodeWidth = 320, kThumbnailDecodeHeight = 240;
} // namespace

COrvexBrowsePanel::COrvexBrowsePanel(wxWindow* parent, const wxPoint& pos, const wxSize& size)
    : COrvexBrowsePanelBase(parent)
{
    const int x = pos.x, y = pos.y, h = size.y;
    loadFilterPictures(48, 54);
    for (int i = 0; i < 3; ++i) {
        auto* b = new SkinBitmap(parent, kFilterIds[i],
                                 m_filterPictures[static_cast<size_t>(2 * i + (i == 0))],
                                 wxPoint(x + 32 + 52 * i, y + 8), wxSize(48, 54));
        b->Bind(wxEVT_LEFT_DOWN, &COrvexBrowsePanel::onControlDown, this);
        m_filterButtons[static_cast<size_t>(i)] = b;
    }
    m_prev = new wxBitmapButton(
        parent, ID_STRIP_PREV, loadSkinPicture("browse_prev_release.bmp", 108, 36),
        wxPoint(x + 10, y + 78), wxSize(108, 36), wxBU_AUTODRAW | wxBORDER_NONE);
    m_prev->SetBitmapPressed(loadSkinPicture("browse_prev_click.bmp", 108, 36));
    m_next = new wxBitmapButton(
        parent, ID_STRIP_NEXT, loadSkinPicture("browse_next_release.bmp", 108, 36),
        wxPoint(x + 10, y + h - 44), wxSize(108, 36), wxBU_AUTODRAW | wxBORDER_NONE);
    m_next->SetBitmapPressed(loadSkinPicture("browse_next_click.bmp", 108, 36));
    for (wxBitmapButton* b : {m_prev, m_next})
        b->SetBackgroundStyle(wxBG_STYLE_PAINT);
    m_prev->Bind(wxEVT_BUTTON, &COrvexBrowsePanel::onPrev, this);
    m_next->Bind(wxEVT_BUTTON, &COrvexBrowsePanel::onNext, this);

    m_deletePictures[0] = loadSkinPicture("cancel_release.bmp", 24, 24);
    m_deletePictures[1] = loadSkinPicture("cancel_click.bmp", 24, 24);
    for (int k = 0; k < 4; ++k) {
        auto* s = new COrvexBrowseImage(wxSize(132, 100), parent, ID_STRIP_SLOT + k,
                                        wxPoint(x + 16, y + 124 + 100 * k));
        s->Bind(wxEVT_LEFT_DOWN, &COrvexBrowsePanel::onControlDown, this);
        m_slots[static_cast<size_t>(k)] = s;
        auto* d = new SkinBitmap(s, ID_STRIP_DELETE + k, m_deletePictures[0], wxPoint(0, 0),
                                 wxSize(24, 24));
        d->Bind(wxEVT_LEFT_DOWN, &COrvexBrowsePanel::onControlDown, this);
        d->Hide();
        m_deleteIcons[static_cast<size_t>(k)] = d;
    }
    m_filter = FilterAll;
    scanFolder(FilterAll);
}

COrvexBrowsePanel::~COrvexBrowsePanel()
{
    for (SkinBitmap* b : m_filterButtons)
        b->Destroy();
    m_prev->Destroy();
    m_next->Destroy();
    for (COrvexBrowseImage* s : m_slots)
        s->Destroy(); // takes its delete icon with it
    if (g_BrowsePanel == this)
        g_BrowsePanel = nullptr;
}

void COrvexBrowsePanel::loadFilterPictures(int w, int h)
{
    for (size_t i = 0; i < 6; ++i)
        m_filterPictures[i] = loadSkinPicture(kFilterNames[i], w, h);
}

void COrvexBrowsePanel::layoutPanel(int x, int y, int w, int h)
{
    hideControls();
    BrowsePanelGeometry g = computeBrowsePanelGeometry(x, y, w, h);
    loadFilterPictures(g.filters[0].w, g.filters[0].h);
    for (size_t i = 0; i < 3; ++i) {
        const SkinRect& r = g.filters[i];
        m_filterButtons[i]->SetSize(r.x, r.y, std::max(r.w, 1), std::max(r.h, 1));
        m_filterButtons[i]->show(m_filterPictures[2 * i + (m_filterOn[i + 2] ? 1 : 0)]);
    }
    const SkinRect& p = g.prev;
    const SkinRect& n = g.next;
    m_prev->SetBitmap(loadSkinPicture("browse_prev_release.bmp", p.w, p.h));
    m_prev->SetBitmapPressed(loadSkinPicture("browse_prev_click.bmp", p.w, p.h));
    m_prev->SetSize(p.x, p.y, std::max(p.w, 1), std::max(p.h, 1));
    m_next->SetBitmap(loadSkinPicture("browse_next_release.bmp", n.w, n.h));
    m_next->SetBitmapPressed(loadSkinPicture("browse_next_click.bmp", n.w, n.h));
    m_next->SetSize(n.x, n.y, std::max(n.w, 1), std::max(n.h, 1));

    const SkinRect& d = g.deleteIcon;
    m_deletePictures[0] = loadSkinPicture("cancel_release.bmp", d.w, d.h);
    m_deletePictures[1] = loadSkinPicture("cancel_click.bmp", d.w, d.h);
    for (size_t k = 0; k < 4; ++k) {
        const SkinRect& r = g.slots[k];
        COrvexBrowseImage* s = m_slots[k];
        s->SetSize(r.x, r.y, std::max(r.w, 1), std::max(r.h, 1));
        if (s->kind == SlotPhoto)
            s->renderPhoto();
        else if (s->kind == SlotVideo)
            s->renderVideoFrame();
        else
            s->show(blackBitmap(r.w, r.h));
        m_deleteIcons[k]->SetSize(d.x, d.y, std::max(d.w, 1), std::max(d.h, 1));
    }
    showControls();
}

void COrvexBrowsePanel::hideControls()
{
    for (SkinBitmap* b : m_filterButtons)
        b->Hide();
    m_prev->Hide();
    m_next->Hide();
    for (COrvexBrowseImage* s : m_slots)
        s->Hide();
}

void COrvexBrowsePanel::showControls()
{
    for (SkinBitmap* b : m_filterButtons)
        b->Show();
    m_prev->Show();
    m_next->Show();
    for (COrvexBrowseImage* s : m_slots)
        s->Show();
    for (size_t k = 0; k < 4; ++k) {
        if (k >= m_files.size()) {
            m_deleteIcons[k]->Hide();
        } else {
            m_deleteIcons[k]->show(m_deletePictures[0]);
            m_deleteIcons[k]->Show();
        }
    }
}

bool COrvexBrowsePanel::busy() const
{
    return recordingRuns() || g_SettleTime > 0;
}

namespace
{
// Files that left the folder are let go of by whoever still holds them open, or their space
// stays taken until the program ends.
void releaseVanishedMedia()
{
    for (COrvexState* s : g_States)
        s->releaseVanishedMedia();
}
} // namespace

void COrvexBrowsePanel::scanFolder(int filter)
{
    releaseVanishedMedia();
    std::vector<std::string> found;
    if (!listCaptures(toUtf8(g_StoragePath), filter, found)) {
        for (COrvexBrowseImage* s : m_slots)
            s->clearSlot();
        return;
    }
    const size_t n = found.size();
    for (size_t k = n; k < 4; ++k)
        m_slots[k]->clearSlot();
    m_files = std::move(found);
    const int before = m_filter >= 2 && m_filter <= 4 ? m_filter : FilterAll;
    const int now = filter >= 2 && filter <= 4 ? filter : FilterAll;
    m_filterOn[before] = false;
    m_filterButtons[static_cast<size_t>(before - 2)]->show(
        m_filterPictures[static_cast<size_t>(2 * (before - 2))]);
    m_filterOn[now] = true;
    m_filterButtons[static_cast<size_t>(now - 2)]->show(
        m_filterPictures[static_cast<size_t>(2 * (now - 2) + 1)]);
    m_filter = now;
    m_start = n >= 4 ? static_cast<int>(n) - 4 : 0;
    fillPage();
    showDeleteIcons();
    if (m_viewing && n > 0) {
        moveSelection(0);
        openSelected();
    }
    m_selected = 0;
}

namespace
{
// Identifies a photo file's content well enough to reuse its decoded picture: a capture is
// written once, so the same path, size and time mean the same picture.
std::string photoKey(const std::string& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        return {};
    const auto time = std::filesystem::last_write_time(path, ec);
    if (ec)
        return {};
    return path + '\n' + std::to_string(size) + '\n' +
           std::to_string(time.time_since_epoch().count());
}
} // namespace

void COrvexBrowsePanel::fillPage()
{
    std::vector<std::string> page = pageEntries(m_files, m_start);
    const size_t m = std::min<size_t>(m_files.size(), 4);
    // Paging moves most photos one slot on: keep their decoded pictures.
    std::array<std::pair<std::string, wxImage>, 4> decoded;
    for (size_t k = 0; k < 4; ++k)
        if (m_slots[k]->kind == SlotPhoto && m_slots[k]->photo.IsOk())
            decoded[k] = {m_photoKeys[k], m_slots[k]->photo};
    for (size_t k = 0; k < m; ++k) {
        m_slotPaths[k] = page[k];
        m_photoKeys[k].clear();
        COrvexBrowseImage* s = m_slots[k];
        std::error_code ec;
        const SlotKind kind =
            std::filesystem::exists(page[k], ec) ? slotKindOf(page[k]) : SlotEmpty;
        if (kind == SlotPhoto) {
            s->kind = SlotPhoto;
            s->closeCapture();
            s->showIcon = false;
            const std::string key = photoKey(page[k]);
            auto same = std::find_if(decoded.begin(), decoded.end(),
                                     [&](const auto& d) { return !key.empty() && d.first == key; });
            if (same != decoded.end())
                s->photo = same->second;
            else
                s->photo = imageFromBgr(
                    decodePhotoBounded(page[k], kThumbnailDecodeWidth, kThumbnailDecodeHeight));
            m_photoKeys[k] = key;
            s->renderPhoto();
        } else if (kind == SlotVideo) {
            s->loadVideo(page[k], m_filter == FilterAll);
        } else {
            s->clearSlot();
        }
    }
}

void COrvexBrowsePanel::showDeleteIcons()
{
    const size_t n = m_files.size();
    for (size_t k = 0; k < 4; ++k) {
        if (k >= n) {
            m_deleteIcons[k]->Hide();
        } else {
            m_deleteIcons[k]->show(m_deletePictures[0]);
            m_deleteIcons[k]->Show();
        }
    }
}

void COrvexBrowsePanel::addFile(const std::string& p)
{
    const SlotKind kind = slotKindOf(p);
    if (kind == SlotEmpty || (kind == SlotPhoto && m_filter == FilterVideo) ||
        (kind == SlotVideo && m_filter == FilterPhoto))
        return;
    // A rescan may already have listed it.
    if (std::find(m_files.begin(), m_files.end(), p) != m_files.end())
        return;
    m_files.push_back(p);
    const int n = static_cast<int>(m_files.size());
    if (!m_viewing) {
        if (n > 4)
            m_start = n - 4;
    } else if (m_start + m_selected >= n - 1) {
        ++m_start;
    }
    fillPage();
    showDeleteIcons();
}

void COrvexBrowsePanel::moveSelection(int slot)
{
    COrvexBrowseImage* old = m_slots[static_cast<size_t>(m_selected)];
    old->selected = false;
    old->redraw();
    m_selected = slot;
    COrvexBrowseImage* now = m_slots[static_cast<size_t>(slot)];
    now->selected = true;
    now->redraw();
}

void COrvexBrowsePanel::openSelected()
{
    if (g_CurrentState)
        g_CurrentState->openFile(m_slotPaths[static_cast<size_t>(m_selected)]);
}

void COrvexBrowsePanel::selectSlot(int slot)
{
    if (slot < 0 || slot > 3 || m_slots[static_cast<size_t>(slot)]->kind == SlotEmpty)
        return;
    moveSelection(slot);
    if (m_viewing)
        openSelected();
    else
        switchState(StateBrowse);
}

void COrvexBrowsePanel::setViewing(bool on)
{
    m_viewing = on;
    COrvexBrowseImage* s = m_slots[static_cast<size_t>(m_selected)];
    s->selected = on;
    s->redraw();
    if (on)
        openSelected();
}

bool COrvexBrowsePanel::askDelete()
{
    if (m_question)
        return m_question();
    wxMessageDialog ask(nullptr, "Are you Sure to delete it?", "Question",
                        wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION | wxCENTRE);
    return ask.ShowModal() == wxID_YES;
}

void COrvexBrowsePanel::deleteFile(int slot)
{
    // One question at a time: input reaching the panel from inside the question's own event
    // loop must not stack a second one on it.
    if (slot < 0 || slot > 3 || m_asking)
        return;
    SkinBitmap* icon = m_deleteIcons[static_cast<size_t>(slot)];
    icon->show(m_deletePictures[1]);
    m_asking = true;
    const bool yes = askDelete();
    m_asking = false;
    if (yes) {
        if (g_CurrentState)
            g_CurrentState->releaseMedia();
        platform::clock().sleep(100);
        const std::string path = m_slotPaths[static_cast<size_t>(slot)];
        for (size_t k = 0; k < 4; ++k)
            if (static_cast<int>(k) == slot || m_slotPaths[k] == path)
                m_slots[k]->closeCapture();
        // Only a file the strip lists, and only from the storage folder itself.
        auto it = std::find(m_files.begin(), m_files.end(), path);
        if (it != m_files.end()) {
            const bool removed = removeCaptureFile(toUtf8(g_StoragePath), path);
            logLine("Browse deleteFile() %s %s\n", path.c_str(),
                    removed ? "deleted" : "not deleted");
            m_files.erase(it);
        }
        releaseVanishedMedia();
        const int n = static_cast<int>(m_files.size());
        fillPage();
        showDeleteIcons();
        for (int k = n; k < 4; ++k)
            m_slots[static_cast<size_t>(k)]->clearSlot();
        if (n > 0) {
            if (m_selected >= n)
                moveSelection(m_selected - 1);
            openSelected();
        } else if (m_viewing) {
            switchState(StatePreview);
        }
    }
    icon->show(m_deletePictures[0]);
}

void COrvexBrowsePanel::pagePrev()
{
    if (busy())
        return;
    const int n = static_cast<int>(m_files.size());
    if (!m_viewing || m_selected == 0) {
        if (n < 4)
            return;
        if (--m_start < 0)
            m_start = n - 1;
        fillPage();
    }
    if (m_viewing) {
        if (m_selected > 0 && m_selected < 4)
            moveSelection(m_selected - 1);
        openSelected();
    }
}

void COrvexBrowsePanel::pageNext()
{
    if (busy())
        return;
    const int n = static_cast<int>(m_files.size());
    if (!m_viewing || m_selected == 3 || m_selected >= n - 1) {
        if (n < 4)
            return;
        if (++m_start >= n)
            m_start = 0;
        fillPage();
    }
    if (m_viewing) {
        if (m_selected >= 0 && m_selected < 3 && m_selected < n - 1)
            moveSelection(m_selected + 1);
        openSelected();
    }
}

void COrvexBrowsePanel::onControlDown(wxMouseEvent& event)
{
    event.Skip();
    if (busy())
        return;
    const int id = event.GetId();
    if (id >= ID_STRIP_SLOT && id < ID_STRIP_SLOT + 4)
        selectSlot(id - ID_STRIP_SLOT);
    else if (id >= ID_STRIP_DELETE && id < ID_STRIP_DELETE + 4)
        deleteFile(id - ID_STRIP_DELETE);
    else if (id >= ID_STRIP_FILTER_ALL && id <= ID_STRIP_FILTER_VIDEO)
        scanFolder(FilterAll + (id - ID_STRIP_FILTER_ALL));
}

void COrvexBrowsePanel::onPrev(wxCommandEvent&)
{
    pagePrev();
}
void COrvexBrowsePanel::onNext(wxCommandEvent&)
{
    pageNext();
}
