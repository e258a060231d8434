// The live-view tab's side of the camera search: running its steps on the frame's ticks,
// starting it over, and the input held for its end.
#include "capture/orvex_preview_state.h"

#include "app/data_files.h"
#include "app/skin_bitmap.h"
#include "devctl/orvex_io_control_box.h"

#include <wx/combobox.h>

CameraSearch::Hooks COrvexPreviewState::searchHooks()
{
    CameraSearch::Hooks h;
    h.barsOn = [this] { return m_ioBox->checkKelmo(false); };
    h.livePicture = [this] {
        m_ioBox->writeRegister(BV_MODE_A16D8, scope::kTube, scope::kTubePicture,
                               scope::kPictureLive);
    };
    h.showsBars = [](const uint8_t* pixels) { return COrvexIOControlBox::isKelmo(pixels); };
    h.listCleared = [this] {
        m_live.forgetCaptures();
        m_cameraList->Clear();
    };
    h.cameraAdded = [this](int index) {
        m_cameraList->Append(wxString::Format("Camera (%d)", index));
    };
    return h;
}

void COrvexPreviewState::refreshCamera()
{
    // Asked for from inside a step (the device box answering while it is questioned): the
    // step may not be torn down under itself, so the search starts over once it returns.
    if (m_stepping) {
        m_searchAgain = true;
        return;
    }
    // A search under way starts over: the devices it counted may have changed.
    m_search.reset();
    m_searchAgain = false;
    runSteps([this] { m_search = searchSteps(); });
}

void COrvexPreviewState::runBackground()
{
    // The search's steps go on whichever tab is shown.
    if (m_search.running())
        runSteps([this] { m_search.resume(); });
}

void COrvexPreviewState::runSteps(const std::function<void()>& steps)
{
    m_stepping = true;
    try {
        steps();
    } catch (...) {
        m_stepping = false;
        throw;
    }
    m_stepping = false;
    if (m_searchAgain) {
        refreshCamera();
        return;
    }
    replayHeldInput();
}

SteppedTask COrvexPreviewState::searchSteps()
{
    toolButton(3)->Hide();
    co_await m_finder.run();
    // A search that ended behind another tab leaves the button to the tab's entry.
    if (m_camera.rotateShown && m_active)
        toolButton(3)->Show();
}

bool COrvexPreviewState::afterSearch(std::function<void()> action, bool needsCamera)
{
    // Whatever came after held input waits behind it, so all happens in the order it came.
    if (!m_search.running() || (!needsCamera && m_heldInput.empty()))
        return false;
    m_heldInput.push_back(std::move(action));
    return true;
}

void COrvexPreviewState::replayHeldInput()
{
    // An action may start a search again (entering the tab after a device change): the rest
    // wait for that one.
    while (!m_search.running() && !m_heldInput.empty()) {
        std::function<void()> action = std::move(m_heldInput.front());
        m_heldInput.pop_front();
        action();
    }
}

bool COrvexPreviewState::holdsSwitch(int toState)
{
    return afterSearch([toState] { switchState(toState); }, false);
}
