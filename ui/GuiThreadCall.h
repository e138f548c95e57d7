#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace tavi {

namespace detail {
// Orders each hand-over for a race detector, which cannot look inside the Qt libraries: the
// caller holds it while Qt queues the call, and the call takes it before anything else.
inline std::mutex& HandoverMutex() {
    static std::mutex mutex;
    return mutex;
}
}  // namespace detail

// Runs `f` on the thread of `context` and waits until it has run (or until Qt discards the
// call, e.g. because `context` is gone); on that thread itself it runs at once.
// Besides Qt's queue, the hand-over passes through mutexes of ours: what the caller wrote
// before the call is visible to `f`, and what `f` wrote is visible to the caller afterwards,
// in a way that ThreadSanitizer sees.
template <class F>
void CallOnThreadOf(QObject* context, F&& f) {
    if (QThread::currentThread() == context->thread()) {
        f();
        return;
    }
    struct Handoff {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        void Finish() {
            std::lock_guard lock(mutex);
            done = true;
            finished.notify_one();
        }
    };
    // Finishes the hand-over when the queued call is destroyed unrun.
    struct Completion {
        explicit Completion(Handoff* h) : handoff(h) {}
        Completion(const Completion&) = delete;
        Completion& operator=(const Completion&) = delete;
        ~Completion() {
            if (handoff) handoff->Finish();
        }
        Handoff* handoff;
    };
    Handoff handoff;
    auto completion = std::make_shared<Completion>(&handoff);
    {
        std::lock_guard queueing(detail::HandoverMutex());
        QMetaObject::invokeMethod(
            context,
            [&f, completion] {
                { std::lock_guard queued(detail::HandoverMutex()); }
                f();
                Handoff* handoff = completion->handoff;
                completion->handoff = nullptr;
                handoff->Finish();
            },
            Qt::QueuedConnection);
        completion.reset();  // the queued call now holds the only reference
    }
    std::unique_lock lock(handoff.mutex);
    handoff.finished.wait(lock, [&] { return handoff.done; });
}

// Queues `f` to run on the thread of `context` and returns at once (Qt drops the call if
// `context` goes first). The hand-over passes through the same lock as above.
template <class F>
void PostToThreadOf(QObject* context, F f) {
    std::lock_guard queueing(detail::HandoverMutex());
    QMetaObject::invokeMethod(
        context,
        [f = std::move(f)]() mutable {
            { std::lock_guard queued(detail::HandoverMutex()); }
            f();
        },
        Qt::QueuedConnection);
}

}  // namespace tavi
