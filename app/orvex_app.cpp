#include "app/orvex_app.h"

bool COrvexApp::OnInit() { return true; }
int COrvexApp::OnExit() { return 0; }
