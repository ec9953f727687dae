#include "platform/HttpRequestScope.h"

#include "platform/HttpClient.h"

THttpRequestScope::THttpRequestScope(THttpClient* client, const QObject* owner, Purpose purpose)
    : m_client(client), m_owner(owner), m_hasOwner(owner != nullptr)
{
    if (!client || client->isShutDown())
        m_state = State::ShutDown;
    else if (client->isBusy() || (purpose == Purpose::UpdateCheck && client->m_updateCheckRunning))
        m_state = State::Busy;
    else
        m_state = State::Granted;
    if (m_state != State::Granted)
        return;
    if (purpose == Purpose::UpdateCheck) {
        client->m_updateCheckRunning = true;
        m_holdsUpdateCheck = true;
    }
    if (owner) {
        // Requests started while this scope is the innermost one with an owner belong to it.
        m_previousOwner = client->m_scopeOwner;
        client->m_scopeOwner = owner;
        m_setsOwner = true;
    }
}

THttpRequestScope::~THttpRequestScope()
{
    if (!m_client)
        return;
    if (m_holdsUpdateCheck)
        m_client->m_updateCheckRunning = false;
    if (m_setsOwner)
        m_client->m_scopeOwner = m_previousOwner;
}

bool THttpRequestScope::ownerAlive() const
{
    if (m_hasOwner && !m_owner)
        return false;
    return m_client && !m_client->isShutDown();
}
