#include "system/threadhandoff.h"

#if defined(__SANITIZE_THREAD__)
#define BELMORAND_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define BELMORAND_TSAN 1
#endif
#endif

#ifdef BELMORAND_TSAN

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);

namespace {

// Released by every hand-off towards the GUI thread, acquired before each
// event it delivers: the event queue's lock, as ThreadSanitizer would see it.
char eventQueue;

class EventQueueWatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *) override
    {
        __tsan_acquire(&eventQueue);
        return false;
    }
};

} // namespace

bool ThreadHandOff::isWatched()
{
    return true;
}

void ThreadHandOff::release(const void *token)
{
    __tsan_release(const_cast<void *>(token));
    __tsan_release(&eventQueue);
}

void ThreadHandOff::acquire(const void *token)
{
    __tsan_acquire(const_cast<void *>(token));
}

void ThreadHandOff::watchEventQueue()
{
    static bool installed = false;
    QCoreApplication *application = QCoreApplication::instance();
    if (installed || !application)
        return;
    application->installEventFilter(new EventQueueWatcher(application));
    installed = true;
}

#else

bool ThreadHandOff::isWatched()
{
    return false;
}

void ThreadHandOff::release(const void *) { }

void ThreadHandOff::acquire(const void *) { }

void ThreadHandOff::watchEventQueue() { }

#endif
