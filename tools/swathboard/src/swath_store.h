// What the board has printed: the data of each accepted swath, by SwathSN.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace swathboard {

struct SwathStore {
    mutable std::mutex mutex;
    std::map<std::uint32_t, std::vector<std::uint8_t>> swaths;
};

// A new job: SwathSNs count afresh, so nothing of the last job is kept.
void SwathStartJob(SwathStore *store);
bool SwathTaken(const SwathStore *store, std::uint32_t swath_sn);
// Keeps the data under swath_sn; false (and nothing kept) when it is taken.
bool SwathKeep(SwathStore *store, std::uint32_t swath_sn, std::vector<std::uint8_t> data);
std::vector<std::uint32_t> SwathNumbers(const SwathStore *store);
bool SwathData(const SwathStore *store, std::uint32_t swath_sn, std::vector<std::uint8_t> *data);

}  // namespace swathboard
