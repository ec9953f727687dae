// The built-in browser pane: the browser bar's buttons, "Browse" and "Paste" beside the editor's fields.
//
// The pane only starts navigations and sends commands to the web browser control; it handles none of
// the control's events. edtURL therefore changes only through typing and the "Browse" buttons: links
// followed in the page, Back, Forward and redirections leave it as it was.

#include "app/FMain.h"

#include "app/ErrorGuard.h"
#include "platform/Clipboard.h"
#include "platform/LoginAgent.h"
#include "platform/MessageBox.h"
#include "platform/WebBrowser.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

// The pane works on what the fields show right now, edited or stored. Nothing here is stored, so
// the text goes to the control and the clipboard as the widget holds it: a character that the
// record files could not hold still reaches the page unchanged.

TWebBrowser* TfrmMain::webBrowser()
{
    // The adapter is cheap; the view inside it, the web engine plugin and the engine itself come
    // with the first navigation.
    auto* browser = EmbeddedWB1->findChild<TWebBrowser*>(QString(), Qt::FindDirectChildrenOnly);
    if (!browser)
        browser = new TWebBrowser(EmbeddedWB1);
    return browser;
}

// The user takes the pane elsewhere: a login under way ends without a word.
void TfrmMain::cancelLogin()
{
    if (auto* agent = webBrowser()->findChild<TLoginAgent*>(QString(), Qt::FindDirectChildrenOnly))
        agent->cancel();
}

// Back
void TfrmMain::bsSkinSpeedButton1Click()
{
    cancelLogin();
    TWebBrowser* browser = webBrowser();
    if (browser->busy())
        browser->stop();
    browser->goBack(); // no earlier page: nothing happens
}

// Forward ("Foward")
void TfrmMain::bsSkinSpeedButton2Click()
{
    cancelLogin();
    TWebBrowser* browser = webBrowser();
    if (browser->busy())
        browser->stop();
    browser->goForward();
}

// Stop
void TfrmMain::bsSkinSpeedButton3Click()
{
    cancelLogin();
    TWebBrowser* browser = webBrowser();
    if (browser->busy())
        browser->stop();
}

// Refresh
void TfrmMain::bsSkinSpeedButton4Click()
{
    cancelLogin();
    TWebBrowser* browser = webBrowser();
    if (browser->busy())
        browser->stop();
    browser->refresh();
}

// "Go!": navigates to edtURL's text, which stays as it is.
void TfrmMain::bsSkinButton2Click()
{
    const QString address = edtURL->text();
    if (address.isEmpty())
        return;
    cancelLogin();
    TWebBrowser* browser = webBrowser();
    browser->stop();
    browser->navigate(address);
}

// The four "Browse" buttons: the field's text, exactly as typed, into edtURL and to the control.
// An empty field does nothing; a field of blanks is not empty.
void TfrmMain::browseField(const QLineEdit* field)
{
    const QString address = field->text();
    if (address.isEmpty())
        return;
    cancelLogin();
    TWebBrowser* browser = webBrowser();
    browser->stop();
    edtURL->setText(address);
    browser->navigate(address);
}

void TfrmMain::btnBrowseWebsiteClick()
{
    browseField(edtWebsiteURL);
}

void TfrmMain::btnBrowseLoginClick()
{
    browseField(edtLoginURL);
}

void TfrmMain::btnBrowseAffiliateClick()
{
    browseField(edtAffiliateURL);
}

void TfrmMain::btnBrowseCloakedClick()
{
    browseField(edtCloaked);
}

// The two "Paste" buttons: the field's text on the clipboard (an empty field empties it), then the
// page's own paste into its focused element. Without a page only the clipboard changes. The
// clipboard keeps the text for kClipboardForgetMs; then, and when the program ends, it is cleared
// if it still holds that text (a username or password must not linger where any program can read
// it; what the user copied meanwhile stays).
void TfrmMain::pasteField(const QLineEdit* field)
{
    m_clipboardText = field->text();
    TClipboard::setText(m_clipboardText);
    ClipboardTimer->start();
    webBrowser()->paste();
}

void TfrmMain::forgetClipboard()
{
    ClipboardTimer->stop();
    if (!m_clipboardText.isEmpty() && TClipboard::text() == m_clipboardText)
        TClipboard::clear();
    m_clipboardText.clear();
}

void TfrmMain::btnUPasteClick()
{
    pasteField(edtLogin);
}

void TfrmMain::btnPPasteClick()
{
    pasteField(edtPassword);
}

// "Log In". The username and password are the fields' texts as shown (unsaved edits included, as
// with "Paste"); they reach the page only as the values of the login form's fields, never through
// the clipboard, and only on the item's site (Records::LoginSite: the hosts of the login URL and
// the website URL).
void TfrmMain::btnLogInClick()
{
    const Qt::KeyboardModifiers modifiers = m_logInModifiers | QGuiApplication::keyboardModifiers();
    m_logInModifiers = {};
    logIn(!modifiers.testFlag(Qt::ShiftModifier));
}

void TfrmMain::logIn(bool send)
{
    const QString address = !edtLoginURL->text().isEmpty() ? edtLoginURL->text() : edtWebsiteURL->text();
    if (address.isEmpty()) {
        loginAgent()->cancel();
        TMessageBox::information(QStringLiteral("This item has no login URL or website URL to log in to."));
        return;
    }
    // As "Browse" does: stop, show the address, load it.
    TWebBrowser* browser = webBrowser();
    browser->stop();
    edtURL->setText(address);
    TLoginAgent::Request request;
    request.loginUrl = edtLoginURL->text();
    request.websiteUrl = edtWebsiteURL->text();
    request.username = edtLogin->text();
    request.password = edtPassword->text();
    request.send = send;
    loginAgent()->start(address, request);
}

TLoginAgent* TfrmMain::loginAgent()
{
    TWebBrowser* browser = webBrowser();
    auto* agent = browser->findChild<TLoginAgent*>(QString(), Qt::FindDirectChildrenOnly);
    if (!agent) {
        agent = new TLoginAgent(browser);
        // Queued: the message box waits for the user, the page's callbacks should not.
        connect(
            agent, &TLoginAgent::finished, this, guarded([this](TLoginAgent::Outcome outcome, const QString& message) {
                loginFinished(outcome == TLoginAgent::Outcome::Refused || outcome == TLoginAgent::Outcome::NotAccepted,
                              message);
            }),
            Qt::QueuedConnection);
    }
    return agent;
}

void TfrmMain::loginFinished(bool refused, const QString& message)
{
    if (message.isEmpty())
        return;
    if (refused)
        TMessageBox::warning(message);
    else
        TMessageBox::information(message);
}
