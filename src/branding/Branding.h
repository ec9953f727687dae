#pragma once

#include <QByteArray>
#include <QString>

// The program's version text, shown in the caption and the About dialog and compared by the
// update check.
inline constexpr char AppVersion[] = QUILLET_APP_VERSION;

// The values the settings file brands this copy with, named after their tags, plus the welcome
// page, banner and sponsor links drawn at start. All empty until the branding loader fills them
// once while the main window is created; read-only afterwards.
struct Branding
{
    QByteArray ApplicationName;
    QByteArray BranderCode;
    QByteArray BranderType;
    QByteArray AffiliateURL; // with the affiliate id already put in place
    QByteArray AffiliateID;
    QByteArray MasterNewsBaseURL;
    QByteArray PlatinumNewsBaseURL;
    QByteArray GoldNewsBaseURL;
    QByteArray MasterPublID;
    QByteArray PlatinumPublID;
    QByteArray GoldPublID;
    QByteArray AppHelpURL;
    QByteArray CopyrightYears;
    QByteArray CopyrightCompany;
    QByteArray AboutText;
    QByteArray WelcomePage;
    QByteArray BannerImage;
    QByteArray BannerURL;
    QByteArray Link1Title;
    QByteArray Link1URL;
    QByteArray Link2Title;
    QByteArray Link2URL;
};

// The process-wide record. Only the branding loader (and tests) write to it.
Branding& branding();

// A branding text as a widget shows it on one line: converted from Windows-1252 and cut to
// Limits::kMaxShownLineLength characters.
QString shownLine(const QByteArray& text);
