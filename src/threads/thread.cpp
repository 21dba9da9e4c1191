#include "threads/thread.h"

#include <system_error>

CThread::CEmptyRunable& CThread::CEmptyRunable::Shared()
{
    static CEmptyRunable instance;
    return instance;
}

CThread::CThread() : m_runable(&CEmptyRunable::Shared())
{}

CThread::~CThread()
{
    if (m_thread.joinable())
        m_thread.detach();
}

bool CThread::IsRunning() const
{
    return m_thread.joinable() && !(m_finished && m_finished->load());
}

void CThread::ReleaseFinished()
{
    if (m_thread.joinable() && !IsRunning()) {
        // Run() has returned, so this join only waits for the thread's exit.
        try {
            m_thread.join();
        } catch (const std::system_error&) {
            m_thread.detach();
        }
    }
}

bool CThread::AttachRunable(CRunable* runable)
{
    if (IsRunning())
        return false;
    ReleaseFinished();
    m_runable = runable ? runable : &CEmptyRunable::Shared();
    return true;
}

bool CThread::Start()
{
    if (IsRunning())
        return false;
    ReleaseFinished();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    try {
        // The runnable cannot change while the thread runs (attaching is
        // refused), so the thread is handed the pointer itself.
        m_thread = std::thread([runable = m_runable, finished] {
            runable->Run();
            finished->store(true);
        });
    } catch (const std::system_error&) {
        return false;
    }
    m_finished = std::move(finished);
    return true;
}

bool CThread::Stop()
{
    if (!m_thread.joinable())
        return true;
    try {
        m_thread.join();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}
