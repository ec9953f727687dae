#pragma once

#include "branding/Branding.h"
#include "util/StringList.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// The part of the branding loader that needs no window: the tags of the settings document read in
// their fixed order, the affiliate id put in place, the News button rule and the random draws of
// welcome page, banner and sponsor links. The main window applies the result (FMainBranding.cpp).

// Draws an index uniformly from 0 to count - 1 (count is at least 1). Tests pass their own to force
// the draws.
using RandomIndex = std::function<int(int count)>;

// The program's draws: independent and uniform, from the system's random generator.
RandomIndex defaultRandomIndex();

// The source the main window's loader draws with: defaultRandomIndex() unless a test set another
// (an empty function restores the default).
RandomIndex brandingRandomIndex();
void setBrandingRandomIndex(RandomIndex source);

inline constexpr char kDefaultMakeMoneyCaption[] = "Make Money";
inline constexpr char kAffiliateIdPlaceholder[] = "%%AFFILIATEID%%";

// Everything the document says, in reading order, before anything is drawn.
struct BrandingDocument
{
    Branding values;            // the tag fields; the drawn fields stay empty
    QByteArray MakeMoneyButton; // the tag as written (empty when missing)
    StringList WelcomeEntries;  // Welcome1.., up to the first empty one
    StringList BannerEntries;   // Banner1..
    StringList LinkEntries;     // Link1..
};

// Reads the tags of kSettingsTags and kNumberedTags (SettingsTags.h) from the working text (the
// document's lines joined, each followed by CR LF), each with ExtractTagValue on the one working
// text, in reading order, and puts AffiliateID in place of every "%%AFFILIATEID%%" (exact case)
// in AffiliateURL (SubstituteAffiliateId).
BrandingDocument ReadBrandingDocument(QByteArray working);

// url with id in place of every "%%AFFILIATEID%%" (exact case); empty when the result would be
// longer than Limits::kMaxAddressLength (no browser takes such an address).
QByteArray SubstituteAffiliateId(const QByteArray& url, const QByteArray& id);

// btnNews is visible exactly when BranderType names a level of kMembershipLevels (exact case) and
// that level's publisher id and news base address are both set.
bool NewsButtonVisible(const Branding& values);

// The caption of the main window: ApplicationName + " v" + AppVersion (also for an empty name).
QByteArray MainCaption(const Branding& values);

// MakeMoneyButton, or "Make Money" when it is empty.
QByteArray MakeMoneyCaption(const BrandingDocument& document);

// The outcome of the start-up draws.
struct BrandingDraws
{
    Branding record;      // values plus WelcomePage, BannerImage/URL, Link1/2 Title/URL
    int BannerNumber = 0; // N of the drawn entry Banner N (its image is "banner" + N + ".dat"); 0: none
};

// Draws the welcome page, the banner and two different sponsor links, each uniformly and
// independently. A banner or link entry is split at "^"; an entry without "^" (or with nothing
// after it) is used with an empty address.
BrandingDraws DrawBranding(const BrandingDocument& document, const RandomIndex& random);

// "banner" + N + ".dat".
QString BannerFileName(int number);

// The banner's shown name: the image name's text after its last '\', ':' or '/'.
QByteArray BannerShownName(const QByteArray& image);

// True when the lower-cased shown name contains ".gif" anywhere: the banner is an animated GIF.
bool IsAnimatedBanner(const QByteArray& shownName);

// The image format the shown name's extension gives, lower-cased ("png", "jpg", ...); empty when
// the name has no extension.
QByteArray BannerImageFormat(const QByteArray& shownName);

// A skin file is a Qt style sheet, stored as plain text or compressed the way qCompress writes it
// (4-byte big-endian length, then a zlib stream). Returns the sheet's text, or std::nullopt when
// the file is neither (binary bytes, a broken compressed stream, an empty sheet) or the sheet is
// longer than Limits::kSkinMaxBytes. The length a compressed file declares is not relied on.
std::optional<QString> DecodeSkin(const QByteArray& file);

// Inflates a zlib stream, stopping as soon as it yields more than limit bytes: std::nullopt
// then, and for a broken or incomplete stream.
std::optional<QByteArray> InflateUpTo(const QByteArray& stream, qsizetype limit);
