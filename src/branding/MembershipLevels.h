#pragma once

#include "branding/Branding.h"

#include <QByteArray>

// The membership levels a BranderType names (exact case). Each row says which publisher id and
// news base address the level uses (for the News button and the news requests) and the product
// type its news requests carry. "Free" shows the News button on the Master fields but sends no
// news request of its own: it has no product type.
struct MembershipLevel
{
    const char* BranderType;
    const char* productType; // "" for a level without news requests
    QByteArray Branding::*publisherId;
    QByteArray Branding::*newsBaseUrl;
};

inline constexpr MembershipLevel kMembershipLevels[] = {
    {"Master", "BM", &Branding::MasterPublID, &Branding::MasterNewsBaseURL},
    {"Platinum", "BP", &Branding::PlatinumPublID, &Branding::PlatinumNewsBaseURL},
    {"Gold", "BG", &Branding::GoldPublID, &Branding::GoldNewsBaseURL},
    {"Free", "", &Branding::MasterPublID, &Branding::MasterNewsBaseURL},
};

// The row of BranderType (compared byte for byte); nullptr for any other text, the empty one too.
inline const MembershipLevel* membershipLevel(const QByteArray& branderType)
{
    for (const MembershipLevel& level : kMembershipLevels)
        if (branderType == level.BranderType)
            return &level;
    return nullptr;
}
