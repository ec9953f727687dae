#pragma once

#include "app/FMain.h"
#include "records/RecordFiles.h"

#include <QRect>

#include <array>

class QLineEdit;

// The item editor's eleven fields, in keyboard order, which is also the order of the item line's
// fields 1 to 11. Everything the window knows about a field is here: which field of the line it
// shows, its control, its label and the name the user knows it by.
struct TEditorField
{
    Records::ItemField field;   // its position in the item line
    QLineEdit* TfrmMain::*line; // the window's member for a one-line field; nullptr for memDesc
    const char* control;        // the control's objectName (and member name)
    const char* label;          // the label's objectName
    const char* caption;        // the label's text
    const char* name;           // the field's name in messages and for screen readers
    QRect place;                // the control's place in bsSkinPanel4 (memDesc: its framed panel)
    QRect labelPlace;           // the label's place: it ends 2 px before the control and holds its caption in
                                // DejaVu Sans, the widest of a desktop's fonts
};

// The table, made on first use. It names the window's private controls, so the window lets it in.
inline const std::array<TEditorField, 11>& editorFields()
{
    static const std::array<TEditorField, 11> fields = {{
        {Records::fldTitle,
         &TfrmMain::edtTitle,
         "edtTitle",
         "lblTitle",
         "Title:",
         "Title",
         {48, 11, 298, 18},
         {2, 13, 44, 14}},
        {Records::fldProgram,
         &TfrmMain::edtProg,
         "edtProg",
         "lblProg",
         "Affiliate Program:",
         "Affiliate Program",
         {101, 43, 247, 18},
         {2, 45, 97, 14}},
        {Records::fldWebsiteURL,
         &TfrmMain::edtWebsiteURL,
         "edtWebsiteURL",
         "lblWebsiteURL",
         " Website URL:",
         "Website URL",
         {101, 68, 247, 18},
         {2, 70, 97, 14}},
        {Records::fldLoginURL,
         &TfrmMain::edtLoginURL,
         "edtLoginURL",
         "lblLoginURL",
         "Login URL:",
         "Login URL",
         {101, 94, 247, 18},
         {2, 96, 97, 14}},
        {Records::fldUsername,
         &TfrmMain::edtLogin,
         "edtLogin",
         "lblLogin",
         "Username:",
         "Username",
         {101, 119, 247, 18},
         {2, 121, 97, 14}},
        {Records::fldPassword,
         &TfrmMain::edtPassword,
         "edtPassword",
         "lblPassword",
         "Password:",
         "Password",
         {101, 145, 247, 18},
         {2, 147, 97, 14}},
        {Records::fldAffiliateURL,
         &TfrmMain::edtAffiliateURL,
         "edtAffiliateURL",
         "lblAffiliateURL",
         "Affiliate Link",
         "Affiliate Link",
         {101, 170, 247, 18},
         {2, 172, 97, 14}},
        {Records::fldCloakedURL,
         &TfrmMain::edtCloaked,
         "edtCloaked",
         "lblCloaked",
         "Cloaked URL:",
         "Cloaked URL",
         {101, 196, 247, 18},
         {2, 198, 97, 14}},
        {Records::fldPayout,
         &TfrmMain::edtPayout,
         "edtPayout",
         "lblPayout",
         "Min Payout:",
         "Min Payout",
         {507, 11, 118, 18},
         {428, 13, 77, 14}},
        {Records::fldPaymentDay,
         &TfrmMain::edtPaymentDay,
         "edtPaymentDay",
         "lblPaymentDay",
         "Payment Day:",
         "Payment Day",
         {507, 38, 118, 18},
         {428, 40, 77, 14}},
        {Records::fldDescription,
         nullptr,
         "memDesc",
         "lblDesc",
         "Description:",
         "Description",
         {432, 88, 261, 128},
         {432, 70, 120, 14}},
    }};
    return fields;
}
