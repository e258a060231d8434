// main() of a GUI test program: a real wx application on the X server (Xvfb under ctest),
// the tests run inside it. No display means the program cannot test anything: skip (77).
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/image.h>

#include <cstdlib>

namespace {
class GuiTestApp : public wxApp {
public:
    bool OnInit() override
    {
        wxInitAllImageHandlers();
        return true;
    }
};
}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "no X display: skipping GUI tests\n");
        return 77;
    }
    wxApp::SetInstance(new GuiTestApp);
    if (!wxEntryStart(argc, argv)) {
        std::fprintf(stderr, "cannot open the X display: skipping GUI tests\n");
        return 77;
    }
    wxTheApp->CallOnInit();
    // The tests drive the loop themselves (pumpEvents); it must be the active one so that
    // every event source, file descriptors included, is dispatched.
    int rc = 0;
    {
        wxGUIEventLoop loop;
        wxEventLoopActivator active(&loop);
        rc = RUN_ALL_TESTS();
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return rc;
}
