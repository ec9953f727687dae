#include "branding/Branding.h"

#include "branding/Limits.h"
#include "util/TextCodec.h"

Branding& branding()
{
    static Branding record;
    return record;
}

QString shownLine(const QByteArray& text)
{
    return UUtils::ansiToString(text.left(Limits::kMaxShownLineLength));
}
