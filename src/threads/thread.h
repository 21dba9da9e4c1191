// Threads: a runnable interface, a thread object that runs one, and a
// runnable that carries its own thread.
//
// The offline recorder's frame encoder is the only user: its workers are
// `CRunable_Thread_ShallowCopy` objects, each started on a `CThread` of its
// own. A `CThread` runs at most one OS thread at a time; `Stop()` joins it.
// Nothing here prints; every operation that can fail returns false.
//
// Threads: a `CThread` object is driven by one controlling thread (the one
// that starts and stops it); only `Run()` executes on the new thread.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

// Work for a thread: the one operation a thread object runs.
class CRunable {
public:
    virtual ~CRunable() = default;
    virtual void Run() = 0;  // executes on the started thread
};

class CThread {
public:
    // Runs nothing; every thread object points at the one shared instance
    // until a runnable of its own is attached.
    class CEmptyRunable : public CRunable {
    public:
        void Run() override {}
        static CEmptyRunable& Shared();  // the one instance
    };

    CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;
    // Does not wait: a thread still running is detached. Owners stop their
    // thread before the runnable it uses goes away.
    ~CThread();

    // Sets what the next Start() runs; refused (false) while a thread runs.
    // A null runnable attaches the shared empty one.
    bool AttachRunable(CRunable* runable);
    CRunable* Runable() const { return m_runable; }

    // Starts a new thread running the attached runnable. False while the
    // previous thread still runs (it is left alone) or when no thread can be
    // created; a finished previous thread is joined first.
    bool Start();

    // Joins the thread: true at once without one, else true once it has
    // ended. False when the join itself fails (for example a thread stopping
    // itself); the thread is then kept and Stop() may be tried again.
    bool Stop();

    bool HasThread() const { return m_thread.joinable(); }  // started and not yet joined
    bool IsRunning() const;                                 // started and Run() not yet returned

private:
    void ReleaseFinished();  // joins a thread whose Run() has returned

    CRunable* m_runable;   // what the thread runs; the shared empty runnable by default
    std::thread m_thread;  // the running or finished thread; none before the first start and after a join
    // Set by the thread when Run() returns; shared so that a detached thread
    // never writes into a destroyed object.
    std::shared_ptr<std::atomic<bool>> m_finished;
};

// A runnable that owns the thread running it. Copies share nothing with the
// source's thread: a copy gets a fresh thread, not running, bound to the
// copy, and only the derived members are copied.
class CRunable_Thread_ShallowCopy : public CRunable {
public:
    CRunable_Thread_ShallowCopy() { m_thread.AttachRunable(this); }
    CRunable_Thread_ShallowCopy(const CRunable_Thread_ShallowCopy&) : CRunable() { m_thread.AttachRunable(this); }
    CRunable_Thread_ShallowCopy& operator=(const CRunable_Thread_ShallowCopy&) { return *this; }

    bool Start() { return m_thread.Start(); }  // runs this object's Run() on its own thread
    bool Stop() { return m_thread.Stop(); }    // joins it
    CThread& Thread() { return m_thread; }
    const CThread& Thread() const { return m_thread; }

private:
    CThread m_thread;
};
