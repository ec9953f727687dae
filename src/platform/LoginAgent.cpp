#include "platform/LoginAgent.h"

#include "platform/WebBrowser.h"
#include "records/LoginSite.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTimer>
#include <QVariantMap>

namespace {

int g_formWaitMs = TLoginAgent::kFormWaitMs;
int g_loginWaitMs = TLoginAgent::kLoginWaitMs;
constexpr int kPollMs = 250;         // how often the agent looks for the form between loads
constexpr int kCallTimeoutMs = 5000; // a scan or fill that has not answered by then is given up
constexpr int kMaxSteps = 5;         // username steps without a password before the login gives up

const QString kAgentScript = QStringLiteral("quillet-login-agent");

bool hasPage(const TWebBrowser* browser)
{
    return browser && browser->view();
}

QString resourceText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

} // namespace

TLoginAgent::TLoginAgent(TWebBrowser* browser) : QObject(browser), m_browser(browser)
{
    Q_INIT_RESOURCE(login); // the agent's script lives in this static library's resources
    m_source = resourceText(QStringLiteral(":/login/LoginAgent.js"));
    // The agents in the frames of a page sign their messages to each other with a key of this run;
    // pages cannot read the source of a script in the agent's world.
    QByteArray key(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(key.data()), 4);
    m_source.replace(QStringLiteral("@LOGIN_AGENT_KEY@"), QString::fromLatin1(key.toHex()));
    Q_ASSERT(!m_source.isEmpty());
    m_timer = new QTimer(this);
    m_timer->setInterval(kPollMs);
    connect(m_timer, &QTimer::timeout, this, &TLoginAgent::poll);
    // A finished load is the likeliest moment for the form: look at once.
    connect(browser, &TWebBrowser::loadFinished, this, [this] { poll(); });
}

TLoginAgent::~TLoginAgent() = default;

void TLoginAgent::setWaits(int formWaitMs, int loginWaitMs)
{
    g_formWaitMs = formWaitMs;
    g_loginWaitMs = loginWaitMs;
}

void TLoginAgent::installInPage()
{
    // The object the agent reaches through the web channel (as "quilletLogin"), in the program's
    // own script world only: the page's scripts have no transport to it. take gives the username
    // and password for the frame at frame (an address, or an origin) as JSON, once per token; "{}"
    // for any other call.
    if (!hasPage(m_browser))
        return;
    IBrowserViewEngine::ScriptBridge bridge;
    bridge.take = [guard = QPointer<TLoginAgent>(this)](const QString& token, const QString& frame) {
        return guard ? guard->take(token, frame) : QStringLiteral("{}");
    };
    bridge.report = [guard = QPointer<TLoginAgent>(this)](const QString& token, const QString& json) {
        if (guard)
            guard->report(token, json);
    };
    m_browser->installScript(kAgentScript, m_source, QStringLiteral("quilletLogin"), std::move(bridge));
}

void TLoginAgent::start(const QString& address, const Request& request)
{
    cancel();
    m_request = request;
    m_site = std::make_unique<Records::LoginSite>(request.loginUrl, request.websiteUrl);
    m_active = true;
    m_startedAtMs = QDateTime::currentMSecsSinceEpoch();
    m_clock.start();
    m_pageSeenAt = -1;
    m_steps = 0;
    m_inFlight = false;
    m_token.clear();
    m_fillToken.clear();
    m_frameRefusal.clear();
    m_oldDocument.clear();

    if (!m_browser)
        return;
    m_browser->navigate(address);
    if (!hasPage(m_browser)) {
        // No web engine (the loader has told the user): nothing to follow.
        cancel();
        return;
    }
    installInPage();

    // The document shown now is not the login's, whatever it holds: note which it is before the
    // new one replaces it (the agent is added to it for that, if it has none).
    m_inFlight = true;
    m_callStarted = m_clock.elapsed();
    m_browser->runScript(m_source + QStringLiteral(";\nwindow.quilletLoginAgent.documentId()"),
                         [guard = QPointer<TLoginAgent>(this), login = m_login](const QVariant& id) {
                             if (!guard || guard->m_login != login)
                                 return;
                             guard->m_oldDocument = id.toString();
                             guard->m_inFlight = false;
                         });
    m_timer->start();
}

void TLoginAgent::cancel()
{
    m_active = false;
    ++m_login; // callbacks of the login that ends are ignored
    m_timer->stop();
    m_request = Request();
    m_token.clear();
    m_fillToken.clear();
    m_inFlight = false;
}

void TLoginAgent::finish(Outcome outcome, const QString& message)
{
    cancel();
    emit finished(outcome, message);
}

void TLoginAgent::poll()
{
    if (!m_active)
        return;
    const qint64 now = m_clock.elapsed();
    if (m_inFlight && now - m_callStarted < kCallTimeoutMs)
        return;
    if (m_inFlight) {
        // The page went away under the call (a navigation, a busy renderer): its answer, should it
        // come, belongs to no login any more.
        ++m_login;
        m_inFlight = false;
        m_token.clear();
        m_fillToken.clear();
    }
    if (now > g_loginWaitMs) {
        if (m_steps > 0)
            finish(Outcome::TimedOut, QStringLiteral("Log In stopped: the password field did not appear within %1 "
                                                     "seconds.")
                                          .arg(g_loginWaitMs / 1000));
        else
            finish(Outcome::NoForm, noFormMessage());
        return;
    }
    if (m_steps == 0 && m_pageSeenAt >= 0 && now - m_pageSeenAt > g_formWaitMs) {
        finish(Outcome::NoForm, noFormMessage());
        return;
    }
    if (!hasPage(m_browser))
        return;
    m_inFlight = true;
    m_callStarted = now;
    m_browser->runScript(QStringLiteral("window.quilletLoginAgent ? window.quilletLoginAgent.scan() : null"),
                         [guard = QPointer<TLoginAgent>(this), login = m_login](const QVariant& result) {
                             if (!guard || guard->m_login != login)
                                 return;
                             guard->m_inFlight = false;
                             guard->onScan(result);
                         });
}

QString TLoginAgent::noFormMessage() const
{
    if (!m_frameRefusal.isEmpty())
        return QStringLiteral("No login form found on this page; nothing was filled into %1.").arg(m_frameRefusal);
    return QStringLiteral("No login form found on this page.");
}

void TLoginAgent::onScan(const QVariant& value)
{
    if (!m_active)
        return;
    if (value.isNull() || !value.isValid()) {
        // A document without the agent (it was shown before the agent was installed, or the
        // engine has not run the scripts yet): add it now.
        if (hasPage(m_browser) && !m_source.isEmpty())
            m_browser->runScript(m_source);
        return;
    }
    const QVariantMap scan = value.toMap();
    const QString document = scan.value(QStringLiteral("doc")).toString();
    const qint64 began = qint64(scan.value(QStringLiteral("began")).toDouble());
    const QUrl top(scan.value(QStringLiteral("top")).toString());
    // Only the documents of this login: another than the one shown at "Log In", or one whose
    // navigation began after it (should the first look have reached the new document already).
    // The blank document of a view that has not loaded yet is none of them.
    const bool fresh = began >= m_startedAtMs || (!m_oldDocument.isEmpty() && document != m_oldDocument);
    if (!fresh || top.isEmpty() || top.scheme() == QLatin1String("about"))
        return;
    if (top.scheme() == QLatin1String("chrome-error")) {
        // The engine's page for a load that failed (no such host, connection refused).
        finish(Outcome::NoForm, QStringLiteral("Log In: the login page could not be loaded."));
        return;
    }
    if (m_pageSeenAt < 0)
        m_pageSeenAt = m_clock.elapsed();

    const QString pageRefusal = m_site->refusal(top);
    if (!pageRefusal.isEmpty()) {
        if (m_steps > 0)
            finish(Outcome::Refused,
                   QStringLiteral("Log In stopped: the page left this item's site: %1.").arg(pageRefusal));
        else
            finish(Outcome::Refused, QStringLiteral("Log In: nothing was filled: %1.").arg(pageRefusal));
        return;
    }
    // Frames the agent could not look into: a login form there gets nothing, and if none is
    // found elsewhere the user is told which frame it was.
    const QVariantList frames = scan.value(QStringLiteral("frames")).toList();
    for (const QVariant& frame : frames) {
        const QString refusal = m_site->refusal(QUrl(frame.toString()), top);
        if (!refusal.isEmpty()) {
            m_frameRefusal = refusal;
            break;
        }
    }

    if (scan.value(QStringLiteral("state")).toString() != QLatin1String("ready"))
        return;
    const QString frameRefusal = m_site->refusal(QUrl(scan.value(QStringLiteral("frame")).toString()), top);
    if (!frameRefusal.isEmpty()) {
        if (scan.value(QStringLiteral("cross")).toBool()) {
            // A form in a frame of another site gets nothing; one of the item's site may still come.
            m_frameRefusal = frameRefusal;
            return;
        }
        finish(Outcome::Refused, QStringLiteral("Log In: nothing was filled: %1.").arg(frameRefusal));
        return;
    }
    if (!scan.value(QStringLiteral("bridge")).toBool() || !hasPage(m_browser))
        return; // the agent's channel is not connected yet: the next look will fill

    m_needUser = scan.value(QStringLiteral("user")).toBool();
    m_needPassword = scan.value(QStringLiteral("password")).toBool();
    QByteArray random(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(random.data()), 4);
    m_token = QString::fromLatin1(random.toHex());
    m_fillToken = m_token;
    m_inFlight = true;
    m_callStarted = m_clock.elapsed();
    // The token is no secret; the username and password go through the channel (take).
    m_browser->runScript(QStringLiteral("window.quilletLoginAgent ? window.quilletLoginAgent.fill('%1', %2) : 'stale'")
                             .arg(m_token, m_request.send ? QStringLiteral("true") : QStringLiteral("false")),
                         [guard = QPointer<TLoginAgent>(this), login = m_login](const QVariant& result) {
                             if (!guard || guard->m_login != login)
                                 return;
                             if (result.toString() != QLatin1String("filling")) {
                                 guard->m_token.clear();
                                 guard->m_fillToken.clear();
                                 guard->m_inFlight = false;
                             }
                         });
}

QString TLoginAgent::take(const QString& token, const QString& frame)
{
    if (!m_active || token.isEmpty() || token != m_token)
        return QStringLiteral("{}");
    m_token.clear(); // once
    // The page may have changed since the scan: the secrets go only to the item's site, in the top
    // page and in the frame that asks (the agent sends them to nothing but that frame's origin).
    if (!hasPage(m_browser) || !m_site->refusal(QUrl(frame), m_browser->url()).isEmpty())
        return QStringLiteral("{}");
    QJsonObject secrets;
    if (m_needUser)
        secrets.insert(QStringLiteral("username"), m_request.username);
    if (m_needPassword)
        secrets.insert(QStringLiteral("password"), m_request.password);
    return QString::fromUtf8(QJsonDocument(secrets).toJson(QJsonDocument::Compact));
}

void TLoginAgent::report(const QString& token, const QString& json)
{
    if (!m_active || token.isEmpty() || token != m_fillToken)
        return;
    m_fillToken.clear();
    m_token.clear();
    m_inFlight = false;
    const QJsonObject result = QJsonDocument::fromJson(json.toUtf8()).object();
    const bool user = result.value(QStringLiteral("user")).toBool();
    const bool password = result.value(QStringLiteral("password")).toBool();
    const QString invalid = result.value(QStringLiteral("invalid")).toString().simplified().left(200);
    if (!invalid.isEmpty() && m_request.send) {
        finish(Outcome::NotAccepted,
               QStringLiteral("Log In: the login form did not accept what was filled in (the page says: %1).")
                   .arg(invalid));
        return;
    }
    if (password) {
        finish(m_request.send ? Outcome::Sent : Outcome::Filled, QString());
        return;
    }
    if (!user)
        return; // the page changed under the fill: look again
    if (!m_request.send) {
        finish(Outcome::Filled, QString());
        return;
    }
    // A first step: the password comes on this page or on the next.
    if (++m_steps > kMaxSteps) {
        finish(Outcome::TimedOut, QStringLiteral("Log In stopped: the page asked for the username again and again."));
        return;
    }
    QTimer::singleShot(0, this, [this, login = m_login] {
        if (m_login == login)
            poll();
    });
}
