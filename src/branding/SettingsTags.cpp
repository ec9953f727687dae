#include "branding/SettingsTags.h"

#include "branding/BrandingLoader.h"

const SettingsTag kSettingsTags[17] = {
    {"ApplicationName", &Branding::ApplicationName},
    {"BranderCode", &Branding::BranderCode},
    {"BranderType", &Branding::BranderType},
    {"AffiliateURL", &Branding::AffiliateURL},
    {"AffiliateTYPE"}, // read in its place; the value is not used
    {"AffiliateID", &Branding::AffiliateID},
    {"MasterNewsBaseURL", &Branding::MasterNewsBaseURL},
    {"PlatinumNewsBaseURL", &Branding::PlatinumNewsBaseURL},
    {"GoldNewsBaseURL", &Branding::GoldNewsBaseURL},
    {"MasterPublID", &Branding::MasterPublID},
    {"PlatinumPublID", &Branding::PlatinumPublID},
    {"GoldPublID", &Branding::GoldPublID},
    {"MakeMoneyButton", nullptr, &BrandingDocument::MakeMoneyButton},
    {"AppHelpURL", &Branding::AppHelpURL},
    {"CopyrightYears", &Branding::CopyrightYears},
    {"CopyrightCompany", &Branding::CopyrightCompany},
    {"AboutText", &Branding::AboutText},
};

const NumberedTag kNumberedTags[3] = {
    {"Welcome", &BrandingDocument::WelcomeEntries, false},
    {"Banner", &BrandingDocument::BannerEntries, true},
    {"Link", &BrandingDocument::LinkEntries, true},
};

const char* tagNameOf(QByteArray Branding::*field)
{
    for (const SettingsTag& tag : kSettingsTags)
        if (tag.field == field)
            return tag.name;
    return nullptr;
}
