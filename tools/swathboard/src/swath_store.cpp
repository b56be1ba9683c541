#include "swath_store.h"

namespace swathboard {

void SwathStartJob(SwathStore *store) {
    std::lock_guard<std::mutex> lock(store->mutex);
    store->swaths.clear();
}

bool SwathTaken(const SwathStore *store, std::uint32_t swath_sn) {
    std::lock_guard<std::mutex> lock(store->mutex);
    return store->swaths.count(swath_sn) != 0;
}

bool SwathKeep(SwathStore *store, std::uint32_t swath_sn, std::vector<std::uint8_t> data) {
    std::lock_guard<std::mutex> lock(store->mutex);
    return store->swaths.emplace(swath_sn, std::move(data)).second;
}

std::vector<std::uint32_t> SwathNumbers(const SwathStore *store) {
    std::lock_guard<std::mutex> lock(store->mutex);
    std::vector<std::uint32_t> numbers;
    numbers.reserve(store->swaths.size());
    for (const auto &entry : store->swaths) numbers.push_back(entry.first);
    return numbers;
}

bool SwathData(const SwathStore *store, std::uint32_t swath_sn, std::vector<std::uint8_t> *data) {
    std::lock_guard<std::mutex> lock(store->mutex);
    const auto it = store->swaths.find(swath_sn);
    if (it == store->swaths.end()) return false;
    *data = it->second;
    return true;
}

}  // namespace swathboard
