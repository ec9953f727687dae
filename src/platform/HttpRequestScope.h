#pragma once

#include <QPointer>

class QObject;
class THttpClient;

// What a caller takes before it talks to the HTTP client. The scope decides whether the request
// may start at all and, after the caller's nested wait, whether there is still anyone to report to.
//
// - A request is refused with Busy while another request waits on the client (the user's
//   click during the start-up poll, say), and with ShutDown once the main window closes or when
//   there is no client.
// - An update check is also refused with Busy while another update check runs: a check waits in
//   several nested loops (before its download, during it, in its questions) where a second one
//   could start and ask the same question twice. The check's scope holds that right for its life.
// - A request started under a scope with an owner belongs to that owner, which may end it with
//   THttpClient::cancel(owner) (a window closing while its request waits).
// - ownerAlive(): the owner (the window that asked, when given), the client, and the client's
//   service (not shut down) all still exist. A caller checks it after every wait before it touches
//   its window again.
class THttpRequestScope
{
public:
    enum class Purpose
    {
        Request,
        UpdateCheck,
    };
    enum class State
    {
        Granted,
        Busy,     // another request, or another update check, is under way
        ShutDown, // the main window closes (or is gone): nothing may run on it any more
    };

    THttpRequestScope(THttpClient* client, const QObject* owner = nullptr, Purpose purpose = Purpose::Request);
    ~THttpRequestScope();
    THttpRequestScope(const THttpRequestScope&) = delete;
    THttpRequestScope& operator=(const THttpRequestScope&) = delete;

    State state() const { return m_state; }
    bool isGranted() const { return m_state == State::Granted; }

    bool ownerAlive() const;
    // The owner while it exists, else null.
    const QObject* owner() const { return m_owner.data(); }
    // The client while it exists, else null.
    THttpClient* client() const { return m_client.data(); }

private:
    QPointer<THttpClient> m_client;
    QPointer<const QObject> m_owner;
    bool m_hasOwner = false;
    bool m_holdsUpdateCheck = false;
    bool m_setsOwner = false;
    const QObject* m_previousOwner = nullptr;
    State m_state = State::ShutDown;
};
