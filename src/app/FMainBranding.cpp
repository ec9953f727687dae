// Branding, welcome page, banner, sponsor links, About, Help and "Make Money" of the main window.
#include "app/FMain.h"

void TfrmMain::LoadBranding() {}

void TfrmMain::showWelcomePage() {}

void TfrmMain::btnMakeMoneyClick() {}

void TfrmMain::btnAboutClick() {}

void TfrmMain::btnHelpClick() {}

void TfrmMain::imgBannerClick() {}

void TfrmMain::gifBannerClick() {}

void TfrmMain::lblLink1URLClick() {}

void TfrmMain::lblLink2URLClick() {}
