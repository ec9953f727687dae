#pragma once

#include "util/StringList.h"

#include <QString>

#include <functional>
#include <optional>

// Checks a plain settings document for what the program would silently get wrong when it reads
// it: tags out of the reading order (never read), gaps in the numbered Welcome/Banner/Link tags,
// Banner and Link values without "^" and address, unclosed tags, unknown tags, a BranderType that
// is none of the four levels, a News button hidden for lack of a publisher id or base URL, and
// a LastNewsId line that WriteLastNewsId would not recognise, and addresses the program refuses to
// hand over: one that begins with "-" (UUtils::readsAsOption), a sponsor link that is no web
// address, an AffiliateURL over Limits::kMaxAddressLength once the affiliate id is put in. The document is taken in
// exactly as the program takes it (lines, NUL ends the text, joined with CR LF). One warning per entry, without line
// end; an empty list when nothing would go wrong.
StringList LintSettingsDocument(const QByteArray& plain);

// The tags the branding loader reads, in its reading order (numbered tags expanded, 1 to 16).
const StringList& settingsTagsInReadingOrder();

// What the lint needs to know of a picture: its size in pixels and its number of frames.
struct PictureInfo
{
    int width = 0;
    int height = 0;
    int frames = 1;
};

// Reads a picture file's header; std::nullopt when the file is no picture the program can show.
using PictureProbe = std::function<std::optional<PictureInfo>(const QString& path)>;

// Checks the files a copy delivers beside its settings file, in folder dir, against the ceilings of
// branding/Limits.h, as the program takes them: mainskin.dat (a file of at most kSkinFileMaxBytes
// holding a style sheet, plain or compressed, of at most kSkinMaxBytes), the pictures "banner" + N
// + ".dat" of the banner entries that plain gives (file size, sides, what decoding allocates, and
// all frames of an animated banner), and main.ico. One warning per entry.
StringList LintDeliveredFiles(const QString& dir, const QByteArray& plain, const PictureProbe& probe);
