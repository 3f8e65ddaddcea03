#include "codec/decode_threads.h"

#include <pthread.h>
#include <stdlib.h>
#include <unistd.h>

struct DecodeSync {
    pthread_mutex_t lock;
    pthread_cond_t condition;
};

DecodeSync* create_sync()
{
    DecodeSync* sync = static_cast<DecodeSync*>(malloc(sizeof(DecodeSync)));
    if (sync) {
        pthread_mutex_init(&sync->lock, nullptr);
        pthread_cond_init(&sync->condition, nullptr);
    }
    return sync;
}

void destroy_sync(DecodeSync* sync)
{
    pthread_cond_destroy(&sync->condition);
    pthread_mutex_destroy(&sync->lock);
    free(sync);
}

void lock_sync(DecodeSync* sync) { pthread_mutex_lock(&sync->lock); }
void unlock_sync(DecodeSync* sync) { pthread_mutex_unlock(&sync->lock); }
void wait_sync(DecodeSync* sync) { pthread_cond_wait(&sync->condition, &sync->lock); }
void wake_all(DecodeSync* sync) { pthread_cond_broadcast(&sync->condition); }

namespace {
void* run_helper(void* thread)
{
    HelperThread* own = static_cast<HelperThread*>(thread);
    own->body(own->argument);
    return nullptr;
}
}  // namespace

bool start_helper(HelperThread* thread, ThreadBody body, void* argument)
{
    thread->body = body;
    thread->argument = argument;
    pthread_t id;
    if (pthread_create(&id, nullptr, run_helper, thread) != 0)
        return false;
    thread->handle = reinterpret_cast<void*>(id);
    return true;
}

void join_helper(HelperThread* thread)
{
    pthread_join(reinterpret_cast<pthread_t>(thread->handle), nullptr);
    thread->handle = nullptr;
}

uint32_t processor_count()
{
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<uint32_t>(count) : 1;
}
