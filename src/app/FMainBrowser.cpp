// The built-in browser pane of the main window.
#include "app/FMain.h"

void TfrmMain::bsSkinSpeedButton1Click() {}

void TfrmMain::bsSkinSpeedButton2Click() {}

void TfrmMain::bsSkinSpeedButton3Click() {}

void TfrmMain::bsSkinSpeedButton4Click() {}

void TfrmMain::bsSkinButton2Click() {}

void TfrmMain::btnBrowseWebsiteClick() {}

void TfrmMain::btnBrowseLoginClick() {}

void TfrmMain::btnBrowseAffiliateClick() {}

void TfrmMain::btnBrowseCloakedClick() {}

void TfrmMain::btnUPasteClick() {}

void TfrmMain::btnPPasteClick() {}
