// A few objects kept from one call to the next, without a lock: a call takes one out (its slot
// stays empty meanwhile), so no two calls ever use the same object, and gives it back when done.
// Giving back fills an empty slot, or replaces one when all are full; the objects left go when
// the module is unloaded.
#pragma once

#include <atomic>
#include <cstddef>

namespace camtag {

template <typename T, size_t N> class KeptObjects {
public:
    KeptObjects() = default;
    ~KeptObjects() {
        for (auto& slot : slots_)
            delete slot.exchange(nullptr);
    }
    KeptObjects(const KeptObjects&) = delete;
    KeptObjects& operator=(const KeptObjects&) = delete;

    // The first kept object for which match(object) is true, now the caller's; null if none.
    template <typename Match> T* Take(Match match) {
        for (auto& slot : slots_) {
            T* object = slot.exchange(nullptr);
            if (!object)
                continue;
            if (match(*object))
                return object;
            Give(object);
        }
        return nullptr;
    }

    // Keeps the caller's object (null is ignored).
    void Give(T* object) {
        if (!object)
            return;
        for (auto& slot : slots_) {
            T* empty = nullptr;
            if (slot.compare_exchange_strong(empty, object))
                return;
        }
        delete slots_[next_.fetch_add(1, std::memory_order_relaxed) % N].exchange(object);
    }

private:
    std::atomic<T*> slots_[N] = {};
    std::atomic<size_t> next_{0};
};

} // namespace camtag
