#pragma once

#include "branding/Branding.h"
#include "util/StringList.h"

#include <QByteArray>

struct BrandingDocument;

// The tags of the settings document that the branding loader reads, in its reading order. The
// loader and `quillet-brand lint` both walk this table, so a tag added or moved here is read and
// checked alike.

// Where the loader keeps a tag's value: a field of the branding record, the loader's own
// document (the "Make Money" caption, applied and not stored), or nowhere (read in its place
// only, so that it cuts the working text).
struct SettingsTag
{
    const char* name;
    QByteArray Branding::*field = nullptr;
    QByteArray BrandingDocument::*documentField = nullptr;
};

// The single tags, in reading order.
extern const SettingsTag kSettingsTags[17];

// The numbered tags, read after the single ones in this order, each from 1 up to the first empty
// value and at most kNumberedCopies times (Name1 .. Name16). Banner and Link values hold two
// sub-fields separated by "^".
struct NumberedTag
{
    const char* name;
    StringList BrandingDocument::*entries;
    bool hasSubFields;
};
extern const NumberedTag kNumberedTags[3];
inline constexpr int kNumberedCopies = 16;

// The tag a branding field is read from; nullptr for a field no tag fills (the drawn ones).
const char* tagNameOf(QByteArray Branding::*field);
