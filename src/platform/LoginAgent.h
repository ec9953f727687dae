#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>

class QTimer;
class TWebBrowser;
namespace Records {
class LoginSite;
}

// "Log In" in the browser pane: follows one login from the moment its page starts loading until
// the login form was sent with the password, the pane left the item's site, or the time ran out.
//
// The work in the page is done by the login agent (LoginAgent.js, a resource), a script in a world
// of its own in every frame. This class keeps the login (which item, which step) across the
// page's navigations, asks the agent on every finished load and on a short timer whether the
// login form is there, decides with Records::LoginSite whether the page and the form's frame may
// receive the secrets, and hands them over as data through a web channel, once per step.
//
// The agent talks to the page through the browser pane's control (TWebBrowser), which reaches the
// web engine plugin; nothing of the engine shows here: the window sees plain Qt types only.
class TLoginAgent : public QObject
{
    Q_OBJECT
public:
    enum class Outcome
    {
        Sent,       // the form was sent with the password
        Filled,     // filled without sending (the user held Shift)
        NoForm,     // no login form turned up within the wait
        Refused,    // the page, or the form's frame, is not the item's site
        TimedOut,   // a login in steps did not reach its password within the time
        NotAccepted // a filled field refused its value, so the page's button sent nothing
    };
    Q_ENUM(Outcome)

    struct Request
    {
        QString loginUrl;   // the item's site (Records::LoginSite)
        QString websiteUrl; //
        QString username;
        QString password;
        bool send = true; // false: fill without pressing the page's button
    };

    explicit TLoginAgent(TWebBrowser* browser);
    ~TLoginAgent() override;

    // Loads address in the browser (TWebBrowser::navigate) and follows the login in what it
    // shows. A login under way is dropped first, without a signal.
    void start(const QString& address, const Request& request);
    // Drops the login under way, without a signal. The agent forgets the username and password.
    void cancel();
    bool isActive() const { return m_active; }

    // How long a login waits for its form after the page loaded, and how long a login in steps
    // may take in all (tests shorten them).
    static void setWaits(int formWaitMs, int loginWaitMs);
    static constexpr int kFormWaitMs = 10000;
    static constexpr int kLoginWaitMs = 30000;

signals:
    // The login ended. message is one line for the user; empty when nothing needs saying
    // (Sent, Filled).
    void finished(TLoginAgent::Outcome outcome, const QString& message);

private:
    void installInPage();
    void poll();
    void onScan(const QVariant& result);
    void finish(Outcome outcome, const QString& message);
    QString noFormMessage() const;
    // The web channel's side: the secrets for one token, and the agent's report.
    QString take(const QString& token, const QString& frame);
    void report(const QString& token, const QString& json);

    QPointer<TWebBrowser> m_browser;
    QTimer* m_timer = nullptr;
    QString m_source; // the agent's script

    bool m_active = false;
    quint64 m_login = 0; // which login a callback belongs to
    Request m_request;
    std::unique_ptr<Records::LoginSite> m_site;
    qint64 m_startedAtMs = 0; // wall-clock time of "Log In", against the documents' navigation start
    QString m_oldDocument;    // the document shown when the login began: never filled
    bool m_inFlight = false;  // a scan or a fill is under way
    qint64 m_callStarted = 0; // when it began (m_clock)
    QString m_token;          // the one-time token of the fill under way (cleared by take)
    QString m_fillToken;      // the same, until the agent reports
    bool m_needUser = false;  // what that fill asked for
    bool m_needPassword = false;
    int m_steps = 0;          // steps sent without the password
    QElapsedTimer m_clock;    // since start
    qint64 m_pageSeenAt = -1; // when a document of the login was first seen
    QString m_frameRefusal;   // a frame of another site the page holds (for the no-form message)
};
