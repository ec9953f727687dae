#include "branding/Branding.h"

Branding& branding()
{
    static Branding record;
    return record;
}
