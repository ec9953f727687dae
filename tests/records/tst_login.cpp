// "Log In" in the main window, against login pages served on 127.0.0.1 (the item's site) and
// 127.0.0.2 (another site). Each page sends what it got to /done (a form post, or the page's own
// request with the values its script holds), so the test sees what the page's server would see.
// One window and one web engine serve every test: the engine is slow to start.

#include "app/FMain.h"
#include "platform/LoginAgent.h"
#include "platform/MessageBox.h"
#include "platform/WebBrowser.h"
#include "support/Controls.h"
#include "support/LoginTestSite.h"
#include "support/PageScript.h"
#include "util/Files.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

using Site = LoginTestSite;

// Host names for the item's site and another one, all answered by the local test server on
// 127.0.0.1: www.shop.test and login.shop.test differ in origin and belong to one site. The web
// engine reads its flags when it starts, long after this.
const bool g_hostNames = [] {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags += " --host-resolver-rules=\"MAP *.shop.test 127.0.0.1, MAP shop.test 127.0.0.1, "
             "MAP *.other.test 127.0.0.1\"";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    return true;
}();

QByteArray page(const QByteArray& body, const QByteArray& head = {})
{
    return "<!DOCTYPE html><html><head><meta charset=utf-8>" + head +
           "<style>input,button{display:block;width:220px;height:28px;margin:4px}</style></head><body>" + body +
           "</body></html>";
}

// The login form most pages use: posts user and pass to /done.
const QByteArray kForm = "<form method=post action=/done>"
                         "<input name=user id=user><input type=password name=pass id=pass>"
                         "<button type=submit>Log in</button></form>";

// A script that sends the values of the inputs with the given ids to /done from the page's own
// handler, as a single-page application does.
QByteArray sendScript(const QByteArray& userId, const QByteArray& passId)
{
    return "<script>function sendLogin(){var b=new URLSearchParams();"
           "b.append('user',document.getElementById('" +
           userId + "').value);b.append('pass',document.getElementById('" + passId +
           "').value);fetch('/done',{method:'POST',body:b});}</script>";
}

} // namespace

class TstLogin : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    Site m_site{"127.0.0.1"};
    Site m_other{"127.0.0.2"};
    TfrmMain* m_w = nullptr;

    // The address of path on the test site under a host name (see g_hostNames).
    QString hostUrl(const QByteArray& host, const QByteArray& path) const
    {
        return QStringLiteral("http://%1:%2%3")
            .arg(QString::fromLatin1(host))
            .arg(QUrl(m_site.url("/")).port())
            .arg(QString::fromLatin1(path));
    }

    QLineEdit* field(const char* name) const { return named<QLineEdit>(m_w, name); }
    QWebEngineView* view() const { return named<QWidget>(m_w, "EmbeddedWB1")->findChild<QWebEngineView*>(); }

    void setItem(const QString& loginUrl, const QString& websiteUrl = QString(),
                 const QString& user = "agent007@example.com", const QString& password = "s3cret!")
    {
        field("edtLoginURL")->setText(loginUrl);
        field("edtWebsiteURL")->setText(websiteUrl);
        field("edtLogin")->setText(user);
        field("edtPassword")->setText(password);
    }

    // Clicks "Log In" (with Shift: fill only) and waits for the login to end; returns its outcome.
    TLoginAgent::Outcome logIn(Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(named<QPushButton>(m_w, "btnLogIn"), Qt::LeftButton, modifiers);
        return waitForEnd();
    }

    TLoginAgent::Outcome waitForEnd()
    {
        auto* agent = m_w->findChild<TLoginAgent*>();
        if (!agent)
            return TLoginAgent::Outcome::NoForm;
        QSignalSpy spy(agent, &TLoginAgent::finished);
        if (agent->isActive() && !spy.wait(40000)) {
            qWarning("the login did not end");
            return TLoginAgent::Outcome::TimedOut;
        }
        QApplication::processEvents(); // the window's queued handler shows the message
        return spy.isEmpty() ? TLoginAgent::Outcome::NoForm : spy.first().first().value<TLoginAgent::Outcome>();
    }

    bool posted(Site& site, const QByteArray& path, int count = 1)
    {
        return QTest::qWaitFor([&] { return site.posts(path).size() >= count; }, 10000);
    }

    QVariant js(const QString& script) { return runPageScript(view()->page(), script); }

    // The values of every input of the page, its same-origin frames included, joined.
    QString typedInPage()
    {
        return js(QStringLiteral("(function(){var out=[];function walk(d){d.querySelectorAll('input').forEach("
                                 "function(i){if(i.type!=='submit'&&i.type!=='button')out.push(i.value);});"
                                 "d.querySelectorAll('iframe').forEach(function(f){try{if(f.contentDocument)"
                                 "walk(f.contentDocument);}catch(e){}});}walk(document);return out.join('');})()"))
            .toString();
    }

    QString lastMessage() const
    {
        const auto& shown = TMessageBox::shownMessages();
        return shown.isEmpty() ? QString() : shown.last().text;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        UUtils::setAppDir(m_dir.path()); // an empty program folder: no branding, no records
        TLoginAgent::setWaits(3000, TLoginAgent::kLoginWaitMs);

        m_site.setPage("/plain", page(kForm));
        // The form comes 1.5 s after the page loaded.
        m_site.setPage("/late", page("<div id=slot></div><script>setTimeout(function(){"
                                     "document.getElementById('slot').innerHTML=" +
                                     QByteArray("'") + kForm + "';},1500);</script>"));
        // No <form>: a button's click handler sends the values.
        m_site.setPage("/formless", page("<div class=login><input id=u placeholder='Username'>"
                                         "<input id=p type=password placeholder=Password>"
                                         "<button type=button onclick='sendLogin()'>Sign in</button></div>" +
                                         sendScript("u", "p")));
        // The form inside an open shadow root.
        m_site.setPage("/shadow", page("<login-box></login-box><script>customElements.define('login-box',"
                                       "class extends HTMLElement{connectedCallback(){var r=this.attachShadow("
                                       "{mode:'open'});r.innerHTML=\"<style>input,button{display:block;width:220px;"
                                       "height:28px}</style>" +
                                       QByteArray(kForm).replace("'", "\\'") + "\";}});</script>"));
        // The form in a frame of the same site.
        m_site.setPage("/framed", page("<h1>Portal</h1><iframe src=/plain width=400 height=300></iframe>"));
        // Search, newsletter, registration and forgot-password forms around the login form; the
        // login form reports what the others hold when it is sent.
        m_site.setPage(
            "/crowded",
            page("<form role=search action=/search><input name=q type=text placeholder=Search>"
                 "<button>Search</button></form>"
                 "<form id=newsletter action=/subscribe><input type=email name=email placeholder='Your e-mail'>"
                 "<button>Subscribe</button></form>"
                 "<form id=register action=/register method=post><input name=newuser placeholder='Choose a username'>"
                 "<input type=email name=newmail><input type=password name=p1><input type=password name=p2>"
                 "<button>Create account</button></form>"
                 "<form method=post action=/done onsubmit=\"var v=[];document.querySelectorAll('input').forEach("
                 "function(i){if(i.form!==this)v.push(i.value);},this);this.others.value=v.join('');\">"
                 "<input type=hidden name=others><input name=user id=user><input type=password name=pass>"
                 "<button type=submit>Log in</button></form>"
                 "<form id=forgot action=/forgot method=post><input type=email name=forgotmail placeholder=E-mail>"
                 "<button>Send reset link</button></form>"));
        // Decoy fields a user cannot see, before and between the real ones.
        m_site.setPage("/honeypot", page("<form method=post action=/done>"
                                         "<input name=hp1 style='position:absolute;left:-9999px;top:0'>"
                                         "<input name=hp2 style='opacity:0'>"
                                         "<input name=hp3 style='display:none'>"
                                         "<div style='visibility:hidden'><input name=hp4></div>"
                                         "<input name=hp5 style='width:0;height:0;border:0;padding:0;margin:0'>"
                                         "<input name=hp6 aria-hidden=true tabindex=-1>"
                                         "<input type=password name=hp7 style='display:none'>"
                                         "<input name=user><input type=password name=pass>"
                                         "<input name=hp8 style='position:absolute;left:-5000px'>"
                                         "<button type=submit>Log in</button></form>"));
        // Only a registration or a password change: nothing to log in to.
        m_site.setPage("/register", page("<form method=post action=/done><input name=user>"
                                         "<input type=password name=p1><input type=password name=p2>"
                                         "<button>Sign up</button></form>"));
        m_site.setPage("/newpassword", page("<form method=post action=/done><input name=user>"
                                            "<input type=password name=pass autocomplete=new-password>"
                                            "<button>Save</button></form>"));
        m_site.setPage("/nothing", page("<p>Just a page, no form.</p><form action=/search role=search>"
                                        "<input name=q><button>Search</button></form>"));
        // Username kinds.
        m_site.setPage("/email", page("<form method=post action=/done><input type=email name=user>"
                                      "<input type=password name=pass><button>Sign in</button></form>"));
        m_site.setPage("/tel", page("<form method=post action=/done><input type=tel name=user>"
                                    "<input type=password name=pass><button>Sign in</button></form>"));
        m_site.setPage("/marked", page("<form method=post action=/done><input name=remember-me-x type=text>"
                                       "<input name=user id=f1 autocomplete=username>"
                                       "<input name=pass type=password><button>Continue</button></form>"));
        // In steps on one page: the username, "Next", then the password appears.
        m_site.setPage("/steps",
                       page("<div id=one><input id=u name=username autocomplete=username>"
                            "<button type=button id=next onclick=\"document.getElementById('one').style.display="
                            "'none';setTimeout(function(){document.getElementById('two').style.display='block';},"
                            "500);window.nexts=(window.nexts||0)+1;\">Next</button></div>"
                            "<div id=two style='display:none'><input id=p type=password>"
                            "<button type=button onclick='sendLogin()'>Sign in</button></div>" +
                            sendScript("u", "p")));
        // In steps over two pages: the username is posted to /step2, which asks for the password.
        m_site.setPage("/step1", page("<form method=post action=/step2><input type=email name=user>"
                                      "<button type=submit>Continue</button></form>"));
        m_site.setPage("/step2", page("<form method=post action=/done><input type=password name=pass>"
                                      "<button type=submit>Sign in</button></form>"));

        // React 18 with controlled inputs: the values reach the page's state only as typing does.
        QFile react(QStringLiteral("/usr/share/nodejs/react/umd/react.production.min.js"));
        QFile reactDom(QStringLiteral("/usr/share/nodejs/react-dom/umd/react-dom.production.min.js"));
        QVERIFY(react.open(QIODevice::ReadOnly) && reactDom.open(QIODevice::ReadOnly));
        m_site.setPage("/react.js", react.readAll());
        m_site.setPage("/react-dom.js", reactDom.readAll());
        m_site.setPage("/react",
                       page("<div id=root></div><script>"
                            "var e=React.createElement;"
                            "function Login(){var u=React.useState(''),p=React.useState('');"
                            "function submit(ev){ev.preventDefault();var b=new URLSearchParams();"
                            "b.append('user',u[0]);b.append('pass',p[0]);"
                            "fetch('/done',{method:'POST',body:b});}"
                            "return e('form',{onSubmit:submit},"
                            "e('input',{name:'user',value:u[0],onChange:function(ev){u[1](ev.target.value);}}),"
                            "e('input',{name:'pass',type:'password',value:p[0],"
                            "onChange:function(ev){p[1](ev.target.value);}}),"
                            "e('button',{type:'submit'},'Log in'));}"
                            "ReactDOM.createRoot(document.getElementById('root')).render(e(Login));"
                            "</script>",
                            "<script src=/react.js></script><script src=/react-dom.js></script>"));

        // The login form in a frame of another origin of the same site (login.shop.test inside
        // www.shop.test). The frame's page reports what its fields hold when they change.
        m_site.setPage("/inframe", page(kForm + QByteArray("<script>document.getElementById('pass')."
                                                           "addEventListener('change',function(){"
                                                           "var b=new URLSearchParams();b.append('user',"
                                                           "document.getElementById('user').value);"
                                                           "b.append('pass',this.value);"
                                                           "fetch('/typed',{method:'POST',body:b});});</script>")));
        m_site.setPage("/shop", page("<h1>Shop</h1><iframe src='" + hostUrl("login.shop.test", "/inframe").toLatin1() +
                                     "' width=400 height=300></iframe>"));
        m_site.setPage("/shopsteps",
                       page("<h1>Shop</h1><iframe src='" + hostUrl("login.shop.test", "/steps").toLatin1() +
                            "' width=400 height=300></iframe>"));
        m_site.setPage("/shopother",
                       page("<h1>Shop</h1><iframe src='" + hostUrl("login.other.test", "/inframe").toLatin1() +
                            "' width=400 height=300></iframe>"));

        // A page of another site that frames the item's login page and posts the agents' messages
        // itself, trying to have its own values filled in and sent there.
        m_other.setPage("/forger", page("<iframe id=f src='" + hostUrl("login.shop.test", "/inframe").toLatin1() +
                                        "' width=400 height=300></iframe><script>"
                                        "var o='" +
                                        hostUrl("login.shop.test", "").toLatin1() +
                                        "',"
                                        "n='0123456789abcdef0123456789abcdef';"
                                        "function say(m){document.getElementById('f').contentWindow."
                                        "postMessage('quillet-login:'+JSON.stringify(m),o);}"
                                        "setInterval(function(){say({type:'probe',nonce:n});"
                                        "say({type:'fill',nonce:n,send:true,username:'mallory',password:'x'});},"
                                        "100);</script>"));

        // Another site: a login form there, a page that frames it, redirects into it.
        m_other.setPage("/plain", page(kForm));
        m_site.setPage("/foreignframe", page("<h1>Portal</h1><iframe src='" + m_other.url("/plain").toLatin1() +
                                             "' width=400 height=300></iframe>"));
        m_site.setRedirect("/away", m_other.url("/plain").toLatin1());
        m_other.setRedirect("/tosite", m_site.url("/plain").toLatin1());

        m_w = new TfrmMain;
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w));
        named<QTimer>(m_w, "Timer1")->stop(); // no news poll during these tests
    }

    void cleanupTestCase() { delete m_w; }

    void init()
    {
        TMessageBox::clearTestState();
        for (int i = 0; i < 3; ++i) // any message is answered, none waits for a user
            TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        m_site.clear();
        m_other.clear();
    }

    void shapes_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("form at load") << QByteArray("/plain");
        QTest::newRow("form added later") << QByteArray("/late");
        QTest::newRow("no form element, click handler") << QByteArray("/formless");
        QTest::newRow("open shadow root") << QByteArray("/shadow");
        QTest::newRow("frame of the same site") << QByteArray("/framed");
        QTest::newRow("username type email") << QByteArray("/email");
        QTest::newRow("username type tel") << QByteArray("/tel");
        QTest::newRow("autocomplete=username") << QByteArray("/marked");
        QTest::newRow("React controlled inputs") << QByteArray("/react");
        QTest::newRow("steps on one page") << QByteArray("/steps");
    }

    // The page's server gets exactly the item's username and password, sent once.
    void shapes()
    {
        QFETCH(QByteArray, path);
        setItem(m_site.url(path));
        const TLoginAgent::Outcome outcome = logIn();
        QVERIFY2(TMessageBox::shownMessages().isEmpty(), qPrintable(lastMessage()));
        QCOMPARE(outcome, TLoginAgent::Outcome::Sent);
        QVERIFY(posted(m_site, "/done"));
        const auto posts = m_site.posts("/done");
        QCOMPARE(posts.first().value("user"), QStringLiteral("agent007@example.com"));
        QCOMPARE(posts.first().value("pass"), QStringLiteral("s3cret!"));
        QTest::qWait(300);
        QCOMPARE(m_site.posts("/done").size(), 1);
        QVERIFY2(TMessageBox::shownMessages().isEmpty(), qPrintable(lastMessage()));
        // "Log In" opens the login URL as "Browse" does: the address box shows it.
        QCOMPARE(field("edtURL")->text(), m_site.url(path));
        if (path == "/steps")
            QCOMPARE(js(QStringLiteral("window.nexts")).toInt(), 1);
    }

    // A login over two pages: the username goes with "Continue", the password on the next page.
    void stepsOverTwoPages()
    {
        setItem(m_site.url("/step1"));
        QCOMPARE(logIn(), TLoginAgent::Outcome::Sent);
        QVERIFY(posted(m_site, "/done"));
        QCOMPARE(m_site.posts("/step2").size(), 1);
        QCOMPARE(m_site.posts("/step2").first().value("user"), QStringLiteral("agent007@example.com"));
        QCOMPARE(m_site.posts("/done").first().value("pass"), QStringLiteral("s3cret!"));
    }

    // Beside the login form: search, newsletter, registration and forgot-password forms get
    // nothing; hidden decoys get nothing either.
    void onlyTheLoginForm_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QStringList>("empty"); // fields of the post that must stay empty
        QTest::newRow("other forms") << QByteArray("/crowded") << QStringList{"others"};
        QTest::newRow("honeypots") << QByteArray("/honeypot")
                                   << QStringList{"hp1", "hp2", "hp3", "hp4", "hp5", "hp6", "hp7", "hp8"};
    }

    void onlyTheLoginForm()
    {
        QFETCH(QByteArray, path);
        QFETCH(QStringList, empty);
        setItem(m_site.url(path));
        QCOMPARE(logIn(), TLoginAgent::Outcome::Sent);
        QVERIFY(posted(m_site, "/done"));
        const auto post = m_site.posts("/done").first();
        QCOMPARE(post.value("user"), QStringLiteral("agent007@example.com"));
        QCOMPARE(post.value("pass"), QStringLiteral("s3cret!"));
        for (const QString& name : empty) {
            QVERIFY2(post.contains(name), qPrintable(name));
            QVERIFY2(post.value(name).isEmpty(), qPrintable(name + ": " + post.value(name)));
        }
    }

    // Usernames and passwords with characters that break scripts, HTML and URLs arrive exactly.
    void exactArrival_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("quotes and backslashes") << QString("o'neil\"\\x") << QString("p'w\"\\n\\\\'); alert(1); //");
        QTest::newRow("script end and entities") << QString("</script><b>&amp;") << QString("</script>&lt;%41%%");
        QTest::newRow("non-ASCII") << QString::fromUtf8("jürgen.müller@exämple.de")
                                   << QString::fromUtf8("Grüße€ Ω 漢字 😀");
        QTest::newRow("JSON and template text") << QString("{\"a\":1}") << QString("${x}`+`\u2028\u2029");
    }

    void exactArrival()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        const QList<QStringList> items = {{m_site.url("/plain"), QString()},
                                          {m_site.url("/react"), QString()},
                                          {hostUrl("www.shop.test", "/shop"), hostUrl("shop.test", "/")}};
        for (const QStringList& item : items) {
            m_site.clear();
            setItem(item[0], item[1], user, password);
            QCOMPARE(logIn(), TLoginAgent::Outcome::Sent);
            QVERIFY(posted(m_site, "/done"));
            QCOMPARE(m_site.posts("/done").first().value("user"), user);
            QCOMPARE(m_site.posts("/done").first().value("pass"), password);
        }
    }

    // With Shift held the form is filled and not sent; the keyboard's "Log In" does the same.
    void shiftFillsOnly()
    {
        setItem(m_site.url("/plain"));
        QCOMPARE(logIn(Qt::ShiftModifier), TLoginAgent::Outcome::Filled);
        QCOMPARE(typedInPage(), QStringLiteral("agent007@example.coms3cret!"));
        QTest::qWait(500);
        QVERIFY(m_site.posts("/done").isEmpty());

        // And the shortcuts.
        m_site.clear();
        setItem(m_site.url("/react"), QString(), "kb-user", "kb-pass");
        m_w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_w));
        field("edtLogin")->setFocus();
        QTest::keyClick(field("edtLogin"), Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(waitForEnd(), TLoginAgent::Outcome::Filled);
        QCOMPARE(typedInPage(), QStringLiteral("kb-userkb-pass"));
        // Ctrl+Enter also from inside the page, which has the focus after a login.
        view()->focusProxy()->setFocus();
        QTest::keyClick(view()->focusProxy(), Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(waitForEnd(), TLoginAgent::Outcome::Sent);
        QVERIFY(posted(m_site, "/done"));
        QCOMPARE(m_site.posts("/done").first().value("pass"), QStringLiteral("kb-pass"));
    }

    // A login form in a frame of another origin of the item's site: the frame's agent fills it and
    // sends it (with Shift: fills only); the frame's server gets exactly the item's details.
    void frameOfAnotherOrigin_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("send");
        QTest::newRow("fill and send") << QByteArray("/shop") << true;
        QTest::newRow("fill only (Shift)") << QByteArray("/shop") << false;
        QTest::newRow("steps in the frame") << QByteArray("/shopsteps") << true;
    }

    void frameOfAnotherOrigin()
    {
        QFETCH(QByteArray, path);
        QFETCH(bool, send);
        setItem(hostUrl("www.shop.test", path), hostUrl("shop.test", "/"));
        QCOMPARE(logIn(send ? Qt::NoModifier : Qt::ShiftModifier),
                 send ? TLoginAgent::Outcome::Sent : TLoginAgent::Outcome::Filled);
        QVERIFY2(TMessageBox::shownMessages().isEmpty(), qPrintable(lastMessage()));
        if (path == "/shop") {
            QVERIFY(posted(m_site, "/typed"));
            QCOMPARE(m_site.posts("/typed").first().value("user"), QStringLiteral("agent007@example.com"));
            QCOMPARE(m_site.posts("/typed").first().value("pass"), QStringLiteral("s3cret!"));
        }
        if (send) {
            QVERIFY(posted(m_site, "/done"));
            QCOMPARE(m_site.posts("/done").first().value("user"), QStringLiteral("agent007@example.com"));
            QCOMPARE(m_site.posts("/done").first().value("pass"), QStringLiteral("s3cret!"));
        }
        QTest::qWait(500);
        QCOMPARE(m_site.posts("/done").size(), send ? 1 : 0);
    }

    // The agent of a frame obeys the program's agent in the top frame only: a page that frames a
    // login page and posts messages of its own gets nothing filled or sent there, with no login
    // under way as with one.
    void forgedMessages()
    {
        view()->setUrl(QUrl(m_other.url("/forger")));
        QTest::qWait(2500);
        setItem(m_other.url("/forger"));
        QCOMPARE(logIn(), TLoginAgent::Outcome::NoForm);
        QVERIFY(m_site.posts("/typed").isEmpty());
        QVERIFY(m_site.posts("/done").isEmpty());
    }

    // Pages that hold no login form: the user is told, nothing is typed anywhere.
    void noLoginForm_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("registration") << QByteArray("/register");
        QTest::newRow("new password") << QByteArray("/newpassword");
        QTest::newRow("no form at all") << QByteArray("/nothing");
    }

    void noLoginForm()
    {
        QFETCH(QByteArray, path);
        setItem(m_site.url(path));
        QCOMPARE(logIn(), TLoginAgent::Outcome::NoForm);
        QCOMPARE(lastMessage(), QStringLiteral("No login form found on this page."));
        QCOMPARE(typedInPage(), QString());
        QVERIFY(m_site.posts("/done").isEmpty());
    }

    // Only the item's site gets the secrets; the user is told in one line which host was refused.
    void refused_data()
    {
        QTest::addColumn<QString>("loginUrl");
        QTest::addColumn<QString>("websiteUrl");
        QTest::addColumn<QString>("affiliateUrl");
        QTest::addColumn<QString>("says");
        QTest::addColumn<int>("outcome");
        const QString otherHost = m_other.host();
        QTest::newRow("login URL redirected to another site")
            << m_site.url("/away") << QString() << m_other.url("/plain") << otherHost
            << int(TLoginAgent::Outcome::Refused);
        QTest::newRow("frame of another site") << m_site.url("/foreignframe") << QString() << m_other.url("/plain")
                                               << otherHost << int(TLoginAgent::Outcome::NoForm);
        QTest::newRow("frame of another site, by name")
            << hostUrl("www.shop.test", "/shopother") << hostUrl("shop.test", "/") << QString() << "login.other.test"
            << int(TLoginAgent::Outcome::NoForm);
        // The site's address says https; the page came over plain http.
        QTest::newRow("https item over http") << m_other.url("/tosite") << QString("https://" + m_site.host() + "/")
                                              << QString() << "plain http" << int(TLoginAgent::Outcome::Refused);
    }

    void refused()
    {
        QFETCH(QString, loginUrl);
        QFETCH(QString, websiteUrl);
        QFETCH(QString, affiliateUrl);
        QFETCH(QString, says);
        QFETCH(int, outcome);
        setItem(loginUrl, websiteUrl);
        // The affiliate and cloaked URLs never count as the item's site.
        field("edtAffiliateURL")->setText(affiliateUrl);
        field("edtCloaked")->setText(affiliateUrl);
        QCOMPARE(int(logIn()), outcome);
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        QVERIFY2(lastMessage().contains(says), qPrintable(lastMessage()));
        QVERIFY(!lastMessage().contains(u'\n'));
        QCOMPARE(typedInPage(), QString());
        QTest::qWait(300);
        QVERIFY(m_site.posts("/done").isEmpty());
        QVERIFY(m_site.posts("/typed").isEmpty());
        QVERIFY(m_other.posts("/done").isEmpty());
        field("edtAffiliateURL")->clear();
        field("edtCloaked")->clear();
    }

    // Neither a login URL nor a website URL: a message, and the pane stays where it is.
    void noAddress()
    {
        setItem(QString(), QString());
        field("edtURL")->setText(QStringLiteral("kept"));
        QTest::mouseClick(named<QPushButton>(m_w, "btnLogIn"), Qt::LeftButton);
        QCOMPARE(lastMessage(), QStringLiteral("This item has no login URL or website URL to log in to."));
        QCOMPARE(field("edtURL")->text(), QStringLiteral("kept"));
    }

    // A username that the page's e-mail field refuses: the browser sends nothing, and the user is
    // told why instead of a login that silently did not happen.
    void fieldRefusesValue()
    {
        setItem(m_site.url("/email"), QString(), QStringLiteral("agent007"));
        QCOMPARE(logIn(), TLoginAgent::Outcome::NotAccepted);
        QVERIFY2(lastMessage().startsWith(QStringLiteral("Log In: the login form did not accept")),
                 qPrintable(lastMessage()));
        QTest::qWait(300);
        QVERIFY(m_site.posts("/done").isEmpty());
    }

    // Taking the pane elsewhere ends the login under way, without a word.
    void browsingEndsTheLogin()
    {
        setItem(m_site.url("/late"), m_other.url("/plain"));
        QTest::mouseClick(named<QPushButton>(m_w, "btnLogIn"), Qt::LeftButton);
        QTest::mouseClick(named<QPushButton>(m_w, "btnBrowseWebsite"), Qt::LeftButton);
        auto* agent = m_w->findChild<TLoginAgent*>();
        QVERIFY(agent && !agent->isActive());
        QTest::qWait(2500); // the login page's form would have come by now
        QVERIFY(TMessageBox::shownMessages().isEmpty());
        QVERIFY(m_site.posts("/done").isEmpty());
        QVERIFY(m_other.posts("/done").isEmpty());
        QCOMPARE(typedInPage(), QString());
    }

    // A login page that cannot be loaded: one line says so, nothing else happens.
    void unreachablePage()
    {
        QTcpServer closed; // a port that was free a moment ago and now refuses connections
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const quint16 port = closed.serverPort();
        closed.close();
        setItem(QStringLiteral("http://127.0.0.1:%1/login").arg(port));
        QCOMPARE(logIn(), TLoginAgent::Outcome::NoForm);
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        QVERIFY2(lastMessage().contains(QStringLiteral("could not be loaded")), qPrintable(lastMessage()));
    }

    // The website URL serves when the login URL is empty.
    void websiteWhenNoLoginUrl()
    {
        setItem(QString(), m_site.url("/plain"));
        QCOMPARE(logIn(), TLoginAgent::Outcome::Sent);
        QVERIFY(posted(m_site, "/done"));
        QCOMPARE(field("edtURL")->text(), m_site.url("/plain"));
    }
};

QTEST_MAIN(TstLogin)
#include "tst_login.moc"
