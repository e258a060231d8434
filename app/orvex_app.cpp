#include "app/orvex_app.h"

#include "app/orvex_frame.h"

bool COrvexApp::OnInit()
{
    m_frame = new COrvexFrame("Tavlin", wxDefaultPosition, wxDefaultSize);
    m_frame->Show(true);
    return true;
}

int COrvexApp::OnExit()
{
    return 0;
}
