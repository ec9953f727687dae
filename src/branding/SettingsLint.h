#pragma once

#include "util/StringList.h"

// Checks a plain settings document for what the program would silently get wrong when it reads
// it: tags out of the reading order (never read), gaps in the numbered Welcome/Banner/Link tags,
// Banner and Link values without "^" and address, unclosed tags, unknown tags, a BranderType that
// is none of the four levels, a News button hidden for lack of a publisher id or base URL, and
// a LastNewsId line that WriteLastNewsId would not recognise. The document is taken in exactly as
// the program takes it (lines, NUL ends the text, joined with CR LF).
// One warning per entry, without line end; an empty list when nothing would go wrong.
StringList LintSettingsDocument(const QByteArray& plain);

// The tags the branding loader reads, in its reading order (numbered tags expanded, 1 to 16).
const StringList& settingsTagsInReadingOrder();
